#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "ConsoleTypeFixture.h"
#include "conform/ConformFixture.h"
#include "conform/EditListFiles.h"
#include "trevanny/PellimaxConformClient.h"
#include "winport/RegistryObject.h"

namespace {

const char kSwitchKey[] = "Software\\VOKDWEN\\Pellimax";
const char kFeatureKey[] = "SOFTWARE\\VOKDWEN\\PELLIMAX\\Feature Settings";
const char kTimecodeKey[] = "SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Timecode";

class PellimaxFixture : public ConsoleTypeFixture {
protected:
    static void switchOn()
    {
        CCurrentUserRegistryObject user;
        ASSERT_TRUE(user.SetInt(kSwitchKey, "AutoConform", 1));
    }
    static bool serverNameStored()
    {
        CLocalMachineRegistryObject machine{CString()};
        return machine.ValueExists(kSwitchKey, "ServerName") != FALSE;
    }
};

class PellimaxConformClientTest : public PellimaxFixture {};

TEST_F(PellimaxConformClientTest, SwitchOffDoesNothing)
{
    CSourceDestItemArray sources, destinations;
    CPellimaxConformClient client(sources, destinations);
    EXPECT_FALSE(client.IsBound());
    EXPECT_FALSE(serverNameStored());
}

TEST_F(PellimaxConformClientTest, FirstRunStoresTheServerAndReadsTheFeatures)
{
    switchOn();
    CLocalMachineRegistryObject machine{CString()};
    ASSERT_TRUE(machine.SetInt(kFeatureKey, "Trim", 5));
    ASSERT_TRUE(machine.SetInt(kFeatureKey, "Edit", 7));
    CSourceDestItemArray sources, destinations;
    {
        // No library on this process's path: nothing is called, the conform goes on.
        CPellimaxConformClient first(sources, destinations);
        EXPECT_FALSE(first.IsBound());
        EXPECT_EQ(CString("localhost"), first.GetServerName());
        EXPECT_EQ(5, first.GetTrim());
        EXPECT_EQ(7, first.GetEdit());
    }
    CString stored;
    machine.GetString(kSwitchKey, "ServerName", stored, "");
    EXPECT_EQ(CString("localhost"), stored);
    ASSERT_TRUE(machine.SetString(kSwitchKey, "ServerName", "conform-host"));
    CPellimaxConformClient later(sources, destinations);
    EXPECT_EQ(CString("conform-host"), later.GetServerName());
    EXPECT_EQ(0, later.GetTrim());
    EXPECT_EQ(0, later.GetEdit());
}

TEST(PellimaxRateTest, RateCodes)
{
    const int rows[][3] = {{1, 1, 0}, {2, 2, 0}, {3, 4, 0}, {4, 4, 1}, {5, 3, 0}, {6, 3, 0}, {7, 0, 0}, {0, 0, 0}, {-3, 0, 0}};
    for (const auto& row : rows) {
        int drop = -1;
        EXPECT_EQ(row[1], CPellimaxConformClient::RateCodeFor(row[0], drop)) << "rate " << row[0];
        EXPECT_EQ(row[2], drop) << "rate " << row[0];
    }
}

// Runs clients in a program of their own, whose library path holds one variant of the stand-in
// library; returns the library's log, one call a line (the calling thread first).
class PellimaxConformClientThreads : public PellimaxFixture {
protected:
    std::vector<std::string> run(const std::string& variant, const std::vector<std::string>& args, std::string* output = nullptr)
    {
        std::string log = m_env.Path("tyv-" + std::to_string(++m_runs) + ".log");
        ::setenv("LD_LIBRARY_PATH", (std::string(CONSOLE_BINARY_DIR) + "/tools/tyv-remote/" + variant).c_str(), 1);
        ::setenv("TYV_REMOTE_LOG", log.c_str(), 1);
        std::vector<std::string> argv = {std::string(CONSOLE_BINARY_DIR) + "/tools/tyv-remote/conform-client-run"};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildProcess child;
        EXPECT_TRUE(child.Start(argv));
        std::string line, all;
        while (child.ReadLine(line, 30000) && line != "done") all += line + "\n";
        EXPECT_EQ("done", line);
        EXPECT_EQ(0, child.Wait(30000));
        ::unsetenv("LD_LIBRARY_PATH");
        ::unsetenv("TYV_REMOTE_LOG");
        if (output) *output = all;
        std::vector<std::string> lines;
        std::istringstream in(FileText(log));
        while (std::getline(in, line)) lines.push_back(line);
        return lines;
    }
    // The calls without their thread.
    static std::vector<std::string> calls(const std::vector<std::string>& lines)
    {
        std::vector<std::string> out;
        for (const std::string& l : lines) out.push_back(l.substr(l.find(' ') + 1));
        return out;
    }
    static void timecodeRate(int rate)
    {
        CCurrentUserRegistryObject user;
        ASSERT_TRUE(user.SetInt(kTimecodeKey, "CantleTimcodeRate", rate));
    }
    int m_runs = 0;
};

const std::vector<std::string> kThreePairs = {"src:1:400:100", "src:2:800:40", "src:9:0:4", "src:3:0:8",
                                              "dst:2:1000:40", "dst:1:0:100", "dst:3:4:8", "dst:1:50:50"};

TEST_F(PellimaxConformClientThreads, ThreePairConformOnASmallConsole)
{
    useConsoleType(1);
    switchOn();
    timecodeRate(4);
    std::string output;
    std::vector<std::string> log = calls(run("whole", kThreePairs, &output));
    // Quarter frames become frames; the source without a partner is skipped; the first
    // destination of a key is its partner.
    const std::vector<std::string> expected = {
        "fnCreateTyvProjectClient localhost",
        "fnSetSystemSampleRate 1 48000",
        "fnSetSystemFrameRate 1 4 1",
        "fnInitiateReconform 1",
        "fnAddConformEntry 1 -1 100 125 0 25",
        "fnAddConformEntry 1 -1 200 210 250 260",
        "fnAddConformEntry 1 -1 0 2 1 3",
        "fnDoTheConform 1",
        "fnDestroyTyvProjectClient 1",
    };
    EXPECT_EQ(expected, log);
    EXPECT_EQ("Set Pellimax Sample Rate 48000Set Pellimax Frame Rate = 4, Drop frames = 1\n\n", output);
}

TEST_F(PellimaxConformClientThreads, LargeConsolePositionsInFramesAndSkippedPairs)
{
    useConsoleType(3);
    switchOn();
    timecodeRate(2);  // 25 frames a second, 100 time units a second
    std::vector<std::string> log = calls(run("whole", {"src:1:400:100", "dst:1:1000:40", "src:2:-4:8", "dst:2:0:8",
                                                      "src:3:2147483000:1000", "dst:3:0:8", "src:4:0:8", "dst:4:0:-1"}));
    ASSERT_EQ(7u, log.size());
    EXPECT_EQ("fnSetSystemFrameRate 1 2 0", log[2]);
    EXPECT_EQ("fnAddConformEntry 1 -1 100 125 250 260", log[4]);
    EXPECT_EQ("fnDoTheConform 1", log[5]);
}

TEST_F(PellimaxConformClientThreads, NoPartnerMeansNoConform)
{
    useConsoleType(1);
    switchOn();
    std::vector<std::string> log = calls(run("whole", {"src:1:0:4", "dst:2:0:4"}));
    const std::vector<std::string> expected = {"fnCreateTyvProjectClient localhost", "fnSetSystemSampleRate 1 48000",
                                               "fnSetSystemFrameRate 1 1 0", "fnInitiateReconform 1",
                                               "fnDestroyTyvProjectClient 1"};
    EXPECT_EQ(expected, log);
}

TEST_F(PellimaxConformClientThreads, ConformSendsEveryPairWithItsOwnDestination)
{
    using namespace conformtest;
    useConsoleType(1);
    switchOn();
    WritePass("c:\\mixes\\reelA.aut", {Ev(10, 1, 0, 0, 5)});
    WriteEditList("c:\\edits\\cut.edl", {{"A", "c:\\mixes\\reelA"}}, {{50, 20, 8}, {10, 100, 5}});
    std::string output;
    std::vector<std::string> log = calls(run("whole", {"--conform", "c:\\mixes\\pass.aut", "c:\\edits\\cut.edl"}, &output));
    // Sources in start order, each with the destination of its own pair, in frames.
    const std::vector<std::string> entries = {"fnAddConformEntry 1 -1 10 15 100 105", "fnAddConformEntry 1 -1 50 58 20 28"};
    ASSERT_EQ(8u, log.size());
    EXPECT_EQ(entries, std::vector<std::string>(log.begin() + 4, log.begin() + 6));
    EXPECT_EQ("fnDoTheConform 1", log[6]);
    EXPECT_NE(std::string::npos, output.find("status 0"));
}

TEST_F(PellimaxConformClientThreads, MissingLibraryEntryPointOrHandle)
{
    useConsoleType(1);
    switchOn();
    EXPECT_TRUE(run("none", kThreePairs).empty());
    EXPECT_TRUE(run("no-add-entry", kThreePairs).empty());  // not even the create call
    const std::vector<std::string> onlyCreate = {"fnCreateTyvProjectClient localhost"};
    EXPECT_EQ(onlyCreate, calls(run("no-handle", kThreePairs)));
}

TEST_F(PellimaxConformClientThreads, ClientsOnFourThreadsNeverInterleave)
{
    useConsoleType(1);
    switchOn();
    std::vector<std::string> lines = run("whole", {"--threads", "4", "src:1:400:100", "src:2:800:40", "dst:2:1000:40", "dst:1:0:100"});
    ASSERT_EQ(4u * 8u, lines.size());
    // A bind with its rates (create .. frame rate) and a send (initiate .. do) are each whole.
    std::string owner;
    std::multiset<std::string> kinds;
    std::set<std::string> handles;
    for (const std::string& line : lines) {
        std::string thread = line.substr(0, line.find(' '));
        std::string call = line.substr(line.find(' ') + 1);
        std::string kind = call.substr(0, call.find(' '));
        kinds.insert(kind);
        if (!owner.empty()) {
            EXPECT_EQ(owner, thread) << call;
        }
        if (kind == "fnCreateTyvProjectClient" || kind == "fnInitiateReconform") owner = thread;
        if (kind == "fnSetSystemFrameRate" || kind == "fnDoTheConform") owner.clear();
        if (kind == "fnDoTheConform") handles.insert(call.substr(call.find(' ') + 1));
    }
    EXPECT_EQ(4u, kinds.count("fnCreateTyvProjectClient"));
    EXPECT_EQ(8u, kinds.count("fnAddConformEntry"));
    EXPECT_EQ(4u, kinds.count("fnDestroyTyvProjectClient"));
    EXPECT_EQ(4u, handles.size());
}

}  // namespace
