// What a download worker runs: a web page with its resources, a single web
// file, or a local file, into one note.
#include "capture/CaptureContext.h"
#include "capture/FetchShared.h"
#include "capture/ModernCapture.h"
#include "capture/ResourceFetcher.h"
#include "capture/PageScanner.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/Url.h"

namespace {

bool Stopped(const CNote* pNote) { return pNote && pNote->StopRequested(); }

// The file part of a URL's path, as a path splitter sees it.
std::string FilePart(const std::string& url) {
    url::CUrlParts parts;
    const std::string path = url::CrackUrl(url, parts) ? parts.m_strPath : url;
    const size_t cut = path.find_last_of("/\\");
    std::string file = cut == std::string::npos ? path : path.substr(cut + 1);
    // A page's query is part of what the address names.
    if (!parts.m_strQuery.empty()) file += "?" + parts.m_strQuery;
    return file;
}

unsigned ErrorFor(int code) {
    switch (code) {
    case kFetchBadUrl: return ids::IDS_FETCH_BAD_URL;
    case kFetchRedirect: return ids::IDS_FETCH_REDIRECTED;
    case kFetchTryAgain: return ids::IDS_FETCH_NOT_FOUND;
    default: return ids::IDS_FETCH_FAILED;
    }
}

std::string ErrorText(int code, const CCaptureContext& context) {
    if (code == kFetchTooSlow || code == kFetchTooLong) return fetchutil::LimitText(code, context.m_limits);
    if (code == kFetchOverBudget || code == kFetchInflated) return fetchutil::BudgetFailureText(code, context.m_budget);
    return host::LoadString(ErrorFor(code));
}


void Failed() { host::ShowMessage(ids::IDS_OPERATION_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION); }

// One fetch through the parallel fetcher: HTTP/1.1, compressed answers,
// redirects of every kind.
CFetchResult FetchModern(CCaptureContext& context, const std::string& url) {
    CFetchResult result;
    CResourceFetcher fetcher(context);
    fetcher.Add(url, [&result](CFetchResult&& r) { result = std::move(r); });
    fetcher.Run();
    return result;
}

// "png" for image/png; empty for a type without a usual extension.
std::string ExtensionForType(const std::string& strContentType) {
    const std::string name = ModernAttachmentName("x", strContentType, kUseFile);
    return name.size() > 2 ? name.substr(2) : std::string();
}

// What a page whose answer is a picture, a sound, a film or a document is
// stored as ("png" for an image), so that it shows as one. Pages often come
// with any type at all, text/plain among them: those stay pages.
std::string TypeForAnswer(const std::string& strContentType) {
    if (strContentType.compare(0, 6, "image/") != 0 && strContentType.compare(0, 6, "audio/") != 0 &&
        strContentType.compare(0, 6, "video/") != 0 && strContentType != "application/pdf")
        return std::string();
    if (strContentType == "image/svg+xml") return std::string();  // a page of its own kind, with references
    return ExtensionForType(strContentType);
}

}  // namespace

std::string CCaptureContext::MakeLocalPageName(const std::string& url, bool bPage) {
    std::string name = FilePart(url);
    if (name.empty() || name.front() == '?') return bPage ? "index.htm" : "unknown.fil";
    if (!bPage) return name;
    const size_t dot = name.find('.');
    const size_t query = name.rfind('?');
    if (dot != std::string::npos && dot > 0 && query != std::string::npos && query > dot) name.erase(query);
    const size_t lastDot = name.rfind('.');
    const std::string ext = lastDot == std::string::npos ? std::string() : LowerAscii(name.substr(lastDot));
    if (ext.find('#') == std::string::npos && ext != ".htm" && ext != ".html" && ext != ".mht" && ext != ".mhtm" &&
        ext != ".mhtml" && ext != ".xml")
        name += ".htm";
    return name;
}

bool CCaptureContext::FetchResource(std::string& url, std::vector<uint8_t>& bytes, CNote* pNote) {
    if (Stopped(pNote)) return false;
    const uint8_t* pData = nullptr;
    size_t nLength = 0;
    if (FetchResourceWithRetry(url, pData, nLength, pNote) != kFetchOk) return false;
    // A resource cut short by a stop would be stored as if it were whole,
    // and later pages would reuse it by its address.
    if (Stopped(pNote)) return false;
    // The receive buffer is handed over rather than copied: a large resource
    // would otherwise be held three times on its way into the notebook.
    (void)pData;
    m_buffer.resize(nLength);
    bytes.swap(m_buffer);
    m_buffer.clear();
    return true;
}

bool CCaptureContext::CapturePage(std::string& url, CNote* pNote) {
    const std::string name = MakeLocalPageName(url, true);
    if (Stopped(pNote)) return false;
    const uint8_t* pData = nullptr;
    size_t nLength = 0;
    CFetchResult modern;
    int code;
    m_strPageCharset.clear();
    if (m_options.m_bModernCapture) {
        modern = FetchModern(*this, url);
        // A stop while the page arrives keeps what came, as the first rules
        // do; its files are not fetched then.
        code = modern.m_bCutByStop ? kFetchOk : modern.m_nCode;
        if (!modern.m_strFinalUrl.empty()) url = modern.m_strFinalUrl;
        pData = modern.m_body.data();
        nLength = modern.m_body.size();
        m_strPageCharset = modern.m_strCharset;
    } else {
        code = FetchPageWithRetry(url, pData, nLength, true, pNote);
    }
    if (code != kFetchOk) {
        CNoteUpdate update(*pNote);
        if (update) pNote->m_strError = ErrorText(code, *this);
        return false;
    }
    const size_t dot = name.rfind('.');
    std::string ext = PageTypeFor(dot == std::string::npos ? std::string() : name.substr(dot + 1));
    if (m_options.m_bModernCapture) {
        if (std::string answered = TypeForAnswer(modern.m_strContentType); !answered.empty()) ext = answered;
    }
    {
        // The whole page: nothing is cut from a long one.
        CNoteUpdate update(*pNote);
        if (!update) return false;
        pNote->SetContent(std::vector<uint8_t>(pData, pData + nLength));
        pNote->m_strExt = ext;
    }
    if (Stopped(pNote)) return true;  // the page as fetched, without its resources
    pNote->CaptureResources(url, this, nullptr);
    return true;
}

bool CCaptureContext::CaptureShownPage(const std::string& url, std::string strPage, CNote* pNote) {
    // The browser hands over text, whatever the page's own bytes were: the
    // page's own charset mark no longer holds, and the first rules cannot be
    // told so, so its files are taken by the modern ones.
    m_strPageCharset = "utf-8";
    CDownloadSettings settings = m_options;
    settings.m_bModernCapture = true;
    {
        CNoteUpdate update(*pNote);
        if (!update) return false;
        pNote->SetContent(std::vector<uint8_t>(strPage.begin(), strPage.end()));
        pNote->m_strExt = "htm";
    }
    std::string().swap(strPage);
    if (Stopped(pNote)) return true;
    // The page is in memory already and counts like a fetched one; past the
    // budget it is kept as it came.
    m_budget.Take(pNote->ContentSize());
    pNote->CaptureResources(url, this, nullptr, &settings);
    return true;
}

bool CCaptureContext::CaptureWebPage(const std::string& url, CNote* pNote, const CDownloadSettings& settings) {
    try {
        m_pNote = pNote;
        if (Stopped(pNote)) return false;
        OpenSession(settings);
        if (Stopped(pNote)) {
            CloseSession();
            return false;
        }
        std::string page = url;
        std::string shown;
        {
            CNoteUpdate update(*pNote);
            if (update) shown.swap(pNote->m_strShownPage);
        }
        const bool ok = shown.empty() ? CapturePage(page, pNote) : CaptureShownPage(page, std::move(shown), pNote);
        CloseSession();
        CNoteUpdate update(*pNote);
        if (update && pNote->m_strExt.empty()) pNote->m_strExt = "htm";
        return ok;
    } catch (...) {
        Failed();
        return false;
    }
}

bool CCaptureContext::CaptureWebFile(const std::string& url, CNote* pNote, const CDownloadSettings& settings) {
    try {
        m_pNote = pNote;
        OpenSession(settings);
        std::string address = url;
        std::vector<uint8_t> bytes;
        bool ok;
        int code;
        std::string answered;
        if (settings.m_bModernCapture) {
            CFetchResult r = FetchModern(*this, address);
            code = r.m_nCode;
            ok = r.m_nCode == kFetchOk && !Stopped(pNote);
            if (ok) bytes.swap(r.m_body);
            answered = ExtensionForType(r.m_strContentType);
        } else {
            ok = FetchResource(address, bytes, pNote);
            code = m_nLastFetchCode;
        }
        const std::string file = MakeLocalPageName(url, false);
        const size_t dot = file.rfind('.');
        CloseSession();
        CNoteUpdate update(*pNote);
        if (!update) return false;
        if (ok) pNote->SetContent(std::move(bytes));
        pNote->m_strExt = dot == std::string::npos ? std::string() : file.substr(dot + 1);
        // A file whose address names no type is known by its answer's.
        if (pNote->m_strExt.empty() && settings.m_bModernCapture) pNote->m_strExt = answered;
        if (!ok)
            pNote->m_strError = code == kFetchTooSlow || code == kFetchTooLong || code == kFetchOverBudget ||
                                        code == kFetchInflated
                                    ? ErrorText(code, *this)
                                    : host::LoadString(ids::IDS_FETCH_FAILED);
        return ok;
    } catch (...) {
        Failed();
        return false;
    }
}

bool RunNoteDownload(CNote& note, const CDownloadSettings& settings) {
    switch (note.m_nSourceKind) {
    case kSourceWebPage: {
        CCaptureContext context;
        return context.CaptureWebPage(note.m_strSource, &note, settings);
    }
    case kSourceWebFile: {
        CCaptureContext context;
        return context.CaptureWebFile(note.m_strSource, &note, settings);
    }
    case kSourceLocalFile: return note.ImportLocalFile(&settings);
    default: return false;
    }
}
