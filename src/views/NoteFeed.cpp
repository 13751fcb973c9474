#include "views/NoteFeed.h"

#include "capture/NoteText.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"

#include <algorithm>
#include <chrono>

namespace notefeed {

void CollectNotes(const CNoteCata& cata, std::vector<CNote*>& out) {
    for (auto it = cata.m_notes.begin(); it != cata.m_notes.end(); ++it)
        if (it.value()) out.push_back(it.value());
    for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it)
        if (it.value()) CollectNotes(*it.value(), out);
}

namespace {
void CollectLive(const CNoteCata& cata, std::unordered_set<const CNote*>& out) {
    for (auto it = cata.m_notes.begin(); it != cata.m_notes.end(); ++it) out.insert(it.value());
    for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it)
        if (it.value()) CollectLive(*it.value(), out);
}
}  // namespace

std::unordered_set<const CNote*> LiveNotes(const CNoteCata& root) {
    std::unordered_set<const CNote*> live;
    live.reserve(4096);
    CollectLive(root, live);
    return live;
}

namespace {
uint64_t ContentMarkLocked(const CNote& note) {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](uint64_t v) {
        for (int i = 0; i < 8; ++i, v >>= 8) h = (h ^ (v & 0xFF)) * 1099511628211ull;
    };
    for (char c : note.m_strExt) mix(static_cast<unsigned char>(c));
    // A page still in the notebook's file is known by where it stands
    // there: marking it must not read it in on the window's thread.
    if (const uint64_t nOffset = note.ContentFileOffset(); nOffset != UINT64_MAX) {
        mix(nOffset);
        mix(note.ContentSize());
        return h;
    }
    const std::vector<uint8_t>& bytes = note.Content();
    mix(reinterpret_cast<uintptr_t>(bytes.data()));
    mix(bytes.size());
    // The start and the end: an edit that kept the buffer and its size
    // still shows, without reading every byte of every note.
    const size_t n = bytes.size();
    for (size_t k = 0; k < std::min<size_t>(n, 32); ++k) mix(bytes[k]);
    for (size_t k = n > 32 ? n - 32 : n; k < n; ++k) mix(bytes[k]);
    return h;
}
}  // namespace

std::unique_ptr<CNote> CopyForSearch(const CNote& note, uint64_t* pMark) {
    auto pCopy = std::make_unique<CNote>();
    pCopy->m_strName = note.m_strName;
    pCopy->m_nID = note.m_nID;
    std::lock_guard<std::mutex> lock(note.m_dataLock);
    pCopy->m_strExt = note.m_strExt;
    // Only what has text to search is worth its bytes.
    if (notetext::HasSearchableText(note.m_strExt)) note.CopyContentTo(*pCopy);
    if (pMark) *pMark = ContentMarkLocked(note);
    return pCopy;
}

uint64_t ContentMark(const CNote& note) {
    std::lock_guard<std::mutex> lock(note.m_dataLock);
    return ContentMarkLocked(note);
}

std::string GroupedNumber(uint64_t n) {
    std::string digits = std::to_string(n);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace notefeed

// ---------------------------------------------------------------- CNoteList

void CNoteList::Update() {
    if (m_nChangeCount == m_doc.ChangeCount()) return;
    m_nChangeCount = m_doc.ChangeCount();
    m_notes.clear();
    notefeed::CollectNotes(m_doc.m_rootCata, m_notes);
    m_live.clear();
    m_live.reserve(m_notes.size());
    m_live.insert(m_notes.begin(), m_notes.end());
}

const std::vector<CNote*>& CNoteList::Notes() {
    Update();
    return m_notes;
}

const std::unordered_set<const CNote*>& CNoteList::Live() {
    Update();
    return m_live;
}

// ---------------------------------------------------------------- CWorkThread

CWorkThread::CWorkThread() : m_thread([this] { Run(); }) {}

CWorkThread::~CWorkThread() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_work.clear();
        m_bStop = true;
    }
    m_cv.notify_all();
    m_thread.join();
}

void CWorkThread::Post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_work.push_back(std::move(fn));
    }
    m_cv.notify_one();
}

void CWorkThread::DropPending() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        dropped.swap(m_work);
    }
    m_idle.notify_all();
}

size_t CWorkThread::Pending() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_work.size() + m_nRunning;
}

void CWorkThread::Drain() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_work.empty() && m_nRunning == 0; });
}

void CWorkThread::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_cv.wait(lock, [this] { return m_bStop || !m_work.empty(); });
        if (m_bStop) return;
        std::function<void()> fn = std::move(m_work.front());
        m_work.pop_front();
        ++m_nRunning;
        lock.unlock();
        fn();
        fn = nullptr;
        lock.lock();
        --m_nRunning;
        if (m_work.empty()) m_idle.notify_all();
    }
}

// ---------------------------------------------------------------- CNoteFeed

CNoteFeed::CNoteFeed(CNoteList& list, std::vector<CNote*> notes, TakeFn fnTake, std::function<size_t()> fnBacklog,
                     std::function<void()> fnDone, QObject* pParent)
    : QObject(pParent),
      m_list(list),
      m_notes(std::move(notes)),
      m_fnTake(std::move(fnTake)),
      m_fnBacklog(std::move(fnBacklog)),
      m_fnDone(std::move(fnDone)) {
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, [this] { Slice(); });
}

void CNoteFeed::Start() {
    m_nNext = 0;
    m_timer.setInterval(0);
    m_timer.start();
}

void CNoteFeed::Stop() { m_timer.stop(); }

void CNoteFeed::Slice() {
    const size_t nBacklog = m_fnBacklog ? m_fnBacklog() : 0;
    // A slice is worth its walk over the notebook only when it can copy a
    // good share of what the worker may hold.
    if (nBacklog > kAhead / 2 && m_nNext < m_notes.size()) {
        // The worker is behind: look again shortly instead of spinning.
        m_timer.setInterval(20);
        return;
    }
    m_timer.setInterval(0);
    if (m_nNext < m_notes.size()) {
        // Any note may have gone since the last slice: only notes still in
        // the notebook are read.
        const auto& live = m_list.Live();
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(8);
        size_t nBytes = 0, nTaken = 0;
        while (m_nNext < m_notes.size() && nTaken < kAhead - nBacklog && nBytes < kSliceBytes) {
            CNote* pNote = m_notes[m_nNext];
            std::unique_ptr<CNote> pCopy;
            uint64_t nMark = 0;
            const bool bLive = live.count(pNote) != 0;
            if (bLive) {
                pCopy = notefeed::CopyForSearch(*pNote, &nMark);
                // Bytes still in the file are read by the worker.
                if (pCopy->IsContentLoaded()) nBytes += pCopy->ContentSize();
            }
            m_fnTake(m_nNext++, bLive ? pNote : nullptr, nMark, std::move(pCopy));
            ++nTaken;
            if ((nTaken & 63) == 0 && std::chrono::steady_clock::now() > until) break;
        }
    }
    if (m_nNext >= m_notes.size()) {
        m_timer.stop();
        if (m_fnDone) m_fnDone();
    }
}
