#include "capture/CssRefs.h"
#include "platform/Charset.h"

#include <cstdint>
#include <utility>

namespace {

constexpr int kEnd = -1;
// A name longer than this is none of the few names that matter here; only
// its head is kept, so a huge identifier costs no memory.
constexpr size_t kNameKept = 32;
constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// CR, FF and CR LF read as one LF, NUL as U+FFFD: the input is taken as it
// stands and those rules are applied where each byte is looked at, so that
// every offset stays an offset in the caller's text.
bool IsNewline(int c) { return c == '\n' || c == '\r' || c == '\f'; }
bool IsWhite(int c) { return c == ' ' || c == '\t' || IsNewline(c); }
bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsHex(int c) { return IsDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }
int HexValue(int c) { return IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }
// NUL stands for U+FFFD, which is not ASCII and so starts a name.
bool IsNameStart(int c) { return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '_' || c >= 0x80 || c == 0; }
bool IsNameChar(int c) { return IsNameStart(c) || IsDigit(c) || c == '-'; }
bool IsNonPrintable(int c) { return (c >= 1 && c <= 8) || c == 0x0B || (c >= 0x0E && c <= 0x1F) || c == 0x7F; }
bool IsValidEscape(int a, int b) { return a == '\\' && !IsNewline(b); }

bool StartsName(int a, int b, int c) {
    if (a == '-') return IsNameStart(b) || b == '-' || IsValidEscape(b, c);
    if (a == '\\') return IsValidEscape(a, b);
    return IsNameStart(a);
}

bool StartsNumber(int a, int b, int c) {
    if (a == '+' || a == '-') return IsDigit(b) || (b == '.' && IsDigit(c));
    if (a == '.') return IsDigit(b);
    return IsDigit(a);
}

void AppendByte(std::string& out, int c) {
    if (c == 0) out += kReplacement;
    else out += static_cast<char>(c);
}

bool EqualsNoCase(const std::string& s, const char* lower) {
    size_t i = 0;
    for (; lower[i]; ++i)
        if (i >= s.size() || (s[i] >= 'A' && s[i] <= 'Z' ? s[i] | 0x20 : s[i]) != lower[i]) return false;
    return i == s.size();
}

std::string Trimmed(std::string s) {
    size_t b = 0, e = s.size();
    while (b < e && IsWhite(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && IsWhite(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// The blocks open at a point. Which strings count (those directly inside
// image-set()) and which @import is the stylesheet's own depend on them, and
// a closer ends a block only when it matches, as the parser has it, so every
// kind is kept.
enum Block : char { kParen, kSquare, kCurly, kFunction, kImageSet };

// One pass over the text, one token at a time, every look-ahead bounded: the
// time is linear in the length, and deep nesting costs a byte of the block
// stack, never a stack frame.
class CCssScanner {
public:
    CCssScanner(const char* pText, size_t nLength)
        : m_p(reinterpret_cast<const unsigned char*>(pText)), m_n(pText ? nLength : 0) {}

    std::vector<CCssRef> Run();

private:
    int At(size_t i) const { return m_nPos + i < m_n ? m_p[m_nPos + i] : kEnd; }
    // One newline; CR LF counts as one.
    void SkipNewline() { m_nPos += (At(0) == '\r' && At(1) == '\n') ? 2 : 1; }
    void SkipWhite() {
        while (IsWhite(At(0))) SkipNewline();
    }
    void SkipComment();
    void ConsumeEscape(std::string* pOut);
    void ConsumeName(std::string* pName);
    void ConsumeNumeric();
    void ConsumeIdentLike(bool bImport);
    void ConsumeUrl(int nKind);
    void ConsumeBadUrlRest();
    void ConsumeString(bool bImport, bool bUrlString);
    void Add(int nKind, size_t nOffset, size_t nLength, char cQuote, std::string&& value);
    bool Close(Block block) {
        if (m_blocks.empty()) return false;
        const Block top = m_blocks.back();
        const bool bParen = top == kParen || top == kFunction || top == kImageSet;
        if (block != top && !(block == kParen && bParen)) return false;
        m_blocks.pop_back();
        return true;
    }

    const unsigned char* m_p;
    size_t m_n;
    size_t m_nPos = 0;
    std::vector<Block> m_blocks;
    // No token yet since the last rule or statement ended: an at-keyword
    // here starts an at-rule, anywhere else it is part of a prelude or value.
    bool m_bRuleStart = true;
    // The stylesheet's current rule is a style rule: its prelude, unlike an
    // at-rule's, runs on over ';' to the block.
    bool m_bQualified = false;
    // The next token after @import names what it imports.
    bool m_bImportNext = false;
    // url( was followed by a quote: the string that comes next is the URL.
    bool m_bUrlStringNext = false;
    int m_nUrlStringKind = kCssUrl;
    // An @namespace prelude: its url() is a name, not something to fetch.
    bool m_bNamespace = false;
    std::vector<CCssRef> m_refs;
};

void CCssScanner::SkipComment() {
    m_nPos += 2;
    while (m_nPos < m_n) {
        if (At(0) == '*' && At(1) == '/') {
            m_nPos += 2;
            return;
        }
        ++m_nPos;
    }
}

// After the backslash of a valid escape.
void CCssScanner::ConsumeEscape(std::string* pOut) {
    const int c = At(0);
    if (c == kEnd) {
        if (pOut) *pOut += kReplacement;
        return;
    }
    if (!IsHex(c)) {
        // A byte of a multi-byte character is escaped alone; the rest of the
        // character follows as ordinary bytes, which is the same thing.
        if (pOut) AppendByte(*pOut, c);
        ++m_nPos;
        return;
    }
    uint32_t cp = 0;
    for (int i = 0; i < 6 && IsHex(At(0)); ++i, ++m_nPos) cp = cp * 16 + HexValue(At(0));
    if (IsWhite(At(0))) SkipNewline();
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
    if (pOut) AppendUtf8(*pOut, cp);
}

void CCssScanner::ConsumeName(std::string* pName) {
    for (;;) {
        const int c = At(0);
        std::string* pKeep = pName && pName->size() < kNameKept ? pName : nullptr;
        if (IsNameChar(c)) {
            if (pKeep) AppendByte(*pKeep, c);
            ++m_nPos;
        } else if (IsValidEscape(c, At(1))) {
            ++m_nPos;
            ConsumeEscape(pKeep);
        } else {
            return;
        }
    }
}

void CCssScanner::ConsumeNumeric() {
    if (At(0) == '+' || At(0) == '-') ++m_nPos;
    while (IsDigit(At(0))) ++m_nPos;
    if (At(0) == '.' && IsDigit(At(1))) {
        ++m_nPos;
        while (IsDigit(At(0))) ++m_nPos;
    }
    if ((At(0) | 0x20) == 'e' && At(0) != kEnd) {
        if (IsDigit(At(1))) m_nPos += 1;
        else if ((At(1) == '+' || At(1) == '-') && IsDigit(At(2))) m_nPos += 2;
        while (IsDigit(At(0))) ++m_nPos;
    }
    // A dimension's unit is a name: "1url(" is a unit and a parenthesis.
    if (StartsName(At(0), At(1), At(2))) ConsumeName(nullptr);
    else if (At(0) == '%') ++m_nPos;
}

void CCssScanner::ConsumeIdentLike(bool bImport) {
    std::string name;
    ConsumeName(&name);
    if (At(0) != '(') return;
    ++m_nPos;
    if (EqualsNoCase(name, "url")) {
        while (IsWhite(At(0)) && IsWhite(At(1))) SkipNewline();
        const int c = IsWhite(At(0)) ? At(1) : At(0);
        if (c != '"' && c != '\'') return ConsumeUrl(bImport ? kCssImport : kCssUrl);
        m_blocks.push_back(kFunction);
        m_bUrlStringNext = true;
        m_nUrlStringKind = bImport ? kCssImport : kCssUrl;
        return;
    }
    const bool bImageSet = EqualsNoCase(name, "image-set") || EqualsNoCase(name, "-webkit-image-set");
    m_blocks.push_back(bImageSet ? kImageSet : kFunction);
}

// After url( and the white space the caller skipped.
void CCssScanner::ConsumeUrl(int nKind) {
    SkipWhite();
    const size_t nStart = m_nPos;
    std::string value;
    for (;;) {
        const int c = At(0);
        if (c == kEnd) return;  // unclosed: no reference
        if (c == ')' || IsWhite(c)) {
            const size_t nEnd = m_nPos;
            SkipWhite();
            if (At(0) == kEnd) return;
            if (At(0) != ')') return ConsumeBadUrlRest();
            ++m_nPos;
            return Add(nKind, nStart, nEnd - nStart, 0, std::move(value));
        }
        if (c == '"' || c == '\'' || c == '(' || IsNonPrintable(c)) return ConsumeBadUrlRest();
        if (c == '\\') {
            if (!IsValidEscape(c, At(1))) return ConsumeBadUrlRest();
            ++m_nPos;
            ConsumeEscape(&value);
            continue;
        }
        AppendByte(value, c);
        ++m_nPos;
    }
}

// A malformed url() gives no reference, and the scan goes on after its
// closing parenthesis (an escaped one does not close it).
void CCssScanner::ConsumeBadUrlRest() {
    for (;;) {
        const int c = At(0);
        if (c == kEnd) return;
        if (c == ')') {
            ++m_nPos;
            return;
        }
        ++m_nPos;
        if (IsValidEscape(c, At(0))) ConsumeEscape(nullptr);
    }
}

void CCssScanner::ConsumeString(bool bImport, bool bUrlString) {
    const char cQuote = static_cast<char>(At(0));
    ++m_nPos;
    const size_t nStart = m_nPos;
    std::string value;
    for (;;) {
        const int c = At(0);
        // Unclosed at the end, or cut by a newline (left for the next
        // token): not a string a browser uses.
        if (c == kEnd || IsNewline(c)) return;
        if (c == cQuote) break;
        if (c == '\\') {
            ++m_nPos;
            if (At(0) == kEnd) continue;
            if (IsNewline(At(0))) SkipNewline();  // a line continued
            else ConsumeEscape(&value);
            continue;
        }
        AppendByte(value, c);
        ++m_nPos;
    }
    const size_t nEnd = m_nPos++;
    if (bUrlString) Add(m_nUrlStringKind, nStart, nEnd - nStart, cQuote, std::move(value));
    else if (bImport) Add(kCssImport, nStart, nEnd - nStart, cQuote, std::move(value));
    else if (!m_blocks.empty() && m_blocks.back() == kImageSet)
        Add(kCssUrl, nStart, nEnd - nStart, cQuote, std::move(value));
}

void CCssScanner::Add(int nKind, size_t nOffset, size_t nLength, char cQuote, std::string&& value) {
    if (m_bNamespace) return;
    CCssRef ref;
    ref.m_nKind = nKind;
    ref.m_nOffset = nOffset;
    ref.m_nLength = nLength;
    ref.m_cQuote = cQuote;
    ref.m_strValue = Trimmed(std::move(value));
    m_refs.push_back(std::move(ref));
}

std::vector<CCssRef> CCssScanner::Run() {
    while (m_nPos < m_n) {
        const int c = At(0);
        if (c == '/' && At(1) == '*') {
            SkipComment();
            continue;
        }
        if (IsWhite(c)) {
            SkipWhite();
            continue;
        }
        // Comments and white space aside, a token ends what @import or
        // url(" waited for.
        const bool bRuleStart = std::exchange(m_bRuleStart, false);
        const bool bImport = std::exchange(m_bImportNext, false);
        const bool bUrlString = std::exchange(m_bUrlStringNext, false);
        if (bRuleStart && m_blocks.empty()) m_bQualified = !(c == '@' && StartsName(At(1), At(2), At(3)));
        switch (c) {
        case '"':
        case '\'':
            ConsumeString(bImport, bUrlString);
            break;
        case '#':
            ++m_nPos;
            if (IsNameChar(At(0)) || IsValidEscape(At(0), At(1))) ConsumeName(nullptr);
            break;
        case '(':
            ++m_nPos;
            m_blocks.push_back(kParen);
            break;
        case '[':
            ++m_nPos;
            m_blocks.push_back(kSquare);
            break;
        case '{':
            ++m_nPos;
            m_blocks.push_back(kCurly);
            m_bNamespace = false;
            m_bRuleStart = true;
            break;
        case ')':
            ++m_nPos;
            Close(kParen);
            break;
        case ']':
            ++m_nPos;
            Close(kSquare);
            break;
        case '}':
            ++m_nPos;
            m_bRuleStart = Close(kCurly);
            m_bNamespace = false;
            break;
        case ';':
            ++m_nPos;
            m_bNamespace = false;
            m_bRuleStart = !m_bQualified || !m_blocks.empty();
            break;
        case '+':
        case '.':
            if (StartsNumber(c, At(1), At(2))) ConsumeNumeric();
            else ++m_nPos;
            break;
        case '-':
            if (StartsNumber(c, At(1), At(2))) {
                ConsumeNumeric();
            } else if (At(1) == '-' && At(2) == '>') {
                m_nPos += 3;
                m_bRuleStart = bRuleStart;
            } else if (StartsName(c, At(1), At(2))) {
                ConsumeIdentLike(bImport);
            } else {
                ++m_nPos;
            }
            break;
        case '<':
            // <!-- and --> around a stylesheet, as old pages hide it,
            // leave the rules as they are.
            if (At(1) == '!' && At(2) == '-' && At(3) == '-') {
                m_nPos += 4;
                m_bRuleStart = bRuleStart;
            } else {
                ++m_nPos;
            }
            break;
        case '@':
            ++m_nPos;
            if (StartsName(At(0), At(1), At(2))) {
                std::string name;
                ConsumeName(&name);
                // Only a stylesheet's own at-rules count; inside a block or
                // another rule's prelude a browser ignores them.
                const bool bOwn = bRuleStart && m_blocks.empty();
                m_bImportNext = bOwn && EqualsNoCase(name, "import");
                if (bOwn && EqualsNoCase(name, "namespace")) m_bNamespace = true;
            }
            break;
        case '\\':
            if (IsValidEscape(c, At(1))) ConsumeIdentLike(bImport);
            else ++m_nPos;
            break;
        default:
            if (IsDigit(c)) ConsumeNumeric();
            else if (IsNameStart(c)) ConsumeIdentLike(bImport);
            else ++m_nPos;
            break;
        }
    }
    return std::move(m_refs);
}

}  // namespace

std::vector<CCssRef> FindCssRefs(const char* pText, size_t nLength) { return CCssScanner(pText, nLength).Run(); }

std::string CssEscapeForSpan(const std::string& value, char cQuote) {
    static const char kHexDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(value.size() + 8);
    for (size_t i = 0; i < value.size(); ++i) {
        const int c = static_cast<unsigned char>(value[i]);
        bool bHex;
        if (cQuote) {
            if (c == static_cast<unsigned char>(cQuote) || c == '\\') {
                out += '\\';
                out += static_cast<char>(c);
                continue;
            }
            bHex = IsNewline(c) || c == 0;
        } else {
            bHex =
                IsWhite(c) || c == '"' || c == '\'' || c == '(' || c == ')' || c == '\\' || IsNonPrintable(c) || c == 0;
        }
        if (!bHex) {
            out += static_cast<char>(c);
            continue;
        }
        // NUL cannot stand in CSS at all; it reads as U+FFFD however written.
        out += '\\';
        if (c == 0) {
            out += "fffd";
        } else {
            if (c >= 16) out += kHexDigits[c >> 4];
            out += kHexDigits[c & 15];
        }
        // A hex escape runs on over hex digits and eats one white space
        // after it; a space ends it before either. Inside url() white space
        // is escaped itself, so only a hex digit needs it there.
        if (i + 1 < value.size()) {
            const int next = static_cast<unsigned char>(value[i + 1]);
            if (IsHex(next) || (cQuote && IsWhite(next))) out += ' ';
        }
    }
    return out;
}

std::vector<CSrcsetCandidate> ParseSrcset(const std::string& value) {
    // ASCII white space as HTML has it.
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; };
    std::vector<CSrcsetCandidate> candidates;
    const size_t n = value.size();
    size_t pos = 0;
    for (;;) {
        while (pos < n && (isSpace(value[pos]) || value[pos] == ',')) ++pos;
        if (pos >= n) return candidates;
        const size_t nStart = pos;
        while (pos < n && !isSpace(value[pos])) ++pos;
        size_t nEnd = pos;
        if (value[nEnd - 1] == ',') {
            // Commas that end the URL separate it from the next candidate,
            // which then has no descriptors; commas inside it are its own.
            while (nEnd > nStart && value[nEnd - 1] == ',') --nEnd;
        } else {
            // The descriptors run to a comma outside parentheses. They are
            // passed over, not judged: a candidate's URL is rewritten
            // whatever its descriptors say.
            while (pos < n && isSpace(value[pos])) ++pos;
            bool bInParens = false;
            for (; pos < n; ++pos) {
                const char c = value[pos];
                if (bInParens) {
                    if (c == ')') bInParens = false;
                } else if (c == '(') {
                    bInParens = true;
                } else if (c == ',') {
                    ++pos;
                    break;
                }
            }
        }
        if (nEnd > nStart) {
            CSrcsetCandidate candidate;
            candidate.m_nOffset = nStart;
            candidate.m_nLength = nEnd - nStart;
            candidate.m_strUrl = value.substr(nStart, nEnd - nStart);
            candidates.push_back(std::move(candidate));
        }
    }
}
