#include "document/ClipVaultDoc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "platform/DownloadSettings.h"
#include "platform/Charset.h"
#include "document/Archive.h"
#include "document/AttachmentUse.h"
#include "document/RecordClipboard.h"
#include "platform/AtomicFile.h"
#include "platform/FileUtil.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/TempFiles.h"
#include "platform/UiQueue.h"

namespace {

const char kHeaderText[] = "VLTFILEVERSION:";
constexpr int kFileVersion = 2;

std::mutex g_bodyMutex;
CClipVaultDoc::DownloadBody& BodySlot() {
    static CClipVaultDoc::DownloadBody body = RunNoteDownload;
    return body;
}

void Failed() { host::ShowMessage(ids::IDS_OPERATION_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION); }

using fileutil::FileNameOf;

std::string WithoutExtension(const std::string& strName) {
    const size_t dot = strName.rfind('.');
    return dot == std::string::npos ? strName : strName.substr(0, dot);
}

// What a notebook is called in titles and folder names.
std::string NotebookBaseName(const std::string& strPath) {
    return strPath.empty() ? std::string("NewVLT") : WithoutExtension(FileNameOf(strPath));
}

}  // namespace

// ---------------------------------------------------------------- jobs

bool CDownloadJob::WaitFinished(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [&] { return m_bFinished; });
}

void CDownloadJob::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

void CClipVaultDoc::SetDownloadBody(DownloadBody body) {
    std::lock_guard<std::mutex> lock(g_bodyMutex);
    BodySlot() = body ? std::move(body) : DownloadBody(RunNoteDownload);
}

CClipVaultDoc::DownloadBody CClipVaultDoc::GetDownloadBody() {
    std::lock_guard<std::mutex> lock(g_bodyMutex);
    return BodySlot();
}

// ---------------------------------------------------------------- life

CClipVaultDoc::CClipVaultDoc() { m_rootCata.m_pDocument = this; }

CClipVaultDoc::~CClipVaultDoc() {
    // Every worker is told to stop and joined before anything it may touch
    // goes away.
    std::vector<std::shared_ptr<CDownloadJob>> jobs = m_abandonedJobs;
    for (CNote* p : m_pendingNotes) {
        if (p->m_pJob) {
            if (p->m_nStatus == kStatusRunning) p->m_nStatus = kStatusStopRequested;
            jobs.push_back(p->m_pJob);
        }
    }
    for (auto& job : jobs) job->m_pStop->Request();
    for (auto& job : jobs) {
        job->Join();
        std::lock_guard<std::mutex> lock(job->m_mutex);
        job->m_pDoc = nullptr;
        job->m_pNote = nullptr;
    }
    m_abandonedJobs.clear();
    m_pendingNotes.clear();
    m_rootCata.Clear(false);
    for (auto it = m_attachments.begin(); it != m_attachments.end(); ++it) delete it.value();
    m_attachments.RemoveAll();
    m_namer.Clear();
}

// ---------------------------------------------------------------- file

bool CClipVaultDoc::OnNewDocument() {
    m_pDocInfo = std::make_unique<CVltDocInfo>();
    m_strPathName.clear();
    m_bModified = false;
    SetTitle();
    return true;
}

bool CClipVaultDoc::OnOpenDocument(const std::string& strPath) {
    const std::string name = FileNameOf(strPath);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || LowerAscii(name.substr(dot)) != ".vlt") {
        host::ShowMessage(ids::IDS_NOT_A_NOTEBOOK, host::MB_OK | host::MB_ICONEXCLAMATION, {strPath});
        return false;
    }
    int fd = fileutil::OpenRegularFile(strPath);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        const int err = fd < 0 ? errno : EIO;
        if (fd >= 0) ::close(fd);
        host::ShowMessage(ids::IDS_FAILED_TO_OPEN_DOC, host::MB_OK | host::MB_ICONEXCLAMATION,
                          {strPath, err == EINVAL ? host::LoadString(ids::IDS_NOT_A_REGULAR_FILE) : std::strerror(err)});
        return false;
    }
    m_nLoadError = -1;
    m_nDamagedDev = st.st_dev;
    m_nDamagedIno = st.st_ino;
    m_lastRefusal = vault::Refusal::none;
    std::shared_ptr<vault::CVaultKey> key;
    if (!OpenSealed(fd, strPath, key)) return false;
    m_pVaultKey = std::move(key);
    try {
        CFileSource src(fd);
        CArchive ar(src);
        const int keep = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (keep >= 0) ar.SetDeferredFile(std::make_shared<CDeferredFile>(keep));
        size_t nClasses = 0;
        const CRuntimeClass* const* classes = NotebookClasses(&nClasses);
        ar.SetClassTable(classes, nClasses);
        ar.m_pDocument = this;
        try {
            Serialize(ar);
        } catch (CArchiveException& e) {
            e.TakePartial();
            m_nLoadError = e.m_cause;
        }
        ReleaseDiscarded(ar);
    } catch (CArchiveException& e) {
        m_nLoadError = e.m_cause;
    } catch (const std::exception&) {
        // Memory ran out: records being read when it happened are gone.
        m_nLoadError = CArchiveException::readFault;
    }
    ::close(fd);
    // Whatever stopped the reading, the download list must name exactly the
    // held notes that stayed in the tree.
    if (m_nLoadError >= 0) ListHeldNotesOfTree();
    RebuildOriginMap();
    m_strPathName = strPath;
    m_bModified = false;
    SetTitle();
    // Beside a damaged file even a half-written copy may hold what the
    // user wants back: nothing is removed there.
    if (IsDamaged()) ReportDamage();
    else fileutil::RemoveStaleTempCopies(strPath);
    return true;
}

bool CClipVaultDoc::OnSaveDocument(const std::string& strPath) {
    if (IsDamagedFile(strPath)) {
        host::ShowMessage(ids::IDS_DAMAGED_FILE_KEPT, host::MB_OK | host::MB_ICONEXCLAMATION, {strPath});
        return false;
    }
    if (m_pViews) m_pViews->CommitEdits();
    int err = 0;
    const bool ok = fileutil::AtomicWriteFile(
        strPath,
        [&](CByteSink& sink) {
            std::unique_ptr<vault::CEncryptingSink> sealed;
            if (m_pVaultKey) sealed = std::make_unique<vault::CEncryptingSink>(sink, *m_pVaultKey);
            {
                CArchive ar(sealed ? *sealed : sink);
                ar.m_pDocument = this;
                Serialize(ar);
                ar.Flush();
            }
            if (sealed) sealed->Finish();
        },
        &err);
    if (!ok) {
        host::ShowMessage(ids::IDS_FAILED_TO_SAVE_DOC, host::MB_OK | host::MB_ICONEXCLAMATION,
                          {strPath, std::strerror(err ? err : EIO)});
        return false;
    }
    m_strPathName = strPath;
    // What was read of a damaged file is a whole notebook in its new file.
    m_nLoadError = -1;
    // Saved is saved, locked or not: a locked notebook must not keep asking
    // to be saved again.
    MarkModified(false);
    fileutil::RemoveStaleTempCopies(strPath);
    if (m_pViews) m_pViews->DocumentSaved();
    return true;
}

bool CClipVaultDoc::SaveModified() {
    if (!m_bModified) return true;
    const std::string name = m_strPathName.empty() ? std::string("NewVLT") : m_strPathName;
    switch (host::ShowMessage(ids::IDS_ASK_TO_SAVE, host::MB_YESNOCANCEL | host::MB_ICONEXCLAMATION, {name})) {
    case host::IDYES: return DoFileSave();
    case host::IDNO: return true;
    default: return false;
    }
}

bool CClipVaultDoc::CanCloseFrame() {
    if (IsDownloading()) {
        if (host::ShowMessage(ids::IDS_STOP_DOWNLOADS_TO_CLOSE, host::MB_YESNO | host::MB_ICONEXCLAMATION) !=
            host::IDYES)
            return false;
        HoldAllQueued();
        for (;;) {
            if (StopAllDownloads()) break;
            const int r = host::ShowMessage(ids::IDS_DOWNLOADS_NOT_STOPPED,
                                            host::MB_ABORTRETRYIGNORE | host::MB_ICONEXCLAMATION);
            if (r == host::IDABORT) return false;
            if (r == host::IDIGNORE) break;
        }
    }
    CleanUpAttachments();
    if (IsDownloading()) return false;
    return SaveModified();
}

void CClipVaultDoc::PreCloseFrame() {
    CRecordClipboard& clip = TheRecordClipboard();
    if (clip.SourceDocument() == this) clip.ClearClip();
}

namespace {
uint32_t HighestNoteID(const CNoteCata& root) {
    uint32_t nHighest = 0;
    std::vector<const CNoteCata*> todo{&root};
    while (!todo.empty()) {
        const CNoteCata* pCata = todo.back();
        todo.pop_back();
        for (auto it = pCata->m_notes.begin(); it != pCata->m_notes.end(); ++it)
            if (it.value()) nHighest = std::max(nHighest, it.value()->m_nID);
        for (auto it = pCata->m_subCatas.begin(); it != pCata->m_subCatas.end(); ++it)
            if (it.value()) todo.push_back(it.value());
    }
    return nHighest;
}
}  // namespace

void CClipVaultDoc::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        char header[32];
        std::snprintf(header, sizeof header, "%s%02d", kHeaderText, kFileVersion);
        ar.WriteString(header);
        ar.WriteU32(m_nNextID);
        ar.WriteObject(m_pDocInfo.get());
        m_rootCata.Serialize(ar);
        m_password.Serialize(ar);
        {
            std::lock_guard<std::recursive_mutex> guard(m_lock);
            ar.WriteNameMap(m_attachments);
        }
        ar.WriteString(m_strReserved1);
        ar.WriteString(m_strReserved2);
        return;
    }
    uint8_t head[20] = {};
    const size_t n = ar.Peek(head, sizeof head);
    if (n >= 16 && std::memcmp(head + 1, kHeaderText, 15) == 0) {
        m_nFileVersion = 0;
        for (size_t i = 16; i < 18 && i < n && head[i] >= '0' && head[i] <= '9'; ++i)
            m_nFileVersion = m_nFileVersion * 10 + (head[i] - '0');
        ar.ReadString();
        m_nNextID = ar.ReadU32();
        bool bNew = false;
        CObject* pInfo = ar.ReadObject(&CVltDocInfo::classCVltDocInfo, &bNew);
        m_pDocInfo.reset(bNew ? static_cast<CVltDocInfo*>(pInfo) : nullptr);
    } else {
        // The first format: no header, no counter, no information record;
        // its notes are numbered as they are read.
        m_pDocInfo = std::make_unique<CVltDocInfo>();
    }
    m_rootCata.Serialize(ar);
    // A file written by another program, or cut and mended by hand, may hold
    // a note numbered at or past its counter: the next new note would share
    // its number, and whatever is keyed on numbers (the search index) would
    // take one note for the other.
    m_nNextID = std::max(m_nNextID, HighestNoteID(m_rootCata));
    m_password.Serialize(ar);
    ReadRecordMap(ar, nullptr, m_attachments, &CNoteAttatch::classCNoteAttatch);
    m_strReserved1 = ar.ReadString();
    m_strReserved2 = ar.ReadString();
}

void CClipVaultDoc::SetPathName(const std::string& strPath) {
    m_strPathName = strPath;
    SetTitle();
}

void CClipVaultDoc::SetTitle() {
    m_strTitle = NotebookBaseName(m_strPathName);
    if (m_bModified) m_strTitle += " *";
    if (m_pViews) m_pViews->TitleChanged();
}

void CClipVaultDoc::SetModifiedFlag(bool bModified) {
    if (IsReadOnly()) return;
    MarkModified(bModified);
}

void CClipVaultDoc::MarkModified(bool bModified) {
    ++m_nChangeCount;
    m_bModified = bModified;
    SetTitle();
}

// ---------------------------------------------------------------- records

void CClipVaultDoc::DeleteItem(CNoteBase* pItem) {
    if (!pItem) return;
    ++m_nChangeCount;
    try {
        if (m_pViews) m_pViews->RemoveItem(pItem);
        if (pItem->m_nKind == CNoteBase::kindNote) static_cast<CNote*>(pItem)->Delete();
        else if (pItem->m_nKind == CNoteBase::kindCata) static_cast<CNoteCata*>(pItem)->Delete();
        SetModifiedFlag();
    } catch (...) {
        Failed();
    }
}

// ---------------------------------------------------------------- attachments

std::string CClipVaultDoc::UniqueAttachmentName(const std::string& strSource) {
    try {
        std::string base = FileNameOf(strSource);
        if (base.compare(0, 3, "vlt") == 0) base.erase(0, 3);
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        return m_namer.Pick(base, [this](const std::string& candidate) {
            return m_attachments.Contains(candidate) || m_reservedAttachNames.count(candidate) > 0;
        });
    } catch (...) {
        return std::string();
    }
}

bool CClipVaultDoc::AddAttachment(CNoteAttatch* pAttach) {
    if (!pAttach) return false;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    const std::string name = UniqueAttachmentName(pAttach->m_strName);
    if (name.empty()) return false;
    pAttach->m_strName = name;
    pAttach->m_pDocument = this;
    m_attachments.SetAt(name, pAttach);
    m_originToName[pAttach->m_strOrigin] = name;
    return true;
}

CNoteAttatch* CClipVaultDoc::MakeAttachment(const std::string& strName, const std::string& strOrigin,
                                            std::vector<uint8_t> bytes) {
    auto* p = new CNoteAttatch;
    p->m_pDocument = this;
    p->m_strOrigin = strOrigin;
    p->SetBytes(std::move(bytes));
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    // An abandoned worker may not add to the notebook any more; the test is
    // made under the lock that its abandoning takes.
    if (host::ThisThreadAbandoned()) {
        delete p;
        return nullptr;
    }
    // Two workers may have been handed the same free name before either
    // stored its attachment; the second must not replace the first one's
    // bytes under a name that another note already uses.
    p->m_strName = m_attachments.Contains(strName) || m_reservedAttachNames.count(strName)
                       ? UniqueAttachmentName(strName)
                       : strName;
    m_attachments.SetAt(p->m_strName, p);
    m_originToName[strOrigin] = p->m_strName;
    return p;
}

std::string CClipVaultDoc::ReserveAttachmentName(const std::string& strSource) {
    try {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        std::string name = UniqueAttachmentName(strSource);
        if (!name.empty()) m_reservedAttachNames.insert(name);
        return name;
    } catch (...) {
        return std::string();
    }
}

CNoteAttatch* CClipVaultDoc::MakeReservedAttachment(const std::string& strName, const std::string& strOrigin,
                                                    std::vector<uint8_t> bytes) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_reservedAttachNames.erase(strName);
    return MakeAttachment(strName, strOrigin, std::move(bytes));
}

void CClipVaultDoc::ReleaseAttachmentName(const std::string& strName) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_reservedAttachNames.erase(strName)) m_namer.Freed(strName);
}

CNoteAttatch* CClipVaultDoc::FindAttachment(const std::string& strName) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    CNoteAttatch* const* pp = m_attachments.Find(strName);
    return pp ? *pp : nullptr;
}

std::string CClipVaultDoc::AttachmentNameForOrigin(const std::string& strOrigin) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_originToName.find(strOrigin);
    return it == m_originToName.end() ? std::string() : it->second;
}

int CClipVaultDoc::ReserveOrigin(const std::string& strOrigin, const void* pOwner, std::string& strName) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    // An owner stores its files one by one and gives their addresses up
    // together: until then a stored one may name files not stored yet.
    auto it = m_reservedOrigins.find(strOrigin);
    if (it != m_reservedOrigins.end() && it->second.first != pOwner) {
        strName = it->second.second;
        return kOriginTaken;
    }
    auto stored = m_originToName.find(strOrigin);
    if (stored != m_originToName.end() && m_attachments.Contains(stored->second)) {
        strName = stored->second;
        return kOriginStored;
    }
    m_reservedOrigins[strOrigin] = {pOwner, std::string()};
    return kOriginReserved;
}

void CClipVaultDoc::AnnounceOriginName(const std::string& strOrigin, const void* pOwner, const std::string& strName) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_reservedOrigins.find(strOrigin);
    if (it == m_reservedOrigins.end() || it->second.first != pOwner) return;
    it->second.second = strName;
    m_originChanged.notify_all();
}

void CClipVaultDoc::ReleaseOrigin(const std::string& strOrigin, const void* pOwner) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_reservedOrigins.find(strOrigin);
    if (it == m_reservedOrigins.end() || it->second.first != pOwner) return;
    m_reservedOrigins.erase(it);
    m_originChanged.notify_all();
}

int CClipVaultDoc::AwaitOrigin(const std::string& strOrigin, bool bUntilStored, const std::function<bool()>& stopped,
                               std::chrono::steady_clock::time_point until, std::string& strName) {
    for (;;) {
        // The stop test runs without the lock: it may take the note's.
        if (stopped()) return kOriginWaitEnded;
        std::unique_lock<std::recursive_mutex> lock(m_lock);
        auto it = m_reservedOrigins.find(strOrigin);
        if (it == m_reservedOrigins.end()) {
            auto stored = m_originToName.find(strOrigin);
            if (stored == m_originToName.end() || !m_attachments.Contains(stored->second)) return kOriginFree;
            strName = stored->second;
            return kOriginStored;
        }
        if (!bUntilStored && !it->second.second.empty()) {
            strName = it->second.second;
            return kOriginNamed;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) return kOriginWaitEnded;
        m_originChanged.wait_for(lock, std::min<std::chrono::steady_clock::duration>(until - now,
                                                                                    std::chrono::milliseconds(100)));
    }
}

void CClipVaultDoc::RebuildOriginMap() {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_originToName.clear();
    for (auto it = m_attachments.begin(); it != m_attachments.end(); ++it)
        m_originToName[it.value()->m_strOrigin] = it.value()->m_strName;
}

void CClipVaultDoc::CleanUpAttachments() {
    try {
        // A worker's new files are not listed anywhere until its note is
        // done with them.
        if (IsDownloading()) return;
        // A page names its files whether or not its note lists them; a file
        // whose own uses cannot be read makes every deletion a guess, and
        // none is made.
        std::unordered_set<std::string> inUse;
        if (!CollectAttachmentsInUse(*this, inUse)) return;
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        for (auto it = m_attachments.begin(); it != m_attachments.end(); ++it) it.value()->m_nRefCount = 0;
        m_rootCata.CountAttachmentUse();
        std::vector<std::string> unused;
        for (auto it = m_attachments.begin(); it != m_attachments.end(); ++it)
            if (it.value()->m_nRefCount == 0 && !inUse.count(it.key())) unused.push_back(it.key());
        for (const std::string& name : unused) {
            CNoteAttatch* p = nullptr;
            m_attachments.RemoveKey(name, &p);
            m_namer.Freed(name);
            delete p;
            SetModifiedFlag();
        }
        RebuildOriginMap();
    } catch (...) {
        Failed();
    }
}

std::string CClipVaultDoc::GetWorkFolder(bool bFullPath) {
    try {
        const std::string& root = tempfiles::TempRoot();
        if (root.empty()) return std::string();
        if (m_strWorkFolder.empty()) {
            // The name is taken by making the folder: a name that anything
            // already stands at, a planted link included, is passed over.
            const std::string base = NotebookBaseName(m_strPathName);
            for (int i = 0;; ++i) {
                std::string candidate = "vlt" + base + std::to_string(i) + "_files";
                if (::mkdir((root + candidate).c_str(), 0700) == 0) {
                    m_strWorkFolder = candidate;
                    break;
                }
                if (errno != EEXIST) return std::string();
            }
        }
        const std::string full = root + m_strWorkFolder;
        struct stat st;
        if (::lstat(full.c_str(), &st) != 0) {
            // Removed behind our back: made again under the same name.
            if (errno != ENOENT || ::mkdir(full.c_str(), 0700) != 0) return std::string();
        } else if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
            // Not the folder this notebook made (a link, somebody else's):
            // nothing is written there.
            return std::string();
        }
        return bFullPath ? full : m_strWorkFolder;
    } catch (...) {
        return std::string();
    }
}

// ---------------------------------------------------------------- downloads

int CClipVaultDoc::MaxWorkers() const {
    const uint32_t n = CurrentDownloadSettings().m_nMaxWorkers;
    return n == 0 ? 1 : static_cast<int>(std::min<uint32_t>(n, 1000));
}

void CClipVaultDoc::Refresh(CNote* pNote) {
    ++m_nChangeCount;
    if (m_pViews) m_pViews->RefreshNote(pNote);
}

void CClipVaultDoc::ListForDownload(CNote* pNote, bool bStartNow) {
    m_pendingNotes.push_back(pNote);
    if (bStartNow) StartDownload(pNote);
    else HoldNote(pNote);
}

void CClipVaultDoc::StartDownload(CNote* pNote) {
    // A worker left running on this note after a stop that timed out must
    // end before another one may start on it.
    bool bBusy = static_cast<bool>(pNote->m_pJob);
    for (auto& job : m_abandonedJobs) {
        std::lock_guard<std::mutex> lock(job->m_mutex);
        if (job->m_pNote == pNote && !job->m_bFinished) bBusy = true;
    }
    if (!bBusy && m_nRunning < MaxWorkers()) {
        pNote->m_nStatus = kStatusRunning;
        StartWorker(pNote);
        ++m_nRunning;
    } else {
        pNote->m_nStatus = kStatusQueued;
    }
    Refresh(pNote);
}

void CClipVaultDoc::StartWorker(CNote* pNote) {
    auto job = std::make_shared<CDownloadJob>();
    job->m_pNote = pNote;
    job->m_pDoc = this;
    job->m_docAlive = m_pAlive;
    // Taken here, on the thread that owns the options, and never changed.
    job->m_settings = CurrentDownloadSettings();
    pNote->m_pJob = job;
    DownloadBody body = GetDownloadBody();
    job->m_thread = std::thread([job, body, pNote] {
        bool ok = false;
        {
            host::CStopSignalScope scope(job->m_pStop);
            {
                CNoteUpdate update(*pNote);
                if (update) pNote->m_strError.clear();
            }
            try {
                ok = body(*pNote, job->m_settings);
            } catch (...) {
                ok = false;
            }
        }
        bool bAbandoned;
        {
            std::lock_guard<std::mutex> lock(job->m_mutex);
            bAbandoned = job->m_pStop->IsAbandoned();
            if (!bAbandoned) {
                const int32_t s = pNote->m_nStatus;
                if (s == kStatusStopRequested) pNote->m_nStatus = ok ? kStatusDone : kStatusHeld;
                else pNote->m_nStatus = ok ? kStatusDone : kStatusFailed;
            }
            job->m_bFinished = true;
        }
        job->m_cv.notify_all();
        if (bAbandoned) {
            // The stop already reported this note; the notebook only learns
            // that the worker is gone, so that what waited for it can start.
            host::PostToUi(host::WM_CAPTURE_DONE, [job] {
                if (job->m_docAlive.expired()) return;
                CClipVaultDoc* pDoc;
                {
                    std::lock_guard<std::mutex> lock(job->m_mutex);
                    pDoc = job->m_pDoc;
                }
                if (pDoc) pDoc->OnAbandonedWorkerEnded(job);
            });
            return;
        }
        host::PostToUi(host::WM_CAPTURE_DONE, [job] {
            CClipVaultDoc* pDoc;
            CNote* pNote2;
            if (job->m_docAlive.expired()) return;
            {
                std::lock_guard<std::mutex> lock(job->m_mutex);
                if (job->m_bDelivered) return;
                job->m_bDelivered = true;
                pDoc = job->m_pDoc;
                pNote2 = job->m_pNote;
            }
            if (!pDoc) return;
            if (pNote2) {
                pDoc->OnCaptureDone(pNote2);
            } else {
                // The note went while its message was on the way; the
                // worker's place is still given back.
                --pDoc->m_nRunning;
                pDoc->StartQueued();
            }
        });
    });
}

void CClipVaultDoc::OnAbandonedWorkerEnded(const std::shared_ptr<CDownloadJob>& job) {
    auto it = std::find(m_abandonedJobs.begin(), m_abandonedJobs.end(), job);
    if (it == m_abandonedJobs.end()) return;  // its note went, and joined it
    m_abandonedJobs.erase(it);
    job->Join();
    StartQueued();
}

void CClipVaultDoc::OnCaptureDone(CNote* pNote) {
    --m_nRunning;
    if (!pNote) return;
    if (pNote->m_pJob) {
        std::shared_ptr<CDownloadJob> job = std::move(pNote->m_pJob);
        job->Join();
        std::lock_guard<std::mutex> lock(job->m_mutex);
        job->m_bDelivered = true;
    }
    switch (pNote->m_nStatus) {
    case kStatusHeld: HoldNote(pNote); break;
    case kStatusDone: FinishNote(pNote); break;
    case kStatusFailed: FailNote(pNote); break;
    default: Refresh(pNote); break;
    }
}

void CClipVaultDoc::HoldNote(CNote* pNote) {
    pNote->m_nStatus = kStatusHeld;
    Refresh(pNote);
}

void CClipVaultDoc::FailNote(CNote* pNote) {
    pNote->m_nStatus = kStatusFailed;
    Refresh(pNote);
    StartQueued();
}

void CClipVaultDoc::FinishNote(CNote* pNote) {
    m_pendingNotes.erase(std::remove(m_pendingNotes.begin(), m_pendingNotes.end(), pNote), m_pendingNotes.end());
    Refresh(pNote);
    StartQueued();
}

void CClipVaultDoc::UnlistNote(CNote* pNote) {
    for (size_t i = m_pendingNotes.size(); i-- > 0;)
        if (m_pendingNotes[i] == pNote) m_pendingNotes.erase(m_pendingNotes.begin() + static_cast<ptrdiff_t>(i));
    if (m_pViews) m_pViews->NoteUnlisted(pNote);
}

void CClipVaultDoc::StartQueued() {
    // A copy: starting a note may refresh views that change the list.
    const std::vector<CNote*> notes = m_pendingNotes;
    for (CNote* p : notes)
        if (p->m_nStatus == kStatusQueued) StartDownload(p);
}

void CClipVaultDoc::HoldAllQueued() {
    for (CNote* p : m_pendingNotes)
        if (p->m_nStatus == kStatusQueued) HoldNote(p);
}

void CClipVaultDoc::StartAllHeld() {
    const std::vector<CNote*> notes = m_pendingNotes;
    for (CNote* p : notes)
        if (p->m_nStatus == kStatusHeld) StartDownload(p);
}

void CClipVaultDoc::HoldAllFailed() {
    for (CNote* p : m_pendingNotes)
        if (p->m_nStatus == kStatusFailed) HoldNote(p);
}

void CClipVaultDoc::RetryAllFailed() {
    const std::vector<CNote*> notes = m_pendingNotes;
    for (CNote* p : notes)
        if (p->m_nStatus == kStatusFailed) StartDownload(p);
}

bool CClipVaultDoc::StopDownload(CNote* pNote) {
    if (!pNote || pNote->m_nStatus != kStatusRunning) return true;
    pNote->m_nStatus = kStatusStopRequested;
    std::shared_ptr<CDownloadJob> job = pNote->m_pJob;
    if (job) {
        job->m_pStop->Request();
        bool bEnded = job->WaitFinished(m_nStopTimeout);
        if (!bEnded) {
            // The worker did not stop in time. It is never killed: it is
            // abandoned, under the locks it changes the note and the
            // notebook under, so that from here on it changes neither; it
            // keeps its stop request and is joined before its note or
            // notebook goes.
            std::lock_guard<std::recursive_mutex> docGuard(m_lock);
            std::lock_guard<std::mutex> noteGuard(pNote->m_dataLock);
            std::lock_guard<std::mutex> lock(job->m_mutex);
            bEnded = job->m_bFinished;  // it may have ended meanwhile
            if (!bEnded) job->m_pStop->Abandon();
        }
        if (bEnded) job->Join();
        else m_abandonedJobs.push_back(job);
    }
    pNote->m_nStatus = kStatusDone;
    // The "capture done" of this worker is handled here and now rather than
    // when its message arrives, so that a notebook closing right after a stop
    // finds no worker counted as running; the message, if one is on its
    // way, is then ignored.
    bool bDeliver = true;
    if (job) {
        std::lock_guard<std::mutex> lock(job->m_mutex);
        bDeliver = !job->m_bDelivered;
        job->m_bDelivered = true;
    }
    pNote->m_pJob.reset();
    if (bDeliver && job) OnCaptureDone(pNote);
    StartQueued();
    return true;
}

bool CClipVaultDoc::HasWorker(const CNote* pNote) const {
    if (!pNote) return false;
    if (pNote->m_pJob) return true;
    for (const auto& job : m_abandonedJobs) {
        std::lock_guard<std::mutex> lock(job->m_mutex);
        if (job->m_pNote == pNote && !job->m_bFinished) return true;
    }
    return false;
}

bool CClipVaultDoc::StopAllDownloads() {
    bool ok = true;
    for (size_t i = m_pendingNotes.size(); i-- > 0;) {
        if (i >= m_pendingNotes.size()) continue;  // stopping finished notes shortens the list
        CNote* p = m_pendingNotes[i];
        if (p->m_nStatus == kStatusRunning) ok = StopDownload(p) && ok;
    }
    return ok;
}

void CClipVaultDoc::ForgetNoteWorkers(CNote* pNote) {
    if (pNote->m_pJob) {
        std::shared_ptr<CDownloadJob> job = std::move(pNote->m_pJob);
        if (pNote->m_nStatus == kStatusRunning) pNote->m_nStatus = kStatusStopRequested;
        job->m_pStop->Request();
        job->Join();
        std::lock_guard<std::mutex> lock(job->m_mutex);
        job->m_pNote = nullptr;
    }
    for (auto it = m_abandonedJobs.begin(); it != m_abandonedJobs.end();) {
        std::shared_ptr<CDownloadJob> job = *it;
        bool mine;
        {
            std::lock_guard<std::mutex> lock(job->m_mutex);
            mine = job->m_pNote == pNote;
        }
        if (!mine) {
            ++it;
            continue;
        }
        job->Join();
        {
            std::lock_guard<std::mutex> lock(job->m_mutex);
            job->m_pNote = nullptr;
        }
        it = m_abandonedJobs.erase(it);
    }
}

namespace {
void CollectNotes(const CNoteCata* pCata, std::unordered_set<const CNote*>& out) {
    for (auto it = pCata->m_notes.begin(); it != pCata->m_notes.end(); ++it) out.insert(it.value());
    for (auto it = pCata->m_subCatas.begin(); it != pCata->m_subCatas.end(); ++it) CollectNotes(it.value(), out);
}
}  // namespace

void CClipVaultDoc::ListHeldNotesOfTree() {
    // Made afresh from the tree: a note freed while the reading failed may
    // still be named in the old list and must not be looked at. Emptied
    // first, so that even running out of memory here leaves only notes of
    // the tree listed (the old list's room is enough for them anyway: every
    // held note in the tree was listed as it was read).
    m_pendingNotes.clear();
    try {
        std::vector<const CNoteCata*> todo{&m_rootCata};
        while (!todo.empty()) {
            const CNoteCata* pCata = todo.back();
            todo.pop_back();
            for (auto it = pCata->m_notes.begin(); it != pCata->m_notes.end(); ++it)
                if (it.value()->m_nStatus == kStatusHeld) m_pendingNotes.push_back(it.value());
            for (auto it = pCata->m_subCatas.begin(); it != pCata->m_subCatas.end(); ++it) todo.push_back(it.value());
        }
    } catch (const std::bad_alloc&) {
    }
}

void CClipVaultDoc::ReleaseDiscarded(CArchive& ar) {
    auto& discarded = ar.Discarded();
    if (discarded.empty()) return;
    std::unordered_set<const CNote*> gone;
    for (const auto& p : discarded) {
        if (auto* pNote = dynamic_cast<const CNote*>(p.get())) gone.insert(pNote);
        else if (auto* pCata = dynamic_cast<const CNoteCata*>(p.get())) CollectNotes(pCata, gone);
    }
    m_pendingNotes.erase(std::remove_if(m_pendingNotes.begin(), m_pendingNotes.end(),
                                        [&](CNote* n) { return gone.count(n) != 0; }),
                         m_pendingNotes.end());
    discarded.clear();
}
