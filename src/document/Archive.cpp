#include "document/Archive.h"

#include <cerrno>
#include <cstring>

#include "platform/Charset.h"

namespace {
constexpr size_t kBufferSize = 64 * 1024;
// What is read right after a skipped block: the next record's fields, which
// are small; a whole buffer would mostly be the next skipped block.
constexpr size_t kReadAfterSkip = 4 * 1024;
constexpr uint32_t kMaxIndex = 0x3FFFFFFE;
constexpr uint16_t kNullTag = 0x0000;
constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kBigObjectTag = 0x7FFF;
constexpr uint32_t kBigClassTag = 0x80000000u;
constexpr size_t kMaxClassName = 64;
}  // namespace

// ---------------------------------------------------------------- archive

CArchive::CArchive(CByteSource& src) : m_mode(load), m_pSource(&src), m_buf(kBufferSize) {
    m_loadArray.push_back({nullptr, nullptr});  // index 0: no object
}

CArchive::CArchive(CByteSink& sink) : m_mode(store), m_pSink(&sink), m_buf(kBufferSize) {}

CArchive::~CArchive() {
    if (IsStoring()) {
        try {
            Flush();
        } catch (...) {
            // Only an explicit Flush reports; a destructor must not throw.
        }
    }
}

void CArchive::SetClassTable(const CRuntimeClass* const* ppClasses, size_t nClasses) {
    m_ppClasses = ppClasses;
    m_nClasses = nClasses;
}

void CArchive::Flush() {
    if (!IsStoring()) return;
    if (m_nEnd) {
        const size_t n = m_nEnd;
        m_nEnd = 0;
        m_pSink->Write(m_buf.data(), n);
    }
    m_pSink->Flush();
}

void CArchive::NextIndex() {
    if (m_nMapCount > kMaxIndex) throw CArchiveException(CArchiveException::badIndex);
    ++m_nMapCount;
}

// ---------------------------------------------------------------- storing

void CArchive::Write(const void* p, size_t n) {
    if (n == 0) return;  // an empty vector's data() may be null
    const auto* b = static_cast<const uint8_t*>(p);
    if (m_nEnd + n <= m_buf.size()) {
        std::memcpy(m_buf.data() + m_nEnd, b, n);
        m_nEnd += n;
        return;
    }
    if (m_nEnd) {
        const size_t k = m_nEnd;
        m_nEnd = 0;
        m_pSink->Write(m_buf.data(), k);
    }
    if (n >= m_buf.size()) {
        m_pSink->Write(b, n);
    } else {
        std::memcpy(m_buf.data(), b, n);
        m_nEnd = n;
    }
}

void CArchive::WriteU8(uint8_t v) { Write(&v, 1); }

void CArchive::WriteU16(uint16_t v) {
    const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    Write(b, 2);
}

void CArchive::WriteU32(uint32_t v) {
    const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                          static_cast<uint8_t>(v >> 24)};
    Write(b, 4);
}

void CArchive::WriteCount(uint64_t n) {
    if (n < 0xFFFF) {
        WriteU16(static_cast<uint16_t>(n));
    } else {
        if (n > 0xFFFFFFFFu) throw CArchiveException(CArchiveException::writeFault, EOVERFLOW);
        WriteU16(0xFFFF);
        WriteU32(static_cast<uint32_t>(n));
    }
}

void CArchive::WriteString(const std::string& s) {
    const size_t n = s.size();
    if (n < 0xFF) {
        WriteU8(static_cast<uint8_t>(n));
    } else if (n < 0xFFFE) {
        WriteU8(0xFF);
        WriteU16(static_cast<uint16_t>(n));
    } else {
        if (n > 0xFFFFFFFFu) throw CArchiveException(CArchiveException::writeFault, EOVERFLOW);
        WriteU8(0xFF);
        WriteU16(0xFFFF);
        WriteU32(static_cast<uint32_t>(n));
    }
    Write(s.data(), n);
}

void CArchive::WriteBlock(const std::vector<uint8_t>& b) {
    WriteCount(b.size());
    Write(b.data(), b.size());
}

void CArchive::WriteBlockFromFile(const CDeferredBlock& block) {
    WriteCount(block.m_nSize);
    if (block.m_nSize == 0) return;
    if (m_nEnd) {
        const size_t k = m_nEnd;
        m_nEnd = 0;
        m_pSink->Write(m_buf.data(), k);
    }
    if (!block.m_pFile->Unchanged()) throw CArchiveException(CArchiveException::readFault, EIO);
    if (m_pSink->CopyFrom(*block.m_pFile, block.m_nOffset, block.m_nSize)) return;
    // Through the archive's own buffer, emptied just now: a save of many
    // notes allocates nothing per note.
    for (uint64_t done = 0; done < block.m_nSize;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(m_buf.size(), block.m_nSize - done));
        if (!block.m_pFile->ReadAt(block.m_nOffset + done, m_buf.data(), n))
            throw CArchiveException(CArchiveException::readFault, EIO);
        m_pSink->Write(m_buf.data(), n);
        done += n;
    }
}

void CArchive::WriteStringList(const std::vector<std::string>& l) {
    WriteCount(l.size());
    for (const auto& s : l) WriteString(s);
}

void CArchive::WriteObject(const CObject* pObj) {
    if (!pObj) {
        WriteU16(kNullTag);
        return;
    }
    auto it = m_storeMap.find(pObj);
    if (it != m_storeMap.end()) {
        if (it->second < kBigObjectTag) {
            WriteU16(static_cast<uint16_t>(it->second));
        } else {
            WriteU16(kBigObjectTag);
            WriteU32(it->second);
        }
        return;
    }
    const CRuntimeClass* pClass = pObj->GetRuntimeClass();
    auto ci = m_storeMap.find(pClass);
    if (ci != m_storeMap.end()) {
        if (ci->second < kBigObjectTag) {
            WriteU16(static_cast<uint16_t>(kClassTag | ci->second));
        } else {
            WriteU16(kBigObjectTag);
            WriteU32(kBigClassTag | ci->second);
        }
    } else {
        const size_t len = std::strlen(pClass->m_lpszClassName);
        WriteU16(kNewClassTag);
        WriteU16(static_cast<uint16_t>(pClass->m_wSchema));
        WriteU16(static_cast<uint16_t>(len));
        Write(pClass->m_lpszClassName, len);
        m_storeMap.emplace(pClass, m_nMapCount);
        NextIndex();
    }
    m_storeMap.emplace(pObj, m_nMapCount);
    NextIndex();
    const_cast<CObject*>(pObj)->Serialize(*this);
}

// ---------------------------------------------------------------- loading

uint64_t CArchive::Remaining() const { return (m_nEnd - m_nCur) + (m_pSource ? m_pSource->Remaining() : 0); }

void CArchive::NeedBytes(size_t n) {
    if (m_nEnd - m_nCur >= n) return;
    const size_t have = m_nEnd - m_nCur;
    std::memmove(m_buf.data(), m_buf.data() + m_nCur, have);
    m_nCur = 0;
    m_nEnd = have;
    while (m_nEnd < n) {
        size_t want = m_buf.size() - m_nEnd;
        if (m_bSkipped) want = std::min(want, std::max(n - m_nEnd, kReadAfterSkip));
        m_bSkipped = false;
        const size_t r = m_pSource->Read(m_buf.data() + m_nEnd, want);
        if (r == 0) throw CArchiveException(CArchiveException::endOfFile);
        m_nEnd += r;
    }
}

void CArchive::Read(void* p, size_t n) {
    if (n == 0) return;
    if (n > Remaining()) throw CArchiveException(CArchiveException::endOfFile);
    auto* b = static_cast<uint8_t*>(p);
    const size_t fromBuf = std::min(n, m_nEnd - m_nCur);
    if (fromBuf) std::memcpy(b, m_buf.data() + m_nCur, fromBuf);
    m_nCur += fromBuf;
    b += fromBuf;
    n -= fromBuf;
    if (n == 0) return;
    if (n < m_buf.size() / 2) {
        NeedBytes(n);
        std::memcpy(b, m_buf.data() + m_nCur, n);
        m_nCur += n;
        return;
    }
    // Large blocks go straight to their destination.
    if (m_pSource->Read(b, n) != n) throw CArchiveException(CArchiveException::endOfFile);
}

size_t CArchive::Peek(void* p, size_t n) {
    n = std::min<uint64_t>(n, std::min<uint64_t>(Remaining(), m_buf.size()));
    if (n == 0) return 0;
    NeedBytes(n);
    std::memcpy(p, m_buf.data() + m_nCur, n);
    return n;
}

uint8_t CArchive::ReadU8() {
    NeedBytes(1);
    return m_buf[m_nCur++];
}

uint16_t CArchive::ReadU16() {
    NeedBytes(2);
    const uint8_t* b = m_buf.data() + m_nCur;
    m_nCur += 2;
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t CArchive::ReadU32() {
    NeedBytes(4);
    const uint8_t* b = m_buf.data() + m_nCur;
    m_nCur += 4;
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
           (static_cast<uint32_t>(b[3]) << 24);
}

uint64_t CArchive::ReadCount() {
    const uint16_t w = ReadU16();
    if (w != 0xFFFF) return w;
    return ReadU32();
}

uint64_t CArchive::ReadCount(uint64_t nMinBytes) {
    const uint64_t n = ReadCount();
    if (nMinBytes && n > Remaining() / nMinBytes) throw CArchiveException(CArchiveException::endOfFile);
    return n;
}

uint64_t CArchive::ReadStringLength(bool& bWide) {
    bWide = false;
    uint8_t b = ReadU8();
    if (b < 0xFF) return b;
    uint16_t w = ReadU16();
    if (w == 0xFFFE) {
        // wide string: the length that follows counts UTF-16 code units
        bWide = true;
        b = ReadU8();
        if (b < 0xFF) return b;
        w = ReadU16();
    }
    if (w < 0xFFFE) return w;
    return ReadU32();
}

std::string CArchive::ReadString() {
    bool bWide = false;
    const uint64_t len = ReadStringLength(bWide);
    const uint64_t bytes = bWide ? len * 2 : len;
    if (bytes > Remaining()) throw CArchiveException(CArchiveException::endOfFile);
    if (!bWide) {
        std::string s(static_cast<size_t>(len), '\0');
        Read(s.data(), s.size());
        return s;
    }
    std::vector<uint8_t> raw(static_cast<size_t>(bytes));
    Read(raw.data(), raw.size());
    return charset::Utf16LeToAnsi(raw.data(), raw.size());
}

void CArchive::ReadBlock(std::vector<uint8_t>& b) {
    const uint64_t n = ReadCount();
    if (n > Remaining()) throw CArchiveException(CArchiveException::endOfFile);
    b.clear();
    b.resize(static_cast<size_t>(n));
    Read(b.data(), b.size());
}

void CArchive::ReadBlockDeferred(std::vector<uint8_t>& b, CDeferredBlock& deferred, uint64_t nMinDeferred) {
    deferred = CDeferredBlock();
    if (!m_pDeferredFile) return ReadBlock(b);
    const uint64_t n = ReadCount();
    // Checked against the file's size now, while the damage can still be
    // reported as the open's, rather than when the bytes are first wanted.
    if (n > Remaining()) throw CArchiveException(CArchiveException::endOfFile);
    b.clear();
    if (n < std::max<uint64_t>(nMinDeferred, 1)) {
        b.resize(static_cast<size_t>(n));
        Read(b.data(), b.size());
        return;
    }
    const uint64_t buffered = m_nEnd - m_nCur;
    deferred.m_pFile = m_pDeferredFile;
    deferred.m_nOffset = m_pSource->Position() - buffered;
    deferred.m_nSize = n;
    if (n <= buffered) {
        m_nCur += static_cast<size_t>(n);
    } else {
        m_nCur = m_nEnd = 0;
        m_pSource->Skip(n - buffered);
        m_bSkipped = true;
    }
}

void CArchive::ReadStringList(std::vector<std::string>& l, bool bSkipEmpty) {
    const uint64_t n = ReadCount(1);  // a length byte at least
    l.clear();
    for (uint64_t i = 0; i < n; ++i) {
        std::string s = ReadString();
        if (!bSkipEmpty || !s.empty()) l.push_back(std::move(s));
    }
}

const CRuntimeClass* CArchive::ReadNewClass() {
    const uint16_t wSchema = ReadU16();
    const uint16_t len = ReadU16();
    if (len >= kMaxClassName || len > Remaining()) throw CArchiveException(CArchiveException::badClass);
    char name[kMaxClassName];
    Read(name, len);
    const CRuntimeClass* pClass = nullptr;
    for (size_t i = 0; i < m_nClasses; ++i) {
        const char* known = m_ppClasses[i]->m_lpszClassName;
        if (std::strlen(known) == len && std::memcmp(known, name, len) == 0) {
            pClass = m_ppClasses[i];
            break;
        }
    }
    if (!pClass) throw CArchiveException(CArchiveException::badClass);
    if (wSchema != static_cast<uint16_t>(pClass->m_wSchema)) {
        if (!pClass->m_bVersionable) throw CArchiveException(CArchiveException::badSchema);
    }
    m_fileSchema[pClass] = wSchema;
    if (m_nMapCount > kMaxIndex) throw CArchiveException(CArchiveException::badIndex);
    m_loadArray.push_back({nullptr, pClass});
    ++m_nMapCount;
    return pClass;
}

namespace {
struct DepthGuard {
    explicit DepthGuard(int& n) : m_n(n) {
        if (++m_n > CArchive::kMaxNesting) {
            --m_n;
            throw CArchiveException(CArchiveException::tooDeep);
        }
    }
    ~DepthGuard() { --m_n; }
    int& m_n;
};
}  // namespace

CObject* CArchive::ReadObject(const CRuntimeClass* pExpected, bool* pbNew) {
    if (pbNew) *pbNew = false;
    const uint16_t w = ReadU16();
    uint32_t tag;
    if (w == kBigObjectTag) tag = ReadU32();
    else if (w & kClassTag) tag = kBigClassTag | (w & ~kClassTag);
    else tag = w;

    if (tag == 0) return nullptr;

    if (!(tag & kBigClassTag)) {
        // back reference to an object already read
        if (tag >= m_loadArray.size() || !m_loadArray[tag].pObject)
            throw CArchiveException(CArchiveException::badIndex);
        const LoadEntry& e = m_loadArray[tag];
        if (pExpected && e.pClass != pExpected) throw CArchiveException(CArchiveException::badClass);
        return e.pObject;
    }

    const CRuntimeClass* pClass;
    if (w == kNewClassTag) {
        pClass = ReadNewClass();
    } else {
        const uint32_t idx = tag & ~kBigClassTag;
        if (idx >= m_loadArray.size() || m_loadArray[idx].pObject || !m_loadArray[idx].pClass)
            throw CArchiveException(CArchiveException::badIndex);
        pClass = m_loadArray[idx].pClass;
    }
    if (pExpected && pClass != pExpected) throw CArchiveException(CArchiveException::badClass);

    uint32_t schema = static_cast<uint16_t>(pClass->m_wSchema);
    auto si = m_fileSchema.find(pClass);
    if (si != m_fileSchema.end()) schema = si->second;

    DepthGuard depth(m_nDepth);
    if (m_nMapCount > kMaxIndex) throw CArchiveException(CArchiveException::badIndex);
    std::unique_ptr<CObject> pObj(pClass->m_pfnCreateObject());
    // Entered before its fields are read, so references inside it can name it.
    m_loadArray.push_back({pObj.get(), pClass});
    ++m_nMapCount;

    const uint32_t saved = m_nObjectSchema;
    m_nObjectSchema = schema;
    try {
        pObj->Serialize(*this);
    } catch (CArchiveException& e) {
        m_nObjectSchema = saved;
        e.SetPartial(std::move(pObj));
        throw;
    }
    m_nObjectSchema = saved;
    if (pbNew) *pbNew = true;
    return pObj.release();
}

uint32_t CArchive::GetObjectSchema() {
    const uint32_t s = m_nObjectSchema;
    m_nObjectSchema = kNoSchema;
    return s;
}
