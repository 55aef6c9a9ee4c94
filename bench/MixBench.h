// What the benchmarks on generated mixes share: a private registry (the console settings
// default to a console of type 3, path mode 2), the mixes of 1 and 10 million events (made
// once per program), and the measurement of an operation beside its floor.
// CONSOLE_BENCH_NO_HUGE_PAGES switches transparent huge pages off for the whole program
// (prctl PR_SET_THP_DISABLE, before anything is allocated), as on a system that has none; the
// context line "huge_pages" says which way a run went.
#pragma once

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "../testsupport/TestEnvironment.h"
#include "MixGenerator.h"
#include "trevanny/AutomationEventArray.h"

namespace mixbench {

/// Set before main, so that every mapping of the program (the mixes too) is made without huge pages.
inline const bool kHugePagesOff = [] {
    const bool off = std::getenv("CONSOLE_BENCH_NO_HUGE_PAGES") != nullptr;
    if (off && ::prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0) != 0) {
        std::perror("CONSOLE_BENCH_NO_HUGE_PAGES: prctl(PR_SET_THP_DISABLE)");
        std::exit(1);
    }
    benchmark::AddCustomContext("huge_pages", off ? "off (CONSOLE_BENCH_NO_HUGE_PAGES)" : "as the system gives them");
    return off;
}();

inline TestEnvironment& environment()
{
    static TestEnvironment env;
    return env;
}

/// Writes and gives back `bytes` of fresh memory. On a virtual machine whose host takes back
/// the memory its guest has freed, the first touch of that memory after a pause costs ten
/// times an ordinary first touch (320 MB: 490-900 ms against 48 ms here); whichever operation
/// or floor of a case came first would pay it. Made before the first case of each mix.
inline void touchFreshMemory(size_t bytes)
{
    void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return;
    ::madvise(block, bytes, MADV_HUGEPAGE);
    std::memset(block, 1, bytes);
    ::munmap(block, bytes);
}

/// The large (10M) or the smaller (1M) mix; CONSOLE_BENCH_SMALL shrinks both.
inline const std::vector<CAutomationEvent>& mix(bool large)
{
    static std::map<bool, std::vector<CAutomationEvent>> mixes;
    auto it = mixes.find(large);
    if (it == mixes.end()) {
        it = mixes.emplace(large, GenerateMix(MixSize(large))).first;
        // The array, the sort's scratch and the floors' copies of the events.
        touchFreshMemory(4 * it->second.size() * sizeof(CAutomationEvent));
    }
    return it->second;
}

inline void load(CAutomationEventArray& a, const std::vector<CAutomationEvent>& events)
{
    a.SetSize(static_cast<INT_PTR>(events.size()));
    std::memcpy(static_cast<void*>(a.GetData()), events.data(), events.size() * sizeof(CAutomationEvent));
}

/// The floor of a save: the same bytes written as a plain file and made durable (a save syncs
/// its file).
inline void writePlain(const std::string& path, const void* bytes, size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes, size) != static_cast<ssize_t>(size) || ::fdatasync(fd) != 0) std::abort();
    ::close(fd);
}

/// The floor of a load: one pread of the bytes into new memory, as a loader's result is (the
/// page faults belong to the floor too).
inline void readPlain(const std::string& path, size_t size)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    void* bytes = std::malloc(size);
    if (fd < 0 || !bytes || ::pread(fd, bytes, size, 0) != static_cast<ssize_t>(size)) std::abort();
    benchmark::DoNotOptimize(bytes);
    std::free(bytes);
    ::close(fd);
}

/// The process's resident memory (VmRSS) or its peak (VmHWM) since ResetPeak, in bytes.
inline void ResetPeakMemory()
{
    const int fd = ::open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
    if (fd < 0) return;
    if (::write(fd, "5", 1) != 1) { /* the peak then counts from the start */ }
    ::close(fd);
}
inline double MemoryField(const char* name)
{
    FILE* in = std::fopen("/proc/self/status", "r");
    char line[256];
    double kb = 0;
    while (in && std::fgets(line, sizeof line, in)) {
        if (std::strncmp(line, name, std::strlen(name)) == 0) kb = std::atof(line + std::strlen(name));
    }
    if (in) std::fclose(in);
    return kb * 1024;
}

inline double secondsOf(const std::function<void()>& run)
{
    auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// The time of a run: elapsed, and on the processor (this thread's, page faults included), which
/// other work on a loaded machine does not lengthen.
struct RunTime {
    double wall = 0;
    double cpu = 0;
    RunTime& operator+=(const RunTime& t)
    {
        wall += t.wall;
        cpu += t.cpu;
        return *this;
    }
};
inline double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}
inline RunTime timeOf(const std::function<void()>& run)
{
    const double cpu = threadCpuSeconds();
    const double wall = secondsOf(run);
    return {wall, threadCpuSeconds() - cpu};
}

/// Each iteration: setup (not timed), the operation (timed), then the floor's own setup and the
/// floor, timed apart. x_floor is the operation's time over the floor's, x_floor_cpu the same
/// on the processor. `each` (when given) receives the times of every operation and floor.
inline void measure(benchmark::State& state, size_t events, const std::function<void()>& setup,
                    const std::function<void()>& run, const std::function<void()>& floorSetup,
                    const std::function<void()>& floor, std::vector<std::pair<RunTime, RunTime>>* each = nullptr)
{
    RunTime total, floorTotal;
    for (auto _ : state) {
        state.PauseTiming();
        setup();
        state.ResumeTiming();
        const RunTime t = timeOf(run);
        state.PauseTiming();
        floorSetup();
        const RunTime f = timeOf(floor);
        state.ResumeTiming();
        total += t;
        floorTotal += f;
        if (each) each->emplace_back(t, f);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * events));
    state.counters["x_floor"] = total.wall / floorTotal.wall;
    state.counters["x_floor_cpu"] = total.cpu / floorTotal.cpu;
}

}  // namespace mixbench
