#include "capture/CaptureContext.h"

#include <curl/curl.h>
#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "capture/FetchShared.h"
#include "document/Records.h"
#include "platform/Url.h"

using namespace fetchutil;

namespace {

constexpr long kReceiveChunk = 256 * 1024;

bool StopRequested(const CNote* pNote) { return pNote && pNote->StopRequested(); }

}  // namespace

// libcurl is C: an exception must not leave a callback, or it unwinds
// through frames that cannot clean up and leaves the handle mid-transfer.
// Each callback catches what it may throw (bad_alloc while growing the
// buffer, above all) and refuses the data, which fails the transfer.
struct CaptureContextCallbacks {
    static size_t OnHeader(char* p, size_t size, size_t n, void* pv) noexcept {
        auto* self = static_cast<CCaptureContext*>(pv);
        try {
            return Header(self, p, size * n);
        } catch (...) {
            self->m_bCallbackFailed = true;
            return 0;
        }
    }

    static size_t OnBody(char* p, size_t size, size_t n, void* pv) noexcept {
        auto* self = static_cast<CCaptureContext*>(pv);
        try {
            return Body(self, p, size * n);
        } catch (...) {
            self->m_bCallbackFailed = true;
            return 0;
        }
    }

    // libcurl calls this about once a second even while a read is stalled,
    // which is what lets a stop request end a hung transfer.
    static int OnProgress(void* pv, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept {
        return static_cast<CCaptureContext*>(pv)->StopSeen() ? 1 : 0;
    }

private:
    static size_t Header(CCaptureContext* self, const char* p, size_t len) {
        ++self->m_nHeaderLines;
        if (self->StopSeen()) return 0;
        if (StartsWithNoCase(p, len, "http/")) {
            // A new response (an interim one may come first): forget the last.
            self->m_nContentLength = -1;
            self->m_strLocation.clear();
            self->m_bHaveLocation = false;
        } else if (StartsWithNoCase(p, len, "location:")) {
            self->m_strLocation = Trim(p + 9, len - 9);
            self->m_bHaveLocation = true;
        } else if (StartsWithNoCase(p, len, "content-length:")) {
            const std::string value = Trim(p + 15, len - 15);
            char* end = nullptr;
            const long long v = std::strtoll(value.c_str(), &end, 10);
            self->m_nContentLength = (end != value.c_str() && *end == '\0' && v >= 0) ? v : -1;
        } else if (Trim(p, len).empty()) {
            long code = 0;
            curl_easy_getinfo(self->m_curl, CURLINFO_RESPONSE_CODE, &code);
            if (code >= 100 && code < 200) return len;
            self->m_nStatus = code;
            // Only a 200 has a body worth reading; the rest is dropped with
            // its connection.
            if (code != 200) return 0;
            if (self->m_nContentLength > 0) {
                if (static_cast<unsigned long long>(self->m_nContentLength) > self->m_nMaxBody) {
                    self->m_bTooLarge = true;
                    return 0;
                }
                if (static_cast<unsigned long long>(self->m_nContentLength) > self->m_budget.Left()) {
                    self->m_budget.Spend();
                    self->m_bOverBudget = true;
                    return 0;
                }
                Reserve(self->m_buffer, static_cast<size_t>(self->m_nContentLength) + 1);
            }
        }
        return len;
    }

    static size_t Body(CCaptureContext* self, const char* p, size_t len) {
        if (self->m_nStatus != 200 || self->StopSeen()) return 0;
        if (len > self->m_nMaxBody - self->m_buffer.size()) {
            self->m_bTooLarge = true;
            return 0;
        }
        if (!self->m_budget.Take(len)) {
            self->m_bOverBudget = true;
            return 0;
        }
        self->m_nCounted += len;
        std::vector<uint8_t>& buffer = self->m_buffer;
        // One byte more for the zero that follows the body.
        if (buffer.size() + len + 1 > buffer.capacity())
            Reserve(buffer, std::min(std::max(buffer.size() + len + 1, 2 * buffer.capacity()), self->m_nMaxBody + 1));
        const auto* bytes = reinterpret_cast<const uint8_t*>(p);
        buffer.insert(buffer.end(), bytes, bytes + len);
        return len;
    }
};

CCaptureContext::CCaptureContext() = default;

CCaptureContext::~CCaptureContext() { CloseSession(); }

int CCaptureContext::OpenSession(const CFetchOptions& options) {
    CloseSession();
    m_options = options;
    m_budget = CCaptureBudget(options.m_nCaptureBudget);
    InitCurlOnce();
    m_curl = curl_easy_init();
    if (!m_curl) return 1;

    m_headers = curl_slist_append(m_headers, "Accept: */*");
    m_headers = curl_slist_append(m_headers, "Cache-Control: no-cache");
    m_headers = curl_slist_append(m_headers, "Pragma: no-cache");

    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(m_curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(m_curl, CURLOPT_USERAGENT, "Clipvault");
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, m_headers);
    curl_easy_setopt(m_curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    SetTransferLimits(m_curl, m_limits);
    // The path was made canonical when the URL was split; libcurl must not
    // change it again.
    curl_easy_setopt(m_curl, CURLOPT_PATH_AS_IS, 1L);
    // Basic only: any other method would make libcurl probe with requests of
    // its own, and an attempt must stay one request.
    curl_easy_setopt(m_curl, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(m_curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &CaptureContextCallbacks::OnHeader);
    curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &CaptureContextCallbacks::OnBody);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &CaptureContextCallbacks::OnProgress);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    // Larger reads than libcurl's 16 KiB: fewer system calls and copies for
    // big pages and files, at no cost for small ones.
    curl_easy_setopt(m_curl, CURLOPT_BUFFERSIZE, kReceiveChunk);

    std::string caFile = m_strCaFile;
    if (caFile.empty()) {
        if (const char* env = std::getenv("CLIPVAULT_CA_FILE")) caFile = env;
    }
    if (!caFile.empty()) curl_easy_setopt(m_curl, CURLOPT_CAINFO, caFile.c_str());
    return 0;
}

void CCaptureContext::CloseSession() {
    if (m_curl) curl_easy_cleanup(m_curl);
    m_curl = nullptr;
    curl_slist_free_all(m_headers);
    m_headers = nullptr;
}

bool CCaptureContext::StopSeen() const { return StopRequested(m_pTransferNote); }

void CCaptureContext::DropBuffer() {
    m_buffer.clear();
    m_budget.Give(m_nCounted);
    m_nCounted = 0;
}

long CCaptureContext::Perform(CNote* pNote) {
    for (bool bResent = false;; bResent = true) {
        DropBuffer();
        m_bOverBudget = false;
        m_nStatus = 0;
        m_nContentLength = -1;
        m_strLocation.clear();
        m_bHaveLocation = false;
        m_bTooLarge = false;
        m_bCallbackFailed = false;
        m_nHeaderLines = 0;
        m_pTransferNote = pNote;
        // libcurl's own result says little the status does not: a body cut
        // short keeps what arrived, like a stop during the read.
        m_lastResult = curl_easy_perform(m_curl);
        m_pTransferNote = nullptr;
        if (bResent) {
            curl_easy_setopt(m_curl, CURLOPT_FRESH_CONNECT, 0L);
            break;
        }
        if (!DiedUnanswered(pNote)) break;
        // Many servers answer an HTTP/1.0 request with an HTTP/1.1 status
        // line and no Connection header, then close: libcurl keeps such a
        // connection, and the next request on it can fail as the close
        // arrives. Nothing was answered and a GET may be repeated, so it is
        // sent once more on a new connection.
        curl_easy_setopt(m_curl, CURLOPT_FRESH_CONNECT, 1L);
    }
    if (m_nStatus) return m_nStatus;
    // A proxy that refuses the tunnel for an https URL answers in place of
    // the server.
    long connectCode = 0;
    curl_easy_getinfo(m_curl, CURLINFO_HTTP_CONNECTCODE, &connectCode);
    return connectCode >= 300 ? connectCode : 0;
}

bool CCaptureContext::DiedUnanswered(const CNote* pNote) const {
    if (m_lastResult == CURLE_OK || m_nHeaderLines > 0 || m_bCallbackFailed || StopRequested(pNote)) return false;
    long nNewConnections = 0;
    return curl_easy_getinfo(m_curl, CURLINFO_NUM_CONNECTS, &nNewConnections) == CURLE_OK && nNewConnections == 0;
}

int CCaptureContext::FetchURL(std::string& url, const uint8_t*& pData, size_t& nLength, CNote* pNote) {
    auto finish = [&](int code) {
        // What a capture keeps stays counted; anything else goes back.
        if (code != kFetchOk) DropBuffer();
        m_nCounted = 0;
        m_buffer.push_back(0);
        pData = m_buffer.data();
        nLength = m_buffer.size() - 1;
        return code;
    };
    DropBuffer();

    if (!HasScheme(url)) url = "http://" + url;
    const std::string work = url;
    url::CUrlParts parts;
    if (!m_curl || !url::CrackUrl(work, parts) || parts.m_strHost.empty() ||
        (parts.m_strScheme != "http" && parts.m_strScheme != "https"))
        return finish(kFetchBadUrl);
    if (StopRequested(pNote)) return finish(kFetchFailed);
    if (m_budget.Spent()) return finish(kFetchOverBudget);

    // The fragment never goes to the server; user name and password in the
    // URL are not used.
    std::string target = parts.m_strScheme + "://" + parts.m_strHost;
    if (parts.m_nPort) target += ":" + std::to_string(parts.m_nPort);
    target += EscapeForRequest(parts.m_strPath);
    if (!parts.m_strQuery.empty()) target += "?" + EscapeForRequest(parts.m_strQuery);

    if (curl_easy_setopt(m_curl, CURLOPT_URL, target.c_str()) != CURLE_OK) return finish(kFetchBadUrl);
    if (m_proxy) {
        curl_easy_setopt(m_curl, CURLOPT_PROXY, m_proxy->c_str());
        // Otherwise no_proxy from the environment would still apply.
        curl_easy_setopt(m_curl, CURLOPT_NOPROXY, "");
    } else {
        curl_easy_setopt(m_curl, CURLOPT_PROXY, static_cast<const char*>(nullptr));
        curl_easy_setopt(m_curl, CURLOPT_NOPROXY, static_cast<const char*>(nullptr));
    }
    // Credentials are given only in answer to a log-on request, never ahead.
    curl_easy_setopt(m_curl, CURLOPT_PROXYUSERNAME, static_cast<const char*>(nullptr));
    curl_easy_setopt(m_curl, CURLOPT_PROXYPASSWORD, static_cast<const char*>(nullptr));

    long status = Perform(pNote);
    if (m_bOverBudget) return finish(kFetchOverBudget);
    if (const int limit = LimitCode(m_curl, m_lastResult, m_limits)) return finish(limit);
    if (m_lastResult == CURLE_URL_MALFORMAT || m_lastResult == CURLE_UNSUPPORTED_PROTOCOL)
        return finish(kFetchBadUrl);
    if (m_bTooLarge || m_bCallbackFailed) return finish(kFetchFailed);
    if (status == 401 || status == 407) {
        if (StopRequested(pNote)) return finish(kFetchFailed);
        const std::string user = m_options.m_strProxyUser.substr(0, kMaxProxyCredential);
        const std::string password = m_options.m_strProxyPassword.substr(0, kMaxProxyCredential);
        curl_easy_setopt(m_curl, CURLOPT_PROXYUSERNAME, user.c_str());
        curl_easy_setopt(m_curl, CURLOPT_PROXYPASSWORD, password.c_str());
        status = Perform(pNote);
        if (m_bOverBudget) return finish(kFetchOverBudget);
        if (const int limit = LimitCode(m_curl, m_lastResult, m_limits)) return finish(limit);
        if (m_bTooLarge || m_bCallbackFailed) return finish(kFetchFailed);
    }
    // A stop during the body keeps what was read; before it, nothing counts.
    if (StopRequested(pNote) && status != 200) return finish(kFetchFailed);

    switch (status) {
        case 200:
            return finish(kFetchOk);
        case 301:
        case 302:
        case 303: {
            // Nowhere to go: following would only fetch this page again.
            if (!m_bHaveLocation || m_strLocation.empty()) return finish(kFetchFailed);
            // A relative location is resolved against the request, so it
            // keeps its scheme, host and port.
            url::CUrlParts location;
            std::string next;
            if (url::CrackUrl(m_strLocation, location) && !location.m_strHost.empty())
                next = m_strLocation;
            else if (!url::CombineUrl(work, m_strLocation, next))
                return finish(kFetchFailed);
            url = next;
            return finish(kFetchRedirect);
        }
        case 404:
        case 408:
        case 504: {
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTryAgainPauseMs);
            while (!StopRequested(pNote) && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return finish(kFetchTryAgain);
        }
        default:
            return finish(kFetchFailed);
    }
}

int CCaptureContext::FetchWithRetry(std::string& url, const uint8_t*& pData, size_t& nLength, bool bFollowRedirects,
                                    CNote* pNote) {
    m_buffer.assign(1, 0);
    pData = m_buffer.data();
    nLength = 0;
    m_nLastFetchCode = kFetchFailed;
    uint32_t nLeft = m_options.m_nRetries;
    int code = kFetchFailed;
    for (;;) {
        if (StopRequested(pNote)) return code;
        code = FetchURL(url, pData, nLength, pNote);
        m_nLastFetchCode = code;
        if (nLeft == 0 && !m_options.m_bRetryNoLimit) return code;
        if (nLeft > 0) --nLeft;
        if (code == kFetchTryAgain) continue;
        if (code == kFetchRedirect && bFollowRedirects) continue;
        return code;
    }
}

int CCaptureContext::FetchPageWithRetry(std::string& url, const uint8_t*& pData, size_t& nLength,
                                        bool bFollowRedirects, CNote* pNote) {
    return FetchWithRetry(url, pData, nLength, bFollowRedirects, pNote);
}

int CCaptureContext::FetchResourceWithRetry(std::string& url, const uint8_t*& pData, size_t& nLength, CNote* pNote) {
    // The note goes into the attempt as well, so that a stop need not wait
    // for the transfer limits to give up a stalled image.
    return FetchWithRetry(url, pData, nLength, true, pNote);
}
