// What the single fetch and the parallel fetcher share: libcurl's set-up,
// how an address is read and put on the wire, and header text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct CTransferLimits;
typedef void CURL;

namespace fetchutil {

// curl_global_init is not safe to race with the first easy handles of
// several workers.
void InitCurlOnce();
// "name://" at the very start: "host/go?to=http://x" has no scheme, and
// "host:8080/x" is not a scheme "host".
bool HasScheme(const std::string& s);
// `prefix` is lower case.
bool StartsWithNoCase(const char* p, size_t n, const char* prefix);
// Blanks and tabs off the front, those and line ends off the back.
std::string Trim(const char* p, size_t n);
inline std::string Trim(const std::string& s) { return Trim(s.data(), s.size()); }
// URLs are kept as the page wrote them; on the wire, bytes that a request
// line cannot carry are escaped the way browsers do it. A '%' stays: the page
// may have escaped already.
std::string EscapeForRequest(const std::string& s);
// Room for `n` bytes. Large bodies are mostly the kernel handing out and
// clearing pages one at a time; asking for huge pages makes that a few
// hundred times fewer faults.
void Reserve(std::vector<uint8_t>& buffer, size_t n);

// The low-speed and overall limits on a handle.
void SetTransferLimits(CURL* curl, const CTransferLimits& limits);
// kFetchTooSlow or kFetchTooLong when a transfer on `curl` that ended with
// libcurl's `result` was cut by one of `limits`; 0 otherwise (a connect
// time-out among them, which stays an ordinary failure).
int LimitCode(CURL* curl, int result, const CTransferLimits& limits);
// Why such a transfer was given up, as a note's error text.
std::string LimitText(int code, const CTransferLimits& limits);

}  // namespace fetchutil
