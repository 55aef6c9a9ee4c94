// Whole-array repairs of the event array: old values, path translation, time-stamp order and
// the merge of duplicate events.
#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <new>
#include <vector>

#include "ChannelDefaults.h"
#include "EventConsole.h"
#include "trevanny/AutomationEventArray.h"
#include "trevanny/AutomationNotifications.h"
#include "trevanny/ChannelStateTable.h"
#include "trevanny/SharedConstants.h"
#include "winport/Paths.h"
#include "winport/RegistryObject.h"

namespace {

// The time-stamp log. A badly damaged mix (a reversed 10M-event pass) would log every event;
// the first lines say what went wrong, so the log stops at this many error lines.
constexpr int kMaxLoggedErrors = 10000;
constexpr WPARAM kSortNotification = 31;
const char kMixPassTreeKey[] = "SOFTWARE\\VokSettings\\KIVSERVER\\Mix Pass Tree";

// Duplicate index: one slot per (path, process, control) of the paths below 2000 and controls
// below 9 (a process is a byte).
constexpr size_t kIndexProcesses = 256;
constexpr size_t kIndexControls = 9;

// The time order's key (time, path, process, control; time and path as signed numbers), as
// Sort(SortByTime) orders by it.
struct TimeKey {
    uint64_t timePath = 0;
    uint32_t control = 0;

    TimeKey() = default;
    explicit TimeKey(const CAutomationEvent& e)
        : timePath(uint64_t{static_cast<uint32_t>(e.m_Time) ^ 0x80000000u} << 32 | (e.m_Path ^ 0x80000000u)),
          control(uint32_t{e.GetProcessNumber()} << 8 | e.GetControlNumber())
    {
    }
    bool operator<(const TimeKey& o) const { return timePath != o.timePath ? timePath < o.timePath : control < o.control; }
};

// Events per block of the pieces' search: the least key of each block's tail is kept for the
// block being walked only.
constexpr size_t kKeyBlock = 4096;
// A piece longer than this is left to the whole-array sort.
constexpr size_t kMaxPiece = size_t{1} << 20;

// Sorts pieces stably into time order, with its working memory kept from piece to piece.
class PieceSorter {
public:
    void Sort(CAutomationEvent* first, CAutomationEvent* last)
    {
        if (m_scratch.size() < static_cast<size_t>(last - first)) m_scratch.resize(static_cast<size_t>(last - first));
        if (!sortByFewTimes(first, last)) std::stable_sort(first, last, less);
    }

private:
    // Pieces of at most this many distinct times are sorted time by time.
    static constexpr int64_t kMaxTimes = 256;

    static bool less(const CAutomationEvent& a, const CAutomationEvent& b) { return TimeKey(a) < TimeKey(b); }

    // A piece of a few distinct times (a destination's state events, laid down channel by channel
    // a few units apart, and the events beside them) is put in time order by a stable counting
    // sort; the events of one time then mostly stand in order already, and only the part after
    // their longest ordered start is sorted and merged into it. False, with nothing moved, for a
    // piece of more times.
    bool sortByFewTimes(CAutomationEvent* first, CAutomationEvent* last)
    {
        const auto [least, most] = std::minmax_element(first, last, [](const CAutomationEvent& a, const CAutomationEvent& b) {
            return a.m_Time < b.m_Time;
        });
        const int32_t base = least->m_Time;
        const int64_t times = int64_t{most->m_Time} - base + 1;
        if (times > kMaxTimes) return false;
        auto timeOf = [base](const CAutomationEvent& e) { return static_cast<size_t>(int64_t{e.m_Time} - base); };
        m_starts.assign(static_cast<size_t>(times) + 1, 0);
        for (const CAutomationEvent* p = first; p != last; ++p) ++m_starts[timeOf(*p) + 1];
        for (size_t t = 1; t < m_starts.size(); ++t) m_starts[t] += m_starts[t - 1];
        m_next.assign(m_starts.begin(), m_starts.end() - 1);
        CAutomationEvent* scratch = m_scratch.data();
        for (const CAutomationEvent* p = first; p != last; ++p) scratch[m_next[timeOf(*p)]++] = *p;
        for (size_t t = 0; t + 1 < m_starts.size(); ++t) {
            CAutomationEvent* from = scratch + m_starts[t];
            CAutomationEvent* const end = scratch + m_starts[t + 1];
            CAutomationEvent* to = first + m_starts[t];
            CAutomationEvent* const rest = std::is_sorted_until(from, end, less);
            if (rest == end) {
                std::copy(from, end, to);
                continue;
            }
            // The rest came after the ordered start: on equal keys the start goes first.
            std::stable_sort(rest, end, less);
            std::merge(from, rest, rest, end, to, less);
        }
        return true;
    }

    std::vector<CAutomationEvent> m_scratch;
    std::vector<size_t> m_starts;  // where each time's events begin, by time from the least
    std::vector<size_t> m_next;
};

// A stable sort into time order of an array whose disorder is local (a conform's output: state
// events a few units after the events they stand beside). The array is cut wherever every
// event before the cut is at or below every event after it; the order of the pieces then stays,
// and only the pieces out of order are sorted, each on its own as soon as it is found, which
// gives the same events in the same order as one sort of the whole. False when a piece to sort
// is longer than kMaxPiece: the pieces sorted before it keep their equal keys in order, so a
// stable sort of the whole still gives the same result.
bool sortPiecesIntoTimeOrder(CAutomationEvent* e, size_t n)
{
    if (n < 2) return true;
    const size_t blocks = (n + kKeyBlock - 1) / kKeyBlock;
    // The least key of blocks b and after; the entry past the last block is never read.
    std::vector<TimeKey> tailFrom(blocks, TimeKey(e[n - 1]));
    for (size_t b = blocks; b-- > 0;) {
        TimeKey least = b + 1 < blocks ? tailFrom[b + 1] : TimeKey(e[n - 1]);
        for (size_t i = b * kKeyBlock, end = std::min(n, i + kKeyBlock); i < end; ++i) {
            const TimeKey k(e[i]);
            if (k < least) least = k;
        }
        tailFrom[b] = least;
    }
    PieceSorter sorter;
    auto sortPiece = [&](size_t from, size_t to) {
        if (to - from > kMaxPiece) return false;
        sorter.Sort(e + from, e + to);
        return true;
    };
    std::vector<TimeKey> tail;  // the least key from each event of the block on
    tail.reserve(kKeyBlock);
    size_t first = 0;
    TimeKey most(e[0]);
    bool disordered = false;
    for (size_t i = 1; i < n; ++i) {
        if (i % kKeyBlock == 0 || i == 1) {
            const size_t b = i / kKeyBlock;
            const size_t begin = b * kKeyBlock, end = std::min(n, begin + kKeyBlock);
            tail.resize(end - begin);
            TimeKey least = b + 1 < blocks ? tailFrom[b + 1] : TimeKey(e[end - 1]);
            for (size_t j = end; j-- > begin;) {
                const TimeKey k(e[j]);
                if (k < least) least = k;
                tail[j - begin] = least;
            }
        }
        const TimeKey k(e[i]);
        if (!(tail[i % kKeyBlock] < most)) {
            // Nothing from here on sorts before the piece: cut.
            if (disordered && !sortPiece(first, i)) return false;
            first = i;
            most = k;
            disordered = false;
        } else if (k < most) {
            disordered = true;
        } else {
            most = k;
        }
    }
    return !disordered || sortPiece(first, n);
}

// Creates the log anew and writes its head; null when it cannot be created.
std::FILE* openTimeStampLog(INT_PTR eventCount)
{
    char windows[MAX_PATH] = "C:\\";
    GetWindowsDirectoryA(windows, sizeof windows);
    char path[MAX_PATH];
    std::snprintf(path, sizeof path, "%c:\\Cantle\\tcerr.txt", windows[0]);
    const std::string host = winport::HostPath(path);
    winport::EnsureParentDir(host);
    std::FILE* log = std::fopen(host.c_str(), "w");
    if (!log) return nullptr;
    CString revision;
    CCurrentUserRegistryObject registry;
    registry.GetString(kMixPassTreeKey, "Last Revision Path", revision, "");
    std::fprintf(log, "%s\n", static_cast<const char*>(revision));
    std::fprintf(log, "Number of Events:%d\n", static_cast<int>(eventCount));
    return log;
}

}  // namespace

void CAutomationEventArray::SetOldValues(int firstRouteProcess, const CPathMap& pathMap)
{
    // Starts at the defaults of every control, laid out as a channel state table's.
    CChannelStateTable table(this, firstRouteProcess, &pathMap, 0, nullptr);
    short* state = table.values();
    const int type = CurrentConsoleType();
    const DWORD paths = static_cast<DWORD>(std::min(GetMaxPathCount(), kConsolePaths));
    CAutomationEvent* e = GetData();
    for (INT_PTR i = 0, n = GetSize(); i < n; ++i, ++e) {
        if (e->m_Path >= paths) continue;
        const int slot = channelstate::StateSlot(type, firstRouteProcess, static_cast<int>(e->m_Path), e->GetProcessNumber(),
                                                 e->GetControlNumber());
        if (slot < 0) continue;
        e->m_OldValue = static_cast<WORD>(state[slot]);
        state[slot] = e->GetValue();
    }
}

void CAutomationEventArray::DoTranslatePaths(const CTranslationPairArray& pairs)
{
    if (GetSize() == 0 || pairs.GetSize() == 0) return;
    if (m_Filter.m_nStartTime < 2) m_Filter.m_nStartTime = 1;
    if (m_Filter.m_nEndTime < 2) m_Filter.m_nEndTime = 1;

    // The first pair of each from path, by from path.
    std::vector<CTranslationPair> first(pairs.GetData(), pairs.GetData() + pairs.GetSize());
    std::stable_sort(first.begin(), first.end(), [](const CTranslationPair& a, const CTranslationPair& b) { return a.m_dwFrom < b.m_dwFrom; });
    first.erase(std::unique(first.begin(), first.end(), [](const CTranslationPair& a, const CTranslationPair& b) { return a.m_dwFrom == b.m_dwFrom; }),
                first.end());

    CAutomationEvent* e = GetData();
    const INT_PTR n = GetSize();
    // Path numbers are small: a table by path answers in one look.
    constexpr DWORD kTablePaths = 1u << 16;
    if (first.back().m_dwFrom < kTablePaths) {
        const DWORD size = first.back().m_dwFrom + 1;
        std::vector<int64_t> to(size, -1);
        for (const CTranslationPair& p : first) to[p.m_dwFrom] = p.m_dwTo;
        for (INT_PTR i = 0; i < n; ++i) {
            if (e[i].m_Path < size && to[e[i].m_Path] >= 0) e[i].m_Path = static_cast<DWORD>(to[e[i].m_Path]);
        }
        return;
    }
    for (INT_PTR i = 0; i < n; ++i) {
        auto it = std::lower_bound(first.begin(), first.end(), e[i].m_Path,
                                   [](const CTranslationPair& p, DWORD path) { return p.m_dwFrom < path; });
        if (it != first.end() && it->m_dwFrom == e[i].m_Path) e[i].m_Path = it->m_dwTo;
    }
}

bool CAutomationEventArray::MakeTimeStampsContinuous(int)
{
    const INT_PTR n = GetSize();
    if (n == 0) return false;
    const CAutomationEvent* e = GetData();
    bool disordered = false;
    std::FILE* log = nullptr;
    int logged = 0;
    int32_t lastTime = e[0].m_Time;
    for (INT_PTR i = 1; i < n; ++i) {
        if (e[i].m_Time >= lastTime) {
            lastTime = e[i].m_Time;
            continue;
        }
        if (!disordered) {
            disordered = true;
            log = openTimeStampLog(n);
        }
        if (log && logged < kMaxLoggedErrors) {
            const CAutomationEvent& before = e[i - 1];
            std::fprintf(log, "Error on Event:%d * Last TC:%d * Current TC:%d * PPC: %d %d %d\n", static_cast<int>(i), lastTime,
                         e[i].m_Time, static_cast<int>(before.m_Path), before.GetProcessNumber(), before.GetControlNumber());
            ++logged;
        }
    }
    if (log) std::fclose(log);
    if (!disordered) return false;
    BuildControlIndex();
    if (!sortPiecesIntoTimeOrder(GetData(), static_cast<size_t>(GetSize()))) Sort(SortByTime);
    else if (GetStatusWnd()) PostAutomationNotification(kSortNotification, 0);
    return true;
}

int CAutomationEventArray::BuildControlIndex()
{
    CAutomationEvent* e = GetData();
    const INT_PTR n = GetSize();
    // The slots of a path (every process and control) are one block, made only for the paths
    // that have events: a mix sets a few hundred paths, and a small array touches little memory
    // however large the index could be. Slot -> 1 + the output index of the last event kept for
    // it (0: none yet).
    constexpr uint32_t kNoBlock = UINT32_MAX;
    constexpr size_t kPathSlots = kIndexProcesses * kIndexControls;
    std::vector<uint32_t> blockOf;
    std::vector<uint32_t> slots;
    try {
        blockOf.assign(kConsolePaths, kNoBlock);
        size_t blocks = 0;
        for (INT_PTR i = 0; i < n; ++i) {
            if (e[i].m_Path < kConsolePaths && e[i].GetControlNumber() < kIndexControls && blockOf[e[i].m_Path] == kNoBlock)
                blockOf[e[i].m_Path] = static_cast<uint32_t>(kPathSlots * blocks++);
        }
        slots.assign(kPathSlots * blocks, 0);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    INT_PTR kept = 0;
    int merged = 0;
    // The output is written over the input: it never gets ahead of the event being read.
    for (INT_PTR i = 0; i < n; ++i) {
        const CAutomationEvent ev = e[i];
        if (ev.m_Path < kConsolePaths && ev.GetControlNumber() < kIndexControls) {
            uint32_t& slot = slots[blockOf[ev.m_Path] + ev.GetProcessNumber() * kIndexControls + ev.GetControlNumber()];
            if (slot != 0 && e[slot - 1].m_Time == ev.m_Time) {
                e[slot - 1].SetValue(ev.GetValue());
                ++merged;
                continue;
            }
            slot = static_cast<uint32_t>(kept + 1);
        }
        e[kept++] = ev;
    }
    SetSize(kept);
    return merged;
}
