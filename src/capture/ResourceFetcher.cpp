#include "capture/ResourceFetcher.h"

#include <curl/curl.h>
#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

#include "capture/CaptureContext.h"
#include "capture/FetchShared.h"
#include "document/Records.h"
#include "platform/Url.h"

using namespace fetchutil;

namespace {

using Clock = std::chrono::steady_clock;

// Beyond the per-host limit: a page with resources on many hosts still keeps
// the worker to a modest number of sockets.
constexpr long kMaxTotalConnections = 32;
// Transfers handed to libcurl at once; the rest wait here. Each holds an easy
// handle and its receive buffer, so a page with a thousand images does not
// make a thousand of them.
constexpr size_t kMaxInFlight = 64;
// How often a stop request is looked for while transfers run or pause.
constexpr int kStopCheckMs = 100;
constexpr long kReceiveChunk = 64 * 1024;
// The body of an answer other than 200 is read and dropped, so that its
// connection can serve the next request; one this large is not worth it.
constexpr size_t kMaxDroppedBody = 256 * 1024;

bool StopRequested(const CNote* pNote) { return pNote && pNote->StopRequested(); }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// "Text/HTML; Charset=\"UTF-16LE\"" gives "text/html" and "UTF-16LE".
void ParseContentType(const std::string& value, std::string& type, std::string& charset) {
    type.clear();
    charset.clear();
    size_t semi = value.find(';');
    type = Trim(value.substr(0, semi));
    std::transform(type.begin(), type.end(), type.begin(), Lower);
    while (semi != std::string::npos) {
        const size_t begin = semi + 1;
        // A quoted value may hold ';'.
        size_t end = begin;
        bool bQuoted = false;
        for (; end < value.size(); ++end) {
            if (value[end] == '"')
                bQuoted = !bQuoted;
            else if (value[end] == '\\' && bQuoted && end + 1 < value.size())
                ++end;
            else if (value[end] == ';' && !bQuoted)
                break;
        }
        semi = end < value.size() ? end : std::string::npos;
        const std::string param = value.substr(begin, end - begin);
        const size_t eq = param.find('=');
        if (eq == std::string::npos) continue;
        std::string name = Trim(param.substr(0, eq));
        std::transform(name.begin(), name.end(), name.begin(), Lower);
        if (name != "charset") continue;
        std::string v = Trim(param.substr(eq + 1));
        if (v.size() >= 2 && v.front() == '"') {
            std::string unquoted;
            for (size_t i = 1; i < v.size() && v[i] != '"'; ++i) {
                if (v[i] == '\\' && i + 1 < v.size()) ++i;
                unquoted += v[i];
            }
            v = unquoted;
        }
        charset = v;
        return;
    }
}

// What is asked again: what may pass by itself, a server down or overloaded
// for a moment or a connection that could not be made. Any other answer
// (wrong address, gone, refused, not implemented) comes out the same on every
// attempt, and asking it again only holds up a page with dead references.
// The transfer limits are final too: they were waited out already.
bool MayPass(long status, CURLcode result) {
    if (status == 0) return result == CURLE_COULDNT_CONNECT || result == CURLE_OPERATION_TIMEDOUT;
    return status == 408 || status == 429 || (status >= 500 && status <= 599 && status != 501);
}

}  // namespace

namespace {

// One fetch through all its attempts.
struct Fetch {
    std::string strUrl;  // with a scheme; the new location after a redirect
    CResourceFetcher::Done done;
    uint32_t nLeft = 0;  // attempts left after the one running, as the retry count goes
    CURL* curl = nullptr;
    bool bInMulti = false;
    const CNote* pNote = nullptr;
    size_t nMaxBody = 0;
    CCaptureBudget* pBudget = nullptr;  // the context's

    // The attempt: one request, or two when credentials or a fresh
    // connection are asked for.
    bool bCredentialsSent = false;
    bool bResent = false;
    std::string strNext;  // where a redirect points
    Clock::time_point wakeAt;
    int nIfLast = kFetchTryAgain;  // the code of a paused attempt when it was the last

    // The request in progress, filled by libcurl's callbacks.
    long nStatus = 0;  // set once the headers of a final response are complete
    long long nContentLength = -1;
    bool bTooLarge = false;
    bool bOverBudget = false;
    bool bInflated = false;
    uint64_t nCounted = 0;  // bytes of the body taken from the budget
    bool bCallbackFailed = false;
    unsigned nHeaderLines = 0;
    size_t nDropped = 0;
    std::vector<uint8_t> body;

    // The body is dropped; what it held no longer counts.
    void Uncount() {
        if (pBudget) pBudget->Give(nCounted);
        nCounted = 0;
    }

    void ResetRequest() {
        Uncount();
        nStatus = 0;
        nContentLength = -1;
        bTooLarge = false;
        bOverBudget = false;
        bInflated = false;
        bCallbackFailed = false;
        nHeaderLines = 0;
        nDropped = 0;
        body.clear();
    }
};

// libcurl is C: an exception must not leave a callback. Each catches what
// it may throw (bad_alloc while growing the body, above all) and refuses
// the data, which fails the transfer.
struct FetchCallbacks {
    static size_t OnHeader(char* p, size_t size, size_t n, void* pv) noexcept {
        auto* f = static_cast<Fetch*>(pv);
        try {
            return Header(f, p, size * n);
        } catch (...) {
            f->bCallbackFailed = true;
            return 0;
        }
    }

    static size_t OnBody(char* p, size_t size, size_t n, void* pv) noexcept {
        auto* f = static_cast<Fetch*>(pv);
        try {
            return Body(f, p, size * n);
        } catch (...) {
            f->bCallbackFailed = true;
            return 0;
        }
    }

private:
    static size_t Header(Fetch* f, const char* p, size_t len) {
        ++f->nHeaderLines;
        if (StartsWithNoCase(p, len, "http/")) {
            // A new response (an interim one may come first): forget the last.
            f->nContentLength = -1;
        } else if (StartsWithNoCase(p, len, "content-length:")) {
            const std::string value = Trim(p + 15, len - 15);
            char* end = nullptr;
            const long long v = std::strtoll(value.c_str(), &end, 10);
            f->nContentLength = (end != value.c_str() && *end == '\0' && v >= 0) ? v : -1;
        } else if (Trim(p, len).empty()) {
            long code = 0;
            curl_easy_getinfo(f->curl, CURLINFO_RESPONSE_CODE, &code);
            if (code >= 100 && code < 200) return len;
            f->nStatus = code;
            if (code == 200 && f->nContentLength > 0) {
                // Announced too large: refused before a byte of it is read.
                if (static_cast<unsigned long long>(f->nContentLength) > f->nMaxBody) {
                    f->bTooLarge = true;
                    return 0;
                }
                if (static_cast<unsigned long long>(f->nContentLength) > f->pBudget->Left()) {
                    f->pBudget->Spend();
                    f->bOverBudget = true;
                    return 0;
                }
                // The whole body in one block from the start, so that a large
                // image is never held twice while it grows. With a
                // Content-Encoding this is the encoded length, a lower bound.
                Reserve(f->body, static_cast<size_t>(f->nContentLength));
            }
        }
        return len;
    }

    static size_t Body(Fetch* f, const char* p, size_t len) {
        if (StopRequested(f->pNote)) return 0;
        if (f->nStatus != 200) {
            f->nDropped += len;
            return f->nDropped > kMaxDroppedBody ? 0 : len;
        }
        std::vector<uint8_t>& body = f->body;
        if (len > f->nMaxBody - body.size()) {
            f->bTooLarge = true;
            return 0;
        }
        // Counted as the decoded bytes arrive, before they are kept: a bomb
        // is stopped a few megabytes in, not once it is whole.
        if (!f->pBudget->Take(len)) {
            f->bOverBudget = true;
            return 0;
        }
        f->nCounted += len;
        curl_off_t nReceived = 0;
        curl_easy_getinfo(f->curl, CURLINFO_SIZE_DOWNLOAD_T, &nReceived);
        if (InflatedTooFar(f->nCounted, static_cast<uint64_t>(std::max<curl_off_t>(nReceived, 0)))) {
            f->bInflated = true;
            return 0;
        }
        if (body.size() + len > body.capacity())
            Reserve(body, std::min(std::max(body.size() + len, 2 * body.capacity()), f->nMaxBody));
        const auto* bytes = reinterpret_cast<const uint8_t*>(p);
        body.insert(body.end(), bytes, bytes + len);
        return len;
    }
};

}  // namespace

struct CResourceFetcher::Impl {
    explicit Impl(CCaptureContext& context) : m_ctx(context) {
        InitCurlOnce();
        m_multi = curl_multi_init();
        if (m_multi) {
            curl_multi_setopt(m_multi, CURLMOPT_PIPELINING, static_cast<long>(CURLPIPE_MULTIPLEX));
            curl_multi_setopt(m_multi, CURLMOPT_MAX_HOST_CONNECTIONS, kMaxConnectionsPerHost);
            curl_multi_setopt(m_multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, kMaxTotalConnections);
            curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, kMaxTotalConnections);
        }
        m_headers = curl_slist_append(m_headers, "Accept: */*");
        m_headers = curl_slist_append(m_headers, "Cache-Control: no-cache");
        m_headers = curl_slist_append(m_headers, "Pragma: no-cache");
        m_strCaFile = m_ctx.m_strCaFile;
        if (m_strCaFile.empty()) {
            if (const char* env = std::getenv("CLIPVAULT_CA_FILE")) m_strCaFile = env;
        }
    }

    ~Impl() {
        Abandon();
        for (CURL* curl : m_idle) curl_easy_cleanup(curl);
        if (m_multi) curl_multi_cleanup(m_multi);
        curl_slist_free_all(m_headers);
    }

    void Add(const std::string& url, Done done) {
        auto f = std::make_unique<Fetch>();
        f->strUrl = url;
        f->done = std::move(done);
        f->nLeft = m_ctx.m_options.m_nRetries;
        Fetch* p = f.get();
        m_all.emplace(p, std::move(f));
        m_ready.push_back(p);
    }

    void Run() {
        try {
            Loop();
        } catch (...) {
            // Whatever threw (a callback, most likely), nothing is left in
            // libcurl's hands and the fetcher can be used again.
            Abandon();
            throw;
        }
    }

private:
    using Finished = std::pair<Done, CFetchResult>;

    bool Stopped() const { return StopRequested(m_ctx.m_pNote); }

    void Loop() {
        for (;;) {
            if (Stopped()) StopAll();
            StartReady();
            if (m_nRunning > 0) {
                int nStill = 0;
                curl_multi_perform(m_multi, &nStill);
                CollectDone();
            }
            WakePaused();
            if (!m_finished.empty()) {
                Deliver();
                continue;
            }
            if (m_nRunning == 0 && m_paused.empty() && m_ready.empty()) return;
            // A redirect or a retry just queued starts without waiting.
            if (!m_ready.empty() && m_nRunning < kMaxInFlight) continue;
            int timeout = kStopCheckMs;
            for (const Fetch* f : m_paused) {
                const auto ms =
                    std::chrono::duration_cast<std::chrono::milliseconds>(f->wakeAt - Clock::now()).count() + 1;
                timeout = static_cast<int>(std::max<long long>(0, std::min<long long>(timeout, ms)));
            }
            if (m_nRunning > 0)
                curl_multi_poll(m_multi, nullptr, 0, timeout, nullptr);
            else if (timeout > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(timeout));
        }
    }

    // Callbacks may add fetches; those wait in m_ready for the next turn.
    void Deliver() {
        while (!m_finished.empty()) {
            Finished item = std::move(m_finished.front());
            m_finished.pop_front();
            if (item.first) item.first(std::move(item.second));
        }
    }

    void StartReady() {
        while (!m_ready.empty() && m_nRunning < kMaxInFlight) {
            Fetch* f = m_ready.front();
            m_ready.pop_front();
            StartAttempt(f);
        }
    }

    CURL* TakeHandle() {
        if (!m_idle.empty()) {
            CURL* curl = m_idle.back();
            m_idle.pop_back();
            return curl;
        }
        CURL* curl = curl_easy_init();
        if (!curl) return nullptr;
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(curl, CURLOPT_USERAGENT, "Clipvault");
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, m_headers);
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
        curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
        // Every compression libcurl was built with; bodies arrive decoded.
        curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
        // Basic only: any other method would make libcurl probe with
        // requests of its own, and an attempt must stay one request.
        curl_easy_setopt(curl, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &FetchCallbacks::OnHeader);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &FetchCallbacks::OnBody);
        curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveChunk);
        if (!m_strCaFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, m_strCaFile.c_str());
        return curl;
    }

    void ReleaseHandle(Fetch* f) {
        if (!f->curl) return;
        if (f->bInMulti) curl_multi_remove_handle(m_multi, f->curl);
        f->bInMulti = false;
        m_idle.push_back(f->curl);
        f->curl = nullptr;
    }

    // A new attempt of `f`: one request, more only for credentials or a
    // connection that died under it.
    void StartAttempt(Fetch* f) {
        if (Stopped()) return Finish(f, kFetchFailed);
        if (m_ctx.m_budget.Spent()) return Finish(f, kFetchOverBudget);
        if (!HasScheme(f->strUrl)) f->strUrl = "http://" + f->strUrl;
        url::CUrlParts parts;
        if (!m_multi || !url::CrackUrl(f->strUrl, parts) || parts.m_strHost.empty() ||
            (parts.m_strScheme != "http" && parts.m_strScheme != "https"))
            return AttemptEnded(f, kFetchBadUrl);
        // The fragment never goes to the server; user name and password in
        // the URL are not used.
        std::string target = parts.m_strScheme + "://" + parts.m_strHost;
        if (parts.m_nPort) target += ":" + std::to_string(parts.m_nPort);
        target += EscapeForRequest(parts.m_strPath);
        if (!parts.m_strQuery.empty()) target += "?" + EscapeForRequest(parts.m_strQuery);

        if (!f->curl) f->curl = TakeHandle();
        if (!f->curl) return AttemptEnded(f, kFetchBadUrl);
        CURL* curl = f->curl;
        if (curl_easy_setopt(curl, CURLOPT_URL, target.c_str()) != CURLE_OK) return AttemptEnded(f, kFetchBadUrl);
        curl_easy_setopt(curl, CURLOPT_PRIVATE, f);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, f);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, f);
        // Waiting for a connection that may turn out to multiplex is worth
        // it only where HTTP/2 can be offered: over TLS.
        curl_easy_setopt(curl, CURLOPT_PIPEWAIT, parts.m_strScheme == "https" ? 1L : 0L);
        if (m_ctx.m_proxy) {
            curl_easy_setopt(curl, CURLOPT_PROXY, m_ctx.m_proxy->c_str());
            // Otherwise no_proxy from the environment would still apply.
            curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
        } else {
            curl_easy_setopt(curl, CURLOPT_PROXY, static_cast<const char*>(nullptr));
            curl_easy_setopt(curl, CURLOPT_NOPROXY, static_cast<const char*>(nullptr));
        }
        // Credentials are given only in answer to a log-on request.
        curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, static_cast<const char*>(nullptr));
        curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, static_cast<const char*>(nullptr));
        f->bCredentialsSent = false;
        f->pNote = m_ctx.m_pNote;
        f->nMaxBody = m_ctx.m_nMaxBody;
        f->pBudget = &m_ctx.m_budget;
        SetTransferLimits(curl, m_ctx.m_limits);
        Send(f, false);
    }

    // One request of the attempt on `f`'s handle.
    void Send(Fetch* f, bool bResend) {
        f->bResent = bResend;
        curl_easy_setopt(f->curl, CURLOPT_FRESH_CONNECT, bResend ? 1L : 0L);
        f->ResetRequest();
        if (curl_multi_add_handle(m_multi, f->curl) != CURLM_OK) return AttemptEnded(f, kFetchBadUrl);
        f->bInMulti = true;
        ++m_nRunning;
    }

    void CollectDone() {
        int nQueued = 0;
        while (CURLMsg* msg = curl_multi_info_read(m_multi, &nQueued)) {
            if (msg->msg != CURLMSG_DONE) continue;
            Fetch* f = nullptr;
            curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&f));
            const CURLcode result = msg->data.result;
            curl_multi_remove_handle(m_multi, msg->easy_handle);
            f->bInMulti = false;
            --m_nRunning;
            RequestDone(f, result);
        }
    }

    // The request on a connection kept from an earlier one failed before any
    // line of an answer, and not for a stop: the server closed it while it
    // was idle. A GET may be repeated. libcurl resends most of these itself;
    // this is for the ones it gives up on.
    bool DiedUnanswered(const Fetch* f, CURLcode result) const {
        if (result == CURLE_OK || f->nHeaderLines > 0 || f->bCallbackFailed || Stopped()) return false;
        long nNewConnections = 0;
        return curl_easy_getinfo(f->curl, CURLINFO_NUM_CONNECTS, &nNewConnections) == CURLE_OK && nNewConnections == 0;
    }

    void RequestDone(Fetch* f, CURLcode result) {
        if (Stopped()) return Finish(f, kFetchFailed);
        if (!f->bResent && DiedUnanswered(f, result)) return Send(f, true);
        if (result == CURLE_URL_MALFORMAT || result == CURLE_UNSUPPORTED_PROTOCOL) return AttemptEnded(f, kFetchBadUrl);
        if (f->bOverBudget) return AttemptEnded(f, kFetchOverBudget);
        if (f->bInflated) {
            m_ctx.m_budget.NoteInflated();
            return AttemptEnded(f, kFetchInflated);
        }
        if (const int limit = LimitCode(f->curl, result, m_ctx.m_limits)) return AttemptEnded(f, limit);
        if (f->bTooLarge || f->bCallbackFailed) return AttemptEnded(f, kFetchFailed);
        long status = f->nStatus;
        if (!status) {
            // A proxy that refuses the tunnel for an https URL answers in
            // place of the server.
            long connectCode = 0;
            curl_easy_getinfo(f->curl, CURLINFO_HTTP_CONNECTCODE, &connectCode);
            if (connectCode >= 300) status = connectCode;
        }
        if ((status == 401 || status == 407) && !f->bCredentialsSent) {
            const std::string user = m_ctx.m_options.m_strProxyUser.substr(0, kMaxProxyCredential);
            const std::string password = m_ctx.m_options.m_strProxyPassword.substr(0, kMaxProxyCredential);
            curl_easy_setopt(f->curl, CURLOPT_PROXYUSERNAME, user.c_str());
            curl_easy_setopt(f->curl, CURLOPT_PROXYPASSWORD, password.c_str());
            f->bCredentialsSent = true;
            return Send(f, false);
        }
        switch (status) {
            case 200:
                // A body cut short is not the resource: it would be stored as
                // if it were whole.
                return AttemptEnded(f, result == CURLE_OK ? kFetchOk : kFetchFailed);
            case 301:
            case 302:
            case 303:
            case 307:
            case 308: {
                // libcurl resolves a relative location against the request.
                char* location = nullptr;
                curl_easy_getinfo(f->curl, CURLINFO_REDIRECT_URL, &location);
                // Nowhere to go: following would only fetch this page again.
                if (!location || !*location) return AttemptEnded(f, kFetchFailed);
                f->strNext = location;
                return AttemptEnded(f, kFetchRedirect);
            }
            case 404:
            case 410:
                // Not found is the answer; the code tells the user so.
                return Finish(f, kFetchTryAgain);
            default:
                if (!MayPass(status, result)) return AttemptEnded(f, kFetchFailed);
                return Pause(f, status == 408 || status == 504 ? kFetchTryAgain : kFetchFailed);
        }
    }

    // The pause belongs to the attempt; other fetches go on meanwhile.
    void Pause(Fetch* f, int nIfLast) {
        ReleaseHandle(f);
        f->nIfLast = nIfLast;
        f->wakeAt = Clock::now() + std::chrono::milliseconds(kTryAgainPauseMs);
        m_paused.push_back(f);
    }

    void WakePaused() {
        const auto now = Clock::now();
        for (size_t i = 0; i < m_paused.size();) {
            Fetch* f = m_paused[i];
            if (f->wakeAt > now) {
                ++i;
                continue;
            }
            m_paused.erase(m_paused.begin() + static_cast<std::ptrdiff_t>(i));
            AttemptEnded(f, kFetchTryAgain);
        }
    }

    // The retry count decides whether `code` is final.
    void AttemptEnded(Fetch* f, int code) {
        if (code == kFetchRedirect) f->strUrl = f->strNext;
        if (f->nLeft == 0 && !m_ctx.m_options.m_bRetryNoLimit)
            return Finish(f, code == kFetchTryAgain ? f->nIfLast : code);
        if (f->nLeft > 0) --f->nLeft;
        if (code != kFetchTryAgain && code != kFetchRedirect) return Finish(f, code);
        if (code == kFetchTryAgain) ReleaseHandle(f);
        // Ahead of fetches not started yet: it was queued before them.
        m_ready.push_front(f);
    }

    void Finish(Fetch* f, int code) {
        CFetchResult result;
        result.m_nCode = code;
        result.m_strFinalUrl = f->strUrl;
        if (code == kFetchOk) {
            char* type = nullptr;
            if (f->curl && curl_easy_getinfo(f->curl, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
                ParseContentType(type, result.m_strContentType, result.m_strCharset);
            result.m_body = std::move(f->body);
        } else if (code == kFetchFailed && Stopped() && f->nStatus == 200 && !f->body.empty()) {
            result.m_bCutByStop = true;
            result.m_body = std::move(f->body);
        }
        // What the caller gets stays counted; a body dropped goes back.
        if (result.m_body.empty()) f->Uncount();
        f->nCounted = 0;
        ReleaseHandle(f);
        Done done = std::move(f->done);
        m_all.erase(f);
        m_finished.emplace_back(std::move(done), std::move(result));
    }

    // Every fetch ends as failed; their callbacks follow in Deliver.
    void StopAll() {
        std::vector<Fetch*> all;
        all.reserve(m_all.size());
        for (auto& entry : m_all) all.push_back(entry.first);
        m_ready.clear();
        m_paused.clear();
        for (Fetch* f : all) Finish(f, kFetchFailed);
        m_nRunning = 0;
    }

    // Everything dropped without callbacks.
    void Abandon() {
        for (auto& entry : m_all) {
            entry.first->Uncount();
            ReleaseHandle(entry.first);
        }
        m_all.clear();
        m_ready.clear();
        m_paused.clear();
        m_finished.clear();
        m_nRunning = 0;
    }

    CCaptureContext& m_ctx;
    CURLM* m_multi = nullptr;
    curl_slist* m_headers = nullptr;
    std::string m_strCaFile;
    std::vector<CURL*> m_idle;  // handles between fetches

    std::unordered_map<Fetch*, std::unique_ptr<Fetch>> m_all;  // every fetch not finished
    std::deque<Fetch*> m_ready;                                // waiting for their next attempt
    std::vector<Fetch*> m_paused;                              // in the pause before trying again
    size_t m_nRunning = 0;                                     // requests handed to libcurl
    std::deque<Finished> m_finished;                           // callbacks to call
};

CResourceFetcher::CResourceFetcher(CCaptureContext& context) : m_p(std::make_unique<Impl>(context)) {}

CResourceFetcher::~CResourceFetcher() = default;

void CResourceFetcher::Add(const std::string& url, Done done) { m_p->Add(url, std::move(done)); }

void CResourceFetcher::Run() { m_p->Run(); }
