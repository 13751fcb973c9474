#include "document/Records.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <new>

#include "document/ClipVaultDoc.h"
#include "document/RecordClipboard.h"
#include "platform/FileUtil.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"

const CRuntimeClass CNoteCata::classCNoteCata = {"CNoteCata", 1, false, []() -> CObject* { return new CNoteCata; }};
const CRuntimeClass CNote::classCNote = {"CNote", 2, true, []() -> CObject* { return new CNote; }};
const CRuntimeClass CNoteAttatch::classCNoteAttatch = {"CNoteAttatch", 1, false,
                                                       []() -> CObject* { return new CNoteAttatch; }};
const CRuntimeClass CVltDocInfo::classCVltDocInfo = {"CVltDocInfo", 2, true,
                                                     []() -> CObject* { return new CVltDocInfo; }};

const CRuntimeClass* const* NotebookClasses(size_t* pnCount) {
    static const CRuntimeClass* const kClasses[] = {&CNoteCata::classCNoteCata, &CNote::classCNote,
                                                    &CNoteAttatch::classCNoteAttatch, &CVltDocInfo::classCVltDocInfo};
    if (pnCount) *pnCount = sizeof kClasses / sizeof kClasses[0];
    return kClasses;
}

int64_t TodayMidnight() {
    // Every note made gets it, thousands per notebook opened; the local time
    // conversion behind it is not cheap, so it is kept until the day ends.
    static std::mutex s_mutex;
    static time_t s_midnight = 0, s_nextMidnight = 0;
    const time_t now = time(nullptr);
    std::lock_guard<std::mutex> lock(s_mutex);
    if (now >= s_midnight && now < s_nextMidnight) return s_midnight;
    struct tm t;
    localtime_r(&now, &t);
    t.tm_hour = 0;
    t.tm_min = 0;
    t.tm_sec = 0;
    t.tm_isdst = -1;
    s_midnight = mktime(&t);
    t.tm_mday += 1;
    t.tm_isdst = -1;
    s_nextMidnight = mktime(&t);
    return static_cast<int64_t>(s_midnight);
}

namespace {

void NameTaken() { host::ShowMessage(ids::IDS_NAME_TAKEN, host::MB_OK | host::MB_ICONEXCLAMATION); }
void OperationFailed() { host::ShowMessage(ids::IDS_OPERATION_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION); }

std::string UniqueName(const std::string& strBase, bool (*taken)(const CNoteCata*, const std::string&),
                       const CNoteCata* pCata) {
    if (!taken(pCata, strBase)) return strBase;
    for (int i = 1;; ++i) {
        std::string candidate = strBase + "-" + std::to_string(i);
        if (!taken(pCata, candidate)) return candidate;
    }
}

}  // namespace

// ---------------------------------------------------------------- CNote

CNote::CNote() : CNoteBase(kindNote), m_tmDate(TodayMidnight()) {}

CNote::~CNote() {
    TheRecordClipboard().Forget(this);
    // A worker may still be running on this note (one that did not stop in
    // time); it must be gone before the note is.
    if (m_pDocument) m_pDocument->ForgetNoteWorkers(this);
}

void CNote::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        std::lock_guard<std::mutex> guard(m_dataLock);
        ar.WriteString(m_strExt);
        ar.WriteString(m_strName);
        ar.WriteTime32(m_tmDate);
        ar.WriteU32(m_nContentType);
        ar.WriteU32(m_nSourceKind);
        ar.WriteString(m_strSource);
        // A download under way cannot go on in a later session: only the
        // states that wait for the user are kept.
        const int32_t s = m_nStatus;
        ar.WriteU32(s == kStatusQueued || s == kStatusFailed || s == kStatusHeld ? static_cast<uint32_t>(s) : 0);
        ar.WriteU32(m_nID);
        {
            std::lock_guard<std::mutex> content(m_contentLock);
            if (m_contentBlock) ar.WriteBlockFromFile(m_contentBlock);
            else ar.WriteBlock(m_contentBytes);
        }
        ar.WriteStringList(m_attachNames);
        return;
    }
    const uint32_t schema = ar.GetObjectSchema();
    m_pDocument = ar.m_pDocument;
    m_strExt = ar.ReadString();
    m_strName = ar.ReadString();
    m_tmDate = ar.ReadTime32();
    m_nContentType = ar.ReadU32();
    m_nSourceKind = ar.ReadU32();
    m_strSource = ar.ReadString();
    const uint32_t s = ar.ReadU32();
    // Queued and failed downloads come back held, until the user starts them.
    // A running or stopping state cannot be true of a note just read (no
    // worker exists for it), so anything else is done.
    m_nStatus = (s == kStatusQueued || s == kStatusFailed || s == kStatusHeld) ? kStatusHeld : kStatusDone;
    if (schema == CArchive::kNoSchema || schema >= 2) m_nID = ar.ReadU32();
    else m_nID = m_pDocument ? m_pDocument->NextNoteID() : 0;
    ar.ReadBlockDeferred(m_contentBytes, m_contentBlock, kMinDeferredContent);
    // An empty name names no attachment; dropping it keeps a crafted list of
    // them from costing a string per byte of the file.
    ar.ReadStringList(m_attachNames, true);
    // Listed only once wholly read: a note cut short is dropped by its reader.
    if (m_nStatus == kStatusHeld && m_pDocument) m_pDocument->m_pendingNotes.push_back(this);
}

const std::vector<uint8_t>& CNote::Content() const {
    std::lock_guard<std::mutex> guard(m_contentLock);
    LoadContentLocked();
    return m_contentBytes;
}

void CNote::SetContent(std::vector<uint8_t> bytes) {
    std::lock_guard<std::mutex> guard(m_contentLock);
    m_contentBlock = CDeferredBlock();
    m_contentBytes = std::move(bytes);
}

uint64_t CNote::ContentSize() const {
    std::lock_guard<std::mutex> guard(m_contentLock);
    return m_contentBlock ? m_contentBlock.m_nSize : m_contentBytes.size();
}

bool CNote::IsContentLoaded() const {
    std::lock_guard<std::mutex> guard(m_contentLock);
    return !m_contentBlock;
}

const std::vector<uint8_t>* CNote::ContentForScan(std::vector<uint8_t>& scratch) const {
    CDeferredBlock block;
    {
        std::lock_guard<std::mutex> guard(m_contentLock);
        if (!m_contentBlock) return &m_contentBytes;
        block = m_contentBlock;
    }
    try {
        scratch.resize(static_cast<size_t>(block.m_nSize));
        if (block.m_pFile->ReadAt(block.m_nOffset, scratch.data(), scratch.size())) return &scratch;
    } catch (const std::bad_alloc&) {
    }
    scratch.clear();
    return nullptr;
}

void CNote::CopyContentTo(CNote& target) const {
    CDeferredBlock block;
    std::vector<uint8_t> bytes;
    {
        std::lock_guard<std::mutex> guard(m_contentLock);
        if (m_contentBlock)
            block = m_contentBlock;
        else
            bytes = m_contentBytes;
    }
    std::lock_guard<std::mutex> guard(target.m_contentLock);
    target.m_contentBytes = std::move(bytes);
    target.m_contentBlock = block;
}

uint64_t CNote::ContentFileOffset() const {
    std::lock_guard<std::mutex> guard(m_contentLock);
    return m_contentBlock ? m_contentBlock.m_nOffset : UINT64_MAX;
}

bool CNote::LoadContentLocked() const {
    if (!m_contentBlock) return true;
    try {
        std::vector<uint8_t> bytes(static_cast<size_t>(m_contentBlock.m_nSize));
        if (!m_contentBlock.m_pFile->ReadAt(m_contentBlock.m_nOffset, bytes.data(), bytes.size())) return false;
        m_contentBytes.swap(bytes);
        m_contentBlock = CDeferredBlock();
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CNote::Rename(const std::string& strNewName) {
    if (!m_pParent) return false;
    if (strNewName == m_strName) return true;
    if (m_pParent->FindNote(strNewName)) {
        NameTaken();
        return false;
    }
    CNoteCata* pParent = m_pParent;
    pParent->m_notes.RemoveKey(m_strName);
    m_strName = strNewName;
    pParent->m_notes.SetAt(m_strName, this);
    return true;
}

bool CNote::Delete() {
    if (!m_pParent) return false;
    if (m_nStatus == kStatusRunning) StopDownload();
    if (m_pDocument) m_pDocument->UnlistNote(this);
    m_pParent->DetachNote(m_strName);
    delete this;
    return true;
}

bool CNote::StopDownload() { return m_pDocument ? m_pDocument->StopDownload(this) : true; }

CNote* CNote::CopyTo(CClipVaultDoc* pTarget) const {
    CNote* pCopy = nullptr;
    try {
        pCopy = new CNote;
        std::vector<std::string> names;
        {
            // A worker may be filling the note: what is copied comes from
            // one moment of it.
            std::lock_guard<std::mutex> guard(m_dataLock);
            pCopy->m_strExt = m_strExt;
            // Bytes still in the file stay there for the copy too.
            std::lock_guard<std::mutex> content(m_contentLock);
            pCopy->m_contentBytes = m_contentBytes;
            pCopy->m_contentBlock = m_contentBlock;
            pCopy->m_nContentType = m_nContentType;
            names = m_attachNames;
        }
        pCopy->m_strName = m_strName;
        pCopy->m_nSourceKind = m_nSourceKind;
        pCopy->m_strSource = m_strSource;
        pCopy->m_nStatus = m_nStatus.load();
        pCopy->m_pDocument = pTarget;
        pCopy->m_nID = pTarget->NextNoteID();
        for (const std::string& name : names) {
            CNoteAttatch* pAttach = m_pDocument ? m_pDocument->FindAttachment(name) : nullptr;
            if (!pAttach) continue;
            if (pTarget == m_pDocument) {
                pCopy->m_attachNames.push_back(name);
                continue;
            }
            // An attachment without an origin cannot be told apart from
            // another one without origin, so it is always copied.
            std::string reuse =
                pAttach->m_strOrigin.empty() ? std::string() : pTarget->AttachmentNameForOrigin(pAttach->m_strOrigin);
            if (!reuse.empty() && pTarget->FindAttachment(reuse)) {
                pCopy->m_attachNames.push_back(reuse);
                continue;
            }
            CNoteAttatch* pClone = pAttach->Clone();
            if (!pClone) {
                delete pCopy;
                return nullptr;  // Clone reported it
            }
            if (!pTarget->AddAttachment(pClone)) {
                delete pClone;
                throw std::bad_alloc();
            }
            pCopy->m_attachNames.push_back(pClone->m_strName);
        }
        return pCopy;
    } catch (...) {
        delete pCopy;
        OperationFailed();
        return nullptr;
    }
}

void CNote::CountAttachmentUse() const {
    if (!m_pDocument) return;
    std::vector<std::string> names;
    {
        std::lock_guard<std::mutex> guard(m_dataLock);
        names = m_attachNames;
    }
    for (const std::string& name : names)
        if (CNoteAttatch* p = m_pDocument->FindAttachment(name)) ++p->m_nRefCount;
}

// ---------------------------------------------------------------- CNoteCata

CNoteCata::CNoteCata() : CNoteBase(kindCata) {}

CNoteCata::~CNoteCata() {
    TheRecordClipboard().Forget(this);
    Clear(false);
}

void CNoteCata::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar.WriteString(m_strName);
        ar.WriteNameMap(m_notes);
        ar.WriteNameMap(m_subCatas);
        return;
    }
    if (ar.m_pDocument) m_pDocument = ar.m_pDocument;
    m_strName = ar.ReadString();
    ReadRecordMap(ar, this, m_notes, &CNote::classCNote);
    ReadRecordMap(ar, this, m_subCatas, &CNoteCata::classCNoteCata);
}

CNote* CNoteCata::GetNote(const std::string& strName) const {
    CNote* const* pp = m_notes.Find(strName);
    return pp ? *pp : nullptr;
}

CNoteCata* CNoteCata::GetSubCata(const std::string& strName) const {
    CNoteCata* const* pp = m_subCatas.Find(strName);
    return pp ? *pp : nullptr;
}

std::string CNoteCata::UniqueNameForNote(const std::string& strBase) const {
    return UniqueName(strBase, [](const CNoteCata* c, const std::string& n) { return c->FindNote(n); }, this);
}

std::string CNoteCata::UniqueNameForSubCata(const std::string& strBase) const {
    return UniqueName(strBase, [](const CNoteCata* c, const std::string& n) { return c->FindSubCata(n); }, this);
}

CNote* CNoteCata::AddNewNote(const std::string& strName) {
    if (FindNote(strName)) {
        NameTaken();
        return nullptr;
    }
    auto* pNote = new CNote;
    pNote->m_strName = strName;
    pNote->m_nContentType = kContentHeld;
    pNote->m_nSourceKind = kSourceWritten;
    pNote->m_pDocument = m_pDocument;
    pNote->m_nID = m_pDocument ? m_pDocument->NextNoteID() : 0;
    pNote->m_pParent = this;
    m_notes.SetAt(strName, pNote);
    return pNote;
}

CNoteCata* CNoteCata::AddNewSubCata(const std::string& strName) {
    if (FindSubCata(strName)) {
        NameTaken();
        return nullptr;
    }
    auto* pCata = new CNoteCata;
    pCata->m_strName = strName;
    pCata->m_pDocument = m_pDocument;
    pCata->m_pParent = this;
    m_subCatas.SetAt(strName, pCata);
    return pCata;
}

bool CNoteCata::AttachNote(CNote* pNote, const std::string& strName, bool bMakeUnique) {
    std::string name = strName;
    if (bMakeUnique) {
        name = UniqueNameForNote(strName);
    } else if (FindNote(name)) {
        NameTaken();
        return false;
    }
    pNote->m_strName = name;
    pNote->m_pParent = this;
    m_notes.SetAt(name, pNote);
    return true;
}

bool CNoteCata::AttachSubCata(CNoteCata* pCata, const std::string& strName, bool bMakeUnique) {
    std::string name = strName;
    if (bMakeUnique) {
        name = UniqueNameForSubCata(strName);
    } else if (FindSubCata(name)) {
        NameTaken();
        return false;
    }
    pCata->m_strName = name;
    pCata->m_pParent = this;
    m_subCatas.SetAt(name, pCata);
    return true;
}

CNote* CNoteCata::DetachNote(const std::string& strName) {
    CNote* pNote = nullptr;
    if (!m_notes.RemoveKey(strName, &pNote)) return nullptr;
    pNote->m_pParent = nullptr;
    return pNote;
}

CNoteCata* CNoteCata::DetachSubCata(CNoteCata* pCata) {
    if (!pCata || GetSubCata(pCata->m_strName) != pCata) return nullptr;
    m_subCatas.RemoveKey(pCata->m_strName);
    pCata->m_pParent = nullptr;
    return pCata;
}

bool CNoteCata::IsInside(const CNoteCata* pOther) const {
    for (const CNoteCata* p = m_pParent; p; p = p->m_pParent)
        if (p == pOther) return true;
    return false;
}

bool CNoteCata::Rename(const std::string& strNewName) {
    if (!m_pParent) return false;
    if (strNewName == m_strName) return true;
    if (m_pParent->FindSubCata(strNewName)) {
        NameTaken();
        return false;
    }
    CNoteCata* pParent = m_pParent;
    pParent->m_subCatas.RemoveKey(m_strName);
    m_strName = strNewName;
    pParent->m_subCatas.SetAt(m_strName, this);
    return true;
}

bool CNoteCata::Delete() {
    if (!m_pParent) return false;
    m_pParent->DetachSubCata(this);
    Clear(true);
    delete this;
    return true;
}

void CNoteCata::Clear(bool bUnlist) {
    std::vector<CNoteCata*> subs;
    for (auto it = m_subCatas.begin(); it != m_subCatas.end(); ++it) subs.push_back(it.value());
    m_subCatas.RemoveAll();
    for (CNoteCata* pSub : subs) {
        pSub->Clear(bUnlist);
        delete pSub;
    }
    std::vector<CNote*> notes;
    for (auto it = m_notes.begin(); it != m_notes.end(); ++it) notes.push_back(it.value());
    m_notes.RemoveAll();
    for (CNote* pNote : notes) {
        if (pNote->m_nStatus == kStatusRunning) pNote->StopDownload();
        if (bUnlist && pNote->m_pDocument) pNote->m_pDocument->UnlistNote(pNote);
        delete pNote;
    }
}

CNoteCata* CNoteCata::CopyTo(CClipVaultDoc* pTarget) const {
    CNoteCata* pCopy = nullptr;
    try {
        pCopy = new CNoteCata;
        pCopy->m_strName = m_strName;
        pCopy->m_pDocument = pTarget;
        for (auto it = m_subCatas.begin(); it != m_subCatas.end(); ++it) {
            CNoteCata* pSub = it.value()->CopyTo(pTarget);
            if (!pSub) {
                delete pCopy;
                return nullptr;  // already reported
            }
            pCopy->AttachSubCata(pSub, it.key(), false);
        }
        for (auto it = m_notes.begin(); it != m_notes.end(); ++it) {
            CNote* pNote = it.value()->CopyTo(pTarget);
            if (!pNote) {
                delete pCopy;
                return nullptr;
            }
            pCopy->AttachNote(pNote, it.key(), false);
        }
        return pCopy;
    } catch (...) {
        delete pCopy;
        OperationFailed();
        return nullptr;
    }
}

void CNoteCata::CountAttachmentUse() const {
    for (auto it = m_notes.begin(); it != m_notes.end(); ++it) it.value()->CountAttachmentUse();
    for (auto it = m_subCatas.begin(); it != m_subCatas.end(); ++it) it.value()->CountAttachmentUse();
}

// ---------------------------------------------------------------- CNoteAttatch

void CNoteAttatch::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar.WriteString(m_strName);
        ar.WriteString(m_strOrigin);
        if (!m_deferred) {
            ar.WriteBlock(m_data);
            return;
        }
        // Straight from the old file to the new one: a save must not need
        // the whole notebook in memory. A file that no longer holds the
        // bytes fails the save, which leaves the old file.
        ar.WriteBlockFromFile(m_deferred);
        return;
    }
    if (ar.m_pDocument) m_pDocument = ar.m_pDocument;
    m_strName = ar.ReadString();
    m_strOrigin = ar.ReadString();
    ar.ReadBlockDeferred(m_data, m_deferred);
}

const std::vector<uint8_t>& CNoteAttatch::Data() {
    LoadData();
    return m_data;
}

void CNoteAttatch::SetBytes(std::vector<uint8_t> bytes) {
    m_deferred = CDeferredBlock();
    m_data = std::move(bytes);
}

bool CNoteAttatch::LoadData() {
    if (!m_deferred) return true;
    try {
        std::vector<uint8_t> bytes(static_cast<size_t>(m_deferred.m_nSize));
        if (!m_deferred.m_pFile->ReadAt(m_deferred.m_nOffset, bytes.data(), bytes.size())) return false;
        m_data.swap(bytes);
        m_deferred = CDeferredBlock();
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CNoteAttatch::SetData(const std::string& strOrigin, const std::vector<uint8_t>* pBytes) {
    m_strOrigin = strOrigin;
    m_data.clear();
    m_deferred = CDeferredBlock();
    if (pBytes) {
        m_data = *pBytes;
        return true;
    }
    return fileutil::ReadWholeFile(strOrigin, m_data);
}

bool CNoteAttatch::WriteIfMissing(const std::string& strPath) {
    // Anything at the name counts as there, a link too: it is neither
    // followed nor replaced.
    struct stat st;
    if (::lstat(strPath.c_str(), &st) == 0) return true;
    if (!LoadData()) return false;
    if (fileutil::WriteWholeFile(strPath, m_data.data(), m_data.size(), fileutil::kCreateNew)) return true;
    return errno == EEXIST;
}

CNoteAttatch* CNoteAttatch::Clone() const {
    try {
        auto* p = new CNoteAttatch;
        p->m_strName = m_strName;
        p->m_strOrigin = m_strOrigin;
        p->m_data = m_data;
        p->m_deferred = m_deferred;  // both read the same bytes of the same file
        return p;
    } catch (...) {
        OperationFailed();
        return nullptr;
    }
}

// ---------------------------------------------------------------- import

