#include "MidiInputAssembler.h"

namespace winport::midi {

int MidiDataBytes(BYTE status)
{
    if (status < 0x80) return -1;
    if (status < 0xF0) return ((status & 0xE0) == 0xC0) ? 1 : 2;  // program change, channel pressure: 1
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 1;
    case 0xF2:
        return 2;
    case 0xF6:
        return 0;
    case 0xF4:
    case 0xF5:
    case 0xF0:
    case 0xF7:
        return -1;
    default:
        return 0;  // real-time 0xF8..0xFF
    }
}

void MidiInputAssembler::GiveBack(std::deque<MIDIHDR*>& buffers, UINT message, Sink& sink)
{
    if (buffers.empty()) return;
    MIDIHDR* h = buffers.front();
    buffers.pop_front();
    h->dwFlags = (h->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    sink.Emit(message, reinterpret_cast<DWORD_PTR>(h));
}

void MidiInputAssembler::sysexByte(BYTE b, std::deque<MIDIHDR*>& buffers, Sink& sink)
{
    if (m_sysexLost) return;
    if (buffers.empty()) {
        m_sysexLost = true;
        return;
    }
    MIDIHDR* h = buffers.front();
    h->lpData[h->dwBytesRecorded++] = static_cast<char>(b);
    if (b == 0xF7 || h->dwBytesRecorded >= h->dwBufferLength) GiveBack(buffers, MIM_LONGDATA, sink);
}

void MidiInputAssembler::Feed(const BYTE* bytes, size_t count, std::deque<MIDIHDR*>& buffers, Sink& sink)
{
    for (size_t i = 0; i < count; ++i) {
        const BYTE b = bytes[i];
        if (b >= 0xF8) {  // real time: passes even inside a system-exclusive message
            sink.Emit(MIM_DATA, b);
            continue;
        }
        if (m_inSysex) {
            if (b < 0x80 || b == 0xF7) {
                sysexByte(b, buffers, sink);
                if (b == 0xF7) m_inSysex = false;
                continue;
            }
            // Any other status breaks the message off: its buffer goes back as an error.
            m_inSysex = false;
            if (!m_sysexLost && !buffers.empty() && buffers.front()->dwBytesRecorded > 0)
                GiveBack(buffers, MIM_LONGERROR, sink);
        }
        if (b == 0xF0) {
            m_inSysex = true;
            m_sysexLost = false;
            m_status = 0;
            sysexByte(b, buffers, sink);
            continue;
        }
        if (b >= 0x80) {
            int need = MidiDataBytes(b);
            if (need < 0) {  // 0xF7 outside a message, undefined status
                m_status = 0;
                sink.Emit(MIM_ERROR, b);
                continue;
            }
            m_status = b;
            m_need = need;
            m_have = 0;
            if (need == 0) {
                sink.Emit(MIM_DATA, b);
                m_status = 0;
            }
            continue;
        }
        if (m_status == 0) {  // a data byte without a status
            sink.Emit(MIM_ERROR, b);
            continue;
        }
        m_data[m_have++] = b;
        if (m_have < m_need) continue;
        DWORD packed = m_status | (static_cast<DWORD>(m_data[0]) << 8);
        if (m_need == 2) packed |= static_cast<DWORD>(m_data[1]) << 16;
        sink.Emit(MIM_DATA, packed);
        m_have = 0;
        if (m_status >= 0xF0) m_status = 0;  // system common messages have no running status
    }
}

}  // namespace winport::midi
