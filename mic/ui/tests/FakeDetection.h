// The PRE setup's detection as the MIDI port manager would answer it: the last pass's list and
// the heartbeat counters, set by the test.
#pragma once

#include <utility>
#include <vector>

#include "app/PreSetup.h"

class FakeDetection : public PreDetection {
public:
    void SetDetectHold(BOOL on) override { hold = on != FALSE; }
    void ClearDetectedPres() override { listed.clear(); }
    BOOL GetListedPre(int i, int& port, int& channel) override
    {
        if (i < 0 || i >= static_cast<int>(listed.size())) return FALSE;
        port = listed[static_cast<size_t>(i)].first;
        channel = listed[static_cast<size_t>(i)].second;
        return TRUE;
    }
    BOOL IsDetectionPassBusy() override { return FALSE; }
    int GetHeartbeatCounter(int port, int channel) override
    {
        for (const auto& [p, c] : heard)
            if (p == port && c == channel) return 1;
        return 0;
    }

    bool hold = false;
    std::vector<std::pair<int, int>> listed;
    std::vector<std::pair<int, int>> heard;
};
