#include "HostMessages.h"

#include <glib.h>
#include <nlohmann/json.hpp>

#include <cctype>
#include <cstring>
#include <set>

using nlohmann::json;

namespace nativehost {

const char* const kChromiumOrigin = "chrome-extension://jcfginebjbjdhdemoikaacapamiecaee/";
const char* const kGeckoId = "clipvault@clipvault.org";
const char* const kHostName = "org.clipvault.native_host";

namespace {

// Reads exactly `n` bytes; the count actually read.
size_t ReadFully(std::FILE* in, char* p, size_t n) {
    size_t done = 0;
    while (done < n) {
        const size_t got = std::fread(p + done, 1, n - done, in);
        if (got == 0) break;
        done += got;
    }
    return done;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A text field: missing gives `strDefault` when optional, anything but a
// string (or a string with U+0000, which the bus cannot carry) is refused.
bool TextField(const json& obj, const char* name, bool bRequired, std::string& out, std::string& strError) {
    auto it = obj.find(name);
    if (it == obj.end()) {
        if (bRequired) {
            strError = std::string("the message has no \"") + name + "\"";
            return false;
        }
        out.clear();
        return true;
    }
    if (!it->is_string()) {
        strError = std::string("\"") + name + "\" is not a text";
        return false;
    }
    out = it->get<std::string>();
    if (out.find('\0') != std::string::npos) {
        strError = std::string("\"") + name + "\" holds a NUL character";
        return false;
    }
    return true;
}

bool IntegerField(const json& obj, const char* name, int64_t& out, std::string& strError) {
    auto it = obj.find(name);
    if (it == obj.end()) {
        strError = std::string("the message has no \"") + name + "\"";
        return false;
    }
    if (!it->is_number_integer()) {
        strError = std::string("\"") + name + "\" is not a whole number";
        return false;
    }
    if (it->is_number_unsigned() && it->get<uint64_t>() > uint64_t(INT64_MAX)) {
        strError = std::string("\"") + name + "\" is out of range";
        return false;
    }
    out = it->get<int64_t>();
    return true;
}

// Every member of the message must be one its kind knows.
bool OnlyFields(const json& obj, std::initializer_list<const char*> known, std::string& strError) {
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        bool bKnown = false;
        for (const char* k : known) bKnown = bKnown || it.key() == k;
        if (!bKnown) {
            strError = "unknown member \"" + it.key() + "\"";
            return false;
        }
    }
    return true;
}

bool CheckedUrl(const std::string& strUrl, std::string& strError) {
    std::string why;
    if (IsAcceptedUrl(strUrl, why)) return true;
    strError = why;
    return false;
}

}  // namespace

ReadResult ReadMessage(std::FILE* in, std::string& strBody, uint32_t& nLength) {
    char head[4];
    const size_t got = ReadFully(in, head, sizeof head);
    if (got == 0) return ReadResult::End;
    if (got < sizeof head) return ReadResult::Short;
    std::memcpy(&nLength, head, sizeof nLength);  // the machine's own byte order
    if (nLength > kMaxMessageBytes) return ReadResult::TooLong;
    strBody.assign(nLength, '\0');
    if (ReadFully(in, &strBody[0], nLength) < nLength) return ReadResult::Short;
    return ReadResult::Message;
}

bool WriteMessage(std::FILE* out, const std::string& strBody) {
    const uint32_t n = static_cast<uint32_t>(strBody.size());
    char head[4];
    std::memcpy(head, &n, sizeof n);
    return std::fwrite(head, 1, sizeof head, out) == sizeof head &&
           std::fwrite(strBody.data(), 1, strBody.size(), out) == strBody.size() && std::fflush(out) == 0;
}

std::string OkAnswer(size_t nCount, size_t nRefused, const std::string& strWhy) {
    json a{{"ok", true}, {"count", nCount}};
    if (nRefused > 0) {
        a["refused"] = nRefused;
        a["error"] = std::to_string(nRefused) + (nRefused == 1 ? " address was" : " addresses were") +
                     " not added: " + strWhy;
    }
    return a.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string PartAnswer(int64_t nReceived, int64_t nCount) {
    return json{{"ok", true}, {"count", 0}, {"received", nReceived}, {"parts", nCount}}.dump();
}

std::string ErrorAnswer(const std::string& strError) {
    // Our own texts may quote what came in; never send bytes that are not
    // UTF-8 back to the browser.
    return json{{"ok", false}, {"error", strError}}.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool IsAcceptedUrl(const std::string& strUrl, std::string& strWhy) {
    if (strUrl.empty()) {
        strWhy = "an address is empty";
        return false;
    }
    if (strUrl.size() > kMaxUrlBytes) {
        strWhy = "an address is longer than " + std::to_string(kMaxUrlBytes) + " bytes";
        return false;
    }
    for (unsigned char c : strUrl)
        if (c < 0x20 || c == 0x7f) {
            strWhy = "an address holds control characters";
            return false;
        }
    const size_t colon = strUrl.find(':');
    const std::string scheme = colon == std::string::npos ? std::string() : Lower(strUrl.substr(0, colon));
    if (scheme != "http" && scheme != "https" && scheme != "ftp") {
        strWhy = "only http, https and ftp addresses can be added from the browser";
        return false;
    }
    const std::string rest = strUrl.substr(colon + 1);
    if (rest.compare(0, 2, "//") != 0 || rest.size() == 2 || rest.find_first_of("/?#", 2) == 2) {
        strWhy = "a " + scheme + " address names no server";
        return false;
    }
    return true;
}

bool ParseRequest(const std::string& strBody, CRequest& req, std::string& strError) {
    if (!g_utf8_validate(strBody.data(), static_cast<gssize>(strBody.size()), nullptr)) {
        strError = "the message is not UTF-8";
        return false;
    }
    const json msg = json::parse(strBody, nullptr, false);
    if (msg.is_discarded()) {
        strError = "the message is not JSON";
        return false;
    }
    if (!msg.is_object()) {
        strError = "the message is not a JSON object";
        return false;
    }
    std::string kind;
    if (!TextField(msg, "kind", true, kind, strError)) return false;
    req = CRequest();
    if (kind == "page") {
        req.kind = CRequest::Kind::Page;
        return OnlyFields(msg, {"kind", "url", "title"}, strError) && TextField(msg, "url", true, req.strUrl, strError) &&
               TextField(msg, "title", false, req.strTitle, strError) && CheckedUrl(req.strUrl, strError);
    }
    if (kind == "links") {
        req.kind = CRequest::Kind::Links;
        if (!OnlyFields(msg, {"kind", "urls"}, strError)) return false;
        auto it = msg.find("urls");
        if (it == msg.end() || !it->is_array()) {
            strError = "\"urls\" is not a list";
            return false;
        }
        if (it->empty()) {
            strError = "no addresses to add";
            return false;
        }
        if (it->size() > kMaxUrls) {
            strError = "too many addresses (" + std::to_string(it->size()) + "; at most " +
                       std::to_string(kMaxUrls) + " at once)";
            return false;
        }
        // A malformed list is refused whole; an address the browser may not
        // hand over is left out, and the rest of the batch still goes in.
        for (const json& u : *it) {
            if (!u.is_string()) {
                strError = "an address in \"urls\" is not a text";
                return false;
            }
            std::string why;
            if (IsAcceptedUrl(u.get<std::string>(), why)) {
                req.urls.push_back(u.get<std::string>());
            } else if (req.nRefused++ == 0) {
                req.strRefusedWhy = why;
            }
        }
        if (req.urls.empty()) {
            strError = (req.nRefused == 1 ? std::string("the address cannot be added: ")
                                           : "none of the " + std::to_string(req.nRefused) + " addresses can be added: ") +
                       req.strRefusedWhy;
            return false;
        }
        return true;
    }
    if (kind == "shown") {
        req.kind = CRequest::Kind::Shown;
        if (!OnlyFields(msg, {"kind", "url", "title", "html"}, strError) ||
            !TextField(msg, "url", true, req.strUrl, strError) ||
            !TextField(msg, "title", false, req.strTitle, strError) ||
            !TextField(msg, "html", true, req.strHtml, strError) || !CheckedUrl(req.strUrl, strError))
            return false;
        if (req.strHtml.empty()) {
            strError = "the page's document is empty";
            return false;
        }
        return true;
    }
    if (kind == "shown-part") {
        req.kind = CRequest::Kind::ShownPart;
        if (!OnlyFields(msg, {"kind", "id", "index", "count", "url", "title", "html"}, strError) ||
            !TextField(msg, "id", true, req.strPartId, strError) ||
            !IntegerField(msg, "index", req.nIndex, strError) || !IntegerField(msg, "count", req.nCount, strError) ||
            !TextField(msg, "html", true, req.strHtml, strError))
            return false;
        if (req.strPartId.empty() || req.strPartId.size() > 128) {
            strError = "a part's \"id\" must be 1 to 128 characters";
            return false;
        }
        if (req.nCount < 2 || req.nCount > kMaxParts) {
            strError = "a page comes in 2 to " + std::to_string(kMaxParts) + " parts";
            return false;
        }
        if (req.nIndex < 0 || req.nIndex >= req.nCount) {
            strError = "a part's index is out of range";
            return false;
        }
        // The address and the title come with the first part only.
        if (req.nIndex == 0) {
            return TextField(msg, "url", true, req.strUrl, strError) &&
                   TextField(msg, "title", false, req.strTitle, strError) && CheckedUrl(req.strUrl, strError);
        }
        if (msg.contains("url") || msg.contains("title")) {
            strError = "only the first part names the address and the title";
            return false;
        }
        return true;
    }
    strError = "unknown message kind \"" + kind + "\"";
    return false;
}

void CShownAssembly::Reset() {
    m_bActive = false;
    m_strId.clear();
    m_nCount = m_nNext = 0;
    m_strUrl.clear();
    m_strTitle.clear();
    std::string().swap(m_strHtml);
}

CShownAssembly::Step CShownAssembly::Add(const CRequest& part, std::string& strError) {
    if (part.nIndex == 0) {
        // A new page begins; whatever came before it is given up.
        Reset();
        m_bActive = true;
        m_strId = part.strPartId;
        m_nCount = part.nCount;
        m_strUrl = part.strUrl;
        m_strTitle = part.strTitle;
    } else if (!m_bActive || part.strPartId != m_strId || part.nCount != m_nCount || part.nIndex != m_nNext) {
        const bool bWasActive = m_bActive;
        Reset();
        strError = bWasActive ? "a part is missing or out of order; the page was not added"
                              : "a part arrived without the page's first part";
        return Step::Refused;
    }
    if (m_strHtml.size() + part.strHtml.size() > kMaxShownBytes) {
        Reset();
        strError = "the page is larger than " + std::to_string(kMaxShownBytes / (1024 * 1024)) + " MB";
        return Step::Refused;
    }
    m_strHtml += part.strHtml;
    ++m_nNext;
    if (m_nNext < m_nCount) return Step::Incomplete;
    m_bActive = false;
    if (m_strHtml.empty()) {
        Reset();
        strError = "the page's document is empty";
        return Step::Refused;
    }
    return Step::Complete;
}

std::string HostManifest(const std::string& strBrowser, const std::string& strHostPath) {
    json m = {{"name", kHostName},
              {"description", "Hands pages and links from the browser's menu to Clipvault"},
              {"path", strHostPath},
              {"type", "stdio"}};
    if (strBrowser == "chromium" || strBrowser == "chrome")
        m["allowed_origins"] = json::array({kChromiumOrigin});
    else if (strBrowser == "firefox")
        m["allowed_extensions"] = json::array({kGeckoId});
    else
        return std::string();
    return m.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

bool IsOurCaller(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], kChromiumOrigin) == 0) return true;
    // Firefox: the manifest's path, then the add-on's id.
    return argc >= 3 && std::strcmp(argv[2], kGeckoId) == 0 && std::strncmp(argv[1], "chrome-extension:", 17) != 0;
}

}  // namespace nativehost
