#include "link/PreProtocol.h"

namespace pre {

BYTE Checksum(const BYTE* from, const BYTE* to)
{
    unsigned sum = 0;
    for (const BYTE* p = from; p < to; ++p) sum += *p;
    return static_cast<BYTE>(sum & 0x7F);
}

int MessageLength(const BYTE* message, int max)
{
    int n = 0;
    while (n < max && message[n] != kEndMarker) ++n;
    return n;
}

BYTE MicSwitchByte(int channelStatus, int lineStatus)
{
    BYTE b = static_cast<BYTE>(lineStatus & 0x0F);
    if (channelStatus & 0x10) b |= 0x10;  // Pad
    if (lineStatus & 0x10) b |= 0x20;     // Phase of the mic input
    if (channelStatus & 0x40) b |= 0x40;  // Phant
    return b;
}

BYTE LineSwitchByte(int channelStatus, int lineStatus)
{
    BYTE b = static_cast<BYTE>(channelStatus & 0x0F);
    if (channelStatus & 0x20) b |= 0x20;  // Phase of the line input
    if (lineStatus & 0x20) b |= 0x40;     // Ins of the line input
    return b;
}

BYTE PathByte(int channelMode, int lineStatus)
{
    BYTE b = 0x03;
    if (channelMode) b |= 0x20;         // mic input
    if (lineStatus & 0x80) b |= 0x40;   // Ins of the mic input
    if (lineStatus & 0x40) b |= 0x08;   // Lowz
    return b;
}

BYTE MicLineByte(int micLine)
{
    return (micLine >= 1 && micLine <= 0x7F) ? static_cast<BYTE>(micLine - 1) : 0x7F;
}

namespace {

int shortMessage(BYTE* message, int unit, BYTE command)
{
    message[0] = AddressByte(unit);
    message[1] = command;
    message[2] = kEndMarker;
    return 2;
}

}  // namespace

int BuildPoll(BYTE* message, int unit, bool withLevels)
{
    return shortMessage(message, unit, withLevels ? kPollLevels : kPoll);
}

int BuildVersionRequest(BYTE* message, int unit) { return shortMessage(message, unit, kVersionRequest); }

int BuildDataRequest(BYTE* message, int unit) { return shortMessage(message, unit, kDataRequest); }

int BuildSettingsMessage(BYTE* message, BYTE command, int unit, int channel, BYTE switchByte, BYTE micLineByte)
{
    int n = 0;
    message[n++] = AddressByte(unit);
    message[n++] = command;
    message[n++] = static_cast<BYTE>(channel & 0x03);
    message[n++] = static_cast<BYTE>(switchByte & 0x7F);
    if (command != kPathSettings) message[n++] = static_cast<BYTE>(micLineByte & 0x7F);
    message[n] = Checksum(message + 2, message + n);
    ++n;
    message[n] = kEndMarker;
    return n;
}

int BuildChannelMessage(BYTE* message, const CRackSetup& setup, int unit, int channel)
{
    return BuildSettingsMessage(message, kChannelSettings, unit, channel,
                                MicSwitchByte(setup.GetChannelStatus(unit, channel), setup.GetLineStatus(unit, channel)),
                                MicLineByte(setup.GetChannelMicLine(unit, channel)));
}

int BuildLineMessage(BYTE* message, const CRackSetup& setup, int unit, int channel)
{
    return BuildSettingsMessage(message, kLineSettings, unit, channel,
                                LineSwitchByte(setup.GetChannelStatus(unit, channel), setup.GetLineStatus(unit, channel)),
                                MicLineByte(setup.GetChannelMicLine(unit, channel)));
}

int BuildPathMessage(BYTE* message, const CRackSetup& setup, int unit, int channel)
{
    return BuildSettingsMessage(message, kPathSettings, unit, channel,
                                PathByte(setup.GetChannelMode(unit, channel), setup.GetLineStatus(unit, channel)), 0);
}

bool IsVersionValid(const BYTE* reply, int count)
{
    return count >= kVersionReplyBytes && reply[0] >= 0x20 &&
           Checksum(reply, reply + kVersionLength) == reply[kVersionLength];
}

bool IsDataValid(const BYTE* reply, int count)
{
    return count >= kDataReplyBytes && Checksum(reply, reply + kDataReplyBytes - 1) == reply[kDataReplyBytes - 1];
}

void ApplyUnitData(CRackSetup& setup, int unit, const BYTE* data)
{
    for (int c = 0; c < CRackSetup::kChannels; ++c) {
        BYTE mic = data[3 * c];
        BYTE line = data[3 * c + 2];
        BYTE path = data[12 + c];
        int status = line & 0x0F;
        if (mic & 0x40) status |= 0x40;
        if (line & 0x20) status |= 0x20;
        if (mic & 0x10) status |= 0x10;
        int lineStatus = mic & 0x0F;
        if (path & 0x40) lineStatus |= 0x80;
        if (path & 0x08) lineStatus |= 0x40;
        if (line & 0x40) lineStatus |= 0x20;
        if (mic & 0x20) lineStatus |= 0x10;
        setup.SetChannelStatus(unit, c, status);
        setup.SetLineStatus(unit, c, lineStatus);
        setup.SetChannelMode(unit, c, (path & 0x20) ? 1 : 0);
    }
}

void OverlaySettings(BYTE* data, const BYTE* message, int length)
{
    if (length < 4) return;
    const int channel = message[2] & 0x03;
    switch (message[1]) {
    case kChannelSettings: data[3 * channel] = message[3]; break;
    case kLineSettings: data[3 * channel + 2] = message[3]; break;
    case kPathSettings: data[12 + channel] = message[3]; break;
    default: break;
    }
}

}  // namespace pre
