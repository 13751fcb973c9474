#include "capture/NoteText.h"

#include <gtest/gtest.h>

#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/Charset.h"

using namespace notetext;

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

CNote* AddPage(CNoteCata& cata, const std::string& name, const std::string& html, const char* ext = "htm") {
    CNote* note = cata.AddNewNote(name);
    note->m_strExt = ext;
    note->SetContent(Bytes(html));
    return note;
}

std::vector<std::string> Found(const CNoteCata& root, const CNoteQuery& q, CNoteTextCache& cache) {
    std::vector<std::string> names;
    SearchCategory(root, q, cache, [&](CNote* n) { names.push_back(n->m_strName); });
    return names;
}

}  // namespace

TEST(NoteText, FoldingCoversLatinGreekCyrillicAndFullFolds) {
    EXPECT_EQ(FoldCase("\xC3\x9C" "ber"), "\xC3\xBC" "ber");                       // Über -> über
    EXPECT_EQ(FoldCase("STRA\xC3\x9F" "E"), "strasse");                              // ß folds to ss
    EXPECT_EQ(FoldCase("\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91"), FoldCase("\xCF\x83\xCE\xBF\xCF\x86\xCE\xB9\xCE\xB1"));  // ΣΟΦΙΑ / σοφια
    EXPECT_EQ(FoldCase("\xCF\x82"), "\xCF\x83");                                     // final sigma
    EXPECT_EQ(FoldCase("\xD0\x9C\xD0\x9E\xD0\xA1\xD0\x9A\xD0\x92\xD0\x90"), "\xD0\xBC\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0");  // МОСКВА
    EXPECT_EQ(FoldCase("\xE4\xB8\xAD\xE6\x96\x87 ABC"), "\xE4\xB8\xAD\xE6\x96\x87 abc");  // Chinese stays
    // Bytes that are not UTF-8 pass through instead of being lost.
    EXPECT_EQ(FoldCase(std::string("A\xFF" "B\xC3", 4)), std::string("a\xFF" "b\xC3", 4));
}

TEST(NoteText, VisibleTextLeavesOutMarkupScriptsAndStyles) {
    const std::string page =
        "<html><head><title>T</title><style>p { color: red } .secret {}</style>"
        "<script type=\"text/javascript\">var hidden = '</p>';</script></head>"
        "<body class=\"attrword\"><!-- commentword --><p title='tipword'>Hello <b>bo</b>ld"
        "</p><p>next&nbsp;line &amp; more &lt;tag&gt; &#169; &#x4E2D; &eacute;t&eacute;</p>"
        "<SCRIPT>also()</SCRIPT>tail<br>end</body></html>";
    const std::string text = VisibleText(page);
    EXPECT_EQ(text, "T Hello bold next line & more <tag> \xC2\xA9 \xE4\xB8\xAD \xC3\xA9t\xC3\xA9 tail end");
    for (const char* hidden : {"color", "hidden", "attrword", "commentword", "tipword", "also", "body", "class"})
        EXPECT_EQ(text.find(hidden), std::string::npos) << hidden;
}

TEST(NoteText, VisibleTextSurvivesBrokenMarkup) {
    EXPECT_EQ(VisibleText("a < b and 1<2"), "a < b and 1<2");   // not tags
    EXPECT_EQ(VisibleText("x<script>never closed"), "x");
    EXPECT_EQ(VisibleText("<p title=\"a>b\">in</p>"), "in");   // '>' inside a quoted value
    EXPECT_EQ(VisibleText("don't <i>stop</i>"), "don't stop");
    EXPECT_EQ(VisibleText("&unknown; &amp &#xZZ; <!-- open"), "&unknown; & &#xZZ;");
    EXPECT_EQ(VisibleText(""), "");
}

TEST(NoteText, PagesAreReadByTheirByteOrderMark) {
    // "Über" as UTF-16LE and UTF-16BE, with a character outside the BMP.
    const std::vector<uint8_t> le = {0xFF, 0xFE, 0xDC, 0x00, 'b', 0, 'e', 0, 'r', 0, 0x3D, 0xD8, 0x00, 0xDE};
    const std::vector<uint8_t> be = {0xFE, 0xFF, 0x00, 0xDC, 0, 'b', 0, 'e', 0, 'r'};
    EXPECT_EQ(PageBytesToUtf8(le), "\xC3\x9C" "ber\xF0\x9F\x98\x80");
    EXPECT_EQ(PageBytesToUtf8(be), "\xC3\x9C" "ber");
    EXPECT_EQ(PageBytesToUtf8({0xEF, 0xBB, 0xBF, 'o', 'k'}), "ok");
}

TEST(NoteText, CodePagePagesAreReadInTheProcessCodePage) {
    const std::string previous = charset::ProcessCodePage();
    ASSERT_TRUE(charset::SetProcessCodePage("CP1252"));
    // "Café" in CP1252 as name and page.
    EXPECT_EQ(PageBytesToUtf8({'C', 'a', 'f', 0xE9}), "Caf\xC3\xA9");
    CNoteQuery q("CAF\xC9", true, true);
    EXPECT_TRUE(q.NameMatches("caf\xE9 noir"));
    CNoteQuery exact("f\xE9", false, false);
    EXPECT_TRUE(exact.NameMatches("Caf\xE9"));
    EXPECT_FALSE(exact.NameMatches("CAF\xC9"));
    charset::SetProcessCodePage(previous);
}

TEST(NoteText, NameMatchKeepsCaseUnlessToldOtherwise) {
    CNoteQuery exact("Note", false, false);
    EXPECT_FALSE(exact.NameMatches("my notes"));
    EXPECT_TRUE(exact.NameMatches("Notebook"));
    EXPECT_TRUE(CNoteQuery("a,b", false, false).NameMatches("xa,by"));  // a comma is just a character
    EXPECT_FALSE(CNoteQuery("", true, true).NameMatches("anything"));
    CNoteQuery loose("\xC3\x9C" "BER", true, false);
    EXPECT_TRUE(loose.NameMatches("\xC3\xBC" "ber alles"));
}

TEST(NoteText, TextSearchFindsPageWordsOnlyWhenAskedAndNotInMarkup) {
    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    CNoteCata* sub = doc.m_rootCata.AddNewSubCata("sub");
    AddPage(doc.m_rootCata, "first", "<p class=\"zebra\">An <b>Elephant</b> walks</p>");
    AddPage(*sub, "second", "<div>\xD0\x9C\xD0\x9E\xD0\xA1\xD0\x9A\xD0\x92\xD0\x90 in spring</div>");
    AddPage(*sub, "plain", "zebra crossing ELEPHANT", "txt");
    AddPage(*sub, "picture", "Elephant", "gif");  // no text to search
    CNoteTextCache cache;

    EXPECT_TRUE(Found(doc.m_rootCata, CNoteQuery("Elephant", false, false), cache).empty());
    EXPECT_EQ(Found(doc.m_rootCata, CNoteQuery("Elephant", false, true), cache), std::vector<std::string>{"first"});
    EXPECT_EQ(Found(doc.m_rootCata, CNoteQuery("elephant", true, true), cache),
              (std::vector<std::string>{"first", "plain"}));
    EXPECT_EQ(Found(doc.m_rootCata, CNoteQuery("zebra", true, true), cache), std::vector<std::string>{"plain"});
    EXPECT_EQ(Found(doc.m_rootCata, CNoteQuery("\xD0\xBC\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0", true, true), cache),
              std::vector<std::string>{"second"});
    EXPECT_TRUE(Found(doc.m_rootCata, CNoteQuery("walksx", true, true), cache).empty());
    EXPECT_TRUE(Found(doc.m_rootCata, CNoteQuery("class", true, true), cache).empty());
}

TEST(NoteText, CacheFollowsChangedContentAndForgetsDeletedNotes) {
    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    CNote* note = AddPage(doc.m_rootCata, "n", "<p>old words here</p>");
    CNoteTextCache cache;
    EXPECT_EQ(cache.Text(*note, true), "old words here");
    // Same length, same place in memory: a change in the middle still shows.
    const std::string changed = "<p>old wOrds here</p>";
    std::copy(changed.begin(), changed.end(), const_cast<std::vector<uint8_t>&>(note->Content()).begin());
    EXPECT_EQ(cache.Text(*note, false), "old wOrds here");
    // Content read back into a new buffer, and a type change.
    note->SetContent(Bytes("<p>new</p>"));
    EXPECT_EQ(cache.Text(*note, true), "new");
    note->m_strExt = "txt";
    EXPECT_EQ(cache.Text(*note, false), "<p>new</p>");

    CNoteQuery q("new", false, true);
    EXPECT_TRUE(NoteMatches(*note, q, cache));
    cache.DropUnused();
    EXPECT_EQ(cache.Size(), 1u);
    cache.DropUnused();  // not looked at in this round
    EXPECT_EQ(cache.Size(), 0u);
}

TEST(NoteText, PassageShowsTheMatchInItsOriginalCase) {
    const std::string text = "one two three four five six seven \xC3\x9C" "BER eight nine ten eleven twelve";
    CNoteQuery q("\xC3\xBC" "ber", true, true);
    const std::string passage = MatchPassage(text, q, 12);
    EXPECT_NE(passage.find("\xC3\x9C" "BER"), std::string::npos) << passage;
    EXPECT_EQ(passage.rfind("\xE2\x80\xA6", 0), 0u) << "cut at the front";
    EXPECT_EQ(passage.substr(passage.size() - 3), "\xE2\x80\xA6");
    EXPECT_EQ(passage, "\xE2\x80\xA6" "six seven \xC3\x9C" "BER eight nine\xE2\x80\xA6");
    CPassageMatch match;
    MatchPassage(text, q, 12, &match);
    EXPECT_EQ(passage.substr(match.m_nStart, match.m_nLength), "\xC3\x9C" "BER");
    // Full folding: the match's ends fall on whole characters of the text.
    EXPECT_EQ(MatchPassage("gro\xC3\x9F", CNoteQuery("SS", true, true), 10, &match), "gro\xC3\x9F");
    EXPECT_EQ(match.m_nStart, 3u);
    EXPECT_EQ(match.m_nLength, 2u);
    EXPECT_EQ(MatchPassage("short", CNoteQuery("sho", false, true), 40), "short");
    EXPECT_EQ(MatchPassage("short", CNoteQuery("SHO", false, true), 40), "");
    // Never cuts a multi-byte character in two.
    const std::string cjk = "\xE4\xB8\xAD\xE6\x96\x87\xE4\xB8\xAD\xE6\x96\x87 key \xE4\xB8\xAD\xE6\x96\x87\xE4\xB8\xAD";
    const std::string p = MatchPassage(cjk, CNoteQuery("key", false, true), 4);
    EXPECT_EQ(p, "\xE2\x80\xA6\xE6\x96\x87 key \xE4\xB8\xAD\xE2\x80\xA6");
}
