// The main dialog's side of MIDI: a channel's switches and gain out as control changes on the
// port its rack is tied to, and controls from the ports applied to the rack and channel they
// address.
#include <cmath>

#include "app/MicDlg.h"
#include "app/MidiSetup.h"
#include "base/MicMessages.h"
#include "midi/MidiHandler.h"
#include "midi/MidiPortConfig.h"
#include "winport/RegistryObject.h"

namespace {
constexpr int kCodePad = 2;
constexpr int kCodePhant = 4;
constexpr int kCodePhase = 5;
constexpr int kCodeGain = 9;
constexpr int kCodeHighlight = 12;
}  // namespace

int CMicDlg::GainToMidiValue(int step)
{
    if (step < 0) return 7;
    if (step >= 10) return 23;
    return static_cast<int>(std::floor((step + 4) * 5 / 3.0 + 0.5));
}

int CMicDlg::MidiValueToGain(int value)
{
    if (value < 7) return 0;
    if (value >= 23) return 10;
    return static_cast<int>(std::floor(value * 3 / 5.0 + 0.5)) - 4;
}

int CMicDlg::GetPortMidiInDevice(int port)
{
    int device = -1;
    CCurrentUserRegistryObject().GetInt(CMidiPortConfig::KeyOf(port), "MidiIn", device, -1);
    return device;
}

void CMicDlg::SendMidiControlChange(int rack, int channel, int code, int value)
{
    if (!m_pMidiPortManager || rack < 0 || rack >= CRackSetup::kRacks || channel < 0 || channel >= CRackSetup::kChannels) return;
    // Only a rack's first slot carries traffic (a rack has four channels: channel / 4 is 0).
    const int slot = m_RackSetup.GetMidiSlot(rack, channel / 4);
    if (slot < 0) return;
    const int pair = slot / 2, part = slot % 2;
    const int port = m_RackSetup.GetChannelMapping(pair, 0);
    const int midiChannel = m_RackSetup.GetChannelMapping(pair, 1);
    if (port < 0 || midiChannel < 0) return;  // a pair with a part unset is no pair
    const BYTE bytes[3] = {static_cast<BYTE>(0xB0 + (midiChannel & 0x0F)),
                           static_cast<BYTE>((((part * 4 + channel % 4) & 15) << 4) | (code & 0x0F)),
                           static_cast<BYTE>(value & 0x7F)};
    m_pMidiPortManager->SendToPort(port, static_cast<int>(kMidiEventToSend), GetPortMidiInDevice(port), 1, bytes);
}

void CMicDlg::BroadcastSetup(BOOL activeOnly)
{
    for (int rack = 0; rack < CRackSetup::kRacks; ++rack) {
        // Channel entries are never filled here: "active" is a rack whose unit answers.
        if (activeOnly && !m_RackSetup.GetRackFlag(rack)) continue;
        for (int c = 0; c < CRackSetup::kChannels; ++c) {
            // What the buttons and the gain box send: the switches as shown, the gain item.
            SendMidiControlChange(rack, c, kCodePhant, IsSwitchShown(rack, c, kSwitchPhant) ? 127 : 0);
            SendMidiControlChange(rack, c, kCodePhase, IsSwitchShown(rack, c, kSwitchPhase) ? 127 : 0);
            SendMidiControlChange(rack, c, kCodePad, IsSwitchShown(rack, c, kSwitchPad) ? 127 : 0);
            SendMidiControlChange(rack, c, kCodeGain, GainToMidiValue(GainItem(rack, c)));
        }
    }
}

BOOL CMicDlg::FindMidiTarget(int port, int status, int data1, int& rack, int& channel) const
{
    rack = channel = -1;
    const int a = (data1 & 0x7F) >> 4;
    for (int pair = 0; pair < CRackSetup::kMappings; ++pair) {
        if (m_RackSetup.GetPreMapping(pair, 0) != port || m_RackSetup.GetPreMapping(pair, 1) != (status & 0x0F)) continue;
        const int slot = pair * 2 + (a >> 2);
        for (int r = 0; r < CRackSetup::kRacks; ++r) {
            if (m_RackSetup.GetMidiSlot(r, 0) == slot) {
                rack = r;
                channel = a & 3;
                return TRUE;
            }
        }
        return FALSE;
    }
    return FALSE;
}

LRESULT CMicDlg::OnMidiControlEvent(WPARAM first, LPARAM second)
{
    // A control that arrives while nothing may be queued (a reply arriving, the ring full) waits
    // its turn, in order, and is applied once the link takes changes again. So does one that
    // arrives while the set-up dialog is open: test mode queues nothing, and the rack on show is
    // read back from its unit when the dialog closes.
    if (!m_HeldMidiControls.empty() || midiControlsWait()) {
        if (m_HeldMidiControls.size() < kHeldMidiControls) m_HeldMidiControls.push_back({first, second});
        return 0;
    }
    return applyMidiControl(first, second);
}

void CMicDlg::ApplyHeldMidiControls()
{
    while (!m_HeldMidiControls.empty() && !midiControlsWait()) {
        const auto [first, second] = m_HeldMidiControls.front();
        m_HeldMidiControls.pop_front();
        applyMidiControl(first, second);
    }
}

bool CMicDlg::midiControlsWait() const { return m_nTestMode == 1 || IsQueueingRefused(); }

LRESULT CMicDlg::applyMidiControl(WPARAM first, LPARAM second)
{
    const MidiEvent event = UnpackMidiEvent(first, second);
    const int port = event.port, status = event.status, data1 = event.data1, value = event.value;
    const int code = data1 & 0x0F;
    if (code == kCodeHighlight) {
        m_bUnitColour = !m_bUnitColour;
        m_pView->RackChanged(m_RackSetup.GetCurrentRack());
        return 0;
    }
    int rack = -1, channel = -1;
    if (!FindMidiTarget(port, status, data1, rack, channel)) return 1;
    const bool on = value > 0;
    switch (code) {
    case kCodePad:
    case kCodePhant:
    case kCodePhase: {
        // Compared with the switch as the channel shows it; applied as a click would be, but not
        // sent back to MIDI.
        const int sw = code == kCodePad ? kSwitchPad : code == kCodePhant ? kSwitchPhant : kSwitchPhase;
        // The link may have begun taking a reply since the control was let through (the monitor
        // thread sets that): then the switch refuses, and the control waits first in line.
        if ((IsSwitchShown(rack, channel, sw) != FALSE) != on && !ToggleSwitch(rack, channel, sw) && IsQueueingRefused())
            m_HeldMidiControls.push_front({first, second});
        return 0;
    }
    case kCodeGain:
        SetGain(rack, channel, MidiValueToGain(value));
        return 0;
    default:
        return 0;
    }
}

void CMicDlg::OnMidiShown(UINT message, WPARAM first, LPARAM second)
{
    const MidiEvent event = UnpackMidiEvent(first, second);
    // A message (not a port's Open or Close line) flashes the tray icon.
    if (!IsMidiPortLine(first)) m_pShell->TrayIcon(m_hWnd, kTrayTip, message == WM_MIDI_IN_SHOWN ? kTrayMidiIn : kTrayMidiOut);
    if (!m_bMidiMonitorOpen) return;
    m_MidiMonitor.AddMessage(CDebugDlg::FormatLine(message, first, second), CDebugDlg::LineColour(m_RackSetup, event.port, event.status));
}

BOOL CMicDlg::OnSlotRButtonDown(int slot)
{
    const int rack = m_RackSetup.GetCurrentRack();
    if (!m_bMidiRunning || slot < 0 || slot >= CRackSetup::kSlots || !m_RackSetup.GetRackFlag(rack)) return FALSE;
    // The choice names the rack clicked on, even if another is on show by then.
    m_pShell->TrackPopupMenu(m_hWnd, CMidiSetup::BuildSlotMenu(m_RackSetup), MenuCorner::TopLeft, [this, rack, slot](UINT command) {
        if (CMidiSetup::ApplySlotCommand(m_RackSetup, rack, slot, command)) m_pView->RackChanged(m_RackSetup.GetCurrentRack());
    });
    return TRUE;
}
