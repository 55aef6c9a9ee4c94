// pre-sim: pre-amplifier units behind a pseudo-terminal, for running and testing mic without
// the hardware.
//
//   pre-sim [--units N] [--link PATH] [--fault UNIT:KIND[:MS]]... [--echo] [--loopback]
//           [--levels UNIT:A,B,C,D] [--level-bytes 5|6] [--panel UNIT] [--quiet]
//
// It prints "pty <path>" with the terminal to open (and makes PATH a symbolic link to it), then
// one line per frame the PC sends ("frame <ms> <unit> <bytes> -> <reply>") unless --quiet, and
// "violation ..." whenever the PC starts a frame while a reply is on the line. Commands on
// standard input, one per line, each answered with "ok <command>" once done:
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
#include <sstream>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "presim/UnitBus.h"

namespace {

using Clock = std::chrono::steady_clock;

class Line {
public:
    bool Open(const std::string& link)
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) return false;
        m_path = ::ptsname(m_master);
        // Hold the terminal open in raw mode, so that it never echoes or edits before mic
        // opens it, and mic can close and reopen it freely.
        m_slave = ::open(m_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_slave < 0) return false;
        termios t{};
        ::tcgetattr(m_slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_slave, TCSANOW, &t);
        if (!link.empty()) {
            ::unlink(link.c_str());
            if (::symlink(m_path.c_str(), link.c_str()) != 0) {
                std::fprintf(stderr, "pre-sim: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
            }
        }
        return true;
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

bool parseUnit(const std::string& text, int& unit)
{
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (!end || *end || v < 0 || v > 15) return false;
    unit = static_cast<int>(v);
    return true;
}

// Applies "K:KIND[:MS]".
bool applyFault(presim::UnitBus& bus, int unit, const std::string& kind, double ms)
{
    presim::Fault f;
    if (!presim::ParseFault(kind, f)) return false;
    bus.unit(unit).fault = f;
    bus.unit(unit).lateMs = ms;
    return true;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: pre-sim [--units N] [--link PATH] [--fault UNIT:KIND[:MS]] [--echo] [--loopback]\n"
                 "               [--levels UNIT:A,B,C,D] [--level-bytes 5|6] [--panel UNIT] [--quiet]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    ::signal(SIGPIPE, SIG_IGN);
    int units = 1;
    std::string link;
    bool quiet = false;
    std::vector<std::string> faults, levels, panels;
    bool echo = false, loopback = false;
    int levelBytes = 6;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (a == "--units") units = std::atoi(next().c_str());
        else if (a == "--link") link = next();
        else if (a == "--fault") faults.push_back(next());
        else if (a == "--levels") levels.push_back(next());
        else if (a == "--panel") panels.push_back(next());
        else if (a == "--level-bytes") levelBytes = std::atoi(next().c_str());
        else if (a == "--echo") echo = true;
        else if (a == "--loopback") loopback = true;
        else if (a == "--quiet") quiet = true;
        else return usage();
    }
    if (units < 0 || units > 16 || (levelBytes != 5 && levelBytes != 6)) return usage();

    presim::UnitBus bus(units);
    bus.SetFrameEcho(echo);
    bus.SetLoopback(loopback);
    for (int u = 0; u < 16; ++u) bus.unit(u).levelBytes = levelBytes;
    for (const std::string& f : faults) {
        std::stringstream ss(f);
        std::string unitText, kind, ms;
        std::getline(ss, unitText, ':');
        std::getline(ss, kind, ':');
        std::getline(ss, ms, ':');
        int unit;
        if (!parseUnit(unitText, unit) || !applyFault(bus, unit, kind, std::atof(ms.c_str()))) return usage();
    }
    for (const std::string& l : levels) {
        int unit, a, b, c, d;
        if (std::sscanf(l.c_str(), "%d:%d,%d,%d,%d", &unit, &a, &b, &c, &d) != 5 || unit < 0 || unit > 15) return usage();
        const int v[4] = {a, b, c, d};
        for (int k = 0; k < 4; ++k) bus.unit(unit).levels[k] = static_cast<uint8_t>(v[k]);
    }
    for (const std::string& p : panels) {
        int unit;
        if (!parseUnit(p, unit)) return usage();
        bus.unit(unit).panelChanged = true;
    }

    Line line;
    if (!line.Open(link)) {
        std::fprintf(stderr, "pre-sim: no pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    std::printf("pty %s\n", line.Path().c_str());
    std::fflush(stdout);

    Clock::time_point start = Clock::now();
    size_t framesShown = 0;
    int violationsShown = 0;
    std::string input;
    for (;;) {
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

        // Wait for the PC, a command, or the next byte due.
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {line.Master(), POLLIN, 0}};
        int count = line.Master() >= 0 ? 2 : 1;
        double next = bus.NextDue();
        timespec wait{};
        timespec* waitPtr = nullptr;
        if (next >= 0) {
            double ms = std::max(0.0, next - nowMs(start));
            wait.tv_sec = static_cast<time_t>(ms / 1000);
            wait.tv_nsec = static_cast<long>((ms - 1000.0 * static_cast<double>(wait.tv_sec)) * 1e6);
            waitPtr = &wait;
        }
        int r = ::ppoll(fds, static_cast<nfds_t>(count), waitPtr, nullptr);
        if (r < 0 && errno != EINTR) break;
        if (count == 2 && (fds[1].revents & POLLIN)) {
            uint8_t buf[256];
            ssize_t n = ::read(line.Master(), buf, sizeof buf);
            if (n > 0) bus.Receive(buf, static_cast<size_t>(n), nowMs(start));
        }
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            char buf[256];
            ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) break;  // the controller went away
            input.append(buf, static_cast<size_t>(n));
            size_t eol;
            bool quit = false;
            while ((eol = input.find('\n')) != std::string::npos) {
                std::string command = input.substr(0, eol);
                input.erase(0, eol + 1);
                std::stringstream ss(command);
                std::string word, arg;
                ss >> word;
                int unit = 0;
                bool ok = true;
                if (word == "drop" && ss >> arg && parseUnit(arg, unit)) bus.Drop(unit);
                else if (word == "revive" && ss >> arg && parseUnit(arg, unit)) bus.Revive(unit);
                else if (word == "panel" && ss >> arg && parseUnit(arg, unit)) bus.unit(unit).panelChanged = true;
                else if (word == "fault" && ss >> arg && parseUnit(arg, unit)) {
                    std::string kind;
                    double ms = 0;
                    ss >> kind >> ms;
                    ok = applyFault(bus, unit, kind, ms);
                } else if (word == "levels" && ss >> arg && parseUnit(arg, unit)) {
                    for (int k = 0; k < 4; ++k) {
                        int v = 0;
                        ss >> v;
                        bus.unit(unit).levels[k] = static_cast<uint8_t>(v);
                    }
                } else if (word == "level-bytes") {
                    int v = 0;
                    ss >> v;
                    ok = v == 5 || v == 6;
                    for (int u = 0; ok && u < 16; ++u) bus.unit(u).levelBytes = v;
                } else if (word == "echo") {
                    ss >> arg;
                    bus.SetFrameEcho(arg == "on");
                } else if (word == "hangup") {
                    line.Close();
                } else if (word == "reopen") {
                    line.Close();
                    ok = line.Open(link);
                    if (ok) std::printf("pty %s\n", line.Path().c_str());
                } else if (word == "state" && ss >> arg && parseUnit(arg, unit)) {
                    const presim::Unit& u = bus.unit(unit);
                    auto hex4 = [](const uint8_t* v) { return presim::Hex(std::vector<uint8_t>(v, v + 4)); };
                    std::printf("state %d mic=%s line=%s path=%s micline=%s\n", unit, hex4(u.micSwitch).c_str(),
                                hex4(u.lineSwitch).c_str(), hex4(u.pathByte).c_str(), hex4(u.micLine).c_str());
                } else if (word == "stats") {
                    std::printf("stats frames=%zu violations=%d\n", bus.Frames().size(), bus.Violations());
                } else if (word == "quit") {
                    quit = true;
                } else {
                    ok = false;
                }
                std::printf("%s %s\n", ok ? "ok" : "error", command.c_str());
                std::fflush(stdout);
            }
            if (quit) break;
        }
    }
    line.Close();
    if (!link.empty()) ::unlink(link.c_str());
    return 0;
}
