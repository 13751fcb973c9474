// Text in another encoding, as the tests build their sample pages.
#pragma once

#include <iconv.h>

#include <string>

// `in` converted from encoding `from` to encoding `to` (iconv names).
inline std::string ConvertText(const std::string& in, const char* to, const char* from) {
    iconv_t cv = iconv_open(to, from);
    if (cv == reinterpret_cast<iconv_t>(-1)) return std::string();
    std::string out(in.size() * 4 + 8, '\0');
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    char* dst = out.data();
    size_t room = out.size();
    iconv(cv, &src, &left, &dst, &room);
    iconv_close(cv);
    out.resize(out.size() - room);
    return out;
}
