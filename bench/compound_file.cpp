// Compound files at the size of a large mix: writing and reading back one 200 MB stream, and
// the 35 open-write-release rounds of one mix-pass save, each beside a plain file doing the
// same work on the same bytes (the floor). The "ratio" counter is compound file / plain file.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "winport/Storage.h"

namespace {

using Clock = std::chrono::steady_clock;

size_t streamBytes() { return std::getenv("CONSOLE_BENCH_SMALL") ? (2u << 20) : (200u << 20); }

struct Folder {
    Folder()
    {
        char pattern[] = "/tmp/compound-bench-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~Folder() { std::filesystem::remove_all(path); }
    std::string path;
};

const std::vector<uint8_t>& payload()
{
    static std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> v(streamBytes());
        uint32_t x = 1;
        for (auto& b : v) {
            x = x * 1103515245u + 12345u;
            b = static_cast<uint8_t>(x >> 16);
        }
        return v;
    }();
    return bytes;
}

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

void writeCompound(const std::string& path, const std::vector<uint8_t>& data)
{
    IStorage* root = nullptr;
    if (FAILED(StgCreateDocfile(wide(path).c_str(), STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, &root)))
        std::abort();
    IStream* s = nullptr;
    root->CreateStream(L"AutomationData", STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, 0, &s);
    ULONG n = 0;
    s->Write(data.data(), static_cast<ULONG>(data.size()), &n);
    s->Release();
    root->Release();  // commits, with the file synced
}

void writePlain(const std::string& path, const std::vector<uint8_t>& data)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) std::abort();
    ::fdatasync(fd);
    ::close(fd);
}

// Runs op and its floor once per iteration; the time is op's, the counters compare the two.
template <class Op, class Floor>
void runBeside(benchmark::State& state, int64_t bytesPerIteration, Op op, Floor floor)
{
    double opTotal = 0, floorTotal = 0;
    for (auto _ : state) {
        auto a = Clock::now();
        op();
        auto b = Clock::now();
        floor();
        auto c = Clock::now();
        opTotal += seconds(a, b);
        floorTotal += seconds(b, c);
        state.SetIterationTime(seconds(a, b));
    }
    state.counters["floor_ms"] = benchmark::Counter(floorTotal * 1000 / static_cast<double>(state.iterations()));
    state.counters["ratio"] = floorTotal > 0 ? opTotal / floorTotal : 0;
    if (bytesPerIteration) state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytesPerIteration);
}

IStorage* openRoot(const std::string& path, DWORD mode)
{
    IStorage* root = nullptr;
    if (FAILED(StgOpenStorage(wide(path).c_str(), nullptr, mode, nullptr, 0, &root))) std::abort();
    return root;
}

void BM_WriteStream(benchmark::State& state)
{
    Folder folder;
    runBeside(state, static_cast<int64_t>(payload().size()),
              [&] { writeCompound(folder.path + "/mix.aut", payload()); },
              [&] { writePlain(folder.path + "/plain", payload()); });
}

void BM_ReadStream(benchmark::State& state)
{
    Folder folder;
    writeCompound(folder.path + "/mix.aut", payload());
    writePlain(folder.path + "/plain", payload());
    std::vector<uint8_t> buffer(payload().size());
    runBeside(
        state, static_cast<int64_t>(payload().size()),
        [&] {
            IStorage* root = openRoot(folder.path + "/mix.aut", STGM_READ | STGM_SHARE_EXCLUSIVE);
            IStream* s = nullptr;
            root->OpenStream(L"AutomationData", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s);
            ULONG n = 0;
            s->Read(buffer.data(), static_cast<ULONG>(buffer.size()), &n);
            s->Release();
            root->Release();
            benchmark::DoNotOptimize(buffer.data());
        },
        [&] {
            int fd = ::open((folder.path + "/plain").c_str(), O_RDONLY | O_CLOEXEC);
            if (::pread(fd, buffer.data(), buffer.size(), 0) != static_cast<ssize_t>(buffer.size())) std::abort();
            ::close(fd);
            benchmark::DoNotOptimize(buffer.data());
        });
}

// One mix-pass save opens the file about 35 times, each time writing a small stream (and its
// "File Version") and releasing it. The floor: the same small writes appended to a plain file,
// synced as often.
void BM_SaveRounds(benchmark::State& state)
{
    Folder folder;
    const std::string path = folder.path + "/mix.aut";
    writeCompound(path, payload());
    writePlain(folder.path + "/plain", payload());
    const std::vector<uint8_t> small(4000, 7);
    const std::vector<uint8_t> version(40, 1);
    runBeside(
        state, 0,
        [&] {
            for (int round = 0; round < 35; ++round) {
                IStorage* root = openRoot(path, STGM_SHARE_EXCLUSIVE | STGM_READWRITE);
                for (const auto* data : {&small, &version}) {
                    IStream* s = nullptr;
                    std::wstring name = data == &small ? L"Array" + std::to_wstring(round) : L"File Version";
                    root->CreateStream(name.c_str(), STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, 0, &s);
                    ULONG n = 0;
                    s->Write(data->data(), static_cast<ULONG>(data->size()), &n);
                    s->Release();
                }
                root->Release();
            }
        },
        [&] {
            for (int round = 0; round < 35; ++round) {
                int fd = ::open((folder.path + "/plain").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
                if (::write(fd, small.data(), small.size()) < 0 || ::write(fd, version.data(), version.size()) < 0)
                    std::abort();
                ::fdatasync(fd);
                ::close(fd);
            }
        });
}

// Opening for writing alone, 35 times: the tables are read and every chain checked, the stream
// data never. The floor reads as many bytes as the allocation table has (a 128th of the file).
void BM_OpenRounds(benchmark::State& state)
{
    Folder folder;
    const std::string path = folder.path + "/mix.aut";
    writeCompound(path, payload());
    writePlain(folder.path + "/plain", payload());
    std::vector<uint8_t> table(payload().size() / 128);
    runBeside(
        state, 0,
        [&] {
            for (int round = 0; round < 35; ++round) openRoot(path, STGM_SHARE_EXCLUSIVE | STGM_READWRITE)->Release();
        },
        [&] {
            for (int round = 0; round < 35; ++round) {
                int fd = ::open((folder.path + "/plain").c_str(), O_RDONLY | O_CLOEXEC);
                if (::pread(fd, table.data(), table.size(), 0) < 0) std::abort();
                ::close(fd);
            }
        });
}

}  // namespace

BENCHMARK(BM_WriteStream)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadStream)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveRounds)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenRounds)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
