// A JACK server with the dummy driver for the end-to-end MIDI tests: started under a unique
// name without real-time scheduling, ready once its socket is there and a client is served, and
// stopped by its process id. Every wait is bounded.
#pragma once

#include <fcntl.h>
#include <jack/jack.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "winport/Midi.h"

class JackServer {
public:
    /// Takes the first of eight server names that no other test holds. The names are reused:
    /// JACK keeps a server's entry in its registry (of eight) when the server is killed, and
    /// frees it only for a new server of the same name.
    JackServer()
    {
        for (int n = 0; n < 8 && m_lock < 0; ++n) {
            std::string lock = "/tmp/console-test-jack-" + std::to_string(n) + ".lock";
            int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
            if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                m_lock = fd;
                m_name = "console-test-" + std::to_string(n);
            } else if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    ~JackServer()
    {
        Stop();
        if (m_lock >= 0) ::close(m_lock);
    }
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    const std::string& Name() const { return m_name; }
    /// A JACK client name of this server's own. A client's notification socket is named after
    /// the client alone (in /dev/shm), so two clients of one name on two servers of the machine
    /// would take each other's socket: every fixed name the tests use gets the server's number.
    std::string ClientName(const std::string& base) const { return base + "-" + m_name.substr(m_name.rfind('-') + 1); }

    /// Starts jackd and waits (at most timeoutMs) until it serves a client. Sets
    /// JACK_DEFAULT_SERVER, so that clients of this process (and their children) find it.
    bool Start(int timeoutMs = 15000, int periodFrames = 128)
    {
        if (m_lock < 0) return false;
        const std::string socket = "/dev/shm/jack_" + m_name + "_" + std::to_string(::getuid()) + "_0";
        int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (watch < 0 || ::inotify_add_watch(watch, "/dev/shm", IN_CREATE | IN_MOVED_TO) < 0) {
            if (watch >= 0) ::close(watch);
            return false;
        }
        // Synchronous, with a generous client time-out: on a busy machine a slow client delays the
        // period instead of losing it or being thrown out.
        std::vector<std::string> args = {"/usr/bin/jackd", "-n", m_name, "-r", "-S", "-t", "10000", "-d", "dummy", "-r", "48000",
                                         "-p", std::to_string(periodFrames)};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        // The server dies with the test process, even when that is killed.
        const pid_t parent = ::getpid();
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(127);
            int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        if (m_pid < 0) {
            m_pid = -1;
            ::close(watch);
            return false;
        }
        ::setenv("JACK_DEFAULT_SERVER", m_name.c_str(), 1);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        bool ready = false;
        while (!ready && std::chrono::steady_clock::now() < deadline && alive()) {
            struct stat st;
            if (::stat(socket.c_str(), &st) == 0) {
                ready = clientServed();
                if (ready) break;
            }
            // The next change in the folder (the socket appearing), or a short while for a
            // server that has its socket but does not serve yet.
            pollfd p{watch, POLLIN, 0};
            ::poll(&p, 1, 20);
            char buf[4096];
            while (::read(watch, buf, sizeof buf) > 0) {
            }
        }
        ::close(watch);
        return ready;
    }

    /// Kills the server at once by its process id (SIGKILL), as a crash would: its clients
    /// lose it without a word. Its entry in JACK's registry stays for the next start of the
    /// same name.
    void Kill()
    {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

    /// Stops the server by its process id: SIGTERM, then SIGKILL when it lingers.
    void Stop()
    {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 500 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i) ::usleep(10000);
        if (::waitpid(m_pid, &status, WNOHANG) == 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
    }

private:
    bool alive()
    {
        int status = 0;
        return m_pid > 0 && ::waitpid(m_pid, &status, WNOHANG) == 0;
    }

    bool clientServed()
    {
        jack_status_t status;
        jack_client_t* c = jack_client_open(ClientName("console-test-probe").c_str(), static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                            &status, m_name.c_str());
        if (!c) return false;
        jack_client_close(c);
        return true;
    }

    std::string m_name;
    int m_lock = -1;
    pid_t m_pid = -1;
};

/// The MIDI device (input or output) whose name is given; -1 when none.
inline int FindMidiDevice(bool input, const char* name)
{
    UINT n = input ? midiInGetNumDevs() : midiOutGetNumDevs();
    for (UINT i = 0; i < n; ++i) {
        MIDIINCAPSA in{};
        MIDIOUTCAPSA out{};
        const char* found = input ? (midiInGetDevCapsA(i, &in, sizeof in), in.szPname)
                                  : (midiOutGetDevCapsA(i, &out, sizeof out), out.szPname);
        if (std::string(found) == name) return static_cast<int>(i);
    }
    return -1;
}
