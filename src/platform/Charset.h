// Byte strings in the process code page ("ANSI") and their conversions.
//
// Every name, path and page text in the core is a std::string of bytes in the
// process code page. It is UTF-8 unless the user names another one (CP1252,
// GBK, ...) to read notebooks written on such systems. Conversions go through
// iconv; UTF-8 <-> UTF-16LE is done here directly because it is the common
// case and needs no table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace charset {

// Selects the process code page by its iconv name. Returns false (and keeps
// the current one) when iconv does not know the name. Not thread-safe: call it
// at start-up, before any worker runs.
bool SetProcessCodePage(const std::string& name);
const std::string& ProcessCodePage();
bool ProcessCodePageIsUtf8();

// UTF-16LE bytes (no byte order mark) to the process code page. A character
// the code page cannot hold, and an unpaired surrogate, becomes '?': the text
// keeps its length in characters instead of being cut at the first such one.
// An odd trailing byte is ignored.
std::string Utf16LeToAnsi(const uint8_t* p, size_t nBytes);
std::string Utf16LeToAnsi(const std::u16string& s);

// Process code page to UTF-16LE code units. A byte sequence that is not valid
// in the code page becomes U+FFFD, one per offending byte.
std::u16string AnsiToUtf16(const std::string& s);

// Process code page to UTF-8 and back (for the Qt boundary, JSON output and
// the like). Invalid input bytes become U+FFFD / '?' as above.
std::string AnsiToUtf8(const std::string& s);
std::string Utf8ToAnsi(const std::string& s);

}  // namespace charset

// ASCII-only lower-casing: bytes above 0x7F (double-byte and UTF-8 text)
// stay as they are, so offsets in the copy match the original.
std::string LowerAscii(const std::string& s);

// `cp` written as UTF-8; a surrogate or a value beyond U+10FFFF as U+FFFD.
void AppendUtf8(std::string& out, char32_t cp);
