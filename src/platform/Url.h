// Splitting page URLs and resolving the references found in pages.
//
// URLs here are byte strings in the process code page, as they stand in the
// page: nothing is ever percent-encoded or decoded, so a space, a '%' or a
// non-ASCII byte comes out exactly as it went in. The only changes made are
// canonical ones: the scheme and the host are lower-cased (ASCII only), "."
// and ".." segments are removed from paths starting with '/' (others, as in
// "javascript:f('a/../b')", are opaque), and for http, https, ftp and file URLs a
// backslash before the query counts as '/', as browsers treat pages written on
// Windows.
//
// Local files:
//  - A plain absolute path ("/home/u/page.htm") is accepted wherever a base is
//    expected and stands for the file URL with an empty host. Its '?' and '#'
//    are part of the file name, not a query or a fragment.
//  - A drive path ("C:\dir\page.htm", "file://C:/dir/page.htm",
//    "file:///C:/dir/page.htm") has an empty host and the path "C:/dir/page.htm";
//    ".." never climbs above the drive, and "/x" on that page means "C:/x".
//    So "file://" + host + path, with "file://" stripped again, is the local
//    path in every case.
//  - "file://localhost/..." is the same as "file:///...".
#pragma once

#include <cstddef>
#include <string>

namespace url {

// A combined URL longer than this is not kept: no server takes it, and a page
// that produces one is usually broken or hostile.
constexpr size_t kMaxUrlLength = 1000;

struct CUrlParts {
    std::string m_strScheme;  // lower case, without ':'
    std::string m_strUser;
    std::string m_strPassword;
    std::string m_strHost;    // lower case; an IPv6 literal keeps its brackets
    int m_nPort = 0;          // 0: the scheme's default (80 http, 443 https, 21 ftp)
    std::string m_strPath;    // without dot segments; "/" at least for http, https, ftp
    std::string m_strQuery;   // without '?'
    std::string m_strFragment;  // without '#'
};

// Splits an absolute URL, or a plain local path (see above). An explicit
// default port is reported as 0 like an absent one. False for a relative
// reference, an http/https/ftp URL without a host, a malformed port or IPv6
// literal, and a file URL with a port; `out` is then unspecified.
bool CrackUrl(const std::string& strUrl, CUrlParts& out);

// "scheme://host[:port]path[?query][#fragment]". The user name and the
// password are left out: they do not belong in a stored link. A default port
// is left out too. A scheme other than http, https, ftp or file without a host
// gives "scheme:path" ("mailto:x").
std::string BuildUrl(const CUrlParts& parts);

// Resolves `strReference` (an attribute value as found) against the page URL
// or local path `strBase` by RFC 3986 sections 5.2 and 5.3, with two browser
// habits on top: "http:g" on an http page is relative like "g", and a drive
// path reference ("C:\x.gif") is a local file. The result keeps the
// reference's fragment. False when the base is not absolute, the result is an
// http/https/ftp URL without a host, has a malformed authority, or is longer
// than kMaxUrlLength; `out` is then unchanged.
bool CombineUrl(const std::string& strBase, const std::string& strReference, std::string& out);

// The local path a typed "file:" URL (scheme in any case) names.
// "file:///home/u/p.htm", "file://localhost/home/u/p.htm" and
// "file:/home/u/p.htm" all give "/home/u/p.htm"; percent-escapes in the path
// are decoded ("%20" a blank) and a query or fragment is dropped. A drive
// ("file:///C:/p.htm", "file://C:/p.htm") gives "C:/p.htm". False, with
// `strPath` unchanged, for anything else: no "file:" scheme, another host, a
// relative path ("file:p.htm"), a folder (a path ending in "/") or an escape
// that gives a NUL byte.
bool FileUrlToPath(const std::string& strUrl, std::string& strPath);

// Whether a typed address names a page to fetch: an http, https or ftp URL
// with a host that holds no blank, control character or other byte a host
// name never has, no longer than kMaxUrlLength. "example.org" (no scheme),
// "mailto:x" and "http://a b/" are not.
bool IsWebAddress(const std::string& strUrl);

}  // namespace url
