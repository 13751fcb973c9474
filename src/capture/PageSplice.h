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

// The page with every reference that names one of the notebook's
// attachments by its bare name (`fnHeld` says which names are held) pointed
// into a folder: `strPrefix` ("./page.files/") before the name. Found as a
// browser finds them: sources, stylesheets, frames, srcset candidates, url()
// in style text. The names pointed are added to `pointed` once each. The
// page comes back unchanged when nothing names an attachment.
std::vector<uint8_t> PointAttachmentsInto(const std::vector<uint8_t>& page, const std::string& strPrefix,
                                          const std::function<bool(const std::string&)>& fnHeld,
                                          std::vector<std::string>& pointed);
