#include "midi/MicMidiControl.h"

#include "base/MicMessages.h"
#include "winport/Window.h"

BOOL CMicMidiControl::HandleEvent(MidiEvent& event)
{
    if (event.type != kMidiEventReceived) return FALSE;
    // Only controller messages are controls: a fader or key of a surface never switches a
    // channel.
    if ((event.status & 0xF0) != 0xB0) return FALSE;
    event.data1 &= 0x7F;
    event.value &= 0x7F;
    WPARAM w;
    LPARAM l;
    PackMidiEvent(event, w, l);
    HWND window = GetNotifyWindow();
    if (window) PostMessageA(window, WM_MIDI_IN_SHOWN, w, l);
    switch (event.data1 & 0x0F) {
    case 2:   // Pad
    case 4:   // Phant
    case 5:   // Phase
    case 9:   // gain
    case 12:  // highlight
        if (window) PostMessageA(window, WM_MIDI_CONTROL, w, l);
        return FALSE;
    case 10:  // heartbeat: answered, unless it is an answer
        if (event.value == 127) return FALSE;
        m_dwHeartbeatMask.fetch_or(1u << (event.status & 0x0F));
        event.value = 127;
        event.type = kMidiEventToSend;
        return TRUE;
    default:  // 13 status messages and unknown codes
        return FALSE;
    }
}

BOOL CMicMidiControl::BuildOutgoing(int type, int port, int count, const BYTE* bytes, MidiEvent& out)
{
    if (type != static_cast<int>(kMidiEventToSend) || count < 1 || bytes == nullptr) return FALSE;
    out = MakeMidiEvent(port, bytes);
    out.type = kMidiEventToSend;
    return TRUE;
}
