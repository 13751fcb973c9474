// The search index of one open notebook, on the window's side: opened after
// the notebook, built on a thread of its own when it does not describe the
// notebook's file, and kept up with the notebook as notes are captured,
// edited and deleted, so that a text search answers from it.
//
// A notebook locked with a password is not indexed until it is unlocked:
// its text stays out of any file but its own. An encrypted notebook is
// never indexed (its searches read the notes), and an index its file had
// while it was plain is removed.
#pragma once

#include "capture/NoteIndex.h"
#include "views/NoteFeed.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

class CClipVaultDoc;
class CNote;

class CNoteIndexer : public QObject {
    Q_OBJECT
public:
    enum State { kOff, kBuilding, kReady, kFailed };

    // `strFolder`: where index files are kept.
    CNoteIndexer(CClipVaultDoc& doc, std::string strFolder, QObject* pParent = nullptr);
    ~CNoteIndexer() override;

    // Once the notebook is open (again after it was unlocked, or first
    // saved): opens its index, and builds it anew when it does not describe
    // the notebook's file as it is on disk. Nothing while the notebook has
    // no file or is locked.
    void Start();
    // Something in the notebook changed: the index catches up shortly.
    void NotebookChanged();
    // The program saved the notebook: once caught up, the index describes
    // the new file, and the next open uses it as it is.
    void Saved();
    // Stops building and waits for the index's thread; the index is left
    // as it is (a build cut short is built again next time).
    void Stop();
    // Closes the index and removes its files: the notebook is encrypted.
    void Drop();

    State GetState() const { return m_nState; }
    // How many times this session built the index from nothing.
    int Builds() const { return m_nBuilds; }
    std::string IndexFile() const { return m_pIndex ? m_pIndex->File() : std::string(); }
    // Waits until the index's thread has done everything asked so far.
    void Drain();

    // For a search: brings the index up to the notebook now, then runs
    // `fn` on the index's thread. False (and nothing runs) when the index
    // cannot answer yet.
    bool RunCaughtUp(std::function<void(notetext::CNoteIndex&)> fn);

signals:
    void Progress(qulonglong nDone, qulonglong nTotal);
    void StateChanged(int nState);

private:
    void Build();
    void BuildFed();
    // Puts every note whose text changed since it was indexed, takes out
    // every note that is gone.
    void CatchUp();
    // Records that the index describes the notebook's file, when the
    // notebook holds nothing unsaved.
    void StampIfSaved();
    void SetState(State nState);
    // Runs on the index's thread with the index.
    void OnIndex(std::function<void(notetext::CNoteIndex&)> fn);

    struct CMark {
        const CNote* m_pNote = nullptr;
        uint64_t m_nMark = 0;
    };

    CClipVaultDoc& m_doc;
    std::string m_strFolder;
    // The notebook's file the index belongs to (links resolved), and that
    // file's stamp when the notebook last held what the file holds.
    std::string m_strNotebook;
    notetext::CFileStamp m_stamp;
    // Used only on m_pThread once it is open; the thread goes first.
    std::unique_ptr<notetext::CNoteIndex> m_pIndex;
    std::unique_ptr<CWorkThread> m_pThread;
    std::unique_ptr<CNoteFeed> m_pFeed;
    CNoteList m_list;
    // The notebook's ChangeCount the index last caught up with.
    uint64_t m_nCaughtUp = ~uint64_t(0);
    // What the index holds of each note, by number.
    std::unordered_map<uint32_t, CMark> m_marks;
    // Numbers that more than one note carries: those notes are scanned.
    std::unordered_set<uint32_t> m_shared;
    std::shared_ptr<std::atomic<bool>> m_pCancel = std::make_shared<std::atomic<bool>>(false);
    QTimer m_catchUp;
    State m_nState = kOff;
    int m_nBuilds = 0;
    bool m_bDirty = false;
};
