// The search form's search, off the window's thread: names and texts are
// matched on a worker, from the notebook's index when it can answer, else
// by reading copies of the notes the window's thread hands over. One search
// at a time: a new one replaces the one under way.
#pragma once

#include "capture/NoteText.h"
#include "views/NoteFeed.h"

#include <QObject>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

class CClipVaultDoc;
class CNote;
class CNoteIndexer;

class CSearchWorker : public QObject {
    Q_OBJECT
public:
    using FoundFn = std::function<void(std::vector<CNote*> found)>;
    using ProgressFn = std::function<void(size_t nDone, size_t nTotal)>;

    CSearchWorker(const CClipVaultDoc& doc, FoundFn fnFound, ProgressFn fnProgress, QObject* pParent = nullptr);
    // Cancels the search and waits for the worker.
    ~CSearchWorker() override;

    // The notebook's index, when it has one (it outlives this worker).
    void SetIndexer(CNoteIndexer* pIndexer) { m_pIndexer = pIndexer; }
    // Looks for `query` among `notes`, keeping their order. The notes found
    // come to `fnFound` on the window's thread; they were in the notebook
    // when they were read, and may have left it since.
    void Start(const notetext::CNoteQuery& query, std::vector<CNote*> notes);
    // Nothing more of the search under way is reported.
    void Cancel();
    bool IsRunning() const { return m_bRunning; }
    // The notebook's notes as the last change left them.
    CNoteList& List() { return m_list; }
    // How the last search was answered (for the tests and the benches).
    enum Way { kNames, kIndex, kScan };
    Way LastWay() const { return m_nWay; }

private:
    // Where the workers' answers go: nowhere once this object is gone.
    struct CReply {
        std::mutex m_mutex;
        CSearchWorker* m_pWorker = nullptr;
        void Send(std::function<void(CSearchWorker&)> fn);
    };
    struct CRun;

    void StartNames(const std::shared_ptr<CRun>& pRun);
    bool StartIndexed(const std::shared_ptr<CRun>& pRun);
    void StartScan(const std::shared_ptr<CRun>& pRun);
    void Deliver(unsigned nGeneration, const std::vector<size_t>& positions);
    void Report(unsigned nGeneration, size_t nDone, size_t nTotal);

    const CClipVaultDoc& m_doc;
    CNoteList m_list;
    FoundFn m_fnFound;
    ProgressFn m_fnProgress;
    CNoteIndexer* m_pIndexer = nullptr;
    std::shared_ptr<CReply> m_pReply = std::make_shared<CReply>();
    std::shared_ptr<CRun> m_pRun;
    std::unique_ptr<CNoteFeed> m_pFeed;
    unsigned m_nGeneration = 0;
    bool m_bRunning = false;
    Way m_nWay = kNames;
    // Declared last: it goes first, while everything its work uses is there.
    std::unique_ptr<CWorkThread> m_pThread;
};
