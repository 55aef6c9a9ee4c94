// The common base of a byte link to a piece of hardware or another computer: the link's
// events and locks, single bytes written and read with an optional tag byte in front of each,
// a debugging tap that reports every byte to a watching window, and failures thrown as
// CGenericCommunicationsDeviceError (a pointer the catcher deletes).
//
// Threads: one thread may read while another writes (each direction has its own lock), and any
// thread may set the abort event to end a read that waits.
#pragma once

#include <atomic>

#include "comms/GenericError.h"
#include "winport/FastLock.h"
#include "winport/Sockets.h"
#include "winport/WinTypes.h"

/// The positions of the device's four events.
enum { EventRead = 0, EventAbort = 1, EventSend = 2, EventAck = 3, EventCount = 4 };

class CGenericCommunicationsDevice {
public:
    /// The byte sent in front of each data byte in tag mode.
    static constexpr BYTE kTagByte = 0xAA;
    /// Wait after a tag byte, in milliseconds, so that the peer takes the tag and the data byte
    /// apart.
    static constexpr DWORD kTagWaitMs = 10;
    /// The class of the window that the debugging tap reports to.
    static constexpr const char* kTagDebuggerClass = "KIVServerTagDebugger";

    CGenericCommunicationsDevice();
    virtual ~CGenericCommunicationsDevice();
    CGenericCommunicationsDevice(const CGenericCommunicationsDevice&) = delete;
    CGenericCommunicationsDevice& operator=(const CGenericCommunicationsDevice&) = delete;

    virtual BOOL IsOpen();
    virtual HANDLE GetSendEvent();
    /// Throws a new CGenericCommunicationsDeviceError with the code.
    [[noreturn]] virtual void ThrowError(int nErrorCode);
    /// Creates those of the four events (auto-reset, unsignalled, unnamed) that do not exist.
    /// TRUE when all four exist.
    virtual BOOL CreateEvents();
    virtual void ResetAbortEvent();
    /// Ends a read that waits (from any thread).
    virtual void SetAbortEvent();
    virtual void CloseAbortEvent();
    /// Bytes that can be read without waiting; the bare device has none.
    virtual DWORD BytesAvailable();
    virtual SOCKET GetSocket() = 0;
    /// The read time-out in seconds; the bare device keeps none.
    virtual BOOL SetTimeout(DWORD nSeconds);
    virtual BOOL Connect(UINT nPort) = 0;
    virtual void Disconnect() = 0;
    /// Writes all the bytes or throws.
    virtual BOOL WriteBytes(const BYTE* pBuffer, DWORD nLength) = 0;
    /// Reads `nLength` bytes or throws; `nRead` counts the bytes read.
    virtual BOOL ReadBytes(BYTE* pBuffer, DWORD nLength, DWORD& nRead) = 0;

    /// Writes one byte (after the tag and its wait in tag mode) and reports it to the tap.
    void WriteByte(BYTE byte);
    /// Reads one byte (after its tag in tag mode): "GenericLinkError" when no byte comes,
    /// "WrongTagIdent" when the byte before it is not the tag.
    BYTE ReadByte();
    /// Reads bytes until `wanted` has been read. "LinkNotOpened" when the device is not, or no
    /// longer, open.
    void ReadUntil(BYTE wanted);

    /// Turns the tag byte in front of every byte on or off (off after construction). Set the
    /// mode and the tap before the link is used.
    void SetTagMode(BOOL bOn) { m_bTagMode = bOn ? 1 : 0; }
    BOOL GetTagMode() const { return m_bTagMode; }
    /// Turns the debugging tap on (with the message number it posts) or off.
    void SetDebugTap(BOOL bOn, UINT nMessage);
    /// The stored "Ignore" setting of the tag identifier.
    BOOL GetIgnoreTagIdent() const { return m_bIgnoreTagIdent; }
    int GetLinkNumber() const { return m_nLinkNumber; }
    HANDLE GetEvent(int nWhich) const;

protected:
    /// Reports a byte to the watching window: direction 1 written, 0 read.
    void ReportToTap(BYTE byte, BYTE direction);

    BYTE m_bOpen = 0;
    BYTE m_bTagMode = 0;
    BYTE m_bIgnoreTagIdent = 0;
    /// The link number is its low byte; -1 while the link has none.
    int m_nLinkNumber = -1;
    BYTE m_bDebugTap = 0;
    UINT m_nDebugMessage = 0;
    std::atomic<HWND> m_hDebugWindow{nullptr};  // the last watching window found
    HANDLE m_hEvents[EventCount] = {};
    CFastCriticalSection m_csWrite;
    CFastCriticalSection m_csRead;
};
