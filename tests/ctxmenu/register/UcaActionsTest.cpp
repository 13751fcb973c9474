// The actions file editor on the layouts real files come in: Thunar's own
// one-line writing, hand-indented files, CRLF line ends and an empty root.
#include "UcaActions.h"

#include <gtest/gtest.h>

namespace {

const ucaxml::COurAction kOurs{"Add to Clipvault", "clipvault-0409", "clipvault-send-files"};

ucaxml::CActionFields Fields(const std::string& command = "'/opt/cv/clipvault-send-files' %F") {
    ucaxml::CActionFields f;
    f.m_strIcon = "/opt/cv/clipvault.png";
    f.m_strName = kOurs.m_strName;
    f.m_strUniqueId = kOurs.m_strUniqueId;
    f.m_strCommand = command;
    f.m_strDescription = "Add selected files to Clipvault";
    f.m_strPatterns = "*";
    return f;
}

TEST(UcaActions, AddingAndRemovingRestoresEveryLayout) {
    const char* layouts[] = {
        // As Thunar writes it.
        "<?xml encoding=\"UTF-8\" version=\"1.0\"?>\n<actions><action><icon></icon><name>Mine</name>"
        "<command>echo %f</command><patterns>*</patterns><other-files/></action></actions>\n",
        // Indented, with the root's end tag indented too.
        "<actions>\n  <action>\n    <name>Mine</name>\n  </action>\n  </actions>",
        "<actions>\r\n<action><name>Mine</name></action>\r\n</actions>\r\n",
        "<!DOCTYPE actions [ <!ENTITY x \"y\"> ]>\n<actions>\n<![CDATA[</actions>]]>\n</actions>\n",
        "<actions>\n<action><name>Mine</name></action>  <action><name>Other</name></action>\n</actions>",
    };
    for (const char* layout : layouts) {
        SCOPED_TRACE(layout);
        std::string error;
        const std::string added = ucaxml::WithAction(layout, kOurs, Fields(), error);
        ASSERT_EQ(error, "");
        const ucaxml::CUcaDocument doc = ucaxml::Parse(added);
        ASSERT_EQ(doc.m_strError, "");
        ASSERT_FALSE(doc.m_actions.empty());
        EXPECT_TRUE(ucaxml::IsOurs(doc.m_actions.back(), kOurs));
        bool removed = false;
        EXPECT_EQ(ucaxml::WithoutAction(added, kOurs, removed, error), layout);
        EXPECT_TRUE(removed);
    }
}

TEST(UcaActions, SelfClosedRootAndEscapedFields) {
    std::string error;
    const std::string added =
        ucaxml::WithAction("<actions/>\n", kOurs, Fields("'/a&b <c>/clipvault-send-files' %F"), error);
    ASSERT_EQ(error, "");
    const ucaxml::CUcaDocument doc = ucaxml::Parse(added);
    ASSERT_EQ(doc.m_actions.size(), 1u);
    EXPECT_EQ(doc.m_actions[0].m_strCommand, "'/a&b <c>/clipvault-send-files' %F");
    bool removed = false;
    const std::string back = ucaxml::WithoutAction(added, kOurs, removed, error);
    EXPECT_TRUE(ucaxml::Parse(back).m_strError.empty());
    EXPECT_TRUE(ucaxml::Parse(back).m_actions.empty());
}

TEST(UcaActions, OursIsReplacedInPlaceAndCopiesGo) {
    const std::string text =
        "<actions>\n<action><name>First</name></action>\n"
        "<action><name>Add to Clipvault</name><command>/old/clipvault-send-files %F</command></action>\n"
        "<action><name>Middle</name></action>\n"
        "<action><unique-id>clipvault-0409</unique-id><name>renamed</name></action>\n"
        // Another language's entry and a user's action of the same name are not ours.
        "<action><name>添加到 Clipvault</name><unique-id>clipvault-0804</unique-id>"
        "<command>/x/clipvault-send-files %F</command></action>\n"
        "<action><name>Add to Clipvault</name><command>my-own-script %F</command></action>\n"
        "<action><name xml:lang=\"de\">Add to Clipvault</name><name>Localized</name>"
        "<command>clipvault-send-files</command></action>\n"
        "</actions>\n";
    std::string error;
    const std::string out = ucaxml::WithAction(text, kOurs, Fields(), error);
    ASSERT_EQ(error, "");
    const ucaxml::CUcaDocument doc = ucaxml::Parse(out);
    ASSERT_EQ(doc.m_actions.size(), 6u);
    EXPECT_EQ(doc.m_actions[0].m_strName, "First");
    EXPECT_EQ(doc.m_actions[1].m_strCommand, "'/opt/cv/clipvault-send-files' %F");
    EXPECT_EQ(doc.m_actions[2].m_strName, "Middle");
    EXPECT_EQ(doc.m_actions[3].m_strUniqueId, "clipvault-0804");
    EXPECT_EQ(doc.m_actions[4].m_strCommand, "my-own-script %F");
    EXPECT_EQ(doc.m_actions[5].m_strName, "Localized");
}

TEST(UcaActions, MalformedTextIsReportedAndReturnedUnchanged) {
    for (const char* text : {"", "   \n", "<actions>", "<actions></action>", "<a/>", "junk<actions/>",
                             "<actions/>junk", "<actions></actions><actions></actions>"}) {
        SCOPED_TRACE(text);
        std::string error;
        EXPECT_EQ(ucaxml::WithAction(text, kOurs, Fields(), error), text);
        EXPECT_NE(error, "");
        bool removed = true;
        error.clear();
        EXPECT_EQ(ucaxml::WithoutAction(text, kOurs, removed, error), text);
        EXPECT_NE(error, "");
        EXPECT_FALSE(removed);
    }
}

}  // namespace
