// A timecode position converted into the time unit of the automation data: quarter frames on
// console types 1 and 6, hundredths of a second of the sample clock on the others (scaled by
// 1/1.001 or 1.001 where the sample clock is pulled down or up against the timecode rate).
#pragma once

#include "trevanny/TimecodeSettings.h"
#include "winport/CString.h"
#include "winport/WinTypes.h"

/// Display texts of the modes and of a value that holds no position.
extern const char* const g_szTimecodeFormat;            // mode 3: "%02d:%02d:%02d %02d"
extern const char* const g_szTimecodeQuarterFormat;     // mode 3 in quarter frames: "%02d:%02d:%02d %02d.%d"
extern const char* const g_szTimecodeNoHoursFormat;     // mode 0: "%02d:%02d %02d"
extern const char* const g_szTimecodeNoFramesFormat;    // mode 1: "%02d:%02d:%02d"
extern const char* const g_szTimecodeMinutesFormat;     // mode 2: "%02d:%02d"
extern const char* const g_szFeetFramesFormat;          // mode 4: "%5.5d.%2.2d"
extern const char* const g_szFeetFormat;                // mode 5: "%05d"
extern const char* const g_szEmptyTimecode;             // "--:--:-- --"

class CTimecodeValue {
public:
    /// Display modes: 0 mm:ss ff (hours suppressed), 1 hh:mm:ss (frames suppressed),
    /// 2 mm:ss, 3 hh:mm:ss ff, 4 feet.frames, 5 feet.
    enum { enNoHours = 0, enNoFrames = 1, enMinutesSeconds = 2, enFull = 3, enFeetFrames = 4, enFeet = 5 };

    /// Loads the operator's settings; the console family comes from the console settings.
    CTimecodeValue();
    /// Uses the given settings as they are, for a console of the small family or not.
    CTimecodeValue(const CTimecodeSettings& settings, BOOL smallConsole);
    virtual ~CTimecodeValue();

    /// hours:minutes:seconds frames and quarter frames at the timecode rate. Returns the result.
    int SetTime(int hours, int minutes, int seconds, int frames = 0, int quarterFrames = 0);
    /// A frame count: through feet and frames (0 feet) when the feet-and-frames setting is on,
    /// else as SetTime of the frames alone. Returns the result.
    int SetFrames(int frames);
    /// Film feet and frames, counted at the settings' frames per foot and per second. A
    /// negative count is wrapped to 24 hours of 24-frame film earlier (the exact result keeps
    /// the unwrapped value). With the offset flag set the film equivalence is added. Returns
    /// the result.
    int SetFeetFrames(int feet, int frames);
    /// Switches the feet-and-frames setting and recomputes the display mode.
    void SetFeetAndFramesMode(int on);
    /// The offset flag: while it is set, conversions through feet and frames add the settings'
    /// film equivalence.
    void SetAddFilmEquivalence(BOOL on) { m_bAddFilmEquivalence = on ? TRUE : FALSE; }
    BOOL GetAddFilmEquivalence() const { return m_bAddFilmEquivalence; }

    /// 0 before any conversion; else the result rounded to the nearest unit, halves away from
    /// zero (the result itself is truncated toward zero).
    int GetRoundedFrames() const;
    int GetResult() const { return m_nResult; }
    double GetExactResult() const { return m_dExactResult; }
    BOOL IsValid() const { return m_bValid; }
    int GetRateCode() const { return m_nRateCode; }
    int GetDisplayMode() const { return m_nDisplayMode; }
    BOOL IsPulledDown() const { return m_bPulledDown; }
    BOOL IsSmallConsole() const { return m_bSmallConsole; }
    const CTimecodeSettings& GetSettings() const { return m_Settings; }

    /// Frames per second R of the rate code (29.97 and 23.976 only on the small family; 24 for
    /// a code outside the table).
    double GetFrameRate() const;
    /// Result units per second.
    double GetUnitsPerSecond() const;
    /// The position in the display mode ("--:--:-- --" before any conversion). A negative
    /// position is shown with a leading '-'.
    CString GetDisplayText() const;

private:
    void init();
    void computeDisplayMode();
    // R for the rate code; an unknown code becomes 1 first.
    double frameRate();

    int m_nResult = 0;
    double m_dExactResult = 0.0;
    int m_nRateCode = 1;
    BOOL m_bPulledDown = FALSE;
    BOOL m_bValid = FALSE;
    int m_nDisplayMode = enFull;
    BOOL m_bAddFilmEquivalence = FALSE;
    CTimecodeSettings m_Settings;
    BOOL m_bSmallConsole = FALSE;
};
