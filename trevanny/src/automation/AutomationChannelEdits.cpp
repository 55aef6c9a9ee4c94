// The channel copy, merge and ranged erase of the event array: run by run through control
// tracks, on the array in path order, with the rebuilt runs gathered at the end and a final
// sort by time.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "ChannelDefaults.h"
#include "EventConsole.h"
#include "trevanny/AutomationEventArray.h"
#include "trevanny/AutomationNotifications.h"
#include "trevanny/ControlTrack.h"

using namespace channelstate;

namespace {

constexpr WPARAM kEraseChannelNotification = 20;
constexpr WPARAM kWindowNotification = 21;
constexpr WPARAM kDestinationNotification = 22;
constexpr WPARAM kPercentNotification = 23;
constexpr INT_PTR kWindowGrowBy = 5120;
constexpr BYTE kEditedFlags = 1;

// The controls the window takes of each process: 0 to this one (-1: none).
constexpr int8_t kLastControl[kProcesses] = {
    7, 7, 7, 7, 7, 7, 7, 7, 7,  // 0-8
    5, 5,                       // 9, 10
    8, 8, 8,                    // 11-13
    2,                          // 14
    7, 7,                       // 15, 16
    6, 6,                       // 17, 18
    8,                          // 19
    7,                          // 20
    4,                          // 21
    5,                          // 22
    3,                          // 23
    7, 7, 7, 7, 7, 7, 7,        // 24-30
    3,                          // 31
    0, 0, 0, 0,                 // 32-35
};
constexpr int8_t kLastSmallControl[2][kSmallProcesses] = {
    {2, 2, 5, -1, -1},  // console type 1
    {2, 2, 5, 8, 3},    // console type 6
};

int lastControl(int type, int process)
{
    if (IsSmallConsole(type)) return kLastSmallControl[type == 6][process];
    return kLastControl[process];
}

LPARAM percent(int64_t index, int64_t count) { return AutomationProgressArgument(index, count); }

// The runs taken out of an array in path order during one edit. A removed run stays where it
// is until the edit ends, when all of them leave in one pass and the rebuilt runs follow the
// events that stay: the array the step-by-step removal would leave, without moving the tail
// once per run. Meanwhile the lookups of the edit go forward past removed runs (a channel's
// runs are taken in order, and the next channel is looked for behind the last); a lookup that
// would meet a removed run (a channel listed twice) has the runs removed first.
class RunRemoval {
public:
    explicit RunRemoval(CAutomationEventArray& events) : m_events(events) {}

    void Remove(int pos, int count)
    {
        m_removed.emplace_back(pos, count);
        m_count += count;
    }
    void Append(const CAutomationEventArray& run) { m_tail.insert(m_tail.end(), run.GetData(), run.GetData() + run.GetSize()); }

    /// FindPathStart over lo to hi; lo receives the path's first index (0 when it has none).
    int FindPathStart(int path, int& lastTime, int& lo, int& hi)
    {
        const int from = lo;
        int found = m_events.FindPathStart(path, lo, lastTime, from, hi);
        if (found >= 0 && touches(lo, found)) {
            lo = from;
            compact(lo, hi);
            found = m_events.FindPathStart(path, lo, lastTime, lo, hi);
        }
        return found;
    }

    /// Removes the runs and puts the rebuilt ones at the end.
    void Finish()
    {
        int lo = 0, hi = 0;
        compact(lo, hi);
        const INT_PTR kept = m_events.GetSize();
        m_events.SetSize(kept + static_cast<INT_PTR>(m_tail.size()));
        if (!m_tail.empty()) std::memcpy(static_cast<void*>(m_events.GetData() + kept), m_tail.data(), m_tail.size() * sizeof(CAutomationEvent));
        m_tail.clear();
    }

private:
    bool touches(int first, int last) const
    {
        return std::any_of(m_removed.begin(), m_removed.end(),
                           [&](const std::pair<int, int>& r) { return r.first <= last && r.first + r.second > first; });
    }
    // Takes the removed runs out of the array; lo and hi follow the events they index.
    void compact(int& lo, int& hi)
    {
        if (m_removed.empty()) return;
        std::sort(m_removed.begin(), m_removed.end());
        CAutomationEvent* e = m_events.GetData();
        const INT_PTR n = m_events.GetSize();
        INT_PTR write = m_removed.front().first;
        int before = 0;
        for (size_t k = 0; k < m_removed.size(); ++k) {
            const INT_PTR from = m_removed[k].first + m_removed[k].second;
            const INT_PTR to = k + 1 < m_removed.size() ? m_removed[k + 1].first : n;
            std::memmove(static_cast<void*>(e + write), e + from, static_cast<size_t>(to - from) * sizeof(CAutomationEvent));
            write += to - from;
            if (m_removed[k].first < lo) before += m_removed[k].second;
        }
        m_events.SetSize(write);
        lo -= before;
        hi -= m_count;
        m_removed.clear();
        m_count = 0;
    }

    CAutomationEventArray& m_events;
    std::vector<std::pair<int, int>> m_removed;
    int m_count = 0;
    std::vector<CAutomationEvent> m_tail;
};

}  // namespace

int CAutomationEventArray::ChannelTimeBase() const
{
    if (GetSize() == 0 || IsSmallConsole(CurrentConsoleType())) return 0;
    const CAutomationEvent& last = GetData()[GetSize() - 1];
    return static_cast<int>(std::abs(int64_t{static_cast<int32_t>(last.m_Path) % 4} - last.m_Time % 4));
}

void CAutomationEventArray::ExtractChannelWindow(CAutomationEventArray& window, int firstRouteProcess, const CPathMap& pathMap,
                                                 int timeBase)
{
    window.RemoveAll();
    window.SetSize(0, kWindowGrowBy);
    if (m_Filter.m_ChannelList.GetSize() == 0) return;
    const int c = m_Filter.m_ChannelList[0];
    if (c < 0 || c >= GetMaxPathCount()) return;  // a channel the console does not have
    if (m_hStatusWnd) PostAutomationNotification(kWindowNotification, int64_t{c} + 1);
    const int section = pathMap.GetSection(c);
    int first = 0, lastTime = 0;
    const int last = FindPathStart(c, first, lastTime, 0, static_cast<int>(GetSize()) - 1);
    int pos = first;
    const int type = CurrentConsoleType();
    const int start = static_cast<int>(m_Filter.m_nStartTime);
    const int end = static_cast<int>(m_Filter.m_nEndTime);
    CControlTrack track;
    auto take = [&](int process, int control) {
        if (!m_Filter.IsProcControlInFilter(process, control)) return;
        track.RemoveAll();
        track.Setup(section, c, process, control, firstRouteProcess, lastTime, timeBase);
        if (last >= 0 && ExtractRun(track, c, process, control, pos, last)) {
            pos += static_cast<int>(track.GetSize());
        } else {
            track.Add(CAutomationEvent(start, static_cast<DWORD>(c), static_cast<BYTE>(process), static_cast<BYTE>(control),
                                       track.m_nDefaultValue, kEditedFlags, static_cast<WORD>(track.m_nDefaultValue)));
        }
        track.CopyRange(window, start, end, true);
    };
    const int processes = IsSmallConsole(type) ? kSmallProcesses : kProcesses;
    for (int p = 0; p < processes; ++p)
        for (int k = 0; k <= lastControl(type, p); ++k) take(p, k);
    if (!IsSmallConsole(type)) {
        for (int r = 0; r < kRoutes; ++r) {
            // A route whose process number an event cannot carry has no automation.
            const int64_t process = int64_t{firstRouteProcess} + r;
            if (process < 0 || process > 255) continue;
            for (int k = 0; k < kRouteControls; ++k) take(static_cast<int>(process), k);
        }
    }
    window.Sort(SortByPathControlTime);
}

void CAutomationEventArray::MergeChannelWindow(CAutomationEventArray& window, short rampStep, short rampLength,
                                               TimeDirection rampIn, TimeDirection rampOut, int firstRouteProcess,
                                               const CPathMap& pathMap, int timeBase, int itemNumber, int itemCount, int mergeMode)
{
    const int start = static_cast<int>(m_Filter.m_nStartTime);
    const int end = static_cast<int>(m_Filter.m_nEndTime);
    const int third = static_cast<int>(m_Filter.m_nNewStartTime);
    const int length = AddTime(end, -int64_t{start});
    CRampList ramps;
    ramps.SetRamps(third, length, rampIn, rampOut, rampLength, rampStep, false);

    RunRemoval removal(*this);
    int lo = 0;
    int hi = static_cast<int>(GetSize()) - 1;
    CControlTrack dest, scratch;
    CAutomationEventArray run;
    const int count = static_cast<int>(m_Filter.m_DestChannelList.GetSize());
    const CAutomationEvent* w = window.GetData();
    const INT_PTR windowSize = window.GetSize();
    for (int i = 0; i < count; ++i) {
        const int d = m_Filter.m_DestChannelList[i];
        if (d < 0 || d >= GetMaxPathCount()) continue;  // a channel the console does not have
        const int s = mergeMode != 0 && window.m_Filter.m_ChannelList.GetSize() > 0 ? window.m_Filter.m_ChannelList[0] : d;
        if (m_hStatusWnd) {
            PostAutomationNotification(kDestinationNotification, int64_t{s} + 1);
            PostAutomationNotification(kPercentNotification,
                                       itemNumber != 0 && itemCount != 0 ? percent(itemNumber, itemCount) : percent(i, count));
        }
        int lastTime = 0;
        const int last = removal.FindPathStart(s, lastTime, lo, hi);
        int pos = lo;
        const int section = pathMap.GetSection(d);
        for (INT_PTR r0 = 0, r1 = 0; r0 < windowSize; r0 = r1) {
            const BYTE process = w[r0].GetProcessNumber();
            const BYTE control = w[r0].GetControlNumber();
            for (r1 = r0 + 1; r1 < windowSize && w[r1].GetProcessNumber() == process && w[r1].GetControlNumber() == control; ++r1) {
            }
            run.SetSize(r1 - r0);
            std::copy(w + r0, w + r1, run.GetData());
            dest.RemoveAll();
            dest.m_nDefaultValue = 0;  // a new track for every run
            dest.Setup(section, d, process, control, firstRouteProcess, lastTime, timeBase);
            int extracted = 0;
            if (last >= 0 && ExtractRun(dest, d, process, control, pos, last)) {
                extracted = static_cast<int>(dest.GetSize());
                if (mergeMode == 0) dest.CutRange(scratch, third, AddTime(third, length), false);
                else dest.CutRange(scratch, 0, length, false);
            }
            dest.InsertEvents(run, start, third);
            if (mergeMode == 0) {
                CRampRecord ramp;
                ramps.GetAt(0, ramp);
                dest.ApplyRamp(ramp);
                dest.Sort(SortByTime);
                ramps.GetAt(1, ramp);
                dest.ApplyRamp(ramp);
            }
            removal.Append(dest);
            if (extracted > 0) {
                removal.Remove(pos, extracted);
                pos += extracted;
            }
        }
        if (last >= 0) lo = last + 1;
    }
    removal.Finish();
}

void CAutomationEventArray::CopyChannelData(short rampStep, short rampLength, TimeDirection rampIn, TimeDirection rampOut,
                                            int firstRouteProcess, const CPathMap& pathMap)
{
    if (GetSize() == 0) return;
    const int timeBase = ChannelTimeBase();
    BuildControlIndex();
    Sort(SortByPathControlTime);
    CAutomationEventArray window;
    ExtractChannelWindow(window, firstRouteProcess, pathMap, timeBase);
    if (window.GetSize() > 0)
        MergeChannelWindow(window, rampStep, rampLength, rampIn, rampOut, firstRouteProcess, pathMap, timeBase, 0, 0, 0);
    Sort(SortByTime);
}

void CAutomationEventArray::MergeChannelData(CAutomationEventArray& source, short rampStep, short rampLength, TimeDirection rampIn,
                                             TimeDirection rampOut, int firstRouteProcess, const CPathMap& pathMap, int timeBase,
                                             int itemNumber, int itemCount, int mergeMode)
{
    if (GetSize() == 0) return;
    BuildControlIndex();
    Sort(SortByPathControlTime);
    source.Sort(SortByPathControlTime);
    CAutomationEventArray window;
    source.ExtractChannelWindow(window, firstRouteProcess, pathMap, timeBase);
    if (window.GetSize() > 0) {
        window.m_Filter.m_ChannelList.Copy(source.m_Filter.m_ChannelList);
        MergeChannelWindow(window, rampStep, rampLength, rampIn, rampOut, firstRouteProcess, pathMap, timeBase, itemNumber, itemCount,
                           mergeMode);
    }
    if (itemNumber == itemCount) Sort(SortByTime);
}

void CAutomationEventArray::EraseChannelData(short rampStep, short rampLength, TimeDirection direction, int firstRouteProcess,
                                             const CPathMap& pathMap)
{
    if (GetSize() == 0) return;
    BuildControlIndex();
    const int timeBase = ChannelTimeBase();
    Sort(SortByPathControlTime);
    CRampList ramps;
    const int end = static_cast<int>(m_Filter.m_nEndTime);
    ramps.Add(end, direction, rampLength, rampStep);
    const int eraseStart = m_Filter.m_nStartTime < 2 ? 1 : static_cast<int>(m_Filter.m_nStartTime);

    RunRemoval removal(*this);
    int lo = 0;
    int hi = static_cast<int>(GetSize()) - 1;
    CControlTrack track;
    const int count = static_cast<int>(m_Filter.m_ChannelList.GetSize());
    for (int i = 0; i < count; ++i) {
        const int c = m_Filter.m_ChannelList[i];
        if (c < 0 || c >= GetMaxPathCount()) continue;  // a channel the console does not have
        if (m_hStatusWnd) {
            PostAutomationNotification(kEraseChannelNotification, int64_t{c} + 1);
            PostAutomationNotification(kPercentNotification, percent(i, count));
        }
        int lastTime = 0;
        const int last = removal.FindPathStart(c, lastTime, lo, hi);
        if (last < 0) continue;
        const int section = pathMap.GetSection(c);
        int pos = lo;
        while (pos <= last) {
            const CAutomationEvent e = GetData()[pos];
            const int process = e.GetProcessNumber();
            const int control = e.GetControlNumber();
            if (!m_Filter.IsProcControlInFilter(process, control)) {
                // A control that is not chosen keeps its run.
                const int runEnd = FindControl(c, process, control, pos, last);
                if (runEnd < 0) break;
                pos = runEnd + 1;
                continue;
            }
            track.Setup(section, c, process, control, firstRouteProcess, lastTime, timeBase);
            if (!ExtractRun(track, c, process, control, pos, last)) break;
            const int extracted = static_cast<int>(track.GetSize());
            track.m_Filter.m_nStartTime = eraseStart;
            track.m_Filter.m_nEndTime = end;
            track.EraseWithRamp(ramps);
            removal.Append(track);
            removal.Remove(pos, extracted);
            pos += extracted;
        }
        lo = last + 1;
    }
    removal.Finish();
    Sort(SortByTime);
}
