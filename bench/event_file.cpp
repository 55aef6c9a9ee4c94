// The automation event file: Save and Load of a generated mix of 10 million events (200 MB of
// records), each beside its floor on the same record bytes as a plain file, reported as the
// ratio x_floor: a write and an fdatasync for Save, one pread into new memory for Load. Load
// also reports its peak memory over the bytes of the events it made (peak_x_events).
// CONSOLE_BENCH_SMALL shrinks the mix to 200 thousand events.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

#include <benchmark/benchmark.h>

#include "../testsupport/TestEnvironment.h"
#include "MixBench.h"
#include "trevanny/AutomationEventArray.h"
#include "winport/Storage.h"

namespace {

// A private registry (a console of type 3, path mode 2: wide records) and folder.
TestEnvironment& environment()
{
    static TestEnvironment env;
    return env;
}

CAutomationEventArray& events()
{
    static CAutomationEventArray* a = [] {
        environment();
        auto* array = new CAutomationEventArray;
        const std::vector<CAutomationEvent> mix = mixbench::GenerateMix(mixbench::MixSize(/*large=*/true));
        array->SetSize(static_cast<INT_PTR>(mix.size()));
        std::memcpy(static_cast<void*>(array->GetData()), mix.data(), mix.size() * sizeof(CAutomationEvent));
        return array;
    }();
    return *a;
}

size_t recordBytes() { return static_cast<size_t>(events().GetSize()) * 20; }

double secondsOf(const std::function<void()>& run)
{
    auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void measure(benchmark::State& state, const std::function<void()>& run, const std::function<void()>& floor)
{
    double seconds = 0;
    double floorSeconds = 0;
    for (auto _ : state) {
        seconds += secondsOf(run);
        state.PauseTiming();
        floorSeconds += secondsOf(floor);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * recordBytes()));
    state.counters["x_floor"] = seconds / floorSeconds;
}

void BM_SaveEvents(benchmark::State& state)
{
    const std::string path = environment().Path("mix.aut");
    const std::string plain = environment().Path("mix.raw");
    std::vector<BYTE> bytes(recordBytes(), 0x5A);
    measure(
        state,
        [&] {
            std::filesystem::remove(path);
            if (!events().Save(path.c_str())) std::abort();
        },
        [&] {
            std::filesystem::remove(plain);
            mixbench::writePlain(plain, bytes.data(), bytes.size());
        });
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
}
BENCHMARK(BM_SaveEvents)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_LoadEvents(benchmark::State& state)
{
    const std::string path = environment().Path("mix.aut");
    const std::string plain = environment().Path("mix.raw");
    std::vector<BYTE> bytes(recordBytes(), 0x5A);
    if (!events().Save(path.c_str())) std::abort();
    mixbench::writePlain(plain, bytes.data(), bytes.size());
    double peak = 0;
    measure(
        state,
        [&] {
            mixbench::ResetPeakMemory();
            const double before = mixbench::MemoryField("VmRSS:");
            CAutomationEventArray loaded;  // a new array, as a loaded mix pass has
            if (!loaded.Load(path.c_str()) || loaded.GetSize() != events().GetSize()) std::abort();
            peak = std::max(peak, mixbench::MemoryField("VmHWM:") - before);
        },
        [&] { mixbench::readPlain(plain, bytes.size()); });
    // The most memory a load took, over the bytes of the events it made.
    state.counters["peak_x_events"] = peak / static_cast<double>(events().GetSize() * sizeof(CAutomationEvent));
}
BENCHMARK(BM_LoadEvents)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
