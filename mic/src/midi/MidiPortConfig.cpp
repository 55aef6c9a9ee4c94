#include "midi/MidiPortConfig.h"

#include "base/ProgramConstants.h"
#include "winport/Midi.h"
#include "winport/Registry.h"
#include "winport/RegistryObject.h"

namespace {
// A device index is an integer value: one stored as text (by hand, or by another program) is
// not taken for a number.
int readIndex(const CString& key, const char* name)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return -1;
    DWORD type = 0, value = 0, size = sizeof value;
    const LONG r = RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(h);
    return r == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value ? static_cast<int>(value) : -1;
}
}  // namespace

CString MidiDeviceName(bool input, int index)
{
    if (index < 0) return CString();
    if (input) {
        MIDIINCAPSA caps{};
        if (static_cast<UINT>(index) >= midiInGetNumDevs() || midiInGetDevCapsA(static_cast<UINT>(index), &caps, sizeof caps) != MMSYSERR_NOERROR)
            return CString();
        return CString(caps.szPname);
    }
    MIDIOUTCAPSA caps{};
    if (static_cast<UINT>(index) >= midiOutGetNumDevs() || midiOutGetDevCapsA(static_cast<UINT>(index), &caps, sizeof caps) != MMSYSERR_NOERROR)
        return CString();
    return CString(caps.szPname);
}

CString CMidiPortConfig::KeyOf(int port)
{
    CString key;
    key.Format("%s\\%d", kMidiControlKey, port);
    return key;
}

void CMidiPortConfig::Load(int port)
{
    *this = CMidiPortConfig();
    m_nKey = port;
    m_nPort = port;
    const CString key = KeyOf(port);
    m_nMidiIn = readIndex(key, "MidiIn");
    m_nMidiOut = readIndex(key, "MidiOut");
    CCurrentUserRegistryObject reg;
    reg.GetBool(key, "Active", m_bActive, 0);
    reg.GetString(key, "MidiInStr", m_strMidiIn, "");
    reg.GetString(key, "MidiOutStr", m_strMidiOut, "");
    if (GetMidiInName() != m_strMidiIn || GetMidiOutName() != m_strMidiOut) {
        m_nPort = m_nMidiIn = m_nMidiOut = -1;
        m_bActive = 0;
    }
}

CString CMidiPortConfig::GetMidiInName() const { return MidiDeviceName(true, m_nMidiIn); }
CString CMidiPortConfig::GetMidiOutName() const { return MidiDeviceName(false, m_nMidiOut); }

int CMidiPortConfig::ReadPortValue(const char* valueName) const
{
    int value = 0;
    if (m_nKey >= 0) CCurrentUserRegistryObject().GetInt(KeyOf(m_nKey), valueName, value, 0);
    return value;
}
