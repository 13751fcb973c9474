// Reading what a page refers to, by plain text search on its bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The page's title: on a lower-cased copy of the text, what stands between
// the ">" that closes "<title" and the next "</title" (so it is lower case and
// not trimmed). Empty when any of them is missing.
std::string GetPageTitle(const std::string& strText);

// A page's bytes as text in the process code page: a page that begins with
// the UTF-16LE byte order mark FF FE is converted, any other is taken as it is.
std::string PageBytesToText(const std::vector<uint8_t>& bytes);

// ASCII-only lower-casing: bytes above 0x7F (double-byte and UTF-8 text)
// stay as they are, so offsets in the copy match the original.
std::string LowerAscii(const std::string& s);
