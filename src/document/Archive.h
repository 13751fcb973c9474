// The archive: the byte encoding shared by notebook files and the options
// file. A sequential stream of little-endian values, length-prefixed strings,
// counted blocks and an object graph in which each object is preceded by a
// record of its class. The encoding is exact to the byte; files written by
// earlier versions of the program must read back unchanged.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <ctime>
#include <exception>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "document/NameMap.h"
#include "platform/ByteStream.h"

class CClipVaultDoc;

class CArchive {
public:
    enum Mode { store, load };
    static constexpr uint32_t kNoSchema = 0xFFFFFFFFu;
    // Deepest nesting of object references a reader follows; real notebooks
    // stay far below it, and it keeps a hostile file from exhausting the stack.
    static constexpr int kMaxNesting = 256;

    CArchive(CByteSource& src);
    CArchive(CByteSink& sink);
    ~CArchive();
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    bool IsStoring() const { return m_mode == store; }
    bool IsLoading() const { return m_mode == load; }

    // The classes a reader accepts in object references. Without a table every
    // class record is a bad class.
    void SetClassTable(const CRuntimeClass* const* ppClasses, size_t nClasses);

    // The notebook being read or written; records read from a notebook take
    // their owning document from it.
    CClipVaultDoc* m_pDocument = nullptr;

    // Writes out what is buffered (storing). Called by the destructor too,
    // but only Flush reports failures.
    void Flush();

    // --- storing ---
    void WriteU8(uint8_t v);
    void WriteU16(uint16_t v);
    void WriteU32(uint32_t v);
    void WriteI32(int32_t v) { WriteU32(static_cast<uint32_t>(v)); }
    void WriteTime32(int64_t t) { WriteU32(static_cast<uint32_t>(t)); }
    void Write(const void* p, size_t n);
    void WriteCount(uint64_t n);
    void WriteString(const std::string& s);
    void WriteBlock(const std::vector<uint8_t>& b);
    // Writes a block left in its file as WriteBlock would write its bytes,
    // copied from that file without a buffer of its own. readFault when the
    // file no longer holds them.
    void WriteBlockFromFile(const CDeferredBlock& block);
    void WriteStringList(const std::vector<std::string>& l);
    void WriteObject(const CObject* pObj);
    template <class T>
    void WriteNameMap(const CNameMap<T*>& map) {
        WriteCount(map.GetCount());
        for (auto it = map.begin(); it != map.end(); ++it) {
            WriteString(it.key());
            WriteObject(it.value());
        }
    }

    // --- loading ---
    uint8_t ReadU8();
    uint16_t ReadU16();
    uint32_t ReadU32();
    int32_t ReadI32() { return static_cast<int32_t>(ReadU32()); }
    int64_t ReadTime32() { return ReadU32(); }
    void Read(void* p, size_t n);  // exactly n bytes or endOfFile
    uint64_t ReadCount();
    // A count of elements that each take at least nMinBytes in the data: a
    // count the bytes left cannot hold is damage (endOfFile), found before
    // anything is read or allocated for it.
    uint64_t ReadCount(uint64_t nMinBytes);
    std::string ReadString();
    void ReadBlock(std::vector<uint8_t>& b);
    // Like ReadBlock, but a block of kMinDeferred bytes or more in an
    // archive given a deferred file is only located: `deferred` says where,
    // and `b` stays empty.
    void ReadBlockDeferred(std::vector<uint8_t>& b, CDeferredBlock& deferred, uint64_t nMinDeferred = kMinDeferred);
    static constexpr uint64_t kMinDeferred = 16 * 1024;
    // The open file this archive reads, for ReadBlockDeferred; its source
    // must be that file.
    void SetDeferredFile(std::shared_ptr<const CDeferredFile> pFile) { m_pDeferredFile = std::move(pFile); }
    // With bSkipEmpty, empty strings are read past and not kept, so a list
    // of them costs no memory.
    void ReadStringList(std::vector<std::string>& l, bool bSkipEmpty = false);
    // Reads an object reference. With `pExpected` any other class is a bad
    // class. `pbNew` tells whether a new object was made (the caller owns it)
    // or a back reference was read (the object belongs to whoever read it
    // first). Null for a null reference.
    CObject* ReadObject(const CRuntimeClass* pExpected = nullptr, bool* pbNew = nullptr);
    // Inside an object's reader: the schema the object was written with;
    // resets it to kNoSchema.
    uint32_t GetObjectSchema();
    // Bytes not yet read.
    uint64_t Remaining() const;
    // Copies up to n of the next bytes without consuming them; returns how
    // many there were (fewer at the end of the data). n is small (a header).
    size_t Peek(void* p, size_t n);

    // Keeps an object read from this archive alive until the archive closes:
    // a map that meets a key twice keeps the later value, but the earlier
    // object may still be named by a back reference later in the stream.
    void Discard(std::unique_ptr<CObject> p) { m_discarded.push_back(std::move(p)); }
    std::vector<std::unique_ptr<CObject>>& Discarded() { return m_discarded; }

private:
    struct LoadEntry {
        CObject* pObject;             // null for a class entry
        const CRuntimeClass* pClass;  // the class, or the object's class
    };

    void NeedBytes(size_t n);  // loading: at least n bytes in the buffer
    void NextIndex();
    const CRuntimeClass* ReadNewClass();
    uint64_t ReadStringLength(bool& bWide);

    Mode m_mode;
    CByteSource* m_pSource = nullptr;
    CByteSink* m_pSink = nullptr;
    std::vector<uint8_t> m_buf;
    size_t m_nCur = 0;  // next byte in m_buf
    size_t m_nEnd = 0;  // end of valid bytes in m_buf
    bool m_bSkipped = false;  // a block was just skipped in the source

    const CRuntimeClass* const* m_ppClasses = nullptr;
    size_t m_nClasses = 0;

    uint32_t m_nMapCount = 1;  // next index to hand out
    std::unordered_map<const void*, uint32_t> m_storeMap;
    std::vector<LoadEntry> m_loadArray;
    std::unordered_map<const CRuntimeClass*, uint32_t> m_fileSchema;
    uint32_t m_nObjectSchema = kNoSchema;
    int m_nDepth = 0;
    std::vector<std::unique_ptr<CObject>> m_discarded;
    std::shared_ptr<const CDeferredFile> m_pDeferredFile;
};
