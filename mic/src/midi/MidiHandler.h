// The MIDI engine of one MIDI port: its input and output port objects, two queues of MidiEvent
// records and three threads. MidiInputThread drains the input port's ring into the input queue,
// Servicing_Thread hands each queued event to HandleEvent and queues its answers for output,
// VokInputThread sends queued output through the output port. The engine starts its threads
// itself and joins them at teardown, before the ports are closed; every wait is bounded.
//
// SetMessageType, SetPorts, OpenPorts, StartServicing, SendOut and destruction run on the
// owner's thread; PutOne*/PopOne* are safe from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <thread>

#include "midi/MidiInPort.h"
#include "midi/MidiOutPort.h"
#include "midi/NamedEvent.h"
#include "winport/FastLock.h"
#include "winport/WinTypes.h"

/// One record of the engine's queues: 20 bytes, the tail filled with 255 when built to send.
struct MidiEvent {
    uint32_t type;  // 12 control received from a port, 10 message to send; 0xFFFFFFFF none
    int16_t port;   // the port number (received) or the MIDI-in device index (to send)
    BYTE status;
    BYTE data1;
    int16_t value;  // 0..127
    BYTE rest[10];
};
static_assert(sizeof(MidiEvent) == 20);

constexpr uint32_t kMidiEventReceived = 12;
constexpr uint32_t kMidiEventToSend = 10;
constexpr uint32_t kMidiEventNone = 0xFFFFFFFFu;

class CMidiHandler {
public:
    /// At most this many events wait in a queue: a push that reaches it drops the oldest.
    static constexpr size_t kQueueLimit = 10000;
    /// The threads look at their stop flags at least this often.
    static constexpr DWORD kThreadWaitMs = 200;

    CMidiHandler();
    virtual ~CMidiHandler();
    CMidiHandler(const CMidiHandler&) = delete;
    CMidiHandler& operator=(const CMidiHandler&) = delete;

    /// TRUE: queue the (changed) event as output. The base reports the call and answers TRUE.
    virtual BOOL HandleEvent(MidiEvent& event);
    /// TRUE: out is a valid event. The base reports the call and answers TRUE.
    virtual BOOL BuildOutgoing(int type, int port, int count, const BYTE* bytes, MidiEvent& out);

    void SetMessageType(int type);
    void ResetHeartbeatMask() { m_dwHeartbeatMask = 0; }
    DWORD GetHeartbeatMask() const { return m_dwHeartbeatMask.load(); }
    /// Stores the port number and the two device indices.
    void SetPorts(int port, int inDevice, int outDevice);
    /// Makes and opens the output port, then the input port, and starts the input and output
    /// threads. FALSE when the ports are not set or the threads run already.
    BOOL OpenPorts();
    /// Starts the servicing thread; FALSE when not configured, ports not set, or it runs.
    BOOL StartServicing();

    /// Append at the back; 1 when the queue then held kQueueLimit events and lost its oldest,
    /// else 0. Dropped (0) while closing.
    int PutOneInputOn(const MidiEvent& event);
    int PutOneOutputOn(const MidiEvent& event);
    /// The front event; FALSE when the queue is empty.
    BOOL PopOneInOff(MidiEvent& event);
    BOOL PopOneOutOff(MidiEvent& event);
    size_t GetInputQueueSize();
    size_t GetOutputQueueSize();

    /// Builds an event to send from bytes (BuildOutgoing) and queues it for output; nothing for
    /// a port (device index) outside 0..31 or an event BuildOutgoing refuses.
    void SendOut(int type, int port, int count, const BYTE* bytes);

    int GetPortNumber() const { return m_nPort; }
    int GetMidiIn() const { return m_nMidiIn; }
    int GetMidiOut() const { return m_nMidiOut; }
    CMidiInPort* GetInPort() const { return m_pInPort.get(); }
    CMidiOutPort* GetOutPort() const { return m_pOutPort.get(); }

    /// The window that gets the engine's notifications (the main dialog's); none by default.
    void SetNotifyWindow(HWND window) { m_hNotify = window; }
    HWND GetNotifyWindow() const { return m_hNotify; }

protected:
    /// Stops and joins every thread, then closes and deletes the ports. Derived classes call
    /// it from their destructor so that no thread calls their overrides after they are gone.
    void Teardown();

    std::atomic<DWORD> m_dwHeartbeatMask{0};

private:
    int put(std::deque<MidiEvent>& queue, const MidiEvent& event, HANDLE wake);
    BOOL pop(std::deque<MidiEvent>& queue, MidiEvent& event);
    void MidiInputThread();
    void Servicing_Thread();
    void VokInputThread();

    std::unique_ptr<CMidiOutPort> m_pOutPort;
    std::unique_ptr<CMidiInPort> m_pInPort;
    int m_nPort = -1;
    int m_nMidiIn = -1;
    int m_nMidiOut = -1;
    int m_nMessageType = -1;
    CFastCriticalSection m_csQueue;
    std::deque<MidiEvent> m_InputQueue;
    std::deque<MidiEvent> m_OutputQueue;
    bool m_bConfigured = false;
    bool m_bPortsSet = false;
    std::atomic<bool> m_bClosing{false};
    std::atomic<bool> m_bRunning{false};  // the three threads run while set
    std::thread m_InputThread, m_ServicingThread, m_OutputThread;
    HANDLE m_hInputQueued = nullptr;   // auto-reset: an event entered the input queue
    HANDLE m_hOutputQueued = nullptr;  // auto-reset: an event entered the output queue
    NamedEventHandle m_eKillMidiInThrd, m_eRecievedChange;
    bool m_bTornDown = false;
    bool m_bPortsOpened = false;
    HWND m_hNotify = nullptr;
};

/// An event from a port's three bytes: value masked to 7 bits, the tail 255.
MidiEvent MakeMidiEvent(int port, const BYTE* bytes);
/// The two words of a window message: port | status << 16, data1 | value << 16.
void PackMidiEvent(const MidiEvent& event, WPARAM& first, LPARAM& second);
/// The port, status, data1 and value of PackMidiEvent's two words (type none, the tail 255).
MidiEvent UnpackMidiEvent(WPARAM first, LPARAM second);
/// The first word of a monitor line that says a port opened or closed: the port, status 0xFFFF.
WPARAM PackMidiPortLine(int port);
bool IsMidiPortLine(WPARAM first);
