// A TCP server on 127.0.0.1 for the socket tests: it accepts one connection on its own thread
// and runs a script on it, then closes the connection (unless the script did).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

class LoopbackServer {
public:
    /// The script gets the accepted connection; it returns true when it closed it itself.
    using Script = std::function<bool(int fd)>;

    explicit LoopbackServer(Script script) : m_script(std::move(script))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(a);
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0 && ::listen(m_listener, 4) == 0 &&
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &length) == 0)
            m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~LoopbackServer()
    {
        Finish();
        ::shutdown(m_listener, SHUT_RDWR);  // wakes a server that still waits for its client
        m_thread.join();
        ::close(m_listener);
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    unsigned Port() const { return m_port; }
    /// Ends a script that waits in WaitForFinish.
    void Finish()
    {
        if (!m_finishSet.exchange(true)) m_finish.set_value();
    }
    /// For scripts: waits (bounded) until the test calls Finish.
    void WaitForFinish() { m_finished.wait_for(std::chrono::seconds(60)); }
    /// Waits (bounded) until the script has run; true when it did.
    bool WaitUntilDone() { return m_done.get_future().wait_for(std::chrono::seconds(60)) == std::future_status::ready; }

    /// Reads exactly n bytes (bounded); false when the connection ends first.
    static bool ReadExactly(int fd, void* buffer, size_t n)
    {
        auto* p = static_cast<char*>(buffer);
        while (n > 0) {
            pollfd w{fd, POLLIN, 0};
            if (::poll(&w, 1, 30000) != 1) return false;
            const ssize_t got = ::recv(fd, p, n, 0);
            if (got <= 0) return false;
            p += got;
            n -= static_cast<size_t>(got);
        }
        return true;
    }
    static bool WriteAll(int fd, const void* buffer, size_t n)
    {
        auto* p = static_cast<const char*>(buffer);
        while (n > 0) {
            const ssize_t put = ::send(fd, p, n, MSG_NOSIGNAL);
            if (put <= 0) return false;
            p += put;
            n -= static_cast<size_t>(put);
        }
        return true;
    }
    /// Closes with a reset instead of an orderly end.
    static void Reset(int fd)
    {
        const linger l{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof(l));
        ::close(fd);
    }

private:
    void serve()
    {
        pollfd w{m_listener, POLLIN, 0};
        if (::poll(&w, 1, 30000) == 1) {
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0 && !m_script(fd)) ::close(fd);
        }
        m_done.set_value();
    }

    Script m_script;
    int m_listener = -1;
    unsigned m_port = 0;
    std::promise<void> m_finish;
    std::shared_future<void> m_finished = m_finish.get_future().share();
    std::atomic<bool> m_finishSet{false};
    std::promise<void> m_done;
    std::thread m_thread;
};
