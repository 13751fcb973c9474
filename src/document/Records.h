// The records of a notebook: categories holding notes and further
// categories, and the attachments that notes' pages share.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "document/Archive.h"
#include "document/NameMap.h"
#include "platform/DownloadSettings.h"
#include "platform/StopSignal.h"

class CCaptureContext;
class CClipVaultDoc;
class CDownloadJob;
class CNoteCata;

// Download status of a note.
enum NoteStatus : int32_t {
    kStatusDone = 0,
    kStatusQueued = 1,
    kStatusRunning = 2,
    kStatusFailed = 3,
    kStatusStopRequested = 4,
    kStatusDeleting = 5,
    kStatusHeld = 6,
};

// Source kinds of a note.
enum NoteSourceKind : uint32_t {
    kSourceWebPage = 0,   // page captured with its resources
    kSourceWebFile = 1,   // single file fetched as it is
    kSourceLocalFile = 2,
    kSourceWritten = 3,   // written in the program's editor
};

// m_nContentType: the notebook holds the content; anything else is a link only.
constexpr uint32_t kContentHeld = 2;

// Note types are compared without regard to case: an address ending in
// ".HTM" is as much a page as one ending in ".htm".
bool SameType(const std::string& strExt, const char* type);
// The type to store for an extension taken from an address: "htm" for
// "htm" and "html", "xml" for "xml", in any case; any other as it is.
std::string PageTypeFor(const std::string& strExt);

class CNoteBase : public CObject {
public:
    enum Kind { kindNote = 0, kindCata = 1, kindAttach = 2 };

    int32_t m_nKind;
    CClipVaultDoc* m_pDocument = nullptr;
    CNoteCata* m_pParent = nullptr;

protected:
    explicit CNoteBase(int32_t nKind) : m_nKind(nKind) {}
};

class CNote : public CNoteBase {
public:
    static const CRuntimeClass classCNote;
    const CRuntimeClass* GetRuntimeClass() const override { return &classCNote; }

    CNote();
    ~CNote() override;
    void Serialize(CArchive& ar) override;

    bool Rename(const std::string& strNewName);
    // Detaches the note from its category and deletes it; a running download
    // is stopped and the note leaves the download list first.
    bool Delete();
    // A fresh copy for `pTarget` (which may be this note's own notebook);
    // attachments are shared by origin or cloned. Null with message 33049.
    CNote* CopyTo(CClipVaultDoc* pTarget) const;
    void CountAttachmentUse() const;
    bool StopDownload();
    // True when the download that fills the note was asked to stop: its
    // status says so, or, on the note's own worker, the worker's stop request,
    // which stays whatever the status becomes.
    bool StopRequested() const {
        return m_nStatus.load() == kStatusStopRequested || host::ThisThreadStopRequested();
    }

    // ---- the note's content on disk
    // The working copy's path for a note the notebook holds (made on first
    // use in the notebook's working folder), else the source.
    std::string GetWorkPath();
    // Writes the note to `strPath` (the working copy when empty); pages go
    // through WritePage, everything else as bytes.
    bool WriteWorkingCopy(const std::string& strPath = std::string(), bool bExport = false);
    // A page with its attachments: beside it in the working folder, or, for
    // an export, in "NAME.files" beside the target with the links pointed
    // there.
    bool WritePage(const std::string& strPath, bool bExport);
    // Reads the file back into the content (the working copy when empty).
    bool ReadBack(const std::string& strPath = std::string());
    // ReadBack, then takes the page's links in as attachments.
    bool ReadBackAndAbsorb(const std::string& strPath = std::string());
    // The download work of a note made from a local file: with the settings
    // its worker was given, or the user's options on the user-interface
    // thread.
    bool ImportLocalFile(const CDownloadSettings* pSettings = nullptr);
    // Reads the file at `strPath` into the content; a file of `nMaxBytes`
    // bytes or more is refused.
    bool ReadContentFrom(const std::string& strPath, uint64_t nMaxBytes);
    // Fetches the note again.
    void Refetch();

    // Makes the page's resources attachments of the notebook and points the
    // page at them: fetched through `pContext`, or read from disk without
    // one. Works on `pBytes`, or the note's own content when null. Whether
    // resources are taken at all comes from `pSettings`, else from the
    // context's session, else from the user's options (on the user-interface
    // thread).
    bool CaptureResources(const std::string& strBase, CCaptureContext* pContext, std::vector<uint8_t>* pBytes,
                          const CDownloadSettings* pSettings = nullptr);

    // ---- the note's page bytes
    // A note read from a notebook file leaves them in that file until they
    // are first wanted: Content() reads them in then and keeps them. When
    // the file no longer holds them (cut short by another program) it gives
    // nothing, and the note stays tied to the file, so that a save fails
    // and keeps the old file rather than store the note empty.
    // Whoever reads or changes the content while a download worker may run
    // holds m_dataLock, as for every field the worker changes. Loading takes
    // only an inner lock of its own, so these work with m_dataLock held or
    // not.
    const std::vector<uint8_t>& Content() const;
    void SetContent(std::vector<uint8_t> bytes);
    // The size, without reading the bytes in.
    uint64_t ContentSize() const;
    bool IsContentLoaded() const;
    // For a pass over many notes that need not keep their pages in memory:
    // the content as loaded, or else read from the file into `scratch`;
    // null when the file no longer holds it.
    const std::vector<uint8_t>* ContentForScan(std::vector<uint8_t>& scratch) const;
    // Gives `target` this note's content without reading it in: bytes
    // still in the file stay there for whoever reads the copy (any thread).
    void CopyContentTo(CNote& target) const;
    // Where the bytes stand in the notebook's file while they are still
    // there, else UINT64_MAX.
    uint64_t ContentFileOffset() const;

    std::string m_strWorkPath;
    // The worker fetching this note, while there is one.
    std::shared_ptr<CDownloadJob> m_pJob;
    // A download worker changes the note's type, content, attachment names
    // and error text (holding a CNoteUpdate); whoever reads them while it may
    // run (a save, a copy) holds this.
    mutable std::mutex m_dataLock;
    std::atomic<int32_t> m_nStatus{kStatusDone};
    std::string m_strName;
    std::string m_strExt;
    int64_t m_tmDate;
    std::string m_strSource;
    uint32_t m_nID = 0;
    uint32_t m_nContentType = 0;
    uint32_t m_nSourceKind = 0;
    int32_t m_bLinksRewritten = 0;
    std::string m_strError;
    // The page as the user's browser showed it, for the first capture of a
    // note made from it; taken by that capture. Not stored: a later fetch
    // (a restart after reopening, a fetch again) goes to the source.
    std::string m_strShownPage;
    std::vector<std::string> m_attachNames;

    // Below this many bytes a page is read with its record: a later read of
    // its own would cost more than keeping it.
    static constexpr uint64_t kMinDeferredContent = 1024;

private:
    bool LoadContentLocked() const;  // holds m_contentLock

    mutable std::mutex m_contentLock;
    mutable std::vector<uint8_t> m_contentBytes;
    mutable CDeferredBlock m_contentBlock;  // set while the bytes are still in the file
};

// What a download worker holds while it changes its note: the note's data
// lock, and whether it may change anything at all. A worker that was
// abandoned (its stop was not answered in time, so the window shows the note
// as done and has forgotten the worker) may not: it keeps its hands off.
class CNoteUpdate {
public:
    explicit CNoteUpdate(const CNote& note) : m_guard(note.m_dataLock), m_bAllowed(!host::ThisThreadAbandoned()) {}
    explicit operator bool() const { return m_bAllowed; }

private:
    std::lock_guard<std::mutex> m_guard;
    bool m_bAllowed;
};

class CNoteCata : public CNoteBase {
public:
    static const CRuntimeClass classCNoteCata;
    const CRuntimeClass* GetRuntimeClass() const override { return &classCNoteCata; }

    CNoteCata();
    ~CNoteCata() override;
    // The fields of the category (name, notes, subcategories); the root
    // category of a notebook is stored this way without a class record.
    void Serialize(CArchive& ar) override;

    bool FindNote(const std::string& strName) const { return m_notes.Contains(strName); }
    bool FindSubCata(const std::string& strName) const { return m_subCatas.Contains(strName); }
    CNote* GetNote(const std::string& strName) const;
    CNoteCata* GetSubCata(const std::string& strName) const;

    std::string UniqueNameForNote(const std::string& strBase) const;
    std::string UniqueNameForSubCata(const std::string& strBase) const;

    CNote* AddNewNote(const std::string& strName);
    CNoteCata* AddNewSubCata(const std::string& strName);
    // On success the category owns the record; on failure the caller still does.
    bool AttachNote(CNote* pNote, const std::string& strName, bool bMakeUnique);
    bool AttachSubCata(CNoteCata* pCata, const std::string& strName, bool bMakeUnique);
    // The caller owns what is returned.
    CNote* DetachNote(const std::string& strName);
    CNoteCata* DetachSubCata(CNoteCata* pCata);

    // True when `pOther` is this category's parent, grand-parent and so on.
    bool IsInside(const CNoteCata* pOther) const;
    bool Rename(const std::string& strNewName);
    bool Delete();
    // Deletes every subcategory and note; running downloads are stopped
    // first. With `bUnlist` each note also leaves the download list.
    void Clear(bool bUnlist);
    CNoteCata* CopyTo(CClipVaultDoc* pTarget) const;
    void CountAttachmentUse() const;

    std::string m_strName;
    CNameMap<CNote*> m_notes;
    CNameMap<CNoteCata*> m_subCatas;
};

class CNoteAttatch : public CNoteBase {
public:
    static const CRuntimeClass classCNoteAttatch;
    const CRuntimeClass* GetRuntimeClass() const override { return &classCNoteAttatch; }

    CNoteAttatch() : CNoteBase(kindAttach) {}
    void Serialize(CArchive& ar) override;

    // Sets the origin and the bytes: a copy of `pBytes`, or the file at
    // `strOrigin` when `pBytes` is null (false when it cannot be read).
    bool SetData(const std::string& strOrigin, const std::vector<uint8_t>* pBytes);
    // Writes the bytes to a new file at `strPath` unless something is
    // already there (a link is neither followed nor replaced).
    bool WriteIfMissing(const std::string& strPath);
    // Same name, origin and bytes; null with message 33049 on failure.
    CNoteAttatch* Clone() const;

    // The bytes of an attachment read from a notebook file stay in that file
    // until somebody needs them: LoadData brings them into memory (false when
    // the file no longer holds them), Data loads and gives them (empty when
    // they could not be loaded).
    bool LoadData();
    const std::vector<uint8_t>& Data();
    void SetBytes(std::vector<uint8_t> bytes);
    uint64_t DataSize() const { return m_deferred ? m_deferred.m_nSize : m_data.size(); }
    bool IsDeferred() const { return static_cast<bool>(m_deferred); }

    std::string m_strName;
    std::string m_strOrigin;
    int32_t m_nRefCount = 0;

private:
    std::vector<uint8_t> m_data;
    CDeferredBlock m_deferred;
};

// The document-information record of a notebook: no fields, only its class
// record and its place in the object numbering.
class CVltDocInfo : public CObject {
public:
    static const CRuntimeClass classCVltDocInfo;
    const CRuntimeClass* GetRuntimeClass() const override { return &classCVltDocInfo; }
    void Serialize(CArchive&) override {}
};

// Reads one name map of records owned by `pCata` (null for the notebook's
// attachments). A record is owned by the map it was read into, so a back
// reference (the same record a second time, or a category holding itself) is
// refused. When a record's own reading fails, a category keeps what it read
// so far and stays in the tree; a note or attachment cut short is dropped.
// A record is freed, never leaked, when it cannot be entered in the map.
template <class T>
inline void ReadRecordMap(CArchive& ar, CNoteCata* pCata, CNameMap<T*>& map, const CRuntimeClass* pClass) {
    // An entry is a key's length byte and a two-byte reference at least.
    const uint64_t n = ar.ReadCount(3);
    for (uint64_t i = 0; i < n; ++i) {
        std::string key = ar.ReadString();
        bool bNew = false;
        CObject* pObj = nullptr;
        try {
            pObj = ar.ReadObject(pClass, &bNew);
        } catch (CArchiveException& e) {
            std::unique_ptr<CObject> partial = e.TakePartial();
            if constexpr (std::is_same_v<T, CNoteCata>) {
                if (auto* pSub = dynamic_cast<CNoteCata*>(partial.get())) {
                    pSub->m_pParent = pCata;
                    T* pOld = nullptr;
                    const bool bReplaced = map.SetAt(key, pSub, &pOld);
                    partial.release();
                    if (bReplaced) ar.Discard(std::unique_ptr<CObject>(pOld));
                }
            }
            throw;
        }
        if (!pObj) continue;  // a null value names nothing to keep
        if (!bNew) throw CArchiveException(CArchiveException::badIndex);
        std::unique_ptr<T> pRec(static_cast<T*>(pObj));
        pRec->m_pParent = pCata;
        T* pOld = nullptr;
        const bool bReplaced = map.SetAt(key, pRec.get(), &pOld);
        pRec.release();
        if (bReplaced) ar.Discard(std::unique_ptr<CObject>(pOld));
    }
}

// The classes a notebook file may hold, for CArchive::SetClassTable.
const CRuntimeClass* const* NotebookClasses(size_t* pnCount);

// Local midnight of the current day, the date of every new note.
int64_t TodayMidnight();

