// Starts a helper program for tests that need a second process, and talks to it through its
// standard input and output with bounded waits.
#pragma once

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

/// A helper program started with its standard input and output on pipes; it is ended (input
/// closed, then killed if it lingers) when the object goes.
class PeerProcess {
public:
    /// Starts `path` with the arguments (argv[0] is the path).
    PeerProcess(const std::string& path, std::vector<std::string> args)
    {
        int in[2], out[2];
        // Close-on-exec, so that a later helper does not inherit this one's pipe ends.
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        args.insert(args.begin(), path);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&m_pid, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        m_in = in[1];
        m_out = out[0];
    }
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;
    ~PeerProcess()
    {
        CloseInput();
        if (m_pid > 0 && !Wait(2000)) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0) ::close(m_out);
    }

    /// The next line of output, or nothing within the time.
    std::optional<std::string> Line(int timeoutMs = 5000)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            size_t nl = m_buffer.find('\n');
            if (nl != std::string::npos) {
                std::string line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0) return std::nullopt;
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char buf[512];
            ssize_t n = ::read(m_out, buf, sizeof buf);
            if (n <= 0) return std::nullopt;
            m_buffer.append(buf, static_cast<size_t>(n));
        }
    }
    /// Writes one line to the peer's standard input; false when it cannot take it.
    bool Send(const std::string& line)
    {
        std::string text = line + "\n";
        return m_in >= 0 && ::write(m_in, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    void CloseInput()
    {
        if (m_in >= 0) ::close(m_in);
        m_in = -1;
    }
    /// TRUE when the peer ended within the time.
    bool Wait(int timeoutMs, int* exitStatus = nullptr)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                if (exitStatus) *exitStatus = status;
                m_pid = -1;
                return true;
            }
            ::usleep(2000);
        }
        return false;
    }
    void Kill()
    {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
};

inline std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        size_t j = line.find(' ', i);
        if (j == std::string::npos) j = line.size();
        if (j > i) out.push_back(line.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

/// The peer of the window-message tests (winport/testpeer), with its arguments.
inline PeerProcess MessagePeer(std::vector<std::string> args)
{
    return PeerProcess(std::string(CONSOLE_BINARY_DIR) + "/winport/winport_message_peer", std::move(args));
}
