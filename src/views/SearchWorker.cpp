#include "views/SearchWorker.h"

#include "capture/NoteIndex.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "views/NoteIndexer.h"

#include <chrono>
#include <string>
#include <unordered_set>

// One search: what the window's thread gave it, and what its worker found.
struct CSearchWorker::CRun {
    CRun(unsigned nGeneration, const notetext::CNoteQuery& q) : m_nGeneration(nGeneration), m_query(q) {}
    unsigned m_nGeneration;
    notetext::CNoteQuery m_query;
    // Window's thread only.
    std::vector<CNote*> m_notes;
    // Taken on the window's thread before the worker starts; read there.
    std::vector<std::string> m_names;
    std::vector<uint32_t> m_ids;
    std::atomic<bool> m_bCancel{false};
    // The worker's.
    std::vector<size_t> m_found;
    size_t m_nDone = 0;
    std::chrono::steady_clock::time_point m_lastReport{};
};

void CSearchWorker::CReply::Send(std::function<void(CSearchWorker&)> fn) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (CSearchWorker* pWorker = m_pWorker)
        QMetaObject::invokeMethod(pWorker, [pWorker, fn = std::move(fn)] { fn(*pWorker); }, Qt::QueuedConnection);
}

CSearchWorker::CSearchWorker(const CClipVaultDoc& doc, FoundFn fnFound, ProgressFn fnProgress, QObject* pParent)
    : QObject(pParent),
      m_doc(doc),
      m_list(doc),
      m_fnFound(std::move(fnFound)),
      m_fnProgress(std::move(fnProgress)),
      m_pThread(std::make_unique<CWorkThread>()) {
    m_pReply->m_pWorker = this;
}

CSearchWorker::~CSearchWorker() {
    Cancel();
    {
        std::lock_guard<std::mutex> lock(m_pReply->m_mutex);
        m_pReply->m_pWorker = nullptr;
    }
    m_pThread.reset();
}

void CSearchWorker::Cancel() {
    ++m_nGeneration;
    if (m_pRun) m_pRun->m_bCancel = true;
    m_pRun.reset();
    m_pFeed.reset();
    if (m_pThread) m_pThread->DropPending();
    m_bRunning = false;
}

void CSearchWorker::Start(const notetext::CNoteQuery& query, std::vector<CNote*> notes) {
    Cancel();
    auto pRun = std::make_shared<CRun>(m_nGeneration, query);
    pRun->m_notes = std::move(notes);
    m_pRun = pRun;
    m_bRunning = true;
    if (!query.SearchText()) {
        StartNames(pRun);
    } else if (!StartIndexed(pRun)) {
        StartScan(pRun);
    }
}

void CSearchWorker::Report(unsigned nGeneration, size_t nDone, size_t nTotal) {
    if (nGeneration == m_nGeneration && m_bRunning && m_fnProgress) m_fnProgress(nDone, nTotal);
}

void CSearchWorker::Deliver(unsigned nGeneration, const std::vector<size_t>& positions) {
    if (nGeneration != m_nGeneration || !m_pRun) return;
    std::vector<CNote*> found;
    found.reserve(positions.size());
    for (size_t nPos : positions) found.push_back(m_pRun->m_notes[nPos]);
    m_pRun.reset();
    m_pFeed.reset();
    m_bRunning = false;
    if (m_fnFound) m_fnFound(std::move(found));
}

// Names alone: the names are copied, the worker compares them.
void CSearchWorker::StartNames(const std::shared_ptr<CRun>& pRun) {
    m_nWay = kNames;
    pRun->m_names.reserve(pRun->m_notes.size());
    for (const CNote* pNote : pRun->m_notes) pRun->m_names.push_back(pNote->m_strName);
    m_pThread->Post([pRun, pReply = m_pReply] {
        for (size_t i = 0; i < pRun->m_names.size(); ++i) {
            if (pRun->m_bCancel) return;
            if (pRun->m_query.NameMatches(pRun->m_names[i])) pRun->m_found.push_back(i);
        }
        pReply->Send([pRun](CSearchWorker& w) { w.Deliver(pRun->m_nGeneration, pRun->m_found); });
    });
}

// From the index: its notes with the text, the names compared beside.
bool CSearchWorker::StartIndexed(const std::shared_ptr<CRun>& pRun) {
    if (!m_pIndexer || !notetext::CNoteIndex::CanAnswer(pRun->m_query)) return false;
    pRun->m_names.reserve(pRun->m_notes.size());
    pRun->m_ids.reserve(pRun->m_notes.size());
    for (const CNote* pNote : pRun->m_notes) {
        pRun->m_names.push_back(pNote->m_strName);
        pRun->m_ids.push_back(pNote->m_nID);
    }
    const bool bPosted = m_pIndexer->RunCaughtUp([pRun, pReply = m_pReply](notetext::CNoteIndex& index) {
        std::unordered_set<uint32_t> ids;
        const bool ok =
            index.IsComplete() && index.FindText(pRun->m_query, ids, [pRun] { return pRun->m_bCancel.load(); });
        if (pRun->m_bCancel) return;
        if (!ok) {
            // The index could not say (it failed meanwhile): the notes are read.
            pReply->Send([pRun](CSearchWorker& w) {
                if (pRun->m_nGeneration == w.m_nGeneration) w.StartScan(pRun);
            });
            return;
        }
        for (size_t i = 0; i < pRun->m_names.size(); ++i)
            if (pRun->m_query.NameMatches(pRun->m_names[i]) || ids.count(pRun->m_ids[i])) pRun->m_found.push_back(i);
        pReply->Send([pRun](CSearchWorker& w) { w.Deliver(pRun->m_nGeneration, pRun->m_found); });
    });
    if (bPosted) m_nWay = kIndex;
    return bPosted;
}

// Every note read: copies come a slice at a time, the worker reads them.
void CSearchWorker::StartScan(const std::shared_ptr<CRun>& pRun) {
    m_nWay = kScan;
    const size_t nTotal = pRun->m_notes.size();
    auto fnTake = [this, pRun, nTotal](size_t nPos, const CNote*, uint64_t, std::unique_ptr<CNote> pCopy) {
        std::shared_ptr<CNote> copy(std::move(pCopy));
        m_pThread->Post([pRun, pReply = m_pReply, copy, nPos, nTotal] {
            if (pRun->m_bCancel) return;
            if (copy) {
                notetext::CNoteTextCache cache;
                if (notetext::NoteMatches(*copy, pRun->m_query, cache)) pRun->m_found.push_back(nPos);
            }
            ++pRun->m_nDone;
            const auto now = std::chrono::steady_clock::now();
            if (now - pRun->m_lastReport > std::chrono::milliseconds(100)) {
                pRun->m_lastReport = now;
                const size_t nDone = pRun->m_nDone;
                pReply->Send([pRun, nDone, nTotal](CSearchWorker& w) { w.Report(pRun->m_nGeneration, nDone, nTotal); });
            }
        });
    };
    auto fnDone = [this, pRun] {
        m_pThread->Post([pRun, pReply = m_pReply] {
            if (pRun->m_bCancel) return;
            pReply->Send([pRun](CSearchWorker& w) { w.Deliver(pRun->m_nGeneration, pRun->m_found); });
        });
    };
    m_pFeed = std::make_unique<CNoteFeed>(m_list, pRun->m_notes, fnTake,
                                          [this] { return m_pThread->Pending(); }, fnDone);
    if (m_fnProgress) m_fnProgress(0, nTotal);
    m_pFeed->Start();
}
