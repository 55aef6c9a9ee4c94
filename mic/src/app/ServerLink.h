// Server mode: whether the main dialog works with the automation server, and the two objects it
// keeps there while it does (the mic-line receptacle, attached when the window is created, and
// the client monitor, attached under the client name "mic" when the dialog initialises).
//
// The objects come from a ServerLink, so that the dialog does not depend on how they reach
// the server; the dialog owns what it is given and deletes it when its window goes.
#pragma once

#include <memory>

#include "winport/WinTypes.h"

struct MicLineRecord;

/// The server program whose presence allows server mode.
constexpr const char* kServerProgramFile = "c:\\cantle\\cantle.exe";
/// The current user's key and the value (also a profile key of "Settings") that switch it on.
constexpr const char* kServerModeKey = "SOFTWARE\\VOKDWEN\\VUR OVIDAVI";
constexpr const char* kServerModeValue = "Use With Cantle";

struct ServerModeDecision {
    BYTE useWithCantle = 0;  // server mode
    BYTE cantlePresent = 0;  // the server program's file was found
};

/// Only on a console of the K7 series (type 6): the registry value, else the profile value,
/// must be 1, and the server program's file must exist under the data root.
ServerModeDecision DecideServerMode();

/// An object the dialog keeps on the server; deleting it detaches it.
class ServerObject {
public:
    virtual ~ServerObject() = default;
    /// The mic-line object: copies the newest record of the server's mic lines, and lets the
    /// next record be announced again; FALSE while none has come (and for other objects).
    virtual BOOL TakeMicLineRecord(MicLineRecord& record)
    {
        (void)record;
        return FALSE;
    }
};

class ServerLink {
public:
    virtual ~ServerLink() = default;
    /// The mic-line receptacle for the window, attached (MLAttach); it posts "ButtonFromCantle"
    /// to the window when a record comes. Null when it cannot be made.
    virtual std::unique_ptr<ServerObject> CreateMicLine(HWND owner) = 0;
    /// The client monitor for the window, attached under the client name (CMAttach); it posts
    /// WM_CLOSE_REQUEST to the window when the server asks the client to close.
    virtual std::unique_ptr<ServerObject> CreateClientMonitor(HWND owner, const char* clientName) = 0;
};

/// The objects on the automation server through the client objects of the server link: the
/// client-monitor receptacle and the mic-line receptacle.
class KivServerLink : public ServerLink {
public:
    std::unique_ptr<ServerObject> CreateMicLine(HWND owner) override;
    std::unique_ptr<ServerObject> CreateClientMonitor(HWND owner, const char* clientName) override;
};
