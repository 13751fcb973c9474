// The download options a worker runs with: a copy taken from the user's
// record on the thread that starts the worker, so that the options pages
// may change the record while the worker runs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct CDownloadSettings {
    uint32_t m_nRetries = 10;      // further attempts after the first
    bool m_bRetryNoLimit = false;  // keep trying once m_nRetries is used up
    std::string m_strProxyUser;
    std::string m_strProxyPassword;
    bool m_bFetchResources = true;  // a captured page's images, stylesheets and frames too
    uint32_t m_nMaxWorkers = 5;     // download workers a notebook runs at once
    // Modern capture: pages parsed as browsers parse them, every kind of
    // resource, stylesheets' own references, fetched in parallel. Off, the
    // capture keeps to the first rules (twenty file types found by text
    // search, one resource after the other).
    bool m_bModernCapture = true;
    // A file of the disk this large or larger is not imported (nor read back
    // into a note).
    uint64_t m_nMaxFileBytes = 10240000;
    // What one capture may hold: its page and files as decoded, and the
    // parser's work on its pages. Past it the remaining files keep their
    // web addresses.
    uint64_t m_nCaptureBudget = uint64_t(1) << 30;
};

// Where the notebooks and the capture code find the download options: the
// program's options store installs itself here, so that the lower layers
// read the user's settings without knowing where they are kept. Without a
// source the defaults above hold.
using DownloadSettingsSource = std::function<CDownloadSettings()>;
void SetDownloadSettingsSource(DownloadSettingsSource source);
// A copy of the settings as they are now.
CDownloadSettings CurrentDownloadSettings();
