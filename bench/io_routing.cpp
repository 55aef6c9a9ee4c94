// The in-use question of the I/O routing mirror: IsOutputInUse for every output port of a full
// I/O system (12 racks of 5 cards, 28 channel pairs each), against a console of 2000 paths
// whose output slots route other ports, so that every answer scans the whole table. Beside it,
// the floor: one plain pass over the 336,000-byte routing table per port, comparing each
// 8-byte route with the port. The ratio of the two is the mirror's cost over the bytes it must
// read.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "../testsupport/MinimalKivServer.h"
#include "quenby/IORoutingKIVObject.h"

namespace {

constexpr size_t kStateSize = 390068, kTableAt = 40, kTableSize = 336000;
constexpr int kRacks = 12, kCards = 5, kChannels = 56;

int racks() { return std::getenv("CONSOLE_BENCH_SMALL") ? 1 : kRacks; }

// A full system 0 and a table whose routes all lie on system 1 (so no port of system 0 is in use).
std::vector<uint8_t> fullState()
{
    std::vector<uint8_t> b(kStateSize, 0);
    auto put = [&](size_t at, int32_t v) { std::memcpy(b.data() + at, &v, 4); };
    put(0, 67);
    put(8, static_cast<int32_t>(kStateSize));
    put(16, kRacks);
    put(32, 2000);
    for (int card = 0; card < kCards; ++card) {
        const size_t at = 341668 + static_cast<size_t>(card) * 20;  // rack type 0 of system 0
        put(at, card * 5);
        put(at + 4, 5);
        put(at + 8, card == 4 ? 8 : 5);
    }
    for (int rack = 0; rack < kRacks; ++rack) std::memset(b.data() + 336044 + (rack * 3 + 1) * 28, 1, 28);
    for (size_t route = 0; route < kTableSize / 8; ++route) {
        uint8_t* r = b.data() + kTableAt + 8 * route;
        r[0] = route % 12, r[1] = route % 5, r[2] = route % 56, r[3] = 1, r[4] = 1;
    }
    return b;
}

// The object, made against a server in this process, holding the full state.
struct Fixture {
    std::unique_ptr<CIORoutingKIVObject> routing;
    std::vector<uint8_t> state = fullState();
    Fixture()
    {
        minimal_server::Start();
        routing = std::make_unique<CIORoutingKIVObject>();
        routing->OnLinkIn(reinterpret_cast<_CommsStructure*>(state.data()));
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void OutputInUseEveryPort(benchmark::State& state)
{
    Fixture& f = fixture();
    int64_t ports = 0;
    for (auto _ : state) {
        for (int rack = 0; rack < racks(); ++rack) {
            for (int card = 0; card < kCards; ++card) {
                for (int io = 0; io < kChannels; ++io) {
                    int where = 0;
                    benchmark::DoNotOptimize(f.routing->IsOutputInUse(0, static_cast<BYTE>(rack), static_cast<BYTE>(card), static_cast<BYTE>(io), where));
                    ++ports;
                }
            }
        }
    }
    state.SetBytesProcessed(ports * static_cast<int64_t>(kTableSize));
    state.counters["ports"] = static_cast<double>(racks() * kCards * kChannels);
}
BENCHMARK(OutputInUseEveryPort)->Unit(benchmark::kMillisecond);

// Floor: the table read once per port, each route compared whole with the port's key.
void FloorTableScanEveryPort(benchmark::State& state)
{
    Fixture& f = fixture();
    const uint8_t* table = f.state.data() + kTableAt;
    int64_t ports = 0;
    for (auto _ : state) {
        for (int rack = 0; rack < racks(); ++rack) {
            for (int card = 0; card < kCards; ++card) {
                for (int io = 0; io < kChannels; ++io) {
                    const uint64_t key = uint64_t(rack) | uint64_t(card) << 8 | uint64_t(io) << 16 | uint64_t(1) << 24;
                    bool found = false;
                    for (size_t at = 0; at < kTableSize; at += 8) {
                        uint64_t route;
                        std::memcpy(&route, table + at, 8);
                        found |= (route & 0xFFFFFFFFFFull) == key;
                    }
                    benchmark::DoNotOptimize(found);
                    ++ports;
                }
            }
        }
    }
    state.SetBytesProcessed(ports * static_cast<int64_t>(kTableSize));
}
BENCHMARK(FloorTableScanEveryPort)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
