// The main dialog's transmit ring and the builders that fill it.
#include <cstring>

#include "app/MicDlg.h"

void CMicDlg::ResetRing()
{
    std::memset(m_TxRing, 0, sizeof m_TxRing);
    m_nWriteIndex = 0;
    m_nSendIndex = 0;
}

BOOL CMicDlg::IsRingFull() const { return (m_nWriteIndex + 1) % kRingEntries == m_nSendIndex; }

int CMicDlg::RingCount() const { return (m_nWriteIndex - m_nSendIndex + kRingEntries) % kRingEntries; }

void CMicDlg::CommitTxMessage()
{
    BYTE* entry = m_TxRing[m_nWriteIndex];
    entry[kRingEntrySize - 1] = entry[0];
    m_nWriteIndex = (m_nWriteIndex + 1) % kRingEntries;
    // A full ring keeps 1023 messages: the next one built replaces the newest.
    if (m_nWriteIndex == m_nSendIndex) m_nWriteIndex = (m_nWriteIndex + kRingEntries - 1) % kRingEntries;
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
    CommitTxMessage();
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
