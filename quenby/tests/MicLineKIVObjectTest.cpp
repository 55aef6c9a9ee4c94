// The mic-line and client-monitor objects' blocks as the server receives them.
#include <gtest/gtest.h>

#include "../testtools/KivTestClient.h"
#include "KivServerFixture.h"
#include "quenby/MicLineKIVObject.h"

namespace {

std::string fnvText(const std::vector<uint8_t>& block)
{
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(KivBlockHash(block.data(), block.size())));
    return buf;
}

// Each record line's first word with its object's command, in order: "block 276", "advise", ...
std::vector<std::string> sequence(KivServerSim& server)
{
    std::vector<std::string> out;
    for (const auto& line : server.Records("")) {
        std::string word = line.substr(0, line.find(' '));
        if (word == "block") word += " " + line.substr(line.find(" cmd=") + 5, line.find(" name=") - line.find(" cmd=") - 5);
        if (word != "connect" && word != "close") out.push_back(word);
    }
    return out;
}

class MicLineTest : public KivServerTest {
};

TEST_F(MicLineTest, AttachUnadvisesSendsAndAdvisesInThatOrder)
{
    KivServerSim& server = StartServer();
    CMicLineKIVObject micLine(1);
    micLine.MLAttach();
    micLine.MLAttach();
    EXPECT_EQ((std::vector<std::string>{"block 276", "advise", "unadvise", "block 276", "advise"}), sequence(server));
    auto blocks = server.Records("block");
    ASSERT_EQ(2u, blocks.size());
    EXPECT_NE(std::string::npos, blocks[0].find(" size=16 sizefield=16 window=0 "));
    EXPECT_NE(std::string::npos, blocks[0].find("head=14010000000000001000000000000000"));
    EXPECT_EQ(0, micLine.IsReady());  // nothing read at attach
    micLine.StopAdvise();
}

TEST_F(MicLineTest, ClientMonitorBlocks)
{
    KivServerSim& server = StartServer();
    CClientMonitorKIVObject monitor(1);
    struct Row { size_t length; size_t kept; };
    for (Row r : {Row{3, 3}, Row{199, 199}, Row{200, 199}, Row{250, 199}}) {
        SCOPED_TRACE(r.length);
        std::string name(r.length, 'n');
        name[0] = 'm';
        monitor.CMAttach(name.c_str());
        // Written by hand: command 192, window 0, size 224, bytes 16 to 23 zero, the name from
        // 24, cut so that a zero always ends it inside bytes 24 to 223.
        std::vector<uint8_t> expected(224, 0);
        expected[0] = 192;
        expected[8] = 224;
        std::memcpy(expected.data() + 24, name.data(), r.kept);
        auto last = server.Records("block").back();
        EXPECT_NE(std::string::npos, last.find(" cmd=192 name=AttachToClientMonitor size=224 ")) << last;
        EXPECT_NE(std::string::npos, last.find("fnv=" + fnvText(expected))) << last;
    }
    monitor.RequestCompleteShutDown();
    auto last = server.Records("block").back();
    EXPECT_NE(std::string::npos, last.find("head=cc000000000000001000000000000000")) << last;
    // The shutdown request does not touch the subscription.
    EXPECT_EQ("advise", sequence(server).at(sequence(server).size() - 2));
    monitor.StopAdvise();
}

}  // namespace
