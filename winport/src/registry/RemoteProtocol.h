// The registry service's wire format. A frame is a 32-bit little-endian payload length and the
// payload. A request payload is an operation byte and its fields; a reply payload is a 32-bit
// Win32 status and, on success, the operation's results. Integers are little-endian; a text or
// byte string is a 32-bit length and its bytes. Key references are the serving store's own.
#pragma once

#include <cstdint>
#include <string>

namespace winport::reg::wire {

/// Largest payload either side accepts (a registry value of 1 MB, with room to spare).
constexpr uint32_t kMaxFrame = 4u << 20;
/// The first request of a connection: kHello with this text; any other answer ends it.
constexpr char kGreeting[] = "vokdwen-registry 1";

enum Op : uint8_t {
    kHello = 0,
    kOpen = 1,       // i64 parent, str path          -> i64 key
    kCreate = 2,     // i64 parent, str path, u8 vol  -> i64 key, u8 created
    kQuery = 3,      // i64 key, str name             -> u32 type, str bytes
    kSet = 4,        // i64 key, str name, u32 type, str bytes
    kDeleteValue = 5,  // i64 key, str name
    kDeleteKey = 6,  // i64 parent, str path, u8 tree
    kEnumKey = 7,    // i64 key, u32 index            -> str name
    kEnumValue = 8,  // i64 key, u32 index            -> str name, u32 type, str bytes
    kInfo = 9,       // i64 key                       -> u32 x 5
};

class Writer {
public:
    Writer& u8(uint8_t v)
    {
        m_out.push_back(static_cast<char>(v));
        return *this;
    }
    Writer& u32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i) m_out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        return *this;
    }
    Writer& i64(int64_t v)
    {
        uint64_t u = static_cast<uint64_t>(v);
        for (int i = 0; i < 8; ++i) m_out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
        return *this;
    }
    Writer& str(const std::string& s)
    {
        u32(static_cast<uint32_t>(s.size()));
        m_out += s;
        return *this;
    }
    const std::string& payload() const { return m_out; }

private:
    std::string m_out;
};

/// Bounds-checked reading of a payload: a read past the end fails and leaves ok() false.
class Reader {
public:
    explicit Reader(const std::string& in) : m_in(in) {}
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_pos == m_in.size(); }

    uint8_t u8()
    {
        if (!need(1)) return 0;
        return static_cast<uint8_t>(m_in[m_pos++]);
    }
    uint32_t u32()
    {
        if (!need(4)) return 0;
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(m_in[m_pos++])) << (8 * i);
        return v;
    }
    int64_t i64()
    {
        if (!need(8)) return 0;
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(static_cast<uint8_t>(m_in[m_pos++])) << (8 * i);
        return static_cast<int64_t>(v);
    }
    std::string str()
    {
        uint32_t n = u32();
        if (!need(n)) return {};
        std::string s = m_in.substr(m_pos, n);
        m_pos += n;
        return s;
    }

private:
    bool need(size_t n)
    {
        if (!m_ok || m_in.size() - m_pos < n) {
            m_ok = false;
            return false;
        }
        return true;
    }

    const std::string& m_in;
    size_t m_pos = 0;
    bool m_ok = true;
};

/// Reads one frame from a socket, waiting at most timeoutMs for each part (-1: no limit).
/// False on end of stream, error, time-out or a frame above kMaxFrame.
bool ReadFrame(int fd, std::string& payload, int timeoutMs);
bool WriteFrame(int fd, const std::string& payload);

}  // namespace winport::reg::wire
