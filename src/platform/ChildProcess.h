// Runs a helper program to its end: bytes in on its standard input, its
// standard output and error gathered, within a time limit. For the short
// conversions the core hands to helper programs (Markdown out, an article's
// text); nothing here waits on a window or a user.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace proc {

struct CRunResult {
    bool m_bStarted = false;   // false: the program could not be started (m_strError says why)
    bool m_bTimedOut = false;  // killed at the time limit
    bool m_bTooMuch = false;   // killed when its output passed the limit
    bool m_bStopped = false;   // killed because the caller asked
    int m_nExit = -1;          // its exit status; -1 when it ended by a signal or was killed
    int m_nSignal = 0;
    std::string m_strOut;
    std::string m_strErr;      // at most the last 64 KiB
    std::string m_strError;    // why it could not be started or waited for
    bool Succeeded() const { return m_bStarted && !m_bTimedOut && !m_bTooMuch && !m_bStopped && m_nExit == 0; }
};

// Runs `argv` (argv[0] a path, or a name looked up on PATH), writing `input`
// to its standard input and then closing it. Killed after `nTimeoutMs` or
// when its standard output passes `nMaxOutput` bytes. The child gets no other
// descriptors of ours (all are opened close-on-exec or closed for it).
// `fnStop`, asked about ten times a second, kills it early when true.
CRunResult Run(const std::vector<std::string>& argv, const std::string& input, int nTimeoutMs,
               size_t nMaxOutput = static_cast<size_t>(1) << 30, const std::function<bool()>& fnStop = {});

// The full path of an executable file `name` on PATH (or `name` itself when
// it holds a "/" and is executable); empty when there is none.
std::string FindOnPath(const std::string& name);

}  // namespace proc
