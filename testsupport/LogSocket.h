// A bound datagram socket standing in for the system log, for tests of event-log entries.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <string>

class LogSocket {
public:
    explicit LogSocket(const std::string& path) : m_path(path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~LogSocket()
    {
        ::close(m_fd);
        ::unlink(m_path.c_str());
    }
    LogSocket(const LogSocket&) = delete;
    LogSocket& operator=(const LogSocket&) = delete;

    bool bound() const { return m_bound; }

    /// The next datagram, or "" when none arrives within timeoutMs.
    std::string receive(int timeoutMs = 2000)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1) return {};
        std::string buf(65536, '\0');
        ssize_t n = ::recv(m_fd, buf.data(), buf.size(), 0);
        buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return buf;
    }

private:
    std::string m_path;
    int m_fd = -1;
    bool m_bound = false;
};
