// CSerialPort: the serial port that carries the PRE protocol. It opens COMn in raw mode,
// refuses a line that echoes at once, and runs a monitor thread that writes one message at a
// time on request and reads the units' replies through the link's receiver; each complete
// reply is handed to the reply handler (the main dialog posts WM_PRE_REPLY to its window, with
// the port number and the transaction number). Any I/O error puts the link to failed (-1) and ends
// the monitor.
//
// OpenPort, StartMonitor, StopMonitor, ClosePort and WriteToPort are called from the owner's
// thread; the reply handler runs on the monitor thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/PreLink.h"
#include "winport/Serial.h"
#include "winport/WakeDescriptor.h"
#include "winport/WinTypes.h"

class CSerialPort {
public:
    using DeviceFactory = std::function<std::unique_ptr<winport::SerialDevice>()>;
    using ReplyHandler = std::function<void(int port, uint32_t transaction)>;

    /// Time the probe byte 0xAA is given to come back.
    static constexpr int kProbeWaitMs = 20;
    /// Silence that ends the level bytes after the ACK of a poll with levels (about ten byte
    /// times at 19200 baud).
    static constexpr int kLevelSilenceMs = 5;
    /// Longest a write may wait for the line.
    static constexpr int kWriteTimeoutMs = 1000;

    explicit CSerialPort(PreLink& link, DeviceFactory factory = winport::CreateSerialDevice);
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    /// TRUE when COM<port> exists (it opens, or another program holds it).
    static BOOL IsPortAvailable(int port);
    /// Why COM<port> does not open: what a device of this port object's kind says when it
    /// tries; empty when it opens. The port object itself is not touched.
    std::string OpenError(int port) const;
    /// Opens the port (stopping a running monitor first) and probes it. TRUE when it is ready.
    BOOL OpenPort(HWND owner, int port, int baud = 19200, char parity = 'N', int dataBits = 8, int stopBits = 1,
                  DWORD eventMask = 9, int bufferSize = 128);
    /// Starts the monitor thread; FALSE when the port is not open or the thread runs already.
    BOOL StartMonitor();
    /// Stops and joins the monitor thread; FALSE when it was not running.
    BOOL StopMonitor();
    /// Stops the monitor and closes the port.
    void ClosePort();
    /// Queues a message (bytes up to its 0xFF end marker) for the monitor to write. The link's
    /// transaction for it must be open already (PreLink::Begin). A message the monitor has not
    /// taken yet is replaced: call WaitForWrite first to keep it.
    void WriteToPort(const BYTE* message);
    /// Waits until the monitor has written the message queued last (or has ended); FALSE when
    /// timeoutMs passed first.
    BOOL WaitForWrite(int timeoutMs);

    /// Replaces the hand-over of complete replies. Only while the monitor is stopped.
    void SetReplyHandler(ReplyHandler handler);
    /// Replaces the way ports are opened (from the next OpenPort on).
    void SetDeviceFactory(DeviceFactory factory) { m_factory = std::move(factory); }
    BOOL IsOpen() const;
    BOOL IsMonitoring() const { return m_threadAlive.load(); }
    int GetPortNumber() const { return m_nPortNr; }
    /// Text of the last port failure.
    std::string GetLastErrorText() const;

private:
    void monitor();
    void deliver(const PreLink::Event& event);
    void portFailed(const std::string& what);
    void writePending();
    void written();
    void wake();

    PreLink& m_link;
    DeviceFactory m_factory;
    std::unique_ptr<winport::SerialDevice> m_device;
    HWND m_hOwner = nullptr;
    int m_nPortNr = 0;
    int m_nBufferSize = 128;
    ReplyHandler m_handler;

    std::thread m_thread;
    std::atomic<bool> m_threadAlive{false};
    std::atomic<bool> m_stopRequested{false};
    winport::WakeDescriptor m_wake;

    mutable std::mutex m_mutex;  // guards the fields below
    std::condition_variable m_written;  // m_writing went false, or the monitor ended
    std::vector<BYTE> m_writeBuffer;
    bool m_writeRequested = false;
    bool m_writing = false;  // from WriteToPort until the monitor has written the message
    std::string m_lastError;
};
