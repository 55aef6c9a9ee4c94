// Whole-array repairs of the event array: old values, path translation, time-stamp order and
// the merge of duplicate events.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "ChannelDefaults.h"
#include "EventConsole.h"
#include "trevanny/AutomationEventArray.h"
#include "trevanny/ChannelStateTable.h"
#include "winport/Paths.h"
#include "winport/RegistryObject.h"

namespace {

// The time-stamp log. A badly damaged mix (a reversed 10M-event pass) would log every event;
// the first lines say what went wrong, so the log stops at this many error lines.
constexpr int kMaxLoggedErrors = 10000;
const char kMixPassTreeKey[] = "SOFTWARE\\VokSettings\\KIVSERVER\\Mix Pass Tree";

// Duplicate index: one slot per (path, process, control) of the paths below 2000 and controls
// below 9 (a process is a byte).
constexpr size_t kIndexPaths = 2000;
constexpr size_t kIndexProcesses = 256;
constexpr size_t kIndexControls = 9;
constexpr size_t kIndexSlots = kIndexPaths * kIndexProcesses * kIndexControls;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

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
    std::vector<short> state(CChannelStateTable::kValueCount);
    {
        // The defaults of every control, laid out as a channel state table's.
        CChannelStateTable defaults(this, firstRouteProcess, &pathMap, 0, nullptr);
        defaults.CopyTo(state.data());
    }
    const int type = CurrentConsoleType();
    const DWORD paths = static_cast<DWORD>(std::min(GetMaxPathCount(), channelstate::kChannels));
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
    Sort(SortByTime);
    return true;
}

int CAutomationEventArray::BuildControlIndex()
{
    // Slot -> 1 + the output index of the last event kept for it (0: none yet). Zeroed memory
    // comes from the system as untouched pages, so only the slots in use cost anything.
    std::unique_ptr<uint32_t, FreeDeleter> index(static_cast<uint32_t*>(std::calloc(kIndexSlots, sizeof(uint32_t))));
    if (!index) return 0;
    uint32_t* slots = index.get();
    CAutomationEvent* e = GetData();
    const INT_PTR n = GetSize();
    INT_PTR kept = 0;
    int merged = 0;
    // The output is written over the input: it never gets ahead of the event being read.
    for (INT_PTR i = 0; i < n; ++i) {
        const CAutomationEvent ev = e[i];
        if (ev.m_Path < kIndexPaths && ev.GetControlNumber() < kIndexControls) {
            uint32_t& slot = slots[(ev.m_Path * kIndexProcesses + ev.GetProcessNumber()) * kIndexControls + ev.GetControlNumber()];
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
