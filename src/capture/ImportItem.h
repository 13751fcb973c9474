// One thing to import into a notebook: a web address or a local file.
#pragma once

#include <memory>
#include <string>

class CClipVaultDoc;
class CNote;

class CImportItem {
public:
    virtual ~CImportItem() = default;

    std::string m_strSource;  // URL or local file path
    std::string m_strTitle;   // proposed note name; empty = derive from the source
    int m_nImportKind = 0;    // 0 web page, 1 single web file, 2 local file
    int m_nContentMode = 2;   // 2 fetch the content into the notebook, 1 keep a link only
    CClipVaultDoc* m_pTargetDoc = nullptr;
    int m_bStartNow = 1;      // 0: hold the download until the user starts it
    // A web page as the user's browser showed it (UTF-8, after its scripts
    // and log-ins); captured instead of a fresh fetch of the source, which
    // may not reach what the user saw. Empty: fetch the source.
    std::string m_strShownPage;
};

// The name a note taken from `strSource` gets when nobody proposed one: the
// page title for an HTML file (".htm", ".html", ".shtml", ".shtm", any case),
// else, or when the page has no title, the part after the last backslash or
// slash, else the whole source.
// A title sits in a page's head: reading further would only keep the window
// waiting on a huge file, one note after another.
constexpr uint64_t kTitleScanBytes = 64u << 10;

std::string TitleForSource(const std::string& strSource);

// Makes a note from an import request (the request is consumed). Null when
// the request names a local file that does not exist (message 33059). A note
// whose content the notebook holds is handed to the download list.
CNote* CreateNoteFromImport(std::unique_ptr<CImportItem> pItem);
