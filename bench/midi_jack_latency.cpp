// From midi-sim's control change to the input port's ring: midi-sim (another process, a JACK
// client) is told to send a control change, and the time until the message can be read from the
// port's ring is measured (JACK's period, the backend's thread, the device's delivery thread,
// the port's callback). Beside it stands the floor of the road: one period of the JACK server
// (dummy driver, 128 frames at 48 kHz), since a message waits for the next period to be passed
// on; and the round trip of a command to midi-sim and its "ok" over the pipes.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>

#include "JackServer.h"
#include "MidiSim.h"
#include "midi/MidiInPort.h"
#include "midi/MidiOutPort.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPeriodFrames = 128;
constexpr int kRate = 48000;


struct Rig {
    std::optional<MidiSimOnJack> midi;
    std::unique_ptr<CMidiInPort> in;
    int device = -1;

    bool start()
    {
        midi.emplace(std::vector<std::string>{"--quiet"}, kPeriodFrames);
        if (!midi->Failure().empty()) return false;
        device = midi->InDevice();
        in = std::make_unique<CMidiInPort>(nullptr, device);
        return in->Open(device) == MMSYSERR_NOERROR;
    }
    ~Rig() { in.reset(); }  // the port goes before the backend, midi-sim and the server
};

void BM_MidiSimToRing(benchmark::State& state)
{
    Rig rig;
    if (!rig.start()) {
        state.SkipWithError("no JACK server or midi-sim");
        return;
    }
    NamedEventHandle received(rig.device, enRecievedChange);
    int n = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        rig.midi->Sim().Process().Send("cc 1 " + std::to_string(n++ % 128) + " 64");
        MidiShortMessage m{};
        bool got = false;
        for (int tries = 0; !got && tries < 500; ++tries) {
            got = rig.in->ReadShortMessage(m) == TRUE;
            if (!got) CNamedEvent::WaitOne(received.Get(), 10);
        }
        if (!got) {
            state.SkipWithError("a message did not arrive");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        benchmark::DoNotOptimize(m);
        rig.midi->Sim().Process().Line(5000);  // its "ok"
    }
    state.counters["jack_period_ms"] = 1000.0 * kPeriodFrames / kRate;
}
BENCHMARK(BM_MidiSimToRing)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(std::getenv("CONSOLE_BENCH_SMALL") ? 5 : 500);

// The floor of the command itself: a line to midi-sim and its "ok" back.
void BM_MidiSimCommandRoundTrip(benchmark::State& state)
{
    JackServer server;
    if (!server.Start(15000, kPeriodFrames)) {
        state.SkipWithError("no JACK server");
        return;
    }
    MidiSim sim(server, {"--quiet"});
    if (!sim.Ready()) {
        state.SkipWithError("no midi-sim");
        return;
    }
    for (auto _ : state) {
        const auto start = Clock::now();
        sim.Process().Send("heartbeats off");
        sim.Process().Line(5000);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}
BENCHMARK(BM_MidiSimCommandRoundTrip)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(std::getenv("CONSOLE_BENCH_SMALL") ? 5 : 500);

}  // namespace

BENCHMARK_MAIN();
