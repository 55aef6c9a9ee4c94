// The operator's timecode preferences: timecode rate, sample rate, film frames per second and
// per foot, film-equivalence offset and the display switches. They live below the current
// user's "SOFTWARE\VOKDWEN\Vok Dwen Cantle\Timecode" key; the value names keep the spelling the
// console software stores ("CantleTimcodeRate", "CantleTimecodeFilmEquivalance").
#pragma once

#include "winport/CString.h"
#include "winport/WinTypes.h"

/// Text defaults of the five settings that are stored as text.
extern const char* const g_szDefaultFramesPerSec;  // "24"
extern const char* const g_szDefaultFeetPerFrame;  // "16" (frames per foot)
extern const char* const g_szDefaultFilmEquivalence;  // "0"
extern const char* const g_szDefaultCodeConvert;  // "30"
extern const char* const g_szDefaultFFConvert;  // "30"

/// A plain value: copies are member-wise.
class CTimecodeSettings {
public:
    static constexpr int kDefaultFramesPerSec = 24;
    static constexpr int kDefaultFramesPerFoot = 16;

    /// Rate code 1, 48000 Hz, the text defaults, the display switches off.
    CTimecodeSettings();
    ~CTimecodeSettings() = default;

    /// Reads every setting from the registry; a missing value gives its default. On console
    /// types 1 and 6 the film equivalence is 0 whatever is stored.
    void Load();
    /// Reads "CantleTimecodeCurrentFramesPerSec" alone into *framesPerSec (24 when missing).
    void ReadTimecodeFramesPerSec(int* framesPerSec);
    void ReadTimecodeFramesPerSec(int& framesPerSec) { ReadTimecodeFramesPerSec(&framesPerSec); }

    /// The frames per second and per foot that conversions count with: the setting, or the
    /// default (24, 16) when the setting is 0 or below.
    int GetEffectiveFramesPerSec() const { return m_nFramesPerSec > 0 ? m_nFramesPerSec : kDefaultFramesPerSec; }
    int GetEffectiveFramesPerFoot() const { return m_nFramesPerFoot > 0 ? m_nFramesPerFoot : kDefaultFramesPerFoot; }

    /// The decimal number at the start of a stored text, as the console software reads it:
    /// leading blanks, an optional sign, then digits up to the first other character; 0 when
    /// there are no digits; numbers beyond an int are held at INT_MAX or INT_MIN. Independent
    /// of the process locale.
    static int ParseNumber(const char* text);

    int m_nTimecodeRate;      // "CantleTimcodeRate": 1 = 24, 2 = 25, 3 = 30, 4 = 29.97, 5 = 30, 7 = 23.976
    int m_nSampleRate;        // "Sample Rate" of "...\TCWatch", Hz; 44056 and 47952 are pulled down
    int m_nFramesPerSec;      // "CantleTimecodeCurrentFramesPerSec" (text)
    int m_nFramesPerFoot;     // "CantleTimecodeCurrentFeetPerFrame" (text)
    int m_nFilmEquivalence;   // "CantleTimecodeFilmEquivalance" (text), frames
    int m_nFeetAndFrames;     // "CantleTimecodeFF": show feet and frames
    int m_nSupFramesFF;       // "CantleTimecodeSupFramesFF": no frames in feet and frames
    int m_nSupHours;          // "CantleTimecodeSupHours"
    int m_nSupFrames;         // "CantleTimecodeSupFrames"
    int m_bLocalZero;         // "CantleTimecodeLocalZero"
    int m_nCodeConvert;       // "CantleTimecodeCodeConvert" (text)
    int m_nFFConvert;         // "CantleTimecodeFFConvert" (text)
    int m_bShowRaw;           // "ShowRaw"
};
