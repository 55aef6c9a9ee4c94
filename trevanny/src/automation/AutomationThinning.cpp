// Thinning of recorded automation: small monotonic steps of a fader, and in short bursts of
// closely spaced events on one control the step that changes least, within the filter's time
// window and channels.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ChannelDefaults.h"
#include "EventConsole.h"
#include "trevanny/AutomationEventArray.h"
#include "trevanny/AutomationNotifications.h"
#include "trevanny/SharedConstants.h"

using channelstate::IsSmallConsole;

namespace {

constexpr WPARAM kThinPercentNotification = 33;
constexpr WPARAM kThinRemovedNotification = 34;

// Burst window in events by strength 0 to 6 (0: no burst thinning).
constexpr int kBurstWindow[] = {0, 8, 7, 6, 5, 4, 3};
constexpr int kStrengths = static_cast<int>(std::size(kBurstWindow));

// Which controls may be thinned, by process 0 to 35 (bit k: control k).
constexpr uint16_t controls(std::initializer_list<int> on)
{
    uint16_t bits = 0;
    for (int k : on) bits = static_cast<uint16_t>(bits | 1u << k);
    return bits;
}
constexpr uint16_t kThinnable[36] = {
    controls({0, 3, 4, 7}),                                                                      // 0
    controls({0, 1, 3}), controls({0, 1, 3}), controls({0, 1, 3}), controls({0, 1, 3}),          // 1-4
    controls({0, 1, 3}), controls({0, 1, 3}), controls({0, 1, 3}), controls({0, 1, 3}),          // 5-8
    controls({0, 2}), controls({0, 2}),                                                          // 9, 10
    controls({1, 2, 3, 4, 5, 6}), controls({1, 2, 3, 4, 5, 6}), controls({1, 2, 3, 4, 5, 6}),    // 11-13
    controls({0, 1, 3}),                                                                         // 14
    controls({2, 3, 4, 5}), controls({2, 3, 4, 5}),                                              // 15, 16
    controls({0, 1, 2, 5, 6}), controls({0, 1, 2, 5, 6}),                                        // 17, 18
    controls({1, 3, 4, 5, 6}),                                                                   // 19
    controls({0, 1, 3}),                                                                         // 20
    controls({0, 1, 2, 3, 4}),                                                                   // 21
    controls({1, 2, 3, 4, 5, 6}),                                                                // 22
    controls({2}),                                                                               // 23
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                                          // 24-35
};
// Route processes: controls 1 and 2.
constexpr uint16_t kThinnableRoute = controls({1, 2});


int64_t distance(int64_t a, int64_t b) { return a > b ? a - b : b - a; }

bool isFaderControl(const CAutomationEvent& e, bool small)
{
    return e.GetProcessNumber() == (small ? 0 : 14) && e.GetControlNumber() < 2;
}

// Code 34 with the number removed: each of the first hundred removals, then whenever the
// removed share of the window has grown by a percent, so that a large mix gets about a hundred
// more posts however much is thinned.
class RemovedPosts {
public:
    explicit RemovedPosts(int64_t windowSize) : m_windowSize(windowSize > 0 ? windowSize : 1) {}
    void Removed(int removed)
    {
        const int64_t percent = int64_t{removed} * 100 / m_windowSize;
        if (removed >= 100 && percent == m_lastPercent) return;
        m_lastPercent = percent;
        PostAutomationNotification(kThinRemovedNotification, removed);
    }

private:
    int64_t m_windowSize;
    int64_t m_lastPercent = -1;
};

}  // namespace

int CAutomationEventArray::IsMonotonicRun(const CAutomationEvent* first, int count)
{
    if (count < 2) return TRUE;
    int previous = 0;
    for (int k = 1; k < count; ++k) {
        const int direction = first[k].GetValue() < first[k - 1].GetValue() ? -1 : 1;
        if (k >= 2 && (!first[k].IsSameControl(first[0]) || direction != previous)) return FALSE;
        previous = direction;
    }
    return TRUE;
}

int CAutomationEventArray::IsClosePair(const CAutomationEvent& a, const CAutomationEvent& b, int limit)
{
    return a.IsSameControl(b) && distance(a.m_Time, b.m_Time) < limit ? TRUE : FALSE;
}

int CAutomationEventArray::Thinnable(const CAutomationEvent& e, int firstRouteProcess)
{
    const int process = e.GetProcessNumber();
    const int control = e.GetControlNumber();
    if (control >= 9) return 0;
    if (IsSmallConsole(CurrentConsoleType())) return process < 5 ? (kThinnable[process] >> control & 1) : 0;
    if (process < 36) return kThinnable[process] >> control & 1;
    if (process >= firstRouteProcess && control < 4) return kThinnableRoute >> control & 1;
    return 0;
}

int CAutomationEventArray::ThinAutoData(int firstRouteProcess, const CPathMap& pathMap, int strength, int faderThreshold)
{
    int removed = BuildControlIndex();
    // A strength outside the table thins nothing more than the merge did.
    if (strength < 0 || strength >= kStrengths) return 0;
    const int window = kBurstWindow[strength];

    // The window: from the first event at or after the start time to the first at or after the
    // end time (an end time of -1: to the last event).
    const INT_PTR size = GetSize();
    INT_PTR i0 = 0, i1 = -1;
    if (size > 0) {
        i0 = GetAtTime(m_Filter.m_nStartTime, 0);
        i1 = m_Filter.m_nEndTime == -1 ? size - 1 : GetAtTime(m_Filter.m_nEndTime, 0);
    }
    const INT_PTR n = i1 >= i0 ? i1 - i0 + 1 : 0;
    // What stays: the events outside the window in their order, then the window's kept events.
    // The window is thinned in place at the front of the array.
    std::vector<CAutomationEvent> outside;
    CAutomationEvent* data = GetData();
    if (n == 0) {
        outside.assign(data, data + size);
    } else {
        outside.reserve(static_cast<size_t>(size - n));
        outside.insert(outside.end(), data, data + i0);
        outside.insert(outside.end(), data + i1 + 1, data + size);
        std::memmove(static_cast<void*>(data), data + i0, static_cast<size_t>(n) * sizeof(CAutomationEvent));
    }
    SetSize(n);
    Sort(SortByPathControlTime);

    bool flagged[kConsolePaths] = {};
    for (INT_PTR k = 0; k < m_Filter.m_ChannelList.GetSize(); ++k) {
        const int path = m_Filter.m_ChannelList[k];
        if (path >= 0 && path < kConsolePaths) flagged[path] = true;  // others name no channel
    }
    const bool small = IsSmallConsole(CurrentConsoleType());

    PostAutomationNotification(kThinPercentNotification, 0);
    PostAutomationNotification(kThinRemovedNotification, removed);
    RemovedPosts posts(n);
    // The kept events go to e[0 .. kept): never past the event being read.
    CAutomationEvent* e = GetData();
    INT_PTR kept = 0;
    auto keep = [&](INT_PTR index) { e[kept++] = e[index]; };
    if (n <= window) {
        kept = n;  // too few to thin: the window stays whole
    } else {
        const INT_PTR percentEvery = n / 100 + 1;
        for (INT_PTR i = 0; i < n; ++i) {
            if (i % percentEvery == 0) PostAutomationNotification(kThinPercentNotification, AutomationProgressArgument(i, n));
            const CAutomationEvent base = e[i];
            const bool candidate = base.m_Path < static_cast<DWORD>(kConsolePaths) && flagged[base.m_Path] &&
                                   (small || m_Filter.IsProcControlInFilter(base.GetProcessNumber(), base.GetControlNumber())) &&
                                   base.m_Time > 0 && Thinnable(base, firstRouteProcess);
            keep(i);
            if (!candidate) continue;

            // Fader: each next step of a run that keeps its direction goes while it stays within
            // the threshold of the event kept.
            if (faderThreshold != 0 && isFaderControl(base, small)) {
                const short value = base.GetValue();
                while (i < n - 3 && IsMonotonicRun(e + i, 3) && distance(value, e[i + 1].GetValue()) <= faderThreshold) {
                    ++i;
                    posts.Removed(++removed);
                }
            }

            // Burst: of window events close together on one control, the smallest step inside a
            // monotonic stretch goes.
            if (window != 0 && i < n - window) {
                const CAutomationEvent first = e[i];
                int best = -1;
                int64_t minStep = distance(e[i + 1].GetValue(), first.GetValue());
                int count = 0;
                for (int k = 1; k < window; ++k) {
                    if (!IsClosePair(e[i + k], first, 4 * k)) break;
                    const int64_t step = distance(e[i + k].GetValue(), e[i + k - 1].GetValue());
                    if (step <= minStep && k < window - 1 && IsMonotonicRun(e + i + k - 1, 3)) {
                        best = k;
                        minStep = step;
                    }
                    ++count;
                }
                if (count == window - 1 && best != -1 && int64_t{e[i + count].m_Time} - first.m_Time <= 4 * count) {
                    for (int k = 1; k < window; ++k)
                        if (k != best) keep(i + k);
                    i += window - 1;
                    posts.Removed(++removed);
                }
            }
        }
    }

    SetSize(static_cast<INT_PTR>(outside.size()) + kept);
    e = GetData();
    if (!outside.empty()) {
        std::memmove(static_cast<void*>(e + outside.size()), e, static_cast<size_t>(kept) * sizeof(CAutomationEvent));
        std::memcpy(static_cast<void*>(e), outside.data(), outside.size() * sizeof(CAutomationEvent));
    }
    PostAutomationNotification(kThinRemovedNotification, removed);
    Sort(SortByTime);
    SetOldValues(firstRouteProcess, pathMap);
    return removed;
}
