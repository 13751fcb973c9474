#include "capture/CaptureContext.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <thread>

#include "document/Records.h"
#include "capture/TestServer.h"
#include "support/TestSupport.h"

extern char** environ;

using namespace testserver;

namespace {

double SecondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

struct Fetched {
    int code = -1;
    std::string url;
    std::string body;
    bool zeroAfter = false;
};

bool IsPattern(const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (static_cast<uint8_t>(s[i]) != i % 251) return false;
    return true;
}

CFetchOptions Retries(uint32_t n, bool bNoLimit = false) {
    CFetchOptions o;
    o.m_nRetries = n;
    o.m_bRetryNoLimit = bNoLimit;
    return o;
}

class CaptureContextTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Ok()) << "the test server did not start";
        Open(Retries(0));
    }

    // Direct connections only, whatever proxy the environment names.
    void Open(const CFetchOptions& options, CCaptureContext& ctx) {
        ctx.m_proxy = "";
        ASSERT_EQ(ctx.OpenSession(options), 0);
    }
    void Open(const CFetchOptions& options) { Open(options, m_ctx); }

    Fetched Collect(int code, std::string url, const uint8_t* p, size_t n) {
        Fetched f;
        f.code = code;
        f.url = std::move(url);
        f.body.assign(reinterpret_cast<const char*>(p), n);
        f.zeroAfter = p[n] == 0;
        return f;
    }
    Fetched Once(std::string url, CNote* pNote = nullptr) {
        const uint8_t* p = nullptr;
        size_t n = 99;
        const int code = m_ctx.FetchURL(url, p, n, pNote);
        return Collect(code, url, p, n);
    }
    Fetched Page(std::string url, bool bFollow = true, CNote* pNote = nullptr) {
        const uint8_t* p = nullptr;
        size_t n = 99;
        const int code = m_ctx.FetchPageWithRetry(url, p, n, bFollow, pNote);
        return Collect(code, url, p, n);
    }
    Fetched Resource(std::string url, CNote* pNote = nullptr) {
        const uint8_t* p = nullptr;
        size_t n = 99;
        const int code = m_ctx.FetchResourceWithRetry(url, p, n, pNote);
        return Collect(code, url, p, n);
    }

    TestServer m_server;
    CCaptureContext m_ctx;
};

// ---- one attempt

TEST_F(CaptureContextTest, RequestIsOnePlainHttp10GetWithoutTheFragment) {
    const Fetched f = Once(m_server.Url("/echo/a b/c?q=1&r=%41#part"));
    ASSERT_EQ(f.code, kFetchOk) << f.body;
    std::istringstream lines(f.body);
    std::string requestLine;
    std::getline(lines, requestLine);
    EXPECT_EQ(requestLine, "GET /echo/a%20b/c?q=1&r=%41 HTTP/1.0") << "blank escaped, '%' kept, '#' cut";
    EXPECT_NE(f.body.find("Host: " + m_server.Host() + "\n"), std::string::npos) << f.body;
    EXPECT_NE(f.body.find("User-Agent: Clipvault\n"), std::string::npos) << f.body;
    EXPECT_NE(f.body.find("Accept: */*\n"), std::string::npos) << f.body;
    EXPECT_NE(f.body.find("no-cache"), std::string::npos) << f.body;
    EXPECT_EQ(f.body.find("Authorization"), std::string::npos) << "the URL's user name is not used";
    EXPECT_EQ(m_server.Count("/echo/a%20b/c"), 1);

    // The user name and password in a URL never reach the server.
    const Fetched withUser = Once("http://someone:secret@" + m_server.Host() + "/echo/u");
    ASSERT_EQ(withUser.code, kFetchOk);
    EXPECT_EQ(withUser.body.find("Authorization"), std::string::npos) << withUser.body;
}

TEST_F(CaptureContextTest, SchemeIsAddedOnlyWhenMissing) {
    Fetched f = Once(m_server.Host() + "/page/x.htm");
    EXPECT_EQ(f.code, kFetchOk);
    EXPECT_EQ(f.url, m_server.Url("/page/x.htm")) << "the caller's URL is updated";
    EXPECT_EQ(f.body, "page:/page/x.htm");
    EXPECT_TRUE(f.zeroAfter);

    // A scheme in any letter case is left alone; so is "http://" further on.
    f = Once("HTTP://" + m_server.Host() + "/page/y");
    EXPECT_EQ(f.code, kFetchOk);
    EXPECT_EQ(f.url, "HTTP://" + m_server.Host() + "/page/y");
    f = Once(m_server.Host() + "/page/z?back=http://elsewhere/");
    EXPECT_EQ(f.code, kFetchOk);
    EXPECT_EQ(f.url, m_server.Url("/page/z?back=http://elsewhere/"));

    // Schemes the fetcher does not speak, and URLs without a host.
    for (const std::string bad : {"ftp://127.0.0.1/x", "file:///etc/hostname", "http:///nohost", "https://"}) {
        f = Once(bad);
        EXPECT_EQ(f.code, kFetchBadUrl) << bad;
        EXPECT_TRUE(f.body.empty() && f.zeroAfter) << bad;
    }

    CCaptureContext closed;
    std::string url = m_server.Url("/page/x.htm");
    const uint8_t* p = nullptr;
    size_t n = 0;
    EXPECT_EQ(closed.FetchURL(url, p, n, nullptr), kFetchBadUrl) << "no session";
    EXPECT_EQ(m_server.Count("/page/x.htm"), 1);
}

TEST_F(CaptureContextTest, RedirectsRewriteTheUrlAndKeepTheServersPort) {
    const std::string target = m_server.Url("/page/target");
    Fetched f = Once(m_server.Url("/redirect/301/a?to=" + target));
    EXPECT_EQ(f.code, kFetchRedirect);
    EXPECT_EQ(f.url, target);
    EXPECT_TRUE(f.body.empty()) << "nothing of a redirect's body is kept";

    // Relative locations are taken against the request, port included.
    f = Once(m_server.Url("/redirect/303/b?to=/page/root"));
    EXPECT_EQ(f.code, kFetchRedirect);
    EXPECT_EQ(f.url, m_server.Url("/page/root"));
    f = Once(m_server.Url("/redirect/302/dir/c.htm?to=next.htm"));
    EXPECT_EQ(f.code, kFetchRedirect);
    EXPECT_EQ(f.url, m_server.Url("/redirect/302/dir/next.htm"));

    // A redirect without a location leads nowhere.
    EXPECT_EQ(Once(m_server.Url("/redirect/302/none")).code, kFetchFailed);

    // The retry loop follows them for pages when asked and for resources always.
    Open(Retries(3));
    f = Page(m_server.Url("/redirect/302/d?to=/page/followed"));
    EXPECT_EQ(f.code, kFetchOk);
    EXPECT_EQ(f.url, m_server.Url("/page/followed"));
    EXPECT_EQ(f.body, "page:/page/followed");
    f = Page(m_server.Url("/redirect/302/e?to=/page/not-followed"), false);
    EXPECT_EQ(f.code, kFetchRedirect);
    EXPECT_EQ(f.url, m_server.Url("/page/not-followed"));
    EXPECT_EQ(m_server.Count("/page/not-followed"), 0);
    f = Resource(m_server.Url("/redirect/301/f?to=" + m_server.Url("/page/image")));
    EXPECT_EQ(f.code, kFetchOk);
    EXPECT_EQ(f.body, "page:/page/image");
}

TEST_F(CaptureContextTest, StatusDecidesTheCode) {
    for (const char* code : {"404", "408", "504"}) {
        const auto t0 = Clock::now();
        const Fetched f = Once(m_server.Url(std::string("/status/") + code + "/x"));
        EXPECT_EQ(f.code, kFetchTryAgain) << code;
        EXPECT_GE(SecondsSince(t0), 0.45) << code << " comes back after a pause";
        EXPECT_TRUE(f.body.empty()) << code;
    }
    for (const char* code : {"500", "403", "204", "206", "304", "307"})
        EXPECT_EQ(Once(m_server.Url(std::string("/status/") + code + "/x")).code, kFetchFailed) << code;

    // No status at all: nobody listening.
    EXPECT_EQ(Once("http://127.0.0.1:" + std::to_string(FreePort()) + "/x").code, kFetchFailed);
}

TEST_F(CaptureContextTest, BodiesAreKeptWhole) {
    Fetched f = Once(m_server.Url("/bytes/1000000"));
    ASSERT_EQ(f.code, kFetchOk);
    EXPECT_EQ(f.body.size(), 1000000u);
    EXPECT_TRUE(IsPattern(f.body));
    EXPECT_TRUE(f.zeroAfter);

    f = Once(m_server.Url("/nolength/123457"));
    ASSERT_EQ(f.code, kFetchOk);
    EXPECT_EQ(f.body.size(), 123457u) << "read to the end of the connection";
    EXPECT_TRUE(IsPattern(f.body));
    EXPECT_TRUE(f.zeroAfter);

    // A small body after a large one: nothing of the old one shows through.
    f = Once(m_server.Url("/bytes/0"));
    EXPECT_EQ(f.code, kFetchOk);
    EXPECT_TRUE(f.body.empty() && f.zeroAfter);
    f = Once(m_server.Url("/bytes/10"));
    EXPECT_EQ(f.body.size(), 10u);
    EXPECT_TRUE(IsPattern(f.body) && f.zeroAfter);
}

TEST_F(CaptureContextTest, BodyOverTheCapIsRefusedWhole) {
    m_ctx.m_nMaxBody = 100000;
    Fetched f = Once(m_server.Url("/bytes/100000"));
    EXPECT_EQ(f.code, kFetchOk);
    EXPECT_EQ(f.body.size(), 100000u) << "the cap itself still fits";
    for (const char* path : {"/bytes/100001", "/nolength/100001", "/lies/10"}) {
        f = Once(m_server.Url(path));
        EXPECT_EQ(f.code, kFetchFailed) << path;
        EXPECT_TRUE(f.body.empty() && f.zeroAfter) << path;
    }
    // Not retried either: the size will not change.
    Open(Retries(3));
    m_ctx.m_nMaxBody = 100000;
    EXPECT_EQ(Page(m_server.Url("/nolength/200000")).code, kFetchFailed);
    EXPECT_EQ(m_server.Count("/nolength/200000"), 1);
}

// Running out of memory for a body inside libcurl's callbacks must not
// unwind through libcurl: the attempt fails and the session stays usable.
TEST_F(CaptureContextTest, FailureInsideTheCallbacksFailsOnlyThatAttempt) {
    Open(Retries(3));
    // Whatever a server announces is let through to the buffer.
    m_ctx.m_nMaxBody = std::numeric_limits<size_t>::max() / 2;
    m_ctx.m_budget = CCaptureBudget(std::numeric_limits<uint64_t>::max());
    // Content-Lengths more than a vector can hold (std::length_error) and,
    // without the sanitizers, whose allocators end the program instead of
    // throwing, more than the address space (std::bad_alloc).
    std::vector<std::string> lengths = {"9223372036854775807"};
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    lengths.push_back("4611686018427387904");
#endif
    for (size_t i = 0; i < lengths.size(); ++i) {
        const std::string path = "/lies/" + std::to_string(10 + i);
        Fetched f;
        EXPECT_NO_THROW(f = Page(m_server.Url(path + "?length=" + lengths[i]))) << lengths[i];
        EXPECT_EQ(f.code, kFetchFailed) << lengths[i];
        EXPECT_TRUE(f.body.empty() && f.zeroAfter) << lengths[i];
        EXPECT_EQ(m_server.Count(path), 1) << lengths[i] << ": not tried again";
        const Fetched after = Once(m_server.Url("/bytes/5000"));
        EXPECT_EQ(after.code, kFetchOk) << lengths[i];
        EXPECT_EQ(after.body.size(), 5000u) << lengths[i];
        EXPECT_TRUE(IsPattern(after.body)) << lengths[i];
    }
}

// ---- retries

TEST_F(CaptureContextTest, RedirectLoopEndsAfterRetryCountPlusOneAttempts) {
    Open(Retries(1));
    Fetched f = Page(m_server.Url("/loop/page"));
    EXPECT_EQ(f.code, kFetchRedirect);
    EXPECT_EQ(m_server.Count("/loop/page"), 2);
    EXPECT_EQ(f.url, m_server.Url("/loop/page"));

    f = Page(m_server.Url("/loop/unfollowed"), false);
    EXPECT_EQ(f.code, kFetchRedirect);
    EXPECT_EQ(m_server.Count("/loop/unfollowed"), 1);

    Open(Retries(2));
    EXPECT_EQ(Resource(m_server.Url("/loop/resource")).code, kFetchRedirect);
    EXPECT_EQ(m_server.Count("/loop/resource"), 3);
}

TEST_F(CaptureContextTest, TryAgainRepeatsUpToTheRetryCountOrWithoutLimit) {
    Open(Retries(2));
    const auto t0 = Clock::now();
    EXPECT_EQ(Page(m_server.Url("/status/404/gone")).code, kFetchTryAgain);
    EXPECT_EQ(m_server.Count("/status/404/gone"), 3);
    EXPECT_GE(SecondsSince(t0), 1.4) << "a pause after each";

    // Other failures are final at once.
    EXPECT_EQ(Resource(m_server.Url("/status/500/broken")).code, kFetchFailed);
    EXPECT_EQ(m_server.Count("/status/500/broken"), 1);

    Open(Retries(0, true));
    const Fetched f = Resource(m_server.Url("/flaky/2/r"));
    EXPECT_EQ(f.code, kFetchOk);
    EXPECT_EQ(f.body, "at last");
    EXPECT_EQ(m_server.Count("/flaky/2/r"), 3);
    Open(Retries(0));
    EXPECT_EQ(Resource(m_server.Url("/flaky/2/s")).code, kFetchTryAgain);
    EXPECT_EQ(m_server.Count("/flaky/2/s"), 1);
}

TEST_F(CaptureContextTest, LogOnRequestIsAnsweredOnce) {
    CFetchOptions options = Retries(5);
    options.m_strProxyUser = "user";
    options.m_strProxyPassword = std::string(100, 'p');  // cut, not refused
    Open(options);
    Fetched f = Page(m_server.Url("/auth-once/a"));
    EXPECT_EQ(f.code, kFetchOk);
    EXPECT_EQ(f.body, "welcome");
    EXPECT_EQ(m_server.Count("/auth-once/a"), 2);

    for (const char* code : {"407", "401"}) {
        const std::string path = std::string("/auth-always/") + code + "/x";
        EXPECT_EQ(Page(m_server.Url(path)).code, kFetchFailed) << code;
        EXPECT_EQ(m_server.Count(path), 2) << code << ": one resend, and the retry loop leaves it there";
    }
}

// ---- stopping

TEST_F(CaptureContextTest, StopDuringAStalledBodyKeepsWhatArrived) {
    Open(Retries(3));
    CNote note;
    // Pages and resources alike: a stalled image must not hold the worker.
    for (const bool bPage : {true, false}) {
        note.m_nStatus = kStatusRunning;
        Clock::time_point stopAt;
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            stopAt = Clock::now();
            note.m_nStatus = kStatusStopRequested;
        });
        const std::string path = bPage ? "/stall/page" : "/stall/resource";
        const Fetched f = bPage ? Page(m_server.Url(path), true, &note) : Resource(m_server.Url(path), &note);
        stopper.join();
        EXPECT_LT(SecondsSince(stopAt), 5.0) << path << ": the worker must not stay in the read";
        EXPECT_EQ(f.code, kFetchOk) << path;
        EXPECT_EQ(f.body.size(), 1000u) << path;
        EXPECT_TRUE(IsPattern(f.body) && f.zeroAfter) << path;
        EXPECT_EQ(m_server.Count(path), 1) << path;
    }
}

TEST_F(CaptureContextTest, StopBeforeTheBodyGivesFailed) {
    CNote note;
    note.m_nStatus = kStatusStopRequested;
    Open(Retries(3));
    EXPECT_EQ(Once(m_server.Url("/page/never"), &note).code, kFetchFailed);
    EXPECT_EQ(Page(m_server.Url("/page/never"), true, &note).code, kFetchFailed);
    EXPECT_EQ(Resource(m_server.Url("/page/never"), &note).code, kFetchFailed);
    EXPECT_EQ(m_server.Count("/page/never"), 0) << "no request is sent";

    // Waiting for a status that never comes.
    note.m_nStatus = kStatusRunning;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        note.m_nStatus = kStatusStopRequested;
    });
    const auto t0 = Clock::now();
    const Fetched f = Page(m_server.Url("/hang/page"), true, &note);
    stopper.join();
    EXPECT_EQ(f.code, kFetchFailed);
    EXPECT_LT(SecondsSince(t0), 6.0);
    EXPECT_EQ(m_server.Count("/hang/page"), 1);
}

// ---- https

TEST(CaptureContextTls, HttpsIsFetchedOverVerifiedTls) {
    TempDir dir;
    TestServer server(dir.Path());
    ASSERT_TRUE(server.Ok() && server.m_nTlsPort > 0) << "the test server did not start with TLS";
    CCaptureContext ctx;
    ctx.m_proxy = "";
    ctx.m_strCaFile = dir.File("ca.pem");
    ASSERT_EQ(ctx.OpenSession(Retries(2)), 0);
    const uint8_t* p = nullptr;
    size_t n = 0;

    std::string url = server.TlsUrl("/page/secure");
    ASSERT_EQ(ctx.FetchURL(url, p, n, nullptr), kFetchOk);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), n), "page:/page/secure");
    EXPECT_EQ(url, server.TlsUrl("/page/secure"));

    // Relative redirects stay on https and on the port.
    url = server.TlsUrl("/redirect/302/x?to=/page/moved");
    EXPECT_EQ(ctx.FetchURL(url, p, n, nullptr), kFetchRedirect);
    EXPECT_EQ(url, server.TlsUrl("/page/moved"));
    url = server.TlsUrl("/redirect/302/y?to=/page/moved");
    EXPECT_EQ(ctx.FetchPageWithRetry(url, p, n, true, nullptr), kFetchOk);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), n), "page:/page/moved");

    // Without the test CA the certificate is not trusted.
    CCaptureContext untrusting;
    untrusting.m_proxy = "";
    ASSERT_EQ(untrusting.OpenSession(Retries(0)), 0);
    url = server.TlsUrl("/page/secure");
    EXPECT_EQ(untrusting.FetchURL(url, p, n, nullptr), kFetchFailed);
    EXPECT_EQ(n, 0u);
}

// ---- through a real proxy

std::string FindProgram(const std::string& name) {
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/sbin";
    std::istringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = dir + "/" + name;
        if (!dir.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(CaptureContextProxy, SquidLogOnIsAnsweredWithTheConfiguredCredentials) {
    const std::string squid = FindProgram("squid");
    if (squid.empty()) GTEST_SKIP() << "squid is not installed (scripts/deps.sh installs it); proxy log-on untested";
    const std::string htpasswd = FindProgram("htpasswd");
    const std::string helper = "/usr/lib/squid/basic_ncsa_auth";
    ASSERT_FALSE(htpasswd.empty()) << "htpasswd (apache2-utils) is missing";
    ASSERT_EQ(::access(helper.c_str(), X_OK), 0) << helper << " is missing";

    TempDir certs;
    TestServer server(certs.Path());
    ASSERT_TRUE(server.Ok());
    // Squid drops to its own user when started as root, so its folder must
    // be open to that user.
    char templ[] = "/tmp/cvsquidXXXXXX";
    ASSERT_NE(::mkdtemp(templ), nullptr);
    const std::string dir = templ;
    struct Cleanup {
        std::string dir;
        ~Cleanup() {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        }
    } cleanup{dir};
    ::chmod(dir.c_str(), 0777);
    const std::string cmd = htpasswd + " -b -c " + dir + "/passwd clipper 's3cret pass' >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    ::chmod((dir + "/passwd").c_str(), 0644);

    const int port = FreePort();
    {
        std::ofstream conf(dir + "/squid.conf");
        conf << "http_port 127.0.0.1:" << port << "\n"
             << "visible_hostname clipvault-test-proxy\n"
             << "pid_filename " << dir << "/squid.pid\n"
             << "cache_log " << dir << "/cache.log\n"
             << "access_log " << dir << "/access.log\n"
             << "cache_store_log none\n"
             << "coredump_dir " << dir << "\n"
             << "cache deny all\n"
             << "cache_mem 8 MB\n"
             << "shutdown_lifetime 0 seconds\n"
             << "pinger_enable off\n"
             << "netdb_filename none\n"
             << "cache_effective_user proxy\n"
             << "auth_param basic program " << helper << " " << dir << "/passwd\n"
             << "auth_param basic children 1 startup=1 idle=1\n"
             << "auth_param basic realm clipvault test\n"
             << "acl from_loopback src 127.0.0.1\n"
             << "acl logged_on proxy_auth REQUIRED\n"
             << "http_access deny !from_loopback\n"
             << "http_access allow logged_on\n"
             << "http_access deny all\n";
    }
    Child proxy;
    ASSERT_TRUE(proxy.Spawn({squid, "-N", "-f", dir + "/squid.conf"}, dir + "/squid.out"));
    bool bListening = false;
    for (int i = 0; i < 150 && !bListening && proxy.Running(); ++i) {
        const int fd = ConnectLoopback(port);
        if (fd >= 0) {
            ::close(fd);
            bListening = true;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ASSERT_TRUE(bListening) << "squid did not start:\n"
                            << ReadText(dir + "/squid.out") << ReadText(dir + "/cache.log");

    auto fetch = [&](const std::string& user, const std::string& password, std::string& body,
                     const std::string& target = "") {
        CCaptureContext ctx;
        ctx.m_proxy = "http://127.0.0.1:" + std::to_string(port);
        ctx.m_strCaFile = certs.File("ca.pem");
        CFetchOptions options = Retries(3);
        options.m_strProxyUser = user;
        options.m_strProxyPassword = password;
        EXPECT_EQ(ctx.OpenSession(options), 0);
        std::string url = target.empty() ? server.Url("/echo/proxied") : target;
        const uint8_t* p = nullptr;
        size_t n = 0;
        const int code = ctx.FetchPageWithRetry(url, p, n, true, nullptr);
        body.assign(reinterpret_cast<const char*>(p), n);
        return code;
    };
    std::string body;
    EXPECT_EQ(fetch("", "", body), kFetchFailed) << "no credentials";
    EXPECT_EQ(fetch("clipper", "wrong", body), kFetchFailed) << "wrong password";
    EXPECT_EQ(server.Count("/echo/proxied"), 0) << "squid let a request through";
    // Each refused fetch asked twice: once bare, once with the credentials.
    const std::string log = ReadText(dir + "/access.log");
    size_t nDenied = 0;
    for (size_t at = log.find("/407 "); at != std::string::npos; at = log.find("/407 ", at + 1)) ++nDenied;
    EXPECT_EQ(nDenied, 4u) << log;
    EXPECT_EQ(fetch("clipper", "s3cret pass", body), kFetchOk)
        << ReadText(dir + "/access.log") << ReadText(dir + "/cache.log");
    EXPECT_NE(body.find("Via: "), std::string::npos) << "did not come through the proxy:\n" << body;
    EXPECT_EQ(server.Count("/echo/proxied"), 1);

    // For https the proxy refuses the tunnel instead; the same answer applies.
    const std::string secure = server.TlsUrl("/page/tunnelled");
    EXPECT_EQ(fetch("", "", body, secure), kFetchFailed);
    EXPECT_EQ(fetch("clipper", "s3cret pass", body, secure), kFetchOk) << ReadText(dir + "/access.log");
    EXPECT_EQ(body, "page:/page/tunnelled");
    proxy.Stop(SIGTERM);
}

}  // namespace
