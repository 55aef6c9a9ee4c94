// Little-endian fields of the stored edit-list files: a reader that checks every read and
// every stored length against what the file still holds, and a writer that collects a record's
// bytes so that it reaches the file in one write.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "winport/CFile.h"
#include "winport/CString.h"

class EditListFieldReader {
public:
    /// Reads from the file's current position up to `end` (the file's length).
    EditListFieldReader(CFile& file, ULONGLONG end) : m_file(file), m_end(end), m_pos(file.GetPosition()) {}

    ULONGLONG Remaining() const { return m_pos < m_end ? m_end - m_pos : 0; }
    ULONGLONG Position() const { return m_pos; }

    bool Bytes(void* out, UINT count)
    {
        if (count > Remaining()) return false;
        UINT got = m_file.Read(out, count);
        m_pos += got;
        return got == count;
    }
    bool Int32(int& value)
    {
        unsigned char b[4];
        if (!Bytes(b, 4)) return false;
        value = static_cast<int>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                 static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
        return true;
    }
    bool Byte(BYTE& value) { return Bytes(&value, 1); }
    /// int32 length n, then n bytes; a negative length or one past the end fails.
    bool Text(CString& text)
    {
        int n = 0;
        if (!Int32(n) || n < 0 || static_cast<ULONGLONG>(n) > Remaining()) return false;
        std::string s(static_cast<size_t>(n), '\0');
        if (n > 0 && !Bytes(s.data(), static_cast<UINT>(n))) return false;
        text = CString(s);
        return true;
    }

private:
    CFile& m_file;
    ULONGLONG m_end;
    ULONGLONG m_pos;
};

class EditListFieldWriter {
public:
    void Bytes(const void* data, size_t count) { m_bytes.append(static_cast<const char*>(data), count); }
    void Int32(int value)
    {
        uint32_t v = static_cast<uint32_t>(value);
        char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
        m_bytes.append(b, 4);
    }
    void Byte(BYTE value) { m_bytes.push_back(static_cast<char>(value)); }
    void Text(const CString& text)
    {
        Int32(text.GetLength());
        m_bytes.append(text.str());
    }
    void WriteTo(CFile& file)
    {
        if (!m_bytes.empty()) file.Write(m_bytes.data(), static_cast<UINT>(m_bytes.size()));
        m_bytes.clear();
    }

private:
    std::string m_bytes;
};
