// Timecode settings as they come from the registry (texts and numbers of any value) through the
// conversions and the display: every input must give a defined result.
#include <cstdint>
#include <cstring>
#include <string>

#include "trevanny/TimecodeSettings.h"
#include "trevanny/TimecodeValue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Twelve numbers first (missing bytes read as 0), then the text of a setting.
    int32_t n[12] = {};
    const size_t numberBytes = size < sizeof n ? size : sizeof n;
    if (numberBytes > 0) std::memcpy(n, data, numberBytes);
    const std::string text = size > numberBytes
                                 ? std::string(reinterpret_cast<const char*>(data) + numberBytes, size - numberBytes)
                                 : std::string();

    CTimecodeSettings settings;
    settings.m_nTimecodeRate = n[0];
    settings.m_nSampleRate = n[1];
    settings.m_nFramesPerSec = CTimecodeSettings::ParseNumber(text.c_str());
    settings.m_nFramesPerFoot = n[2];
    settings.m_nFilmEquivalence = n[3];
    settings.m_nFeetAndFrames = n[4] & 1;
    settings.m_nSupFramesFF = n[4] & 2;
    settings.m_nSupHours = n[4] & 4;
    settings.m_nSupFrames = n[4] & 8;

    CTimecodeValue value(settings, n[4] & 16 ? TRUE : FALSE);
    value.SetAddFilmEquivalence(n[4] & 32 ? TRUE : FALSE);
    value.SetTime(n[5], n[6], n[7], n[8], n[9]);
    value.GetRoundedFrames();
    value.GetDisplayText();
    value.SetFeetFrames(n[10], n[11]);
    value.GetRoundedFrames();
    value.GetDisplayText();
    value.SetFrames(n[11]);
    value.GetDisplayText();
    return 0;
}
