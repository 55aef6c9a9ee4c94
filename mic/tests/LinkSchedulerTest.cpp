// The link step in virtual time against the unit model: polling order, units found and lost,
// resends, data requests, the ring, the version sweep, the unit test and the trace.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "UnitLineFixture.h"

using LinkTest = UnitLineFixture;

TEST_F(LinkTest, WithoutUnitsEveryAddressIsPolledInTurn)
{
    Start(0);
    Run(60 * 18 - 1);
    auto frames = bus->Frames();
    ASSERT_GE(frames.size(), 18u);
    for (size_t i = 0; i < 18; ++i) {
        EXPECT_EQ(static_cast<int>(i % 16), frames[i].unit) << i;
        EXPECT_EQ(std::vector<uint8_t>({static_cast<uint8_t>(0x81 + i % 16), 0x01}), frames[i].bytes);
        if (i) {
            EXPECT_NEAR(60.0, frames[i].at - frames[i - 1].at, 0.01) << i;
        }
    }
    EXPECT_EQ(0, bus->Violations());
}

TEST_F(LinkTest, UnitsAreFoundAfterFourAnswersAndLostAfterFourFailures)
{
    Start(1);
    // Three answered polls are not enough.
    while (Count(0, 0x01) < 3) Run(10);
    Run(30);
    EXPECT_FALSE(dlg->m_RackSetup.GetRackFlag(0));
    ASSERT_TRUE(RunUntilResponding(0));
    EXPECT_EQ(4, Count(0, 0x01));
    EXPECT_EQ(1, dlg->RespondingUnits());
    EXPECT_EQ(LinkPicture::Linked, dlg->m_eLinkPicture);
    // Its settings go out, 24 messages: without a file its line inputs; as the first unit its
    // rack is selected (line inputs and 0x13); then 0x11, 0x41, 0x13 per channel.
    Run(200 * 25);
    EXPECT_EQ(4, Count(0, 0x11));
    EXPECT_EQ(12, Count(0, 0x41));
    EXPECT_EQ(8, Count(0, 0x13));
    EXPECT_EQ(0, dlg->m_RackSetup.GetCurrentRack());

    // With one unit responding, every other poll goes to it, the others sweep the rest.
    bus->ClearFrames();
    Run(60 * 8);
    auto polls = Frames();
    ASSERT_GE(polls.size(), 14u);
    for (size_t i = 1; i < polls.size(); ++i) {
        EXPECT_TRUE(polls[i].first == 0 || polls[i - 1].first == 0) << "two sweep polls in a row at " << i;
    }

    bus->unit(0).fault = presim::Fault::Nack;  // a refusal counts as a failure
    bus->ClearFrames();
    ASSERT_TRUE(RunUntilResponding(0, false));
    EXPECT_EQ(4, Count(0, 0x01));
    EXPECT_EQ(LinkPicture::NoUnit, dlg->m_eLinkPicture);
    EXPECT_EQ(146, dlg->m_nRackBitmap[0]) << "selected, not responding";
    EXPECT_EQ(0, bus->Violations());
}

TEST_F(LinkTest, SilentUnitGetsAMessageThreeTimesAtMost)
{
    Start(3);
    ASSERT_TRUE(RunUntilResponding(2));
    Run(3000);  // its settings go out
    bus->unit(2).fault = presim::Fault::Silent;
    bus->ClearFrames();
    dlg->m_RackSetup.SetChannelStatus(2, 1, 0x5A);
    dlg->SendChannelCommand(2, 1);
    dlg->SendLineCommand(1, 1);
    Run(2000);
    EXPECT_EQ(3, Count(2, 0x11));
    EXPECT_EQ(1, Count(1, 0x41)) << "the next entry follows";
    EXPECT_EQ(0, bus->Violations());
}

TEST_F(LinkTest, AckWithDataLeadsToADataRequestThatIsApplied)
{
    Start(6);
    ASSERT_TRUE(RunUntilResponding(5));
    Run(3000);
    // The operator turned knobs on unit 5's panel; the first answer to 0x14 is damaged.
    bus->unit(5).micSwitch[2] = 0x40 | 0x20 | 0x07;
    bus->unit(5).lineSwitch[2] = 0x20 | 0x09;
    bus->unit(5).pathByte[2] = 0x03 | 0x20 | 0x08;
    bus->unit(5).panelChanged = true;
    bus->unit(5).fault = presim::Fault::BadChecksum;
    dlg->m_RackSetup.SetCurrentRack(1);  // the operator looks at another rack meanwhile
    while (Count(5, 0x14) < 1) Run(5);
    bus->unit(5).fault = presim::Fault::None;
    Run(1000);
    EXPECT_EQ(2, Count(5, 0x14));
    EXPECT_EQ(0x40 | 0x20 | 0x09, dlg->m_RackSetup.GetChannelStatus(5, 2));
    EXPECT_EQ(0x10 | 0x40 | 0x07, dlg->m_RackSetup.GetLineStatus(5, 2));
    EXPECT_EQ(1, dlg->m_RackSetup.GetChannelMode(5, 2));
    EXPECT_EQ(3, dlg->m_RackSetup.GetChannelStatus(1, 2)) << "the rack on show is not touched";
}

TEST_F(LinkTest, FullRingReplacesItsNewestAndNotTheMessageInFlight)
{
    Start(1);
    ASSERT_TRUE(RunUntilResponding(0));
    Run(3000);
    bus->unit(0).fault = presim::Fault::Silent;
    bus->ClearFrames();
    dlg->m_RackSetup.SetChannelStatus(0, 3, 0x4B);
    dlg->SendChannelCommand(0, 3);
    Run(100);  // it is in flight now
    dlg->m_RackSetup.SetChannelStatus(0, 3, 3);
    for (int i = 0; i < 1100; ++i) dlg->SendLineCommand(i % 16, i % 4);
    EXPECT_EQ(1023, dlg->RingCount());
    Run(700);
    // The three sendings of the message in flight are the same bytes: Phant and gain step 3.
    int sent = 0;
    for (const auto& f : bus->Frames()) {
        if (f.unit == 0 && f.bytes[1] == 0x11) {
            EXPECT_EQ(std::vector<uint8_t>({0x81, 0x11, 0x03, 0x43, 0x7F, 0x45}), f.bytes);
            ++sent;
        }
    }
    EXPECT_EQ(3, sent);
}

TEST_F(LinkTest, VersionSweepAsksEachUnitThreeTimesAtMost)
{
    Start(2);
    bus->unit(1).fault = presim::Fault::LeadingNoise;
    Run(100);
    bus->ClearFrames();
    dlg->SendVersionRequest(0);
    // Until the set-up dialog opens (then the link sends test requests of its own).
    for (int t = 0; t < 16 * 3 * 50 + 500 && shell.setupDialogs.empty(); ++t) Run(1);
    EXPECT_EQ(1, Count(0, 0x10));
    EXPECT_EQ(1, Count(1, 0x10)) << "noise before the text is skipped";
    for (int u = 2; u < 16; ++u) EXPECT_EQ(3, Count(u, 0x10)) << u;
    EXPECT_EQ(CString("PRE00 V1.2"), dlg->m_strVersion[0]);
    EXPECT_EQ(CString("PRE01 V1.2"), dlg->m_strVersion[1]);
    EXPECT_EQ(CString("Version Unknown"), dlg->m_strVersion[9]);
    EXPECT_EQ(1u, shell.setupDialogs.size());
}

TEST_F(LinkTest, UnitTestSendsEightFrames)
{
    Start(1);
    Run(100);
    bus->ClearFrames();
    dlg->m_RackSetup.SetChannelMode(0, 1, 1);
    int status = dlg->m_RackSetup.GetChannelStatus(0, 0);
    dlg->TestRack(0);
    Run(1);
    auto frames = Frames(0);
    ASSERT_EQ(8u, frames.size());
    EXPECT_EQ(0x41, frames[0].second);
    EXPECT_EQ(0x11, frames[1].second);
    EXPECT_EQ(status, dlg->m_RackSetup.GetChannelStatus(0, 0)) << "every phase flipped back";
    EXPECT_EQ(0, dlg->m_nTestMode);
}

TEST_F(LinkTest, TraceLines)
{
    Start(1);
    std::string path = env.Path("MicDebug.txt");
    dlg->SetDebugTrace(TRUE, path.c_str());
    ASSERT_TRUE(RunUntilResponding(0));
    Run(400);
    dlg->SetDebugTrace(FALSE);
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos, text.find("\nTx=81 11 0 3 7f 2 \nRx=ACK")) << text.substr(0, 300);
    // Polls are many and their plain ACKs leave no line: one ACK per message sent from the ring.
    auto count = [&](const std::string& what) {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_GT(count("\nTx="), 0);
    EXPECT_EQ(count("\nTx="), count("\nRx=ACK")) << text;
}

TEST_F(LinkTest, ReturningUnitIsRestoredFromTheRestoreFile)
{
    Start(3, /*autoRestore=*/true);
    ASSERT_TRUE(RunUntilResponding(2));
    Run(3000);
    dlg->m_RackSetup.SetChannelMode(2, 0, 1);
    dlg->m_RackSetup.SetLineStatus(2, 0, 0x40 | 0x05);
    bus->Drop(2);
    ASSERT_TRUE(RunUntilResponding(2, false));
    // Saved when it went; then changed here while it was away.
    dlg->m_RackSetup.SetChannelMode(2, 0, 0);
    bus->Revive(2);
    bus->ClearFrames();
    ASSERT_TRUE(RunUntilResponding(2));
    Run(200 * 30);
    EXPECT_EQ(1, dlg->m_RackSetup.GetChannelMode(2, 0));
    // Its path messages go to it, not to the rack on show.
    EXPECT_GE(Count(2, 0x13), 4);
    EXPECT_EQ(0x03 | 0x20 | 0x08, bus->unit(2).pathByte[0]);
    EXPECT_EQ(0, bus->Violations());
}

TEST_F(LinkTest, LevelsAreTakenWhenFourOrMoreBytesCame)
{
    Start(1);
    dlg->m_bEnableMeters = TRUE;
    bus->unit(0).levels[1] = 63;
    bus->unit(0).levels[2] = 126;
    bus->unit(0).levels[3] = 100;
    bus->unit(0).levelBytes = 5;
    ASSERT_TRUE(RunUntilResponding(0));
    Run(3000);
    EXPECT_EQ(71, dlg->m_nLevelHeight[1]);
    EXPECT_EQ(142, dlg->m_nLevelHeight[2]);
    bus->unit(0).levelBytes = 6;
    bus->unit(0).levels[1] = 126;
    Run(500);
    EXPECT_EQ(142, dlg->m_nLevelHeight[1]);
    EXPECT_EQ(0, bus->Violations());
}

TEST_F(LinkTest, FullRingGivesUpItsNewestEntryOnly)
{
    Start(0);
    // Every message but a poll is acknowledged at once, unless held.
    std::vector<std::vector<BYTE>> sent;
    bool hold = true;
    dlg->SetPortWriter([&](const BYTE* m, int n) {
        dlg->m_Link.Sent();
        if (m[1] == 0x01) return;
        sent.emplace_back(m, m + n);
        if (!hold) deliver(dlg->m_Link.Receive(0x44));
    });
    // Every unit answers already, so that no answer queues messages of its own.
    for (int u = 0; u < 16; ++u) {
        dlg->m_RackSetup.SetRackFlag(u, TRUE);
        dlg->m_nAnswerCount[u] = 4;
    }
    dlg->m_RackSetup.SetChannelStatus(5, 0, 0x4B);
    dlg->SendLineCommand(5, 0);
    Run(60);
    ASSERT_EQ(1u, sent.size()) << "in flight, unanswered";
    std::vector<std::vector<BYTE>> expected = sent;

    // 1023 entries fill the ring; each is a message of its own.
    for (int i = 0; i < 1023; ++i) {
        int unit = i % 16, channel = (i / 16) % 4;
        dlg->m_RackSetup.SetChannelStatus(unit, channel, 3 + (i / 64) % 10);
        BYTE m[pre::kMaxMessage + 1];
        int n = pre::BuildLineMessage(m, dlg->m_RackSetup, unit, channel);
        if (i < 1022) expected.emplace_back(m, m + n);
        dlg->SendLineCommand(unit, channel);
    }
    EXPECT_TRUE(dlg->IsRingFull());
    EXPECT_EQ(1023, dlg->RingCount());
    // One more replaces the newest.
    dlg->m_RackSetup.SetChannelStatus(9, 3, 0x4F);
    dlg->SendLineCommand(9, 3);
    BYTE last[pre::kMaxMessage + 1];
    expected.emplace_back(last, last + pre::BuildLineMessage(last, dlg->m_RackSetup, 9, 3));
    EXPECT_EQ(1023, dlg->RingCount());

    hold = false;
    deliver(dlg->m_Link.Receive(0x44));  // the message in flight is answered
    Run(10);
    EXPECT_TRUE(dlg->IsRingEmpty());
    ASSERT_EQ(expected.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) ASSERT_EQ(expected[i], sent[i]) << i;
}
