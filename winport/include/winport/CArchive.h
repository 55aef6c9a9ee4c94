// CArchive: the class library's binary serialisation over a CFile, byte-exact: little-endian
// scalars, counts as a WORD (or 0xFFFF and a DWORD), strings with a length prefix of a BYTE,
// 0xFF and a WORD, or 0xFF 0xFFFF and a DWORD.
#pragma once

#include <vector>

#include "winport/CObject.h"
#include "winport/CString.h"

class CFile;

class CArchive {
public:
    enum Mode { store = 0, load = 1, bNoFlushOnDelete = 2 };

    CArchive(CFile* file, UINT mode, int bufferSize = 4096, void* buffer = nullptr);
    ~CArchive();
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    BOOL IsLoading() const { return (m_nMode & load) != 0; }
    BOOL IsStoring() const { return (m_nMode & load) == 0; }
    CFile* GetFile() const { return m_pFile; }

    /// Reads up to count bytes; returns how many were read (fewer at the end of the file).
    UINT Read(void* buffer, UINT count);
    void Write(const void* buffer, UINT count);
    void Flush();
    void Close();
    void Abort();

    void WriteCount(DWORD_PTR count);
    DWORD_PTR ReadCount();
    /// Writes text as it stands (no terminator, no line end added).
    void WriteString(const char* text);
    /// Reads one text line (without its end); FALSE at the end of the file.
    BOOL ReadString(CString& line);

    CArchive& operator<<(BYTE v) { return writeScalar(v); }
    CArchive& operator<<(char v) { return writeScalar(v); }
    CArchive& operator<<(WORD v) { return writeScalar(v); }
    CArchive& operator<<(short v) { return writeScalar(v); }
    CArchive& operator<<(LONG v) { return writeScalar(v); }
    CArchive& operator<<(DWORD v) { return writeScalar(v); }
    CArchive& operator<<(LONGLONG v) { return writeScalar(v); }
    CArchive& operator<<(ULONGLONG v) { return writeScalar(v); }
    CArchive& operator<<(float v) { return writeScalar(v); }
    CArchive& operator<<(double v) { return writeScalar(v); }
    CArchive& operator<<(bool v) { return writeScalar(static_cast<BYTE>(v)); }
    CArchive& operator<<(const CString& s);

    CArchive& operator>>(BYTE& v) { return readScalar(v); }
    CArchive& operator>>(char& v) { return readScalar(v); }
    CArchive& operator>>(WORD& v) { return readScalar(v); }
    CArchive& operator>>(short& v) { return readScalar(v); }
    CArchive& operator>>(LONG& v) { return readScalar(v); }
    CArchive& operator>>(DWORD& v) { return readScalar(v); }
    CArchive& operator>>(LONGLONG& v) { return readScalar(v); }
    CArchive& operator>>(ULONGLONG& v) { return readScalar(v); }
    CArchive& operator>>(float& v) { return readScalar(v); }
    CArchive& operator>>(double& v) { return readScalar(v); }
    CArchive& operator>>(CString& s);

private:
    template <class T>
    CArchive& writeScalar(T v)
    {
        Write(&v, sizeof v);  // little-endian host, as the stored formats are
        return *this;
    }
    template <class T>
    CArchive& readScalar(T& v)
    {
        if (Read(&v, sizeof v) != sizeof v) AfxThrowArchiveException(CArchiveException::endOfFile);
        return *this;
    }
    void fill();

    CFile* m_pFile;
    UINT m_nMode;
    std::vector<BYTE> m_buffer;
    size_t m_bufPos = 0;
    size_t m_bufLen = 0;
    bool m_closed = false;
};
