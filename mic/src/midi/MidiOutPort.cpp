#include "midi/MidiOutPort.h"

#include "winport/Clock.h"
#include "winport/Trace.h"

namespace {
constexpr DWORD kPingAnswer = 0x007F0090;  // 0x90 0x00 0x7F
}

CMidiOutPort::CMidiOutPort(int deviceIndex) : m_nDevice(deviceIndex) {}

CMidiOutPort::~CMidiOutPort()
{
    Close();
}

MMRESULT CMidiOutPort::Open(int device)
{
    if (device < 0 || static_cast<UINT>(device) >= midiOutGetNumDevs()) return MMSYSERR_BADDEVICEID;
    // A reopen ends the running thread and device first, so that the kill event it waits for
    // is the one of its own device.
    Close();
    m_nDevice = device;
    m_bPingAnswerPending = false;
    MMRESULT r = midiOutOpen(&m_hMidiOut, static_cast<UINT>(device), 0, 0, CALLBACK_NULL);
    m_nLastResult = r;
    if (r != MMSYSERR_NOERROR) {
        m_hMidiOut = nullptr;
        return r;
    }
    midiOutReset(m_hMidiOut);
    m_eTransmit.Take(device, enTransmit);
    m_eKillResponseThrd.Take(device, enKillResponseThrd);
    m_eResponseThrdDead.Take(device, enResponseThrdDead);
    m_bOpen = true;
    m_bResponseRunning = true;
    m_ResponseThread = std::thread([this] { DeviceResponseThread(); });

    static const BYTE kAnnounce1[3] = {0xB0, 0x0F, 0x1B};
    static const BYTE kAnnounce2[3] = {0xB0, 0x2F, 0x47};
    Queue(1, kAnnounce1);
    Sleep(10);
    Queue(1, kAnnounce2);
    m_nPingCount = 0;
    return MMSYSERR_NOERROR;
}

void CMidiOutPort::Queue(int count, const BYTE* bytes)
{
    if (!m_bOpen || count <= 0 || bytes == nullptr) return;
    {
        CFastSingleLock lock(&m_csQueue, TRUE);
        for (int i = 0; i < count; ++i) m_Queue.push_back({bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]});
    }
    m_eTransmit.Set();
}

BOOL CMidiOutPort::CountPing()
{
    if (m_nPingCount.load() < 3) {
        ++m_nPingCount;
        return FALSE;
    }
    m_bPingAnswerPending = true;
    m_eTransmit.Set();
    return TRUE;
}

void CMidiOutPort::DeviceResponseThread()
{
    std::vector<std::array<BYTE, 3>> batch;
    char errorText[128];
    while (m_bResponseRunning.load()) {
        int woke = CNamedEvent::WaitEither(m_eKillResponseThrd.Get(), m_eTransmit.Get(), kResponseWaitMs);
        if (woke == 0) break;
        if (woke != 1) continue;
        bool ping;
        {
            // Take what waits, then send it with the lock released, the ping answer first.
            CFastSingleLock lock(&m_csQueue, TRUE);
            ping = m_bPingAnswerPending.exchange(false);
            batch.swap(m_Queue);
        }
        if (ping && midiOutShortMsg(m_hMidiOut, kPingAnswer) != MMSYSERR_NOERROR) ++m_nFailedSends;
        for (const auto& m : batch) {
            DWORD packed = m[0] | (static_cast<DWORD>(m[1]) << 8) | (static_cast<DWORD>(m[2]) << 16);
            MMRESULT r = midiOutShortMsg(m_hMidiOut, packed);
            if (r != MMSYSERR_NOERROR) {
                ++m_nFailedSends;
                midiOutGetErrorTextA(r, errorText, sizeof errorText);
                TRACE("MIDI out %d: %s\n", m_nDevice.load(), errorText);
            }
        }
        batch.clear();
    }
    m_eResponseThrdDead.Set();
}

void CMidiOutPort::Close()
{
    if (!m_bOpen && !m_ResponseThread.joinable()) return;
    // The device is given a bounded time to stop playing.
    const uint64_t start = winport::CurrentClock().nowMs();
    while (midiOutUnprepareHeader(m_hMidiOut, &m_MidiHdr, sizeof m_MidiHdr) == MIDIERR_STILLPLAYING &&
           winport::CurrentClock().nowMs() - start < kStillPlayingLimitMs) {
        Sleep(10);
    }
    if (m_ResponseThread.joinable()) {
        m_bResponseRunning = false;
        m_eKillResponseThrd.Set();
        m_ResponseThread.join();
        CNamedEvent::WaitOne(m_eResponseThrdDead.Get(), 0);
    }
    midiOutReset(m_hMidiOut);
    while (midiOutClose(m_hMidiOut) == MIDIERR_STILLPLAYING && winport::CurrentClock().nowMs() - start < kStillPlayingLimitMs) {
        Sleep(10);
    }
    m_hMidiOut = nullptr;
    m_bOpen = false;
    {
        CFastSingleLock lock(&m_csQueue, TRUE);
        m_Queue.clear();
    }
    m_eTransmit.Reset();
    m_eKillResponseThrd.Reset();
    m_eResponseThrdDead.Reset();
}
