#include <gtest/gtest.h>

#include <cstring>

#include "FakeScreens.h"
#include "TestEnvironment.h"
#include "ui/DisplayLayout.h"
#include "winport/RegistryObject.h"

namespace {

const char* const kInterfaceKey = "Software\\VOKDWEN\\Vok Dwen Cantle\\CantleInterface";
const char* const kMainKey = "Software\\Vok Dwen Cantle\\Main";

LOGFONT Face(const char* face)
{
    LOGFONT lf{};
    lf.lfHeight = 13;
    SetFaceName(lf, face);
    return lf;
}

int HeightOf(const CFont& font)
{
    LOGFONT lf{};
    return font.GetLogFont(&lf) ? lf.lfHeight : -1;
}

// A dialog laid out for 640 x 480 at (100, 100), 320 x 240, holding a button, a combo box and
// a list box (client coordinates (10, 10)-(90, 30), (10, 40)-(110, 60), (120, 10)-(300, 200)).
class DisplayRescaleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CDisplayLayout::ForgetLoadedColours();
        CLocalMachineRegistryObject machine;
        machine.SetBool(kMainKey, "CantlePlus", 1);  // large display: the dialogs scale
        screens = FakeScreens::Install();
    }
    void TearDown() override { CDisplayLayout::ForgetLoadedColours(); }

    void Screen(int width, int height, int panel = 0)
    {
        screens->ClearMonitors();
        screens->AddMonitor(RECT{0, 0, width, height}, true, RECT{0, 0, width, height - panel});
    }
    void BuildDialog(bool withControls = true)
    {
        dialog = screens->AddWindow(RECT{100, 100, 420, 340});
        if (!withControls) return;
        button = screens->AddWindow(RECT{110, 110, 190, 130}, dialog);
        combo = screens->AddWindow(RECT{110, 140, 210, 160}, dialog);
        list = screens->AddWindow(RECT{220, 110, 400, 300}, dialog);
        screens->WindowOf(button).id = 1;
        screens->WindowOf(combo).id = 2;
        screens->WindowOf(list).id = 3333;  // always bold
        screens->WindowOf(combo).kind = winport::ControlKind::ComboBox;
        screens->WindowOf(list).kind = winport::ControlKind::ListBox;
        screens->WindowOf(button).hasFont = true;
        screens->WindowOf(button).font = Face("Arial");
        screens->WindowOf(combo).hasFont = true;
        screens->WindowOf(combo).font = Face("MS Sans Serif");
    }
    CRect ClientRect(HWND control)
    {
        const RECT d = screens->WindowOf(dialog).rect;
        CRect r(screens->WindowOf(control).rect);
        r.OffsetRect(-d.left, -d.top);
        return r;
    }
    CRect Outer(HWND w) { return CRect(screens->WindowOf(w).rect); }

    TestEnvironment env;
    std::shared_ptr<FakeScreens> screens;
    FakeScreens::Guard guard;
    HWND dialog = nullptr, button = nullptr, combo = nullptr, list = nullptr;
};

}  // namespace

TEST_F(DisplayRescaleTest, FactorsFollowTheUsableScreen)
{
    struct Row { const char* name; int width, height, panel; double h, v; int fullWidth; };
    const Row rows[] = {
        {"1280 x 1024, panel 40", 1280, 1024, 40, 2.0, (1024 - 40) / 480.0, 1280},
        {"2560 x 1024, panel 40", 2560, 1024, 40, 2.0, (1024 - 40) / 480.0, 1280},
        {"640 x 480", 640, 480, 0, 1.0, 1.0, 640},
        {"narrower than 640", 600, 450, 0, 1.0, 1.0, 600},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Screen(r.width, r.height, r.panel);
        BuildDialog();
        CDisplayLayout layout(dialog);
        EXPECT_DOUBLE_EQ(layout.GetHorzScale(0, FALSE), r.h);
        EXPECT_DOUBLE_EQ(layout.GetVertScale(0, FALSE), r.v);
        EXPECT_DOUBLE_EQ(layout.GetVertScale(24, FALSE), r.width >= 640 ? r.v - 24 / 480.0 : 1.0);
        EXPECT_EQ(layout.GetScreenMetric(SM_CXFULLSCREEN), r.fullWidth);
    }
}

TEST_F(DisplayRescaleTest, MarginCapKeepsTheControlsInsideTheWindow)
{
    Screen(1280, 960);
    dialog = screens->AddWindow(RECT{0, 0, 800, 400});
    screens->AddWindow(RECT{20, 20, 780, 60}, dialog);  // the controls: 760 wide, margin 40
    CDisplayLayout layout(dialog);
    EXPECT_DOUBLE_EQ(layout.GetHorzScale(0, TRUE), 2.0);  // 1520 stays clear of 1600 - 40

    screens->WindowOf(dialog).rect.right = 700;           // the window shrinks: 1520 >= 1400 - 40
    EXPECT_DOUBLE_EQ(layout.GetHorzScale(0, TRUE), (1400 - 40) / 760.0);
    EXPECT_DOUBLE_EQ(layout.GetHorzScale(0, FALSE), 2.0);

    // No controls on the screen: nothing to divide by, the factor stays.
    HWND empty = screens->AddWindow(RECT{0, 0, 300, 200});
    CDisplayLayout bare(empty);
    EXPECT_DOUBLE_EQ(bare.GetHorzScale(0, TRUE), 2.0);
    EXPECT_DOUBLE_EQ(bare.GetVertScale(0, TRUE), 2.0);
    HWND offScreen = screens->AddWindow(RECT{0, 0, 300, 200});
    screens->AddWindow(RECT{5000, 5000, 5010, 5010}, offScreen);
    CDisplayLayout outside(offScreen);
    EXPECT_DOUBLE_EQ(outside.GetVertScale(0, TRUE), 2.0);
}

TEST_F(DisplayRescaleTest, OlderFormScalesControlsAndCentresTheDialog)
{
    Screen(1280, 960);
    BuildDialog();
    CFont font;
    CDisplayLayout(dialog).ReScaleScreen(FALSE, 10, &font, FALSE, FALSE, FALSE, FALSE);

    EXPECT_EQ(Outer(dialog), CRect(320, 240, 960, 720));  // 640 x 480, centred
    // Doubled, then centred inside the window by (10, 30); the combo box grows by its height.
    EXPECT_EQ(ClientRect(button), CRect(30, 50, 190, 90));
    EXPECT_EQ(ClientRect(combo), CRect(30, 110, 230, 230));
    EXPECT_EQ(ClientRect(list), CRect(250, 50, 610, 430));
    EXPECT_EQ(HeightOf(font), 24);
    for (HWND c : {button, combo, list}) EXPECT_EQ(screens->WindowOf(c).font.lfHeight, 24);
    EXPECT_STREQ(screens->WindowOf(list).font.lfFaceName, "Arial");
    EXPECT_EQ(screens->WindowOf(combo).itemHeights.at(-1), 24);
    EXPECT_EQ(screens->WindowOf(combo).itemHeights.at(0), 24);
    EXPECT_EQ(screens->WindowOf(list).itemHeights.at(0), 28);
}

TEST_F(DisplayRescaleTest, NewerFormChoosesPlainAndBoldFonts)
{
    Screen(1280, 960);
    BuildDialog();
    CFont bold, plain;
    CDisplayLayout(dialog).ReScaleScreen(FALSE, 10, &bold, &plain, CString("Arial"));

    EXPECT_EQ(HeightOf(plain), 27);
    EXPECT_EQ(HeightOf(bold), 36);
    EXPECT_EQ(screens->WindowOf(button).font.lfHeight, 27);  // its face is the plain face
    EXPECT_EQ(screens->WindowOf(combo).font.lfHeight, 36);
    EXPECT_EQ(screens->WindowOf(combo).font.lfWeight, FW_BOLD);
    EXPECT_EQ(screens->WindowOf(list).font.lfHeight, 36);    // 3333 is always bold
    EXPECT_EQ(screens->WindowOf(list).itemHeights.at(0), 40);
    EXPECT_EQ(screens->WindowOf(combo).itemHeights.at(0), 36);
    EXPECT_EQ(ClientRect(button), CRect(30, 50, 190, 90));
    EXPECT_EQ(Outer(dialog), CRect(320, 240, 960, 720));
}

TEST_F(DisplayRescaleTest, CodesAndTheNormalDisplayFlag)
{
    enum Form { Older, Newer, Short };
    struct Row { const char* name; bool normal; Form form; int code; CRect dialog; CRect button; };
    const CRect designed(100, 100, 420, 340), designedButton(10, 10, 90, 30);
    const Row rows[] = {
        {"code -1 as 10", false, Older, -1, CRect(320, 240, 960, 720), CRect(30, 50, 190, 90)},
        {"code 50 scales, places nothing", false, Older, 50, CRect(0, 0, 640, 480), CRect(30, 50, 190, 90)},
        {"normal display, newer form: placed only", true, Newer, 10, CRect(480, 360, 800, 600), designedButton},
        {"normal display, short form: nothing", true, Short, 10, designed, designedButton},
        {"short form scales", false, Short, 10, CRect(320, 240, 960, 720), CRect(30, 50, 190, 90)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        CCurrentUserRegistryObject user;
        user.SetBool(kInterfaceKey, "NormalDisplay", static_cast<BYTE>(r.normal ? 1 : 0));
        Screen(1280, 960);
        BuildDialog();
        CFont font, plain;
        CDisplayLayout layout(dialog);
        switch (r.form) {
        case Older: layout.ReScaleScreen(FALSE, r.code, &font, FALSE, FALSE, FALSE, FALSE); break;
        case Newer: layout.ReScaleScreen(FALSE, r.code, &font, &plain, CString("Arial")); break;
        case Short: layout.ReScaleScreen(FALSE, r.code, &font, FALSE, FALSE); break;
        }
        EXPECT_EQ(Outer(dialog), r.dialog);
        EXPECT_EQ(ClientRect(button), r.button);
    }
}

TEST_F(DisplayRescaleTest, DialogWithoutControlsAndFill)
{
    Screen(1280, 1024, 40);
    BuildDialog(false);
    CFont font;
    CDisplayLayout(dialog).ReScaleScreen(TRUE, 10, &font, FALSE, FALSE, FALSE, TRUE);
    EXPECT_EQ(Outer(dialog), CRect(0, 0, 1279, 983));  // the usable screen less one pixel

    // The older rules (codes below 10 where two screens are not supported): work-area factors,
    // the dialog at the screen's corner.
    CCurrentUserRegistryObject user;
    user.SetBool(kInterfaceKey, "DualScreenSupport", 0);
    BuildDialog(false);
    CDisplayLayout(dialog).ReScaleScreen(FALSE, 3, &font, FALSE, FALSE, FALSE, TRUE);
    // 320 x 2.0 by 240 x (984 / 480), truncated: 984 / 480 is a hair below 2.05 in doubles.
    EXPECT_EQ(Outer(dialog), CRect(0, 0, 640, 491));
}

TEST_F(DisplayRescaleTest, SmallOperationsAndStretchedBitmaps)
{
    Screen(1280, 960);
    BuildDialog();
    CDisplayLayout layout(dialog);
    EXPECT_EQ(layout.ScaleSize(CSize(10, 20)), CSize(20, 40));
    EXPECT_EQ(layout.ScaleRect(CRect(1, 2, 3, 4)), CRect(2, 4, 6, 8));
    CFont font;
    LOGFONT lf = Face("Arial");
    font.CreateFontIndirect(&lf);
    layout.ScaleFont(&font);
    EXPECT_EQ(HeightOf(font), 26);

    winport::PixelBuffer bitmap(2, 1);
    bitmap.At(0, 0) = RGBX{1, 1, 1, 0};
    bitmap.At(1, 0) = RGBX{2, 2, 2, 0};
    winport::PixelBuffer target(6, 3);
    layout.DrawBitmap(target, CPoint(1, 0), CSize(2, 1), bitmap);
    const BYTE expected[3][6] = {{0, 1, 1, 2, 2, 0}, {0, 1, 1, 2, 2, 0}, {0, 0, 0, 0, 0, 0}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(target.At(x, y).btBlue, expected[y][x]) << x << "," << y;

    int height = -1, width = -1;
    CDisplayLayout::ColourButtonFontSize(button, 0, TRUE, height, width);
    EXPECT_EQ(height, 24);  // 8 x 2.0 x 1.5
    EXPECT_EQ(width, 10);
    CDisplayLayout::ColourButtonFontSize(button, 0, FALSE, height, width);
    EXPECT_EQ(height, 0);
    EXPECT_EQ(width, 0);
    CDisplayLayout::ColourButtonFontSize(button, 17, TRUE, height, width);
    EXPECT_EQ(height, 17);

    // The normal display draws at the designed size and scales nothing.
    CCurrentUserRegistryObject user;
    user.SetBool(kInterfaceKey, "NormalDisplay", 1);
    CDisplayLayout normal(dialog);
    EXPECT_EQ(normal.ScaleSize(CSize(10, 20)), CSize(10, 20));
    winport::PixelBuffer plainTarget(6, 3);
    normal.DrawBitmap(plainTarget, CPoint(0, 0), CSize(2, 1), bitmap);
    EXPECT_EQ(plainTarget.At(1, 0).btBlue, 2);
    EXPECT_EQ(plainTarget.At(1, 1).btBlue, 0);
}
