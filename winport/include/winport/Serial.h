// Serial ports. COMn names a device path through configuration: the environment variable
// WINPORT_COM<n> when set (for example WINPORT_COM1=/dev/ttyUSB0), else /dev/ttyS<n-1>.
//
// SerialDevice is the seam behind the system's port object: the termios device opens a port
// for exclusive use (flock), puts it in raw mode with the settings of a Windows settings string
// ("baud=19200 parity=N data=8 stop=1") and no flow control, and moves bytes without blocking.
// Tests put fakes behind the same interface. A device is used by one thread at a time.
#pragma once

#include <memory>
#include <string>

#include "winport/WinTypes.h"

namespace winport {

/// Line settings of a port.
struct SerialSettings {
    int baud = 19200;
    char parity = 'N';  // N, E, O
    int dataBits = 8;   // 5 to 8
    int stopBits = 1;   // 1 or 2
};

/// Parses "baud=%d parity=%c data=%d stop=%d" (keys in any order, case-insensitive; missing keys
/// keep their values). FALSE for an unknown key or a value out of range.
bool ParseSerialSettings(const char* text, SerialSettings& settings);

/// The device path of COM<port>.
std::string SerialDevicePath(int port);
/// COM<port>'s device and what chose it, for messages: "WINPORT_COM1=/dev/ttyUSB0", or
/// "/dev/ttyS0, as WINPORT_COM1 is not set".
std::string SerialDeviceOrigin(int port);

/// What a wait for input ended with.
enum class SerialWait { Readable, Stopped, TimedOut, Failed };

class SerialDevice {
public:
    virtual ~SerialDevice() = default;
    /// Opens COM<port> for reading and writing, for this process alone. FALSE with the last
    /// error set (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED when another program holds it).
    virtual bool Open(int port) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    /// Raw mode with these settings and no flow control (0x11 and 0x13 are data).
    virtual bool Configure(const SerialSettings& settings) = 0;
    /// Drops what waits in both directions.
    virtual bool Purge() = 0;
    /// Drops what waits to be read; what was written still goes out.
    virtual bool PurgeInput() = 0;
    /// Bytes waiting to be read; -1 on error.
    virtual int BytesWaiting() = 0;
    /// Reads what is there, at most max bytes, without waiting; -1 on error (the line hung up).
    virtual int Read(BYTE* buffer, int max) = 0;
    /// Writes all bytes, waiting at most timeoutMs for the line to take them.
    virtual bool Write(const BYTE* data, int count, int timeoutMs) = 0;
    /// Raises or drops RTS. A device without modem lines (a pseudo-terminal) accepts and ignores
    /// it; FALSE only for a real failure.
    virtual bool SetRts(bool on) = 0;
    /// Waits until input can be read, stopFd becomes readable, or timeoutMs passes (-1: no
    /// limit).
    virtual SerialWait WaitReadable(int timeoutMs, int stopFd) = 0;
    /// Text of the last failure of this device.
    virtual std::string ErrorText() const = 0;
};

/// A termios device.
std::unique_ptr<SerialDevice> CreateSerialDevice();

/// TRUE when COM<port> exists: it opens, or it is held by another program.
bool IsSerialPortAvailable(int port);

}  // namespace winport
