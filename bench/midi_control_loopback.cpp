// A controller message from the loopback peer to WM_MIDI_CONTROL on the main dialog's loop,
// through the input port, the engine's input and servicing threads and a posted message; beside
// the loopback's own delivery to the input port's ring. Also a burst of 10000 controls.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <poll.h>

#include "base/MicMessages.h"
#include "midi/MicMidiControl.h"
#include "midi/MidiInPort.h"
#include "winport/MessageLoop.h"
#include "winport/MidiBackend.h"
#include "winport/Window.h"

namespace {

using Clock = std::chrono::steady_clock;
using winport::midi::LoopbackBackend;

struct Rig {
    std::shared_ptr<LoopbackBackend> loop = std::make_shared<LoopbackBackend>();
    HWND window = nullptr;
    size_t controls = 0;

    Rig()
    {
        loop->AddInput("surface out");
        loop->AddOutput("surface in");
        winport::midi::SetBackend(loop);
        winport::WindowOptions options;
        options.reachable = false;
        window = winport::CreateMessageWindow("MidiControlBench", [this](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
            if (m == WM_MIDI_CONTROL) ++controls;
            return 0;
        }, options);
    }
    ~Rig()
    {
        DestroyWindow(window);
        winport::midi::SetBackend(nullptr);
    }
    // Runs the loop until count controls arrived (bounded).
    bool waitControls(size_t count)
    {
        auto& loop = winport::MessageLoop::Current();
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (controls < count && Clock::now() < deadline) {
            loop.RunUntilIdle();
            if (controls >= count) break;
            pollfd p{loop.WaitDescriptor(), POLLIN, 0};
            ::poll(&p, 1, 5);
        }
        return controls >= count;
    }
};

void BM_LoopbackToControlMessage(benchmark::State& state)
{
    Rig rig;
    CMicMidiControl engine;
    engine.SetNotifyWindow(rig.window);
    engine.SetMessageType(static_cast<int>(kMidiEventReceived));
    engine.SetPorts(0, 0, 0);
    engine.OpenPorts();
    engine.StartServicing();
    const size_t burst = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        const size_t target = rig.controls + burst;
        const auto start = Clock::now();
        // In chunks, at most 512 messages in flight, so that the input port's ring (1024) never
        // fills: a MIDI cable carries about 1000 messages a second, far below this rate. The
        // loop runs meanwhile, as the user-interface thread would (a control is two posts, the
        // monitor's line and the control; the window's queue holds 10000).
        const size_t base = rig.controls;
        for (size_t i = 0; i < burst; ++i) {
            rig.loop->InjectShort("surface out", 0xB1, 0x49, static_cast<BYTE>(i & 0x7F));
            if (i % 256 == 255 && i >= 511) rig.waitControls(base + i + 1 - 512);
        }
        if (!rig.waitControls(target)) {
            state.SkipWithError("controls lost");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_LoopbackToControlMessage)->Arg(1)->Arg(10000)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(std::getenv("CONSOLE_BENCH_SMALL") ? 3 : 200);

// The floor: the loopback's own delivery of the same messages to the input port's ring.
void BM_LoopbackDelivery(benchmark::State& state)
{
    Rig rig;
    CMidiInPort in(nullptr, 0);
    in.Open(0);
    const size_t burst = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        const auto start = Clock::now();
        for (size_t i = 0; i < burst; ++i) rig.loop->InjectShort("surface out", 0xB1, 0x49, static_cast<BYTE>(i & 0x7F));
        rig.loop->WaitDelivered(30000);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        MidiShortMessage m;
        while (in.ReadShortMessage(m)) {
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_LoopbackDelivery)->Arg(1)->Arg(10000)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(std::getenv("CONSOLE_BENCH_SMALL") ? 3 : 200);

}  // namespace
BENCHMARK_MAIN();
