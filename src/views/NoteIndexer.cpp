#include "views/NoteIndexer.h"

#include "document/ClipVaultDoc.h"
#include "document/Records.h"

#include <cstdlib>
#include <vector>

namespace {
// The notebook's path with links resolved: one index however it is reached.
std::string RealPath(const std::string& strPath) {
    char* pReal = realpath(strPath.c_str(), nullptr);
    if (!pReal) return strPath;
    std::string out(pReal);
    free(pReal);
    return out;
}
// Changes are written in groups of this many notes: one transaction a note
// would be slow, one for the whole build would hold everything in memory.
constexpr size_t kNotesPerCommit = 1000;
}  // namespace

CNoteIndexer::CNoteIndexer(CClipVaultDoc& doc, std::string strFolder, QObject* pParent)
    : QObject(pParent), m_doc(doc), m_strFolder(std::move(strFolder)), m_list(doc) {
    m_catchUp.setSingleShot(true);
    m_catchUp.setInterval(300);
    connect(&m_catchUp, &QTimer::timeout, this, [this] { CatchUp(); });
}

CNoteIndexer::~CNoteIndexer() {
    Stop();
    m_pIndex.reset();
}

void CNoteIndexer::SetState(State nState) {
    if (m_nState == nState) return;
    m_nState = nState;
    emit StateChanged(nState);
}

void CNoteIndexer::OnIndex(std::function<void(notetext::CNoteIndex&)> fn) {
    if (!m_pThread || !m_pIndex) return;
    notetext::CNoteIndex* pIndex = m_pIndex.get();
    m_pThread->Post([pIndex, fn = std::move(fn)] { fn(*pIndex); });
}

void CNoteIndexer::Start() {
    if (m_doc.IsEncrypted()) {
        Drop();
        return;
    }
    if (m_nState == kBuilding || m_nState == kReady) return;
    const std::string strPath = m_doc.GetPathName();
    if (strPath.empty() || m_doc.IsLocked()) return;
    m_strNotebook = RealPath(strPath);
    std::string strError;
    m_pIndex = notetext::CNoteIndex::Open(notetext::CNoteIndex::IndexFileFor(m_strFolder, m_strNotebook), &strError);
    if (!m_pIndex) {
        SetState(kFailed);
        return;
    }
    m_pCancel = std::make_shared<std::atomic<bool>>(false);
    m_pThread = std::make_unique<CWorkThread>();
    m_stamp = notetext::CFileStamp::Of(strPath);
    // An index full of replaced texts is worth building again.
    if (!m_doc.IsModified() && !m_doc.IsDamaged() && m_pIndex->IsCurrentFor(m_stamp) && m_pIndex->StaleShare() < 0.5) {
        // It holds what the notes hold now: only their marks are taken.
        m_pIndex->MarkComplete(m_stamp);
        m_nCaughtUp = m_doc.ChangeCount();
        const std::vector<CNote*>& notes = m_list.Notes();
        m_marks.clear();
        m_shared.clear();
        for (CNote* pNote : notes) {
            if (m_marks.count(pNote->m_nID)) m_shared.insert(pNote->m_nID);
            m_marks[pNote->m_nID] = {pNote, notefeed::ContentMark(*pNote)};
        }
        SetState(kReady);
        return;
    }
    Build();
}

void CNoteIndexer::Build() {
    ++m_nBuilds;
    SetState(kBuilding);
    m_marks.clear();
    m_shared.clear();
    m_nCaughtUp = m_doc.ChangeCount();
    std::vector<CNote*> notes = m_list.Notes();
    std::unordered_set<uint32_t> seen;
    for (CNote* pNote : notes)
        if (!seen.insert(pNote->m_nID).second) m_shared.insert(pNote->m_nID);
    OnIndex([](notetext::CNoteIndex& index) {
        index.Reset();
        index.Begin();
    });
    const size_t nTotal = notes.size();
    auto pDone = std::make_shared<size_t>(0);
    auto pCancel = m_pCancel;
    auto fnTake = [this, nTotal, pDone, pCancel](size_t, const CNote* pNote, uint64_t nMark,
                                                  std::unique_ptr<CNote> pCopy) {
        std::shared_ptr<CNote> copy(std::move(pCopy));
        const bool bIndexed = pNote && !m_shared.count(copy->m_nID);
        if (bIndexed) m_marks[copy->m_nID] = {pNote, nMark};
        OnIndex([this, nTotal, pDone, pCancel, copy, bIndexed](notetext::CNoteIndex& index) {
            if (*pCancel) return;
            if (bIndexed) {
                const std::string text = notetext::NoteSearchText(*copy);
                if (!text.empty()) index.Put(copy->m_nID, text);
            }
            const size_t n = ++*pDone;
            if (n % kNotesPerCommit == 0) {
                index.Commit();
                index.Begin();
            }
            if (n % 250 == 0 || n == nTotal)
                QMetaObject::invokeMethod(this, [this, n, nTotal] { emit Progress(n, nTotal); }, Qt::QueuedConnection);
        });
    };
    auto fnDone = [this, pCancel] {
        std::vector<uint32_t> shared(m_shared.begin(), m_shared.end());
        OnIndex([this, pCancel, shared](notetext::CNoteIndex& index) {
            if (*pCancel) return;
            index.Commit();
            index.SetScannedIDs(shared);
            QMetaObject::invokeMethod(this, [this] { BuildFed(); }, Qt::QueuedConnection);
        });
    };
    m_pFeed = std::make_unique<CNoteFeed>(
        m_list, std::move(notes), fnTake, [this] { return m_pThread ? m_pThread->Pending() : 0; }, fnDone);
    m_pFeed->Start();
}

void CNoteIndexer::BuildFed() {
    m_pFeed.reset();
    SetState(kReady);
    // What changed while it was built goes in now; then the index says
    // which file it describes, if the notebook is the file's.
    CatchUp();
    StampIfSaved();
}

void CNoteIndexer::StampIfSaved() {
    // Without a file that holds what the notes hold, the index is complete
    // for this session only: the next open builds it again.
    notetext::CFileStamp stamp;
    if (!m_doc.IsModified() && !m_doc.IsDamaged()) stamp = m_stamp;
    OnIndex([stamp](notetext::CNoteIndex& index) { index.MarkComplete(stamp); });
}

void CNoteIndexer::NotebookChanged() {
    if (m_nState == kReady) m_catchUp.start();
}

void CNoteIndexer::CatchUp() {
    m_catchUp.stop();
    if (m_nState != kReady || m_nCaughtUp == m_doc.ChangeCount()) return;
    m_nCaughtUp = m_doc.ChangeCount();
    const std::vector<CNote*>& notes = m_list.Notes();
    std::unordered_set<uint32_t> seen;
    seen.reserve(notes.size());
    bool bBegun = false;
    auto begin = [&] {
        if (!bBegun) OnIndex([](notetext::CNoteIndex& index) { index.Begin(); });
        bBegun = true;
    };
    for (CNote* pNote : notes) {
        const uint32_t nID = pNote->m_nID;
        if (!seen.insert(nID).second) {
            // A number that two notes carry (a note pasted from elsewhere):
            // both are scanned from now on.
            if (m_shared.insert(nID).second) {
                std::vector<uint32_t> shared(m_shared.begin(), m_shared.end());
                OnIndex([shared](notetext::CNoteIndex& index) { index.SetScannedIDs(shared); });
            }
            continue;
        }
        auto it = m_marks.find(nID);
        if (it != m_marks.end() && it->second.m_pNote == pNote && it->second.m_nMark == notefeed::ContentMark(*pNote))
            continue;
        uint64_t nMark = 0;
        std::shared_ptr<CNote> copy(notefeed::CopyForSearch(*pNote, &nMark));
        m_marks[nID] = {pNote, nMark};
        begin();
        // An empty text takes the note out.
        OnIndex([copy](notetext::CNoteIndex& index) { index.Put(copy->m_nID, notetext::NoteSearchText(*copy)); });
    }
    for (auto it = m_marks.begin(); it != m_marks.end();) {
        if (seen.count(it->first)) {
            ++it;
            continue;
        }
        const uint32_t nID = it->first;
        begin();
        OnIndex([nID](notetext::CNoteIndex& index) { index.Remove(nID); });
        it = m_marks.erase(it);
    }
    if (bBegun) OnIndex([](notetext::CNoteIndex& index) { index.Commit(); });
}

void CNoteIndexer::Drop() {
    Stop();
    m_pIndex.reset();
    m_marks.clear();
    m_shared.clear();
    SetState(kOff);
    const std::string strPath = m_doc.GetPathName();
    if (!strPath.empty())
        notetext::CNoteIndex::RemoveFiles(notetext::CNoteIndex::IndexFileFor(m_strFolder, RealPath(strPath)));
}

void CNoteIndexer::Saved() {
    // Saved encrypted (the first time, too): whatever index the plain file
    // had goes with it.
    if (m_doc.IsEncrypted()) {
        Drop();
        return;
    }
    if (m_doc.IsLocked()) return;
    const std::string strPath = m_doc.GetPathName();
    if (strPath.empty()) return;
    if (m_nState == kOff || m_nState == kFailed || RealPath(strPath) != m_strNotebook) {
        // Saved for the first time, or under another name: that file's index.
        Stop();
        m_nState = kOff;
        Start();
        return;
    }
    m_stamp = notetext::CFileStamp::Of(strPath);
    // A build under way stamps the index when it ends.
    if (m_nState != kReady) return;
    CatchUp();
    StampIfSaved();
}

bool CNoteIndexer::RunCaughtUp(std::function<void(notetext::CNoteIndex&)> fn) {
    if (m_nState != kReady || !m_shared.empty()) return false;
    CatchUp();
    OnIndex(std::move(fn));
    return true;
}

void CNoteIndexer::Drain() {
    if (m_pThread) m_pThread->Drain();
}

void CNoteIndexer::Stop() {
    m_catchUp.stop();
    if (m_pCancel) *m_pCancel = true;
    m_pFeed.reset();
    m_pThread.reset();
    if (m_nState == kBuilding) m_nState = kOff;
}
