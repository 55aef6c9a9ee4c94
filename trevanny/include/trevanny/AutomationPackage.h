// A mix pass: everything the automation system keeps of one pass of a mix. The events (the
// package is an event array, so it can be handed to every operation that takes one), the
// per-path flags of every control and route, the control and route parameter tables, the path,
// link and gang maps, and the values that describe the console the pass was made on (console
// type, frame rate, A/B path, fader layout, snapshot version).
//
// Flag arrays by console type: types 2, 3, 4, 5 and 7 hold large-console control and route
// flags (36 and 48 words per path), types 1 and 6 small-console ones (5 words and 1 word), any
// other type none. Flag k (0 to 7) of every group is "Ends", "Virgins", "Armed", "Mode",
// "TouchNotMode", "Touch", "Meta" and "LinkControls" / "LinkRoutes".
//
// Threads: Copy and the constructor take no lock; RemoveAll (and saving and loading) hold the
// package's lock for their whole run. The destructor may run on another thread while a save or
// a load runs: it waits until the package is idle before it frees anything.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "trevanny/AutomationEventArray.h"
#include "trevanny/ChannelFlagArrays.h"
#include "trevanny/ConsoleConfig.h"
#include "trevanny/ConsoleRegistryNames.h"
#include "trevanny/MixPassArrays.h"
#include "trevanny/SharedConstants.h"
#include "trevanny/TypedAutomationArrays.h"
#include "winport/Collections.h"
#include "winport/FastLock.h"

/// The number of the window message "MixHasDifferentFrameRate", registered when the library is
/// loaded.
extern UINT g_nMixHasDifferentFrameRate;

/// The idle flag of a mix pass: cleared while a save or a load runs, waited on by the
/// destructor. Safe from any thread.
class MixPassIdleFlag {
public:
    MixPassIdleFlag& operator=(BOOL idle)
    {
        // Changed and announced under the mutex: a waiter that sees the flag set may free it at
        // once, so nothing of it is touched after the mutex is released.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_idle = idle != FALSE;
        m_changed.notify_all();
        return *this;
    }
    operator BOOL() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_idle ? TRUE : FALSE;
    }
    /// Returns when the flag is set, or after `bound` at the latest.
    void WaitUntilIdle(std::chrono::milliseconds bound)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, bound, [this] { return m_idle; });
    }

private:
    bool m_idle = true;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
};

class CAutomationPackage : public CAutomationEventArray {
public:
    /// The largest path count of each "Max Paths Mode" and the snapshot version that the mode
    /// stores (its flag and parameter layout).
    static constexpr int kMaxPathsOfMode[3] = {256, 500, kConsolePaths};
    static constexpr int kSnapshotVersionOfMode[3] = {18, 28, 35};

    /// A package for the current console, holding a copy of `source` when one is given; its
    /// frame rate, console type, A/B path and fader layout are always this console's.
    explicit CAutomationPackage(const CAutomationPackage* source = NULL);
    /// Waits while a save or a load runs, frees the flag arrays and, when m_bNotifyOnClose is
    /// set, posts notification 17.
    ~CAutomationPackage() override;
    CAutomationPackage(const CAutomationPackage&) = delete;
    CAutomationPackage& operator=(const CAutomationPackage&) = delete;

    /// Copies the source's events, flags (where both packages have the array), parameters,
    /// maps, first automated route, snapshot version, console-type and frame-rate values, and
    /// on console types 1 and 6 its A/B path and fader layout; takes its m_bOldSnapshot and
    /// m_bNotifyOnClose. Nothing for NULL.
    void Copy(const CAutomationPackage* source);
    /// Empties the pass, under the lock: events, flags, parameters, maps, value vectors, and the
    /// A/B path, frame-rate and console-type values; the mix pass values become -1. The
    /// automation-size values stay.
    void RemoveAll();

    // Storage. A pass is kept in one file, named by m_strPathName, in one of two forms: a
    // compound file with one stream per member, or an indexed automation file ("AUTXFILE") with
    // one numbered item per member. A save builds the new file beside the old one and puts it in
    // its place only when everything was written, so a failed save leaves the previous file as
    // it was. Save, SaveIndexed, Load and LoadIndexed hold the package's lock for their run.

    /// Writes the pass: an indexed file when `indexed` is TRUE, else the compound file's
    /// streams (a compound file that exists keeps its other streams). TRUE when every part was
    /// written, with m_nError 0; FALSE with m_nError 5 otherwise, the file then as it was. An
    /// existing file that is not a compound file is never made one by a compound save.
    BOOL Save(BOOL indexed);
    /// Reads the pass from its file, of either form (told by its first bytes), converting a
    /// pass of an older snapshot version or for fewer paths. A stream the file does not hold
    /// leaves its member as it was (compound form), an item its directory does not name leaves
    /// its member empty (indexed form). TRUE when the pass was read. FALSE, with m_nError 5 and
    /// the package as it was before the load (only m_bIndexedFile follows the file), when the
    /// file cannot be opened, an indexed file has no valid header, or a stream or item that is
    /// there cannot be read whole (a damaged chain, a short read, a size beyond the file, data
    /// that does not inflate): a damaged file is never taken for a whole one.
    BOOL Load();
    BOOL SaveIndexed();
    /// The indexed form of Load, with its result; m_nError is left as it is.
    BOOL LoadIndexed();
    /// TRUE when the last Load read the events of the pass (the file opened and its events
    /// were readable, even when there were none).
    BOOL HasLoadedEvents() const { return m_bEventsLoaded; }
    /// TRUE when the file starts with "AUTXFILE", in any case.
    static BOOL IsIndexedFile(LPCSTR path);
    // The event array's own file operations stay reachable.
    using CAutomationEventArray::Load;
    using CAutomationEventArray::Save;

    /// Called before each stream or item that a save writes (steps 1, 2, ... in writing order)
    /// and before each that a load reads; a false answer fails that step of a save. For tests:
    /// set it before the package's threads start; an empty function removes it.
    using StorageStepHook = std::function<bool(int step, bool saving)>;
    static void SetStorageStepHookForTesting(StorageStepHook hook);

    void SetPathName(const CString& path) { m_strPathName = path; }
    void SetMixPassValues(DWORD first, DWORD second)
    {
        m_dwMixPass[0] = first;
        m_dwMixPass[1] = second;
    }
    /// The time stamp becomes the current time (UTC).
    void StampTime();
    /// Fills every event's old value from the first automated route and the path map; nothing
    /// when the pass has no first automated route.
    void ApplyOldValues();

    // Conversions of a pass stored by an older snapshot version or for fewer paths; `Load` runs
    // them on the pass file named by m_strPathName (either file kind).

    /// Reads the control flags and control parameters of an older pass itself, converted to
    /// the current layout, and returns TRUE; FALSE (nothing done) when the stored version is
    /// the current one or above, or the console has no flags. A flag or parameter item that
    /// cannot be read leaves its array as it was.
    ///   large consoles, version below 16: 20-word records, words 5 to 8 and 24 to 35 take the
    ///       flag's default word; 16 and 17: 27-word records, words 5 to 8 the default, 31 to 35
    ///       zero; parameters of both become 256 paths, stored process p at p (below 5) or p + 4,
    ///       processes 5 to 8 the family's defaults;
    ///   small consoles, version below 22: 4-word records, word 4 the default; parameters of
    ///       every path, processes 0 to 3 as stored, process 4 its default;
    ///   any other older version: every path of the current mode through the extract reader.
    BOOL ConvertControlData(int version);
    /// The same for the route flags and route parameters: below the current version every path
    /// of the current mode is read through the extract reader.
    BOOL ConvertRouteData(int version);
    /// Widens a pass stored for fewer paths: below version 19 the flag arrays grow to the
    /// current path count with each flag's default word and the parameters with their
    /// defaults (posting 26 with k x 100 / 8 before flag k); the link map grows with identity
    /// entries; a narrower stored gang matrix is copied into the first rows and columns of a
    /// new one of the current size.
    void ConvertPathMode(int version, int storedMode);

    /// The console's frame rate from this user's "Software\VOKDWEN\Vok Dwen Cantle\Timecode":
    /// "CantleTimcodeRate" (1 when missing; taken as 6 when "CantleTimecodeFF" is not 0) gives
    /// 2: 25, 3 and 4: 30, 5: 29, 7: 23, 6: "CantleTimecodeCurrentFramesPerSec" (24 when
    /// missing), any other: 24.
    static int GetFrameRate();

    /// Parameter words per control process and per route process.
    static constexpr int kCtrlParmsPerProcess = 9;
    static constexpr int kRteParmsPerRoute = 4;
    /// The control parameters of one path of a new or widened pass on a console type (process
    /// by process, nine controls each): count receives 324 on console types 2, 3, 4, 5 and 7,
    /// with one table for types 2 and 4, one for type 3 and one for types 5 and 7; 45 on types
    /// 1 and 6; 0 (and NULL) on any other type.
    static const WORD* GetDefaultCtrlParms(int consoleType, int& count);
    /// The route parameters of every route process of a new path, on every console.
    static constexpr WORD kDefaultRteParms[kRteParmsPerRoute] = {0, 0, 0, 1};

    /// The current "Max Paths Mode" of the package's console configuration (0 when it has none).
    int GetPathsMode() const;
    /// The largest path count and the snapshot version of the current mode (those of mode 0 for
    /// a mode outside 0 to 2).
    int GetMaxPaths() const;
    int GetCurrentSnapshotVersion() const;

    // The typed arrays, each named as its stream begins.
    CLinkMap m_LinkMap{"LinkMap"};
    CGangMap m_GangMap{"GangMap"};
    CCtrlParms m_CtrlParms{"ISS"};
    CRteParms m_RteParms{"ISS"};
    CPathMap m_PathMap{"PathMap"};
    CVectorData m_FirstAutoRte{"FirstAutoRte"};
    CVectorData m_SnapshotVersion{"SnapshotVersion"};
    CVectorData m_AnalogueInfo{"AnalogueInfo"};
    // Plain values, at most one each in practice.
    CDWordArray m_FrameRate;
    CDWordArray m_ABPath;
    CDWordArray m_AutomationSize;
    CDWordArray m_ConsoleType;

    CFastCriticalSection m_Lock;
    /// FALSE while a save or a load runs.
    MixPassIdleFlag m_bIdle;
    FILETIME m_TimeStamp{};
    /// 0 after a successful save, 5 after a failed save or load.
    int m_nError = 0;
    /// TRUE when the last load read an indexed automation file (and after construction).
    BOOL m_bIndexedFile = TRUE;
    CString m_strPathName;
    DWORD m_dwMixPass[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
    /// TRUE when the last load read a pass of an older snapshot version.
    BOOL m_bOldSnapshot = FALSE;
    CConsoleRegistryNames* m_pConsoleNames = NULL;
    /// Flag k of each group, NULL where the console has none.
    CPackageCtrlFlagArray* m_pCtrlFlags[kChannelFlagCount] = {};
    CPackageRteFlagArray* m_pRteFlags[kChannelFlagCount] = {};
    CPackageSmallCtrlFlagArray* m_pSmallCtrlFlags[kChannelFlagCount] = {};
    CPackageSmallRteFlagArray* m_pSmallRteFlags[kChannelFlagCount] = {};
    /// When set, the destructor posts notification 17.
    BOOL m_bNotifyOnClose = TRUE;
    /// NULL when it could not be made.
    CConsoleConfig* m_pConsoleConfig = NULL;

private:
    BOOL saveCompound();
    // Caller holds m_Lock. Both read into the package; a FALSE result leaves the members half
    // read, and the caller puts them back.
    BOOL loadCompound();
    BOOL loadIndexed();
    /// loadCompound or loadIndexed, with the package put back as it was when it fails.
    BOOL loadWhole(bool indexed);
    BOOL m_bEventsLoaded = FALSE;
    /// Set by the conversions when stored data that is there could not be read whole.
    bool m_bConversionDamaged = false;
};
