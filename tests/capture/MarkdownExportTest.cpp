// The core of Markdown out without node: the helper-process runner, safe and
// unique names, where each note and picture goes, and refusals before
// anything is written. The conversion itself runs in markdown_cli_test.sh.
#include "capture/MarkdownExport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <map>

#include "support/TestSupport.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/ChildProcess.h"

using markdown::SafeName;

namespace {

std::vector<uint8_t> B(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

CNote* AddNote(CNoteCata& cata, const std::string& name, const char* ext, const std::string& content) {
    CNote* note = cata.AddNewNote(name);
    note->m_strExt = ext;
    note->m_nContentType = kContentHeld;
    note->SetContent(B(content));
    return note;
}

}  // namespace

TEST(ChildProcess, FeedsAndReadsWithoutStallingStopsAtTheLimitAndSaysWhatWentWrong) {
    // More than a pipe holds, both ways at once.
    std::string big(3 << 20, 'x');
    for (size_t i = 0; i < big.size(); i += 997) big[i] = static_cast<char>('a' + i % 26);
    proc::CRunResult r = proc::Run({"cat"}, big, 20000);
    EXPECT_TRUE(r.Succeeded()) << r.m_strError;
    EXPECT_EQ(r.m_strOut, big);

    // A child that stops reading early does not take this process down.
    r = proc::Run({"sh", "-c", "head -c 10 >/dev/null; echo said; echo err >&2; exit 3"}, big, 20000);
    EXPECT_TRUE(r.m_bStarted);
    EXPECT_EQ(r.m_nExit, 3);
    EXPECT_EQ(r.m_strOut, "said\n");
    EXPECT_EQ(r.m_strErr, "err\n");

    const auto start = std::chrono::steady_clock::now();
    r = proc::Run({"sleep", "20"}, std::string(), 300);
    EXPECT_TRUE(r.m_bTimedOut);
    EXPECT_FALSE(r.Succeeded());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    r = proc::Run({"yes"}, std::string(), 20000, 1 << 20);
    EXPECT_TRUE(r.m_bTooMuch);

    // The caller's stop ends it long before its time.
    const auto stopAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    r = proc::Run({"sleep", "20"}, std::string(), 20000, 1 << 20,
                  [&] { return std::chrono::steady_clock::now() > stopAt; });
    EXPECT_TRUE(r.m_bStopped);
    EXPECT_FALSE(r.Succeeded());
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(3));

    r = proc::Run({"/nonexistent/program"}, "x", 1000);
    EXPECT_FALSE(r.m_bStarted);
    EXPECT_NE(r.m_strError.find("/nonexistent/program"), std::string::npos) << r.m_strError;
    EXPECT_TRUE(proc::FindOnPath("no-such-program-anywhere").empty());
    EXPECT_FALSE(proc::FindOnPath("sh").empty());
}

TEST(MarkdownExport, NamesStayInTheirFolderAndOpenEverywhere) {
    EXPECT_EQ(SafeName(".."), "untitled");
    EXPECT_EQ(SafeName(""), "untitled");
    EXPECT_EQ(SafeName("/"), "_");
    EXPECT_EQ(SafeName("../../etc/passwd"), "_.._etc_passwd");
    EXPECT_EQ(SafeName(" .hidden. "), "hidden");
    EXPECT_EQ(SafeName("a:b*c?\"<>|\\#[]^"), "a_b_c__________");
    EXPECT_EQ(SafeName("tab\there\nnl"), "tab_here_nl");
    EXPECT_EQ(SafeName("CON"), "_CON");
    EXPECT_EQ(SafeName("con.txt"), "_con.txt");
    EXPECT_EQ(SafeName("Lpt9"), "_Lpt9");
    EXPECT_EQ(SafeName("COM10"), "COM10");
    EXPECT_EQ(SafeName("Console"), "Console");
    // Cut on a whole character, never inside one.
    std::string wide;
    for (int i = 0; i < 60; ++i) wide += "\xE4\xB8\xAD";  // 中
    EXPECT_EQ(SafeName(wide).size(), 99u);
    EXPECT_EQ(SafeName(std::string(500, 'a')).size(), 100u);
    // Bytes that are no UTF-8 do not reach a file name.
    EXPECT_EQ(SafeName("a\xFF\xC3z"), "a__z");

    TempDir dir;
    EXPECT_EQ(markdown::NewExportFolder(dir.Path(), "../Notes"), dir.Path() + "/_Notes");
    ASSERT_EQ(::mkdir((dir.Path() + "/_Notes").c_str(), 0755), 0);
    std::ofstream(dir.Path() + "/_Notes (2)") << "a file";
    EXPECT_EQ(markdown::NewExportFolder(dir.Path() + "/", "../Notes"), dir.Path() + "/_Notes (3)");
}

TEST(MarkdownExport, PlanGivesEachNoteOneNameAndEachPictureOneCopy) {
    CClipVaultDoc doc;
    doc.OnNewDocument();
    doc.MakeAttachment("vltpic.gif", "http://example.test/pic.gif", B("GIF89a"));
    doc.MakeAttachment("vltdoc.pdf", "http://example.test/doc.pdf", B("%PDF"));
    const std::string page = "<html><body><img src=\"vltpic.gif\"><img src=vltpic.gif><img src=other.gif>"
                             "<a href=\"vltdoc.pdf\">the paper</a></body></html>";
    CNoteCata& root = doc.m_rootCata;
    AddNote(root, "Same", "htm", page)->m_strSource = "http://example.test/a";
    AddNote(root, "same.", "htm", page);
    AddNote(root, "report", "pdf", "%PDF");
    AddNote(root, "report.md", "txt", "words");
    CNote* link = AddNote(root, "far", "htm", "");
    link->m_nContentType = 0;
    link->m_strSource = "http://example.test/far";
    // A page kept in UTF-16 with its mark.
    std::string wide = "\xFF\xFE";
    for (char c : std::string("<p><img src=\"vltpic.gif\"> wide</p>")) wide += std::string{c, '\0'};
    AddNote(root, "wide", "htm", wide);
    CNoteCata* sub = root.AddNewSubCata("assets");
    CNoteCata* deeper = sub->AddNewSubCata("../up");
    AddNote(*deeper, "inner", "html", page);

    const markdown::CMarkdownPlan plan = markdown::PlanExport(doc, nullptr, &root);
    std::map<std::string, const markdown::CMarkdownNote*> byPath;
    for (const auto& n : plan.m_notes) byPath[n.m_strPath] = &n;
    std::string paths;
    for (const auto& p : byPath) paths += p.first + "; ";
    ASSERT_EQ(byPath.size(), 7u) << paths;
    ASSERT_TRUE(byPath.count("wide.md")) << paths;
    EXPECT_EQ(byPath["wide.md"]->m_strBody, "<p><img src=\"assets/vltpic.gif\"> wide</p>");
    // "Same" and "same." meet as "same" whatever their order.
    ASSERT_TRUE((byPath.count("Same.md") && byPath.count("same (2).md")) ||
                (byPath.count("same.md") && byPath.count("Same (2).md")))
        << paths;
    ASSERT_TRUE(byPath.count("report.md") && byPath.count("report.md.md") && byPath.count("far.md")) << paths;
    const markdown::CMarkdownNote* same = byPath.count("Same.md") ? byPath["Same.md"] : byPath["Same (2).md"];
    EXPECT_EQ(byPath["report.md"]->m_strKind, "file");
    EXPECT_EQ(byPath["report.md"]->m_strFile, "report.pdf");
    EXPECT_EQ(byPath["report.md.md"]->m_strKind, "text");
    EXPECT_EQ(byPath["far.md"]->m_strKind, "link");
    EXPECT_EQ(same->m_strSource, "http://example.test/a");
    // The category may not take the pictures' folder's name.
    EXPECT_EQ(plan.m_folders, (std::vector<std::string>{"assets (2)", "assets (2)/_up"}));
    const markdown::CMarkdownNote* inner = byPath["assets (2)/_up/inner.md"];
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->m_strCategory, "assets/../up");
    EXPECT_EQ(inner->m_strAssets, "../../assets/");
    EXPECT_NE(inner->m_strBody.find("src=\"../../assets/vltpic.gif\""), std::string::npos) << inner->m_strBody;
    EXPECT_NE(inner->m_strBody.find("src=other.gif"), std::string::npos) << inner->m_strBody;
    EXPECT_NE(same->m_strBody.find("src=assets/vltpic.gif"), std::string::npos) << same->m_strBody;
    // A hyperlink to a kept file leads to its copy too.
    EXPECT_NE(inner->m_strBody.find("href=\"../../assets/vltdoc.pdf\""), std::string::npos) << inner->m_strBody;
    ASSERT_EQ(plan.m_assets.size(), 2u);
    EXPECT_EQ(plan.m_assets[0].first, "vltpic.gif");
    EXPECT_EQ(*plan.m_assets[0].second, B("GIF89a"));
    EXPECT_EQ(plan.m_assets[1].first, "vltdoc.pdf");

    // One note: its .md at the top.
    const markdown::CMarkdownPlan one = markdown::PlanExport(doc, root.GetNote("Same"), nullptr);
    ASSERT_EQ(one.m_notes.size(), 1u);
    EXPECT_EQ(one.m_notes[0].m_strPath, "Same.md");
    EXPECT_TRUE(one.m_folders.empty());

    // Nothing is written over, and nothing where a file stands.
    TempDir dir;
    std::ofstream(dir.File("mine.md")) << "keep";
    markdown::CMarkdownResult r = markdown::WriteExport(plan, dir.Path());
    EXPECT_FALSE(r.m_bDone);
    EXPECT_NE(r.m_strError.find("not empty"), std::string::npos) << r.m_strError;
    r = markdown::WriteExport(plan, dir.File("mine.md"));
    EXPECT_NE(r.m_strError.find("not a folder"), std::string::npos) << r.m_strError;
    std::ifstream in(dir.File("mine.md"));
    std::string kept;
    in >> kept;
    EXPECT_EQ(kept, "keep");
}
