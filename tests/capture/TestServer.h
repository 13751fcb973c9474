// A loopback test server (http_test_server.py) and the child-process
// plumbing that starts it, for the tests of the fetcher and the capture.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace testserver {

using Clock = std::chrono::steady_clock;

// A helper process. Its standard input is a pipe held here, so a server that
// watches for end of input goes away with the test even when the test dies.
class Child {
public:
    ~Child() { Stop(); }

    // `outFile`: where its stdout and stderr go; empty keeps stdout in a pipe
    // for ReadLine (stderr stays the test's).
    bool Spawn(const std::vector<std::string>& argv, const std::string& outFile = "") {
        int in[2], out[2] = {-1, -1};
        if (::pipe2(in, O_CLOEXEC) != 0) return false;
        if (outFile.empty() && ::pipe2(out, O_CLOEXEC) != 0) return false;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        if (outFile.empty()) {
            posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        } else {
            posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            posix_spawn_file_actions_adddup2(&fa, 1, 2);
        }
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        const int rc = ::posix_spawn(&m_pid, args[0], &fa, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        ::close(in[0]);
        m_stdin = in[1];
        if (outFile.empty()) {
            ::close(out[1]);
            m_stdout = out[0];
        }
        if (rc != 0) m_pid = -1;
        return rc == 0;
    }

    std::string ReadLine(int timeoutMs) {
        std::string line;
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < end) {
            pollfd p{m_stdout, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char c;
            if (::read(m_stdout, &c, 1) != 1) break;
            if (c == '\n') return line;
            line += c;
        }
        return "";
    }

    bool Running() { return m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; }

    void Stop(int sig = SIGKILL) {
        if (m_stdin >= 0) ::close(m_stdin);
        if (m_stdout >= 0) ::close(m_stdout);
        m_stdin = m_stdout = -1;
        if (m_pid <= 0) return;
        ::kill(m_pid, sig);
        for (int i = 0; i < 100 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (::waitpid(m_pid, nullptr, WNOHANG) == 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_stdin = -1;
    int m_stdout = -1;
};

inline int ConnectLoopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

// A port nobody listened on a moment ago.
inline int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// The test server, started per test: cheap, and no counter survives into
// the next test.
class TestServer {
public:
    // `rootDir`: a folder whose files the server gives under /files/.
    // `bHttp11Close`: answers carry an HTTP/1.1 status line without a
    // Connection header, and the server closes the connection after each.
    explicit TestServer(const std::string& tlsDir = "", const std::string& rootDir = "", bool bHttp11Close = false) {
        std::vector<std::string> argv = {"/usr/bin/python3",
                                         std::string(CLIPVAULT_TEST_SERVER)};
        if (!tlsDir.empty()) argv.insert(argv.end(), {"--tls-dir", tlsDir});
        if (!rootDir.empty()) argv.insert(argv.end(), {"--root", rootDir});
        if (bHttp11Close) argv.push_back("--http11-close");
        if (!m_child.Spawn(argv)) return;
        std::istringstream(m_child.ReadLine(20000)) >> m_nPort >> m_nTlsPort;
    }
    bool Ok() const { return m_nPort > 0; }
    std::string Url(const std::string& path) const { return "http://" + Host() + path; }
    std::string TlsUrl(const std::string& path) const {
        return "https://127.0.0.1:" + std::to_string(m_nTlsPort) + path;
    }
    std::string Host() const { return "127.0.0.1:" + std::to_string(m_nPort); }

    // Requests the server has had for `path`, asked over a bare socket so the
    // count does not depend on the code under test.
    int Count(const std::string& path) const {
        const int fd = ConnectLoopback(m_nPort);
        if (fd < 0) return -1;
        const std::string req = "GET /_count" + path + " HTTP/1.0\r\n\r\n";
        if (::send(fd, req.data(), req.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(req.size())) {
            ::close(fd);
            return -1;
        }
        std::string reply;
        char buf[4096];
        ssize_t n;
        while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) reply.append(buf, static_cast<size_t>(n));
        ::close(fd);
        const size_t body = reply.find("\r\n\r\n");
        return body == std::string::npos ? -1 : std::atoi(reply.c_str() + body + 4);
    }

    int m_nPort = 0;
    int m_nTlsPort = 0;

private:
    Child m_child;
};

}  // namespace testserver
