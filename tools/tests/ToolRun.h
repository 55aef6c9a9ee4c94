// A tool run as a background job would be: in a process group of its own, its standard input
// at end of file, its standard output and error on pipes. Every wait is bounded; a tool still
// running when the object goes is killed by its id.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

class ToolRun {
public:
    /// Starts the tool of the build tree at `program` (a path below the build folder).
    ToolRun(const std::string& program, const std::vector<std::string>& args)
    {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        if (::pipe2(err, O_CLOEXEC) != 0) {
            ::close(out[0]);
            ::close(out[1]);
            return;
        }
        const std::string path = std::string(CONSOLE_BINARY_DIR) + "/" + program;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (::posix_spawn(&m_pid, path.c_str(), &actions, &attributes, argv.data(), environ) != 0) m_pid = -1;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        m_out = out[0];
        m_err = err[0];
    }
    ~ToolRun()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0) ::close(m_out);
        if (m_err >= 0) ::close(m_err);
    }
    ToolRun(const ToolRun&) = delete;
    ToolRun& operator=(const ToolRun&) = delete;

    bool Started() const { return m_pid > 0; }
    void Signal(int sig)
    {
        if (m_pid > 0) ::kill(m_pid, sig);
    }

    /// The next line of standard output (without its end); empty when none came in time.
    std::string Line(int timeoutMs = 10000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        size_t eol;
        while ((eol = m_outText.find('\n', m_outTaken)) == std::string::npos) {
            if (!readSome(deadline)) return {};
        }
        std::string line = m_outText.substr(m_outTaken, eol - m_outTaken);
        m_outTaken = eol + 1;
        return line;
    }

    /// Reads all output until the tool ends (at most timeoutMs) and returns its exit code; -1
    /// when it did not end in time or ended by a signal.
    int Finish(int timeoutMs = 10000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (readSome(deadline)) {
        }
        while (m_pid > 0 && std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            ::usleep(2000);
        }
        return -1;
    }

    /// Everything written so far to standard output and standard error.
    const std::string& Output() const { return m_outText; }
    const std::string& Errors() const { return m_errText; }

private:
    // Reads what one of the pipes has; false once both have ended or the time is up.
    bool readSome(std::chrono::steady_clock::time_point deadline)
    {
        if (m_out < 0 && m_err < 0) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(left.count())) <= 0) return std::chrono::steady_clock::now() < deadline;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            int& fd = i == 0 ? m_out : m_err;
            char buf[4096];
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) (i == 0 ? m_outText : m_errText).append(buf, static_cast<size_t>(n));
            else {
                ::close(fd);
                fd = -1;
            }
        }
        return true;
    }

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_outText, m_errText;
    size_t m_outTaken = 0;
};
