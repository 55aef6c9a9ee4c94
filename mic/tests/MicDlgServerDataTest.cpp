// The server's mic-line data in the main dialog, in virtual time against the unit model, with
// the records handed over as the mic-line receptacle does: the channels of a line follow its
// Phant, Pad and gain, the enlarged read-out comes and goes, and the settings commands of the
// set-up and test dialog.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "RealTimeLoop.h"
#include "ServerModeFixture.h"
#include "app/MicLineInterface.h"
#include "winport/RegistryObject.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The server side: the newest record, taken as the receptacle gives it.
class RecordLink : public ServerLink {
public:
    class MicLine : public ServerObject {
    public:
        explicit MicLine(RecordLink& link) : m_link(link) {}
        BOOL TakeMicLineRecord(MicLineRecord& record) override
        {
            ++m_link.taken;
            if (!m_link.received) return FALSE;
            record = m_link.record;
            return TRUE;
        }

    private:
        RecordLink& m_link;
    };
    std::unique_ptr<ServerObject> CreateMicLine(HWND) override { return std::make_unique<MicLine>(*this); }
    std::unique_ptr<ServerObject> CreateClientMonitor(HWND, const char*) override
    {
        return std::make_unique<ServerObject>();
    }

    MicLineRecord record;
    bool received = false;
    int taken = 0;
};

// The message of a channel on the wire, checksum added.
Bytes frame(int unit, uint8_t command, int channel, uint8_t data, uint8_t micLine)
{
    Bytes b{static_cast<uint8_t>(0x81 + unit), command, static_cast<uint8_t>(channel), data, micLine};
    b.push_back(static_cast<uint8_t>((b[2] + b[3] + b[4]) & 0x7F));
    return b;
}

// The process works in another folder for the scope.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::filesystem::path& folder) : m_home(std::filesystem::current_path())
    {
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
    }
    ~WorkingFolder() { std::filesystem::current_path(m_home); }

private:
    std::filesystem::path m_home;
};

class ServerData : public ServerModeFixture {
protected:
    void BeforeCreate() override
    {
        dlg->SetServerLink(&link);
        dlg->SetServerMode({1, 1});
    }

    // The record comes, as the receptacle announces it.
    void Send(const MicLineRecord& record)
    {
        link.record = record;
        link.received = true;
        PostMessageA(dlg->GetSafeHwnd(), g_msgButtonFromCantle, 0, 0);
        winport::MessageLoop::Current().RunUntilIdle();
    }

    static MicLineRecord With(int entry, BYTE phantOff, BYTE pad, BYTE gain, BYTE selected = 0)
    {
        return MicLineRecordWith(entry, phantOff, pad, gain, selected);
    }

    // Frames other than polls that went to a unit.
    std::vector<Bytes> Sent(int unit) const
    {
        std::vector<Bytes> out;
        for (const auto& f : bus->Frames()) {
            if (f.unit == unit && f.bytes.size() > 2) out.push_back(f.bytes);
        }
        return out;
    }

    RecordLink link;
};

}  // namespace

// ---- Applying the record -------------------------------------------------------------------------

// The gain of a record goes to the channel status word, whose low bits are the line input's
// gain: a channel on its mic input is then sent 0x11, which carries the mic gain of the other
// word, so its unit keeps its mic gain; a channel on its line input gets the record's gain.
TEST_F(ServerData, EveryChannelOfALineFollowsItsEntryAndIsSentItsInputsMessage)
{
    StartAnswering(2);
    Assign(0, 1, 6, true);
    Assign(1, 3, 6, false);
    Assign(0, 2, 7, false);
    Send(With(5, 0, 1, 20));
    EXPECT_EQ(0x40 | 0x10 | 13, dlg->m_RackSetup.GetChannelStatus(0, 1));
    EXPECT_EQ(0x40 | 0x10 | 13, dlg->m_RackSetup.GetChannelStatus(1, 3));
    EXPECT_EQ(3, dlg->m_RackSetup.GetChannelStatus(0, 2)) << "line 7 asked for nothing new";
    EXPECT_EQ(3, dlg->m_RackSetup.GetLineStatus(0, 1));
    EXPECT_EQ(6, dlg->RingCount()) << "one message for each of Phant, Pad and gain";
    MicDlgSnapshot shown = dlg->Snapshot();
    EXPECT_TRUE(shown.channels[1].phant);
    EXPECT_TRUE(shown.channels[1].pad);

    Drain();
    EXPECT_EQ(std::vector<Bytes>({frame(0, 0x11, 1, 0x43, 5), frame(0, 0x11, 1, 0x53, 5), frame(0, 0x11, 1, 0x53, 5)}),
              Sent(0));
    EXPECT_EQ(std::vector<Bytes>({frame(1, 0x41, 3, 0x03, 5), frame(1, 0x41, 3, 0x03, 5), frame(1, 0x41, 3, 0x0D, 5)}),
              Sent(1));
    EXPECT_EQ(0x53, bus->unit(0).micSwitch[1]) << "Phant and Pad on, the mic gain step kept at 3";
    EXPECT_EQ(0x0D, bus->unit(1).lineSwitch[3]) << "the line input at gain step 13";
    EXPECT_EQ(5, bus->unit(1).micLine[3]);

    bus->ClearFrames();
    Send(With(5, 0, 1, 20));
    EXPECT_EQ(0, dlg->RingCount()) << "the same record again changes nothing";
}

TEST_F(ServerData, EntryBytesAndWhatTheyChange)
{
    struct Case {
        const char* name;
        BYTE phantOff, pad, gain;
        int status;    // the channel status word afterwards (from 3)
        int messages;  // messages queued
    };
    const Case cases[] = {
        {"Phant on", 0, 0, 3, 0x43, 1},
        {"nothing new", 1, 0, 3, 0x03, 0},
        {"any other first byte is Phant off; Pad", 0xFF, 1, 3, 0x13, 1},
        {"a gain of 0 counts as 3", 1, 0, 0, 0x03, 0},
        {"a gain of 20 counts as 13", 1, 0, 20, 0x0D, 1},
        {"a gain of 255 counts as 13", 1, 0, 255, 0x0D, 1},
        {"a gain within the range", 1, 0, 9, 0x09, 1},
        {"all three", 0, 1, 12, 0x5C, 3},
    };
    StartAnswering(1);
    Assign(0, 2, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dlg->m_RackSetup.SetChannelStatus(0, 2, 3);
        Send(With(0, c.phantOff, c.pad, c.gain));
        EXPECT_EQ(c.status, dlg->m_RackSetup.GetChannelStatus(0, 2));
        EXPECT_EQ(c.messages, dlg->RingCount());
        Settle();
    }
}

TEST_F(ServerData, OnlyChannelsWhoseLineMatchesFollowAndAReassignedChannelFollowsItsNewLine)
{
    StartAnswering(1);
    Assign(0, 0, 6);
    dlg->AddMapping(5, 0, 3);  // a stale pair: channel 3 follows no line
    Send(With(5, 0, 0, 3));
    EXPECT_EQ(0x43, dlg->m_RackSetup.GetChannelStatus(0, 0));
    EXPECT_EQ(3, dlg->m_RackSetup.GetChannelStatus(0, 3));

    // Assigned to line 7, the channel takes line 7's state at once, without a read-out.
    dlg->m_RackSetup.SetPopupControls(TRUE);
    dlg->SetMicLine(0, 7, FALSE);
    EXPECT_EQ(0x03, dlg->m_RackSetup.GetChannelStatus(0, 0));
    EXPECT_EQ(0, shell.readoutShown);
    Send(With(5, 0, 1, 9));
    EXPECT_EQ(0x03, dlg->m_RackSetup.GetChannelStatus(0, 0)) << "line 6 no longer drives it";
}

TEST_F(ServerData, NothingIsAppliedWithoutARecordOrOutsideServerMode)
{
    StartAnswering(1);
    // Before the server's first record: a record of zeros would mean Phant on.
    dlg->SetMicLine(1, 6, FALSE);
    EXPECT_EQ(3, dlg->m_RackSetup.GetChannelStatus(0, 1));
    EXPECT_EQ(1, dlg->RingCount()) << "only the channel's new line";
    Settle();

    dlg->m_bCantlePresent = 0;
    Send(With(5, 0, 1, 9));
    EXPECT_EQ(3, dlg->m_RackSetup.GetChannelStatus(0, 1));
    dlg->m_bCantlePresent = 1;
    dlg->m_bUseWithCantle = 0;
    Send(With(5, 0, 1, 9));
    EXPECT_EQ(3, dlg->m_RackSetup.GetChannelStatus(0, 1));
    EXPECT_EQ(0, dlg->RingCount());
    dlg->m_bUseWithCantle = 1;
    Send(With(5, 0, 1, 9));
    EXPECT_EQ(0x59, dlg->m_RackSetup.GetChannelStatus(0, 1));
}

// ---- The enlarged read-out -----------------------------------------------------------------------

TEST_F(ServerData, AChangeBringsUpTheReadoutOfItsLineAndItsNeighboursForTwoAndAHalfSeconds)
{
    StartAnswering(1);
    dlg->m_RackSetup.SetPopupControls(TRUE);
    Assign(0, 0, 4);
    Assign(0, 1, 6, true);
    Assign(0, 3, 6);
    Assign(0, 2, 9);
    dlg->m_RackSetup.SetLabel(0, 1, "Vox");
    dlg->m_RackSetup.SetChannelStatus(0, 2, 0x10 | 7);
    Send(With(5, 0, 0, 3));
    EXPECT_LE(1, shell.raisedForReadout);
    ASSERT_EQ(1u, shell.readoutRecords.size()) << "one read-out for the line, whatever its channels";
    const ReadoutChannels& r = shell.readoutRecords[0];
    EXPECT_EQ(4, r[0].nMicLine);
    EXPECT_EQ(20, r[0].nGain);
    EXPECT_EQ(6, r[1].nMicLine);
    EXPECT_EQ(CString("Vox"), r[1].strLabel);
    EXPECT_TRUE(r[1].bPhant);
    EXPECT_TRUE(r[1].bMicInput);
    EXPECT_EQ(9, r[2].nMicLine);
    EXPECT_EQ(40, r[2].nGain);
    EXPECT_TRUE(r[2].bPad);
    EXPECT_FALSE(shell.readoutChangedOnly[0]);
    EXPECT_EQ(1, shell.readoutShown);
    EXPECT_TRUE(dlg->m_bReadoutOpen);
    EXPECT_FALSE(dlg->m_bReadoutReady);

    shell.readoutEvent(true);
    EXPECT_TRUE(dlg->m_bReadoutReady);
    // A further change of the same line redraws only what changed.
    Send(With(5, 0, 1, 3));
    ASSERT_EQ(2u, shell.readoutRecords.size());
    EXPECT_TRUE(shell.readoutChangedOnly[1]);
    EXPECT_TRUE(shell.readoutRecords[1][1].bPad);
    shell.readoutEvent(true);
    Run(2490);
    EXPECT_EQ(0, shell.readoutClosed);
    Run(20);
    EXPECT_EQ(1, shell.readoutClosed);
    EXPECT_FALSE(dlg->m_bReadoutOpen);
    EXPECT_EQ(-1, dlg->m_nReadoutLine);
    EXPECT_EQ(1, shell.frontRestored);
}

TEST_F(ServerData, ARecordThatComesWhileTheReadoutComesUpIsAppliedWhenItIsReady)
{
    StartAnswering(1);
    dlg->m_RackSetup.SetPopupControls(TRUE);
    Assign(0, 1, 6);
    Assign(0, 2, 9);
    Send(With(5, 0, 0, 3));
    ASSERT_TRUE(dlg->m_bReadoutOpen);
    Settle();
    int taken = link.taken;
    MicLineRecord next = With(5, 0, 0, 3);
    next.bytes[8 * 4 + MicLineRecord::kPad] = 1;
    Send(next);
    EXPECT_EQ(taken, link.taken) << "the record stays with the receptacle";
    EXPECT_EQ(3, dlg->m_RackSetup.GetChannelStatus(0, 2));
    EXPECT_EQ(0, dlg->RingCount());

    shell.readoutEvent(true);
    EXPECT_EQ(0x13, dlg->m_RackSetup.GetChannelStatus(0, 2));
    EXPECT_EQ(1, dlg->RingCount());
    ASSERT_EQ(2u, shell.readoutRecords.size());
    EXPECT_EQ(9, shell.readoutRecords[1][1].nMicLine);
    EXPECT_FALSE(shell.readoutChangedOnly[1]) << "another line: drawn whole";
    EXPECT_EQ(2, shell.readoutShown);
}

TEST_F(ServerData, ARecordAnnouncedWhileOneIsAppliedFollowsAtOnce)
{
    StartAnswering(1);
    shell.readoutExists = false;
    dlg->m_RackSetup.SetPopupControls(TRUE);
    Assign(0, 1, 6);
    Assign(0, 2, 9);
    MicLineRecord next = With(5, 0, 0, 3);
    next.bytes[8 * 4 + MicLineRecord::kPad] = 1;
    bool announced = false;
    shell.duringReadoutRecords = [&] {
        if (announced) return;
        announced = true;
        link.record = next;
        dlg->ApplyMicLineData(0, 0);  // the announcement, while the first record is applied
    };
    Send(With(5, 0, 0, 3));
    ASSERT_TRUE(announced);
    EXPECT_EQ(0x43, dlg->m_RackSetup.GetChannelStatus(0, 1));
    EXPECT_EQ(0x13, dlg->m_RackSetup.GetChannelStatus(0, 2)) << "the second record is applied right after";
}

TEST_F(ServerData, ALoadAppliesTheServersRecordAgain)
{
    StartAnswering(1);
    Assign(0, 1, 6, true);
    Send(With(5, 0, 1, 9));
    EXPECT_EQ(0x59, dlg->m_RackSetup.GetChannelStatus(0, 1));
    // A file in which channel 2 follows line 6 with other settings.
    dlg->m_RackSetup.SetChannelStatus(0, 1, 0x03);
    const std::string path = env.Path("other.mic");
    ASSERT_TRUE(dlg->m_RackSetup.SaveSetupFile(path.c_str()));
    Settle();
    dlg->LoadSetup(path.c_str(), 0, -1);
    EXPECT_EQ(0x59, dlg->m_RackSetup.GetChannelStatus(0, 1)) << "the server's line wins over the file";
    EXPECT_EQ(LinkPicture::Busy, dlg->m_eLinkPicture);
    Drain();
    EXPECT_EQ(0x53, bus->unit(0).micSwitch[1]) << "after the reset set, the server's Phant and Pad";
}

TEST_F(ServerData, ALineSelectedAtTheConsoleHoldsTheReadoutUntilItIsReleased)
{
    StartAnswering(1);
    dlg->m_RackSetup.SetPopupOnSel(TRUE);
    Assign(0, 1, 6);
    Assign(0, 2, 9);
    Send(With(5, 1, 0, 3, 1));
    EXPECT_EQ(0, dlg->m_nHeldRack);
    EXPECT_EQ(1, dlg->m_nHeldChannel);
    ASSERT_EQ(1, shell.readoutShown);
    shell.readoutEvent(true);
    MicLineRecord other = With(5, 1, 0, 3, 1);
    other.bytes[8 * 4 + MicLineRecord::kSelected] = 1;
    Send(other);
    EXPECT_EQ(1, dlg->m_nHeldChannel) << "one line is held at a time";
    Run(5000);
    EXPECT_EQ(0, shell.readoutClosed);
    EXPECT_TRUE(dlg->m_bReadoutOpen);

    Send(With(5, 1, 0, 3, 0));
    EXPECT_EQ(-1, dlg->m_nHeldRack);
    Run(2510);
    EXPECT_EQ(1, shell.readoutClosed);
    EXPECT_FALSE(dlg->m_bReadoutOpen);

    // Clearing the option drops a hold and closes the read-out.
    Send(With(5, 1, 0, 3, 1));
    shell.readoutEvent(true);
    dlg->m_RackSetup.SetPopupControls(FALSE);
    dlg->OnPopupOnSelClicked(FALSE);
    EXPECT_EQ(-1, dlg->m_nHeldRack);
    EXPECT_EQ(2, shell.readoutClosed);
}

// The console selects a line in the same record that changes it, and releases it in the same
// record as a further change: the read-out shows the line as the whole record left it, is held
// from the first record and goes 2.5 s after the second.
TEST_F(ServerData, ASelectionThatComesWithAChangeHoldsAndAReleaseWithAChangeLetsGo)
{
    StartAnswering(1);
    dlg->m_RackSetup.SetPopupOnSel(TRUE);
    dlg->m_RackSetup.SetPopupControls(TRUE);
    Assign(0, 1, 6);
    Send(With(5, 0, 1, 9, 1));
    EXPECT_EQ(0x59, dlg->m_RackSetup.GetChannelStatus(0, 1));
    EXPECT_EQ(1, dlg->m_nHeldChannel);
    ASSERT_EQ(1, shell.readoutShown);
    ASSERT_EQ(1u, shell.readoutRecords.size());
    EXPECT_TRUE(shell.readoutRecords[0][1].bPhant);
    EXPECT_TRUE(shell.readoutRecords[0][1].bPad) << "Phant, Pad and gain came in one record";
    EXPECT_EQ(50, shell.readoutRecords[0][1].nGain);
    shell.readoutEvent(true);
    Run(5000);
    EXPECT_EQ(0, shell.readoutClosed) << "held while the line stays selected";
    EXPECT_EQ(0, shell.frontRestored);

    Send(With(5, 1, 1, 9, 0));
    EXPECT_EQ(-1, dlg->m_nHeldRack);
    shell.readoutEvent(true);
    Run(2490);
    EXPECT_EQ(0, shell.readoutClosed);
    Run(20);
    EXPECT_EQ(1, shell.readoutClosed) << "released: gone 2.5 s later";
    EXPECT_FALSE(dlg->m_bReadoutOpen);
}

TEST_F(ServerData, NoReadoutWhileTheNumberingMarkShowsOrWithoutOne)
{
    StartAnswering(1);
    dlg->m_RackSetup.SetPopupControls(TRUE);
    Assign(0, 1, 6);
    dlg->m_bMicLineNumbering = TRUE;
    Send(With(5, 0, 0, 3));
    EXPECT_EQ(0x43, dlg->m_RackSetup.GetChannelStatus(0, 1));
    EXPECT_EQ(0, shell.readoutShown);
    dlg->m_bMicLineNumbering = FALSE;

    // A program without a read-out: nothing stays "coming up", and records go on applying.
    shell.readoutExists = false;
    Send(With(5, 1, 0, 3));
    EXPECT_EQ(1, shell.readoutShown);
    EXPECT_FALSE(dlg->m_bReadoutOpen);
    Send(With(5, 0, 1, 3));
    EXPECT_EQ(0x53, dlg->m_RackSetup.GetChannelStatus(0, 1));
}

// ---- Settings commands ---------------------------------------------------------------------------

TEST_F(ServerData, SettingsCommands)
{
    StartAnswering(2);
    Assign(0, 1, 6);
    Assign(1, 2, 7);
    Assign(1, 3, 8);
    dlg->m_RackSetup.SetChannelStatus(0, 1, 0x53);
    dlg->m_RackSetup.SetChannelStatus(1, 2, 0x53);
    ports.Plug(5);
    CCurrentUserRegistryObject user;
    WorkingFolder folder(env.Path("work"));

    // Everything a settings command may change, as text.
    auto state = [&] {
        std::string s;
        for (int r = 0; r < CRackSetup::kRacks; ++r) {
            for (int c = 0; c < CRackSetup::kChannels; ++c) {
                s += std::to_string(dlg->m_RackSetup.GetChannelStatus(r, c)) + "/" +
                     std::to_string(dlg->m_RackSetup.GetChannelMicLine(r, c)) + " ";
            }
        }
        for (const auto& list : dlg->m_ChannelMaps) s += std::to_string(list.GetSize());
        int cantle = -1;
        user.GetInt(kServerModeKey, kServerModeValue, cantle, -1);
        s += " ring " + std::to_string(dlg->RingCount()) + " frames " + std::to_string(bus->Frames().size()) +
             " port " + std::to_string(dlg->m_nCommPort) + " options " + std::to_string(dlg->m_bAutoLoad) +
             std::to_string(dlg->m_bAutoRestore) + std::to_string(dlg->m_bMiniAlwaysOnTop) +
             std::to_string(dlg->m_bDebugFile) + " cantle " + std::to_string(cantle) + " sleeps " +
             std::to_string(clock.Sleeps().size());
        return s;
    };
    auto mapped = [&](int line) { return dlg->m_ChannelMaps[line - 1].GetSize(); };
    int ringBefore = 0;

    struct Row {
        const char* name;
        INT_PTR value;
        LPARAM command;
        std::function<void()> check;  // empty: nothing changes
    };
    const Row rows[] = {
        {"unit test", 1, 0, [&] {
             EXPECT_EQ(8, Count(1, 0x11) + Count(1, 0x41)) << "each channel's phase flipped and back";
             EXPECT_EQ(500u, clock.Sleeps().back());
         }},
        {"unit test of a unit 16", 16, 0, {}},
        {"unit test of unit -1", -1, 0, {}},
        {"version request", 1, 1, [&] { EXPECT_EQ(1, Count(1, 0x10)); }},
        {"version request of a unit 16", 16, 1, {}},
        {"debug file on", 1, 3, [&] {
             EXPECT_TRUE(dlg->m_bDebugFile);
             EXPECT_TRUE(std::filesystem::exists("MicDebug.txt"));
             EXPECT_TRUE(shell.boxes.empty());
         }},
        {"debug file off", 0, 3, [&] { EXPECT_FALSE(dlg->m_bDebugFile); }},
        {"port 256", 256, 4, {}},
        {"port disabled", -1, 4, [&] {
             EXPECT_EQ(-1, dlg->m_nCommPort);
             EXPECT_EQ(0, dlg->OpenPortNumber());
         }},
        {"port", 5, 4, [&] {
             EXPECT_EQ(5, dlg->m_nCommPort);
             EXPECT_EQ(5, dlg->OpenPortNumber());
         }},
        {"server link on", 1, 5, [&] {
             BYTE on = 0;
             EXPECT_TRUE(user.GetBool(kServerModeKey, kServerModeValue, on, 0));
             EXPECT_EQ(1, on);
             EXPECT_EQ(1, dlg->m_bUseWithCantle) << "until the next start";
         }},
        {"server link off", 0, 5, [&] {
             int v = -1;
             user.GetInt(kServerModeKey, kServerModeValue, v, -1);
             EXPECT_EQ(0, v);
         }},
        {"auto load", 1, 6, [&] {
             EXPECT_EQ(1, dlg->m_bAutoLoad);
             EXPECT_EQ(0, dlg->m_bAutoRestore);
         }},
        {"auto restore", 1, 7, [&] {
             EXPECT_EQ(1, dlg->m_bAutoRestore);
             EXPECT_EQ(0, dlg->m_bAutoLoad);
         }},
        {"auto restore off keeps auto load off", 0, 7, [&] {
             EXPECT_EQ(0, dlg->m_bAutoRestore);
             EXPECT_EQ(0, dlg->m_bAutoLoad);
         }},
        {"auto load with 2 is off", 2, 6, [&] { EXPECT_EQ(0, dlg->m_bAutoLoad); }},
        {"mini view on top off", 0, 8, [&] { EXPECT_EQ(0, dlg->m_bMiniAlwaysOnTop); }},
        {"mini view on top with 2", 2, 8, [&] { EXPECT_EQ(1, dlg->m_bMiniAlwaysOnTop); }},
        {"sub-command 9", 1, 9, {}},
        {"sub-command -1", 1, -1, {}},
        {"reset the selected rack", 0, 2, [&] {
             EXPECT_EQ(3, dlg->m_RackSetup.GetChannelStatus(0, 1));
             EXPECT_EQ(0, dlg->m_RackSetup.GetChannelMicLine(0, 1));
             EXPECT_EQ(0, mapped(6));
             EXPECT_EQ(0x53, dlg->m_RackSetup.GetChannelStatus(1, 2)) << "another rack";
             EXPECT_EQ(1, mapped(7));
             EXPECT_EQ(12, dlg->RingCount() - ringBefore);
         }},
        {"reset all racks", static_cast<INT_PTR>(-1), 2, [&] {
             EXPECT_EQ(3, dlg->m_RackSetup.GetChannelStatus(1, 2));
             EXPECT_EQ(0, dlg->m_RackSetup.GetChannelMicLine(1, 3));
             for (const auto& list : dlg->m_ChannelMaps) EXPECT_EQ(0, list.GetSize());
             EXPECT_EQ(24, dlg->RingCount() - ringBefore) << "the reset sets of both answering units";
         }},
    };
    // The commands come while the set-up and test dialog is open.
    dlg->OnCommand(kIdSetup, 0);
    for (int t = 0; t < 5000 && shell.setupDialogs.empty(); t += 10) Run(10);
    ASSERT_EQ(1u, shell.setupDialogs.size());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        bus->ClearFrames();
        ringBefore = dlg->RingCount();
        std::string before = state();
        EXPECT_EQ(0, dlg->WindowProc(WM_SETTINGS_COMMAND, static_cast<WPARAM>(row.value), row.command));
        if (row.check) row.check();
        else EXPECT_EQ(before, state());
    }
    // The resets go out when the dialog closes.
    shell.closeSetup();
    Drain();
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(0x03, bus->unit(1).micSwitch[c]);
        EXPECT_EQ(0x03, bus->unit(1).lineSwitch[c]);
        EXPECT_EQ(0x7F, bus->unit(1).micLine[c]);
        EXPECT_EQ(0x00, bus->unit(1).pathByte[c]);
    }
}

TEST_F(ServerData, DebugFileErrorWhenTheWorkingFolderCannotBeWritten)
{
    StartAnswering(1);
    {
        // A working folder that has gone cannot take a new file, whoever runs the test.
        WorkingFolder folder(env.Path("gone"));
        std::filesystem::remove(env.Path("gone"));
        dlg->OnSettingsCommand(1, 3);
    }
    ASSERT_EQ(1u, shell.boxes.size());
    EXPECT_EQ("Debug File Error!!", shell.boxes[0].text);
    EXPECT_TRUE(dlg->m_bDebugFile) << "the flag takes the value";
    Settle();  // the link goes on without a trace
    dlg->OnSettingsCommand(0, 3);
    EXPECT_FALSE(dlg->m_bDebugFile);
    EXPECT_EQ(1u, shell.boxes.size());
}

TEST(MicDlgWords, UnpackWords)
{
    int a, b, c, d;
    CMicDlg::UnpackWords(0x12345678, 0x0000FFFF, a, b, c, d);
    EXPECT_EQ(0x5678, a);
    EXPECT_EQ(0x1234, b);
    EXPECT_EQ(0xFFFF, c);
    EXPECT_EQ(0, d);
}

// ---- Against the server simulator ----------------------------------------------------------------

namespace {

// The dialog in server mode with its own mic-line receptacle, attached to the simulator.
class ServerRecords : public ServerData {
protected:
    void BeforeCreate() override { StartSimulator(); }

    int Status(int rack, int channel) const { return dlg->m_RackSetup.GetChannelStatus(rack, channel); }
};

}  // namespace

TEST_F(ServerRecords, RecordsFromTheServerDriveTheChannelsOfTheirLines)
{
    StartAnswering(2);
    ASSERT_TRUE(dlg->HasMicLine());
    bool attached = false;
    for (const std::string& r : sim->Records("block")) attached |= r.find("head=14010000") != std::string::npos;
    EXPECT_TRUE(attached);
    Assign(0, 1, 6, true);
    Assign(1, 3, 6, false);

    ASSERT_EQ("ok 1", Push(With(5, 0, 1, 20)));
    ASSERT_TRUE(PumpUntil([&] { return Status(1, 3) == 0x5D; }));
    EXPECT_EQ(0x5D, Status(0, 1));
    EXPECT_EQ(6, dlg->RingCount());
    Drain();
    EXPECT_EQ(0x53, bus->unit(0).micSwitch[1]) << "the mic input keeps its gain";
    EXPECT_EQ(0x0D, bus->unit(1).lineSwitch[3]);
    EXPECT_EQ(5, bus->unit(1).micLine[3]);

    // Two records in quick succession are applied once, the newer one.
    ASSERT_EQ("ok 1", Push(With(5, 1, 0, 5)));
    ASSERT_EQ("ok 1", Push(With(5, 0, 1, 7)));
    ASSERT_TRUE(WaitPending(2));
    winport::MessageLoop::Current().RunUntilIdle();
    EXPECT_EQ(0x57, Status(1, 3));
    EXPECT_EQ(0x57, Status(0, 1));
    EXPECT_EQ(2, dlg->RingCount()) << "one gain message per channel: the older record was never applied";
    Settle();

    // A block too short for the record changes nothing: the next record finds Phant and Pad on.
    ASSERT_EQ("ok 1", sim->Control("push 276 495"));
    ASSERT_EQ("ok 1", Push(With(5, 0, 1, 9)));
    ASSERT_TRUE(PumpUntil([&] { return Status(1, 3) == 0x59; }));
    EXPECT_EQ(2, dlg->RingCount());
    Drain();
    EXPECT_EQ(0x09, bus->unit(1).lineSwitch[3]);
}
