#include <gtest/gtest.h>

#include "FakeScreens.h"
#include "TestEnvironment.h"
#include "ui/DisplayLayout.h"
#include "winport/RegistryObject.h"

namespace {

const char* const kInterfaceKey = "Software\\VOKDWEN\\Vok Dwen Cantle\\CantleInterface";
const char* const kMainKey = "Software\\Vok Dwen Cantle\\Main";
const char* const kDisplayKey = "Software\\Vok Dwen Cantle\\Display";

class DisplayLayoutTest : public ::testing::Test {
protected:
    void SetUp() override { CDisplayLayout::ForgetLoadedColours(); }
    void TearDown() override { CDisplayLayout::ForgetLoadedColours(); }
    DWORD StoredUser(const char* value)
    {
        CCurrentUserRegistryObject reg;
        DWORD v = 0xDEADBEEF;
        reg.GetDword(kInterfaceKey, value, v, 0xDEADBEEF);
        return v;
    }

    TestEnvironment env;
};

}  // namespace

TEST_F(DisplayLayoutTest, DefaultColoursByKind)
{
    CDisplayLayout layout(nullptr);
    EXPECT_TRUE(layout.IsInvalid());
    struct Row { int kind; COLORREF text, back; };
    const Row rows[] = {
        {enButtonOK, 0xffffff, 0x327e08}, {enButtonCancel, 0xffffff, 0x0303bd},
        {enButtonExit, 0xffffff, 0x502814}, {enButtonHelp, 0xffffff, 0xff0000},
        {4, 0xffffff, 0x327e08}, {-1, 0xffffff, 0x327e08},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.kind);
        EXPECT_EQ(layout.GetButtonTextColour(r.kind), r.text);
        EXPECT_EQ(layout.GetButtonBackColour(r.kind), r.back);
    }
    EXPECT_TRUE(layout.UseColourButtons());
}

TEST_F(DisplayLayoutTest, ColoursAreReadOncePerProcess)
{
    CCurrentUserRegistryObject user;
    user.SetDword(kInterfaceKey, "ButtonBGCancel", 0x112233);
    CDisplayLayout first(nullptr);
    EXPECT_EQ(first.GetButtonBackColour(enButtonCancel), 0x112233u);

    user.SetDword(kInterfaceKey, "ButtonBGCancel", 0x445566);
    CDisplayLayout second(nullptr);
    EXPECT_EQ(second.GetButtonBackColour(enButtonCancel), 0x112233u);
}

TEST_F(DisplayLayoutTest, SavedColoursRoundTripAndHighByteIsMasked)
{
    CCurrentUserRegistryObject user;
    user.SetDword(kInterfaceKey, "ButtonBGExit", 0xFF123456);  // a stored value with its high byte set
    {
        CDisplayLayout layout(nullptr);
        EXPECT_EQ(layout.GetButtonBackColour(enButtonExit), 0x123456u);
        layout.SaveColours();
    }
    EXPECT_EQ(StoredUser("ButtonBGExit"), 0x123456u);
    EXPECT_EQ(StoredUser("ButtonFGHelp"), 0xffffffu);
    EXPECT_EQ(StoredUser("ButtonBGOK"), 0x327e08u);
    CLocalMachineRegistryObject machine;
    DWORD back = 0;
    machine.GetDword(kDisplayKey, "BackGroundColour", back, 0);
    EXPECT_EQ(back, 0xc0c0c0u);

    CDisplayLayout::ForgetLoadedColours();  // as a new start of the program
    CDisplayLayout again(nullptr);
    EXPECT_EQ(again.GetButtonBackColour(enButtonExit), 0x123456u);
}

TEST_F(DisplayLayoutTest, NormalDisplayFollowsCantlePlusOnEveryConstruction)
{
    CCurrentUserRegistryObject user;
    CLocalMachineRegistryObject machine;
    user.SetBool(kInterfaceKey, "NormalDisplay", 0);
    {
        // Without "CantlePlus" the display is normal whatever "NormalDisplay" says.
        CDisplayLayout layout(nullptr);
        EXPECT_TRUE(layout.IsNormalDisplay());
        layout.SaveColours();
        EXPECT_EQ(StoredUser("NormalDisplay"), 1u);
    }
    user.SetBool(kInterfaceKey, "NormalDisplay", 0);
    machine.SetBool(kMainKey, "CantlePlus", 1);
    EXPECT_FALSE(CDisplayLayout(nullptr).IsNormalDisplay());
    user.SetBool(kInterfaceKey, "NormalDisplay", 1);
    EXPECT_TRUE(CDisplayLayout(nullptr).IsNormalDisplay());
}

TEST_F(DisplayLayoutTest, ColourButtonsCanBeSwitchedOff)
{
    CCurrentUserRegistryObject user;
    user.SetBool(kInterfaceKey, "ColourButtonOFF", 1);
    EXPECT_FALSE(CDisplayLayout(nullptr).UseColourButtons());
}

TEST_F(DisplayLayoutTest, ControlExtentBoundsTheChildrenOnTheWindowsScreen)
{
    auto screens = FakeScreens::Install();
    FakeScreens::Guard guard;
    screens->AddMonitor(RECT{0, 0, 1920, 1080}, true, RECT{0, 0, 1920, 1040});
    HWND dlg = screens->AddWindow(RECT{100, 100, 700, 500});
    CDisplayLayout empty(dlg);
    EXPECT_FALSE(empty.IsInvalid());
    EXPECT_EQ(empty.GetWindowRectangle(), CRect(100, 100, 700, 500));
    EXPECT_EQ(empty.GetControlExtent(), CRect(1920, 1040, 0, 0));  // inverted: no child

    screens->AddWindow(RECT{120, 130, 220, 160}, dlg);
    screens->AddWindow(RECT{600, 400, 690, 480}, dlg);
    screens->AddWindow(RECT{1800, 1030, 1900, 1100}, dlg);  // centre on the panel
    CDisplayLayout layout(dlg);
    EXPECT_EQ(layout.GetControlExtent(), CRect(120, 130, 690, 480));
    EXPECT_EQ(layout.GetControlsExtent(CSize(5, -10)), CRect(125, 120, 695, 470));
}
