// One open notebook: its record tree, its attachments, its password, the
// file it lives in, and the downloads that fill its captured notes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "document/AttachmentNamer.h"
#include "document/DocPassword.h"
#include "document/NameMap.h"
#include "document/NotebookCipher.h"
#include "document/Records.h"
#include "platform/DownloadSettings.h"
#include "platform/StopSignal.h"

class CArchive;
class CClipVaultDoc;

// The download work for a note by its source kind: a web page with its
// resources, a single web file, or a local file, with the settings the
// worker was started with. True when the note was filled.
bool RunNoteDownload(CNote& note, const CDownloadSettings& settings);

// What a notebook tells the windows that show it. Every call comes on the
// user-interface thread; a notebook without windows (the command-line tool,
// tests) has none.
class IDocViews {
public:
    virtual ~IDocViews() = default;
    // A note's download state or content changed: redraw it where it shows.
    virtual void RefreshNote(CNote*) {}
    // A note left the download list.
    virtual void NoteUnlisted(CNote*) {}
    // A record is about to be deleted: take it out of the tree and the list.
    virtual void RemoveItem(CNoteBase*) {}
    // The modified flag or the title changed.
    virtual void TitleChanged() {}
    // Before saving: the editor puts the note being edited back.
    virtual void CommitEdits() {}
    // Asks where to save a notebook that has no file yet; false = cancelled.
    virtual bool ChooseSavePath(std::string&) { return false; }
    // An imported note was attached to its category: show it there.
    virtual void NoteFiled(CNote*) {}
    // The notebook was written to its file (GetPathName()).
    virtual void DocumentSaved() {}
};

// Where the passphrase of an encrypted notebook that is being opened comes
// from: a dialog in the window, a file or standard input in the command-line
// tool, a fixed answer in tests.
class IPassphraseAsker {
public:
    virtual ~IPassphraseAsker() = default;
    // nAttempt counts from 1; from 2 on the previous passphrase was wrong.
    // False when the user gave up (or there is nothing more to try).
    virtual bool AskPassphrase(const std::string& strPath, int nAttempt, std::string& strPassphrase) = 0;
};

// One download worker: a thread that fills one note. Shared by the note (its
// handle), the thread itself and the "capture done" message on its way to the
// user-interface thread, so that none of them outlives what it points at.
class CDownloadJob {
public:
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bFinished = false;   // the worker has set the final status
    bool m_bDelivered = false;  // its "capture done" was handled
    // Cleared (under m_mutex) when the note goes away.
    CNote* m_pNote = nullptr;
    CClipVaultDoc* m_pDoc = nullptr;
    // Expires with the notebook: a message still on its way then finds
    // nobody to deliver to.
    std::weak_ptr<int> m_docAlive;
    // The download options as they were when the worker was started.
    CDownloadSettings m_settings;
    // The worker's stop request, which nothing takes back. Abandoned when a
    // stop did not end the worker in time: it then changes nothing in its
    // note or the notebook, and only tells the notebook that it has ended.
    std::shared_ptr<host::CStopSignal> m_pStop = std::make_shared<host::CStopSignal>();

    // Waits for the worker to set its final status; false on time-out.
    bool WaitFinished(std::chrono::milliseconds timeout);
    void Join();
};

class CClipVaultDoc {
public:
    // What a download worker runs for a note: true on success. RunNoteDownload
    // unless replaced (tests do).
    using DownloadBody = std::function<bool(CNote&, const CDownloadSettings&)>;
    static void SetDownloadBody(DownloadBody body);
    static DownloadBody GetDownloadBody();

    CClipVaultDoc();
    ~CClipVaultDoc();
    CClipVaultDoc(const CClipVaultDoc&) = delete;
    CClipVaultDoc& operator=(const CClipVaultDoc&) = delete;

    // ---- file
    // A new, empty notebook (with its document-information record).
    bool OnNewDocument();
    // Opens a ".vlt" file (any letter case; message 33085 otherwise). A file
    // that cannot be opened gives message 61697 and false. A damaged file
    // opens read-only with what was read before the damage, and the user is
    // told how much that is; m_nLoadError then holds the archive's cause.
    // Hidden copies that killed saves left beside the file are removed.
    bool OnOpenDocument(const std::string& strPath);
    // Writes the notebook so that the file on disk is always either the old
    // or the new notebook. 61698 and false on failure. A damaged notebook is
    // never written over its own file; saved under another name it is a
    // whole notebook again, there.
    bool OnSaveDocument(const std::string& strPath);
    // Saves to the notebook's own path, asking for one when it has none; a
    // damaged notebook always asks.
    bool DoFileSave();
    // Asks the views where to save; a damaged notebook's own file is
    // refused and the question asked again. False when cancelled.
    bool AskSavePath(std::string& strPath);
    // The autosave: only a modified notebook with a file of its own that was
    // read whole saves itself; it never asks the user anything. False when
    // such a save failed.
    bool AutoSave();
    // Asks to save a modified notebook: Yes saves, No drops the changes,
    // Cancel (or a failed save) answers false.
    bool SaveModified();
    // Stops downloads (asking first), deletes unused attachments and asks to
    // save; false keeps the notebook open.
    bool CanCloseFrame();
    // The notebook's window is closing: the record clipboard lets go of its
    // records.
    void PreCloseFrame();
    void Serialize(CArchive& ar);

    const std::string& GetPathName() const { return m_strPathName; }
    void SetPathName(const std::string& strPath);
    const std::string& GetTitle() const { return m_strTitle; }
    // Recomputes the title: the file name without folder and extension, or
    // "NewVLT" without a path, and " *" while modified.
    void SetTitle();
    // Ignored while the notebook is read-only.
    void SetModifiedFlag(bool bModified = true);
    void MarkModified(bool bModified = true);
    bool IsModified() const { return m_bModified; }
    // Grows with every change the notebook is told of: every change marks
    // it modified (a deletion before the event loop runs again), and a
    // download's end refreshes its note. Whoever keeps a list of the notes,
    // or of what they said, makes it again when this moved.
    uint64_t ChangeCount() const { return m_nChangeCount; }

    // ---- password
    void SetPassword(const std::string& strText) { m_password.SetPassword(strText); }
    bool CheckPassword(const std::string& strText) const { return m_password.CheckPassword(strText); }
    void Unlock(const std::string& strText) { m_password.Unlock(strText); }
    bool IsLocked() const { return m_password.IsLocked(); }
    // The file could not be read whole. What was read is kept for the user
    // to look at and to save under a new name, while the damaged file stays
    // as it is for whatever can still recover more of it.
    bool IsDamaged() const { return m_nLoadError >= 0; }
    // Locked or damaged: the views refuse every change.
    bool IsReadOnly() const { return IsLocked() || IsDamaged(); }
    // The message that says why a change is refused: a damaged notebook
    // takes none at all, a locked one again once it is unlocked.
    unsigned ReadOnlyMessage() const;
    // Whether `strPath` names the file this notebook was damaged in.
    bool IsDamagedFile(const std::string& strPath) const;

    // ---- encryption
    // How often a wrong passphrase may be given before opening gives up.
    static constexpr int kPassphraseTries = 3;
    // Where OnOpenDocument gets an encrypted notebook's passphrase; without
    // one such a file is refused with a message that it is encrypted.
    void SetPassphraseAsker(IPassphraseAsker* pAsker) { m_pPassphraseAsker = pAsker; }
    bool IsEncrypted() const { return static_cast<bool>(m_pVaultKey); }
    // Puts the notebook under a new passphrase (a plain one becomes
    // encrypted, an encrypted one changes its passphrase) and, when it has
    // a file, saves it at once so that no plain or old-key copy stays the
    // notebook's file. False (with the message given) when the key could
    // not be made or the save failed; the notebook is then as before.
    bool Encrypt(const std::string& strPassphrase, vault::KdfLimits limits = vault::ModerateLimits());
    // Makes an encrypted notebook plain again, saving at once as Encrypt.
    bool RemoveEncryption();
    // Whether `strPassphrase` is the encrypted notebook's own (a key
    // derivation: as slow as an open). False for a plain notebook.
    bool IsPassphrase(const std::string& strPassphrase) const;
    // Why the last OnOpenDocument of an encrypted file refused it;
    // Refusal::none after any other outcome.
    vault::Refusal m_lastRefusal = vault::Refusal::none;

    // ---- notes and numbers
    // Hands out the next note number: the counter grows first, so the first
    // note of a new notebook is number 2.
    uint32_t NextNoteID() { return ++m_nNextID; }
    // Takes a note or category out of the views and deletes it.
    void DeleteItem(CNoteBase* pItem);

    // ---- attachments (safe to call from download workers)
    std::string UniqueAttachmentName(const std::string& strSource);
    // Takes ownership; renames the attachment to a unique name first.
    bool AddAttachment(CNoteAttatch* pAttach);
    CNoteAttatch* MakeAttachment(const std::string& strName, const std::string& strOrigin,
                                 std::vector<uint8_t> bytes);
    // A unique name that no other capture is handed until MakeReservedAttachment
    // or ReleaseAttachmentName: a stylesheet that refers to itself needs its
    // own name before its text is final.
    std::string ReserveAttachmentName(const std::string& strSource);
    CNoteAttatch* MakeReservedAttachment(const std::string& strName, const std::string& strOrigin,
                                         std::vector<uint8_t> bytes);
    void ReleaseAttachmentName(const std::string& strName);
    CNoteAttatch* FindAttachment(const std::string& strName);
    // Name of the attachment taken from `strOrigin`, or empty.
    std::string AttachmentNameForOrigin(const std::string& strOrigin);
    // One address is fetched by one capture at a time: the first to reserve
    // it owns it until it stored the attachment (with the others it stores)
    // or gave it up, and the others wait for it rather than storing a second
    // copy. ReserveOrigin answers
    // kOriginStored (the attachment exists; its name in strName),
    // kOriginReserved (now the owner's) or kOriginTaken (another capture's).
    enum OriginState { kOriginStored, kOriginReserved, kOriginTaken, kOriginNamed, kOriginFree, kOriginWaitEnded };
    int ReserveOrigin(const std::string& strOrigin, const void* pOwner, std::string& strName);
    // The owner tells the others the name the attachment is going to have.
    void AnnounceOriginName(const std::string& strOrigin, const void* pOwner, const std::string& strName);
    void ReleaseOrigin(const std::string& strOrigin, const void* pOwner);
    // Waits for another capture's address until it is stored and given up
    // (kOriginStored),
    // its name is announced (kOriginNamed; not when bUntilStored) or it was
    // given up (kOriginFree); kOriginWaitEnded when `stopped` answers true or
    // the time is up. Not to be called with m_lock held.
    int AwaitOrigin(const std::string& strOrigin, bool bUntilStored, const std::function<bool()>& stopped,
                    std::chrono::steady_clock::time_point until, std::string& strName);
    void RebuildOriginMap();
    // Deletes the attachments that nothing kept uses: no note lists one, no
    // note's page names it, no stylesheet or frame page kept for them names
    // it. Marks the notebook modified when one went; does nothing while
    // downloads run.
    void CleanUpAttachments();
    // The notebook's folder below the temporary root, made when missing:
    // the full path with `bFullPath`, else its name. Empty on failure.
    std::string GetWorkFolder(bool bFullPath);

    // ---- downloads (user-interface thread)
    void ListForDownload(CNote* pNote, bool bStartNow);
    void StartDownload(CNote* pNote);
    void HoldNote(CNote* pNote);
    void FailNote(CNote* pNote);
    void FinishNote(CNote* pNote);
    void UnlistNote(CNote* pNote);
    void StartQueued();
    void HoldAllQueued();
    void StartAllHeld();
    void HoldAllFailed();
    void RetryAllFailed();
    // Asks the worker to stop and waits for it (up to m_nStopTimeout); a
    // worker that does not end in time is abandoned: it keeps its stop
    // request, changes nothing more, and is joined before its note or
    // notebook is deleted. The note ends done and out of the download list
    // either way.
    bool StopDownload(CNote* pNote);
    bool StopAllDownloads();
    bool IsDownloading() const { return m_nRunning > 0; }
    // True while a worker still runs on the note: its own, or one that did
    // not stop in time. Such a note cannot be deleted without waiting for
    // that worker.
    bool HasWorker(const CNote* pNote) const;
    // "Capture done" for a note whose worker ended: the user-interface
    // thread's side of a download.
    void OnCaptureDone(CNote* pNote);
    // How many workers may run at once (the options' limit, at least one).
    int MaxWorkers() const;

    // After a load: objects the archive set aside (a name read twice in one
    // map keeps the later record) leave the download list, then are deleted.
    void ReleaseDiscarded(CArchive& ar);
    // After a load that failed: the download list made again from the held
    // notes that stayed in the tree.
    void ListHeldNotesOfTree();

    // ---- state
    // Guards m_attachments and m_originToName against the download workers.
    std::recursive_mutex m_lock;
    IDocViews* m_pViews = nullptr;
    CNoteCata m_rootCata;
    CDocPassword m_password;
    CNameMap<CNoteAttatch*> m_attachments;
    // Names handed out by ReserveAttachmentName whose attachments are not made yet.
    std::set<std::string> m_reservedAttachNames;
    // Where each family of names may have a free one; kept with the maps.
    CAttachmentNamer m_namer;
    std::unordered_map<std::string, std::string> m_originToName;
    // Addresses reserved by a capture (ReserveOrigin): the owner and the
    // name it announced.
    std::unordered_map<std::string, std::pair<const void*, std::string>> m_reservedOrigins;
    std::condition_variable_any m_originChanged;
    std::string m_strReserved1;
    std::string m_strReserved2;
    uint32_t m_nNextID = 1;
    int m_nFileVersion = 2;
    std::unique_ptr<CVltDocInfo> m_pDocInfo;
    // Set by the automation calls: a notebook an outside caller made, not
    // one the user opened.
    int m_bAutomationInstance = 0;
    int m_nRunning = 0;
    std::vector<CNote*> m_pendingNotes;
    std::string m_strWorkFolder;
    // The key of an encrypted notebook; null for a plain one.
    std::shared_ptr<vault::CVaultKey> m_pVaultKey;
    IPassphraseAsker* m_pPassphraseAsker = nullptr;
    // The archive's cause when the last open stopped at damage; -1 if none.
    int m_nLoadError = -1;
    // How long StopDownload waits for a worker.
    std::chrono::milliseconds m_nStopTimeout{120000};

    // Joins every worker still running on the note (the note is being
    // deleted).
    void ForgetNoteWorkers(CNote* pNote);

private:
    // When the file on fd is encrypted: asks for the passphrase, decrypts it
    // into memory and puts that in fd's place, with its key in `key`. False
    // (fd closed, the user told why) when it is not opened.
    bool OpenSealed(int& fd, const std::string& strPath, std::shared_ptr<vault::CVaultKey>& key);
    // Encrypt and RemoveEncryption: the new key (null: none), saved at once.
    bool PutUnderKey(std::shared_ptr<vault::CVaultKey> key);
    void StartWorker(CNote* pNote);
    void Refresh(CNote* pNote);
    // An abandoned worker has ended: it is forgotten, and a note that waited
    // for it to end may start.
    void OnAbandonedWorkerEnded(const std::shared_ptr<CDownloadJob>& job);

    // Tells the user how much of a damaged file was read.
    void ReportDamage() const;

    std::string m_strPathName;
    // The damaged file (device and inode), however a save path names it.
    uint64_t m_nDamagedDev = 0;
    uint64_t m_nDamagedIno = 0;
    std::string m_strTitle = "NewVLT";
    bool m_bModified = false;
    uint64_t m_nChangeCount = 0;
    // Abandoned workers still running; joined before their note goes.
    std::vector<std::shared_ptr<CDownloadJob>> m_abandonedJobs;
    std::shared_ptr<int> m_pAlive = std::make_shared<int>(0);
};
