// What the benchmarks' loopback servers share: a listening socket on
// 127.0.0.1 whose port goes to standard output, and an end when the script
// that started the server closes its input.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

// The listening socket, its port printed on one line; -1 after reporting.
inline int ListenOnLoopback(int backlog, const char* who) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener, backlog) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        std::perror(who);
        return -1;
    }
    std::printf("%d\n", ntohs(a.sin_port));
    std::fflush(stdout);
    return listener;
}

// The server goes away with the script that started it, however that ends.
inline void ExitWhenInputCloses() {
    std::thread([] {
        char c;
        while (::read(0, &c, 1) > 0) {
        }
        std::_Exit(0);
    }).detach();
}
