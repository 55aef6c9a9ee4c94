// What the benchmarks on generated mixes share: a private registry (the console settings
// default to a console of type 3, path mode 2), the mixes of 1 and 10 million events (made
// once per program), and the measurement of an operation beside its floor.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <functional>
#include <map>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "../testsupport/TestEnvironment.h"
#include "MixGenerator.h"
#include "trevanny/AutomationEventArray.h"

namespace mixbench {

inline TestEnvironment& environment()
{
    static TestEnvironment env;
    return env;
}

/// The large (10M) or the smaller (1M) mix; CONSOLE_BENCH_SMALL shrinks both.
inline const std::vector<CAutomationEvent>& mix(bool large)
{
    static std::map<bool, std::vector<CAutomationEvent>> mixes;
    auto it = mixes.find(large);
    if (it == mixes.end()) it = mixes.emplace(large, GenerateMix(MixSize(large))).first;
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

/// Each iteration: setup (not timed), the operation (timed), then the floor's own setup and the
/// floor, timed apart. x_floor is the operation's time over the floor's.
inline void measure(benchmark::State& state, size_t events, const std::function<void()>& setup,
                    const std::function<void()>& run, const std::function<void()>& floorSetup,
                    const std::function<void()>& floor)
{
    double seconds = 0;
    double floorSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        setup();
        state.ResumeTiming();
        seconds += secondsOf(run);
        state.PauseTiming();
        floorSetup();
        floorSeconds += secondsOf(floor);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * events));
    state.counters["x_floor"] = seconds / floorSeconds;
}

}  // namespace mixbench
