#include "capture/NoteIndex.h"

#include "capture/HtmlEncoding.h"
#include "capture/NoteIndexMatch.h"
#include "document/Records.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace notetext {

namespace {

// Raised whenever the tables change meaning; an index of another version is
// thrown away and built again.
constexpr const char* kVersion = "6";  // 6: a page's text holds its highlights' comments

constexpr int kPageSize = 65536;
// What FTS5 gathers in memory before writing a run of lists: 16 MB a table
// instead of its 1 MB makes a third fewer merges while building.
constexpr int kHashSize = 16 << 20;

// Whether the trigram tokenizer reads the text back byte for byte: strict
// UTF-8 without NUL and without U+FFFE/U+FFFF (which it reads as U+FFFD, as
// it does every malformed sequence). Counts the code points on the way.
bool IsPlainUtf8(const std::string& s, size_t* pCodePoints) {
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    size_t count = 0;
    for (size_t i = 0; i < s.size(); ++count) {
        uint32_t cp = 0;
        bool bTruncated = false;
        const size_t len = htmlenc::Utf8SequenceLength(p + i, s.size() - i, &cp, &bTruncated);
        if (len == 0 || cp == 0 || cp == 0xFFFE || cp == 0xFFFF) return false;
        i += len;
    }
    if (pCodePoints) *pCodePoints = count;
    return true;
}

// Where the last two characters of valid UTF-8 text start.
size_t TailStart(const std::string& s) {
    size_t at = s.size();
    for (int n = 0; n < 2 && at > 0; ++n) {
        --at;
        while (at > 0 && (static_cast<uint8_t>(s[at]) & 0xC0) == 0x80) --at;
    }
    return at;
}

std::string StampText(const CFileStamp& s) {
    return std::to_string(s.m_nSize) + ':' + std::to_string(s.m_nMtimeNs) + ':' + std::to_string(s.m_nInode);
}

bool ParseStamp(const std::string& text, CFileStamp& s) {
    unsigned long long size = 0, inode = 0;
    long long mtime = 0;
    if (std::sscanf(text.c_str(), "%llu:%lld:%llu", &size, &mtime, &inode) != 3) return false;
    s.m_nSize = size;
    s.m_nMtimeNs = mtime;
    s.m_nInode = inode;
    s.m_bValid = true;
    return true;
}

bool MakeFolders(const std::string& strFolder) {
    if (strFolder.empty()) return true;
    std::string path;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = strFolder.find('/', pos + 1);
        path = strFolder.substr(0, pos);
        if (path.empty()) continue;
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return ::stat(strFolder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void RemoveIndexFiles(const std::string& strFile) {
    ::unlink(strFile.c_str());
    ::unlink((strFile + "-wal").c_str());
    ::unlink((strFile + "-shm").c_str());
    ::unlink((strFile + "-journal").c_str());
}

// Calls the search's cancel test while SQLite works through long lists.
int ProgressCancel(void* p) {
    const auto* fn = static_cast<const std::function<bool()>*>(p);
    return (*fn && (*fn)()) ? 1 : 0;
}

}  // namespace

CFileStamp CFileStamp::Of(const std::string& strPath) {
    CFileStamp s;
    struct stat st;
    if (::stat(strPath.c_str(), &st) != 0) return s;
    s.m_nSize = static_cast<uint64_t>(st.st_size);
    s.m_nMtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.m_nInode = static_cast<uint64_t>(st.st_ino);
    s.m_bValid = true;
    return s;
}

struct CNoteIndex::CStatements {
    sqlite3_stmt* insText = nullptr;
    sqlite3_stmt* insFolded = nullptr;
    sqlite3_stmt* insRow = nullptr;
    sqlite3_stmt* rowOf = nullptr;
    sqlite3_stmt* delRow = nullptr;
    sqlite3_stmt* insOdd = nullptr;
    sqlite3_stmt* delOdd = nullptr;
    sqlite3_stmt* setMeta = nullptr;
    ~CStatements() {
        for (sqlite3_stmt* s : {insText, insFolded, insRow, rowOf, delRow, insOdd, delOdd, setMeta}) sqlite3_finalize(s);
    }
};

std::string CNoteIndex::FolderBesideOptions(const std::string& strOptionsFile) {
    const size_t slash = strOptionsFile.rfind('/');
    if (slash == std::string::npos) return "SearchIndex";
    return strOptionsFile.substr(0, slash + 1) + "SearchIndex";
}

std::string CNoteIndex::IndexFileFor(const std::string& strFolder, const std::string& strNotebookPath) {
    std::string real;
    if (char* p = ::realpath(strNotebookPath.c_str(), nullptr)) {
        real = p;
        std::free(p);
    } else if (!strNotebookPath.empty() && strNotebookPath[0] == '/') {
        real = strNotebookPath;
    } else {
        char cwd[PATH_MAX];
        real = (::getcwd(cwd, sizeof(cwd)) ? std::string(cwd) + '/' : std::string()) + strNotebookPath;
    }
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : real) h = (h ^ c) * 1099511628211ull;
    char name[32];
    std::snprintf(name, sizeof(name), "%016llx.idx", static_cast<unsigned long long>(h));
    return (strFolder.empty() ? std::string() : strFolder + '/') + name;
}

CNoteIndex::CNoteIndex(std::string strFile) : m_strFile(std::move(strFile)) {}

CNoteIndex::~CNoteIndex() {
    if (m_bInTxn) Exec("COMMIT");
    m_pStmts.reset();
    if (m_pDb) sqlite3_close(m_pDb);
}

void CNoteIndex::RemoveFiles(const std::string& strIndexFile) { RemoveIndexFiles(strIndexFile); }

std::unique_ptr<CNoteIndex> CNoteIndex::Open(const std::string& strIndexFile, std::string* pError) {
    const size_t slash = strIndexFile.rfind('/');
    if (slash != std::string::npos && !MakeFolders(strIndexFile.substr(0, slash))) {
        if (pError) *pError = "cannot make the folder of " + strIndexFile + ": " + std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<CNoteIndex> index(new CNoteIndex(strIndexFile));
    if (index->Init()) return index;
    // Another process holding it (building it, say) is no reason to take it
    // away from under that process.
    const int code = index->m_pDb ? sqlite3_errcode(index->m_pDb) & 0xFF : SQLITE_OK;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED || code == SQLITE_CANTOPEN || code == SQLITE_PERM ||
        code == SQLITE_READONLY) {
        if (pError) *pError = "cannot use the search index " + strIndexFile + ": " + index->m_strError;
        return nullptr;
    }
    // Not an index of ours (another version, damaged): it only ever holds
    // what can be built again.
    index.reset(new CNoteIndex(strIndexFile));
    RemoveIndexFiles(strIndexFile);
    if (index->Init()) return index;
    if (pError) *pError = "cannot keep a search index in " + strIndexFile + ": " + index->m_strError;
    return nullptr;
}

bool CNoteIndex::Exec(const char* sql) {
    char* msg = nullptr;
    if (sqlite3_exec(m_pDb, sql, nullptr, nullptr, &msg) == SQLITE_OK) return true;
    m_strError = msg ? msg : sqlite3_errmsg(m_pDb);
    sqlite3_free(msg);
    return false;
}

bool CNoteIndex::Init() {
    if (sqlite3_open_v2(m_strFile.c_str(), &m_pDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        m_strError = m_pDb ? sqlite3_errmsg(m_pDb) : "out of memory";
        return false;
    }
    sqlite3_busy_timeout(m_pDb, 2000);
    // A bounded page cache: searching reads long lists once, and keeping
    // them would only hold memory the notes' text already takes.
    // Large pages: a common trigram's list runs to megabytes, read page by
    // page (takes effect on a new file only).
    const std::string pragmas = "PRAGMA page_size=" + std::to_string(kPageSize) +
                                "; PRAGMA cache_size=-8192; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;";
    if (!Exec(pragmas.c_str())) return false;
    if (!Exec("CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT) WITHOUT ROWID;"
              // The last two characters of each text, as it is and folded:
              // a needle of one or two characters at the very end of a text
              // starts no trigram.
              "CREATE TABLE IF NOT EXISTS rows(r INTEGER PRIMARY KEY, id INTEGER NOT NULL, tail_t BLOB, tail_f BLOB);"
              "CREATE INDEX IF NOT EXISTS rows_id ON rows(id);"
              "CREATE TABLE IF NOT EXISTS odd(id INTEGER PRIMARY KEY, t BLOB, f BLOB);"
              "CREATE TABLE IF NOT EXISTS scanned(id INTEGER PRIMARY KEY);"))
        return false;
    if (!CreateTextTables()) return false;
    m_pStmts.reset(new CStatements);
    struct {
        sqlite3_stmt** p;
        const char* sql;
    } const prep[] = {
        {&m_pStmts->insRow, "INSERT INTO rows(r, id, tail_t, tail_f) VALUES(?1, ?2, ?3, ?4)"},
        {&m_pStmts->rowOf, "SELECT r FROM rows WHERE id = ?1"},
        {&m_pStmts->delRow, "DELETE FROM rows WHERE id = ?1"},
        {&m_pStmts->insOdd, "INSERT OR REPLACE INTO odd(id, t, f) VALUES(?1, ?2, ?3)"},
        {&m_pStmts->delOdd, "DELETE FROM odd WHERE id = ?1"},
        {&m_pStmts->setMeta, "INSERT OR REPLACE INTO meta(key, value) VALUES(?1, ?2)"},
    };
    for (const auto& s : prep) {
        if (sqlite3_prepare_v3(m_pDb, s.sql, -1, SQLITE_PREPARE_PERSISTENT, s.p, nullptr) != SQLITE_OK) {
            m_strError = sqlite3_errmsg(m_pDb);
            return false;
        }
    }
    if (!indexmatch::RegisterFunctions(m_pDb)) {
        m_strError = "this SQLite has no FTS5";
        return false;
    }
    return PrepareInserts() && LoadState();
}

// The text as it is and the folded text in tables of their own: a search
// reads the lists of one of them only.
bool CNoteIndex::CreateTextTables() {
    const std::string leaf = std::to_string(kPageSize - 96);
    for (const char* table : {"ft_t", "ft_f"}) {
        const std::string sql = std::string("CREATE VIRTUAL TABLE IF NOT EXISTS ") + table +
                                " USING fts5(x, content='', columnsize=0, detail=full,"
                                " tokenize='trigram case_sensitive 1');"
                                "INSERT INTO " + table + "(" + table + ", rank) VALUES('pgsz', " + leaf + ");"
                                "INSERT INTO " + table + "(" + table + ", rank) VALUES('hashsize', " + std::to_string(kHashSize) + ");"
                                "CREATE VIRTUAL TABLE IF NOT EXISTS " + table + "_v USING fts5vocab(" + table + ", 'row');";
        if (!Exec(sql.c_str())) return false;
    }
    return true;
}

bool CNoteIndex::PrepareInserts() {
    sqlite3_finalize(m_pStmts->insText);
    sqlite3_finalize(m_pStmts->insFolded);
    m_pStmts->insText = m_pStmts->insFolded = nullptr;
    if (sqlite3_prepare_v3(m_pDb, "INSERT INTO ft_t(rowid, x) VALUES(?1, ?2)", -1, SQLITE_PREPARE_PERSISTENT,
                           &m_pStmts->insText, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v3(m_pDb, "INSERT INTO ft_f(rowid, x) VALUES(?1, ?2)", -1, SQLITE_PREPARE_PERSISTENT,
                           &m_pStmts->insFolded, nullptr) != SQLITE_OK) {
        m_strError = sqlite3_errmsg(m_pDb);
        return false;
    }
    return true;
}

bool CNoteIndex::LoadState() {
    std::unordered_map<std::string, std::string> meta;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_pDb, "SELECT key, value FROM meta", -1, &st, nullptr) != SQLITE_OK) {
        m_strError = sqlite3_errmsg(m_pDb);
        return false;
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
        const auto* k = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        const auto* v = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        if (k) meta[k] = v ? v : "";
    }
    if (sqlite3_finalize(st) != SQLITE_OK) {
        m_strError = sqlite3_errmsg(m_pDb);
        return false;
    }
    if (meta.empty()) {
        SetMeta("version", kVersion);
        return m_strError.empty();
    }
    if (meta["version"] != kVersion) {
        m_strError = "an index of another version";
        return false;
    }
    m_bStampStored = ParseStamp(meta["stamp"], m_stamp);
    m_bComplete = meta["complete"] == "1";
    m_nNextRow = std::atoll(meta["next_row"].c_str());
    if (m_nNextRow < 1) m_nNextRow = 1;
    m_nRows = std::atoll(meta["rows"].c_str());
    m_nStale = std::atoll(meta["stale"].c_str());
    m_scanned.clear();
    if (sqlite3_prepare_v2(m_pDb, "SELECT id FROM scanned", -1, &st, nullptr) != SQLITE_OK) return false;
    while (sqlite3_step(st) == SQLITE_ROW) m_scanned.insert(static_cast<uint32_t>(sqlite3_column_int64(st, 0)));
    return sqlite3_finalize(st) == SQLITE_OK;
}

void CNoteIndex::SetMeta(const char* key, const std::string& value) {
    sqlite3_stmt* st = m_pStmts->setMeta;
    sqlite3_bind_text(st, 1, key, -1, SQLITE_STATIC);
    sqlite3_bind_text(st, 2, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
    if (sqlite3_step(st) != SQLITE_DONE) m_strError = sqlite3_errmsg(m_pDb);
    sqlite3_reset(st);
}

bool CNoteIndex::IsCurrentFor(const CFileStamp& stamp) const {
    return m_bComplete && m_bStampStored && stamp.m_bValid && m_stamp == stamp;
}

void CNoteIndex::Reset() {
    if (m_bInTxn) {
        Exec("COMMIT");
        m_bInTxn = false;
    }
    m_nExplicit = 0;
    // Dropping the tables is much quicker than deleting every row of them.
    sqlite3_finalize(m_pStmts->insText);
    sqlite3_finalize(m_pStmts->insFolded);
    m_pStmts->insText = m_pStmts->insFolded = nullptr;
    Exec("BEGIN;"
         "DROP TABLE IF EXISTS ft_t; DROP TABLE IF EXISTS ft_f;"
         "DELETE FROM rows; DELETE FROM odd; DELETE FROM scanned; DELETE FROM meta;");
    CreateTextTables();
    PrepareInserts();
    SetMeta("version", kVersion);
    Exec("COMMIT");
    m_bComplete = false;
    m_bStampStored = false;
    m_stamp = CFileStamp();
    m_nNextRow = 1;
    m_nRows = 0;
    m_nStale = 0;
    m_scanned.clear();
}

void CNoteIndex::BeginIfNeeded() {
    if (m_bInTxn) return;
    if (Exec("BEGIN")) m_bInTxn = true;
    // The file no longer describes the notebook file until the next
    // MarkComplete: a crash or a close without saving leaves it stale.
    if (m_bStampStored) {
        SetMeta("stamp", "");
        m_bStampStored = false;
    }
}

void CNoteIndex::Begin() {
    ++m_nExplicit;
    BeginIfNeeded();
}

bool CNoteIndex::Commit() {
    if (m_nExplicit > 0) --m_nExplicit;
    if (m_nExplicit > 0 || !m_bInTxn) return m_strError.empty();
    SetMeta("next_row", std::to_string(m_nNextRow));
    SetMeta("rows", std::to_string(m_nRows));
    SetMeta("stale", std::to_string(m_nStale));
    const bool ok = Exec("COMMIT");
    m_bInTxn = false;
    return ok;
}

void CNoteIndex::CommitIfAuto() {
    if (m_nExplicit == 0) {
        ++m_nExplicit;
        Commit();
    }
}

void CNoteIndex::DropRow(uint32_t nNoteID) {
    sqlite3_stmt* st = m_pStmts->rowOf;
    sqlite3_bind_int64(st, 1, nNoteID);
    bool bHad = false;
    while (sqlite3_step(st) == SQLITE_ROW) bHad = true;
    sqlite3_reset(st);
    if (bHad) {
        // Its trigrams stay in the index (a contentless table cannot take
        // them out without the old text) but no longer lead to the note.
        sqlite3_bind_int64(m_pStmts->delRow, 1, nNoteID);
        sqlite3_step(m_pStmts->delRow);
        sqlite3_reset(m_pStmts->delRow);
        ++m_nStale;
    }
    sqlite3_bind_int64(m_pStmts->delOdd, 1, nNoteID);
    sqlite3_step(m_pStmts->delOdd);
    sqlite3_reset(m_pStmts->delOdd);
}

bool CNoteIndex::WriteRow(uint32_t nNoteID, const std::string& text) {
    const std::string folded = FoldCase(text);
    size_t nCodePoints = 0;
    const bool bPlain = IsPlainUtf8(text, &nCodePoints) && IsPlainUtf8(folded, nullptr);
    sqlite3_stmt* st;
    if (bPlain && nCodePoints >= 3) {
        for (const std::string* pText : {&text, &folded}) {
            st = pText == &text ? m_pStmts->insText : m_pStmts->insFolded;
            sqlite3_bind_int64(st, 1, m_nNextRow);
            sqlite3_bind_text(st, 2, pText->data(), static_cast<int>(pText->size()), SQLITE_STATIC);
            const int rc = sqlite3_step(st);
            sqlite3_reset(st);
            if (rc != SQLITE_DONE) {
                m_strError = sqlite3_errmsg(m_pDb);
                return false;
            }
        }
        st = m_pStmts->insRow;
        sqlite3_bind_int64(st, 1, m_nNextRow);
        sqlite3_bind_int64(st, 2, nNoteID);
        const size_t tailText = TailStart(text), tailFolded = TailStart(folded);
        sqlite3_bind_blob(st, 3, text.data() + tailText, static_cast<int>(text.size() - tailText), SQLITE_TRANSIENT);
        sqlite3_bind_blob(st, 4, folded.data() + tailFolded, static_cast<int>(folded.size() - tailFolded),
                          SQLITE_TRANSIENT);
        ++m_nNextRow;
        ++m_nRows;
    } else {
        st = m_pStmts->insOdd;
        sqlite3_bind_int64(st, 1, nNoteID);
        sqlite3_bind_blob(st, 2, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
        sqlite3_bind_blob(st, 3, folded.data(), static_cast<int>(folded.size()), SQLITE_STATIC);
    }
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) {
        m_strError = sqlite3_errmsg(m_pDb);
        return false;
    }
    return true;
}

void CNoteIndex::Put(uint32_t nNoteID, const std::string& strUtf8Text) {
    BeginIfNeeded();
    DropRow(nNoteID);
    if (!strUtf8Text.empty()) WriteRow(nNoteID, strUtf8Text);
    CommitIfAuto();
}

void CNoteIndex::Remove(uint32_t nNoteID) {
    BeginIfNeeded();
    DropRow(nNoteID);
    CommitIfAuto();
}

void CNoteIndex::MarkComplete(const CFileStamp& stamp) {
    ++m_nExplicit;
    BeginIfNeeded();
    SetMeta("complete", "1");
    SetMeta("stamp", stamp.m_bValid ? StampText(stamp) : std::string());
    m_nExplicit = 1;
    if (Commit()) {
        m_bComplete = true;
        m_stamp = stamp;
        m_bStampStored = stamp.m_bValid;
    }
}

void CNoteIndex::SetScannedIDs(const std::vector<uint32_t>& ids) {
    ++m_nExplicit;
    BeginIfNeeded();
    Exec("DELETE FROM scanned");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(m_pDb, "INSERT OR IGNORE INTO scanned(id) VALUES(?1)", -1, &st, nullptr);
    for (uint32_t id : ids) {
        sqlite3_bind_int64(st, 1, id);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    m_scanned = std::unordered_set<uint32_t>(ids.begin(), ids.end());
    Commit();
}

bool CNoteIndex::CanAnswer(const CNoteQuery& query) {
    size_t nCodePoints = 0;
    return IsPlainUtf8(query.Needle(), &nCodePoints) && nCodePoints >= 1;
}

// A needle of one or two characters: a text of three or more holds it
// exactly when one of its trigrams starts with the needle or its last two
// characters hold it. The trigrams come from the index's list of terms.
bool CNoteIndex::FindShort(const std::string& table, const std::string& needle, std::vector<uint32_t>& ids) {
    sqlite3_stmt* st = nullptr;
    const std::string terms = "SELECT term FROM " + table + "_v WHERE term >= ?1 AND term < ?2";
    if (sqlite3_prepare_v2(m_pDb, terms.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        m_strError = sqlite3_errmsg(m_pDb);
        return false;
    }
    // No valid UTF-8 has the byte FF: every term that starts with the
    // needle sorts before the needle followed by it.
    const std::string upper = needle + '\xFF';
    sqlite3_bind_text(st, 1, needle.data(), static_cast<int>(needle.size()), SQLITE_STATIC);
    sqlite3_bind_text(st, 2, upper.data(), static_cast<int>(upper.size()), SQLITE_STATIC);
    indexmatch::CPlan plan;
    while (sqlite3_step(st) == SQLITE_ROW) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        if (p) plan.m_trigrams.emplace_back(p, static_cast<size_t>(sqlite3_column_bytes(st, 0)));
    }
    if (sqlite3_finalize(st) != SQLITE_OK) {
        m_strError = sqlite3_errmsg(m_pDb);
        return false;
    }
    if (!plan.m_trigrams.empty()) {
        const std::string sql = "SELECT rows.id FROM " + table + " JOIN rows ON rows.r = " + table + ".rowid WHERE " +
                                table + " MATCH ?1";
        if (!CollectIDs(sql, indexmatch::MatchText(plan, " OR "), nullptr, ids)) return false;
    }
    const std::string tails = std::string("SELECT id FROM rows WHERE instr(") +
                              (table == "ft_f" ? "tail_f" : "tail_t") + ", ?1) > 0";
    if (sqlite3_prepare_v2(m_pDb, tails.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        m_strError = sqlite3_errmsg(m_pDb);
        return false;
    }
    sqlite3_bind_blob(st, 1, needle.data(), static_cast<int>(needle.size()), SQLITE_STATIC);
    while (sqlite3_step(st) == SQLITE_ROW) ids.push_back(static_cast<uint32_t>(sqlite3_column_int64(st, 0)));
    if (sqlite3_finalize(st) != SQLITE_OK) {
        m_strError = sqlite3_errmsg(m_pDb);
        return false;
    }
    // A note found both ways is reported once.
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return true;
}

bool CNoteIndex::CollectIDs(const std::string& sql, const std::string& match, const indexmatch::CPlan* pPlan,
                            std::vector<uint32_t>& ids) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_pDb, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        m_strError = sqlite3_errmsg(m_pDb);
        return false;
    }
    sqlite3_bind_text(st, 1, match.data(), static_cast<int>(match.size()), SQLITE_STATIC);
    if (pPlan) sqlite3_bind_pointer(st, 2, const_cast<indexmatch::CPlan*>(pPlan), indexmatch::kPlanPointerType, nullptr);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) ids.push_back(static_cast<uint32_t>(sqlite3_column_int64(st, 0)));
    if (rc != SQLITE_DONE) m_strError = rc == SQLITE_INTERRUPT ? "cancelled" : sqlite3_errmsg(m_pDb);
    sqlite3_finalize(st);
    return rc == SQLITE_DONE;
}

// Which trigrams to check and in what order: walking the places of the
// rarest finds a match, or that there is none, soonest. FTS5 counts a
// trigram's places only by reading all of them (as long as the search
// itself), so the guess comes from the characters: spaces and the most
// frequent letters make common trigrams.
void CNoteIndex::OrderByRarity(indexmatch::CPlan& plan) {
    if (plan.m_order.size() < 2) return;
    std::vector<long long> counts;
    for (const std::string& tri : plan.m_trigrams) {
        long long weight = 1;
        for (char ch : tri) {
            if (ch == ' ') weight += 3;
            else if (std::strchr("etaoinshrETAOINSHR", ch) && ch) weight += 1;
        }
        counts.push_back(weight);
    }
    indexmatch::ChooseCover(plan, counts);
}

bool CNoteIndex::FindText(const CNoteQuery& query, std::unordered_set<uint32_t>& ids,
                          const std::function<bool()>& fnCancelled) {
    std::vector<uint32_t> found;
    const bool ok = FindText(query, found, fnCancelled);
    ids.insert(found.begin(), found.end());
    return ok;
}

bool CNoteIndex::FindText(const CNoteQuery& query, std::vector<uint32_t>& ids,
                          const std::function<bool()>& fnCancelled) {
    if (!CanAnswer(query)) return false;
    const std::string table = query.IgnoreCase() ? "ft_f" : "ft_t";
    if (fnCancelled) sqlite3_progress_handler(m_pDb, 20000, &ProgressCancel, const_cast<std::function<bool()>*>(&fnCancelled));
    indexmatch::CPlan plan = indexmatch::PlanFor(query.Needle());
    bool ok;
    if (plan.m_order.empty()) {
        ok = FindShort(table, query.Needle(), ids);
    } else {
        OrderByRarity(plan);
        const bool bCheck = plan.m_order.size() > 1;
        const std::string sql = "SELECT rows.id FROM " + table + " JOIN rows ON rows.r = " + table + ".rowid WHERE " +
                                table + " MATCH ?1" + (bCheck ? " AND cv_at(" + table + ", ?2)" : "");
        ok = CollectIDs(sql, indexmatch::MatchText(plan, " AND "), bCheck ? &plan : nullptr, ids);
    }
    sqlite3_progress_handler(m_pDb, 0, nullptr, nullptr);
    if (!ok) return false;

    sqlite3_stmt* st = nullptr;
    int rc;
    // The few texts kept whole.
    if (sqlite3_prepare_v2(m_pDb, query.IgnoreCase() ? "SELECT id, f FROM odd" : "SELECT id, t FROM odd", -1, &st,
                           nullptr) != SQLITE_OK) {
        m_strError = sqlite3_errmsg(m_pDb);
        return false;
    }
    const std::string& needle = query.Needle();
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const void* p = sqlite3_column_blob(st, 1);
        const size_t n = static_cast<size_t>(sqlite3_column_bytes(st, 1));
        if (p && memmem(p, n, needle.data(), needle.size())) ids.push_back(static_cast<uint32_t>(sqlite3_column_int64(st, 0)));
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) {
        m_strError = sqlite3_errmsg(m_pDb);
        return false;
    }
    return !(fnCancelled && fnCancelled());
}

size_t CNoteIndex::NoteCount() const {
    sqlite3_stmt* st = nullptr;
    size_t n = 0;
    if (sqlite3_prepare_v2(m_pDb, "SELECT (SELECT count(*) FROM rows) + (SELECT count(*) FROM odd)", -1, &st,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        n = static_cast<size_t>(sqlite3_column_int64(st, 0));
    sqlite3_finalize(st);
    return n;
}

double CNoteIndex::StaleShare() const {
    return m_nRows > 0 ? static_cast<double>(m_nStale) / static_cast<double>(m_nRows) : 0.0;
}

}  // namespace notetext
