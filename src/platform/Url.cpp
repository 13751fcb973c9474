#include "platform/Url.h"

#include "platform/Charset.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace url {
namespace {

// One URL or reference in the generic syntax. "Defined but empty" matters
// for resolution ("?" clears the base's query, "" keeps it), hence the flags.
struct Components {
    std::string scheme;  // lower case; empty for a relative reference
    bool hasAuthority = false;
    bool hasQuery = false;
    bool hasFragment = false;
    std::string authority, path, query, fragment;
};

struct AuthorityParts {
    std::string user, password, host, port;
    size_t hostPos = 0;
};

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The schemes browsers parse leniently (backslashes, "http:g", a host).
bool IsSpecial(const std::string& scheme) {
    return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "file";
}

bool NeedsHost(const std::string& scheme) { return IsSpecial(scheme) && scheme != "file"; }

int DefaultPort(const std::string& scheme) {
    if (scheme == "http") return 80;
    if (scheme == "https") return 443;
    if (scheme == "ftp") return 21;
    return 0;
}

bool IsSchemeName(const std::string& s, size_t n) {
    if (n == 0 || !IsAlpha(s[0])) return false;
    for (size_t i = 1; i < n; ++i) {
        const char c = s[i];
        if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

// "C:\..." or "C:/..." as written by a user or a Windows page. A bare "c:x"
// stays a URL with the scheme "c".
bool IsDrivePath(const std::string& s) {
    return s.size() >= 3 && IsAlpha(s[0]) && s[1] == ':' && (s[2] == '/' || s[2] == '\\');
}

// Inside a file URL the drive is kept as the first segment, "/C:/dir".
bool HasDrive(const std::string& path) {
    return path.size() >= 3 && path[0] == '/' && IsAlpha(path[1]) && path[2] == ':' &&
           (path.size() == 3 || path[3] == '/');
}

// RFC 3986 5.2.4, in one pass: `out` only ever grows at its end or loses its
// last segment, so the cost stays linear even for hostile input.
std::string RemoveDotSegments(const std::string& in) {
    std::string out;
    const size_t n = in.size();
    size_t i = 0;
    auto dropLastSegment = [&out] {
        const size_t slash = out.rfind('/');
        out.erase(slash == std::string::npos ? 0 : slash);
    };
    while (i < n) {
        if (in.compare(i, 3, "../") == 0) {
            i += 3;
        } else if (in.compare(i, 2, "./") == 0) {
            i += 2;
        } else if (in.compare(i, 3, "/./") == 0) {
            i += 2;
        } else if (i + 2 == n && in.compare(i, 2, "/.") == 0) {
            out += '/';
            break;
        } else if (in.compare(i, 4, "/../") == 0) {
            i += 3;
            dropLastSegment();
        } else if (i + 3 == n && in.compare(i, 3, "/..") == 0) {
            dropLastSegment();
            out += '/';
            break;
        } else if ((i + 1 == n && in[i] == '.') || (i + 2 == n && in.compare(i, 2, "..") == 0)) {
            break;
        } else {
            size_t end = in.find('/', in[i] == '/' ? i + 1 : i);
            if (end == std::string::npos) end = n;
            out.append(in, i, end - i);
            i = end;
        }
    }
    return out;
}

// A drive is the root of its path: ".." must not climb over it. A path not
// starting with '/' is opaque ("javascript:f('a/../b')", "mailto:x").
std::string NormalisePath(const std::string& scheme, const std::string& path) {
    if (path.compare(0, 1, "/") != 0) return path;
    if (scheme == "file" && HasDrive(path)) return path.substr(0, 3) + RemoveDotSegments(path.substr(3));
    return RemoveDotSegments(path);
}

// RFC 3986 appendix B, plus the lenient bits for the special schemes.
// `contextScheme` is the scheme a relative reference will end up with.
Components Parse(const std::string& text, const std::string& contextScheme) {
    Components c;
    size_t start = 0;
    const size_t colon = text.find_first_of(":/?#");
    if (colon != std::string::npos && text[colon] == ':' && IsSchemeName(text, colon)) {
        c.scheme = LowerAscii(text.substr(0, colon));
        start = colon + 1;
    }
    const std::string& scheme = c.scheme.empty() ? contextScheme : c.scheme;

    std::string rest = text.substr(start);
    if (IsSpecial(scheme)) {
        const size_t end = rest.find_first_of("?#");
        for (size_t i = 0; i < rest.size() && i < end; ++i)
            if (rest[i] == '\\') rest[i] = '/';
    }

    size_t p = 0;
    if (rest.compare(0, 2, "//") == 0) {
        size_t end = rest.find_first_of("/?#", 2);
        if (end == std::string::npos) end = rest.size();
        c.hasAuthority = true;
        c.authority = rest.substr(2, end - 2);
        p = end;
    }
    size_t end = rest.find_first_of("?#", p);
    if (end == std::string::npos) end = rest.size();
    c.path = rest.substr(p, end - p);
    p = end;
    if (p < rest.size() && rest[p] == '?') {
        end = rest.find('#', p);
        if (end == std::string::npos) end = rest.size();
        c.hasQuery = true;
        c.query = rest.substr(p + 1, end - p - 1);
        p = end;
    }
    if (p < rest.size()) {
        c.hasFragment = true;
        c.fragment = rest.substr(p + 1);
    }

    if (scheme == "file" && c.hasAuthority) {
        if (LowerAscii(c.authority) == "localhost") {
            c.authority.clear();
        } else if (c.authority.size() == 2 && IsAlpha(c.authority[0]) && c.authority[1] == ':') {
            c.path = "/" + c.authority + c.path;
            c.authority.clear();
        }
    }
    return c;
}

// "file:x" names /x for browsers; a rootless file path could not be told
// from a host once "//" is put in front of it.
void RootFilePath(Components& c) {
    if (c.scheme == "file" && !c.hasAuthority && c.path.compare(0, 1, "/") != 0) {
        c.hasAuthority = true;
        c.path.insert(0, 1, '/');
    }
}

// A base is an absolute URL or a local path. A local path is taken whole:
// '?' and '#' are legal in file names.
bool ParseBase(const std::string& text, Components& c) {
    if (IsDrivePath(text) || (!text.empty() && text[0] == '/' && text.compare(0, 2, "//") != 0)) {
        c = Components();
        c.scheme = "file";
        c.hasAuthority = true;
        if (text[0] == '/') {
            c.path = text;
        } else {
            c.path = "/" + text;
            for (char& ch : c.path)
                if (ch == '\\') ch = '/';
        }
    } else {
        c = Parse(text, std::string());
        if (c.scheme.empty()) return false;
        RootFilePath(c);
    }
    c.path = NormalisePath(c.scheme, c.path);
    return true;
}

bool SplitAuthority(const std::string& a, AuthorityParts& out) {
    out = AuthorityParts();
    const size_t at = a.rfind('@');
    size_t h = 0;
    if (at != std::string::npos) {
        const size_t colon = a.find(':');
        if (colon < at) {
            out.user = a.substr(0, colon);
            out.password = a.substr(colon + 1, at - colon - 1);
        } else {
            out.user = a.substr(0, at);
        }
        h = at + 1;
    }
    size_t portColon;
    if (h < a.size() && a[h] == '[') {
        const size_t close = a.find(']', h);
        if (close == std::string::npos) return false;
        portColon = close + 1;
        if (portColon < a.size() && a[portColon] != ':') return false;
    } else {
        portColon = a.find(':', h);
    }
    if (portColon > a.size()) portColon = a.size();
    out.hostPos = h;
    out.host = a.substr(h, portColon - h);
    if (portColon < a.size()) out.port = a.substr(portColon + 1);
    return true;
}

// 0 for none, -1 for anything that is not a usable TCP port. A file URL has
// no port: "file://:80/C:/x" would lose it to the drive when rebuilt.
int PortNumber(const std::string& scheme, const std::string& s) {
    if (s.empty()) return 0;
    if (scheme == "file") return -1;
    long n = 0;
    for (char c : s) {
        if (!IsDigit(c)) return -1;
        n = n * 10 + (c - '0');
        if (n > 65535) return -1;
    }
    return n == 0 ? -1 : static_cast<int>(n);
}

bool AuthorityIsUsable(const Components& c) {
    AuthorityParts a;
    if (c.hasAuthority && (!SplitAuthority(c.authority, a) || PortNumber(c.scheme, a.port) < 0)) return false;
    return !NeedsHost(c.scheme) || !a.host.empty();
}

// RFC 3986 5.2.3.
std::string Merge(const Components& base, const std::string& refPath) {
    if (base.hasAuthority && base.path.empty()) return "/" + refPath;
    const size_t slash = base.path.rfind('/');
    return slash == std::string::npos ? refPath : base.path.substr(0, slash + 1) + refPath;
}

// RFC 3986 5.2.2.
Components Resolve(const Components& base, const Components& ref) {
    // "http:g" on an http page means "g" to every browser.
    const bool relativeWithScheme = !ref.scheme.empty() && ref.scheme == base.scheme &&
                                    IsSpecial(ref.scheme) && !ref.hasAuthority;
    Components t;
    if (!ref.scheme.empty() && !relativeWithScheme) {
        t = ref;
        RootFilePath(t);
        t.path = NormalisePath(t.scheme, t.path);
        return t;
    }
    t.scheme = base.scheme;
    if (ref.hasAuthority) {
        t.hasAuthority = true;
        t.authority = ref.authority;
        t.path = NormalisePath(t.scheme, ref.path);
        t.hasQuery = ref.hasQuery;
        t.query = ref.query;
    } else {
        t.hasAuthority = base.hasAuthority;
        t.authority = base.authority;
        if (ref.path.empty()) {
            t.path = base.path;
            t.hasQuery = ref.hasQuery || base.hasQuery;
            t.query = ref.hasQuery ? ref.query : base.query;
        } else {
            t.path = NormalisePath(t.scheme, ref.path[0] == '/' ? ref.path : Merge(base, ref.path));
            t.hasQuery = ref.hasQuery;
            t.query = ref.query;
            // "/x" on a page in C:/dir is C:/x, not a path without a drive.
            if (t.scheme == "file" && HasDrive(base.path) && !HasDrive(t.path))
                t.path = base.path.substr(0, 3) + (t.path.compare(0, 1, "/") == 0 ? t.path : "/" + t.path);
        }
    }
    t.hasFragment = ref.hasFragment;
    t.fragment = ref.fragment;
    return t;
}

// RFC 3986 5.3, with the host lower-cased and file URLs always given the
// "//" the caller strips to get a local path.
std::string Compose(const Components& c) {
    std::string s = c.scheme + ':';
    const bool isFile = c.scheme == "file";
    if (c.hasAuthority || (isFile && c.path.compare(0, 1, "/") == 0)) {
        s += "//";
        std::string authority = c.authority;
        AuthorityParts a;
        if (SplitAuthority(authority, a))
            authority.replace(a.hostPos, a.host.size(), LowerAscii(a.host));
        s += authority;
    } else if (c.path.compare(0, 2, "//") == 0) {
        // Would otherwise read back as an authority.
        s += "/.";
    }
    if (isFile && c.authority.empty() && HasDrive(c.path))
        s.append(c.path, 1, std::string::npos);
    else
        s += c.path;
    if (c.hasQuery) s += '?' + c.query;
    if (c.hasFragment) s += '#' + c.fragment;
    return s;
}

}  // namespace

bool CrackUrl(const std::string& strUrl, CUrlParts& out) {
    Components c;
    if (!ParseBase(strUrl, c)) return false;
    out = CUrlParts();
    out.m_strScheme = c.scheme;
    if (c.hasAuthority) {
        AuthorityParts a;
        if (!SplitAuthority(c.authority, a)) return false;
        const int port = PortNumber(c.scheme, a.port);
        if (port < 0) return false;
        out.m_strUser = a.user;
        out.m_strPassword = a.password;
        out.m_strHost = LowerAscii(a.host);
        out.m_nPort = port == DefaultPort(c.scheme) ? 0 : port;
    }
    if (NeedsHost(c.scheme) && out.m_strHost.empty()) return false;
    out.m_strPath = c.path;
    if (c.scheme == "file" && out.m_strHost.empty() && HasDrive(c.path)) out.m_strPath.erase(0, 1);
    if (NeedsHost(c.scheme) && out.m_strPath.empty()) out.m_strPath = "/";
    out.m_strQuery = c.query;
    out.m_strFragment = c.fragment;
    return true;
}

std::string BuildUrl(const CUrlParts& parts) {
    std::string s = parts.m_strScheme + ':';
    if (IsSpecial(parts.m_strScheme) || !parts.m_strHost.empty()) {
        s += "//";
        s += parts.m_strHost;
        if (parts.m_nPort > 0 && parts.m_nPort != DefaultPort(parts.m_strScheme))
            s += ':' + std::to_string(parts.m_nPort);
    } else if (parts.m_strPath.compare(0, 2, "//") == 0) {
        s += "/.";
    }
    s += parts.m_strPath;
    if (!parts.m_strQuery.empty()) s += '?' + parts.m_strQuery;
    if (!parts.m_strFragment.empty()) s += '#' + parts.m_strFragment;
    return s;
}

bool CombineUrl(const std::string& strBase, const std::string& strReference, std::string& out) {
    Components base;
    if (!ParseBase(strBase, base)) return false;
    const Components ref = IsDrivePath(strReference) ? Parse("file:///" + strReference, std::string())
                                                     : Parse(strReference, base.scheme);
    const Components target = Resolve(base, ref);
    if (!AuthorityIsUsable(target)) return false;
    std::string s = Compose(target);
    if (s.size() > kMaxUrlLength) return false;
    out = std::move(s);
    return true;
}

bool FileUrlToPath(const std::string& strUrl, std::string& strPath) {
    if (strUrl.size() < 5 || LowerAscii(strUrl.substr(0, 5)) != "file:") return false;
    std::string rest = strUrl.substr(5, strUrl.find_first_of("?#") - 5);
    if (rest.compare(0, 2, "//") == 0) {
        const size_t end = rest.find('/', 2);
        const std::string host = rest.substr(2, end == std::string::npos ? std::string::npos : end - 2);
        // A drive written where the host goes is part of the path.
        const bool bDrive = host.size() == 2 && IsAlpha(host[0]) && host[1] == ':';
        if (bDrive) rest.erase(0, 2);
        else if (host.empty() || LowerAscii(host) == "localhost") rest.erase(0, std::min(end, rest.size()));
        else return false;
    }
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        const int hi = i + 2 < rest.size() && rest[i] == '%' ? HexValue(rest[i + 1]) : -1;
        const int lo = hi >= 0 ? HexValue(rest[i + 2]) : -1;
        if (lo < 0) {
            path += rest[i];
            continue;
        }
        if (hi == 0 && lo == 0) return false;
        path += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    const size_t first = path.find_first_not_of('/');
    if (first == std::string::npos || path.back() == '/') return false;
    if (IsDrivePath(path.substr(first))) {
        path.erase(0, first);
    } else {
        if (first == 0) return false;
        // "//home" is "/home" on this system; one slash reads plainer.
        path.erase(0, first - 1);
    }
    strPath = path;
    return true;
}

bool IsWebAddress(const std::string& strUrl) {
    if (strUrl.size() > kMaxUrlLength) return false;
    CUrlParts parts;
    if (!CrackUrl(strUrl, parts)) return false;
    if (parts.m_strScheme != "http" && parts.m_strScheme != "https" && parts.m_strScheme != "ftp") return false;
    for (const char c : parts.m_strHost) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= ' ' || b == 0x7F || std::strchr("\"<>\\^`{|}", c)) return false;
    }
    return true;
}

}  // namespace url
