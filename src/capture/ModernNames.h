// Addresses as the modern capture reads them: what both its naming of files
// and its following of references need.
#pragma once

#include <string>

namespace modernurl {

bool IsAsciiSpace(char c);
// The scheme of `s` in lower case ("http"), or empty when it has none.
std::string SchemeOf(const std::string& s);
bool IsWebScheme(const std::string& scheme);
// White space trimmed, tabs and line breaks removed, spaces, controls,
// non-ASCII bytes and the characters a URL may not hold escaped.
std::string CleanReference(const std::string& ref);
std::string PercentDecode(const std::string& s);
// A local path as a "file://" URL; a URL stays as it is.
std::string FileUrlFor(const std::string& path);
// `url` without its fragment, which goes to `pFragment` ("#x") when given.
std::string WithoutFragment(const std::string& url, std::string* pFragment = nullptr);

}  // namespace modernurl
