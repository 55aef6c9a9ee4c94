// Mix pass storage: Save and Load of a pass holding the generated mix of 10 million events, in
// the compound form (20-byte records) and the indexed form (16-byte records, compressed in
// chunks as "CompressedAuto" has it by default), each beside writing or reading the same record
// bytes as a plain file (x_floor) and, for the indexed form, beside compress2 at level 1 or
// uncompress of them (x_zlib). The pause before each compressed chunk runs in virtual time (no
// pause). A save replaces the file of the run before. CONSOLE_BENCH_SMALL shrinks the mix.
// Beside them, the making of a new package.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include <benchmark/benchmark.h>
#include <zlib.h>

#include "MixBench.h"
#include "trevanny/AutomationPackage.h"
#include "winport/Clock.h"

namespace {

winport::ManualClock g_clock;

CAutomationPackage& pass()
{
    static CAutomationPackage* p = [] {
        mixbench::environment();
        winport::SetClock(&g_clock);
        auto* made = new CAutomationPackage;
        made->m_bNotifyOnClose = FALSE;
        mixbench::load(*made, mixbench::mix(/*large=*/true));
        return made;
    }();
    return *p;
}

size_t recordBytes(bool indexed) { return static_cast<size_t>(pass().GetSize()) * (indexed ? 16 : 20); }

std::string pathOf(bool indexed) { return mixbench::environment().Path(indexed ? "pass.autx" : "pass.aut"); }

// The whole event block compressed at level 1 (as the indexed file's chunks are).
std::vector<Bytef>& packed()
{
    static std::vector<Bytef> p = [] {
        const size_t size = recordBytes(true);
        uLongf length = compressBound(static_cast<uLong>(size));
        std::vector<Bytef> out(length);
        if (compress2(out.data(), &length, reinterpret_cast<const Bytef*>(pass().GetData()), static_cast<uLong>(size), 1) != Z_OK)
            std::abort();
        out.resize(length);
        return out;
    }();
    return p;
}

void measure(benchmark::State& state, bool indexed, const std::function<void()>& run, const std::function<void()>& plain,
             const std::function<void()>& zlib)
{
    double seconds = 0, plainSeconds = 0, zlibSeconds = 0;
    for (auto _ : state) {
        seconds += mixbench::secondsOf(run);
        state.PauseTiming();
        plainSeconds += mixbench::secondsOf(plain);
        if (indexed) zlibSeconds += mixbench::secondsOf(zlib);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * pass().GetSize()));
    state.counters["x_floor"] = seconds / plainSeconds;
    if (indexed) state.counters["x_zlib"] = seconds / zlibSeconds;
}

void BM_MixPassSave(benchmark::State& state)
{
    const bool indexed = state.range(0) != 0;
    CAutomationPackage& p = pass();
    p.SetPathName(pathOf(indexed).c_str());
    const std::string plain = mixbench::environment().Path("plain.bin");
    measure(
        state, indexed, [&] { if (!p.Save(indexed ? TRUE : FALSE)) std::abort(); },
        [&] { mixbench::writePlain(plain, p.GetData(), recordBytes(indexed)); },
        [&] {
            const size_t size = recordBytes(true);
            uLongf length = compressBound(static_cast<uLong>(size));
            std::vector<Bytef> out(length);
            compress2(out.data(), &length, reinterpret_cast<const Bytef*>(p.GetData()), static_cast<uLong>(size), 1);
            benchmark::DoNotOptimize(out.data());
        });
}
BENCHMARK(BM_MixPassSave)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MixPassLoad(benchmark::State& state)
{
    const bool indexed = state.range(0) != 0;
    CAutomationPackage& p = pass();
    p.SetPathName(pathOf(indexed).c_str());
    if (!p.Save(indexed ? TRUE : FALSE)) std::abort();
    const std::string plain = mixbench::environment().Path("plain.bin");
    mixbench::writePlain(plain, p.GetData(), recordBytes(indexed));
    packed();
    measure(
        state, indexed,
        [&] {
            CAutomationPackage loaded;
            loaded.m_bNotifyOnClose = FALSE;
            loaded.SetPathName(pathOf(indexed).c_str());
            loaded.Load();
            if (loaded.GetSize() != p.GetSize()) std::abort();
        },
        [&] { mixbench::readPlain(plain, recordBytes(indexed)); },
        [&] {
            uLongf length = static_cast<uLongf>(recordBytes(true));
            std::vector<Bytef> out(length);
            uncompress(out.data(), &length, packed().data(), static_cast<uLong>(packed().size()));
            benchmark::DoNotOptimize(out.data());
        });
}
BENCHMARK(BM_MixPassLoad)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A new package of the large console (2000 paths: a gang map of 8 MB that reads no gang) and its
// destruction, beside filling the same bytes of fresh memory with 0xFFFF, as a package's gang
// map was once made (x_fill).
void BM_NewPackage(benchmark::State& state)
{
    mixbench::environment();
    const size_t bytes = size_t{2000} * 2000 * sizeof(WORD);
    double seconds = 0, fillSeconds = 0;
    for (auto _ : state) {
        seconds += mixbench::secondsOf([] {
            CAutomationPackage made;
            made.m_bNotifyOnClose = FALSE;
            benchmark::DoNotOptimize(made.m_GangMap.GetSize());
        });
        state.PauseTiming();
        fillSeconds += mixbench::secondsOf([bytes] {
            void* p = std::malloc(bytes);
            if (!p) std::abort();
            std::memset(p, 0xFF, bytes);
            benchmark::DoNotOptimize(p);
            std::free(p);
        });
        state.ResumeTiming();
    }
    state.counters["x_fill"] = seconds / fillSeconds;
}
BENCHMARK(BM_NewPackage)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
