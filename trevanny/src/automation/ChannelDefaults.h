// The console's control layout as the automation state sees it: the default value of every
// control, which controls are continuous, and where a control's value lives in the state block
// of a channel state table (controls of the 36-process strip, routes, the small console's five
// processes).
#pragma once

#include <cstdint>

#include "trevanny/SharedConstants.h"

namespace channelstate {

/// The state block: 2000 channels, three regions of i16 values.
constexpr int kProcesses = 36;        ///< control processes of the large strip
constexpr int kControls = 9;          ///< controls per process
constexpr int kRoutes = 48;           ///< route processes of the large strip
constexpr int kRouteControls = 4;     ///< controls per route process
constexpr int kSmallProcesses = 5;    ///< control processes of the small consoles (types 1 and 6)
constexpr int kSections = 14;         ///< channel sections that have defaults of their own
constexpr int kRouteRegion = kConsolePaths * kProcesses * kControls;                      // 648,000
constexpr int kSmallRegion = kRouteRegion + kConsolePaths * kRoutes * kRouteControls;     // 1,032,000
constexpr int kValueCount = kSmallRegion + kConsolePaths * kSmallProcesses * kControls;   // 1,122,000

inline bool IsSmallConsole(int consoleType) { return consoleType == 1 || consoleType == 6; }
/// Console types 2, 3, 4, 5 and 7.
inline bool IsLargeConsole(int consoleType)
{
    return consoleType == 2 || consoleType == 3 || consoleType == 4 || consoleType == 5 || consoleType == 7;
}
/// 0 for console type 3 (and any type without a family of its own), 1 for types 5 and 7, 2 for
/// types 2 and 4.
int ConsoleFamily(int consoleType);

/// The default of a control of the 36-process strip (process 0 to 35, control 0 to 8) for a
/// family and a channel section. A section outside 0 to 13 takes section 0's defaults.
int16_t ControlDefault(int family, int section, int process, int control);
/// The default of a route control 0 to 3: 0, 0, 0, 1.
int16_t RouteDefault(int control);
/// The default of a small-console control (process 0 to 4, control 0 to 8).
int16_t SmallControlDefault(int process, int control);

/// Where (channel, process, control) lives in the state block on a console type, or -1 when the
/// state keeps no value for it. The channel must be below kConsolePaths. On the large consoles a
/// process below 36 is a control process; a process p from 36 up is a route when
/// 0 <= p - firstRouteProcess < 48 and the control is below 4.
inline int StateSlot(int consoleType, int firstRouteProcess, int channel, int process, int control)
{
    if (channel < 0 || channel >= kConsolePaths || control < 0) return -1;
    if (IsSmallConsole(consoleType)) {
        if (process < 0 || process >= kSmallProcesses || control >= kControls) return -1;
        return kSmallRegion + (channel * kSmallProcesses + process) * kControls + control;
    }
    if (process < 0) return -1;
    if (process < kProcesses) return control < kControls ? (channel * kProcesses + process) * kControls + control : -1;
    const int64_t route = int64_t{process} - firstRouteProcess;
    if (route < 0 || route >= kRoutes || control >= kRouteControls) return -1;
    return kRouteRegion + (channel * kRoutes + static_cast<int>(route)) * kRouteControls + control;
}

/// The number of the first (first channel, count) pair of `pairs` that holds the channel, else 0.
int ChannelSection(const int* pairs, int64_t count, int channel);

/// time + delta as the 32-bit time stamps of the events wrap.
inline int32_t AddTime(int64_t time, int64_t delta) { return static_cast<int32_t>(time + delta); }

/// The time moved onto the quarter-frame slot slotBase mod 4 (remainders take the sign of the
/// dividend): forward to the first time at or after it, or, nearest, within the time's frame.
inline int32_t AlignToSlot(int64_t slotBase, int32_t time, bool nearest)
{
    const int64_t a = slotBase % 4;
    const int64_t b = time % 4;
    return nearest ? AddTime(time, a - b) : AddTime(time, (a - b + 4) % 4);
}

}  // namespace channelstate
