#include <gtest/gtest.h>

#include <string>

#include "FakeScreens.h"
#include "winport/Screens.h"

namespace {

int IndexOf(HMONITOR m) { return static_cast<int>(reinterpret_cast<uintptr_t>(m)) - 1; }

class Screens : public ::testing::Test {
protected:
    void SetUp() override
    {
        screens = FakeScreens::Install();
        // Primary 1920x1080 with a 40-pixel panel at the bottom; a second monitor to the left
        // and a little lower.
        screens->AddMonitor(RECT{0, 0, 1920, 1080}, true, RECT{0, 0, 1920, 1040});
        screens->AddMonitor(RECT{-1280, 100, 0, 1124});
    }
    FakeScreens::Guard guard;
    std::shared_ptr<FakeScreens> screens;
};

}  // namespace

TEST_F(Screens, MetricsSpanEveryMonitor)
{
    EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 2);
    EXPECT_EQ(GetSystemMetrics(SM_XVIRTUALSCREEN), -1280);
    EXPECT_EQ(GetSystemMetrics(SM_YVIRTUALSCREEN), 0);
    EXPECT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), 3200);
    EXPECT_EQ(GetSystemMetrics(SM_CYVIRTUALSCREEN), 1124);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
    EXPECT_EQ(GetSystemMetrics(SM_CXFULLSCREEN), 1920);
}

TEST_F(Screens, MonitorFromPointHonoursEdgesAndFallbacks)
{
    struct Row { POINT pt; DWORD flags; int expected; };
    const Row rows[] = {
        {{0, 0}, MONITOR_DEFAULTTONULL, 0},
        {{1919, 1079}, MONITOR_DEFAULTTONULL, 0},
        {{1920, 0}, MONITOR_DEFAULTTONULL, -1},         // the right edge is outside
        {{-1, 100}, MONITOR_DEFAULTTONULL, 1},
        {{-1, 99}, MONITOR_DEFAULTTONULL, -1},
        {{-1, 99}, MONITOR_DEFAULTTOPRIMARY, 0},
        {{-5000, 500}, MONITOR_DEFAULTTONEAREST, 1},
        {{5000, 500}, MONITOR_DEFAULTTONEAREST, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.pt.x << "," << r.pt.y << " flags " << r.flags);
        EXPECT_EQ(IndexOf(MonitorFromPoint(r.pt, r.flags)), r.expected);
    }
}

TEST_F(Screens, MonitorFromRectTakesLargestShareThenNearest)
{
    RECT mostlyLeft{-300, 200, 100, 400};
    EXPECT_EQ(IndexOf(MonitorFromRect(&mostlyLeft, MONITOR_DEFAULTTONULL)), 1);
    RECT mostlyRight{-100, 200, 300, 400};
    EXPECT_EQ(IndexOf(MonitorFromRect(&mostlyRight, MONITOR_DEFAULTTONULL)), 0);
    RECT farAway{100000, 100000, 100400, 100300};
    EXPECT_EQ(MonitorFromRect(&farAway, MONITOR_DEFAULTTONULL), nullptr);
    EXPECT_EQ(IndexOf(MonitorFromRect(&farAway, MONITOR_DEFAULTTONEAREST)), 0);
    RECT extreme{-2147483600, -2147483600, -2147483500, -2147483500};
    EXPECT_EQ(IndexOf(MonitorFromRect(&extreme, MONITOR_DEFAULTTONEAREST)), 1);

    MONITORINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetMonitorInfoA(MonitorFromRect(&mostlyRight, MONITOR_DEFAULTTONULL), &info));
    EXPECT_EQ(info.dwFlags, static_cast<DWORD>(MONITORINFOF_PRIMARY));
    EXPECT_EQ(info.rcWork.bottom, 1040);
    EXPECT_FALSE(GetMonitorInfoA(reinterpret_cast<HMONITOR>(static_cast<uintptr_t>(3)), &info));
}

TEST_F(Screens, TaskbarIsTheReservedStripOfThePrimary)
{
    struct Row { RECT work; UINT state; UINT edge; RECT strip; };
    const Row rows[] = {
        {{0, 0, 1920, 1040}, ABS_ALWAYSONTOP, ABE_BOTTOM, {0, 1040, 1920, 1080}},
        {{0, 30, 1920, 1080}, ABS_ALWAYSONTOP, ABE_TOP, {0, 0, 1920, 30}},
        {{64, 0, 1920, 1080}, ABS_ALWAYSONTOP, ABE_LEFT, {0, 0, 64, 1080}},
        {{0, 0, 1856, 1080}, ABS_ALWAYSONTOP, ABE_RIGHT, {1856, 0, 1920, 1080}},
        {{0, 0, 1920, 1080}, 0, 0, {0, 0, 0, 0}},
    };
    for (const Row& r : rows) {
        screens->Monitors()[0].work = r.work;
        APPBARDATA bar{};
        bar.cbSize = sizeof(bar);
        EXPECT_EQ(SHAppBarMessage(ABM_GETSTATE, &bar), r.state);
        if (r.state == 0) {
            EXPECT_FALSE(SHAppBarMessage(ABM_GETTASKBARPOS, &bar));
            continue;
        }
        ASSERT_TRUE(SHAppBarMessage(ABM_GETTASKBARPOS, &bar));
        EXPECT_EQ(bar.uEdge, r.edge);
        EXPECT_EQ(bar.rc.left, r.strip.left);
        EXPECT_EQ(bar.rc.top, r.strip.top);
        EXPECT_EQ(bar.rc.right, r.strip.right);
        EXPECT_EQ(bar.rc.bottom, r.strip.bottom);
    }
}

TEST(ScreensHeadless, NoServiceMeansNoScreen)
{
    winport::SetScreenService(nullptr);
    EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 0);
    EXPECT_EQ(GetSystemMetrics(SM_CYVIRTUALSCREEN), 0);
    EXPECT_EQ(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), nullptr);
    RECT r{0, 0, 10, 10};
    EXPECT_EQ(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), nullptr);
    EXPECT_FALSE(GetWindowRect(reinterpret_cast<HWND>(1), &r));
    EXPECT_FALSE(SetWindowPos(reinterpret_cast<HWND>(1), nullptr, 0, 0, 1, 1, 0));
    APPBARDATA bar{};
    EXPECT_EQ(SHAppBarMessage(ABM_GETSTATE, &bar), 0u);
}

TEST_F(Screens, WorkAreaControlsAndFonts)
{
    screens->ClearMonitors();
    screens->AddMonitor(RECT{0, 0, 1280, 1024}, true, RECT{0, 0, 1280, 984});
    RECT work{};
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_EQ(work.bottom, 984);
    EXPECT_FALSE(SystemParametersInfoA(0x1234, 0, &work, 0));
    EXPECT_EQ(GetSystemMetrics(SM_CXMAXIMIZED), 1280);
    EXPECT_EQ(GetSystemMetrics(SM_CYMAXIMIZED), 984);

    HWND dialog = screens->AddWindow(RECT{100, 100, 400, 300});
    screens->WindowOf(dialog).clientOffset = POINT{3, 23};
    HWND list = screens->AddWindow(RECT{110, 130, 200, 200}, dialog);
    screens->WindowOf(list).id = 1036;
    screens->WindowOf(list).kind = winport::ControlKind::ListBox;

    POINT p{110, 130};
    ASSERT_TRUE(ScreenToClient(dialog, &p));
    EXPECT_EQ(p.x, 7);
    EXPECT_EQ(p.y, 7);
    ASSERT_TRUE(ClientToScreen(dialog, &p));
    EXPECT_EQ(p.x, 110);
    EXPECT_EQ(GetDlgCtrlID(list), 1036);
    EXPECT_EQ(GetDlgCtrlID(dialog), 0);
    EXPECT_EQ(GetWindowLongA(list, GWL_STYLE) & WS_CHILD, WS_CHILD);
    EXPECT_EQ(GetWindowLongA(dialog, GWL_STYLE) & WS_CHILD, 0);

    // A control is placed in its parent's client coordinates; the parent's move carries it.
    ASSERT_TRUE(SetWindowPos(list, nullptr, 10, 20, 50, 60, SWP_NOZORDER));
    EXPECT_EQ(screens->WindowOf(list).rect.left, 113);
    EXPECT_EQ(screens->WindowOf(list).rect.top, 143);
    ASSERT_TRUE(SetWindowPos(dialog, nullptr, 0, 0, 0, 0, SWP_NOSIZE));
    EXPECT_EQ(screens->WindowOf(list).rect.left, 13);

    EXPECT_TRUE(winport::SetItemHeight(list, 0, 40));
    EXPECT_EQ(winport::GetItemHeight(list, 0), 40);
    EXPECT_FALSE(winport::SetItemHeight(dialog, 0, 40));  // no items

    CFont font;
    LOGFONT lf{};
    EXPECT_FALSE(font.GetLogFont(&lf));
    ASSERT_TRUE(font.CreatePointFont(90, "A face name longer than the thirty-one characters"));
    EXPECT_FALSE(font.CreatePointFont(90, "Arial"));  // one font per object until deleted
    ASSERT_TRUE(font.GetLogFont(&lf));
    EXPECT_EQ(lf.lfHeight, 12);  // 9 points at 96 pixels to the inch
    EXPECT_EQ(std::string(lf.lfFaceName), "A face name longer than the thi");  // 31 characters and the terminator
    ASSERT_TRUE(winport::SetWindowFont(list, font, TRUE));
    LOGFONT back{};
    ASSERT_TRUE(winport::GetWindowFont(list, back));
    EXPECT_EQ(back.lfHeight, 12);
    EXPECT_FALSE(winport::GetWindowFont(dialog, back));
    EXPECT_TRUE(font.DeleteObject());
    EXPECT_FALSE(winport::SetWindowFont(list, font, TRUE));
}
