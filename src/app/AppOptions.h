// The user's settings: one record for the whole run, read from
// "AppOption.data" at start-up and written back once at exit. The options
// pages, the main frame and the date dialog change it in memory in between,
// so a crash loses what changed during the run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/DownloadSettings.h"

class CArchive;

// The global key that shows or hides the main window; Ctrl+Shift+F11 unless
// the user chose another.
struct CHotKeyOptions {
    bool m_bEnabled = true;
    bool m_bCtrl = true;
    bool m_bShift = true;
    bool m_bAlt = false;
    uint32_t m_nVirtualKey = 122;  // F11
};

struct CDownloadOptions {
    bool m_bFetchResources = true;  // capture fetches images, stylesheets and frames
    // Unused, but written back as read so that nothing a file holds is lost.
    uint32_t m_nReserved1 = 1;
    uint32_t m_nReserved2 = 1;
    uint32_t m_nReserved3 = 1;
    uint32_t m_nReserved4 = 0;
    uint32_t m_nConnectionKind = 0;  // handed to the fetcher, which ignores it
    std::string m_strConnectionText1;
    std::string m_strConnectionText2;
    bool m_bProxyLogon = false;
    std::string m_strProxyUser;      // answered when a proxy asks for a log-on
    std::string m_strProxyPassword;  // likewise; kept in the file as plain text
    uint32_t m_nRetries = 10;        // further attempts after a failed fetch
    bool m_bRetryNoLimit = false;    // keep trying once m_nRetries is used up
    // Kept after the record (see Store), so the record itself stays as older
    // versions read and write it; a file without it reads as modern.
    bool m_bModernCapture = true;
    // Files of this many bytes or more are not imported; kept after the
    // record like the capture mode, a file without it reads as 10240000.
    uint32_t m_nMaxFileBytes = 10240000;
    // What one capture may hold, in MB (see CDownloadSettings); kept after
    // the record too. 0, which no page can be captured with, reads as the
    // default.
    uint32_t m_nCaptureBudgetMB = 1024;
};

// How the reader view shows an article.
struct CReaderOptions {
    uint32_t m_nTheme = 0;      // 0 light, 1 sepia, 2 dark
    uint32_t m_nTextSize = 2;   // 0 smallest to 4 largest
    uint32_t m_nLineWidth = 1;  // 0 narrow, 1 medium, 2 wide
};

struct CWindowRect {
    int32_t m_nLeft = 0;
    int32_t m_nTop = 0;
    int32_t m_nRight = 0;
    int32_t m_nBottom = 0;
    // All zero: no position remembered yet.
    bool IsNull() const { return !m_nLeft && !m_nTop && !m_nRight && !m_nBottom; }
};

class CAppOptions {
public:
    enum DockEdge : uint32_t { kDockLeft = 0, kDockTop = 1, kDockRight = 2, kDockBottom = 3 };

    // The main fields (what ResetOptions restores).
    bool m_bDockEnabled = true;  // the main window docks to a screen edge
    uint32_t m_nDockEdge = kDockTop;
    bool m_bSnapToCorner = false;
    bool m_bAutoSaveEnabled = true;
    uint32_t m_nAutoSavePeriod = 1800000;  // milliseconds; edited in minutes
    CWindowRect m_rcMainWindow;
    bool m_bEditorLoad1 = true;  // see EditorLoadFlags
    bool m_bEditorLoad2 = true;
    bool m_bEditorLoad3 = true;
    bool m_bShowDetails = false;
    bool m_bShowBorders = false;
    uint32_t m_nReserved = 0;  // unused, written back as read
    bool m_bActivateDesignTimeControls = false;
    bool m_bActivateActiveXControls = false;
    bool m_bActivateApplets = false;
    uint32_t m_nDefaultView = 0;          // pane a selected page note opens in
    uint32_t m_nMaxDownloadWorkers = 5;   // per notebook

    // Kept by ResetOptions.
    CHotKeyOptions m_hotKey;
    CDownloadOptions m_download;
    CReaderOptions m_reader;
    std::string m_strDateFormat;  // strftime format last chosen for inserting a date
    // Offered by the search form; never stored.
    std::vector<std::string> m_searchHistory;

    // Restores the main fields to their defaults; the hot key, the download
    // record, the date format and the search history stay as they are.
    void ResetOptions();

    // The editor's page-loading flags: 1 when all three switches are off,
    // otherwise 2, 8 and 16 for the first, second and third.
    uint32_t EditorLoadFlags() const;

    // What a download worker needs of the download record, copied for it
    // when it starts.
    CDownloadSettings DownloadSettings() const;

    // Reads the record from `strPath`. A missing file leaves the record as
    // it is and counts as success. On any failure the main fields go back to
    // their defaults, while the hot-key and download fields read before it
    // keep their read values; no message is shown either way. Values are
    // taken as they come: readers of a setting must cope with any number.
    bool LoadOptions(const std::string& strPath);
    bool LoadOptions() { return LoadOptions(DefaultOptionsPath()); }

    // Replaces `strPath` with the record, the old file surviving any failure.
    // With `bMakeFolder` the file's folder and its missing parents are made
    // first (mode 0700: the file holds the proxy password). Message 33061
    // when the file cannot be created, 33049 when writing fails.
    bool SaveOptions(const std::string& strPath, bool bMakeFolder = false) const;
    // To the default place, making its folder first when needed.
    bool SaveOptions() const;

    // "AppOption.data" beside the program when its folder is writable (a
    // portable install), else under the user's configuration folder.
    static std::string DefaultOptionsPath();

private:
    void Store(CArchive& ar) const;
    void Load(CArchive& ar);
};

// The record every part of the program reads and changes; the user-interface
// thread only.
CAppOptions& AppOptions();
