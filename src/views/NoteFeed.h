// What the window's workers (the text search, the search index) read of a
// notebook. Notes are deleted, renamed and moved on the window's thread,
// whenever the user asks, so a worker never holds a note: the window's
// thread hands it copies, a slice at a time, checking before each slice that
// the notes it is about to copy are still in the notebook. That check asks
// the notebook's list of notes again only after a change (ChangeCount),
// which every deletion makes before the event loop runs again.
#pragma once

#include <QObject>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

class CClipVaultDoc;
class CNote;
class CNoteCata;

namespace notefeed {

// Every note of a category and its subcategories, in the search's order: a
// category's notes in map order, then each subcategory the same way.
void CollectNotes(const CNoteCata& cata, std::vector<CNote*>& out);
std::unordered_set<const CNote*> LiveNotes(const CNoteCata& root);

// A note of no notebook holding what a search reads of `note` (name, type,
// content, number), taken under its data lock; `pMark`, when given,
// receives its ContentMark of the same moment.
std::unique_ptr<CNote> CopyForSearch(const CNote& note, uint64_t* pMark = nullptr);

// What changes when a note's searchable text may have changed: its type and
// its content's place, size and first and last bytes. Read under the data
// lock.
uint64_t ContentMark(const CNote& note);

// "12,345": counts in progress texts.
std::string GroupedNumber(uint64_t n);

}  // namespace notefeed

// The notes of a notebook in the search's order, and as a set, made again
// only when the notebook changed (ChangeCount): walking 50,000 notes takes
// the window's thread some 50 ms.
class CNoteList {
public:
    explicit CNoteList(const CClipVaultDoc& doc) : m_doc(doc) {}
    const std::vector<CNote*>& Notes();
    const std::unordered_set<const CNote*>& Live();

private:
    void Update();

    const CClipVaultDoc& m_doc;
    uint64_t m_nChangeCount = ~uint64_t(0);
    std::vector<CNote*> m_notes;
    std::unordered_set<const CNote*> m_live;
};

// One thread running posted work in order. Destroying it drops what has not
// started and waits for what has.
class CWorkThread {
public:
    CWorkThread();
    ~CWorkThread();
    CWorkThread(const CWorkThread&) = delete;
    CWorkThread& operator=(const CWorkThread&) = delete;

    void Post(std::function<void()> fn);
    // Drops the work that has not started.
    void DropPending();
    // Work posted and not finished.
    size_t Pending() const;
    // Waits until everything posted so far has run (tests, closing).
    void Drain();

private:
    void Run();

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::condition_variable m_idle;
    std::deque<std::function<void()>> m_work;
    size_t m_nRunning = 0;
    bool m_bStop = false;
    std::thread m_thread;
};

// Copies notes for a worker on the window's thread, a slice per turn of the
// event loop, while the worker has room for them. Each copy goes to
// `fnTake` with its place in the list, the note and its ContentMark; a note
// that left the notebook since the list was made goes as nulls. `fnDone`
// follows the last one.
class CNoteFeed : public QObject {
    Q_OBJECT
public:
    using TakeFn = std::function<void(size_t nPos, const CNote* pNote, uint64_t nMark, std::unique_ptr<CNote> pCopy)>;
    // `list` (which outlives the feed) says which notes are still there.
    CNoteFeed(CNoteList& list, std::vector<CNote*> notes, TakeFn fnTake, std::function<size_t()> fnBacklog,
              std::function<void()> fnDone, QObject* pParent = nullptr);

    void Start();
    void Stop();
    bool IsRunning() const { return m_timer.isActive(); }
    size_t Total() const { return m_notes.size(); }

    // How many copies may wait for the worker, and how much one slice may
    // copy: enough to keep a worker busy, little enough that the window
    // never waits and memory stays small.
    static constexpr size_t kAhead = 512;
    static constexpr size_t kSliceBytes = 8u << 20;

private:
    void Slice();

    CNoteList& m_list;
    std::vector<CNote*> m_notes;
    size_t m_nNext = 0;
    TakeFn m_fnTake;
    std::function<size_t()> m_fnBacklog;
    std::function<void()> m_fnDone;
    QTimer m_timer;
};
