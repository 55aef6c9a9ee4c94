// A seeded generator of realistic automation mixes for the benchmarks: a state at time 0 (one
// event for each automated control of each path), then, in time order, fader moves (runs of
// small steps, one per time unit, on one path's fader level), switch and parameter bursts (a
// few controls of one path changed within a few time units) and single moves of any control.
// The same seed and size always give the same events.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "trevanny/AutomationEvent.h"

namespace mixbench {

/// Event counts of the benchmarks: 1 million and 10 million, or 20 and 200 thousand when
/// CONSOLE_BENCH_SMALL is set.
inline bool Small() { return std::getenv("CONSOLE_BENCH_SMALL") != nullptr; }
inline size_t MixSize(bool large) { return Small() ? (large ? 200000 : 20000) : (large ? 10000000 : 1000000); }

struct MixShape {
    int paths = 300;            ///< automated paths
    int processes = 36;         ///< control processes of the channel strip
    int stateControls = 12;     ///< controls of each path in the time-0 state
    int faderProcess = 14;      ///< the fader level is control 0 of this process
};

/// size events (exactly) of a mix in time order, from the seed.
inline std::vector<CAutomationEvent> GenerateMix(size_t size, unsigned seed = 20240501, const MixShape& shape = {})
{
    std::vector<CAutomationEvent> out;
    out.reserve(size);
    std::mt19937 random(seed);
    auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };

    // The state at time 0.
    for (int path = 0; path < shape.paths && out.size() < size; ++path) {
        for (int k = 0; k < shape.stateControls && out.size() < size; ++k) {
            out.emplace_back(0, path, static_cast<BYTE>(k == 0 ? shape.faderProcess : pick(shape.processes)),
                             static_cast<BYTE>(k == 0 ? 0 : pick(9)), static_cast<short>(pick(1600) - 800));
        }
    }

    long time = 1;
    while (out.size() < size) {
        const int kind = pick(100);
        const DWORD path = static_cast<DWORD>(pick(shape.paths));
        if (kind < 60) {
            // A fader move: 20 to 400 steps of one time unit, the level drifting by small steps.
            const int steps = 20 + pick(380);
            short level = static_cast<short>(pick(1600) - 800);
            for (int s = 0; s < steps && out.size() < size; ++s) {
                level = static_cast<short>(std::clamp(level + pick(9) - 4, -8192, 800));
                out.emplace_back(time + s, path, static_cast<BYTE>(shape.faderProcess), 0, level, 0,
                                 static_cast<WORD>(level));
            }
            time += 1 + pick(steps);  // moves on other paths overlap in time
        } else if (kind < 85) {
            // A burst: 3 to 12 controls of one path within a few time units.
            const int count = 3 + pick(10);
            for (int s = 0; s < count && out.size() < size; ++s) {
                out.emplace_back(time + pick(4), path, static_cast<BYTE>(pick(shape.processes)),
                                 static_cast<BYTE>(pick(9)), static_cast<short>(pick(2)), static_cast<BYTE>(pick(2)));
            }
            time += 2 + pick(20);
        } else {
            out.emplace_back(time, path, static_cast<BYTE>(pick(shape.processes)), static_cast<BYTE>(pick(9)),
                             static_cast<short>(pick(16384) - 8192));
            time += pick(8);
        }
    }
    // Runs overlap, so the events are brought into time order (equal times keep their order).
    std::stable_sort(out.begin(), out.end(), [](const CAutomationEvent& a, const CAutomationEvent& b) {
        return a.m_Time < b.m_Time;
    });
    return out;
}

}  // namespace mixbench
