// Server mode: the server's record of the console's mic lines applied to the channels that
// follow them, and the enlarged read-out of a channel that the server changed.
//
// A channel follows mic line n when its assigned mic line is n; the channel-map lists are the
// reverse index (list n - 1 holds the channels of line n). The record sets the channel status
// word: Phant 0x40, Pad 0x10 and the gain step in the low 4 bits (3 to 13), and each change
// goes to a responding unit in the message of the channel's input (0x11 on the mic input, 0x41
// on the line input).
#include "app/MicDlg.h"
#include "app/MicLineInterface.h"
#include "winport/Window.h"

namespace {

constexpr int kPhantBit = 0x40;
constexpr int kPadBit = 0x10;
constexpr int kLinePhaseBit = 0x20;
constexpr int kGainBits = 0x0F;
constexpr int kLowestGain = 3;
constexpr int kHighestGain = 13;

int clampGain(int step) { return step < kLowestGain ? kLowestGain : step > kHighestGain ? kHighestGain : step; }

}  // namespace

void CMicDlg::UnpackWords(WPARAM wParam, LPARAM lParam, int& a, int& b, int& c, int& d)
{
    a = LOWORD(wParam);
    b = HIWORD(wParam);
    c = LOWORD(lParam);
    d = HIWORD(lParam);
}

LRESULT CMicDlg::ApplyMicLineData(WPARAM wParam, LPARAM lParam)
{
    if (!m_bUseWithCantle || !m_bCantlePresent) return 0;
    const bool quiet = wParam == kQuietApply || lParam == kQuietApply;
    // While the read-out comes up the record waits (it stays with the receptacle, which
    // announces nothing more until it is taken).
    if ((m_bReadoutOpen && !m_bReadoutReady) || m_bApplyingMicLines) {
        int deferred = quiet ? 1 : 2;
        if (deferred > m_nDeferredApply) m_nDeferredApply = deferred;
        return 0;
    }
    m_nDeferredApply = 0;
    // The record is copied under the receptacle's lock and applied without it. Before the
    // server's first record nothing is applied: a record of zeros would switch Phant on.
    MicLineRecord record;
    if (!m_pMicLine || !m_pMicLine->TakeMicLineRecord(record)) return 0;

    m_bApplyingMicLines = true;
    const int current = m_RackSetup.GetCurrentRack();
    bool currentChanged = false;
    for (int i = 0; i < MicLineRecord::kLines; ++i) {
        const BYTE* entry = record.Entry(i);
        bool shown = false;  // one read-out per line and pass
        const auto& list = m_ChannelMaps[i];
        for (INT_PTR k = 0; k < list.GetSize(); ++k) {
            if (!mappingHolds(list[k], i + 1)) continue;
            const int rack = list[k].nRack;
            const int channel = list[k].nChannel;

            bool channelChanged = false;
            auto changed = [&](int status) {
                m_RackSetup.SetChannelStatus(rack, channel, status);
                if (rack == current) currentChanged = true;
                sendChannelSettings(rack, channel);
                channelChanged = true;
            };
            int status = m_RackSetup.GetChannelStatus(rack, channel);
            const bool phant = entry[MicLineRecord::kPhantOff] == 0;
            if (phant != ((status & kPhantBit) != 0)) changed(status ^= kPhantBit);
            const bool pad = entry[MicLineRecord::kPad] != 0;
            if (pad != ((status & kPadBit) != 0)) changed(status ^= kPadBit);
            const int gain = clampGain(entry[MicLineRecord::kGain]);
            if (gain != (status & kGainBits)) changed(status = (status & ~kGainBits) | gain);
            // The read-out shows the channel as the whole entry left it.
            const bool readoutUp = m_bReadoutOpen && m_bReadoutReady;
            if (channelChanged && !quiet && !shown && (m_RackSetup.GetPopupControls() || readoutUp)) {
                ShowChangedChannel(rack, channel, FALSE);
                shown = true;
            }

            if (!m_RackSetup.GetPopupOnSel() || quiet) continue;
            // The console's selection holds the read-out. When the same record changed the
            // line, its read-out is up already: a selection then keeps it up, and a release lets
            // it go as a read-out of a change goes.
            const bool held = m_nHeldRack >= 0;
            const bool heldHere = held && m_nHeldRack == rack && m_nHeldChannel == channel;
            if (entry[MicLineRecord::kSelected] != 0 && !held) {
                m_nHeldRack = rack;
                m_nHeldChannel = channel;
                if (!shown) ShowChangedChannel(rack, channel, TRUE);
                else if (m_hWnd) KillTimer(m_hWnd, 3);
                shown = true;
            } else if (entry[MicLineRecord::kSelected] == 0 && heldHere) {
                m_nHeldRack = -1;
                m_nHeldChannel = -1;
                if (!shown) ShowChangedChannel(rack, channel, TRUE);
                else if (m_hWnd) SetTimer(m_hWnd, 3, kReadoutMs, nullptr);
                shown = true;
            }
        }
    }
    m_bApplyingMicLines = false;
    if (currentChanged) m_pView->RackChanged(current);
    // A record announced while this one was applied (the read-out's events can come in
    // between) goes on now.
    applyDeferred();
    return 0;
}

bool CMicDlg::mappingHolds(const ChannelMapping& pair, int line) const
{
    // A pair whose channel has another mic line by now is skipped.
    return pair.nRack >= 0 && pair.nRack < CRackSetup::kRacks && pair.nChannel >= 0 &&
           pair.nChannel < CRackSetup::kChannels && m_RackSetup.GetChannelMicLine(pair.nRack, pair.nChannel) == line;
}

// ---- The enlarged read-out -------------------------------------------------------------------

ReadoutChannel CMicDlg::readoutRecord(int rack, int channel) const
{
    ReadoutChannel r;
    const int status = m_RackSetup.GetChannelStatus(rack, channel);
    r.nMicLine = m_RackSetup.GetChannelMicLine(rack, channel);
    r.nEntry = m_RackSetup.GetChannelEntry(rack, channel);
    r.nGain = clampGain(status & kGainBits) * 5 + 5;
    r.strLabel = m_RackSetup.GetLabel(rack, channel);
    r.bPhant = (status & kPhantBit) != 0;
    r.bPad = (status & kPadBit) != 0;
    r.bMicInput = m_RackSetup.GetChannelMode(rack, channel) != 0;
    r.bPhase = (status & kLinePhaseBit) != 0;
    return r;
}

ReadoutChannel CMicDlg::nearestReadoutRecord(int line, int step) const
{
    for (int l = line + step; l >= 1 && l <= kChannelMaps; l += step) {
        const auto& list = m_ChannelMaps[l - 1];
        for (INT_PTR k = 0; k < list.GetSize(); ++k) {
            const ChannelMapping& m = list[k];
            if (mappingHolds(m, l)) return readoutRecord(m.nRack, m.nChannel);
        }
    }
    return {};
}

void CMicDlg::ShowChangedChannel(int rack, int channel, BOOL select)
{
    if (rack < 0 || rack >= CRackSetup::kRacks || channel < 0 || channel >= CRackSetup::kChannels) return;
    // The window in front before the first of these is the one the shell brings back.
    m_pShell->RaiseForReadout(m_hWnd);
    // Not while a numbering of mic lines is fresh, nor without a unit.
    if (m_bMicLineNumbering || RespondingUnits() == 0) return;
    if (m_bReadoutOpen && !m_bReadoutReady) return;

    if (m_hWnd) KillTimer(m_hWnd, 3);
    const int line = m_RackSetup.GetChannelMicLine(rack, channel);
    m_ReadoutChannels = {nearestReadoutRecord(line, -1), readoutRecord(rack, channel), nearestReadoutRecord(line, +1)};
    m_pShell->SetReadoutChannels(m_hWnd, m_ReadoutChannels, m_bReadoutOpen && m_nReadoutLine == line);

    const bool held = m_nHeldRack >= 0;
    const bool heldHere = held && m_nHeldRack == rack && m_nHeldChannel == channel;
    if (!select) {
        if (held && !heldHere) return;
        if (!held && m_hWnd) SetTimer(m_hWnd, 3, kReadoutMs, nullptr);
        bringReadoutUp(line);
        return;
    }
    // The console's selection: a held channel brings it up; a released one lets it go.
    if (!held && m_bReadoutReady && m_hWnd) SetTimer(m_hWnd, 3, kReadoutMs, nullptr);
    if (held) bringReadoutUp(line);
}

void CMicDlg::bringReadoutUp(int line)
{
    if (m_bReadoutOpen && !m_bReadoutReady) return;
    m_bReadoutOpen = TRUE;
    m_bReadoutReady = FALSE;
    m_nReadoutLine = line;
    if (!m_pShell->ShowReadout(m_hWnd, [this](bool ready) { readoutEvent(ready); })) {
        // The program has no read-out: nothing is coming up.
        m_bReadoutOpen = FALSE;
    }
}

void CMicDlg::readoutEvent(bool ready)
{
    if (ready) {
        if (!m_bReadoutOpen) return;  // it was closed meanwhile
        m_bReadoutReady = TRUE;
    } else {
        m_bReadoutOpen = FALSE;
        m_bReadoutReady = FALSE;
        m_nReadoutLine = -1;
        m_nHeldRack = -1;
        m_nHeldChannel = -1;
    }
    applyDeferred();
}

void CMicDlg::applyDeferred()
{
    // A record that came while the read-out was coming up.
    if (!m_nDeferredApply || m_bApplyingMicLines || (m_bReadoutOpen && !m_bReadoutReady)) return;
    const WPARAM how = m_nDeferredApply == 1 ? kQuietApply : 0;
    ApplyMicLineData(how, static_cast<LPARAM>(how));
}

void CMicDlg::closeReadout()
{
    m_nReadoutLine = -1;
    m_ReadoutChannels = {};
    const bool wasOpen = m_bReadoutOpen;
    m_bReadoutOpen = FALSE;
    m_bReadoutReady = FALSE;
    if (wasOpen) m_pShell->CloseReadout(m_hWnd);
}

void CMicDlg::OnReadoutTimer()
{
    if (m_hWnd) KillTimer(m_hWnd, 3);
    if (m_bReadoutOpen && m_bReadoutReady && m_nHeldRack < 0) closeReadout();
    m_pShell->RestoreFrontWindow(m_hWnd);
}

void CMicDlg::DropReadout()
{
    m_nHeldRack = -1;
    m_nHeldChannel = -1;
    closeReadout();
    applyDeferred();
}
