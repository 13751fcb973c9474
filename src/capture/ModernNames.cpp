// Where a modern capture's files come from and what they are called: the
// references resolved as a browser resolves them, and the names files are
// stored under.
#include "capture/ModernNames.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "capture/ModernCapture.h"
#include "platform/Charset.h"

namespace modernurl {

bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string SchemeOf(const std::string& s) {
    size_t i = 0;
    if (s.empty() || !isalpha(static_cast<unsigned char>(s[0]))) return std::string();
    while (i < s.size() && (isalnum(static_cast<unsigned char>(s[i])) || s[i] == '+' || s[i] == '-' || s[i] == '.'))
        ++i;
    if (i >= s.size() || s[i] != ':') return std::string();
    return LowerAscii(s.substr(0, i));
}

bool IsWebScheme(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

std::string CleanReference(const std::string& ref) {
    size_t b = 0, e = ref.size();
    while (b < e && IsAsciiSpace(ref[b])) ++b;
    while (e > b && IsAsciiSpace(ref[e - 1])) --e;
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = b; i < e; ++i) {
        const unsigned char c = static_cast<unsigned char>(ref[i]);
        if (c == '\t' || c == '\n' || c == '\r') continue;
        if (c <= 0x20 || c >= 0x7f || c == '"' || c == '<' || c == '>' || c == '`' || c == '{' || c == '}' ||
            c == '|' || c == '^') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string PercentDecode(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string FileUrlFor(const std::string& path) {
    if (!SchemeOf(path).empty() && path.size() > 2 && path[1] != ':') return path;  // a URL already
    return "file://" + CleanReference(path);
}

std::string WithoutFragment(const std::string& url, std::string* pFragment) {
    const size_t hash = url.find('#');
    if (pFragment) *pFragment = hash == std::string::npos ? std::string() : url.substr(hash);
    return hash == std::string::npos ? url : url.substr(0, hash);
}

}  // namespace modernurl

using namespace modernurl;

namespace {

const size_t kMaxNameBytes = 80;

struct CTypeExtensions {
    const char* type;
    const char* exts;  // the first is the one given
};
const CTypeExtensions kTypes[] = {
    {"image/png", "png apng"},
    {"image/apng", "png apng"},
    {"image/jpeg", "jpg jpeg jpe jfif"},
    {"image/pjpeg", "jpg jpeg"},
    {"image/gif", "gif"},
    {"image/webp", "webp"},
    {"image/avif", "avif"},
    {"image/svg+xml", "svg svgz"},
    {"image/x-icon", "ico cur"},
    {"image/vnd.microsoft.icon", "ico cur"},
    {"image/bmp", "bmp"},
    {"image/tiff", "tif tiff"},
    {"text/css", "css"},
    {"text/javascript", "js mjs"},
    {"application/javascript", "js mjs"},
    {"application/x-javascript", "js mjs"},
    {"application/json", "json"},
    {"font/woff2", "woff2"},
    {"font/woff", "woff"},
    {"application/font-woff", "woff"},
    {"font/ttf", "ttf"},
    {"application/x-font-ttf", "ttf"},
    {"font/otf", "otf"},
    {"application/vnd.ms-fontobject", "eot"},
    {"text/html", "htm html shtml"},
    {"application/xhtml+xml", "xhtml htm html"},
    {"text/xml", "xml xsl xslt"},
    {"application/xml", "xml xsl xslt"},
    {"text/xsl", "xsl xslt xml"},
    {"application/xslt+xml", "xsl xslt xml"},
    {"video/mp4", "mp4 m4v"},
    {"video/webm", "webm"},
    {"video/ogg", "ogv ogg"},
    {"audio/mpeg", "mp3"},
    {"audio/ogg", "ogg oga opus"},
    {"audio/wav", "wav"},
    {"audio/x-wav", "wav"},
    {"audio/webm", "weba webm"},
    {"text/vtt", "vtt"},
    {"application/pdf", "pdf"},
    {"text/plain", "txt"},
};

const CTypeExtensions* TypeInfo(const std::string& type) {
    for (const auto& t : kTypes)
        if (type == t.type) return &t;
    return nullptr;
}

bool ListHas(const char* list, const std::string& ext) {
    const std::string l = std::string(" ") + list + " ";
    return !ext.empty() && l.find(" " + ext + " ") != std::string::npos;
}

std::string FirstOf(const char* list) {
    const std::string l = list;
    return l.substr(0, l.find(' '));
}

}  // namespace

bool TooDeepToParse(const uint8_t* pData, size_t nLength) {
    static const char* const kVoid[] = {"area", "base", "br",   "col",   "embed",  "hr",  "img", "input",
                                        "link", "meta", "param", "source", "track", "wbr", "p",   "li"};
    const size_t kLimit = 20000;
    size_t depth = 0;
    for (size_t i = 0; i + 1 < nLength; ++i) {
        const void* lt = std::memchr(pData + i, '<', nLength - 1 - i);
        if (!lt) break;
        i = static_cast<size_t>(static_cast<const uint8_t*>(lt) - pData);
        size_t j = i + 1;
        while (j < nLength && pData[j] == 0) ++j;  // UTF-16
        if (j < nLength && pData[j] == '/') {
            if (depth) --depth;
            continue;
        }
        std::string name;
        while (j < nLength && name.size() < 8 && (isalnum(pData[j]) || pData[j] == 0)) {
            if (pData[j]) name += static_cast<char>(tolower(pData[j]));
            ++j;
        }
        if (name.empty() || !isalpha(static_cast<unsigned char>(name[0]))) continue;
        if (std::find_if(std::begin(kVoid), std::end(kVoid), [&](const char* v) { return name == v; }) !=
            std::end(kVoid))
            continue;
        if (++depth > kLimit) return true;
    }
    return false;
}

std::string ResolveReference(const std::string& base, const std::string& ref) {
    const std::string clean = CleanReference(ref);
    if (clean.empty()) return std::string();
    const std::string scheme = SchemeOf(clean);
    if (!scheme.empty() && !IsWebScheme(scheme) && scheme != "file") return std::string();
    const unsigned flags = CURLU_NON_SUPPORT_SCHEME;
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> h(nullptr, &curl_url_cleanup);
    if (scheme.empty()) {
        // A page resolves thousands of references against one base: it is
        // parsed once per thread and copied.
        struct CParsedBase {
            std::string strBase;
            CURLU* pUrl = nullptr;
            ~CParsedBase() { curl_url_cleanup(pUrl); }
        };
        thread_local CParsedBase parsed;
        if (!parsed.pUrl || parsed.strBase != base) {
            curl_url_cleanup(parsed.pUrl);
            parsed.pUrl = curl_url();
            parsed.strBase = base;
            if (parsed.pUrl && curl_url_set(parsed.pUrl, CURLUPART_URL, base.c_str(), flags) != CURLUE_OK) {
                curl_url_cleanup(parsed.pUrl);
                parsed.pUrl = nullptr;
            }
            if (!parsed.pUrl) return std::string();
        }
        h.reset(curl_url_dup(parsed.pUrl));
    } else {
        h.reset(curl_url());
    }
    if (!h) return std::string();
    if (curl_url_set(h.get(), CURLUPART_URL, clean.c_str(), flags) != CURLUE_OK) return std::string();
    char* out = nullptr;
    if (curl_url_get(h.get(), CURLUPART_URL, &out, 0) != CURLUE_OK || !out) return std::string();
    std::string result = out;
    curl_free(out);
    return result;
}

std::string ModernAttachmentName(const std::string& url, const std::string& strContentType, int nUse) {
    std::string path = WithoutFragment(url);
    path = path.substr(0, path.find('?'));
    const size_t authority = path.find("://");
    if (authority != std::string::npos) {
        const size_t slash = path.find('/', authority + 3);
        path = slash == std::string::npos ? std::string() : path.substr(slash);
    }
    const std::string last = PercentDecode(path.substr(path.find_last_of('/') == std::string::npos
                                                           ? 0
                                                           : path.find_last_of('/') + 1));
    std::string name;
    for (char c : last) name += (isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_') ? c : '_';
    while (!name.empty() && name.front() == '.') name.erase(0, 1);  // no hidden files
    if (name.empty()) name = nUse == kUseDocument ? "index" : nUse == kUseStylesheet ? "style" : "file";
    const size_t dot = name.rfind('.');
    std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    std::string ext = dot == std::string::npos ? std::string() : LowerAscii(name.substr(dot + 1));
    const CTypeExtensions* pType = TypeInfo(strContentType);
    // An address that names a known type is believed over the answer: many
    // servers call every file text/plain, and browsers look at an image's
    // bytes anyway. What a browser takes from the name is the type of a
    // stylesheet or a page read from disk.
    bool bKnown = false;
    for (const auto& t : kTypes) bKnown = bKnown || ListHas(t.exts, ext);
    std::string added;
    if (nUse == kUseStylesheet) {
        if (ext != "css") added = "css";
    } else if (nUse == kUseDocument) {
        if (!ListHas("htm html shtml xhtml xml xsl xslt svg", ext)) added = "htm";
    } else if (pType && !bKnown) {
        added = FirstOf(pType->exts);
    }
    std::string tail = dot == std::string::npos ? std::string() : name.substr(dot);
    if (!added.empty()) tail += "." + added;
    if (stem.size() + tail.size() > kMaxNameBytes) {
        if (tail.size() > kMaxNameBytes / 2) tail = "." + (added.empty() ? ext.substr(0, 8) : added);
        // Only ever shortened: a short stem before a long extension would
        // otherwise be padded with NUL bytes, a name no folder can hold.
        if (stem.size() > kMaxNameBytes - tail.size()) stem.resize(kMaxNameBytes - tail.size());
    }
    return stem + tail;
}
