// The client object of the server's current console setup: the console's paths by type, their
// names and default names, the dynamics links between paths and the kind of engine.
#pragma once

#include <cstdint>
#include <vector>

#include "quenby/GenericKIVObject.h"
#include "trevanny/FaderLayout.h"

/// Fader names from a fader layout; n counts faders from 0.
CString GetFaderShortName(const CFaderLayout& layout, int n);
CString GetFaderLongName(const CFaderLayout& layout, int n);
BOOL IsEmptyFader(const CFaderLayout& layout, int n);
/// The library's fader layout, built on first use from the console settings.
const CFaderLayout& QuenbyFaderLayout();

class CCurrentConsoleSetupKIVObject : public CGenericKIVObject {
public:
    static constexpr int kNumPathTypes = 14;
    static constexpr int kNumLinkedPaths = 100;     // link records for paths 0 to 99
    static constexpr int kLinkRecordWords = 2000;   // the count and up to 1999 linked paths
    static constexpr int kSetupBlockSize = 460000;
    /// Path names of the rename block: short names of 5 bytes per path from 8428, long names of
    /// 13 bytes per path from 420428, so paths 0 to 3043 fit.
    static constexpr int kMaxQueuedPath = 3043;
    /// LoadConsoleSetup carries the first name and at most seven further ones.
    static constexpr int kMaxFurtherSetupNames = 7;

    explicit CCurrentConsoleSetupKIVObject(int enabled);
    ~CCurrentConsoleSetupKIVObject() override;

    CString GetName() override { return "CurrentConsoleSetupKIV"; }

    /// Attaches to the current console setup and reads it at once.
    void CCSAttach();
    void LoadConsoleSetup(CStringArray& names, int a, int b, int c, HWND window);
    void SetPathName(int path, const CString& name, HWND window);
    /// Sends every queued name; the queue is kept.
    void SetMultiplePathNames(HWND window);
    void MakeDefault(CString name);
    void MakeDefault() { MakeDefault(GetMixSetup()); }

    void ResetMultiplePathNameQueue();
    /// Queues a rename; a path outside 0 to 3043 is refused (FALSE) and nothing is queued.
    BOOL QueuePathName(int path, const CString& name);
    INT_PTR GetQueuedPathCount() const { return m_anQueuedPaths.GetSize(); }

    /// The first path number of a type: the path counts of every type of lower rank; 0 for a
    /// type outside 0 to 13.
    int GetOffset(int type);
    /// The type of a path, -1 when no type holds it.
    int GetPathType(int path);
    int GetNumPathType(int type);
    int GetTypeTotal(int type);
    int GetTotalPaths();
    const CArray<int, int>& GetPathMap() { return m_anPathMap; }
    void GetNamesOfType(int type, CStringArray& names, CArray<int, int>& paths);
    /// The stored name, "????" for a path beyond the names.
    CString GetPathName(int path);
    CString GetMixSetup() { return m_strMixSetup; }
    /// The default name of the number-th path (from 1) of a type.
    CString GetDefaultName(int type, int number);
    void GetDefaultName(int path, CString& name);
    /// The indexes within `type` of the paths linked to `path` (0 to 99), in record order; 0 and
    /// an empty array when there are none, when the first linked path is of another type, or for
    /// a path without a record.
    int GetDynamicsLink(int type, int path, CArray<int, int>& links);

    int IsESPSystem() { return m_nEngineKind == 0; }
    int IsSSPSystem() { return m_nEngineKind == 1; }
    int IsXSPSystem() { return m_nEngineKind == 2; }
    int IsUSPSystem() { return m_nUSP && IsXSPSystem(); }
    /// The counts of engine 0 to 3, 0 for any other engine.
    int GetNumXSPCards(int engine) { return engine >= 0 && engine < 4 ? m_anXSPCards[engine] : 0; }
    int GetNumMADICards(int engine) { return engine >= 0 && engine < 4 ? m_anMADICards[engine] : 0; }

protected:
    /// The link record of a path (0 to 99): word 0 the count, then the linked paths.
    int32_t* LinkRecord(int path) { return &m_anDynamicsLinks[static_cast<size_t>(path) * kLinkRecordWords]; }

    // The rename queue: path numbers and their names, in the order queued.
    CArray<int, int> m_anQueuedPaths;
    CStringArray m_astrQueuedNames;
    CStringArray m_astrPathNames;  // index = path number
    CString m_strMixSetup;
    CArray<int, int> m_anPathMap;  // paths of each type
    char m_szShortPattern[kNumPathTypes][10];
    char m_szLongPattern[kNumPathTypes][10];
    std::vector<int32_t> m_anDynamicsLinks;  // kNumLinkedPaths records of kLinkRecordWords words
    int32_t m_anXSPCards[4] = {};
    int32_t m_nEngineKind = 0;  // 0 ESP, 1 SSP, 2 XSP
    int32_t m_nReserved = 0;
    int32_t m_nUSP = 0;
    int32_t m_anMADICards[4] = {};
};
