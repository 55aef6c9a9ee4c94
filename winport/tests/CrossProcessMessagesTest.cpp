// Messages between programs, against a second real process (winport_message_peer).
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "PeerProcess.h"
#include "TestEnvironment.h"
#include "winport/InstanceLock.h"
#include "winport/Window.h"

namespace {

using Clock = std::chrono::steady_clock;
HWND HandleOf(const std::string& hexText) { return UlongToHwnd(static_cast<DWORD>(std::stoul(hexText, nullptr, 16))); }

std::string Hex(HWND h)
{
    char b[16];
    std::snprintf(b, sizeof b, "%X", HandleToUlong(h));
    return b;
}

/// Runs this thread's loop until the condition holds or the time is up.
template <typename Pred>
bool PumpUntil(Pred done, int timeoutMs = 5000)
{
    auto& loop = winport::MessageLoop::Current();
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        loop.RunUntilIdle();
        if (done()) return true;
        if (Clock::now() >= deadline) return false;
        pollfd p{loop.WaitDescriptor(), POLLIN, 0};
        ::poll(&p, 1, 20);
    }
}

struct Got {
    HWND hwnd;
    UINT msg;
    WPARAM w;
    LPARAM l;
};

class CrossProcess : public ::testing::Test {
protected:
    HWND Window(const char* cls)
    {
        HWND h = winport::CreateMessageWindow(cls, [this](HWND hwnd, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg != WM_CREATE && msg != WM_DESTROY) got.push_back({hwnd, msg, w, l});
            return 0;
        });
        windows.push_back(h);
        return h;
    }
    void TearDown() override
    {
        for (HWND h : windows) DestroyWindow(h);
    }
    std::string EndpointDir() const { return env.Path("runtime/vokdwen/windows"); }

    TestEnvironment env;
    std::vector<HWND> windows;
    std::vector<Got> got;
};

TEST_F(CrossProcess, RegisteredNameHasTheSameNumberInBothPrograms)
{
    UINT here = RegisterWindowMessageA("Registered Here First");
    auto peer = MessagePeer({"register", "Registered Here First", "Registered There First"});
    auto a = peer.Line();
    auto b = peer.Line();
    ASSERT_TRUE(a && b);
    char expected[64];
    std::snprintf(expected, sizeof expected, "id Registered Here First %X", here);
    EXPECT_EQ(*a, expected);
    UINT there = static_cast<UINT>(std::stoul(Words(*b).back(), nullptr, 16));
    EXPECT_EQ(RegisterWindowMessageA("registered there first"), there);
    EXPECT_NE(here, there);
}

// A name the program registered while another runtime folder was in use keeps its number, and
// goes into this folder's table, so that a program started here later takes that number too.
TEST_F(CrossProcess, ANameFromAnEarlierRuntimeFolderKeepsItsNumberForProgramsStartedLater)
{
    ::setenv("XDG_RUNTIME_DIR", env.Path("earlier").c_str(), 1);
    RegisterWindowMessageA("Taken Earlier");  // the name below is not the first number
    const UINT mine = RegisterWindowMessageA("Known From Earlier");
    ::setenv("XDG_RUNTIME_DIR", env.Path("runtime").c_str(), 1);
    EXPECT_EQ(mine, RegisterWindowMessageA("KNOWN FROM EARLIER"));
    auto peer = MessagePeer({"register", "Known From Earlier"});
    auto line = peer.Line();
    ASSERT_TRUE(line);
    char expected[64];
    std::snprintf(expected, sizeof expected, "id Known From Earlier %X", mine);
    EXPECT_EQ(*line, expected);
}

TEST_F(CrossProcess, PostsReachAWindowFoundByClassInTheOtherProgramAndBack)
{
    auto peer = MessagePeer({"serve", "Peer Hello", "--", "PeerWindow"});
    auto ready = peer.Line();
    ASSERT_TRUE(ready);
    HWND theirs = HandleOf(Words(*ready).at(1));
    EXPECT_EQ(FindWindowA("peerwindow", nullptr), theirs);
    EXPECT_TRUE(IsWindow(theirs));

    ASSERT_TRUE(PostMessageA(theirs, RegisterWindowMessageA("Peer Hello"), 27, -5));
    ASSERT_TRUE(PostMessageA(theirs, WM_APP + 6, 0x00B30002, 0x00400049));
    EXPECT_EQ(peer.Line(), "msg " + Words(*ready).at(1) + " Peer Hello 27 -5");
    EXPECT_EQ(peer.Line(), "msg " + Words(*ready).at(1) + " 8006 11730946 4194377");

    // The other way: a name this program registers only when the message arrives.
    HWND mine = Window("TestWindow");
    auto poster = MessagePeer({"post", Hex(mine), "Only Registered By The Peer", "3", "4"});
    EXPECT_EQ(poster.Line(), "posted 1");
    ASSERT_TRUE(PumpUntil([&] { return !got.empty(); }));
    EXPECT_EQ(got[0].hwnd, mine);
    EXPECT_EQ(got[0].msg, RegisterWindowMessageA("Only Registered By The Peer"));
    EXPECT_EQ(got[0].w, 3u);
    EXPECT_EQ(got[0].l, 4);
}

TEST_F(CrossProcess, BroadcastReachesEveryWindowOfBothPrograms)
{
    HWND a = Window("Here A");
    HWND b = Window("Here B");
    auto peer = MessagePeer({"serve", "Everyone", "--", "There A", "There B"});
    auto ready = peer.Line();
    ASSERT_TRUE(ready);
    auto w = Words(*ready);
    ASSERT_EQ(w.size(), 3u);

    UINT everyone = RegisterWindowMessageA("Everyone");
    ASSERT_TRUE(PostMessageA(HWND_BROADCAST, everyone, 1, 2));
    std::vector<std::string> lines = {*peer.Line(), *peer.Line()};
    std::sort(lines.begin(), lines.end());
    std::vector<std::string> expected = {"msg " + w[1] + " Everyone 1 2", "msg " + w[2] + " Everyone 1 2"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
    ASSERT_TRUE(PumpUntil([&] { return got.size() == 2; }));

    // A broadcast from a third program reaches both programs' windows.
    got.clear();
    auto sender = MessagePeer({"broadcast", "Everyone", "7", "8"});
    EXPECT_EQ(sender.Line(), "posted 1");
    EXPECT_TRUE(peer.Line().has_value());
    EXPECT_TRUE(peer.Line().has_value());
    ASSERT_TRUE(PumpUntil([&] { return got.size() == 2; }));
    std::vector<HWND> reached = {got[0].hwnd, got[1].hwnd};
    std::sort(reached.begin(), reached.end());
    std::vector<HWND> mine = {a, b};
    std::sort(mine.begin(), mine.end());
    EXPECT_EQ(reached, mine);
    EXPECT_EQ(got[0].msg, everyone);
    EXPECT_EQ(got[0].w, 7u);
}

TEST_F(CrossProcess, PostToAProgramThatDiedFailsAtOnceAndRemovesItsEndpoint)
{
    auto peer = MessagePeer({"serve", "--", "Doomed"});
    auto ready = peer.Line();
    ASSERT_TRUE(ready);
    HWND theirs = HandleOf(Words(*ready).at(1));
    ASSERT_EQ(std::distance(std::filesystem::directory_iterator(EndpointDir()), {}), 1);
    peer.Kill();  // no chance to withdraw its endpoint

    auto start = Clock::now();
    EXPECT_FALSE(PostMessageA(theirs, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));  // at once: no wait on the dead peer
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(EndpointDir()), {}), 0);
    EXPECT_FALSE(IsWindow(theirs));
    EXPECT_EQ(FindWindowA("Doomed", nullptr), nullptr);
}

TEST_F(CrossProcess, AReceiverThatDoesNotReadNeverBlocksTheSender)
{
    auto peer = MessagePeer({"serve", "--no-read", "--", "Sleeper"});
    auto ready = peer.Line();
    ASSERT_TRUE(ready);
    HWND theirs = HandleOf(Words(*ready).at(1));
    int delivered = 0, refused = 0;
    auto start = Clock::now();
    for (int i = 0; i < 2000; ++i) {
        if (PostMessageA(theirs, WM_USER, i, 0)) ++delivered;
        else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA));
            ++refused;
        }
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_GT(delivered, 0);
    EXPECT_GT(refused, 0);
    EXPECT_TRUE(IsWindow(theirs));  // full is not dead
    // A window of another program that does read is not held up by the sleeper.
    auto other = MessagePeer({"serve", "--", "Awake"});
    auto otherReady = other.Line();
    ASSERT_TRUE(otherReady);
    EXPECT_TRUE(PostMessageA(HandleOf(Words(*otherReady).at(1)), WM_USER, 1, 1));
    EXPECT_TRUE(other.Line().has_value());
}

TEST_F(CrossProcess, SecondInstanceFindsTheLockHeldAndWakesTheFirst)
{
    auto first = MessagePeer({"instance", "micMutex", "MicMainWindow", "InstanceCheckerWakeUpMessage"});
    auto line = first.Line();
    ASSERT_TRUE(line);
    EXPECT_EQ(Words(*line).at(0), "first");
    {
        winport::InstanceLock probe("micMutex");
        EXPECT_FALSE(probe.IsHeld());
        EXPECT_TRUE(probe.HeldElsewhere());
    }
    auto second = MessagePeer({"instance", "micMutex", "MicMainWindow", "InstanceCheckerWakeUpMessage"});
    EXPECT_EQ(second.Line(), "second posted 1");
    int status = -1;
    EXPECT_TRUE(second.Wait(5000, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(first.Line(), "wake 1");
    EXPECT_FALSE(first.Line(200).has_value());  // exactly one wake

    first.CloseInput();
    EXPECT_TRUE(first.Wait(5000));
    winport::InstanceLock after("micMutex");
    EXPECT_TRUE(after.IsHeld());
}

}  // namespace
