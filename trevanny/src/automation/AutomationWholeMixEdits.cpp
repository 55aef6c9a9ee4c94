// The whole-mix channel edits: isolate the chosen automation of the filter's window at a new
// start time, or erase it and leave every control after the window at the value it would have
// had. Both rebuild the mix through two channel state tables: A replays the array as it is, B
// builds the result.
#include <algorithm>
#include <climits>
#include <cstdint>

#include "trevanny/AutomationEventArray.h"
#include "trevanny/AutomationNotifications.h"
#include "trevanny/ChannelStateTable.h"

namespace {

// The result's table: its range copies report to the edited array's progress callback at every
// 200th index, when the percent has moved on since the last report (a range of millions of
// events is otherwise a flood of the same few percents).
class ProgressStateTable : public CChannelStateTable {
public:
    ProgressStateTable(CAutomationEventArray* out, int firstRouteProcess, const CPathMap& pathMap, int timeBase,
                       CAutomationEventArray& edited, CAutomationEventArray::ProgressCallback callback)
        : CChannelStateTable(out, firstRouteProcess, &pathMap, timeBase, &edited.m_Filter),
          m_edited(edited),
          m_callback(callback)
    {
    }
    void ReportProgress(int current, int total) override
    {
        if (current % 200 != 0) return;
        const LPARAM percent = AutomationProgressArgument(current, total);
        if (percent == m_lastPercent) return;
        m_lastPercent = percent;
        (m_edited.*m_callback)(current, total);
    }

private:
    CAutomationEventArray& m_edited;
    CAutomationEventArray::ProgressCallback m_callback;
    LPARAM m_lastPercent = -1;
};

// A filter time as the tables' 32-bit times, plus delta.
int tableTime(long time, int64_t delta = 0)
{
    return static_cast<int>(std::clamp<int64_t>(int64_t{time} + delta, INT_MIN, INT_MAX));
}

// The result in place of the events. Events the tables added at a channel's slot can stand up
// to 3 time units after events that follow them: only then is the result put in time order,
// by time alone, keeping the order of equal times. Only the stretch that holds every event out
// of place is sorted, so a few late state events in a large mix cost little.
void replaceEvents(CAutomationEventArray& events, CAutomationEventArray& out)
{
    CAutomationEvent* first = out.GetData();
    CAutomationEvent* last = first + out.GetSize();
    auto byTime = [](const CAutomationEvent& a, const CAutomationEvent& b) { return a.m_Time < b.m_Time; };
    CAutomationEvent* from = std::is_sorted_until(first, last, byTime);
    if (from != last) {
        // From the event before the first that is out of place to the last that is.
        --from;
        CAutomationEvent* to = last;
        while (!byTime(*(to - 1), *(to - 2))) --to;  // to - 1 is earlier than the event before it
        const auto [low, high] = std::minmax_element(from, to, byTime);
        const int32_t lowest = low->m_Time, highest = high->m_Time;
        while (from != first && (from - 1)->m_Time > lowest) --from;
        while (to != last && to->m_Time < highest) ++to;
        std::stable_sort(from, to, byTime);
    }
    events.SetSize(out.GetSize());
    if (out.GetSize() > 0) std::copy(first, last, events.GetData());
}

// One edit's working objects: duplicates merged first, then table A over the array as it is and
// table B over the result, out.
struct WholeMixRebuild {
    WholeMixRebuild(CAutomationEventArray& events, int firstRouteProcess, const CPathMap& pathMap,
                    CAutomationEventArray::ProgressCallback progress)
        : edited(events),
          timeBase((events.BuildControlIndex(), events.ChannelTimeBase())),
          a(&events, firstRouteProcess, &pathMap, timeBase, nullptr),
          b(&out, firstRouteProcess, pathMap, timeBase, events, progress)
    {
    }
    /// A replays on to `time`; B takes what it passed over that its selection chooses, moved by
    /// offset.
    void PlayAndCopy(int time, int offset)
    {
        const int first = a.GetLastEvent() + 1;
        a.PlayTo(time, false);
        if (a.GetLastEvent() >= first) b.CopyEventRange(a, first, a.GetLastEvent(), offset, false);
    }
    /// The result takes the events' place.
    void Finish() { replaceEvents(edited, out); }

    CAutomationEventArray& edited;
    const int timeBase;
    CAutomationEventArray out;
    CChannelStateTable a;
    ProgressStateTable b;
};

}  // namespace

void CAutomationEventArray::IsolateChannelData(int firstRouteProcess, const CPathMap& pathMap)
{
    if (GetSize() == 0) return;
    WholeMixRebuild edit(*this, firstRouteProcess, pathMap, &CAutomationEventArray::IsolateProgress);
    edit.b.SetFilterMode(CChannelStateTable::IncludeFilter);

    // The chosen controls' values at the start time, at the new start.
    edit.a.PlayTo(tableTime(m_Filter.m_nStartTime), false);
    edit.b.PlayTo(tableTime(m_Filter.m_nNewStartTime), false);
    const int offset = tableTime(0, int64_t{edit.b.GetPlayToTime()} - edit.a.GetPlayToTime());
    edit.b.ApplyFrom(edit.a);
    // Then their events of the window, moved by as much.
    edit.PlayAndCopy(tableTime(m_Filter.m_nEndTime), offset);
    edit.Finish();
}

void CAutomationEventArray::EraseChannelData(int firstRouteProcess, const CPathMap& pathMap)
{
    if (GetSize() == 0) return;
    WholeMixRebuild edit(*this, firstRouteProcess, pathMap, &CAutomationEventArray::EraseProgress);
    const long start = m_Filter.m_nStartTime;
    const long end = m_Filter.m_nEndTime;

    // Everything before the window stays: the state at 0, then the events up to the start.
    if (start != 0) {
        edit.a.PlayTo(0, false);
        edit.b.PlayTo(0, false);
        edit.b.ApplyFrom(edit.a);
        edit.PlayAndCopy(tableTime(start, -1), 0);
    }
    // The window's events stay but for the chosen ones.
    const int t = start < 2 ? 1 : tableTime(start);
    edit.b.SetFilterMode(CChannelStateTable::ExcludeFilter);
    edit.b.PlayTo(t - 1, false);
    edit.PlayAndCopy(tableTime(end), 0);
    // After the window every control goes back to the value it has in the mix as it was, and
    // every later event stays.
    edit.b.SetFilterMode(CChannelStateTable::NoFilter);
    const int after = edit.a.GetLastEvent() + 1;
    if (after <= GetSize() - 1) {
        edit.a.PlayTo(tableTime(end, 1), false);
        edit.b.PlayTo(tableTime(end, 1), false);
        edit.b.ApplyFrom(edit.a);
        edit.b.CopyEventRange(edit.a, after, static_cast<int>(GetSize() - 1), 0, false);
    }
    edit.Finish();
}
