// An edited page written back into the bytes it was loaded from. The
// editor's engine hands over the body it holds; everything outside the body
// (doctype, head, scripts and styles there, comments after it) stays byte for
// byte as it was, and the body is written in the page's own encoding, so a
// UTF-16 page stays UTF-16 and a code-page page keeps its code page.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct CBodyEdit {
    // UTF-8, as the engine serialises them.
    bool m_bStartTagChanged = false;
    std::string m_strStartTag;  // "<body ...>"
    bool m_bInnerChanged = false;
    std::string m_strInner;
};

// The page with its body's start tag and content replaced by those of
// `edit` that changed. False when the page has no body to replace (a
// frameset); `out` is then left empty.
bool ReplacePageBody(const std::vector<uint8_t>& page, const CBodyEdit& edit, std::vector<uint8_t>& out);

// A text file's new text (UTF-8) in the encoding of the file it replaces: the
// same byte order mark and UTF-16 or UTF-8, else the process code page. Text
// that code page cannot hold is written as UTF-8 with a byte order mark
// rather than lost.
std::vector<uint8_t> EncodeTextPage(const std::string& strUtf8, const std::vector<uint8_t>& original);

// How a browser reads a file a page names: as it is, as a stylesheet (its
// own url() and @import followed), as a page in a frame (its own references
// followed from where it stands), or as an XSL transformation of the page
// (its output is a page at the address of the XML it shows).
enum PointedUse : int { kPointedFile = 0, kPointedStylesheet = 1, kPointedFrame = 2, kPointedTransform = 3 };

struct CPointedFile {
    std::string m_strName;
    int m_nUse = kPointedFile;
};

// The page with every reference that names one of the notebook's
// attachments by its bare name (`fnHeld` says which names are held; a
// fragment after the name stays) pointed into a folder: `strPrefix`
// ("./page.files/") before the name. Found as a browser finds them:
// sources, stylesheets, frames, srcset candidates, url() in style text, an
// attribute a lazy loader swaps in as well as the one it replaces. Each
// reference to a held name is added to `used`, pointed or not. With
// `bXslOutput` the page is an XSL: only what its output refers to is
// pointed, its own imports (which it reads from where it stands) are not.
// The page comes back unchanged when nothing is pointed.
std::vector<uint8_t> PointFilesInto(const std::vector<uint8_t>& page, const std::string& strPrefix,
                                    const std::function<bool(const std::string&)>& fnHeld, bool bXslOutput,
                                    std::vector<CPointedFile>& used);

// PointFilesInto for a page, with the names pointed added to `pointed` once
// each.
std::vector<uint8_t> PointAttachmentsInto(const std::vector<uint8_t>& page, const std::string& strPrefix,
                                          const std::function<bool(const std::string&)>& fnHeld,
                                          std::vector<std::string>& pointed);
