// The mix-setup object's cache, its blocks both ways and the reply.
#include "quenby/MixSetupExKIVObject.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <span>
#include <vector>

#include "MixSetupCache.h"
#include "quenby/KIVCommands.h"
#include "trevanny/ConsoleConfig.h"
#include "trevanny/ConsoleRegistryNames.h"
#include "trevanny/SharedConstants.h"
#include "winport/Clock.h"
#include "winport/Window.h"

using namespace MixSetupBlock;

namespace {

// The allocation results of the last reply, one list for every mix-setup object of the
// program; emptied when the last object goes.
struct AllocationResults {
    std::mutex mutex;
    std::vector<int> values;
    int objects = 0;
};

AllocationResults& allocationResults()
{
    static AllocationResults results;
    return results;
}

// The formats of the default labels, for numbers below 10 and from 10 on, by kind.
constexpr KivLabelFormats kBelow10 = {"  %d", "GRP%d", "MAI%d", "AU %d", "LS%d", "TBK ", "SEL%d",
                                      "TRK%d", "CUE%d", "EXT%d", "FLM%d", "FLS%d", "PD%d", "SC%d"};
constexpr KivLabelFormats kFrom10 = {"%d", "GR%d", "MA%d", "AU%d", "LS%d", "TBK ", "SE%d",
                                     "TR%d", "CU%d", "EX%d", "FL%d", "FS%d", "PD%d", "SC%d"};

// Reads count int32 values at offset into out (the reply was checked to hold the block).
void readInts(const KivReplyReader& in, size_t offset, int* out, size_t count) { in.GetBytes(offset, out, 4 * count); }

// A path number that names a path of the setup, else -1.
int checkedPath(int value, int total) { return value >= 0 && value < total ? value : -1; }

}  // namespace

CMixSetupExKIVObject::CMixSetupExKIVObject(int enabled)
    : CGenericKIVObject(enabled), m_pCache(std::make_unique<MixSetupCache>())
{
    std::memcpy(m_szBelow10, kBelow10, sizeof m_szBelow10);
    std::memcpy(m_szFrom10, kFrom10, sizeof m_szFrom10);
    CConsoleRegistryNames::LoadConsoleSettings();
    m_nConsoleType = CConsoleRegistryNames::GetConsoleType();
    m_nNumMixMinusGroups = CConsoleRegistryNames::GetNumMixMinusGroups();
    // The mix-minus console has its first group as the mix-minus group.
    if (m_nConsoleType == 4 && m_nNumMixMinusGroups < 1) m_nNumMixMinusGroups = 1;
    m_nMaxPaths = std::min(::CConsoleConfig().GetMaxPathCount(), kConsolePaths);
    // Film modes 6 and 7 (film index 5 with pan laws 3 and 4) exist on the type 7 console.
    m_bAltFilmModes = m_nConsoleType == 7;
    InitialCache();
    AllocationResults& shared = allocationResults();
    std::lock_guard<std::mutex> lock(shared.mutex);
    ++shared.objects;
}

CMixSetupExKIVObject::~CMixSetupExKIVObject()
{
    // No reply may reach the cache while it goes.
    StopAdvise();
    AllocationResults& shared = allocationResults();
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (--shared.objects == 0) shared.values.clear();
}

UINT CMixSetupExKIVObject::MSUCreatedMessage()
{
    static const UINT message = RegisterWindowMessageA("MSU Created");
    return message;
}

void CMixSetupExKIVObject::InitialCache()
{
    MixSetupCache& c = *m_pCache;
    std::memset(static_cast<void*>(&c.shortNames), 0, sizeof c.shortNames + sizeof c.longNames);
    std::memset(c.counts, 0, sizeof c.counts);
    std::memset(c.auxLayout, 0, sizeof c.auxLayout);
    std::fill(&c.channelMap[0][0][0], &c.channelMap[0][0][0] + kBanks * kLayers * kStrips, -1);
    std::memset(c.procLists, CProcessListConverter::kEnd, sizeof c.procLists);
    std::memset(c.surround, 0, sizeof c.surround);
    std::fill(&c.stems[0][0], &c.stems[0][0] + kStems * kStemValues, -1);
    for (auto& group : c.linkGroups) group.clear();
    c.numFaders = 24;
    c.readOnly = 0;
    std::fill(&c.preDubs[0][0], &c.preDubs[0][0] + kPreDubs * kPreDubSlots, -1);
    std::memset(c.externalBreakdown, 0, sizeof c.externalBreakdown);
    std::memset(c.soloInhibit, 0, sizeof c.soloInhibit);
    std::memset(c.disabled, 0, sizeof c.disabled);
    std::memset(c.automated, 0, sizeof c.automated);
    c.filmIndex = 0;
    c.filmPanLaw = 0;
    std::memset(c.priority, 0, sizeof c.priority);
    std::memset(c.bankNames, 0, sizeof c.bankNames);
    for (int bank = 0; bank < kBanks; ++bank) {
        CString name;
        name.Format("Bank %-23d", bank + 1);  // padded with spaces to 28 characters
        std::memcpy(c.bankNames[bank], name.c_str(), std::min<size_t>(name.GetLength(), kBankNameWidth - 1));
    }
    c.deskSetupType = 0;
    c.mixMinusOutputs = 0;
    std::fill(&c.variants[0][0], &c.variants[0][0] + 2 * kConsolePaths, -1);
    SetLayerNames("");
    std::memset(c.engines, 0, sizeof c.engines);
    const BYTE zone = m_nConsoleType == 3 || m_nConsoleType == 5 || m_nConsoleType == 7 ? 0 : 255;
    std::memset(c.preDubZones, zone, sizeof c.preDubZones);
    std::memset(c.masters, 0, sizeof c.masters);
    std::memset(c.partitions, 0, sizeof c.partitions);
    std::memset(c.defaultLists, CProcessListConverter::kEnd, sizeof c.defaultLists);
    m_strMSUName.Empty();
    m_strDefaultMSUName.Empty();
    m_nLastLinkError = 0;
    ClearFoldDowns();
}

// ---- commands ----

void CMixSetupExKIVObject::Get(CString name, int mode)
{
    KivBlock block(AttachToMSU, kAttachSize);
    block.BoundedName(kAttachName, kAttachNameBytes, name.c_str());
    block.Put32(kAttachMode, mode);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CMixSetupExKIVObject::LoadProcessList()
{
    SendAttachBlock(KivNameBlock(ForceReadProcessListMSUCommand, kAttachSize, kAttachName, kMSUNameWidth, m_strMSUName.c_str()),
                    /*readNow=*/1);
}

void CMixSetupExKIVObject::Create(const CString& name, int value, const CArray<int, int>& list, HWND window)
{
    m_hCreatedWindow = window;
    SetMSUName(name);
    Create(value, list, window);
}

void CMixSetupExKIVObject::Create(int value, const CArray<int, int>& list, HWND window)
{
    if (m_strMSUName.IsEmpty()) {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        m_strMSUName.Format("MSU - %02d/%02d %d:%02d", now.wDay, now.wMonth, now.wHour, now.wMinute);
    }
    VerifyDynamicsLinks(1);
    SendWholeBlock(CreateMSUCommand, m_strMSUName, window, &value, &list);
}

void CMixSetupExKIVObject::Save(const CString& name, HWND window)
{
    VerifyDynamicsLinks(1);
    SendWholeBlock(ModifyMSUCommand, name, window, nullptr, nullptr);
}

void CMixSetupExKIVObject::Save(HWND window) { Save(m_strMSUName, window); }

void CMixSetupExKIVObject::SaveAs(const CString& name, HWND window) { Save(name, window); }

void CMixSetupExKIVObject::SendWholeBlock(int command, const CString& name, HWND window, const int* createValue,
                                          const CArray<int, int>* createList)
{
    const MixSetupCache& c = *m_pCache;
    KivBlock block(command, kSize, window);
    if (!block.Made()) return;
    const int total = GetTotalPaths();

    // Names: each field keeps its zero.
    block.PutBytes(kShortNames, c.shortNames, sizeof c.shortNames);
    block.PutBytes(kLongNames, c.longNames, sizeof c.longNames);
    block.PlainName(kName, kMSUNameWidth, name.c_str());
    block.PlainName(kDefaultName, kMSUNameWidth, m_strDefaultMSUName.c_str());
    block.PutBytes(kCounts, c.counts, sizeof c.counts);
    block.PutBytes(kAuxLayout, c.auxLayout, sizeof c.auxLayout);
    if (createValue) block.Put32(kCreateValue, *createValue);
    block.PutBytes(kChannelMap, c.channelMap, sizeof c.channelMap);

    for (int p = 0; p < kConsolePaths; ++p) {
        int32_t slots[kProcSlots];
        std::copy(c.procLists[p], c.procLists[p] + kProcSlots, slots);
        block.PutBytes(kProcLists + sizeof slots * p, slots, sizeof slots);
    }
    block.PutBytes(kSurround, c.surround, sizeof c.surround);
    block.PutBytes(kStemTable, c.stems, sizeof c.stems);

    // Links: each path of a group names the next, the last names the first; others themselves.
    int32_t links[kConsolePaths];
    for (int p = 0; p < kConsolePaths; ++p) links[p] = p;
    for (const auto& group : c.linkGroups)
        for (size_t i = 0; i < group.size(); ++i) links[group[i]] = group[(i + 1) % group.size()];
    block.PutBytes(kLinks, links, sizeof links);

    block.Put32(kNumFaders, c.numFaders);
    block.Put32(kReadOnly, c.readOnly);
    block.PutBytes(kPreDubTable, c.preDubs, sizeof c.preDubs);
    block.PutBytes(kExternalBreakdown, c.externalBreakdown, sizeof c.externalBreakdown);
    block.PutBytes(kSoloInhibit, c.soloInhibit, sizeof c.soloInhibit);
    block.PutBytes(kDisabled, c.disabled, sizeof c.disabled);
    block.PutBytes(kAutomated, c.automated, sizeof c.automated);
    if (createList) {
        const int n = std::min<int>(static_cast<int>(createList->GetSize()), kCreateListValues);
        block.PutBytes(kCreateList, createList->GetData(), 4 * static_cast<size_t>(std::max(n, 0)));
    }
    block.Put32(kFilmIndex, c.filmIndex);
    {
        AllocationResults& shared = allocationResults();
        std::lock_guard<std::mutex> lock(shared.mutex);
        const size_t n = std::min(shared.values.size(), static_cast<size_t>(total));
        block.PutBytes(kAllocation, shared.values.data(), 4 * n);
    }
    block.PutBytes(kPriority, c.priority, sizeof c.priority);
    block.PutBytes(kBankNames, c.bankNames, sizeof c.bankNames);
    block.Put32(kDeskSetupType, c.deskSetupType);
    block.Put32(kMixMinusOutputs, c.mixMinusOutputs);
    block.Put32(kFilmPanLaw, c.filmPanLaw);
    block.PutBytes(kVariants, c.variants, sizeof c.variants);
    block.PutBytes(kFoldGains, c.foldGains, sizeof c.foldGains);
    block.PutBytes(kFoldNames, c.foldNames, sizeof c.foldNames);
    block.PutBytes(kLayerNames, c.layerNames, sizeof c.layerNames);
    block.PutBytes(kEngines, c.engines, sizeof c.engines);
    SendCommandBlock(block.Take());
}

// ---- the reply ----

int CMixSetupExKIVObject::OnLinkIn(_CommsStructure* reply)
{
    KivReplyReader in(reply);
    if (in.Size() < kSize) return 1;  // not a mix setup: ignored whole

    // Checked before anything is taken: a negative count is 0, a total above 2000 refuses it.
    int counts[kKinds];
    readInts(in, kCounts, counts, kKinds);
    int64_t sum = 0;
    for (int& n : counts) {
        if (n < 0) n = 0;
        sum += n;
    }
    if (sum > kConsolePaths) return 1;
    const int total = static_cast<int>(sum);

    MixSetupCache& c = *m_pCache;
    // The reply holds the whole block (its size field was checked against the bytes received).
    const char* bytes = reinterpret_cast<const char*>(reply);
    // Names, each read within its field: an empty short name keeps the cached names of the path.
    for (int p = 0; p < m_nMaxPaths; ++p) {
        const char* shortName = bytes + kShortNames + kShortNameWidth * p;
        const size_t n = strnlen(shortName, kShortNameWidth - 1);
        if (n == 0) continue;
        const char* longName = bytes + kLongNames + kLongNameWidth * p;
        std::memset(c.shortNames[p], 0, kShortNameWidth);
        std::memcpy(c.shortNames[p], shortName, n);
        std::memset(c.longNames[p], 0, kLongNameWidth);
        std::memcpy(c.longNames[p], longName, strnlen(longName, kLongNameWidth - 1));
    }
    std::memcpy(c.counts, counts, sizeof counts);
    DefaultNamesForQueries();
    m_strMSUName = in.GetString(kName, kMSUNameWidth - 1);
    m_strDefaultMSUName = in.GetString(kDefaultName, kMSUNameWidth - 1);

    readInts(in, kChannelMap, &c.channelMap[0][0][0], kBanks * kLayers * kStrips);
    // Each 32-bit process slot is kept as its low byte.
    for (size_t i = 0; i < static_cast<size_t>(kProcSlots) * kConsolePaths; ++i) (&c.procLists[0][0])[i] = static_cast<BYTE>(bytes[kProcLists + 4 * i]);
    readInts(in, kVariants, &c.variants[0][0], 2 * kConsolePaths);
    in.GetBytes(kFoldGains, c.foldGains, sizeof c.foldGains);
    in.GetBytes(kFoldNames, c.foldNames, sizeof c.foldNames);
    c.filmIndex = in.Get32(kFilmIndex);
    c.filmPanLaw = in.Get32(kFilmPanLaw);
    in.GetBytes(kSurround, c.surround, sizeof c.surround);
    readInts(in, kStemTable, &c.stems[0][0], kStems * kStemValues);
    readInts(in, kExternalBreakdown, c.externalBreakdown, kExternals);
    readInts(in, kAuxLayout, c.auxLayout, 4);
    in.GetBytes(kSoloInhibit, c.soloInhibit, sizeof c.soloInhibit);
    in.GetBytes(kPriority, c.priority, sizeof c.priority);
    in.GetBytes(kDisabled, c.disabled, sizeof c.disabled);
    in.GetBytes(kAutomated, c.automated, sizeof c.automated);

    int links[kConsolePaths];
    readInts(in, kLinks, links, kConsolePaths);
    RebuildLinkGroups(links);

    // Faders stand for paths: a negative count is none, and there are never more than paths.
    c.numFaders = std::clamp(in.Get32(kNumFaders), 0, kConsolePaths);
    c.readOnly = in.Get32(kReadOnly);
    readInts(in, kPreDubTable, &c.preDubs[0][0], kPreDubs * kPreDubSlots);
    {
        AllocationResults& shared = allocationResults();
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.values.assign(static_cast<size_t>(total), 0);
        readInts(in, kAllocation, shared.values.data(), shared.values.size());
    }
    c.deskSetupType = in.Get32(kDeskSetupType);
    c.mixMinusOutputs = in.Get32(kMixMinusOutputs);
    in.GetBytes(kBankNames, c.bankNames, sizeof c.bankNames);
    in.GetBytes(kLayerNames, c.layerNames, sizeof c.layerNames);
    in.GetBytes(kEngines, c.engines, sizeof c.engines);

    // Path numbers that name no path of this setup are none.
    for (int& v : std::span<int>(&c.channelMap[0][0][0], kBanks * kLayers * kStrips)) v = checkedPath(v, total);
    // A predub member that names no path is taken out; the members behind it move up.
    std::vector<int> same(static_cast<size_t>(total));
    for (int p = 0; p < total; ++p) same[static_cast<size_t>(p)] = p;
    RenumberPreDubs(same, false);
    const int tracks = c.counts[7];
    for (auto& stem : c.stems)
        for (int slot = 1; slot < kStemValues; ++slot)
            if (stem[slot] < 0 || stem[slot] >= tracks) stem[slot] = -1;

    if (m_hCreatedWindow) PostMessageA(m_hCreatedWindow, MSUCreatedMessage(), 0, 0);
    return 1;
}

void CMixSetupExKIVObject::RebuildLinkGroups(const int* links)
{
    MixSetupCache& c = *m_pCache;
    for (auto& group : c.linkGroups) group.clear();
    const int total = GetTotalPaths();
    int current = 0;
    for (int p = 0; p < total && current < MixSetupCache::kLinkGroups; ++p) {
        const int next = links[p] >= 0 && links[p] < total ? links[p] : p;  // a link to no path is none
        if (next == p) continue;
        c.linkGroups[current].push_back(p);
        if (next < p) ++current;  // the link closes
    }
}

void CMixSetupExKIVObject::DefaultNamesForQueries()
{
    MixSetupCache& c = *m_pCache;
    for (int kind = 0; kind < kKinds; ++kind) {
        const int offset = GetOffset(kind);
        for (int i = 0; i < c.counts[kind] && offset + i < kConsolePaths; ++i) {
            const int p = offset + i;
            if (std::strcmp(c.shortNames[p], "????") != 0) continue;
            CString label = GetDefaultName(kind, i + 1);
            std::memset(c.shortNames[p], 0, kShortNameWidth);
            std::memcpy(c.shortNames[p], label.c_str(), std::min<size_t>(label.GetLength(), kShortNameWidth - 1));
            std::memset(c.longNames[p], 0, kLongNameWidth);
            std::memcpy(c.longNames[p], label.c_str(), std::min<size_t>(label.GetLength(), kLongNameWidth - 1));
        }
    }
}

void CMixSetupExKIVObject::GetAllocationResult(CArray<int, int>& out, int zerosOnly)
{
    out.RemoveAll();
    AllocationResults& shared = allocationResults();
    std::lock_guard<std::mutex> lock(shared.mutex);
    for (int v : shared.values)
        if (!zerosOnly || v == 0) out.Add(v);
}

// ---- counts and names ----

int CMixSetupExKIVObject::GetNum(int kind) const { return kind >= 0 && kind < kKinds ? m_pCache->counts[kind] : 0; }

int CMixSetupExKIVObject::GetNumMixMinusOutputs() const { return m_pCache->mixMinusOutputs; }

int CMixSetupExKIVObject::GetNumFaders() const { return m_pCache->numFaders; }

int CMixSetupExKIVObject::GetTotalPaths() const
{
    int total = 0;
    for (int n : m_pCache->counts) total += n;
    return total;
}

int CMixSetupExKIVObject::GetOffset(int kind) const { return KivKindOffset(m_pCache->counts, kKinds, kind); }

int CMixSetupExKIVObject::GetPathType(int path) const { return KivKindOfPath(m_pCache->counts, kKinds, path); }

int CMixSetupExKIVObject::PathOf(int kind, int index) const
{
    if (index < 0) return -1;
    if (kind == 14) {
        const int channel = index + m_pCache->numFaders;
        return channel >= 0 && channel < m_pCache->counts[0] ? GetOffset(0) + channel : -1;
    }
    if (kind < 0 || kind >= kKinds || index >= m_pCache->counts[kind]) return -1;
    return GetOffset(kind) + index;
}

CString CMixSetupExKIVObject::GetDefaultName(int kind, int number) const
{
    return KivDefaultLabel(kind, number, m_szBelow10, m_szFrom10, m_nNumMixMinusGroups, m_nConsoleType);
}

CString CMixSetupExKIVObject::GetDefaultName(int path) const
{
    const int kind = GetPathType(path);
    return kind < 0 ? CString() : GetDefaultName(kind, path - GetOffset(kind) + 1);
}

void CMixSetupExKIVObject::SetMSUName(CString name)
{
    m_strMSUName = name.GetLength() < static_cast<int>(kMSUNameWidth) ? name : name.Left(kMSUNameWidth - 1);
}

int CMixSetupExKIVObject::IsReadOnly() const { return m_pCache->readOnly; }
int CMixSetupExKIVObject::GetDeskSetupType() const { return m_pCache->deskSetupType; }
void CMixSetupExKIVObject::SetDeskSetupType(int type) { m_pCache->deskSetupType = type; }

void CMixSetupExKIVObject::SetLayerNames(const CString& names)
{
    char* layers = m_pCache->layerNames;
    if (names.IsEmpty()) {
        static const char kDefaults[] = " A   B   s-A s-B";
        for (int bank = 0; bank < kBanks; ++bank) std::memcpy(layers + 16 * bank, kDefaults, 16);
        return;
    }
    const size_t n = std::min<size_t>(names.GetLength(), kLayerNamesWidth);
    std::memset(layers, 0, kLayerNamesWidth);
    std::memcpy(layers, names.c_str(), n);
}

CString CMixSetupExKIVObject::GetLayerNames() const
{
    const char* layers = m_pCache->layerNames;
    return CString(layers, static_cast<int>(strnlen(layers, kLayerNamesWidth)));
}

void CMixSetupExKIVObject::ClearFoldDowns()
{
    MixSetupCache& c = *m_pCache;
    for (auto& fold : c.foldGains)
        for (int in = 0; in < kFoldSize; ++in)
            for (int out = 0; out < kFoldSize; ++out) fold[in][out] = in == out ? 0 : -32768;
    static const char kSurroundNames[kFoldDowns][kFoldNameWidth] = {"Surround", "LCRS    ", "Stereo  ", "Mono    "};
    static const char kPlainNames[kFoldDowns][kFoldNameWidth] = {"Fold 1  ", "Fold 2  ", "Fold 3  ", "Fold 4  "};
    std::memcpy(c.foldNames, c.filmPanLaw == 3 ? kSurroundNames : kPlainNames, sizeof c.foldNames);
}
