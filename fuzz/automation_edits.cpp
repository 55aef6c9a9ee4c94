// Fuzz target for the automation edits: a console, a filter, channel sections and events (any
// path, process, control and time) from the bytes, run through the duplicate merge, the old
// values and the time-stamp repair, then one family of edits chosen by the input: two channel
// state tables (replay, apply, range copy); the channel copy and ranged erase; a batch of two
// merges; or the thinning (strength -1 to 7 and a fader threshold from the bytes), the channel
// isolate and the whole-mix erase. Everything must stay in bounds and end; the merge must leave
// no duplicate behind, the repair and the edits must leave the events in time order, and the
// thinning must remove no more than it reports. One family a run keeps a run to a few state
// tables (each a fresh 2 MB block), so that the search runs fast.
//
// Input: byte 0 console (type from {1, 2, 3, 5, 6, 4, 7} by the low bits; path mode by bits
// 4-5: 3 for 500 or 2000 paths by bit 0 of byte 2, else 256) and the family (bits 6-7), 1 first
// route process (255: 2000), 2 time base, 3 filter mode (bits 0-1), progress (bit 2), 4 and 5
// filter channels (x 8; 255: 2000), 6 and 7 a filter pair (process 255: none), 8 section count;
// then 12-byte events: i32 time, u16 path (top bit: a path above 4 billion), process, control,
// i16 value, flags, and a byte unused.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FuzzFiles.h"
#include "trevanny/AutomationEventArray.h"
#include "trevanny/ChannelStateTable.h"
#include "trevanny/ConsoleConfig.h"
#include "trevanny/SharedConstants.h"

namespace {

constexpr size_t kHeader = 9;
constexpr size_t kRecord = 12;
constexpr size_t kMaxEvents = 4096;

int channelFrom(uint8_t b) { return b == 255 ? 2000 : b * 8; }

// The values of the channels the console handles (the rest of a block is never touched).
bool sameHandledValues(const CChannelStateTable& a, const CChannelStateTable& b)
{
    const int channels = std::min(CConsoleConfig().GetMaxPathCount(), kConsolePaths);
    for (int c = 0; c < channels; ++c) {
        CChannelStateTable::ValueRun runs[2];
        const int n = CChannelStateTable::ChannelValueRuns(c, runs);
        for (int r = 0; r < n; ++r) {
            const size_t bytes = sizeof(short) * static_cast<size_t>(runs[r].count);
            if (std::memcmp(a.GetValues() + runs[r].offset, b.GetValues() + runs[r].offset, bytes) != 0) return false;
        }
    }
    return true;
}

bool inTimeOrder(const CAutomationEventArray& a)
{
    return std::is_sorted(a.GetData(), a.GetData() + a.GetSize(),
                          [](const CAutomationEvent& x, const CAutomationEvent& y) { return x.m_Time < y.m_Time; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kHeader) return 0;
    static const int kTypes[] = {1, 2, 3, 5, 6, 4, 7};
    // Path mode 0 (256 paths) but for bits 4-5 = 3: 500 or 2000 paths make every state table
    // touch up to eight times the memory.
    const int pathBits = (data[0] >> 4) & 3;
    fuzzfiles::UseConsole(kTypes[(data[0] & 0x0F) % 7], pathBits == 3 ? 1 + (data[2] & 1) : 0);
    const int firstRouteProcess = data[1] == 255 ? 2000 : data[1];
    const int timeBase = static_cast<int8_t>(data[2]);
    const int filterMode = (data[3] & 3) % 3;
    const bool progress = (data[3] & 4) != 0;
    const int family = data[0] >> 6;

    CAutomationEventArray events;
    for (size_t at = kHeader; at + kRecord <= size && events.GetSize() < static_cast<INT_PTR>(kMaxEvents); at += kRecord) {
        const uint8_t* r = data + at;
        int32_t time;
        uint16_t path;
        int16_t value;
        std::memcpy(&time, r, 4);
        std::memcpy(&path, r + 4, 2);
        std::memcpy(&value, r + 8, 2);
        const DWORD fullPath = path & 0x8000 ? 0xFFFF0000u | path : path;
        events.Add(CAutomationEvent(time, fullPath, r[6], r[7], value, r[10]));
    }
    CPathMap sections("PathMap");
    for (int k = 0; k < data[8] % 20; ++k) {
        sections.Add(k * 37 - 5);
        sections.Add(40);
    }
    CEventFilter filter;
    filter.m_ChannelList.Add(channelFrom(data[4]));
    filter.m_ChannelList.Add(channelFrom(data[5]));
    if (data[6] != 255) filter.AddPair(data[6], data[7]);

    // The merge leaves nothing to merge a second time.
    const INT_PTR before = events.GetSize();
    const int merged = events.BuildControlIndex();
    if (merged < 0 || events.GetSize() != before - merged) std::abort();
    if (events.BuildControlIndex() != 0) std::abort();

    // The old values for the channel edits (the thinning sets its own; the tables need none).
    if (family == 1 || family == 2) events.SetOldValues(firstRouteProcess, sections);
    CAutomationEventArray original;
    original.Copy(events);

    // Two tables: one replays the events, the other takes its state and copies a range.
    if (family == 0) {
        CAutomationEventArray out;
        CChannelStateTable played(&events, firstRouteProcess, &sections, timeBase, nullptr);
        CChannelStateTable target(&out, firstRouteProcess, &sections, timeBase, &filter);
        target.SetFilterMode(filterMode);
        const int middle = events.GetSize() ? events[events.GetSize() / 2].GetTime() : 0;
        played.PlayTo(middle, progress);
        target.PlayTo(middle, progress);
        target.ApplyFrom(played);
        if (filterMode == 0 && !sameHandledValues(target, played)) std::abort();
        target.CopyEventRange(played, played.GetLastEvent() - 3, static_cast<int>(events.GetSize()) + 2, timeBase * 1000, progress);
        played.PlayTo(INT32_MAX, false);
    }

    events.MakeTimeStampsContinuous(0);
    if (!inTimeOrder(events)) std::abort();
    if (events.GetSize() > original.GetSize()) std::abort();

    if (family == 0) return 0;

    // The channel edits, with the window around the middle event and ramps from the bytes.
    const int64_t middle = events.GetSize() ? events[events.GetSize() / 2].GetTime() : 0;
    auto setWindow = [&](CAutomationEventArray& a) {
        a.m_Filter.m_nStartTime = static_cast<long>(std::clamp<int64_t>(middle - 200, INT32_MIN, INT32_MAX));
        a.m_Filter.m_nEndTime = static_cast<long>(std::clamp<int64_t>(middle + 40 * data[7], INT32_MIN, INT32_MAX));
        a.m_Filter.m_nNewStartTime = static_cast<long>(std::clamp<int64_t>(middle + 10 * timeBase, INT32_MIN, INT32_MAX));
        a.m_Filter.m_ChannelList.Copy(filter.m_ChannelList);
        a.m_Filter.m_DestChannelList.RemoveAll();
        for (uint8_t b : {data[5], data[4], data[6]}) a.m_Filter.m_DestChannelList.Add(channelFrom(b) % 2001);
        if (data[6] != 255) a.m_Filter.AddPair(data[6], data[7]);
    };
    using TD = CAutomationEventArray::TimeDirection;
    const TD rampIn = static_cast<TD>(2 + (data[3] >> 3) % 3);
    const TD rampOut = static_cast<TD>(2 + (data[3] >> 5) % 3);
    const short step = static_cast<short>(data[2] % 5);
    const short length = static_cast<short>(data[7] * 3);
    if (family == 1) {
        CAutomationEventArray edited;
        edited.Copy(original);
        setWindow(edited);
        edited.CopyChannelData(step, length, rampIn, rampOut, firstRouteProcess, sections);
        if (!inTimeOrder(edited)) std::abort();
        edited.EraseChannelData(step, length, rampIn, firstRouteProcess, sections);
        if (!inTimeOrder(edited)) std::abort();
        return 0;
    }
    if (family == 2) {
        CAutomationEventArray edited;
        edited.Copy(original);
        setWindow(edited);
        for (int item = 1; item <= 2; ++item) {
            CAutomationEventArray source;
            source.Copy(original);
            setWindow(source);
            edited.MergeChannelData(source, step, length, rampIn, rampOut, firstRouteProcess, sections, timeBase, item, 2, data[8] & item);
        }
        if (!inTimeOrder(edited)) std::abort();
        return 0;
    }

    // Thinning on the window, and the two whole-mix edits, of the repaired events (an array in
    // time order, as the edits expect it).
    CAutomationEventArray thinned;
    thinned.Copy(events);
    setWindow(thinned);
    if (data[7] & 1) thinned.m_Filter.m_nEndTime = -1;
    const int strength = data[2] % 9 - 1;
    const int removed = thinned.ThinAutoData(firstRouteProcess, sections, strength, data[7] % 8);
    if (removed < 0 || thinned.GetSize() > events.GetSize() || !inTimeOrder(thinned)) std::abort();
    if (strength >= 0 && strength < 7 && thinned.GetSize() != events.GetSize() - removed) std::abort();
    for (auto edit : {&CAutomationEventArray::IsolateChannelData, &CAutomationEventArray::EraseChannelData}) {
        CAutomationEventArray whole;
        whole.Copy(events);
        setWindow(whole);
        (whole.*edit)(firstRouteProcess, sections);
        if (!inTimeOrder(whole)) std::abort();
    }
    return 0;
}
