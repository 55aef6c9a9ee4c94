// What the main dialog's window shows, computed from its state.
#include "app/MicDlg.h"

#include <algorithm>

ChannelSnapshot CMicDlg::ChannelState(int rack, int c) const
{
    ChannelSnapshot ch;
    ch.phant = IsSwitchShown(rack, c, kSwitchPhant);
    ch.phase = IsSwitchShown(rack, c, kSwitchPhase);
    ch.pad = IsSwitchShown(rack, c, kSwitchPad);
    ch.dir = IsSwitchShown(rack, c, kSwitchDir);
    ch.lowz = IsSwitchShown(rack, c, kSwitchLowz);
    ch.ins = IsSwitchShown(rack, c, kSwitchIns);
    // A stored step beyond the list (14 or 15 on the mic input) shows as its last item.
    ch.gainItem = std::clamp(GainItem(rack, c), 0, kGainItems - 1);
    if (!m_bReadoutsBlank) ch.readout = GainReadout(rack, c);
    BOOL micSet = FALSE, micLineSet = FALSE;
    ch.gainLabel = GainLabel(rack, c, micSet);
    ch.gainLabelMicSet = micSet != FALSE;
    ch.digit = ChannelDigit(rack, c, micLineSet);
    ch.digitMicLineSet = micLineSet != FALSE;
    ch.label = m_RackSetup.GetLabel(rack, c);
    ch.micLine = m_bUseWithCantle ? m_RackSetup.GetChannelMicLine(rack, c) : 0;
    return ch;
}

MicDlgSnapshot CMicDlg::Snapshot() const
{
    MicDlgSnapshot s;
    const int rack = m_RackSetup.GetCurrentRack();
    s.title = m_strTitle;
    s.currentRack = rack;
    s.rackPicture = 247 + rack;
    for (int r = 0; r < CRackSetup::kRacks; ++r) {
        bool on = m_RackSetup.GetRackFlag(r) != 0;
        s.rackButtons[r] = r == rack ? (on ? kRackSelectedResponding : kRackSelected) : (on ? kRackResponding : kRackIdle);
    }
    s.linkPicture = m_eLinkPicture;
    for (int c = 0; c < CRackSetup::kChannels; ++c) {
        s.channels[c] = ChannelState(rack, c);
        s.levelHeights[c] = m_nLevelHeight[c];
    }
    s.setup = m_SetupButton;
    s.miniView = m_MiniViewButton;
    s.loadPreset = {"&Load Preset", true};
    s.storePreset = {"&Store Preset", true};
    s.exit = {"E&xit", true};
    s.serverControls = m_bUseWithCantle != 0;
    s.rackOption = m_bRackOptionTicked != 0;
    s.popupOnSel = m_RackSetup.GetPopupOnSel() != 0;
    s.popupControls = m_RackSetup.GetPopupControls() != 0;
    s.midiRunning = m_bMidiRunning != 0;
    return s;
}
