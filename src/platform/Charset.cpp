#include "platform/Charset.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace charset {
namespace {

std::string g_codePage = "UTF-8";
bool g_isUtf8 = true;

bool NameIsUtf8(const std::string& name) {
    std::string n;
    for (char c : name)
        if (c != '-' && c != '_') n += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return n == "UTF8";
}


// Decodes one UTF-8 sequence at s[i]; returns the code point and advances i,
// or returns U+FFFD and advances by one byte when the sequence is invalid
// (overlong forms, surrogates and values above U+10FFFF included).
char32_t DecodeUtf8(const std::string& s, size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) { ++i; return b0; }
    int len = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) { len = 2; cp = b0 & 0x1F; }
    else if ((b0 & 0xF0) == 0xE0) { len = 3; cp = b0 & 0x0F; }
    else if ((b0 & 0xF8) == 0xF0) { len = 4; cp = b0 & 0x07; }
    else { ++i; return 0xFFFD; }
    if (i + len > s.size()) { ++i; return 0xFFFD; }
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) { ++i; return 0xFFFD; }
        cp = (cp << 6) | (b & 0x3F);
    }
    static const char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) { ++i; return 0xFFFD; }
    i += len;
    return cp;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

// UTF-16 code units to UTF-8; unpaired surrogates become `bad` (a
// replacement chosen by the caller).
std::string Utf16ToUtf8(const char16_t* p, size_t n, const char* bad) {
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        char32_t c = p[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (p[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out += bad;
            continue;
        }
        AppendUtf8(out, c);
    }
    return out;
}

class Iconv {
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv() { if (ok()) iconv_close(m_cd); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }
private:
    iconv_t m_cd;
};

// Runs iconv over the whole input. On an unconvertible or invalid sequence
// `onBad` appends its replacement to the output and returns how many input
// bytes to skip.
template <class OnBad>
void Convert(const Iconv& cv, const char* in, size_t inLen, std::string& out, OnBad onBad) {
    std::vector<char> buf(inLen * 4 + 16);
    char* src = const_cast<char*>(in);
    size_t left = inLen;
    while (left > 0) {
        char* dst = buf.data();
        size_t room = buf.size();
        const size_t r = iconv(cv.get(), &src, &left, &dst, &room);
        out.append(buf.data(), dst - buf.data());
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ (cannot be held or invalid) or EINVAL (cut short at the end)
        const size_t skip = std::min(left, onBad(out, src, left));
        src += skip;
        left -= skip;
        iconv(cv.get(), nullptr, nullptr, nullptr, nullptr);
    }
    char* dst = buf.data();
    size_t room = buf.size();
    iconv(cv.get(), nullptr, nullptr, &dst, &room);
    out.append(buf.data(), dst - buf.data());
}

}  // namespace

bool SetProcessCodePage(const std::string& name) {
    if (name.empty()) return false;
    if (NameIsUtf8(name)) {
        g_codePage = "UTF-8";
        g_isUtf8 = true;
        return true;
    }
    Iconv test("UTF-16LE", name.c_str());
    if (!test.ok()) return false;
    g_codePage = name;
    g_isUtf8 = false;
    return true;
}

const std::string& ProcessCodePage() { return g_codePage; }
bool ProcessCodePageIsUtf8() { return g_isUtf8; }

std::string Utf16LeToAnsi(const uint8_t* p, size_t nBytes) {
    std::u16string units(nBytes / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
    return Utf16LeToAnsi(units);
}

std::string Utf16LeToAnsi(const std::u16string& s) {
    if (g_isUtf8) return Utf16ToUtf8(s.data(), s.size(), "?");
    // Go through UTF-8 so that unpaired surrogates are already replaced.
    const std::string utf8 = Utf16ToUtf8(s.data(), s.size(), "?");
    Iconv cv(g_codePage.c_str(), "UTF-8");
    std::string out;
    if (!cv.ok()) return out;
    Convert(cv, utf8.data(), utf8.size(), out, [&](std::string& o, const char* at, size_t left) {
        o += '?';
        // skip the whole UTF-8 character that could not be held
        std::string rest(at, std::min<size_t>(left, 4));
        size_t i = 0;
        DecodeUtf8(rest, i);
        return i;
    });
    return out;
}

std::u16string AnsiToUtf16(const std::string& s) {
    std::u16string out;
    if (g_isUtf8) {
        out.reserve(s.size());
        for (size_t i = 0; i < s.size();) AppendUtf16(out, DecodeUtf8(s, i));
        return out;
    }
    const std::string utf8 = AnsiToUtf8(s);
    for (size_t i = 0; i < utf8.size();) AppendUtf16(out, DecodeUtf8(utf8, i));
    return out;
}

std::string AnsiToUtf8(const std::string& s) {
    std::string out;
    if (g_isUtf8) {
        out.reserve(s.size());
        for (size_t i = 0; i < s.size();) AppendUtf8(out, DecodeUtf8(s, i));
        return out;
    }
    Iconv cv("UTF-8", g_codePage.c_str());
    if (!cv.ok()) return out;
    Convert(cv, s.data(), s.size(), out, [](std::string& o, const char*, size_t) {
        AppendUtf8(o, 0xFFFD);
        return size_t{1};
    });
    return out;
}

std::string Utf8ToAnsi(const std::string& s) {
    if (g_isUtf8) return s;
    std::u16string units;
    for (size_t i = 0; i < s.size();) AppendUtf16(units, DecodeUtf8(s, i));
    return Utf16LeToAnsi(units);
}

}  // namespace charset

std::string LowerAscii(const std::string& s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}
