// The channel edits on generated mixes of 1 and 10 million events, each beside the two sorts
// it contains (std::stable_sort of the same events into path order, then back into time
// order), reported as the ratio x_floor:
//   CopyChannelData   the window [1/4, 1/2) of the mix's time of path 0, laid onto paths 1 to
//                     100 at 3/4 of the mix's time, with ramps in and out
//   EraseChannelData  [1/4, 1/2) of paths 0 to 99, every control, ramped at the end
//   ThinAutoData      strength 1 with a fader threshold of 3, the whole mix on paths 0 to 99
//   IsolateChannelData  [1/4, 1/2] of paths 0 to 99 moved to 3/4 of the mix's time
//   WholeMixErase     EraseChannelData(firstRouteProcess, pathMap) of [1/4, 1/2] of paths 0 to 99
// CONSOLE_BENCH_SMALL shrinks the mixes to 20 and 200 thousand events.
#include <algorithm>
#include <functional>
#include <tuple>
#include <vector>

#include "MixBench.h"

namespace {

using namespace mixbench;
using TD = CAutomationEventArray::TimeDirection;

void twoSorts(std::vector<CAutomationEvent>& events)
{
    std::stable_sort(events.begin(), events.end(), [](const CAutomationEvent& a, const CAutomationEvent& b) {
        return std::tuple(static_cast<int32_t>(a.m_Path), a.GetProcessNumber(), a.GetControlNumber(), a.m_Time) <
               std::tuple(static_cast<int32_t>(b.m_Path), b.GetProcessNumber(), b.GetControlNumber(), b.m_Time);
    });
    std::stable_sort(events.begin(), events.end(), [](const CAutomationEvent& a, const CAutomationEvent& b) {
        return std::tuple(a.m_Time, static_cast<int32_t>(a.m_Path), a.GetProcessNumber(), a.GetControlNumber()) <
               std::tuple(b.m_Time, static_cast<int32_t>(b.m_Path), b.GetProcessNumber(), b.GetControlNumber());
    });
}

void setWindow(CAutomationEventArray& a, const std::vector<CAutomationEvent>& events, int firstChannel, int channels)
{
    const long span = events.back().m_Time;
    a.m_Filter.m_nStartTime = span / 4;
    a.m_Filter.m_nEndTime = span / 2;
    a.m_Filter.m_nNewStartTime = span / 4 * 3;
    a.m_Filter.m_ChannelList.RemoveAll();
    a.m_Filter.m_DestChannelList.RemoveAll();
    for (int c = 0; c < channels; ++c) a.m_Filter.m_ChannelList.Add(firstChannel + c);
    for (int c = 1; c <= 100; ++c) a.m_Filter.m_DestChannelList.Add(c);
}

// Loads the mix with the window of `channels` channels from 0 before each run of the edit.
void measureEdit(benchmark::State& state, int channels, const std::function<void(CAutomationEventArray&, const CPathMap&)>& edit)
{
    environment();
    const auto& events = mix(state.range(0) != 0);
    CAutomationEventArray a;
    CPathMap sections("PathMap");
    std::vector<CAutomationEvent> floorEvents;
    measure(
        state, events.size(),
        [&] {
            load(a, events);
            setWindow(a, events, 0, channels);
        },
        [&] { edit(a, sections); }, [&] { floorEvents = events; }, [&] { twoSorts(floorEvents); });
    state.counters["events_after"] = static_cast<double>(a.GetSize());
}

void BM_CopyChannelData(benchmark::State& state)
{
    measureEdit(state, 1, [](CAutomationEventArray& a, const CPathMap& sections) {
        a.CopyChannelData(1, 40, TD::RampBackward, TD::RampForward, 40, sections);
    });
}
BENCHMARK(BM_CopyChannelData)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_EraseChannelData(benchmark::State& state)
{
    measureEdit(state, 100, [](CAutomationEventArray& a, const CPathMap& sections) {
        a.EraseChannelData(1, 40, TD::RampForward, 40, sections);
    });
}
BENCHMARK(BM_EraseChannelData)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_ThinAutoData(benchmark::State& state)
{
    measureEdit(state, 100, [](CAutomationEventArray& a, const CPathMap& sections) {
        a.m_Filter.m_nStartTime = -1;
        a.m_Filter.m_nEndTime = -1;
        benchmark::DoNotOptimize(a.ThinAutoData(40, sections, 1, 3));
    });
}
BENCHMARK(BM_ThinAutoData)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_IsolateChannelData(benchmark::State& state)
{
    measureEdit(state, 100, [](CAutomationEventArray& a, const CPathMap& sections) { a.IsolateChannelData(40, sections); });
}
BENCHMARK(BM_IsolateChannelData)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_WholeMixErase(benchmark::State& state)
{
    measureEdit(state, 100, [](CAutomationEventArray& a, const CPathMap& sections) { a.EraseChannelData(40, sections); });
}
BENCHMARK(BM_WholeMixErase)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
