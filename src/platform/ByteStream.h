// Where stored bytes come from and go to: memory, files, blocks left in
// their file until needed; and the base of objects that the archive writes
// and reads, with the failure that reading and writing report. The archive
// (document/) and the atomic file writer share them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

class CArchive;
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

// A notebook file kept open so that byte blocks (notes' pages, attachments)
// are read when they are needed instead of when the notebook opens. A file
// replaced by a save (rename) stays readable through the descriptor. One
// changed in place by another program (cut short, written over) no longer
// holds what was located in it: reading then fails, never crashes nor gives
// another file's bytes.
class CDeferredFile {
public:
    explicit CDeferredFile(int fd);  // takes the descriptor
    ~CDeferredFile();
    CDeferredFile(const CDeferredFile&) = delete;
    CDeferredFile& operator=(const CDeferredFile&) = delete;
    // Exactly n bytes at `offset`, or false.
    bool ReadAt(uint64_t offset, void* p, size_t n) const;
    // False once the file's size or modification time differ from when it
    // was opened.
    bool Unchanged() const;
    // For a sink that can copy from file to file without passing the bytes
    // through memory; ask Unchanged() first.
    int Descriptor() const { return m_fd; }

private:
    int m_fd;
    int64_t m_nSize = -1;
    int64_t m_nMtimeSec = 0, m_nMtimeNsec = 0;
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
    // Appends n bytes of `file` at `offset` without bringing them into the
    // process (a save passing unchanged notes from the old file to the new).
    // False when this sink cannot, before anything was written; the caller
    // then reads and writes them itself. Throws readFault when the file no
    // longer holds them, writeFault when the sink fails.
    virtual bool CopyFrom(const CDeferredFile& file, uint64_t offset, uint64_t n) {
        (void)file, (void)offset, (void)n;
        return false;
    }
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

