// Helpers shared by the core tests.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "document/Archive.h"
#include "platform/MessageHost.h"

using Bytes = std::vector<uint8_t>;

// Records every message the core shows while it is alive, answering with
// `m_nAnswer` (or the cautious answer when that is 0).
class RecordingHost : public host::IMessageHost {
public:
    RecordingHost();
    ~RecordingHost() override;
    int ShowMessage(unsigned nStringID, unsigned nType, const std::vector<std::string>& args) override;

    std::vector<unsigned> m_ids;
    std::vector<std::vector<std::string>> m_args;
    int m_nAnswer = 0;
    std::map<unsigned, int> m_answers;  // by string id, before m_nAnswer

private:
    host::IMessageHost* m_pPrevious;
};

// Runs `fn` on a storing archive and returns the bytes written.
Bytes StoreBytes(const std::function<void(CArchive&)>& fn);

// A loading archive over a copy of `bytes` that accepts the notebook classes.
struct LoadArchive {
    explicit LoadArchive(Bytes bytes);
    Bytes m_bytes;
    CMemorySource m_src;
    CArchive m_ar;
};

Bytes Concat(std::initializer_list<Bytes> parts);
Bytes StrBytes(const std::string& s);
Bytes U16(uint16_t v);
Bytes U32(uint32_t v);
std::string Hex(const Bytes& b, size_t nMax = 64);

// A fresh, empty folder for the calling test, removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return m_strPath; }
    std::string File(const std::string& name) const { return m_strPath + "/" + name; }

private:
    std::string m_strPath;
};
