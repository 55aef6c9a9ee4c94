#include "winport/Serial.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "winport/CString.h"

namespace winport {

namespace {

speed_t speedOf(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
    }
}

DWORD errorOf(int err)
{
    switch (err) {
    case ENOENT: case ENODEV: case ENXIO: return ERROR_FILE_NOT_FOUND;
    case EACCES: case EPERM: case EWOULDBLOCK: case EBUSY: return ERROR_ACCESS_DENIED;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ETIMEDOUT: return ERROR_TIMEOUT;
    default: return ERROR_WRITE_FAULT;
    }
}

class TermiosDevice : public SerialDevice {
public:
    ~TermiosDevice() override { Close(); }

    bool Open(int port) override
    {
        Close();
        m_path = SerialDevicePath(port);
        int fd = ::open(m_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return fail(errno, "open");
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            int err = errno;
            ::close(fd);
            return fail(err, "flock");
        }
        m_fd = fd;
        m_hasModemLines = true;
        return true;
    }

    void Close() override
    {
        if (m_fd >= 0) ::close(m_fd);  // the lock goes with the descriptor
        m_fd = -1;
    }

    bool IsOpen() const override { return m_fd >= 0; }

    bool Configure(const SerialSettings& s) override
    {
        termios t{};
        if (::tcgetattr(m_fd, &t) != 0) return fail(errno, "tcgetattr");
        speed_t speed = speedOf(s.baud);
        if (speed == B0) return fail(EINVAL, "baud rate");
        ::cfmakeraw(&t);
        t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP);
        t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        t.c_cflag |= CLOCAL | CREAD;
        switch (s.dataBits) {
        case 5: t.c_cflag |= CS5; break;
        case 6: t.c_cflag |= CS6; break;
        case 7: t.c_cflag |= CS7; break;
        default: t.c_cflag |= CS8; break;
        }
        if (s.parity == 'E' || s.parity == 'O') {
            t.c_cflag |= PARENB;
            if (s.parity == 'O') t.c_cflag |= PARODD;
        }
        if (s.stopBits == 2) t.c_cflag |= CSTOPB;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        if (::tcsetattr(m_fd, TCSANOW, &t) != 0) return fail(errno, "tcsetattr");
        // tcsetattr succeeds when any change took: make sure the line really is raw.
        termios check{};
        if (::tcgetattr(m_fd, &check) != 0) return fail(errno, "tcgetattr");
        if ((check.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) || (check.c_iflag & (IXON | IXOFF | ICRNL | INLCR)) ||
            (check.c_oflag & OPOST)) {
            return fail(EINVAL, "raw mode");
        }
        return true;
    }

    bool Purge() override { return flush(TCIOFLUSH); }
    bool PurgeInput() override { return flush(TCIFLUSH); }

    int BytesWaiting() override
    {
        int n = 0;
        if (::ioctl(m_fd, FIONREAD, &n) != 0) {
            fail(errno, "FIONREAD");
            return -1;
        }
        return n;
    }

    int Read(BYTE* buffer, int max) override
    {
        ssize_t n = ::read(m_fd, buffer, static_cast<size_t>(max));
        if (n > 0) return static_cast<int>(n);
        if (n == 0) return 0;
        if (errno == EAGAIN || errno == EINTR) return 0;
        fail(errno, "read");
        return -1;
    }

    bool Write(const BYTE* data, int count, int timeoutMs) override
    {
        int done = 0;
        while (done < count) {
            ssize_t n = ::write(m_fd, data + done, static_cast<size_t>(count - done));
            if (n > 0) {
                done += static_cast<int>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) return fail(errno, "write");
            pollfd p{m_fd, POLLOUT, 0};
            int r = ::poll(&p, 1, timeoutMs);
            if (r == 0) return fail(ETIMEDOUT, "write");
            if (r < 0 && errno != EINTR) return fail(errno, "write");
            if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) return fail(EIO, "write");
        }
        return true;
    }

    bool SetRts(bool on) override
    {
        if (!m_hasModemLines) return true;
        int bit = TIOCM_RTS;
        if (::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0) return true;
        if (errno == ENOTTY || errno == EINVAL || errno == ENOTSUP) {
            m_hasModemLines = false;  // a pseudo-terminal: nothing to drive
            return true;
        }
        return fail(errno, "RTS");
    }

    SerialWait WaitReadable(int timeoutMs, int stopFd) override
    {
        pollfd p[2] = {{m_fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        int count = stopFd >= 0 ? 2 : 1;
        for (;;) {
            int r = ::poll(p, count, timeoutMs);
            if (r < 0) {
                if (errno == EINTR) continue;
                fail(errno, "poll");
                return SerialWait::Failed;
            }
            if (r == 0) return SerialWait::TimedOut;
            if (count == 2 && p[1].revents) return SerialWait::Stopped;
            short ev = p[0].revents;
            // Bytes that came before a hang-up are still read; then the hang-up counts.
            if ((ev & POLLIN) && (!(ev & (POLLHUP | POLLERR)) || BytesWaiting() > 0)) return SerialWait::Readable;
            if (ev & (POLLHUP | POLLERR | POLLNVAL)) {
                fail(EIO, "hang-up");
                return SerialWait::Failed;
            }
            continue;
        }
    }

    std::string ErrorText() const override { return m_error; }

private:
    bool flush(int queues)
    {
        if (::tcflush(m_fd, queues) != 0) return fail(errno, "tcflush");
        return true;
    }

    bool fail(int err, const char* what)
    {
        SetLastError(errorOf(err));
        m_error = m_path + ": " + what + ": " + std::strerror(err);
        return false;
    }

    int m_fd = -1;
    std::string m_path;
    std::string m_error;
    bool m_hasModemLines = true;
};

}  // namespace

bool ParseSerialSettings(const char* text, SerialSettings& settings)
{
    if (!text) return false;
    SerialSettings s = settings;
    const char* p = text;
    while (*p) {
        while (*p == ' ' || *p == '\t') ++p;
        if (!*p) break;
        const char* key = p;
        while (*p && *p != '=' && *p != ' ') ++p;
        if (*p != '=') return false;
        std::string name(key, static_cast<size_t>(p - key));
        ++p;
        const char* value = p;
        while (*p && *p != ' ' && *p != '\t') ++p;
        std::string v(value, static_cast<size_t>(p - value));
        if (v.empty()) return false;
        char* end = nullptr;
        long n = std::strtol(v.c_str(), &end, 10);
        bool numeric = end && *end == 0;
        if (WinportCompareNoCase(name.c_str(), "baud") == 0 && numeric && speedOf(static_cast<int>(n)) != B0) {
            s.baud = static_cast<int>(n);
        } else if (WinportCompareNoCase(name.c_str(), "parity") == 0 && v.size() == 1 &&
                   std::strchr("NEOneo", v[0])) {
            s.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(v[0])));
        } else if (WinportCompareNoCase(name.c_str(), "data") == 0 && numeric && n >= 5 && n <= 8) {
            s.dataBits = static_cast<int>(n);
        } else if (WinportCompareNoCase(name.c_str(), "stop") == 0 && numeric && (n == 1 || n == 2)) {
            s.stopBits = static_cast<int>(n);
        } else {
            return false;
        }
    }
    settings = s;
    return true;
}

std::string SerialDevicePath(int port)
{
    std::string name = "WINPORT_COM" + std::to_string(port);
    if (const char* v = std::getenv(name.c_str()); v && *v) return v;
    return "/dev/ttyS" + std::to_string(port - 1);
}

std::string SerialDeviceOrigin(int port)
{
    const std::string name = "WINPORT_COM" + std::to_string(port);
    if (const char* v = std::getenv(name.c_str()); v && *v) return name + "=" + v;
    return SerialDevicePath(port) + ", as " + name + " is not set";
}

std::unique_ptr<SerialDevice> CreateSerialDevice() { return std::make_unique<TermiosDevice>(); }

bool IsSerialPortAvailable(int port)
{
    if (port < 1) return false;
    std::string path = SerialDevicePath(port);
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EACCES || errno == EBUSY || errno == EPERM;  // there, but not ours
    ::close(fd);
    return true;
}

}  // namespace winport
