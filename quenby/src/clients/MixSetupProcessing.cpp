// Process lists, predubs and dynamics links of the cached mix setup.
#include <algorithm>
#include <cstring>
#include <vector>

#include "MixSetupCache.h"
#include "ardo/EventLogEntry.h"
#include "quenby/MixSetupExKIVObject.h"
#include "trevanny/SharedConstants.h"

using namespace MixSetupBlock;

namespace {

constexpr BYTE kEnd = CProcessListConverter::kEnd;

bool inRange(int v, int end) { return v >= 0 && v < end; }

// Link error codes: 0 and -1 to -6 have texts; a group outside the table leaves this one.
constexpr int kUnknownLinkError = -7;

}  // namespace

// ---- the process-list converter ----

CProcessListConverter::CProcessListConverter(const CArray<BYTE, BYTE>& display)
{
    int values[kSlots];
    const int n = static_cast<int>(std::min<INT_PTR>(display.GetSize(), kSlots));
    for (int i = 0; i < n; ++i) values[i] = display[i];
    FromDisplay(values, n);
}

CProcessListConverter::CProcessListConverter(const CArray<int, int>& display)
{
    FromDisplay(display.GetData(), static_cast<int>(std::min<INT_PTR>(display.GetSize(), kSlots)));
}

CProcessListConverter::CProcessListConverter(const BYTE display[kSlots])
{
    int values[kSlots];
    for (int i = 0; i < kSlots; ++i) values[i] = display[i];
    FromDisplay(values, kSlots);
}

CProcessListConverter::CProcessListConverter(const BYTE stored[kSlots], int variant0, int variant1)
{
    m_nVariant[0] = variant0;
    m_nVariant[1] = variant1;
    int next = 0;
    for (int i = 0; i < kSlots; ++i) {
        m_byStored[i] = stored[i];
        m_byDisplay[i] = stored[i];
        if (stored[i] != 8) continue;
        // A third type-8 process has no variant of its own: variant 0.
        const int variant = next < 2 ? m_nVariant[next] : 0;
        ++next;
        if (variant >= 1 && variant <= 3) m_byDisplay[i] = static_cast<BYTE>(46 + variant);
    }
}

void CProcessListConverter::FromDisplay(const int* display, int count)
{
    std::memset(m_byDisplay, kEnd, sizeof m_byDisplay);
    std::memset(m_byStored, kEnd, sizeof m_byStored);
    int next = 0;
    for (int i = 0; i < count && i < kSlots; ++i) {
        const BYTE type = static_cast<BYTE>(display[i]);
        m_byDisplay[i] = type;
        m_byStored[i] = type;
        if (type != 8 && (type < 47 || type > 49)) continue;
        m_byStored[i] = 8;
        if (next < 2) {
            m_nVariant[next++] = type == 8 ? 0 : type - 46;
        } else {
            m_byDisplay[i] = 8;  // the path keeps two variants: a further one is variant 0
        }
    }
}

// ---- process lists ----

void CMixSetupExKIVObject::GetProcList(int path, CArray<BYTE, BYTE>& list) const
{
    list.RemoveAll();
    if (!ValidPath(path)) return;
    for (BYTE type : m_pCache->procLists[path]) list.Add(type);
}

void CMixSetupExKIVObject::GetProcList(int kind, int index, CArray<BYTE, BYTE>& list) const { GetProcList(PathOf(kind, index), list); }

void CMixSetupExKIVObject::GetDisplayProcList(int kind, int index, CArray<BYTE, BYTE>& list) const
{
    list.RemoveAll();
    const int path = PathOf(kind, index);
    if (path < 0) return;
    CProcessListConverter converter(m_pCache->procLists[path], m_pCache->variants[path][0], m_pCache->variants[path][1]);
    for (int i = 0; i < kProcSlots; ++i) list.Add(converter.GetDisplay(i));
}

void CMixSetupExKIVObject::GetProcListCount(int kind, CArray<int, int>& counts) const
{
    counts.RemoveAll();
    counts.SetSize(MixSetupCache::kProcessTypes);
    for (int i = 0; i < MixSetupCache::kProcessTypes; ++i) counts[i] = 0;
    int first = 0, n = 0;
    if (kind == 14) {
        first = GetOffset(0) + std::max(GetNumFaders(), 0);
        n = GetNumChannels() - std::max(GetNumFaders(), 0);
    } else if (inRange(kind, kKinds)) {
        first = GetOffset(kind);
        n = GetNum(kind);
    }
    for (int p = first; p < first + n; ++p)
        for (BYTE type : m_pCache->procLists[p])
            if (type < MixSetupCache::kProcessTypes) ++counts[type];
}

void CMixSetupExKIVObject::SetProcList(int path, const CArray<BYTE, BYTE>& displayList)
{
    if (!ValidPath(path)) return;
    CProcessListConverter converter(displayList);
    for (int i = 0; i < kProcSlots; ++i) m_pCache->procLists[path][i] = converter.GetStored(i);
    m_pCache->variants[path][0] = converter.GetVariant(0);
    m_pCache->variants[path][1] = converter.GetVariant(1);
    int predub, slot;
    if (IsPathInPreDub(path, predub, slot)) CreatePredubMasterProcesses(predub);
}

void CMixSetupExKIVObject::SetProcList(int kind, int index, const CArray<BYTE, BYTE>& displayList)
{
    SetProcList(PathOf(kind, index), displayList);
}

void CMixSetupExKIVObject::SetDefaultProcList(int kind, const CArray<BYTE, BYTE>& list)
{
    if (kind == 14) kind = 0;  // the channels beyond the faders are channels
    if (!inRange(kind, kKinds)) return;
    BYTE* target = m_pCache->defaultLists[kind];
    std::memset(target, kEnd, kProcSlots);
    for (int i = 0; i < kProcSlots && i < list.GetSize(); ++i) target[i] = list[i];
}

int CMixSetupExKIVObject::ProcessListHas(int path, std::initializer_list<int> types) const
{
    if (!inRange(path, kConsolePaths)) return 0;
    for (BYTE type : m_pCache->procLists[path])
        if (std::find(types.begin(), types.end(), type) != types.end()) return 1;
    return 0;
}

// ---- predubs ----

void CMixSetupExKIVObject::AddPathToPreDub(int predub, int slot, int path)
{
    if (!inRange(predub, kPreDubs) || !inRange(slot, kPreDubSlots) || !ValidPath(path)) return;
    int* entries = m_pCache->preDubs[predub];
    std::memmove(entries + slot + 1, entries + slot, sizeof(int) * (kPreDubSlots - slot - 1));
    entries[slot] = path;
    CreatePredubMasterProcesses(predub);
}

void CMixSetupExKIVObject::RemovePathFromPreDub(int path)
{
    int predub, slot;
    if (!IsPathInPreDub(path, predub, slot)) return;
    int* entries = m_pCache->preDubs[predub];
    std::memmove(entries + slot, entries + slot + 1, sizeof(int) * (kPreDubSlots - slot - 1));
    entries[kPreDubSlots - 1] = -1;
    CreatePredubMasterProcesses(predub);
}

int CMixSetupExKIVObject::IsPathInPreDub(int path, int& predub, int& slot) const
{
    predub = slot = -1;
    if (path < 0) return 0;
    for (int d = 0; d < std::min(GetNumPredubDummyMaster(), kPreDubs); ++d)
        for (int s = 0; s < kPreDubSlots; ++s)
            if (m_pCache->preDubs[d][s] == path) {
                predub = d;
                slot = s;
                return 1;
            }
    return 0;
}

void CMixSetupExKIVObject::GetPreDubContents(int predub, CArray<int, int>& paths) const
{
    paths.RemoveAll();
    if (!inRange(predub, kPreDubs)) return;
    for (int path : m_pCache->preDubs[predub]) {
        if (path == -1) break;
        paths.Add(path);
    }
}

int CMixSetupExKIVObject::GetNumberOfPathsInPreDub(int predub) const
{
    CArray<int, int> paths;
    GetPreDubContents(predub, paths);
    return static_cast<int>(paths.GetSize());
}

void CMixSetupExKIVObject::SetPreDubName(int predub, const CString& name) { SetName(12, predub, name, name); }

void CMixSetupExKIVObject::GetPreDubName(int predub, CString& shortName, CString& longName) const
{
    GetName(12, predub, shortName, longName);
}

void CMixSetupExKIVObject::PackPreDubs(int count, int kind)
{
    if (count <= 0 || !inRange(kind, kKinds)) return;
    // The kind's range ended at `end` before its last `count` paths went.
    const int newEnd = GetOffset(kind) + GetNum(kind);
    const int oldTotal = GetTotalPaths() + count;
    std::vector<int> map(static_cast<size_t>(std::min(oldTotal, kConsolePaths)));
    for (int p = 0; p < static_cast<int>(map.size()); ++p) map[p] = p < newEnd ? p : p < newEnd + count ? -1 : p - count;
    if (kind == 12) RenumberPreDubsForMasters(GetNum(12) + count, GetNum(12), -1);
    RenumberPreDubs(map, true);
}

void CMixSetupExKIVObject::RenumberPreDubs(const std::vector<int>& map, bool removal)
{
    for (auto& predub : m_pCache->preDubs) {
        int kept[kPreDubSlots];
        int n = 0;
        for (int path : predub) {
            if (path == -1) break;
            const int moved = path >= 0 && path < static_cast<int>(map.size()) ? map[path] : -1;
            if (moved >= 0) kept[n++] = moved;
        }
        if (removal && n == 1) n = 0;  // a predub of one path is none
        std::fill(predub, predub + kPreDubSlots, -1);
        std::copy(kept, kept + n, predub);
    }
}

void CMixSetupExKIVObject::RenumberPreDubsForMasters(int oldCount, int newCount, int removedIndex)
{
    auto empty = [&](int from, int to) {
        for (int d = std::max(from, 0); d < std::min(to, kPreDubs); ++d) std::fill(m_pCache->preDubs[d], m_pCache->preDubs[d] + kPreDubSlots, -1);
    };
    if (removedIndex >= 0) {
        // The predubs of the masters behind the removed one move with their masters.
        for (int d = removedIndex; d + 1 < std::min(oldCount, kPreDubs); ++d)
            std::memcpy(m_pCache->preDubs[d], m_pCache->preDubs[d + 1], sizeof m_pCache->preDubs[d]);
        empty(oldCount - 1, oldCount);
    } else if (newCount > oldCount) {
        empty(oldCount, newCount);
    } else {
        empty(newCount, oldCount);
    }
}

void CMixSetupExKIVObject::GetListOfPredubs(CArray<CPredubObject, CPredubObject>& list) const
{
    list.RemoveAll();
    for (int d = 0; d < std::min(GetNumPredubDummyMaster(), kPreDubs); ++d) {
        if (GetNumberOfPathsInPreDub(d) == 0) continue;
        CString label, shortName, longName;
        label.Format("PD%-2d", d + 1);
        GetPreDubName(d, shortName, longName);
        list.Add(CPredubObject(label, longName, GetOffset(12) + d));
    }
}

int CMixSetupExKIVObject::IsPreDubable(int kind, int index) const
{
    const int path = PathOf(kind, index);
    if (path < 0 || kind == 12 || m_pCache->procLists[path][0] == kEnd) return 0;
    int counted = 0;
    for (BYTE type : m_pCache->procLists[path]) {
        if (type == 30) return 1;
        if ((type == 19 || type == 11) && ++counted == 2) return 1;
    }
    return 0;
}

int CMixSetupExKIVObject::VerifyPredubDynamics(int predub, int path) const
{
    if (!inRange(path, m_nMaxPaths)) return 0;
    const int master = inRange(predub, std::min(GetNumPredubDummyMaster(), kPreDubs)) ? GetOffset(12) + predub : -1;
    const int pathOther = ProcessListHas(path, {8, 9, 10, 23, 27, 28}), pathDrc = ProcessListHas(path, {26});
    const int masterOther = ProcessListHas(master, {8, 9, 10, 23, 27, 28}), masterDrc = ProcessListHas(master, {26});
    return (pathOther && masterDrc) || (masterOther && pathDrc) ? 0 : 1;
}

void CMixSetupExKIVObject::CreatePredubMasterProcesses(int predub)
{
    if (GetNumPredubDummyMaster() == 0 || !inRange(predub, std::min(GetNumPredubDummyMaster(), kPreDubs))) return;
    std::vector<BYTE> result;
    int used[256] = {};
    int from7 = -1, from8 = -1;
    for (int member : m_pCache->preDubs[predub]) {
        if (member == -1) break;
        if (!inRange(member, kConsolePaths)) continue;
        for (BYTE type : m_pCache->procLists[member]) {
            if (type == kEnd) break;
            bool take = used[type] == 0;
            if (type == 7 || type == 8) {
                int& from = type == 7 ? from7 : from8;
                // A second one only from the same path; never a third.
                take = used[type] == 0 || (used[type] == 1 && from == member);
                if (used[type] == 0) from = member;
            }
            if (!take) continue;
            result.push_back(type);
            ++used[type];
        }
    }
    auto removeAll = [&](BYTE type) { result.erase(std::remove(result.begin(), result.end(), type), result.end()); };
    auto moveTo = [&](size_t from, size_t to) {
        const BYTE type = result[from];
        result.erase(result.begin() + static_cast<std::ptrdiff_t>(from));
        result.insert(result.begin() + static_cast<std::ptrdiff_t>(std::min(to, result.size())), type);
    };

    // DRC dynamics with other dynamics: the desk cannot run them together.
    if (used[26] && (used[27] || used[28] || used[8] || used[9] || used[10] || used[23])) {
        CEventLogEntry().ReportWarning("The PDM has a mixture of DRC and other dynamics. This may cause the desk to crash !");
        result.erase(std::find(result.begin(), result.end(), BYTE{26}));
        if (!used[8]) result.push_back(8);
        if (!used[9]) result.push_back(9);
    }
    // 27 and 23 go in front of the first 8, 9 or 10.
    if ((used[27] || used[23]) && (used[8] || used[9] || used[10])) {
        std::vector<BYTE> taken;
        for (BYTE type : result)
            if (type == 27) taken.push_back(type);
        for (BYTE type : result)
            if (type == 23) taken.push_back(type);
        removeAll(27);
        removeAll(23);
        auto place = std::find_if(result.begin(), result.end(), [](BYTE t) { return t == 8 || t == 9 || t == 10; });
        result.insert(place, taken.begin(), taken.end());
    }
    if (used[30] && used[11]) {
        removeAll(11);
        for (size_t i = 0; i < result.size(); ++i)
            if (result[i] == 30 && i != 1) moveTo(i, 1);
    }
    // Of the types 3 to 6 and 32 to 43 one is kept: the last taken in the order 3 to 6, 32 to 43.
    int kept = -1, kinds = 0;
    for (int type : {3, 4, 5, 6, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43})
        if (used[type]) kept = type, ++kinds;
    if (kinds > 1) {
        result.erase(std::remove_if(result.begin(), result.end(),
                                    [&](BYTE t) { return t != kept && ((t >= 3 && t <= 6) || (t >= 36 && t <= 39)); }),
                     result.end());
    }
    if (used[1] && used[2]) removeAll(1);
    if (used[30] || used[11]) {
        for (size_t i = 0; i < result.size(); ++i)
            if ((result[i] == 11 || result[i] == 30) && i != 1) moveTo(i, 1);
    }
    if (used[0]) {
        auto zero = std::find(result.begin(), result.end(), BYTE{0});
        if (zero != result.end()) {
            result.erase(zero);
            auto last = std::find_if(result.rbegin(), result.rend(), [](BYTE t) { return t >= 15 && t <= 18; });
            if (last == result.rend()) result.push_back(0);
            else result.insert(last.base() - 1, BYTE{0});
        }
    }

    const int master = GetOffset(12) + predub;
    BYTE* list = m_pCache->procLists[master];
    std::memset(list, kEnd, kProcSlots);
    if (result.empty()) result.push_back(19);
    std::copy(result.begin(), result.begin() + std::min<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(result.size()), kProcSlots), list);
    m_pCache->variants[master][0] = m_pCache->variants[master][1] = -1;
}

// ---- dynamics links ----

int CMixSetupExKIVObject::IsDynamicsLinked(int path) const
{
    if (path < 0) return -1;
    for (int g = 0; g < MixSetupCache::kLinkGroups; ++g) {
        const auto& group = m_pCache->linkGroups[g];
        if (std::find(group.begin(), group.end(), path) != group.end()) return g;
    }
    return -1;
}

int CMixSetupExKIVObject::IsDynamicsLinked(int kind, int index) const { return IsDynamicsLinked(PathOf(kind, index)); }

int CMixSetupExKIVObject::GetLinkedDynamicsIcon(int path) const
{
    const int g = IsDynamicsLinked(path);
    if (g < 0) return -1;
    const auto& group = m_pCache->linkGroups[g];
    if (group.front() == path) return 0;
    return group.back() == path ? 2 : 1;
}

int CMixSetupExKIVObject::GetLinkedDynamicsIcon(int kind, int index) const { return GetLinkedDynamicsIcon(PathOf(kind, index)); }

int CMixSetupExKIVObject::AddPathToDynamicsLink(int group, int kind, int index)
{
    const int path = PathOf(kind, index);
    if (!inRange(group, MixSetupCache::kLinkGroups) || path < 0) {
        m_nLastLinkError = kUnknownLinkError;
        return 0;
    }
    std::vector<int>& paths = m_pCache->linkGroups[group];
    auto at = std::find(paths.begin(), paths.end(), path);
    if (at != paths.end()) {
        paths.erase(at);
        if (paths.size() < 2) paths.clear();
        m_nLastLinkError = 0;
        return 1;
    }
    const BYTE* list = m_pCache->procLists[path];
    int error = 0;
    if (!ProcessListHas(path, {8, 9, 10, 23, 27, 28, 26})) error = -1;
    else if (IsDynamicsLinked(path) >= 0) error = -2;
    else if (list[0] != 19) error = -3;
    else {
        std::vector<int> joined(paths);
        joined.push_back(path);
        std::sort(joined.begin(), joined.end());
        if (joined.back() - joined.front() != static_cast<int>(joined.size()) - 1) error = -4;
        else paths = std::move(joined);
    }
    m_nLastLinkError = error;
    return error == 0 ? 1 : 0;
}

int CMixSetupExKIVObject::VerifyDynamicsLink(int group, int)
{
    if (!inRange(group, MixSetupCache::kLinkGroups)) {
        m_nLastLinkError = kUnknownLinkError;
        return 0;
    }
    std::vector<BYTE> first;
    bool firstPath = true;
    for (int path : m_pCache->linkGroups[group]) {
        std::vector<BYTE> linkable;
        for (BYTE type : m_pCache->procLists[path]) {
            if (type == 20) return m_nLastLinkError = -3, 0;
            if (type == 23 || type == 27) return m_nLastLinkError = -6, 0;
            if (type == 8 || type == 9 || type == 10 || type == 26) linkable.push_back(type);
        }
        if (firstPath) {
            if (linkable.empty()) return m_nLastLinkError = -1, 0;
            first = linkable;
            firstPath = false;
        } else if (linkable != first) {
            return m_nLastLinkError = -5, 0;
        }
    }
    m_nLastLinkError = 0;
    return 1;
}

int CMixSetupExKIVObject::VerifyDynamicsLinks(int clearBad)
{
    int all = 1;
    for (int g = 0; g < MixSetupCache::kLinkGroups; ++g) {
        std::vector<int>& paths = m_pCache->linkGroups[g];
        if (paths.size() == 1) {
            paths.clear();
            all = 0;
        } else if (!VerifyDynamicsLink(g, 0)) {
            all = 0;
            if (clearBad) paths.clear();
        }
    }
    return all;
}

int CMixSetupExKIVObject::GetNextDynamicsLinkNumber() const
{
    for (int g = 0; g < MixSetupCache::kLinkGroups; ++g)
        if (m_pCache->linkGroups[g].empty()) return g;
    return -1;
}

void CMixSetupExKIVObject::ClearDynamicsLink(int group)
{
    if (inRange(group, MixSetupCache::kLinkGroups)) m_pCache->linkGroups[group].clear();
}

void CMixSetupExKIVObject::GetDynamicsLink(int group, CArray<int, int>& paths) const
{
    paths.RemoveAll();
    if (!inRange(group, MixSetupCache::kLinkGroups)) return;
    for (int path : m_pCache->linkGroups[group]) paths.Add(path);
}

void CMixSetupExKIVObject::GetDynamicsLink(int kind, int index, CArray<int, int>& paths) const
{
    GetDynamicsLink(IsDynamicsLinked(kind, index), paths);
}

CString CMixSetupExKIVObject::GetLastDynamicsLinkError() const
{
    switch (m_nLastLinkError) {
    case 0: return "No Error";
    case -1: return "The selected path has no dynamics.";
    case -2: return "The selected path is in another link.";
    case -3: return "The selected path is stereo.\nYou can only link mono paths.";
    case -4: return "The paths in a link must be contiguous.";
    case -5: return "The selected path has different dynamics.\nThe dynamics must be the same in all the linked paths.";
    case -6: return "The selected path contains dynamics that can not be linked.";
    default: return "Unknown Error";
    }
}
