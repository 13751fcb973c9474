// What the browsers send to the native host and what it answers. The
// browsers frame every message as a 32-bit length in the machine's byte
// order followed by that many bytes of UTF-8 JSON; answers go back the same
// way. Everything here is checked before anything reaches the program: a
// message that does not read as one of the kinds below is answered with an
// error and goes no further.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace nativehost {

// One message either way is at most this long (the browsers' own limit for
// what a host sends; the host holds the extension to the same).
constexpr uint32_t kMaxMessageBytes = 1024 * 1024;
// At most this many addresses in one "links" message: a batch the import
// dialog can still show, and a bound on the calls one message causes.
constexpr size_t kMaxUrls = 2000;
// One address is at most this long.
constexpr size_t kMaxUrlBytes = 64 * 1024;
// A page sent in parts is at most this long in all, in at most this many parts.
constexpr size_t kMaxShownBytes = 64 * 1024 * 1024;
constexpr int64_t kMaxParts = 256;

// The extension's fixed identities: Chromium's id follows from the public
// key in the extension's manifest, Firefox's is set there.
extern const char* const kChromiumOrigin;  // "chrome-extension://<id>/"
extern const char* const kGeckoId;
extern const char* const kHostName;

enum class ReadResult { Message, End, TooLong, Short };

// Reads one framed message from `in`. End: the browser closed the pipe
// before a new message began. TooLong: the length is over the limit; the
// body is not read. Short: the pipe ended inside the length or the body.
ReadResult ReadMessage(std::FILE* in, std::string& strBody, uint32_t& nLength);
// Writes one framed message; false when the pipe is gone.
bool WriteMessage(std::FILE* out, const std::string& strBody);

// `nRefused` addresses of a batch were left out, the first for `strWhy`;
// the answer names them so that the user is not told all went in.
std::string OkAnswer(size_t nCount, size_t nRefused = 0, const std::string& strWhy = std::string());
// An answer to a part that is not the last: what has arrived so far.
std::string PartAnswer(int64_t nReceived, int64_t nCount);
std::string ErrorAnswer(const std::string& strError);

// A request that passed every check.
struct CRequest {
    enum class Kind { Page, Links, Shown, ShownPart } kind = Kind::Page;
    std::string strUrl;
    std::string strTitle;
    std::string strHtml;
    std::vector<std::string> urls;
    // Links only: addresses of the batch that were left out, and why the
    // first of them was.
    size_t nRefused = 0;
    std::string strRefusedWhy;
    // Shown parts only.
    std::string strPartId;
    int64_t nIndex = 0;
    int64_t nCount = 0;
};

// Parses and checks one message body. On failure returns false with the
// reason in `strError` (a sentence for the user).
bool ParseRequest(const std::string& strBody, CRequest& req, std::string& strError);

// True for an address the browser may hand over: http, https or ftp, with
// no control characters, a server, at most kMaxUrlBytes long. A web page's
// links are web addresses; a file: link in a page (hidden or not) would
// have the program read the user's own files into a notebook.
bool IsAcceptedUrl(const std::string& strUrl, std::string& strWhy);

// Puts a page sent in parts back together. Parts come in order, each naming
// the same id and count; the first carries the address and title.
class CShownAssembly {
public:
    enum class Step { Incomplete, Complete, Refused };
    Step Add(const CRequest& part, std::string& strError);
    bool Active() const { return m_bActive; }
    int64_t Received() const { return m_nNext; }
    int64_t Count() const { return m_nCount; }
    // The whole page, once Complete.
    const std::string& Url() const { return m_strUrl; }
    const std::string& Title() const { return m_strTitle; }
    const std::string& Html() const { return m_strHtml; }
    void Reset();

private:
    bool m_bActive = false;
    std::string m_strId;
    int64_t m_nCount = 0;
    int64_t m_nNext = 0;
    std::string m_strUrl;
    std::string m_strTitle;
    std::string m_strHtml;
};

// The host manifest for "chromium", "chrome" or "firefox", naming
// `strHostPath` as the program; empty for another browser.
std::string HostManifest(const std::string& strBrowser, const std::string& strHostPath);

// Which caller the browser says started the host. Chromium passes the
// origin first; Firefox passes the manifest's path, then the add-on's id.
bool IsOurCaller(int argc, char** argv);

}  // namespace nativehost
