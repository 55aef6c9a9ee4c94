// The conform of an event array to an item list: EDLConform with 50 items of kinds 0 to 5 (copies,
// removals, blanks, captures, and pastes of the captures) over the generated mix of 10 million
// events, beside one copy of the events and one Sort(0) of them (x_floor: the conform's time
// over the floor's). CONSOLE_BENCH_SMALL shrinks the mix.
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "MixBench.h"
#include "trevanny/AutomationPackage.h"
#include "trevanny/EDLItemList.h"

namespace {

// Fifty items over the mix's whole timeline, the kinds in turn; each paste names the capture
// three items before it.
void buildItems(CEDLItemList& items, long span)
{
    const int count = 50;
    const int length = static_cast<int>(span / count + 1);
    for (int i = 0; i < count; ++i) {
        const int kind = i % 6;
        const int reference = kind == 5 ? i - 1 : -1;  // item i - 2 (1-based: i - 1) is a capture
        items.Add(CEDLItem(kind, reference, length, "", "", ""), 0);
    }
}

void BM_EDLConform(benchmark::State& state)
{
    const std::vector<CAutomationEvent>& mix = mixbench::mix(/*large=*/true);
    CAutomationPackage package;
    package.m_bNotifyOnClose = FALSE;
    CEDLItemList items;
    buildItems(items, mix.back().m_Time);
    CAutomationEventArray events;
    CAutomationEventArray copy;
    mixbench::measure(
        state, mix.size(), [&] { mixbench::load(events, mix); },
        [&] {
            CString message;
            if (!events.EDLConform(items, "C:\\Pieces\\", "Bench", &package, message)) std::abort();
        },
        [&] { mixbench::load(events, mix); },
        [&] {
            copy.Copy(events);
            copy.Sort(CAutomationEventArray::SortByTime);
        });
}
BENCHMARK(BM_EDLConform)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
