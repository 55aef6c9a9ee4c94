// The client objects of the server's mic-line and client-monitor objects.
#pragma once

#include "quenby/GenericKIVObject.h"

/// Subscribes to the server's mic-line object, whose replies carry the 480-byte record of the
/// pre-amplifier channels as the console sees them (bytes 16 to 495 of a 496-byte block).
class CMicLineKIVObject : public CGenericKIVObject {
public:
    /// The size of a mic-line reply: the header and the 480-byte record.
    static constexpr int kReplySize = 496;

    explicit CMicLineKIVObject(int enabled) : CGenericKIVObject(enabled) {}
    ~CMicLineKIVObject() override = default;

    /// Attaches to the mic line (command 276, a bare block) and subscribes without reading:
    /// the first reply arrives through OnLinkIn.
    void MLAttach();
    CString GetName() override { return "MicLineKIV"; }
};

/// Registers a program by name with the server's client monitor, which can ask the program to
/// shut down: a reply carries a signed request code at byte 16 (1 and 2: shut down).
class CClientMonitorKIVObject : public CGenericKIVObject {
public:
    /// The size of a client-monitor reply: the header and the request code.
    static constexpr int kReplySize = 20;
    /// The name field of the attach block: bytes 24 to 223.
    static constexpr size_t kNameOffset = 24;
    static constexpr size_t kNameField = 200;

    explicit CClientMonitorKIVObject(int enabled) : CGenericKIVObject(enabled) {}
    ~CClientMonitorKIVObject() override = default;

    /// Attaches under the client's name (command 192, 224 bytes) and subscribes without reading.
    /// A name of 200 bytes or more is cut to 199 and ends with a zero inside its field.
    void CMAttach(CString clientName);
    /// Asks the server to shut the console software down (command 204, a bare block).
    void RequestCompleteShutDown();
    CString GetName() override { return "ClientMonitorKIV"; }
};
