#include "document/ClipVaultDoc.h"
#include "document/KeptPages.h"
#include "document/Records.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {
CNote* Page(CNoteCata& cata, const std::string& name, const std::string& source, int64_t tmDate) {
    CNote* n = cata.AddNewNote(name);
    n->m_strSource = source;
    n->m_tmDate = tmDate;
    return n;
}
}  // namespace

TEST(KeptPages, NewestCaptureOfTheSamePageAnywhereInTheNotebook) {
    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    CNoteCata& root = doc.m_rootCata;
    CNoteCata* deep = root.AddNewSubCata("a")->AddNewSubCata("b");
    CNote* old = Page(root, "old", "http://Example.org:80/dir/page.htm", 1700000000);
    CNote* newer = Page(*deep, "newer", "http://example.org/dir/./page.htm#part", 1700000500);
    CNote* other = Page(root, "other", "https://example.org/dir/page.htm", 1700000900);
    Page(root, "written", "", 1700000900);
    CNote* file = Page(root, "file", "/home/u/p#1.htm", 1700000000);
    const CKeptPages kept(root);

    // Fragment, case of scheme and host, default port and dot segments are
    // the same page; another scheme is another page.
    EXPECT_EQ(kept.Newest("HTTP://EXAMPLE.ORG/dir/page.htm#top"), newer);
    EXPECT_EQ(kept.Newest("https://example.org/dir/page.htm"), other);
    EXPECT_EQ(kept.Newest("http://example.org/dir/Page.htm"), nullptr);
    EXPECT_EQ(kept.Newest("/home/u/p#1.htm"), file);
    EXPECT_EQ(kept.Newest(""), nullptr);
    EXPECT_EQ(kept.Newest("not a web address at all"), nullptr);
    EXPECT_EQ(kept.Size(), 3u);

    // Same date: the later number. A note being deleted keeps nothing.
    CKeptPages more(root);
    CNote* twin = Page(root, "twin", "http://example.org/dir/page.htm", 1700000500);
    ASSERT_GT(twin->m_nID, newer->m_nID);
    more.Add(*twin);
    EXPECT_EQ(more.Newest("http://example.org/dir/page.htm"), twin);
    twin->m_nStatus = kStatusDeleting;
    newer->m_nStatus = kStatusDeleting;
    EXPECT_EQ(CKeptPages(root).Newest("http://example.org/dir/page.htm"), old);
}

TEST(KeptPages, FiftyThousandNotesAnswerEveryRowAtOnce) {
    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    constexpr int kNotes = 50000;
    for (int c = 0; c < kNotes / 200; ++c) {
        CNoteCata* cata = doc.m_rootCata.AddNewSubCata("c" + std::to_string(c));
        for (int i = 0; i < 200; ++i) {
            const int n = c * 200 + i;
            Page(*cata, std::to_string(n), "http://127.0.0.1:9/p/" + std::to_string(n) + ".htm", n);
        }
    }
    const auto start = std::chrono::steady_clock::now();
    const CKeptPages kept(doc.m_rootCata);
    int found = 0;
    for (int n = 0; n < kNotes; n += 5) found += kept.Newest("http://127.0.0.1:9/p/" + std::to_string(n) + ".htm") != nullptr;
    for (int n = 0; n < 10000; ++n) found += kept.Newest("http://127.0.0.1:9/q/" + std::to_string(n) + ".htm") != nullptr;
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(found, kNotes / 5);
    // A pass over the notes for each row would take minutes here.
    EXPECT_LT(took, std::chrono::seconds(10));
}
