#include "trevanny/AutomationPackage.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "ChannelDefaults.h"
#include "trevanny/AutomationNotifications.h"
#include "trevanny/FaderLayout.h"
#include "winport/Clock.h"
#include "winport/RegistryObject.h"

UINT g_nMixHasDifferentFrameRate = RegisterWindowMessageA("MixHasDifferentFrameRate");

namespace {

// A pass is finished with (also the end of an indexed load).
constexpr WPARAM kPassClosedNotification = 17;
// The destructor looks at the idle flag again at least this often.
constexpr std::chrono::milliseconds kIdlePoll{100};
constexpr WORD kNoGang = 0xFFFF;

const char kTimecodeKey[] = "Software\\VOKDWEN\\Vok Dwen Cantle\\Timecode";

bool isSmallConsole(int type) { return type == 1 || type == 6; }
bool isLargeConsole(int type) { return type == 2 || type == 3 || type == 4 || type == 5 || type == 7; }

// Sizes `to` to the source's count and copies every record whole.
template <class A>
void copyFlags(A* to, const A* from)
{
    if (!to || !from || to == from) return;
    to->Copy(*from);
}

template <class A>
void deleteAll(A* (&group)[kChannelFlagCount])
{
    for (A*& a : group) {
        delete a;
        a = NULL;
    }
}

template <class A>
void emptyAll(A* const (&group)[kChannelFlagCount])
{
    for (A* a : group)
        if (a) a->RemoveAll();
}

}  // namespace

CAutomationPackage::CAutomationPackage(const CAutomationPackage* source)
{
    m_pConsoleConfig = new (std::nothrow) CConsoleConfig;
    m_pConsoleNames = new CConsoleRegistryNames;
    CConsoleRegistryNames::LoadConsoleSettings();

    const int type = CConsoleRegistryNames::GetConsoleType();
    for (int k = 0; k < kChannelFlagCount; ++k) {
        if (isLargeConsole(type)) {
            m_pCtrlFlags[k] = new (std::nothrow) CPackageCtrlFlagArray(kCtrlFlagNames[k], sizeof(CtrlFlagRecord));
            m_pRteFlags[k] = new (std::nothrow) CPackageRteFlagArray(kRteFlagNames[k], sizeof(RteFlagRecord));
        } else if (isSmallConsole(type)) {
            m_pSmallCtrlFlags[k] = new (std::nothrow) CPackageSmallCtrlFlagArray(kCtrlFlagNames[k], sizeof(SmallCtrlFlagRecord));
            m_pSmallRteFlags[k] = new (std::nothrow) CPackageSmallRteFlagArray(kRteFlagNames[k], sizeof(DWORD));
        }
    }

    // A square gang matrix of the console's path count, no gangs.
    const CConsoleConfig config;
    const INT_PTR paths = config.GetMaxPathCount();
    m_GangMap.SetSizeFilled(paths * paths, kNoGang);

    Copy(source);

    m_bIdle = TRUE;
    StampTime();
    SetMixPassValues(0xFFFFFFFFu, 0xFFFFFFFFu);

    if (isSmallConsole(type)) {
        m_ABPath.RemoveAll();
        m_ABPath.Add(static_cast<DWORD>(CConsoleRegistryNames::GetSetting(type == 6 ? enMuteABPath : enCutABPath)));
    }
    m_FrameRate.RemoveAll();
    m_FrameRate.Add(static_cast<DWORD>(GetFrameRate()));
    m_ConsoleType.RemoveAll();
    m_ConsoleType.Add(static_cast<DWORD>(type));

    const CFaderLayout layout;
    m_AnalogueInfo.RemoveAll();
    for (int i = 0; i < layout.m_nCount; ++i) m_AnalogueInfo.Add(static_cast<DWORD>(layout.GetAt(i)));

    m_bNotifyOnClose = TRUE;
    m_bIndexedFile = TRUE;
}

CAutomationPackage::~CAutomationPackage()
{
    // A save or a load holds the lock for its whole run; taking it waits for that run, and
    // the flag covers one that has cleared it without the lock.
    for (;;) {
        {
            CFastSingleLock lock(&m_Lock, TRUE);
            if (m_bIdle) break;
        }
        m_bIdle.WaitUntilIdle(kIdlePoll);
    }

    delete m_pConsoleConfig;
    m_pConsoleConfig = NULL;
    deleteAll(m_pCtrlFlags);
    deleteAll(m_pRteFlags);
    deleteAll(m_pSmallCtrlFlags);
    deleteAll(m_pSmallRteFlags);
    delete m_pConsoleNames;
    m_pConsoleNames = NULL;

    if (m_bNotifyOnClose) PostAutomationNotification(kPassClosedNotification, 0);
}

void CAutomationPackage::Copy(const CAutomationPackage* source)
{
    if (!source || source == this) return;
    CArray<CAutomationEvent, const CAutomationEvent&>::Copy(*source);

    for (int k = 0; k < kChannelFlagCount; ++k) {
        copyFlags(m_pCtrlFlags[k], source->m_pCtrlFlags[k]);
        copyFlags(m_pSmallCtrlFlags[k], source->m_pSmallCtrlFlags[k]);
        copyFlags(m_pRteFlags[k], source->m_pRteFlags[k]);
        copyFlags(m_pSmallRteFlags[k], source->m_pSmallRteFlags[k]);
    }

    m_CtrlParms.Copy(source->m_CtrlParms);
    m_RteParms.Copy(source->m_RteParms);
    m_PathMap.Copy(source->m_PathMap);
    m_FirstAutoRte.Copy(source->m_FirstAutoRte);
    m_SnapshotVersion.Copy(source->m_SnapshotVersion);
    m_ConsoleType.Copy(source->m_ConsoleType);
    m_LinkMap.Copy(source->m_LinkMap);
    m_GangMap.Copy(source->m_GangMap);
    m_FrameRate.Copy(source->m_FrameRate);

    if (isSmallConsole(CConsoleRegistryNames::GetConsoleType())) {
        m_ABPath.Copy(source->m_ABPath);
        m_AnalogueInfo.Copy(source->m_AnalogueInfo);
    }

    m_bOldSnapshot = source->m_bOldSnapshot;
    m_bNotifyOnClose = source->m_bNotifyOnClose;
}

void CAutomationPackage::RemoveAll()
{
    CFastSingleLock lock(&m_Lock, TRUE);
    CAutomationEventArray::RemoveAll();
    emptyAll(m_pCtrlFlags);
    emptyAll(m_pRteFlags);
    emptyAll(m_pSmallCtrlFlags);
    emptyAll(m_pSmallRteFlags);
    m_CtrlParms.RemoveAll();
    m_RteParms.RemoveAll();
    m_PathMap.RemoveAll();
    m_SnapshotVersion.RemoveAll();
    m_FirstAutoRte.RemoveAll();
    m_ConsoleType.RemoveAll();
    m_AnalogueInfo.RemoveAll();
    m_LinkMap.RemoveAll();
    m_GangMap.RemoveAll();
    m_ABPath.RemoveAll();
    m_FrameRate.RemoveAll();
    SetMixPassValues(0xFFFFFFFFu, 0xFFFFFFFFu);
}

void CAutomationPackage::StampTime()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    SystemTimeToFileTime(&now, &m_TimeStamp);
}

void CAutomationPackage::ApplyOldValues()
{
    if (m_FirstAutoRte.GetSize() > 0) SetOldValues(static_cast<int>(m_FirstAutoRte[0]), m_PathMap);
}

int CAutomationPackage::GetFrameRate()
{
    CCurrentUserRegistryObject user;
    int code = 1;
    int feetAndFrames = 0;
    user.GetInt(kTimecodeKey, "CantleTimcodeRate", code, 1);
    user.GetInt(kTimecodeKey, "CantleTimecodeFF", feetAndFrames, 0);
    if (feetAndFrames != 0) code = 6;
    switch (code) {
    case 2: return 25;
    case 3:
    case 4: return 30;
    case 5: return 29;
    case 6: {
        int framesPerSec = 24;
        user.GetInt(kTimecodeKey, "CantleTimecodeCurrentFramesPerSec", framesPerSec, 24);
        return framesPerSec;
    }
    case 7: return 23;
    default: return 24;
    }
}

const WORD* CAutomationPackage::GetDefaultCtrlParms(int consoleType, int& count)
{
    using namespace channelstate;
    constexpr int kLargeCount = kProcesses * kCtrlParmsPerProcess;
    constexpr int kSmallCount = kSmallProcesses * kCtrlParmsPerProcess;
    // Section 0's defaults of each console family, as stored words.
    struct Tables {
        WORD large[3][kLargeCount];
        WORD small[kSmallCount];
        Tables()
        {
            for (int family = 0; family < 3; ++family)
                for (int i = 0; i < kLargeCount; ++i)
                    large[family][i] = static_cast<WORD>(ControlDefault(family, 0, i / kCtrlParmsPerProcess, i % kCtrlParmsPerProcess));
            for (int i = 0; i < kSmallCount; ++i)
                small[i] = static_cast<WORD>(SmallControlDefault(i / kCtrlParmsPerProcess, i % kCtrlParmsPerProcess));
        }
    };
    static const Tables tables;
    if (isLargeConsole(consoleType)) {
        count = kLargeCount;
        return tables.large[ConsoleFamily(consoleType)];
    }
    if (isSmallConsole(consoleType)) {
        count = kSmallCount;
        return tables.small;
    }
    count = 0;
    return NULL;
}

int CAutomationPackage::GetPathsMode() const { return m_pConsoleConfig ? m_pConsoleConfig->GetMaxPathsMode() : 0; }

int CAutomationPackage::GetMaxPaths() const
{
    const int mode = GetPathsMode();
    return mode >= 0 && mode <= 2 ? kMaxPathsOfMode[mode] : kMaxPathsOfMode[0];
}

int CAutomationPackage::GetCurrentSnapshotVersion() const
{
    const int mode = GetPathsMode();
    return mode >= 0 && mode <= 2 ? kSnapshotVersionOfMode[mode] : kSnapshotVersionOfMode[0];
}
