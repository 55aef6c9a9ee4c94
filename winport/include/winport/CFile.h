// CFile (a file on a descriptor), CMemFile and CStdioFile. Failures throw CFileException with
// the Windows error code of the failure, as the class library does.
#pragma once

#include <string>
#include <vector>

#include "winport/CObject.h"
#include "winport/CString.h"

class CFile : public CObject {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };

    CFile() = default;
    CFile(const char* fileName, UINT openFlags);
    ~CFile() override;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    /// Opens a path (Windows paths map below the data root). On failure returns FALSE and fills
    /// the exception object when one is given.
    virtual BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr);
    virtual void Close();
    virtual void Abort();
    virtual UINT Read(void* buffer, UINT count);
    virtual void Write(const void* buffer, UINT count);
    virtual LONGLONG Seek(LONGLONG offset, UINT from);
    virtual ULONGLONG GetLength() const;
    virtual void SetLength(ULONGLONG newLength);
    virtual ULONGLONG GetPosition() const;
    virtual void Flush();
    ULONGLONG SeekToEnd() { return static_cast<ULONGLONG>(Seek(0, end)); }
    void SeekToBegin() { Seek(0, begin); }
    CString GetFilePath() const { return m_strFileName; }
    CString GetFileName() const;
    BOOL IsOpen() const { return m_fd >= 0; }
    int GetDescriptor() const { return m_fd; }

    static void Remove(const char* fileName);
    static void Rename(const char* oldName, const char* newName);

protected:
    int m_fd = -1;
    CString m_strFileName;
    std::string m_hostPath;
};

/// A file in memory; GetBuffer gives its bytes.
class CMemFile : public CFile {
public:
    CMemFile() = default;
    CMemFile(const BYTE* data, UINT size);
    BOOL Open(const char*, UINT, CFileException* = nullptr) override { return TRUE; }
    void Close() override {}
    void Abort() override {}
    UINT Read(void* buffer, UINT count) override;
    void Write(const void* buffer, UINT count) override;
    LONGLONG Seek(LONGLONG offset, UINT from) override;
    ULONGLONG GetLength() const override { return m_data.size(); }
    void SetLength(ULONGLONG newLength) override { m_data.resize(newLength); }
    ULONGLONG GetPosition() const override { return m_pos; }
    void Flush() override {}
    const std::vector<BYTE>& Bytes() const { return m_data; }

private:
    std::vector<BYTE> m_data;
    size_t m_pos = 0;
};

/// A text file read and written by lines. Lines end in CR LF on disk; ReadString takes a line
/// without its end, and WriteString writes "\n" as CR LF in text mode. Reads go through an
/// 8 KB buffer (byte-sized reads cost no system call), and GetPosition counts what the caller
/// has taken from it.
class CStdioFile : public CFile {
public:
    CStdioFile() = default;
    CStdioFile(const char* fileName, UINT openFlags) : CFile(fileName, openFlags), m_bText(!(openFlags & typeBinary)) {}
    BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr) override;
    BOOL ReadString(CString& line);
    void WriteString(const char* text);
    UINT Read(void* buffer, UINT count) override;
    /// Writes at the position the caller has read to.
    void Write(const void* buffer, UINT count) override;
    LONGLONG Seek(LONGLONG offset, UINT from) override;
    ULONGLONG GetPosition() const override;

private:
    static constexpr size_t kBufferSize = 8192;
    bool fillBuffer();
    bool m_bText = true;
    std::vector<char> m_readBuffer;
    size_t m_readPos = 0;
    ULONGLONG m_bufferOrigin = 0;  // file position of the buffer's first byte
};
