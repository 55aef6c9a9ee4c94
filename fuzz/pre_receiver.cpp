// The units' reply grammar over any bytes, in every receiver state: the first two bytes choose
// the message the reply answers and the line (half duplex or not); the rest are the line's
// bytes, with 0xFE standing for a silence and 0xFD for the owner taking the outcome.
#include <cstddef>
#include <cstdint>

#include "link/PreLink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    static const BYTE kCommands[] = {pre::kPoll, pre::kPollLevels, pre::kVersionRequest, pre::kChannelSettings,
                                     pre::kLineSettings, pre::kPathSettings, pre::kDataRequest};
    BYTE command = kCommands[data[0] % 7];
    int state = (data[0] >> 3) % 5;
    int inProgress = (data[0] >> 6) % 3;
    PreLink link;
    link.SetHalfDuplex(data[1] & 1);
    BYTE message[pre::kMaxMessage] = {0x81, command, 0, 0, 0, 0, pre::kEndMarker};
    int length = 2 + (data[1] >> 1) % 5;
    link.Begin(message, length, inProgress, state, command);
    link.Sent();
    for (size_t i = 2; i < size; ++i) {
        if (data[i] == 0xFE) {
            link.Silence();
        } else if (data[i] == 0xFD) {
            PreLinkSnapshot s = link.TakeOutcome();
            if (s.replyCount < 0 || s.replyCount > static_cast<int>(sizeof s.reply)) __builtin_trap();
            if (s.levelCount < 0 || s.levelCount > pre::kMaxLevelBytes) __builtin_trap();
            pre::IsVersionValid(s.reply, s.replyCount);
            pre::IsDataValid(s.reply, s.replyCount);
            link.Begin(message, length, 1, data[i - 1] % 5, command);
            link.Sent();
        } else {
            link.Receive(data[i]);
        }
    }
    return 0;
}
