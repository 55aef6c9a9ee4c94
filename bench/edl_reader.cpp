// Reading edit lists: a text EDL (CMX 3400 lines with comments and dissolves) and a stored
// list with 1,000 reels, event by event as the conform reads them, beside the floor of a raw
// read of the same bytes cut at line ends and blanks. Sizes 20,000 and 200,000 events show
// that reading stays linear; CONSOLE_BENCH_SMALL shrinks them to 2,000.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include "../testsupport/TestEnvironment.h"
#include "trevanny/EDLReader.h"

namespace {

TestEnvironment& environment()
{
    static TestEnvironment env;
    return env;
}

std::string tc(long frames)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld:%02ld", frames / 90000 % 24, frames / 1500 % 60, frames / 25 % 60, frames % 25);
    return text;
}

const std::string& textList(int events)
{
    static std::map<int, std::string> made;
    auto& path = made[events];
    if (!path.empty()) return path;
    path = environment().Path("text" + std::to_string(events) + ".edl");
    std::ofstream out(path, std::ios::binary);
    out << "TITLE: generated\r\nFCM: NON-DROP FRAME\r\n\r\n";
    long record = 90000;
    for (int i = 1; i <= events; ++i) {
        long length = 25 + i % 200;
        char line[160];
        bool dissolve = i % 7 == 0;
        std::snprintf(line, sizeof line, "%03d  R%05d   %-4s  %-4s %3s %s %s %s %s\r\n", i % 1000, i % 1000, i % 3 ? "A12" : "V",
                      dissolve ? "D" : "C", dissolve ? "030" : "", tc(i * 37L).c_str(), tc(i * 37L + length).c_str(),
                      tc(record).c_str(), tc(record + length).c_str());
        out << line << "* FROM CLIP NAME: clip_" << i << ".mov\r\n";
        record += length;
    }
    return path;
}

const std::string& storedList(int events)
{
    static std::map<int, std::string> made;
    auto& path = made[events];
    if (!path.empty()) return path;
    path = environment().Path("stored" + std::to_string(events) + ".edl");
    CEDLReelTable reels;
    for (int r = 0; r < 1000; ++r) reels.Add(("REEL" + std::to_string(r)).c_str(), 1u << (r % 8), r % 2);
    CEDLReader writer(path.c_str(), CEDLReader::enGeneric);
    writer.Open(CFile::modeCreate | CFile::modeWrite | CFile::shareDenyNone | CFile::typeBinary, nullptr);
    writer.WriteHeader(CTimecodeSettings(), reels);
    CSourceDestItem source, destination;
    destination.SetEvent(new CEDLEvent);
    for (int i = 0; i < events; ++i) {
        source.m_nStart = i * 40;
        destination.m_nStart = i * 50;
        destination.m_nLength = 40;
        destination.m_pEvent->m_nReelIndex = i % 1000;
        destination.m_pEvent->m_strReelName = reels.GetName(i % 1000);
        destination.m_pEvent->m_dwTrackMask = 3;
        writer.WriteStoredEvent(source, destination);
    }
    return path;
}

// The floor: read the file in 64 KB pieces and cut it at line ends and blanks.
size_t rawReadAndSplit(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY);
    std::vector<char> buffer(1 << 16);
    size_t tokens = 0;
    bool inToken = false;
    ssize_t n;
    while ((n = ::read(fd, buffer.data(), buffer.size())) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            char c = buffer[static_cast<size_t>(i)];
            bool cut = c == '\n' || c == '\r' || c == ' ';
            if (!cut && !inToken) ++tokens;
            inToken = !cut;
        }
    }
    ::close(fd);
    return tokens;
}

size_t readEvents(const std::string& path, int type)
{
    CEDLReader reader(path.c_str(), type);
    reader.Open(CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary, nullptr);
    CTimecodeSettings settings;
    CEDLReelTable reels;
    reader.ReadHeader(settings, reels);
    int timecodes[12];
    CSourceDestItem source, destination;
    size_t events = 0;
    for (;;) {
        delete destination.m_pEvent;  // the reader does not free the previous event
        if (!reader.ReadNextEvent(timecodes, source, destination)) break;
        ++events;
    }
    return events;
}

int scaled(int events) { return std::getenv("CONSOLE_BENCH_SMALL") ? 2000 : events; }

void BM_ReadTextEDL(benchmark::State& state)
{
    const std::string& path = textList(scaled(static_cast<int>(state.range(0))));
    for (auto _ : state) benchmark::DoNotOptimize(readEvents(path, CEDLReader::enCMX3400));
}
void BM_ReadStoredList(benchmark::State& state)
{
    const std::string& path = storedList(scaled(static_cast<int>(state.range(0))));
    for (auto _ : state) benchmark::DoNotOptimize(readEvents(path, CEDLReader::enCMX3400));
}
void BM_GetSourceDestItems(benchmark::State& state)
{
    const std::string& path = storedList(scaled(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        CSourceDestItemArray items;
        GetSourceDestItems(path.c_str(), items, false);
        benchmark::DoNotOptimize(items.GetSize());
    }
}
void BM_FloorText(benchmark::State& state)
{
    const std::string& path = textList(scaled(static_cast<int>(state.range(0))));
    for (auto _ : state) benchmark::DoNotOptimize(rawReadAndSplit(path));
}
void BM_FloorStored(benchmark::State& state)
{
    const std::string& path = storedList(scaled(static_cast<int>(state.range(0))));
    for (auto _ : state) benchmark::DoNotOptimize(rawReadAndSplit(path));
}

}  // namespace

BENCHMARK(BM_FloorText)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadTextEDL)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorStored)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadStoredList)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetSourceDestItems)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
