// A program of ours in a process of its own, driven through its standard input and output
// (pre-sim: its pseudo-terminal's path, frame lines and command acknowledgements; mic: its
// status lines). Every wait is bounded; the process is ended by its id when the test is done.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

/// Points COM1 to COM255 at a path that does not exist, so that a port scan of this process
/// and of the programs it starts never touches the machine's real serial ports.
inline void PointSerialPortsNowhere(const std::string& folder)
{
    std::string nowhere = folder + "/no-such-port";
    for (int n = 1; n <= 255; ++n) ::setenv(("WINPORT_COM" + std::to_string(n)).c_str(), nowhere.c_str(), 1);
}

class ProgramProcess {
public:
    /// Starts a program of the build tree (a path below the build folder).
    ProgramProcess(const std::string& program, const std::vector<std::string>& args)
    {
        // A child that has ended must not take the test with it when we write to it.
        ::signal(SIGPIPE, SIG_IGN);
        start(program, args);
    }

    ~ProgramProcess()
    {
        if (m_in >= 0) {
            Send("quit");
            ::close(m_in);
        }
        Wait(2000);
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0) ::close(m_out);
    }

    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    /// Sends a signal to the process while it runs.
    void Signal(int signal)
    {
        if (m_pid > 0) ::kill(m_pid, signal);
    }

    /// Waits for the process to end; its exit status, or -1 when it still runs.
    int Wait(int timeoutMs)
    {
        if (m_pid <= 0) return m_status;
        for (int i = 0; i <= timeoutMs / 10; ++i) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
                return m_status;
            }
            ::usleep(10000);
        }
        return -1;
    }

    void start(const std::string& program, const std::vector<std::string>& args)
    {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (::posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        m_in = in[1];
        m_out = out[0];
    }

    void Send(const std::string& command)
    {
        std::string line = command + "\n";
        ssize_t n = ::write(m_in, line.data(), line.size());
        (void)n;
    }

    /// Sends a command and waits for its acknowledgement; FALSE when it failed or timed out.
    bool Command(const std::string& command, int timeoutMs = 5000)
    {
        Send(command);
        std::string line = WaitFor("ok " + command, timeoutMs, "error " + command);
        return line.rfind("ok ", 0) == 0;
    }

    /// The next line starting with prefix (or with failPrefix), skipping others; empty when
    /// none came within the time.
    std::string WaitFor(const std::string& prefix, int timeoutMs, const std::string& failPrefix = {})
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string line;
        while (ReadLine(line, deadline)) {
            if (line.rfind(prefix, 0) == 0) return line;
            if (!failPrefix.empty() && line.rfind(failPrefix, 0) == 0) return line;
        }
        return {};
    }

    /// Every line that came so far (waiting at most timeoutMs for the first one).
    std::vector<std::string> Drain(int timeoutMs)
    {
        std::vector<std::string> lines;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string line;
        while (ReadLine(line, deadline)) lines.push_back(line);
        return lines;
    }

    /// The pipe its output comes on, to wait on beside others.
    int OutputDescriptor() const { return m_out; }
    /// Lines read so far, all of them.
    const std::vector<std::string>& History() const { return m_history; }

private:
    bool ReadLine(std::string& line, std::chrono::steady_clock::time_point deadline)
    {
        for (;;) {
            size_t eol = m_buffer.find('\n');
            if (eol != std::string::npos) {
                line = m_buffer.substr(0, eol);
                m_buffer.erase(0, eol + 1);
                m_history.push_back(line);
                return true;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (m_out < 0) return false;
            // A deadline that has passed still takes what is there to read.
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(std::max<int64_t>(left.count(), 0))) <= 0) {
                if (left.count() <= 0) return false;
                continue;
            }
            char buf[512];
            ssize_t n = ::read(m_out, buf, sizeof buf);
            if (n <= 0) return false;
            m_buffer.append(buf, static_cast<size_t>(n));
        }
    }

    pid_t m_pid = -1;
    int m_status = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
    std::vector<std::string> m_history;
};

/// pre-sim with its pseudo-terminal, taking commands on its standard input.
class PreSimProcess : public ProgramProcess {
public:
    explicit PreSimProcess(const std::vector<std::string>& args)
        : ProgramProcess(std::string(CONSOLE_BINARY_DIR) + "/tools/pre-sim/pre-sim", withCommands(args))
    {
        std::string line = WaitFor("pty ", 5000);
        if (!line.empty()) m_pty = line.substr(4);
    }
    /// The terminal the units listen on (empty when the program did not start).
    const std::string& Pty() const { return m_pty; }

private:
    static std::vector<std::string> withCommands(std::vector<std::string> args)
    {
        args.insert(args.begin(), "--commands");
        return args;
    }

    std::string m_pty;
};
