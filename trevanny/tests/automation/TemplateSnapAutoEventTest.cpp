#include <clocale>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

#include "ConsoleTypeFixture.h"
#include "trevanny/TemplateSnapAutoEvent.h"
#include "winport/CObject.h"

namespace {

CString text(int p, int c, int v, int units = 1, int wholeHertz = 0)
{
    CTemplateSnapAutoEvent e(static_cast<BYTE>(p), static_cast<BYTE>(c), static_cast<short>(v));
    CString t;
    e.GetText(t, units, wholeHertz);
    return t;
}

short fromText(int p, int c, const char* t)
{
    CTemplateSnapAutoEvent e(static_cast<BYTE>(p), static_cast<BYTE>(c), 0);
    return e.GetValueFromText(t);
}

CString name(int p, int c)
{
    return CTemplateSnapAutoEvent(static_cast<BYTE>(p), static_cast<BYTE>(c), 0).GetEventName();
}

struct TextCase {
    int type;
    int process;
    int control;
    int value;
    int units;
    int wholeHertz;
    const char* expected;
};

class EventTextTest : public ConsoleTypeFixture {};

TEST_F(EventTextTest, ValueTextsByConsoleFamily)
{
    const TextCase cases[] = {
        // Fader level on a large console: the minimum is "Cut", one above it a level.
        {3, 14, 0, -8192, 1, 0, "Cut"},
        {3, 14, 0, -8191, 1, 0, "-102.4dB"},
        {3, 14, 0, -8191, 0, 0, "-102.4"},
        {3, 14, 0, 0, 1, 0, "0.0dB"},
        {3, 14, 0, -10, 1, 0, "-0.1dB"},
        {3, 14, 0, -1, 1, 0, "0.0dB"},  // "-0.0dB" loses its sign
        {3, 14, 2, 1, 1, 0, "Off"},
        {3, 14, 2, 0, 1, 0, "On"},
        // Input phase with the Windows-1252 slashed O.
        {3, 0, 1, 0, 1, 0, "\xD8"},
        {3, 0, 2, 3, 1, 0, "R\xD8" "AB"},
        {3, 0, 2, 4, 1, 0, "????"},
        {3, 0, 6, -2, 1, 0, "BA"},
        {3, 0, 8, 12, 1, 0, "Surround Center"},
        {3, 0, 8, 13, 1, 0, "????"},
        {3, 0, 4, 320, 1, 0, "1.0 dB"},
        {3, 0, 4, 320, 0, 0, "1.0 "},
        // Frequencies: 500 Hz at 0, kHz above 1000 Hz unless whole hertz are asked for.
        {3, 1, 0, 0, 1, 0, "500Hz"},
        {3, 1, 0, 1234, 1, 0, "1.0kHz"},
        {3, 1, 0, 1234, 1, 1, "1001Hz"},
        {3, 1, 0, 1233, 1, 0, "1000Hz"},
        {3, 1, 1, 320, 1, 0, "1.0 dB"},
        {3, 1, 2, 2, 1, 0, "12 dB"},
        {3, 1, 2, 7, 1, 0, "7"},
        {3, 1, 3, 0, 1, 0, "0.7"},
        {3, 1, 5, -3, 1, 0, "LF"},
        {3, 1, 5, 5, 1, 0, "Notch"},
        {3, 1, 5, 9, 1, 0, "?"},
        {3, 1, 8, 0, 1, 0, "Listen"},
        {3, 9, 1, 2, 1, 0, "12 dB"},
        {3, 9, 1, 0, 1, 0, "Flat"},
        {3, 10, 3, 5, 1, 0, "Unknown"},
        // Dynamics.
        {3, 11, 1, -80, 1, 0, "-1.0dB"},
        {3, 11, 2, 0, 1, 0, "1.0:1"},
        {3, 13, 2, 0, 1, 0, "1:1.0"},
        {3, 11, 2, 4200, 1, 0, "11:1"},
        {3, 11, 2, 4000, 1, 0, "9.5:1"},
        {3, 11, 3, 150, 1, 0, "1.5m"},
        {3, 11, 4, 250, 1, 0, "0.25s"},
        {3, 11, 6, 320, 1, 0, "1.0dB"},
        {3, 13, 6, 320, 1, 0, "4.0dB"},
        {3, 19, 5, 320, 1, 0, "1.0dB"},
        {3, 11, 7, 1, 1, 0, "Auto"},
        {3, 22, 5, 0, 1, 0, "1.0:1"},
        // Positions: the three word sets.
        {3, 17, 5, 0, 1, 0, "Center"},
        {3, 17, 5, 25, 1, 0, "+1"},
        {3, 17, 5, -8100, 1, 0, "Left"},
        {3, 17, 5, 8100, 1, 0, "Right"},
        {3, 17, 5, 720, 1, 0, "+4"},
        {3, 17, 1, 0, 1, 0, "Stereo"},
        {3, 17, 1, -8100, 1, 0, "Mono"},
        {3, 0, 3, 8100, 1, 0, "Wide"},
        {3, 21, 1, 0, 1, 0, "Ninety"},
        {3, 21, 1, -8100, 1, 0, "Front"},
        {3, 21, 1, 8100, 1, 0, "Back"},
        {3, 21, 1, 720, 1, 0, "+82"},
        {3, 17, 0, 1280, 1, 0, "4.0 dB"},
        {3, 17, 4, 0, 1, 0, "pre"},
        {3, 24, 3, 1, 1, 0, "Routed"},
        {3, 30, 0, 0, 1, 0, "Off"},
        {3, 31, 0, 5, 1, 0, "5"},
        {3, 23, 3, 0, 1, 0, "Pre Eq"},
        {3, 23, 6, 0, 1, 0, "OFF"},
        {3, 23, 6, 640, 1, 0, "208u"},
        {3, 23, 6, 63, 1, 0, "OFF"},
        // Routes.
        {3, 40, 2, -8192, 1, 0, "Cut"},
        {3, 40, 2, 0, 1, 0, "0.0dB"},
        {3, 40, 3, 1, 1, 0, "post"},
        // The small consoles.
        {1, 0, 0, -8192, 1, 0, "Cut"},
        {1, 0, 0, 320, 1, 0, "4.0dB"},
        {1, 0, 2, 0, 1, 0, "On"},
        {6, 2, 2, 0, 1, 0, "Cut"},
        {6, 2, 4, 1, 1, 0, "Uncut"},
        {6, 2, 5, 0, 1, 0, "Uncut"},
        {6, 2, 5, 1, 1, 0, "On"},
        {1, 3, 0, 0, 1, 0, "Sel2"},
        {1, 3, 8, 1, 1, 0, "On"},
        {1, 4, 1, 0, 1, 0, "Center"},  // no front/back words on the small console
        {1, 5, 0, 77, 1, 0, "77"},
        // Other console types show plain numbers.
        {0, 14, 0, -8191, 1, 0, "-8191"},
        {8, 1, 0, 0, 1, 0, "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " process " << c.process << " control " << c.control
                                        << " value " << c.value);
        useConsoleType(c.type);
        EXPECT_STREQ(text(c.process, c.control, c.value, c.units, c.wholeHertz), c.expected);
    }
}

TEST_F(EventTextTest, NamesAndQuarterFrames)
{
    useConsoleType(3);
    EXPECT_STREQ(name(3, 1), "EQ 3 Gain");
    EXPECT_STREQ(name(14, 2), "Fader Mute");
    EXPECT_STREQ(name(30, 8), "Stem G Rte Path 9");
    EXPECT_STREQ(name(32, 0), "");
    EXPECT_STREQ(name(36, 0), "Unknown Event");
    EXPECT_STREQ(name(0, 9), "Unknown Event");
    EXPECT_FALSE(CTemplateSnapAutoEvent(2, 0, 0).ShowsQuarterFrames());
    useConsoleType(1);
    EXPECT_STREQ(name(2, 5), "Small fader Cut");
    EXPECT_STREQ(name(5, 0), "Unknown Event");
    EXPECT_TRUE(CTemplateSnapAutoEvent(0, 2, 0).ShowsQuarterFrames());
    EXPECT_TRUE(CTemplateSnapAutoEvent(3, 8, 0).ShowsQuarterFrames());
    EXPECT_FALSE(CTemplateSnapAutoEvent(0, 0, 0).ShowsQuarterFrames());
    EXPECT_FALSE(CTemplateSnapAutoEvent(2, 6, 0).ShowsQuarterFrames());
    useConsoleType(0);
    EXPECT_STREQ(name(14, 0), "Unknown Event");
    EXPECT_EQ(GetValueScale(), 1);
    useConsoleType(7);
    EXPECT_EQ(GetValueScale(), 4);
}

TEST_F(EventTextTest, TypedTextGivesLimitedValues)
{
    useConsoleType(3);
    EXPECT_EQ(fromText(14, 0, "cut"), -8192);
    EXPECT_EQ(fromText(14, 0, "CUT"), -8192);
    EXPECT_EQ(fromText(14, 0, "+20"), 800);
    EXPECT_EQ(fromText(14, 0, "-10dB"), -800);
    EXPECT_EQ(fromText(14, 1, "0.5"), 40);
    EXPECT_EQ(fromText(1, 0, "500Hz"), 0);
    EXPECT_EQ(fromText(1, 0, "1kHz"), fromText(1, 0, "1000"));
    EXPECT_EQ(fromText(1, 0, "2.0 KHZ"), fromText(1, 0, "2000Hz"));
    EXPECT_EQ(fromText(1, 0, "0"), -6635);       // logarithm of zero: the minimum
    EXPECT_EQ(fromText(1, 0, "-5"), -6635);      // logarithm of a negative number: the minimum
    EXPECT_EQ(fromText(1, 0, "nan"), -6635);
    EXPECT_EQ(fromText(14, 1, "inf"), 800);
    EXPECT_EQ(fromText(14, 1, "-inf"), -8192);
    EXPECT_EQ(fromText(14, 1, "1e999"), 800);
    EXPECT_EQ(fromText(17, 5, "Left"), -8123);   // -32490 / 4 = -8122.5, rounded away from zero
    EXPECT_EQ(fromText(17, 5, "wide"), 8123);
    EXPECT_EQ(fromText(17, 5, "10"), 1805);
    EXPECT_EQ(fromText(21, 1, "Back"), 8123);
    EXPECT_EQ(fromText(21, 1, "10"), 7226);      // (32512 - 3610) / 4 = 7225.5 rounds away
    EXPECT_EQ(fromText(11, 3, "1.5"), 150);
    EXPECT_EQ(fromText(40, 2, "Cut"), -8192);
    // Family 1 raises the maximum of input control 7.
    useConsoleType(5);
    EXPECT_EQ(fromText(14, 0, "+20"), 800);
    for (int p : {24, 31, 35}) {
        SCOPED_TRACE(p);
        useConsoleType(3);
        EXPECT_THROW(
            {
                try {
                    fromText(p, 0, "1");
                } catch (CNotSupportedException* e) {
                    e->Delete();
                    throw std::runtime_error("not supported");
                }
            },
            std::runtime_error);
    }
    // A small console has limits only for its five processes.
    useConsoleType(1);
    EXPECT_EQ(fromText(0, 0, "1"), 320);
    try {
        fromText(14, 0, "1");
        FAIL() << "no exception";
    } catch (CNotSupportedException* e) {
        e->Delete();
    }
}

TEST_F(EventTextTest, TextRoundTripsOverWholeRanges)
{
    struct Range {
        int process;
        int control;
        int from;
        int to;
        int wholeHertz;
    };
    const Range ranges[] = {
        {14, 0, -8180, 800, 0},    // fader level
        {14, 1, -8192, 800, 0},    // fader trim
        {0, 0, -7680, 7680, 0},    // input trim
        {1, 0, -6635, 6563, 1},    // frequency in whole hertz
        {1, 0, -6635, 6563, 0},    // frequency in hertz and kilohertz
        {17, 5, -8100, 8100, 0},   // positions: words and steps
    };
    useConsoleType(3);
    for (const auto& r : ranges) {
        SCOPED_TRACE(testing::Message() << "process " << r.process << " control " << r.control);
        for (int v = r.from; v <= r.to; v += 7) {
            CTemplateSnapAutoEvent e(static_cast<BYTE>(r.process), static_cast<BYTE>(r.control), static_cast<short>(v));
            CString t;
            e.GetText(t, 1, r.wholeHertz);
            short back = e.GetValueFromText(t);
            // Level texts carry a tenth of a dB: 8 steps at 320 per dB on scale 4, 32 at 1280.
            if (r.process == 14 || r.process == 0) {
                EXPECT_LE(std::abs(back - v), r.process == 14 ? 8 : 32) << t.c_str();
            }
            // Frequencies return within the text's resolution (half a hertz, or 50 Hz in the
            // kilohertz form) plus one value step (4 / 7115.481 of the frequency).
            if (r.process == 1) {
                auto hertz = [](int value) { return 500.0 * std::exp(value * 4 / 7115.481); };
                double fv = hertz(v);
                double bound = (r.wholeHertz || fv <= 1000 ? 0.5 : 50.0) + fv * 0.0006;
                EXPECT_LE(std::abs(hertz(back) - fv), bound) << t.c_str();
                continue;
            }
            // The value read back shows the same text.
            CTemplateSnapAutoEvent again(static_cast<BYTE>(r.process), static_cast<BYTE>(r.control), back);
            CString t2;
            again.GetText(t2, 1, r.wholeHertz);
            EXPECT_STREQ(t2, t) << v;
        }
    }
}

TEST_F(EventTextTest, TextsIgnoreTheProcessLocale)
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.UTF-8")) {
        GTEST_SKIP() << "no comma-decimal locale installed";
    }
    useConsoleType(3);
    EXPECT_STREQ(text(14, 0, -8191), "-102.4dB");
    EXPECT_EQ(fromText(14, 1, "0.5"), 40);
    std::setlocale(LC_ALL, "C");
}

TEST(RecordLayoutTest, ConvertsBothWaysAndClearsThePathsUpperHalf)
{
    // Layout 1: time 0x01020304, path 0x0506, byte 6 0x77, process 9, control 3, flags 0x80,
    // old value 0x1234, value -2.
    const BYTE layout1[16] = {0x04, 0x03, 0x02, 0x01, 0x06, 0x05, 0x77, 0x09,
                              0x03, 0x80, 0x34, 0x12, 0xFE, 0xFF, 0xAA, 0xBB};
    BYTE r[16];
    std::memcpy(r, layout1, 16);
    ConvertRecordLayout(r, 1, 101, 16);
    const BYTE layout101[16] = {0x09, 0x03, 0xFE, 0xFF, 0x06, 0x05, 0x00, 0x00,
                                0x04, 0x03, 0x02, 0x01, 0x80, 0xFF, 0x34, 0x12};
    EXPECT_EQ(0, std::memcmp(r, layout101, 16));
    ConvertRecordLayout(r, 101, 1, 16);
    for (int i : {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13}) EXPECT_EQ(r[i], layout1[i]) << i;
    BYTE same[16];
    std::memcpy(same, layout1, 16);
    ConvertRecordLayout(same, 1, 1, 16);
    ConvertRecordLayout(same, 2, 101, 16);
    ConvertRecordLayout(same, 1, 101, 12);
    EXPECT_EQ(0, std::memcmp(same, layout1, 16));
}

}  // namespace
