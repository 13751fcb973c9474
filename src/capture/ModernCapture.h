// The modern capture of a page's resources: the page parsed as a browser
// parses it, every kind of file it uses taken in (stylesheets with their own
// url() and @import, frames with their own files), fetched in parallel, and
// only the values that were replaced changed in the page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CNote;
class CCaptureContext;
class CLocalFolder;
class CCaptureBudget;

struct CModernCaptureRequest {
    std::string m_strBase;     // the page's address: a URL, or a local path
    std::string m_strCharset;  // of the page's answer; empty when none was given
    bool m_bOwnContent = false;  // the bytes are the note's own page (its list of files is made anew)
    bool m_bFetchResources = true;  // off: only hyperlinks are made absolute
    uint64_t m_nMaxFileBytes = 10240000;  // local files this large or larger are not taken in
    // Where local files may come from; null: the notebook's working folder.
    CLocalFolder* m_pLocalFolder = nullptr;
    // What the capture may hold (files read or fetched, pages parsed); null
    // gives it a default budget of its own. A page that cannot be parsed
    // within what is left is kept as it came (the note's own page) or left
    // at its address (a frame), and the budget is spent.
    CCaptureBudget* m_pBudget = nullptr;
};

// Rewrites `bytes` (the page) in place and makes the attachments. With a
// context the files are fetched; without one they are read from disk, only
// from the request's local folder. A local file the folder does not allow
// keeps the reference as the page wrote it.
void CaptureModern(CNote& note, CCaptureContext* pContext, std::vector<uint8_t>& bytes,
                   const CModernCaptureRequest& request);

// A page nested so deep that parsing it would take minutes: the parser's
// time grows with the square of the depth, and pages of the real web stay
// within a few hundred levels. An estimate from the tags, void elements and
// closing tags counted.
bool TooDeepToParse(const uint8_t* pData, size_t nLength);

// The name a file taken from `url` is stored under, before the notebook
// makes it unique: the last part of the address's path in letters, digits,
// '.', '-' and '_' (others become '_'). A stylesheet's name ends in ".css"
// and a page's in a page type; another file without a known extension gets
// the one of `strContentType`.
std::string ModernAttachmentName(const std::string& url, const std::string& strContentType, int nUse);

// Uses of a file for naming it.
enum ModernUse : int { kUseFile = 0, kUseStylesheet = 1, kUseDocument = 2 };

// `ref` resolved against `base` as a browser resolves it: white space
// trimmed, tabs and line breaks removed, spaces and non-ASCII bytes escaped.
// Empty when it cannot be resolved.
std::string ResolveReference(const std::string& base, const std::string& ref);
