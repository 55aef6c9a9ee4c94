// The values of the console's "Main" key of this machine's HKEY_LOCAL_MACHINE: their names,
// defaults and reading order, and a once-per-process store that reads them. The library's
// console settings and the mic program's console information both read through it.
#pragma once

#include <atomic>
#include <mutex>

#include "winport/CString.h"
#include "winport/WinTypes.h"

/// Positions of the key and its value names. The first 22 (key to "12Stems") are the library's
/// console settings; "JTB" and "TamberlFaderPanelBits" are read only by the mic program.
enum enConsoleValue {
    enConsoleKey = 0,
    enConsoleType,
    enNumberOfFaders,
    enNumberOfChannelStrips,
    enMasterBucketPos,
    enNewMCS,  // named, never read
    enCutABPath,
    enSideCarSize,
    enKLB2,
    enKLBSabrel,
    enLiveMMC,
    enLiveDetectTQ,
    enMuteABPath,
    enNumGroupFaders,
    enGroupFadersStartAt,
    enNumOutputFaders,
    enOutputFadersStartAt,
    enForceCopyBuffer,
    enCantlePlus,
    enDwenEQ,
    enK7D,
    en12Stems,
    enJTB,
    enTamberlFaderPanelBits,
    enConsoleValueCount
};

struct ConsoleValueName {
    const char* name;
    int defaultValue;
};

/// Key (position 0) and value names with the default that a missing value leaves.
inline constexpr ConsoleValueName kConsoleValueNames[enConsoleValueCount] = {
    {"Software\\Vok Dwen Cantle\\Main", 0},
    {"CantleConsoleType", 3},
    {"NumberOfFaders", 0},
    {"NumberOfChannelStrips", 0},
    {"MasterBucketPos", 0},
    {"NewMCS", 0},
    {"CutABPath", 128},
    {"SideCarSize", 0},
    {"KLB2", 0},
    {"KLBSabrel", 0},
    {"LiveMMC", 0},
    {"LiveDetectTQ", 1},
    {"MuteABPath", 0},
    {"NumGroupFaders", 0},
    {"GroupFadersStartAt", 0},
    {"NumOutputFaders", 0},
    {"OutputFadersStartAt", 0},
    {"Force Copy Buffer", 0},
    {"CantlePlus", 1},
    {"DwenEQ", 0},
    {"K7D", 0},
    {"12Stems", 0},
    {"JTB", 0},
    {"TamberlFaderPanelBits", 0},
};

/// The order in which the values are read: the library reads the first 20, the mic program all 22.
inline constexpr enConsoleValue kConsoleValueReadOrder[] = {
    enConsoleType,         enNumberOfFaders,      enNumberOfChannelStrips, enMasterBucketPos,
    enCutABPath,           enSideCarSize,         enKLB2,                  enLiveMMC,
    enLiveDetectTQ,        enMuteABPath,          enNumGroupFaders,        enNumOutputFaders,
    enGroupFadersStartAt,  enOutputFadersStartAt, enForceCopyBuffer,       enCantlePlus,
    enDwenEQ,              enKLBSabrel,           enK7D,                   en12Stems,
    enJTB,                 enTamberlFaderPanelBits,
};
inline constexpr int kLibraryConsoleValueReads = 20;
inline constexpr int kProgramConsoleValueReads = 22;
static_assert(sizeof(kConsoleValueReadOrder) / sizeof(kConsoleValueReadOrder[0]) == kProgramConsoleValueReads);

/// Process-wide console values read once from the registry. Constant-initialised, so that it can
/// be used from other static initialisers. Safe from any thread: a thread that asks while
/// another one is reading waits for that read to finish, and never sees a half-loaded store.
class CConsoleValueStore {
public:
    /// A store that reads the first `readCount` values of the reading order.
    explicit constexpr CConsoleValueStore(int readCount) : m_nReadCount(readCount) {}
    CConsoleValueStore(const CConsoleValueStore&) = delete;
    CConsoleValueStore& operator=(const CConsoleValueStore&) = delete;

    /// Reads the values the first time it is called in the process; later calls do nothing.
    void Load();
    BOOL IsLoaded() const { return m_bLoaded.load(std::memory_order_acquire); }
    /// One value, loading first when that has not happened. Positions that are not read hold 0;
    /// a position outside the table gives 0.
    int Get(int which);
    /// Writes every value that the load reads, in reading order, as DWORDs under the same key and
    /// value names of this machine's HKEY_LOCAL_MACHINE. TRUE when all were written.
    BOOL Save();
    /// Forgets the values, so that the next call reads the registry again. For tests only: no
    /// other thread may use the store meanwhile.
    void ResetForTesting();

private:
    const int m_nReadCount;
    std::mutex m_mutex;
    std::atomic<bool> m_bLoaded{false};
    int m_nValues[enConsoleValueCount] = {};  // written only under m_mutex before m_bLoaded is set
};
