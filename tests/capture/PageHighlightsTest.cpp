#include "capture/PageHighlights.h"

#include <gtest/gtest.h>

#include "capture/HighlightPage.h"
#include "capture/NoteText.h"
#include "capture/NotebookHighlights.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"

#include <random>
#include <string>
#include <vector>

#include "platform/Charset.h"

#include "support/TextConvert.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }
std::string Text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

class CCodePage {
public:
    explicit CCodePage(const char* name) : m_old(charset::ProcessCodePage()) { charset::SetProcessCodePage(name); }
    ~CCodePage() { charset::SetProcessCodePage(m_old); }

private:
    std::string m_old;
};

CHighlightQuote Quote(const std::string& exact, const std::string& prefix = "", const std::string& suffix = "",
                      size_t pos = static_cast<size_t>(-1)) {
    CHighlightQuote q;
    q.m_strExact = exact;
    q.m_strPrefix = prefix;
    q.m_strSuffix = suffix;
    q.m_nTextPos = pos;
    return q;
}

CHighlight Hl(const std::string& id, const std::string& color = "yellow", const std::string& comment = "") {
    CHighlight h;
    h.m_strId = id;
    h.m_strColor = color;
    h.m_strComment = comment;
    h.m_strDate = "2026-12-09T18:00:00Z";
    return h;
}

size_t Count(const std::string& hay, const std::string& needle) {
    size_t n = 0;
    for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1)) ++n;
    return n;
}

// Adds, checks the page lists it, removes, checks the bytes came back.
std::vector<uint8_t> AddListRemove(const std::vector<uint8_t>& page, const CHighlightQuote& q, const CHighlight& hl,
                                   const std::string& expectText) {
    std::vector<uint8_t> marked, back;
    EXPECT_EQ(AddHighlight(page, q, hl, marked), HighlightResult::kDone);
    EXPECT_TRUE(MayHoldHighlights(marked));
    const std::vector<CHighlight> list = ListHighlights(marked);
    EXPECT_EQ(list.size(), 1u);
    if (!list.empty()) {
        EXPECT_EQ(list[0].m_strId, hl.m_strId);
        EXPECT_EQ(list[0].m_strText, expectText);
        EXPECT_EQ(list[0].m_strComment, hl.m_strComment);
        EXPECT_EQ(list[0].m_strColor, hl.m_strColor);
        EXPECT_EQ(list[0].m_strDate, hl.m_strDate);
    }
    EXPECT_EQ(RemoveHighlight(marked, hl.m_strId, back), HighlightResult::kDone);
    EXPECT_EQ(back, page);
    return marked;
}

}  // namespace

TEST(PageHighlights, AddThenRemoveGivesBackTheBytesInEveryEncoding) {
    // UTF-8 without a mark, with references in and around the range.
    const std::string utf8 =
        "<!DOCTYPE html>\r\n<html><head><title>Caf\xC3\xA9</title></head>\r\n<body>\r\n"
        "<p>Fish &amp; chips at the caf&eacute;, &#233;t&#xE9; &lt;3 price</p>\r\n</body></html>\r\n";
    const std::vector<uint8_t> page = Bytes(utf8);
    const std::vector<uint8_t> marked =
        AddListRemove(page, Quote("chips at the caf\xC3\xA9, \xC3\xA9t\xC3\xA9 <3"), Hl("a1", "green", "x"),
                      "chips at the caf\xC3\xA9, \xC3\xA9t\xC3\xA9 <3");
    // The range ends after a whole reference, never inside one.
    EXPECT_NE(Text(marked).find("&amp; <mark"), std::string::npos);
    EXPECT_NE(Text(marked).find("&lt;3</mark> price"), std::string::npos);
    // Only the tags were added: the rest is byte for byte where it was.
    const std::string s = Text(marked);
    const size_t b = s.find("<mark"), e = s.find("</mark>");
    ASSERT_NE(b, std::string::npos);
    EXPECT_EQ(s.substr(0, b), utf8.substr(0, b));
    EXPECT_EQ(s.substr(e + 7), utf8.substr(utf8.size() - (s.size() - e - 7)));

    // UTF-8 with a byte order mark.
    AddListRemove(Bytes("\xEF\xBB\xBF<p>\xE4\xB8\xAD\xE6\x96\x87 text</p>"), Quote("\xE6\x96\x87 te"), Hl("b"),
                  "\xE6\x96\x87 te");

    // UTF-16 both ways: tags are written in UTF-16.
    for (const char* enc : {"UTF-16LE", "UTF-16BE"}) {
        const std::string body = ConvertText("<p>Gr\xC3\xBC\xC3\x9F Gott &amp; more</p>", enc, "UTF-8");
        const std::string bom = std::string(enc) == "UTF-16LE" ? "\xFF\xFE" : "\xFE\xFF";
        const std::vector<uint8_t> wide = Bytes(bom + body);
        const std::vector<uint8_t> m =
            AddListRemove(wide, Quote("Gott & more"), Hl("w", "blue", "\xE2\x9C\x93"), "Gott & more");
        EXPECT_NE(Text(m).find(ConvertText("<mark class=", enc, "UTF-8")), std::string::npos) << enc;
    }

    // A code-page page: the process code page reads it, the tags are ASCII.
    {
        CCodePage gbk("GBK");
        const std::string web = "\xE7\xBD\x91\xE9\xA1\xB5";  // the word marked
        const std::string gb =
            ConvertText("<p>\xE4\xB8\xAD\xE6\x96\x87" + web + " \xE6\xB5\x8B\xE8\xAF\x95</p>", "GBK", "UTF-8");
        const std::vector<uint8_t> m =
            AddListRemove(Bytes(gb), Quote(web), Hl("g", "pink", "\xE6\xB3\xA8"), web);
        EXPECT_NE(Text(m).find("data-cv-comment=\"&#27880;\""), std::string::npos);
    }
}

TEST(PageHighlights, ASelectionAcrossParagraphsAndALinkIsOneHighlightOfSeveralPieces) {
    const std::string html =
        "<html><body><p>First paragraph ends here.</p>\n  <p>Second has <a href=\"x.htm\">a link</a> inside "
        "it.</p><p>Third.</p></body></html>";
    const std::vector<uint8_t> page = Bytes(html);
    // The browser puts line breaks between paragraphs; white space is
    // compared loosely.
    std::vector<uint8_t> marked;
    ASSERT_EQ(AddHighlight(page, Quote("ends here.\n\nSecond has a link in"), Hl("p1"), marked),
              HighlightResult::kDone);
    const std::string s = Text(marked);
    EXPECT_EQ(Count(s, "data-cv-highlight=\"p1\""), 4u);
    EXPECT_NE(s.find(">ends here.</mark></p>"), std::string::npos);
    EXPECT_NE(s.find("<p><mark"), std::string::npos);
    EXPECT_NE(s.find(">Second has</mark> <a href=\"x.htm\"><mark"), std::string::npos);
    EXPECT_NE(s.find(">a link</mark></a> <mark"), std::string::npos);
    EXPECT_NE(s.find(">in</mark>side it."), std::string::npos);
    const auto list = ListHighlights(marked);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].m_strText, "ends here. Second has a link in");
    std::vector<uint8_t> back;
    ASSERT_EQ(RemoveHighlight(marked, "p1", back), HighlightResult::kDone);
    EXPECT_EQ(back, page);

    // The same words twice: the surroundings choose, then the place.
    const std::vector<uint8_t> twice = Bytes("<p>one word here</p><p>two word there</p><p>one word here</p>");
    ASSERT_EQ(AddHighlight(twice, Quote("word", "two ", " there"), Hl("t"), marked), HighlightResult::kDone);
    EXPECT_NE(Text(marked).find("two <mark"), std::string::npos);
    // Reader view: other text around it, so the prefix differs entirely.
    ASSERT_EQ(AddHighlight(twice, Quote("word", "Reader title ", " here", 30), Hl("t"), marked),
              HighlightResult::kDone);
    EXPECT_EQ(Count(Text(marked), "<mark"), 1u);
    EXPECT_GT(Text(marked).find("<mark"), std::string("<p>one word here</p><p>two word there</p>").size());
    // The place counts as the browser's script counts it: white space runs
    // as one, nothing where blocks meet.
    std::string blocks;
    for (int k = 0; k < 10; ++k) blocks += "<div>ab</div>";
    ASSERT_EQ(AddHighlight(Bytes(blocks + "\n"), Quote("ab", "", "", 12), Hl("b"), marked), HighlightResult::kDone);
    EXPECT_EQ(Text(marked).find("<mark"), std::string("<div>ab</div>").size() * 6 + 5);
    // A heading a style shows in capitals is selected in capitals.
    const std::vector<uint8_t> caps = Bytes("<h2 style=\"text-transform:uppercase\">Caf\xC3\xA9 und Platz</h2>");
    ASSERT_EQ(AddHighlight(caps, Quote("CAF\xC3\x89 UND"), Hl("u"), marked), HighlightResult::kDone);
    EXPECT_EQ(ListHighlights(marked).at(0).m_strText, "Caf\xC3\xA9 und");
}

TEST(PageHighlights, NestedHighlightsComeOffInEitherOrder) {
    const std::vector<uint8_t> page = Bytes("<p>The quick brown fox jumps over the lazy dog.</p>");
    std::vector<uint8_t> outer, both, oneLeft, back;
    ASSERT_EQ(AddHighlight(page, Quote("quick brown fox jumps"), Hl("out"), outer), HighlightResult::kDone);
    ASSERT_EQ(AddHighlight(outer, Quote("brown fox"), Hl("in", "blue"), both), HighlightResult::kDone);
    // And one that starts inside the first and ends after it.
    std::vector<uint8_t> three;
    ASSERT_EQ(AddHighlight(both, Quote("jumps over"), Hl("x", "pink"), three), HighlightResult::kDone);
    const auto list = ListHighlights(three);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].m_strText, "quick brown fox jumps");
    EXPECT_EQ(list[1].m_strText, "brown fox");
    EXPECT_EQ(list[2].m_strText, "jumps over");
    ASSERT_EQ(RemoveHighlight(three, "x", oneLeft), HighlightResult::kDone);
    EXPECT_EQ(oneLeft, both);

    ASSERT_EQ(RemoveHighlight(both, "in", oneLeft), HighlightResult::kDone);
    EXPECT_EQ(oneLeft, outer);
    ASSERT_EQ(RemoveHighlight(oneLeft, "out", back), HighlightResult::kDone);
    EXPECT_EQ(back, page);
    EXPECT_EQ(RemoveHighlight(back, "out", oneLeft), HighlightResult::kUnknownId);
    // An id already in the page is not given twice; new ids differ.
    EXPECT_EQ(AddHighlight(outer, Quote("lazy"), Hl("out"), oneLeft), HighlightResult::kUnknownId);
    const std::string id = NewHighlightId();
    EXPECT_NE(id, NewHighlightId());
    EXPECT_EQ(id.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789"), std::string::npos);
}

TEST(PageHighlights, TextOutsideThePageIsRefusedAndCommentsRoundTrip) {
    const std::vector<uint8_t> page = Bytes(
        "<html><head><title>Only title</title><script>var s = 'only script';</script></head>"
        "<body><p title=\"only attribute\">Body text</p><script>x='script too'</script>"
        "<textarea>only textarea</textarea></body></html>");
    std::vector<uint8_t> out;
    EXPECT_EQ(AddHighlight(page, Quote("not anywhere"), Hl("n"), out), HighlightResult::kNotFound);
    EXPECT_TRUE(out.empty());
    for (const char* hidden : {"only script", "Only title", "only attribute", "only textarea", "script too"})
        EXPECT_EQ(AddHighlight(page, Quote(hidden), Hl("n"), out), HighlightResult::kNoText) << hidden;
    EXPECT_EQ(AddHighlight(page, Quote("  \n "), Hl("n"), out), HighlightResult::kNotFound);
    // The same vector in and out: a refusal leaves the page as it was.
    std::vector<uint8_t> same = page;
    EXPECT_EQ(AddHighlight(same, Quote("only script"), Hl("n"), same), HighlightResult::kNoText);
    EXPECT_EQ(RemoveHighlight(same, "n", same), HighlightResult::kUnknownId);
    EXPECT_EQ(same, page);
    EXPECT_FALSE(MayHoldHighlights(page));
    // Attribute names are read in any case, in UTF-16 too.
    const std::string upper = "<p><MARK DATA-CV-HIGHLIGHT=\"U\" Data-Cv-Comment=\"c\">up</MARK></p>";
    EXPECT_EQ(ListHighlights(Bytes(upper)).size(), 1u);
    EXPECT_EQ(ListHighlights(Bytes("\xFE\xFF" + ConvertText(upper, "UTF-16BE", "UTF-8"))).size(), 1u);
    EXPECT_EQ(ListHighlights(Bytes("\xFF\xFE" + ConvertText(upper, "UTF-16LE", "UTF-8"))).size(), 1u);
    EXPECT_FALSE(MayHoldHighlights(Bytes("\xFF\xFE" + ConvertText("data-cv-highligh", "UTF-16LE", "UTF-8"))));
    EXPECT_TRUE(ListHighlights(page).empty());

    const std::string comment = "He said \"<b>no</b>\" & left \xE2\x80\x94 \xE4\xBD\xA0\xE5\xA5\xBD\n'line two'";
    std::vector<uint8_t> marked, changed, back;
    ASSERT_EQ(AddHighlight(page, Quote("Body"), Hl("c1", "green", comment), marked), HighlightResult::kDone);
    // The tag stays one tag in ASCII: nothing of the comment escapes it.
    const std::string s = Text(marked);
    const size_t tagEnd = s.find('>', s.find("<mark"));
    EXPECT_EQ(s.substr(tagEnd, 5), ">Body");
    for (size_t k = s.find("<mark"); k < tagEnd; ++k) EXPECT_LT(static_cast<uint8_t>(s[k]), 0x80);
    ASSERT_EQ(ListHighlights(marked).at(0).m_strComment, comment);

    ASSERT_EQ(ChangeHighlight(marked, "c1", "new <note>", "pink", changed), HighlightResult::kDone);
    auto list = ListHighlights(changed);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].m_strComment, "new <note>");
    EXPECT_EQ(list[0].m_strColor, "pink");
    EXPECT_EQ(list[0].m_strDate, "2026-12-09T18:00:00Z");
    ASSERT_EQ(ChangeHighlight(changed, "c1", "", "", marked), HighlightResult::kDone);
    EXPECT_EQ(ListHighlights(marked).at(0).m_strColor, "pink");
    EXPECT_EQ(ChangeHighlight(changed, "nope", "x", "", back), HighlightResult::kUnknownId);
    ASSERT_EQ(RemoveHighlight(changed, "c1", back), HighlightResult::kDone);
    EXPECT_EQ(back, page);
}

TEST(PageHighlights, DamagedPagesNeitherCrashNorLoseBytes) {
    const std::vector<std::string> pages = {
        "",
        "<",
        "<p>unclosed <b>bold <i>italic text",
        "text &am &#; &#x; &#99999999; &notanentity; &copy2 end",
        std::string("nul\0byte text here", 18),
        "<table>stray table text<tr><td>cell text</td></tr></table>",
        "<svg><text>svg text</text></svg><math><mi>x</mi></math><p>after svg</p>",
        "\xFF\xFE<\0p\0>\0",      // UTF-16 cut short
        "\xFF\xFE\x41",           // an odd byte
        "<p>bad \xC3 utf8 \xFF\xFE bytes here</p>",
        "<mark data-cv-highlight=\"z\">never closed <p>para",
        "<p>a stray</span> end tag here</p>",
        "<p>awords</mark> aft <mark class=\"x\" data-cv-highlight=\"x1\">marked words</mark> after</p>",
        std::string(5000, '<') + "<p>deep" + std::string(2000, '>'),
    };
    for (const std::string& html : pages) {
        const std::vector<uint8_t> page = Bytes(html);
        for (const char* q :
             {"text", "table text", "cell", "svg text", "after", "here", "end", "closed", "deep", "p", "ords aft"}) {
            std::vector<uint8_t> out, back;
            if (AddHighlight(page, Quote(q), Hl("d"), out) != HighlightResult::kDone) {
                EXPECT_TRUE(out.empty());
                continue;
            }
            ASSERT_EQ(ListHighlights(out).size(), 1u + ListHighlights(page).size()) << html << " / " << q;
            ASSERT_EQ(RemoveHighlight(out, "d", back), HighlightResult::kDone);
            EXPECT_EQ(back, page) << html << " / " << q;
        }
        (void)ListHighlights(page);
    }
    // Text on both sides of an end tag the parser ignored can be marked, a
    // piece each side: inside a mark the tag would no longer be ignored.
    std::vector<uint8_t> stray;
    ASSERT_EQ(AddHighlight(Bytes("<p>a stray</mark> end tag</p>"), Quote("stray end"), Hl("s"), stray),
              HighlightResult::kDone);
    EXPECT_NE(Text(stray).find("\">stray</mark></mark> <mark"), std::string::npos) << Text(stray);
    EXPECT_EQ(ListHighlights(stray).at(0).m_strText, "stray end");
    // A deep tree is walked without recursion; one too deep to parse in
    // good time is left alone.
    std::string deep;
    for (int k = 0; k < 5000; ++k) deep += "<div>";
    deep += "bottom words";
    std::vector<uint8_t> out;
    EXPECT_EQ(AddHighlight(Bytes(deep), Quote("bottom"), Hl("deep"), out), HighlightResult::kDone);
    for (int k = 0; k < 50000; ++k) deep.insert(0, "<div>");
    EXPECT_EQ(AddHighlight(Bytes(deep), Quote("bottom"), Hl("deep"), out), HighlightResult::kNotFound);
}

TEST(PageHighlights, TheNotebookListsEveryHighlightAndTheSearchFindsComments) {
    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    CNoteCata* web = doc.m_rootCata.AddNewSubCata("Web");
    CNoteCata* news = web->AddNewSubCata("News");
    auto add = [](CNoteCata& cata, const std::string& name, std::vector<uint8_t> bytes, const char* ext = "htm") {
        CNote* note = cata.AddNewNote(name);
        note->m_strExt = ext;
        note->SetContent(std::move(bytes));
        return note;
    };
    std::vector<uint8_t> top, wide;
    ASSERT_EQ(AddHighlight(Bytes("<p>alpha beta gamma</p>"), Quote("beta"), Hl("t1", "green", "zebra crossing"), top),
              HighlightResult::kDone);
    const std::string utf16 = "\xFF\xFE" + ConvertText("<p>\xE4\xB8\xAD\xE6\x96\x87 page</p>", "UTF-16LE", "UTF-8");
    ASSERT_EQ(AddHighlight(Bytes(utf16), Quote("\xE6\x96\x87"), Hl("n1", "blue", "Wide  Comment\nhere"), wide),
              HighlightResult::kDone);
    CNote* pTop = add(doc.m_rootCata, "top", top);
    CNote* pWide = add(*news, "wide", wide);
    add(*web, "plain", Bytes("<p>nothing marked</p>"));
    // Not pages: a text note that talks about marks, a picture.
    CNote* pText = add(*web, "notes", Bytes("<mark data-cv-highlight=\"x\">no</mark>"), "txt");
    add(*web, "pic", top, "gif");

    const std::vector<CNotebookHighlight> all = NotebookHighlights(doc);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].m_note.m_pNote, pTop);
    EXPECT_EQ(all[0].m_note.m_strCategoryPath, "");
    EXPECT_EQ(all[0].m_highlight.m_strText, "beta");
    EXPECT_EQ(all[1].m_note.m_pNote, pWide);
    EXPECT_EQ(all[1].m_note.m_nNoteId, pWide->m_nID);
    EXPECT_EQ(all[1].m_note.m_strCategoryPath, "Web/News");
    EXPECT_EQ(all[1].m_note.m_strNoteName, "wide");
    EXPECT_EQ(all[1].m_highlight.m_strComment, "Wide  Comment\nhere");
    EXPECT_EQ(all[1].m_highlight.m_strText, "\xE6\x96\x87");
    EXPECT_TRUE(NotebookHighlights(doc, [] { return true; }).empty());

    // The search sees comments as text, white space as one space, and
    // nothing of the tags.
    EXPECT_EQ(notetext::NoteSearchText(*pTop), "alpha beta gamma zebra crossing");
    EXPECT_EQ(notetext::NoteSearchText(*pWide), "\xE4\xB8\xAD\xE6\x96\x87 page Wide Comment here");
    notetext::CNoteTextCache cache;
    std::vector<CNote*> found;
    notetext::SearchCategory(doc.m_rootCata, notetext::CNoteQuery("comment here", true, true), cache,
                             [&](CNote* n) { found.push_back(n); });
    EXPECT_EQ(found, std::vector<CNote*>{pWide});
    found.clear();
    notetext::SearchCategory(doc.m_rootCata, notetext::CNoteQuery("cv-highlight", true, true), cache,
                             [&](CNote* n) { found.push_back(n); });
    EXPECT_EQ(found, std::vector<CNote*>{pText});  // its text, not a page's tags
}

TEST(PageHighlights, AnyRangeOfARichPageIsMarkedWhereItIsAndComesOffExactly) {
    const std::string html =
        "<!DOCTYPE html>\r\n<html><head><title>T</title><style>p{}</style></head><body>\r\n"
        "<h1>Caf&eacute; &amp; R&#233;sum&#xE9;</h1>\r\n<p>Plain <b>bold <i>both</i></b> and "
        "<a href=\"a?x=1&amp;y=2\">a&nbsp;link</a>.<br>Next line&hellip; done</p>\r\n"
        "<ul><li>one</li><li>two &lt;tags&gt;</li></ul><table><tr><td>cell A</td><td>cell B</td></tr></table>\r\n"
        "<pre>\r\ncode  line\r\n  indented</pre><script>var hidden = 1;</script>"
        "<p>Na\xC3\xAFve \xE4\xB8\xAD\xE6\x96\x87 text, sp&shy;lit, end.</p></body></html>\r\n";
    std::mt19937 rng(35);
    for (const char* enc : {"UTF-8", "UTF-16LE", "CP1252"}) {
        const std::string e = enc;
        CCodePage cp(e == "CP1252" ? "CP1252" : "UTF-8");
        std::string bytes = html;
        if (e == "UTF-16LE") bytes = "\xFF\xFE" + ConvertText(html, "UTF-16LE", "UTF-8");
        if (e == "CP1252")  // without the Chinese words
            bytes = ConvertText(html.substr(0, html.find("\xE4")) + html.substr(html.find(" text,")), "CP1252",
                                "UTF-8");
        const std::vector<uint8_t> page = Bytes(bytes);
        hlpage::CPage p;
        hlpage::ReadPage(page, p);
        const size_t n = p.m_chars.size();
        ASSERT_GT(n, 80u) << enc;
        auto quoteAt = [&](size_t a, size_t len) {
            const size_t end = a + len < n ? p.m_chars[a + len].m_nTextOffset : p.m_strText.size();
            std::string q = p.m_strText.substr(p.m_chars[a].m_nTextOffset, end - p.m_chars[a].m_nTextOffset);
            while (!q.empty() && q.back() == ' ') q.pop_back();
            return q;
        };
        for (int k = 0; k < 60; ++k) {
            const size_t a = rng() % n, len = 1 + rng() % (n - a);
            const std::string q = quoteAt(a, len);
            std::vector<uint8_t> one, two, back;
            ASSERT_EQ(AddHighlight(page, Quote(q, "", "", p.m_chars[a].m_nTextPos), Hl("r"), one),
                      HighlightResult::kDone) << enc << " [" << q << "]";
            hlpage::CPage o;
            hlpage::ReadPage(one, o);
            ASSERT_FALSE(o.m_marks.empty());
            EXPECT_EQ(o.m_marks[0].m_nFirst, a) << enc << " [" << q << "]";
            ASSERT_EQ(ListHighlights(one).at(0).m_strText, q) << enc;
            // A second one overlapping it, the two taken off in either order.
            const size_t a2 = a + rng() % len, len2 = 1 + rng() % (n - a2);
            ASSERT_EQ(AddHighlight(one, Quote(quoteAt(a2, len2), "", "", p.m_chars[a2].m_nTextPos), Hl("s"), two),
                      HighlightResult::kDone);
            ASSERT_EQ(ListHighlights(two).size(), 2u);
            ASSERT_EQ(RemoveHighlight(two, k % 2 ? "r" : "s", back), HighlightResult::kDone);
            ASSERT_EQ(RemoveHighlight(back, k % 2 ? "s" : "r", back), HighlightResult::kDone);
            ASSERT_EQ(back, page) << enc << " [" << q << "]";
        }
    }
}
