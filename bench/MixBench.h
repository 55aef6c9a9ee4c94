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

/// The floor of a save: the same bytes written as a plain file.
inline void writePlain(const std::string& path, const void* bytes, size_t size)
{
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(bytes, 1, size, out) != size) std::abort();
    std::fclose(out);
}

/// The floor of a load: the bytes read into new memory, as a loader's result is (the page faults
/// belong to the floor too).
inline void readPlain(const std::string& path, size_t size)
{
    FILE* in = std::fopen(path.c_str(), "rb");
    void* bytes = std::malloc(size);
    if (!in || !bytes || std::fread(bytes, 1, size, in) != size) std::abort();
    benchmark::DoNotOptimize(bytes);
    std::free(bytes);
    std::fclose(in);
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
