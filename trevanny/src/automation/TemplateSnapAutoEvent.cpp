#include "trevanny/TemplateSnapAutoEvent.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>

#include "winport/CObject.h"
#include "ChannelDefaults.h"
#include "EventConsole.h"

namespace {

std::atomic<bool> g_namesInitialised{false};

// The frequency and ratio curves: 7115.481 per natural-log unit of the stored value.
const float kFrequencyReciprocal = 1.0f / 7115.48095703125f;
const double kFrequencyConstant = 7115.481;

// ---------------------------------------------------------------------------------------
// Names

const char* const kTableA[31][9] = {
    {"Input Trim", "Input Phase", "Input Phase", "Input Width", "Input Presence", "Input", "Input", "Input Drop-in Trim", "Surround Designator"},
    {"EQ 1 Freq", "EQ 1 Gain", "EQ 1 Slope", "EQ 1 Q", "EQ 1 Ripple", "EQ 1 Resp", "EQ 1 Approx", "EQ 1", "EQ 1 Lstn On/Off"},
    {"EQ 2 Freq", "EQ 2 Gain", "EQ 2 Slope", "EQ 2 Q", "EQ 2 Ripple", "EQ 2 Resp", "EQ 2 Approx", "EQ 2", "EQ 2 Lstn On/Off"},
    {"EQ 3 Freq", "EQ 3 Gain", "EQ 3 Slope", "EQ 3 Q", "EQ 3 Ripple", "EQ 3 Resp", "EQ 3 Approx", "EQ 3", "EQ 3 Lstn On/Off"},
    {"EQ 4 Freq", "EQ 4 Gain", "EQ 4 Slope", "EQ 4 Q", "EQ 4 Ripple", "EQ 4 Resp", "EQ 4 Approx", "EQ 4", "EQ 4 Lstn On/Off"},
    {"EQ 5 Freq", "EQ 5 Gain", "EQ 5 Slope", "EQ 5 Q", "EQ 5 Ripple", "EQ 5 Resp", "EQ 5 Approx", "EQ 5", "EQ 5 Lstn On/Off"},
    {"EQ 6 Freq", "EQ 6 Gain", "EQ 6 Slope", "EQ 6 Q", "EQ 6 Ripple", "EQ 6 Resp", "EQ 6 Approx", "EQ 6", "EQ 6 Lstn On/Off"},
    {"EQ 7 Freq", "EQ 7 Gain", "EQ 7 Slope", "EQ 7 Q", "EQ 7 Ripple", "EQ 7 Resp", "EQ 7 Approx", "EQ 7", "EQ 7 Lstn On/Off"},
    {"EQ 8 Freq", "EQ 8 Gain", "EQ 8 Slope", "EQ 8 Q", "EQ 8 Ripple", "EQ 8 Resp", "EQ 8 Approx", "EQ 8", "EQ 8 Lstn On/Off"},
    {"Filter 1 Freq", "Filter 1 Slope", "Filter 1 Ripple", "Filter 1 Resp", "Filter 1 Approx", "Filter 1", "Filter 1 Ctrl 6", "Filter 1 Ctrl 7", "Filter 1 Ctrl 8"},
    {"Filter 2 Freq", "Filter 2 Slope", "Filter 2 Ripple", "Filter 2 Resp", "Filter 2 Approx", "Filter 2", "Filter 2 Ctrl 6", "Filter 2 Ctrl 7", "Filter 2 Ctrl 8"},
    {"Compressor", "Comp Thresh", "Comp Ratio", "Comp Attack", "Comp Release", "Comp Knee", "Comp MkUp Gain", "Comp Auto MkUp Gain", "Comp Pre-Delay"},
    {"Limiter", "Lim Thresh", "Lim Ratio", "Lim Attack", "Lim Release", "Lim Knee", "Lim MkUp Gain", "Lim Auto MkUp Gain", "Lim Pre-Delay"},
    {"Expander", "Expander Thresh", "Expander Ratio", "Expander Attack", "Expander Release", "Expander Knee", "Expander Depth", "Expander Ctrl 7", "Expander Pre-Delay"},
    {"Fader Level", "Fader Trim", "Fader Mute", "Fader Gang Offset", "Fader Ctrl 4", "Fader Ctrl 5", "Fader Gang Null", "Fader Ctrl 7", "Fader Ctrl 8"},
    {"Insert 1 Return", "Insert 1 Send", "Insert 1 Send Trim", "Insert 1 Retn Trim", "Insert 1 Retn Delay", "Insert 1 Send Delay", "Insert 1 Divert", "Insert 1 Ctrl 7", "Insert 1 Ctrl 8"},
    {"Insert 2 Return", "Insert 2 Send", "Insert 2 Send Trim", "Insert 2 Retn Trim", "Insert 2 Retn Delay", "Insert 2 Send Delay", "Insert 2 Divert", "Insert 2 Ctrl 7", "Insert 2 Ctrl 8"},
    {"Output Trim", "Output Width", "Output Presence", "Output", "Output", "Output Pan", "Output Delay", "Output Ctrl 7", "Output Ctrl 8"},
    {"Output 2 Trim", "Output 2 Width", "Output 2 Presence", "Output", "Output", "Output 2 Pan", "Output 2 Delay", "Output 2 Ctrl 7", "Output 2 Ctrl 8"},
    {"Gate", "Gate Thresh", "Gate Ratio", "Gate Attack", "Gate Release", "Gate Hysteresis", "Gate Depth", "Gate Ctrl 7", "Gate Pre-Delay"},
    {"Sidechain EQ Freq", "Sidechain EQ Gain", "Sidechain EQ Slope", "Sidechain EQ Q", "Sidechain EQ Ripple", "Sidechain EQ Resp", "Sidechain EQ Approx", "Sidechain EQ", "Sidechain EQ Ctrl 8"},
    {"Pan", "F/B Pan", "L/C/R Pan", "Divergence", "Input Delay", "Pan", "F/B Pan", "L/C/R Pan", "Divergence"},
    {"DRC", "DRC Expand Thresh", "DRC Comp/Lim Thresh", "DRC Attack", "DRC Release", "DRC Ratio", "DRC Ctrl 6", "DRC Ctrl 7", "DRC Ctrl 8"},
    {"Key Input", "Sidechain Listen", "Key Input Trim", "Dyn Ins Ctrl 3", "Dyn Ins Ctrl 4", "Dyn Ins Ctrl 5", "Dyn Ins Ctrl 6", "Dyn Ins Ctrl 7", "Dyn Ins Ctrl 8"},
    {"Stem A Rte Path 1", "Stem A Rte Path 2", "Stem A Rte Path 3", "Stem A Rte Path 4", "Stem A Rte Path 5", "Stem A Rte Path 6", "Stem A Rte Path 7", "Stem A Rte Path 8", "Stem A Rte Path 9"},
    {"Stem B Rte Path 1", "Stem B Rte Path 2", "Stem B Rte Path 3", "Stem B Rte Path 4", "Stem B Rte Path 5", "Stem B Rte Path 6", "Stem B Rte Path 7", "Stem B Rte Path 8", "Stem B Rte Path 9"},
    {"Stem C Rte Path 1", "Stem C Rte Path 2", "Stem C Rte Path 3", "Stem C Rte Path 4", "Stem C Rte Path 5", "Stem C Rte Path 6", "Stem C Rte Path 7", "Stem C Rte Path 8", "Stem C Rte Path 9"},
    {"Stem D Rte Path 1", "Stem D Rte Path 2", "Stem D Rte Path 3", "Stem D Rte Path 4", "Stem D Rte Path 5", "Stem D Rte Path 6", "Stem D Rte Path 7", "Stem D Rte Path 8", "Stem D Rte Path 9"},
    {"Stem E Rte Path 1", "Stem E Rte Path 2", "Stem E Rte Path 3", "Stem E Rte Path 4", "Stem E Rte Path 5", "Stem E Rte Path 6", "Stem E Rte Path 7", "Stem E Rte Path 8", "Stem E Rte Path 9"},
    {"Stem F Rte Path 1", "Stem F Rte Path 2", "Stem F Rte Path 3", "Stem F Rte Path 4", "Stem F Rte Path 5", "Stem F Rte Path 6", "Stem F Rte Path 7", "Stem F Rte Path 8", "Stem F Rte Path 9"},
    {"Stem G Rte Path 1", "Stem G Rte Path 2", "Stem G Rte Path 3", "Stem G Rte Path 4", "Stem G Rte Path 5", "Stem G Rte Path 6", "Stem G Rte Path 7", "Stem G Rte Path 8", "Stem G Rte Path 9"},
};

const char* const kTableB[5][9] = {
    {"Fader Level", "Fader Trim", "Fader Mute", "Fader Gang Offset", "N/A", "N/A", "Fader Gang Null", "N/A", "N/A"},
    {"Small Fader Level", "Small Fader Trim", "Small Fader Mute", "Small Fader Gang Offset", "N/A", "N/A", "Small Fader Gang Null", "N/A", "N/A"},
    {"EQ On/Off", "Insert On/Off", "Cut A", "Cut B", "Fader Cut", "Small fader Cut", "N/A", "N/A", "N/A"},
    {"IP Sel", "Aux1", "Aux2", "Aux3", "Aux4", "Aux5", "Aux6", "Aux7", "Aux8"},
    {"Pan", "F/B Pan", "L/C/R Pan", "Divergence", "Input Delay", "Pan", "F/B Pan", "L/C/R Pan", "Divergence"},
};

// ---------------------------------------------------------------------------------------
// Control limits

struct Limits {
    int min;
    int max;
};

// Minimum of the 36 x 9 table (every family) and maximum for family 0, rows by process.
const short kMin36[36][9] = {
    {-7680, 0, 0, -8128, -7680, 0, -2, -7680, 0},
#define EQ_MIN {-6635, -7680, 0, -3479, 0, 0, 0, 0, 0}
    EQ_MIN, EQ_MIN, EQ_MIN, EQ_MIN, EQ_MIN, EQ_MIN, EQ_MIN, EQ_MIN,
#undef EQ_MIN
    {-6635, 0, 0, 0, 0, 0, 0, 0, 0},
    {-6635, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, -4800, 0, 7, 7, 0, 0, 0, 0},
    {0, -4800, 0, 7, 7, 0, 0, 0, 0},
    {0, -4800, 0, 7, 7, 0, 0, 0, 0},
    {-8192, -8192, 0, -8192, 0, 0, -32768, 0, 0},
    {0, 0, -7680, -7680, -32768, -32768, 0, 0, 0},
    {0, 0, -7680, -7680, -32768, -32768, 0, 0, 0},
    {-7680, -8128, -7680, 0, 0, -8128, -32768, 0, 0},
    {-7680, -8128, -7680, 0, 0, -8128, -32768, 0, 0},
    {0, -4800, 0, 0, 0, 0, 0, 0, 0},
    {-6635, -7680, 0, -3479, 0, 1, 0, 0, 0},
    {-8128, -8128, -8128, 0, -32768, 0, 0, 0, 0},
    {0, -4808, -4800, 7, 7, 0, 0, 0, 0},
    {0, 0, -7680, 1, 0, 0, 0, 0, 0},
    {0}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {0},
};

const short kMax36Family0[36][9] = {
    {7680, 1, 3, 8128, 7680, 1, 3, 7680, 12},
#define EQ_MAX {6563, 7680, 2, 4713, 0, 12, 1, 1, 1}
    EQ_MAX, EQ_MAX, EQ_MAX, EQ_MAX, EQ_MAX, EQ_MAX, EQ_MAX, EQ_MAX,
#undef EQ_MAX
    {6563, 4, 0, 1, 1, 1, 0, 0, 0},
    {6563, 4, 0, 1, 1, 1, 0, 0, 0},
    {1, 2400, 8192, 5000, 5000, 4800, 6400, 1, 0},
    {1, 2400, 8192, 5000, 5000, 4800, 6400, 1, 0},
    {1, 2400, 4096, 5000, 5000, 4800, 6400, 0, 0},
    {800, 800, 1, 800, 0, 0, 32767, 0, 0},
    {1, 1, 7680, 7680, 32767, 32767, 1, 1, 0},
    {1, 1, 7680, 7680, 32767, 32767, 1, 1, 0},
    {7680, 8128, 7680, 1, 1, 8128, 32767, 0, 0},
    {7680, 8128, 7680, 1, 1, 8128, 32767, 0, 0},
    {1, 2400, 0, 5000, 5000, 6400, 6400, 0, 0},
    {6563, 7680, 2, 4713, 0, 3, 1, 1, 0},
    {8128, 8128, 8128, 8000, 32767, 1, 1, 1, 1},
    {1, 2400, 1440, 5000, 5000, 8192, 0, 0, 0},
    {1, 1, 7680, 2, 8, 255, 3072, 0, 0},
#define STEM_MAX {1, 1, 1, 1, 1, 1, 1, 1, 0}
    STEM_MAX, STEM_MAX, STEM_MAX, STEM_MAX, STEM_MAX, STEM_MAX,
    STEM_MAX, STEM_MAX, STEM_MAX, STEM_MAX, STEM_MAX, STEM_MAX,
#undef STEM_MAX
};

const short kRouteMin[4] = {0, -32512, -8192, 0};
const short kRouteMax[4] = {1, 32512, 800, 1};

const short kSmallMin[5][9] = {
    {-8192, -8192, 0, 0, 0, 0, -8192, 0, 0},
    {-8192, -8192, 0, 0, 0, 0, -8192, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, 0},
    {-8128, -8128, -8128, 0, -32768, 0, 0, 0, 0},
};
const short kSmallMax[5][9] = {
    {8192, 8192, 1, 0, 1, 0, 8192, 0, 0},
    {8192, 8192, 1, 0, 1, 0, 8192, 0, 0},
    {1, 1, 1, 1, 1, 1, 1, 0, 0},
    {1, 1, 1, 1, 1, 1, 1, 1, 1},
    {8128, 8128, 8128, 8000, 32767, 1, 1, 1, 1},
};

// The column of the limit tables is the console family: 0 for console type 3 (and any unknown
// type), 1 for types 5 and 7, 2 for types 2 and 4.
using channelstate::ConsoleFamily;
using channelstate::IsLargeConsole;
using channelstate::IsSmallConsole;

int max36(int family, int process, int control)
{
    if (family != 0) {
        if (process == 0 && control == 7) return 30720;
        if (process == 0 && control == 8) return 10;
        if (process >= 1 && process <= 8 && control == 5) return 5;
    }
    return kMax36Family0[process][control];
}

// The range of a (process, control) for typed values; false where no table has a row.
bool lookupLimits(int type, int process, int control, Limits& out)
{
    if (control < 0 || control > 8) return false;
    if (IsSmallConsole(type)) {
        if (process >= 5) return false;
        out = {kSmallMin[process][control], kSmallMax[process][control]};
        return true;
    }
    int family = ConsoleFamily(type);
    if (process < 36) {
        out = {kMin36[process][control], max36(family, process, control)};
        return true;
    }
    if (control > 3) return false;
    out = {kRouteMin[control], kRouteMax[control]};
    return true;
}

// ---------------------------------------------------------------------------------------
// Text helpers

locale_t cLocale()
{
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

// atof in the C locale: the leading number of the text, 0 when there is none.
double leadingNumber(const char* text) { return strtod_l(text ? text : "", nullptr, cLocale()); }

// A typed frequency in hertz. The display shows kilohertz above 1000 Hz ("1.2kHz"), so a "k"
// after the number (blanks allowed) multiplies it by 1000 and a shown text reads back as shown.
double hertzFromText(const char* text)
{
    if (!text) return 0;
    char* end = nullptr;
    double n = strtod_l(text, &end, cLocale());
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (end && (*end == 'k' || *end == 'K')) n *= 1000;
    return n;
}

bool sameWord(const CString& text, const char* word) { return text.CompareNoCase(word) == 0; }

enum class PositionWords { Plain, Width, FrontBack };

CString positionText(int s, PositionWords words)
{
    const char* left = "Left";
    const char* right = "Right";
    const char* centre = "Center";
    if (words == PositionWords::Width) {
        left = "Mono";
        right = "Wide";
        centre = "Stereo";
    } else if (words == PositionWords::FrontBack) {
        left = "Front";
        right = "Back";
        centre = "Ninety";
    }
    const double p = s * 0.001388888888888889;
    CString text;
    if (p <= -45) {
        text = left;
    } else if (p <= -1 || p >= 1) {
        if (p < 45) {
            int n = words == PositionWords::FrontBack ? (32512 - s) / 361 : static_cast<int>(p);
            text.Format("%+d", n);
        } else {
            text = right;
        }
    } else if (p <= -0.1 || p >= 0.1) {
        text = p <= 0 ? "-1" : "+1";
    } else {
        text = centre;
    }
    return text;
}

struct TextContext {
    int value;
    int s;
    const char* dB;
    const char* spacedDB;
    const char* hz;
    const char* khz;
    const char* metres;
    const char* seconds;
    bool wholeHertz;
};

CString fmt(const char* format, double v, const char* unit)
{
    CString t;
    t.Format(format, v, unit);
    return t;
}

CString level320(const TextContext& c) { return fmt("%0.1f%s", c.s / 320.0, c.dB); }
CString level1280(const TextContext& c, const char* format) { return fmt(format, c.s / 1280.0, c.dB); }

CString frequencyText(const TextContext& c)
{
    double f = 500.0 * std::exp(static_cast<double>(c.s) * static_cast<double>(kFrequencyReciprocal));
    if (c.wholeHertz) return fmt("%0.0f%s", f, c.hz);
    if (f > 1000) return fmt("%0.1f%s", f * 0.001, c.khz);
    return fmt("%0.0f%s", f, c.hz);
}

CString qText(const TextContext& c)
{
    CString t;
    t.Format("%0.1f", 0.7071067690849304 * std::exp(static_cast<double>(c.s) * static_cast<double>(kFrequencyReciprocal)));
    return t;
}

CString ratioText(const TextContext& c, bool expander)
{
    double r = 100.0 * std::exp(c.s * 0.00014053863681176296) * 0.01;
    CString t;
    if (r >= 10) t.Format(expander ? "1:%0.0f" : "%0.0f:1", r);
    else t.Format(expander ? "1:%0.1f" : "%0.1f:1", r);
    return t;
}

CString switchText(int value) { return value ? "On" : "Off"; }
CString timeHundredths(const TextContext& c) { return fmt("%0.1f%s", c.value * 0.01, c.metres); }
CString timeThousandths(const TextContext& c) { return fmt("%0.2f%s", c.value * 0.001, c.seconds); }

CString pick(int value, int first, std::initializer_list<const char*> words, const char* other)
{
    int i = value - first;
    if (i < 0 || i >= static_cast<int>(words.size())) return other;
    return *(words.begin() + i);
}

// The sample rate that the insert delay is shown for; a missing or impossible value is 48000.
int insertDelaySampleRate()
{
    int rate = ReadSampleRatePreference();
    return rate > 0 ? rate : 48000;
}

CString insertDelayText(int value)
{
    int rate = insertDelaySampleRate();
    int m;
    if (rate == 47952) m = 208;
    else if (rate == 44056) m = 226;
    else if (rate % 48000 == 0) m = 9984000 / rate;
    else m = 9966600 / rate;
    long long delay = static_cast<long long>(m) * (value / 64) / 10;
    if (delay == 0) return "OFF";
    CString t;
    t.Format("%lldu", delay);
    return t;
}

// The pan rules: three positions (the second with the front/back words where asked), the
// divergence level and four switches.
bool panText(int control, const TextContext& c, CString& out, bool frontBackWords)
{
    switch (control) {
    case 0:
    case 2: out = positionText(c.s, PositionWords::Plain); return true;
    case 1: out = positionText(c.s, frontBackWords ? PositionWords::FrontBack : PositionWords::Plain); return true;
    case 3: out = level320(c); return true;
    case 5:
    case 6:
    case 7:
    case 8: out = switchText(c.value); return true;
    default: return false;
    }
}

// The rules of the 36-process channel strip; false keeps the plain number.
bool largeConsoleText(int type, int process, int control, const TextContext& c, CString& out)
{
    const int v = c.value;
    if (process == 0) {
        switch (control) {
        case 0: out = level1280(c, "%0.1f%s"); return true;
        case 1:
        case 2: out = pick(v, 0, {"\xD8", "R\xD8" "A", "R\xD8" "B", "R\xD8" "AB"}, "????"); return true;
        case 3: out = positionText(c.s, PositionWords::Width); return true;
        case 4: out = level1280(c, "%0.1f %s"); return true;
        case 5: out = switchText(v); return true;
        case 6: out = pick(v, -2, {"BA", "AA", "AB", "BB", "MS", "SM"}, "????"); return true;
        case 8:
            out = pick(v, 0, {"Mono", "Left", "Right", "Front L", "Front Center", "Front Right", "Sur. Mono", "Sur. Left",
                              "Sur. Right", "Inner Left", "Inner Right", "Center Mono", "Surround Center"},
                       "????");
            return true;
        default: return false;
        }
    }
    if ((process >= 1 && process <= 8) || process == 20) {
        switch (control) {
        case 0: out = frequencyText(c); return true;
        case 1: out = fmt("%0.1f%s", c.s / 1280.0, c.spacedDB); return true;
        case 2:
            if (v < 0 || v > 2) return false;
            out = pick(v, 0, {"Flat", "6 dB", "12 dB"}, "");
            return true;
        case 3: out = qText(c); return true;
        case 5:
            if (v <= 0) out = "LF";
            else if (v >= 6) out = "?";
            else out = pick(v, 1, {"LS", "Bell", "HS", "HF", "Notch"}, "?");
            return true;
        case 7: out = switchText(v); return true;
        case 8: out = v == 0 ? "Listen" : "Normal"; return true;
        default: return false;
        }
    }
    if (process == 9 || process == 10) {
        switch (control) {
        case 0: out = frequencyText(c); return true;
        case 1:
            if (v >= 1 && v <= 4) out.Format("%d %s", v * 6, c.dB);
            else out = "Flat";
            return true;
        case 3: out = pick(v, 0, {"LF", "HF"}, "Unknown"); return true;
        case 5: out = switchText(v); return true;
        default: return false;
        }
    }
    if (process == 11 || process == 12 || process == 13 || process == 19) {
        switch (control) {
        case 0: out = switchText(v); return true;
        case 1: out = fmt("%+0.1f%s", c.s / 320.0, c.dB); return true;
        case 2: out = ratioText(c, process == 13); return true;
        case 3: out = timeHundredths(c); return true;
        case 4: out = timeThousandths(c); return true;
        case 5: out = fmt("%0.1f%s", process == 19 ? c.s / 320.0 * 0.25 : c.s / 320.0, c.dB); return true;
        case 6: out = fmt("%0.1f%s", (process == 11 || process == 12) ? c.s / 320.0 * 0.25 : c.s / 320.0, c.dB); return true;
        case 7: out = v ? "Auto" : "Manual"; return true;
        default: return false;
        }
    }
    if (process == 14) {
        switch (control) {
        case 0: out = v > kMin36[14][0] ? level320(c) : CString("Cut"); return true;
        case 1: out = level320(c); return true;
        case 2: out = v == 1 ? "Off" : "On"; return true;
        default: return false;
        }
    }
    if (process == 15 || process == 16) {
        switch (control) {
        case 0:
        case 6:
        case 7: out = switchText(v); return true;
        case 1: out = v ? "Enable" : "Off"; return true;
        case 2:
        case 3: out = level1280(c, "%0.1f%s"); return true;
        default: return false;
        }
    }
    if (process == 17 || process == 18) {
        switch (control) {
        case 0: out = level1280(c, "%3.1f %s"); return true;
        case 1: out = positionText(c.s, PositionWords::Width); return true;
        case 2: out = level1280(c, "%0.1f %s"); return true;
        case 3: out = switchText(v); return true;
        case 4: out = v == 0 ? "pre" : "post"; return true;
        case 5: out = positionText(c.s, PositionWords::Plain); return true;
        default: return false;
        }
    }
    if (process == 21) return panText(control, c, out, /*frontBackWords=*/true);
    if (process == 22) {
        switch (control) {
        case 0: out = switchText(v); return true;
        case 1:
        case 2: out = fmt("%+0.1f%s", c.s / 320.0, c.dB); return true;
        case 3: out = timeHundredths(c); return true;
        case 4: out = timeThousandths(c); return true;
        case 5: out = ratioText(c, false); return true;
        default: return false;
        }
    }
    if (process == 23) {
        switch (control) {
        case 0:
        case 1: out = switchText(v); return true;
        case 2: out = level320(c); return true;
        case 3: out = pick(v, 0, {"Pre Eq", "Pre", "Post"}, "Unknown"); return true;
        case 6: out = insertDelayText(v); return true;
        default: return false;
        }
    }
    if (process >= 24 && process <= 30) {
        out = v ? "Routed" : "Off";
        return true;
    }
    if (process >= 36) {
        switch (control) {
        case 0: out = switchText(v); return true;
        case 1: out = positionText(c.s, PositionWords::Plain); return true;
        case 2: out = v > kRouteMin[2] ? level320(c) : CString("Cut"); return true;
        case 3: out = v == 0 ? "pre" : "post"; return true;
        default: return false;
        }
    }
    (void)type;
    return false;
}

// The rules of the small consoles; false keeps the plain number.
bool smallConsoleText(int process, int control, const TextContext& c, CString& out)
{
    const int v = c.value;
    switch (process) {
    case 0:
    case 1:
        switch (control) {
        case 0:
        case 3: out = v > kSmallMin[process][control] ? level320(c) : CString("Cut"); return true;
        case 1: out = level320(c); return true;
        case 2: out = v == 0 ? "On" : "Off"; return true;
        default: return false;
        }
    case 2:
        switch (control) {
        case 0:
        case 1: out = switchText(v); return true;
        case 2:
        case 3:
        case 4: out = v ? "Uncut" : "Cut"; return true;
        case 5: out = v ? "On" : "Uncut"; return true;
        default: return false;
        }
    case 3:
        if (control == 0) {
            out = v ? "Sel1" : "Sel2";
            return true;
        }
        if (control >= 1 && control <= 8) {
            out = switchText(v);
            return true;
        }
        return false;
    case 4: return panText(control, c, out, /*frontBackWords=*/false);
    default: return false;
    }
}

// ---------------------------------------------------------------------------------------
// Typed text

enum class ParseRule { None, DB320, DB1280, Frequency, Q, Times100, Times1000, Position, PanPosition, FaderLevel, RouteLevel };

ParseRule parseRule(int process, int control)
{
    if (process == 0) {
        if (control == 0 || control == 4) return ParseRule::DB1280;
        if (control == 3) return ParseRule::Position;
        return ParseRule::None;
    }
    if ((process >= 1 && process <= 8) || process == 20) {
        if (control == 0) return ParseRule::Frequency;
        if (control == 1) return ParseRule::DB1280;
        if (control == 3) return ParseRule::Q;
        return ParseRule::None;
    }
    if (process == 9 || process == 10) return control == 0 ? ParseRule::Frequency : ParseRule::None;
    if (process == 11 || process == 12 || process == 13 || process == 19) {
        switch (control) {
        case 1: return ParseRule::DB320;
        case 3: return ParseRule::Times100;
        case 4: return ParseRule::Times1000;
        case 5: return process == 19 ? ParseRule::DB1280 : ParseRule::DB320;
        case 6: return (process == 11 || process == 12) ? ParseRule::DB1280 : ParseRule::DB320;
        default: return ParseRule::None;
        }
    }
    if (process == 14) {
        if (control == 0) return ParseRule::FaderLevel;
        if (control == 1) return ParseRule::DB320;
        return ParseRule::None;
    }
    if (process == 15 || process == 16) return (control == 2 || control == 3) ? ParseRule::DB1280 : ParseRule::None;
    if (process == 17 || process == 18) {
        if (control == 0 || control == 2) return ParseRule::DB1280;
        if (control == 1 || control == 5) return ParseRule::Position;
        return ParseRule::None;
    }
    if (process == 21) {
        if (control <= 2) return ParseRule::PanPosition;
        if (control == 3) return ParseRule::DB320;
        return ParseRule::None;
    }
    if (process == 22) {
        if (control == 1 || control == 2) return ParseRule::DB320;
        if (control == 3) return ParseRule::Times100;
        if (control == 4) return ParseRule::Times1000;
        return ParseRule::None;
    }
    if (process == 23) return control == 2 ? ParseRule::DB320 : ParseRule::None;
    if (process >= 36) {
        if (control == 1) return ParseRule::Position;
        if (control == 2) return ParseRule::RouteLevel;
        return ParseRule::None;
    }
    return ParseRule::None;
}

double positionFromText(const CString& text, bool panWords, bool frontBackNumber)
{
    if (sameWord(text, "Mono") || sameWord(text, "Left") || (panWords && sameWord(text, "Front"))) return -32490;
    if (sameWord(text, "Stereo") || sameWord(text, "Center") || (panWords && sameWord(text, "Ninety"))) return 0;
    if (sameWord(text, "Wide") || sameWord(text, "Right") || (panWords && sameWord(text, "Back"))) return 32490;
    double n = leadingNumber(text);
    return frontBackNumber ? 32512 - n * 361 : n * 722;
}

// Rounds half away from zero, on a single-precision value as the stored rule does.
float roundHalfAway(float f)
{
    float whole = std::trunc(f);
    float fraction = f - whole;
    if (fraction >= 0.5f) return whole + 1;
    if (fraction <= -0.5f) return whole - 1;
    return whole;
}

}  // namespace

int GetValueScale()
{
    int type = CurrentConsoleType();
    return (type >= 1 && type <= 7) ? 4 : 1;
}

void CTemplateSnapAutoEvent::InitialiseNames() { g_namesInitialised.store(true); }
bool CTemplateSnapAutoEvent::NamesInitialised() { return g_namesInitialised.load(); }

CString CTemplateSnapAutoEvent::GetEventName() const
{
    const int type = CurrentConsoleType();
    const int process = m_Process.m_byte;
    const int control = m_Control.m_byte;
    if (control < 9) {
        if (IsSmallConsole(type) && process < 5) return kTableB[process][control];
        if (IsLargeConsole(type) && process < 36) return process < 31 ? kTableA[process][control] : "";
    }
    return "Unknown Event";
}

void CTemplateSnapAutoEvent::GetText(CString& text, int units, int wholeHertz) const
{
    const int type = CurrentConsoleType();
    text.Format("%d", m_Value);
    const int k = (type >= 1 && type <= 7) ? 4 : 1;
    TextContext c{m_Value,        m_Value * k,         units ? "dB" : "", units ? " dB" : "",
                  units ? "Hz" : "", units ? "kHz" : "", units ? "m" : "",  units ? "s" : "",
                  wholeHertz != 0};
    CString rule;
    bool ruled = false;
    if (IsSmallConsole(type)) ruled = smallConsoleText(m_Process.m_byte, m_Control.m_byte, c, rule);
    else if (IsLargeConsole(type)) ruled = largeConsoleText(type, m_Process.m_byte, m_Control.m_byte, c, rule);
    else return;
    if (ruled) text = rule;
    // A value that rounds to zero from below is shown without its sign.
    if (leadingNumber(text) == 0 && std::strncmp(text, "-0.0", 4) == 0) text.Delete(0, 1);
}

short CTemplateSnapAutoEvent::GetValueFromText(const CString& text) const
{
    const int type = CurrentConsoleType();
    const int process = m_Process.m_byte;
    const int control = m_Control.m_byte;
    const ParseRule rule = parseRule(process, control);
    Limits limits{};
    if (rule == ParseRule::None || !lookupLimits(type, process, control, limits)) AfxThrowNotSupportedException();

    const double k = (type >= 1 && type <= 7) ? 4 : 1;
    const double number = leadingNumber(text);
    double f = 0;
    switch (rule) {
    case ParseRule::DB320: f = number * 320 / k; break;
    case ParseRule::DB1280: f = number * 1280 / k; break;
    case ParseRule::Frequency: f = kFrequencyConstant * std::log(hertzFromText(text) / 500) / k; break;
    case ParseRule::Q: f = kFrequencyConstant * std::log(number * 1.4142135865763297) / k; break;
    case ParseRule::Times100: f = number * 100; break;
    case ParseRule::Times1000: f = number * 1000; break;
    case ParseRule::Position: f = positionFromText(text, false, false) / k; break;
    case ParseRule::PanPosition: f = positionFromText(text, true, control == 1) / k; break;
    case ParseRule::FaderLevel:
    case ParseRule::RouteLevel: f = sameWord(text, "Cut") ? limits.min : number * 320 / k; break;
    case ParseRule::None: break;
    }

    // Not-a-number (a logarithm of a value at or below zero, or "nan") gives the minimum;
    // infinities are clamped like any other large number.
    if (std::isnan(f)) return static_cast<short>(limits.min);
    float r = roundHalfAway(static_cast<float>(std::fmax(-1e9, std::fmin(1e9, f))));
    if (r < -32767) r = -32767;
    if (r > 32767) r = 32767;
    if (r < limits.min) r = static_cast<float>(limits.min);
    int result = static_cast<int>(r);
    if (result > limits.max) result = limits.max;
    return static_cast<short>(result);
}

bool CTemplateSnapAutoEvent::ShowsQuarterFrames() const
{
    if (!IsSmallConsole(CurrentConsoleType())) return false;
    const int process = m_Process.m_byte;
    const int control = m_Control.m_byte;
    if (process == 0 || process == 1) return control == 2;
    if (process == 2) return control <= 5;
    if (process == 3) return control <= 8;
    return false;
}

void ConvertRecordLayout(void* record, int fromLayout, int toLayout, unsigned size)
{
    if (!record || size < 16) return;
    BYTE* r = static_cast<BYTE*>(record);
    // Every field is read before any is written, since the two layouts overlap.
    int32_t time;
    uint16_t path;
    uint16_t oldValue;
    int16_t value;
    BYTE process;
    BYTE control;
    BYTE flags;
    if (fromLayout == 1 && toLayout == 101) {
        std::memcpy(&time, r + 0, 4);
        std::memcpy(&path, r + 4, 2);
        process = r[7];
        control = r[8];
        flags = r[9];
        std::memcpy(&oldValue, r + 10, 2);
        std::memcpy(&value, r + 12, 2);
        r[0] = process;
        r[1] = control;
        std::memcpy(r + 2, &value, 2);
        std::memcpy(r + 4, &path, 2);
        // The path field holds the path alone: its upper half is cleared.
        r[6] = 0;
        r[7] = 0;
        std::memcpy(r + 8, &time, 4);
        r[12] = flags;
        std::memcpy(r + 14, &oldValue, 2);
    } else if (fromLayout == 101 && toLayout == 1) {
        process = r[0];
        control = r[1];
        std::memcpy(&value, r + 2, 2);
        std::memcpy(&path, r + 4, 2);
        std::memcpy(&time, r + 8, 4);
        flags = r[12];
        std::memcpy(&oldValue, r + 14, 2);
        std::memcpy(r + 0, &time, 4);
        std::memcpy(r + 4, &path, 2);
        r[7] = process;
        r[8] = control;
        r[9] = flags;
        std::memcpy(r + 10, &oldValue, 2);
        std::memcpy(r + 12, &value, 2);
    }
}
