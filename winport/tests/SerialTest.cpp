// Serial ports on a real pseudo-terminal: the COMn mapping, the settings string, exclusive
// use, raw mode (flow-control bytes pass), RTS on a device without modem lines, and hang-up.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "winport/Serial.h"

namespace {

// A pseudo-terminal whose slave is reachable as COM<port>.
class PtyPort {
public:
    explicit PtyPort(int port) : m_port(port)
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(m_master);
        ::unlockpt(m_master);
        m_slave = ::ptsname(m_master);
        ::setenv(("WINPORT_COM" + std::to_string(port)).c_str(), m_slave.c_str(), 1);
    }
    ~PtyPort()
    {
        if (m_master >= 0) ::close(m_master);
        ::unsetenv(("WINPORT_COM" + std::to_string(m_port)).c_str());
    }
    void HangUp()
    {
        ::close(m_master);
        m_master = -1;
    }
    int Master() const { return m_master; }
    const std::string& Slave() const { return m_slave; }

private:
    int m_port;
    int m_master = -1;
    std::string m_slave;
};

// Reads from fd until n bytes came or about a second passed.
std::string readSome(int fd, size_t n)
{
    std::string got;
    for (int i = 0; i < 200 && got.size() < n; ++i) {
        char buf[64];
        ssize_t r = ::read(fd, buf, sizeof buf);
        if (r > 0) got.append(buf, static_cast<size_t>(r));
        else ::usleep(5000);
    }
    return got;
}

}  // namespace

TEST(Serial, SettingsString)
{
    struct Row {
        const char* text;
        bool ok;
        int baud;
        char parity;
        int data;
        int stop;
    };
    const Row rows[] = {
        {"baud=19200 parity=N data=8 stop=1", true, 19200, 'N', 8, 1},
        {"BAUD=9600 Parity=e data=7 stop=2", true, 9600, 'E', 7, 2},
        {"stop=1 baud=115200", true, 115200, 'N', 8, 1},
        {"baud=12345 parity=N data=8 stop=1", false, 0, 0, 0, 0},
        {"baud=19200 parity=X", false, 0, 0, 0, 0},
        {"baud=19200 flow=on", false, 0, 0, 0, 0},
        {"baud=", false, 0, 0, 0, 0},
        {"data=9", false, 0, 0, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        winport::SerialSettings s;
        ASSERT_EQ(r.ok, winport::ParseSerialSettings(r.text, s));
        if (!r.ok) continue;
        EXPECT_EQ(r.baud, s.baud);
        EXPECT_EQ(r.parity, s.parity);
        EXPECT_EQ(r.data, s.dataBits);
        EXPECT_EQ(r.stop, s.stopBits);
    }
}

TEST(Serial, PortPathsComeFromConfiguration)
{
    ::unsetenv("WINPORT_COM7");
    EXPECT_EQ("/dev/ttyS6", winport::SerialDevicePath(7));
    EXPECT_EQ("/dev/ttyS6, as WINPORT_COM7 is not set", winport::SerialDeviceOrigin(7));
    ::setenv("WINPORT_COM7", "/dev/ttyUSB3", 1);
    EXPECT_EQ("/dev/ttyUSB3", winport::SerialDevicePath(7));
    EXPECT_EQ("WINPORT_COM7=/dev/ttyUSB3", winport::SerialDeviceOrigin(7));
    ::unsetenv("WINPORT_COM7");
    ::setenv("WINPORT_COM9", "/nonexistent/tty", 1);
    EXPECT_FALSE(winport::IsSerialPortAvailable(9));
    auto device = winport::CreateSerialDevice();
    EXPECT_FALSE(device->Open(9));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ("/nonexistent/tty: open: No such file or directory", device->ErrorText());
    ::unsetenv("WINPORT_COM9");
}

TEST(Serial, RawExclusivePortOnAPseudoTerminal)
{
    PtyPort pty(3);
    // Start from a cooked line, as a freshly made terminal is.
    {
        int fd = ::open(pty.Slave().c_str(), O_RDWR | O_NOCTTY);
        termios t{};
        ::tcgetattr(fd, &t);
        t.c_lflag |= ICANON | ECHO;
        t.c_iflag |= IXON | ICRNL;
        ::tcsetattr(fd, TCSANOW, &t);
        ::close(fd);
    }
    auto device = winport::CreateSerialDevice();
    ASSERT_TRUE(device->Open(3)) << device->ErrorText();
    ASSERT_TRUE(device->Configure(winport::SerialSettings{}));

    // A second opener is refused while the first holds the port; the port still counts as there.
    auto second = winport::CreateSerialDevice();
    EXPECT_FALSE(second->Open(3));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_TRUE(winport::IsSerialPortAvailable(3));

    // Flow-control and line-end bytes pass both ways untouched.
    const BYTE out[] = {0x81, 0x11, 0x02, 0x13, 0x0D, 0x0A, 0x03};
    ASSERT_TRUE(device->Write(out, sizeof out, 1000));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out), sizeof out), readSome(pty.Master(), sizeof out));
    const char in[] = {0x11, 0x13, 0x0D, 0x7F, 0x03, 0x1A};
    ASSERT_EQ(static_cast<ssize_t>(sizeof in), ::write(pty.Master(), in, sizeof in));
    ASSERT_EQ(winport::SerialWait::Readable, device->WaitReadable(1000, -1));
    std::string got;
    for (int i = 0; i < 100 && got.size() < sizeof in; ++i) {
        BYTE buf[16];
        int n = device->Read(buf, sizeof buf);
        ASSERT_GE(n, 0);
        got.append(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
        if (n == 0) device->WaitReadable(10, -1);
    }
    EXPECT_EQ(std::string(in, sizeof in), got);

    // A pseudo-terminal has no modem lines: RTS is accepted and ignored.
    EXPECT_TRUE(device->SetRts(true));
    EXPECT_TRUE(device->SetRts(false));

    device->Close();
    EXPECT_TRUE(second->Open(3)) << "the lock goes with the close";
}

TEST(Serial, HangUpIsAFailure)
{
    PtyPort pty(4);
    auto device = winport::CreateSerialDevice();
    ASSERT_TRUE(device->Open(4));
    ASSERT_TRUE(device->Configure(winport::SerialSettings{}));
    EXPECT_EQ(winport::SerialWait::TimedOut, device->WaitReadable(5, -1));
    int stop[2];
    ASSERT_EQ(0, ::pipe(stop));
    ASSERT_EQ(1, ::write(stop[1], "x", 1));
    EXPECT_EQ(winport::SerialWait::Stopped, device->WaitReadable(1000, stop[0]));
    ::close(stop[0]);
    ::close(stop[1]);
    pty.HangUp();
    winport::SerialWait w = device->WaitReadable(1000, -1);
    BYTE b;
    EXPECT_TRUE(w == winport::SerialWait::Failed || device->Read(&b, 1) < 0);
}

// Purging input before a write drops what came in, never what this side wrote a moment before
// (on a pseudo-terminal an output purge takes it back before the other side has it).
TEST(Serial, PurgeInputKeepsWhatWasWritten)
{
    PtyPort pty(5);
    auto device = winport::CreateSerialDevice();
    ASSERT_TRUE(device->Open(5)) << device->ErrorText();
    ASSERT_TRUE(device->Configure(winport::SerialSettings{}));

    ASSERT_EQ(3, ::write(pty.Master(), "abc", 3));
    ASSERT_EQ(winport::SerialWait::Readable, device->WaitReadable(1000, -1));
    ASSERT_TRUE(device->PurgeInput());
    EXPECT_EQ(0, device->BytesWaiting());

    std::string sent;
    for (int i = 0; i < 100; ++i) {
        const BYTE m[] = {0x81, 0x11, static_cast<BYTE>(i & 3), 0x03, 0xFF};
        ASSERT_TRUE(device->Write(m, sizeof m, 1000));
        ASSERT_TRUE(device->PurgeInput());
        sent.append(reinterpret_cast<const char*>(m), sizeof m);
    }
    ::fcntl(pty.Master(), F_SETFL, ::fcntl(pty.Master(), F_GETFL) | O_NONBLOCK);
    EXPECT_EQ(sent, readSome(pty.Master(), sent.size()));
}
