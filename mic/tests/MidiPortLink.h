// A MIDI port linked to its devices in the registry, as the port selection dialog writes it;
// loopback devices standing for control surfaces.
#pragma once

#include <memory>
#include <string>

#include "midi/MidiPortConfig.h"
#include "winport/MidiBackend.h"
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

/// Loopback devices "surface N out" (inputs) and "surface N in" (outputs), N = 0 to count - 1,
/// the MIDI backend for as long as this lives.
class LoopbackSurfaces {
public:
    explicit LoopbackSurfaces(int count)
    {
        for (int i = 0; i < count; ++i) {
            m_loop->AddInput("surface " + std::to_string(i) + " out");
            m_loop->AddOutput("surface " + std::to_string(i) + " in");
        }
        winport::midi::SetBackend(m_loop);
    }
    ~LoopbackSurfaces() { winport::midi::SetBackend(nullptr); }
    LoopbackSurfaces(const LoopbackSurfaces&) = delete;
    LoopbackSurfaces& operator=(const LoopbackSurfaces&) = delete;

    winport::midi::LoopbackBackend* operator->() const { return m_loop.get(); }

private:
    std::shared_ptr<winport::midi::LoopbackBackend> m_loop = std::make_shared<winport::midi::LoopbackBackend>();
};
