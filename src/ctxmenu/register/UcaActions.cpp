#include "UcaActions.h"

#include <glib.h>

#include <cstring>

namespace ucaxml {

namespace {

// Well-formedness as Thunar's own reader (GMarkup) sees it, and the name of
// the top element.
struct CCheckState {
    int m_nDepth = 0;
    std::string m_strRoot;
};

void CheckStart(GMarkupParseContext*, const gchar* name, const gchar**, const gchar**, gpointer data, GError**) {
    auto* state = static_cast<CCheckState*>(data);
    if (state->m_nDepth++ == 0 && state->m_strRoot.empty()) state->m_strRoot = name;
}

void CheckEnd(GMarkupParseContext*, const gchar*, gpointer data, GError**) {
    --static_cast<CCheckState*>(data)->m_nDepth;
}

std::string MarkupError(const std::string& strText, CCheckState& state) {
    static const GMarkupParser kParser = {CheckStart, CheckEnd, nullptr, nullptr, nullptr};
    GMarkupParseContext* ctx = g_markup_parse_context_new(&kParser, GMarkupParseFlags(0), &state, nullptr);
    GError* error = nullptr;
    std::string strError;
    if (!g_markup_parse_context_parse(ctx, strText.data(), static_cast<gssize>(strText.size()), &error) ||
        !g_markup_parse_context_end_parse(ctx, &error))
        strError = error ? error->message : "not well-formed";
    if (error) g_error_free(error);
    g_markup_parse_context_free(ctx);
    return strError;
}

// The encoding named by the XML declaration, lower case; empty when none.
std::string DeclaredEncoding(const std::string& strText) {
    if (strText.compare(0, 5, "<?xml") != 0) return std::string();
    const size_t end = strText.find("?>");
    const std::string decl = strText.substr(0, end);
    size_t pos = decl.find("encoding");
    if (pos == std::string::npos) return std::string();
    pos = decl.find_first_of("\"'", pos);
    if (pos == std::string::npos) return std::string();
    const size_t close = decl.find(decl[pos], pos + 1);
    if (close == std::string::npos) return std::string();
    std::string value = decl.substr(pos + 1, close - pos - 1);
    for (char& c : value) c = g_ascii_tolower(c);
    return value;
}

bool StartsAt(const std::string& s, size_t i, const char* what) { return s.compare(i, std::strlen(what), what) == 0; }

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The texts of an <action>'s direct children that tell whether it is ours.
struct CFieldState {
    int m_nDepth = 0;
    std::string* m_pTarget = nullptr;
    CFoundAction* m_pAction = nullptr;
};

void FieldStart(GMarkupParseContext*, const gchar* name, const gchar** attrNames, const gchar**, gpointer data,
                GError**) {
    auto* state = static_cast<CFieldState*>(data);
    const int depth = state->m_nDepth++;
    state->m_pTarget = nullptr;
    if (depth != 1) return;
    bool localized = false;
    for (const gchar** a = attrNames; a && *a; ++a)
        if (std::strcmp(*a, "xml:lang") == 0) localized = true;
    if (std::strcmp(name, "name") == 0 && !localized)
        state->m_pTarget = &state->m_pAction->m_strName;
    else if (std::strcmp(name, "unique-id") == 0)
        state->m_pTarget = &state->m_pAction->m_strUniqueId;
    else if (std::strcmp(name, "command") == 0)
        state->m_pTarget = &state->m_pAction->m_strCommand;
}

void FieldEnd(GMarkupParseContext*, const gchar*, gpointer data, GError**) {
    auto* state = static_cast<CFieldState*>(data);
    --state->m_nDepth;
    state->m_pTarget = nullptr;
}

void FieldText(GMarkupParseContext*, const gchar* text, gsize len, gpointer data, GError**) {
    auto* state = static_cast<CFieldState*>(data);
    if (state->m_pTarget && state->m_nDepth == 2) state->m_pTarget->append(text, len);
}

void ReadFields(const std::string& strText, CFoundAction& action) {
    static const GMarkupParser kParser = {FieldStart, FieldEnd, FieldText, nullptr, nullptr};
    CFieldState state;
    state.m_pAction = &action;
    GMarkupParseContext* ctx = g_markup_parse_context_new(&kParser, GMarkupParseFlags(0), &state, nullptr);
    g_markup_parse_context_parse(ctx, strText.data() + action.m_nStart,
                                 static_cast<gssize>(action.m_nEnd - action.m_nStart), nullptr);
    g_markup_parse_context_end_parse(ctx, nullptr);
    g_markup_parse_context_free(ctx);
}

// Where each top-level piece lies. Runs only on text GMarkup accepted, so it
// needs to tell the kinds of markup apart, not to judge them.
std::string Locate(const std::string& s, CUcaDocument& doc) {
    const size_t n = s.size();
    size_t i = 0;
    int depth = 0;
    bool rootSeen = false, rootDone = false, actionOpen = false;
    size_t actionStart = 0;
    while (i < n) {
        if (s[i] != '<') {
            if (depth == 0 && !IsXmlSpace(s[i])) return "text outside the <actions> element";
            ++i;
            continue;
        }
        size_t end;
        if (StartsAt(s, i, "<!--")) {
            end = s.find("-->", i + 4);
            if (end == std::string::npos) return "a comment is not closed";
            i = end + 3;
        } else if (StartsAt(s, i, "<![CDATA[")) {
            end = s.find("]]>", i + 9);
            if (end == std::string::npos || depth == 0) return "a CDATA section is misplaced";
            i = end + 3;
        } else if (StartsAt(s, i, "<?")) {
            end = s.find("?>", i + 2);
            if (end == std::string::npos) return "a processing instruction is not closed";
            i = end + 2;
        } else if (StartsAt(s, i, "<!")) {
            // A document type declaration, perhaps with an internal subset.
            if (depth != 0 || rootSeen) return "a declaration inside the document";
            int brackets = 0;
            char quote = 0;
            for (end = i + 2; end < n; ++end) {
                const char c = s[end];
                if (quote) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '[') {
                    ++brackets;
                } else if (c == ']') {
                    --brackets;
                } else if (c == '>' && brackets <= 0) {
                    break;
                }
            }
            if (end >= n) return "a declaration is not closed";
            i = end + 1;
        } else if (StartsAt(s, i, "</")) {
            end = s.find('>', i);
            if (end == std::string::npos || depth == 0) return "an end tag without its start";
            --depth;
            if (depth == 1 && actionOpen) {
                doc.m_actions.push_back(CFoundAction{actionStart, end + 1, {}, {}, {}});
                actionOpen = false;
            }
            if (depth == 0) {
                doc.m_nRootClose = i;
                doc.m_nRootEnd = end + 1;
                rootDone = true;
            }
            i = end + 1;
        } else {
            size_t nameEnd = i + 1;
            while (nameEnd < n && !IsXmlSpace(s[nameEnd]) && s[nameEnd] != '/' && s[nameEnd] != '>') ++nameEnd;
            const std::string name = s.substr(i + 1, nameEnd - i - 1);
            char quote = 0;
            for (end = nameEnd; end < n; ++end) {
                const char c = s[end];
                if (quote) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                }
            }
            if (end >= n) return "a tag is not closed";
            const bool selfClosed = s[end - 1] == '/';
            if (depth == 0) {
                if (rootSeen) return "more than one top element";
                if (name != "actions") return "the top element is <" + name + ">, not <actions>";
                rootSeen = true;
                doc.m_nRootStart = i;
                if (selfClosed) {
                    doc.m_bRootSelfClosed = true;
                    doc.m_nRootClose = i;
                    doc.m_nRootEnd = end + 1;
                    rootDone = true;
                }
            } else if (depth == 1 && name == "action") {
                if (selfClosed)
                    doc.m_actions.push_back(CFoundAction{i, end + 1, {}, {}, {}});
                else {
                    actionOpen = true;
                    actionStart = i;
                }
            }
            if (!selfClosed) ++depth;
            i = end + 1;
        }
    }
    if (!rootSeen || !rootDone || depth != 0) return "no complete <actions> element";
    return std::string();
}

// Cuts [start, end) out; when the element had its line to itself, the whole
// line goes, so that adding and removing an action leaves the file as it was.
std::string RemoveSpan(const std::string& s, size_t start, size_t end) {
    size_t lineStart = start;
    while (lineStart > 0 && (s[lineStart - 1] == ' ' || s[lineStart - 1] == '\t')) --lineStart;
    const bool aloneBefore = lineStart == 0 || s[lineStart - 1] == '\n';
    size_t lineEnd = end;
    while (lineEnd < s.size() && (s[lineEnd] == ' ' || s[lineEnd] == '\t')) ++lineEnd;
    bool aloneAfter = false;
    if (StartsAt(s, lineEnd, "\r\n")) {
        lineEnd += 2;
        aloneAfter = true;
    } else if (lineEnd < s.size() && s[lineEnd] == '\n') {
        lineEnd += 1;
        aloneAfter = true;
    }
    if (aloneBefore && aloneAfter) return s.substr(0, lineStart) + s.substr(lineEnd);
    if (aloneAfter) return s.substr(0, start) + s.substr(lineEnd);
    return s.substr(0, start) + s.substr(end);
}

// Text content needs only these three; quotes stay readable in commands.
std::string Escaped(const std::string& str) {
    std::string out;
    for (char c : str) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

size_t CountOurs(const CUcaDocument& doc, const COurAction& ours) {
    size_t count = 0;
    for (const CFoundAction& a : doc.m_actions)
        if (IsOurs(a, ours)) ++count;
    return count;
}

}  // namespace

std::string EmptyFile() { return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n</actions>\n"; }

CUcaDocument Parse(const std::string& strText) {
    CUcaDocument doc;
    CCheckState state;
    std::string error = MarkupError(strText, state);
    if (error.empty()) {
        const std::string encoding = DeclaredEncoding(strText);
        if (!encoding.empty() && encoding != "utf-8" && encoding != "utf8")
            error = "it declares the encoding \"" + encoding + "\"; Thunar reads UTF-8 only";
    }
    if (error.empty() && state.m_strRoot != "actions")
        error = "the top element is <" + state.m_strRoot + ">, not <actions>";
    if (error.empty()) error = Locate(strText, doc);
    if (!error.empty()) {
        doc = CUcaDocument();
        doc.m_strError = error;
        return doc;
    }
    for (CFoundAction& action : doc.m_actions) ReadFields(strText, action);
    return doc;
}

std::string ActionElement(const CActionFields& f) {
    std::string out = "<action>\n";
    out += "\t<icon>" + Escaped(f.m_strIcon) + "</icon>\n";
    out += "\t<name>" + Escaped(f.m_strName) + "</name>\n";
    out += "\t<unique-id>" + Escaped(f.m_strUniqueId) + "</unique-id>\n";
    out += "\t<command>" + Escaped(f.m_strCommand) + "</command>\n";
    out += "\t<description>" + Escaped(f.m_strDescription) + "</description>\n";
    out += "\t<patterns>" + Escaped(f.m_strPatterns) + "</patterns>\n";
    // Files of every kind, never folders.
    out += "\t<audio-files/>\n\t<image-files/>\n\t<other-files/>\n\t<text-files/>\n\t<video-files/>\n";
    out += "</action>";
    return out;
}

bool IsOurs(const CFoundAction& action, const COurAction& ours) {
    if (!ours.m_strUniqueId.empty() && action.m_strUniqueId == ours.m_strUniqueId) return true;
    return action.m_strName == ours.m_strName && !ours.m_strCommandMark.empty() &&
           action.m_strCommand.find(ours.m_strCommandMark) != std::string::npos;
}

std::string WithAction(const std::string& strText, const COurAction& ours, const CActionFields& fields,
                       std::string& strError) {
    const CUcaDocument doc = Parse(strText);
    if (!doc.m_strError.empty()) {
        strError = doc.m_strError;
        return strText;
    }
    const std::string block = ActionElement(fields);
    std::vector<const CFoundAction*> found;
    for (const CFoundAction& a : doc.m_actions)
        if (IsOurs(a, ours)) found.push_back(&a);
    std::string out = strText;
    if (!found.empty()) {
        // Copies beyond the first go, from the back so the offsets hold.
        for (size_t k = found.size(); k-- > 1;) out = RemoveSpan(out, found[k]->m_nStart, found[k]->m_nEnd);
        out.replace(found[0]->m_nStart, found[0]->m_nEnd - found[0]->m_nStart, block);
    } else if (doc.m_bRootSelfClosed) {
        out = strText.substr(0, doc.m_nRootStart) + "<actions>\n" + block + "\n</actions>" +
              strText.substr(doc.m_nRootEnd);
    } else {
        size_t at = doc.m_nRootClose;
        size_t lineStart = at;
        while (lineStart > 0 && (out[lineStart - 1] == ' ' || out[lineStart - 1] == '\t')) --lineStart;
        if (lineStart == 0 || out[lineStart - 1] == '\n') at = lineStart;
        out.insert(at, block + "\n");
    }
    const CUcaDocument check = Parse(out);
    if (!check.m_strError.empty() || CountOurs(check, ours) != 1) {
        strError = "the edited file would not be a sound actions file";
        return strText;
    }
    return out;
}

std::string WithoutAction(const std::string& strText, const COurAction& ours, bool& bRemoved, std::string& strError) {
    bRemoved = false;
    const CUcaDocument doc = Parse(strText);
    if (!doc.m_strError.empty()) {
        strError = doc.m_strError;
        return strText;
    }
    std::string out = strText;
    for (size_t k = doc.m_actions.size(); k-- > 0;) {
        if (!IsOurs(doc.m_actions[k], ours)) continue;
        out = RemoveSpan(out, doc.m_actions[k].m_nStart, doc.m_actions[k].m_nEnd);
        bRemoved = true;
    }
    if (bRemoved) {
        const CUcaDocument check = Parse(out);
        if (!check.m_strError.empty() || CountOurs(check, ours) != 0) {
            strError = "the edited file would not be a sound actions file";
            bRemoved = false;
            return strText;
        }
    }
    return out;
}

}  // namespace ucaxml
