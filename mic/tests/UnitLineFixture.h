// The main dialog with its window and loop in virtual time, and the unit model on the other end
// of its line (COM3, a port that exists only in the test).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "FakeSerialPorts.h"
#include "ScriptedShell.h"
#include "TestEnvironment.h"
#include "app/MicDlg.h"
#include "link/SerialPort.h"
#include "presim/UnitBus.h"
#include "winport/Clock.h"
#include "winport/Profile.h"
#include "winport/Window.h"

class UnitLineFixture : public ::testing::Test {
protected:
    static constexpr int kPort = 3;

    /// Units 0 to units-1 on the line; the dialog made (with the MIDI ports given) and created.
    void Start(int units, bool autoRestore = false, std::unique_ptr<MidiPorts> midi = nullptr)
    {
        winport::SetProfileName("micUlvo.ini");
        winport::WriteProfileInt("Settings", "Auto Restore", autoRestore ? 1 : 0);
        winport::WriteProfileInt("Settings", "Communication Port", kPort);
        ports.Plug(kPort);
        bus = std::make_unique<presim::UnitBus>(units);
        dlg = std::make_unique<CMicDlg>(nullptr, DialogShell());
        dlg->SetSerialPorts(ports.Factory(), ports.Availability());
        if (midi) dlg->SetMidiPorts(std::move(midi));
        dlg->m_Link.SetHalfDuplex(false);
        dlg->SetPortWriter([this](const BYTE* m, int n) {
            bus->Receive(m, static_cast<size_t>(n), static_cast<double>(clock.nowMs()));
            dlg->m_Link.Sent();
        });
        BeforeCreate();
        ASSERT_TRUE(dlg->Create());
    }

    /// The dialog is made and not yet created.
    virtual void BeforeCreate() {}
    /// The shell the dialog asks (the scripted one unless a test gives another).
    virtual Shell* DialogShell() { return &shell; }

    void TearDown() override
    {
        // A dialog that ended leaves its quit in the thread's loop: it goes with the test, so
        // that the loop of the next test runs.
        MSG quit{};
        winport::MessageLoop::Current().Peek(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }

    /// Runs the line and the loop for ms milliseconds of virtual time.
    void Run(uint64_t ms)
    {
        auto& loop = winport::MessageLoop::Current();
        for (uint64_t i = 0; i < ms; ++i) {
            loop.AdvanceBy(1);
            double now = static_cast<double>(clock.nowMs());
            std::vector<uint8_t> due = bus->TakeDue(now);
            if (!due.empty()) lastByteAt = now;
            for (uint8_t b : due) deliver(dlg->m_Link.Receive(b));
            if (dlg->m_Link.CollectingLevels() && now - lastByteAt >= CSerialPort::kLevelSilenceMs) {
                deliver(dlg->m_Link.Silence());
            }
            loop.RunUntilIdle();
        }
    }

    /// Runs until the unit responds, or stops responding (bounded).
    bool RunUntilResponding(int unit, bool responding = true, uint64_t limitMs = 20000)
    {
        for (uint64_t t = 0; t < limitMs; t += 10) {
            if (static_cast<bool>(dlg->m_RackSetup.GetRackFlag(unit)) == responding) return true;
            Run(10);
        }
        return false;
    }

    /// Runs until the ring is empty and the last message is answered.
    void Drain()
    {
        for (int t = 0; t < 60000 && !dlg->IsRingEmpty(); t += 10) Run(10);
        Run(400);
    }

    /// Drain, then forget the frames.
    void Settle()
    {
        Drain();
        bus->ClearFrames();
    }

    /// Frames sent so far (unit, command), optionally of one unit.
    std::vector<std::pair<int, int>> Frames(int unit = -1) const
    {
        std::vector<std::pair<int, int>> out;
        for (const auto& f : bus->Frames()) {
            if (f.unit < 0 || f.bytes.size() < 2) continue;
            if (unit == -1 || f.unit == unit) out.emplace_back(f.unit, f.bytes[1]);
        }
        return out;
    }

    int Count(int unit, int command) const
    {
        int n = 0;
        for (auto [u, c] : Frames(unit)) n += (c == command) ? 1 : 0;
        return n;
    }

    TestEnvironment env;
    winport::ManualClock clock{1000};
    winport::ScopedClock scoped{clock};
    FakeSerialPorts ports;
    ScriptedShell shell;
    std::unique_ptr<presim::UnitBus> bus;
    std::unique_ptr<CMicDlg> dlg;

    /// Hands a complete reply to the dialog, as the port's monitor does.
    void deliver(const PreLink::Event& e)
    {
        if (e.delivered) PostMessageA(dlg->GetSafeHwnd(), WM_PRE_REPLY, kPort, static_cast<LPARAM>(e.transaction));
    }

private:
    double lastByteAt = 0;
};
