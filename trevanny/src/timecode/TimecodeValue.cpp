#include "trevanny/TimecodeValue.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "trevanny/ConsoleRegistryNames.h"

const char* const g_szTimecodeFormat = "%02d:%02d:%02d %02d";
const char* const g_szTimecodeQuarterFormat = "%02d:%02d:%02d %02d.%d";
const char* const g_szTimecodeNoHoursFormat = "%02d:%02d %02d";
const char* const g_szTimecodeNoFramesFormat = "%02d:%02d:%02d";
const char* const g_szTimecodeMinutesFormat = "%02d:%02d";
const char* const g_szFeetFramesFormat = "%5.5d.%2.2d";
const char* const g_szFeetFormat = "%05d";
const char* const g_szEmptyTimecode = "--:--:-- --";

namespace {

// Keeps exact frame positions from truncating to the unit below.
constexpr double kFrameEpsilonSeconds = 0.00001;
// Display works back from the exact result, which a negative position holds less by the
// epsilon above: twice that much keeps whole frames whole either way.
constexpr double kDisplayEpsilonSeconds = 2 * kFrameEpsilonSeconds;
constexpr double kDisplayEpsilonFrames = 0.001;
constexpr double kLargestDisplayedUnits = 1e15;
// 24 hours of 24-frame film: a negative film count is wrapped by this much.
constexpr long long kFramesIn24HoursOfFilm = 2073600;

// A conversion result as an int: truncated toward zero, held at the limits of an int.
int truncateToInt(double v)
{
    if (v >= 2147483647.0) return INT_MAX;
    if (v <= -2147483648.0) return INT_MIN;
    return static_cast<int>(v);
}

bool isKnownRateCode(int code) { return (code >= 1 && code <= 5) || code == 7; }

}  // namespace

CTimecodeValue::CTimecodeValue()
{
    m_Settings.Load();
    m_bSmallConsole = CConsoleRegistryNames::IsSmallConsole();
    init();
}

CTimecodeValue::CTimecodeValue(const CTimecodeSettings& settings, BOOL smallConsole)
    : m_Settings(settings), m_bSmallConsole(smallConsole ? TRUE : FALSE)
{
    init();
}

CTimecodeValue::~CTimecodeValue() = default;

void CTimecodeValue::init()
{
    m_nRateCode = m_Settings.m_nTimecodeRate;
    m_bPulledDown = m_Settings.m_nSampleRate == 44056 || m_Settings.m_nSampleRate == 47952;
    computeDisplayMode();
}

void CTimecodeValue::computeDisplayMode()
{
    if (m_Settings.m_nFeetAndFrames)
        m_nDisplayMode = m_Settings.m_nSupFramesFF ? enFeet : enFeetFrames;
    else if (m_Settings.m_nSupHours)
        m_nDisplayMode = m_Settings.m_nSupFrames ? enMinutesSeconds : enNoHours;
    else
        m_nDisplayMode = m_Settings.m_nSupFrames ? enNoFrames : enFull;
}

void CTimecodeValue::SetFeetAndFramesMode(int on)
{
    m_Settings.m_nFeetAndFrames = on;
    computeDisplayMode();
}

double CTimecodeValue::frameRate()
{
    if (!isKnownRateCode(m_nRateCode)) m_nRateCode = 1;
    return GetFrameRate();
}

double CTimecodeValue::GetFrameRate() const
{
    switch (m_nRateCode) {
    case 2: return 25.0;
    case 3:
    case 5: return 30.0;
    case 4: return m_bSmallConsole ? 30.0 / 1.001 : 30.0;
    case 7: return m_bSmallConsole ? 24.0 / 1.001 : 24.0;
    default: return 24.0;  // 1, and any code outside the table
    }
}

double CTimecodeValue::GetUnitsPerSecond() const
{
    if (m_bSmallConsole) return 4.0 * GetFrameRate();
    const bool filmRate = m_nRateCode == 5 || m_nRateCode == 7;
    if (m_bPulledDown && !filmRate) return 100.0 / 1.001;
    if (!m_bPulledDown && filmRate) return 100.1;
    return 100.0;
}

int CTimecodeValue::SetTime(int hours, int minutes, int seconds, int frames, int quarterFrames)
{
    const double r = frameRate();
    const double x = (static_cast<double>(hours) * r * 3600.0 + static_cast<double>(minutes) * r * 60.0 +
                      static_cast<double>(seconds) * r + static_cast<double>(frames) + quarterFrames * 0.25) / r +
                     kFrameEpsilonSeconds;
    m_dExactResult = GetUnitsPerSecond() * x;
    m_nResult = truncateToInt(m_dExactResult);
    m_bValid = TRUE;
    return m_nResult;
}

int CTimecodeValue::SetFrames(int frames)
{
    if (m_Settings.m_nFeetAndFrames) return SetFeetFrames(0, frames);
    return SetTime(0, 0, 0, frames, 0);
}

int CTimecodeValue::SetFeetFrames(int feet, int frames)
{
    // Settings of 0 or below would divide by zero: the default rate stands in for them.
    const int perSecond = m_Settings.GetEffectiveFramesPerSec();
    const long long count = static_cast<long long>(feet) * m_Settings.GetEffectiveFramesPerFoot() + frames;
    const double x = static_cast<double>(count) / perSecond;
    const double units = m_bSmallConsole ? 4.0 * perSecond : GetUnitsPerSecond();
    double truncatedSource = units * x;
    if (count < 0) truncatedSource = units * (static_cast<double>(count + kFramesIn24HoursOfFilm) / perSecond);
    m_dExactResult = units * x;
    m_nResult = truncateToInt(truncatedSource);
    if (m_bAddFilmEquivalence) {
        const long long sum = static_cast<long long>(m_nResult) + m_Settings.m_nFilmEquivalence;
        m_nResult = sum > INT_MAX ? INT_MAX : sum < INT_MIN ? INT_MIN : static_cast<int>(sum);
        m_dExactResult += m_Settings.m_nFilmEquivalence;
    }
    m_bValid = TRUE;
    return m_nResult;
}

int CTimecodeValue::GetRoundedFrames() const
{
    if (!m_bValid) return 0;
    if (m_dExactResult - m_nResult >= 0.5 && m_nResult < INT_MAX) return m_nResult + 1;
    // Negative positions round away from zero as well (the result was truncated toward zero).
    if (m_nResult <= 0 && m_nResult - m_dExactResult >= 0.5 && m_nResult > INT_MIN) return m_nResult - 1;
    return m_nResult;
}

CString CTimecodeValue::GetDisplayText() const
{
    if (!m_bValid) return g_szEmptyTimecode;
    const double exact = m_dExactResult;
    // Positions from the extremes of the arguments can lie far beyond an int of units; the
    // display is held at a magnitude whose whole parts still fit the counters below.
    const double magnitude = std::min(std::fabs(exact), kLargestDisplayedUnits);
    CString text;
    if (m_nDisplayMode == enFeetFrames || m_nDisplayMode == enFeet) {
        // Units back to film frames at the settings' rate.
        const int perSecond = m_Settings.GetEffectiveFramesPerSec();
        const double units = m_bSmallConsole ? 4.0 * perSecond : GetUnitsPerSecond();
        const double frames = magnitude / units * perSecond + kDisplayEpsilonFrames;
        const long long totalFrames = static_cast<long long>(std::min(frames, kLargestDisplayedUnits));
        const long long perFoot = m_Settings.GetEffectiveFramesPerFoot();
        const int feet = static_cast<int>(std::min<long long>(totalFrames / perFoot, INT_MAX));
        if (m_nDisplayMode == enFeet)
            text.Format(g_szFeetFormat, feet);
        else
            text.Format(g_szFeetFramesFormat, feet, static_cast<int>(totalFrames % perFoot));
    } else {
        const double r = GetFrameRate();
        const double totalSeconds = magnitude / GetUnitsPerSecond() + kDisplayEpsilonSeconds;
        const long long wholeSeconds = static_cast<long long>(totalSeconds);
        const double frameCount = (totalSeconds - static_cast<double>(wholeSeconds)) * r;
        const int frames = static_cast<int>(frameCount);
        const int quarters = static_cast<int>((frameCount - frames) * 4.0);
        const int hours = static_cast<int>(std::min<long long>(wholeSeconds / 3600, INT_MAX));
        const int minutes = static_cast<int>(wholeSeconds / 60 % 60);
        const int secs = static_cast<int>(wholeSeconds % 60);
        switch (m_nDisplayMode) {
        case enNoHours: text.Format(g_szTimecodeNoHoursFormat, minutes, secs, frames); break;
        case enNoFrames: text.Format(g_szTimecodeNoFramesFormat, hours, minutes, secs); break;
        case enMinutesSeconds: text.Format(g_szTimecodeMinutesFormat, minutes, secs); break;
        default:
            if (m_bSmallConsole)
                text.Format(g_szTimecodeQuarterFormat, hours, minutes, secs, frames, quarters);
            else
                text.Format(g_szTimecodeFormat, hours, minutes, secs, frames);
            break;
        }
    }
    if (exact < 0 && text.GetLength() > 0) text = "-" + text;
    return text;
}
