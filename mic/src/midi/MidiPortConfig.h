// One MIDI port's configuration in the current user's registry: the key
// "SOFTWARE\VOKDWEN\MIDI CONTROL Ulvo\<n>" with the MIDI-in and MIDI-out device indices, their
// names when they were linked, and whether the port is active. A configuration whose stored
// names no longer match the devices at those indices is treated as absent, so that a renumbering
// of the MIDI devices never opens the wrong device.
#pragma once

#include "winport/CString.h"
#include "winport/WinTypes.h"

class CMidiPortConfig {
public:
    /// The highest port number plus one.
    static constexpr int kPorts = 32;

    /// The key of port n.
    static CString KeyOf(int port);

    /// Fills the object from the key of port n, then checks the stored names against the present
    /// devices (exact comparison): when either differs, port, MIDI-in and MIDI-out are -1 and the
    /// port is not active. A value stored with another type reads as its default.
    void Load(int port);

    /// The present name of the configured device; empty when the index is not a device.
    CString GetMidiInName() const;
    CString GetMidiOutName() const;
    /// Port number, MIDI-in and MIDI-out all set.
    BOOL IsComplete() const { return m_nPort != -1 && m_nMidiIn != -1 && m_nMidiOut != -1; }
    int GetPortNumber() const { return m_nPort; }
    int GetMidiIn() const { return m_nMidiIn; }
    int GetMidiOut() const { return m_nMidiOut; }
    BOOL IsActive() const { return m_bActive ? TRUE : FALSE; }
    const CString& GetStoredMidiInName() const { return m_strMidiIn; }
    const CString& GetStoredMidiOutName() const { return m_strMidiOut; }
    /// An integer value of the port's key (as loaded), 0 when missing ("MicPreControl").
    int ReadPortValue(const char* valueName) const;

private:
    int m_nKey = -1;  // the key read, even when the configuration turned out invalid
    int m_nPort = -1;
    int m_nMidiIn = -1;
    int m_nMidiOut = -1;
    BYTE m_bActive = 0;
    CString m_strMidiIn;
    CString m_strMidiOut;
};

/// The name of a MIDI device (input or output); empty when the index is not a device.
CString MidiDeviceName(bool input, int index);
