#include <gtest/gtest.h>
#include <set>
#include <string>
#include "document/AttachmentNamer.h"
#include "document/ClipVaultDoc.h"
#include "support/TestSupport.h"

namespace {

// The naming rule itself: the first of "vlt<base>", "vlt-1<base>", ... that
// neither an attachment nor a reservation holds.
std::string FirstFree(CClipVaultDoc& doc, const std::set<std::string>& reserved, const std::string& base) {
    std::string name = "vlt" + base;
    for (int i = 1; doc.FindAttachment(name) || reserved.count(name); ++i) name = "vlt-" + std::to_string(i) + base;
    return name;
}

}  // namespace

TEST(AttachmentNaming, SameNamesAsTheRuleInNearLinearProbes) {
    // 20,000 pictures of one file name: each name costs a couple of probes,
    // not a walk over all the names before it.
    CAttachmentNamer namer;
    std::set<std::string> taken;
    size_t probes = 0;
    auto isTaken = [&](const std::string& n) { return ++probes, taken.count(n) > 0; };
    const int n = 20000;
    for (int i = 0; i < n; ++i) {
        const std::string name = namer.Pick("p.png", isTaken);
        ASSERT_EQ(name, i == 0 ? "vltp.png" : "vlt-" + std::to_string(i) + "p.png");
        taken.insert(name);
        ASSERT_LE(probes, 2u * (i + 1)) << "name " << i;
    }
    // A name picked but never used is picked again.
    EXPECT_EQ(namer.Pick("p.png", isTaken), namer.Pick("p.png", isTaken));

    // In a notebook: adds, reservations, clean-ups and reloads give the names
    // the rule gives, including names that look like another family's.
    TempDir dir;
    CClipVaultDoc doc;
    std::set<std::string> reserved;
    CNote* note = doc.m_rootCata.AddNewNote("page");
    auto add = [&](const std::string& source, bool keep) {
        const std::string base = source.substr(source.rfind('/') + 1);
        const std::string want = FirstFree(doc, reserved, base);
        ASSERT_EQ(doc.UniqueAttachmentName(source), want) << source;
        ASSERT_NE(doc.MakeAttachment(want, source, {1}), nullptr);
        if (keep) note->m_attachNames.push_back(want);
    };
    for (int i = 0; i < 40; ++i) add("http://h/p.png", i % 3 == 0);
    for (int i = 0; i < 15; ++i) add("http://h/2p.png", i % 2 == 0);
    for (int i = 0; i < 5; ++i) add("http://h/-1p.png", false);
    doc.CleanUpAttachments();
    EXPECT_EQ(doc.FindAttachment("vlt-1p.png"), nullptr);
    for (int i = 0; i < 30; ++i) add(i % 2 ? "http://h/p.png" : "http://h/2p.png", true);

    const std::string held = doc.ReserveAttachmentName("http://h/p.png");
    reserved.insert(held);
    EXPECT_EQ(held, FirstFree(doc, {}, "p.png"));
    add("http://h/p.png", true);
    reserved.erase(held);
    doc.ReleaseAttachmentName(held);
    EXPECT_EQ(doc.UniqueAttachmentName("http://h/p.png"), held);

    // Reloaded, the notebook knows only what it read.
    const std::string path = dir.File("n.vlt");
    ASSERT_TRUE(doc.OnSaveDocument(path));
    ASSERT_TRUE(doc.OnOpenDocument(path));
    note = doc.m_rootCata.AddNewNote("again");
    for (int i = 0; i < 10; ++i) add("http://h/p.png", i % 2 == 0);
    doc.CleanUpAttachments();
    for (int i = 0; i < 10; ++i) add(i % 2 ? "http://h/2p.png" : "http://h/p.png", true);
}
