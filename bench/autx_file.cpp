// The indexed automation file writing and reading 64 MB of event records in one block,
// compressed and plain, beside zlib called directly on the same bytes in the same chunks (the
// floor of the compressed forms). The pause before each compressed chunk is taken out through
// the clock. CONSOLE_BENCH_SMALL shrinks the block to 1 MB.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <zlib.h>

#include "../testsupport/TestEnvironment.h"
#include "trevanny/AutxFile.h"
#include "winport/Clock.h"
#include "winport/RegistryObject.h"

namespace {

class NoPauseClock : public winport::Clock {
public:
    uint64_t nowMs() override { return 0; }
    void sleepMs(uint32_t) override {}
};

size_t blockBytes()
{
    return std::getenv("CONSOLE_BENCH_SMALL") ? (1u << 20) : (64u << 20);
}

// 16-byte event records: a rising time, a few dozen processes, nine controls, a few hundred
// paths and values that move in small steps, as a written mix holds them.
const std::vector<BYTE>& events()
{
    static const std::vector<BYTE> data = [] {
        std::vector<BYTE> out(blockBytes());
        std::mt19937 random(42);
        uint32_t time = 0;
        int16_t value = 0;
        for (size_t i = 0; i + 16 <= out.size(); i += 16) {
            BYTE* r = out.data() + i;
            r[0] = static_cast<BYTE>(random() % 36);
            r[1] = static_cast<BYTE>(random() % 9);
            value = static_cast<int16_t>(value + static_cast<int>(random() % 9) - 4);
            std::memcpy(r + 2, &value, 2);
            uint32_t path = random() % 300;
            std::memcpy(r + 4, &path, 4);
            time += random() % 3;
            std::memcpy(r + 8, &time, 4);
            r[12] = static_cast<BYTE>(random() % 4);
        }
        return out;
    }();
    return data;
}

// A private folder holding the registry (with the compression setting) and the files.
class Scratch {
public:
    Scratch() { winport::SetClock(&m_clock); }
    ~Scratch() { winport::SetClock(nullptr); }
    std::string File(bool compressed)
    {
        CLocalMachineRegistryObject registry;
        registry.SetInt("SOFTWARE\\VOKDWEN\\KIVSERVER", "CompressedAuto", compressed ? 1 : 0);
        return m_env.Path(compressed ? "packed.autx" : "plain.autx");
    }

private:
    TestEnvironment m_env;
    NoPauseClock m_clock;
};

Scratch& scratch()
{
    static Scratch s;
    return s;
}

void writeBlock(const std::string& path)
{
    std::filesystem::remove(path);
    CAutxFile file;
    file.Open(path.c_str());
    if (!file.AddEntry(1, events().data(), static_cast<unsigned>(events().size()))) std::abort();
    file.Close();
}

// compress2 at level 1 on the same chunks, into one work buffer: the compressed writer's floor.
void compressChunks(std::vector<BYTE>& work)
{
    const auto& data = events();
    for (size_t done = 0; done < data.size();) {
        uLong length = std::min<uLong>(data.size() - done, CAutxFile::kChunkSize);
        uLongf packed = work.size();
        compress2(work.data(), &packed, data.data() + done, length, 1);
        benchmark::DoNotOptimize(work.data());
        done += length;
    }
}

struct PackedChunks {
    std::vector<std::vector<BYTE>> chunks;
    std::vector<uLong> lengths;
};

const PackedChunks& packedChunks()
{
    static const PackedChunks packed = [] {
        PackedChunks p;
        const auto& data = events();
        for (size_t done = 0; done < data.size();) {
            uLong length = std::min<uLong>(data.size() - done, CAutxFile::kChunkSize);
            std::vector<BYTE> chunk(CAutxFile::kPackedChunkMax);
            uLongf made = chunk.size();
            compress2(chunk.data(), &made, data.data() + done, length, 1);
            chunk.resize(made);
            p.chunks.push_back(std::move(chunk));
            p.lengths.push_back(length);
            done += length;
        }
        return p;
    }();
    return packed;
}

// uncompress of the same chunks into one output buffer: the compressed reader's floor.
void uncompressChunks(std::vector<BYTE>& out)
{
    const PackedChunks& p = packedChunks();
    size_t done = 0;
    for (size_t i = 0; i < p.chunks.size(); ++i) {
        uLongf made = p.lengths[i];
        uncompress(out.data() + done, &made, p.chunks[i].data(), p.chunks[i].size());
        done += made;
    }
    benchmark::DoNotOptimize(out.data());
}

double secondsOf(const std::function<void()>& run)
{
    auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs the loop and reports the bytes. With a floor, each iteration runs the floor too, outside
// the timing, and x_zlib is the time of a run over the floor's time on the same bytes.
void measure(benchmark::State& state, const std::function<void()>& run, const std::function<void()>& floor = {})
{
    // One untimed round first: the data is made and the file and the heap are warm.
    run();
    if (floor) floor();
    double seconds = 0;
    double floorSeconds = 0;
    for (auto _ : state) {
        seconds += secondsOf(run);
        if (floor) {
            state.PauseTiming();
            floorSeconds += secondsOf(floor);
            state.ResumeTiming();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * events().size()));
    if (floor) state.counters["x_zlib"] = seconds / floorSeconds;
}

void BM_AutxWrite(benchmark::State& state)
{
    bool compressed = state.range(0) != 0;
    std::string path = scratch().File(compressed);
    std::vector<BYTE> work(CAutxFile::kPackedChunkMax);
    measure(state, [&] { writeBlock(path); }, compressed ? std::function<void()>([&] { compressChunks(work); }) : nullptr);
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
}
BENCHMARK(BM_AutxWrite)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AutxRead(benchmark::State& state)
{
    bool compressed = state.range(0) != 0;
    std::string path = scratch().File(compressed);
    writeBlock(path);
    std::vector<BYTE> out(events().size());
    std::vector<BYTE> floorOut(events().size());
    measure(
        state,
        [&] {
            CAutxFile file;
            file.Open(path.c_str());
            if (!file.ReadEntry(1, out.data(), static_cast<unsigned>(out.size()))) std::abort();
            file.Close();
        },
        compressed ? std::function<void()>([&] { uncompressChunks(floorOut); }) : nullptr);
}
BENCHMARK(BM_AutxRead)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Compress2Direct(benchmark::State& state)
{
    std::vector<BYTE> work(CAutxFile::kPackedChunkMax);
    measure(state, [&] { compressChunks(work); });
}
BENCHMARK(BM_Compress2Direct)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UncompressDirect(benchmark::State& state)
{
    std::vector<BYTE> out(events().size());
    packedChunks();
    measure(state, [&] { uncompressChunks(out); });
}
BENCHMARK(BM_UncompressDirect)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
