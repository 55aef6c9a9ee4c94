// The client objects' connection against the server simulator in another process: blocks,
// subscriptions, replies, busy and booting answers on virtual time, the time-out, the loss of
// the server and the class factory's failures.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <thread>

#include "../testtools/KivTestClient.h"
#include "HexText.h"
#include "KivServerFixture.h"  // testsupport
#include "winport/Clock.h"
#include "winport/MessageLoop.h"
#include "winport/Registry.h"
#include "winport/Window.h"

namespace {

std::string hashText(const std::vector<uint8_t>& block)
{
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(KivBlockHash(block.data(), block.size())));
    return buf;
}

std::string bodyHex(const std::vector<uint8_t>& bytes) { return HexRun(bytes); }

bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    for (int waited = 0; waited < timeoutMs; waited += 5) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

TEST_F(KivServerTest, BlocksArriveIntactWithTheClientsProcessId)
{
    KivServerSim& server = StartServer();
    KivTestClient client;
    ASSERT_TRUE(client.HasServerObject());
    client.CancelKIVCommand();
    auto body = KivTestPattern(460000 - 16, 3);
    client.Send(GenericKivserverCommand, 460000, body);

    auto blocks = server.Records("block");
    ASSERT_EQ(2u, blocks.size());
    std::string pid = std::to_string(::getpid());
    // The bare cancel: command 180, window 0, size 16, reserved 0; the process id is both the
    // peer the server sees and the format's aspect.
    EXPECT_NE(std::string::npos, blocks[0].find(" pid=" + pid + " aspect=" + pid + " cmd=180 name=CancelCommand size=16 "));
    EXPECT_NE(std::string::npos, blocks[0].find("head=b4000000000000001000000000000000"));
    std::vector<uint8_t> big(460000);
    const int32_t header[4] = {GenericKivserverCommand, 0, 460000, 0};
    std::memcpy(big.data(), header, 16);
    std::memcpy(big.data() + 16, body.data(), body.size());
    EXPECT_NE(std::string::npos, blocks[1].find(" size=460000 sizefield=460000 "));
    EXPECT_NE(std::string::npos, blocks[1].find("fnv=" + hashText(big)));
}

TEST_F(KivServerTest, PushesReachOnlyAdvisedObjectsAndNoneAfterUnadvise)
{
    KivServerSim& server = StartServer();
    KivTestClient advised, suspended;
    advised.Attach(AttachToMicLine, 0);
    suspended.Attach(AttachToMicLine, 0);
    suspended.Suspend();
    EXPECT_EQ("ok objects=2 advised=1", server.Control("status"));
    EXPECT_EQ(0, advised.IsReady());

    EXPECT_EQ("ok 1", server.Control("push 276 496 " + bodyHex({1, 2, 3, 4})));
    ASSERT_TRUE(advised.WaitForReplies(1));
    auto reply = advised.Replies()[0];
    ASSERT_EQ(496u, reply.size());
    EXPECT_EQ(276, reply[0] | reply[1] << 8);
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4, 0}), std::vector<uint8_t>(reply.begin() + 16, reply.begin() + 21));
    EXPECT_EQ(1, advised.IsReady());
    EXPECT_EQ(0, suspended.IsReady());
    EXPECT_TRUE(suspended.Replies().empty());

    // A push to another kind reaches nobody here.
    EXPECT_EQ("ok 0", server.Control("push 192 40"));
    advised.StopAdvise();
    EXPECT_EQ("ok 0", server.Control("push 276 496"));
    EXPECT_EQ(1u, advised.Replies().size());
}

TEST_F(KivServerTest, ASuspendedObjectsRepliesAreCountedButNotPassedOn)
{
    KivServerSim& server = StartServer();
    KivTestClient client;
    client.Attach(AttachToMicLine, 0);
    // The server refuses to end the subscription, so it still delivers after the suspension.
    server.Control("fail 1 dunadvise 0x80004005");
    client.Suspend();
    EXPECT_EQ(1, client.Suspended());
    EXPECT_EQ("ok 1", server.Control("push 276 64"));
    ASSERT_TRUE(waitUntil([&] { return client.IsReady() == 1; }));
    EXPECT_TRUE(client.Replies().empty());
}

TEST_F(KivServerTest, ReadNowPassesTheCurrentDataOnlyWhenThereIsSome)
{
    KivServerSim& server = StartServer();
    KivTestClient client;
    client.Attach(AttachToMicLine, 1);
    EXPECT_EQ(1, client.IsReady());  // set by the read, data or not
    EXPECT_TRUE(client.Replies().empty());

    ASSERT_EQ("ok", server.Control("set 276 496 " + bodyHex({9, 8, 7})));
    CGenericKIVObject::SuspendAll();
    EXPECT_EQ(1, client.Suspended());
    EXPECT_EQ("ok objects=1 advised=0", server.Control("status"));
    CGenericKIVObject::ReActivateAll();  // reads the data before it returns
    ASSERT_EQ(1u, client.Replies().size());
    EXPECT_EQ(496u, client.Replies()[0].size());
    EXPECT_EQ(9, client.Replies()[0][16]);
    EXPECT_EQ("ok objects=1 advised=1", server.Control("status"));
    client.ReActivate();  // not suspended: nothing happens
    EXPECT_EQ(1u, client.Replies().size());
}

TEST_F(KivServerTest, RepliesWhoseSizeFieldOverstatesTheBlockAreNotRead)
{
    KivServerSim& server = StartServer();
    KivTestClient client;
    client.Attach(AttachToMicLine, 0);
    // 32 bytes whose size field claims 4096, then 20 whose field claims a header of 16 (read).
    std::string overstated = "14010000" "00000000" "00100000" "00000000" + std::string(32, '0');
    std::string understated = "14010000" "00000000" "10000000" "00000000" "01020304";
    EXPECT_EQ("ok 1", server.Control("pushraw 276 " + overstated));
    EXPECT_EQ("ok 1", server.Control("pushraw 276 " + understated));
    ASSERT_TRUE(client.WaitForReplies(1));
    ASSERT_EQ(1u, client.Replies().size());
    EXPECT_EQ(16u, client.Replies()[0].size());
}

TEST_F(KivServerTest, ADisabledObjectSendsButNeverSubscribes)
{
    KivServerSim& server = StartServer();
    KivTestClient client(0);
    client.Attach(AttachToClientMonitor, 1);
    EXPECT_EQ(1u, server.Records("block").size());
    EXPECT_TRUE(server.Records("advise").empty());
    EXPECT_EQ(0, client.IsReady());
    CGenericKIVObject::ReActivateAll();  // not in the live-object map
    EXPECT_TRUE(server.Records("advise").empty());
}

TEST_F(KivServerTest, TwoClientProcessesAreServedAtOnce)
{
    KivServerSim& server = StartServer();
    std::string probe = std::string(CONSOLE_BINARY_DIR) + "/quenby/kiv_client_probe";
    ChildProcess a, b;
    ASSERT_TRUE(a.Start({probe, "attach", "276"}));
    ASSERT_TRUE(b.Start({probe, "attach", "276"}));
    std::string lineA, lineB;
    ASSERT_TRUE(a.ReadLine(lineA, 10000));
    ASSERT_TRUE(b.ReadLine(lineB, 10000));
    EXPECT_EQ(0u, lineA.rfind("ready ", 0));
    EXPECT_EQ("ok 2", server.Control("push 276 496 " + bodyHex({0x42})));
    ASSERT_TRUE(a.ReadLine(lineA, 10000));
    ASSERT_TRUE(b.ReadLine(lineB, 10000));
    EXPECT_EQ(lineA, lineB);
    EXPECT_EQ(0u, lineA.rfind("got 496 ", 0)) << lineA;
    EXPECT_EQ(0, a.Wait(10000));
    EXPECT_EQ(0, b.Wait(10000));
    // Each process's attach and big block, under its own process id.
    auto blocks = server.Records("block");
    ASSERT_EQ(4u, blocks.size());
    std::set<std::string> pids;
    for (const auto& line : blocks) pids.insert(line.substr(line.find(" pid="), line.find(" aspect=") - line.find(" pid=")));
    EXPECT_EQ(2u, pids.size());
}

// ---- virtual time ----

TEST_F(KivServerTest, BusyAnswersBackOffUntilTheLimitThenTheClientGivesUp)
{
    KivServerSim& server = StartServer();
    winport::ManualClock clock;
    winport::ScopedClock useClock(clock);
    KivTestClient client;
    ASSERT_EQ(600, CGenericKIVObject::MaxRetries());

    ASSERT_EQ("ok", server.Control("busy 10"));
    client.Attach(AttachToMicLine, 0);
    std::vector<uint32_t> expected(9, 100);
    expected.push_back(110);
    EXPECT_EQ(expected, clock.Sleeps());
    EXPECT_EQ("ok objects=1 advised=1", server.Control("status"));
    EXPECT_EQ("", log->receive(100));

    // A window of this program hears the broadcast.
    std::vector<UINT> heard;
    HWND window = winport::CreateMessageWindow("KivTestWindow", [&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg >= 0xC000) heard.push_back(msg);  // registered messages only
        return 0;
    });
    clock.ClearSleeps();
    ASSERT_EQ("ok", server.Control("busy 601"));
    client.Attach(AttachToMicLine, 1);
    auto sleeps = clock.Sleeps();
    ASSERT_EQ(600u, sleeps.size());  // the 601st answer gives up without sleeping
    EXPECT_EQ(100u, sleeps[8]);
    EXPECT_EQ(110u, sleeps[9]);
    EXPECT_EQ(120u, sleeps[19]);
    EXPECT_EQ(700u, sleeps[599]);
    EXPECT_NE(std::string::npos, log->receive().find("Quenby timed out connecting to TestKIV"));
    EXPECT_TRUE(winport::MessageLoop::Current().QuitPending());
    winport::MessageLoop::Current().RunUntilIdle();
    EXPECT_EQ(std::vector<UINT>{CGenericKIVObject::ConsoleGoneTitsUp()}, heard);
    EXPECT_NE(0u, RegisterWindowMessageA("ConsoleGoneTitsUp"));
    EXPECT_EQ(RegisterWindowMessageA("ConsoleGoneTitsUp"), CGenericKIVObject::ConsoleGoneTitsUp());
    EXPECT_TRUE(client.Replies().empty());  // no data is read after a time-out
    DestroyWindow(window);
}

TEST_F(KivServerTest, BootingAndNoDataAnswers)
{
    KivServerSim& server = StartServer();
    winport::ManualClock clock;
    winport::ScopedClock useClock(clock);
    KivTestClient client;
    ASSERT_EQ("ok", server.Control("bootcount 3"));
    client.Attach(AttachToMicLine, 0);
    EXPECT_EQ((std::vector<uint32_t>{5000, 5000, 5000}), clock.Sleeps());
    EXPECT_EQ("ok objects=1 advised=1", server.Control("status"));

    // "No data" straight from the subscription counts as a time-out.
    clock.ClearSleeps();
    ASSERT_EQ("ok", server.Control("nodata 1"));
    client.Attach(AttachToMicLine, 0);
    EXPECT_TRUE(clock.Sleeps().empty());
    EXPECT_NE(std::string::npos, log->receive().find("Quenby timed out connecting to TestKIV"));
}

TEST(KivRetryLimit, ReadOnceFromTheRegistryAndClamped)
{
    TestEnvironment env;
    std::string probe = std::string(CONSOLE_BINARY_DIR) + "/quenby/kiv_client_probe";
    ::setenv("KIVSERVER_SOCKET", env.Path("runtime/none.sock").c_str(), 1);
    const char* key = "SOFTWARE\\VOKDWEN\\KIVSERVER";
    auto setValue = [&](const DWORD* value) {
        HKEY h = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr));
        if (value) RegSetValueExA(h, "Client Max Retries", 0, REG_DWORD, reinterpret_cast<const BYTE*>(value), 4);
        else RegDeleteValueA(h, "Client Max Retries");
        RegCloseKey(h);
    };
    auto limitOfProbe = [&] {
        std::string line;
        EXPECT_EQ(0, RunProgram({probe, "retries"}, &line));
        return line;
    };
    // No key: created, nothing written, the default of 200 clamped up.
    EXPECT_EQ("retries 600", limitOfProbe());
    HKEY h = nullptr;
    DWORD value = 0, size = 4;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(h, "Client Max Retries", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size));
    RegCloseKey(h);
    // Missing under an existing key: written as 200.
    EXPECT_EQ("retries 600", limitOfProbe());
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h));
    size = 4;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(h, "Client Max Retries", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(200u, value);
    RegCloseKey(h);
    struct Row { DWORD stored; const char* limit; };
    for (Row r : {Row{50, "retries 600"}, Row{1000, "retries 1000"}, Row{200000, "retries 100000"}}) {
        SCOPED_TRACE(r.stored);
        setValue(&r.stored);
        EXPECT_EQ(r.limit, limitOfProbe());
    }
}

// ---- the loss of the server and the class factory ----

// A server that answers busy or booting for ever holds the subscription only until the
// program is asked to close (SIGTERM's request, or a WM_CLOSE that another program posts to a
// window of the waiting thread): then StartAdvise returns without it, with no box, no
// event-log error and no broadcast, so that the program can close as it always does; the
// WM_CLOSE stays for its window.
TEST_F(KivServerTest, ACloseRequestEndsTheWaitForABusyOrBootingServer)
{
    KivServerSim& server = StartServer();
    int closes = 0;
    HWND window = winport::CreateMessageWindow("WaitingProgram", [&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
        closes += message == WM_CLOSE;
        return 0;
    });
    ASSERT_NE(nullptr, window);
    for (bool byMessage : {false, true}) {
        for (const char* script : {"busy 100000 dadvise", "bootcount 100000"}) {
            SCOPED_TRACE(std::string(script) + (byMessage ? ", WM_CLOSE" : ", close request"));
            winport::ManualClock clock;
            winport::ScopedClock useClock(clock);
            int sleeps = 0;
            clock.SetOnAdvance([&](uint64_t) {
                if (++sleeps != 5) return;
                if (byMessage) PostMessageA(window, WM_CLOSE, 0, 0);
                else winport::RequestProgramClose();
            });
            KivTestClient client;
            ASSERT_EQ("ok", server.Control(script));
            client.Attach(AttachToMicLine, 0);
            EXPECT_EQ(5, sleeps);
            EXPECT_EQ("ok objects=1 advised=0", server.Control("status"));
            EXPECT_TRUE(boxes.empty());
            EXPECT_EQ("", log->receive(100));
            EXPECT_FALSE(winport::MessageLoop::Current().QuitPending());
            closes = 0;
            winport::MessageLoop::Current().RunUntilIdle();
            EXPECT_EQ(byMessage ? 1 : 0, closes);
            winport::ResetProgramCloseRequest();
            clock.SetOnAdvance({});
            server.Control("busy 0 dadvise");
            server.Control("bootcount 0");
        }
    }
    DestroyWindow(window);
}

TEST_F(KivServerTest, ServerKilledMidSessionEndsTheProgram)
{
    KivServerSim& server = StartServer();
    KivTestClient client;
    client.Attach(AttachToMicLine, 0);
    server.Kill();
    client.Suspend();
    try {
        client.ReActivate();
        FAIL() << "the program should have ended";
    } catch (const winport::ExitRequested& exit) {
        EXPECT_EQ(-1, exit.Code());
    }
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("KIVServer is no longer responding !", boxes[0].text);
    EXPECT_EQ("Severe Error", boxes[0].caption);
    EXPECT_EQ(MB_ICONHAND | MB_SYSTEMMODAL, boxes[0].type);
    EXPECT_NE(std::string::npos, log->receive().find("KIVSERVER stopped responding after attaching to  TestKIV"));
}

// A subscribed object whose thread runs a message loop hears at once that the server went
// away, with no call of its own: the box, the event-log error and exit -1.
TEST_F(KivServerTest, ServerGoneIsHeardWithoutACall)
{
    KivServerSim& server = StartServer();
    winport::MessageLoop& loop = winport::MessageLoop::Current();
    KivTestClient client;
    client.Attach(AttachToMicLine, 0);
    const auto killed = std::chrono::steady_clock::now();
    server.Kill();
    int code = 0;
    ASSERT_TRUE(waitUntil([&] {
        try {
            loop.RunUntilIdle();
        } catch (const winport::ExitRequested& exit) {
            code = exit.Code();
            return true;
        }
        return false;
    }));
    EXPECT_LT(std::chrono::steady_clock::now() - killed, std::chrono::seconds(1));
    EXPECT_EQ(-1, code);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("KIVServer is no longer responding !", boxes[0].text);
    EXPECT_EQ(MB_ICONHAND | MB_SYSTEMMODAL, boxes[0].type);
    EXPECT_NE(std::string::npos, log->receive().find("KIVSERVER stopped responding after attaching to  TestKIV"));
}

TEST_F(KivServerTest, NoServerObjectEndsTheProgramAtTheFirstSubscription)
{
    KivServerSim& server = StartServer();
    KivTestClient first;  // holds the class factory
    server.Kill();
    KivTestClient second;
    EXPECT_FALSE(second.HasServerObject());
    HGLOBAL block = KIVAllocCommandBlock(CancelCommand, 16);
    EXPECT_EQ(CO_E_APPNOTFOUND, second.SendData(block));
    GlobalFree(block);
    try {
        second.StartAdvise(0);
        FAIL() << "the program should have ended";
    } catch (const winport::ExitRequested& exit) {
        EXPECT_EQ(-1, exit.Code());
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(KivServerTest, FactoryFailuresAreShownOnlyForKnownCodesAndTriedAgainLater)
{
    // No server socket: "Class Not Registered" on each of the 20 tries, then -1.
    EXPECT_THROW({ KivTestClient client; }, int);
    ASSERT_EQ(20u, boxes.size());
    EXPECT_EQ("Class Not Registered", boxes[0].text);
    EXPECT_EQ(MB_OK, boxes[19].type & MB_TYPEMASK);

    // A socket that nobody serves any more: another code, retried without a word.
    boxes.clear();
    {
        KivServerSim dead(socketPath, env.Path("dead.txt"));
        ASSERT_TRUE(dead.Running());
        dead.Kill();
    }
    EXPECT_THROW({ KivTestClient client; }, int);
    EXPECT_TRUE(boxes.empty());

    // The server starts: the next object connects.
    StartServer();
    KivTestClient client;
    EXPECT_TRUE(client.HasServerObject());
    client.Attach(AttachToMicLine, 0);
    EXPECT_EQ("ok objects=1 advised=1", sim->Control("status"));
}

}  // namespace
