// Client objects of the mix passes: edits of the pass data (thin, erase, copy, conform, merge,
// import, isolate, delete, rename), the mix-pass file and tree, statistics, the mix-setup
// version, and an offline look at a stored mix setup.
//
// Path lists are limited to their block's room (2000 paths) and the count written is the
// number sent; a negative count or a missing list sends none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "quenby/GenericKIVObject.h"
#include "quenby/KivClientKit.h"
#include "trevanny/EventFilter.h"
#include "winport/Collections.h"

/// Opaque argument types of the commands: the values travel as 32-bit numbers.
enum EraseMode : int32_t {};
enum MixConformMode : int32_t {};
enum LabelCommandType : int32_t {};

/// One change of a tree's notes (368 bytes).
struct TreeChangesStructure {
    int32_t nChange;
    char szText[260];
    BYTE byReserved1;
    char szNote[100];
    BYTE abyReserved2[3];
};
static_assert(sizeof(TreeChangesStructure) == 368);
static_assert(offsetof(TreeChangesStructure, szText) == 4);
static_assert(offsetof(TreeChangesStructure, szNote) == 265);

/// Mix edits: every block 8504 bytes with the window at 4 unless said; names are bounded copies
/// of 201 bytes; a path list holds at most 2000 paths from 36, its count at 32.
class CMixEditKIVObject : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 8504, kNamedBlockSize = 30320;

    explicit CMixEditKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "MixEditKIVObject"; }

    /// Attach (194), not read at once.
    void MEAttach();
    /// (330) from 16, to 20, the filter at 8036, the ints at 8482 and 8496 (16 bits each).
    void AutoThin(DWORD from, DWORD to, int n, const int* paths, AutomationEventFilterStructure filter, int a, int b, HWND window);
    /// (201) from 16, to 20, the filter at 8036, mode 8040, the int at 8048.
    void EraseMix(DWORD from, DWORD to, int n, const int* paths, AutomationEventFilterStructure filter, EraseMode mode, int a,
                  HWND window);
    /// (202) the times at 16, 20, 24, the first int at 28, the filter at 8036, mode 8040, the
    /// last int at 8048.
    void CopyMix(DWORD t1, DWORD t2, DWORD t3, int a, int n, const int* paths, AutomationEventFilterStructure filter,
                 EraseMode mode, int b, HWND window);
    /// (43) mode 8044, the times at 16, 20, 24, the first int at 8048, the last at 8492.
    void ConformMix(MixConformMode mode, DWORD t1, DWORD t2, DWORD t3, int a, const int* paths, int n, int b, HWND window);
    /// (314) no body.
    void SetMergeWithoutSave(HWND window);
    /// (44) names at 8080 and 8281, the filter at 8036, mode 8040, the times at 16 and 20, the
    /// int at 8048.
    void MergeChannelData(const CString& a, const CString& b, AutomationEventFilterStructure filter, EraseMode mode, DWORD t1,
                          DWORD t2, int n, const int* paths, int c, HWND window);
    /// (315) as MergeChannelData with a third time at 24.
    void ImportChannelData(const CString& a, const CString& b, AutomationEventFilterStructure filter, EraseMode mode, DWORD t1,
                           DWORD t2, DWORD t3, int n, const int* paths, int c, HWND window);
    /// (45) the times at 16 and 20, the filter at 8036.
    void IsolateMix(DWORD t1, DWORD t2, const int* paths, int n, AutomationEventFilterStructure filter, HWND window);
    /// (32, 30320 bytes) names at 20, 59, 98, 137 and 176.
    void DeleteMix(const CString& a, const CString& b, const CString& c, const CString& d, const CString& e, HWND window);
    /// (157, 30320 bytes) names at 20, 59, 98, 137, 176 and 215.
    void RenameMix(const CString& a, const CString& b, const CString& c, const CString& d, const CString& e, const CString& f,
                   HWND window);
    /// (42) the flag at 8492, the filter at 8036, the int at 32, the EDL at 8080, the name at 8281.
    void EDLConformMix(const CString& edl, AutomationEventFilterStructure filter, bool flag, const CString& name, int a,
                       HWND window);

private:
    /// The count at 32 and the paths from 36.
    static void PutPaths(KivBlock& block, int n, const int* paths);
    /// Merge and import: the names, filter, mode, the times from 16, the paths and the int.
    void SendChannelData(int command, const CString& a, const CString& b, AutomationEventFilterStructure filter, EraseMode mode,
                         std::initializer_list<DWORD> times, int n, const int* paths, int c, HWND window);
};

class CMixPassAutomationFileKIVObject : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 72020;

    explicit CMixPassAutomationFileKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "MixPassAutomationFileKIV"; }

    /// Attach (156), read at once: names at 20, 59, 98 and 137.
    void MPAFAttach(const CString& a, const CString& b, const CString& c, const CString& d);
};

/// The mix-pass tree; every command has the window at 4.
class CNewMixPassTreeKIVObject : public CGenericKIVObject {
public:
    static constexpr int kTreeBlockSize = 2724;
    /// Where "Load Mode (Auto)" is kept, below HKEY_CURRENT_USER.
    static constexpr char MainKey[] = "Software\\VOKDWEN\\Vok Dwen Cantle\\Main";

    explicit CNewMixPassTreeKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "NewMixPassTreeKIVObject"; }

    /// Attach (193), read at once.
    void NewMPTAttach();
    /// (200, 52 bytes) a0 to a6 from 16, a7 at 48; 1 at 44 when "Load Mode (Auto)" is 0, else 0
    /// (also when it is missing).
    void Activate(int a0, int a1, int a2, int a3, int a4, int a5, int a6, int a7, HWND window);
    /// (55) the name at 824, the ints at 1088 to 1104, the label command at 1108.
    void LoadRevision(const CString& name, int a, int b, int c, int d, int e, LabelCommandType label, HWND window);
    /// (197) names at 16, 217, 418, 619 and (f) 824, e at 820, the label command at 1108.
    void NewTree(const CString& a, const CString& b, const CString& c, const CString& d, int e, const CString& f,
                 LabelCommandType g, HWND window);
    /// (196) names 1-5 at 16, 217, 418, 619, 824; int 1 at 820, ints 2-6 at 1088 to 1104; the
    /// label command at 1108; the DWORD at 1112; further names 1-8 at 1116, 1317, 2322, 2121,
    /// 1518, 1719, 1920, 2523.
    void LoadTree(const CString& n1, const CString& n2, const CString& n3, const CString& n4, const CString& n5, int i1,
                  int i2, int i3, int i4, int i5, int i6, LabelCommandType label, DWORD value, const CString& f1,
                  const CString& f2, const CString& f3, const CString& f4, const CString& f5, const CString& f6,
                  const CString& f7, const CString& f8, HWND window);
    /// (203, 52 bytes) the int at 28.
    void GetAutoFromDesk(HWND window, int value);
    /// (198) 288 + 368n bytes: the int at 16, n at 20, the name at 24; change i at 288 + 368i.
    void SaveChanges(const CArray<TreeChangesStructure, TreeChangesStructure>& changes, const CString& name, int value,
                     HWND window);
};

class CMixStatisticsKIVObject : public CGenericKIVObject {
public:
    explicit CMixStatisticsKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "MixStatisticsKIVObject"; }
    /// Attach (172), read at once.
    void MSAttach();
};

class CMSUVersionKIVObject : public CGenericKIVObject {
public:
    explicit CMSUVersionKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "MSUVersionKIVObject "; }
    /// Attach (179, 228 bytes), read at once: 65535 at 4, the version text at 24.
    void MSUVAttach();

protected:
    CString m_strVersion;
};

/// A stored mix setup looked at offline: its path kinds and their default names.
class COfflineMSUInterrogatorKIVObject : public CGenericKIVObject {
public:
    static constexpr int kPathBlockSize = 30336, kDataBlockSize = 490320;

    COfflineMSUInterrogatorKIVObject(int enabled = 1);
    CString GetName() override { return "OfflineMSUInterrogatorKIV"; }

    /// Attach (311), read at once.
    void OMIOAttach();
    /// Keeps the path and sends it (312, 65535 at 4, the path at 20), re-attaching without a read.
    void SetPath(CString path);
    /// (313, 490320 bytes, 65535 at 4), re-attaching without a read: the data arrives later.
    void RequestData();

    /// The first channel of a path kind, and the kind of a channel (-1 when none), over the
    /// per-kind counts.
    int GetOffset(int type) const;
    int GetPathType(int channel) const;
    /// The default name of a channel: its kind and number within the kind.
    void GetDefaultName(int channel, CString& name) const;
    /// The default name of the number-th (from 1) channel of a kind: the long form below 10,
    /// the short form from 10; "MAIN" for main 1, "MM" for the first group on console type 4.
    CString GetDefaultName(int type, int number) const;

protected:
    KivLabelFormats m_szLongFormats;
    KivLabelFormats m_szShortFormats;
    /// Channels of each path kind; the program fills them.
    CArray<int, int> m_anTypeCounts;
    CString m_strPath;
};
