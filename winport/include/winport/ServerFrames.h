// The wire format of the local-server connection: length-prefixed frames on a Unix stream
// socket, one connection per server object. Shared by the client side (DataObject.h) and the
// servers built on it.
//
// A frame (all numbers little-endian):
//   u32 length   bytes that follow this word (8 + body), at most kMaxFrameLength
//   u32 kind     FrameKind
//   u32 callId   a request's number; its reply carries the same number; 0 in a push
//   body         per kind, below
//
// Bodies (a format is 16 bytes: u32 cfFormat, u32 dwAspect, i32 lindex, u32 tymed):
//   Connect      16-byte class id                          reply: hr
//   SetData      format, u32 medium tymed, block bytes     reply: hr
//   GetData      format                                    reply: hr, block bytes (may be none)
//   DAdvise      format, u32 advf                          reply: hr, u32 connection
//   DUnadvise    u32 connection                            reply: hr
//   Reply        i32 hr, then the reply's own bytes
//   DataChange   u32 connection, format, block bytes       (server to client, no reply)
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "winport/WinTypes.h"

namespace winport::frames {

/// The largest block a frame carries (1 MiB), and the largest frame length word accepted.
/// A peer that announces more is refused and its connection closed.
constexpr size_t kMaxBlockBytes = 1u << 20;
constexpr size_t kMaxFrameLength = kMaxBlockBytes + 64;
constexpr size_t kHeaderBytes = 12;  // length, kind, callId

enum class FrameKind : uint32_t {
    Connect = 1,
    SetData = 2,
    GetData = 3,
    DAdvise = 4,
    DUnadvise = 5,
    Reply = 0x80,
    DataChange = 0x81,
};

struct WireFormat {
    uint32_t cfFormat = 0;
    uint32_t aspect = 0;
    int32_t lindex = -1;
    uint32_t tymed = 0;
};

struct Frame {
    FrameKind kind{};
    uint32_t callId = 0;
    std::vector<uint8_t> body;
};

/// Builds the bytes of one frame (header included).
std::vector<uint8_t> Encode(FrameKind kind, uint32_t callId, const std::vector<uint8_t>& body);

/// Incremental decoder: bytes in, whole frames out. After an error (an announced length
/// outside 8..kMaxFrameLength or an unknown kind) it stays failed and yields nothing more.
class FrameReader {
public:
    void Feed(const uint8_t* data, size_t size);
    /// The next complete frame, if one has arrived.
    std::optional<Frame> Next();
    bool Failed() const { return m_failed; }
    const std::string& Error() const { return m_error; }
    /// Bytes received but not yet returned as frames.
    size_t Pending() const { return m_buffer.size() - m_start; }

private:
    std::vector<uint8_t> m_buffer;
    size_t m_start = 0;
    bool m_failed = false;
    std::string m_error;
};

/// Little-endian body builder and reader. The reader never reads past its end: a short body
/// makes every later read fail.
class BodyWriter {
public:
    BodyWriter& U32(uint32_t v);
    BodyWriter& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
    BodyWriter& Format(const WireFormat& f);
    BodyWriter& Bytes(const void* data, size_t size);
    std::vector<uint8_t>& Out() { return m_out; }

private:
    std::vector<uint8_t> m_out;
};

class BodyReader {
public:
    explicit BodyReader(const std::vector<uint8_t>& body) : m_data(body.data()), m_size(body.size()) {}
    BodyReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool U32(uint32_t& v);
    bool I32(int32_t& v);
    bool Format(WireFormat& f);
    /// The bytes left after the fields read so far.
    const uint8_t* Rest() const { return m_data + m_pos; }
    size_t RestSize() const { return m_size - m_pos; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

/// A reply body, split: the result and the bytes that follow it.
struct ReplyBody {
    HRESULT hr = 0;
    const uint8_t* rest = nullptr;
    size_t restSize = 0;
};
std::optional<ReplyBody> ParseReply(const std::vector<uint8_t>& body);

/// A pushed data change: the advise connection, the format and the block.
struct DataChangeBody {
    uint32_t connection = 0;
    WireFormat format;
    const uint8_t* block = nullptr;
    size_t blockSize = 0;
};
/// Refuses a short body and a block larger than kMaxBlockBytes.
std::optional<DataChangeBody> ParseDataChange(const std::vector<uint8_t>& body);

}  // namespace winport::frames
