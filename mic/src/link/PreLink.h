// The state of the serial link to the units that the port's monitor thread and the
// user-interface thread share, and the receiver that reads the units' replies byte by byte.
//
// The sender opens a transaction (Begin) when it writes a message; the receiver, on the
// monitor thread, collects the reply and reports when it is complete; the user-interface thread
// takes the outcome (TakeOutcome), which also closes the transaction. Every transaction has a
// number, so that a reply reported after its transaction was closed is recognised as stale.
// All members are safe from any thread.
#pragma once

#include <cstdint>

#include "link/PreProtocol.h"
#include "winport/FastLock.h"

/// In-progress values of the link.
enum : int {
    kLinkIdle = 0,       // no transaction open
    kLinkAwaiting = 1,   // a reply is awaited
    kLinkReceiving = 2,  // a multi-byte reply is being received
    kLinkFailed = -1,    // the port failed
};

/// Receiver states.
enum : int {
    kRxAck = 0,          // an ACK, ACK with data or NACK is awaited
    kRxVersion = 1,      // a version reply is being collected
    kRxIdle = 2,         // nothing is awaited
    kRxDataCheck = 3,    // a data reply that is only checked
    kRxDataApply = 4,    // a data reply that is applied
};

/// The link's state at one moment, as the user-interface thread judges it.
struct PreLinkSnapshot {
    int inProgress = kLinkIdle;
    int receiverState = kRxIdle;
    int pendingCommand = 0;
    uint32_t transaction = 0;
    /// 0x44, 0x46 or 0x05 when a one-byte reply came, else 0.
    BYTE replyCode = 0;
    /// Version or data reply bytes.
    BYTE reply[32] = {};
    int replyCount = 0;
    /// Level bytes that followed the ACK of a poll with levels.
    BYTE levels[pre::kMaxLevelBytes] = {};
    int levelCount = 0;
};

class PreLink {
public:
    /// What the receiver asks of its caller after a byte.
    struct Event {
        bool delivered = false;  // a reply is complete: hand it to the owner
        bool dropRts = false;    // the echo of the PC's message has passed (half duplex)
        uint32_t transaction = 0;
    };

    /// Half-duplex lines echo the PC's own message; the receiver drops the echo.
    void SetHalfDuplex(bool halfDuplex);
    bool IsHalfDuplex() const;

    /// Opens a transaction for a message about to be written: in-progress, receiver state and
    /// pending command as the sender sets them. Returns the transaction's number.
    uint32_t Begin(const BYTE* message, int length, int inProgress, int receiverState, int pendingCommand);
    /// The message of the open transaction is on the line: from now on bytes are its reply.
    void Sent();
    /// Closes the open transaction: idle, receiver state 2, no pending command.
    void End();
    /// The port failed: in-progress -1 until the next Begin or Reset.
    void SetFailed();
    /// Back to the start: idle, nothing pending, in-progress 0.
    void Reset();
    /// The state now, and the transaction closed in the same step, so that a byte arriving
    /// after the judgement cannot change what was judged.
    PreLinkSnapshot TakeOutcome();
    PreLinkSnapshot Peek() const;

    /// Runs one received byte through the reply grammar.
    Event Receive(BYTE byte);
    /// Ends a collection of level bytes that stopped short (the line fell silent).
    Event Silence();
    /// TRUE while level bytes are being collected, so that the port watches for silence.
    bool CollectingLevels() const;

private:
    Event deliverLocked();  // caller holds m_lock

    mutable CFastCriticalSection m_lock;
    PreLinkSnapshot m_state;
    bool m_halfDuplex = true;
    int m_lastLength = 0;
    BYTE m_lastCommand = 0;
    int m_echoRemaining = 0;
    bool m_awaitingWrite = false;  // bytes before the write are not a reply
    bool m_collectingLevels = false;
    uint32_t m_nextTransaction = 1;
};
