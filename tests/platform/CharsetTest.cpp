#include "platform/Charset.h"

#include <gtest/gtest.h>

namespace {
struct CodePage {
    explicit CodePage(const char* name) { ok = charset::SetProcessCodePage(name); }
    ~CodePage() { charset::SetProcessCodePage("UTF-8"); }
    bool ok;
};
}  // namespace

TEST(Charset, Utf8CodePageConversions) {
    EXPECT_TRUE(charset::ProcessCodePageIsUtf8());
    const std::u16string u = u"a\u00e9\u4e2d\U0001F600";
    EXPECT_EQ(charset::Utf16LeToAnsi(u), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
    EXPECT_EQ(charset::AnsiToUtf16("a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"), u);
    // Unpaired surrogates and bad bytes are replaced one for one, never cut.
    EXPECT_EQ(charset::Utf16LeToAnsi(std::u16string{u'x', 0xDC00, u'y', 0xD800}), "x?y?");
    EXPECT_EQ(charset::AnsiToUtf16("a\xFF" "b\xC3"), (std::u16string{u'a', 0xFFFD, u'b', 0xFFFD}));
    EXPECT_EQ(charset::AnsiToUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD") << "overlong form";
    EXPECT_EQ(charset::AnsiToUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD") << "encoded surrogate";
    const uint8_t le[] = {0x41, 0x00, 0xE9, 0x00, 0x42};  // odd trailing byte ignored
    EXPECT_EQ(charset::Utf16LeToAnsi(le, sizeof le), "A\xC3\xA9");
}

TEST(Charset, OtherCodePages) {
    {
        CodePage cp("CP1252");
        ASSERT_TRUE(cp.ok);
        EXPECT_FALSE(charset::ProcessCodePageIsUtf8());
        EXPECT_EQ(charset::Utf16LeToAnsi(u"\u00e9\u20ac\u4e2d!"), "\xE9\x80?!");
        EXPECT_EQ(charset::AnsiToUtf16("\xE9\x80"), u"\u00e9\u20ac");
        EXPECT_EQ(charset::AnsiToUtf8("caf\xE9"), "caf\xC3\xA9");
        EXPECT_EQ(charset::Utf8ToAnsi("caf\xC3\xA9 \xE4\xB8\xAD"), "caf\xE9 ?");
    }
    {
        CodePage cp("GBK");
        ASSERT_TRUE(cp.ok);
        EXPECT_EQ(charset::Utf16LeToAnsi(u"\u4e2d\u6587"), "\xD6\xD0\xCE\xC4");
        EXPECT_EQ(charset::AnsiToUtf16("\xD6\xD0\xCE\xC4"), u"\u4e2d\u6587");
        // A lead byte without its trail byte at the end.
        EXPECT_EQ(charset::AnsiToUtf16("\xD6\xD0\xCE"), (std::u16string{u'\u4e2d', 0xFFFD}));
    }
    EXPECT_FALSE(charset::SetProcessCodePage("NO-SUCH-CODEPAGE"));
    EXPECT_TRUE(charset::ProcessCodePageIsUtf8()) << "a refused name keeps the current code page";
    EXPECT_TRUE(charset::SetProcessCodePage("utf8"));
    EXPECT_EQ(charset::ProcessCodePage(), "UTF-8");
}
