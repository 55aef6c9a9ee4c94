// A program started by a test, with its standard output on a pipe. Every wait is bounded; the
// destructor kills and reaps a child that is still running.
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

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
        if (m_out >= 0) ::close(m_out);
        if (m_in >= 0) ::close(m_in);
    }

    /// Starts the program (argv[0] is its path) with this process's environment; withInput
    /// gives it a standard input that Send writes to; withErrors brings its standard error
    /// into the lines read, beside its standard output.
    bool Start(const std::vector<std::string>& args, bool withInput = false, bool withErrors = false)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return false;
        int in[2] = {-1, -1};
        // A program that has ended must not take the test with it when the test writes to it.
        if (withInput) ::signal(SIGPIPE, SIG_IGN);
        if (withInput && ::pipe2(in, O_CLOEXEC) != 0) {
            ::close(fds[0]);
            ::close(fds[1]);
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        if (withErrors) posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        if (withInput) posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int rc = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        m_out = fds[0];
        if (withInput) {
            ::close(in[0]);
            m_in = in[1];
        }
        if (rc != 0) m_pid = -1;
        return rc == 0;
    }

    /// Writes one line to the program's standard input (started withInput).
    void Send(const std::string& line)
    {
        const std::string out = line + "\n";
        if (m_in >= 0) {
            ssize_t n = ::write(m_in, out.data(), out.size());
            (void)n;
        }
    }

    /// The next line of the child's output (without its end), or false after timeoutMs.
    bool ReadLine(std::string& line, int timeoutMs)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            size_t nl = m_buffer.find('\n');
            if (nl != std::string::npos) {
                line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                return true;
            }
            // Output already waiting is read even when the time is up (a short timeout rounds
            // down to no time at all).
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0) <= 0) return false;
            char buf[256];
            ssize_t n = ::read(m_out, buf, sizeof buf);
            if (n <= 0) return false;
            m_buffer.append(buf, static_cast<size_t>(n));
        }
    }

    /// The exit code once the child has ended, -1 when it has not ended within timeoutMs
    /// (or ended by a signal).
    int Wait(int timeoutMs)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        if (m_pid <= 0) return m_exit;
        while (m_pid > 0) {
            int status = 0;
            pid_t r = ::waitpid(m_pid, &status, WNOHANG);
            if (r == m_pid) {
                m_pid = -1;
                m_exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return m_exit;
            }
            if (std::chrono::steady_clock::now() >= deadline) return -1;
            ::usleep(5000);
        }
        return -1;
    }

    bool Running()
    {
        if (m_pid <= 0) return false;
        int status = 0;
        pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_pid = -1;
            m_exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return r == 0;
    }

    void Signal(int sig)
    {
        if (m_pid > 0) ::kill(m_pid, sig);
    }

private:
    pid_t m_pid = -1;
    int m_exit = -1;
    int m_out = -1;
    int m_in = -1;
    std::string m_buffer;
};

/// Runs a program to its end (at most timeoutMs) and returns its exit code and first line.
inline int RunProgram(const std::vector<std::string>& args, std::string* firstLine = nullptr, int timeoutMs = 10000)
{
    ChildProcess child;
    if (!child.Start(args)) return -1;
    std::string line;
    if (firstLine) {
        child.ReadLine(line, timeoutMs);
        *firstLine = line;
    }
    return child.Wait(timeoutMs);
}
