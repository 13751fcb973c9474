#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace proc {
namespace {

constexpr size_t kMaxErr = 64 * 1024;

struct CPipe {
    int fd[2] = {-1, -1};
    bool Open() { return ::pipe2(fd, O_CLOEXEC) == 0; }
    void Close(int i) {
        if (fd[i] >= 0) ::close(fd[i]);
        fd[i] = -1;
    }
    ~CPipe() {
        Close(0);
        Close(1);
    }
};

bool ReadSome(int& fd, std::string& into, size_t nKeepLast) {
    char buf[65536];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
        into.append(buf, static_cast<size_t>(n));
        if (nKeepLast && into.size() > nKeepLast) into.erase(0, into.size() - nKeepLast);
        return true;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    ::close(fd);
    fd = -1;
    return false;
}

// Feeds the child and gathers what it says until it has closed both outputs
// or has to be stopped.
void Exchange(pid_t pid, int inFd, int outFd, int errFd, const std::string& input, int nTimeoutMs, size_t nMaxOutput,
              const std::function<bool()>& fnStop, CRunResult& r) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    size_t nWritten = 0;
    if (input.empty() && inFd >= 0) {
        ::close(inFd);
        inFd = -1;
    }
    while (outFd >= 0 || errFd >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            r.m_bTimedOut = true;
            break;
        }
        if (fnStop && fnStop()) {
            r.m_bStopped = true;
            break;
        }
        pollfd fds[3];
        int n = 0;
        int iIn = -1, iOut = -1, iErr = -1;
        if (inFd >= 0) fds[iIn = n++] = {inFd, POLLOUT, 0};
        if (outFd >= 0) fds[iOut = n++] = {outFd, POLLIN, 0};
        if (errFd >= 0) fds[iErr = n++] = {errFd, POLLIN, 0};
        const int rc = ::poll(fds, static_cast<nfds_t>(n), static_cast<int>(std::min<long long>(left.count(), 100)));
        if (rc < 0 && errno != EINTR) break;
        if (rc <= 0) continue;
        if (iIn >= 0 && fds[iIn].revents) {
            const ssize_t w = (fds[iIn].revents & POLLOUT)
                                  ? ::write(inFd, input.data() + nWritten, std::min<size_t>(input.size() - nWritten, 65536))
                                  : -1;
            if (w > 0) nWritten += static_cast<size_t>(w);
            // A child that stops reading early closes its end: what it said
            // still counts.
            if ((w < 0 && errno != EINTR && errno != EAGAIN) || nWritten == input.size()) {
                ::close(inFd);
                inFd = -1;
            }
        }
        if (iOut >= 0 && fds[iOut].revents) {
            ReadSome(outFd, r.m_strOut, 0);
            if (r.m_strOut.size() > nMaxOutput) {
                r.m_bTooMuch = true;
                break;
            }
        }
        if (iErr >= 0 && fds[iErr].revents) ReadSome(errFd, r.m_strErr, kMaxErr);
    }
    if (r.m_bTimedOut || r.m_bTooMuch || r.m_bStopped) ::kill(pid, SIGKILL);
    for (int fd : {inFd, outFd, errFd})
        if (fd >= 0) ::close(fd);
}

}  // namespace

std::string FindOnPath(const std::string& name) {
    if (name.empty()) return std::string();
    if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
    const char* path = std::getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = end > start ? dirs.substr(start, end - start) : std::string(".");
        const std::string full = dir + "/" + name;
        if (::access(full.c_str(), X_OK) == 0) return full;
        start = end + 1;
    }
    return std::string();
}

CRunResult Run(const std::vector<std::string>& argv, const std::string& input, int nTimeoutMs, size_t nMaxOutput,
               const std::function<bool()>& fnStop) {
    CRunResult r;
    if (argv.empty()) {
        r.m_strError = "no program to run";
        return r;
    }
    CPipe in, out, err;
    if (!in.Open() || !out.Open() || !err.Open()) {
        r.m_strError = std::string("cannot make pipes: ") + std::strerror(errno);
        return r;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.fd[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err.fd[1], 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        r.m_strError = "cannot run " + argv[0] + ": " + std::strerror(rc);
        return r;
    }
    r.m_bStarted = true;
    in.Close(0);
    out.Close(1);
    err.Close(1);
    const int inFd = in.fd[1], outFd = out.fd[0], errFd = err.fd[0];
    in.fd[1] = out.fd[0] = err.fd[0] = -1;
    ::fcntl(inFd, F_SETFL, ::fcntl(inFd, F_GETFL) | O_NONBLOCK);
    // A write to a child that has gone must fail, not end this process: the
    // signal is held back in this thread alone (the others keep their own
    // handling) and taken away before it is let through again.
    sigset_t pipeSet, previous;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &previous);
    Exchange(pid, inFd, outFd, errFd, input, nTimeoutMs, nMaxOutput, fnStop, r);
    const timespec none{0, 0};
    while (sigtimedwait(&pipeSet, nullptr, &none) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            r.m_strError = std::string("cannot wait for ") + argv[0] + ": " + std::strerror(errno);
            break;
        }
    }
    if (WIFEXITED(status)) r.m_nExit = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) r.m_nSignal = WTERMSIG(status);
    return r;
}

}  // namespace proc
