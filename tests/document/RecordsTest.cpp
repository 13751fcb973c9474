#include "document/Records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "capture/ImportItem.h"
#include "document/ClipVaultDoc.h"
#include "support/TestSupport.h"
#include "platform/FileUtil.h"
#include "platform/StringIds.h"

namespace {

Bytes StoreTree(CClipVaultDoc& doc) {
    return StoreBytes([&](CArchive& ar) {
        ar.m_pDocument = &doc;
        doc.m_rootCata.Serialize(ar);
    });
}

// Reads a root category's fields; returns the load error or -1.
int LoadTree(CClipVaultDoc& doc, const Bytes& b) {
    LoadArchive la(b);
    la.m_ar.m_pDocument = &doc;
    int cause = -1;
    try {
        doc.m_rootCata.Serialize(la.m_ar);
    } catch (CArchiveException& e) {
        cause = e.m_cause;
    }
    doc.ReleaseDiscarded(la.m_ar);
    return cause;
}

// A canonical description of a tree (keys sorted), for comparing trees.
std::string Describe(const CNoteCata& c, const std::string& indent = "") {
    std::map<std::string, std::string> lines;
    for (auto it = c.m_notes.begin(); it != c.m_notes.end(); ++it) {
        const CNote* n = it.value();
        std::string s = indent + "note " + it.key() + " name=" + n->m_strName + " ext=" + n->m_strExt +
                        " id=" + std::to_string(n->m_nID) + " status=" + std::to_string(n->m_nStatus.load()) +
                        " type=" + std::to_string(n->m_nContentType) + " kind=" + std::to_string(n->m_nSourceKind) +
                        " src=" + n->m_strSource + " date=" + std::to_string(n->m_tmDate) +
                        " content=" + std::string(n->Content().begin(), n->Content().end()) + " att=";
        for (const auto& a : n->m_attachNames) s += a + ",";
        EXPECT_EQ(n->m_pParent, &c);
        lines["n" + it.key()] = s + "\n";
    }
    for (auto it = c.m_subCatas.begin(); it != c.m_subCatas.end(); ++it) {
        EXPECT_EQ(it.value()->m_pParent, &c);
        EXPECT_EQ(it.value()->m_strName, it.key());
        lines["c" + it.key()] = indent + "cata " + it.key() + "\n" + Describe(*it.value(), indent + "  ");
    }
    std::string out;
    for (auto& [k, v] : lines) out += v;
    return out;
}

CNote* AddNote(CNoteCata* c, const std::string& name, int32_t status = kStatusDone) {
    CNote* n = c->AddNewNote(name);
    n->m_strExt = "htm";
    n->m_strSource = "http://h/" + name;
    n->SetContent(Bytes{'<', 'p', '>'});
    n->m_nStatus = status;
    n->m_tmDate = 1600000000;
    return n;
}

bool Listed(const CClipVaultDoc& doc, const CNote* n) {
    return std::find(doc.m_pendingNotes.begin(), doc.m_pendingNotes.end(), n) != doc.m_pendingNotes.end();
}

}  // namespace

TEST(RecordsStoredForm, NoteFieldsInOrder) {
    CClipVaultDoc doc;
    CNote* n = doc.m_rootCata.AddNewNote("N");
    n->m_strExt = "htm";
    n->m_tmDate = 0x01020304;
    n->m_nContentType = 2;
    n->m_nSourceKind = 0;
    n->m_strSource = "u";
    n->m_nStatus = kStatusFailed;
    n->SetContent({'x', 'y'});
    n->m_attachNames = {"vlta.gif"};
    EXPECT_EQ(n->m_nID, 2u);  // the first note of a new notebook
    Bytes b = StoreTree(doc);
    Bytes expected = Concat({{0x00},                          // root name
                             U16(1), {0x01, 'N'},             // one note, key "N"
                             U16(0xFFFF), U16(2), U16(5), StrBytes("CNote"),
                             {0x03, 'h', 't', 'm'}, {0x01, 'N'}, U32(0x01020304), U32(2), U32(0), {0x01, 'u'},
                             U32(3), U32(2), U16(2), {'x', 'y'}, U16(1), {0x08}, StrBytes("vlta.gif"),
                             U16(0)});                        // no subcategories
    EXPECT_EQ(Hex(b, 200), Hex(expected, 200));
}

TEST(RecordsStatus, RunningAndStoppingAreNotKeptQueuedAndFailedComeBackHeld) {
    CClipVaultDoc doc;
    for (int s = 0; s <= 6; ++s) AddNote(&doc.m_rootCata, "s" + std::to_string(s), s);
    Bytes b = StoreTree(doc);

    CClipVaultDoc back;
    ASSERT_EQ(LoadTree(back, b), -1);
    const int expected[] = {0, 6, 0, 6, 0, 0, 6};
    for (int s = 0; s <= 6; ++s) {
        CNote* n = back.m_rootCata.GetNote("s" + std::to_string(s));
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->m_nStatus, expected[s]) << "stored status " << s;
        EXPECT_EQ(Listed(back, n), expected[s] == 6) << "stored status " << s;
    }
    EXPECT_EQ(back.m_pendingNotes.size(), 3u);
}

TEST(RecordsNumbers, SchemaOneNotesAreNumberedAsReadSchemaTwoKeepTheirs) {
    auto noteFields = [](const std::string& name, bool withId, uint32_t id) {
        Bytes b = Concat({{0x03, 'h', 't', 'm'}, {static_cast<uint8_t>(name.size())}, StrBytes(name), U32(0), U32(2),
                          U32(0), {0x00}, U32(0)});
        if (withId) b = Concat({b, U32(id)});
        return Concat({b, U16(0), U16(0)});
    };
    // Root with three notes: two of schema 1 (class record says 1), then a
    // schema 2 note that belongs to a second class record.
    Bytes b = Concat({{0x00}, U16(2),
                      {0x01, 'a'}, U16(0xFFFF), U16(1), U16(5), StrBytes("CNote"), noteFields("a", false, 0),
                      {0x01, 'b'}, U16(0x8001), noteFields("b", false, 0), U16(0)});
    CClipVaultDoc doc;
    doc.m_nNextID = 7;
    ASSERT_EQ(LoadTree(doc, b), -1);
    std::vector<uint32_t> ids = {doc.m_rootCata.GetNote("a")->m_nID, doc.m_rootCata.GetNote("b")->m_nID};
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<uint32_t>{8, 9}));
    EXPECT_EQ(doc.m_nNextID, 9u);

    // Written back they are schema 2 with their numbers; reading does not
    // touch the counter.
    Bytes again = StoreTree(doc);
    CClipVaultDoc doc2;
    doc2.m_nNextID = 100;
    ASSERT_EQ(LoadTree(doc2, again), -1);
    EXPECT_EQ(doc2.m_nNextID, 100u);
    EXPECT_EQ(doc2.m_rootCata.GetNote("a")->m_nID, doc.m_rootCata.GetNote("a")->m_nID);
}

TEST(RecordsTree, WrittenAndReadBackEqualAndTwoCyclesGiveTheSameBytes) {
    CClipVaultDoc doc;
    CNoteCata* news = doc.m_rootCata.AddNewSubCata("News");
    CNoteCata* deep = news->AddNewSubCata("\xE4\xB8\xAD\xE6\x96\x87");  // non-ASCII name
    CNoteCata* empty = doc.m_rootCata.AddNewSubCata("Empty");
    (void)empty;
    // Enough notes that buckets hold several entries.
    for (int i = 0; i < 40; ++i) AddNote(news, "n" + std::to_string(i), i % 7 == 3 ? kStatusHeld : kStatusDone);
    CNote* shared1 = AddNote(deep, "\xC3\xA9t\xC3\xA9");
    CNote* shared2 = AddNote(&doc.m_rootCata, "top");
    shared1->m_attachNames = {"vlta.gif", "vltb.css"};
    shared2->m_attachNames = {"vlta.gif"};

    const Bytes b1 = StoreTree(doc);
    CClipVaultDoc d2;
    ASSERT_EQ(LoadTree(d2, b1), -1);
    EXPECT_EQ(Describe(d2.m_rootCata), Describe(doc.m_rootCata));
    const Bytes b2 = StoreTree(d2);
    EXPECT_EQ(b2.size(), b1.size());
    EXPECT_NE(b2, b1) << "reading reverses the order within each bucket";
    CClipVaultDoc d3;
    ASSERT_EQ(LoadTree(d3, b2), -1);
    EXPECT_EQ(StoreTree(d3), b1);
    EXPECT_EQ(d3.m_pendingNotes.size(), 6u);
}

TEST(RecordsNames, UniqueNamesTryHyphenNumbers) {
    CClipVaultDoc doc;
    CNoteCata& root = doc.m_rootCata;
    EXPECT_EQ(root.UniqueNameForNote("page"), "page");
    root.AddNewNote("page");
    EXPECT_EQ(root.UniqueNameForNote("page"), "page-1");
    root.AddNewNote("page-1");
    EXPECT_EQ(root.UniqueNameForNote("page"), "page-2");
    // Notes and subcategories are separate name spaces.
    EXPECT_EQ(root.UniqueNameForSubCata("page"), "page");
    root.AddNewSubCata("page");
    EXPECT_EQ(root.UniqueNameForSubCata("page"), "page-1");
    // Names are exact byte strings.
    EXPECT_EQ(root.UniqueNameForNote("Page"), "Page");
}

TEST(RecordsNames, TakenNamesAreRefusedWithMessage) {
    RecordingHost host;
    CClipVaultDoc doc;
    CNoteCata& root = doc.m_rootCata;
    CNote* a = root.AddNewNote("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->m_nContentType, kContentHeld);
    EXPECT_EQ(a->m_nSourceKind, kSourceWritten);
    EXPECT_EQ(a->m_pDocument, &doc);
    EXPECT_EQ(root.AddNewNote("a"), nullptr);
    EXPECT_EQ(root.AddNewSubCata("c") != nullptr, true);
    EXPECT_EQ(root.AddNewSubCata("c"), nullptr);
    EXPECT_EQ(host.m_ids, (std::vector<unsigned>{ids::IDS_NAME_TAKEN, ids::IDS_NAME_TAKEN}));

    // Attach without the unique flag refuses; with it the name changes.
    auto loose = std::make_unique<CNote>();
    EXPECT_FALSE(root.AttachNote(loose.get(), "a", false));
    EXPECT_EQ(loose->m_pParent, nullptr);
    ASSERT_TRUE(root.AttachNote(loose.get(), "a", true));
    CNote* attached = loose.release();
    EXPECT_EQ(attached->m_strName, "a-1");
    EXPECT_EQ(root.GetNote("a-1"), attached);
    EXPECT_EQ(attached->m_pParent, &root);

    // A rename onto a taken name fails and the note stays where it was.
    host.m_ids.clear();
    EXPECT_FALSE(attached->Rename("a"));
    EXPECT_EQ(host.m_ids, (std::vector<unsigned>{ids::IDS_NAME_TAKEN}));
    EXPECT_EQ(root.GetNote("a-1"), attached);
    EXPECT_EQ(root.GetNote("a"), a);
    EXPECT_TRUE(attached->Rename("b"));
    EXPECT_EQ(root.GetNote("b"), attached);
    EXPECT_FALSE(root.FindNote("a-1"));
    EXPECT_EQ(attached->m_strName, "b");

    CNoteCata* c = root.GetSubCata("c");
    CNoteCata* d = root.AddNewSubCata("d");
    EXPECT_FALSE(d->Rename("c"));
    EXPECT_TRUE(d->Rename("e"));
    EXPECT_EQ(root.GetSubCata("e"), d);
    EXPECT_EQ(root.GetSubCata("c"), c);
    EXPECT_FALSE(root.Rename("x")) << "the root has no parent";
}

TEST(RecordsTree, DetachInsideAndDelete) {
    CClipVaultDoc doc;
    CNoteCata* a = doc.m_rootCata.AddNewSubCata("a");
    CNoteCata* b = a->AddNewSubCata("b");
    CNoteCata* c = b->AddNewSubCata("c");
    EXPECT_TRUE(c->IsInside(a));
    EXPECT_TRUE(c->IsInside(&doc.m_rootCata));
    EXPECT_FALSE(a->IsInside(c));
    EXPECT_FALSE(a->IsInside(a));

    CNote* held = AddNote(c, "held");
    doc.ListForDownload(held, false);
    CNote* queued = AddNote(b, "queued");
    doc.ListForDownload(queued, true);
    EXPECT_EQ(held->m_nStatus, kStatusHeld);
    EXPECT_NE(queued->m_nStatus, kStatusHeld) << "started (its worker fails at once: no capture here)";
    CNote* other = AddNote(&doc.m_rootCata, "other");
    doc.ListForDownload(other, false);
    ASSERT_EQ(doc.m_pendingNotes.size(), 3u);

    // Deleting a category takes its notes out of the download list.
    EXPECT_TRUE(b->Delete());
    EXPECT_FALSE(a->FindSubCata("b"));
    EXPECT_EQ(doc.m_pendingNotes, std::vector<CNote*>{other});
    EXPECT_FALSE(doc.m_rootCata.Delete());

    // So does deleting a note.
    EXPECT_TRUE(other->Delete());
    EXPECT_TRUE(doc.m_pendingNotes.empty());
    EXPECT_FALSE(doc.m_rootCata.FindNote("other"));

    CNoteCata* gone = doc.m_rootCata.DetachSubCata(a);
    ASSERT_EQ(gone, a);
    EXPECT_EQ(a->m_pParent, nullptr);
    EXPECT_EQ(doc.m_rootCata.DetachSubCata(a), nullptr);
    delete gone;
}

TEST(RecordsCopy, IntoAnotherNotebookReusesAttachmentsByOrigin) {
    RecordingHost host;
    CClipVaultDoc src, dst;
    src.MakeAttachment("vltlogo.gif", "http://h/logo.gif", {'G', 'I', 'F'});
    src.MakeAttachment("vltstyle.css", "http://h/style.css", {'c', 's', 's'});
    CNoteCata* cat = src.m_rootCata.AddNewSubCata("cat");
    CNote* n = AddNote(cat, "page");
    n->m_attachNames = {"vltlogo.gif", "vltstyle.css", "vltgone.png"};
    n->m_nStatus = kStatusHeld;

    // The target already has the logo under another name.
    dst.MakeAttachment("vlt-3logo.gif", "http://h/logo.gif", {'G', 'I', 'F'});
    dst.MakeAttachment("vltstyle.css", "http://elsewhere/style.css", {'x'});
    dst.m_nNextID = 40;

    CNote* copy = n->CopyTo(&dst);
    ASSERT_NE(copy, nullptr);
    std::unique_ptr<CNote> owned(copy);
    EXPECT_EQ(copy->m_pDocument, &dst);
    EXPECT_EQ(copy->m_nID, 41u);
    EXPECT_EQ(copy->m_strName, "page");
    EXPECT_EQ(copy->m_nStatus, kStatusHeld);
    EXPECT_EQ(copy->Content(), n->Content());
    EXPECT_EQ(copy->m_pParent, nullptr);
    // Logo reused, stylesheet cloned under a fresh name, missing name dropped.
    EXPECT_EQ(copy->m_attachNames, (std::vector<std::string>{"vlt-3logo.gif", "vlt-1style.css"}));
    EXPECT_EQ(dst.m_attachments.GetCount(), 3u);
    ASSERT_NE(dst.FindAttachment("vlt-1style.css"), nullptr);
    EXPECT_EQ(dst.FindAttachment("vlt-1style.css")->Data(), (Bytes{'c', 's', 's'}));
    EXPECT_EQ(dst.AttachmentNameForOrigin("http://h/style.css"), "vlt-1style.css");

    // Within the same notebook the names are kept as they are.
    CNote* same = n->CopyTo(&src);
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(same->m_attachNames, (std::vector<std::string>{"vltlogo.gif", "vltstyle.css"}));
    EXPECT_NE(same->m_nID, n->m_nID);
    delete same;

    // A category copy is deep and numbers every note in the target.
    CNoteCata* sub = cat->AddNewSubCata("sub");
    AddNote(sub, "inner");
    CNoteCata* catCopy = cat->CopyTo(&dst);
    ASSERT_NE(catCopy, nullptr);
    ASSERT_TRUE(dst.m_rootCata.AttachSubCata(catCopy, catCopy->m_strName, true));
    EXPECT_EQ(Describe(*catCopy).find("vltgone"), std::string::npos);
    ASSERT_NE(catCopy->GetSubCata("sub"), nullptr);
    EXPECT_EQ(catCopy->GetSubCata("sub")->GetNote("inner")->m_pDocument, &dst);
    EXPECT_EQ(catCopy->GetSubCata("sub")->m_pDocument, &dst);
    EXPECT_EQ(dst.m_attachments.GetCount(), 3u) << "the second copy reuses the clones";
    EXPECT_TRUE(host.m_ids.empty());
}

TEST(RecordsCopy, AttachmentsWithoutOriginAreNeverMerged) {
    CClipVaultDoc src, dst;
    src.MakeAttachment("vltpasted.png", "", {'A'});
    dst.MakeAttachment("vltother.png", "", {'B'});
    CNote* n = AddNote(&src.m_rootCata, "n");
    n->m_attachNames = {"vltpasted.png"};
    std::unique_ptr<CNote> copy(n->CopyTo(&dst));
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->m_attachNames.size(), 1u);
    EXPECT_EQ(dst.FindAttachment(copy->m_attachNames[0])->Data(), (Bytes{'A'}));
}

TEST(RecordsAttachments, UseCountsAndData) {
    TempDir dir;
    CClipVaultDoc doc;
    CNoteAttatch* a = doc.MakeAttachment("vlta.gif", "http://h/a.gif", {'1'});
    CNoteAttatch* b = doc.MakeAttachment("vltb.gif", "http://h/b.gif", {'2'});
    AddNote(&doc.m_rootCata, "x")->m_attachNames = {"vlta.gif", "vltb.gif"};
    AddNote(doc.m_rootCata.AddNewSubCata("s"), "y")->m_attachNames = {"vlta.gif", "vltmissing.gif"};
    doc.m_rootCata.CountAttachmentUse();
    EXPECT_EQ(a->m_nRefCount, 2);
    EXPECT_EQ(b->m_nRefCount, 1);

    // A name already taken is never replaced: another note uses those bytes.
    CNoteAttatch* c = doc.MakeAttachment("vlta.gif", "http://h2/a.gif", {'3'});
    EXPECT_EQ(c->m_strName, "vlt-1a.gif");
    EXPECT_EQ(doc.FindAttachment("vlta.gif"), a);

    const std::string file = dir.File("data.bin");
    ASSERT_TRUE(fileutil::WriteWholeFile(file, "abc", 3));
    CNoteAttatch fromFile;
    EXPECT_TRUE(fromFile.SetData(file, nullptr));
    EXPECT_EQ(fromFile.Data(), (Bytes{'a', 'b', 'c'}));
    EXPECT_EQ(fromFile.m_strOrigin, file);
    EXPECT_FALSE(fromFile.SetData(dir.File("nothing"), nullptr));
    EXPECT_TRUE(fromFile.Data().empty());

    // WriteIfMissing leaves an existing file alone.
    EXPECT_TRUE(a->WriteIfMissing(file));
    std::vector<uint8_t> onDisk;
    fileutil::ReadWholeFile(file, onDisk);
    EXPECT_EQ(onDisk, (Bytes{'a', 'b', 'c'}));
    EXPECT_TRUE(a->WriteIfMissing(dir.File("a.gif")));
    fileutil::ReadWholeFile(dir.File("a.gif"), onDisk);
    EXPECT_EQ(onDisk, (Bytes{'1'}));
    EXPECT_FALSE(a->WriteIfMissing(dir.File("no/such/folder/a.gif")));

    std::unique_ptr<CNoteAttatch> clone(a->Clone());
    EXPECT_EQ(clone->m_strName, a->m_strName);
    EXPECT_EQ(clone->m_strOrigin, a->m_strOrigin);
    EXPECT_EQ(clone->Data(), a->Data());
}

TEST(RecordsAttachments, UniqueNamesKeepTheFileName) {
    CClipVaultDoc doc;
    EXPECT_EQ(doc.UniqueAttachmentName("http://h/img/logo.gif"), "vltlogo.gif");
    doc.MakeAttachment("vltlogo.gif", "http://h/img/logo.gif", {});
    EXPECT_EQ(doc.UniqueAttachmentName("http://other/logo.gif"), "vlt-1logo.gif");
    EXPECT_EQ(doc.UniqueAttachmentName("C:\\pics\\vltpic.png"), "vltpic.png");
    auto* att = new CNoteAttatch;
    att->m_strName = "logo.gif";
    att->m_strOrigin = "http://third/logo.gif";
    ASSERT_TRUE(doc.AddAttachment(att));
    EXPECT_EQ(att->m_strName, "vlt-1logo.gif");
    EXPECT_EQ(doc.AttachmentNameForOrigin("http://third/logo.gif"), "vlt-1logo.gif");

    // A reserved name is handed to nobody else, not even to a capture that
    // was given it just before the reservation, until it is made or released.
    const std::string early = doc.UniqueAttachmentName("http://h/style.xsl");
    EXPECT_EQ(doc.ReserveAttachmentName("http://h/style.xsl"), "vltstyle.xsl");
    EXPECT_EQ(doc.UniqueAttachmentName("http://i/style.xsl"), "vlt-1style.xsl");
    EXPECT_EQ(doc.MakeAttachment(early, "http://i/style.xsl", {})->m_strName, "vlt-1style.xsl");
    EXPECT_EQ(doc.MakeReservedAttachment("vltstyle.xsl", "http://h/style.xsl", {})->m_strName, "vltstyle.xsl");
    EXPECT_EQ(doc.ReserveAttachmentName("x/a.css"), "vlta.css");
    doc.ReleaseAttachmentName("vlta.css");
    EXPECT_EQ(doc.UniqueAttachmentName("y/a.css"), "vlta.css");
}

TEST(RecordsDamagedInput, WhatWasReadStaysAndTheNoteCutShortIsDropped) {
    CClipVaultDoc doc;
    CNoteCata* a = doc.m_rootCata.AddNewSubCata("a");
    for (int i = 0; i < 5; ++i) AddNote(a, "n" + std::to_string(i), kStatusHeld);
    const Bytes full = StoreTree(doc);
    // Cut at every length: never a crash or leak, and the download list only
    // ever holds notes of the tree.
    for (size_t len = 0; len < full.size(); ++len) {
        CClipVaultDoc back;
        const int cause = LoadTree(back, Bytes(full.begin(), full.begin() + static_cast<ptrdiff_t>(len)));
        // (a class name cut short is a bad class)
        ASSERT_TRUE(cause == CArchiveException::endOfFile || cause == CArchiveException::badClass) << len;
        CNoteCata* ba = back.m_rootCata.GetSubCata("a");
        const size_t notes = ba ? ba->m_notes.GetCount() : 0;
        EXPECT_EQ(back.m_pendingNotes.size(), notes) << len;
        for (CNote* p : back.m_pendingNotes) EXPECT_EQ(ba->GetNote(p->m_strName), p);
    }
    // Cut inside the last note: the category and the four whole notes stay.
    CClipVaultDoc back;
    LoadTree(back, Bytes(full.begin(), full.end() - 8));
    ASSERT_NE(back.m_rootCata.GetSubCata("a"), nullptr);
    EXPECT_EQ(back.m_rootCata.GetSubCata("a")->m_notes.GetCount(), 4u);
}

TEST(RecordsDamagedInput, RepeatedKeysAndBackReferences) {
    auto note = [](const std::string& name, uint32_t status, bool classRecord) {
        Bytes head = classRecord ? Concat({U16(0xFFFF), U16(2), U16(5), StrBytes("CNote")}) : U16(0x8001);
        return Concat({head, {0x00}, {static_cast<uint8_t>(name.size())}, StrBytes(name), U32(0), U32(2), U32(0),
                       {0x00}, U32(status), U32(3), U16(0), U16(0)});
    };
    // The same key twice: the later note wins, the earlier one is not left
    // behind in the download list.
    const Bytes dup = Concat({{0x00}, U16(2), {0x01, 'k'}, note("first", 6, true), {0x01, 'k'},
                              note("second", 0, false), U16(0)});
    CClipVaultDoc doc;
    ASSERT_EQ(LoadTree(doc, dup), -1);
    ASSERT_EQ(doc.m_rootCata.m_notes.GetCount(), 1u);
    EXPECT_EQ(doc.m_rootCata.GetNote("k")->m_strName, "second");
    EXPECT_TRUE(doc.m_pendingNotes.empty());

    // A second key naming the note already read would make two owners.
    const Bytes shared = Concat({{0x00}, U16(2), {0x01, 'k'}, note("first", 0, true), {0x01, 'j'}, U16(0x0002),
                                 U16(0)});
    CClipVaultDoc doc2;
    EXPECT_EQ(LoadTree(doc2, shared), CArchiveException::badIndex);
    EXPECT_EQ(doc2.m_rootCata.m_notes.GetCount(), 1u);

    // A category holding itself.
    const Bytes self = Concat({{0x00}, U16(0), U16(1), {0x01, 'c'}, U16(0xFFFF), U16(1), U16(9),
                               StrBytes("CNoteCata"), {0x01, 'c'}, U16(0), U16(1), {0x01, 'c'}, U16(0x0002)});
    CClipVaultDoc doc3;
    EXPECT_EQ(LoadTree(doc3, self), CArchiveException::badIndex);
    ASSERT_NE(doc3.m_rootCata.GetSubCata("c"), nullptr);
    EXPECT_TRUE(doc3.m_rootCata.GetSubCata("c")->m_subCatas.IsEmpty());

    // A null value names nothing.
    const Bytes nullValue = Concat({{0x00}, U16(1), {0x01, 'k'}, U16(0), U16(0)});
    CClipVaultDoc doc4;
    EXPECT_EQ(LoadTree(doc4, nullValue), -1);
    EXPECT_TRUE(doc4.m_rootCata.m_notes.IsEmpty());
}

TEST(RecordsImport, NotesFromImportRequests) {
    RecordingHost host;
    TempDir dir;
    CClipVaultDoc doc;
    auto item = [&](const std::string& src, int kind, int mode, int startNow, const std::string& title = "") {
        auto p = std::make_unique<CImportItem>();
        p->m_strSource = src;
        p->m_nImportKind = kind;
        p->m_nContentMode = mode;
        p->m_bStartNow = startNow;
        p->m_strTitle = title;
        p->m_pTargetDoc = &doc;
        return p;
    };

    // A local file that does not exist is refused.
    EXPECT_EQ(CreateNoteFromImport(item(dir.File("gone.htm"), 2, 2, 1)), nullptr);
    EXPECT_EQ(host.m_ids, std::vector<unsigned>{ids::IDS_FILE_MISSING});

    const std::string page = dir.File("Page.HTML");
    const std::string html = "<html><head><TITLE>My Page</TITLE></head></html>";
    ASSERT_TRUE(fileutil::WriteWholeFile(page, html.data(), html.size()));
    std::unique_ptr<CNote> local(CreateNoteFromImport(item(page, 2, 2, 1)));
    ASSERT_NE(local, nullptr);
    EXPECT_EQ(local->m_strName, "my page");
    EXPECT_EQ(local->m_nSourceKind, kSourceLocalFile);
    EXPECT_EQ(local->m_nContentType, kContentHeld);
    EXPECT_NE(local->m_nStatus, kStatusHeld);
    EXPECT_EQ(local->m_nID, 2u);
    EXPECT_TRUE(Listed(doc, local.get()));

    std::unique_ptr<CNote> later(CreateNoteFromImport(item("http://h/dir/a.htm", 0, 2, 0, "Given")));
    EXPECT_EQ(later->m_strName, "Given");
    EXPECT_EQ(later->m_nStatus, kStatusHeld);
    EXPECT_EQ(later->m_nID, 3u);

    // A web page named .htm cannot be read from disk: its file name is used.
    std::unique_ptr<CNote> web(CreateNoteFromImport(item("http://h/dir/b.htm", 0, 2, 1)));
    EXPECT_EQ(web->m_strName, "b.htm");

    // A link-only note is not downloaded and takes its type from the source.
    std::unique_ptr<CNote> link(CreateNoteFromImport(item("http://h/doc/report.pdf", 1, 1, 1)));
    EXPECT_EQ(link->m_strExt, "pdf");
    EXPECT_EQ(link->m_strName, "report.pdf");
    EXPECT_FALSE(Listed(doc, link.get()));
    std::unique_ptr<CNote> dotFirst(CreateNoteFromImport(item(".profile", 1, 1, 1)));
    EXPECT_EQ(dotFirst->m_strExt, "");

    for (CNote* n : {local.get(), later.get(), web.get()}) doc.UnlistNote(n);
}
