// Taking a page's resources in: every image, stylesheet and frame page the
// page uses becomes an attachment of the notebook, and the page is pointed at
// the attachments by name.

#include <strings.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "platform/DownloadSettings.h"
#include "capture/CaptureBudget.h"
#include "capture/CaptureContext.h"
#include "capture/CaptureShared.h"
#include "capture/CssRefs.h"
#include "capture/LinkHelpers.h"
#include "capture/ModernCapture.h"
#include "capture/PageScanner.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"

namespace {

const size_t kMinPageBytes = 10;
// Frame pages and stylesheets inside others are taken in this many levels
// below the note's own page; a deeper one keeps its address. A hostile page
// could otherwise lead the capture down a chain without end.
const int kMaxNesting = 8;
// Stored stylesheets and frame pages are followed this deep; a capture never
// stores a deeper chain, so only a damaged or hostile notebook reaches it.
const int kMaxStoredNesting = 64;

// What a new attachment is named after: the reference without its query or
// fragment (a browser asks the working folder for "vltstyle.css", not
// "vltstyle.css?v=3") and without the blanks and line breaks around it.
std::string NameSource(const std::string& raw) {
    std::string s;
    for (char c : raw.substr(0, raw.find_first_of("?#")))
        if (c != '\r' && c != '\n' && c != '\t') s += c;
    const size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// The absolute address of a hyperlink with the marker in it, so that a
// later, shorter value cannot be replaced inside it; the rewrite removes the
// marker again.
std::string MarkedLink(const std::string& url) {
    if (url.size() <= 3) return url;
    return url.substr(0, url.size() - 3) + kLinkMarker + url.substr(url.size() - 3);
}

struct CaptureRun {
    CNote& note;
    CClipVaultDoc* pDoc;
    CCaptureContext* pContext;
    bool bFetchResources;
    uint64_t nMaxFileBytes;
    CLocalFolder& local;
    CCaptureBudget& budget;  // fetches count themselves through the context; files read here count here
    // Stylesheets and frame pages whose own resources are being captured, by
    // address, with the name each is reserved to be stored under: one that
    // refers to itself, directly or through others, points at that name
    // instead of being fetched and stored again.
    std::map<std::string, std::string> nested = {};
    // Stored stylesheets and frame pages already followed in this capture.
    std::set<std::string> followed = {};
    // Addresses asked for in this capture and not had: a page naming a dead
    // picture a thousand times would otherwise wait out every retry for
    // each of them.
    std::set<std::string> failed = {};

    bool Stopped() const { return note.StopRequested(); }
    // `nDepth`: how many pages this one lies inside.
    bool Capture(const std::string& strBase, std::vector<uint8_t>& bytes, bool bOwnContent, int nDepth = 0);
    void ListStored(const std::string& name, bool bNests, int nDepth);
    // Listed once, however often the page uses it.
    void AddName(const std::string& name) {
        CNoteUpdate update(note);
        if (!update) return;
        auto& names = note.m_attachNames;
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
};

bool IsStylesheetName(const std::string& name) {
    return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".css") == 0;
}

// An attachment already stored is this note's too, with the attachments a
// stored frame page names (found as its capture found them) and those a
// stored stylesheet names, linked or not: the page shows with them.
void CaptureRun::ListStored(const std::string& name, bool bNests, int nDepth) {
    AddName(name);
    const bool bSheet = IsStylesheetName(name);
    if (!(bNests || bSheet) || nDepth > kMaxStoredNesting || !followed.insert(name).second) return;
    std::vector<uint8_t> data;
    std::string origin;
    {
        std::lock_guard<std::recursive_mutex> guard(pDoc->m_lock);
        CNoteAttatch* pAttach = pDoc->FindAttachment(name);
        if (!pAttach) return;
        data = pAttach->Data();
        origin = pAttach->m_strOrigin;
    }
    if (data.size() < kMinPageBytes) return;
    if (bSheet) {
        for (const CCssRef& r : FindCssRefs(reinterpret_cast<const char*>(data.data()), data.size()))
            if (pDoc->FindAttachment(r.m_strValue)) ListStored(r.m_strValue, false, nDepth + 1);
        return;
    }
    const std::string text = PageBytesToText(data);
    CPageScanner scanner(true);
    scanner.ScanPage(text, text.size(), origin, pContext == nullptr);
    for (auto& item : scanner.m_items)
        if (item->m_nRefKind != kRefHyperlink && pDoc->FindAttachment(item->m_strRaw))
            ListStored(item->m_strRaw, item->m_nRefKind == kRefStylesheet, nDepth + 1);
}

bool CaptureRun::Capture(const std::string& strBase, std::vector<uint8_t>& bytes, bool bOwnContent, int nDepth) {
    if (bytes.size() < kMinPageBytes) return true;
    const bool bUtf16 = bytes[0] == 0xFF && bytes[1] == 0xFE;
    std::string text = bUtf16 ? PageBytesToText(bytes) : std::string(bytes.begin(), bytes.end());
    bool bRewritten = false;
    CPageScanner scanner(bFetchResources);
    if (!Stopped()) {
        scanner.ScanPage(text, text.size(), strBase, pContext == nullptr);
        note.m_bLinksRewritten = 0;
        if (bOwnContent) {
            CNoteUpdate update(note);
            if (update) note.m_attachNames.clear();
        }
        for (auto& item : scanner.m_items) {
            if (Stopped()) break;
            std::string replacement;
            if (item->m_nRefKind == kRefHyperlink) {
                if (item->m_strURL != item->m_strRaw) replacement = MarkedLink(item->m_strURL);
            } else if (bFetchResources && pDoc) {
                const bool bNests = item->m_nRefKind == kRefStylesheet;
                std::string used;
                if (pDoc->FindAttachment(item->m_strRaw)) {
                    ListStored(item->m_strRaw, bNests, nDepth + 1);  // the page already uses a stored attachment
                } else if (std::string name = pDoc->AttachmentNameForOrigin(item->m_strURL);
                           !name.empty() && pDoc->FindAttachment(name)) {
                    replacement = name;
                    ListStored(name, bNests, nDepth + 1);
                } else if (auto it = nested.find(item->m_strURL); it != nested.end()) {
                    used = replacement = it->second;  // stored once its own capture is done
                } else if ((bNests && nDepth >= kMaxNesting) || failed.count(item->m_strURL)) {
                    if (item->m_strURL != item->m_strRaw) replacement = item->m_strURL;
                } else {
                    std::vector<uint8_t> data;
                    bool bGot;
                    // A local file the page may not read keeps the reference
                    // as the page wrote it.
                    bool bRefused = false;
                    if (pContext) {
                        std::string url = item->m_strURL;
                        bGot = pContext->FetchResource(url, data, &note);
                    } else {
                        const std::string real = local.PathToRead(item->m_strURL, false);
                        bRefused = real.empty();
                        bGot = !bRefused && !budget.Spent() && ReadWholeFile(real, data, nMaxFileBytes) &&
                               budget.Take(data.size());
                    }
                    if (bGot) {
                        CNoteAttatch* pAttach = nullptr;
                        if (bNests) {
                            CNameReservation reserved(pDoc, pDoc->ReserveAttachmentName(NameSource(item->m_strRaw)));
                            if (!reserved.name.empty()) {
                                nested.emplace(item->m_strURL, reserved.name);
                                Capture(item->m_strURL, data, false, nDepth + 1);
                                nested.erase(item->m_strURL);
                                pAttach = pDoc->MakeReservedAttachment(reserved.name, item->m_strURL, std::move(data));
                                reserved.name.clear();
                            }
                        } else {
                            const std::string name = pDoc->UniqueAttachmentName(NameSource(item->m_strRaw));
                            if (!name.empty()) pAttach = pDoc->MakeAttachment(name, item->m_strURL, std::move(data));
                        }
                        if (pAttach) used = replacement = pAttach->m_strName;
                    } else if (!Stopped() && !bRefused) {
                        // Not captured: the page, shown from the working
                        // folder, still finds it where it came from.
                        if (item->m_strURL != item->m_strRaw) replacement = item->m_strURL;
                        failed.insert(item->m_strURL);
                    }
                }
                if (!used.empty()) AddName(used);
            } else if (pDoc && pDoc->FindAttachment(item->m_strRaw)) {
                // Without fetching, a page read back keeps what it names.
                ListStored(item->m_strRaw, item->m_nRefKind == kRefStylesheet, nDepth + 1);
            }
            if (!replacement.empty()) {
                note.m_bLinksRewritten = 1;
                bRewritten = true;
                item->m_bReplace = 1;
                item->m_strReplace = replacement;
            }
        }
    }
    if (!bRewritten && !bUtf16) return true;
    std::vector<uint8_t> out(text.begin(), text.end());
    if (bRewritten) scanner.RewritePage(out);
    if (bUtf16) out = TextToUtf16Page(std::string(out.begin(), out.end()));
    bytes.swap(out);
    return true;
}

}  // namespace

bool CNote::CaptureResources(const std::string& strBase, CCaptureContext* pContext, std::vector<uint8_t>* pBytes,
                             const CDownloadSettings* pSettings) {
    CLocalFolder workFolder(m_pDocument);
    return CaptureNoteResources(*this, strBase, pContext, pBytes, pSettings, workFolder);
}

bool CaptureNoteResources(CNote& note, const std::string& strBase, CCaptureContext* pContext,
                          std::vector<uint8_t>* pBytes, const CDownloadSettings* pSettings, CLocalFolder& local) {
    const std::string& ext = note.m_strExt;
    if (!SameType(ext, "htm") && !SameType(ext, "xml") && !SameType(ext, "xls")) return false;
    try {
        const CDownloadSettings settings = pSettings ? *pSettings
                                           : pContext ? pContext->m_options
                                                      : CurrentDownloadSettings();
        const bool bFetch = settings.m_bFetchResources;
        CCaptureBudget own(settings.m_nCaptureBudget);
        CCaptureBudget& budget = pContext ? pContext->m_budget : own;
        // Whatever rule runs, a capture that left files at their addresses
        // for the budget says so.
        struct Record {
            CNote& note;
            const CCaptureBudget& budget;
            ~Record() {
                try {
                    const std::string text = fetchutil::BudgetText(budget);
                    if (text.empty()) return;
                    CNoteUpdate update(note);
                    if (update) note.m_strError = text;
                } catch (...) {
                }
            }
        } record{note, budget};
        // An edited page read back from the working folder may name any file
        // it had, whatever the user's limit for imports says now.
        const uint64_t nMaxFileBytes = pContext || pSettings ? settings.m_nMaxFileBytes
                                                             : std::max(settings.m_nMaxFileBytes, kMaxWholeFileBytes);
        // A page too deep for the parser gets the first rules' text search.
        const bool bTooDeep = [&] {
            if (pBytes) return TooDeepToParse(pBytes->data(), pBytes->size());
            std::lock_guard<std::mutex> guard(note.m_dataLock);
            return TooDeepToParse(note.Content().data(), note.Content().size());
        }();
        if (settings.m_bModernCapture && !bTooDeep) {
            CModernCaptureRequest request;
            request.m_strBase = strBase;
            request.m_bFetchResources = bFetch;
            request.m_nMaxFileBytes = nMaxFileBytes;
            request.m_bOwnContent = pBytes == nullptr;
            request.m_pLocalFolder = &local;
            request.m_pBudget = &budget;
            if (pBytes) {
                CaptureModern(note, pContext, *pBytes, request);
                return true;
            }
            if (pContext) request.m_strCharset = pContext->m_strPageCharset;
            std::vector<uint8_t> bytes;
            {
                std::lock_guard<std::mutex> guard(note.m_dataLock);
                bytes = note.Content();
            }
            CaptureModern(note, pContext, bytes, request);
            CNoteUpdate update(note);
            if (update) note.SetContent(std::move(bytes));
            return true;
        }
        CaptureRun run{note, note.m_pDocument, pContext, bFetch, nMaxFileBytes, local, budget};
        if (pBytes) return run.Capture(strBase, *pBytes, false);
        // The worker is the only writer of the content while it runs; the
        // result goes in under the lock that a save takes to read it.
        std::vector<uint8_t> bytes;
        {
            std::lock_guard<std::mutex> guard(note.m_dataLock);
            bytes = note.Content();
        }
        run.Capture(strBase, bytes, true);
        CNoteUpdate update(note);
        if (update) note.SetContent(std::move(bytes));
        return true;
    } catch (...) {
        host::ShowMessage(ids::IDS_OPERATION_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION);
        return true;
    }
}
