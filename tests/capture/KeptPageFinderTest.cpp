#include "capture/KeptPageFinder.h"

#include <gtest/gtest.h>

#include "document/ClipVaultDoc.h"
#include "document/KeptPages.h"
#include "document/Records.h"

namespace {

CNote* Kept(CClipVaultDoc& doc, const std::string& name, const std::string& source, int64_t date = 0) {
    CNote* note = doc.m_rootCata.AddNewNote(name);
    note->m_strSource = source;
    note->m_tmDate = date;
    doc.SetModifiedFlag();
    return note;
}

}  // namespace

TEST(KeptPageFinder, AddressesOfOnePageCompareEqualAndOthersDoNot) {
    const auto key = CKeptPages::PageKey;
    const std::string page = key("http://docs.example/guide/ch 1.htm?x=1");
    for (const char* same : {"HTTP://Docs.Example:80/guide/ch%201.htm?x=1#intro", " http://u:pw@docs.example/guide/x/../ch%201.htm?x=1#",
                             "http://docs.example/%67uide/ch 1.htm?x=1"})
        EXPECT_EQ(key(same), page) << same;
    for (const char* other : {"http://docs.example/guide/ch 1.htm", "https://docs.example/guide/ch 1.htm?x=1",
                              "http://docs.example:8080/guide/ch 1.htm?x=1", "http://docs.example/guide/ch 1.htm/?x=1",
                              "http://docs.example/Guide/ch 1.htm?x=1"})
        EXPECT_NE(key(other), page) << other;
    // Bytes beyond ASCII as the page holds them and as the engine escapes
    // them; an escaped slash is no slash.
    EXPECT_EQ(key("http://h/\xE4\xB8\xAD.htm"), key("http://h/%e4%b8%ad.htm"));
    EXPECT_NE(key("http://h/a%2Fb"), key("http://h/a/b"));
    EXPECT_EQ(key("/home/u/docs/a b.htm"), key("file:///home/u/docs/a%20b.htm#top"));
    for (const char* none : {"", "b.htm", "#top", "mailto:a@b.c", "javascript:go('http://h/')", "cvpage://n0/page.htm"})
        EXPECT_EQ(key(none), "") << none;
}

TEST(KeptPageFinder, FindsTheNewestKeptCaptureAndFollowsTheNotebook) {
    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    CNote* old = Kept(doc, "old", "http://h/b.htm", 100);
    CNote* recent = Kept(doc, "recent", "http://h/b.htm#part", 200);
    CNote* a = Kept(doc, "a", "http://h/a.htm", 50);
    CNoteCata* sub = doc.m_rootCata.AddNewSubCata("sub");
    sub->AddNewNote("deep")->m_strSource = "http://h/deep/c.htm";
    doc.SetModifiedFlag();
    CKeptPageFinder kept(doc);

    EXPECT_EQ(kept.Find("http://H/b.htm#x"), recent);
    EXPECT_EQ(kept.Find("http://h/b.htm", old), old) << "the page a link is in stays when it is one of them";
    EXPECT_EQ(kept.Find("http://h/b.htm", a), recent);
    EXPECT_NE(kept.Find("http://h/deep/c.htm"), nullptr) << "notes of every category";
    EXPECT_EQ(kept.Find("http://h/nowhere.htm"), nullptr);
    // Looking costs no walk through the notebook while it stays as it is.
    for (int i = 0; i < 1000; ++i) kept.Find("http://h/a.htm");
    EXPECT_EQ(kept.Builds(), 1u);

    // A capture that has not ended, a failed one and a link-only note keep
    // no page.
    recent->m_nStatus = kStatusRunning;
    EXPECT_EQ(kept.Find("http://h/b.htm"), old);
    recent->m_nStatus = kStatusFailed;
    old->m_nContentType = 1;
    EXPECT_EQ(kept.Find("http://h/b.htm"), nullptr);
    recent->m_nStatus = kStatusDone;
    old->m_nContentType = kContentHeld;

    // A source edited, a note deleted, a note added: found where they are now.
    a->m_strSource = "http://h/a2.htm";
    doc.SetModifiedFlag();
    EXPECT_EQ(kept.Find("http://h/a.htm"), nullptr);
    EXPECT_EQ(kept.Find("http://h/a2.htm"), a);
    doc.DeleteItem(recent);
    EXPECT_EQ(kept.Find("http://h/b.htm"), old);
    EXPECT_EQ(kept.Find("http://h/new.htm"), nullptr);
    CNote* added = Kept(doc, "added", "http://h/new.htm");
    EXPECT_EQ(kept.Find("http://h/new.htm"), added);
    doc.DeleteItem(sub);
    EXPECT_EQ(kept.Find("http://h/deep/c.htm"), nullptr);
}
