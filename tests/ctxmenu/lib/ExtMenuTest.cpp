// ExtMenu against a recording stand-in of the program on a private bus.
#include "ExtMenu.h"
#include "RecordingService.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

using namespace extmenu;
using ctxmenu_test::RecordingService;

namespace {

struct InsertedItem {
    unsigned nIndex;
    unsigned nId;
    std::string strText;
};

class FakeMenu : public IMenu {
public:
    bool InsertItem(unsigned nIndex, unsigned nId, const std::string& strText) override {
        m_arrItems.push_back({nIndex, nId, strText});
        return m_bAccept;
    }
    std::vector<InsertedItem> m_arrItems;
    bool m_bAccept = true;
};

void UseLocale(const char* pszLang) {
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", pszLang, 1);
    ReloadModuleLanguageId();
}

class ExtMenuTest : public ::testing::Test {
protected:
    void SetUp() override { UseLocale("en_US.UTF-8"); }
    void TearDown() override { UseLocale("en_US.UTF-8"); }
};

std::vector<std::string> FivePaths() {
    return {"/home/u/b.txt", "/home/u/a.htm", "/home/u/Überblick.pdf", "/tmp/中文 名.doc", "/home/u/e"};
}

// Taken before any test sets the locale: what the library read when it was
// loaded (the test runs with LANG=zh_CN.UTF-8).
const std::string g_strLanguageAtLoad = ModuleLanguageId();

long long MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST_F(ExtMenuTest, OneFileGetsOneItemAtTheGivenPlaceAndTheDefaultVerbMenuNone) {
    ExtMenu menu;
    ASSERT_EQ(menu.Initialize(PathSelection(std::vector<std::string>{"/home/u/a.txt"})), S_OK);
    FakeMenu items;
    EXPECT_EQ(menu.QueryContextMenu(items, 3, 7000, 7999, CMF_NORMAL), 1);
    ASSERT_EQ(items.m_arrItems.size(), 1u);
    EXPECT_EQ(items.m_arrItems[0].nIndex, 3u);
    EXPECT_EQ(items.m_arrItems[0].nId, 7000u);
    EXPECT_EQ(items.m_arrItems[0].strText, "Add to Clipvault");

    FakeMenu defaultOnly;
    EXPECT_EQ(menu.QueryContextMenu(defaultOnly, 0, 1, 100, CMF_DEFAULTONLY), 0);
    EXPECT_TRUE(defaultOnly.m_arrItems.empty());

    // No id left, or a menu that refuses the item: no id is claimed.
    FakeMenu noRoom;
    EXPECT_EQ(menu.QueryContextMenu(noRoom, 0, 10, 9, CMF_NORMAL), 0);
    EXPECT_TRUE(noRoom.m_arrItems.empty());
    FakeMenu refusing;
    refusing.m_bAccept = false;
    EXPECT_EQ(menu.QueryContextMenu(refusing, 0, 1, 2, CMF_NORMAL), 0);
}

TEST_F(ExtMenuTest, FiveFilesArriveAsOneArrayOfStringVariantsInSelectionOrder) {
    RecordingService service;
    ASSERT_TRUE(service.Started());
    ExtMenu menu;
    ASSERT_EQ(menu.Initialize(PathSelection(FivePaths())), S_OK);
    EXPECT_EQ(menu.InvokeCommand(InvokeInfo()), S_OK);
    ASSERT_TRUE(service.WaitForCalls(1, 5000));
    const auto calls = service.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].strSignature, "(v)");
    EXPECT_EQ(calls[0].strInnerType, "av");
    EXPECT_TRUE(calls[0].bAllStrings);
    EXPECT_EQ(calls[0].paths, FivePaths());

    // A second Initialize replaces the list.
    ASSERT_EQ(menu.Initialize(PathSelection(std::vector<std::string>{"/x/only"})), S_OK);
    EXPECT_EQ(menu.InvokeCommand(InvokeInfo()), S_OK);
    ASSERT_TRUE(service.WaitForCalls(2, 5000));
    EXPECT_EQ(service.Calls()[1].paths, std::vector<std::string>{"/x/only"});
}

TEST_F(ExtMenuTest, TextVerbsOtherOffsetsAndEmptySelectionsSendNothing) {
    RecordingService service;
    ASSERT_TRUE(service.Started());
    ExtMenu menu;
    // Nothing selected yet: nothing to do, and that is no failure.
    EXPECT_EQ(menu.InvokeCommand(InvokeInfo()), S_OK);

    ASSERT_EQ(menu.Initialize(PathSelection(FivePaths())), S_OK);
    InvokeInfo verb;
    verb.pszVerb = "open";
    EXPECT_EQ(menu.InvokeCommand(verb), E_INVALIDARG);
    InvokeInfo other;
    other.nOffset = 1;
    EXPECT_EQ(menu.InvokeCommand(other), E_INVALIDARG);

    // An empty selection is refused and leaves none of the earlier files.
    EXPECT_EQ(menu.Initialize(PathSelection()), E_INVALIDARG);
    EXPECT_TRUE(menu.Files().empty());
    EXPECT_EQ(menu.InvokeCommand(InvokeInfo()), S_OK);

    EXPECT_FALSE(service.WaitForCalls(1, 300));
}

TEST_F(ExtMenuTest, UnreadableEntriesAreRefusedAndTheOthersKept) {
    ExtMenu menu;
    PathSelection selection(std::vector<std::optional<std::string>>{
        std::string("/a/1"), std::nullopt, std::string("/a/3"), std::string(""), std::string("/a/\xff\xfe"),
        std::string("/a/6")});
    EXPECT_EQ(menu.Initialize(selection), E_INVALIDARG);
    EXPECT_EQ(menu.Files(), (std::vector<std::string>{"/a/1", "/a/3", "/a/6"}));

    PathSelection nothingReadable(std::vector<std::optional<std::string>>{std::nullopt});
    EXPECT_EQ(menu.Initialize(nothingReadable), E_INVALIDARG);
    EXPECT_TRUE(menu.Files().empty());
}

TEST_F(ExtMenuTest, LongPathsAreCutAt259BytesOnACharacterBoundary) {
    const std::string strAscii = "/" + std::string(400, 'a');
    // "é" takes bytes 258 and 259 (0-based): it cannot be kept whole.
    const std::string strTwoByte = "/" + std::string(257, 'b') + "\xc3\xa9" + "tail";
    // "中" takes bytes 257 to 259.
    const std::string strThreeByte = "/" + std::string(256, 'c') + "中" + "tail";
    const std::string strExact = "/" + std::string(258, 'd');
    ExtMenu menu;
    ASSERT_EQ(menu.Initialize(PathSelection(std::vector<std::string>{strAscii, strTwoByte, strThreeByte, strExact})),
              S_OK);
    const auto& files = menu.Files();
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0], strAscii.substr(0, 259));
    EXPECT_EQ(files[1], strTwoByte.substr(0, 258));
    EXPECT_EQ(files[2], strThreeByte.substr(0, 257));
    EXPECT_EQ(files[3], strExact);
    for (const std::string& f : files) EXPECT_TRUE(g_utf8_validate(f.data(), f.size(), nullptr)) << f;
}

TEST_F(ExtMenuTest, NoProgramOnTheBusFailsQuietlyAndQuickly) {
    ExtMenu menu;
    ASSERT_EQ(menu.Initialize(PathSelection(FivePaths())), S_OK);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(menu.InvokeCommand(InvokeInfo()), E_FAIL);
    EXPECT_LT(MillisecondsSince(start), 5000);
    EXPECT_NE(menu.LastError().find("ServiceUnknown"), std::string::npos) << menu.LastError();

    // The bus knows how to start the program, but starting it fails.
    const std::string strDir = ctxmenu_test::ServiceDir();
    ASSERT_FALSE(strDir.empty());
    const std::string strFile = strDir + "/org.clipvault.Clipvault.service";
    {
        std::ofstream out(strFile);
        out << "[D-BUS Service]\nName=org.clipvault.Clipvault\nExec=/bin/false\n";
    }
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(menu.InvokeCommand(InvokeInfo()), E_FAIL);
    EXPECT_LT(MillisecondsSince(start), 10000);
    EXPECT_NE(menu.LastError().find("Spawn"), std::string::npos) << menu.LastError();
    std::remove(strFile.c_str());
}

TEST_F(ExtMenuTest, AProgramWithoutTheMemberFails) {
    RecordingService service(RecordingService::Kind::WithoutMember);
    ASSERT_TRUE(service.Started());
    ExtMenu menu;
    ASSERT_EQ(menu.Initialize(PathSelection(FivePaths())), S_OK);
    EXPECT_EQ(menu.InvokeCommand(InvokeInfo()), E_FAIL);
    EXPECT_TRUE(service.Calls().empty());
}

TEST_F(ExtMenuTest, HelpTextIsCopiedNarrowOrWideAndTruncatedToTheBuffer) {
    ExtMenu menu;
    char sz[64];
    ASSERT_EQ(menu.GetCommandString(0, GCS_HELPTEXTA, sz, sizeof sz), S_OK);
    EXPECT_STREQ(sz, "Add selected files to Clipvault");
    ASSERT_EQ(menu.GetCommandString(0, GCS_HELPTEXTA, sz, 4), S_OK);
    EXPECT_STREQ(sz, "Add");

    char32_t wsz[64];
    ASSERT_EQ(menu.GetCommandString(0, GCS_HELPTEXTW, wsz, 64), S_OK);
    EXPECT_EQ(std::u32string(wsz), U"Add selected files to Clipvault");
    ASSERT_EQ(menu.GetCommandString(0, GCS_HELPTEXTW, wsz, 9), S_OK);
    EXPECT_EQ(std::u32string(wsz), U"Add sele");

    // Only the help text of command 0 is answered.
    EXPECT_EQ(menu.GetCommandString(0, GCS_VERBA, sz, sizeof sz), E_INVALIDARG);
    EXPECT_EQ(menu.GetCommandString(0, GCS_VALIDATEA, sz, sizeof sz), E_INVALIDARG);
    EXPECT_EQ(menu.GetCommandString(1, GCS_HELPTEXTA, sz, sizeof sz), E_INVALIDARG);
    EXPECT_EQ(menu.GetCommandString(0, GCS_HELPTEXTA, nullptr, 10), E_INVALIDARG);
    sz[0] = 'x';
    EXPECT_EQ(menu.GetCommandString(0, GCS_HELPTEXTA, sz, 0), S_OK);
    EXPECT_EQ(sz[0], 'x');

    // The Chinese text is cut before a character that does not fit whole.
    UseLocale("zh_CN.UTF-8");
    ASSERT_EQ(menu.GetCommandString(0, GCS_HELPTEXTA, sz, 7), S_OK);
    EXPECT_STREQ(sz, "将选");
    ASSERT_EQ(menu.GetCommandString(0, GCS_HELPTEXTA, sz, 6), S_OK);
    EXPECT_STREQ(sz, "将");
    ASSERT_EQ(menu.GetCommandString(0, GCS_HELPTEXTW, wsz, 3), S_OK);
    EXPECT_EQ(std::u32string(wsz), U"将选");
}

TEST_F(ExtMenuTest, ChineseTextsOnlyForChineseAsWrittenInChina) {
    ExtMenu menu;
    ASSERT_EQ(menu.Initialize(PathSelection(std::vector<std::string>{"/a"})), S_OK);
    auto itemText = [&menu] {
        FakeMenu items;
        menu.QueryContextMenu(items, 0, 1, 1, CMF_NORMAL);
        return items.m_arrItems.empty() ? std::string() : items.m_arrItems[0].strText;
    };
    auto helpText = [&menu] {
        char sz[256] = "";
        menu.GetCommandString(0, GCS_HELPTEXTA, sz, sizeof sz);
        return std::string(sz);
    };

    EXPECT_EQ(g_strLanguageAtLoad, "0804");

    UseLocale("zh_CN.UTF-8");
    EXPECT_EQ(ModuleLanguageId(), "0804");
    EXPECT_EQ(itemText(), "添加到 Clipvault");
    EXPECT_EQ(helpText(), "将选中的文件添加到 Clipvault");
    EXPECT_STREQ(TextFor(Text::PageEntry, ModuleLanguageId()), "将此页添加到 Clipvault");
    EXPECT_STREQ(TextFor(Text::AllEntry, ModuleLanguageId()), "全部添加到 Clipvault");

    for (const char* pszLocale : {"de_DE.UTF-8", "C", "zh_TW.UTF-8"}) {
        UseLocale(pszLocale);
        EXPECT_EQ(itemText(), "Add to Clipvault") << pszLocale;
        EXPECT_EQ(helpText(), "Add selected files to Clipvault") << pszLocale;
        EXPECT_STREQ(TextFor(Text::PageEntry, ModuleLanguageId()), "Add the page to Clipvault") << pszLocale;
        EXPECT_STREQ(TextFor(Text::AllEntry, ModuleLanguageId()), "Add all to Clipvault") << pszLocale;
    }

    // LC_ALL outranks LANG.
    setenv("LC_ALL", "zh_CN.UTF-8", 1);
    setenv("LANG", "de_DE.UTF-8", 1);
    ReloadModuleLanguageId();
    EXPECT_EQ(itemText(), "添加到 Clipvault");
}
