// The storage of a mix pass: the compound file with one stream per member and the indexed
// automation file with one item per member.
//
// Compound streams, in writing order: the events ("AutomationData", "Path Mode"),
// "AutomationSize", the control flags (name + "CtlData", k = 0 to 7, large then small), the
// route flags (name + "RteData"), "ISSCCtrlParms", "ISSCRteParms", "PathMapPathMap",
// "SnapshotVersionVectorData", "FirstAutoRteVectorData", "LinkMapLinkMap", "GangMapGangMap",
// "CutAB", "FrameRate", "AnalogueInfoVectorData", "ConsoleType", "Mix Pass" (the two mix pass
// values), then "File Version" and "Time And Date".
//
// Indexed items: 1 the events (16-byte records as in memory), the control flags under 2, 4, 6,
// 9, 15, 11, 13, 21 and the route flags under 3, 5, 7, 10, 16, 12, 14, 22 (k = 0 to 7), 17 the
// control parameters, 18 the route parameters, 19 the path map, 20 the snapshot version, 8 the
// first automated route, 23 the link map, 24 the gang map, 27 the analogue information. The
// header holds the A/B path (value 1), the frame rate (2), the two mix pass values (3, 4), the
// number of events (5) and the "Max Paths Mode" (6).
#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <vector>

#include "EventFileStreams.h"
#include "GuardedFileOperation.h"
#include "trevanny/AutomationNotifications.h"
#include "trevanny/AutomationPackage.h"
#include "trevanny/AutomationStreams.h"
#include "trevanny/AutxFile.h"
#include "winport/Paths.h"
#include "winport/ReplacementFile.h"

namespace {

CAutomationPackage::StorageStepHook g_stepHook;

constexpr int kFailedSave = 5;
constexpr int kFailedLoad = 5;

constexpr WPARAM kLoadStartNotification = 0;
constexpr WPARAM kPassClosedNotification = 17;

// Item ids of the indexed form.
constexpr int kEventsItem = 1;
constexpr int kFirstAutoRteItem = 8;
constexpr int kCtrlParmsItem = 17;
constexpr int kRteParmsItem = 18;
constexpr int kPathMapItem = 19;
constexpr int kSnapshotVersionItem = 20;
constexpr int kLinkMapItem = 23;
constexpr int kGangMapItem = 24;
constexpr int kAnalogueInfoItem = 27;

const char kAutomationSizeStream[] = "AutomationSize";
const char kABPathStream[] = "CutAB";
const char kFrameRateStream[] = "FrameRate";
const char kConsoleTypeStream[] = "ConsoleType";
const char kMixPassStream[] = "Mix Pass";
const char kVectorDataSuffix[] = "VectorData";

bool isSmallConsole(int type) { return type == 1 || type == 6; }

// Counts the steps of one save or load and asks the test hook about each.
class StepCounter {
public:
    explicit StepCounter(bool saving) : m_saving(saving) {}
    bool Next() { return !g_stepHook || g_stepHook(++m_step, m_saving); }

private:
    bool m_saving;
    int m_step = 0;
};

// The stored version of a pass: its snapshot version, or the current one when it has none.
int storedVersion(const CVectorData& snapshotVersion, int current)
{
    return snapshotVersion.GetSize() > 0 ? static_cast<int>(snapshotVersion[0]) : current;
}

// The first value of a plain array, or `otherwise`.
DWORD firstOr(const CDWordArray& a, DWORD otherwise) { return a.GetSize() > 0 ? a[0] : otherwise; }

void setSingle(CDWordArray& a, DWORD value)
{
    a.RemoveAll();
    a.Add(value);
}

// Adds an array's elements as one item (false when they do not fit an item's 32-bit size).
template <class T, class ARG>
bool addItem(CAutxFile& file, int id, const CArray<T, ARG>& a)
{
    const uint64_t bytes = static_cast<uint64_t>(a.GetSize()) * sizeof(T);
    return bytes <= UINT_MAX && file.AddEntry(id, a.GetData(), static_cast<unsigned>(bytes));
}

// What a load may change besides the events, copied before it starts, so that a load that
// fails can put the package back as it was. The events are never changed before the whole file
// was read, so they need no copy; the rest is bounded by the number of paths.
class PassMembers {
public:
    explicit PassMembers(CAutomationPackage& p)
        : m_pass(p), m_timeStamp(p.m_TimeStamp), m_oldSnapshot(p.m_bOldSnapshot), m_mixPass{p.m_dwMixPass[0], p.m_dwMixPass[1]}
    {
        for (int k = 0; k < kChannelFlagCount; ++k) {
            keep(p.m_pCtrlFlags[k]);
            keep(p.m_pRteFlags[k]);
            keep(p.m_pSmallCtrlFlags[k]);
            keep(p.m_pSmallRteFlags[k]);
        }
        keep(&p.m_LinkMap);
        keep(&p.m_GangMap);
        keep(&p.m_CtrlParms);
        keep(&p.m_RteParms);
        keep(&p.m_PathMap);
        keep(&p.m_FirstAutoRte);
        keep(&p.m_SnapshotVersion);
        keep(&p.m_AnalogueInfo);
        keep(&p.m_FrameRate);
        keep(&p.m_ABPath);
        keep(&p.m_AutomationSize);
        keep(&p.m_ConsoleType);
    }
    void Restore()
    {
        for (auto& restore : m_restore) restore();
        m_pass.m_TimeStamp = m_timeStamp;
        m_pass.m_bOldSnapshot = m_oldSnapshot;
        m_pass.SetMixPassValues(m_mixPass[0], m_mixPass[1]);
    }

private:
    template <class T, class ARG>
    void keep(CArray<T, ARG>* a)
    {
        if (!a) return;
        auto copy = std::make_shared<CArray<T, ARG>>();
        copy->Copy(*a);
        m_restore.push_back([a, copy] { a->SwapElements(*copy); });
    }

    CAutomationPackage& m_pass;
    FILETIME m_timeStamp;
    BOOL m_oldSnapshot;
    DWORD m_mixPass[2];
    std::vector<std::function<void()>> m_restore;
};

}  // namespace

void CAutomationPackage::SetStorageStepHookForTesting(StorageStepHook hook) { g_stepHook = std::move(hook); }

BOOL CAutomationPackage::IsIndexedFile(LPCSTR path) { return path && IsAutxFile(path) ? TRUE : FALSE; }

BOOL CAutomationPackage::Save(BOOL indexed)
{
    CFastSingleLock lock(&m_Lock, TRUE);
    m_bIdle = FALSE;
    BOOL saved = FALSE;
    if (indexed) {
        saved = SaveIndexed();
    } else {
        saved = saveCompound();
        m_nError = saved ? 0 : kFailedSave;
    }
    m_bIdle = TRUE;
    return saved;
}

BOOL CAutomationPackage::saveCompound()
{
    // Caller holds m_Lock.
    winport::ReplacementFile replacement(winport::HostPath(m_strPathName));
    if (!replacement.Made()) return FALSE;
    // The previous file stays open (and so closed to other openers) until the new one is in its
    // place; it is read, never written.
    AutomationStorage previous;
    {
        AutomationStorage storage;
        if (replacement.ReplacesExisting()) {
            if (!previous.OpenForReading(m_strPathName) || !replacement.CopyExisting() ||
                !storage.OpenForWriting(CString(replacement.TempPath().c_str())))
                return FALSE;
        } else if (!storage.Create(CString(replacement.TempPath().c_str()))) {
            return FALSE;
        }

        StepCounter step(true);
        auto put = [&](const CString& name, const auto& a) { return step.Next() && WriteArrayData(storage, name, a); };
        const bool written = guarded([&] {
            if (!step.Next() || !WriteEventStreams(storage, *this)) return false;
            setSingle(m_AutomationSize, static_cast<DWORD>(GetSize()));
            if (!put(kAutomationSizeStream, m_AutomationSize)) return false;
            for (int k = 0; k < kChannelFlagCount; ++k) {
                if (m_pCtrlFlags[k] && !put(m_pCtrlFlags[k]->m_strName + CTRL_FLAG_STREAM_SUFFIX, *m_pCtrlFlags[k])) return false;
                if (m_pSmallCtrlFlags[k] && !put(m_pSmallCtrlFlags[k]->m_strName + CTRL_FLAG_STREAM_SUFFIX, *m_pSmallCtrlFlags[k]))
                    return false;
            }
            for (int k = 0; k < kChannelFlagCount; ++k) {
                if (m_pRteFlags[k] && !put(m_pRteFlags[k]->m_strName + RTE_FLAG_STREAM_SUFFIX, *m_pRteFlags[k])) return false;
                if (m_pSmallRteFlags[k] && !put(m_pSmallRteFlags[k]->m_strName + RTE_FLAG_STREAM_SUFFIX, *m_pSmallRteFlags[k]))
                    return false;
            }
            CDWordArray mixPass;
            mixPass.Add(m_dwMixPass[0]);
            mixPass.Add(m_dwMixPass[1]);
            return put(m_CtrlParms.m_strName + "CCtrlParms", m_CtrlParms) && put(m_RteParms.m_strName + "CRteParms", m_RteParms) &&
                   put(m_PathMap.m_strName + "PathMap", m_PathMap) &&
                   put(m_SnapshotVersion.m_strName + kVectorDataSuffix, m_SnapshotVersion) &&
                   put(m_FirstAutoRte.m_strName + kVectorDataSuffix, m_FirstAutoRte) &&
                   put(m_LinkMap.m_strName + "LinkMap", m_LinkMap) && put(m_GangMap.m_strName + "GangMap", m_GangMap) &&
                   put(kABPathStream, m_ABPath) && put(kFrameRateStream, m_FrameRate) &&
                   put(m_AnalogueInfo.m_strName + kVectorDataSuffix, m_AnalogueInfo) && put(kConsoleTypeStream, m_ConsoleType) &&
                   put(kMixPassStream, mixPass);
        });
        if (!written) return FALSE;
        storage.WriteVersionStreams();
        if (!storage.Commit()) return FALSE;
    }
    return replacement.Install() ? TRUE : FALSE;
}

BOOL CAutomationPackage::SaveIndexed()
{
    CFastSingleLock lock(&m_Lock, TRUE);
    CConsoleRegistryNames names;
    names.LoadConsoleSettings();
    m_bIdle = FALSE;

    winport::ReplacementFile replacement(winport::HostPath(m_strPathName));
    CAutxFile file;
    StepCounter step(true);
    const bool saved = replacement.Made() && file.Open(replacement.TempPath().c_str()) && guarded([&] {
        const int type = CConsoleRegistryNames::GetConsoleType();
        // The pass's own A/B path: a small console of type 1 holds "CutAB", not "MuteABPath".
        file.m_dwHeaderValue1 = firstOr(m_ABPath, static_cast<DWORD>(CConsoleRegistryNames::GetSetting(enMuteABPath)));
        file.m_dwHeaderValue2 = static_cast<DWORD>(GetFrameRate());
        file.m_dwHeaderValue3 = m_dwMixPass[0];
        file.m_dwHeaderValue4 = m_dwMixPass[1];
        file.m_dwHeaderValue5 = static_cast<DWORD>(GetSize());
        file.m_dwHeaderValue6 = static_cast<DWORD>(CConsoleConfig().GetMaxPathsMode());
        file.m_dwSpare = static_cast<DWORD>(type);
        setSingle(m_AutomationSize, static_cast<DWORD>(GetSize()));

        auto add = [&](int id, const auto& a) { return step.Next() && addItem(file, id, a); };
        if (!add(kEventsItem, *this)) return false;
        for (int k = 0; k < kChannelFlagCount; ++k) {
            if (m_pCtrlFlags[k] && !add(kCtrlFlagItemIds[k], *m_pCtrlFlags[k])) return false;
            if (m_pSmallCtrlFlags[k] && !add(kCtrlFlagItemIds[k], *m_pSmallCtrlFlags[k])) return false;
        }
        for (int k = 0; k < kChannelFlagCount; ++k) {
            if (m_pRteFlags[k] && !add(kRteFlagItemIds[k], *m_pRteFlags[k])) return false;
            if (m_pSmallRteFlags[k] && !add(kRteFlagItemIds[k], *m_pSmallRteFlags[k])) return false;
        }
        return add(kCtrlParmsItem, m_CtrlParms) && add(kRteParmsItem, m_RteParms) && add(kPathMapItem, m_PathMap) &&
               add(kSnapshotVersionItem, m_SnapshotVersion) && add(kFirstAutoRteItem, m_FirstAutoRte) &&
               add(kLinkMapItem, m_LinkMap) && add(kGangMapItem, m_GangMap) && add(kAnalogueInfoItem, m_AnalogueInfo);
    });
    const bool closed = file.IsOpen() && file.Close();
    const bool installed = saved && closed && replacement.Install();
    m_nError = installed ? 0 : kFailedSave;
    m_bIdle = TRUE;
    return installed ? TRUE : FALSE;
}

BOOL CAutomationPackage::Load()
{
    CFastSingleLock lock(&m_Lock, TRUE);
    m_bIdle = TRUE;
    const bool indexed = IsIndexedFile(m_strPathName) != FALSE;
    m_bIndexedFile = indexed ? TRUE : FALSE;
    const BOOL loaded = loadWhole(indexed);
    if (!loaded) m_nError = kFailedLoad;
    return loaded;
}

BOOL CAutomationPackage::LoadIndexed()
{
    CFastSingleLock lock(&m_Lock, TRUE);
    return loadWhole(true);
}

BOOL CAutomationPackage::loadWhole(bool indexed)
{
    // Caller holds m_Lock.
    PassMembers before(*this);
    m_bEventsLoaded = FALSE;
    m_bConversionDamaged = false;
    if (indexed ? loadIndexed() : loadCompound()) return TRUE;
    before.Restore();
    m_bEventsLoaded = FALSE;
    return FALSE;
}

BOOL CAutomationPackage::loadCompound()
{
    // Caller holds m_Lock.
    StepCounter step(false);
    step.Next();
    bool ownFamily = true;
    {
        AutomationStorage storage;
        if (!storage.OpenForReading(m_strPathName)) return FALSE;
        LoadArrayData(storage, m_SnapshotVersion.m_strName + kVectorDataSuffix, m_SnapshotVersion);
        // Both console families name their flag streams alike, but their records differ: the
        // flags and parameters of a pass made on the other family are not this console's to read.
        CDWordArray storedType;
        LoadArrayData(storage, kConsoleTypeStream, storedType);
        if (storage.SawDamage()) return FALSE;
        ownFamily = storedType.GetSize() == 0 ||
                    isSmallConsole(static_cast<int>(storedType[0])) == isSmallConsole(CConsoleRegistryNames::GetConsoleType());
    }
    const int current = GetCurrentSnapshotVersion();
    const int version = storedVersion(m_SnapshotVersion, current);
    m_bOldSnapshot = version < current ? TRUE : FALSE;
    const BOOL controlsConverted = ownFamily ? ConvertControlData(version) : TRUE;
    const BOOL routesConverted = ownFamily ? ConvertRouteData(version) : TRUE;
    if (m_bConversionDamaged) return FALSE;

    // Everything else through one open of the file.
    AutomationStorage storage;
    if (!storage.OpenForReading(m_strPathName)) return FALSE;
    auto get = [&](const CString& name, auto& a) {
        step.Next();
        LoadArrayData(storage, name, a);
    };
    auto getFlags = [&](auto* a, const char* suffix) {
        if (!a) return;
        step.Next();
        LoadFlagRecords(storage, a->m_strName + suffix, *a);
    };
    if (!controlsConverted) {
        for (int k = 0; k < kChannelFlagCount; ++k) {
            getFlags(m_pCtrlFlags[k], CTRL_FLAG_STREAM_SUFFIX);
            getFlags(m_pSmallCtrlFlags[k], CTRL_FLAG_STREAM_SUFFIX);
        }
        get(m_CtrlParms.m_strName + "CCtrlParms", m_CtrlParms);
    }
    if (!routesConverted) {
        for (int k = 0; k < kChannelFlagCount; ++k) {
            getFlags(m_pRteFlags[k], RTE_FLAG_STREAM_SUFFIX);
            getFlags(m_pSmallRteFlags[k], RTE_FLAG_STREAM_SUFFIX);
        }
        get(m_RteParms.m_strName + "CRteParms", m_RteParms);
    }
    step.Next();
    int pathMode = 0;
    CArray<CAutomationEvent, const CAutomationEvent&> events;
    const BOOL eventsRead = ReadEventRecords(storage, events, pathMode);
    get(m_PathMap.m_strName + "PathMap", m_PathMap);
    get(m_LinkMap.m_strName + "LinkMap", m_LinkMap);
    get(m_GangMap.m_strName + "GangMap", m_GangMap);
    get(kConsoleTypeStream, m_ConsoleType);
    if (isSmallConsole(CConsoleRegistryNames::GetConsoleType())) {
        get(kABPathStream, m_ABPath);
        get(m_AnalogueInfo.m_strName + kVectorDataSuffix, m_AnalogueInfo);
    }
    get(kFrameRateStream, m_FrameRate);
    get(m_FirstAutoRte.m_strName + kVectorDataSuffix, m_FirstAutoRte);
    CDWordArray mixPass;
    get(kMixPassStream, mixPass);
    if (storage.SawDamage()) return FALSE;

    // Everything there was read whole: the events that were read take the place of the old ones.
    if (eventsRead) {
        SwapElements(events);
        m_bEventsLoaded = TRUE;
    }
    if (mixPass.GetSize() == 2) SetMixPassValues(mixPass[0], mixPass[1]);
    if (pathMode != GetPathsMode()) ConvertPathMode(version, pathMode);
    StampTime();
    return TRUE;
}

BOOL CAutomationPackage::loadIndexed()
{
    // Caller holds m_Lock.
    StepCounter step(false);
    const int current = GetCurrentSnapshotVersion();
    int version = current;
    {
        CAutxFile file;
        if (!file.OpenForReading(m_strPathName) || !file.IsHeaderValid()) return FALSE;
        PostAutomationNotification(kLoadStartNotification, 0);
        step.Next();
        if (!file.ReadDwordArray(kSnapshotVersionItem, m_SnapshotVersion) && file.HasEntry(kSnapshotVersionItem)) return FALSE;
        PostAutomationNotification(kAutomationLoadNotification, 3);
        version = storedVersion(m_SnapshotVersion, current);
        m_bOldSnapshot = version < current ? TRUE : FALSE;
    }
    const BOOL controlsConverted = ConvertControlData(version);
    const BOOL routesConverted = ConvertRouteData(version);
    if (m_bConversionDamaged) return FALSE;

    CAutxFile file;
    if (!file.OpenForReading(m_strPathName) || !file.IsHeaderValid()) return FALSE;
    // An item the directory does not name leaves its member empty; one it names that cannot be
    // read whole fails the load.
    bool whole = true;
    auto read = [&](int id, auto& a) {
        step.Next();
        if (!file.ReadRecords(id, a) && file.HasEntry(id)) whole = false;
    };
    auto readFlags = [&](auto* a, int id) {
        if (a) read(id, *a);
    };
    if (!controlsConverted) {
        m_bOldSnapshot = FALSE;
        for (int k = 0; k < kChannelFlagCount; ++k) {
            readFlags(m_pCtrlFlags[k], kCtrlFlagItemIds[k]);
            readFlags(m_pSmallCtrlFlags[k], kCtrlFlagItemIds[k]);
        }
        read(kCtrlParmsItem, m_CtrlParms);
        PostAutomationNotification(kAutomationLoadNotification, 35);
    }
    if (!routesConverted) {
        for (int k = 0; k < kChannelFlagCount; ++k) {
            readFlags(m_pRteFlags[k], kRteFlagItemIds[k]);
            readFlags(m_pSmallRteFlags[k], kRteFlagItemIds[k]);
        }
        read(kRteParmsItem, m_RteParms);
    }
    CArray<CAutomationEvent, const CAutomationEvent&> events;
    read(kEventsItem, events);
    read(kPathMapItem, m_PathMap);
    read(kLinkMapItem, m_LinkMap);
    read(kGangMapItem, m_GangMap);
    const int type = CConsoleRegistryNames::GetConsoleType();
    if (isSmallConsole(type)) read(kAnalogueInfoItem, m_AnalogueInfo);
    read(kFirstAutoRteItem, m_FirstAutoRte);
    if (!whole) return FALSE;

    m_bEventsLoaded = file.HasEntry(kEventsItem) ? TRUE : FALSE;
    SwapElements(events);
    if (isSmallConsole(type)) setSingle(m_ABPath, file.m_dwHeaderValue1);
    setSingle(m_FrameRate, file.m_dwHeaderValue2);
    // The file does not carry the console type: the pass is this console's.
    setSingle(m_ConsoleType, static_cast<DWORD>(type));
    SetMixPassValues(file.m_dwHeaderValue3, file.m_dwHeaderValue4);
    PostAutomationNotification(kPassClosedNotification, 0);

    // The number of paths follows from the snapshot version the pass was stored with.
    const int storedMode = m_pConsoleConfig ? m_pConsoleConfig->GetProcessSection(version) : 0;
    if (storedMode != GetPathsMode()) ConvertPathMode(version, storedMode);
    StampTime();
    file.Close();
    return TRUE;
}
