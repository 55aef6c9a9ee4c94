// The mix-setup object's two whole-setup operations: reading a full reply into the cache
// (OnLinkIn) beside a memcpy of the same 568,260 bytes, and Save (the block built from the
// cache and handed to the server) beside the memcpy and beside sending a block of the same
// size, which is the transport's own floor.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "MinimalKivServer.h"
#include "quenby/MixSetupExKIVObject.h"

namespace {

constexpr size_t kBlock = 568260;

// A client that sends a ready block of the setup's size.
class RawSender : public CGenericKIVObject {
public:
    RawSender() : CGenericKIVObject(0) {}
    CString GetName() override { return "BenchKIV"; }
    /// Sends a block of these bytes.
    void SendBlock(const std::vector<uint8_t>& bytes)
    {
        HGLOBAL block = KIVAllocCommandBlock(57, static_cast<int>(kBlock));
        std::memcpy(static_cast<uint8_t*>(GlobalLock(block)) + 16, bytes.data() + 16, kBlock - 16);
        GlobalUnlock(block);
        SendCommandBlock(block);
    }
};

// A full setup: 2000 paths over every kind, names, lists, a filled channel map and links.
std::vector<uint8_t> FullReply()
{
    std::vector<uint8_t> b(kBlock, 0);
    auto put = [&](size_t at, int32_t v) { std::memcpy(b.data() + at, &v, 4); };
    put(0, 22);
    put(8, static_cast<int32_t>(kBlock));
    const int counts[14] = {1200, 96, 16, 24, 8, 2, 8, 480, 16, 32, 8, 4, 100, 6};
    for (int k = 0; k < 14; ++k) put(412424 + 4 * static_cast<size_t>(k), counts[k]);
    for (int p = 0; p < 2000; ++p) {
        std::snprintf(reinterpret_cast<char*>(b.data() + 16 + 5 * p), 5, "P%d", p % 1000);
        std::snprintf(reinterpret_cast<char*>(b.data() + 10016 + 201 * p), 201, "Path number %d", p);
        for (int slot = 0; slot < 11; ++slot) put(427860 + 44 * static_cast<size_t>(p) + 4 * static_cast<size_t>(slot), slot < 4 ? 19 + slot : 21);
        put(520292 + 4 * static_cast<size_t>(p), p % 2 == 0 ? p + 1 : p - 1);
        put(539292 + 4 * static_cast<size_t>(p), p);
        put(549480 + 8 * static_cast<size_t>(p), -1);
        put(549484 + 8 * static_cast<size_t>(p), -1);
    }
    for (int i = 0; i < 3840; ++i) put(412500 + 4 * static_cast<size_t>(i), i % 2000);
    for (int i = 0; i < 132 * 8; ++i) put(528300 + 4 * static_cast<size_t>(i), i % 8 < 4 ? i % 2000 : -1);
    return b;
}

CMixSetupExKIVObject& Object()
{
    static CMixSetupExKIVObject* made = [] {
        minimal_server::Start();
        return new CMixSetupExKIVObject(0);
    }();
    return *made;
}

void BM_ReplyIntoCache(benchmark::State& state)
{
    std::vector<uint8_t> reply = FullReply();
    CMixSetupExKIVObject& msu = Object();
    for (auto _ : state) benchmark::DoNotOptimize(msu.OnLinkIn(reinterpret_cast<_CommsStructure*>(reply.data())));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBlock));
}
BENCHMARK(BM_ReplyIntoCache)->Unit(benchmark::kMicrosecond);

void BM_SaveBlock(benchmark::State& state)
{
    std::vector<uint8_t> reply = FullReply();
    CMixSetupExKIVObject& msu = Object();
    msu.OnLinkIn(reinterpret_cast<_CommsStructure*>(reply.data()));
    for (auto _ : state) msu.Save("Bench", nullptr);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBlock));
}
BENCHMARK(BM_SaveBlock)->Unit(benchmark::kMicrosecond);

void BM_SendBlockFloor(benchmark::State& state)
{
    Object();
    RawSender sender;
    const std::vector<uint8_t> bytes = FullReply();
    for (auto _ : state) sender.SendBlock(bytes);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBlock));
}
BENCHMARK(BM_SendBlockFloor)->Unit(benchmark::kMicrosecond);

void BM_MemcpyFloor(benchmark::State& state)
{
    std::vector<uint8_t> from = FullReply(), to(kBlock);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kBlock);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBlock));
}
BENCHMARK(BM_MemcpyFloor)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
