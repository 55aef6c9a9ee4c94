// From a queued change to its frame on the wire: the main dialog's core queues a channel's
// settings while its link polls, and the time until the frame has arrived at the far end of a
// real pseudo-terminal is measured (the port's monitor thread, the message loop, the link
// step). Beside it stands the floor of the link: timer 1's period after a poll (60 ms), which a
// change waits for at most when the polled unit does not answer. Units are simulated on the
// far end in real time by the unit model.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "app/MicDlg.h"
#include "presim/UnitBus.h"
#include "winport/Profile.h"
#include "winport/Window.h"

namespace {

using Clock = std::chrono::steady_clock;

// Units on the far end of a pseudo-terminal, served by a thread of their own.
class FarEnd {
public:
    explicit FarEnd(int units) : m_bus(units)
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ::grantpt(m_master);
        ::unlockpt(m_master);
        m_path = ::ptsname(m_master);
        m_slave = ::open(m_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios t{};
        ::tcgetattr(m_slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_slave, TCSANOW, &t);
        m_start = Clock::now();
        m_thread = std::thread([this] { serve(); });
    }
    ~FarEnd()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_slave);
        ::close(m_master);
    }
    const std::string& Path() const { return m_path; }
    /// Frames of this command received so far, and when the last one was complete.
    int Count(uint8_t command, Clock::time_point* last = nullptr)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (last) *last = m_last[command];
        return m_count[command];
    }

private:
    double nowMs() const { return std::chrono::duration<double, std::milli>(Clock::now() - m_start).count(); }

    void serve()
    {
        size_t seen = 0;
        while (!m_stop) {
            double next = m_bus.NextDue();
            int wait = next < 0 ? 2 : std::max(0, std::min(2, static_cast<int>(next - nowMs())));
            pollfd p{m_master, POLLIN, 0};
            ::poll(&p, 1, wait);
            uint8_t buf[256];
            ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0) m_bus.Receive(buf, static_cast<size_t>(n), nowMs());
            std::vector<uint8_t> due = m_bus.TakeDue(nowMs());
            if (!due.empty()) {
                ssize_t w = ::write(m_master, due.data(), due.size());
                (void)w;
            }
            const auto& frames = m_bus.Frames();
            if (frames.size() > seen) {
                std::lock_guard<std::mutex> lock(m_mutex);
                for (; seen < frames.size(); ++seen) {
                    if (frames[seen].bytes.size() < 2) continue;
                    uint8_t command = frames[seen].bytes[1];
                    ++m_count[command];
                    m_last[command] = Clock::now();
                }
            }
            if (frames.size() > 100000) {
                m_bus.ClearFrames();
                seen = 0;
            }
        }
    }

    presim::UnitBus m_bus;
    int m_master = -1, m_slave = -1;
    std::string m_path;
    Clock::time_point m_start;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::mutex m_mutex;
    int m_count[256] = {};
    Clock::time_point m_last[256];
};

// Runs the user-interface thread's loop in real time until the condition holds.
template <class Condition>
bool RunUntil(Condition done, int timeoutMs)
{
    auto& loop = winport::MessageLoop::Current();
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        loop.RunUntilIdle();
        if (done()) return true;
        int64_t next = loop.MillisecondsToNextTimer();
        pollfd p{loop.WaitDescriptor(), POLLIN, 0};
        ::poll(&p, 1, next < 0 || next > 2 ? 2 : static_cast<int>(next));
    }
    return done();
}

void PrivateFolders()
{
    static std::string root;
    if (!root.empty()) return;
    char pattern[] = "/tmp/mic-link-bench-XXXXXX";
    root = ::mkdtemp(pattern);
    for (const char* v : {"XDG_RUNTIME_DIR", "WINPORT_DATA_ROOT", "XDG_CONFIG_HOME", "WINPORT_REGISTRY_DIR"}) {
        std::string dir = root + "/" + v;
        std::filesystem::create_directories(dir);
        ::setenv(v, dir.c_str(), 1);
    }
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    });
}

// units: units on the line (0: the change waits for the polls' time-outs).
void BM_QueuedChangeToWire(benchmark::State& state)
{
    PrivateFolders();
    const int units = static_cast<int>(state.range(0));
    FarEnd far(units);
    ::setenv("WINPORT_COM3", far.Path().c_str(), 1);
    winport::SetProfileName("micUlvo.ini");
    winport::WriteProfileInt("Settings", "Communication Port", 3);
    winport::WriteProfileInt("Settings", "Auto Restore", 0);
    HeadlessShell shell;
    CMicDlg dlg(nullptr, &shell);
    if (!dlg.Create() || dlg.OpenPortNumber() != 3) {
        state.SkipWithError("the pseudo-terminal did not open");
        return;
    }
    if (units > 0 && !RunUntil([&] { return dlg.RespondingUnits() == units && dlg.IsRingEmpty(); }, 20000)) {
        state.SkipWithError("the units were not found");
        return;
    }
    int step = 0;
    double total = 0, worst = 0;
    for (auto _ : state) {
        int before = far.Count(0x11);
        dlg.m_RackSetup.SetChannelStatus(0, 0, 3 + (++step % 10));
        Clock::time_point queued = Clock::now();
        dlg.SendChannelCommand(0, 0);
        if (!RunUntil([&] { return far.Count(0x11) > before; }, 5000)) {
            state.SkipWithError("the frame never came");
            return;
        }
        Clock::time_point arrived;
        far.Count(0x11, &arrived);
        double seconds = std::chrono::duration<double>(arrived - queued).count();
        state.SetIterationTime(seconds);
        total += seconds;
        worst = std::max(worst, seconds);
        // Let the message be answered (or given up) before the next change.
        RunUntil([&] { return dlg.IsRingEmpty() && dlg.m_Link.Peek().pendingCommand == 1; }, 2000);
    }
    const double pollPeriodMs = 60;
    double meanMs = state.iterations() ? 1000 * total / static_cast<double>(state.iterations()) : 0;
    state.counters["mean_ms"] = meanMs;
    state.counters["worst_ms"] = 1000 * worst;
    state.counters["timer_ms"] = pollPeriodMs;
    state.counters["mean_per_timer"] = meanMs / pollPeriodMs;
}

int Iterations() { return std::getenv("CONSOLE_BENCH_SMALL") ? 3 : 50; }

BENCHMARK(BM_QueuedChangeToWire)->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(Iterations());

}  // namespace

BENCHMARK_MAIN();
