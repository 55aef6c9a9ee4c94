// What the main dialog asks of MIDI control: reset at start, whether MIDI runs, start and stop
// of every port, and one outgoing control change for a rack's channel. The MIDI port manager
// implements it; until MIDI runs in this program, StoppedMidiPorts stands in.
#pragma once

#include <vector>

#include "winport/WinTypes.h"

class MidiPorts {
public:
    virtual ~MidiPorts() = default;
    /// Engines forgotten, counters and the detected list cleared.
    virtual void Reset() = 0;
    virtual BOOL IsRunning() const = 0;
    /// Starts every configured port; FALSE (after telling the operator) when none starts.
    virtual BOOL StartMidiPortsThread() = 0;
    /// Stops every port; FALSE when MIDI cannot be stopped now (it stays running).
    virtual BOOL StopMidiPorts() = 0;
    /// Queues one control change (code: 2 Pad, 4 Phant, 5 Phase, 9 gain) for a rack's channel.
    virtual void SendControlChange(int rack, int channel, int code, int value) = 0;
};

/// MIDI that never runs unless told to: for the program until its MIDI ports exist, and for
/// tests (which can make it run, refuse a stop, and read the control changes sent).
class StoppedMidiPorts : public MidiPorts {
public:
    struct ControlChange {
        int rack, channel, code, value;
    };

    void Reset() override { m_sent.clear(); }
    BOOL IsRunning() const override { return m_running ? TRUE : FALSE; }
    BOOL StartMidiPortsThread() override { return FALSE; }
    BOOL StopMidiPorts() override
    {
        if (!m_running || m_refuseStop) return FALSE;
        m_running = false;
        return TRUE;
    }
    void SendControlChange(int rack, int channel, int code, int value) override
    {
        if (m_running) m_sent.push_back({rack, channel, code, value});
    }

    void SetRunning(bool running) { m_running = running; }
    void SetRefuseStop(bool refuse) { m_refuseStop = refuse; }
    const std::vector<ControlChange>& Sent() const { return m_sent; }

private:
    bool m_running = false;
    bool m_refuseStop = false;
    std::vector<ControlChange> m_sent;
};
