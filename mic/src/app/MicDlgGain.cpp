// The main dialog's gain boxes: an item chosen from the list or typed, checked against the
// channel's input, stored and sent.
//
// A gain item g is the position in the box ("00", "05" ... "70"). The mic input takes items 4 to
// 14, stored as g - 1 in the line status word's low bits; the line input takes items 0 to 4,
// stored as g + 3 in the channel status word's low bits.
#include <cstring>

#include "app/MicDlg.h"

namespace {

constexpr int kMicLowestItem = 4;
constexpr int kLineHighestItem = 4;

bool validChannel(int channel) { return channel >= 0 && channel < CRackSetup::kChannels; }

}  // namespace

void CMicDlg::OnGainSelected(int channel, int item)
{
    // -1: the list closed with nothing chosen.
    if (!validChannel(channel) || item < 0 || item >= kGainItems) return;
    int rack = m_RackSetup.GetCurrentRack();
    bool micInput = m_RackSetup.GetChannelMode(rack, channel) != 0;
    bool refused = micInput ? item < kMicLowestItem : item > kLineHighestItem;
    if (refused || IsQueueingRefused()) {
        m_pView->RackChanged(rack);  // the box shows the current gain again
        return;
    }
    OnGainChanged(channel, item);
}

void CMicDlg::OnGainDigit(int channel, const char* text)
{
    if (!validChannel(channel)) return;
    size_t n = text ? std::strlen(text) : 0;
    int item = 0;
    switch (m_TypedGain.Typed(n ? text[n - 1] : '\0', item)) {
    case TypedGainEntry::kHeld:
        return;
    case TypedGainEntry::kItem:
        OnGainSelected(channel, item);
        return;
    case TypedGainEntry::kInvalid:
        m_pView->RackChanged(m_RackSetup.GetCurrentRack());
        return;
    }
}

void CMicDlg::OnGainEntryDone(int channel)
{
    int item = 0;
    if (m_TypedGain.Leave(item)) OnGainSelected(channel, item);
}

void CMicDlg::OnGainChanged(int channel, int item)
{
    int rack = m_RackSetup.GetCurrentRack();
    SetGain(rack, channel, item);
    SendMidiControlChange(rack, channel, 9, GainToMidiValue(GainItem(rack, channel)));
}

void CMicDlg::SetGain(int rack, int channel, int item)
{
    if (rack < 0 || rack >= CRackSetup::kRacks || !validChannel(channel)) return;
    if (m_RackSetup.GetChannelMode(rack, channel)) {
        if (item < kMicLowestItem || item >= kGainItems) return;
        m_RackSetup.SetLineStatus(rack, channel, (m_RackSetup.GetLineStatus(rack, channel) & 0xF0) | (item - 1));
    } else {
        if (item < 0 || item > kLineHighestItem) return;
        m_RackSetup.SetChannelStatus(rack, channel, (m_RackSetup.GetChannelStatus(rack, channel) & 0xF0) | (item + 3));
    }
    if (rack == m_RackSetup.GetCurrentRack()) m_pView->RackChanged(rack);
    // The input's own message: 0x11 carries the mic gain, 0x41 the line gain.
    sendChannelSettings(rack, channel);
}
