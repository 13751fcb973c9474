// A notebook's full-text index: the searchable text of every note
// (`NoteSearchText`) in an SQLite file of its own, so that a text search
// answers from the index in milliseconds instead of reading every page.
//
// The index answers exactly what the scan (`SearchCategory`) answers. Its
// tables use FTS5's trigram tokenizer without case folding: a needle of three
// or more characters is found where its trigrams stand one after another
// (see NoteIndexMatch.h), which is where the text contains it byte for byte.
// Each note is indexed twice, as it is and folded (`FoldCase`); folding goes
// code point by code point, so a folded needle is in the folded text exactly
// when the search ignoring case finds it. A needle of one or two characters
// is looked up among the trigrams that start with it and the last two
// characters of each text; texts
// the tokenizer would not read back byte for byte (not valid UTF-8, a NUL,
// U+FFFE/U+FFFF) and texts under three characters are kept whole beside the
// index and compared directly.
//
// The index keys on `CNote::m_nID`. The program gives every note a number of
// its own; a notebook that carries one number twice (written elsewhere) has
// those notes scanned instead (see `BuildIndex`).
//
// The file stays out of the notebook (whose format does not change); it lives
// in a folder of the program's own data, named after the notebook's path, and
// records the size, time and inode of the notebook file it describes. Any
// other stamp means the file changed outside the program: the index is built
// again.
//
// Threads: an object holds one SQLite connection; one thread at a time may
// use it (it may be handed to a worker and back). `BuildIndex` reads each
// note under its data lock (`NoteSearchText`), as the scan does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "capture/NoteText.h"

class CNote;
class CNoteCata;
struct sqlite3;

namespace notetext {
namespace indexmatch {
struct CPlan;
}

// What says that a file is still the one indexed.
struct CFileStamp {
    uint64_t m_nSize = 0;
    int64_t m_nMtimeNs = 0;
    uint64_t m_nInode = 0;
    bool m_bValid = false;  // false when the file could not be looked at

    static CFileStamp Of(const std::string& strPath);
    bool operator==(const CFileStamp& o) const {
        return m_bValid == o.m_bValid && m_nSize == o.m_nSize && m_nMtimeNs == o.m_nMtimeNs && m_nInode == o.m_nInode;
    }
    bool operator!=(const CFileStamp& o) const { return !(*this == o); }
};

class CNoteIndex {
public:
    // The folder for index files beside the given options file
    // (`CAppOptions::DefaultOptionsPath()`): "<its folder>/SearchIndex".
    static std::string FolderBesideOptions(const std::string& strOptionsFile);
    // The index file of a notebook in `strFolder`: named by a hash of the
    // notebook's real path, so two notebooks never share one and a notebook
    // reached by another path (a link) finds its own.
    static std::string IndexFileFor(const std::string& strFolder, const std::string& strNotebookPath);

    // Opens (creating the file and its folder when missing) an index. A file
    // that is not a readable index of this kind is replaced by an empty one.
    // Null with `*pError` set when no index can be kept there, or another
    // process holds it locked.
    static std::unique_ptr<CNoteIndex> Open(const std::string& strIndexFile, std::string* pError);
    // Deletes an index file with SQLite's files beside it: an encrypted
    // notebook keeps no plain copy of its texts, so its old index goes.
    static void RemoveFiles(const std::string& strIndexFile);
    ~CNoteIndex();
    CNoteIndex(const CNoteIndex&) = delete;
    CNoteIndex& operator=(const CNoteIndex&) = delete;

    const std::string& File() const { return m_strFile; }

    // Whether the stored index describes the notebook file as it is now:
    // it was completed for exactly this stamp, and nothing was put in or
    // taken out since (changes not yet saved make it stale for the file).
    bool IsCurrentFor(const CFileStamp& stamp) const;
    // Whether the index holds every note: after a build, or as the file
    // recorded it (check IsCurrentFor against the notebook file before
    // relying on a stored index), and kept up since by Put and Remove.
    // SearchCategoryIndexed scans instead while this is false.
    bool IsComplete() const { return m_bComplete; }

    // Empties the index (before a build).
    void Reset();
    // Changes are grouped: between Begin and Commit they are one
    // transaction. Put and Remove outside a Begin/Commit commit on their own.
    void Begin();
    bool Commit();
    // Sets the text of a note (replacing what it had); an empty text takes
    // the note out.
    void Put(uint32_t nNoteID, const std::string& strUtf8Text);
    void Remove(uint32_t nNoteID);
    // The index holds every note of the notebook; records `stamp` as the
    // file it describes (after a build, and after the program saved the
    // notebook with the index kept up). Commits whatever was begun.
    void MarkComplete(const CFileStamp& stamp);
    // Ids whose notes must be scanned: their number is not the note's alone.
    void SetScannedIDs(const std::vector<uint32_t>& ids);
    bool IsScannedID(uint32_t nNoteID) const { return m_scanned.count(nNoteID) != 0; }
    bool HasScannedIDs() const { return !m_scanned.empty(); }

    // Whether the index can answer this query's text part (valid UTF-8, as
    // users type); otherwise the text is scanned.
    static bool CanAnswer(const CNoteQuery& query);
    // The notes whose text contains the query's text (its case as asked).
    // False when the index cannot answer it (CanAnswer), an SQLite error, or
    // `fnCancelled` said so; `ids` is then incomplete.
    bool FindText(const CNoteQuery& query, std::unordered_set<uint32_t>& ids,
                  const std::function<bool()>& fnCancelled = {});
    // The same, appended to a list (in no order, each note once).
    bool FindText(const CNoteQuery& query, std::vector<uint32_t>& ids, const std::function<bool()>& fnCancelled = {});

    // How many notes have text in the index.
    size_t NoteCount() const;
    // The share of the index's rows that belong to texts replaced or removed
    // since the last build (they are skipped, but take room): above about
    // one half, building again is worth it.
    double StaleShare() const;
    std::string LastError() const { return m_strError; }

private:
    explicit CNoteIndex(std::string strFile);
    bool Init();
    bool CreateTextTables();
    bool PrepareInserts();
    static void OrderByRarity(indexmatch::CPlan& plan);
    bool FindShort(const std::string& table, const std::string& needle, std::vector<uint32_t>& ids);
    bool CollectIDs(const std::string& sql, const std::string& match, const indexmatch::CPlan* pPlan,
                    std::vector<uint32_t>& ids);
    bool Exec(const char* sql);
    bool LoadState();
    void SetMeta(const char* key, const std::string& value);
    bool WriteRow(uint32_t nNoteID, const std::string& text);
    void DropRow(uint32_t nNoteID);
    void BeginIfNeeded();
    void CommitIfAuto();

    std::string m_strFile;
    sqlite3* m_pDb = nullptr;
    std::string m_strError;
    bool m_bComplete = false;
    bool m_bStampStored = false;  // whether the file still records a stamp
    CFileStamp m_stamp;
    int m_nExplicit = 0;  // Begin() depth
    bool m_bInTxn = false;
    int64_t m_nNextRow = 1;
    int64_t m_nRows = 0;   // rows written since the last Reset
    int64_t m_nStale = 0;  // of those, replaced or removed
    std::unordered_set<uint32_t> m_scanned;
    struct CStatements;
    std::unique_ptr<CStatements> m_pStmts;
};

// Builds the index of a notebook in one go: Reset, every note's text, then
// MarkComplete(stamp). `fnProgress` (may be empty) is called now and then with
// how many notes were read of how many; false cancels (the index is then left
// incomplete). Notes that share one id are left to the scan.
bool BuildIndex(CNoteIndex& index, const CNoteCata& root, const CFileStamp& stamp,
                const std::function<bool(size_t nDone, size_t nTotal)>& fnProgress = {});

// SearchCategory answered from the index: the same notes, in the same order
// (a category's notes in map order, then each subcategory). Names are
// matched as the scan matches them; texts come from the index when it is
// complete and can answer, else from scanning with `cache`. Returns false
// when cancelled (the notes found so far were already reported).
bool SearchCategoryIndexed(const CNoteCata& cata, const CNoteQuery& query, CNoteIndex& index, CNoteTextCache& cache,
                           const std::function<void(CNote*)>& fnFound,
                           const std::function<bool()>& fnCancelled = {});

}  // namespace notetext
