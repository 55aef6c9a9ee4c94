// The program's fixed names: named-event kinds of the MIDI threads, HUI message kinds, the
// console's I/O system types and track formats, control-surface key names, registry keys and
// value names, a few other names and rectangles, and the registered window messages. Constant
// texts fixed at build time, so that they can be used from any static initialiser and thread.
#pragma once

#include <atomic>

#include "trevanny/SharedConstants.h"
#include "winport/WinTypes.h"

/// Named-event kinds: a named event's name is its kind's name followed by a port or device
/// number in decimal.
enum enNamedEventKind {
    enMEvntNewSocket = 0,
    enMEvntSocketCreated,
    enKillMidiInThrd,
    enMidiInThrdDead,
    enVokThrdDead,
    enKillDatagramThrd,
    enDatagramThrdDead,
    enRecievedChange,
    enTransmit,
    enKillResponseThrd,
    enRequest,
    enResponseThrdDead,
    enOffset,
    enDataReceived,
};
/// The table has 32 slots; kinds 14 to 31 have no name.
inline constexpr int kNamedEventKindSlots = 32;
inline constexpr const char* kNamedEventKindNames[kNamedEventKindSlots] = {
    "enMEvntNewSocket", "enMEvntSocketCreated", "m_eKillMidiInThrd", "m_eMidiInThrdDead", "m_eVokThrdDead",
    "m_eKillDatagramThrd", "m_eDatagramThrdDead", "m_eRecievedChange", "m_eTransmit", "m_eKillResponseThrd",
    "m_eRequest", "m_eResponseThrdDead", "m_eOffset", "m_eDataReceived",
    "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "",
};
/// The name of a kind; "" for a kind without a name or outside the table.
constexpr const char* GetNamedEventKindName(int kind)
{
    return (kind >= 0 && kind < kNamedEventKindSlots) ? kNamedEventKindNames[kind] : "";
}

/// HUI message kinds.
enum enHUIMessageKind {
    enHUI_PPC_DISPLAY = 0,
    enHUI_PAN_DISPLAY,
    enHUI_METER_DISPLAY,
    enHUI_SOLO_DISPLAY,
    enHUI_AUTO_MODE_DISPLAY,
    enHUI_PLUGIN_DISPLAY,
    enHUI_CHANSTRIP_MESSAGE,
    enHUI_DISPLAY_MESSAGE,
    enHUI_SEND_MESSAGE,
    enHUI_MICPRE_CONTROL,
    enHUI_VPOT_MESSAGE,
    enHUI_REQUEST_FULL_CTRL,
    enHUI_MAX_DISPLAY,
};
inline constexpr int kHUIKindCount = 18;
inline constexpr const char* kHUIKindNames[kHUIKindCount] = {
    "enHUI_PPC_DISPLAY", "enHUI_PAN_DISPLAY", "enHUI_METER_DISPLAY", "enHUI_SOLO_DISPLAY",
    "enHUI_AUTO_MODE_DISPLAY", "enHUI_PLUGIN_DISPLAY", "enHUI_CHANSTRIP_MESSAGE", "enHUI_DISPLAY_MESSAGE",
    "enHUI_SEND_MESSAGE", "enHUI_MICPRE_CONTROL", "enHUI_VPOT_MESSAGE", "enHUI_REQUEST_FULL_CTRL",
    "enHUI_MAX_DISPLAY", "ERROR1", "ERROR2", "ERROR3", "ERROR4", "ERROR5",
};
/// The name of a HUI kind; "" outside the table.
constexpr const char* GetHUIKindName(int kind)
{
    return (kind >= 0 && kind < kHUIKindCount) ? kHUIKindNames[kind] : "";
}

// The console's I/O system types and track formats are the libraries' own:
// kIOSystemTypeNames / GetIOSystemTypeName and kTrackFormatNames / GetTrackFormatName.

/// Control-surface key names; index 5 has none.
inline constexpr int kSurfaceKeyCount = 7;
inline constexpr const char* kSurfaceKeyNames[kSurfaceKeyCount] = {"Links", "Gangs", "Undo", "DTrim", "PreArm", "", "Run"};
constexpr const char* GetSurfaceKeyName(int key)
{
    return (key >= 0 && key < kSurfaceKeyCount) ? kSurfaceKeyNames[key] : "";
}

/// Base key of the MIDI port configuration; port n lives in the subkey "\n".
inline constexpr char kMidiControlKey[] = "SOFTWARE\\VOKDWEN\\MIDI CONTROL Ulvo";
inline constexpr char kOldMidiControlKey[] = "SOFTWARE\\VOKDWEN\\MIDI CONTROL";
// The screen-position keys and value names are the libraries' kScreenLocation... and kScreenValue...
inline constexpr char kInstallFolder[] = "C:\\Tamberl\\";

/// Name under which the MIDI port selection hands the program on.
inline constexpr char kProgramControlName[] = "MicPreControl";
inline constexpr char kAddressText[] = "0x00400002";
inline constexpr char kAllocateWindowClass[] = "AllocateUniqueClass";
inline constexpr char kFilerEventName[] = "DravelleNamedEvent";

/// Fixed rectangles (left, top, right, bottom).
inline constexpr RECT kFixedRect1 = {17, 43, 52, 60};
inline constexpr RECT kFixedRect2 = {17, 19, 52, 35};
inline constexpr RECT kFixedRect3 = {0, 14, 35, 32};

/// A registered window message: its number is asked for by name on first use (and by
/// RegisterProgramMessages at start-up), then kept. The same name has the same number in every
/// program. Safe from any thread and from static initialisers.
class CRegisteredMessage {
public:
    explicit constexpr CRegisteredMessage(const char* name) : m_pszName(name) {}
    CRegisteredMessage(const CRegisteredMessage&) = delete;
    CRegisteredMessage& operator=(const CRegisteredMessage&) = delete;

    /// The message number (0 only when the name could not be registered).
    UINT Get() const;
    /// Registers the name now (the number stays the program's) and returns the number.
    UINT Register() const;
    operator UINT() const { return Get(); }
    const char* GetName() const { return m_pszName; }

private:
    const char* m_pszName;
    mutable std::atomic<UINT> m_nId{0};
};

/// Callback message of the tray icon.
extern CRegisteredMessage g_msgTaskIconNotify;       // "MsgTaskIconNotify"
extern CRegisteredMessage g_msgHereAreTheAssx;       // "HereAreTheAssxMessages"
extern CRegisteredMessage g_msgHUIMIDIMessage;       // "msgHUIMIDIMessage"

/// Registers the program's messages; the program calls it while it starts.
void RegisterProgramMessages();
