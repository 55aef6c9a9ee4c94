#include "comms/GenericCommunicationsDevice.h"

#include "base/ConsoleInfo.h"
#include "winport/Clock.h"
#include "winport/Events.h"
#include "winport/Paths.h"
#include "winport/RegistryObject.h"
#include "winport/Window.h"

namespace {
const char kTagIdentifierKey[] = "Software\\VOKDWEN\\TagIdentifier";
const char kIgnoreValue[] = "Ignore";
}  // namespace

CGenericCommunicationsDevice::CGenericCommunicationsDevice()
{
    // A virtual call from here reaches this class's own SetTimeout: a derived device keeps the
    // time-out it sets up itself.
    SetTimeout(100);
    CConsoleInfo consoleInfo;
    CCurrentUserRegistryObject registry;
    registry.GetBool(kTagIdentifierKey, kIgnoreValue, m_bIgnoreTagIdent, BYTE{0});
    CreateEvents();
}

CGenericCommunicationsDevice::~CGenericCommunicationsDevice()
{
    for (HANDLE& event : m_hEvents) {
        if (event) CloseHandle(event);
        event = nullptr;
    }
}

BOOL CGenericCommunicationsDevice::IsOpen() { return m_bOpen; }

HANDLE CGenericCommunicationsDevice::GetSendEvent() { return m_hEvents[EventSend]; }

void CGenericCommunicationsDevice::ThrowError(int nErrorCode)
{
    throw new CGenericCommunicationsDeviceError(nErrorCode);
}

BOOL CGenericCommunicationsDevice::CreateEvents()
{
    BOOL all = TRUE;
    for (HANDLE& event : m_hEvents) {
        if (!event) event = CreateEventA(nullptr, /*bManualReset=*/FALSE, /*bInitialState=*/FALSE, nullptr);
        if (!event) all = FALSE;
    }
    return all;
}

void CGenericCommunicationsDevice::ResetAbortEvent()
{
    if (m_hEvents[EventAbort]) ResetEvent(m_hEvents[EventAbort]);
}

void CGenericCommunicationsDevice::SetAbortEvent()
{
    if (m_hEvents[EventAbort]) SetEvent(m_hEvents[EventAbort]);
}

void CGenericCommunicationsDevice::CloseAbortEvent()
{
    if (m_hEvents[EventAbort]) CloseHandle(m_hEvents[EventAbort]);
    m_hEvents[EventAbort] = nullptr;
}

DWORD CGenericCommunicationsDevice::BytesAvailable() { return 0; }

BOOL CGenericCommunicationsDevice::SetTimeout(DWORD) { return TRUE; }

HANDLE CGenericCommunicationsDevice::GetEvent(int nWhich) const
{
    return (nWhich >= 0 && nWhich < EventCount) ? m_hEvents[nWhich] : nullptr;
}

void CGenericCommunicationsDevice::SetDebugTap(BOOL bOn, UINT nMessage)
{
    m_bDebugTap = bOn ? 1 : 0;
    m_nDebugMessage = nMessage;
}

void CGenericCommunicationsDevice::WriteByte(BYTE byte)
{
    CFastSingleLock lock(&m_csWrite, TRUE);
    if (m_bTagMode) {
        const BYTE tag = kTagByte;
        WriteBytes(&tag, 1);
        Sleep(kTagWaitMs);
    }
    WriteBytes(&byte, 1);
    if (m_bDebugTap) ReportToTap(byte, 1);
}

BYTE CGenericCommunicationsDevice::ReadByte()
{
    CFastSingleLock lock(&m_csRead, TRUE);
    BYTE byte = 0;
    DWORD nRead = 0;
    if (m_bTagMode) {
        ReadBytes(&byte, 1, nRead);
        if (nRead < 1) ThrowError(CGenericCommunicationsDeviceError::GenericLinkError);
        if (byte != kTagByte) ThrowError(CGenericCommunicationsDeviceError::WrongTagIdent);
        nRead = 0;
    }
    ReadBytes(&byte, 1, nRead);
    if (nRead != 1) ThrowError(CGenericCommunicationsDeviceError::GenericLinkError);
    if (m_bDebugTap) ReportToTap(byte, 0);
    return byte;
}

void CGenericCommunicationsDevice::ReadUntil(BYTE wanted)
{
    // Each byte is read with the device's own time-out, so the loop ends when the byte comes,
    // when the link fails or when the device is closed.
    for (;;) {
        if (!IsOpen()) ThrowError(CGenericCommunicationsDeviceError::LinkNotOpened);
        if (ReadByte() == wanted) return;
    }
}

void CGenericCommunicationsDevice::ReportToTap(BYTE byte, BYTE direction)
{
    // The watching window belongs to another thread or program: the report is posted, never
    // sent, so a link never waits on the window.
    HWND window = m_hDebugWindow.load();
    if (!window || !IsWindow(window)) {
        window = FindWindowA(kTagDebuggerClass, nullptr);
        m_hDebugWindow.store(window);
    }
    if (!window) return;
    const WORD where = MAKEWORD(static_cast<BYTE>(m_nLinkNumber & 0xFF), direction);
    PostMessageA(window, m_nDebugMessage, GetCurrentThreadId(), MAKELPARAM(byte, where));
}
