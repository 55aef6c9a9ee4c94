// The MIDI port manager on loopback devices and a private registry store: which ports start,
// its messages, SendToPort, and the detection pass in virtual time.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "MidiPortLink.h"
#include "MidiRecorder.h"
#include "ScriptedShell.h"
#include "TestEnvironment.h"
#include "base/ProgramConstants.h"
#include "midi/MidiPortConfig.h"
#include "midi/MidiPortManager.h"
#include "winport/Clock.h"
#include "winport/MidiBackend.h"
#include "winport/RegistryObject.h"

using winport::midi::LoopbackBackend;

namespace {

// Loopback devices "surface N out" (inputs) and "surface N in" (outputs), N = 0..2.
class MidiPortManagerTest : public ::testing::Test {
protected:
    // Port n linked to device pair d, as the port selection dialog writes it.
    void Link(int port, int device, bool active = true, int micPreControl = 1)
    {
        const std::string surface = "surface " + std::to_string(device);
        LinkMidiPort(port, device, surface + " out", device, surface + " in", active, micPreControl);
    }

    TestEnvironment env;
    LoopbackSurfaces loop{3};
    ScriptedShell shell;
    MidiRecorder recorder;
};

TEST_F(MidiPortManagerTest, ConfigurationIsCheckedAgainstThePresentDevices)
{
    struct Row {
        const char* what;
        std::function<void(CCurrentUserRegistryObject&, const CString&)> change;
        bool valid;
    };
    const Row rows[] = {
        {"as linked", [](auto&, auto&) {}, true},
        {"input renamed", [](auto& r, auto& k) { r.SetString(k, "MidiInStr", "surface 2 out"); }, false},
        {"output renamed", [](auto& r, auto& k) { r.SetString(k, "MidiOutStr", "Surface 1 in"); }, false},
        {"MidiIn as text", [](auto& r, auto& k) { r.SetString(k, "MidiIn", "1"); }, false},
        {"MidiIn negative", [](auto& r, auto& k) { r.SetInt(k, "MidiIn", -2); }, false},
        {"MidiIn past the devices", [](auto& r, auto& k) { r.SetInt(k, "MidiIn", 3); }, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Link(4, 1);
        CCurrentUserRegistryObject reg;
        row.change(reg, CMidiPortConfig::KeyOf(4));
        CMidiPortConfig config;
        config.Load(4);
        EXPECT_EQ(config.IsActive(), row.valid ? TRUE : FALSE);
        EXPECT_EQ(config.IsComplete(), row.valid ? TRUE : FALSE);
        EXPECT_EQ(config.GetPortNumber(), row.valid ? 4 : -1);
        EXPECT_EQ(config.GetMidiIn(), row.valid ? 1 : -1);
        EXPECT_EQ(config.ReadPortValue("MicPreControl"), 1);
        if (row.valid) {
            EXPECT_EQ(config.GetMidiInName(), CString("surface 1 out"));
            EXPECT_EQ(config.GetMidiOutName(), CString("surface 1 in"));
        }
    }
    CMidiPortConfig missing;
    missing.Load(7);
    EXPECT_FALSE(missing.IsActive());
    EXPECT_FALSE(missing.IsComplete());
    EXPECT_EQ(missing.GetMidiOut(), -1);
}

TEST_F(MidiPortManagerTest, StartsQualifyingPortsAndTellsWhyNot)
{
    CMidiPortManager manager(shell, recorder.Window());
    EXPECT_FALSE(manager.StopMidiPorts());  // not running: no message
    EXPECT_TRUE(shell.boxes.empty());

    Link(0, 0, /*active=*/false);
    Link(1, 1, true, /*micPreControl=*/0);
    EXPECT_FALSE(manager.StartMidiPortsThread());
    ASSERT_EQ(shell.boxes.size(), 1u);
    EXPECT_EQ(shell.boxes[0].text, "There are no MIDI Ports to start!");
    EXPECT_FALSE(manager.IsRunning());

    Link(2, 2);
    Link(3, 1);
    CCurrentUserRegistryObject().SetString(CMidiPortConfig::KeyOf(3), "MidiInStr", "gone");
    ASSERT_TRUE(manager.StartMidiPortsThread());
    EXPECT_TRUE(manager.IsRunning());
    EXPECT_EQ(shell.cursorChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(manager.GetEngine(0), nullptr);
    EXPECT_EQ(manager.GetEngine(1), nullptr);
    ASSERT_NE(manager.GetEngine(2), nullptr);
    EXPECT_EQ(manager.GetEngine(3), nullptr);  // its input was renamed
    EXPECT_TRUE(loop->IsOpen("surface 2 out"));
    ASSERT_TRUE(loop->WaitSent("surface 2 in", 2, 10000));  // the announcement

    EXPECT_FALSE(manager.StartMidiPortsThread());
    EXPECT_EQ(shell.boxes.back().text, "MIDI control is already running!");

    // SendToPort reaches the engine of a started port only.
    const BYTE bytes[3] = {0xB3, 0x64, 0x7F};
    manager.SendToPort(2, 10, 2, 1, bytes);
    for (int port : {-1, 1, 32, 1000}) manager.SendToPort(port, 10, 2, 1, bytes);
    ASSERT_TRUE(loop->WaitSent("surface 2 in", 3, 10000));
    EXPECT_EQ(loop->Sent("surface 2 in")[2], (std::vector<BYTE>{0xB3, 0x64, 0x7F}));

    EXPECT_TRUE(manager.StopMidiPorts());
    EXPECT_FALSE(manager.IsRunning());
    EXPECT_FALSE(loop->IsOpen("surface 2 out"));
    EXPECT_FALSE(loop->IsOpen("surface 2 in"));
    EXPECT_EQ(shell.boxes.size(), 2u);
    EXPECT_FALSE(manager.StopMidiPorts());
    EXPECT_EQ(shell.boxes.size(), 2u);
}

// A manager whose engines' heartbeat masks come from the test.
class ScriptedMasks : public CMidiPortManager {
public:
    using CMidiPortManager::CMidiPortManager;
    DWORD masks[kPorts] = {};

protected:
    DWORD TakeHeartbeatMask(int port, bool reset) override
    {
        const DWORD mask = masks[port];
        if (reset) masks[port] = 0;
        return mask;
    }
};

TEST_F(MidiPortManagerTest, DetectionCountsHeartbeatsAndListsTheFirstNine)
{
    // Three ports started on loopback devices, their masks scripted.
    Link(0, 0);
    Link(2, 1);
    Link(5, 2);
    ScriptedMasks manager(shell, nullptr);
    ASSERT_TRUE(manager.StartMidiPortsThread());
    auto pass = [&](DWORD m0, DWORD m2, DWORD m5) {
        manager.masks[0] = m0;
        manager.masks[2] = m2;
        manager.masks[5] = m5;
        manager.DetectPres();
    };

    // A unit beating once a pass stays at 1 ... 3; one that stops is dropped after its count.
    pass(1u << 3, 0, 0);
    EXPECT_EQ(manager.GetHeartbeatCounter(0, 3), 1);
    EXPECT_EQ(manager.GetLastHeartbeatCount(), 1);
    for (int i = 0; i < 4; ++i) pass(1u << 3, 0, 0);
    EXPECT_EQ(manager.GetHeartbeatCounter(0, 3), 3);
    EXPECT_EQ(manager.GetDetectedCount(), 1);
    for (int silent = 1; silent <= 3; ++silent) {
        pass(0, 0, 0);
        EXPECT_EQ(manager.GetHeartbeatCounter(0, 3), 3 - silent);
        EXPECT_EQ(manager.GetDetectedCount(), silent < 3 ? 1 : 0);
    }
    pass(0, 0, 0);
    EXPECT_EQ(manager.GetHeartbeatCounter(0, 3), 0);

    // With the hold set counters only rise and the masks are kept.
    manager.SetDetectHold(TRUE);
    pass(1u << 7, 0, 0);
    manager.DetectPres();
    EXPECT_EQ(manager.GetHeartbeatCounter(0, 7), 2);  // the kept mask counted again
    manager.masks[0] = 0;
    manager.DetectPres();
    EXPECT_EQ(manager.GetHeartbeatCounter(0, 7), 2);
    manager.SetDetectHold(FALSE);
    manager.ClearDetectedPres();
    EXPECT_EQ(manager.GetHeartbeatCounter(0, 7), 0);
    EXPECT_EQ(manager.GetDetectedCount(), 0);

    // Twelve counting channels: the first nine in port-then-channel order, the rest (0, 0).
    pass(0x8001, 0x0F0F, 0x0003);
    EXPECT_EQ(manager.GetLastHeartbeatCount(), 12);
    const int expected[9][2] = {{0, 0}, {0, 15}, {2, 0}, {2, 1}, {2, 2}, {2, 3}, {2, 8}, {2, 9}, {2, 10}};
    ASSERT_EQ(manager.GetDetectedCount(), 9);
    for (int i = 0; i < 32; ++i) {
        int port = -1, channel = -1;
        ASSERT_TRUE(manager.GetDetectedPre(i, port, channel));
        EXPECT_EQ(port, i < 9 ? expected[i][0] : 0) << i;
        EXPECT_EQ(channel, i < 9 ? expected[i][1] : 0) << i;
    }
    int port = 0, channel = 0;
    EXPECT_FALSE(manager.GetDetectedPre(32, port, channel));
    EXPECT_FALSE(manager.GetDetectedPre(-1, port, channel));
    EXPECT_TRUE(manager.StopMidiPorts());
}

TEST(MidiPortManagerThreads, DetectionThreadPassesEvery15100MsOfTheClock)
{
    TestEnvironment env;
    auto loop = std::make_shared<LoopbackBackend>();
    loop->AddInput("unit out");
    loop->AddOutput("unit in");
    winport::midi::SetBackend(loop);
    LinkMidiPort(0, 0, "unit out", 0, "unit in");

    winport::ManualClock clock(1000);
    winport::ScopedClock scoped(clock);
    ScriptedShell shell;
    MidiRecorder recorder;
    {
        CMidiPortManager manager(shell, recorder.Window());
        ASSERT_TRUE(manager.StartMidiPortsThread());
        // A heartbeat on channel 3, answered: the engine's mask holds it.
        ASSERT_TRUE(loop->WaitSent("unit in", 2, 10000));
        loop->InjectShort("unit out", 0xB3, 0x0A, 0x00);
        ASSERT_TRUE(loop->WaitSent("unit in", 3, 10000));

        const uint64_t start = clock.nowMs();
        auto lookAt = [&](uint64_t now) {
            clock.SetNow(start + now);
            ASSERT_TRUE(manager.WaitForDetectionLook(manager.NudgeDetection(), 10000));
        };
        lookAt(15099);
        EXPECT_EQ(manager.DetectionPasses(), 0u);
        EXPECT_EQ(manager.GetDetectedCount(), 0);
        lookAt(15100);
        EXPECT_EQ(manager.DetectionPasses(), 1u);
        ASSERT_EQ(manager.GetDetectedCount(), 1);
        int port = -1, channel = -1;
        manager.GetDetectedPre(0, port, channel);
        EXPECT_EQ(port, 0);
        EXPECT_EQ(channel, 3);
        lookAt(15100 + 15099);
        EXPECT_EQ(manager.DetectionPasses(), 1u);
        lookAt(2 * 15100);
        EXPECT_EQ(manager.DetectionPasses(), 2u);
        EXPECT_EQ(manager.GetHeartbeatCounter(0, 3), 0);  // silent since: dropped

        // Stop right after a start, and stop with traffic: nothing is posted after stop returns.
        EXPECT_TRUE(manager.StopMidiPorts());
        ASSERT_TRUE(manager.StartMidiPortsThread());
        for (int i = 0; i < 200; ++i) loop->InjectShort("unit out", 0xB0 | (i % 16), 0x49, i & 0x7F);
        EXPECT_TRUE(manager.StopMidiPorts());
        recorder.Drain();
        ASSERT_FALSE(recorder.posted.empty());
        EXPECT_EQ(recorder.posted.back().message, WM_MIDI_OUT_SHOWN);  // "Close" is the last word
        EXPECT_EQ(recorder.posted.back().w, 0xFFFF0000u);
        const size_t seen = recorder.posted.size();
        loop->InjectShort("unit out", 0xB1, 0x49, 0x40);
        ASSERT_TRUE(loop->WaitDelivered(10000));
        recorder.Drain();
        EXPECT_EQ(recorder.posted.size(), seen);
    }
    winport::midi::SetBackend(nullptr);
}

}  // namespace
