#include "capture/NoteIndex.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "NotebookGen.h"
#include "support/TestSupport.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"

using namespace notetext;

namespace {

CNote* AddNote(CNoteCata& cata, const std::string& name, const std::string& content, const char* ext = "htm") {
    CNote* note = cata.AddNewNote(name);
    note->m_strExt = ext;
    note->SetContent(std::vector<uint8_t>(content.begin(), content.end()));
    return note;
}

std::vector<const CNote*> Scanned(const CNoteCata& root, const CNoteQuery& q, CNoteTextCache& cache) {
    std::vector<const CNote*> found;
    SearchCategory(root, q, cache, [&](CNote* n) { found.push_back(n); });
    return found;
}

std::vector<const CNote*> Indexed(const CNoteCata& root, const CNoteQuery& q, CNoteIndex& index) {
    CNoteTextCache cache;
    std::vector<const CNote*> found;
    EXPECT_TRUE(SearchCategoryIndexed(root, q, index, cache, [&](CNote* n) { found.push_back(n); }));
    return found;
}

// Every query both ways: the index's rows are the scan's, in its order.
void ExpectSameAsScan(const CNoteCata& root, CNoteIndex& index, const std::vector<std::string>& texts) {
    CNoteTextCache cache;
    for (const std::string& text : texts) {
        for (bool bIgnoreCase : {false, true}) {
            for (bool bText : {true, false}) {
                const CNoteQuery q(text, bIgnoreCase, bText);
                EXPECT_EQ(Indexed(root, q, index), Scanned(root, q, cache))
                    << "'" << text << "'" << (bIgnoreCase ? " ignoring case" : "") << (bText ? "" : " names only");
            }
        }
    }
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A generated notebook of a few hundred pages and the cases prose lacks.
struct CBook {
    CClipVaultDoc doc;
    CNote* pStreet = nullptr;
    CNote* pGreek = nullptr;
    CBook() {
        benchgen::CGenOptions options;
        options.nNotes = 200;
        benchgen::CGenResult result;
        std::string error;
        EXPECT_TRUE(benchgen::GenerateNotebook(doc, options, result, error)) << error;
        CNoteCata& c = *doc.m_rootCata.AddNewSubCata("Odd");
        pStreet = AddNote(c, "Stadtplan", "<p>Die gro\xC3\x9F" "e Stra\xC3\x9F" "e am Flu\xC3\x9F</p>");
        pGreek = AddNote(c, "Greek", "<p>\xCE\x97 \xCE\x98\xCE\x91\xCE\x9B\xCE\x91\xCE\xA3\xCE\xA3\xCE\x91 "
                                     "\xCF\x83\xCE\xBF\xCF\x86\xCE\xAF\xCE\xB1</p>");  // Η ΘΑΛΑΣΣΑ σοφία
        AddNote(c, "tagged", "<p>riv<b>er</b>side and bl<p>ock</p></p>");
        AddNote(c, "quoted", "<p>she said &quot;river&quot; and *NEAR* OR (x)</p>");
        AddNote(c, "short", "<p>ab</p>");
        AddNote(c, "repeats", "<p>abababab xyzxyzxy aaaaaa</p>");
        // Three- and four-byte characters: trigrams count characters.
        AddNote(c, "Chinese", "<p>\xE6\x88\x91\xE4\xBB\xAC\xE6\xB2\xBF\xE7\x9D\x80\xE6\xB8\xAF\xE5\x8F\xA3 "
                              "\xF0\x9F\x98\x80\xF0\x9F\x98\x80x\xF0\x9F\x98\x80</p>");  // 我们沿着港口 😀😀x😀
        std::string bytes("river \xFF\xFE bank ", 14);
        bytes += '\0';
        bytes += " the end";
        AddNote(c, "bytes", bytes, "txt");
        AddNote(c, "plain text", "ALL CAPS river LINE\nsecond line", "txt");
        AddNote(c, "picture", "\x89PNG river", "png");
        // A number far above the others (a file written elsewhere).
        AddNote(c, "far", "<p>far river</p>")->m_nID = 4000000000u;
        // Two notes under one number (a file written elsewhere): scanned.
        CNote* pTwin = AddNote(c, "twin", "<p>twin kayak</p>");
        AddNote(c, "twin 2", "<p>other canoe</p>")->m_nID = pTwin->m_nID;
    }
};

}  // namespace

TEST(NoteIndex, AnswersExactlyWhatTheScanAnswers) {
    CBook book;
    TempDir dir;
    std::string error;
    auto index = CNoteIndex::Open(dir.File("i.idx"), &error);
    ASSERT_TRUE(index) << error;
    // Before a build the index is not complete: the search scans.
    ExpectSameAsScan(book.doc.m_rootCata, *index, {"river"});
    ASSERT_TRUE(BuildIndex(*index, book.doc.m_rootCata, CFileStamp()));
    EXPECT_TRUE(CNoteIndex::CanAnswer(CNoteQuery("riv", false, true)));
    EXPECT_TRUE(CNoteIndex::CanAnswer(CNoteQuery("\xC3\x9F", false, true)));
    EXPECT_FALSE(CNoteIndex::CanAnswer(CNoteQuery(std::string("\xFF\xFE bank", 7), false, true)));  // not UTF-8

    ExpectSameAsScan(book.doc.m_rootCata, *index,
                     {"river", "River", "the river", "journey", "Journey home", "zeppelin", "e. T", "STRASSE",
                      "stra\xC3\x9F" "e", "Stra\xC3\x9F" "e am", "gro\xC3\x9F", "\xCE\xB8\xCE\xAC\xCE\xBB", "\xCE\xB8\xCE\xB1\xCE\xBB",
                      "\xCE\x98\xCE\x91\xCE\x9B\xCE\x91\xCF\x83\xCF\x83\xCE\xB1", "\xCE\xA3\xCE\x9F\xCE\xA6",
                      "riverside", "r<b>e", "blo", "k bl", "\"river\"", "*NEAR* OR", "(x)", "caps river line",
                      "bank", std::string("\xFF\xFE bank", 7), "PNG", "twin", "kayak", "canoe", "Odd", "tagged",
                      "a", "ab", "R", "\xC3\x9F", "\xCE\xA3", "ss", "  ", "ababa", "bababab", "abababababab",
                      "zxyzx", "xyzxyzxy a", "aaaa", "aaaaaaa", "b xyz",
                      "\xE6\xB2\xBF\xE7\x9D\x80\xE6\xB8\xAF", "\xE6\xB8\xAF\xE5\x8F\xA3", "\xE6\x88\x91",
                      "\xE5\x8F\xA3 \xF0\x9F\x98\x80", "\xF0\x9F\x98\x80x\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80X"});

    // One or two characters come from the index too; at a text's very end
    // they start no trigram.
    for (const char* pText : {"the river", "ab", "q", "\xE6\xB8\xAF\xE5\x8F\xA3", "x\xF0\x9F\x98\x80"}) {
        std::vector<uint32_t> ids;
        EXPECT_TRUE(index->FindText(CNoteQuery(pText, false, true), ids)) << pText << ": " << index->LastError();
        EXPECT_FALSE(ids.empty()) << pText;
    }
    std::vector<uint32_t> ids;
    ASSERT_TRUE(index->FindText(CNoteQuery("x\xF0\x9F\x98\x80", false, true), ids));
    EXPECT_EQ(ids, std::vector<uint32_t>{book.doc.m_rootCata.GetSubCata("Odd")->GetNote("Chinese")->m_nID});

    // A long needle (a pasted paragraph) and the same with one letter changed.
    CNoteTextCache cache;
    const CNote* pFirst = Scanned(book.doc.m_rootCata, CNoteQuery("the", false, true), cache).at(0);
    std::string paragraph = NoteSearchText(*pFirst).substr(100, 900);
    ExpectSameAsScan(book.doc.m_rootCata, *index, {paragraph, paragraph.replace(450, 1, "#")});
    EXPECT_FALSE(Indexed(book.doc.m_rootCata, CNoteQuery(NoteSearchText(*pFirst).substr(100, 900), false, true), *index)
                     .empty());

    // Not vacuous: the folded search finds the German and Greek pages, the
    // exact one only where the case is right.
    EXPECT_EQ(Indexed(book.doc.m_rootCata, CNoteQuery("STRASSE", true, true), *index),
              std::vector<const CNote*>{book.pStreet});
    EXPECT_EQ(Indexed(book.doc.m_rootCata, CNoteQuery("\xCE\xB8\xCE\xB1\xCE\xBB", true, true), *index),
              std::vector<const CNote*>{book.pGreek});
    EXPECT_TRUE(Indexed(book.doc.m_rootCata, CNoteQuery("\xCE\xB8\xCE\xB1\xCE\xBB", false, true), *index).empty());
    EXPECT_GT(Indexed(book.doc.m_rootCata, CNoteQuery("river", false, true), *index).size(), 100u);

    // A cancelled search says so.
    EXPECT_FALSE(SearchCategoryIndexed(book.doc.m_rootCata, CNoteQuery("river", false, true), *index, cache,
                                       [](CNote*) {}, [] { return true; }));
}

TEST(NoteIndex, SurvivesReopenAndGoesStaleWhenTheFileChanges) {
    CBook book;
    TempDir dir;
    const std::string notebook = dir.File("book.vlt"), file = dir.File("SearchIndex/i.idx");
    WriteFile(notebook, "first");
    const CFileStamp stamp = CFileStamp::Of(notebook);
    ASSERT_TRUE(stamp.m_bValid);
    std::string error;
    {
        auto index = CNoteIndex::Open(file, &error);
        ASSERT_TRUE(index) << error;
        EXPECT_FALSE(index->IsCurrentFor(stamp));
        ASSERT_TRUE(BuildIndex(*index, book.doc.m_rootCata, stamp));
        EXPECT_TRUE(index->IsCurrentFor(stamp));
    }
    {
        auto index = CNoteIndex::Open(file, &error);
        ASSERT_TRUE(index) << error;
        EXPECT_TRUE(index->IsCurrentFor(stamp));
        EXPECT_TRUE(index->IsComplete());
        ExpectSameAsScan(book.doc.m_rootCata, *index, {"river", "STRASSE", "twin"});
        // A change not yet saved: the file no longer describes the notebook
        // file, though the index still answers for the notebook in memory.
        index->Put(book.pStreet->m_nID, "Hauptstrasse");
        EXPECT_FALSE(index->IsCurrentFor(stamp));
        EXPECT_TRUE(index->IsComplete());
    }
    {
        auto index = CNoteIndex::Open(file, &error);
        ASSERT_TRUE(index) << error;
        EXPECT_FALSE(index->IsCurrentFor(stamp));  // closed without a save
        ASSERT_TRUE(BuildIndex(*index, book.doc.m_rootCata, stamp));
    }
    // The notebook file written again (as another program or clipvault-cli
    // would): another stamp, so the index is built again.
    WriteFile(notebook + ".new", "second!");
    ASSERT_EQ(::rename((notebook + ".new").c_str(), notebook.c_str()), 0);
    auto index = CNoteIndex::Open(file, &error);
    ASSERT_TRUE(index) << error;
    EXPECT_FALSE(index->IsCurrentFor(CFileStamp::Of(notebook)));
    EXPECT_FALSE(index->IsCurrentFor(CFileStamp::Of(dir.File("missing.vlt"))));
    // Written in place with as many bytes: the time tells.
    const CFileStamp second = CFileStamp::Of(notebook);
    ::usleep(20000);
    WriteFile(notebook, "SECOND!");
    EXPECT_NE(CFileStamp::Of(notebook), second);
    EXPECT_EQ(CFileStamp::Of(notebook).m_nSize, second.m_nSize);
    index.reset();

    // Something else in its place is replaced by an empty index.
    WriteFile(file, std::string(8192, 'x'));
    index = CNoteIndex::Open(file, &error);
    ASSERT_TRUE(index) << error;
    EXPECT_FALSE(index->IsComplete());
    EXPECT_EQ(index->NoteCount(), 0u);

    // One file per notebook, the same one whichever path leads to it.
    const std::string a = CNoteIndex::IndexFileFor("/x", notebook), b = CNoteIndex::IndexFileFor("/x", dir.File("other.vlt"));
    ASSERT_EQ(::symlink(notebook.c_str(), dir.File("link.vlt").c_str()), 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, CNoteIndex::IndexFileFor("/x", dir.File("link.vlt")));
    EXPECT_EQ(a.rfind("/x/", 0), 0u);
    EXPECT_EQ(CNoteIndex::FolderBesideOptions("/home/u/.config/cv/AppOption.data"), "/home/u/.config/cv/SearchIndex");
}

TEST(NoteIndex, PutAndRemoveKeepItUp) {
    CBook book;
    TempDir dir;
    std::string error;
    auto index = CNoteIndex::Open(dir.File("i.idx"), &error);
    ASSERT_TRUE(index) << error;
    ASSERT_TRUE(BuildIndex(*index, book.doc.m_rootCata, CFileStamp()));
    CNoteCata& odd = *book.doc.m_rootCata.GetSubCata("Odd");
    auto put = [&](CNote* p) { index->Put(p->m_nID, NoteSearchText(*p)); };

    // Edited: the old text is gone, the new one found.
    book.pStreet->SetContent({'<', 'p', '>', 'Q', 'u', 'a', 'y', 's', 'i', 'd', 'e'});
    put(book.pStreet);
    // Captured: a new note.
    CNote* pNew = AddNote(odd, "new", "<p>Zebra crossing near the Quay</p>");
    put(pNew);
    // Deleted, several in one transaction.
    index->Begin();
    for (const char* name : {"tagged", "quoted"}) {
        CNote* p = odd.GetNote(name);
        index->Remove(p->m_nID);
        odd.DetachNote(name);
        delete p;
    }
    ASSERT_TRUE(index->Commit());
    // A page turned into a picture has no text: Put with none takes it out.
    CNote* pText = odd.GetNote("plain text");
    pText->m_strExt = "png";
    put(pText);
    ExpectSameAsScan(book.doc.m_rootCata, *index,
                     {"STRASSE", "quayside", "Quay", "zebra crossing", "riverside", "*NEAR*", "caps river", "the river"});
    EXPECT_EQ(Indexed(book.doc.m_rootCata, CNoteQuery("quay", true, true), *index),
              (std::vector<const CNote*>{book.pStreet, pNew}));
    EXPECT_GT(index->StaleShare(), 0.0);
    EXPECT_LT(index->StaleShare(), 0.1);
}

TEST(NoteIndex, ACancelledBuildLeavesItIncompleteAndTheSearchScans) {
    CBook book;
    TempDir dir;
    std::string error;
    auto index = CNoteIndex::Open(dir.File("i.idx"), &error);
    ASSERT_TRUE(index) << error;
    std::vector<std::pair<size_t, size_t>> calls;
    EXPECT_FALSE(BuildIndex(*index, book.doc.m_rootCata, CFileStamp(), [&](size_t nDone, size_t nTotal) {
        calls.emplace_back(nDone, nTotal);
        return nDone == 0;  // the user closes the notebook at the first report
    }));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].first, 0u);
    EXPECT_GT(calls[1].first, 0u);
    EXPECT_FALSE(index->IsComplete());
    // The part that was indexed must not pass for all of it.
    ExpectSameAsScan(book.doc.m_rootCata, *index, {"river", "STRASSE"});
    index.reset();
    index = CNoteIndex::Open(dir.File("i.idx"), &error);
    ASSERT_TRUE(index) << error;
    EXPECT_FALSE(index->IsComplete());

    // Built in full, it reports every note once at the end.
    calls.clear();
    ASSERT_TRUE(BuildIndex(*index, book.doc.m_rootCata, CFileStamp(), [&](size_t nDone, size_t nTotal) {
        calls.emplace_back(nDone, nTotal);
        return true;
    }));
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().first, calls.back().second);
    EXPECT_TRUE(index->IsComplete());
    // A search cancelled while SQLite works says so instead of answering part.
    std::unordered_set<uint32_t> ids;
    EXPECT_FALSE(index->FindText(CNoteQuery("the river", false, true), ids, [] { return true; }));
}
