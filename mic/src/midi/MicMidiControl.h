// CMicMidiControl: the engine of one MIDI port of mic. Controller messages (0xB0 to 0xBF) are
// the only controls: Pad, Phant, Phase, gain and the highlight go to the main dialog as
// WM_MIDI_CONTROL; a unit's heartbeat is counted in the heartbeat mask and answered with value
// 127; every received control is also shown (WM_MIDI_IN_SHOWN).
#pragma once

#include "midi/MidiHandler.h"

class CMicMidiControl : public CMidiHandler {
public:
    CMicMidiControl() = default;
    ~CMicMidiControl() override { Teardown(); }

    BOOL HandleEvent(MidiEvent& event) override;
    /// Type 10: out from the three bytes, port = the device index; any other type FALSE.
    BOOL BuildOutgoing(int type, int port, int count, const BYTE* bytes, MidiEvent& out) override;
};
