// CMidiOutPort: one MIDI output device of a MIDI port. Messages are queued (three bytes each)
// and sent by the port's DeviceResponseThread, which also answers the host's ping: the first
// three pings are only counted, every later one is answered with 0x90 0x00 0x7F ahead of the
// messages taken in the same wake-up. Each open announces the port with 0xB0 0x0F 0x1B and,
// 10 ms later, 0xB0 0x2F 0x47.
//
// Open and Close run on the owner's thread; Queue from any thread; CountPing from the input
// device's callback.
#pragma once

#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "midi/NamedEvent.h"
#include "winport/FastLock.h"
#include "winport/Midi.h"

class CMidiOutPort {
public:
    /// A closing port gives the device this long to stop playing (10 ms steps).
    static constexpr DWORD kStillPlayingLimitMs = 10000;
    /// The response thread looks at its stop flag at least this often.
    static constexpr DWORD kResponseWaitMs = 500;

    explicit CMidiOutPort(int deviceIndex);
    ~CMidiOutPort();
    CMidiOutPort(const CMidiOutPort&) = delete;
    CMidiOutPort& operator=(const CMidiOutPort&) = delete;

    /// Opens device (closing first when open) and starts the response thread. The result of
    /// midiOutOpen (MMSYSERR_BADDEVICEID for a device past the count: the port stays closed).
    MMRESULT Open(int device);
    /// Ends the response thread, then resets and closes the device.
    void Close();
    BOOL IsOpen() const { return m_bOpen.load() ? TRUE : FALSE; }
    /// Queues count messages of three bytes each (only while open).
    void Queue(int count, const BYTE* bytes);
    /// Counts a ping of the host; TRUE from the fourth on, when an answer is on its way.
    BOOL CountPing();

    int GetPingCount() const { return m_nPingCount.load(); }
    int GetDevice() const { return m_nDevice.load(); }
    MMRESULT GetLastResult() const { return m_nLastResult.load(); }
    /// Sends that failed since the port was built.
    int GetFailedSends() const { return m_nFailedSends.load(); }
    /// The lock of the message queue: held, it keeps the response thread from taking messages.
    CFastCriticalSection& GetQueueLock() { return m_csQueue; }

private:
    void DeviceResponseThread();

    MIDIHDR m_MidiHdr{};  // never prepared; only unprepared on close
    std::atomic<MMRESULT> m_nLastResult{MMSYSERR_NOERROR};
    std::atomic<bool> m_bOpen{false};
    std::atomic<int> m_nPingCount{0};
    std::atomic<int> m_nDevice;
    CFastCriticalSection m_csQueue;
    std::vector<std::array<BYTE, 3>> m_Queue;  // guarded by m_csQueue
    std::thread m_ResponseThread;
    HMIDIOUT m_hMidiOut = nullptr;
    std::atomic<bool> m_bPingAnswerPending{false};
    std::atomic<bool> m_bResponseRunning{false};
    std::atomic<int> m_nFailedSends{0};
    NamedEventHandle m_eTransmit, m_eKillResponseThrd, m_eResponseThrdDead;
};
