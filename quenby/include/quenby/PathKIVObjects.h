// Small client objects about console paths: partition settings with the conversion between
// strip and path numbers, path controls, path routes, the paths of a partition, the path
// verifier, the process list of a path, and the time-slot layout.
#pragma once

#include <cstdint>

#include "quenby/GenericKIVObject.h"
#include "winport/Collections.h"
#include "winport/CString.h"

/// A process type of a process list.
using ProcTypes = int;

/// One route of SetMultiplePathRoutes: three values, sent as they stand.
struct PathRoute {
    int32_t nValue[3] = {0, 0, 0};
};

class CPartitionSettingsKIVObject : public CGenericKIVObject {
public:
    explicit CPartitionSettingsKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "PartitionSettingsKIV"; }

    /// Attach (124), read at once.
    void PSAttach();
    /// 125: the strip pairs at 40, the selected strips as path numbers at 64; the fields stay.
    void SetPartitions();
    void StripToPath(int& n) const;
    void PathToStrip(int& n) const;

    // Filled by the owner.
    int m_nStrips[3][2] = {};         // first strip, strip count
    int m_nPaths[3][2] = {};          // first path, path gap
    int m_nSelectedStrips[3] = {};
    int m_nStripsPerBank = 160;       // not read here
    int m_nReserved[6] = {};
};

class CPathControlsKIVObject : public CGenericKIVObject {
public:
    explicit CPathControlsKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "PathControlsKIV"; }
    /// Attach (51): n at 16, the window at 24.
    void PCAttach(int n, HWND wnd);
    void SetValue(int a, int b, int c, int d);
};

class CPathRouteKIVObject : public CGenericKIVObject {
public:
    explicit CPathRouteKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "PathRouteKIV"; }
    void PRAttach();
    void RegisterPath(int path);
    void ResetRoutingScreen();
    void ResetRouting(long a, long b);
    /// As many routes as the largest block holds; the count sent is the number sent.
    void SetMultiplePathRoutes(const CArray<PathRoute, const PathRoute&>& routes);
};

class CPathsInPartitionKIVObject : public CGenericKIVObject {
public:
    CPathsInPartitionKIVObject() : CGenericKIVObject(1) {}
    CString GetName() override { return "PathsInPartitionKIV"; }
    /// Attach (147) with the window at 4.
    void PIPAttach(HWND wnd);

    BYTE m_byPaths[8000] = {};  // not read here
};

class CPathVerifierKIVObject : public CGenericKIVObject {
public:
    explicit CPathVerifierKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "PathVerifierKIV"; }
    void PVAttach();
};

class CProcessListKIVObject : public CGenericKIVObject {
public:
    explicit CProcessListKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "ProcessListKIV"; }
    /// Attach (33) with this process's id at 20; the name is not sent.
    void CPLAttach(const CString& name);
    /// The list is a displayed list of 11 process types; it travels as stored entries and variants.
    void SetProcessList(int path, const ProcTypes list[11], HWND wnd);
    /// At most 2000 paths (the block's room).
    void SetMultipleProcessList(int n, const int* paths, const ProcTypes lists[][11]);
    void SetPrePostFromProcessList(int path, bool post, short value);
    void AttachToPath(int path);
};

class CTimeSlotLayoutKIVObject : public CGenericKIVObject {
public:
    explicit CTimeSlotLayoutKIVObject(int enabled = 1);
    CString GetName() override { return "TimeSlotLayoutKIV"; }
    void TSLAttach();
    void GetLayout(int a, uint8_t b, const uint8_t c[5], const uint8_t d[5], uint8_t e);

    char m_szLayout[160];  // not read here
    int m_nFirst = 1;
    int m_nSecond = 1;
};
