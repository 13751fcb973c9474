// What the classic and the modern capture share: where a page may read
// files of this computer from, and names held while a capture decides.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CCaptureContext;
class CClipVaultDoc;
class CNote;
struct CDownloadSettings;

// The host's text with each "%s" in turn replaced by the next of `args`;
// what has no place in it (a host without the text) is added at the end.
std::string FormatText(std::string text, const std::vector<std::string>& args);

// Where a capture may read files of this computer from: a saved page's own
// folder, or else the notebook's working folder, where pages read back from
// the editor and their files are written. The working folder is found only
// when a page first names a local file, since finding it makes it.
class CLocalFolder {
public:
    explicit CLocalFolder(CClipVaultDoc* pDoc) : m_pDoc(pDoc) {}
    static CLocalFolder OfPage(const std::string& strPagePath);

    // The real path of the file `url` names when it may be read, else empty
    // (left as the page wrote it). `bDecode`: the URL holds percent escapes.
    std::string PathToRead(const std::string& url, bool bDecode);

private:
    CClipVaultDoc* m_pDoc;
    bool m_bKnown = false;
    std::string m_strFolder;  // a real path; empty when nothing may be read
};

// CNote::CaptureResources with the folder its local files may come from.
bool CaptureNoteResources(CNote& note, const std::string& strBase, CCaptureContext* pContext,
                          std::vector<uint8_t>* pBytes, const CDownloadSettings* pSettings, CLocalFolder& local);

// A reserved attachment name goes back when the attachment was not made
// after all.
struct CNameReservation {
    CClipVaultDoc* pDoc = nullptr;
    std::string name;
    CNameReservation() = default;
    CNameReservation(CClipVaultDoc* doc, std::string n) : pDoc(doc), name(std::move(n)) {}
    CNameReservation(CNameReservation&& o) noexcept : pDoc(o.pDoc), name(std::move(o.name)) { o.name.clear(); }
    CNameReservation& operator=(CNameReservation&& o) noexcept {
        if (this != &o) {
            Release();
            pDoc = o.pDoc;
            name = std::move(o.name);
            o.name.clear();
        }
        return *this;
    }
    void Release();
    ~CNameReservation();
};
