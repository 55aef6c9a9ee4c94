// Server mode: the mic line of each channel (the mic-line boxes), the automatic numbering of a
// rack's mic lines (check box 1037), and the reverse index from mic lines to channels.
#include <cstring>

#include "app/MicDlg.h"

namespace {

bool validChannel(int channel) { return channel >= 0 && channel < CRackSetup::kChannels; }

}  // namespace

void CMicDlg::AddMapping(int lineIndex, int rack, int channel)
{
    if (lineIndex < 0 || lineIndex >= kChannelMaps) return;
    auto& list = m_ChannelMaps[lineIndex];
    for (INT_PTR i = 0; i < list.GetSize(); ++i) {
        if (list[i].nRack == rack && list[i].nChannel == channel) return;
    }
    list.Add(ChannelMapping{rack, channel});
}

void CMicDlg::RemoveMapping(int lineIndex, int rack, int channel)
{
    if (lineIndex >= 0 && lineIndex < kChannelMaps) {
        auto& list = m_ChannelMaps[lineIndex];
        for (INT_PTR i = 0; i < list.GetSize(); ++i) {
            if (list[i].nRack == rack && list[i].nChannel == channel) {
                list.RemoveAt(i);
                return;
            }
        }
    }
    trace("Removing a mapping that does not exist !");
}

void CMicDlg::moveMicLine(int rack, int channel, int line)
{
    int old = m_RackSetup.GetChannelMicLine(rack, channel);
    if (old > 0) RemoveMapping(old - 1, rack, channel);
    if (line > 0) AddMapping(line - 1, rack, channel);
    m_RackSetup.SetChannelMicLine(rack, channel, line);
    sendChannelSettings(rack, channel);
}

void CMicDlg::SetMicLine(int channel, int line, BOOL typed)
{
    (void)typed;  // the box shows the channel's line either way
    if (!m_bUseWithCantle || !validChannel(channel)) return;
    int rack = m_RackSetup.GetCurrentRack();
    bool numbering = m_RackSetup.GetRackOption(rack) != 0;
    if (line < 0 || line > CRackSetup::kMaxMicLine || (numbering && channel != 0) || IsQueueingRefused()) {
        m_pView->RackChanged(rack);  // the box shows the channel's line again
        return;
    }
    moveMicLine(rack, channel, line);
    // The channel now follows its line's state at the console.
    if (line > 0) ApplyMicLineData(kQuietApply, kQuietApply);
    if (numbering && channel == 0) AutoNumberMicLines();
    else m_pView->RackChanged(rack);
}

void CMicDlg::OnMicLineDigit(int channel, const char* text)
{
    if (!m_bUseWithCantle || !validChannel(channel)) return;
    size_t n = text ? std::strlen(text) : 0;
    char c = n ? text[n - 1] : '\0';
    if (c < '0' || c > '9') {
        m_nTypedMicLine = -1;
        return;
    }
    int digit = c - '0';
    int value = m_nTypedMicLine < 0 ? digit : m_nTypedMicLine < 10 ? 10 * m_nTypedMicLine + digit : m_nTypedMicLine;
    if (value > CRackSetup::kMaxMicLine) value = CRackSetup::kMaxMicLine;
    // A single digit 1 to 9 may get a second one.
    m_nTypedMicLine = (value >= 1 && value <= 9) ? value : -1;
    SetMicLine(channel, value, TRUE);
}

void CMicDlg::OnRackOptionClicked(BOOL ticked)
{
    if (!m_bUseWithCantle) return;
    if (IsQueueingRefused()) {
        m_pView->RackChanged(m_RackSetup.GetCurrentRack());  // the box goes back
        return;
    }
    m_bRackOptionTicked = ticked ? TRUE : FALSE;
    AutoNumberMicLines();
}

void CMicDlg::AutoNumberMicLines()
{
    int rack = m_RackSetup.GetCurrentRack();
    m_RackSetup.SetRackOption(rack, m_bRackOptionTicked);
    if (m_bRackOptionTicked) {
        m_bMicLineNumbering = TRUE;
        if (m_hWnd) SetTimer(m_hWnd, 4, kNumberingMarkMs, nullptr);
        bool othersAssigned = false;
        for (int c = 1; c < CRackSetup::kChannels; ++c) othersAssigned |= m_RackSetup.GetChannelMicLine(rack, c) > 0;
        if (m_RackSetup.GetChannelMicLine(rack, 0) == 0 && othersAssigned) {
            for (int c = 1; c < CRackSetup::kChannels; ++c) moveMicLine(rack, c, 0);
        } else {
            if (m_RackSetup.GetChannelMicLine(rack, 0) == 0) moveMicLine(rack, 0, 1);
            for (int c = 1; c < CRackSetup::kChannels; ++c) {
                int previous = m_RackSetup.GetChannelMicLine(rack, c - 1);
                moveMicLine(rack, c, previous >= CRackSetup::kMaxMicLine ? previous : previous + 1);
            }
        }
        ApplyMicLineData(kQuietApply, kQuietApply);
    }
    m_pView->RackChanged(rack);
}
