// CMidiInPort: one MIDI input device of a MIDI port. The device's callback (on the MIDI
// system's thread) puts every short message whose status is not 0x90 into a fixed ring, read
// in order by the engine's input thread, and signals "m_eRecievedChange" + device; the ping
// 0x90 0x00 0x00 is counted by the paired output port, which answers it from the fourth on;
// system-exclusive blocks go into a ring of 40 records of at most 20 bytes. The callback
// allocates nothing and takes no lock that a slow thread could hold.
//
// One callback serves every port: its context is the port's place in a table of 32, one per
// MIDI-in device index; a port for a device index outside 0..31 has no place and never opens.
#pragma once

#include <array>
#include <atomic>

#include "midi/NamedEvent.h"
#include "winport/FastLock.h"
#include "winport/Midi.h"

class CMidiOutPort;

/// A short message as the device gave it.
struct MidiShortMessage {
    BYTE status;
    BYTE data1;
    BYTE data2;
};

class CMidiInPort {
public:
    static constexpr int kCallbackSlots = 32;
    static constexpr int kSysexRecords = 40;
    static constexpr int kSysexRecordBytes = 20;
    static constexpr int kBufferBytes = 2000;
    /// Short messages held between the callback and the input thread; a full ring drops the
    /// newest message and counts it.
    static constexpr unsigned kRingSize = 1024;
    /// A closing port gives the device this long to stop playing (100 ms steps).
    static constexpr DWORD kStillPlayingLimitMs = 10000;

    struct SysexRecord {
        DWORD used;
        DWORD length;  // 0..20
        BYTE data[kSysexRecordBytes];
    };

    /// Enters the callback table at deviceIndex (when 0..31).
    CMidiInPort(CMidiOutPort* outPort, int deviceIndex);
    /// Closes an open port and leaves the callback table.
    ~CMidiInPort();
    CMidiInPort(const CMidiInPort&) = delete;
    CMidiInPort& operator=(const CMidiInPort&) = delete;

    /// Opens device and starts input. 1 (MMSYSERR_ERROR), nothing done, for a device past the
    /// count or without a place in the table; otherwise the result of the first failing step.
    MMRESULT Open(int device);
    /// Stops input and closes the device; no callback reaches the port after it returns.
    void Close();
    BOOL IsOpen() const { return m_bOpen.load() ? TRUE : FALSE; }

    /// The oldest short message not yet read; FALSE when none waits. One reader thread.
    BOOL ReadShortMessage(MidiShortMessage& message);
    /// Short messages dropped because the ring was full.
    DWORD GetDroppedCount() const { return m_nDropped.load(); }
    int GetPingAnswerCount() const { return m_nPingAnswerCount.load(); }
    MMRESULT GetLastResult() const { return m_nLastResult.load(); }
    int GetDevice() const { return m_nDevice.load(); }

    /// System-exclusive records (a copy taken under the port's lock).
    SysexRecord GetSysexRecord(int index);
    int GetSysexWriteIndex();
    int GetSysexCount();
    BOOL IsInSysex();

    /// The port's receive buffer header (for driving ProcessMidiInput without a device).
    MIDIHDR* GetReceiveHeader() { return &m_MidiHdr; }
    /// What the device's callback does with one callback message.
    void ProcessMidiInput(HMIDIIN handle, UINT message, DWORD_PTR param1, DWORD_PTR param2);
    /// The one callback of every port: dwInstance is the port's place in the table.
    static void MidiInProc(HMIDIIN handle, UINT message, DWORD_PTR dwInstance, DWORD_PTR param1, DWORD_PTR param2);
    /// The port at a place of the table; nullptr when none.
    static CMidiInPort* GetCallbackEntry(int slot);

private:
    void putShortMessage(BYTE status, BYTE data1, BYTE data2);
    void takeSysexBlock(HMIDIIN handle, MIDIHDR* header, bool complete);

    // System-exclusive records, guarded by m_csPort.
    SysexRecord m_Sysex[kSysexRecords]{};
    int m_nSysexIndex = 0;
    int m_nSysexCount = 0;
    bool m_bInSysex = false;
    DWORD m_dwSysexTime = 0;
    CFastCriticalSection m_csPort;

    CMidiOutPort* const m_pOutPort;
    const int m_nSlot;
    std::atomic<int> m_nDevice;
    std::atomic<bool> m_bOpen{false};
    std::atomic<bool> m_bStop{true};
    MIDIHDR m_MidiHdr{};
    char m_Buffer[kBufferBytes]{};
    std::atomic<MMRESULT> m_nLastResult{MMSYSERR_NOERROR};
    HMIDIIN m_hMidiIn = nullptr;
    std::atomic<int> m_nPingAnswerCount{0};
    NamedEventHandle m_eRecievedChange;

    // The ring of short messages: written by the callback only, read by one reader.
    std::array<MidiShortMessage, kRingSize> m_Ring{};
    std::atomic<unsigned> m_nRingHead{0};  // next place to write
    std::atomic<unsigned> m_nRingTail{0};  // next place to read
    std::atomic<DWORD> m_nDropped{0};
};
