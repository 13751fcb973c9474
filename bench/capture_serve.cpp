// A static file server for the capture benchmarks, so that the clients'
// cost, not the server's, is what the rounds measure (a Python server spends
// about a millisecond on each request, as much as a whole small fetch).
//
//   capture_serve ROOT [LATENCY-MS]
//                         serves the files under ROOT on 127.0.0.1, prints
//                         the port, ends when its standard input closes;
//                         with LATENCY-MS each answer leaves that long after
//                         its request came, as over a real network (other
//                         connections are served meanwhile)
//
// Files are read from disk on every request, so a benchmark may change them
// between rounds. As common servers do, an HTTP/1.1 connection stays open
// unless the request says otherwise and an HTTP/1.0 one only when it asks
// to: each client gets the connection handling it asks for.
#include "LoopbackListener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <algorithm>
#include <vector>

namespace {

std::string g_root;

bool SendAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
        if (k <= 0) return false;
        p += k;
        n -= static_cast<size_t>(k);
    }
    return true;
}

bool SendFile(int sock, int file, size_t n) {
    off_t offset = 0;
    while (static_cast<size_t>(offset) < n) {
        const ssize_t k = ::sendfile(sock, file, &offset, n - static_cast<size_t>(offset));
        if (k <= 0) return false;
    }
    return true;
}

bool EndsWith(const std::string& s, const char* tail) {
    const size_t k = std::strlen(tail);
    return s.size() >= k && s.compare(s.size() - k, k, tail) == 0;
}

// Browsers refuse a stylesheet that is not sent as text/css.
const char* TypeOf(const std::string& path) {
    if (EndsWith(path, ".html") || EndsWith(path, ".htm")) return "text/html";
    if (EndsWith(path, ".css")) return "text/css";
    if (EndsWith(path, ".gif")) return "image/gif";
    if (EndsWith(path, ".jpg") || EndsWith(path, ".jpeg")) return "image/jpeg";
    if (EndsWith(path, ".png")) return "image/png";
    if (EndsWith(path, ".svg")) return "image/svg+xml";
    if (EndsWith(path, ".webp")) return "image/webp";
    if (EndsWith(path, ".js")) return "text/javascript";
    return "application/octet-stream";
}

bool HasToken(const std::string& head, const char* token) {
    std::string lower(head);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return lower.find(token) != std::string::npos;
}

using Clock = std::chrono::steady_clock;
std::chrono::milliseconds g_latency{0};

struct Connection {
    int fd;
    std::string pending;
    std::deque<std::pair<Clock::time_point, std::string>> due;  // requests waiting for their answer
};

// Moves every complete request of `c.pending` to the requests to answer.
bool Take(Connection& c) {
    size_t end;
    while ((end = c.pending.find("\r\n\r\n")) != std::string::npos) {
        c.due.emplace_back(Clock::now() + g_latency, c.pending.substr(0, end + 4));
        c.pending.erase(0, end + 4);
    }
    return c.pending.size() <= 65536;
}

// Answers the requests whose time has come, in order; false when the
// connection is to be closed.
bool Answer(Connection& c) {
    const Clock::time_point now = Clock::now();
    while (!c.due.empty() && c.due.front().first <= now) {
        const std::string head = std::move(c.due.front().second);
        c.due.pop_front();
        const size_t sp1 = head.find(' ');
        const size_t sp2 = sp1 == std::string::npos ? std::string::npos : head.find(' ', sp1 + 1);
        const size_t eol = head.find("\r\n");
        if (sp2 == std::string::npos || sp2 > eol) return false;
        const bool bHead = head.compare(0, sp1, "HEAD") == 0;
        std::string path = head.substr(sp1 + 1, sp2 - sp1 - 1);
        const std::string version = head.substr(sp2 + 1, eol - sp2 - 1);
        const bool bKeep = version == "HTTP/1.1" ? !HasToken(head, "connection: close")
                                                 : HasToken(head, "connection: keep-alive");
        if (const size_t q = path.find_first_of("?#"); q != std::string::npos) path.erase(q);
        if (path.empty() || path.back() == '/') path += "index.html";
        int file = -1;
        struct stat st {};
        if (path.find("..") == std::string::npos) file = ::open((g_root + path).c_str(), O_RDONLY | O_CLOEXEC);
        if (file >= 0 && (::fstat(file, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(file);
            file = -1;
        }
        std::string answer;
        if (file < 0) {
            answer = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n";
        } else {
            answer = std::string("HTTP/1.1 200 OK\r\nContent-Type: ") + TypeOf(path) +
                     "\r\nContent-Length: " + std::to_string(st.st_size) + "\r\n";
        }
        answer += bKeep ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
        bool ok = SendAll(c.fd, answer.data(), answer.size());
        if (ok && file >= 0 && !bHead) ok = SendFile(c.fd, file, static_cast<size_t>(st.st_size));
        if (file >= 0) ::close(file);
        if (!ok || !bKeep) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: capture_serve ROOT [LATENCY-MS]\n");
        return 2;
    }
    g_root = argv[1];
    if (argc == 3) g_latency = std::chrono::milliseconds(std::atoi(argv[2]));
    while (!g_root.empty() && g_root.back() == '/') g_root.pop_back();

    const int listener = ListenOnLoopback(128, "capture_serve");
    if (listener < 0) return 1;
    ExitWhenInputCloses();
    // One thread for all connections, through poll: a new connection costs
    // an accept and no thread start or hand-over, so a client that opens one
    // a request pays little more than one that keeps its connection. Answers
    // are written blocking; the clients read them at once.
    std::vector<Connection> conns;
    std::vector<pollfd> fds;
    char buf[16384];
    for (;;) {
        fds.assign(1, pollfd{listener, POLLIN, 0});
        int timeout = -1;
        const Clock::time_point now = Clock::now();
        for (const Connection& c : conns) {
            fds.push_back(pollfd{c.fd, POLLIN, 0});
            if (c.due.empty()) continue;
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(c.due.front().first - now);
            const int ms = wait.count() < 0 ? 0 : static_cast<int>(wait.count()) + 1;
            timeout = timeout < 0 ? ms : std::min(timeout, ms);
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0) continue;
        std::vector<Connection> next;
        for (size_t i = 0; i < conns.size(); ++i) {
            Connection& c = conns[i];
            bool keep = true;
            if (fds[i + 1].revents) {
                const ssize_t k = ::recv(c.fd, buf, sizeof buf, 0);
                if (k <= 0) {
                    keep = false;
                } else {
                    c.pending.append(buf, static_cast<size_t>(k));
                    keep = Take(c);
                }
            }
            if (keep) keep = Answer(c);
            if (keep) {
                next.push_back(std::move(c));
            } else {
                ::close(c.fd);
            }
        }
        conns.swap(next);
        if (fds[0].revents & POLLIN) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                const int one = 1;
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                conns.push_back(Connection{fd, {}, {}});
            }
        }
    }
}
