#include "document/RecordClipboard.h"

#include <gtest/gtest.h>

#include "document/ClipVaultDoc.h"
#include "document/Records.h"

namespace {
struct ClipboardFixture : ::testing::Test {
    ClipboardFixture() {
        a = doc.m_rootCata.AddNewSubCata("a");
        inner = a->AddNewSubCata("inner");
        b = doc.m_rootCata.AddNewSubCata("b");
        note = a->AddNewNote("note");
    }
    ~ClipboardFixture() override { clip.ClearClip(); }
    CClipVaultDoc doc;
    CNoteCata* a;
    CNoteCata* inner;
    CNoteCata* b;
    CNote* note;
    CRecordClipboard& clip = TheRecordClipboard();
};
}  // namespace

TEST_F(ClipboardFixture, StatesFollowWhatIsHeld) {
    EXPECT_EQ(clip.ClipState(), CRecordClipboard::stateEmpty);
    EXPECT_EQ(clip.SourceDocument(), nullptr);
    clip.ClipNote(note, 1);
    EXPECT_EQ(clip.ClipState(), CRecordClipboard::stateNote);
    EXPECT_EQ(clip.IsCut(), 1);
    clip.ClipCategory(a, 0);
    EXPECT_EQ(clip.ClipState(), CRecordClipboard::stateCategory);
    EXPECT_EQ(clip.SingleNote(), nullptr) << "clipping one record drops the others";
    EXPECT_EQ(clip.IsCut(), 0);
    clip.AddClipNote(note, 1);
    EXPECT_EQ(clip.ClipState(), CRecordClipboard::stateList);
    EXPECT_EQ(clip.SingleCategory(), nullptr);
    clip.AddClipCategory(b, 0);
    EXPECT_EQ(clip.Categories().size(), 1u);
    EXPECT_EQ(clip.Notes().size(), 1u);
    EXPECT_EQ(clip.SourceDocument(), &doc);
    clip.ClearClip();
    EXPECT_EQ(clip.ClipState(), CRecordClipboard::stateEmpty);
    EXPECT_EQ(clip.IsCut(), 0);
}

TEST_F(ClipboardFixture, PasteIsRefusedIntoTheClippedSubtree) {
    clip.ClipCategory(a, 0);
    EXPECT_FALSE(clip.CanPasteInto(inner));
    EXPECT_TRUE(clip.CanPasteInto(b));
    EXPECT_TRUE(clip.CanPasteInto(&doc.m_rootCata));
    EXPECT_TRUE(clip.CanPasteInto(a)) << "a copy may go into the category it copies";
    clip.ClipCategory(a, 1);
    EXPECT_FALSE(clip.CanPasteInto(a)) << "a cut category pasted into itself would be deleted with the original";
    clip.ClearClip();
    clip.AddClipCategory(b, 0);
    clip.AddClipCategory(a, 0);
    EXPECT_FALSE(clip.CanPasteInto(inner));
    EXPECT_TRUE(clip.CanPasteInto(&doc.m_rootCata));
}

TEST_F(ClipboardFixture, CopiesAreMadeForTheTarget) {
    CClipVaultDoc other;
    clip.ClipNote(note, 0);
    EXPECT_EQ(clip.CopyClippedCategory(&other), nullptr);
    std::unique_ptr<CNote> n(clip.CopyClippedNote(&other));
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->m_pDocument, &other);
    EXPECT_NE(n.get(), note);
    clip.ClipCategory(a, 0);
    std::unique_ptr<CNoteCata> c(clip.CopyClippedCategory(&other));
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->FindSubCata("inner"));
    EXPECT_TRUE(c->FindNote("note"));
}

TEST_F(ClipboardFixture, DeletedRecordsLeaveTheClipboard) {
    clip.ClipNote(note, 1);
    ASSERT_TRUE(note->Delete());
    EXPECT_EQ(clip.ClipState(), CRecordClipboard::stateEmpty);
    EXPECT_EQ(clip.SourceDocument(), nullptr);

    clip.AddClipCategory(inner, 1);
    clip.AddClipCategory(b, 1);
    ASSERT_TRUE(a->Delete());  // takes inner with it
    ASSERT_EQ(clip.Categories().size(), 1u);
    EXPECT_EQ(clip.Categories()[0], b);
}
