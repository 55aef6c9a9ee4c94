// The main dialog's serial port: opening it at start (the profile's port, else the first of 1
// to 255 that opens), opening it again when the operator changes it, and getting it back after
// the link reported a port error.
#include <cstdio>

#include "app/MicDlg.h"
#include "winport/Serial.h"
#include "winport/Trace.h"
#include "winport/Window.h"

void CMicDlg::SetSerialPorts(CSerialPort::DeviceFactory factory, std::function<BOOL(int port)> available)
{
    m_SerialPort.SetDeviceFactory(std::move(factory));
    m_portAvailable = std::move(available);
}

int CMicDlg::OpenPortNumber() const { return m_SerialPort.IsOpen() ? m_SerialPort.GetPortNumber() : 0; }

bool CMicDlg::tryOpenPort(int port, std::string* why)
{
    bool opened = false;
    if (m_portAvailable(port)) {
        // Ports 1 and 2 are half-duplex lines: RTS is driven, and our own message comes back.
        m_Link.SetHalfDuplex(port <= 2);
        opened = m_SerialPort.OpenPort(m_hWnd, port, 19200, 'N', 8, 1, 9, 128) != FALSE;
        if (!opened && why) *why = m_SerialPort.GetLastErrorText();
    } else if (why) {
        *why = m_SerialPort.OpenError(port);
    }
    if (!opened && why) {
        if (why->empty()) *why = "not found";
        TRACE("COM%d does not open: %s\n", port, why->c_str());
    }
    return opened;
}

void CMicDlg::reportPortFailure(int port, const std::string& why) const
{
    std::fprintf(stderr, "mic: serial port COM%d (%s) does not open: %s\n", port, winport::SerialDeviceOrigin(port).c_str(),
                 why.c_str());
    std::fflush(stderr);
}

void CMicDlg::portOpened()
{
    m_Link.Reset();
    m_nLastOpenPort = m_SerialPort.GetPortNumber();
    HWND hwnd = m_hWnd;
    m_SerialPort.SetReplyHandler([hwnd](int port, uint32_t transaction) {
        // From the monitor thread: the step runs on the dialog's own thread.
        PostMessageA(hwnd, WM_PRE_REPLY, static_cast<WPARAM>(port), static_cast<LPARAM>(transaction));
    });
    m_SerialPort.StartMonitor();
    m_bPortErrorShown = false;
}

void CMicDlg::portOutage(int port, const std::string& why)
{
    m_SerialPort.ClosePort();
    // The link stays failed, so that timer 1 keeps trying the port in the background.
    m_Link.SetFailed();
    if (m_hWnd) SetTimer(m_hWnd, 1, kPortRetryMs, nullptr);
    m_nTimerPeriod = kPortRetryMs;
    if (m_bPortErrorShown) return;  // one dialog per outage
    m_bPortErrorShown = true;
    reportPortFailure(port, why);
    m_pView->BringToFront();
    m_pShell->RunDialog(m_hWnd, ShellDialog::PortError, {});
}

BOOL CMicDlg::OpenSerialPort()
{
    BOOL inProfile = ReadSettings();
    if (m_nCommPort < 1 || m_nCommPort > 4) m_nCommPort = 1;
    m_Link.Reset();
    const int asked = m_nCommPort;
    std::string why;
    bool opened = tryOpenPort(asked, &why);
    for (int port = 1; !opened && port <= 255; ++port) {
        if (tryOpenPort(port)) {
            m_nCommPort = port;
            opened = true;
        }
    }
    if (opened) {
        portOpened();
        return TRUE;
    }
    if (!inProfile) m_nCommPort = -1;
    portOutage(asked, why);
    return FALSE;
}

void CMicDlg::retrySerialPort()
{
    // A port that was open and went (an adapter pulled out) is waited for; without one, every
    // port is tried, as at start.
    bool opened = false;
    const int asked = m_nLastOpenPort > 0 ? m_nLastOpenPort : m_nCommPort >= 1 ? m_nCommPort : 1;
    std::string why;
    if (m_nLastOpenPort > 0) {
        opened = tryOpenPort(m_nLastOpenPort, &why);
        if (opened) m_nCommPort = m_nLastOpenPort;
    } else {
        if (m_nCommPort >= 1) opened = tryOpenPort(m_nCommPort, &why);
        for (int port = 1; !opened && port <= 255; ++port) {
            if (tryOpenPort(port)) {
                m_nCommPort = port;
                opened = true;
            }
        }
    }
    if (!opened) {
        if (why.empty()) why = m_SerialPort.OpenError(asked);
        portOutage(asked, why);
        return;
    }
    portOpened();
    ServiceSerialLink();
}

BOOL CMicDlg::ReopenSerialPort()
{
    if (m_nCommPort <= 0 || !m_portAvailable(m_nCommPort)) {
        m_SerialPort.ClosePort();
        return FALSE;
    }
    std::string why;
    if (tryOpenPort(m_nCommPort, &why)) {
        portOpened();
        return TRUE;
    }
    // The operator's choice failed: said at once, whatever was said before.
    reportPortFailure(m_nCommPort, why);
    m_SerialPort.ClosePort();
    m_nCommPort = -1;
    m_nLastOpenPort = 0;
    m_pView->BringToFront();
    m_pShell->RunDialog(m_hWnd, ShellDialog::PortError, {});
    return FALSE;
}
