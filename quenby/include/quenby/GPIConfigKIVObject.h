// The client object of the server's GPI configuration: a record of sixteen settings per path,
// the status of 19 relays and 27 optos, the relay and opto counts, and whether a status panel
// and a fader-start box are attached. The owner fills the local copy through the protected
// setters; SaveConfig sends it.
#pragma once

#include <vector>

#include "quenby/GenericKIVObject.h"

class CGPIConfigKIVObject : public CGenericKIVObject {
public:
    static constexpr int kRelayCount = 19, kOptoCount = 27;
    static constexpr int kPathRecordSize = 30;
    /// Most path records the object keeps.
    static constexpr int kBlockSize = 544;

    explicit CGPIConfigKIVObject(int enabled = 1);
    CString GetName() override { return "GPIConfigKIVObject"; }

    /// Attaches (command 206, a bare block), read at once.
    void GPIConfigAttach();
    /// Sends the configuration under a name (command 208, 544 + 30 bytes per path, window at
    /// 4) between the end of the subscription and a new one that does not read at once.
    void SaveConfig(const CString& name, HWND window);
    /// Asks the server to load a stored configuration (command 207, window at 4).
    void LoadConfig(const CString& name, int a, int b, int c, HWND window);
    void LoadInMemory(const CString& name, int c, HWND window) { LoadConfig(name, 0, 0, c, window); }

    int GetNumPaths() const { return static_cast<int>(m_aPaths.size()); }
    int GetNumOptos() const { return m_nOptos; }
    int GetNumRelays() const { return m_nRelays; }
    CString GetCurrent() const { return m_strCurrent; }
    CString GetCurrentOnDesk() const { return m_strCurrentOnDesk; }
    /// Field 1 to 16 of a path's record; 0 for a field or path outside the record or array.
    short GetPathValue(int path, int field) const;
    /// 0 outside 0 to 26 (optos) and 0 to 18 (relays).
    short GetStatusOpto(int i) const;
    short GetStatusRelay(int i) const;
    BOOL StatusPanelAttached() const { return m_bStatusPanel; }
    BOOL FaderStartBoxAttached() const { return m_bFaderStartBox; }

protected:
    /// A path at or beyond the array's end grows it to that path with zeroed records (up to
    /// 2000 paths); nothing for a field outside 1 to 16 or a path outside 0 to 1999.
    void SetPathValue(int path, int field, short value);
    void SetStatusOpto(int i, short value);
    void SetStatusRelay(int i, short value);
    /// Zeroes every path record and both status tables and empties the current name.
    void ClearAll();

    struct PathRecord {
        BYTE bytes[kPathRecordSize];
    };

    CString m_strCurrent;
    CString m_strCurrentOnDesk;
    std::vector<PathRecord> m_aPaths;
    short m_nRelayStatus[kRelayCount] = {};
    short m_nOptoStatus[kOptoCount] = {};
    int m_nRelays = 0;
    int m_nOptos = 0;
    bool m_bStatusPanel = false;
    bool m_bFaderStartBox = false;
};
