#include "trevanny/ControlTrack.h"

#include <algorithm>
#include <vector>

#include "ChannelDefaults.h"
#include "EventConsole.h"
#include "trevanny/AutomationNotifications.h"
#include "trevanny/ChannelStateTable.h"

using namespace channelstate;

namespace {

constexpr WPARAM kRangeCopyNotification = 2;
constexpr int kRangeCopyPostEvery = 200;
constexpr INT_PTR kCutTargetGrowBy = 1024;
constexpr BYTE kEditedFlags = 1;
// A step is counted in frames of 4 time units.
constexpr int kUnitsPerFrame = 4;

int16_t clampToShort(int64_t v) { return static_cast<int16_t>(std::clamp<int64_t>(v, INT16_MIN, INT16_MAX)); }

}  // namespace

// ---- ramp requests ------------------------------------------------------------------------

void CRampList::Add(int time, int kind, int length, int step)
{
    if (kind == 3) length = std::min(length, time);
    m_Entries.Add(Entry{kind, time, clampToShort(length), clampToShort(step)});
}

bool CRampList::GetAt(int index, CRampRecord& record) const
{
    if (index < 0 || index >= m_Entries.GetSize()) return false;
    const Entry& e = m_Entries[index];
    record.m_nKind = e.kind;
    record.m_nTime = e.time;
    record.m_nLength = e.length;
    record.m_nStep = e.step;
    return true;
}

void CRampList::SetRamps(int start, int length, int kindIn, int kindOut, int ramp, int step, bool append)
{
    if (!append) RemoveAll();
    const int end = AddTime(start, length);
    if (kindIn == 3 && kindOut == 2) {
        Add(start, 3, ramp, step);
        Add(end, 2, ramp, step);
    } else if (kindIn == 3 && kindOut == 3) {
        Add(start, 3, ramp, step);
        Add(end, 3, std::min(ramp, length), step);
    } else if (kindIn == 2 && kindOut == 2) {
        Add(start, 2, std::min(ramp, length), step);
        Add(end, 2, ramp, step);
    } else if (kindIn == 2 && kindOut == 3) {
        Add(start, 2, ramp, step);
        Add(end, 3, std::min(ramp, length / 2), step);
    }
}

// ---- the track ----------------------------------------------------------------------------

CControlTrack::CControlTrack(const CControlTrack& other)
    : CAutomationEventArray(),
      m_nPath(other.m_nPath),
      m_nProcess(other.m_nProcess),
      m_nControl(other.m_nControl),
      m_nFirstRouteProcess(other.m_nFirstRouteProcess),
      m_nDefaultValue(other.m_nDefaultValue),
      m_nEndTime(other.m_nEndTime),
      m_nTimeBase(other.m_nTimeBase)
{
    Copy(other);
}

void CControlTrack::Setup(int section, int path, int process, int control, int firstRouteProcess, int endTime, int timeBase)
{
    m_nPath = path;
    m_nProcess = process;
    m_nControl = control;
    m_nFirstRouteProcess = firstRouteProcess;
    m_nEndTime = endTime;
    m_nTimeBase = timeBase;
    const int type = CurrentConsoleType();
    const bool small = IsSmallConsole(type);
    if (process >= 0 && process < (small ? kSmallProcesses : kProcesses) && control >= 0 && control < kControls) {
        m_nDefaultValue = small ? SmallControlDefault(process, control) : ControlDefault(ConsoleFamily(type), section, process, control);
    } else if (!small && int64_t{process} >= firstRouteProcess && int64_t{process} < int64_t{firstRouteProcess} + kRoutes &&
               control >= 0 && control < kRouteControls) {
        m_nDefaultValue = RouteDefault(control);
    }
}

int CControlTrack::FindTime(int time, bool after) const
{
    const INT_PTR n = GetSize();
    if (n == 0) return -1;
    if (time == -1) return 0;
    // Bisection: the last index earlier than time, or 0 (then the first at or after it).
    const CAutomationEvent* e = GetData();
    INT_PTR lo = 0, hi = n, mid = 0, last = -1;
    for (;;) {
        mid = (lo + hi) / 2;
        if (mid == last) break;
        if (e[mid].m_Time < time) lo = mid;
        else hi = mid;
        last = mid;
    }
    return static_cast<int>(after && e[mid].m_Time < time ? mid + 1 : mid);
}

int CControlTrack::AlignTime(int time, bool nearest) const
{
    if (IsSmallConsole(CurrentConsoleType())) return time;
    return AlignToSlot(int64_t{m_nTimeBase} + m_nPath, time, nearest);
}

CAutomationEvent CControlTrack::trackEvent(int time, short value, short oldValue) const
{
    return CAutomationEvent(time, static_cast<DWORD>(m_nPath), static_cast<BYTE>(m_nProcess), static_cast<BYTE>(m_nControl),
                            value, kEditedFlags, static_cast<WORD>(oldValue));
}

void CControlTrack::rangeOf(int start, int end, int& first, int& last) const
{
    const CAutomationEvent* e = GetData();
    const int n = static_cast<int>(GetSize());
    if (end == -1) end = e[n - 1].m_Time;
    first = FindTime(start, false);
    if (e[first].m_Time < start) ++first;
    last = first;
    while (last < n && e[last].m_Time < end) ++last;
}

int CControlTrack::CutRange(CAutomationEventArray& target, int start, int end, bool copy)
{
    target.RemoveAll();
    if (copy) target.SetSize(0, kCutTargetGrowBy);
    return cutRange(copy ? &target : nullptr, start, end);
}

int CControlTrack::cutRange(CAutomationEventArray* target, int start, int end)
{
    if (GetSize() == 0) return -1;
    int first = 0, last = 0;
    rangeOf(start, end, first, last);
    if (target) {
        if (last > first) {
            target->SetSize(last - first, kCutTargetGrowBy);
            std::copy(GetData() + first, GetData() + last, target->GetData());
        } else {
            target->Add(heldAt(start));
        }
    }
    if (last == first) return first;
    const int t = AlignTime(end == -1 ? GetData()[GetSize() - 1].m_Time : end, false);
    if (last == GetSize() && t < m_nEndTime) {
        // The cut reaches the end of the track: its last event stays, just after the cut.
        GetData()[last - 1].m_Time = AddTime(t, 4);
        RemoveAt(first, last - 1 - first);
        return static_cast<int>(GetSize()) - 1;
    }
    RemoveAt(first, last - first);
    return first;
}

CAutomationEvent CControlTrack::heldAt(int start) const
{
    CAutomationEvent held = GetData()[FindTime(start, false)];
    held.m_Time = start;
    held.m_OldValue = static_cast<WORD>(held.GetValue());
    return held;
}

void CControlTrack::CopyRange(CAutomationEventArray& target, int start, int end, bool append)
{
    if (!append) target.RemoveAll();
    const INT_PTR n = GetSize();
    if (n == 0) return;
    int first = 0, last = 0;
    rangeOf(start, end, first, last);
    const bool post = GetStatusWnd() != NULL;
    for (int i = first; i < last; ++i) {
        if (post && i % kRangeCopyPostEvery == 0) PostAutomationNotification(kRangeCopyNotification, AutomationProgressArgument(i, n));
        target.Add(GetData()[i]);
    }
    if (last == first) target.Add(heldAt(start));
}

void CControlTrack::InsertEvents(const CAutomationEventArray& source, int fromTime, int toTime)
{
    const INT_PTR n = source.GetSize();
    if (n == 0) return;
    const CAutomationEvent& only = source.GetData()[0];
    if (n == 1 && static_cast<short>(only.m_OldValue) == only.GetValue() && GetSize() == 0 && only.GetValue() == m_nDefaultValue)
        return;
    for (INT_PTR i = 0; i < n; ++i) {
        CAutomationEvent e = source.GetData()[i];
        if (e.m_Time != 0) e.m_Time = AlignTime(AddTime(int64_t{e.m_Time} - fromTime, toTime), false);
        e.m_Path = static_cast<DWORD>(m_nPath);
        Add(e);
    }
    GetData()[0].m_OldValue = static_cast<WORD>(m_nDefaultValue);
    Sort(SortByTime);
}

int CControlTrack::ValueAt(int time, int& index, short& before, short& after)
{
    const INT_PTR n = GetSize();
    if (n < 2) return 0;
    index = FindTime(time, false);
    const CAutomationEvent* e = GetData();
    if (e[index].m_Time < time) ++index;
    if (index >= n) return 0;
    before = index == 0 ? m_nDefaultValue : e[index - 1].GetValue();
    const CAutomationEvent& at = e[index];
    after = at.m_Time <= time ? at.GetValue() : static_cast<short>(at.m_OldValue);
    if (static_cast<short>(at.m_OldValue) != before) return 1;
    if (at.GetValue() == before) {
        RemoveAt(index);
        return 0;
    }
    return index + 1 < n && e[index + 1].m_Time == at.m_Time ? 1 : 0;
}

void CControlTrack::ApplyRamp(const CRampRecord& record)
{
    const int t = AlignTime(record.m_nTime, false);
    int index = 0;
    short before = 0, after = 0;
    if (!ValueAt(t, index, before, after)) return;
    CAutomationEvent* e = GetData();
    const int n = static_cast<int>(GetSize());
    if (record.m_nLength == 0 || !IsContinuousControl(m_nProcess, m_nControl, m_nFirstRouteProcess)) {
        // One step at t.
        if (e[index].m_Time != t) Add(trackEvent(t, after, before));
        else if (e[index].GetValue() == before) RemoveAt(index);
        else e[index].m_OldValue = static_cast<WORD>(before);
    } else if (record.m_nKind == 2) {
        const int64_t rampEnd = int64_t{t} + record.m_nLength;
        while (index < n && e[index].m_Time <= rampEnd) ++index;
        if (index >= 1) BuildRamp(t, 2, before, e[index - 1].GetValue(), record.m_nStep, record.m_nLength);
    } else if (record.m_nKind == 3) {
        const int64_t rampStart = int64_t{t} - record.m_nLength;
        while (index >= 0 && e[index].m_Time >= rampStart) --index;
        BuildRamp(t, 3, e[std::max(index, 0)].GetValue(), after, record.m_nStep, record.m_nLength);
    }
    if (GetSize() == 2 && static_cast<short>(GetData()[1].m_OldValue) == GetData()[1].GetValue()) RemoveAt(1);
}

short CControlTrack::BuildRamp(int time, int kind, short from, short to, short step, short length)
{
    if (GetSize() == 0) return -1;
    if (length == 0) return from;
    int64_t start = time;
    int64_t span = length;
    if (kind == 3) {
        start = int64_t{time} - length;
        if (start < 0) {
            if (time == 0) return from;
            start = 0;
            span = time;
        }
    } else if (kind != 2) {
        return -1;
    }
    const int first = AlignTime(static_cast<int>(start), true);
    const int64_t change = int64_t{to} - from;
    const int64_t stride = int64_t{std::max<short>(step, 1)} * kUnitsPerFrame;
    std::vector<CAutomationEvent> ramp;
    short value = from;
    for (int64_t k = 0; k < span - 4; k += stride) {
        const short v = static_cast<short>(from + change * k / span);
        if (v != value) ramp.push_back(trackEvent(AddTime(first, k), v, value));
        value = v;
    }
    const int at = cutRange(nullptr, static_cast<int>(start), AddTime(start, span));
    if (at >= 0 && at < GetSize()) GetData()[at].m_OldValue = static_cast<WORD>(value);
    for (const CAutomationEvent& e : ramp) Add(e);
    if (GetSize() > 0 && GetData()[0].m_Time > 0 && static_cast<short>(GetData()[0].m_OldValue) != m_nDefaultValue) {
        Sort(SortByTime);
        // The state at time 0 goes after the sorted events: the callers sort again.
        Add(trackEvent(0, static_cast<short>(GetData()[0].m_OldValue), m_nDefaultValue));
    }
    return value;
}

void CControlTrack::EraseWithRamp(const CRampList& list)
{
    const int start = AlignTime(m_Filter.m_nStartTime, false);
    const int end = m_Filter.m_nEndTime == -1 ? -1 : AlignTime(m_Filter.m_nEndTime, false);
    cutRange(nullptr, start, end);
    CRampRecord record;
    list.GetAt(0, record);
    ApplyRamp(record);
}
