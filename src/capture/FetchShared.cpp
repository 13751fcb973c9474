#include "capture/FetchShared.h"

#include <curl/curl.h>
#include <sys/mman.h>

#include <cstring>
#include <mutex>

#include "capture/CaptureContext.h"
#include "capture/CaptureShared.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"

namespace fetchutil {

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

namespace {
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

bool HasScheme(const std::string& s) {
    if (s.empty() || !IsAlpha(s[0])) return false;
    size_t i = 1;
    while (i < s.size() && (IsAlpha(s[i]) || (s[i] >= '0' && s[i] <= '9') || s[i] == '+' || s[i] == '-' || s[i] == '.'))
        ++i;
    return s.compare(i, 3, "://") == 0;
}

bool StartsWithNoCase(const char* p, size_t n, const char* prefix) {
    const size_t k = std::strlen(prefix);
    if (n < k) return false;
    for (size_t i = 0; i < k; ++i) {
        char c = p[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
        if (c != prefix[i]) return false;
    }
    return true;
}

std::string Trim(const char* p, size_t n) {
    size_t b = 0, e = n;
    while (b < e && (p[b] == ' ' || p[b] == '\t')) ++b;
    while (e > b && (p[e - 1] == ' ' || p[e - 1] == '\t' || p[e - 1] == '\r' || p[e - 1] == '\n')) --e;
    return std::string(p + b, e - b);
}

std::string EscapeForRequest(const std::string& s) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size());
    for (unsigned char c : s) {
        if (c <= 0x20 || c >= 0x7f || c == '"' || c == '<' || c == '>') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void Reserve(std::vector<uint8_t>& buffer, size_t n) {
    if (n <= buffer.capacity()) return;
    buffer.reserve(n);
    constexpr uintptr_t kHuge = 2 * 1024 * 1024;
    if (buffer.capacity() < 2 * kHuge) return;
    const auto begin = reinterpret_cast<uintptr_t>(buffer.data());
    const uintptr_t from = (begin + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t to = (begin + buffer.capacity()) & ~(kHuge - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

void SetTransferLimits(CURL* curl, const CTransferLimits& limits) {
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, limits.m_nMinBytesPerSecond);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits.m_nSlowSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, limits.m_nMaxSeconds);
}

int LimitCode(CURL* curl, int result, const CTransferLimits& limits) {
    if (result != CURLE_OPERATION_TIMEDOUT) return 0;
    // Both limits end in the same result; the time taken tells them apart.
    curl_off_t total = 0, connected = 0;
    curl_easy_getinfo(curl, CURLINFO_TOTAL_TIME_T, &total);
    curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connected);
    if (total >= static_cast<curl_off_t>(limits.m_nMaxSeconds) * 1000000 - 100000) return kFetchTooLong;
    return connected > 0 ? kFetchTooSlow : 0;
}

std::string LimitText(int code, const CTransferLimits& limits) {
    if (code == kFetchTooSlow)
        return FormatText(host::LoadString(ids::IDS_FETCH_TOO_SLOW),
                          {std::to_string(limits.m_nMinBytesPerSecond), std::to_string(limits.m_nSlowSeconds)});
    const long n = limits.m_nMaxSeconds;
    if (n >= 60 && n % 60 == 0) return FormatText(host::LoadString(ids::IDS_FETCH_TOO_LONG_MIN), {std::to_string(n / 60)});
    return FormatText(host::LoadString(ids::IDS_FETCH_TOO_LONG_SEC), {std::to_string(n)});
}

}  // namespace fetchutil
