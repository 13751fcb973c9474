#include "document/ClipVaultDoc.h"

#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include <gtest/gtest.h>

#include "document/RecordClipboard.h"
#include "support/TestSupport.h"
#include "platform/FileUtil.h"
#include "platform/StringIds.h"
#include "platform/TempFiles.h"

namespace {

Bytes ReadFile(const std::string& path) {
    Bytes b;
    EXPECT_TRUE(fileutil::ReadWholeFile(path, b)) << path;
    return b;
}

void WriteFile(const std::string& path, const Bytes& b) { ASSERT_TRUE(fileutil::WriteWholeFile(path, b.data(), b.size())); }

Bytes Header(const char* version = "02") { return Concat({{0x11}, StrBytes(std::string("VLTFILEVERSION:") + version)}); }
const Bytes kDocInfo = Concat({U16(0xFFFF), U16(2), U16(11), StrBytes("CVltDocInfo")});

// A notebook with nested categories, non-ASCII names, shared attachments and
// buckets holding several entries.
void Populate(CClipVaultDoc& doc) {
    CNoteCata* a = doc.m_rootCata.AddNewSubCata("Articles");
    CNoteCata* b = a->AddNewSubCata("\xE4\xB8\xAD\xE6\x96\x87");
    doc.MakeAttachment("vltlogo.gif", "http://h/logo.gif", Bytes(1000, 0x47));
    doc.MakeAttachment("vltsite.css", "http://h/site.css", StrBytes("body{}"));
    for (int i = 0; i < 60; ++i) {
        CNote* n = (i % 2 ? a : b)->AddNewNote("note " + std::to_string(i));
        n->m_strExt = "htm";
        n->m_strSource = "http://h/" + std::to_string(i) + ".htm";
        n->SetContent(StrBytes("<img src=vltlogo.gif> " + std::to_string(i)));
        n->m_attachNames = {"vltlogo.gif"};
        if (i % 5 == 0) n->m_attachNames.push_back("vltsite.css");
        if (i % 7 == 0) n->m_nStatus = kStatusHeld;
        n->m_tmDate = 1700000000 + i;
    }
    doc.m_strReserved1 = "kept";
    doc.m_strReserved2 = std::string("\x00\xFF", 2);
}

}  // namespace

TEST(NotebookFile, ANewNotebookSavedWithoutNotes) {
    TempDir dir;
    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.GetTitle(), "NewVLT");
    const std::string path = dir.File("empty.vlt");
    ASSERT_TRUE(doc.OnSaveDocument(path));
    const Bytes expected = Concat({Header(), U32(1), kDocInfo, {0x00}, U16(0), U16(0), {0x00}, U32(0), U16(0),
                                   {0x00}, {0x00}});
    EXPECT_EQ(Hex(ReadFile(path), 100), Hex(expected, 100));
    EXPECT_EQ(doc.GetTitle(), "empty");

    CClipVaultDoc back;
    ASSERT_TRUE(back.OnOpenDocument(path));
    EXPECT_EQ(back.m_nLoadError, -1);
    EXPECT_EQ(back.m_nFileVersion, 2);
    EXPECT_EQ(back.m_nNextID, 1u);
    EXPECT_NE(back.m_pDocInfo, nullptr);
    EXPECT_FALSE(back.IsLocked());
    EXPECT_FALSE(back.IsModified());
}

TEST(NotebookFile, TheFirstFormatHasNoHeaderAndNumbersNotesAsRead) {
    TempDir dir;
    auto note = [](const std::string& name, bool classRecord) {
        Bytes head = classRecord ? Concat({U16(0xFFFF), U16(1), U16(5), StrBytes("CNote")}) : U16(0x8001);
        return Concat({head, {0x03}, StrBytes("htm"), {static_cast<uint8_t>(name.size())}, StrBytes(name), U32(0),
                       U32(2), U32(0), {0x00}, U32(3), U16(1), {'x'}, U16(0)});
    };
    const Bytes file = Concat({{0x00}, U16(2), {0x01, 'a'}, note("a", true), {0x01, 'b'}, note("b", false), U16(0),
                               {0x00}, U32(0), U16(0), {0x00}, {0x00}});
    const std::string path = dir.File("old.VLT");
    WriteFile(path, file);
    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    EXPECT_EQ(doc.m_nLoadError, -1);
    ASSERT_NE(doc.m_pDocInfo, nullptr);
    CNote* a = doc.m_rootCata.GetNote("a");
    CNote* b = doc.m_rootCata.GetNote("b");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(std::min(a->m_nID, b->m_nID), 2u);
    EXPECT_EQ(std::max(a->m_nID, b->m_nID), 3u);
    EXPECT_EQ(doc.m_nNextID, 3u);
    EXPECT_EQ(a->m_nStatus, kStatusHeld) << "a failed download comes back held";
    EXPECT_EQ(doc.m_pendingNotes.size(), 2u);

    // Saved again it gains the header and keeps the numbers.
    ASSERT_TRUE(doc.OnSaveDocument(path));
    CClipVaultDoc again;
    ASSERT_TRUE(again.OnOpenDocument(path));
    EXPECT_EQ(again.m_rootCata.GetNote("a")->m_nID, a->m_nID);
    EXPECT_EQ(again.m_nNextID, 3u);
    const Bytes saved = ReadFile(path);
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 18), Header());
}

TEST(NotebookFile, ANoteNumberedPastTheCounterIsNeverGivenTwice) {
    TempDir dir;
    const std::string path = dir.File("numbers.vlt");
    {
        CClipVaultDoc doc;
        CNote* n = doc.m_rootCata.AddNewNote("from elsewhere");
        n->m_nID = 500;  // as another program might have written it
        ASSERT_TRUE(doc.OnSaveDocument(path));
    }
    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    EXPECT_EQ(doc.m_nNextID, 500u);
    EXPECT_EQ(doc.m_rootCata.AddNewNote("new")->m_nID, 501u);
}

TEST(NotebookFile, VersionNumberOfTheHeaderIsKept) {
    TempDir dir;
    const std::string path = dir.File("v7.vlt");
    WriteFile(path, Concat({Header("07"), U32(9), U16(0), {0x00}, U16(0), U16(0), {0x00}, U32(0), U16(0),
                            StrBytes("\x01r"), {0x00}}));
    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    EXPECT_EQ(doc.m_nLoadError, -1);
    EXPECT_EQ(doc.m_nFileVersion, 7);
    EXPECT_EQ(doc.m_nNextID, 9u);
    EXPECT_EQ(doc.m_pDocInfo, nullptr) << "a null information record stays null";
    EXPECT_EQ(doc.m_strReserved1, "r");
}

TEST(NotebookFile, OpenRefusesOtherFilesAndKeepsWhatADamagedOneHeld) {
    RecordingHost host;
    TempDir dir;
    CClipVaultDoc doc;
    EXPECT_FALSE(doc.OnOpenDocument(dir.File("notes.txt")));
    EXPECT_FALSE(doc.OnOpenDocument(dir.File("vlt")));
    EXPECT_FALSE(doc.OnOpenDocument(dir.File("missing.vlt")));
    EXPECT_FALSE(doc.OnOpenDocument(dir.Path() + "/.vlt" + "/../"));
    EXPECT_EQ(host.m_ids, (std::vector<unsigned>{ids::IDS_NOT_A_NOTEBOOK, ids::IDS_NOT_A_NOTEBOOK,
                                                 ids::IDS_FAILED_TO_OPEN_DOC, ids::IDS_NOT_A_NOTEBOOK}));

    CClipVaultDoc full;
    Populate(full);
    const std::string path = dir.File("full.vlt");
    ASSERT_TRUE(full.OnSaveDocument(path));
    Bytes bytes = ReadFile(path);
    bytes.resize(bytes.size() * 2 / 3);
    const std::string cut = dir.File("cut.vlt");
    WriteFile(cut, bytes);
    host.m_ids.clear();
    CClipVaultDoc damaged;
    ASSERT_TRUE(damaged.OnOpenDocument(cut)) << "a damaged notebook still opens";
    EXPECT_EQ(host.m_ids, std::vector<unsigned>{ids::IDS_NOTEBOOK_DAMAGED});
    EXPECT_EQ(damaged.m_nLoadError, CArchiveException::endOfFile);
    ASSERT_NE(damaged.m_rootCata.GetSubCata("Articles"), nullptr);
    EXPECT_GT(damaged.m_rootCata.GetSubCata("Articles")->m_notes.GetCount() +
                  damaged.m_rootCata.GetSubCata("Articles")->m_subCatas.GetCount(),
              0u);
    for (CNote* p : damaged.m_pendingNotes) EXPECT_EQ(p->m_pDocument, &damaged);
}

TEST(NotebookFile, RoundTripsFollowTheBucketOrderRule) {
    TempDir dir;
    CClipVaultDoc doc;
    Populate(doc);
    doc.SetPassword("secret");
    const std::string p1 = dir.File("one.vlt"), p2 = dir.File("two.vlt"), p3 = dir.File("three.vlt");
    ASSERT_TRUE(doc.OnSaveDocument(p1));
    CClipVaultDoc d2;
    ASSERT_TRUE(d2.OnOpenDocument(p1));
    EXPECT_EQ(d2.m_nLoadError, -1);
    EXPECT_TRUE(d2.IsLocked());
    EXPECT_EQ(d2.m_strReserved1, "kept");
    EXPECT_EQ(d2.m_strReserved2, std::string("\x00\xFF", 2));
    EXPECT_EQ(d2.m_attachments.GetCount(), 2u);
    EXPECT_EQ(d2.AttachmentNameForOrigin("http://h/site.css"), "vltsite.css");
    EXPECT_EQ(d2.m_pendingNotes.size(), 9u);
    ASSERT_TRUE(d2.OnSaveDocument(p2));
    CClipVaultDoc d3;
    ASSERT_TRUE(d3.OnOpenDocument(p2));
    ASSERT_TRUE(d3.OnSaveDocument(p3));
    const Bytes b1 = ReadFile(p1), b2 = ReadFile(p2), b3 = ReadFile(p3);
    EXPECT_EQ(b1.size(), b2.size());
    EXPECT_NE(b1, b2) << "one cycle reverses the order within each bucket";
    EXPECT_EQ(b1, b3) << "two cycles give the original bytes";
}

TEST(NotebookDocument, TitlesAndTheModifiedFlag) {
    CClipVaultDoc doc;
    doc.OnNewDocument();
    doc.SetPathName("/home/u/My.Notes.vlt");
    EXPECT_EQ(doc.GetTitle(), "My.Notes");
    doc.SetModifiedFlag();
    EXPECT_EQ(doc.GetTitle(), "My.Notes *");
    doc.SetPathName("C:\\data\\win.vlt");
    EXPECT_EQ(doc.GetTitle(), "win *");
    doc.SetModifiedFlag(false);
    EXPECT_EQ(doc.GetTitle(), "win");

    doc.SetPassword("12345678");
    EXPECT_TRUE(doc.IsLocked());
    EXPECT_EQ(doc.m_password.GetEnciphered().size(), 16u);
    EXPECT_EQ(doc.m_password.GetStoredLength(), 8u);
    doc.SetModifiedFlag();
    EXPECT_FALSE(doc.IsModified()) << "a locked notebook cannot be changed";
    doc.MarkModified();
    EXPECT_TRUE(doc.IsModified());
    doc.Unlock("wrong");
    EXPECT_TRUE(doc.IsLocked());
    doc.Unlock("12345678");
    EXPECT_FALSE(doc.IsLocked());
}

TEST(NotebookDocument, SavingAsksAndNeverLosesTheOldFile) {
    RecordingHost host;
    TempDir dir;
    CClipVaultDoc doc;
    doc.OnNewDocument();
    EXPECT_TRUE(doc.SaveModified()) << "nothing to ask";
    EXPECT_TRUE(host.m_ids.empty());
    doc.SetModifiedFlag();
    host.m_answers[ids::IDS_ASK_TO_SAVE] = host::IDCANCEL;
    EXPECT_FALSE(doc.SaveModified());
    host.m_answers[ids::IDS_ASK_TO_SAVE] = host::IDNO;
    EXPECT_TRUE(doc.SaveModified());
    host.m_answers[ids::IDS_ASK_TO_SAVE] = host::IDYES;
    EXPECT_FALSE(doc.SaveModified()) << "no path and nobody to ask for one";

    const std::string path = dir.File("n.vlt");
    ASSERT_TRUE(doc.OnSaveDocument(path));
    const Bytes before = ReadFile(path);
    doc.m_rootCata.AddNewNote("new one");
    doc.SetModifiedFlag();
    host.m_ids.clear();
    EXPECT_FALSE(doc.OnSaveDocument(dir.File("no/such/folder/n.vlt")));
    EXPECT_EQ(host.m_ids, std::vector<unsigned>{ids::IDS_FAILED_TO_SAVE_DOC});
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_TRUE(doc.SaveModified());
    EXPECT_FALSE(doc.IsModified());
    EXPECT_NE(ReadFile(path), before);

    // A locked notebook that was saved is no longer modified.
    doc.SetPassword("pw");
    doc.MarkModified();
    ASSERT_TRUE(doc.OnSaveDocument(path));
    EXPECT_FALSE(doc.IsModified());
}

TEST(NotebookDocument, CleanUpDeletesAttachmentsNoNoteLists) {
    CClipVaultDoc doc;
    doc.MakeAttachment("vltused.gif", "http://h/used.gif", {1});
    doc.MakeAttachment("vltunused.gif", "http://h/unused.gif", {2});
    doc.m_rootCata.AddNewSubCata("s")->AddNewNote("n")->m_attachNames = {"vltused.gif"};
    doc.CleanUpAttachments();
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.m_attachments.GetCount(), 1u);
    EXPECT_NE(doc.FindAttachment("vltused.gif"), nullptr);
    EXPECT_EQ(doc.AttachmentNameForOrigin("http://h/unused.gif"), "");
    doc.SetModifiedFlag(false);
    doc.CleanUpAttachments();
    EXPECT_FALSE(doc.IsModified()) << "nothing removed, nothing changed";
}

TEST(NotebookDocument, CleanUpKeepsWhatPagesAndTheirStoredFilesName) {
    CClipVaultDoc doc;
    auto bytes = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    auto attach = [&](const std::string& name, const std::string& text) {
        ASSERT_NE(doc.MakeAttachment(name, "http://h/" + name, bytes(text)), nullptr) << name;
    };
    // A page that lists one file and names others: a picture, a stylesheet
    // that imports another (with a font), a frame page with its picture.
    attach("vltlisted.gif", "GIF");
    attach("vltpicture.png", "PNG");
    attach("vltsite.css", "@import url(\"vltbase.css\"); body { background: url(vlt-1pic.png) }");
    attach("vltbase.css", "@font-face { src: url('vltfont.woff2') format('woff2') }");
    attach("vltfont.woff2", "wOF2");
    attach("vlt-1pic.png", "PNG");
    attach("vltframe.htm", "<html><body><img src=vltinner.gif></body></html>");
    attach("vltinner.gif", "GIF");
    // Named only inside files nothing keeps, or nowhere at all.
    attach("vltorphan.css", "p { background: url(vltorphanimg.gif) }");
    attach("vltorphanimg.gif", "GIF");
    attach("vltpic.png", "PNG");
    // Named by a page in UTF-16, and in an address with escapes.
    attach("vltwide.gif", "GIF");
    attach("vltmy pic.gif", "GIF");
    CNote* page = doc.m_rootCata.AddNewNote("page");
    page->m_strExt = "htm";
    page->m_nContentType = kContentHeld;
    page->m_attachNames = {"vltlisted.gif", "vltsite.css"};
    page->SetContent(bytes("<html><head><link rel=stylesheet href=\"vltsite.css\"></head><body>"
                            "<img src=\"vltpicture.png\"><iframe src=\"vltframe.htm#top\"></iframe>"
                            "<img src=\"vltmy%20pic.gif\"></body></html>"));
    CNote* wide = doc.m_rootCata.AddNewSubCata("more")->AddNewNote("wide");
    wide->m_strExt = "htm";
    wide->m_nContentType = kContentHeld;
    const std::string text = "<img src=\"vltwide.gif\">";
    std::vector<uint8_t> wideBytes = {0xFF, 0xFE};
    for (char c : text) wideBytes.insert(wideBytes.end(), {static_cast<uint8_t>(c), 0});
    wide->SetContent(std::move(wideBytes));

    doc.CleanUpAttachments();
    std::set<std::string> left;
    for (auto it = doc.m_attachments.begin(); it != doc.m_attachments.end(); ++it) left.insert(it.key());
    EXPECT_EQ(left, (std::set<std::string>{"vltlisted.gif", "vltpicture.png", "vltsite.css", "vltbase.css",
                                           "vltfont.woff2", "vlt-1pic.png", "vltframe.htm", "vltinner.gif",
                                           "vltwide.gif", "vltmy pic.gif"}));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.AttachmentNameForOrigin("http://h/vltbase.css"), "vltbase.css");
    EXPECT_EQ(doc.AttachmentNameForOrigin("http://h/vltorphan.css"), "");
    // The lists are left as they were: the page's own files are no longer
    // the clean-up's to drop.
    EXPECT_EQ(page->m_attachNames, (std::vector<std::string>{"vltlisted.gif", "vltsite.css"}));
}

TEST(NotebookDocument, WorkFolderIsUniqueAndFixedForTheDocument) {
    TempDir dir;
    const std::string oldRoot = tempfiles::TempRoot();
    tempfiles::SetTempRoot(dir.Path());
    ASSERT_EQ(::mkdir(dir.File("vltbook0_files").c_str(), 0700), 0);
    CClipVaultDoc doc;
    doc.SetPathName("/somewhere/book.vlt");
    EXPECT_EQ(doc.GetWorkFolder(false), "vltbook1_files");
    EXPECT_TRUE(fileutil::PathExists(dir.File("vltbook1_files")));
    EXPECT_EQ(doc.GetWorkFolder(true), dir.Path() + "/vltbook1_files");
    doc.SetPathName("/elsewhere/other.vlt");
    EXPECT_EQ(doc.GetWorkFolder(false), "vltbook1_files");
    CClipVaultDoc untitled;
    EXPECT_EQ(untitled.GetWorkFolder(false), "vltNewVLT0_files");
    tempfiles::SetTempRoot(oldRoot);
}

TEST(NotebookDocument, WorkingFilesAreNeverWrittenThroughPlantedLinks) {
    TempDir dir;
    const std::string oldRoot = tempfiles::TempRoot();
    const std::string outside = dir.File("outside");
    ASSERT_EQ(::mkdir(outside.c_str(), 0700), 0);
    const std::string root = dir.File("root");
    ASSERT_EQ(::mkdir(root.c_str(), 0700), 0);
    tempfiles::SetTempRoot(root);
    // The working folder's first name is a link to a folder that is not
    // there yet: it is passed over, not made through.
    ASSERT_EQ(::symlink((outside + "/made").c_str(), (root + "/vltbook0_files").c_str()), 0);
    CClipVaultDoc doc;
    doc.SetPathName("/somewhere/book.vlt");
    ASSERT_EQ(doc.GetWorkFolder(false), "vltbook1_files");
    const std::string work = doc.GetWorkFolder(true);
    struct stat st;
    ASSERT_EQ(::lstat(work.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    doc.MakeAttachment("vlta.gif", "http://h/a.gif", StrBytes("GIF89a"));
    doc.MakeAttachment("vltb.css", "http://h/b.css", StrBytes("p{}"));
    CNote* n = doc.m_rootCata.AddNewNote("page");
    n->m_strExt = "htm";
    n->SetContent(StrBytes("<img src=vlta.gif><link href=vltb.css>"));
    n->m_attachNames = {"vlta.gif", "vltb.css"};
    const std::string copy = n->GetWorkPath();
    ASSERT_EQ(copy.compare(0, work.size() + 4, work + "/vlt"), 0) << copy;
    // An attachment's file name taken by a link (to a file not there yet):
    // the link stays, nothing is made where it points.
    ASSERT_EQ(::symlink((outside + "/a.gif").c_str(), (work + "/vlta.gif").c_str()), 0);
    ASSERT_TRUE(n->WriteWorkingCopy());
    EXPECT_FALSE(fileutil::PathExists(outside + "/a.gif"));
    EXPECT_EQ(ReadFile(work + "/vltb.css"), StrBytes("p{}"));
    EXPECT_EQ(ReadFile(copy), n->Content());

    // The working copy swapped for a link to another file: that file keeps
    // its bytes, the write fails.
    const std::string victim = outside + "/victim.txt";
    WriteFile(victim, StrBytes("mine"));
    ASSERT_EQ(::unlink(copy.c_str()), 0);
    ASSERT_EQ(::symlink(victim.c_str(), copy.c_str()), 0);
    EXPECT_FALSE(n->WriteWorkingCopy());
    EXPECT_EQ(ReadFile(victim), StrBytes("mine"));
    n->m_strExt = "txt";
    EXPECT_FALSE(n->WriteWorkingCopy());
    EXPECT_EQ(ReadFile(victim), StrBytes("mine"));

    // The working folder itself swapped for a link: not used any more.
    ASSERT_EQ(::unlink(copy.c_str()), 0);
    ASSERT_EQ(::rename(work.c_str(), (root + "/moved").c_str()), 0);
    ASSERT_EQ(::symlink(outside.c_str(), work.c_str()), 0);
    EXPECT_EQ(doc.GetWorkFolder(true), "");

    // Without a root nothing is made anywhere.
    tempfiles::SetTempRoot("");
    CClipVaultDoc rootless;
    EXPECT_EQ(rootless.GetWorkFolder(true), "");
    EXPECT_EQ(rootless.m_rootCata.AddNewNote("n")->GetWorkPath(), "");
    tempfiles::SetTempRoot(oldRoot);
}

TEST(NotebookDocument, DeletingAndClosingKeepTheClipboardSafe) {
    CClipVaultDoc doc;
    CNoteCata* c = doc.m_rootCata.AddNewSubCata("c");
    CNote* n = c->AddNewNote("n");
    doc.DeleteItem(n);
    EXPECT_FALSE(c->FindNote("n"));
    EXPECT_TRUE(doc.IsModified());
    TheRecordClipboard().ClipCategory(c, 0);
    CClipVaultDoc other;
    other.PreCloseFrame();
    EXPECT_EQ(TheRecordClipboard().SingleCategory(), c);
    doc.PreCloseFrame();
    EXPECT_EQ(TheRecordClipboard().ClipState(), CRecordClipboard::stateEmpty);
}

TEST(NotebookFile, LargeAttachmentsAreReadWhenNeeded) {
    RecordingHost host;
    TempDir dir;
    Bytes big(200000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 31 + 7);
    const std::string path = dir.File("big.vlt");
    {
        CClipVaultDoc doc;
        doc.OnNewDocument();
        doc.MakeAttachment("vltbig.bin", "http://h/big.bin", big);
        doc.MakeAttachment("vltsmall.gif", "http://h/small.gif", {1, 2, 3});
        doc.m_rootCata.AddNewNote("n")->m_attachNames = {"vltbig.bin", "vltsmall.gif"};
        ASSERT_TRUE(doc.OnSaveDocument(path));
    }
    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    CNoteAttatch* a = doc.FindAttachment("vltbig.bin");
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->IsDeferred());
    EXPECT_EQ(a->DataSize(), big.size());
    EXPECT_FALSE(doc.FindAttachment("vltsmall.gif")->IsDeferred());

    // Saved over its own file (a rename), the notebook still reads its old
    // bytes through the open file, and the new file holds them all.
    ASSERT_TRUE(doc.OnSaveDocument(path));
    ASSERT_TRUE(doc.OnSaveDocument(path));
    std::unique_ptr<CNoteAttatch> clone(a->Clone());
    EXPECT_EQ(a->Data(), big);
    EXPECT_FALSE(a->IsDeferred());
    EXPECT_EQ(clone->Data(), big) << "a clone reads the same bytes";
    CClipVaultDoc again;
    ASSERT_TRUE(again.OnOpenDocument(path));
    EXPECT_EQ(again.FindAttachment("vltbig.bin")->Data(), big);

    // A file cut short in place by another program: the bytes cannot be
    // loaded and a save fails without touching the file on disk.
    const std::string other = dir.File("other.vlt");
    ASSERT_TRUE(again.OnSaveDocument(other));
    CClipVaultDoc victim;
    ASSERT_TRUE(victim.OnOpenDocument(other));
    ASSERT_EQ(::truncate(other.c_str(), 100), 0);
    EXPECT_FALSE(victim.FindAttachment("vltbig.bin")->LoadData());
    host.m_ids.clear();
    EXPECT_FALSE(victim.OnSaveDocument(dir.File("elsewhere.vlt")));
    EXPECT_EQ(host.m_ids, std::vector<unsigned>{ids::IDS_FAILED_TO_SAVE_DOC});
    EXPECT_FALSE(fileutil::PathExists(dir.File("elsewhere.vlt")));
}
