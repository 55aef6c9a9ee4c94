// The main dialog's channel switches and rack buttons, and what a channel shows.
//
// Where a channel's switches live in the rack setup record (channel status word, line status
// word):
//   mic input (mode set):   Phant status 0x40, Pad status 0x10, Phase line 0x10, Ins line 0x80,
//                           Lowz line 0x40, gain in the line word's low bits;
//   line input (mode 0):    Phase status 0x20, Ins line 0x20, gain in the status word's low bits;
//                           the line input has no Phant, Pad or Lowz.
#include "app/MicDlg.h"

namespace {

// Control ids of the channel strips (channel 0; channels 1 to 3 follow) and the rack row.
constexpr int kIdPhant = 1000;
constexpr int kIdPhase = 1012;
constexpr int kIdPad = 1024;
constexpr int kIdLowz = 1028;
constexpr int kIdIns = 1032;
constexpr int kIdDir = 1131;
constexpr int kIdRack1 = 1112;

// The lowest gain step stored in a status word's low bits.
constexpr int kGainBase = 3;

struct SwitchPlace {
    bool inLineWord;  // the bit is in the line status word, else in the channel status word
    int bit;          // 0: the input has no such switch
};

SwitchPlace switchPlace(int code, bool micInput)
{
    switch (code) {
    case CMicDlg::kSwitchPhant:
        return {false, micInput ? 0x40 : 0};
    case CMicDlg::kSwitchPad:
        return {false, micInput ? 0x10 : 0};
    case CMicDlg::kSwitchLowz:
        return {true, micInput ? 0x40 : 0};
    case CMicDlg::kSwitchPhase:
        return micInput ? SwitchPlace{true, 0x10} : SwitchPlace{false, 0x20};
    case CMicDlg::kSwitchIns:
        return {true, micInput ? 0x80 : 0x20};
    default:
        return {false, 0};
    }
}

bool validChannel(int channel) { return channel >= 0 && channel < CRackSetup::kChannels; }
bool validRack(int rack) { return rack >= 0 && rack < CRackSetup::kRacks; }

}  // namespace

BOOL CMicDlg::IsQueueingRefused() const
{
    return m_Link.Peek().inProgress == kLinkReceiving || IsRingFull();
}

void CMicDlg::sendChannelSettings(int rack, int channel)
{
    if (!m_RackSetup.GetRackFlag(rack)) return;
    if (m_RackSetup.GetChannelMode(rack, channel)) SendChannelCommand(rack, channel);
    else SendLineCommand(rack, channel);
}

BOOL CMicDlg::ToggleSwitch(int rack, int channel, int code)
{
    if (!validRack(rack) || !validChannel(channel) || IsQueueingRefused()) return FALSE;
    bool micInput = m_RackSetup.GetChannelMode(rack, channel) != 0;
    // A channel that follows a mic line takes Phant, Pad, Ins and Lowz from the server.
    if (m_RackSetup.GetChannelMicLine(rack, channel) != 0 && code != kSwitchPhase) return FALSE;
    SwitchPlace place = switchPlace(code, micInput);
    if (place.bit == 0) return FALSE;
    if (place.inLineWord) {
        m_RackSetup.SetLineStatus(rack, channel, m_RackSetup.GetLineStatus(rack, channel) ^ place.bit);
    } else {
        m_RackSetup.SetChannelStatus(rack, channel, m_RackSetup.GetChannelStatus(rack, channel) ^ place.bit);
    }
    if (m_RackSetup.GetRackFlag(rack)) {
        if (code == kSwitchLowz || (code == kSwitchIns && micInput)) SendCommand13(rack, channel);
        else sendChannelSettings(rack, channel);
    }
    if (rack == m_RackSetup.GetCurrentRack()) m_pView->RackChanged(rack);
    return TRUE;
}

void CMicDlg::ToggleSwitchAndSend(int channel, int code)
{
    int rack = m_RackSetup.GetCurrentRack();
    if (!ToggleSwitch(rack, channel, code)) return;
    // The new state to MIDI: control 4 Phant, 2 Pad, 5 Phase; Ins and Lowz have none.
    int control = code == kSwitchPhant ? 4 : code == kSwitchPad ? 2 : code == kSwitchPhase ? 5 : 0;
    if (control) SendMidiControlChange(rack, channel, control, IsSwitchShown(rack, channel, code) ? 127 : 0);
}

void CMicDlg::ToggleDir(int channel)
{
    int rack = m_RackSetup.GetCurrentRack();
    if (!validChannel(channel) || IsQueueingRefused()) return;
    m_RackSetup.SetChannelMode(rack, channel, m_RackSetup.GetChannelMode(rack, channel) ? 0 : 1);
    if (m_RackSetup.GetRackFlag(rack)) {
        SendCommand13(rack, channel);
        SendChannelCommand(rack, channel);
        SendLineCommand(rack, channel);
    }
    ShowRack(rack);
}

void CMicDlg::OnRackButton(int rack)
{
    if (!validRack(rack)) return;
    if (rack != m_RackSetup.GetCurrentRack()) SelectRack(rack);
    m_pView->RackChanged(m_RackSetup.GetCurrentRack());
}

void CMicDlg::ShowRack(int rack)
{
    if (!validRack(rack)) return;
    m_RackSetup.SetCurrentRack(rack);
    if (m_bUseWithCantle) m_bRackOptionTicked = m_RackSetup.GetRackOption(rack);
    m_pView->RackChanged(rack);
}

void CMicDlg::SelectRack(int rack)
{
    if (!validRack(rack) || IsQueueingRefused()) return;
    ShowRack(rack);
    for (int u = 0; u < pre::kUnits; ++u) showRackButton(u);
    bool responding = m_RackSetup.GetRackFlag(rack);
    m_eLinkPicture = m_bBusy ? LinkPicture::Busy : responding ? LinkPicture::Linked : LinkPicture::NoUnit;
    m_pView->LinkChanged();
    if (responding) {
        for (int c = 0; c < CRackSetup::kChannels; ++c) {
            sendChannelSettings(rack, c);
            SendCommand13(rack, c);
        }
    }
    EndSerialTransaction();
    // The next poll of a responding unit goes to this rack.
    m_nLinkUnit = (rack + pre::kUnits - 1) % pre::kUnits;
}

BOOL CMicDlg::OnChannelButton(int id)
{
    struct Row {
        int first;
        int count;
        int code;  // 0: Dir, -1: rack buttons
    };
    static constexpr Row kRows[] = {
        {kIdPhant, CRackSetup::kChannels, kSwitchPhant}, {kIdPhase, CRackSetup::kChannels, kSwitchPhase},
        {kIdPad, CRackSetup::kChannels, kSwitchPad},     {kIdLowz, CRackSetup::kChannels, kSwitchLowz},
        {kIdIns, CRackSetup::kChannels, kSwitchIns},     {kIdDir, CRackSetup::kChannels, 0},
        {kIdRack1, CRackSetup::kRacks, -1},
    };
    for (const Row& row : kRows) {
        if (id < row.first || id >= row.first + row.count) continue;
        int index = id - row.first;
        if (row.code > 0) ToggleSwitchAndSend(index, row.code);
        else if (row.code == 0) ToggleDir(index);
        else OnRackButton(index);
        return TRUE;
    }
    return FALSE;
}

// ---- What a channel shows ----------------------------------------------------------------------

BOOL CMicDlg::IsSwitchShown(int rack, int channel, int code) const
{
    bool micInput = m_RackSetup.GetChannelMode(rack, channel) != 0;
    if (code == kSwitchDir) return micInput;
    SwitchPlace place = switchPlace(code, micInput);
    int word = place.inLineWord ? m_RackSetup.GetLineStatus(rack, channel) : m_RackSetup.GetChannelStatus(rack, channel);
    return (word & place.bit) != 0;
}

int CMicDlg::GainItem(int rack, int channel) const
{
    if (m_RackSetup.GetChannelMode(rack, channel)) {
        int step = m_RackSetup.GetLineStatus(rack, channel) & 0x0F;
        return (step < kGainBase ? kGainBase : step) + 1;
    }
    int step = m_RackSetup.GetChannelStatus(rack, channel) & 0x0F;
    return (step < kGainBase ? kGainBase : step) - kGainBase;
}

int CMicDlg::GainReadout(int rack, int channel) const
{
    constexpr int kReadoutMax = 14;  // the read-out follows the gain box: "00" to "70"
    constexpr int kInputLimit = 4;   // where the mic input's range starts and the line input's ends
    if (!m_RackSetup.GetRackFlag(rack)) return -1;
    int g = GainItem(rack, channel);
    if (m_RackSetup.GetChannelMode(rack, channel)) {
        if (g < kInputLimit) g = kInputLimit;
    } else if (g > kInputLimit) {
        g = kInputLimit;
    }
    return g > kReadoutMax ? kReadoutMax : g;
}

int CMicDlg::GainLabel(int rack, int channel, BOOL& micSet) const
{
    constexpr int kLineLabelMax = 7;
    micSet = m_RackSetup.GetChannelMode(rack, channel) != 0;
    if (!m_RackSetup.GetRackFlag(rack)) return -1;
    int word = micSet ? m_RackSetup.GetLineStatus(rack, channel) : m_RackSetup.GetChannelStatus(rack, channel);
    int step = word & 0x0F;
    if (step < kGainBase) step = kGainBase;
    if (!micSet && step > kLineLabelMax) step = kLineLabelMax;
    return step;
}

int CMicDlg::ChannelDigit(int rack, int channel, BOOL& micLineSet) const
{
    int line = m_RackSetup.GetChannelMicLine(rack, channel);
    micLineSet = line > 0 && (m_RackSetup.GetChannelEntry(rack, channel) > 0 || RespondingUnits() == 0);
    return micLineSet ? line % 10 : (channel + 1) % 10;
}
