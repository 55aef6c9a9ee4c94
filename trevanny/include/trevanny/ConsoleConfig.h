// The console configuration of the automation code: the path-capacity mode ("Max Paths Mode")
// and the engine count of a multi-engine console.
#pragma once

#include "winport/WinTypes.h"

/// Path-capacity mode 0 (256 paths), 1 (500) or 2 (2000). A console of type 3 is always in
/// mode 2; other consoles read "Max Paths Mode" of "SOFTWARE\Vok Dwen Cantle\Main" (this
/// machine's HKEY_LOCAL_MACHINE), 0 when it is missing. A stored mode outside 0 to 2 is kept as
/// stored; every rule below treats it as a single-engine, 256-path mode.
class CConsoleConfig {
public:
    /// Per-engine tables of the hardware hold this many engines.
    static constexpr int kMaxEngines = 4;

    CConsoleConfig();
    virtual ~CConsoleConfig();

    /// Reads the mode (the console settings are loaded first).
    void Read();
    int GetMaxPathsMode() const { return m_nMaxPathsMode; }
    /// 0 for processes below 19, 1 for 19 to 34, the mode from 35 on.
    int GetProcessSection(int process) const { return ProcessSection(process, m_nMaxPathsMode); }
    /// 256, 500 or 2000 paths for modes 0, 1 and 2; 256 for any other mode.
    int GetMaxPathCount() const;
    /// 1 unless the mode is multi-engine; then the engine count of the hardware, kept within
    /// 1 to kMaxEngines so that it can index the per-engine tables.
    int GetEngineCount() const { return EngineCount(m_nMaxPathsMode); }

    // Rules shared with the client library's larger build of this class.
    static int ProcessSection(int process, int mode);
    /// TRUE for mode 2, the only mode with more than one engine.
    static BOOL IsMultiEngineMode(int mode);
    /// The engine count that the server stores ("USP" of the current user's
    /// "Software\VokSettings\KIVSERVER\CardType", default 1), taken only when the hardware
    /// marker (the default text of this machine's "SOFTWARE\VOKDWEN\KIVSERVER\Configuration")
    /// has a 'T' at index 20 and the mode is multi-engine; else 0. The stored number is
    /// returned as it is.
    static int ReadHardwareEngineCount(int mode);
    /// As GetEngineCount for a given mode.
    static int EngineCount(int mode);

protected:
    int m_nMaxPathsMode = 0;
};
