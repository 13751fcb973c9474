// The fetcher against curl, both talking to the same loopback server.
//
//   fetch_bench serve              serves /small/N (2000 bytes) and /big (50 MB)
//                                  on 127.0.0.1, prints the port, ends when its
//                                  standard input closes
//   fetch_bench fetch BASE COUNT   fetches BASE/small/0 .. COUNT-1 one after the
//                                  other on one capture context, as a capture
//                                  fetches a page's resources
//
// The server is C++ so that its own cost stays small next to the clients';
// bench/fetch_bench.sh runs the rounds and compares.
#include "LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "capture/CaptureContext.h"

namespace {

constexpr size_t kSmallBytes = 2000;
constexpr size_t kBigBytes = size_t(50) * 1024 * 1024;

bool SendAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
        if (k <= 0) return false;
        p += k;
        n -= static_cast<size_t>(k);
    }
    return true;
}

void Answer(int fd, const std::vector<char>& big) {
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        const ssize_t k = ::recv(fd, buf, sizeof buf, 0);
        if (k <= 0) return;
        request.append(buf, static_cast<size_t>(k));
    }
    const bool bBig = request.compare(0, 9, "GET /big ") == 0;
    const size_t n = bBig ? kBigBytes : kSmallBytes;
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                             std::to_string(n) + "\r\n\r\n";
    if (SendAll(fd, head.data(), head.size())) SendAll(fd, big.data(), n);
}

int Serve() {
    std::vector<char> big(kBigBytes);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);

    const int listener = ListenOnLoopback(64, "fetch_bench serve");
    if (listener < 0) return 1;
    ExitWhenInputCloses();
    // The clients are sequential, so one connection at a time is enough.
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        Answer(fd, big);
        ::close(fd);
    }
}

int Fetch(const std::string& base, int count) {
    CCaptureContext ctx;
    CFetchOptions options;
    options.m_nRetries = 0;
    if (ctx.OpenSession(options) != 0) return 1;
    size_t total = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        std::string url = base + "/small/" + std::to_string(i);
        const uint8_t* p = nullptr;
        size_t n = 0;
        if (ctx.FetchResourceWithRetry(url, p, n, nullptr) != kFetchOk || n != kSmallBytes) {
            std::fprintf(stderr, "fetch_bench: %s failed\n", url.c_str());
            return 1;
        }
        total += n;
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::fprintf(stderr, "%d fetches, %zu bytes, %.1f ms in the fetcher\n", count, total, ms);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && !std::strcmp(argv[1], "serve")) return Serve();
    if (argc == 4 && !std::strcmp(argv[1], "fetch")) return Fetch(argv[2], std::atoi(argv[3]));
    std::fprintf(stderr, "usage: fetch_bench serve | fetch BASE-URL COUNT\n");
    return 2;
}
