// What one capture may hold in memory: its page and every file it takes in,
// as decoded, and the parser's work on its pages. Hostile servers send small
// compressed answers that unpack to gigabytes, or pages of millions of empty
// tags; without a bound either takes the machine's memory and fills the
// notebook. Once a capture is past its budget the file at hand and every
// file after it are left at their web addresses, and the note says why.
#pragma once

#include <cstdint>
#include <string>

// The user's budget unless the options say otherwise: 1 GiB.
constexpr uint64_t kDefaultCaptureBudget = uint64_t(1) << 30;
// A compressed answer that unpacks to more than this many times the bytes
// that came for it, once past kInflateFloor, is a bomb rather than a file:
// real text and pictures pack ten or twenty times at the most.
constexpr uint64_t kInflateRatio = 100;
constexpr uint64_t kInflateFloor = uint64_t(4) << 20;

class CCaptureBudget {
public:
    explicit CCaptureBudget(uint64_t nLimit = kDefaultCaptureBudget) : m_nLimit(nLimit) {}

    // Counts `n` more bytes as held. False when they do not fit; the budget
    // is then spent for good, so that the capture takes in nothing more.
    bool Take(uint64_t n);
    // Bytes held no longer: a transfer that failed, a parse that ended.
    void Give(uint64_t n) { m_nHeld -= n < m_nHeld ? n : m_nHeld; }
    // Ends the capture's taking without counting anything (a file announced
    // larger than what is left).
    void Spend() { m_bSpent = true; }
    bool Spent() const { return m_bSpent; }
    uint64_t Left() const { return m_bSpent || m_nHeld >= m_nLimit ? 0 : m_nLimit - m_nHeld; }
    uint64_t Limit() const { return m_nLimit; }
    // A transfer was given up as a bomb (it does not spend the budget: the
    // other files may well be sound).
    void NoteInflated() { ++m_nInflated; }
    unsigned Inflated() const { return m_nInflated; }

private:
    uint64_t m_nLimit;
    uint64_t m_nHeld = 0;
    bool m_bSpent = false;
    unsigned m_nInflated = 0;
};

// True when `nDecoded` bytes out of `nReceived` on the wire is a bomb.
inline bool InflatedTooFar(uint64_t nDecoded, uint64_t nReceived) {
    return nDecoded > kInflateFloor && nDecoded / kInflateRatio > nReceived;
}

namespace fetchutil {
// Why a capture left files at their addresses, as a note's error text; empty
// when it left none for these reasons.
std::string BudgetText(const CCaptureBudget& budget);
// Why a page or file was not stored at all: kFetchOverBudget or
// kFetchInflated.
std::string BudgetFailureText(int code, const CCaptureBudget& budget);
}  // namespace fetchutil
