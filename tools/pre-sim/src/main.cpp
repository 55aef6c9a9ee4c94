// pre-sim: pre-amplifier units behind a pseudo-terminal, for running and testing mic without
// the hardware.
//
//   pre-sim [--units N] [--link PATH] [--fault UNIT:KIND[:MS]]... [--echo] [--loopback]
//           [--levels UNIT:A,B,C,D]... [--level-bytes 5|6] [--panel UNIT]... [--quiet] [--commands]
//
// It prints "pty <path>" with the terminal to open (and makes PATH a symbolic link to it), then
// one line per frame the PC sends ("frame <ms> <unit> <bytes> -> <reply>") unless --quiet, and
// "violation ..." whenever the PC starts a frame while a reply is on the line. The units serve
// until SIGINT, SIGTERM or SIGHUP, whatever standard input is: it is read only with --commands,
// one command a line, each answered with "ok <command>" once done ("error <command>" when it
// is not valid); its end ends the commands, not the units:
//   drop K | revive K | panel K | fault K KIND [MS] | levels K A B C D | level-bytes N
//   echo on|off | hangup | reopen | state K | stats | quit
// "state K" prints unit K's settings as last received, per channel 0 to 3 ("state K mic=..
// line=.. path=.. micline=..", hex bytes of the 0x11, 0x41 and 0x13 messages and the mic line).
// Fault kinds: none absent silent nack bad-checksum truncated late noise garbage.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sstream>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "presim/UnitBus.h"
#include "toolcli/CommandLine.h"

namespace {

using Clock = std::chrono::steady_clock;

class Line {
public:
    bool Open(const std::string& link)
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
            std::fprintf(stderr, "pre-sim: no pseudo-terminal: %s\n", std::strerror(errno));
            return false;
        }
        m_path = ::ptsname(m_master);
        // Hold the terminal open in raw mode, so that it never echoes or edits before mic
        // opens it, and mic can close and reopen it freely.
        m_slave = ::open(m_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_slave < 0) {
            std::fprintf(stderr, "pre-sim: cannot open %s: %s\n", m_path.c_str(), std::strerror(errno));
            return false;
        }
        termios t{};
        ::tcgetattr(m_slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_slave, TCSANOW, &t);
        return link.empty() || MakeLink(link);
    }
    /// Makes `link` a symbolic link to the terminal. A link already there (an earlier run's) is
    /// replaced in one step; anything else at that path is left alone and refused.
    bool MakeLink(const std::string& link)
    {
        struct stat there {};
        if (::lstat(link.c_str(), &there) == 0 && !S_ISLNK(there.st_mode)) {
            std::fprintf(stderr, "pre-sim: %s is there and is not a symbolic link; it is left as it is\n", link.c_str());
            return false;
        }
        const std::string temp = link + ".pre-sim-" + std::to_string(::getpid());
        ::unlink(temp.c_str());
        if (::symlink(m_path.c_str(), temp.c_str()) != 0 || ::rename(temp.c_str(), link.c_str()) != 0) {
            std::fprintf(stderr, "pre-sim: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
            ::unlink(temp.c_str());
            return false;
        }
        return true;
    }
    /// Removes `link` when it still leads to this terminal (not when another program took it).
    void RemoveLink(const std::string& link) const
    {
        char target[256] = {};
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == m_path) ::unlink(link.c_str());
    }
    void Close()
    {
        if (m_slave >= 0) ::close(m_slave);
        if (m_master >= 0) ::close(m_master);
        m_slave = m_master = -1;
    }
    int Master() const { return m_master; }
    const std::string& Path() const { return m_path; }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};

double nowMs(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

constexpr double kMaxLateMs = 60000;

std::string faultKinds()
{
    std::string kinds;
    for (int f = 0; f <= static_cast<int>(presim::Fault::Garbage); ++f) {
        kinds += (kinds.empty() ? "" : " ") + std::string(presim::FaultName(static_cast<presim::Fault>(f)));
    }
    return kinds;
}

// The values of the command line and of the commands, each checked the same way in both; a
// refusal says what is wrong.
std::string parseUnit(const std::string& text, int& unit)
{
    long long v = 0;
    if (!toolcli::ParseNumber(text, 0, 15, v)) return "unit " + text + " is not a unit number from 0 to 15";
    unit = static_cast<int>(v);
    return {};
}

// Unit K, fault KIND, optionally MS milliseconds (for late replies).
std::string applyFault(presim::UnitBus& bus, const std::string& unitText, const std::string& kind, const std::string& msText)
{
    int unit = 0;
    if (std::string why = parseUnit(unitText, unit); !why.empty()) return why;
    presim::Fault fault;
    if (!presim::ParseFault(kind, fault)) return "fault " + kind + " is not a fault kind (" + faultKinds() + ")";
    double ms = 0;
    if (!msText.empty() && !toolcli::ParseDecimal(msText, 0, kMaxLateMs, ms)) {
        return "delay " + msText + " is not a number of milliseconds from 0 to 60000";
    }
    bus.unit(unit).fault = fault;
    bus.unit(unit).lateMs = ms;
    return {};
}

// Unit K's input levels A B C D, each a byte.
std::string applyLevels(presim::UnitBus& bus, const std::string& unitText, const std::vector<std::string>& values)
{
    int unit = 0;
    if (std::string why = parseUnit(unitText, unit); !why.empty()) return why;
    if (values.size() != 4) return "four levels are needed, not " + std::to_string(values.size());
    uint8_t levels[4];
    for (size_t k = 0; k < 4; ++k) {
        long long v = 0;
        if (!toolcli::ParseNumber(values[k], 0, 255, v)) return "level " + values[k] + " is not a byte (0 to 255)";
        levels[k] = static_cast<uint8_t>(v);
    }
    std::memcpy(bus.unit(unit).levels, levels, sizeof levels);
    return {};
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::stringstream ss(text);
    for (std::string part; std::getline(ss, part, separator);) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

volatile sig_atomic_t g_stop = 0;
void onStopSignal(int) { g_stop = 1; }

}  // namespace

int main(int argc, char** argv)
{
    presim::UnitBus bus(16);
    int units = 1;
    std::string link;
    bool quiet = false, echo = false, loopback = false, commands = false;
    int levelBytes = 6;
    std::vector<int> panels;
    bool faultGiven[16] = {};

    CLI::App app("Pre-amplifier units behind a pseudo-terminal, for running and testing mic without the hardware.",
                 "pre-sim");
    app.add_option("--units", units, "units that answer, at addresses 0 to N-1")->capture_default_str()->transform(toolcli::Number(0, 16));
    app.add_option("--link", link, "a symbolic link to make to the terminal (one already there is replaced; removed at the end)");
    app.add_option("--fault")
        ->description("a unit's fault, KIND one of: " + faultKinds() + " (MS: the delay of late)")
        ->type_name("UNIT:KIND[:MS]")
        ->take_all()
        ->allow_extra_args(false)
        ->each([&](const std::string& value) {
            std::vector<std::string> parts = split(value, ':');
            if (parts.size() < 2 || parts.size() > 3) toolcli::Refuse(value + " is not UNIT:KIND[:MS]");
            if (std::string why = applyFault(bus, parts[0], parts[1], parts.size() > 2 ? parts[2] : ""); !why.empty()) {
                toolcli::Refuse(why);
            }
            int unit = 0;
            parseUnit(parts[0], unit);
            faultGiven[unit] = true;
        });
    app.add_option("--levels")
        ->description("a unit's input levels of channels 0 to 3, each 0 to 255")
        ->type_name("UNIT:A,B,C,D")
        ->take_all()
        ->allow_extra_args(false)
        ->each([&](const std::string& value) {
            std::vector<std::string> parts = split(value, ':');
            if (parts.size() != 2) toolcli::Refuse(value + " is not UNIT:A,B,C,D");
            if (std::string why = applyLevels(bus, parts[0], split(parts[1], ',')); !why.empty()) toolcli::Refuse(why);
        });
    app.add_option("--level-bytes", levelBytes, "level bytes after the ACK of a poll with levels")
        ->capture_default_str()
        ->transform(toolcli::Number(5, 6));
    app.add_option("--panel", panels, "a unit whose panel changed: its polls answer \"with data\"")
        ->type_name("UNIT")
        ->allow_extra_args(false)
        ->transform(toolcli::Number(0, 15));
    app.add_flag("--echo", echo, "half-duplex echo of every frame");
    app.add_flag("--loopback", loopback, "echo every byte (not a unit link)");
    app.add_flag("--quiet", quiet, "no frame lines");
    app.add_flag("--commands", commands, "take commands on standard input (without it, standard input is not read)");
    app.footer("Commands (with --commands), one a line, each answered \"ok <command>\" or \"error <command>\":\n"
               "  drop K | revive K | panel K | fault K KIND [MS] | levels K A B C D | level-bytes N\n"
               "  echo on|off | hangup | reopen | state K | stats | quit\n"
               "The units serve until quit, SIGINT, SIGTERM or SIGHUP; the end of the commands does not end them.");
    if (std::optional<int> exit = toolcli::Parse(app, argc, argv)) return *exit;

    ::signal(SIGPIPE, SIG_IGN);
    // Stop signals are taken only while waiting, so that one is never missed between a check
    // and the wait; a command read in the background fails instead of stopping the program.
    sigset_t stopSignals, waitMask;
    sigemptyset(&stopSignals);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stopSignals, sig);
        ::signal(sig, onStopSignal);
    }
    ::sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGHUP);
    if (commands) ::signal(SIGTTIN, SIG_IGN);

    // Addresses past the units have none, unless a fault of their own was given.
    for (int u = units; u < 16; ++u) {
        if (!faultGiven[u]) bus.unit(u).fault = presim::Fault::Absent;
    }
    bus.SetFrameEcho(echo);
    bus.SetLoopback(loopback);
    for (int u = 0; u < 16; ++u) bus.unit(u).levelBytes = levelBytes;
    for (int unit : panels) bus.unit(unit).panelChanged = true;

    Line line;
    if (!line.Open(link)) {
        line.Close();
        return toolcli::kFailure;
    }
    std::printf("pty %s\n", line.Path().c_str());
    std::fflush(stdout);

    Clock::time_point start = Clock::now();
    size_t framesShown = 0;
    int violationsShown = 0;
    std::string input;
    bool quit = false;
    while (!quit && !g_stop) {
        // Send what is due.
        double now = nowMs(start);
        std::vector<uint8_t> due = bus.TakeDue(now);
        if (!due.empty() && line.Master() >= 0) {
            ssize_t n = ::write(line.Master(), due.data(), due.size());
            (void)n;
        }
        // Report.
        const auto& frames = bus.Frames();
        for (; framesShown < frames.size(); ++framesShown) {
            const presim::FrameRecord& f = frames[framesShown];
            if (!quiet) {
                std::printf("frame %.1f %d %s -> %s%s\n", f.at, f.unit, presim::Hex(f.bytes).c_str(),
                            presim::Hex(f.reply).c_str(), f.checksumOk ? "" : " (bad checksum)");
            }
        }
        for (; violationsShown < bus.Violations(); ++violationsShown) {
            std::printf("violation %s\n", bus.ViolationTexts()[static_cast<size_t>(violationsShown)].c_str());
        }
        if (frames.size() > 100000) {
            bus.ClearFrames();
            framesShown = 0;
        }
        std::fflush(stdout);

        // Wait for the PC, a command, a stop signal, or the next byte due.
        pollfd fds[2] = {{line.Master(), POLLIN, 0}, {commands ? STDIN_FILENO : -1, POLLIN, 0}};
        double next = bus.NextDue();
        timespec wait{};
        timespec* waitPtr = nullptr;
        if (next >= 0) {
            double ms = std::max(0.0, next - nowMs(start));
            wait.tv_sec = static_cast<time_t>(ms / 1000);
            wait.tv_nsec = static_cast<long>((ms - 1000.0 * static_cast<double>(wait.tv_sec)) * 1e6);
            waitPtr = &wait;
        }
        int r = ::ppoll(fds, 2, waitPtr, &waitMask);
        if (r < 0 && errno != EINTR) break;
        if (r <= 0) continue;
        if (fds[0].revents & POLLIN) {
            uint8_t buf[256];
            ssize_t n = ::read(line.Master(), buf, sizeof buf);
            if (n > 0) bus.Receive(buf, static_cast<size_t>(n), nowMs(start));
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[256];
            ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                // The end of the commands, or a terminal that this background job may not read.
                if (n < 0) std::fprintf(stderr, "pre-sim: no more commands: standard input: %s\n", std::strerror(errno));
                commands = false;
                continue;
            }
            input.append(buf, static_cast<size_t>(n));
            size_t eol;
            while (!quit && (eol = input.find('\n')) != std::string::npos) {
                std::string command = input.substr(0, eol);
                input.erase(0, eol + 1);
                std::stringstream ss(command);
                std::vector<std::string> words;
                for (std::string w; ss >> w;) words.push_back(w);
                const std::string verb = words.empty() ? "" : words[0];
                const size_t args = words.size() - (words.empty() ? 0 : 1);
                int unit = 0;
                bool ok = true;
                const bool unitArg = args >= 1 && parseUnit(words[1], unit).empty();
                if (verb == "drop" && args == 1 && unitArg) bus.Drop(unit);
                else if (verb == "revive" && args == 1 && unitArg) bus.Revive(unit);
                else if (verb == "panel" && args == 1 && unitArg) bus.unit(unit).panelChanged = true;
                else if (verb == "fault" && (args == 2 || args == 3)) {
                    ok = applyFault(bus, words[1], words[2], args == 3 ? words[3] : "").empty();
                } else if (verb == "levels" && args >= 1) {
                    ok = applyLevels(bus, words[1], std::vector<std::string>(words.begin() + 2, words.end())).empty();
                } else if (verb == "level-bytes" && args == 1 && (words[1] == "5" || words[1] == "6")) {
                    for (int u = 0; u < 16; ++u) bus.unit(u).levelBytes = words[1] == "5" ? 5 : 6;
                } else if (verb == "echo" && args == 1 && (words[1] == "on" || words[1] == "off")) {
                    bus.SetFrameEcho(words[1] == "on");
                } else if (verb == "hangup" && args == 0) {
                    line.Close();
                } else if (verb == "reopen" && args == 0) {
                    line.Close();
                    ok = line.Open(link);
                    if (ok) std::printf("pty %s\n", line.Path().c_str());
                } else if (verb == "state" && args == 1 && unitArg) {
                    const presim::Unit& u = bus.unit(unit);
                    auto hex4 = [](const uint8_t* v) { return presim::Hex(std::vector<uint8_t>(v, v + 4)); };
                    std::printf("state %d mic=%s line=%s path=%s micline=%s\n", unit, hex4(u.micSwitch).c_str(),
                                hex4(u.lineSwitch).c_str(), hex4(u.pathByte).c_str(), hex4(u.micLine).c_str());
                } else if (verb == "stats" && args == 0) {
                    std::printf("stats frames=%zu violations=%d\n", bus.Frames().size(), bus.Violations());
                } else if (verb == "quit" && args == 0) {
                    quit = true;
                } else {
                    ok = false;
                }
                std::printf("%s %s\n", ok ? "ok" : "error", command.c_str());
                std::fflush(stdout);
            }
        }
    }
    if (!link.empty()) line.RemoveLink(link);
    line.Close();
    return 0;
}
