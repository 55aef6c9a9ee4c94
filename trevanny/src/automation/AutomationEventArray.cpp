#include "trevanny/AutomationEventArray.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "trevanny/automation/AutomationNotifications.h"
#include "winport/RegistryObject.h"

namespace {

const char kServerKey[] = "SOFTWARE\\VOKDWEN\\KIVSERVER";
// The card link type whose records travel in the event record's own layout.
constexpr int kConvertingCardLinkType = 4;
// The record layouts of ConvertRecordLayout.
constexpr int kTimeFirstLayout = 1;
constexpr int kEventLayout = 101;

constexpr WPARAM kSortNotification = 31;
constexpr WPARAM kIsolateNotification = 19;
constexpr WPARAM kEraseNotification = 20;
constexpr size_t kKeptSortScratchBytes = size_t{64} << 20;

// Sort keys. Signed numbers are biased into unsigned order so that no comparison subtracts
// (a difference of two times near the int limits would overflow).
inline uint64_t biased(int32_t v) { return static_cast<uint32_t>(v) ^ 0x80000000u; }
inline uint32_t controlKey(const CAutomationEvent& e) { return uint32_t{e.GetProcessNumber()} << 8 | e.GetControlNumber(); }

struct TimeOrder {
    bool operator()(const CAutomationEvent& a, const CAutomationEvent& b) const
    {
        const uint64_t ka = biased(a.m_Time) << 32 | biased(static_cast<int32_t>(a.m_Path));
        const uint64_t kb = biased(b.m_Time) << 32 | biased(static_cast<int32_t>(b.m_Path));
        return ka != kb ? ka < kb : controlKey(a) < controlKey(b);
    }
};

struct PathControlTimeOrder {
    bool operator()(const CAutomationEvent& a, const CAutomationEvent& b) const
    {
        const uint64_t ka = biased(static_cast<int32_t>(a.m_Path)) << 32 | controlKey(a);
        const uint64_t kb = biased(static_cast<int32_t>(b.m_Path)) << 32 | controlKey(b);
        return ka != kb ? ka < kb : a.m_Time < b.m_Time;
    }
};

struct PathTimeOrder {
    bool operator()(const CAutomationEvent& a, const CAutomationEvent& b) const
    {
        const uint64_t ka = biased(static_cast<int32_t>(a.m_Path)) << 32 | biased(a.m_Time);
        const uint64_t kb = biased(static_cast<int32_t>(b.m_Path)) << 32 | biased(b.m_Time);
        return ka != kb ? ka < kb : controlKey(a) < controlKey(b);
    }
};

// ---- sorting ----
//
// A stable LSD radix sort on the words of the order's key, most significant first. The order
// the array is already in decides how much of the key must be sorted: a stable sort keeps the
// order of equal keys, so sorting on a leading part of the key is enough when, for equal
// values of that part, the array's present order already is the wanted one.

enum class KeyWord { Time, Path, Control };

uint32_t keyWord(const CAutomationEvent& e, KeyWord w)
{
    switch (w) {
    case KeyWord::Time: return static_cast<uint32_t>(biased(e.m_Time));
    case KeyWord::Path: return static_cast<uint32_t>(biased(static_cast<int32_t>(e.m_Path)));
    default: return controlKey(e);
    }
}

// Which of the three orders the events are in (bit m for mode m), in one pass.
unsigned ordersHeld(const CAutomationEvent* first, const CAutomationEvent* last)
{
    unsigned held = 7;
    const TimeOrder time;
    const PathControlTimeOrder pathControl;
    const PathTimeOrder pathTime;
    for (const CAutomationEvent* e = first; e + 1 < last && held; ++e) {
        if ((held & 1) && time(e[1], e[0])) held &= ~1u;
        if ((held & 2) && pathControl(e[1], e[0])) held &= ~2u;
        if ((held & 4) && pathTime(e[1], e[0])) held &= ~4u;
    }
    return held;
}

// Scratch space of the radix sort, kept by its owner between sorts: grown to the largest sort
// that needed it, never constructed (the events are trivially copyable).
struct SortScratch {
    std::unique_ptr<std::byte[]>& bytes;
    size_t& size;

    CAutomationEvent* For(size_t n)
    {
        const size_t need = n * sizeof(CAutomationEvent);
        if (size < need) {
            bytes.reset();
            bytes.reset(new std::byte[need]);
            size = need;
        }
        return reinterpret_cast<CAutomationEvent*>(bytes.get());
    }
};

// Below this many events a comparison sort is quicker than a radix sort's bucket counts.
constexpr size_t kSmallSort = size_t{1} << 14;

void radixSort(CAutomationEvent* first, CAutomationEvent* last, const std::vector<KeyWord>& words, SortScratch scratch)
{
    const size_t n = static_cast<size_t>(last - first);
    // Digits from the least significant: 16 bits each, 2 per word. Wide digits halve the
    // passes over the events, which is where the time goes.
    constexpr unsigned kBits = 16;
    constexpr size_t kBuckets = size_t{1} << kBits;
    const size_t digits = words.size() * 2;
    std::vector<uint32_t> counts(digits * kBuckets, 0);
    for (const CAutomationEvent* e = first; e != last; ++e) {
        for (size_t w = 0; w < words.size(); ++w) {
            const uint32_t k = keyWord(*e, words[words.size() - 1 - w]);
            counts[(2 * w) * kBuckets + (k & 0xFFFF)]++;
            counts[(2 * w + 1) * kBuckets + (k >> 16)]++;
        }
    }
    CAutomationEvent* src = first;
    CAutomationEvent* dst = nullptr;
    for (size_t d = 0; d < digits; ++d) {
        uint32_t* c = counts.data() + d * kBuckets;
        // A digit that every event shares moves nothing.
        if (std::find(c, c + kBuckets, static_cast<uint32_t>(n)) != c + kBuckets) continue;
        if (!dst) dst = scratch.For(n);
        uint32_t at = 0;
        for (size_t b = 0; b < kBuckets; ++b) {
            const uint32_t here = c[b];
            c[b] = at;
            at += here;
        }
        const KeyWord word = words[words.size() - 1 - d / 2];
        const unsigned shift = static_cast<unsigned>(kBits * (d % 2));
        for (const CAutomationEvent* e = src; e != src + n; ++e)
            std::memcpy(static_cast<void*>(dst + c[(keyWord(*e, word) >> shift) & 0xFFFF]++), e, sizeof *e);
        std::swap(src, dst);
    }
    if (src != first) std::memcpy(static_cast<void*>(first), src, n * sizeof(CAutomationEvent));
}

void sortEvents(CAutomationEvent* first, CAutomationEvent* last, int mode, SortScratch scratch)
{
    if (mode < CAutomationEventArray::SortByTime || mode > CAutomationEventArray::SortByPathTime) return;
    if (static_cast<size_t>(last - first) < kSmallSort) {
        switch (mode) {
        case CAutomationEventArray::SortByTime: std::stable_sort(first, last, TimeOrder{}); break;
        case CAutomationEventArray::SortByPathControlTime: std::stable_sort(first, last, PathControlTimeOrder{}); break;
        default: std::stable_sort(first, last, PathTimeOrder{}); break;
        }
        return;
    }
    const unsigned held = ordersHeld(first, last);
    if (held & (1u << mode)) return;
    using W = KeyWord;
    std::vector<KeyWord> words;
    switch (mode) {
    case CAutomationEventArray::SortByTime:
        // From either path order, events of one time are already in (path, control) order.
        words = (held & 6) ? std::vector<W>{W::Time} : std::vector<W>{W::Time, W::Path, W::Control};
        break;
    case CAutomationEventArray::SortByPathControlTime:
        // From time order, or path and time order, events of one path and control are in time order.
        words = (held & 5) ? std::vector<W>{W::Path, W::Control} : std::vector<W>{W::Path, W::Control, W::Time};
        break;
    default:
        // From time order, events of one path are in (time, control) order; from path and
        // control order, events of one path and time are in control order.
        words = (held & 1) ? std::vector<W>{W::Path}
                : (held & 2) ? std::vector<W>{W::Path, W::Time}
                             : std::vector<W>{W::Path, W::Time, W::Control};
        break;
    }
    radixSort(first, last, words, scratch);
}

// Replaces out's events by the given ones, with one allocation.
void assignEvents(CAutomationEventArray& out, const std::vector<CAutomationEvent>& events)
{
    out.SetSize(static_cast<INT_PTR>(events.size()));
    if (!events.empty()) std::memcpy(static_cast<void*>(out.GetData()), events.data(), events.size() * sizeof(CAutomationEvent));
}

}  // namespace

CAutomationEventArray::CAutomationEventArray()
    : CAutomationRecordSource(RecordSizeForPathMode(m_nMaxPathsMode))
{
    CTemplateSnapAutoEvent::InitialiseNames();
    int cardLinkType = 0;
    CLocalMachineRegistryObject registry{CString()};
    registry.GetInt(kServerKey, "CardLinkType", cardLinkType, 0);
    m_bCardLinkType4 = cardLinkType == kConvertingCardLinkType;
}

CAutomationEventArray::~CAutomationEventArray() = default;

void CAutomationEventArray::reserveOneMore()
{
    const INT_PTR n = GetSize();
    if (n < GetAllocSize()) return;
    // Room for half as many again: appends stay amortised constant however large the array
    // (the class library's step of at most 1024 elements would copy a large array each time).
    Reserve(n + std::max<INT_PTR>(WinportArrayGrowBy(n, 0), n / 2));
}

int CAutomationEventArray::AddAtTime(const CAutomationEvent& ev)
{
    const INT_PTR n = GetSize();
    if (n > 0 && ev.m_Time == 0 && GetData()[n - 1].m_Time > 0) {
        // The state at time 0 holds one event per control: a second one replaces the first.
        CAutomationEvent* data = GetData();
        auto byTime = [](const CAutomationEvent& e, int32_t t) { return e.m_Time < t; };
        for (CAutomationEvent* e = std::lower_bound(data, data + n, 0, byTime); e != data + n && e->m_Time == 0; ++e) {
            if (e->IsSameControl(ev)) {
                *e = ev;
                return static_cast<int>(e - data);
            }
        }
    }
    const CAutomationEvent copy = ev;  // ev may be an element of this array
    reserveOneMore();
    CAutomationEvent* data = GetData();
    if (n == 0 || copy.m_Time >= data[n - 1].m_Time) return static_cast<int>(Add(copy));
    const CAutomationEvent* after = std::upper_bound(data, data + n, copy.m_Time,
                                                     [](int32_t t, const CAutomationEvent& e) { return t < e.m_Time; });
    const INT_PTR index = after - data;
    InsertAt(index, copy);
    return static_cast<int>(index);
}

int CAutomationEventArray::GetAtTime(long time, int after) const
{
    if (time == -1) return 0;
    const INT_PTR n = GetSize();
    if (n == 0) return -1;
    const CAutomationEvent* data = GetData();
    const CAutomationEvent* end = data + n;
    const CAutomationEvent* found;
    if (after == 0) {
        found = std::lower_bound(data, end, time, [](const CAutomationEvent& e, long t) { return e.m_Time < t; });
    } else {
        found = std::upper_bound(data, end, time, [](long t, const CAutomationEvent& e) { return t < e.m_Time; });
    }
    // Never past the end: the last index stands for "everything is earlier".
    return static_cast<int>(found == end ? n - 1 : found - data);
}

void CAutomationEventArray::Sort(SortMode mode)
{
    if (m_hStatusWnd) PostAutomationNotification(kSortNotification, 0);
    sortEvents(GetData(), GetData() + GetSize(), mode, SortScratch{m_sortScratch, m_sortScratchBytes});
    // Scratch space is kept for the next sort only up to 64 MB (4 million events), so that a
    // large sorted array never holds twice its memory.
    if (m_sortScratchBytes > kKeptSortScratchBytes) releaseSortScratch();
}

void CAutomationEventArray::FreeExtra()
{
    CArray::FreeExtra();
    releaseSortScratch();
}

void CAutomationEventArray::RemoveAll()
{
    CArray::RemoveAll();
    releaseSortScratch();
}

void CAutomationEventArray::releaseSortScratch()
{
    m_sortScratch.reset();
    m_sortScratchBytes = 0;
}

namespace {

// The start of a query's time window; settles an end time of -1 in the caller's filter.
// False when no event lies at or after the start time.
bool windowStart(const CAutomationEventArray& events, CEventFilter& filter, INT_PTR& start)
{
    const INT_PTR n = events.GetSize();
    if (n == 0) return false;
    start = events.GetAtTime(filter.m_nStartTime, 0);
    if (filter.m_nEndTime == -1) filter.m_nEndTime = events[n - 1].m_Time;
    return filter.m_nStartTime == -1 || events[start].m_Time >= filter.m_nStartTime;
}

// Calls take(i) for each index of the window whose event passes the filter.
template <class Take>
void walkWindow(const CAutomationEventArray& events, CEventFilter& filter, Take take)
{
    INT_PTR start = 0;
    if (!windowStart(events, filter, start)) return;
    const EventFilterMatch match(filter);
    const CAutomationEvent* data = events.GetData();
    const INT_PTR n = events.GetSize();
    const long end = filter.m_nEndTime;
    for (INT_PTR i = start; i < n && data[i].m_Time <= end; ++i) {
        if (match.Passes(data[i])) take(i);
    }
}

}  // namespace

unsigned int CAutomationEventArray::GetFilteredTotal(CEventFilter& filter, CArray<int, int>* indices) const
{
    if (!indices) {
        unsigned int count = 0;
        walkWindow(*this, filter, [&](INT_PTR) { ++count; });
        return count;
    }
    std::vector<int> found;
    walkWindow(*this, filter, [&](INT_PTR i) { found.push_back(static_cast<int>(i)); });
    indices->SetSize(static_cast<INT_PTR>(found.size()));
    std::copy(found.begin(), found.end(), indices->GetData());
    return static_cast<unsigned int>(found.size());
}

int CAutomationEventArray::GetAllFilteredEvents(CEventFilter& filter, CAutomationEventArray& out) const
{
    std::vector<CAutomationEvent> found;
    walkWindow(*this, filter, [&](INT_PTR i) { found.push_back(GetData()[i]); });
    assignEvents(out, found);
    return static_cast<int>(found.size());
}

int CAutomationEventArray::GetFilteredEvents(CEventFilter& filter, int maxCount, int& first, int& next,
                                             CAutomationEventArray& out, int forward) const
{
    out.RemoveAll();
    const INT_PTR n = GetSize();
    if (n == 0) return 0;
    INT_PTR start = next;
    if (next < 1) {
        // From the start time. When every event is earlier, a forward page is empty; a backward
        // page walks from the last event.
        if (!windowStart(*this, filter, start) && forward) return 0;
    } else if (filter.m_nEndTime == -1) {
        filter.m_nEndTime = GetData()[n - 1].m_Time;
    }
    if (start >= n) return 0;

    const EventFilterMatch match(filter);
    const CAutomationEvent* data = GetData();
    const long end = filter.m_nEndTime;
    const INT_PTR step = forward ? 1 : -1;
    std::vector<CAutomationEvent> page;
    page.reserve(static_cast<size_t>(std::clamp<INT_PTR>(maxCount, 0, 4096)));
    INT_PTR firstTaken = -1;
    INT_PTR i = start;
    for (; i >= 0 && i < n && static_cast<INT_PTR>(page.size()) < maxCount; i += step) {
        if (forward && data[i].m_Time > end) break;
        if (!match.Passes(data[i])) continue;
        if (firstTaken < 0) firstTaken = i;
        page.push_back(data[i]);
    }
    next = static_cast<int>(i);
    if (forward) {
        if (firstTaken >= 0) first = static_cast<int>(firstTaken);
    } else {
        first = static_cast<int>(i);
        if (firstTaken >= 0) next = static_cast<int>(firstTaken);
        // Taken from the highest index down: back into array order, then into time order.
        std::reverse(page.begin(), page.end());
        std::unique_ptr<std::byte[]> scratch;
        size_t scratchBytes = 0;
        sortEvents(page.data(), page.data() + page.size(), SortByTime, SortScratch{scratch, scratchBytes});
    }
    assignEvents(out, page);
    return static_cast<int>(page.size());
}

int CAutomationEventArray::GetFilteredEvents(CEventFilter& filter, int maxCount, int& next, CAutomationEventArray& out,
                                             int forward) const
{
    int first = 0;
    return GetFilteredEvents(filter, maxCount, first, next, out, forward);
}

void CAutomationEventArray::IsolateProgress(int index, int count)
{
    if (m_hStatusWnd) PostProgress(kIsolateNotification, index, count);
}

void CAutomationEventArray::EraseProgress(int index, int count)
{
    if (m_hStatusWnd) PostProgress(kEraseNotification, index, count);
}

void CAutomationEventArray::DebugMe() const
{
    for (INT_PTR i = 0; i < GetSize(); ++i) GetAt(i).DebugMe();
}

int CAutomationEventArray::FetchRecords(int count, int firstIndex, void* out) const
{
    if (count < 1) return count;
    const INT_PTR n = GetSize();
    if (!out || firstIndex < 0 || firstIndex >= n) return 0;
    const int written = static_cast<int>(std::min<INT_PTR>(count, n - firstIndex));
    const CAutomationEvent* e = GetData() + firstIndex;
    BYTE* r = static_cast<BYTE*>(out);
    // Each record is put together in registers (little-endian words) and stored whole.
    if (m_nRecordSize == 12) {
        for (int k = 0; k < written; ++k, ++e, r += 12) {
            const uint64_t head = static_cast<uint32_t>(e->m_Time) | uint64_t{static_cast<BYTE>(e->m_Path)} << 40 |
                                  uint64_t{e->GetProcessNumber()} << 48 | uint64_t{e->GetControlNumber()} << 56;
            const uint32_t tail = e->m_OldValue | uint32_t{static_cast<uint16_t>(e->GetValue())} << 16;
            std::memcpy(r, &head, 8);
            std::memcpy(r + 8, &tail, 4);
        }
        return written;
    }
    for (int k = 0; k < written; ++k, ++e, r += 16) {
        const uint64_t head = static_cast<uint32_t>(e->m_Time) | uint64_t{static_cast<uint16_t>(e->m_Path)} << 32 |
                              uint64_t{e->GetProcessNumber()} << 56;
        const uint64_t tail = e->GetControlNumber() | uint64_t{e->m_OldValue} << 16 |
                              uint64_t{static_cast<uint16_t>(e->GetValue())} << 32;
        std::memcpy(r, &head, 8);
        std::memcpy(r + 8, &tail, 8);
        if (m_bCardLinkType4) {
            ConvertRecordLayout(r, kTimeFirstLayout, kEventLayout, 16);
            r[13] = 0;  // the event layout's reserved byte (the conversion leaves the value's high byte there)
        }
    }
    return written;
}

int CAutomationEventArray::GetBlockCount(int blockBytes) const
{
    const int64_t perBlock = m_nRecordSize > 0 ? blockBytes / m_nRecordSize : 0;
    if (perBlock < 1) return 0;
    return static_cast<int>((static_cast<int64_t>(GetSize()) + perBlock - 1) / perBlock);
}

void CAutomationEventArray::Serialize(CArchive& ar)
{
    CArray::Serialize(ar);
    if (ar.IsLoading()) {
        CAutomationEvent* e = GetData();
        for (INT_PTR i = 0; i < GetSize(); ++i) e[i].ClearReserved();
    }
}
