#include "support/TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "document/Records.h"

RecordingHost::RecordingHost() : m_pPrevious(host::SetMessageHost(this)) {}
RecordingHost::~RecordingHost() { host::SetMessageHost(m_pPrevious); }

int RecordingHost::ShowMessage(unsigned nStringID, unsigned nType, const std::vector<std::string>& args) {
    m_ids.push_back(nStringID);
    m_args.push_back(args);
    auto it = m_answers.find(nStringID);
    if (it != m_answers.end()) return it->second;
    return m_nAnswer ? m_nAnswer : host::CautiousAnswer(nType);
}

Bytes StoreBytes(const std::function<void(CArchive&)>& fn) {
    CMemorySink sink;
    {
        CArchive ar(sink);
        fn(ar);
        ar.Flush();
    }
    return sink.Data();
}

LoadArchive::LoadArchive(Bytes bytes) : m_bytes(std::move(bytes)), m_src(m_bytes.data(), m_bytes.size()), m_ar(m_src) {
    size_t n = 0;
    const CRuntimeClass* const* classes = NotebookClasses(&n);
    m_ar.SetClassTable(classes, n);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes StrBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes U16(uint16_t v) { return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }
Bytes U32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

std::string Hex(const Bytes& b, size_t nMax) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < b.size() && i < nMax; ++i) {
        std::snprintf(buf, sizeof buf, "%02X ", b[i]);
        out += buf;
    }
    if (b.size() > nMax) out += "...";
    return out;
}

TempDir::TempDir() {
    const char* base = std::getenv("CLIPVAULT_TEST_TMP");
    std::filesystem::path root = base ? base : std::filesystem::temp_directory_path().string();
    std::filesystem::create_directories(root);
    std::string templ = (root / "cvtestXXXXXX").string();
    if (!mkdtemp(templ.data())) std::abort();
    m_strPath = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_strPath, ec);
}
