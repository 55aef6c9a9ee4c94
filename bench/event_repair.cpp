// The whole-array repairs on generated mixes of 1 and 10 million events, each beside its floor
// in the same run, reported as the ratio x_floor:
//   BuildControlIndex        beside the direct-index merge (two tables of 2000 x 468 x 9 slots,
//                            filled with -1, and a separate output) of the same events
//   SetOldValues             beside a memcpy of the events
//   PlayTo to the end        beside a memcpy of the events
//   DoTranslatePaths         (2000 pairs) beside a memcpy of the events
// CONSOLE_BENCH_SMALL shrinks the mixes to 20 and 200 thousand events.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "MixBench.h"
#include "trevanny/ChannelStateTable.h"

namespace {

using namespace mixbench;

// The merge done with a direct index of every (path, process slot, control).
std::vector<CAutomationEvent> directIndexMerge(const std::vector<CAutomationEvent>& in)
{
    constexpr size_t kSlots = 2000 * 468 * 9;
    std::vector<int32_t> times(kSlots, -1);
    std::vector<int32_t> kept(kSlots, -1);
    std::vector<CAutomationEvent> out;
    out.reserve(in.size());
    for (const CAutomationEvent& e : in) {
        if (e.m_Path < 2000 && e.GetControlNumber() < 9) {
            const size_t slot = (e.m_Path * 468 + e.GetProcessNumber()) * 9 + e.GetControlNumber();
            if (kept[slot] >= 0 && times[slot] == e.m_Time) {
                out[static_cast<size_t>(kept[slot])].SetValue(e.GetValue());
                continue;
            }
            times[slot] = e.m_Time;
            kept[slot] = static_cast<int32_t>(out.size());
        }
        out.push_back(e);
    }
    return out;
}

void memcpyFloor(const std::vector<CAutomationEvent>& events, std::vector<CAutomationEvent>& copy)
{
    std::memcpy(static_cast<void*>(copy.data()), events.data(), events.size() * sizeof(CAutomationEvent));
    benchmark::DoNotOptimize(copy.data());
}

void BM_BuildControlIndex(benchmark::State& state)
{
    environment();
    const auto& events = mix(state.range(0) != 0);
    CAutomationEventArray a;
    std::vector<CAutomationEvent> floorOut;
    int merged = 0;
    measure(
        state, events.size(), [&] { load(a, events); }, [&] { merged = a.BuildControlIndex(); }, [] {},
        [&] { floorOut = directIndexMerge(events); });
    if (floorOut.size() != static_cast<size_t>(a.GetSize()) ||
        std::memcmp(floorOut.data(), a.GetData(), floorOut.size() * sizeof(CAutomationEvent)) != 0)
        state.SkipWithError("merges differ");
    state.counters["merged"] = merged;
}
BENCHMARK(BM_BuildControlIndex)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_SetOldValues(benchmark::State& state)
{
    environment();
    const auto& events = mix(state.range(0) != 0);
    CAutomationEventArray a;
    load(a, events);
    CPathMap sections("PathMap");
    for (int v : {0, 100, 100, 100, 200, 100}) sections.Add(v);
    std::vector<CAutomationEvent> copy(events.size());
    measure(state, events.size(), [] {}, [&] { a.SetOldValues(40, sections); }, [] {}, [&] { memcpyFloor(events, copy); });
}
BENCHMARK(BM_SetOldValues)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_PlayToEnd(benchmark::State& state)
{
    environment();
    const auto& events = mix(state.range(0) != 0);
    CAutomationEventArray a;
    load(a, events);
    std::vector<CAutomationEvent> copy(events.size());
    measure(
        state, events.size(), [] {},
        [&] {
            CChannelStateTable table(&a, 40, nullptr, 0, nullptr);
            table.PlayTo(events.back().m_Time, false);
            benchmark::DoNotOptimize(table.GetValues());
        },
        [] {}, [&] { memcpyFloor(events, copy); });
}
BENCHMARK(BM_PlayToEnd)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_DoTranslatePaths(benchmark::State& state)
{
    environment();
    const auto& events = mix(state.range(0) != 0);
    CAutomationEventArray a;
    CTranslationPairArray pairs;
    for (DWORD p = 0; p < 2000; ++p) pairs.Add({p, (p + 1) % 2000});
    std::vector<CAutomationEvent> copy(events.size());
    measure(
        state, events.size(), [&] { load(a, events); }, [&] { a.DoTranslatePaths(pairs); }, [] {},
        [&] { memcpyFloor(events, copy); });
    if (a[0].GetPath() != (events[0].m_Path + 1) % 2000) state.SkipWithError("paths not moved");
}
BENCHMARK(BM_DoTranslatePaths)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
