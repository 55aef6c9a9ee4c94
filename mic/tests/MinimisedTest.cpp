// The mini view's core in virtual time against the unit model: what it shows of the rack on
// show, and its switches, gain, rack stepping, Maximise and close going through the main dialog.
#include <gtest/gtest.h>

#include <vector>

#include "UnitLineFixture.h"
#include "app/Minimised.h"

namespace {

class ViewRecorder : public CMinimisedView {
public:
    void Changed() override { ++changes; }
    void EndDialog(int result) override { ended.push_back(result); }
    int changes = 0;
    std::vector<int> ended;
};

class Minimised : public UnitLineFixture {
protected:
    void Open(int units, std::unique_ptr<StoppedMidiPorts> midiPorts = nullptr)
    {
        midi = midiPorts.get();
        Start(units, false, std::move(midiPorts));
        mini = std::make_unique<CMinimised>(dlg.get(), &shell);
        mini->SetView(&view);
        ASSERT_TRUE(mini->OnInitDialog(CPoint(40, 50)));
    }
    CRackSetup& Record() { return dlg->m_RackSetup; }

    ViewRecorder view;
    StoppedMidiPorts* midi = nullptr;
    std::unique_ptr<CMinimised> mini;
};

}  // namespace

TEST_F(Minimised, GainCodingBothWays)
{
    Open(1);
    ASSERT_TRUE(RunUntilResponding(0));
    Settle();
    struct Shown { int mode, nibble, item; };
    const Shown shown[] = {
        {1, 3, 4}, {1, 0, 4}, {1, 5, 6}, {1, 13, 14}, {1, 14, 14}, {1, 15, 14},  // mic input: line status
        {0, 3, 0}, {0, 0, 0}, {0, 7, 4},                                        // line input: channel status
    };
    for (const Shown& s : shown) {
        SCOPED_TRACE(testing::Message() << "mode " << s.mode << " nibble " << s.nibble);
        Record().SetChannelMode(0, 1, s.mode);
        if (s.mode) Record().SetLineStatus(0, 1, s.nibble);
        else Record().SetChannelStatus(0, 1, s.nibble);
        EXPECT_EQ(mini->GetChannel(1).gainItem, s.item);
    }

    struct Chosen { int mode, item, nibble; bool kept; };
    const Chosen chosen[] = {
        {1, 6, 5, true}, {1, 14, 13, true}, {1, 3, 13, false},  // 15 dB on the mic input snaps back
        {0, 2, 5, true}, {0, 0, 3, true}, {0, 5, 3, false},    // 25 dB on the line input snaps back
    };
    for (const Chosen& c : chosen) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " item " << c.item);
        Record().SetChannelMode(0, 2, c.mode);
        mini->OnGainSelected(2, c.item);
        const int nibble = (c.mode ? Record().GetLineStatus(0, 2) : Record().GetChannelStatus(0, 2)) & 0x0F;
        EXPECT_EQ(nibble, c.nibble);
        EXPECT_EQ(mini->GetChannel(2).gainItem == c.item, c.kept);
    }
}

TEST_F(Minimised, SwitchesShownByModeAndToggledThroughTheOwner)
{
    Open(1);
    ASSERT_TRUE(RunUntilResponding(0));
    Settle();
    Record().SetChannelMode(0, 0, 1);
    Record().SetChannelStatus(0, 0, 0x40 | 0x10);  // Phant, Pad
    Record().SetLineStatus(0, 0, 0x40 | 0x10 | 0x80 | 5);  // Lowz, Phase, Ins
    ChannelSnapshot mic = mini->GetChannel(0);
    EXPECT_TRUE(mic.phant && mic.pad && mic.lowz && mic.phase && mic.ins && mic.dir);

    Record().SetChannelMode(0, 0, 0);  // the line input has only Phase and Ins
    Record().SetChannelStatus(0, 0, 0x40 | 0x10 | 0x20 | 3);
    Record().SetLineStatus(0, 0, 0x40 | 0x20);
    ChannelSnapshot line = mini->GetChannel(0);
    EXPECT_FALSE(line.phant || line.pad || line.lowz || line.dir);
    EXPECT_TRUE(line.phase && line.ins);

    // Phant on the line input: nothing changes, nothing goes to the unit.
    Drain();
    bus->ClearFrames();
    Record().SetChannelStatus(0, 0, 3);
    mini->OnSwitch(0, CMicDlg::kSwitchPhant);
    EXPECT_EQ(Record().GetChannelStatus(0, 0), 3);
    EXPECT_EQ(dlg->RingCount(), 0);
    // Dir, then Phant of the mic input: both reach the unit.
    mini->OnSwitch(0, CMicDlg::kSwitchDir);
    mini->OnSwitch(0, CMicDlg::kSwitchPhant);
    EXPECT_TRUE(mini->GetChannel(0).dir);
    EXPECT_TRUE(mini->GetChannel(0).phant);
    Drain();
    EXPECT_GE(Count(0, 0x11), 1);
    EXPECT_EQ(bus->unit(0).micSwitch[0] & 0x40, 0x40);
}

TEST_F(Minimised, RackSteppingStopsAtTheEndsAndAnAbsentUnitIsBlank)
{
    Open(1);
    ASSERT_TRUE(RunUntilResponding(0));
    Settle();
    mini->OnPrevRack();
    EXPECT_EQ(mini->GetRack(), 0);
    EXPECT_EQ(mini->GetStatePicture(), CMinimised::kStateResponding);
    EXPECT_EQ(mini->GetRackPicture(), 247);
    EXPECT_GE(mini->GetChannel(0).readout, 0);
    dlg->m_bReadoutsBlank = TRUE;  // the main dialog's hold: read-outs blank in both windows
    EXPECT_EQ(mini->GetChannel(0).readout, -1);
    dlg->m_bReadoutsBlank = FALSE;

    Drain();
    bus->ClearFrames();
    mini->OnNextRack();  // rack 2 has no unit
    EXPECT_EQ(mini->GetRack(), 1);
    EXPECT_EQ(mini->GetRackPicture(), 248);
    EXPECT_EQ(mini->GetStatePicture(), CMinimised::kStateNoUnit);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(mini->GetChannel(c).readout, -1);
    EXPECT_EQ(dlg->RingCount(), 0) << "nothing queued for a rack without its unit";

    dlg->SelectRack(15);
    mini->OnNextRack();
    EXPECT_EQ(mini->GetRack(), 15);
    EXPECT_GT(view.changes, 0);
}

TEST_F(Minimised, MaximiseWaitsForAnEmptyRingAndKeepsThePlace)
{
    Open(1);
    ASSERT_TRUE(RunUntilResponding(0));
    Settle();
    EXPECT_EQ(mini->InitialPosition(), CPoint(40, 50));  // first opened where the main window stands
    dlg->SendLineCommand(0, 2);
    mini->OnMaximise(CPoint(300, 200));
    EXPECT_TRUE(view.ended.empty());
    EXPECT_EQ(mini->GetMaximiseButton().text, CString("&Maximise"));
    Drain();
    mini->OnMaximise(CPoint(300, 200));
    EXPECT_EQ(view.ended, std::vector<int>{IDCANCEL});
    EXPECT_EQ(mini->GetMaximiseButton().text, CString("Maximised"));

    // The next mini view of this run opens where this one was.
    mini = std::make_unique<CMinimised>(dlg.get(), &shell);
    mini->OnInitDialog(CPoint(40, 50));
    EXPECT_EQ(mini->InitialPosition(), CPoint(300, 200));
}

TEST_F(Minimised, CloseEndsTheProgramOnlyWhenMidiStops)
{
    auto ports = std::make_unique<StoppedMidiPorts>();
    ports->SetRunning(true);
    ports->SetRefuseStop(true);
    Open(1, std::move(ports));
    ASSERT_TRUE(RunUntilResponding(0));
    Settle();
    shell.dialogAnswers = {IDOK};
    mini->OnClose();
    EXPECT_EQ(shell.Count(ShellDialog::ConfirmClose), 1);
    EXPECT_FALSE(dlg->IsEnded()) << "MIDI refused to stop: the program stays";
    EXPECT_TRUE(view.ended.empty());

    midi->SetRefuseStop(false);
    dlg->m_bAutoRestore = TRUE;
    shell.dialogAnswers = {IDCANCEL};
    mini->OnClose();
    EXPECT_FALSE(dlg->IsEnded());
    shell.dialogAnswers = {IDOK};
    mini->OnClose();
    EXPECT_TRUE(dlg->IsEnded());
    EXPECT_EQ(view.ended, std::vector<int>{IDOK});
    EXPECT_TRUE(std::filesystem::exists(winport::HostPath(CMicDlg::GetRestoreFilePath())));
}
