// Cost of a registry read through the registry object (open, query twice, read, close: what
// every settings read pays) and through an open key, beside the floor of finding the same
// name case-insensitively in an in-memory map.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

#include "winport/RegistryObject.h"

namespace {

const char kKey[] = "SOFTWARE\\VOKDWEN\\BENCH";

int valueCount() { return std::getenv("CONSOLE_BENCH_SMALL") ? 16 : 256; }

/// A private registry folder filled with DWORD values "V0", "V1" ...
struct Store {
    std::string dir;
    Store()
    {
        char pattern[] = "/tmp/registry-bench-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        dir = made ? made : "/tmp/registry-bench";
        ::setenv("WINPORT_REGISTRY_DIR", dir.c_str(), 1);
        CLocalMachineRegistryObject reg;
        for (int i = 0; i < valueCount(); ++i) reg.SetDword(kKey, CString(("V" + std::to_string(i)).c_str()), i);
    }
    ~Store()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

Store& store()
{
    static Store s;
    return s;
}

void ObjectGetDword(benchmark::State& state)
{
    store();
    CLocalMachineRegistryObject reg;
    int i = 0;
    for (auto _ : state) {
        DWORD v = 0;
        reg.GetDword(kKey, CString(("v" + std::to_string(i++ % valueCount())).c_str()), v, 0);
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(ObjectGetDword);

void OpenKeyQuery(benchmark::State& state)
{
    store();
    HKEY h = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &h);
    int i = 0;
    for (auto _ : state) {
        DWORD v = 0, size = 4;
        std::string name = "v" + std::to_string(i++ % valueCount());
        RegQueryValueExA(h, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size);
        benchmark::DoNotOptimize(v);
    }
    RegCloseKey(h);
}
BENCHMARK(OpenKeyQuery);

// Floor: the same lookup in memory, names compared without regard to case.
void FloorMapLookup(benchmark::State& state)
{
    struct NoCase {
        bool operator()(const std::string& a, const std::string& b) const { return WinportCompareNoCase(a.c_str(), b.c_str()) < 0; }
    };
    std::map<std::string, DWORD, NoCase> values;
    for (int i = 0; i < valueCount(); ++i) values["V" + std::to_string(i)] = static_cast<DWORD>(i);
    int i = 0;
    for (auto _ : state) {
        auto it = values.find("v" + std::to_string(i++ % valueCount()));
        benchmark::DoNotOptimize(it->second);
    }
}
BENCHMARK(FloorMapLookup);

}  // namespace

BENCHMARK_MAIN();
