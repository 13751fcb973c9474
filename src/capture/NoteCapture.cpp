// Taking a page's resources in: every image, stylesheet and frame page the
// page uses becomes an attachment of the notebook, and the page is pointed at
// the attachments by name.
#include <algorithm>
#include <set>

#include "app/AppOptions.h"
#include "capture/CaptureContext.h"
#include "capture/LinkHelpers.h"
#include "capture/PageScanner.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"

namespace {

const size_t kMinPageBytes = 10;


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
    // Stylesheets and frame pages whose own resources are being or were
    // captured in this run: one that refers to itself, directly or through
    // others, is captured once instead of without end.
    std::set<std::string> nested;

    bool Stopped() const { return note.StopRequested(); }
    bool Capture(const std::string& strBase, std::vector<uint8_t>& bytes, bool bOwnContent);
    // Listed once, however often the page uses it.
    void AddName(const std::string& name) {
        CNoteUpdate update(note);
        if (!update) return;
        auto& names = note.m_attachNames;
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
};

bool CaptureRun::Capture(const std::string& strBase, std::vector<uint8_t>& bytes, bool bOwnContent) {
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
                std::string used;
                if (pDoc->FindAttachment(item->m_strRaw)) {
                    used = item->m_strRaw;  // the page already uses a stored attachment
                } else if (std::string name = pDoc->AttachmentNameForOrigin(item->m_strURL);
                           !name.empty() && pDoc->FindAttachment(name)) {
                    used = replacement = name;
                } else {
                    std::vector<uint8_t> data;
                    bool bGot;
                    if (pContext) {
                        std::string url = item->m_strURL;
                        bGot = pContext->FetchResource(url, data, &note);
                    } else {
                        bGot = ReadWholeFile(item->m_strURL, data);
                    }
                    if (bGot) {
                        if (item->m_nRefKind == kRefStylesheet && nested.insert(item->m_strURL).second)
                            Capture(item->m_strURL, data, false);
                        const std::string name = pDoc->UniqueAttachmentName(item->m_strRaw);
                        CNoteAttatch* pAttach =
                            name.empty() ? nullptr : pDoc->MakeAttachment(name, item->m_strURL, std::move(data));
                        if (pAttach) used = replacement = pAttach->m_strName;
                    } else if (item->m_strURL != item->m_strRaw && !Stopped()) {
                        // Not captured: the page, shown from the working
                        // folder, still finds it where it came from.
                        replacement = item->m_strURL;
                    }
                }
                if (!used.empty()) AddName(used);
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
    if (m_strExt != "htm" && m_strExt != "xml" && m_strExt != "xls") return false;
    try {
        const bool bFetch = pSettings ? pSettings->m_bFetchResources
                            : pContext ? pContext->m_options.m_bFetchResources
                                       : AppOptions().m_download.m_bFetchResources;
        CaptureRun run{*this, m_pDocument, pContext, bFetch, {}};
        if (pBytes) return run.Capture(strBase, *pBytes, false);
        // The worker is the only writer of the content while it runs; the
        // result goes in under the lock that a save takes to read it.
        std::vector<uint8_t> bytes;
        {
            std::lock_guard<std::mutex> guard(m_dataLock);
            bytes = m_content;
        }
        run.Capture(strBase, bytes, true);
        CNoteUpdate update(*this);
        if (update) m_content.swap(bytes);
        return true;
    } catch (...) {
        host::ShowMessage(ids::IDS_OPERATION_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION);
        return true;
    }
}
