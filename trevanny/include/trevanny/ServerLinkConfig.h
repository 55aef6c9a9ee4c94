// The automation server's configuration of its links to the console hardware, as the server
// keeps it under "SOFTWARE\VOKDWEN\KIVSERVER" of this machine's HKEY_LOCAL_MACHINE.
#pragma once

#include "winport/WinTypes.h"

/// A plain record. Construction gives every field its default, so a field that a reading leaves
/// alone (link 2 of the old form, the unread byte) holds its default.
struct CServerLinkConfig {
    static constexpr int kLinkCount = 12;

    CServerLinkConfig();

    /// Reads the record: missing values keep their defaults. An old-form configuration (no
    /// "Version") is read from its old value names and then marked as "Version" 1, so that
    /// later reads take the per-link values of all 12 links. Returns the record.
    CServerLinkConfig Read();

    /// The link type of link 1, the card link ("CardLinkType" of the old form).
    int GetCardLinkType() const { return m_nLinkType[1]; }

    int m_nLinkType[kLinkCount];     // "Link Type %d"
    int m_nLinkNumber[kLinkCount];   // "Link Number %d"
    int m_nQuillomLinkType;          // "QuillomLinkType"
    int m_nTimeout;                  // "Timeout"
    int m_nTransputerDelay;          // "Value" of "SOFTWARE\Vok Dwen\TransputerDelay"
    BYTE m_bLinkLoopback[kLinkCount];  // "Link Loopback %d"
    BYTE m_bQuillomReboot;           // "QuillomReboot"
    BYTE m_bQuillomEnable;           // "QuillomEnable"
    BYTE m_bMerrowinEnable;          // "MerrowinEnable"
    BYTE m_bPontrelEnable;           // "PontrelEnable"
    BYTE m_bUnused;                  // not read here
    BYTE m_bSharedMemComms;          // "SharedMemComms"
    BYTE m_bPontrelLoopback;         // "PontrelLoopback", kept only on a machine with "DebugMachine"
};
