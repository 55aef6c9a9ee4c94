// Lookups on an event array in path order: path, process, control, time (paths as signed
// numbers, processes and controls as bytes).
#include <algorithm>
#include <cstdint>

#include "trevanny/AutomationEventArray.h"
#include "trevanny/AutomationNotifications.h"

namespace {

constexpr WPARAM kRunNotification = 1;
constexpr int kRunPostEvery = 500;

// Processes and controls are bytes: no event has any other number.
bool isByte(int v) { return v >= 0 && v <= 255; }
// (path, process, control) as one number in the array's order.
int64_t controlKey(int path, int process, int control) { return int64_t{path} * 65536 + process * 256 + control; }
int64_t controlKey(const CAutomationEvent& e)
{
    return controlKey(static_cast<int32_t>(e.m_Path), e.GetProcessNumber(), e.GetControlNumber());
}

// The range lo to hi as [first, end) pointers; empty when it holds nothing.
struct Range {
    const CAutomationEvent* first;
    const CAutomationEvent* end;
};
Range rangeOf(const CAutomationEventArray& a, int lo, int hi)
{
    const CAutomationEvent* data = a.GetData();
    const INT_PTR n = a.GetSize();
    const INT_PTR from = std::max(lo, 0);
    const INT_PTR to = hi == -1 || hi >= n ? n : std::max<INT_PTR>(hi + 1, from);
    return from >= to ? Range{data, data} : Range{data + from, data + to};
}

bool pathBefore(const CAutomationEvent& e, int path) { return static_cast<int32_t>(e.m_Path) < path; }
bool pathAfter(int path, const CAutomationEvent& e) { return path < static_cast<int32_t>(e.m_Path); }

}  // namespace

int CAutomationEventArray::FindPath(int path, int lo, int hi) const
{
    const Range r = rangeOf(*this, lo, hi);
    const CAutomationEvent* after = std::upper_bound(r.first, r.end, path, pathAfter);
    if (after == r.first || static_cast<int32_t>(after[-1].m_Path) != path) return -1;
    return static_cast<int>(after - 1 - GetData());
}

int CAutomationEventArray::FindPathStart(int path, int& first, int& lastTime, int lo, int hi) const
{
    const int found = FindPath(path, lo, hi);
    first = 0;
    lastTime = 0;
    if (found < 0) return -1;
    const Range r = rangeOf(*this, lo, hi);
    const CAutomationEvent* start = std::lower_bound(r.first, r.end, path, pathBefore);
    first = static_cast<int>(start - GetData());
    int32_t latest = start->m_Time;
    for (const CAutomationEvent* e = start; e <= GetData() + found; ++e) latest = std::max(latest, e->m_Time);
    lastTime = latest;
    return found;
}

int CAutomationEventArray::FindControl(int path, int process, int control, int lo, int hi) const
{
    if (!isByte(process) || !isByte(control)) return -1;
    const int64_t key = controlKey(path, process, control);
    const Range r = rangeOf(*this, lo, hi);
    const CAutomationEvent* after =
        std::upper_bound(r.first, r.end, key, [](int64_t k, const CAutomationEvent& e) { return k < controlKey(e); });
    if (after == r.first || controlKey(after[-1]) != key) return -1;
    return static_cast<int>(after - 1 - GetData());
}

int CAutomationEventArray::ExtractRun(CAutomationEventArray& out, int path, int process, int control, int& pos, int last) const
{
    out.RemoveAll();
    const Range r = rangeOf(*this, pos, last);
    if (!isByte(process) || !isByte(control) || r.first == r.end) return FALSE;
    const int64_t key = controlKey(path, process, control);
    const CAutomationEvent* start =
        std::lower_bound(r.first, r.end, key, [](const CAutomationEvent& e, int64_t k) { return controlKey(e) < k; });
    if (start == r.end || controlKey(*start) != key) return FALSE;
    const CAutomationEvent* stop =
        std::upper_bound(start, r.end, key, [](int64_t k, const CAutomationEvent& e) { return k < controlKey(e); });
    const INT_PTR from = start - GetData();
    const INT_PTR to = stop - GetData();
    pos = static_cast<int>(from);
    out.SetSize(to - from);
    std::copy(start, stop, out.GetData());
    for (INT_PTR i = (from + kRunPostEvery - 1) / kRunPostEvery * kRunPostEvery; i < to; i += kRunPostEvery)
        PostAutomationNotification(kRunNotification, static_cast<LPARAM>(i));
    return TRUE;
}
