// What one download worker uses to reach the web: a libcurl session, one
// plain HTTP/1.0 GET per attempt, and retries driven by the download options.
//
// Redirects and proxy log-ons are handled here rather than by libcurl, so
// that every attempt is exactly one request (two after a log-on) and the
// retry rules can count them. Everything runs on the worker thread; the only
// thing another thread touches is the note's status, which a user turns into
// kStatusStopRequested to make the worker give up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/CaptureBudget.h"
#include "platform/DownloadSettings.h"

class CNote;
// The same declarations as <curl/curl.h>, so that includers need not see it.
typedef void CURL;
struct curl_slist;

// Result codes of one attempt (FetchURL) and of the retry loops.
constexpr int kFetchOk = 0;          // status 200; the body is in the receive buffer
constexpr int kFetchBadUrl = 1;      // no host and path in the URL, or no request could be made
constexpr int kFetchRedirect = 3;    // 301/302/303; the caller's URL is now the new location
constexpr int kFetchFailed = 4;      // stopped, any other status, or an unexpected failure
constexpr int kFetchTryAgain = 6;    // 404, 408 or 504, after a pause
constexpr int kFetchTooSlow = 7;     // the answer came slower than the transfer limits allow
constexpr int kFetchTooLong = 8;     // the transfer ran past the overall limit
constexpr int kFetchOverBudget = 9;  // the capture's budget is spent (this answer spent it, or one before)
constexpr int kFetchInflated = 10;   // a compressed answer unpacked too far (InflatedTooFar)

// A body larger than this is refused whole rather than kept in part: a
// truncated page or image would be stored as if it were complete.
constexpr size_t kMaxBodyBytes = size_t(512) * 1024 * 1024;
constexpr long kConnectTimeoutMs = 4000;
// After 404, 408 and 504: servers that answer so while a site is being
// updated often recover within moments.
constexpr int kTryAgainPauseMs = 500;
// Proxy user names and passwords longer than this are cut.
constexpr size_t kMaxProxyCredential = 63;

// A server that drips its answer, or sends its headers and then nothing,
// would otherwise hold a worker for good: a transfer slower than
// m_nMinBytesPerSecond for m_nSlowSeconds on end, or running longer than
// m_nMaxSeconds in all, is given up. A stop still ends it at once.
struct CTransferLimits {
    long m_nMinBytesPerSecond = 16;  // about 1 KB a minute
    long m_nSlowSeconds = 60;
    long m_nMaxSeconds = 30 * 60;
};

// The fetcher's name for the download settings it runs with.
using CFetchOptions = CDownloadSettings;

class CCaptureContext {
public:
    CCaptureContext();
    ~CCaptureContext();
    CCaptureContext(const CCaptureContext&) = delete;
    CCaptureContext& operator=(const CCaptureContext&) = delete;

    // Starts the session (a new one if one is open) with `options`, which
    // the context keeps, and a full budget of options.m_nCaptureBudget. 1 when libcurl cannot make a handle; every fetch
    // then gives kFetchBadUrl.
    int OpenSession(const CFetchOptions& options);
    void CloseSession();

    // One attempt. `url` gets "http://" in front when it has no scheme and is
    // replaced by the new location on kFetchRedirect. On kFetchOk `pData` is
    // the body in the receive buffer (valid until the next fetch, a zero byte
    // after it) and `nLength` its length; otherwise `nLength` is 0. A null
    // `pNote` is never stopped.
    int FetchURL(std::string& url, const uint8_t*& pData, size_t& nLength, CNote* pNote);

    // Attempts until the code is final: kFetchTryAgain always repeats,
    // kFetchRedirect only with `bFollowRedirects`; at most m_nRetries + 1
    // attempts unless m_bRetryNoLimit. A stopped note ends the loop before the
    // next attempt with the last code (kFetchFailed when none was made).
    int FetchPageWithRetry(std::string& url, const uint8_t*& pData, size_t& nLength, bool bFollowRedirects,
                           CNote* pNote);
    // The same for images, stylesheets and frames: redirects are followed.
    int FetchResourceWithRetry(std::string& url, const uint8_t*& pData, size_t& nLength, CNote* pNote);

    // ---- capture into a note (PageCapture.cpp)
    // The worker's work for a web page with its resources, and for a single
    // file stored as it is, with the download settings the worker was given
    // (the session keeps them). False when the note could not be filled; the
    // error text is then in the note.
    bool CaptureWebPage(const std::string& url, CNote* pNote, const CDownloadSettings& settings);
    bool CaptureWebFile(const std::string& url, CNote* pNote, const CDownloadSettings& settings);
    // Fetches the page into the note (redirects followed; `url` ends as the
    // final address) and captures its resources unless stopped.
    bool CapturePage(std::string& url, CNote* pNote);
    // The page the user's browser showed (`strPage`, UTF-8) in place of a
    // fetch of `url`; its files are fetched from their addresses.
    bool CaptureShownPage(const std::string& url, std::string strPage, CNote* pNote);
    // One resource into `bytes`, the whole body.
    bool FetchResource(std::string& url, std::vector<uint8_t>& bytes, CNote* pNote);
    // The file name a page or file at `url` would have on disk: "index.htm"
    // for a folder, ".htm" added to pages of other types ("show.asp?id=3"
    // gives "show.asp.htm").
    static std::string MakeLocalPageName(const std::string& url, bool bPage);

    // The note the worker fills; its status is the stop signal.
    CNote* m_pNote = nullptr;
    // Set by OpenSession; may be changed between fetches.
    CFetchOptions m_options;
    // Unset: libcurl takes the proxy from http_proxy, https_proxy and
    // no_proxy. Empty: no proxy. Otherwise that proxy for every request.
    std::optional<std::string> m_proxy;
    // Certificates to trust instead of the system's; when empty the
    // CLIPVAULT_CA_FILE environment variable may name a file (read by
    // OpenSession).
    std::string m_strCaFile;
    // Lowered by tests so that the refusal can be seen without 512 MiB.
    size_t m_nMaxBody = kMaxBodyBytes;
    // Lowered by tests, so that a stalled server is given up in moments.
    CTransferLimits m_limits;
    // What this capture holds, counted by every fetch as the bytes arrive;
    // a fetch after it is spent fails at once with kFetchOverBudget.
    CCaptureBudget m_budget;
    // The code of the last fetch through FetchPageWithRetry or
    // FetchResourceWithRetry.
    int m_nLastFetchCode = kFetchOk;
    // The charset the page's answer named (modern capture), for reading it.
    std::string m_strPageCharset;

private:
    int FetchWithRetry(std::string& url, const uint8_t*& pData, size_t& nLength, bool bFollowRedirects,
                       CNote* pNote);
    // One request on the session handle; the status of the final response,
    // 0 when none arrived. A request lost with a reused connection before
    // any answer is sent once more on a new one.
    long Perform(CNote* pNote);
    // The last request failed on a connection kept from an earlier one,
    // before any line of an answer, and not for a stop.
    bool DiedUnanswered(const CNote* pNote) const;
    bool StopSeen() const;
    // The receive buffer emptied; what it held no longer counts.
    void DropBuffer();

    // libcurl's callbacks, which fill the state below.
    friend struct CaptureContextCallbacks;

    CURL* m_curl = nullptr;
    curl_slist* m_headers = nullptr;
    std::vector<uint8_t> m_buffer;  // the receive buffer

    // State of the request in progress.
    CNote* m_pTransferNote = nullptr;
    long m_nStatus = 0;            // set once the headers of a final response are complete
    long long m_nContentLength = -1;  // -1: not announced
    std::string m_strLocation;
    bool m_bHaveLocation = false;
    bool m_bTooLarge = false;
    bool m_bOverBudget = false;
    uint64_t m_nCounted = 0;         // bytes of the buffer taken from the budget
    bool m_bCallbackFailed = false;  // a callback caught an exception
    unsigned m_nHeaderLines = 0;     // header lines of any response so far
    int m_lastResult = 0;            // libcurl's result of the last request
};
