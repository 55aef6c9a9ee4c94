// The conversions of a mix pass stored by an older snapshot version or for fewer paths.
#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include "trevanny/AutomationExtract.h"
#include "trevanny/AutomationNotifications.h"
#include "trevanny/AutomationPackage.h"

namespace {

// Snapshot versions at which the stored layouts changed.
constexpr int kTwentySevenProcessVersion = 16;  // large control records of 27 words from here
constexpr int kExtractVersion = 18;             // the extract reader's layouts from here
constexpr int kWidePathsVersion = 19;           // passes of more than 256 paths from here
constexpr int kSmallExtractVersion = 22;        // small consoles' extract layouts from here
constexpr int kOldPaths = 256;                  // paths of a pass below version 18
constexpr int kFirstMovedProcess = 5;           // stored processes from here move up by 4
constexpr int kInsertedProcesses = 4;
constexpr int kSmallStoredProcesses = 4;
constexpr WPARAM kWideningNotification = 26;
constexpr int kWords = CAutomationPackage::kCtrlParmsPerProcess;

bool isSmallConsole(int type) { return type == 1 || type == 6; }
bool isLargeConsole(int type) { return type == 2 || type == 3 || type == 4 || type == 5 || type == 7; }

int pathsOfMode(int mode) { return mode >= 0 && mode <= 2 ? CAutomationPackage::kMaxPathsOfMode[mode] : 0; }

// The stored records of a flag, as 32-bit words: the item of an indexed pass, or the stream
// name + "CtlData" of a compound one read as records of `recordWords` words. False when they are
// not there or cannot be read; `damaged` is set when they are there but cannot be read whole.
template <int WORDS>
bool readStoredFlag(const CString& path, bool indexed, const CString& name, int itemId, std::vector<DWORD>& words, bool& damaged)
{
    words.clear();
    if (indexed) {
        CAutxFile file;
        CDWordArray stored;
        if (!file.OpenForReading(path) || !file.ReadDwordArray(itemId, stored)) {
            if (!file.IsOpen() || file.HasEntry(itemId)) damaged = true;
            return false;
        }
        words.assign(stored.GetData(), stored.GetData() + stored.GetSize() / WORDS * WORDS);
        return true;
    }
    AutomationStorage storage;
    CArray<FlagRecord<WORDS>, FlagRecord<WORDS>> records;
    if (!storage.OpenForReading(path) || !LoadFlagRecords(storage, name + CTRL_FLAG_STREAM_SUFFIX, records)) {
        if (!storage.Get() || storage.SawDamage()) damaged = true;
        return false;
    }
    const DWORD* p = records.GetSize() ? records.GetData()[0].words : nullptr;
    words.assign(p, p + records.GetSize() * WORDS);
    return true;
}

// The stored control parameters of a pass of either kind, with `damaged` as above.
bool readStoredParms(const CString& path, bool indexed, CWordArray& parms, bool& damaged)
{
    if (indexed) {
        CAutxFile file;
        if (file.OpenForReading(path) && file.ReadWordArray(17, parms)) return true;
        if (!file.IsOpen() || file.HasEntry(17)) damaged = true;
        return false;
    }
    AutomationStorage storage;
    if (storage.OpenForReading(path) && LoadArrayData(storage, "ISSCCtrlParms", parms)) return true;
    if (!storage.Get() || storage.SawDamage()) damaged = true;
    return false;
}

// Rebuilds each record of `a` from the stored records of OLD words: the first `head` words as
// stored, then `gap` words of the default, then the rest as stored, then the record's tail as
// the default (tailDefault) or zero.
template <int OLD, class ARRAY>
void rebuildRecords(ARRAY& a, const std::vector<DWORD>& old, int head, int gap, DWORD def, bool tailDefault)
{
    constexpr int kNewWords = static_cast<int>(sizeof(a[0]) / sizeof(DWORD));
    const INT_PTR count = static_cast<INT_PTR>(old.size() / OLD);
    a.RemoveAll();
    a.SetSize(count);
    for (INT_PTR i = 0; i < count; ++i) {
        DWORD* to = a[i].words;
        const DWORD* from = old.data() + i * OLD;
        int w = 0;
        for (int j = 0; j < head; ++j) to[w++] = from[j];
        for (int j = 0; j < gap; ++j) to[w++] = def;
        for (int j = head; j < OLD; ++j) to[w++] = from[j];
        for (; w < kNewWords; ++w) to[w] = tailDefault ? def : 0;
    }
}

// Grows `a` to `paths` records whose words all take `def`.
template <class ARRAY>
void growRecords(ARRAY* a, INT_PTR paths, DWORD def)
{
    if (!a || a->GetSize() >= paths) return;
    const INT_PTR from = a->GetSize();
    a->SetSize(paths);
    for (INT_PTR i = from; i < paths; ++i) {
        if constexpr (std::is_same_v<std::remove_reference_t<decltype((*a)[0])>, DWORD>) (*a)[i] = def;
        else std::fill(std::begin((*a)[i].words), std::end((*a)[i].words), def);
    }
}

// Grows a parameter table to `paths` x perPath words, each new word taking its place's default.
template <class ARRAY>
void growParms(ARRAY& a, INT_PTR paths, const WORD* defaults, int perPath, int defaultsCount)
{
    const INT_PTR total = paths * perPath;
    if (a.GetSize() >= total || !defaults || defaultsCount <= 0) return;
    const INT_PTR from = a.GetSize();
    a.SetSize(total);
    for (INT_PTR i = from; i < total; ++i) a[i] = defaults[(i % perPath) % defaultsCount];
}

// Copies the records of a flag out of a channel buffer of `words` words per path.
template <class ARRAY>
void takeChannels(ARRAY* a, const std::vector<DWORD>& buffer, INT_PTR paths)
{
    a->SetSize(paths);
    std::memcpy(static_cast<void*>(a->GetData()), buffer.data(), buffer.size() * sizeof(DWORD));
}

}  // namespace

BOOL CAutomationPackage::ConvertControlData(int version)
{
    const int type = CConsoleRegistryNames::GetConsoleType();
    if (!isLargeConsole(type) && !isSmallConsole(type)) return FALSE;
    // A pass of the current snapshot version is this console's own layout, also where the
    // current version (18 on a small console of 256 paths) lies below the older layouts' end.
    if (version >= GetCurrentSnapshotVersion()) return FALSE;
    const bool indexed = IsAutxFile(m_strPathName);
    int defaultsCount = 0;
    const WORD* defaults = GetDefaultCtrlParms(type, defaultsCount);
    std::vector<DWORD> old;
    CWordArray stored;

    if (isLargeConsole(type) && version < kExtractVersion) {
        const bool twentySeven = version >= kTwentySevenProcessVersion;
        for (int k = 0; k < kChannelFlagCount; ++k) {
            CPackageCtrlFlagArray* a = m_pCtrlFlags[k];
            if (!a) continue;
            const DWORD def = kChannelFlagDefaultWords[k];
            if (twentySeven) {
                if (readStoredFlag<27>(m_strPathName, indexed, a->m_strName, kCtrlFlagItemIds[k], old, m_bConversionDamaged))
                    rebuildRecords<27>(*a, old, kFirstMovedProcess, kInsertedProcesses, def, false);
            } else if (readStoredFlag<20>(m_strPathName, indexed, a->m_strName, kCtrlFlagItemIds[k], old, m_bConversionDamaged)) {
                rebuildRecords<20>(*a, old, kFirstMovedProcess, kInsertedProcesses, def, true);
            }
        }
        if (readStoredParms(m_strPathName, indexed, stored, m_bConversionDamaged)) {
            // 256 paths; stored process p goes to p below 5 and to p + 4 from 5 on; processes 5
            // to 8 take the family's defaults, the rest stay 0.
            const int perPath = defaultsCount;
            const int storedProcesses = twentySeven ? 27 : 20;
            m_CtrlParms.RemoveAll();
            m_CtrlParms.SetSize(INT_PTR{kOldPaths} * perPath);
            WORD* to = m_CtrlParms.GetData();
            for (INT_PTR path = 0; path < kOldPaths; ++path) {
                for (int p = 0; p < storedProcesses; ++p) {
                    const INT_PTR from = (path * storedProcesses + p) * kWords;
                    if (from >= stored.GetSize()) break;
                    const int target = p < kFirstMovedProcess ? p : p + kInsertedProcesses;
                    const INT_PTR n = std::min<INT_PTR>(kWords, stored.GetSize() - from);
                    std::memcpy(to + path * perPath + target * kWords, stored.GetData() + from, static_cast<size_t>(n) * sizeof(WORD));
                }
                std::memcpy(to + path * perPath + kFirstMovedProcess * kWords, defaults + kFirstMovedProcess * kWords,
                            kInsertedProcesses * kWords * sizeof(WORD));
            }
        }
        return TRUE;
    }

    if (isSmallConsole(type) && version < kSmallExtractVersion) {
        for (int k = 0; k < kChannelFlagCount; ++k) {
            CPackageSmallCtrlFlagArray* a = m_pSmallCtrlFlags[k];
            if (a && readStoredFlag<4>(m_strPathName, indexed, a->m_strName, kCtrlFlagItemIds[k], old, m_bConversionDamaged))
                rebuildRecords<4>(*a, old, 4, 0, kChannelFlagDefaultWords[k], true);
        }
        if (readStoredParms(m_strPathName, indexed, stored, m_bConversionDamaged)) {
            const int perPath = defaultsCount;  // 45
            const int storedPerPath = kSmallStoredProcesses * kWords;
            const INT_PTR paths = GetMaxPaths();
            m_CtrlParms.RemoveAll();
            m_CtrlParms.SetSize(paths * perPath);
            WORD* to = m_CtrlParms.GetData();
            for (INT_PTR path = 0; path < paths; ++path) {
                const INT_PTR from = path * storedPerPath;
                if (from < stored.GetSize()) {
                    const INT_PTR n = std::min<INT_PTR>(storedPerPath, stored.GetSize() - from);
                    std::memcpy(to + path * perPath, stored.GetData() + from, static_cast<size_t>(n) * sizeof(WORD));
                }
                std::memcpy(to + path * perPath + storedPerPath, defaults + storedPerPath, kWords * sizeof(WORD));
            }
        }
        return TRUE;
    }

    // Every path of the current mode through the extract reader.
    CAutomationExtract reader(m_strPathName);
    const INT_PTR paths = GetMaxPaths();
    const int processes = GetCtrlProcessCount();
    std::vector<DWORD> buffer(static_cast<size_t>(paths * processes));
    const int bytes = static_cast<int>(buffer.size() * sizeof(DWORD));
    for (int k = 0; k < kChannelFlagCount; ++k) {
        if (!m_pCtrlFlags[k] && !m_pSmallCtrlFlags[k]) continue;
        // Where nothing is stored the flag's default word stands.
        reader.GetControlFlags(version, buffer.data(), bytes, kCtrlFlagItemIds[k], kChannelFlagDefaultWords[k]);
        if (m_pCtrlFlags[k] && processes == 36) takeChannels(m_pCtrlFlags[k], buffer, paths);
        if (m_pSmallCtrlFlags[k] && processes == 5) takeChannels(m_pSmallCtrlFlags[k], buffer, paths);
    }
    CCtrlParms parms("ISS");
    parms.SetSize(paths * processes * kWords);
    if (reader.GetControlParms(version, parms.GetData(), static_cast<int>(parms.GetSize() * sizeof(WORD))))
        m_CtrlParms.Copy(parms);
    if (reader.SawDamage()) m_bConversionDamaged = true;
    return TRUE;
}

BOOL CAutomationPackage::ConvertRouteData(int version)
{
    if (version >= GetCurrentSnapshotVersion()) return FALSE;
    CAutomationExtract reader(m_strPathName);
    const INT_PTR paths = GetMaxPaths();
    const int routes = GetRteProcessCount();
    std::vector<DWORD> buffer(static_cast<size_t>(paths * routes));
    const int bytes = static_cast<int>(buffer.size() * sizeof(DWORD));
    for (int k = 0; k < kChannelFlagCount; ++k) {
        if (!m_pRteFlags[k] && !m_pSmallRteFlags[k]) continue;
        reader.GetRouteFlags(version, buffer.data(), bytes, kRteFlagItemIds[k], kChannelFlagDefaultWords[k]);
        if (m_pRteFlags[k] && routes == 48) takeChannels(m_pRteFlags[k], buffer, paths);
        if (m_pSmallRteFlags[k] && routes == 1) takeChannels(m_pSmallRteFlags[k], buffer, paths);
    }
    CRteParms parms("ISS");
    parms.SetSize(paths * routes * kRteParmsPerRoute);
    if (reader.GetRouteParms(version, parms.GetData(), static_cast<int>(parms.GetSize() * sizeof(WORD))))
        m_RteParms.Copy(parms);
    if (reader.SawDamage()) m_bConversionDamaged = true;
    return TRUE;
}

void CAutomationPackage::ConvertPathMode(int version, int storedMode)
{
    const INT_PTR paths = GetMaxPaths();
    if (version < kWidePathsVersion) {
        for (int k = 0; k < kChannelFlagCount; ++k) {
            PostAutomationNotification(kWideningNotification, k * 100 / kChannelFlagCount);
            growRecords(m_pCtrlFlags[k], paths, kChannelFlagDefaultWords[k]);
            growRecords(m_pSmallCtrlFlags[k], paths, kChannelFlagDefaultWords[k]);
        }
        int defaultsCount = 0;
        const WORD* defaults = GetDefaultCtrlParms(CConsoleRegistryNames::GetConsoleType(), defaultsCount);
        growParms(m_CtrlParms, paths, defaults, defaultsCount, defaultsCount);
        for (int k = 0; k < kChannelFlagCount; ++k) {
            growRecords(m_pRteFlags[k], paths, kChannelFlagDefaultWords[k]);
            growRecords(m_pSmallRteFlags[k], paths, kChannelFlagDefaultWords[k]);
        }
        growParms(m_RteParms, paths, kDefaultRteParms, GetRteProcessCount() * kRteParmsPerRoute, kRteParmsPerRoute);
    }

    for (INT_PTR i = m_LinkMap.GetSize(); i < paths; ++i) m_LinkMap.Add(static_cast<int>(i));

    // A narrower stored gang matrix goes into the first rows and columns of one of this size; a
    // matrix of any other size was not stored for that mode (the pass kept its own) and stays.
    const INT_PTR stored = pathsOfMode(storedMode);
    if (stored > 0 && stored < paths && m_GangMap.GetSize() == stored * stored) {
        CWordArray old;
        old.SwapElements(m_GangMap);
        m_GangMap.SetSizeFilled(paths * paths, 0xFFFF);
        WORD* gangs = m_GangMap.GetData();
        for (INT_PTR row = 0; row < stored; ++row) {
            const INT_PTR from = row * stored;
            if (from >= old.GetSize()) break;
            const INT_PTR n = std::min(stored, old.GetSize() - from);
            std::memcpy(gangs + row * paths, old.GetData() + from, static_cast<size_t>(n) * sizeof(WORD));
        }
    }
}
