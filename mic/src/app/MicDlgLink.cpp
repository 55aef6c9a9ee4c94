// The main dialog's transmit ring, the builders that fill it, and the link step that sends
// one message at a time to the units and judges their replies.
#include <cstdarg>
#include <cstring>

#include "app/MicDlg.h"
#include "link/SerialPort.h"
#include "winport/Window.h"

namespace {

// Byte 38 of a ring entry: the answer to this data request is applied (it followed an ACK with
// data); byte 39 keeps the address byte.
constexpr int kApplyByte = CMicDlg::kRingEntrySize - 2;

// Timer 1 periods.
constexpr UINT kPollPeriodMs = 60;         // a poll's reply takes under 5 ms at 19200 baud
constexpr UINT kVersionPeriodMs = 50;      // version request of the Setup sweep
constexpr UINT kTestVersionPeriodMs = 100; // version requests while the set-up dialog is open
constexpr UINT kRingPeriodMs = 200;        // ring messages
constexpr UINT kTestPeriodMs = 50;         // unit test messages

// A meter bar: 142 pixels for the highest level, 126.
constexpr int kLevelMax = 126;
constexpr int kLevelBarHeight = 142;

}  // namespace

void CMicDlg::ResetRing()
{
    std::memset(m_TxRing, 0, sizeof m_TxRing);
    m_nWriteIndex = 0;
    m_nSendIndex = 0;
}

BOOL CMicDlg::IsRingFull() const { return (m_nWriteIndex + 1) % kRingEntries == m_nSendIndex; }

int CMicDlg::RingCount() const { return (m_nWriteIndex - m_nSendIndex + kRingEntries) % kRingEntries; }

void CMicDlg::CommitTxMessage() { commitEntry(false); }

void CMicDlg::commitEntry(bool applyData)
{
    BYTE* entry = m_TxRing[m_nWriteIndex];
    entry[kApplyByte] = applyData ? 1 : 0;
    entry[kRingEntrySize - 1] = entry[0];
    if (IsRingFull()) {
        // A full ring keeps 1023 messages: the one just built takes the place of the newest,
        // so that the latest change is the one that goes out.
        BYTE* newest = m_TxRing[(m_nWriteIndex + kRingEntries - 1) % kRingEntries];
        std::memcpy(newest, entry, kRingEntrySize);
        entry[0] = 0;
        return;
    }
    m_nWriteIndex = (m_nWriteIndex + 1) % kRingEntries;
}

void CMicDlg::SendChannelCommand(int unit, int channel)
{
    if (m_nTestMode == 1) return;
    pre::BuildChannelMessage(RingWriteEntry(), m_RackSetup, unit, channel);
    CommitTxMessage();
}

void CMicDlg::SendLineCommand(int unit, int channel)
{
    if (m_nTestMode == 1) return;
    pre::BuildLineMessage(RingWriteEntry(), m_RackSetup, unit, channel);
    CommitTxMessage();
}

void CMicDlg::SendCommand13(int unit, int channel)
{
    if (m_nTestMode == 1) return;
    pre::BuildPathMessage(RingWriteEntry(), m_RackSetup, unit, channel);
    CommitTxMessage();
}

void CMicDlg::SendCommand14(int unit)
{
    if (m_nTestMode == 1) return;
    pre::BuildDataRequest(RingWriteEntry(), unit);
    commitEntry(true);
}

void CMicDlg::SendResetMessages(int unit)
{
    for (int c = 0; c < CRackSetup::kChannels; ++c) {
        BYTE micLine = pre::MicLineByte(m_RackSetup.GetChannelMicLine(unit, c));
        pre::BuildSettingsMessage(RingWriteEntry(), pre::kChannelSettings, unit, c, 0x03, micLine);
        CommitTxMessage();
        pre::BuildSettingsMessage(RingWriteEntry(), pre::kLineSettings, unit, c, 0x03, micLine);
        CommitTxMessage();
        pre::BuildSettingsMessage(RingWriteEntry(), pre::kPathSettings, unit, c, 0x00, 0);
        CommitTxMessage();
    }
}

// ---- The link step ---------------------------------------------------------------------------

int CMicDlg::RespondingUnits() const
{
    int n = 0;
    for (int u = 0; u < pre::kUnits; ++u) n += m_RackSetup.GetRackFlag(u) ? 1 : 0;
    return n;
}

void CMicDlg::SetDebugTrace(BOOL on, const char* path)
{
    if (m_pDebugFile) std::fclose(m_pDebugFile);
    m_pDebugFile = nullptr;
    if (on) m_pDebugFile = std::fopen(winport::HostPath(path).c_str(), "a");
}

void CMicDlg::trace(const char* format, ...)
{
    if (!m_pDebugFile) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(m_pDebugFile, format, args);
    va_end(args);
    std::fflush(m_pDebugFile);
}

void CMicDlg::traceBytes(const char* prefix, const BYTE* bytes, int count)
{
    if (!m_pDebugFile) return;
    std::fputs(prefix, m_pDebugFile);
    for (int i = 0; i < count; ++i) std::fprintf(m_pDebugFile, "%x ", bytes[i]);
    std::fflush(m_pDebugFile);
}

void CMicDlg::EndSerialTransaction() { m_Link.End(); }

void CMicDlg::SetTestMode(int mode)
{
    int old = m_nTestMode;
    m_nTestMode = mode;
    if (old != 0 && mode == 0) EndSerialTransaction();
}

void CMicDlg::writeMessage(const BYTE* message, int length, int inProgress, int state, int pending, UINT timerMs)
{
    // Without a port nothing goes out; timer 1 keeps the pace of the port's retries.
    if (m_Link.Peek().inProgress == kLinkFailed) return;
    // The message before goes out whole before this one's transaction opens: the unit test's
    // messages follow each other closely, and a slow monitor must not lose one.
    if (!m_portWriter) m_SerialPort.WaitForWrite(2 * CSerialPort::kWriteTimeoutMs);
    m_Link.Begin(message, length, inProgress, state, pending);
    m_nTimerPeriod = timerMs;
    if (m_hWnd) SetTimer(m_hWnd, 1, timerMs, nullptr);
    BYTE wire[pre::kMaxMessage + 1];
    std::memcpy(wire, message, static_cast<size_t>(length));
    wire[length] = pre::kEndMarker;
    if (m_portWriter) m_portWriter(wire, length);
    else m_SerialPort.WriteToPort(wire);
}

void CMicDlg::SendPoll(int unit)
{
    if (m_nTestMode == 1) return;
    m_nLinkUnit = unit;
    BYTE m[pre::kMaxMessage];
    int n = pre::BuildPoll(m, unit, m_bEnableMeters);
    writeMessage(m, n, kLinkAwaiting, kRxAck, 1, kPollPeriodMs);
}

void CMicDlg::SendVersionRequest(int unit)
{
    m_nLinkUnit = unit;
    BYTE m[pre::kMaxMessage];
    int n = pre::BuildVersionRequest(m, unit);
    writeMessage(m, n, kLinkAwaiting, kRxVersion, pre::kVersionRequest, kVersionPeriodMs);
}

void CMicDlg::SendTestVersionRequest(int unit)
{
    if (m_nTestMode == 2) return;
    BYTE m[pre::kMaxMessage];
    int n = pre::BuildVersionRequest(m, unit);
    writeMessage(m, n, kLinkIdle, kRxIdle, pre::kVersionRequest, kTestVersionPeriodMs);
}

void CMicDlg::SendTestChannelCommand(int unit, int channel)
{
    if (m_nTestMode != 1 && m_nTestMode != 2) return;
    BYTE m[pre::kMaxMessage];
    int n = pre::BuildChannelMessage(m, m_RackSetup, unit, channel);
    writeMessage(m, n, kLinkIdle, kRxIdle, 0, kTestPeriodMs);
}

void CMicDlg::SendTestLineCommand(int unit, int channel)
{
    if (m_nTestMode != 1 && m_nTestMode != 2) return;
    BYTE m[pre::kMaxMessage];
    int n = pre::BuildLineMessage(m, m_RackSetup, unit, channel);
    writeMessage(m, n, kLinkIdle, kRxIdle, 0, kTestPeriodMs);
}

void CMicDlg::TestRack(int rack)
{
    int saved = m_nTestMode;
    if (m_nTestMode != 2) m_nTestMode = 2;
    for (int pass = 0; pass < 2; ++pass) {
        for (int c = 0; c < CRackSetup::kChannels; ++c) {
            Sleep(10);
            if (m_RackSetup.GetChannelMode(rack, c)) {
                m_RackSetup.SetLineStatus(rack, c, m_RackSetup.GetLineStatus(rack, c) ^ 0x10);
                SendTestChannelCommand(rack, c);
            } else {
                m_RackSetup.SetChannelStatus(rack, c, m_RackSetup.GetChannelStatus(rack, c) ^ 0x20);
                SendTestLineCommand(rack, c);
            }
        }
    }
    m_nTestMode = saved;
}

LRESULT CMicDlg::OnPreReply(WPARAM port, LPARAM transaction)
{
    // Replies of the port that is open now, whatever its number; nothing else.
    if (port == 0 || static_cast<int>(port) != OpenPortNumber()) return -1;
    // A reply the step has judged already (a tick came first) is not judged again.
    if (static_cast<uint32_t>(transaction) != m_Link.Peek().transaction) return 0;
    ServiceSerialLink();
    ApplyHeldMidiControls();
    return 0;
}

void CMicDlg::resendLastMessage()
{
    if (m_nRetry < 2) {
        ++m_nRetry;
        m_InFlight.resend = true;
    } else {
        m_nRetry = 0;  // given up
        m_InFlight.resend = false;
    }
}

void CMicDlg::sendInFlight()
{
    InFlight& f = m_InFlight;
    f.resend = false;
    traceBytes("\nTx=", f.message, f.length);
    int state = kRxAck;
    if (f.command == pre::kDataRequest) state = f.applyData ? kRxDataApply : kRxDataCheck;
    int pending = f.command == pre::kPoll || f.command == pre::kPollLevels ? 1 : f.command;
    writeMessage(f.message, f.length, kLinkAwaiting, state, pending, kRingPeriodMs);
}

void CMicDlg::sendFromRing()
{
    BYTE* entry = m_TxRing[m_nSendIndex];
    InFlight& f = m_InFlight;
    f.length = pre::MessageLength(entry);
    std::memcpy(f.message, entry, static_cast<size_t>(f.length));
    f.message[f.length] = pre::kEndMarker;
    f.unit = pre::UnitOfAddress(entry[kRingEntrySize - 1]);
    f.command = f.length > 1 ? entry[1] : 0;
    f.applyData = entry[kApplyByte] != 0;
    m_nRetry = 0;
    entry[0] = 0;
    m_nSendIndex = (m_nSendIndex + 1) % kRingEntries;
    sendInFlight();
}

void CMicDlg::ServiceSerialLink()
{
    PreLinkSnapshot r = m_Link.TakeOutcome();
    if (r.inProgress == kLinkFailed) return;
    bool open = r.inProgress != kLinkIdle || r.receiverState != kRxIdle;
    if (r.receiverState == kRxIdle && r.pendingCommand == 0) open = false;
    if (open) {
        switch (r.pendingCommand) {
        case 1:
            if (r.inProgress == kLinkIdle && r.replyCode) trace("\nRx=NACK!");
            UpdateUnitResponse(m_nLinkUnit, TRUE);
            break;
        case pre::kVersionRequest:
            handleVersionReply(r);
            break;
        case pre::kChannelSettings:
        case pre::kLineSettings:
        case pre::kPathSettings:
            trace("\nRx=NoResponse");
            UpdateUnitResponse(m_InFlight.unit, TRUE);
            resendLastMessage();
            break;
        case pre::kDataRequest:
            handleDataReply(r);
            break;
        default:
            break;
        }
    } else if (m_nTestMode != 1 && r.pendingCommand != 0) {
        if (r.pendingCommand == 1) {
            // A unit that starts answering selects its rack, which moves the link unit: the
            // data request goes to the unit that was polled.
            // The busy picture goes first: a unit that starts answering may load its settings,
            // which shows it again until their messages have gone.
            const int polled = m_nLinkUnit;
            if (m_bBusy) {
                m_bBusy = FALSE;
                m_eLinkPicture = LinkPicture::Linked;
                m_pView->LinkChanged();
            }
            UpdateUnitResponse(polled, FALSE, &r);
            // A plain ACK of a poll is not traced (it comes many times a second).
            if (r.replyCode == pre::kAckWithData) {
                trace("\nRx=AckWithData");
                SendCommand14(polled);
            }
        } else {
            trace("\nRx=ACK");
            UpdateUnitResponse(m_InFlight.unit, FALSE);
            m_nRetry = 0;
            m_InFlight.resend = false;
        }
    }

    // Send the next message unless one is open (the version sweep goes on by itself).
    if (m_Link.Peek().inProgress != kLinkIdle || m_nTestMode == 1) return;
    if (m_InFlight.resend) {
        sendInFlight();
        return;
    }
    if (!IsRingEmpty()) {
        sendFromRing();
        return;
    }
    if (m_bSweepPending) {
        m_bSweepPending = FALSE;
        m_nRetry = 0;
        SendVersionRequest(0);
        return;
    }
    int responding = RespondingUnits();
    if (++m_nRoundRobin > responding) m_nRoundRobin = 0;
    if (responding > 0 && m_nRoundRobin != 0) {
        int unit = m_nLinkUnit;
        for (int i = 0; i < pre::kUnits; ++i) {
            unit = (unit + 1) % pre::kUnits;
            if (m_RackSetup.GetRackFlag(unit)) break;
        }
        SendPoll(unit);
        return;
    }
    m_nSweepCursor = (m_nSweepCursor + 1) % pre::kUnits;
    SendPoll(m_nSweepCursor);
}

void CMicDlg::handleDataReply(const PreLinkSnapshot& r)
{
    if (r.replyCount > 0) traceBytes("\nRx=", r.reply, r.replyCount - 1);
    if (pre::IsDataValid(r.reply, r.replyCount)) {
        if (m_InFlight.applyData) {
            // Settings queued after the request was made are newer than the reply: the unit
            // takes them next, and they are what the rack shows.
            BYTE data[pre::kDataReplyBytes];
            std::memcpy(data, r.reply, sizeof data);
            for (int i = m_nSendIndex; i != m_nWriteIndex; i = (i + 1) % kRingEntries) {
                const BYTE* entry = m_TxRing[i];
                if (pre::UnitOfAddress(entry[kRingEntrySize - 1]) == m_InFlight.unit)
                    pre::OverlaySettings(data, entry, pre::MessageLength(entry));
            }
            pre::ApplyUnitData(m_RackSetup, m_InFlight.unit, data);
            m_pView->RackChanged(m_InFlight.unit);
        }
        m_nRetry = 0;
        m_InFlight.resend = false;
        return;
    }
    resendLastMessage();
}

void CMicDlg::handleVersionReply(const PreLinkSnapshot& r)
{
    trace("\nRx=");
    bool next = false;
    if (!pre::IsVersionValid(r.reply, r.replyCount)) {
        trace("NoResponse");
        m_strVersion[m_nLinkUnit] = "Version Unknown";
        if (m_nRetry >= 2) {
            next = true;
            m_nRetry = 0;
        } else {
            ++m_nRetry;
        }
    } else {
        for (int i = 0; i < pre::kVersionLength; ++i) trace("%c", r.reply[i]);
        m_strVersion[m_nLinkUnit] = CString(reinterpret_cast<const char*>(r.reply), pre::kVersionLength);
        next = true;
        m_nRetry = 0;
    }
    int unit = next ? m_nLinkUnit + 1 : m_nLinkUnit;
    if (unit >= pre::kUnits) {
        EndSerialTransaction();
        // The dialog opens after this step, never inside it.
        if (m_hWnd) PostMessageA(m_hWnd, WM_SWEEP_DONE, 0, 0);
        else RunSetupDialog();
        return;
    }
    SendVersionRequest(unit);
}

void CMicDlg::showRackButton(int rack)
{
    bool selected = rack == m_RackSetup.GetCurrentRack();
    bool responding = m_RackSetup.GetRackFlag(rack);
    m_nRackBitmap[rack] = responding ? (selected ? 145 : 147) : (selected ? 146 : 149);
    m_pView->LinkChanged();
}

void CMicDlg::restoreUnit(int unit)
{
    int setTitle = 0;
    const CString file = startupSetupFile(setTitle);
    if (!file.IsEmpty()) {
        int version = CRackSetup::GetSetupFileVersion(file);
        if (version == 0 || version == 1) {
            LoadSetup(file, setTitle, unit);
        } else if (m_hWnd) {
            // Loading would ask the operator: that happens after this step.
            PostMessageA(m_hWnd, WM_RESTORE_UNIT, static_cast<WPARAM>(unit), 0);
        }
        return;
    }
    if (m_bUseWithCantle) return;
    for (int c = 0; c < CRackSetup::kChannels; ++c) {
        if (m_RackSetup.GetChannelMode(unit, c)) SendChannelCommand(unit, c);
        else SendLineCommand(unit, c);
    }
}

void CMicDlg::UpdateUnitResponse(int unit, BOOL failed, const PreLinkSnapshot* reply)
{
    if (unit < 0 || unit >= pre::kUnits) return;
    int& count = m_nAnswerCount[unit];
    if (!failed && count < 4) ++count;
    if (failed && count > 0) --count;
    if (count >= 1 && count <= 3) return;

    if (failed) {
        if (!m_RackSetup.GetRackFlag(unit)) return;
        m_RackSetup.SetRackFlag(unit, FALSE);
        SaveRestoreSnapshot();
        if (RespondingUnits() < 1) {
            m_eLinkPicture = LinkPicture::NoUnit;
            for (int c = 0; c < CRackSetup::kChannels; ++c) m_RackSetup.SetChannelEntry(unit, c, 0);
        }
        showRackButton(unit);
        m_pView->RackChanged(unit);
        return;
    }
    if (!m_RackSetup.GetRackFlag(unit)) {
        m_RackSetup.SetRackFlag(unit, TRUE);
        if (RespondingUnits() == 1) m_RackSetup.SetCurrentRack(unit);
        restoreUnit(unit);
        if (RespondingUnits() == 1) {
            // The first unit: its rack is selected, which queues its settings.
            m_eLinkPicture = m_bBusy ? LinkPicture::Busy : LinkPicture::Linked;
            SelectRack(unit);
        }
        showRackButton(unit);
        for (int c = 0; c < CRackSetup::kChannels; ++c) {
            SendChannelCommand(unit, c);
            SendLineCommand(unit, c);
            SendCommand13(unit, c);
        }
        SaveRestoreSnapshot();
        return;
    }
    // Meters: only when level bytes came, for the rack on show.
    if (!m_bEnableMeters || unit != m_RackSetup.GetCurrentRack() || !reply ||
        reply->levelCount < pre::kUsedLevelBytes) {
        return;
    }
    for (int c = 0; c < 4; ++c) {
        int level = reply->levels[c] > kLevelMax ? kLevelMax : reply->levels[c];
        m_fLevels[unit][c] = static_cast<float>(level);
        if (c == 0 && level <= 1) continue;
        m_nLevelHeight[c] = level * kLevelBarHeight / kLevelMax;
    }
    m_pView->RackChanged(unit);
}
