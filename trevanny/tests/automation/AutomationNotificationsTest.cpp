#include <gtest/gtest.h>

#include <chrono>
#include <poll.h>
#include <string>
#include <vector>

#include "PeerProcess.h"
#include "TestEnvironment.h"
#include "trevanny/AutomationNotifications.h"

namespace {

struct Got {
    std::string window;
    UINT msg;
    WPARAM code;
    LPARAM arg;
    bool operator==(const Got& o) const { return window == o.window && msg == o.msg && code == o.code && arg == o.arg; }
};

void PrintTo(const Got& g, std::ostream* os) { *os << g.window << " " << std::hex << g.msg << " " << std::dec << g.code << " " << g.arg; }

class AutomationNotifications : public ::testing::Test {
protected:
    void Window(const char* cls)
    {
        std::string name = cls;
        windows.push_back(winport::CreateMessageWindow(cls, [this, name](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg != WM_CREATE && msg != WM_DESTROY) got.push_back({name, msg, w, l});
            return 0;
        }));
    }
    void TearDown() override
    {
        for (HWND h : windows) DestroyWindow(h);
    }
    std::vector<Got> Delivered()
    {
        winport::MessageLoop::Current().RunUntilIdle();
        return got;
    }

    TestEnvironment env;
    std::vector<HWND> windows;
    std::vector<Got> got;
    const UINT notification = RegisterWindowMessageA("Automation Event Notication");
    const UINT needsStatus = RegisterWindowMessageA("Automation Needs Status");
};

TEST_F(AutomationNotifications, WithoutEitherWindowTheRequestForStatusIsBroadcast)
{
    Window("SomeOtherProgram");
    EXPECT_TRUE(PostAutomationNotification(15, 50));
    EXPECT_EQ(Delivered(), (std::vector<Got>{{"SomeOtherProgram", needsStatus, 15, 50}}));
}

TEST_F(AutomationNotifications, WithBothWindowsOnlyTheStatusWindowHearsOfIt)
{
    Window("CantleUniqueClass");
    Window("CantleStatusWindow");
    Window("SomeOtherProgram");
    EXPECT_TRUE(PostAutomationNotification(31, 0));
    EXPECT_EQ(Delivered(), (std::vector<Got>{{"CantleStatusWindow", notification, 31, 0}}));
    EXPECT_EQ(notification, g_nAutomationEventNotification);
}

TEST_F(AutomationNotifications, WithoutStatusWindowTheMainWindowIsAskedForStatus)
{
    Window("CantleUniqueClass");
    Window("SomeOtherProgram");
    EXPECT_TRUE(PostProgress(33, 1, 4));
    EXPECT_TRUE(PostNeedsStatus(34, 12));
    EXPECT_EQ(Delivered(), (std::vector<Got>{{"CantleUniqueClass", needsStatus, 33, 25},
                                             {"CantleUniqueClass", needsStatus, 34, 12}}));
}

TEST_F(AutomationNotifications, ProgressArgumentIsComputedInSixtyFourBits)
{
    struct Case {
        int64_t index, count;
        LPARAM arg;
    };
    const Case cases[] = {
        {0, 10, 0},
        {1, 3, 33},                       // integer division
        {7, 0, 700},                      // a count of 0 is taken as 1
        {30000000, 40000000, 75},         // index x 100 beyond 32 bits
        {21474837, 21474837, 100},
        {39999999, 40000000, 99},
    };
    for (const auto& c : cases) EXPECT_EQ(AutomationProgressArgument(c.index, c.count), c.arg) << c.index << "/" << c.count;

    Window("CantleStatusWindow");
    PostProgress(15, 30000000, 40000000);
    PostProgress(19, 7, 0);
    EXPECT_EQ(Delivered(), (std::vector<Got>{{"CantleStatusWindow", notification, 15, 75},
                                             {"CantleStatusWindow", notification, 19, 700}}));
}

TEST_F(AutomationNotifications, StatusWindowOfAnotherProgramReceivesTheNotification)
{
    auto display = MessagePeer({"serve", "Automation Event Notication", "--", "CantleStatusWindow"});
    auto ready = display.Line();
    ASSERT_TRUE(ready);
    std::string handle = ready->substr(ready->find(' ') + 1);
    EXPECT_TRUE(PostProgress(27, 3, 4));
    EXPECT_EQ(display.Line(), "msg " + handle + " Automation Event Notication 27 75");
}

}  // namespace
