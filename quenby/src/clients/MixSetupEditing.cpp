// Editing the cached mix setup: counts and the renumbering they cause, names, the channel map,
// per-path flags and values, stems, fold-downs, partitions and layouts.
#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "MixSetupCache.h"
#include "quenby/MixSetupExKIVObject.h"
#include "trevanny/SharedConstants.h"

using namespace MixSetupBlock;

namespace {

bool inRange(int v, int end) { return v >= 0 && v < end; }

// Moves the rows of a per-path table to their new numbers; rows nobody moves to take `fill`.
template <class Row>
void moveRows(Row* table, const std::vector<int>& map, const Row& fill)
{
    std::vector<Row> old(table, table + kConsolePaths);
    std::fill(table, table + kConsolePaths, fill);
    for (size_t p = 0; p < map.size(); ++p)
        if (map[p] >= 0) table[map[p]] = old[p];
}

template <size_t N>
struct Bytes {
    char b[N];
};

// The same for a table of fixed-width rows of bytes.
template <size_t N, class T>
void moveByteRows(T (*table)[N], const std::vector<int>& map, T fillValue)
{
    static_assert(sizeof(T) == 1);
    Bytes<N> fill;
    std::memset(fill.b, fillValue, N);
    moveRows(reinterpret_cast<Bytes<N>*>(table), map, fill);
}

void copyName(char* field, size_t width, const CString& name)
{
    std::memset(field, 0, width);
    std::memcpy(field, name.c_str(), std::min<size_t>(name.GetLength(), width - 1));
}

}  // namespace

// ---- counts and renumbering ----

void CMixSetupExKIVObject::SetNumType(int count, int kind)
{
    if (!inRange(kind, kKinds)) return;
    if (count < 0) count = 0;
    const int old = m_pCache->counts[kind];
    if (count == old || GetTotalPaths() - old + count > kConsolePaths) return;
    // The paths beyond the new count go; new ones come at the kind's end.
    Renumber(kind, count, count < old ? count : -1, old - count);
}

void CMixSetupExKIVObject::RemoveType(int index, int kind)
{
    if (!inRange(kind, kKinds) || !inRange(index, m_pCache->counts[kind])) return;
    Renumber(kind, m_pCache->counts[kind] - 1, index, 1);
}

// The kind gets `newCount` paths; when removed > 0 the paths index .. index + removed - 1 of
// the kind go (else the new ones are added at its end). Every table follows its paths.
void CMixSetupExKIVObject::Renumber(int kind, int newCount, int firstRemoved, int removed)
{
    MixSetupCache& c = *m_pCache;
    const int oldTotal = GetTotalPaths();
    const int oldCount = c.counts[kind];
    int oldCounts[kKinds];
    std::memcpy(oldCounts, c.counts, sizeof oldCounts);
    c.counts[kind] = newCount;

    std::vector<int> map(static_cast<size_t>(oldTotal), -1);
    for (int k = 0; k < kKinds; ++k) {
        const int from = KivKindOffset(oldCounts, kKinds, k), to = GetOffset(k);
        for (int i = 0; i < oldCounts[k]; ++i) {
            int j = i;
            if (k == kind && removed > 0 && firstRemoved >= 0) {
                if (i >= firstRemoved && i < firstRemoved + removed) continue;
                if (i >= firstRemoved + removed) j -= removed;
            }
            map[static_cast<size_t>(from + i)] = to + j;
        }
    }

    // Per-path tables.
    moveByteRows(c.shortNames, map, '\0');
    moveByteRows(c.longNames, map, '\0');
    moveByteRows(c.procLists, map, CProcessListConverter::kEnd);
    struct Variants {
        int v[2];
    };
    moveRows(reinterpret_cast<Variants*>(c.variants), map, Variants{{-1, -1}});
    moveRows(c.surround, map, WORD{0});
    moveRows(c.soloInhibit, map, BYTE{0});
    moveRows(c.disabled, map, BYTE{0});
    moveRows(c.automated, map, BYTE{0});
    moveRows(c.priority, map, BYTE{0});
    moveRows(c.engines, map, BYTE{0});
    if (removed <= 0) {
        // New paths: the kind's default list and labels.
        const int offset = GetOffset(kind);
        for (int i = oldCount; i < newCount; ++i) {
            ClearPath(offset + i, kind);
            CString label = GetDefaultName(kind, i + 1);
            copyName(c.shortNames[offset + i], kShortNameWidth, label);
            copyName(c.longNames[offset + i], kLongNameWidth, label);
        }
    }

    // Tables that hold path numbers.
    auto moved = [&](int path) { return path >= 0 && path < oldTotal ? map[static_cast<size_t>(path)] : -1; };
    for (int& v : std::span<int>(&c.channelMap[0][0][0], kBanks * kLayers * kStrips)) v = moved(v);
    const int oldTracks = KivKindOffset(oldCounts, kKinds, 7), newTracks = GetOffset(7);
    for (auto& stem : c.stems)
        for (int slot = 1; slot < kStemValues; ++slot)
            if (stem[slot] >= 0) {
                const int path = moved(oldTracks + stem[slot]);
                stem[slot] = path < 0 ? -1 : path - newTracks;
            }
    for (auto& group : c.linkGroups) {
        std::vector<int> kept;
        for (int p : group)
            if (moved(p) >= 0) kept.push_back(moved(p));
        // A link of one path is none.
        if (kept.size() < 2) kept.clear();
        group = std::move(kept);
    }
    if (kind == 12) RenumberPreDubsForMasters(oldCount, newCount, removed > 0 ? firstRemoved : -1);
    RenumberPreDubs(map, removed > 0);
}

void CMixSetupExKIVObject::ClearPath(int path, int kind)
{
    if (!inRange(path, kConsolePaths)) return;
    MixSetupCache& c = *m_pCache;
    std::memcpy(c.procLists[path], c.defaultLists[kind == 14 ? 0 : kind], kProcSlots);
    c.variants[path][0] = c.variants[path][1] = -1;
    c.surround[path] = 65535;
    c.soloInhibit[path] = 0;
    c.disabled[path] = 0;
    c.automated[path] = 1;
    c.priority[path] = 0;
}

void CMixSetupExKIVObject::SetNumGroups(int count)
{
    SetNumType(count, 1);
    static const BYTE kMixMinusList[] = {19, 15};
    for (int i = 0; i < std::min(m_nNumMixMinusGroups, GetNumGroups()); ++i) {
        BYTE* list = m_pCache->procLists[GetOffset(1) + i];
        std::memset(list, CProcessListConverter::kEnd, kProcSlots);
        std::memcpy(list, kMixMinusList, sizeof kMixMinusList);
    }
}

void CMixSetupExKIVObject::SetNumStarCommand(int midi, int oasis)
{
    midi = std::max(midi, 0);
    oasis = std::max(oasis, 0);
    SetNumType(midi + oasis, 13);
    if (GetNumStarCommand() != midi + oasis) return;
    for (int i = 0; i < midi + oasis; ++i) {
        BYTE* list = m_pCache->procLists[GetOffset(13) + i];
        std::memset(list, CProcessListConverter::kEnd, kProcSlots);
        list[0] = i < midi ? 44 : 45;
        list[1] = 0;
    }
}

void CMixSetupExKIVObject::SetNumMixMinusOutputs(int count) { m_pCache->mixMinusOutputs = count; }

void CMixSetupExKIVObject::Clear()
{
    InitialCache();
    m_hCreatedWindow = nullptr;
}

void CMixSetupExKIVObject::Clear(int kind)
{
    for (int i = 0; i < GetNum(kind); ++i) Clear(kind, i);
}

void CMixSetupExKIVObject::Clear(int kind, int index)
{
    const int path = PathOf(kind, index);
    if (path < 0) return;
    ClearPath(path, kind);
    int predub, slot;
    if (IsPathInPreDub(path, predub, slot)) CreatePredubMasterProcesses(predub);
}

// ---- names ----

void CMixSetupExKIVObject::GetName(int kind, int index, CString& shortName, CString& longName) const
{
    const int path = PathOf(kind, index);
    shortName = path < 0 ? CString() : CString(m_pCache->shortNames[path]);
    longName = path < 0 ? CString() : CString(m_pCache->longNames[path]);
}

void CMixSetupExKIVObject::GetName(int kind, int index, CString& shortName) const
{
    CString longName;
    GetName(kind, index, shortName, longName);
}

void CMixSetupExKIVObject::GetName(int path, CString& shortName) const
{
    shortName = ValidPath(path) ? CString(m_pCache->shortNames[path]) : CString();
}

void CMixSetupExKIVObject::SetName(int kind, int index, const CString& shortName, const CString& longName)
{
    const int path = PathOf(kind, index);
    if (path < 0) return;
    copyName(m_pCache->shortNames[path], kShortNameWidth, shortName);
    copyName(m_pCache->longNames[path], kLongNameWidth, longName);
}

void CMixSetupExKIVObject::SetName(int kind, int index, const CString& shortName)
{
    const int path = PathOf(kind, index);
    if (path >= 0) copyName(m_pCache->shortNames[path], kShortNameWidth, shortName);
}

void CMixSetupExKIVObject::SetName(int path, const CString& shortName)
{
    if (ValidPath(path)) copyName(m_pCache->shortNames[path], kShortNameWidth, shortName);
}

void CMixSetupExKIVObject::GetNamesOfType(int kind, CStringArray& names, CArray<int, int>& paths) const
{
    names.RemoveAll();
    paths.RemoveAll();
    for (int i = 0; i < GetNum(kind); ++i) {
        const int path = GetOffset(kind) + i;
        names.Add(m_pCache->shortNames[path]);
        paths.Add(path);
    }
}

CString CMixSetupExKIVObject::GetStarCommandName(int path) const
{
    const int first = GetOffset(13);
    if (path < first) return "ERLO";
    if (path >= first + GetNumStarCommand()) return "ERHI";
    return path < first + GetNumHUI() ? "MIDI" : "OASIS";
}

int CMixSetupExKIVObject::GetNumStarTypes(BYTE process) const
{
    int n = 0;
    for (int i = 0; i < GetNumStarCommand(); ++i) {
        const BYTE* list = m_pCache->procLists[GetOffset(13) + i];
        if (std::find(list, list + kProcSlots, process) != list + kProcSlots) ++n;
    }
    return n;
}

CString CMixSetupExKIVObject::GetBankName(int bank) const
{
    if (inRange(bank, kBanks) && m_pCache->bankNames[bank][0] != '\0') {
        const char* name = m_pCache->bankNames[bank];
        return CString(name, static_cast<int>(strnlen(name, kBankNameWidth)));
    }
    CString name;
    name.Format("Bank %d", bank + 1);
    return name;
}

void CMixSetupExKIVObject::SetBankName(int bank, const CString& name)
{
    if (!inRange(bank, kBanks)) return;
    char* field = m_pCache->bankNames[bank];
    if (name.IsEmpty()) {
        CString text;
        text.Format("Bank %d", bank + 1);
        copyName(field, kBankNameWidth, text);
        return;
    }
    // Nine bytes over the start of the name; the rest of the field keeps what it held.
    const size_t n = strnlen(name.c_str(), 9);
    std::memset(field, 0, 9);
    std::memcpy(field, name.c_str(), n);
}

// ---- channel map ----

int CMixSetupExKIVObject::GetChannelMapPath(int bank, int layer, int strip) const
{
    if (!inRange(bank, kBanks) || !inRange(layer, kLayers) || !inRange(strip, kStrips)) return -1;
    return m_pCache->channelMap[bank][layer][strip];
}

void CMixSetupExKIVObject::SetChannelMapPath(int bank, int layer, int strip, int path)
{
    if (!inRange(bank, kBanks) || !inRange(layer, kLayers) || !inRange(strip, kStrips)) return;
    if (path != -1 && !ValidPath(path)) return;
    m_pCache->channelMap[bank][layer][strip] = path;
}

void CMixSetupExKIVObject::ClearChannelMap(int bank)
{
    if (inRange(bank, kBanks)) std::fill(&m_pCache->channelMap[bank][0][0], &m_pCache->channelMap[bank][0][0] + kLayers * kStrips, -1);
}

void CMixSetupExKIVObject::GetChannelMapBankPaths(int bank, int* out) const
{
    if (!out) return;
    if (!inRange(bank, kBanks)) {
        std::fill(out, out + kLayers * kStrips, -1);
        return;
    }
    std::memcpy(out, m_pCache->channelMap[bank], sizeof m_pCache->channelMap[bank]);
}

void CMixSetupExKIVObject::SetChannelMapBankPaths(int bank, const int* in)
{
    if (!in || !inRange(bank, kBanks)) return;
    int* entries = &m_pCache->channelMap[bank][0][0];
    for (int i = 0; i < kLayers * kStrips; ++i) entries[i] = ValidPath(in[i]) ? in[i] : -1;
}

CString CMixSetupExKIVObject::GetChannelMapPathName(int bank, int layer, int strip) const
{
    CString name;
    GetName(GetChannelMapPath(bank, layer, strip), name);
    return name;
}

int CMixSetupExKIVObject::FindPathInChannelMap(int path, int bank, int& layer, int& strip) const
{
    layer = strip = -1;
    if (!inRange(bank, kBanks) || path < 0) return 0;
    for (int l = 0; l < kLayers; ++l)
        for (int s = 0; s < kStrips; ++s)
            if (m_pCache->channelMap[bank][l][s] == path) {
                layer = l;
                strip = s;
                return 1;
            }
    return 0;
}

int CMixSetupExKIVObject::FindPathInDifferentBankPart(int path, int bank, int strip) const
{
    if (m_nConsoleType != 3 || path < 0) return 0;
    const int partition = GetPartitionForStrip(strip);
    for (int b = 0; b < kBanks; ++b) {
        if (b == bank) continue;
        for (int l = 0; l < kLayers; ++l)
            for (int s = 0; s < kStrips; ++s)
                if (m_pCache->channelMap[b][l][s] == path && GetPartitionForStrip(s) == partition) return 1;
    }
    return 0;
}

int CMixSetupExKIVObject::IsDeskDesignValid() const
{
    if (m_nConsoleType == 1 || m_nConsoleType == 6 || m_nConsoleType > 7) return 1;
    for (int v : std::span<const int>(&m_pCache->channelMap[0][0][0], kBanks * kLayers * kStrips))
        if (ValidPath(v)) return 1;
    return 0;
}

// ---- per-path flags and values ----

WORD CMixSetupExKIVObject::GetSurroundDesignator(int kind, int index) const
{
    const int path = PathOf(kind, index);
    return path < 0 ? 0 : m_pCache->surround[path];
}

void CMixSetupExKIVObject::SetSurroundDesignator(int kind, int index, WORD designator)
{
    const int path = PathOf(kind, index);
    if (path < 0) return;
    m_pCache->surround[path] = IsMixMinusTrack(kind, index) ? 0 : designator;
}

#define MIXSETUP_PATH_FLAG(Getter, Setter, table)                                                      \
    BYTE CMixSetupExKIVObject::Getter(int kind, int index) const                                     \
    {                                                                                                \
        const int path = PathOf(kind, index);                                                        \
        return path < 0 ? 0 : m_pCache->table[path];                                                 \
    }                                                                                                \
    void CMixSetupExKIVObject::Setter(int kind, int index, BYTE value)                               \
    {                                                                                                \
        const int path = PathOf(kind, index);                                                        \
        if (path >= 0) m_pCache->table[path] = value;                                                \
    }                                                                                                \
    void CMixSetupExKIVObject::Setter(int path, BYTE value)                                          \
    {                                                                                                \
        if (ValidPath(path)) m_pCache->table[path] = value;                                          \
    }

MIXSETUP_PATH_FLAG(GetSoloInhibit, SetSoloInhibit, soloInhibit)
MIXSETUP_PATH_FLAG(GetDisabled, SetDisabled, disabled)
MIXSETUP_PATH_FLAG(GetAutomated, SetAutomated, automated)
#undef MIXSETUP_PATH_FLAG

BYTE CMixSetupExKIVObject::GetPriority(int path) const { return inRange(path, m_nMaxPaths) ? m_pCache->priority[path] : 0; }

void CMixSetupExKIVObject::SetPriority(int path, BYTE priority)
{
    if (inRange(path, m_nMaxPaths)) m_pCache->priority[path] = priority;
}

BYTE CMixSetupExKIVObject::GetPathFromEngine(int kind, int index) const
{
    const int path = PathOf(kind, index);
    return path < 0 ? 0 : m_pCache->engines[path];
}

bool CMixSetupExKIVObject::SetPathFromEngine(int kind, int index, BYTE engine)
{
    const int path = PathOf(kind, index);
    if (path < 0 || engine > 3) return false;
    m_pCache->engines[path] = engine;
    return !GetEngineFull(engine);
}

const BYTE* CMixSetupExKIVObject::GetPathFromEngine() const { return m_pCache->engines; }

int CMixSetupExKIVObject::GetEngineCount(int engine) const
{
    const int total = GetTotalPaths();
    return static_cast<int>(std::count(m_pCache->engines, m_pCache->engines + total, engine));
}

// More than 500 paths on one engine is more than it runs.
bool CMixSetupExKIVObject::GetEngineFull(int engine) const { return GetEngineCount(engine) > 500; }

void CMixSetupExKIVObject::GetTimeslotsUsed(int path, int& a, int& b) const
{
    a = b = 0;
    if (!ValidPath(path)) return;
    const bool film = GetPathType(path) == 10;
    for (BYTE process : m_pCache->procLists[path]) {
        switch (process) {
        case CProcessListConverter::kEnd: return;
        case 7: a += film ? 2 : 1, b += 1; break;
        case 11: case 22: case 24: a += 1; break;
        case 12: case 13: case 14: case 27: a += 2; break;
        case 25: a += 4; break;
        case 30: a += 1, b += 1; break;
        case 15: b += 1; break;
        case 16: case 17: case 18: b += 2; break;
        default: break;
        }
    }
}

void CMixSetupExKIVObject::GetTimeslotsUsed(int* a, int* b) const
{
    if (!a || !b) return;
    std::fill(a, a + 4, 0);
    std::fill(b, b + 4, 0);
    for (int p = 0; p < GetTotalPaths(); ++p) {
        const int engine = m_pCache->engines[p];
        if (engine > 3) continue;  // on no engine that runs
        int pa, pb;
        GetTimeslotsUsed(p, pa, pb);
        a[engine] += pa;
        b[engine] += pb;
    }
}

// ---- stems ----

int CMixSetupExKIVObject::IsInStem(int path) const
{
    int stem, slot;
    return IsInStem(path, stem, slot);
}

int CMixSetupExKIVObject::IsInStem(int path, int& stem, int& slot) const
{
    stem = slot = -1;
    if (GetPathType(path) != 7) return 0;
    const int track = path - GetOffset(7);
    for (int s = 0; s < kStems; ++s)
        for (int v = 1; v < kStemValues; ++v)
            if (m_pCache->stems[s][v] == track) {
                stem = s;
                slot = v - 1;
                return 1;
            }
    return 0;
}

void CMixSetupExKIVObject::AddToStem(int stem, int slot, int path)
{
    if (!inRange(stem, kStems) || !inRange(slot, kStemValues - 1) || GetPathType(path) != 7) return;
    m_pCache->stems[stem][slot + 1] = path - GetOffset(7);
}

void CMixSetupExKIVObject::ClearStem(int stem)
{
    if (inRange(stem, kStems)) std::fill(m_pCache->stems[stem] + 1, m_pCache->stems[stem] + kStemValues, -1);
}

void CMixSetupExKIVObject::ClearAllStems()
{
    for (int s = 0; s < kStems; ++s) ClearStem(s);
}

void CMixSetupExKIVObject::GetStemContents(int stem, CArray<int, int>& paths) const
{
    paths.RemoveAll();
    if (!inRange(stem, kStems)) return;
    for (int v = 1; v < kStemValues; ++v)
        if (m_pCache->stems[stem][v] >= 0) paths.Add(m_pCache->stems[stem][v] + GetOffset(7));
}

// ---- fold-downs ----

void CMixSetupExKIVObject::GetFoldDownData(short gains[][9][9], char names[][9]) const
{
    if (gains) std::memcpy(gains, m_pCache->foldGains, sizeof m_pCache->foldGains);
    if (names) std::memcpy(names, m_pCache->foldNames, sizeof m_pCache->foldNames);
}

void CMixSetupExKIVObject::SetFoldDownData(const short gains[][9][9], const char names[][9])
{
    if (gains) std::memcpy(m_pCache->foldGains, gains, sizeof m_pCache->foldGains);
    if (names) std::memcpy(m_pCache->foldNames, names, sizeof m_pCache->foldNames);
}

void CMixSetupExKIVObject::SetFoldDownGain(int fold, int input, int output, short gain)
{
    if (inRange(fold, kFoldDowns) && inRange(input, kFoldSize) && inRange(output, kFoldSize)) m_pCache->foldGains[fold][input][output] = gain;
}

void CMixSetupExKIVObject::SetFoldDownName(int fold, const char* name)
{
    if (inRange(fold, kFoldDowns)) copyName(m_pCache->foldNames[fold], kFoldNameWidth, name ? name : "");
}

// ---- partitions, zones and layouts ----

void CMixSetupExKIVObject::SetMastersAndPartition(const int masters[3][2], const int partitions[3][2])
{
    std::memcpy(m_pCache->masters, masters, sizeof m_pCache->masters);
    std::memcpy(m_pCache->partitions, partitions, sizeof m_pCache->partitions);
}

int CMixSetupExKIVObject::GetPathPartition(int path) const
{
    int sum = 0;
    for (int i = 0; i < 3; ++i) {
        if (m_pCache->masters[i][1] <= 0) continue;
        sum += m_pCache->partitions[i][1] - m_pCache->masters[i][1];
        if (sum > path) return i;
    }
    return 0;
}

int CMixSetupExKIVObject::GetPartitionForStrip(int strip) const
{
    const auto& part = m_pCache->partitions;
    const auto& masters = m_pCache->masters;
    for (int i = 0; i < 3; ++i) {
        if (part[i][1] <= 0) continue;
        if (!(strip < part[i][0] + part[i][1] - masters[i][1] && strip < masters[i][0])) strip += masters[i][1];
    }
    for (int i = 0; i < 3; ++i)
        if (part[i][1] > 0 && strip >= part[i][0] && strip < part[i][0] + part[i][1]) return i;
    return 0;
}

void CMixSetupExKIVObject::SetPreDubZones(const int zones[3])
{
    for (int i = 0; i < 3; ++i) m_pCache->preDubZones[i] = static_cast<BYTE>(zones[i]);
}

int CMixSetupExKIVObject::GetPreDubZone(int zone) const { return inRange(zone, 3) ? m_pCache->preDubZones[zone] : 255; }

bool CMixSetupExKIVObject::IsInPreDubZone(int strip, int width) const
{
    for (BYTE first : m_pCache->preDubZones)
        if (first != 255 && strip >= first && strip <= first + width - 1) return true;
    return false;
}

void CMixSetupExKIVObject::SetAuxLayout(int a, int b, int c, int d)
{
    const int layout[4] = {a, b, c, d};
    std::memcpy(m_pCache->auxLayout, layout, sizeof layout);
    SetNumType(a + b + c + d, 3);
}

void CMixSetupExKIVObject::GetAuxLayout(int& a, int& b, int& c, int& d) const
{
    a = m_pCache->auxLayout[0];
    b = m_pCache->auxLayout[1];
    c = m_pCache->auxLayout[2];
    d = m_pCache->auxLayout[3];
}

int CMixSetupExKIVObject::GetAuxPartition(int aux) const
{
    int sum = 0;
    for (int i = 0; i < 4; ++i) {
        if (m_pCache->auxLayout[i] <= 0) continue;
        sum += m_pCache->auxLayout[i];
        if (sum > aux) return i - 1;
    }
    return -2;
}

void CMixSetupExKIVObject::SetExternalBreakdown(const int counts[7])
{
    std::memcpy(m_pCache->externalBreakdown, counts, sizeof m_pCache->externalBreakdown);
    int sum = 0;
    for (int i = 0; i < kExternals; ++i) sum += counts[i];
    SetNumType(sum, 9);
}

void CMixSetupExKIVObject::GetExternalBreakdown(int counts[7]) const
{
    std::memcpy(counts, m_pCache->externalBreakdown, sizeof m_pCache->externalBreakdown);
}

void CMixSetupExKIVObject::SetFilmIndex(int index)
{
    m_pCache->filmIndex = index;
    m_pCache->filmPanLaw = index;
    if (m_bAltFilmModes && (index == 6 || index == 7)) {
        m_pCache->filmIndex = 5;
        m_pCache->filmPanLaw = index == 6 ? 3 : 4;
    }
}

int CMixSetupExKIVObject::GetFilmIndex() const
{
    if (m_bAltFilmModes && m_pCache->filmIndex == 5 && (m_pCache->filmPanLaw == 3 || m_pCache->filmPanLaw == 4))
        return m_pCache->filmPanLaw == 3 ? 6 : 7;
    return m_pCache->filmIndex;
}

int CMixSetupExKIVObject::IsMixMinusGroup(int kind, int index) const
{
    return kind == 1 && inRange(index, std::min(m_nNumMixMinusGroups, GetNumGroups())) ? 1 : 0;
}

int CMixSetupExKIVObject::IsMixMinusGroup(int path) const
{
    const int kind = GetPathType(path);
    return kind < 0 ? 0 : IsMixMinusGroup(kind, path - GetOffset(kind));
}

int CMixSetupExKIVObject::IsMixMinusTrack(int kind, int index) const
{
    return m_nConsoleType == 4 && kind == 7 && inRange(index, std::min(GetNumMixMinusOutputs(), GetNumTracks())) ? 1 : 0;
}

int CMixSetupExKIVObject::IsMixMinusTrack(int path) const
{
    const int kind = GetPathType(path);
    return kind < 0 ? 0 : IsMixMinusTrack(kind, path - GetOffset(kind));
}
