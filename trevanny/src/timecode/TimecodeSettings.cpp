#include "trevanny/TimecodeSettings.h"

#include <climits>

#include "trevanny/ConsoleRegistryNames.h"
#include "winport/RegistryObject.h"

const char* const g_szDefaultFramesPerSec = "24";
const char* const g_szDefaultFeetPerFrame = "16";
const char* const g_szDefaultFilmEquivalence = "0";
const char* const g_szDefaultCodeConvert = "30";
const char* const g_szDefaultFFConvert = "30";

namespace {

const char kTimecodeKey[] = "SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Timecode";
const char kWatchKey[] = "SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\TCWatch";
const char kShowRawKey[] = "Software\\VOKDWEN\\Vok Dwen Cantle\\Timecode";
const char kFramesPerSecValue[] = "CantleTimecodeCurrentFramesPerSec";

// Each reading opens its own registry object, reads and lets it go.
int readNumber(const char* key, const char* value, int def)
{
    int out = def;
    CCurrentUserRegistryObject registry;
    registry.GetInt(key, value, out, def);
    return out;
}

int readText(const char* value, const char* def)
{
    CString text;
    CCurrentUserRegistryObject registry;
    registry.GetString(kTimecodeKey, value, text, def);
    return CTimecodeSettings::ParseNumber(text);
}

int readFlag(const char* key, const char* value)
{
    BYTE out = 0;
    CCurrentUserRegistryObject registry;
    registry.GetBool(key, value, out, 0);
    return out;
}

}  // namespace

CTimecodeSettings::CTimecodeSettings()
    : m_nTimecodeRate(1),
      m_nSampleRate(48000),
      m_nFramesPerSec(ParseNumber(g_szDefaultFramesPerSec)),
      m_nFramesPerFoot(ParseNumber(g_szDefaultFeetPerFrame)),
      m_nFilmEquivalence(ParseNumber(g_szDefaultFilmEquivalence)),
      m_nFeetAndFrames(0),
      m_nSupFramesFF(0),
      m_nSupHours(0),
      m_nSupFrames(0),
      m_bLocalZero(0),
      m_nCodeConvert(ParseNumber(g_szDefaultCodeConvert)),
      m_nFFConvert(ParseNumber(g_szDefaultFFConvert)),
      m_bShowRaw(0)
{
}

void CTimecodeSettings::Load()
{
    m_nTimecodeRate = readNumber(kTimecodeKey, "CantleTimcodeRate", 1);
    m_nSampleRate = readNumber(kWatchKey, "Sample Rate", 48000);
    ReadTimecodeFramesPerSec(&m_nFramesPerSec);
    m_nFramesPerFoot = readText("CantleTimecodeCurrentFeetPerFrame", g_szDefaultFeetPerFrame);
    m_nFilmEquivalence = readText("CantleTimecodeFilmEquivalance", g_szDefaultFilmEquivalence);
    if (CConsoleRegistryNames::IsSmallConsole()) m_nFilmEquivalence = 0;
    m_nFeetAndFrames = readNumber(kTimecodeKey, "CantleTimecodeFF", 0);
    m_nSupFramesFF = readNumber(kTimecodeKey, "CantleTimecodeSupFramesFF", 0);
    m_nSupHours = readNumber(kTimecodeKey, "CantleTimecodeSupHours", 0);
    m_nSupFrames = readNumber(kTimecodeKey, "CantleTimecodeSupFrames", 0);
    m_nCodeConvert = readText("CantleTimecodeCodeConvert", g_szDefaultCodeConvert);
    m_nFFConvert = readText("CantleTimecodeFFConvert", g_szDefaultFFConvert);
    m_bLocalZero = readFlag(kTimecodeKey, "CantleTimecodeLocalZero");
    m_bShowRaw = readFlag(kShowRawKey, "ShowRaw");
}

void CTimecodeSettings::ReadTimecodeFramesPerSec(int* framesPerSec)
{
    if (framesPerSec) *framesPerSec = readText(kFramesPerSecValue, g_szDefaultFramesPerSec);
}

int CTimecodeSettings::ParseNumber(const char* text)
{
    if (text == nullptr) return 0;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;  // held at the limit below
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}
