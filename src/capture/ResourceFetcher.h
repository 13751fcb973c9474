// Many fetches at once for one download worker: libcurl's multi interface,
// HTTP/1.1 keep-alive and HTTP/2 where the server offers it, at most
// kMaxConnectionsPerHost connections to one host. Each fetch keeps the
// retry count and retry without limit of the download options, but only what
// may pass is tried again after a pause: a connection that could not be made
// or timed out, 408, 429 and 5xx other than 501. Any other answer is final at
// once (404 and 410 among them; 401 after the one resend with the proxy
// credentials). Redirects are followed (301, 302, 303, 307, 308) within the
// same count of attempts, a body that does not fit the limit is refused
// whole, a transfer past the context's limits given up (kFetchTooSlow,
// kFetchTooLong). Answers are decoded (gzip, deflate, br). Decoded bytes count
// against the context's budget as they arrive: a fetch that would pass it
// ends with kFetchOverBudget, as does every fetch after it, and one that
// unpacks too far for what came on the wire (InflatedTooFar) with
// kFetchInflated; neither is tried again. A stop request of the context's
// note ends every fetch still running.
//
// Everything runs on the worker thread that calls Run; the callbacks too,
// so a callback may add further fetches (a stylesheet's own resources).
//
// Only a 200 is a success, as for the single fetch: a 203 or 206 body is not
// the resource as asked, and a body cut short (fewer bytes than announced,
// or broken compression) fails rather than being kept as if it were whole.
// The codes map as FetchResourceWithRetry's do, so a page fetched alone
// through here gives kFetchBadUrl for an address that cannot be fetched,
// kFetchRedirect when still redirected as the attempts run out, and
// kFetchTryAgain for a 404 or 410, or a 408 or 504 on the last attempt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CCaptureContext;

constexpr long kMaxConnectionsPerHost = 8;

struct CFetchResult {
    int m_nCode = 4;                // kFetchOk, or the final code as FetchResourceWithRetry gives it
    std::string m_strFinalUrl;      // after the redirects followed
    std::string m_strContentType;   // media type of the answer, lower case, without parameters
    std::string m_strCharset;       // its charset parameter, as written; empty when none
    std::vector<uint8_t> m_body;    // decoded
    // A stop cut the answer short (m_nCode is then kFetchFailed): m_body
    // holds what had arrived, for a page, which is kept as far as it came.
    bool m_bCutByStop = false;
};

class CResourceFetcher {
public:
    using Done = std::function<void(CFetchResult&& result)>;

    // Uses the context's session settings (download options, proxy,
    // certificates, body limit) and its note as the stop signal. The
    // context outlives the fetcher.
    explicit CResourceFetcher(CCaptureContext& context);
    ~CResourceFetcher();
    CResourceFetcher(const CResourceFetcher&) = delete;
    CResourceFetcher& operator=(const CResourceFetcher&) = delete;

    // Queues a fetch of `url` (given "http://" when it has no scheme). `done`
    // is called once, from Run, when it has ended (with m_nCode 4 when it was
    // stopped).
    void Add(const std::string& url, Done done);
    // Runs until every fetch queued, including those added by callbacks, has
    // ended. A fetcher may run again with new fetches and keeps its
    // connections in between, so a page and then its resources can share
    // them. Not to be called from a callback. When a callback throws, the
    // fetches still open are dropped without their callbacks and the
    // exception leaves Run; the fetcher stays usable. The destructor drops
    // fetches never run the same way.
    void Run();

private:
    struct Impl;
    std::unique_ptr<Impl> m_p;
};
