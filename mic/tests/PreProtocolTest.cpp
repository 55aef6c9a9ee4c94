// The bytes of the PRE protocol: messages as they go on the wire, the switch bytes, the data
// reply applied to the record, and the receiver's grammar in each state.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "HexText.h"
#include "link/PreLink.h"
#include "link/PreProtocol.h"

namespace {

std::string hex(const BYTE* bytes, int n) { return HexText(bytes, static_cast<size_t>(n)); }

// Feeds bytes; returns how many deliveries they caused.
int feed(PreLink& link, const std::vector<BYTE>& bytes)
{
    int delivered = 0;
    for (BYTE b : bytes) delivered += link.Receive(b).delivered ? 1 : 0;
    return delivered;
}

void openTransaction(PreLink& link, BYTE command, int inProgress, int state, int pending, int length = 2)
{
    BYTE message[pre::kMaxMessage] = {0x81, command, 0, 0, 0, 0, pre::kEndMarker};
    link.Begin(message, length, inProgress, state, pending);
    link.Sent();
}

}  // namespace

TEST(PreProtocol, GoldenChannelMessage)
{
    // Unit 0, channel 2: mic gain step 5, Pad and Phant on, mic line 12.
    CRackSetup s;
    s.SetChannelStatus(0, 2, 0x10 | 0x40);
    s.SetLineStatus(0, 2, 0x05);
    s.SetChannelMicLine(0, 2, 12);
    BYTE m[pre::kMaxMessage];
    int n = pre::BuildChannelMessage(m, s, 0, 2);
    EXPECT_EQ("81 11 02 55 0B 62", hex(m, n));
    EXPECT_EQ(pre::kEndMarker, m[n]);
    EXPECT_EQ(n, pre::MessageLength(m));
}

TEST(PreProtocol, MessagesOnTheWire)
{
    CRackSetup s;
    s.SetChannelStatus(15, 3, 0x20 | 0x07);       // line Phase, line gain 7
    s.SetLineStatus(15, 3, 0x80 | 0x40 | 0x20);   // mic Ins, Lowz, line Ins
    s.SetChannelMode(15, 3, 1);
    struct Row {
        std::function<int(BYTE*)> build;
        std::string wire;
    };
    const Row rows[] = {
        {[&](BYTE* b) { return pre::BuildPoll(b, 0, false); }, "81 01"},
        {[&](BYTE* b) { return pre::BuildPoll(b, 15, true); }, "90 02"},
        {[&](BYTE* b) { return pre::BuildVersionRequest(b, 4); }, "85 10"},
        {[&](BYTE* b) { return pre::BuildDataRequest(b, 5); }, "86 14"},
        // No mic line: 0x7F.
        {[&](BYTE* b) { return pre::BuildChannelMessage(b, s, 15, 3); }, "90 11 03 00 7F 02"},
        {[&](BYTE* b) { return pre::BuildLineMessage(b, s, 15, 3); }, "90 41 03 67 7F 69"},
        {[&](BYTE* b) { return pre::BuildPathMessage(b, s, 15, 3); }, "90 13 03 6B 6E"},
        // The path message of a reset.
        {[&](BYTE* b) { return pre::BuildSettingsMessage(b, pre::kPathSettings, 2, 1, 0x00, 0); }, "83 13 01 00 01"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.wire);
        BYTE b[pre::kMaxMessage + 1];
        int n = row.build(b);
        EXPECT_EQ(row.wire, hex(b, n));
        EXPECT_EQ(pre::kEndMarker, b[n]);
        for (int k = 1; k < n; ++k) EXPECT_EQ(0, b[k] & 0x80) << "only the address has bit 7";
    }
}
TEST(PreProtocol, EverySwitchCombinationRoundTrips)
{
    // Channel status bits: 0x10 Pad, 0x20 line Phase, 0x40 Phant; line status bits: 0x10 mic
    // Phase, 0x20 line Ins, 0x40 Lowz, 0x80 mic Ins; and the mode. The unit answers a data
    // request with the switch bytes it was sent, at 3c, 3c+2 and 12+c.
    for (int bits = 0; bits < 256; ++bits) {
        for (int gain : {3, 12}) {
            int status = gain | (bits & 0x07) << 4;
            int lineStatus = (15 - gain) | (bits & 0x78) << 1;
            int mode = bits >> 7;
            CRackSetup sent;
            sent.SetChannelStatus(9, 1, status);
            sent.SetLineStatus(9, 1, lineStatus);
            sent.SetChannelMode(9, 1, mode);
            BYTE chan[8], line[8], path[8];
            pre::BuildChannelMessage(chan, sent, 9, 1);
            pre::BuildLineMessage(line, sent, 9, 1);
            pre::BuildPathMessage(path, sent, 9, 1);

            BYTE data[19] = {};
            for (int c = 0; c < 4; ++c) {
                data[3 * c] = 0x03;
                data[3 * c + 2] = 0x03;
                data[12 + c] = 0x03;
            }
            data[3] = chan[3];
            data[5] = line[3];
            data[13] = path[3];
            data[18] = pre::Checksum(data, data + 18);
            ASSERT_TRUE(pre::IsDataValid(data, 19));

            CRackSetup received;
            pre::ApplyUnitData(received, 9, data);
            SCOPED_TRACE(bits);
            EXPECT_EQ(status, received.GetChannelStatus(9, 1));
            EXPECT_EQ(lineStatus, received.GetLineStatus(9, 1));
            EXPECT_EQ(mode, received.GetChannelMode(9, 1));
            EXPECT_EQ(3, received.GetChannelStatus(9, 0));
            EXPECT_EQ(3, received.GetLineStatus(8, 1));
        }
    }
}

TEST(PreProtocol, ReplyValidity)
{
    BYTE version[11] = {'P', 'R', 'E', ' ', 'V', '1', '.', '0', '2', ' ', 0};
    version[10] = pre::Checksum(version, version + 10);
    EXPECT_TRUE(pre::IsVersionValid(version, 11));
    EXPECT_FALSE(pre::IsVersionValid(version, 10));
    version[10] ^= 1;
    EXPECT_FALSE(pre::IsVersionValid(version, 11));

    BYTE data[19] = {1, 2, 3};
    data[18] = pre::Checksum(data, data + 18);
    EXPECT_TRUE(pre::IsDataValid(data, 19));
    EXPECT_FALSE(pre::IsDataValid(data, 18));
    data[4] = 9;
    EXPECT_FALSE(pre::IsDataValid(data, 19));
}

TEST(PreReceiver, AcknowledgementsInStateZero)
{
    PreLink link;
    link.SetHalfDuplex(false);
    struct Row {
        BYTE reply;
        int delivered;
        int state;
    };
    const Row rows[] = {{0x44, 1, kRxIdle}, {0x46, 1, kRxIdle}, {0x05, 1, kRxAck}, {0x30, 0, kRxAck}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.reply);
        openTransaction(link, pre::kChannelSettings, kLinkAwaiting, kRxAck, pre::kChannelSettings, 6);
        EXPECT_EQ(r.delivered, feed(link, {r.reply}));
        PreLinkSnapshot s = link.Peek();
        EXPECT_EQ(r.state, s.receiverState);
        EXPECT_EQ(r.delivered ? kLinkIdle : kLinkAwaiting, s.inProgress);
        EXPECT_EQ(r.delivered ? r.reply : 0, s.replyCode);
    }
}

TEST(PreReceiver, LateAckIsIgnored)
{
    PreLink link;
    openTransaction(link, pre::kPoll, kLinkAwaiting, kRxAck, 1);
    link.End();
    EXPECT_EQ(0, feed(link, {0x44, 0x46, 0x05}));
    EXPECT_EQ(0, link.Peek().replyCode);
    // A test version request leaves the state idle too: its reply is dropped.
    openTransaction(link, pre::kVersionRequest, kLinkIdle, kRxIdle, 0x10);
    EXPECT_EQ(0, feed(link, {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 0x1D, 0}));
}

TEST(PreReceiver, VersionAfterNonPrintableBytes)
{
    PreLink link;
    link.SetHalfDuplex(false);
    openTransaction(link, pre::kVersionRequest, kLinkAwaiting, kRxVersion, 0x10);
    std::vector<BYTE> text = {'M', 'P', 'R', '-', '4', ' ', 'v', '2', '.', '1'};
    std::vector<BYTE> bytes = {0x00, 0x0D, 0x7F, 0x1B, 0x01};
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(pre::Checksum(text.data(), text.data() + 10));
    EXPECT_EQ(1, feed(link, bytes));
    PreLinkSnapshot s = link.TakeOutcome();
    ASSERT_EQ(11, s.replyCount);
    EXPECT_TRUE(pre::IsVersionValid(s.reply, s.replyCount));
    EXPECT_EQ("MPR-4 v2.1", std::string(reinterpret_cast<char*>(s.reply), 10));
    // The closing byte after it is dropped.
    EXPECT_EQ(0, feed(link, {0x0D}));
}

TEST(PreReceiver, DataReplyIsCompleteWithItsClosingByte)
{
    PreLink link;
    link.SetHalfDuplex(false);
    openTransaction(link, pre::kDataRequest, kLinkAwaiting, kRxDataApply, 0x14);
    std::vector<BYTE> data(19, 0x03);
    data[18] = pre::Checksum(data.data(), data.data() + 18);
    EXPECT_EQ(0, feed(link, data));
    EXPECT_EQ(kLinkReceiving, link.Peek().inProgress);
    EXPECT_EQ(1, feed(link, {0x00}));
    PreLinkSnapshot s = link.Peek();
    EXPECT_EQ(19, s.replyCount);
    EXPECT_EQ(kLinkIdle, s.inProgress);
    EXPECT_EQ(kRxDataApply, s.receiverState);
}

TEST(PreReceiver, LevelsAfterAPollWithLevels)
{
    PreLink link;
    link.SetHalfDuplex(false);
    openTransaction(link, pre::kPollLevels, kLinkAwaiting, kRxAck, 1);
    EXPECT_EQ(1, feed(link, {0x44, 10, 20, 30, 0x46, 50, 60}));
    PreLinkSnapshot s = link.Peek();
    EXPECT_EQ(0x44, s.replyCode);
    EXPECT_EQ(6, s.levelCount);
    EXPECT_EQ(0x46, s.levels[3]);  // a level of 70 is a level, not an ACK with data

    openTransaction(link, pre::kPollLevels, kLinkAwaiting, kRxAck, 1);
    EXPECT_EQ(0, feed(link, {0x44, 1, 2, 3, 4, 5}));
    EXPECT_TRUE(link.CollectingLevels());
    PreLink::Event e = link.Silence();
    EXPECT_TRUE(e.delivered);
    EXPECT_EQ(5, link.Peek().levelCount);
    EXPECT_FALSE(link.Silence().delivered);

    // A plain poll's ACK carries no levels.
    openTransaction(link, pre::kPoll, kLinkAwaiting, kRxAck, 1);
    EXPECT_EQ(1, feed(link, {0x44}));
    EXPECT_EQ(0, link.Peek().levelCount);
}

TEST(PreReceiver, HalfDuplexEchoIsDropped)
{
    PreLink link;
    link.SetHalfDuplex(true);
    BYTE m[pre::kMaxMessage];
    int n = pre::BuildSettingsMessage(m, pre::kChannelSettings, 0, 2, 0x55, 0x0B);
    link.Begin(m, n, kLinkAwaiting, kRxAck, pre::kChannelSettings);
    link.Sent();
    int rtsDrops = 0;
    for (int i = 0; i < n; ++i) {
        PreLink::Event e = link.Receive(m[i]);
        EXPECT_FALSE(e.delivered);
        rtsDrops += e.dropRts ? 1 : 0;
    }
    EXPECT_EQ(1, rtsDrops);
    // The echo held a 0x44-free copy of the message; the unit's ACK follows.
    EXPECT_EQ(1, feed(link, {0x44}));

    // Without half duplex the address byte is just a dropped byte.
    link.SetHalfDuplex(false);
    link.Begin(m, n, kLinkAwaiting, kRxAck, pre::kChannelSettings);
    link.Sent();
    EXPECT_EQ(0, feed(link, {0x81, 0x11}));
    EXPECT_EQ(1, feed(link, {0x05}));
}

TEST(PreReceiver, BytesBeforeTheWriteAreNoReply)
{
    PreLink link;
    link.SetHalfDuplex(false);
    BYTE m[pre::kMaxMessage];
    int n = pre::BuildPoll(m, 3, false);
    link.Begin(m, n, kLinkAwaiting, kRxAck, 1);
    EXPECT_EQ(0, feed(link, {0x44}));  // a late reply to the message before
    link.Sent();
    EXPECT_EQ(1, feed(link, {0x44}));
}

TEST(PreReceiver, TakeOutcomeClosesTheTransaction)
{
    PreLink link;
    link.SetHalfDuplex(false);
    openTransaction(link, pre::kPoll, kLinkAwaiting, kRxAck, 1);
    PreLinkSnapshot s = link.TakeOutcome();
    EXPECT_EQ(kLinkAwaiting, s.inProgress);
    EXPECT_EQ(1, s.pendingCommand);
    EXPECT_EQ(0, feed(link, {0x44}));  // too late: judged already
    link.SetFailed();
    link.End();
    EXPECT_EQ(kLinkFailed, link.Peek().inProgress);
}
