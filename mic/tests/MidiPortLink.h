// A MIDI port linked to its devices in the registry, as the port selection dialog writes it.
#pragma once

#include <string>

#include "midi/MidiPortConfig.h"
#include "winport/RegistryObject.h"

inline void LinkMidiPort(int port, int inDevice, const std::string& inName, int outDevice, const std::string& outName,
                         bool active = true, int micPreControl = 1)
{
    const CString key = CMidiPortConfig::KeyOf(port);
    CCurrentUserRegistryObject reg;
    reg.SetInt(key, "MidiIn", inDevice);
    reg.SetInt(key, "MidiOut", outDevice);
    reg.SetString(key, "MidiInStr", inName.c_str());
    reg.SetString(key, "MidiOutStr", outName.c_str());
    reg.SetBool(key, "Active", active ? 1 : 0);
    reg.SetInt(key, "MicPreControl", micPreControl);
}
