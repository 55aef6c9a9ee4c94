// What the main dialog asks of MIDI control: reset at start, whether MIDI runs, start and stop
// of every port, and one outgoing control change for a rack's channel. The MIDI port manager
// implements it; until MIDI runs in this program, StoppedMidiPorts stands in.
#pragma once

#include <utility>
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
    /// Hands bytes to send (type 10, device: the port's MIDI-in device index) to the engine of a
    /// started port; nothing otherwise.
    virtual void SendToPort(int port, int type, int device, int count, const BYTE* bytes) = 0;

    // Unit detection.
    /// Entry i (0 to 31) of the detected list: (0, 0) when unused; FALSE for another i.
    virtual BOOL GetDetectedPre(int i, int& port, int& channel) = 0;
    /// How many entries of the detected list are filled.
    virtual int GetDetectedCount() = 0;
    /// Counters and list zeroed.
    virtual void ClearDetectedPres() = 0;
    /// While set, heartbeat counters only rise.
    virtual void SetDetectHold(BOOL hold) = 0;
};

/// MIDI that never runs unless told to: for the program until its MIDI ports exist, and for
/// tests (which can make it run, refuse a stop, and read the control changes sent).
class StoppedMidiPorts : public MidiPorts {
public:
    struct PortMessage {
        int port, type, device;
        std::vector<BYTE> bytes;
    };

    void Reset() override { m_toPorts.clear(); }
    BOOL IsRunning() const override { return m_running ? TRUE : FALSE; }
    BOOL StartMidiPortsThread() override { return FALSE; }
    BOOL StopMidiPorts() override
    {
        if (!m_running || m_refuseStop) return FALSE;
        m_running = false;
        return TRUE;
    }

    void SendToPort(int port, int type, int device, int count, const BYTE* bytes) override
    {
        if (m_running && count > 0 && bytes) m_toPorts.push_back({port, type, device, std::vector<BYTE>(bytes, bytes + 3 * count)});
    }
    BOOL GetDetectedPre(int i, int& port, int& channel) override
    {
        if (i < 0 || i >= 32) return FALSE;
        port = i < static_cast<int>(m_detected.size()) ? m_detected[i].first : 0;
        channel = i < static_cast<int>(m_detected.size()) ? m_detected[i].second : 0;
        return TRUE;
    }
    int GetDetectedCount() override { return static_cast<int>(m_detected.size()); }
    void ClearDetectedPres() override { m_detected.clear(); }
    void SetDetectHold(BOOL hold) override { m_hold = hold != FALSE; }

    void SetRunning(bool running) { m_running = running; }
    void SetDetected(std::vector<std::pair<int, int>> detected) { m_detected = std::move(detected); }
    bool Hold() const { return m_hold; }
    const std::vector<PortMessage>& ToPorts() const { return m_toPorts; }
    void SetRefuseStop(bool refuse) { m_refuseStop = refuse; }

private:
    bool m_running = false;
    bool m_refuseStop = false;
    std::vector<PortMessage> m_toPorts;
    std::vector<std::pair<int, int>> m_detected;
    bool m_hold = false;
};
