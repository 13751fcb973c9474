// A small JSON writer for clipvault-cli's output, and the conversion of core
// strings (process code page) into the UTF-8 text it writes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cli {

// Core bytes to UTF-8. A byte that is not part of a character of the code
// page is not dropped or replaced: it becomes the four characters "\xNN"
// (upper-case hex), so that a damaged or mislabelled name can still be told
// apart from its neighbours and its bytes recovered.
std::string AnsiToJsonText(const std::string& ansi);

// Writes indented JSON into a string. The caller keeps the nesting right;
// commas, indentation and string escapes are the writer's job.
class JsonWriter {
public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // Names the next value of the current object.
    void Key(std::string_view name);

    // `utf8` must be valid UTF-8 (AnsiToJsonText output or ASCII).
    void String(std::string_view utf8);
    void Number(int64_t n);
    void Number(uint64_t n);
    void Number(uint32_t n) { Number(static_cast<uint64_t>(n)); }
    void Number(int32_t n) { Number(static_cast<int64_t>(n)); }
    void Bool(bool b);
    void Null();

    const std::string& Text() const { return m_out; }
    // Hands out the text written so far and forgets it, keeping the nesting:
    // a large notebook is printed as it is walked, not held twice in memory.
    std::string Drain() { return std::exchange(m_out, std::string()); }

    static std::string Quote(std::string_view utf8);

private:
    void BeforeValue();
    void Open(char c);
    void Close(char c);
    void NewLine();

    std::string m_out;
    std::vector<bool> m_hasItems;  // per open container
    bool m_bAfterKey = false;
};

}  // namespace cli
