// The MIDI port selection dialog's core on loopback devices and a private registry store: what
// Link, Remove, Start and OK write, which buttons are enabled, and the Start button following
// MIDI on its timer.
#include <gtest/gtest.h>

#include <memory>

#include "MidiRecorder.h"
#include "ScriptedShell.h"
#include "TestEnvironment.h"
#include "app/MidiPortSelection.h"
#include "midi/MidiPortConfig.h"
#include "midi/MidiPortManager.h"
#include "ui/CheckListState.h"
#include "winport/Clock.h"
#include "MidiPortLink.h"
#include "winport/MidiBackend.h"
#include "winport/RegistryObject.h"
#include "winport/Window.h"

namespace {

class MidiPortSelectionTest : public ::testing::Test {
protected:
    std::unique_ptr<CMidiPortSelection> Open()
    {
        auto dlg = std::make_unique<CMidiPortSelection>(ports, [this](bool running) { runningFlag = running; });
        EXPECT_TRUE(dlg->OnInitDialog());
        return dlg;
    }
    static void LinkPair(CMidiPortSelection& dlg, int device)
    {
        dlg.OnSelChangeMidiIn(device);
        dlg.OnSelChangeMidiOut(device);
        ASSERT_TRUE(dlg.IsLinkEnabled());
        dlg.OnLinkPorts();
    }
    static int Value(int port, const char* name, int def = -99)
    {
        int value = def;
        CCurrentUserRegistryObject().GetInt(CMidiPortConfig::KeyOf(port), name, value, def);
        return value;
    }
    void Dispatch()
    {
        MSG msg{};
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }

    TestEnvironment env;
    winport::ManualClock clock{1000};
    winport::ScopedClock scoped{clock};
    LoopbackSurfaces loop{3};
    StoppedMidiPorts ports;
    bool runningFlag = false;
};

TEST_F(MidiPortSelectionTest, LinkWritesThePairUnderTheFirstFreeKeyAndRemoveKeepsTheOtherNumbers)
{
    {
        auto dlg = Open();
        ASSERT_EQ(dlg->InDevices().size(), 3u);
        EXPECT_EQ(dlg->GetInText(), "in");
        LinkPair(*dlg, 0);
        EXPECT_EQ(Value(0, "MidiIn"), 0);
        EXPECT_EQ(Value(0, "MidiOut"), 0);
        CString in, out;
        CCurrentUserRegistryObject().GetString(CMidiPortConfig::KeyOf(0), "MidiInStr", in, "");
        CCurrentUserRegistryObject().GetString(CMidiPortConfig::KeyOf(0), "MidiOutStr", out, "");
        EXPECT_EQ(in, "surface 0 out");
        EXPECT_EQ(out, "surface 0 in");
        EXPECT_EQ(Value(0, "Active"), 0);
        EXPECT_FALSE(dlg->IsLinkEnabled());  // both devices now belong to port 0
        dlg->OnSelChangeMidiIn(1);
        EXPECT_FALSE(dlg->IsLinkEnabled());  // the output still does
        LinkPair(*dlg, 1);
        ASSERT_EQ(dlg->PortLines().size(), 2u);
        EXPECT_EQ(dlg->PortLines()[1].text, "2\tsurface 1 out\tsurface 1 in");

        PostMessageA(dlg->GetSafeHwnd(), WM_CHECKLIST_CHANGED, 1, 1);
        Dispatch();
        dlg->OnStartMidi();  // writes the checks; the stand-in manager does not start
        dlg->SelectPortLine(0);
        dlg->OnRemove();
        EXPECT_EQ(dlg->GetSelectedPortLine(), 0);
    }
    auto dlg = Open();
    ASSERT_EQ(dlg->PortLines().size(), 1u);
    EXPECT_EQ(dlg->PortLines()[0].port, 1);
    EXPECT_EQ(dlg->PortLines()[0].text, "2\tsurface 1 out\tsurface 1 in");
    EXPECT_EQ(dlg->PortLines()[0].check, 1);
    EXPECT_EQ(Value(0, "MidiIn"), -99);
}

TEST_F(MidiPortSelectionTest, LinkIsDisabledWhenEveryPortNumberIsTaken)
{
    CCurrentUserRegistryObject reg;
    for (int n = 0; n < CMidiPortConfig::kPorts; ++n) reg.SetInt(CMidiPortConfig::KeyOf(n), "MidiIn", 7);
    auto dlg = Open();
    dlg->OnSelChangeMidiIn(0);
    dlg->OnSelChangeMidiOut(0);
    EXPECT_FALSE(dlg->IsLinkEnabled());
    dlg->OnLinkPorts();
    EXPECT_EQ(Value(0, "MidiIn"), 7);
}

TEST_F(MidiPortSelectionTest, OkWritesMicPreControlAndLeavesActiveStartWritesActive)
{
    {
        auto dlg = Open();
        LinkPair(*dlg, 0);
        LinkPair(*dlg, 1);
        dlg->OnCheckChanged(0, 1);
        dlg->OnStartMidi();
        EXPECT_EQ(Value(0, "Active"), 1);
        EXPECT_EQ(Value(1, "Active"), 0);
        EXPECT_EQ(Value(0, "MicPreControl"), 1);
    }
    auto dlg = Open();
    dlg->OnCheckChanged(0, 0);
    dlg->OnCheckChanged(1, 1);
    dlg->OnOK();
    EXPECT_EQ(Value(0, "Active"), 1);  // unchanged by OK
    EXPECT_EQ(Value(0, "MicPreControl"), 1);
    EXPECT_EQ(Value(1, "MicPreControl"), 2);
}

TEST_F(MidiPortSelectionTest, WhileMidiRunsTheListsLinkAndRemoveAreDisabledWithin500ms)
{
    auto dlg = Open();
    EXPECT_STREQ(dlg->GetStartText(), "&Start MIDI");
    ports.SetRunning(true);  // started from the tray
    clock.Advance(500);
    Dispatch();
    EXPECT_STREQ(dlg->GetStartText(), "&Stop MIDI");
    EXPECT_EQ(dlg->GetStartScheme(), 1);
    EXPECT_FALSE(dlg->AreListsEnabled());
    EXPECT_FALSE(dlg->IsLinkEnabled());
    EXPECT_FALSE(dlg->IsRemoveEnabled());
    dlg->OnStartMidi();
    EXPECT_FALSE(runningFlag);
    EXPECT_STREQ(dlg->GetStartText(), "&Start MIDI");
    EXPECT_TRUE(dlg->IsRemoveEnabled());
}

// The real port manager: Start writes "Active" from the ticks and starts the ticked port, whose
// output announces itself; the button reads "&Stop MIDI" by the next tick of timer 96 at the
// latest, and Stop brings it back.
TEST_F(MidiPortSelectionTest, StartWithTheRealManagerStartsTheTickedPort)
{
    ScriptedShell shell;
    MidiRecorder recorder;
    CMidiPortManager manager(shell, recorder.Window());
    auto dlg = std::make_unique<CMidiPortSelection>(manager, [this](bool running) { runningFlag = running; });
    ASSERT_TRUE(dlg->OnInitDialog());
    LinkPair(*dlg, 0);
    LinkPair(*dlg, 2);
    dlg->OnCheckChanged(1, 1);
    dlg->OnStartMidi();
    ASSERT_TRUE(loop->WaitSent("surface 2 in", 2, 10000)) << "the started port never announced itself";
    EXPECT_TRUE(runningFlag);
    EXPECT_TRUE(shell.boxes.empty());
    EXPECT_EQ(Value(0, "Active"), 0);
    EXPECT_EQ(Value(1, "Active"), 1);
    EXPECT_EQ(Value(1, "MicPreControl"), 1);
    EXPECT_FALSE(loop->IsOpen("surface 0 out"));
    clock.Advance(CMidiPortSelection::kTimerMs);
    Dispatch();
    EXPECT_STREQ(dlg->GetStartText(), "&Stop MIDI");
    EXPECT_FALSE(dlg->AreListsEnabled());
    dlg->OnStartMidi();
    EXPECT_FALSE(runningFlag);
    EXPECT_FALSE(manager.IsRunning());
    EXPECT_STREQ(dlg->GetStartText(), "&Start MIDI");
}

}  // namespace
