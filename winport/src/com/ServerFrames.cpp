#include "winport/ServerFrames.h"

#include <cstring>

namespace winport::frames {

namespace {

void putU32(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 24));
}

uint32_t getU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

bool knownKind(uint32_t kind)
{
    switch (static_cast<FrameKind>(kind)) {
    case FrameKind::Connect:
    case FrameKind::SetData:
    case FrameKind::GetData:
    case FrameKind::DAdvise:
    case FrameKind::DUnadvise:
    case FrameKind::Reply:
    case FrameKind::DataChange:
        return true;
    }
    return false;
}

}  // namespace

std::vector<uint8_t> Encode(FrameKind kind, uint32_t callId, const std::vector<uint8_t>& body)
{
    std::vector<uint8_t> out;
    out.reserve(kHeaderBytes + body.size());
    putU32(out, static_cast<uint32_t>(8 + body.size()));
    putU32(out, static_cast<uint32_t>(kind));
    putU32(out, callId);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

void FrameReader::Feed(const uint8_t* data, size_t size)
{
    if (m_failed || size == 0) return;
    // Drop what has been handed out before growing the buffer, so it never holds more than
    // one frame and one read's worth of bytes.
    if (m_start > 0 && m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    } else if (m_start > 0 && m_start >= m_buffer.size() / 2) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_start));
        m_start = 0;
    }
    m_buffer.insert(m_buffer.end(), data, data + size);
}

std::optional<Frame> FrameReader::Next()
{
    if (m_failed) return std::nullopt;
    size_t avail = m_buffer.size() - m_start;
    if (avail < 4) return std::nullopt;
    const uint8_t* p = m_buffer.data() + m_start;
    uint32_t length = getU32(p);
    if (length < 8 || length > kMaxFrameLength) {
        m_failed = true;
        m_error = "frame length " + std::to_string(length) + " outside 8.." + std::to_string(kMaxFrameLength);
        return std::nullopt;
    }
    if (avail >= 8 && !knownKind(getU32(p + 4))) {
        m_failed = true;
        m_error = "unknown frame kind " + std::to_string(getU32(p + 4));
        return std::nullopt;
    }
    if (avail < 4 + static_cast<size_t>(length)) return std::nullopt;
    Frame f;
    f.kind = static_cast<FrameKind>(getU32(p + 4));
    f.callId = getU32(p + 8);
    f.body.assign(p + kHeaderBytes, p + 4 + length);
    m_start += 4 + length;
    return f;
}

BodyWriter& BodyWriter::U32(uint32_t v)
{
    putU32(m_out, v);
    return *this;
}

BodyWriter& BodyWriter::Format(const WireFormat& f)
{
    U32(f.cfFormat);
    U32(f.aspect);
    I32(f.lindex);
    return U32(f.tymed);
}

BodyWriter& BodyWriter::Bytes(const void* data, size_t size)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (size) m_out.insert(m_out.end(), p, p + size);
    return *this;
}

bool BodyReader::U32(uint32_t& v)
{
    if (m_size - m_pos < 4) {
        m_pos = m_size;
        return false;
    }
    v = getU32(m_data + m_pos);
    m_pos += 4;
    return true;
}

bool BodyReader::I32(int32_t& v)
{
    uint32_t u = 0;
    if (!U32(u)) return false;
    v = static_cast<int32_t>(u);
    return true;
}

bool BodyReader::Format(WireFormat& f)
{
    return U32(f.cfFormat) && U32(f.aspect) && I32(f.lindex) && U32(f.tymed);
}

std::optional<ReplyBody> ParseReply(const std::vector<uint8_t>& body)
{
    BodyReader r(body);
    ReplyBody out;
    if (!r.I32(out.hr)) return std::nullopt;
    out.rest = r.Rest();
    out.restSize = r.RestSize();
    return out;
}

std::optional<DataChangeBody> ParseDataChange(const std::vector<uint8_t>& body)
{
    BodyReader r(body);
    DataChangeBody out;
    if (!r.U32(out.connection) || !r.Format(out.format)) return std::nullopt;
    if (r.RestSize() > kMaxBlockBytes) return std::nullopt;
    out.block = r.Rest();
    out.blockSize = r.RestSize();
    return out;
}

}  // namespace winport::frames
