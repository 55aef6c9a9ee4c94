#include <gtest/gtest.h>

#include <climits>

#include "FakeScreens.h"
#include "TestEnvironment.h"
#include "ui/DialogPlacement.h"
#include "ui/ScreenLayout.h"
#include "winport/RegistryObject.h"

namespace {

const char* const kInterfaceKey = "Software\\VOKDWEN\\Vok Dwen Cantle\\CantleInterface";
const char* const kOrientationKey = "SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Screen Orientation";
const char* const kLargeKey = "SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Screen location\\Large Display\\MicPreControl-MainDlg";
const char* const kStandardKey =
    "SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Screen location\\Standard Display\\MicPreControl-MainDlg";
const char* const kMainDlg = "MicPreControl-MainDlg";

class ScreenLayoutTest : public ::testing::Test {
protected:
    void SetUp() override { screens = FakeScreens::Install(); }

    void TwoMonitors(RECT second)
    {
        screens->ClearMonitors();
        screens->AddMonitor(RECT{0, 0, 1920, 1080}, true);
        screens->AddMonitor(second);
    }
    void SetUserFlag(const char* name, BOOL on)
    {
        CCurrentUserRegistryObject reg;
        reg.SetBool(kInterfaceKey, name, static_cast<BYTE>(on));
    }
    int StoredInt(const char* key, const char* value)
    {
        CCurrentUserRegistryObject reg;
        int v = -12345;
        reg.GetInt(key, value, v, -12345);
        return v;
    }
    CRect RectOf(HWND h) { return CRect(screens->WindowOf(h).rect); }

    TestEnvironment env;
    FakeScreens::Guard guard;
    std::shared_ptr<FakeScreens> screens;
};

}  // namespace

TEST_F(ScreenLayoutTest, ClassifiesScreenLayouts)
{
    struct Row { int width, height, monitors, mode, detect, firstWidth; };
    const Row rows[] = {
        {1280, 1024, 1, 0, 0, 1280},  // 1.25
        {1680, 1050, 1, 0, 0, 1680},  // 1.6
        {1024, 768, 1, 0, 0, 1024},   // 1.333...
        {1920, 1080, 1, 0, 0, 1920},  // 1.777...
        {1366, 768, 1, 0, 0, 1366},   // 1.7786
        {1280, 768, 1, 2, 1, 640},    // 1.667: two halves
        {2560, 1024, 1, 2, 1, 1280},  // 2.5: two halves
        {1280, 1024, 2, 1, 1, 1280},  // two monitors
        {0, 0, 0, 0, 0, 0},           // no screen at all
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.width << "x" << r.height << " monitors " << r.monitors);
        screens->ClearMonitors();
        if (r.monitors >= 1) screens->AddMonitor(RECT{0, 0, r.width, r.height}, true);
        if (r.monitors == 2) screens->AddMonitor(RECT{r.width, 0, r.width + 800, 600});
        CScreenLayout layout;
        EXPECT_EQ(layout.DetectMode(), r.detect);
        EXPECT_EQ(layout.GetMode(), r.mode);
        EXPECT_EQ(layout.GetMonitorRect().Width(), r.firstWidth);
        const CRect second = layout.GetScreenRect();
        if (r.mode == 2) {
            EXPECT_EQ(second.left, r.firstWidth);
            EXPECT_EQ(second.right, r.width);
        } else if (r.mode == 1) {
            EXPECT_EQ(second, CRect(r.width, 0, r.width + 800, 600));
        } else {
            EXPECT_EQ(second, layout.GetMonitorRect());
        }
    }
}

TEST_F(ScreenLayoutTest, SingleScreenIsRememberedAndSwitchesLeftCornerOff)
{
    CLocalMachineRegistryObject machine;
    machine.SetInt(kOrientationKey, "Left Corner", 960);
    TwoMonitors(RECT{1920, 0, 3200, 1024});
    EXPECT_TRUE(CScreenLayout().IsLeftCorner());

    screens->ClearMonitors();
    screens->AddMonitor(RECT{0, 0, 1920, 1080}, true);
    EXPECT_TRUE(CScreenLayout().IsSingleScreen());

    TwoMonitors(RECT{1920, 0, 3200, 1024});
    CScreenLayout later;
    EXPECT_EQ(later.GetMode(), 1);
    EXPECT_TRUE(later.IsSingleScreen());
    EXPECT_FALSE(later.IsLeftCorner());
}

TEST_F(ScreenLayoutTest, SecondScreenFallsBackToFirstWhenTheWalkFindsNone)
{
    // The second monitor lies far below and right of every walked point.
    TwoMonitors(RECT{5000, 5000, 6000, 6000});
    CScreenLayout layout;
    EXPECT_EQ(layout.GetMode(), 1);
    EXPECT_EQ(layout.GetScreenRect(), CRect(0, 0, 1920, 1080));
}

TEST_F(ScreenLayoutTest, WindowSavedOnSecondMonitorComesBackAfterItMoved)
{
    SetUserFlag("SaveScreen", TRUE);
    TwoMonitors(RECT{1920, 0, 3200, 1024});
    HWND dlg = screens->AddWindow(RECT{2000, 100, 2400, 400});
    {
        CScreenLayout layout(dlg);
        EXPECT_FALSE(layout.IsOnScreen(RectOf(dlg)));
        ASSERT_TRUE(layout.Save(kMainDlg, RectOf(dlg), FALSE));
    }
    EXPECT_EQ(StoredInt(kLargeKey, "Monitor"), 2);
    EXPECT_EQ(StoredInt(kLargeKey, "Left"), 80);  // relative to the home screen's corner
    EXPECT_EQ(StoredInt(kLargeKey, "Top"), 100);

    // The second monitor now sits left of the primary and lower down.
    TwoMonitors(RECT{-1280, 200, 0, 1224});
    screens->WindowOf(dlg).rect = RECT{10, 10, 410, 310};
    CScreenLayout layout(dlg);
    ASSERT_TRUE(layout.Restore(kMainDlg, FALSE));
    EXPECT_EQ(RectOf(dlg), CRect(-1200, 300, -800, 600));
}

TEST_F(ScreenLayoutTest, WindowStraddlingTwoMonitorsIsPulledOntoOne)
{
    SetUserFlag("SaveScreen", TRUE);
    TwoMonitors(RECT{1920, 0, 3200, 1024});
    HWND dlg = screens->AddWindow(RECT{1800, 100, 2200, 400});  // mostly on the second monitor
    CScreenLayout layout(dlg);
    ASSERT_TRUE(layout.Save(kMainDlg, RectOf(dlg), FALSE));
    EXPECT_EQ(StoredInt(kLargeKey, "Monitor"), 2);
    EXPECT_EQ(StoredInt(kLargeKey, "Left"), 0);

    ASSERT_TRUE(layout.Restore(kMainDlg, FALSE));
    EXPECT_EQ(RectOf(dlg), CRect(1920, 100, 2320, 400));
}

TEST_F(ScreenLayoutTest, SavesNothingUnlessAskedOrWithNothingToSave)
{
    TwoMonitors(RECT{1920, 0, 3200, 1024});
    HWND dlg = screens->AddWindow(RECT{100, 100, 500, 400});
    CScreenLayout layout(dlg);
    EXPECT_FALSE(layout.Save(kMainDlg, RectOf(dlg), FALSE));  // "SaveScreen" defaults to off
    CCurrentUserRegistryObject reg;
    EXPECT_FALSE(reg.KeyExists(kLargeKey));

    SetUserFlag("SaveScreen", TRUE);
    EXPECT_FALSE(layout.Save(kMainDlg, CRect(0, 0, 0, 0), FALSE));
    EXPECT_FALSE(layout.Save("", RectOf(dlg), FALSE));
    EXPECT_FALSE(reg.KeyExists(kLargeKey));
    EXPECT_FALSE(CScreenLayout().Restore(kMainDlg, FALSE));  // no window

    // Nothing stored: the window goes to its default place and Restore says so.
    EXPECT_FALSE(layout.Restore(kMainDlg, FALSE));
    EXPECT_EQ(RectOf(dlg), CRect(760, 390, 1160, 690));
}

TEST_F(ScreenLayoutTest, NormalDisplayOrStandardChoosesTheStandardKey)
{
    SetUserFlag("SaveScreen", TRUE);
    screens->AddMonitor(RECT{0, 0, 1920, 1080}, true);
    HWND dlg = screens->AddWindow(RECT{100, 50, 500, 350});
    CScreenLayout layout(dlg);
    ASSERT_TRUE(layout.Save(kMainDlg, RectOf(dlg), TRUE));
    EXPECT_EQ(StoredInt(kStandardKey, "Monitor"), 1);
    EXPECT_EQ(StoredInt(kLargeKey, "Monitor"), -12345);

    SetUserFlag("NormalDisplay", TRUE);
    screens->WindowOf(dlg).rect = RECT{0, 0, 400, 300};
    ASSERT_TRUE(layout.Restore(kMainDlg, FALSE));
    EXPECT_EQ(RectOf(dlg), CRect(100, 50, 500, 350));
}

TEST_F(ScreenLayoutTest, DamagedStoredValuesStillLandOnAMonitor)
{
    TwoMonitors(RECT{1920, 0, 3200, 1024});
    HWND dlg = screens->AddWindow(RECT{0, 0, 400, 300});
    struct Row { int monitor, left, top; };
    const Row rows[] = {{7, INT_MAX, INT_MIN}, {-3, -50000, 90000}, {2, INT_MIN, INT_MAX}, {2, 1700, 900}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.monitor << " " << r.left << " " << r.top);
        CCurrentUserRegistryObject reg;
        reg.SetInt(kLargeKey, "Monitor", r.monitor);
        reg.SetInt(kLargeKey, "Left", r.left);
        reg.SetInt(kLargeKey, "Top", r.top);
        CScreenLayout layout(dlg);
        ASSERT_TRUE(layout.Restore(kMainDlg, FALSE));
        const CRect placed = RectOf(dlg);
        EXPECT_EQ(placed.Size(), CSize(400, 300));
        const bool onPrimary = placed.left >= 0 && placed.right <= 1920 && placed.top >= 0 && placed.bottom <= 1080;
        const bool onSecond = placed.left >= 1920 && placed.right <= 3200 && placed.top >= 0 && placed.bottom <= 1024;
        EXPECT_TRUE(onPrimary || onSecond) << placed.left << "," << placed.top;
    }
}

TEST_F(ScreenLayoutTest, DefaultPlaceByModeAndHomeScreen)
{
    struct Row {
        const char* what;
        std::vector<RECT> monitors;
        RECT work;
        int leftCorner;
        CRect expected;
    };
    const Row rows[] = {
        // One screen with a 40-pixel panel at the bottom: centred above it.
        {"single", {RECT{0, 0, 1920, 1080}}, RECT{0, 0, 1920, 1040}, 0, CRect(760, 370, 1160, 670)},
        {"two", {RECT{0, 0, 1920, 1080}, RECT{1920, 0, 3200, 1024}}, RECT{}, 0, CRect(760, 390, 1160, 690)},
        {"two, left corner", {RECT{0, 0, 1920, 1080}, RECT{1920, 0, 3200, 1024}}, RECT{}, 1,
         CRect(2360, 362, 2760, 662)},
        {"wide", {RECT{0, 0, 2560, 1024}}, RECT{}, 0, CRect(440, 362, 840, 662)},
        {"wide, left corner", {RECT{0, 0, 2560, 1024}}, RECT{}, 1, CRect(1720, 362, 2120, 662)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        screens->ClearMonitors();
        for (size_t i = 0; i < r.monitors.size(); ++i) screens->AddMonitor(r.monitors[i], i == 0, i == 0 ? r.work : RECT{});
        CLocalMachineRegistryObject machine;
        machine.SetInt(kOrientationKey, "Single Screen", 0);
        machine.SetInt(kOrientationKey, "Left Corner", r.leftCorner);
        HWND dlg = screens->AddWindow(RECT{0, 0, 400, 300});
        CScreenLayout layout(dlg);
        layout.SelectLocation();
        EXPECT_EQ(RectOf(dlg), r.expected);
    }
}

TEST_F(ScreenLayoutTest, ZeroScreensDoNotCrash)
{
    SetUserFlag("SaveScreen", TRUE);
    HWND dlg = screens->AddWindow(RECT{10, 20, 410, 320});
    CScreenLayout layout(dlg);
    EXPECT_EQ(layout.GetMode(), 0);
    EXPECT_EQ(layout.GetMonitorRect(), CRect());
    EXPECT_FALSE(layout.Restore(kMainDlg, FALSE));
    EXPECT_EQ(RectOf(dlg), CRect(10, 20, 410, 320));
    EXPECT_TRUE(layout.Save(kMainDlg, RectOf(dlg), FALSE));
    EXPECT_TRUE(layout.Restore(kMainDlg, FALSE));
    EXPECT_EQ(RectOf(dlg), CRect(10, 20, 410, 320));
}

TEST_F(ScreenLayoutTest, ADialogTakesAndKeepsItsPlaceOnlyWithDualScreenSupport)
{
    SetUserFlag("SaveScreen", TRUE);
    screens->AddMonitor(RECT{0, 0, 1920, 1080}, true);
    HWND dlg = screens->AddWindow(RECT{100, 50, 500, 350});
    ASSERT_TRUE(CScreenLayout(dlg).Save(kMainDlg, RectOf(dlg), FALSE));
    struct Row {
        int dualScreen;  // -1: not stored (on by default)
        bool placed;
    };
    const Row rows[] = {{0, false}, {1, true}, {-1, true}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.dualScreen);
        if (r.dualScreen >= 0) SetUserFlag("DualScreenSupport", r.dualScreen);
        else CCurrentUserRegistryObject().DeleteValue(kInterfaceKey, "DualScreenSupport");
        screens->WindowOf(dlg).rect = RECT{700, 600, 1100, 900};
        DialogPlacement placement(dlg, kMainDlg);
        placement.Restore();
        EXPECT_EQ(RectOf(dlg), r.placed ? CRect(100, 50, 500, 350) : CRect(700, 600, 1100, 900));
        // Moved, then closed: the new place is kept only when it was taken.
        screens->WindowOf(dlg).rect = RECT{300, 200, 700, 500};
        placement.Save();
        EXPECT_EQ(StoredInt(kLargeKey, "Left"), r.placed ? 300 : 100);
        ASSERT_TRUE(CScreenLayout(dlg).Save(kMainDlg, CRect(100, 50, 500, 350), FALSE));
    }
}
