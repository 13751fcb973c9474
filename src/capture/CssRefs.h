// What a stylesheet refers to, found by tokenising it as CSS (comments,
// strings, escapes and url() tokens as a browser reads them), and the
// srcset lists of images. Each reference is a span of the text as written,
// so a rewrite replaces exactly those bytes and nothing else.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum CssRefKind : int {
    kCssUrl = 0,     // url(...) or a string inside image-set() in any property, @font-face src included
    kCssImport = 1,  // @import url(...) or @import "..."
};

struct CCssRef {
    int m_nKind = kCssUrl;
    // The span to replace: the URL text without url( ), quotes or the white
    // space around it. For an empty url() it is the empty span where the
    // text would stand.
    size_t m_nOffset = 0;
    size_t m_nLength = 0;
    // How the span is delimited: '"' or '\'' for a string, 0 for the bare
    // text of url(...). A replacement is escaped for that.
    char m_cQuote = 0;
    // The reference with its CSS escapes resolved, white space trimmed.
    std::string m_strValue;
};

// Every reference of a stylesheet (or of a style attribute's or element's
// text), in the order they stand. Malformed CSS is read as browsers read
// it: an unclosed string or url() ends at the line's or the text's end and
// gives no reference.
//
// Reported: every url(), quoted or not, wherever it stands; the string of
// @import "..."; the strings directly inside image-set() and
// -webkit-image-set(). Not reported: other strings, anything in a comment,
// and the url() of @namespace, which names a namespace and is no file.
//
// What an @import names is kCssImport when the @import is a rule of the
// stylesheet itself. Inside a block, or swallowed by a malformed rule before
// it, browsers ignore it, and so does this (a url() in it is then kCssUrl);
// one that follows other rules, which browsers ignore too, is still taken.
//
// An empty url() or "", or one of only white space, is reported with its
// (possibly empty) span and an empty m_strValue: the caller skips those.
// data: URLs are reported like any other.
std::vector<CCssRef> FindCssRefs(const char* pText, size_t nLength);

// `value` written so that it reads back as that value in place of a span
// delimited as `cQuote` says. White space at its ends is trimmed on reading,
// as every reference is, and a NUL reads back as U+FFFD: CSS holds no NUL.
std::string CssEscapeForSpan(const std::string& value, char cQuote);

// One candidate of a srcset attribute: the span of its URL in the
// attribute's value (as the parser gave it, character references decoded).
struct CSrcsetCandidate {
    size_t m_nOffset = 0;
    size_t m_nLength = 0;
    std::string m_strUrl;
};

// The candidates of a srcset (or data-srcset) value, by the HTML rules for
// image candidate strings ("a.png 1x, b.png 2x", commas inside URLs kept).
// A URL is what stands up to white space; commas that end it separate it
// from the next candidate, so "a.png,b.png" is one URL and "a.png, b.png"
// two. Descriptors are passed over, not checked.
std::vector<CSrcsetCandidate> ParseSrcset(const std::string& value);
