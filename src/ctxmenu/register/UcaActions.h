// Thunar's custom actions file (uca.xml), edited in place: the user's own
// actions, comments and whatever else the file holds stay byte for byte
// where they are; only our <action> elements are added, replaced or cut out.
#pragma once

#include <string>
#include <vector>

namespace ucaxml {

// What marks one of our actions: its unique id, or its name together with
// the sender in its command. Both are keyed by the language in force, so
// the action of another language is not ours to touch.
struct COurAction {
    std::string m_strName;        // the item text
    std::string m_strUniqueId;    // "clipvault-<language id>"
    std::string m_strCommandMark; // the sender's file name
};

// The action's child elements, in the order Thunar writes them.
struct CActionFields {
    std::string m_strIcon;
    std::string m_strName;
    std::string m_strUniqueId;
    std::string m_strCommand;
    std::string m_strDescription;
    std::string m_strPatterns;
};

// One <action> as found in the file: its bytes [m_nStart, m_nEnd) and the
// texts of its direct children (<name> without xml:lang only).
struct CFoundAction {
    size_t m_nStart = 0;
    size_t m_nEnd = 0;
    std::string m_strName;
    std::string m_strUniqueId;
    std::string m_strCommand;
};

// The file's structure; m_strError is set when the text is not a well-formed
// actions file, and then nothing else may be trusted.
struct CUcaDocument {
    std::string m_strError;
    size_t m_nRootStart = 0;    // "<actions"
    size_t m_nRootClose = 0;    // "</actions>" (the root's end when self-closed)
    size_t m_nRootEnd = 0;      // after the root's last byte
    bool m_bRootSelfClosed = false;
    std::vector<CFoundAction> m_actions;
};

// A new file, as Thunar would take it: no actions.
std::string EmptyFile();

// Reads the structure of a uca.xml text.
CUcaDocument Parse(const std::string& strText);

// The <action> element for the fields (escaped, one child a line).
std::string ActionElement(const CActionFields& fields);

bool IsOurs(const CFoundAction& action, const COurAction& ours);

// The text with our action in place: an existing one of ours replaced where
// it stands (copies beyond the first removed), else appended as the last
// action. strError is set, and the text returned unchanged, when the text is
// not a well-formed actions file.
std::string WithAction(const std::string& strText, const COurAction& ours, const CActionFields& fields,
                       std::string& strError);

// The text without our actions; nothing else moves. bRemoved tells whether
// there was one.
std::string WithoutAction(const std::string& strText, const COurAction& ours, bool& bRemoved, std::string& strError);

}  // namespace ucaxml
