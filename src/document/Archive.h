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

class CArchive;
class CClipVaultDoc;
class CObject;

// What the archive knows of a class that can appear in an object reference.
struct CRuntimeClass {
    const char* m_lpszClassName;  // ASCII, fewer than 64 bytes
    uint32_t m_wSchema;           // low 16 bits are stored
    bool m_bVersionable;          // older schemas in a file are accepted
    CObject* (*m_pfnCreateObject)();
};

class CObject {
public:
    virtual const CRuntimeClass* GetRuntimeClass() const = 0;
    virtual ~CObject() = default;
    virtual void Serialize(CArchive& ar) = 0;
};

class CArchiveException : public std::exception {
public:
    enum Cause {
        endOfFile,   // a value or string ran past the end of the data
        badIndex,    // an object or class index that was not handed out
        badClass,    // an unknown, malformed or unexpected class
        badSchema,   // a schema this program cannot read
        tooDeep,     // object references nested beyond what a reader follows
        readFault,   // the file could not be read
        writeFault,  // the file could not be written
    };
    explicit CArchiveException(Cause c, int nErrno = 0) : m_cause(c), m_nErrno(nErrno) {}
    const char* what() const noexcept override;

    Cause m_cause;
    int m_nErrno;
    // The object whose fields were being read when loading failed, handed to
    // whoever can still keep what it holds (a category keeps the notes read
    // before the failure). Empty once somebody took it.
    std::unique_ptr<CObject> TakePartial() {
        return m_pPartial ? std::move(*m_pPartial) : std::unique_ptr<CObject>();
    }
    void SetPartial(std::unique_ptr<CObject> p) {
        m_pPartial = std::make_shared<std::unique_ptr<CObject>>(std::move(p));
    }

private:
    // Shared so that the exception stays copyable.
    std::shared_ptr<std::unique_ptr<CObject>> m_pPartial;
};

// Where loading bytes come from.
class CByteSource {
public:
    virtual ~CByteSource() = default;
    // Reads up to n bytes; returns how many were read (0 at the end).
    virtual size_t Read(void* p, size_t n) = 0;
    // Bytes left in the source; lets the reader refuse a length that cannot
    // be satisfied before it allocates anything.
    virtual uint64_t Remaining() const = 0;
    // Moves past n bytes (n <= Remaining()).
    virtual void Skip(uint64_t n) = 0;
    // Offset of the next byte from the start of the source.
    virtual uint64_t Position() const = 0;
};

// A notebook file kept open so that large blocks (attachment bytes) are read
// when they are needed instead of when the notebook opens. A file replaced by
// a save (rename) stays readable through the descriptor; one cut short in
// place by another program makes the read fail, never crash.
class CDeferredFile {
public:
    explicit CDeferredFile(int fd) : m_fd(fd) {}  // takes the descriptor
    ~CDeferredFile();
    CDeferredFile(const CDeferredFile&) = delete;
    CDeferredFile& operator=(const CDeferredFile&) = delete;
    // Exactly n bytes at `offset`, or false.
    bool ReadAt(uint64_t offset, void* p, size_t n) const;

private:
    int m_fd;
};

// A byte block left in its file.
struct CDeferredBlock {
    std::shared_ptr<const CDeferredFile> m_pFile;  // null: not deferred
    uint64_t m_nOffset = 0;
    uint64_t m_nSize = 0;
    explicit operator bool() const { return static_cast<bool>(m_pFile); }
};

// Where stored bytes go.
class CByteSink {
public:
    virtual ~CByteSink() = default;
    virtual void Write(const void* p, size_t n) = 0;  // throws writeFault
    virtual void Flush() {}
};

class CMemorySource : public CByteSource {
public:
    CMemorySource(const void* p, size_t n) : m_p(static_cast<const uint8_t*>(p)), m_n(n) {}
    size_t Read(void* p, size_t n) override;
    uint64_t Remaining() const override { return m_n - m_pos; }
    void Skip(uint64_t n) override { m_pos += static_cast<size_t>(std::min<uint64_t>(n, m_n - m_pos)); }
    uint64_t Position() const override { return m_pos; }

private:
    const uint8_t* m_p;
    size_t m_n;
    size_t m_pos = 0;
};

class CMemorySink : public CByteSink {
public:
    void Write(const void* p, size_t n) override;
    std::vector<uint8_t>& Data() { return m_data; }

private:
    std::vector<uint8_t> m_data;
};

// A file opened by descriptor; the descriptor stays the caller's.
class CFileSource : public CByteSource {
public:
    // Throws readFault when the size of the file cannot be learnt.
    explicit CFileSource(int fd);
    size_t Read(void* p, size_t n) override;  // throws readFault
    uint64_t Remaining() const override { return m_nSize > m_nPos ? m_nSize - m_nPos : 0; }
    void Skip(uint64_t n) override;           // throws readFault
    uint64_t Position() const override { return m_nPos; }

private:
    int m_fd;
    uint64_t m_nSize;
    uint64_t m_nPos = 0;
};

class CFileSink : public CByteSink {
public:
    explicit CFileSink(int fd) : m_fd(fd) {}
    void Write(const void* p, size_t n) override;  // throws writeFault

private:
    int m_fd;
};

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
    std::string ReadString();
    void ReadBlock(std::vector<uint8_t>& b);
    // Like ReadBlock, but a block of kMinDeferred bytes or more in an
    // archive given a deferred file is only located: `deferred` says where,
    // and `b` stays empty.
    void ReadBlockDeferred(std::vector<uint8_t>& b, CDeferredBlock& deferred);
    static constexpr uint64_t kMinDeferred = 16 * 1024;
    // The open file this archive reads, for ReadBlockDeferred; its source
    // must be that file.
    void SetDeferredFile(std::shared_ptr<const CDeferredFile> pFile) { m_pDeferredFile = std::move(pFile); }
    void ReadStringList(std::vector<std::string>& l);
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
