#include "app/cli/CliJson.h"

#include <cstdio>

#include "platform/Charset.h"

namespace cli {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The UTF-8 of one character of the code page, or false when `piece` is not
// exactly whole characters. The conversion marks each byte it cannot take
// with U+FFFD, so U+FFFD alone from several bytes is a genuine character.
bool ConvertPiece(const std::string& piece, std::string& utf8) {
    utf8 = charset::AnsiToUtf8(piece);
    if (utf8.empty()) return false;
    if (utf8.find(kReplacement) == std::string::npos) return true;
    return piece.size() > 1 && utf8 == kReplacement;
}

}  // namespace

std::string AnsiToJsonText(const std::string& ansi) {
    std::string whole = charset::AnsiToUtf8(ansi);
    if (whole.find(kReplacement) == std::string::npos) return whole;
    // Something did not convert: walk the bytes, taking the shortest run that
    // makes a character. Code pages with multi-byte characters have lead
    // bytes that are no character alone, so the shortest run is the right one.
    constexpr size_t kLongestCharacter = 4;
    std::string out;
    std::string piece;
    for (size_t i = 0; i < ansi.size();) {
        size_t len = 1;
        bool bFound = false;
        for (; len <= kLongestCharacter && i + len <= ansi.size(); ++len) {
            if (ConvertPiece(ansi.substr(i, len), piece)) {
                bFound = true;
                break;
            }
        }
        if (bFound) {
            out += piece;
            i += len;
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", static_cast<unsigned char>(ansi[i]));
            out += esc;
            ++i;
        }
    }
    return out;
}

std::string JsonWriter::Quote(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (u < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04X", u);
                out += esc;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

void JsonWriter::NewLine() {
    m_out += '\n';
    m_out.append(m_hasItems.size() * 2, ' ');
}

void JsonWriter::BeforeValue() {
    if (m_bAfterKey) {
        m_bAfterKey = false;
        return;
    }
    if (m_hasItems.empty()) return;
    if (m_hasItems.back()) m_out += ',';
    m_hasItems.back() = true;
    NewLine();
}

void JsonWriter::Open(char c) {
    BeforeValue();
    m_out += c;
    m_hasItems.push_back(false);
}

void JsonWriter::Close(char c) {
    const bool bHadItems = !m_hasItems.empty() && m_hasItems.back();
    if (!m_hasItems.empty()) m_hasItems.pop_back();
    if (bHadItems) NewLine();
    m_out += c;
    if (m_hasItems.empty()) m_out += '\n';
}

void JsonWriter::BeginObject() { Open('{'); }
void JsonWriter::EndObject() { Close('}'); }
void JsonWriter::BeginArray() { Open('['); }
void JsonWriter::EndArray() { Close(']'); }

void JsonWriter::Key(std::string_view name) {
    BeforeValue();
    m_out += Quote(name);
    m_out += ": ";
    m_bAfterKey = true;
}

void JsonWriter::String(std::string_view utf8) {
    BeforeValue();
    m_out += Quote(utf8);
}

void JsonWriter::Number(int64_t n) {
    BeforeValue();
    m_out += std::to_string(n);
}

void JsonWriter::Number(uint64_t n) {
    BeforeValue();
    m_out += std::to_string(n);
}

void JsonWriter::Bool(bool b) {
    BeforeValue();
    m_out += b ? "true" : "false";
}

void JsonWriter::Null() {
    BeforeValue();
    m_out += "null";
}

}  // namespace cli
