#include <gtest/gtest.h>

#include <climits>

#include "TestEnvironment.h"
#include "trevanny/ConsoleRegistryNames.h"
#include "trevanny/TimecodeSettings.h"
#include "trevanny/TimecodeValue.h"
#include "winport/RegistryObject.h"

namespace {

const char kTimecode[] = "SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Timecode";

CTimecodeSettings Settings(int rateCode, int sampleRate)
{
    CTimecodeSettings s;
    s.m_nTimecodeRate = rateCode;
    s.m_nSampleRate = sampleRate;
    return s;
}

TEST(TimecodeValueTest, ConversionTable)
{
    struct Case {
        bool small;
        int rate, sampleRate;
        int h, m, s, f, q;
        int result, rounded;
    };
    const Case cases[] = {
        {true, 2, 48000, 0, 0, 1, 0, 0, 100, 100},          // quarter frames at 25 fps
        {true, 2, 48000, 1, 0, 0, 0, 0, 360000, 360000},
        {true, 1, 48000, 0, 0, 0, 3, 1, 13, 13},
        {true, 4, 48000, 0, 0, 1, 0, 0, 119, 120},          // 29.97: 30 frames are 1.001 s
        {false, 3, 48000, 0, 0, 1, 15, 0, 150, 150},
        {false, 3, 47952, 0, 0, 1, 15, 0, 149, 150},        // pulled down: 149.85
        {false, 3, 44056, 0, 0, 1, 15, 0, 149, 150},
        {false, 5, 48000, 0, 0, 1, 0, 0, 100, 100},         // 100.1 units a second: 100.1
        {false, 5, 47952, 0, 0, 1, 0, 0, 100, 100},
        {false, 7, 48000, 0, 0, 10, 0, 0, 1001, 1001},
        {false, 1, 48000, 0, 0, 0, 12, 0, 50, 50},
        {false, 1, 48000, 0, 0, 0, 18, 0, 75, 75},
        {false, 2, 48000, 0, 0, 0, 1, 0, 4, 4},
        {false, 1, 48000, 0, 0, 0, 1, 0, 4, 4},             // 4.167
        {false, 3, 48000, 0, 0, 0, 1, 0, 3, 3},             // 3.334
        {false, 3, 48000, 0, 0, 0, 2, 0, 6, 7},             // 6.667: rounds up
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.small ? "small" : "large") << " rate " << c.rate << " at "
                                        << c.sampleRate << " " << c.h << ":" << c.m << ":" << c.s << " " << c.f
                                        << "." << c.q);
        CTimecodeValue value(Settings(c.rate, c.sampleRate), c.small);
        EXPECT_EQ(c.result, value.SetTime(c.h, c.m, c.s, c.f, c.q));
        EXPECT_EQ(c.result, value.GetResult());
        EXPECT_EQ(c.rounded, value.GetRoundedFrames());
        EXPECT_TRUE(value.IsValid());
    }
}

TEST(TimecodeValueTest, UnknownRateCodeConvertsAsTwentyFourAndBecomesOne)
{
    CTimecodeValue value(Settings(6, 48000), FALSE);
    EXPECT_EQ(6, value.GetRateCode());
    EXPECT_EQ(150, value.SetTime(0, 0, 1, 12));
    EXPECT_EQ(1, value.GetRateCode());
}

TEST(TimecodeValueTest, NoConversionYetRoundsToZero)
{
    CTimecodeValue value(Settings(1, 48000), FALSE);
    EXPECT_FALSE(value.IsValid());
    EXPECT_EQ(0, value.GetRoundedFrames());
    EXPECT_EQ(CString("--:--:-- --"), value.GetDisplayText());
}

TEST(TimecodeValueTest, NegativeFilmCountsWrapToTheDayBefore)
{
    CTimecodeValue value(Settings(1, 48000), FALSE);
    EXPECT_EQ(8639933, value.SetFeetFrames(-1, 0));
    EXPECT_NEAR(-66.6667, value.GetExactResult(), 0.001);
    EXPECT_EQ(8639933, value.GetRoundedFrames());

    CTimecodeValue small(Settings(1, 48000), TRUE);
    EXPECT_EQ(64, small.SetFeetFrames(1, 0));  // 16 frames at 4 quarter frames each
}

TEST(TimecodeValueTest, FilmEquivalenceIsAddedWhileTheOffsetFlagIsSet)
{
    CTimecodeSettings settings = Settings(1, 48000);
    settings.m_nFilmEquivalence = 100;
    settings.m_nFeetAndFrames = 1;
    CTimecodeValue value(settings, FALSE);
    EXPECT_EQ(200, value.SetFrames(48));  // feet-and-frames path: 2 s = 200 units
    value.SetAddFilmEquivalence(TRUE);
    EXPECT_EQ(300, value.SetFrames(48));
    EXPECT_EQ(300, value.GetRoundedFrames());
    value.SetFeetAndFramesMode(0);
    EXPECT_EQ(200, value.SetFrames(48));  // timecode path: no film equivalence
    value.SetFeetAndFramesMode(1);
    // The conform's end of timeline: 24 hours of 24-frame film.
    EXPECT_EQ(8640100, value.SetFrames(2073600));
}

TEST(TimecodeValueTest, RoundingOfHalvesAndNegatives)
{
    CTimecodeSettings settings = Settings(1, 48000);
    CTimecodeValue value(settings, FALSE);
    value.SetTime(0, 0, 0, 3);  // 12.5 units (+ epsilon)
    EXPECT_EQ(12, value.GetResult());
    EXPECT_EQ(13, value.GetRoundedFrames());
    value.SetTime(0, 0, -1, 0);  // -0.99999 s
    EXPECT_EQ(-99, value.GetResult());
    EXPECT_EQ(-100, value.GetRoundedFrames());
    value.SetTime(0, 0, 0, -3);  // -12.499
    EXPECT_EQ(-12, value.GetResult());
    EXPECT_EQ(-12, value.GetRoundedFrames());
}

TEST(TimecodeValueTest, ExtremeArgumentsGiveDefinedResults)
{
    for (bool small : {false, true}) {
        SCOPED_TRACE(small);
        CTimecodeValue value(Settings(1, 48000), small);
        EXPECT_EQ(INT_MAX, value.SetTime(INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX));
        EXPECT_EQ(INT_MAX, value.GetRoundedFrames());
        EXPECT_EQ(INT_MIN, value.SetTime(INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN));
        EXPECT_EQ(INT_MIN, value.GetRoundedFrames());
        EXPECT_EQ(INT_MAX, value.SetFeetFrames(INT_MAX, INT_MAX));
        EXPECT_EQ(INT_MIN, value.SetFeetFrames(INT_MIN, INT_MIN));
        value.SetAddFilmEquivalence(TRUE);
        EXPECT_EQ(INT_MAX, value.SetFeetFrames(INT_MAX, 0));
        EXPECT_FALSE(value.GetDisplayText().IsEmpty());
    }
}

TEST(TimecodeValueTest, ZeroOrNegativeFilmRatesUseTheDefaults)
{
    for (int bad : {0, -5}) {
        SCOPED_TRACE(bad);
        CTimecodeSettings settings = Settings(1, 48000);
        settings.m_nFramesPerSec = bad;
        settings.m_nFramesPerFoot = bad;
        settings.m_nFeetAndFrames = 1;
        CTimecodeValue value(settings, FALSE);
        EXPECT_EQ(200, value.SetFeetFrames(3, 0));  // 3 x 16 frames at 24 a second
        EXPECT_EQ(CString("00003.00"), value.GetDisplayText());
        EXPECT_EQ(200, value.SetFrames(48));
    }
}

TEST(TimecodeValueTest, DisplayTextsPerMode)
{
    struct Case { int ff, supFF, supHours, supFrames, mode; const char* text; };
    // 1 h 2 min 3 s 4 frames, or as film at 24 frames a second and 16 a foot: 89356 frames.
    const Case cases[] = {
        {0, 0, 1, 0, 0, "02:03 04"},  {0, 0, 0, 1, 1, "01:02:03"}, {0, 0, 1, 1, 2, "02:03"},
        {0, 0, 0, 0, 3, "01:02:03 04"}, {1, 0, 0, 0, 4, "05584.12"}, {1, 1, 0, 0, 5, "05584"},
        {1, 0, 1, 1, 4, "05584.12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        CTimecodeSettings settings = Settings(1, 48000);
        settings.m_nFeetAndFrames = c.ff;
        settings.m_nSupFramesFF = c.supFF;
        settings.m_nSupHours = c.supHours;
        settings.m_nSupFrames = c.supFrames;
        CTimecodeValue value(settings, FALSE);
        EXPECT_EQ(c.mode, value.GetDisplayMode());
        value.SetTime(1, 2, 3, 4);
        EXPECT_EQ(CString(c.text), value.GetDisplayText());
    }
    CTimecodeValue pulled(Settings(3, 47952), FALSE);
    pulled.SetTime(0, 0, 1, 15);
    EXPECT_EQ(CString("00:00:01 15"), pulled.GetDisplayText());
    CTimecodeValue small(Settings(2, 48000), TRUE);
    small.SetTime(10, 0, 0, 24, 3);
    EXPECT_EQ(CString("10:00:00 24.3"), small.GetDisplayText());
    small.SetTime(0, 0, -1, 0);
    EXPECT_EQ(CString("-00:00:01 00.0"), small.GetDisplayText());
    // Switching feet and frames on recomputes the mode.
    small.SetFeetAndFramesMode(1);
    EXPECT_EQ(CTimecodeValue::enFeetFrames, small.GetDisplayMode());
}

TEST(TimecodeSettingsTest, NumbersFromText)
{
    struct Case { const char* text; int value; };
    for (const Case& c : {Case{"24", 24}, Case{"  25fps", 25}, Case{"-12", -12}, Case{"+7", 7}, Case{"abc", 0},
                          Case{"", 0}, Case{"2.5", 2}, Case{"25,5", 25}, Case{"1e3", 1}, Case{"99999999999", INT_MAX},
                          Case{"-99999999999999999999999", INT_MIN}, Case{"2147483647", INT_MAX},
                          Case{"-2147483648", INT_MIN}, Case{"--3", 0}}) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.value, CTimecodeSettings::ParseNumber(c.text));
    }
    EXPECT_EQ(0, CTimecodeSettings::ParseNumber(nullptr));
}

class TimecodeRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { CConsoleRegistryNames::ResetConsoleSettingsForTesting(); }
    void TearDown() override { CConsoleRegistryNames::ResetConsoleSettingsForTesting(); }
    TestEnvironment m_env;
    CCurrentUserRegistryObject m_user;
};

TEST_F(TimecodeRegistryTest, NoKeysGiveTheDefaults)
{
    CTimecodeSettings s;
    s.m_bLocalZero = 7;
    s.m_bShowRaw = 7;
    s.Load();
    const int got[] = {s.m_nTimecodeRate, s.m_nSampleRate, s.m_nFramesPerSec, s.m_nFramesPerFoot,
                       s.m_nFilmEquivalence, s.m_nFeetAndFrames, s.m_nSupFramesFF, s.m_nSupHours,
                       s.m_nSupFrames, s.m_bLocalZero, s.m_nCodeConvert, s.m_nFFConvert, s.m_bShowRaw};
    const int expected[] = {1, 48000, 24, 16, 0, 0, 0, 0, 0, 0, 30, 30, 0};
    for (int i = 0; i < 13; ++i) EXPECT_EQ(expected[i], got[i]) << "field " << i + 1;
    int fps = 0;
    s.ReadTimecodeFramesPerSec(fps);
    EXPECT_EQ(24, fps);
}

TEST_F(TimecodeRegistryTest, StoredValuesWithTheirStoredNames)
{
    ASSERT_TRUE(m_user.SetInt(kTimecode, "CantleTimcodeRate", 3));
    ASSERT_TRUE(m_user.SetInt("SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\TCWatch", "Sample Rate", 47952));
    ASSERT_TRUE(m_user.SetString(kTimecode, "CantleTimecodeCurrentFramesPerSec", "25"));
    ASSERT_TRUE(m_user.SetString(kTimecode, "CantleTimecodeCurrentFeetPerFrame", "20"));
    ASSERT_TRUE(m_user.SetString(kTimecode, "CantleTimecodeFilmEquivalance", "100"));
    ASSERT_TRUE(m_user.SetInt(kTimecode, "CantleTimecodeFF", 1));
    ASSERT_TRUE(m_user.SetInt(kTimecode, "CantleTimecodeSupFramesFF", 1));
    ASSERT_TRUE(m_user.SetString(kTimecode, "CantleTimecodeCodeConvert", "abc"));
    ASSERT_TRUE(m_user.SetString(kTimecode, "CantleTimecodeFFConvert", "29"));
    ASSERT_TRUE(m_user.SetInt(kTimecode, "CantleTimecodeLocalZero", 2));
    ASSERT_TRUE(m_user.SetInt(kTimecode, "ShowRaw", 1));
    CTimecodeSettings s;
    s.Load();
    EXPECT_EQ(3, s.m_nTimecodeRate);
    EXPECT_EQ(47952, s.m_nSampleRate);
    EXPECT_EQ(25, s.m_nFramesPerSec);
    EXPECT_EQ(20, s.m_nFramesPerFoot);
    EXPECT_EQ(100, s.m_nFilmEquivalence);
    EXPECT_EQ(1, s.m_nFeetAndFrames);
    EXPECT_EQ(1, s.m_nSupFramesFF);
    EXPECT_EQ(0, s.m_nCodeConvert);
    EXPECT_EQ(29, s.m_nFFConvert);
    EXPECT_EQ(1, s.m_bLocalZero);
    EXPECT_EQ(1, s.m_bShowRaw);

    CTimecodeValue value;  // loads the same settings; console type 3
    EXPECT_TRUE(value.IsPulledDown());
    EXPECT_FALSE(value.IsSmallConsole());
    EXPECT_EQ(CTimecodeValue::enFeet, value.GetDisplayMode());
}

TEST_F(TimecodeRegistryTest, SmallConsolesHaveNoFilmEquivalence)
{
    ASSERT_TRUE(m_user.SetString(kTimecode, "CantleTimecodeFilmEquivalance", "100"));
    CLocalMachineRegistryObject machine(CString{});
    ASSERT_TRUE(machine.SetInt("Software\\Vok Dwen Cantle\\Main", "CantleConsoleType", 6));
    CTimecodeSettings s;
    s.Load();
    EXPECT_EQ(0, s.m_nFilmEquivalence);
    CTimecodeValue value;
    EXPECT_TRUE(value.IsSmallConsole());
    EXPECT_EQ(96, value.SetTime(0, 0, 1));  // quarter frames at 24 frames a second
}

TEST_F(TimecodeRegistryTest, BadFrameRatesInTheRegistryGiveDefinedResults)
{
    for (const char* text : {"0", "abc", "-24", "99999999999"}) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(m_user.SetString(kTimecode, "CantleTimecodeCurrentFramesPerSec", text));
        ASSERT_TRUE(m_user.SetInt(kTimecode, "CantleTimecodeFF", 1));
        CTimecodeValue value;
        const int result = value.SetFrames(48);
        const int perSecond = CTimecodeSettings::ParseNumber(text) > 0 ? CTimecodeSettings::ParseNumber(text) : 24;
        EXPECT_EQ(static_cast<int>(100.0 * 48 / perSecond), result);
        EXPECT_FALSE(value.GetDisplayText().IsEmpty());
    }
}

}  // namespace
