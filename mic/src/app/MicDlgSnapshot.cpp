// What the main dialog's window shows, computed from its state.
#include <algorithm>

#include "app/MicDlg.h"

namespace {

// Gain steps are stored + 3 in the low four bits; the display counts at least 3.
int storedStep(int word) { return std::max(3, word & 0x0F); }

}  // namespace

MicDlgSnapshot CMicDlg::Snapshot() const
{
    MicDlgSnapshot s;
    const int rack = m_RackSetup.GetCurrentRack();
    const bool responding = m_RackSetup.GetRackFlag(rack) != 0;
    const bool anyResponding = RespondingUnits() > 0;
    s.title = m_strTitle;
    s.currentRack = rack;
    s.rackPicture = 247 + rack;
    for (int r = 0; r < CRackSetup::kRacks; ++r) {
        bool on = m_RackSetup.GetRackFlag(r) != 0;
        s.rackButtons[r] = r == rack ? (on ? kRackSelectedResponding : kRackSelected) : (on ? kRackResponding : kRackIdle);
    }
    s.linkPicture = m_eLinkPicture;
    for (int c = 0; c < CRackSetup::kChannels; ++c) {
        ChannelSnapshot& ch = s.channels[c];
        const int status = m_RackSetup.GetChannelStatus(rack, c);
        const int line = m_RackSetup.GetLineStatus(rack, c);
        const bool micInput = m_RackSetup.GetChannelMode(rack, c) != 0;
        const int micLine = m_RackSetup.GetChannelMicLine(rack, c);
        ch.dir = micInput;
        if (micInput) {
            ch.phant = status & 0x40;
            ch.pad = status & 0x10;
            ch.lowz = line & 0x40;
            ch.phase = line & 0x10;
            ch.ins = line & 0x80;
            ch.gainItem = storedStep(line) + 1;
        } else {
            ch.phase = status & 0x20;
            ch.ins = line & 0x20;
            ch.gainItem = storedStep(status) - 3;
        }
        if (responding && !m_bReadoutsBlank) {
            int g = std::min(ch.gainItem, 10);
            if (micInput && g < 4) g = 4;
            if (!micInput && g > 4) g = 4;
            ch.readout = g;
            ch.gainLabelMicSet = micInput;
            ch.gainLabel = micInput ? storedStep(line) : std::min(storedStep(status), 7);
        }
        if ((m_RackSetup.GetChannelEntry(rack, c) > 0 || !anyResponding) && micLine > 0) {
            ch.digit = micLine % 10;
            ch.digitMicLineSet = true;
        } else {
            ch.digit = (c + 1) % 10;
        }
        ch.label = m_RackSetup.GetLabel(rack, c);
        ch.micLine = m_bUseWithCantle ? micLine : 0;
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
