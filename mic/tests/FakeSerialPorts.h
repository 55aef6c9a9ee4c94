// Serial ports that exist only in a test: the ports plugged in open, take what is written and
// answer nothing; pulling a port out fails its open device (as a hang-up does). Which ports
// were asked for and opened is recorded. Safe from the port's monitor thread.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

#include "link/PreLink.h"
#include "link/SerialPort.h"

/// Waits, in real time and bounded, until the port's monitor thread has told the link that its
/// port failed (after Unplug). Tests in virtual time wait for this before they move the clock:
/// on a busy machine the thread may not have run yet.
inline bool WaitLinkFailed(const PreLink& link, int timeoutMs = 10000)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (link.Peek().inProgress != kLinkFailed) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        ::usleep(1000);
    }
    return true;
}

class FakeSerialPorts {
public:
    FakeSerialPorts() : m_state(std::make_shared<State>()) {}

    void Plug(int port)
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->present.insert(port);
    }
    /// The port goes away; its open device fails.
    void Unplug(int port)
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->present.erase(port);
        auto it = m_state->failFds.find(port);
        if (it != m_state->failFds.end()) {
            uint64_t one = 1;
            ssize_t n = ::write(it->second, &one, sizeof one);
            (void)n;
        }
    }
    std::vector<int> Asked() const
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        return m_state->asked;
    }
    std::vector<int> Opened() const
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        return m_state->opened;
    }
    void ClearRecords()
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->asked.clear();
        m_state->opened.clear();
    }

    CSerialPort::DeviceFactory Factory() const
    {
        auto state = m_state;
        return [state] { return std::make_unique<Device>(state); };
    }
    std::function<BOOL(int)> Availability() const
    {
        auto state = m_state;
        return [state](int port) {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->asked.push_back(port);
            return state->present.count(port) ? TRUE : FALSE;
        };
    }

private:
    struct State {
        mutable std::mutex mutex;
        std::set<int> present;
        std::vector<int> asked, opened;
        std::map<int, int> failFds;  // open devices by port
    };

    class Device : public winport::SerialDevice {
    public:
        explicit Device(std::shared_ptr<State> state) : m_state(std::move(state)) {}
        ~Device() override { Close(); }
        bool Open(int port) override
        {
            std::lock_guard<std::mutex> lock(m_state->mutex);
            if (!m_state->present.count(port)) return false;
            m_port = port;
            m_failFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
            m_state->failFds[port] = m_failFd;
            m_state->opened.push_back(port);
            return true;
        }
        void Close() override
        {
            std::lock_guard<std::mutex> lock(m_state->mutex);
            if (m_failFd < 0) return;
            auto it = m_state->failFds.find(m_port);
            if (it != m_state->failFds.end() && it->second == m_failFd) m_state->failFds.erase(it);
            ::close(m_failFd);
            m_failFd = -1;
        }
        bool IsOpen() const override { return m_failFd >= 0; }
        bool Configure(const winport::SerialSettings&) override { return true; }
        bool Purge() override { return true; }
        bool PurgeInput() override { return true; }
        int BytesWaiting() override { return 0; }
        int Read(BYTE*, int) override { return 0; }
        bool Write(const BYTE*, int, int) override { return true; }
        bool SetRts(bool) override { return true; }
        winport::SerialWait WaitReadable(int timeoutMs, int stopFd) override
        {
            if (stopFd < 0) return winport::SerialWait::TimedOut;  // the probe: nothing comes back
            pollfd fds[2] = {{stopFd, POLLIN, 0}, {m_failFd, POLLIN, 0}};
            int r = ::poll(fds, 2, timeoutMs);
            if (r > 0 && (fds[1].revents & POLLIN)) return winport::SerialWait::Failed;
            if (r > 0) return winport::SerialWait::Stopped;
            return winport::SerialWait::TimedOut;
        }
        std::string ErrorText() const override { return "the port was pulled out"; }

    private:
        std::shared_ptr<State> m_state;
        int m_port = 0;
        int m_failFd = -1;
    };

    std::shared_ptr<State> m_state;
};
