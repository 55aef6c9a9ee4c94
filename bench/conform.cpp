// The conform of a 4M-event mix (console type 3, path mode 2) to edits of 100, 1,000 and 5,000
// pairs of 1 to 5 s segments, laid end to end from the start, their sources at random places
// of one reel (the mix itself) or of eight (eight passes of 500,000 events). Timed: the capture
// of the source ranges and the build of the destination, with the replacement of the target's
// events and their time-stamp repair; the edit list is read and the sources loaded before
// (load_s reports the load). Beside it in the same run: one std::stable_sort of the mix's 4M
// events from time order into control order (x_sort is the conform's time over the sort's). The reference method runs at 100 and 1,000
// pairs; x_fast is its time over the fast method's at the same size. peak_MB is the process's
// peak resident memory during the timed part, above_MB what it gained over its size before.
// CONSOLE_BENCH_SMALL shrinks the mix to 80,000 events and the edits to a tenth.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "MixBench.h"
#include "trevanny/ConformEngine.h"
#include "trevanny/EDLReader.h"
#include "winport/Paths.h"

namespace {

using namespace mixbench;

size_t mixEvents() { return Small() ? 80000 : 4000000; }
int pairCount(int64_t pairs) { return static_cast<int>(Small() ? pairs / 10 : pairs); }

const CString kTargetPath = "c:\\mixes\\target.aut";

std::string reelFile(int reels, int r) { return "c:\\mixes\\reel" + std::to_string(reels) + "_" + std::to_string(r); }

// The reels' passes, written once per reel count: the mix itself, or eight smaller mixes.
const std::vector<CAutomationEvent>& writeReels(int reels)
{
    static std::map<int, bool> written;
    static std::vector<CAutomationEvent> target;
    if (target.empty()) target = GenerateMix(mixEvents());
    if (written[reels]) return target;
    for (int r = 0; r < reels; ++r) {
        CAutomationEventArray pass;
        if (reels == 1) load(pass, target);
        else load(pass, GenerateMix(mixEvents() / static_cast<size_t>(reels), 1000 + static_cast<unsigned>(r)));
        const CString path = (reelFile(reels, r) + ".aut").c_str();
        winport::EnsureParentDir(winport::HostPath(path));
        pass.Save(path);
    }
    written[reels] = true;
    return target;
}

// Segments of 1 to 5 s laid end to end from 0, each from a random place of a random reel, in
// frames; the reels' passes span `span` time units.
CString writeEdit(int pairs, int reels, int span)
{
    CTimecodeSettings settings;
    int rate = 25;
    settings.ReadTimecodeFramesPerSec(rate);
    const int unitsPerFrame = std::max(1, 100 / std::max(rate, 1));
    const int spanFrames = std::max(span / unitsPerFrame, 10 * rate);
    std::mt19937 random(static_cast<unsigned>(pairs * 31 + reels));
    CEDLReelTable table;
    for (int r = 0; r < reels; ++r) {
        char name[16];
        std::snprintf(name, sizeof name, "R%02d", r);
        table.GetAt(table.Add(name, 0, 0)).m_strText2 = reelFile(reels, r).c_str();
    }
    const CString path = ("c:\\edits\\bench_" + std::to_string(pairs) + "_" + std::to_string(reels) + ".edl").c_str();
    winport::EnsureParentDir(winport::HostPath(path));
    CEDLReader writer(path, CEDLReader::enGeneric);
    writer.Open(CFile::modeCreate | CFile::modeWrite | CFile::shareDenyNone | CFile::typeBinary, nullptr);
    writer.WriteHeader(settings, table);
    int destination = 0;
    for (int i = 0; i < pairs; ++i) {
        const int length = rate + static_cast<int>(random() % static_cast<unsigned>(4 * rate + 1));
        CSourceDestItem source, item;
        source.m_nStart = static_cast<int>(random() % static_cast<unsigned>(spanFrames - length));
        item.m_nStart = destination;
        item.m_nLength = length;
        item.SetEvent(new CEDLEvent);
        item.m_pEvent->m_nReelIndex = static_cast<int>(random() % static_cast<unsigned>(reels));
        writer.WriteStoredEvent(source, item);
        destination += length;
    }
    return path;
}

// VmHWM and VmRSS of this process, in MB; writing 5 to clear_refs starts the peak again.
double statusMB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::stod(line.substr(std::strlen(field))) / 1024.0;
    }
    return 0;
}
void restartPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Seconds of the fast method by (pairs, reels), for the reference's ratio.
std::map<std::tuple<int64_t, int64_t>, double>& fastSeconds()
{
    static std::map<std::tuple<int64_t, int64_t>, double> seconds;
    return seconds;
}

void BM_Conform(benchmark::State& state)
{
    environment();
    const int pairs = pairCount(state.range(0));
    const int reels = static_cast<int>(state.range(1));
    const bool reference = state.range(2) != 0;
    const std::vector<CAutomationEvent>& mixEventsOfTarget = writeReels(reels);
    const int span = mixEventsOfTarget.back().m_Time / reels;
    const CString edit = writeEdit(pairs, reels, span);
    double capture = 0, build = 0, loading = 0, sort = 0, peak = 0, above = 0, eventsAfter = 0;
    for (auto _ : state) {
        state.PauseTiming();
        CAutomationPackage target;
        target.SetPathName(kTargetPath);
        load(target, mixEventsOfTarget);
        CConformEngine engine;
        engine.SetMethod(reference ? CConformEngine::Reference : CConformEngine::Fast);
        engine.ReadEditList(edit, FALSE);
        loading += secondsOf([&] { engine.LoadSources(&target); });
        const int firstRouteProcess = engine.FirstRouteProcess();
        CCapturedRangeArray captured;
        const double before = statusMB("VmRSS:");
        restartPeak();
        state.ResumeTiming();
        capture += secondsOf([&] { engine.CaptureSourceRanges(firstRouteProcess, 0, &target.m_PathMap, captured); });
        build += secondsOf([&] { engine.BuildDestination(&target, firstRouteProcess, 0, &target.m_PathMap, captured, FALSE); });
        state.PauseTiming();
        peak = statusMB("VmHWM:");
        above = peak - before;
        eventsAfter = static_cast<double>(target.GetSize());
        std::vector<CAutomationEvent> sorted = mixEventsOfTarget;
        sort += secondsOf([&] {
            std::stable_sort(sorted.begin(), sorted.end(), [](const CAutomationEvent& a, const CAutomationEvent& b) {
                return std::tuple(static_cast<int32_t>(a.m_Path), a.GetProcessNumber(), a.GetControlNumber()) <
                       std::tuple(static_cast<int32_t>(b.m_Path), b.GetProcessNumber(), b.GetControlNumber());
            });
        });
        state.ResumeTiming();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["capture_s"] = capture / n;
    state.counters["build_s"] = build / n;
    state.counters["load_s"] = loading / n;
    state.counters["sort_s"] = sort / n;
    state.counters["x_sort"] = (capture + build) / sort;
    state.counters["peak_MB"] = peak;
    state.counters["above_MB"] = above;
    state.counters["events_after"] = eventsAfter;
    const auto key = std::make_tuple(state.range(0), state.range(1));
    if (!reference) fastSeconds()[key] = (capture + build) / n;
    else if (fastSeconds().count(key)) state.counters["x_fast"] = (capture + build) / n / fastSeconds()[key];
}
BENCHMARK(BM_Conform)
    ->ArgNames({"pairs", "reels", "reference"})
    ->Args({100, 1, 0})
    ->Args({1000, 1, 0})
    ->Args({5000, 1, 0})
    ->Args({100, 8, 0})
    ->Args({1000, 8, 0})
    ->Args({5000, 8, 0})
    ->Args({100, 1, 1})
    ->Args({1000, 1, 1})
    ->Args({100, 8, 1})
    ->Args({1000, 8, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
