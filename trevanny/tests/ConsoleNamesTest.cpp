#include <gtest/gtest.h>

#include <cstring>

#include "trevanny/ConsoleNames.h"
#include "trevanny/SharedConstants.h"
#include "winport/CString.h"

namespace {

// Texts written down from the console software's list, by position.
TEST(ConsoleNamesTest, PositionsHoldTheStoredTexts)
{
    struct Case { int position; const char* text; };
    const Case cases[] = {
        {0, "System software"},
        {18, "C:\\"},
        {20, "Automation"},
        {34, "Automation"},
        {31, "Pass%d-%d"},
        {103, "Ctrls"},
        {119, "Rtes"},
        {124, "c:\\tmp\\mix setup"},
        {137, "Configuration"},
        {169, ".aut"},
        {175, "SOFTWARE\\VOKDWEN\\KIVSERVER\\Configuration"},
        {178, "SPS> "},
        {182, "Preference%3d"},
        {183, "PrefereceArea"},  // stored misspelt
        {207, "Software\\VokSettings\\KIVServer\\PrefereceArea"},
        {228, "|"},
        {253, "TFT Meter Configuration"},
        {254, "Configuration\\TFT Meter Configuration\\"},
        {259, "Cantle\\Relay Controls\\"},
        {262, "Relay Control Commands (*.rcc)|*.rcc|All Files (*.*)|*.*||"},
        {266, "Portable Document Format (*.pdf)|*.pdf|Help File (*.hlp)|*.hlp||"},
    };
    for (const Case& c : cases) EXPECT_STREQ(c.text, GetConsoleName(c.position)) << "position " << c.position;
    EXPECT_STREQ(kExtAutomation, GetConsoleName(169));
    EXPECT_STREQ("Automation.aut", kFileAutomation);
}

TEST(ConsoleNamesTest, CountEmptyPositionsAndBounds)
{
    EXPECT_EQ(267, kConsoleNameCount);
    int empty = 0;
    for (int i = 0; i < kConsoleNameCount; ++i) {
        ASSERT_NE(nullptr, GetConsoleName(i));
        if (*GetConsoleName(i) == 0) {
            ++empty;
            EXPECT_TRUE(i == 108 || i == 111 || i == 114 || i == 117) << i;
        }
    }
    EXPECT_EQ(4, empty);
    EXPECT_STREQ("", GetConsoleName(267));
    EXPECT_STREQ("", GetConsoleName(-1));
    // Equal texts are distinct names.
    EXPECT_NE(static_cast<const void*>(GetConsoleName(103)), static_cast<const void*>(GetConsoleName(106)));
}

TEST(ConsoleNamesTest, ComposedNameIsTheTwoItJoins)
{
    const CString composed = CString(GetConsoleName(137)) + "\\" + GetConsoleName(253) + "\\";
    EXPECT_EQ(composed, kStreamTftMeterConfigurationPath);
    static_assert(kTftMeterConfigurationPathText.size() == sizeof("Configuration\\TFT Meter Configuration\\"));
}

// Constant initialisation: the names are usable while other static objects are built.
const CString g_builtEarly = CString(kStreamTftMeterConfigurationPath) + kExtAutomation;

TEST(ConsoleNamesTest, UsableFromStaticInitialisers)
{
    EXPECT_EQ(CString("Configuration\\TFT Meter Configuration\\.aut"), g_builtEarly);
}

TEST(SharedConstantsTest, ListsAndBoundedLookups)
{
    EXPECT_STREQ("No Change", kThinningChoices7[0]);
    EXPECT_STREQ("No Change", kThinningChoices17[0]);
    EXPECT_STREQ("3 Heavy", kThinningChoices7[6]);
    EXPECT_STREQ("12 (0.15 dB)", kThinningChoices17[12]);
    EXPECT_STREQ("16 (0.2 dB) (Heavy)", kThinningChoices17[16]);
    EXPECT_STREQ("Undefined", GetIOSystemTypeName(8));
    EXPECT_STREQ("Self Booting IOS", GetIOSystemTypeName(5));
    EXPECT_STREQ("Undefined", GetIOSystemTypeName(9));
    EXPECT_STREQ("Undefined", GetIOSystemTypeName(-1));
    EXPECT_STREQ("6.1 (8 Films)", GetTrackFormatName(7));
    EXPECT_STREQ("", GetTrackFormatName(8));
    EXPECT_STREQ("CantleStatusWindow", kStatusWindowClass);
    EXPECT_STREQ("CantleUniqueClass", kMainWindowClass);
    EXPECT_STREQ("KIVStatusMessage", kStatusMessageName);
    EXPECT_STREQ("USE_CURRENT_AUTOMATION", kUseCurrentAutomation);
    EXPECT_STREQ("SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Screen location\\Large Display\\", kScreenLocationLargeKey);
    EXPECT_STREQ("Output Delay Units", kIOConfigOutputDelayUnits);
}

}  // namespace
