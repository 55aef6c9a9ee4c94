// Test helpers for edit-list files: bytes laid out by hand, and files in a private folder.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

#include "FileContents.h"

class StoredBytes {
public:
    StoredBytes& raw(const std::string& s)
    {
        m_bytes += s;
        return *this;
    }
    StoredBytes& i32(int32_t v)
    {
        uint32_t u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i) m_bytes += static_cast<char>((u >> (8 * i)) & 0xFF);
        return *this;
    }
    StoredBytes& u8(uint8_t v)
    {
        m_bytes += static_cast<char>(v);
        return *this;
    }
    StoredBytes& text(const std::string& s) { return i32(static_cast<int32_t>(s.size())).raw(s); }
    const std::string& str() const { return m_bytes; }
    size_t size() const { return m_bytes.size(); }

private:
    std::string m_bytes;
};

inline void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

