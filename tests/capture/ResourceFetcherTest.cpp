#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "capture/CaptureContext.h"
#include "capture/ResourceFetcher.h"
#include "capture/TestServer.h"
#include "document/Records.h"
#include "support/TestSupport.h"

using namespace testserver;

namespace {

double SecondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

std::string Text(const std::vector<uint8_t>& body) { return std::string(body.begin(), body.end()); }

bool IsPattern(const std::vector<uint8_t>& body) {
    for (size_t i = 0; i < body.size(); ++i)
        if (body[i] != i % 251) return false;
    return true;
}

CFetchOptions Retries(uint32_t n, bool bNoLimit = false) {
    CFetchOptions o;
    o.m_nRetries = n;
    o.m_bRetryNoLimit = bNoLimit;
    return o;
}

// The test server in its HTTP/1.1 mode, where connections stay open between
// requests and can be counted.
class KeepAliveServer {
public:
    KeepAliveServer() {
        const std::string script = std::string(CLIPVAULT_TEST_SERVER);
        if (!m_child.Spawn({"/usr/bin/python3", script, "--keepalive"})) return;
        std::istringstream(m_child.ReadLine(20000)) >> m_nPort;
    }
    bool Ok() const { return m_nPort > 0; }
    std::string Url(const std::string& path) const { return "http://" + Host() + path; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(m_nPort); }

    // Asked over a bare socket so the answer does not depend on the code
    // under test.
    std::string Get(const std::string& path) const {
        const int fd = ConnectLoopback(m_nPort);
        if (fd < 0) return "";
        const std::string req = "GET " + path + " HTTP/1.0\r\n\r\n";
        if (::send(fd, req.data(), req.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(req.size())) {
            ::close(fd);
            return "";
        }
        std::string reply;
        char buf[4096];
        ssize_t n;
        while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) reply.append(buf, static_cast<size_t>(n));
        ::close(fd);
        const size_t body = reply.find("\r\n\r\n");
        return body == std::string::npos ? "" : reply.substr(body + 4);
    }
    int Count(const std::string& path) const { return std::atoi(Get("/_count" + path).c_str()); }
    // Connections that carried a request, and the most /hold/ requests at once.
    std::pair<int, int> Stats() const {
        int connections = -1, held = -1;
        std::sscanf(Get("/_stats").c_str(), "connections %d held %d", &connections, &held);
        return {connections, held};
    }

private:
    Child m_child;
    int m_nPort = 0;
};

class ResourceFetcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Ok()) << "the test server did not start";
        Open(Retries(0));
    }

    // Direct connections only, whatever proxy the environment names.
    void Open(const CFetchOptions& options) {
        m_ctx.m_proxy = "";
        ASSERT_EQ(m_ctx.OpenSession(options), 0);
    }

    CFetchResult FetchOne(const std::string& url) {
        CResourceFetcher fetcher(m_ctx);
        CFetchResult result;
        result.m_nCode = -1;
        int nCalls = 0;
        fetcher.Add(url, [&](CFetchResult&& r) {
            ++nCalls;
            result = std::move(r);
        });
        fetcher.Run();
        EXPECT_EQ(nCalls, 1) << url;
        return result;
    }

    KeepAliveServer m_server;
    CCaptureContext m_ctx;
};

// ---- parallel fetches and connections

TEST_F(ResourceFetcherTest, ManyFetchesArriveWithTheirOwnBodies) {
    // More than are handed to libcurl at once, so some wait their turn.
    constexpr int kCount = 100;
    CResourceFetcher fetcher(m_ctx);
    std::map<int, CFetchResult> results;
    for (int i = 0; i < kCount; ++i)
        fetcher.Add(m_server.Url("/bytes/" + std::to_string(i * 997)),
                    [&results, i](CFetchResult&& r) { results.emplace(i, std::move(r)); });
    fetcher.Run();
    ASSERT_EQ(results.size(), size_t(kCount));
    for (auto& [i, r] : results) {
        EXPECT_EQ(r.m_nCode, kFetchOk) << i;
        EXPECT_EQ(r.m_body.size(), size_t(i) * 997) << i;
        EXPECT_TRUE(IsPattern(r.m_body)) << i;
        EXPECT_EQ(r.m_strFinalUrl, m_server.Url("/bytes/" + std::to_string(i * 997)));
        EXPECT_EQ(r.m_strContentType, "text/plain");
    }
}

TEST_F(ResourceFetcherTest, OneHostGetsAtMostItsConnectionLimitAndTheyAreReused) {
    CResourceFetcher fetcher(m_ctx);
    int nOk = 0;
    for (int i = 0; i < 24; ++i) {
        const std::string path = "/hold/200/" + std::to_string(i);
        fetcher.Add(m_server.Url(path), [&, path](CFetchResult&& r) {
            EXPECT_EQ(r.m_nCode, kFetchOk) << path;
            EXPECT_EQ(Text(r.m_body), "held:" + path);
            ++nOk;
        });
    }
    fetcher.Run();
    EXPECT_EQ(nOk, 24);
    auto [connections, held] = m_server.Stats();
    EXPECT_LE(held, kMaxConnectionsPerHost);
    EXPECT_GT(held, 1) << "the requests were not sent in parallel";
    EXPECT_LE(connections, kMaxConnectionsPerHost) << "connections were not kept for the next requests";

    // A second run of the same fetcher goes on with the connections it has.
    for (int i = 0; i < 20; ++i)
        fetcher.Add(m_server.Url("/page/again" + std::to_string(i)), [&](CFetchResult&& r) {
            EXPECT_EQ(r.m_nCode, kFetchOk);
            ++nOk;
        });
    fetcher.Run();
    EXPECT_EQ(nOk, 44);
    EXPECT_EQ(m_server.Stats().first, connections);
}

TEST_F(ResourceFetcherTest, ARequestLostWithAKeptConnectionIsSentAgain) {
    CResourceFetcher fetcher(m_ctx);
    CFetchResult first, second;
    fetcher.Add(m_server.Url("/drop-next/a"), [&](CFetchResult&& r) { first = std::move(r); });
    fetcher.Run();
    ASSERT_EQ(first.m_nCode, kFetchOk);
    // Sent on the kept connection, which the server closes unanswered.
    fetcher.Add(m_server.Url("/page/b"), [&](CFetchResult&& r) { second = std::move(r); });
    fetcher.Run();
    EXPECT_EQ(second.m_nCode, kFetchOk);
    EXPECT_EQ(Text(second.m_body), "page:/page/b");
    EXPECT_EQ(m_server.Count("/page/b"), 2);
}

TEST_F(ResourceFetcherTest, RequestsAreHttp11WithTheClassicHeaders) {
    const CFetchResult r = FetchOne(m_server.Url("/echo/a b\"c#frag"));
    ASSERT_EQ(r.m_nCode, kFetchOk);
    const std::string echo = Text(r.m_body);
    EXPECT_NE(echo.find("GET /echo/a%20b%22c HTTP/1.1\n"), std::string::npos) << echo;
    EXPECT_NE(echo.find("User-Agent: Clipvault"), std::string::npos) << echo;
    EXPECT_NE(echo.find("Accept-Encoding: "), std::string::npos) << echo;
    EXPECT_NE(echo.find("Cache-Control: no-cache"), std::string::npos) << echo;
    EXPECT_EQ(echo.find("Cookie"), std::string::npos) << echo;
    // The caller's URL, fragment and all, with the scheme it went with.
    EXPECT_EQ(r.m_strFinalUrl, m_server.Url("/echo/a b\"c#frag"));
}

// ---- answers

TEST_F(ResourceFetcherTest, CompressedBodiesArriveDecoded) {
    for (const char* kind : {"gzip", "deflate"}) {
        const CFetchResult r = FetchOne(m_server.Url(std::string("/") + kind + "/100000"));
        EXPECT_EQ(r.m_nCode, kFetchOk) << kind;
        EXPECT_EQ(r.m_body.size(), 100000u) << kind;
        EXPECT_TRUE(IsPattern(r.m_body)) << kind;
    }
    EXPECT_EQ(FetchOne(m_server.Url("/badgzip/x")).m_nCode, kFetchFailed);
    // The limit is on the decoded body: a small packed one that unpacks
    // beyond it is refused.
    m_ctx.m_nMaxBody = 50000;
    const CFetchResult big = FetchOne(m_server.Url("/gzip/100000"));
    EXPECT_EQ(big.m_nCode, kFetchFailed);
    EXPECT_TRUE(big.m_body.empty());
}

TEST_F(ResourceFetcherTest, BodiesBeyondTheLimitAreRefusedWhole) {
    m_ctx.m_nMaxBody = 1000;
    EXPECT_EQ(FetchOne(m_server.Url("/bytes/1000")).m_body.size(), 1000u);
    for (const char* path : {"/bytes/1001", "/nolength/2000", "/lies/10"}) {
        const CFetchResult r = FetchOne(m_server.Url(path));
        EXPECT_EQ(r.m_nCode, kFetchFailed) << path;
        EXPECT_TRUE(r.m_body.empty()) << path;
    }
    // Shorter than announced: not the whole resource either.
    m_ctx.m_nMaxBody = kMaxBodyBytes;
    // An announced length is held in one block from the start, never grown
    // into a copy.
    const CFetchResult large = FetchOne(m_server.Url("/bytes/5000000"));
    EXPECT_EQ(large.m_body.size(), 5000000u);
    EXPECT_EQ(large.m_body.capacity(), 5000000u);
    EXPECT_TRUE(IsPattern(large.m_body));
    EXPECT_EQ(FetchOne(m_server.Url("/lies/100?length=200")).m_nCode, kFetchFailed);
    EXPECT_EQ(FetchOne(m_server.Url("/nolength/5000")).m_body.size(), 5000u);
}

TEST_F(ResourceFetcherTest, ContentTypeAndCharsetAreParsed) {
    struct Case {
        const char* header;
        const char* type;
        const char* charset;
    };
    for (const Case& c :
         {Case{"Text/HTML; Charset=\"UTF-16LE\"", "text/html", "UTF-16LE"}, Case{"image/PNG", "image/png", ""},
          Case{"text/css; title=\"a;charset=x\"; charset=latin1", "text/css", "latin1"},
          Case{"text/plain;charset=\"a\\\"b\"", "text/plain", "a\"b"}, Case{"", "", ""}}) {
        const CFetchResult r = FetchOne(m_server.Url(std::string("/typed/x?ct=") + c.header));
        ASSERT_EQ(r.m_nCode, kFetchOk) << c.header;
        EXPECT_EQ(r.m_strContentType, c.type) << c.header;
        EXPECT_EQ(r.m_strCharset, c.charset) << c.header;
    }
}

TEST_F(ResourceFetcherTest, ProxyCredentialsAreSentOnceOnALogOnRequest) {
    CFetchOptions o = Retries(0);
    o.m_strProxyUser = "user";
    o.m_strProxyPassword = "secret";
    Open(o);
    const CFetchResult r = FetchOne(m_server.Url("/auth-once/x"));
    EXPECT_EQ(r.m_nCode, kFetchOk);
    EXPECT_EQ(Text(r.m_body), "welcome");
    EXPECT_EQ(m_server.Count("/auth-once/x"), 2);
    EXPECT_EQ(FetchOne(m_server.Url("/auth-always/407/y")).m_nCode, kFetchFailed);
    EXPECT_EQ(m_server.Count("/auth-always/407/y"), 2);
}

// ---- redirects and retries

TEST_F(ResourceFetcherTest, RedirectsAreFollowedWithinTheAttempts) {
    Open(Retries(3));
    for (const char* code : {"301", "302", "303", "307", "308"}) {
        const std::string target = std::string("/page/r") + code;
        // Relative to /redirect/CODE/a.
        const CFetchResult r = FetchOne(m_server.Url(std::string("/redirect/") + code + "/a?to=../../page/r" + code));
        EXPECT_EQ(r.m_nCode, kFetchOk) << code;
        EXPECT_EQ(Text(r.m_body), "page:" + target) << code;
        EXPECT_EQ(r.m_strFinalUrl, m_server.Url(target)) << code;
    }
    const CFetchResult absolute = FetchOne(m_server.Url("/redirect/302/b?to=" + m_server.Url("/page/abs")));
    EXPECT_EQ(Text(absolute.m_body), "page:/page/abs");

    // Nowhere to go.
    EXPECT_EQ(FetchOne(m_server.Url("/redirect/302/c")).m_nCode, kFetchFailed);
    // To a scheme that is not fetched.
    EXPECT_EQ(FetchOne(m_server.Url("/redirect/302/d?to=ftp://127.0.0.1/x")).m_nCode, kFetchBadUrl);

    // Still redirected when the attempts run out: the retries and one more.
    Open(Retries(2));
    const CFetchResult loop = FetchOne(m_server.Url("/loop/x"));
    EXPECT_EQ(loop.m_nCode, kFetchRedirect);
    EXPECT_EQ(loop.m_strFinalUrl, m_server.Url("/loop/x"));
    EXPECT_EQ(m_server.Count("/loop/x"), 3);
}

TEST_F(ResourceFetcherTest, TryAgainPausesWithoutHoldingUpOtherFetches) {
    Open(Retries(3));
    CResourceFetcher fetcher(m_ctx);
    std::vector<std::string> order;
    CFetchResult flaky;
    fetcher.Add(m_server.Url("/flaky/2/x"), [&](CFetchResult&& r) {
        order.push_back("flaky");
        flaky = std::move(r);
    });
    // A chain of fetches, each added when the one before it has ended: a
    // pause that held up the run would let only a step or two through.
    constexpr int kChain = 10;
    std::function<void(int)> chain = [&](int i) {
        fetcher.Add(m_server.Url("/page/step" + std::to_string(i)), [&, i](CFetchResult&& r) {
            EXPECT_EQ(r.m_nCode, kFetchOk);
            order.push_back("step");
            if (i + 1 < kChain) chain(i + 1);
        });
    };
    chain(0);
    const auto t0 = Clock::now();
    fetcher.Run();
    ASSERT_EQ(order.size(), size_t(kChain + 1));
    EXPECT_EQ(order.back(), "flaky") << "the pauses held up the other fetches";
    EXPECT_EQ(flaky.m_nCode, kFetchOk);
    EXPECT_EQ(Text(flaky.m_body), "at last");
    EXPECT_EQ(m_server.Count("/flaky/2/x"), 3);
    EXPECT_GE(SecondsSince(t0), 2 * kTryAgainPauseMs / 1000.0);

    // Out of attempts: the code of the last one.
    Open(Retries(1));
    EXPECT_EQ(FetchOne(m_server.Url("/status/504/y")).m_nCode, kFetchTryAgain);
    EXPECT_EQ(m_server.Count("/status/504/y"), 2);
    EXPECT_EQ(FetchOne(m_server.Url("/status/500/z")).m_nCode, kFetchFailed);
    EXPECT_EQ(m_server.Count("/status/500/z"), 2);
}

// ---- stopping

TEST_F(ResourceFetcherTest, AStopEndsEveryFetchAndTheRun) {
    Open(Retries(5, true));
    CNote note;
    note.m_nStatus = kStatusRunning;
    m_ctx.m_pNote = &note;
    CResourceFetcher fetcher(m_ctx);
    std::map<std::string, int> codes;
    int nCalls = 0;
    auto record = [&](const std::string& name) {
        return [&, name](CFetchResult&& r) {
            ++nCalls;
            codes[name] = r.m_nCode;
            // What had arrived comes along, marked, for a page to keep.
            EXPECT_EQ(r.m_bCutByStop, !r.m_body.empty()) << name;
            if (name == "stall") EXPECT_TRUE(r.m_bCutByStop);
        };
    };
    fetcher.Add(m_server.Url("/hang/a"), [&](CFetchResult&& r) {
        record("hang")(std::move(r));
        // Added after the stop: no request is made for it.
        fetcher.Add(m_server.Url("/page/late"), record("late"));
    });
    fetcher.Add(m_server.Url("/stall/b"), record("stall"));
    fetcher.Add(m_server.Url("/flaky/1000/c"), record("pausing"));
    // Beyond what runs at once, so some are still waiting to start.
    for (int i = 0; i < 80; ++i) fetcher.Add(m_server.Url("/hold/5000/" + std::to_string(i)), record("held"));

    Clock::time_point stopAt;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        stopAt = Clock::now();
        note.m_nStatus = kStatusStopRequested;
    });
    fetcher.Run();
    stopper.join();
    EXPECT_LT(SecondsSince(stopAt), 1.0);
    EXPECT_EQ(nCalls, 84);
    for (auto& [name, code] : codes) EXPECT_EQ(code, kFetchFailed) << name;
    EXPECT_EQ(codes.count("late"), 1u);
    EXPECT_EQ(m_server.Count("/page/late"), 0);

    // Stopped before the run: nothing is sent.
    CResourceFetcher later(m_ctx);
    later.Add(m_server.Url("/page/never"), record("never"));
    later.Run();
    EXPECT_EQ(codes["never"], kFetchFailed);
    EXPECT_EQ(m_server.Count("/page/never"), 0);
    m_ctx.m_pNote = nullptr;
}

// ---- callbacks

TEST_F(ResourceFetcherTest, CallbacksMayAddFetches) {
    CResourceFetcher fetcher(m_ctx);
    std::vector<std::string> bodies;
    std::function<void(CFetchResult &&)> onDone = [&](CFetchResult&& r) {
        const std::string body = Text(r.m_body);
        bodies.push_back(body);
        // A stylesheet's own resources, two levels deep.
        if (body == "page:/page/sheet")
            for (const char* child : {"/page/sheet/a", "/page/sheet/b"}) fetcher.Add(m_server.Url(child), onDone);
        if (body == "page:/page/sheet/a") fetcher.Add(m_server.Url("/page/sheet/a/deep"), onDone);
    };
    fetcher.Add(m_server.Url("/page/sheet"), onDone);
    fetcher.Run();
    std::sort(bodies.begin(), bodies.end());
    EXPECT_EQ(bodies, (std::vector<std::string>{"page:/page/sheet", "page:/page/sheet/a", "page:/page/sheet/a/deep",
                                                "page:/page/sheet/b"}));
}

TEST_F(ResourceFetcherTest, AThrowingCallbackLeavesTheFetcherUsable) {
    CResourceFetcher fetcher(m_ctx);
    int nOthers = 0;
    fetcher.Add(m_server.Url("/page/throws"), [](CFetchResult&&) { throw std::runtime_error("callback"); });
    fetcher.Add(m_server.Url("/hang/left"), [&](CFetchResult&&) { ++nOthers; });
    const auto t0 = Clock::now();
    EXPECT_THROW(fetcher.Run(), std::runtime_error);
    EXPECT_LT(SecondsSince(t0), 10.0) << "the hanging fetch was waited for";
    EXPECT_EQ(nOthers, 0) << "the fetches left are dropped";

    CFetchResult after;
    fetcher.Add(m_server.Url("/page/after"), [&](CFetchResult&& r) { after = std::move(r); });
    fetcher.Run();
    EXPECT_EQ(Text(after.m_body), "page:/page/after");
}

// ---- addresses

TEST_F(ResourceFetcherTest, AddressesGetASchemeOrAreRefused) {
    const CFetchResult bare = FetchOne(m_server.Host() + "/page/bare");
    EXPECT_EQ(bare.m_nCode, kFetchOk);
    EXPECT_EQ(bare.m_strFinalUrl, m_server.Url("/page/bare"));
    for (const char* url : {"http://", "ftp://127.0.0.1/x", "http://127.0.0.1:99999/x", "mailto:someone", ""})
        EXPECT_EQ(FetchOne(url).m_nCode, kFetchBadUrl) << url;
    // Nobody listens there.
    EXPECT_EQ(FetchOne("http://127.0.0.1:" + std::to_string(FreePort()) + "/x").m_nCode, kFetchFailed);
}

TEST(ResourceFetcherTls, HttpsIsFetchedOverVerifiedTls) {
    TempDir dir;
    TestServer server(dir.Path());
    ASSERT_TRUE(server.Ok() && server.m_nTlsPort > 0) << "the test server did not start with TLS";
    CCaptureContext ctx;
    ctx.m_proxy = "";
    ctx.m_strCaFile = dir.File("ca.pem");
    ASSERT_EQ(ctx.OpenSession(Retries(2)), 0);
    CResourceFetcher fetcher(ctx);
    CFetchResult page, moved;
    fetcher.Add(server.TlsUrl("/page/secure"), [&](CFetchResult&& r) { page = std::move(r); });
    fetcher.Add(server.TlsUrl("/redirect/302/x?to=/page/moved"), [&](CFetchResult&& r) { moved = std::move(r); });
    fetcher.Run();
    EXPECT_EQ(Text(page.m_body), "page:/page/secure");
    EXPECT_EQ(Text(moved.m_body), "page:/page/moved");
    EXPECT_EQ(moved.m_strFinalUrl, server.TlsUrl("/page/moved"));

    // Without the test CA the certificate is not trusted.
    CCaptureContext untrusting;
    untrusting.m_proxy = "";
    ASSERT_EQ(untrusting.OpenSession(Retries(0)), 0);
    CResourceFetcher refusing(untrusting);
    CFetchResult refused;
    refusing.Add(server.TlsUrl("/page/secure"), [&](CFetchResult&& r) { refused = std::move(r); });
    refusing.Run();
    EXPECT_EQ(refused.m_nCode, kFetchFailed);
}

}  // namespace
