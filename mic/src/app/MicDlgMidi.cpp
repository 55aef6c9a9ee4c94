// What the main dialog sends to MIDI control: a channel's switches and gain as control changes.
#include <cmath>

#include "app/MicDlg.h"

int CMicDlg::GainToMidiValue(int step)
{
    if (step < 0) return 7;
    if (step >= 10) return 23;
    return static_cast<int>(std::floor((step + 4) * 5 / 3.0 + 0.5));
}

void CMicDlg::SendMidiControlChange(int rack, int channel, int code, int value)
{
    if (m_pMidiPortManager) m_pMidiPortManager->SendControlChange(rack, channel, code, value);
}

void CMicDlg::BroadcastSetup(BOOL activeOnly)
{
    for (int rack = 0; rack < CRackSetup::kRacks; ++rack) {
        for (int c = 0; c < CRackSetup::kChannels; ++c) {
            if (activeOnly && m_RackSetup.GetChannelEntry(rack, c) == 0) continue;
            int status = m_RackSetup.GetChannelStatus(rack, c);
            SendMidiControlChange(rack, c, 4, (status & 0x40) ? 127 : 0);
            SendMidiControlChange(rack, c, 5, (status & 0x20) ? 127 : 0);
            SendMidiControlChange(rack, c, 2, (status & 0x10) ? 127 : 0);
            SendMidiControlChange(rack, c, 9, GainToMidiValue((status & 0x0F) - 3));
        }
    }
}
