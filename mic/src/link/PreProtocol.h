// The PRE serial protocol: the messages the PC sends to the pre-amplifier units and the
// receiver that recognises their replies.
//
// A message is built in memory and ends with the marker 0xFF, which only tells the transmit
// code where the message ends: it never goes on the wire. Every byte but the address has bit 7
// clear. The checksum is the sum of the bytes after the command byte, masked with 0x7F.
#pragma once

#include <cstddef>

#include "base/RackSetup.h"
#include "winport/WinTypes.h"

namespace pre {

/// Command bytes.
enum : BYTE {
    kPoll = 0x01,
    kPollLevels = 0x02,
    kVersionRequest = 0x10,
    kChannelSettings = 0x11,  // mic-input settings ("Chan")
    kLineSettings = 0x41,     // line-input settings ("Line")
    kPathSettings = 0x13,
    kDataRequest = 0x14,
};

/// Reply bytes of a unit.
enum : BYTE {
    kAck = 0x44,          // "D"
    kAckWithData = 0x46,  // "F": the unit's panel changed, ask it with 0x14
    kNack = 0x05,
};

constexpr BYTE kEndMarker = 0xFF;
constexpr int kUnits = 16;
/// Longest message: address, command, channel, switch, mic line, checksum, marker.
constexpr int kMaxMessage = 7;
constexpr int kVersionLength = 10;
/// Version text and its checksum.
constexpr int kVersionReplyBytes = 11;
/// Data reply: 18 data bytes and the checksum; a closing byte follows.
constexpr int kDataReplyBytes = 19;
/// Level bytes that may follow the ACK of a poll with levels; four are used.
constexpr int kMaxLevelBytes = 6;
constexpr int kUsedLevelBytes = 4;

/// Address byte of unit 0 to 15: 0x81 to 0x90.
inline BYTE AddressByte(int unit) { return static_cast<BYTE>(0x80 | (unit + 1)); }
/// The unit of an address byte (-1 when it names none).
inline int UnitOfAddress(BYTE address)
{
    int unit = (address & 0x7F) - 1;
    return (address & 0x80) && unit >= 0 && unit < kUnits ? unit : -1;
}

/// Sum of [from, to) masked with 0x7F.
BYTE Checksum(const BYTE* from, const BYTE* to);
/// Bytes before the end marker (at most max).
int MessageLength(const BYTE* message, int max = kMaxMessage);

// Switch bytes of one channel from the rack setup record.
/// Mic-input switch byte of 0x11: mic gain step, 0x10 Pad, 0x20 mic Phase, 0x40 Phant.
BYTE MicSwitchByte(int channelStatus, int lineStatus);
/// Line-input switch byte of 0x41: line gain step, 0x20 line Phase, 0x40 line Ins.
BYTE LineSwitchByte(int channelStatus, int lineStatus);
/// Path byte of 0x13: 0x03, 0x20 mic input, 0x40 mic Ins, 0x08 Lowz.
BYTE PathByte(int channelMode, int lineStatus);
/// The mic line minus 1, or 0x7F when the channel has none.
BYTE MicLineByte(int micLine);

// Builders: each writes one message with its end marker into message (room for kMaxMessage
// bytes) and returns the number of bytes that go on the wire.
int BuildPoll(BYTE* message, int unit, bool withLevels);
int BuildVersionRequest(BYTE* message, int unit);
int BuildDataRequest(BYTE* message, int unit);
int BuildChannelMessage(BYTE* message, const CRackSetup& setup, int unit, int channel);
int BuildLineMessage(BYTE* message, const CRackSetup& setup, int unit, int channel);
int BuildPathMessage(BYTE* message, const CRackSetup& setup, int unit, int channel);
/// A settings message with a given switch byte (the reset set uses 0x03 and path 0x00).
int BuildSettingsMessage(BYTE* message, BYTE command, int unit, int channel, BYTE switchByte, BYTE micLineByte);

/// TRUE when a version reply's checksum holds and its first byte is printable.
bool IsVersionValid(const BYTE* reply, int count);
/// TRUE when all 19 bytes of a data reply came and its checksum holds.
bool IsDataValid(const BYTE* reply, int count);
/// Applies the channel settings of a valid data reply to the unit's rack.
void ApplyUnitData(CRackSetup& setup, int unit, const BYTE* data);
/// A data reply's 18 data bytes as the unit will read them once it has taken a settings
/// message (0x11, 0x41 or 0x13; any other message changes nothing): a unit keeps the switch
/// byte of each settings message it takes and answers a data request with them.
void OverlaySettings(BYTE* data, const BYTE* message, int length);

}  // namespace pre
