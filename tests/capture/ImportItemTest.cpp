#include "capture/ImportItem.h"

#include <gtest/gtest.h>

#include "capture/PageScanner.h"
#include "support/TestSupport.h"
#include "platform/Charset.h"
#include "platform/FileUtil.h"

TEST(PageTitle, FoundThroughALowerCasedCopy) {
    EXPECT_EQ(GetPageTitle("<HTML><Title lang=en>My Page</TITLE>"), "my page");
    EXPECT_EQ(GetPageTitle("<title> spaced </title>"), " spaced ");
    EXPECT_EQ(GetPageTitle("<p>no title here</p>"), "");
    EXPECT_EQ(GetPageTitle("<title"), "");
    EXPECT_EQ(GetPageTitle("<title>never closed"), "");
    EXPECT_EQ(GetPageTitle("<title>\xC3\x89t\xC3\xA9</title>"), "\xC3\x89t\xC3\xA9") << "only ASCII letters change";
}

TEST(PageTitle, TitleForSourceFallsBackToTheFileName) {
    TempDir dir;
    auto write = [&](const std::string& name, const std::string& text) {
        const std::string path = dir.File(name);
        EXPECT_TRUE(fileutil::WriteWholeFile(path, text.data(), text.size()));
        return path;
    };
    EXPECT_EQ(TitleForSource(write("a.SHTM", "<title>Shown</title>")), "shown");
    EXPECT_EQ(TitleForSource(write("b.html", "<p>untitled</p>")), "b.html");
    EXPECT_EQ(TitleForSource(write("c.txt", "<title>not a page</title>")), "c.txt");
    EXPECT_EQ(TitleForSource("C:\\docs\\d.doc"), "d.doc");
    EXPECT_EQ(TitleForSource("http://host/dir/"), "http://host/dir/");
    EXPECT_EQ(TitleForSource(dir.File("missing.htm")), "missing.htm");

    // A UTF-16LE page is read as text.
    const std::u16string u = u"<title>Wide \u4e2d</title>";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : u) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    EXPECT_EQ(TitleForSource(write("w.htm", bytes)), "wide \xE4\xB8\xAD");
}
