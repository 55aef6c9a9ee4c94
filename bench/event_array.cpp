// The event array on generated mixes of 1 and 10 million events, each operation beside its
// floor in the same run, reported as the ratio x_floor (time of the operation over time of the
// floor on the same bytes):
//   AddAtTime in time order       beside a memcpy of the events into new memory
//   Sort in each order            beside std::stable_sort, qsort with a subtracting comparison
//                                 and an LSD radix sort of the whole key in scratch memory
//                                 like Sort's
//   a 500-event filtered page     beside a memcpy of 500 events
//   FetchRecords of the array     beside a memcpy of the events
// CONSOLE_BENCH_SMALL shrinks the mixes to 20 and 200 thousand events; CONSOLE_BENCH_NO_HUGE_PAGES
// runs everything without transparent huge pages (MixBench.h).
#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "MixBench.h"
#include "trevanny/AutomationEventArray.h"

namespace {

using namespace mixbench;

void BM_AddAtTime(benchmark::State& state)
{
    environment();
    const auto& events = mix(state.range(0) != 0);
    CAutomationEventArray a;
    const size_t bytes = events.size() * sizeof(CAutomationEvent);
    measure(
        state, events.size(), [&] { a.RemoveAll(); },
        [&] {
            for (const auto& e : events) a.AddAtTime(e);
        },
        [] {},
        [&] {
            // Into new memory, as the array's own storage is: the page faults belong to the floor.
            void* copy = std::malloc(bytes);
            std::memcpy(copy, events.data(), bytes);
            benchmark::DoNotOptimize(copy);
            std::free(copy);
        });
    if (a.GetSize() != static_cast<INT_PTR>(events.size())) state.SkipWithError("events lost");
}
BENCHMARK(BM_AddAtTime)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// A plain lexicographic comparison of the same keys: the floor of each order.
struct PlainOrder {
    int mode;
    bool operator()(const CAutomationEvent& a, const CAutomationEvent& b) const
    {
        auto p = [](const CAutomationEvent& e) { return static_cast<int32_t>(e.m_Path); };
        switch (mode) {
        case 0: return std::tuple(a.m_Time, p(a), a.GetProcessNumber(), a.GetControlNumber()) <
                       std::tuple(b.m_Time, p(b), b.GetProcessNumber(), b.GetControlNumber());
        case 1: return std::tuple(p(a), a.GetProcessNumber(), a.GetControlNumber(), a.m_Time) <
                       std::tuple(p(b), b.GetProcessNumber(), b.GetControlNumber(), b.m_Time);
        default: return std::tuple(p(a), a.m_Time, a.GetProcessNumber(), a.GetControlNumber()) <
                        std::tuple(p(b), b.m_Time, b.GetProcessNumber(), b.GetControlNumber());
        }
    }
};

// The three floors of a sort, on the same records: std::stable_sort with a plain comparison,
// qsort with a comparison as the system's original one was written (subtracting the keys), and
// an LSD radix sort of the whole key. The radix floor does the work Sort would do without
// looking at the order the events are in: it sorts on every key word of the order, skips the
// bits that every event shares, takes digits of at most 11 bits, and works in fresh scratch
// memory of the same kind as Sort's (a new CEventSortScratch each time).
int qsortCompare(const void* pa, const void* pb, int mode)
{
    const auto& a = *static_cast<const CAutomationEvent*>(pa);
    const auto& b = *static_cast<const CAutomationEvent*>(pb);
    const int64_t time = int64_t{a.m_Time} - b.m_Time;
    const int64_t path = int64_t{static_cast<int32_t>(a.m_Path)} - static_cast<int32_t>(b.m_Path);
    const int control = (a.GetProcessNumber() << 8 | a.GetControlNumber()) - (b.GetProcessNumber() << 8 | b.GetControlNumber());
    const int64_t keys[3][3] = {{time, path, control}, {path, control, time}, {path, time, control}};
    for (int64_t k : keys[mode])
        if (k != 0) return k < 0 ? -1 : 1;
    return 0;
}
int qsortTime(const void* a, const void* b) { return qsortCompare(a, b, 0); }
int qsortPathControl(const void* a, const void* b) { return qsortCompare(a, b, 1); }
int qsortPathTime(const void* a, const void* b) { return qsortCompare(a, b, 2); }

void radixFloor(std::vector<CAutomationEvent>& v, int mode)
{
    auto word = [](const CAutomationEvent& e, int w) -> uint32_t {
        switch (w) {
        case 0: return static_cast<uint32_t>(e.m_Time) ^ 0x80000000u;
        case 1: return e.m_Path ^ 0x80000000u;
        default: return uint32_t{e.GetProcessNumber()} << 8 | e.GetControlNumber();
        }
    };
    const size_t n = v.size();
    if (n < 2) return;
    uint32_t varying[3] = {};
    for (const auto& e : v)
        for (int w = 0; w < 3; ++w) varying[w] |= word(e, w) ^ word(v[0], w);
    // The digits, least significant first: windows of up to 11 bits from each lowest varying bit.
    struct Digit {
        int word;
        unsigned shift;
        uint32_t mask;
    };
    std::vector<Digit> digits;
    const int words[3][3] = {{0, 1, 2}, {1, 2, 0}, {1, 0, 2}};
    for (int k = 2; k >= 0; --k) {
        const int w = words[mode][k];
        for (uint64_t rest = varying[w]; rest != 0;) {
            const auto lo = static_cast<unsigned>(std::countr_zero(rest));
            digits.push_back({w, lo, 0x7FFu});
            rest &= ~((uint64_t{1} << (lo + 11)) - 1);
        }
    }
    std::vector<std::vector<uint32_t>> counts(digits.size(), std::vector<uint32_t>(2048));
    for (const auto& e : v)
        for (size_t d = 0; d < digits.size(); ++d) counts[d][(word(e, digits[d].word) >> digits[d].shift) & digits[d].mask]++;
    CEventSortScratch scratch;
    CAutomationEvent* src = v.data();
    auto* dst = reinterpret_cast<CAutomationEvent*>(scratch.Reserve(n * sizeof(CAutomationEvent)));
    for (size_t d = 0; d < digits.size(); ++d) {
        uint32_t sum = 0;
        for (uint32_t& c : counts[d]) sum += std::exchange(c, sum);
        for (const CAutomationEvent* e = src; e != src + n; ++e)
            std::memcpy(static_cast<void*>(dst + counts[d][(word(*e, digits[d].word) >> digits[d].shift) & digits[d].mask]++), e,
                        sizeof *e);
        std::swap(src, dst);
    }
    if (src != v.data()) std::memcpy(static_cast<void*>(v.data()), src, n * sizeof(CAutomationEvent));
}

// Sorts a mix into the order `mode` from the order the channel edits meet it in (orders 1 and
// 2 from time order, order 0 from order 1: an edit puts its result back into time order) or
// from random order, beside one floor. Each case sorts the same array twice.
void BM_Sort(benchmark::State& state)
{
    environment();
    const int mode = static_cast<int>(state.range(0));
    const int floorKind = static_cast<int>(state.range(2));
    std::vector<CAutomationEvent> input = mix(state.range(1) != 0);
    if (state.range(3) != 0) {
        uint64_t seed = 99;
        for (size_t i = input.size(); i > 1; --i) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            std::swap(input[i - 1], input[(seed >> 33) % i]);
        }
    } else if (mode == 0) {
        std::stable_sort(input.begin(), input.end(), PlainOrder{1});
    }
    CAutomationEventArray a;
    std::vector<CAutomationEvent> floorCopy;
    int (*const compares[3])(const void*, const void*) = {qsortTime, qsortPathControl, qsortPathTime};
    std::vector<std::pair<RunTime, RunTime>> each;
    measure(
        state, input.size(), [&] { load(a, input); }, [&] { a.Sort(static_cast<CAutomationEventArray::SortMode>(mode)); },
        [&] { floorCopy = input; },
        [&] {
            if (floorKind == 0) std::stable_sort(floorCopy.begin(), floorCopy.end(), PlainOrder{mode});
            else if (floorKind == 1) std::qsort(floorCopy.data(), floorCopy.size(), sizeof(CAutomationEvent), compares[mode]);
            else radixFloor(floorCopy, mode);
        },
        &each);
    if (floorKind != 1 && std::memcmp(a.GetData(), floorCopy.data(), input.size() * sizeof(CAutomationEvent)) != 0)
        state.SkipWithError("orders differ");
    // The first sort (its scratch space fresh, as the floors' always is) over the first floor,
    // and the second sort of the same array (it may find the first one's scratch space) over
    // the first, on the processor.
    if (each.size() >= 2) {
        state.counters["first_x_floor_cpu"] = each[0].first.cpu / each[0].second.cpu;
        state.counters["second_x_first_cpu"] = each[1].first.cpu / each[0].first.cpu;
    }
}
BENCHMARK(BM_Sort)
    ->ArgsProduct({{0, 1, 2}, {0, 1}, {0, 1, 2}, {0, 1}})
    ->ArgNames({"mode", "large", "floor", "random"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

// One page of 500 events from the middle of the mix: every fader level, or the fader levels of
// one path in ten.
void BM_FilteredPage(benchmark::State& state)
{
    environment();
    const bool someChannels = state.range(0) != 0;
    CAutomationEventArray a;
    load(a, mix(state.range(1) != 0));
    CEventFilter filter;
    filter.AddPair(14, 0);
    if (someChannels) {
        for (int p = 0; p < 300; p += 10) filter.m_ChannelList.Add(p);
    }
    filter.m_nStartTime = a[a.GetSize() / 2].GetTime();
    CAutomationEventArray out;
    std::vector<CAutomationEvent> floorOut(500);
    int walked = 0;
    measure(
        state, 500, [] {},
        [&] {
            int next = 0;
            if (a.GetFilteredEvents(filter, 500, next, out, 1) != 500) std::abort();
            walked = next - a.GetAtTime(filter.m_nStartTime, 0);
        },
        [] {}, [&] { std::memcpy(static_cast<void*>(floorOut.data()), a.GetData() + a.GetSize() / 2, 500 * sizeof(CAutomationEvent)); });
    benchmark::DoNotOptimize(floorOut.data());
    state.counters["walked"] = walked;
}
BENCHMARK(BM_FilteredPage)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"someChannels", "large"})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Iterations(200);

void BM_FetchRecords(benchmark::State& state)
{
    environment();
    CAutomationEventArray a;
    load(a, mix(state.range(0) != 0));
    const size_t n = static_cast<size_t>(a.GetSize());
    std::vector<BYTE> out(n * static_cast<size_t>(a.GetRecordSize()));
    std::vector<BYTE> floorOut(n * sizeof(CAutomationEvent));
    measure(
        state, n, [] {}, [&] { a.FetchRecords(static_cast<int>(n), 0, out.data()); }, [] {},
        [&] { std::memcpy(floorOut.data(), a.GetData(), floorOut.size()); });
    benchmark::DoNotOptimize(out.data());
    state.counters["record_bytes"] = a.GetRecordSize();
}
BENCHMARK(BM_FetchRecords)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
