// Turns the byte stream of an input device into what the device's callback is told: short
// messages (with running status), real-time bytes, system-exclusive data into the queued
// buffers, broken system-exclusive messages and stray data bytes. No allocation: the output goes
// to a caller's sink.
#pragma once

#include <cstddef>
#include <deque>

#include "winport/Midi.h"

namespace winport::midi {

class MidiInputAssembler {
public:
    /// Receives each result: a MIM_* code with its first parameter (the packed message, or
    /// the MIDIHDR given back).
    struct Sink {
        virtual ~Sink() = default;
        virtual void Emit(UINT message, DWORD_PTR param1) = 0;
    };

    /// Takes bytes of any length and cut.
    void Feed(const BYTE* bytes, size_t count, std::deque<MIDIHDR*>& buffers, Sink& sink);
    /// Forgets running status and any message begun (after a reset or stop).
    void Clear()
    {
        m_status = 0;
        m_have = 0;
        m_inSysex = false;
    }
    /// The buffer being filled goes back as it is (MIM_LONGDATA), for a stop or reset.
    static void GiveBack(std::deque<MIDIHDR*>& buffers, UINT message, Sink& sink);

private:
    void sysexByte(BYTE b, std::deque<MIDIHDR*>& buffers, Sink& sink);

    BYTE m_status = 0;  // running status, 0 when none
    int m_need = 0;     // data bytes the status takes
    int m_have = 0;
    BYTE m_data[2] = {0, 0};
    bool m_inSysex = false;
    bool m_sysexLost = false;  // no buffer was there: the rest of this message is dropped
};

/// Data bytes that a status byte takes (0 for real-time bytes, -1 for 0xF0, 0xF7 and undefined).
int MidiDataBytes(BYTE status);

}  // namespace winport::midi
