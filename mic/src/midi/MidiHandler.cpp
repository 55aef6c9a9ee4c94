#include "midi/MidiHandler.h"

#include <cstring>

#include "base/MicMessages.h"
#include "winport/Events.h"
#include "winport/Trace.h"
#include "winport/Window.h"

MidiEvent MakeMidiEvent(int port, const BYTE* bytes)
{
    MidiEvent e;
    std::memset(&e, 0xFF, sizeof e);
    e.port = static_cast<int16_t>(static_cast<BYTE>(port));
    e.status = bytes[0];
    e.data1 = bytes[1];
    e.value = static_cast<int16_t>(bytes[2] & 0x7F);
    return e;
}

void PackMidiEvent(const MidiEvent& event, WPARAM& first, LPARAM& second)
{
    first = static_cast<WPARAM>(static_cast<uint16_t>(event.port) | static_cast<DWORD>(event.status) << 16);
    second = static_cast<LPARAM>(static_cast<DWORD>(event.data1) | static_cast<DWORD>(static_cast<uint16_t>(event.value)) << 16);
}

MidiEvent UnpackMidiEvent(WPARAM first, LPARAM second)
{
    MidiEvent e;
    std::memset(&e, 0xFF, sizeof e);
    e.port = static_cast<int16_t>(first & 0xFFFF);
    e.status = static_cast<BYTE>(first >> 16);
    e.data1 = static_cast<BYTE>(second);
    e.value = static_cast<int16_t>(static_cast<uint16_t>(static_cast<DWORD>(second) >> 16));
    return e;
}

WPARAM PackMidiPortLine(int port) { return static_cast<WPARAM>(static_cast<WORD>(port) | 0xFFFF0000u); }

bool IsMidiPortLine(WPARAM first) { return (first >> 16 & 0xFFFF) == 0xFFFF; }

CMidiHandler::CMidiHandler()
    : m_hInputQueued(CreateEventA(nullptr, FALSE, FALSE, nullptr)), m_hOutputQueued(CreateEventA(nullptr, FALSE, FALSE, nullptr))
{
}

CMidiHandler::~CMidiHandler()
{
    Teardown();
    CloseHandle(m_hInputQueued);
    CloseHandle(m_hOutputQueued);
}

BOOL CMidiHandler::HandleEvent(MidiEvent&)
{
    TRACE("CMidiHandler::HandleEvent not handled\n");
    return TRUE;
}

BOOL CMidiHandler::BuildOutgoing(int, int, int, const BYTE*, MidiEvent&)
{
    TRACE("CMidiHandler::BuildOutgoing not handled\n");
    return TRUE;
}

void CMidiHandler::SetMessageType(int type)
{
    m_nMessageType = type;
    m_bConfigured = true;
}

void CMidiHandler::SetPorts(int port, int inDevice, int outDevice)
{
    m_nPort = port;
    m_nMidiIn = inDevice;
    m_nMidiOut = outDevice;
    m_bPortsSet = true;
}

BOOL CMidiHandler::OpenPorts()
{
    if (!m_bPortsSet || m_bPortsOpened || m_bClosing) return FALSE;
    m_pOutPort = std::make_unique<CMidiOutPort>(m_nMidiOut);
    m_pInPort = std::make_unique<CMidiInPort>(m_pOutPort.get(), m_nMidiIn);
    m_pOutPort->Open(m_nMidiOut);
    m_pInPort->Open(m_nMidiIn);
    m_eKillMidiInThrd.Take(m_nMidiIn, enKillMidiInThrd);
    m_eRecievedChange.Take(m_nMidiIn, enRecievedChange);
    m_bPortsOpened = true;
    m_bRunning = true;
    m_InputThread = std::thread([this] { MidiInputThread(); });
    m_OutputThread = std::thread([this] { VokInputThread(); });
    if (m_hNotify) PostMessageA(m_hNotify, WM_MIDI_IN_SHOWN, PackMidiPortLine(m_nPort), 0);  // "Open"
    return TRUE;
}

BOOL CMidiHandler::StartServicing()
{
    if (!m_bConfigured || !m_bPortsSet || m_ServicingThread.joinable() || m_bClosing) return FALSE;
    m_bRunning = true;
    m_ServicingThread = std::thread([this] { Servicing_Thread(); });
    return TRUE;
}

int CMidiHandler::put(std::deque<MidiEvent>& queue, const MidiEvent& event, HANDLE wake)
{
    if (m_bClosing) return 0;
    int dropped = 0;
    {
        CFastSingleLock lock(&m_csQueue, TRUE);
        queue.push_back(event);
        if (queue.size() >= kQueueLimit) {
            queue.pop_front();
            dropped = 1;
        }
    }
    SetEvent(wake);
    return dropped;
}

BOOL CMidiHandler::pop(std::deque<MidiEvent>& queue, MidiEvent& event)
{
    CFastSingleLock lock(&m_csQueue, TRUE);
    if (queue.empty()) return FALSE;
    event = queue.front();
    queue.pop_front();
    return TRUE;
}

int CMidiHandler::PutOneInputOn(const MidiEvent& event) { return put(m_InputQueue, event, m_hInputQueued); }
int CMidiHandler::PutOneOutputOn(const MidiEvent& event) { return put(m_OutputQueue, event, m_hOutputQueued); }
BOOL CMidiHandler::PopOneInOff(MidiEvent& event) { return pop(m_InputQueue, event); }
BOOL CMidiHandler::PopOneOutOff(MidiEvent& event) { return pop(m_OutputQueue, event); }

size_t CMidiHandler::GetInputQueueSize()
{
    CFastSingleLock lock(&m_csQueue, TRUE);
    return m_InputQueue.size();
}

size_t CMidiHandler::GetOutputQueueSize()
{
    CFastSingleLock lock(&m_csQueue, TRUE);
    return m_OutputQueue.size();
}

void CMidiHandler::SendOut(int type, int port, int count, const BYTE* bytes)
{
    if (port < 0 || port > 31) return;
    MidiEvent event;
    std::memset(&event, 0xFF, sizeof event);
    event.type = static_cast<uint32_t>(type);
    if (!BuildOutgoing(type, port, count, bytes, event) || event.type == kMidiEventNone) return;
    PutOneOutputOn(event);
}

void CMidiHandler::MidiInputThread()
{
    // Every message the port's ring holds is queued, in order, at each wake-up.
    while (m_bRunning) {
        int woke = CNamedEvent::WaitEither(m_eKillMidiInThrd.Get(), m_eRecievedChange.Get(), kThreadWaitMs);
        if (woke == 0 || !m_bRunning) break;
        MidiShortMessage m;
        while (m_pInPort->ReadShortMessage(m)) {
            const BYTE bytes[3] = {m.status, m.data1, m.data2};
            MidiEvent event = MakeMidiEvent(m_nPort, bytes);
            event.type = static_cast<uint32_t>(m_nMessageType);
            PutOneInputOn(event);
        }
    }
}

void CMidiHandler::Servicing_Thread()
{
    while (m_bRunning) {
        MidiEvent event;
        while (m_bRunning && PopOneInOff(event)) {
            if (HandleEvent(event)) PutOneOutputOn(event);
        }
        WaitForSingleObject(m_hInputQueued, kThreadWaitMs);
    }
}

void CMidiHandler::VokInputThread()
{
    while (m_bRunning) {
        MidiEvent event;
        while (m_bRunning && PopOneOutOff(event)) {
            if (event.type != kMidiEventToSend) continue;  // only messages to send leave
            if (m_hNotify) {
                // The monitor shows the port number, not the device index the event carries.
                MidiEvent shown = event;
                shown.port = static_cast<int16_t>(m_nPort);
                WPARAM w;
                LPARAM l;
                PackMidiEvent(shown, w, l);
                PostMessageA(m_hNotify, WM_MIDI_OUT_SHOWN, w, l);
            }
            const BYTE bytes[3] = {event.status, event.data1, static_cast<BYTE>(event.value)};
            m_pOutPort->Queue(1, bytes);
        }
        WaitForSingleObject(m_hOutputQueued, kThreadWaitMs);
    }
}

void CMidiHandler::Teardown()
{
    if (m_bTornDown) return;
    m_bTornDown = true;
    m_bClosing = true;
    m_bRunning = false;
    m_eKillMidiInThrd.Set();
    SetEvent(m_hInputQueued);
    SetEvent(m_hOutputQueued);
    if (m_ServicingThread.joinable()) m_ServicingThread.join();
    if (m_InputThread.joinable()) m_InputThread.join();
    if (m_OutputThread.joinable()) m_OutputThread.join();
    if (m_bPortsOpened && m_hNotify) PostMessageA(m_hNotify, WM_MIDI_OUT_SHOWN, PackMidiPortLine(m_nPort), 0);  // "Close"
    m_pInPort.reset();
    m_pOutPort.reset();
    m_eKillMidiInThrd.Reset();
    m_eRecievedChange.Reset();
}
