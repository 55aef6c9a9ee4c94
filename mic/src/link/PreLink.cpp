#include "link/PreLink.h"

void PreLink::SetHalfDuplex(bool halfDuplex)
{
    CFastSingleLock lock(&m_lock, TRUE);
    m_halfDuplex = halfDuplex;
}

bool PreLink::IsHalfDuplex() const
{
    CFastSingleLock lock(&m_lock, TRUE);
    return m_halfDuplex;
}

uint32_t PreLink::Begin(const BYTE* message, int length, int inProgress, int receiverState, int pendingCommand)
{
    CFastSingleLock lock(&m_lock, TRUE);
    m_state = PreLinkSnapshot{};
    m_state.inProgress = inProgress;
    m_state.receiverState = receiverState;
    m_state.pendingCommand = pendingCommand;
    m_state.transaction = m_nextTransaction++;
    m_lastLength = length;
    m_lastCommand = length > 1 ? message[1] : 0;
    m_echoRemaining = 0;
    m_collectingLevels = false;
    m_awaitingWrite = true;
    return m_state.transaction;
}

void PreLink::Sent()
{
    CFastSingleLock lock(&m_lock, TRUE);
    m_awaitingWrite = false;
}

void PreLink::End()
{
    CFastSingleLock lock(&m_lock, TRUE);
    if (m_state.inProgress != kLinkFailed) m_state.inProgress = kLinkIdle;
    m_state.receiverState = kRxIdle;
    m_state.pendingCommand = 0;
    m_collectingLevels = false;
}

void PreLink::SetFailed()
{
    CFastSingleLock lock(&m_lock, TRUE);
    m_state.inProgress = kLinkFailed;
    m_collectingLevels = false;
}

void PreLink::Reset()
{
    CFastSingleLock lock(&m_lock, TRUE);
    m_state = PreLinkSnapshot{};
    m_state.transaction = m_nextTransaction++;
    m_echoRemaining = 0;
    m_collectingLevels = false;
}

PreLinkSnapshot PreLink::TakeOutcome()
{
    CFastSingleLock lock(&m_lock, TRUE);
    PreLinkSnapshot snapshot = m_state;
    if (m_state.inProgress != kLinkFailed) m_state.inProgress = kLinkIdle;
    m_state.receiverState = kRxIdle;
    m_state.pendingCommand = 0;
    m_collectingLevels = false;
    return snapshot;
}

PreLinkSnapshot PreLink::Peek() const
{
    CFastSingleLock lock(&m_lock, TRUE);
    return m_state;
}

bool PreLink::CollectingLevels() const
{
    CFastSingleLock lock(&m_lock, TRUE);
    return m_collectingLevels;
}

PreLink::Event PreLink::deliverLocked()
{
    Event event;
    event.delivered = true;
    event.transaction = m_state.transaction;
    return event;
}

PreLink::Event PreLink::Silence()
{
    CFastSingleLock lock(&m_lock, TRUE);
    if (!m_collectingLevels) return {};
    m_collectingLevels = false;
    m_state.inProgress = kLinkIdle;
    m_state.receiverState = kRxIdle;
    return deliverLocked();
}

PreLink::Event PreLink::Receive(BYTE byte)
{
    CFastSingleLock lock(&m_lock, TRUE);
    Event event;
    if (m_awaitingWrite) return event;  // left over from before our message
    if (m_echoRemaining > 0) {
        // The rest of the echo of the PC's own message.
        if (--m_echoRemaining == 0) event.dropRts = true;
        return event;
    }
    if (m_halfDuplex && (byte & 0x80)) {
        // Only the PC's address byte has bit 7 set: this is the start of our own echo.
        m_echoRemaining = m_lastLength - 1;
        m_state.replyCount = 0;
        if (m_echoRemaining <= 0) {
            m_echoRemaining = 0;
            event.dropRts = true;
        }
        return event;
    }
    if (m_state.inProgress == kLinkFailed) return event;

    if (m_collectingLevels) {
        m_state.levels[m_state.levelCount++] = byte;
        if (m_state.levelCount < pre::kMaxLevelBytes) return event;
        m_collectingLevels = false;
        m_state.inProgress = kLinkIdle;
        m_state.receiverState = kRxIdle;
        return deliverLocked();
    }

    switch (m_state.receiverState) {
    case kRxAck:
        m_state.replyCount = 0;
        if (m_state.inProgress != kLinkAwaiting) return event;
        if (byte == pre::kAck) {
            m_state.replyCode = byte;
            if (m_lastCommand == pre::kPollLevels) {
                // Level bytes follow: collect up to six, or until the line falls silent.
                m_collectingLevels = true;
                m_state.inProgress = kLinkReceiving;
                return event;
            }
            m_state.inProgress = kLinkIdle;
            m_state.receiverState = kRxIdle;
            return deliverLocked();
        }
        if (byte == pre::kNack) {
            m_state.replyCode = byte;
            m_state.inProgress = kLinkIdle;
            return deliverLocked();
        }
        if (byte == pre::kAckWithData) {
            m_state.replyCode = byte;
            m_state.inProgress = kLinkIdle;
            m_state.receiverState = kRxIdle;
            return deliverLocked();
        }
        return event;  // anything else is dropped

    case kRxVersion:
        if (m_state.inProgress == kLinkIdle) return event;
        // Printable characters only until the text is complete; the checksum may be anything.
        if (m_state.replyCount < pre::kVersionLength && (byte < 0x20 || byte >= 0x7F)) return event;
        m_state.reply[m_state.replyCount++] = byte;
        m_state.inProgress = kLinkReceiving;
        if (m_state.replyCount < pre::kVersionReplyBytes) return event;
        m_state.inProgress = kLinkIdle;
        return deliverLocked();

    case kRxDataCheck:
    case kRxDataApply:
        if (m_state.inProgress == kLinkIdle) return event;
        if (m_state.replyCount < pre::kDataReplyBytes) {
            m_state.reply[m_state.replyCount++] = byte;
            m_state.inProgress = kLinkReceiving;
            return event;
        }
        // The closing byte after the 19 data bytes.
        m_state.inProgress = kLinkIdle;
        return deliverLocked();

    default:
        m_state.replyCount = 0;
        return event;
    }
}
