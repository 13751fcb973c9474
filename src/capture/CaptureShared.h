// What the classic and the modern capture share: where a page from the web
// may read files of this computer, and names held while a capture decides.
#pragma once

#include <string>
#include <vector>

class CClipVaultDoc;

// The host's text with each "%s" in turn replaced by the next of `args`;
// what has no place in it (a host without the text) is added at the end.
std::string FormatText(std::string text, const std::vector<std::string>& args);

// The real path of a file named by a "file://" URL or an absolute path,
// when it lies inside `folder` (itself a real path); empty otherwise, and for
// a folder whose name merely starts like it.
std::string PathInsideFolder(const std::string& url, const std::string& folder);

// The notebook's working folder as a real path; empty when it has none.
std::string RealWorkFolder(CClipVaultDoc* pDoc);

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
