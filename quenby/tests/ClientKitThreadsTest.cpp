// The kit's attach, command and re-attach sequences against the server simulator in another
// process: the calls in order, disabled objects, whole large replies, scripted answers, and
// the faults of a busy, booting, empty or vanished server.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "../testtools/KivClientTestKit.h"
#include "../testtools/KivTestClient.h"
#include "quenby/KivClientKit.h"
#include "winport/Clock.h"

namespace {

// A client class written with the kit: a bare attach, a command and a re-attaching command.
class KitProbe : public KivTestClient {
public:
    explicit KitProbe(int enabled = 1) : KivTestClient(enabled) {}
    CString GetName() override { return "KitProbeKIV"; }

    void ProbeAttach() { SendAttachBlock(KivBlock(AttachToRecallDataControl, 16).Take(), /*readNow=*/1); }
    void SelectChannel(int channel)
    {
        KivBlock block(SelectRecallChannelCommand, 104);
        block.Put32(16, channel);
        SendCommandBlock(block.Take());
    }
    void ActivateRecall(int recall)
    {
        KivBlock block(ActivateRecallCommand, 104);
        block.Put32(16, recall);
        SendAttachBlock(block.Take(), /*readNow=*/1);
    }
    void OversizedCommand() { SendCommandBlock(KivBlock(SelectRecallChannelCommand, (1 << 20) + 1).Take()); }
};

class ClientKitThreads : public KivServerTest {
protected:
    std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        std::string path = env.Path(name);
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }
};

using Calls = std::vector<std::string>;

TEST_F(ClientKitThreads, AttachCommandAndReattachSequences)
{
    KivServerSim& server = StartServer();
    KitProbe probe;
    size_t mark = KivRecordMark(server);
    probe.ProbeAttach();
    EXPECT_EQ((Calls{"block 254", "advise", "read"}), KivCallsSince(server, mark));
    // A bare attach: exactly 16 bytes, window 0, offset 12 zero.
    EXPECT_TRUE(KivBlocksEqual({254, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0}, KivLastBlock(server)));

    mark = KivRecordMark(server);
    probe.ProbeAttach();
    EXPECT_EQ((Calls{"unadvise", "block 254", "advise", "read"}), KivCallsSince(server, mark));

    mark = KivRecordMark(server);
    probe.SelectChannel(12);
    EXPECT_EQ((Calls{"block 257"}), KivCallsSince(server, mark));
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(257, 104, 0, {KivI32(16, 12)}), KivLastBlock(server)));

    // The re-attaching command: the reply the command causes is read before the method returns.
    ASSERT_EQ("ok", server.Control("on 255 echo"));
    mark = KivRecordMark(server);
    probe.ActivateRecall(7);
    EXPECT_EQ((Calls{"unadvise", "block 255", "advise", "read"}), KivCallsSince(server, mark));
    auto replies = probe.Replies();
    ASSERT_EQ(1u, replies.size());
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(255, 104, 0, {KivI32(16, 7)}), replies[0]));

    // A block that cannot be made is not sent, and the object stays as it was.
    mark = KivRecordMark(server);
    probe.OversizedCommand();
    EXPECT_TRUE(KivCallsSince(server, mark).empty());
    EXPECT_EQ("ok objects=1 advised=1", server.Control("status"));
}

TEST_F(ClientKitThreads, ADisabledObjectSendsItsBlocksButNeverHearsTheServer)
{
    KivServerSim& server = StartServer();
    KitProbe disabled(0), enabled;
    size_t mark = KivRecordMark(server);
    disabled.ProbeAttach();
    EXPECT_EQ((Calls{"block 254"}), KivCallsSince(server, mark));
    enabled.ProbeAttach();
    ASSERT_EQ("ok 1", server.Control("push 254 40 01"));
    ASSERT_TRUE(enabled.WaitForReplies(1));
    ASSERT_EQ("ok", server.Control("on 257 echo"));
    disabled.SelectChannel(3);  // its kind's subscriptions hear the echo; it has none
    ASSERT_TRUE(enabled.WaitForReplies(2));
    EXPECT_EQ(257, enabled.Replies()[1][0] | enabled.Replies()[1][1] << 8);
    disabled.ActivateRecall(1);
    EXPECT_TRUE(disabled.Replies().empty());
    EXPECT_EQ(0, disabled.IsReady());
    EXPECT_EQ("ok objects=2 advised=1", server.Control("status"));
}

TEST_F(ClientKitThreads, LargeRepliesFromFilesArriveWholeAndMalformedOnesAreNotRead)
{
    KivServerSim& server = StartServer();
    KitProbe probe;
    // The data of the kind: a 568,260-byte block whose body comes from a file.
    auto body = KivTestPattern(568260 - 16, 5);
    ASSERT_EQ("ok", server.Control("set 254 568260 @" + WriteFile("body.bin", body)));
    probe.ProbeAttach();
    auto replies = probe.Replies();
    ASSERT_EQ(1u, replies.size());
    auto expected = KivExpectedBlock(254, 568260, 0);
    std::copy(body.begin(), body.end(), expected.begin() + 16);
    EXPECT_TRUE(KivBlocksEqual(expected, replies[0]));

    // A raw 390,000-byte push, then one whose size field claims more than arrives, then a
    // block shorter than a header: only the first and a last small one are read.
    auto raw = KivExpectedBlock(254, 390000, 0);
    auto pattern = KivTestPattern(390000 - 16, 9);
    std::copy(pattern.begin(), pattern.end(), raw.begin() + 16);
    auto overstated = raw;
    overstated[8] = 0x81;  // 390,017 bytes claimed
    ASSERT_EQ("ok 1", server.Control("pushraw 254 @" + WriteFile("raw.bin", raw)));
    ASSERT_EQ("ok 1", server.Control("pushraw 254 @" + WriteFile("over.bin", overstated)));
    ASSERT_EQ("ok 1", server.Control("pushraw 254 @" + WriteFile("short.bin", {254, 0, 0, 0, 0, 0, 0, 0, 10, 0})));
    ASSERT_EQ("ok 1", server.Control("push 254 20 2a"));
    ASSERT_TRUE(probe.WaitForReplies(3));
    replies = probe.Replies();
    ASSERT_EQ(3u, replies.size());
    EXPECT_TRUE(KivBlocksEqual(raw, replies[1]));
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(254, 20, 0, {KivU8(16, 0x2A)}), replies[2]));

    // Malformed data read at an attach is not passed either.
    ASSERT_EQ("ok", server.Control("setraw 254 @" + WriteFile("over2.bin", overstated)));
    probe.ProbeAttach();
    EXPECT_EQ(3u, probe.Replies().size());
    EXPECT_EQ("error cannot read " + env.Path("none.bin"), server.Control("set 254 40 @" + env.Path("none.bin")));
}

TEST_F(ClientKitThreads, ScriptedAnswersComeForTheSendersKindAfterTheirDelay)
{
    KivServerSim& server = StartServer();
    KitProbe probe;
    probe.ProbeAttach();
    ASSERT_EQ("ok", server.Control("on 257 push 24 0a0b after 500"));
    auto sent = std::chrono::steady_clock::now();
    probe.SelectChannel(1);
    EXPECT_TRUE(probe.Replies().empty());
    ASSERT_TRUE(probe.WaitForReplies(1));
    EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(500));
    // The pushed block is kept as the kind's data: a later attach reads it.
    probe.ProbeAttach();
    auto replies = probe.Replies();
    ASSERT_EQ(2u, replies.size());
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(257, 24, 0, {KivU8(16, 10), KivU8(17, 11)}), replies[1]));
    EXPECT_EQ(replies[0], replies[1]);
    ASSERT_EQ("ok", server.Control("off 257"));
    probe.SelectChannel(2);
    EXPECT_EQ(1u, server.Records("scripted").size());
    EXPECT_EQ("error unknown reaction later", server.Control("on 257 later"));
}

// ---- faults, on virtual time ----

TEST_F(ClientKitThreads, BusyBootingAndEmptyServers)
{
    // On a thread of its own: the time-out ends the message loop of the thread that subscribed,
    // and that loop goes with the thread.
    std::thread([&] {
        KivServerSim& server = StartServer();
        winport::ManualClock clock;
        winport::ScopedClock useClock(clock);
        KitProbe probe;

        // Busy five times on the attach's advise: the attach waits and then goes on as usual.
        ASSERT_EQ("ok", server.Control("busy 5"));
        size_t mark = KivRecordMark(server);
        probe.ProbeAttach();
        EXPECT_EQ((std::vector<uint32_t>(5, 100)), clock.Sleeps());
        EXPECT_EQ((Calls{"block 254", "advise", "read"}), KivCallsSince(server, mark));

        // Booting for 300 ms: asked again every 5 s of the client's time until the console is up.
        clock.ClearSleeps();
        auto started = std::chrono::steady_clock::now();
        ASSERT_EQ("ok", server.Control("booting 300"));
        probe.ProbeAttach();
        // (the server counts whole milliseconds)
        EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(299));
        ASSERT_FALSE(clock.Sleeps().empty());
        for (uint32_t s : clock.Sleeps()) ASSERT_EQ(5000u, s);
        EXPECT_EQ("ok objects=1 advised=1", server.Control("status"));

        // No data to read: nothing reaches OnLinkIn.
        mark = KivRecordMark(server);
        probe.ProbeAttach();
        EXPECT_EQ((Calls{"unadvise", "block 254", "advise", "read"}), KivCallsSince(server, mark));
        auto records = server.Records("read");
        ASSERT_FALSE(records.empty());
        EXPECT_NE(std::string::npos, records.back().find("result=0xf0000004"));
        // "No data" to the subscription itself is the time-out: no read, no OnLinkIn.
        ASSERT_EQ("ok", server.Control("nodata 1"));
        mark = KivRecordMark(server);
        probe.ProbeAttach();
        EXPECT_EQ((Calls{"unadvise", "block 254"}), KivCallsSince(server, mark));
        EXPECT_NE(std::string::npos, log->receive().find("Quenby timed out connecting to KitProbeKIV"));
        EXPECT_TRUE(probe.Replies().empty());
    }).join();
}

TEST_F(ClientKitThreads, AServerGoneBeforeAReattachEndsTheProgram)
{
    KivServerSim& server = StartServer();
    KitProbe probe;
    probe.ProbeAttach();
    ASSERT_EQ("ok 1", server.Control("drop"));
    try {
        probe.ActivateRecall(2);
        FAIL() << "the program should have ended";
    } catch (const winport::ExitRequested& exit) {
        EXPECT_EQ(-1, exit.Code());
    }
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("KIVServer is no longer responding !", boxes[0].text);
    EXPECT_NE(std::string::npos, log->receive().find("KitProbeKIV"));
}

}  // namespace
