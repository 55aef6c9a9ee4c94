#include "link/SerialPort.h"

#include <chrono>
#include <cstdio>

#include "winport/Trace.h"

CSerialPort::CSerialPort(PreLink& link, DeviceFactory factory) : m_link(link), m_factory(std::move(factory)) {}

CSerialPort::~CSerialPort() { ClosePort(); }

BOOL CSerialPort::IsPortAvailable(int port) { return winport::IsSerialPortAvailable(port) ? TRUE : FALSE; }

std::string CSerialPort::OpenError(int port) const
{
    std::unique_ptr<winport::SerialDevice> device = m_factory();
    if (!device->Open(port)) return device->ErrorText();
    device->Close();
    return {};
}

BOOL CSerialPort::IsOpen() const { return m_device && m_device->IsOpen(); }

std::string CSerialPort::GetLastErrorText() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastError;
}

void CSerialPort::SetReplyHandler(ReplyHandler handler) { m_handler = std::move(handler); }

void CSerialPort::wake() { m_wake.Signal(); }

BOOL CSerialPort::OpenPort(HWND owner, int port, int baud, char parity, int dataBits, int stopBits, DWORD eventMask,
                           int bufferSize)
{
    (void)eventMask;  // the monitor always watches for received bytes and hang-ups
    StopMonitor();
    m_hOwner = owner;
    m_nPortNr = port;
    m_nBufferSize = bufferSize > 0 ? bufferSize : 128;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_writeBuffer.clear();
        m_writeRequested = false;
        m_writing = false;
    }
    if (m_device) m_device->Close();
    m_device = m_factory();
    if (!m_device->Open(port)) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastError = m_device->ErrorText();
        return FALSE;
    }
    char settingsText[64];
    std::snprintf(settingsText, sizeof settingsText, "baud=%d parity=%c data=%d stop=%d", baud, parity, dataBits,
                  stopBits);
    winport::SerialSettings settings;
    if (!winport::ParseSerialSettings(settingsText, settings) || !m_device->Configure(settings)) {
        portFailed("BuildCommDCB()");
        m_device->Close();
        return FALSE;
    }
    // Half-duplex lines (ports 1 and 2): RTS is driven by this program, low while listening.
    if (m_link.IsHalfDuplex() && !m_device->SetRts(false)) {
        portFailed("SetCommState()");
        m_device->Close();
        return FALSE;
    }
    m_device->Purge();
    // Probe: a line that echoes a byte straight back is not a unit link.
    const BYTE probe = 0xAA;
    if (!m_device->Write(&probe, 1, kWriteTimeoutMs)) {
        portFailed("WriteFile()");
        m_device->Close();
        return FALSE;
    }
    // Only the probe byte itself coming back is an echo: the wait is long enough for a late
    // reply of a unit (to a message written before the port was reopened) to arrive, and such
    // bytes are stale traffic, purged, not a reason to refuse the line.
    BYTE answer = 0;
    if (m_device->WaitReadable(kProbeWaitMs, -1) == winport::SerialWait::Readable) {
        if (m_device->Read(&answer, 1) < 0) answer = probe;
    }
    m_device->Purge();
    if (answer == probe) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastError = "COM" + std::to_string(port) + ": the line echoes";
        m_device->Close();
        return FALSE;
    }
    return TRUE;
}

BOOL CSerialPort::StartMonitor()
{
    if (!IsOpen() || m_threadAlive.load()) return FALSE;
    if (m_thread.joinable()) m_thread.join();  // a monitor that ended by itself
    m_wake.Drain();
    m_stopRequested = false;
    m_threadAlive = true;
    m_thread = std::thread(&CSerialPort::monitor, this);
    return TRUE;
}

BOOL CSerialPort::StopMonitor()
{
    bool wasAlive = m_threadAlive.load();
    if (m_thread.joinable()) {
        m_stopRequested = true;
        wake();
        m_thread.join();
    }
    m_threadAlive = false;
    return wasAlive ? TRUE : FALSE;
}

void CSerialPort::ClosePort()
{
    StopMonitor();
    if (m_device) m_device->Close();
}

void CSerialPort::WriteToPort(const BYTE* message)
{
    int length = pre::MessageLength(message, m_nBufferSize - 1);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_writeBuffer.assign(message, message + length);
        m_writeRequested = true;
        m_writing = true;
    }
    wake();
}

BOOL CSerialPort::WaitForWrite(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_written.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !m_writing || !m_threadAlive.load(); })
               ? TRUE
               : FALSE;
}

void CSerialPort::written()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_writing = false;
    }
    m_written.notify_all();
}

void CSerialPort::portFailed(const std::string& what)
{
    std::string text = what + ": " + (m_device ? m_device->ErrorText() : std::string("no port"));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastError = text;
    }
    TRACE("COM%d failed: %s\n", m_nPortNr, text.c_str());
    m_link.SetFailed();
}

void CSerialPort::deliver(const PreLink::Event& event)
{
    if (event.dropRts && m_link.IsHalfDuplex()) m_device->SetRts(false);
    if (!event.delivered) return;
    if (m_handler) m_handler(m_nPortNr, event.transaction);
}

void CSerialPort::writePending()
{
    std::vector<BYTE> message;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_writeRequested) return;
        message.swap(m_writeBuffer);
        m_writeRequested = false;
    }
    // Drop what arrived between replies; bounded, so that a babbling line cannot hold us. Only
    // input: a message written before may still be on its way out.
    BYTE drop[64];
    for (int i = 0; i < 16 && m_device->BytesWaiting() > 0; ++i) {
        if (m_device->Read(drop, sizeof drop) < 0) break;
    }
    m_device->PurgeInput();
    if (m_link.IsHalfDuplex() && !m_device->SetRts(true)) {
        portFailed("EscapeCommFunction()");
    } else if (!m_device->Write(message.data(), static_cast<int>(message.size()), kWriteTimeoutMs)) {
        portFailed("WriteFile()");
    } else {
        m_link.Sent();
    }
    written();
}

void CSerialPort::monitor()
{
    m_device->Purge();
    BYTE buffer[64];
    while (!m_stopRequested.load()) {
        int timeout = m_link.CollectingLevels() ? kLevelSilenceMs : -1;
        winport::SerialWait w = m_device->WaitReadable(timeout, m_wake.Descriptor());
        if (m_stopRequested.load()) break;
        if (w == winport::SerialWait::Stopped) {
            m_wake.Drain();
            writePending();
            if (m_link.Peek().inProgress == kLinkFailed) break;
            continue;
        }
        if (w == winport::SerialWait::TimedOut) {
            deliver(m_link.Silence());
            continue;
        }
        if (w == winport::SerialWait::Failed) {
            portFailed("ReadFile()");
            break;
        }
        int n = m_device->Read(buffer, sizeof buffer);
        if (n < 0) {
            portFailed("ReadFile()");
            break;
        }
        for (int i = 0; i < n; ++i) deliver(m_link.Receive(buffer[i]));
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);  // so that a waiter sees it before the notice
        m_threadAlive = false;
    }
    m_written.notify_all();
}
