#include "winport/CArchive.h"

#include <algorithm>
#include <cstring>

#include "winport/CFile.h"

CArchive::CArchive(CFile* file, UINT mode, int bufferSize, void*)
    : m_pFile(file), m_nMode(mode)
{
    m_buffer.resize(static_cast<size_t>(std::max(bufferSize, 128)));
}

CArchive::~CArchive()
{
    if (!m_closed && IsStoring() && !(m_nMode & bNoFlushOnDelete)) {
        try {
            Flush();
        } catch (CException* e) {
            e->Delete();
        }
    }
}

void CArchive::fill()
{
    m_bufLen = m_pFile->Read(m_buffer.data(), static_cast<UINT>(m_buffer.size()));
    m_bufPos = 0;
}

UINT CArchive::Read(void* buffer, UINT count)
{
    if (IsStoring()) AfxThrowArchiveException(CArchiveException::writeOnly);
    BYTE* out = static_cast<BYTE*>(buffer);
    UINT done = 0;
    while (done < count) {
        if (m_bufPos == m_bufLen) {
            // Large reads go straight to the file.
            if (count - done >= m_buffer.size()) {
                UINT n = m_pFile->Read(out + done, count - done);
                done += n;
                break;
            }
            fill();
            if (m_bufLen == 0) break;
        }
        size_t n = std::min<size_t>(count - done, m_bufLen - m_bufPos);
        std::memcpy(out + done, m_buffer.data() + m_bufPos, n);
        m_bufPos += n;
        done += static_cast<UINT>(n);
    }
    return done;
}

void CArchive::Write(const void* buffer, UINT count)
{
    if (IsLoading()) AfxThrowArchiveException(CArchiveException::readOnly);
    const BYTE* in = static_cast<const BYTE*>(buffer);
    if (count >= m_buffer.size()) {
        Flush();
        m_pFile->Write(in, count);
        return;
    }
    if (m_bufPos + count > m_buffer.size()) Flush();
    std::memcpy(m_buffer.data() + m_bufPos, in, count);
    m_bufPos += count;
}

void CArchive::Flush()
{
    if (IsStoring() && m_bufPos > 0) {
        size_t n = m_bufPos;
        m_bufPos = 0;
        m_pFile->Write(m_buffer.data(), static_cast<UINT>(n));
    }
}

void CArchive::Close()
{
    if (!m_closed) {
        Flush();
        m_closed = true;
    }
}

void CArchive::Abort()
{
    m_bufPos = 0;
    m_closed = true;
}

void CArchive::WriteCount(DWORD_PTR count)
{
    if (count < 0xFFFF) {
        *this << static_cast<WORD>(count);
    } else {
        *this << static_cast<WORD>(0xFFFF);
        *this << static_cast<DWORD>(count);
    }
}

DWORD_PTR CArchive::ReadCount()
{
    WORD w;
    *this >> w;
    if (w != 0xFFFF) return w;
    DWORD d;
    *this >> d;
    return d;
}

void CArchive::WriteString(const char* text)
{
    if (text) Write(text, static_cast<UINT>(std::strlen(text)));
}

BOOL CArchive::ReadString(CString& line)
{
    line.Empty();
    std::string s;
    bool any = false;
    for (;;) {
        char c;
        if (Read(&c, 1) != 1) break;
        any = true;
        if (c == '\n') break;
        s += c;
    }
    if (!s.empty() && s.back() == '\r') s.pop_back();
    line = CString(s);
    return any;
}

CArchive& CArchive::operator<<(const CString& s)
{
    DWORD n = static_cast<DWORD>(s.GetLength());
    if (n < 255) {
        *this << static_cast<BYTE>(n);
    } else if (n < 0xFFFE) {
        *this << static_cast<BYTE>(0xFF);
        *this << static_cast<WORD>(n);
    } else {
        *this << static_cast<BYTE>(0xFF);
        *this << static_cast<WORD>(0xFFFF);
        *this << n;
    }
    Write(s.c_str(), n);
    return *this;
}

CArchive& CArchive::operator>>(CString& s)
{
    bool wide = false;
    DWORD n;
    for (;;) {
        BYTE b;
        *this >> b;
        if (b < 0xFF) {
            n = b;
            break;
        }
        WORD w;
        *this >> w;
        if (w == 0xFFFE) {
            // A marker that wide characters follow; the length comes next.
            wide = true;
            continue;
        }
        if (w < 0xFFFF) {
            n = w;
            break;
        }
        *this >> n;
        break;
    }
    std::string out;
    const DWORD chunk = 65536;
    for (DWORD done = 0; done < n;) {
        DWORD take = std::min(chunk, n - done);
        if (wide) {
            std::string raw(static_cast<size_t>(take) * 2, '\0');
            if (Read(raw.data(), take * 2) != take * 2) AfxThrowArchiveException(CArchiveException::endOfFile);
            for (DWORD i = 0; i < take; ++i) {
                unsigned v = static_cast<unsigned char>(raw[2 * i]) | (static_cast<unsigned char>(raw[2 * i + 1]) << 8);
                out += v < 0x100 ? static_cast<char>(v) : '?';
            }
        } else {
            size_t at = out.size();
            out.resize(at + take);
            if (Read(out.data() + at, take) != take) AfxThrowArchiveException(CArchiveException::endOfFile);
        }
        done += take;
    }
    s = CString(out);
    return *this;
}
