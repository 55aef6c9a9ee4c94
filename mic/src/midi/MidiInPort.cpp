#include "midi/MidiInPort.h"

#include <algorithm>
#include <cstring>

#include "midi/MidiOutPort.h"
#include "winport/Clock.h"

namespace {
std::atomic<CMidiInPort*> g_CallbackTable[CMidiInPort::kCallbackSlots];

bool hasSlot(int device)
{
    return device >= 0 && device < CMidiInPort::kCallbackSlots;
}
}  // namespace

CMidiInPort::CMidiInPort(CMidiOutPort* outPort, int deviceIndex)
    : m_pOutPort(outPort), m_nSlot(deviceIndex), m_nDevice(deviceIndex)
{
    if (hasSlot(m_nSlot)) g_CallbackTable[m_nSlot].store(this);
}

CMidiInPort::~CMidiInPort()
{
    Close();
    if (hasSlot(m_nSlot)) {
        CMidiInPort* self = this;
        g_CallbackTable[m_nSlot].compare_exchange_strong(self, nullptr);  // only our own place
    }
}

CMidiInPort* CMidiInPort::GetCallbackEntry(int slot)
{
    return hasSlot(slot) ? g_CallbackTable[slot].load() : nullptr;
}

void CMidiInPort::MidiInProc(HMIDIIN handle, UINT message, DWORD_PTR dwInstance, DWORD_PTR param1, DWORD_PTR param2)
{
    CMidiInPort* port = dwInstance < kCallbackSlots ? g_CallbackTable[dwInstance].load() : nullptr;
    if (port && port->m_bOpen.load()) port->ProcessMidiInput(handle, message, param1, param2);
}

MMRESULT CMidiInPort::Open(int device)
{
    if (device < 0 || static_cast<UINT>(device) >= midiInGetNumDevs() || !hasSlot(m_nSlot)) return MMSYSERR_ERROR;
    if (m_bOpen) Close();
    m_nDevice = device;
    m_eRecievedChange.Take(device, enRecievedChange);
    MMRESULT r = midiInOpen(&m_hMidiIn, static_cast<UINT>(device), reinterpret_cast<DWORD_PTR>(&CMidiInPort::MidiInProc),
                            static_cast<DWORD_PTR>(m_nSlot), CALLBACK_FUNCTION);
    m_nLastResult = r;
    if (r != MMSYSERR_NOERROR) {
        m_hMidiIn = nullptr;
        return r;
    }
    midiInReset(m_hMidiIn);
    m_MidiHdr = MIDIHDR{};
    m_MidiHdr.lpData = m_Buffer;
    m_MidiHdr.dwBufferLength = kBufferBytes;
    r = midiInPrepareHeader(m_hMidiIn, &m_MidiHdr, sizeof m_MidiHdr);
    m_nLastResult = r;
    if (r != MMSYSERR_NOERROR) {
        midiInClose(m_hMidiIn);
        m_hMidiIn = nullptr;
        return r;
    }
    r = midiInAddBuffer(m_hMidiIn, &m_MidiHdr, sizeof m_MidiHdr);
    m_nLastResult = r;
    if (r == MMSYSERR_NOERROR) {
        m_bStop = false;
        midiInStart(m_hMidiIn);
    }
    m_bOpen = true;
    m_nPingAnswerCount = 0;
    return MMSYSERR_NOERROR;
}

void CMidiInPort::Close()
{
    if (!m_bOpen) return;
    m_bStop = true;
    midiInReset(m_hMidiIn);
    midiInStop(m_hMidiIn);
    midiInUnprepareHeader(m_hMidiIn, &m_MidiHdr, sizeof m_MidiHdr);
    const uint64_t start = winport::CurrentClock().nowMs();
    while (midiInClose(m_hMidiIn) == MIDIERR_STILLPLAYING) {
        if (winport::CurrentClock().nowMs() - start >= kStillPlayingLimitMs) break;  // given up: marked closed
        Sleep(100);
    }
    m_hMidiIn = nullptr;
    m_bOpen = false;
}

void CMidiInPort::putShortMessage(BYTE status, BYTE data1, BYTE data2)
{
    unsigned head = m_nRingHead.load(std::memory_order_relaxed);
    if (head - m_nRingTail.load(std::memory_order_acquire) >= kRingSize) {
        m_nDropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    m_Ring[head % kRingSize] = MidiShortMessage{status, data1, data2};
    m_nRingHead.store(head + 1, std::memory_order_release);
}

BOOL CMidiInPort::ReadShortMessage(MidiShortMessage& message)
{
    unsigned tail = m_nRingTail.load(std::memory_order_relaxed);
    if (tail == m_nRingHead.load(std::memory_order_acquire)) return FALSE;
    message = m_Ring[tail % kRingSize];
    m_nRingTail.store(tail + 1, std::memory_order_release);
    return TRUE;
}

void CMidiInPort::ProcessMidiInput(HMIDIIN handle, UINT message, DWORD_PTR param1, DWORD_PTR)
{
    if (message < MIM_OPEN || message > MIM_MOREDATA) return;
    switch (message) {
    case MIM_DATA: {
        const BYTE status = static_cast<BYTE>(param1);
        const BYTE data1 = static_cast<BYTE>(param1 >> 8);
        const BYTE data2 = static_cast<BYTE>(param1 >> 16);
        if (status != 0x90) {
            if (!m_bStop.load()) {
                putShortMessage(status, data1, data2);
                m_eRecievedChange.Set();
            }
        } else if (data1 == 0 && data2 == 0) {  // the host's ping
            if (m_pOutPort && m_pOutPort->CountPing()) ++m_nPingAnswerCount;
        }
        break;
    }
    case MIM_LONGDATA:
        if (!m_bStop.load()) takeSysexBlock(handle, reinterpret_cast<MIDIHDR*>(param1), /*complete=*/true);
        break;
    case MIM_LONGERROR:
        // A broken-off message: its buffer is handed back to the device from here (a reset from
        // inside the callback would re-enter it) and its bytes are not kept.
        if (!m_bStop.load()) takeSysexBlock(handle, reinterpret_cast<MIDIHDR*>(param1), /*complete=*/false);
        break;
    default:
        break;
    }
}

void CMidiInPort::takeSysexBlock(HMIDIIN handle, MIDIHDR* header, bool complete)
{
    if (header != &m_MidiHdr) return;  // only this port's own buffer
    const DWORD received = std::min<DWORD>({header->dwBytesRecorded, header->dwBufferLength, DWORD{kBufferBytes}});
    {
        CFastSingleLock lock(&m_csPort, TRUE);
        if (!complete) {
            m_bInSysex = false;
        } else if (received > 0) {  // an empty block (given back by a reset) has no last byte
            const BYTE* data = reinterpret_cast<const BYTE*>(m_Buffer);
            m_bInSysex = data[received - 1] != 0xF7;
            SysexRecord& record = m_Sysex[m_nSysexIndex];
            record.length = std::min<DWORD>(received, kSysexRecordBytes);
            std::memcpy(record.data, data, record.length);
            record.used = 1;
            m_nSysexIndex = (m_nSysexIndex + 1) % kSysexRecords;
            ++m_nSysexCount;
        }
        m_dwSysexTime = timeGetTime();
    }
    header->dwBytesRecorded = 0;
    midiInAddBuffer(handle, header, sizeof *header);
}

CMidiInPort::SysexRecord CMidiInPort::GetSysexRecord(int index)
{
    CFastSingleLock lock(&m_csPort, TRUE);
    return (index >= 0 && index < kSysexRecords) ? m_Sysex[index] : SysexRecord{};
}

int CMidiInPort::GetSysexWriteIndex()
{
    CFastSingleLock lock(&m_csPort, TRUE);
    return m_nSysexIndex;
}

int CMidiInPort::GetSysexCount()
{
    CFastSingleLock lock(&m_csPort, TRUE);
    return m_nSysexCount;
}

BOOL CMidiInPort::IsInSysex()
{
    CFastSingleLock lock(&m_csPort, TRUE);
    return m_bInSysex ? TRUE : FALSE;
}
