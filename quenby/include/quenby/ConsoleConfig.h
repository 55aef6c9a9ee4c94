// The client library's build of the console configuration: besides the path-capacity mode it
// knows the console's signal-processing hardware (card type, engines, XSP and QM cards per
// engine) and the path and channel capacities that follow from them.
//
// It lives in namespace quenby so that it and the shared-object library's CConsoleConfig, which
// reads "Max Paths Mode" from another key, can be loaded into one program side by side.
#pragma once

#include "trevanny/ConsoleConfig.h"
#include "winport/WinTypes.h"

namespace quenby {

class CConsoleConfig {
public:
    static constexpr int kMaxEngines = ::CConsoleConfig::kMaxEngines;
    static constexpr int kXSPSlots = 16;

    /// Clears the per-engine fields, then reads the mode.
    CConsoleConfig();
    virtual ~CConsoleConfig();

    /// Console type 3 gives mode 2 without reading; otherwise "Max Paths Mode" of
    /// "SOFTWARE\VOKDWEN\Vok Dwen Cantle\Main" (this machine), default 0.
    void ReadMaxPathsMode();
    /// Writes the mode, or 1 on console type 3. TRUE when written.
    BOOL WriteMaxPathsMode();
    int GetMaxPathsMode() const { return m_nMaxPathsMode; }

    /// The path capacity: 256 or 500 by card type, engines x 500 on multi-engine hardware in mode 2.
    int GetMaxPaths() const;
    /// The channel capacity by console type, mode and hardware.
    int GetChannelCapacity() const;
    int GetProcessSection(int process) const { return ::CConsoleConfig::ProcessSection(process, m_nMaxPathsMode); }
    /// 5 on console types 1 and 6, else 36.
    static int GetProcessCount();
    /// 1 on console types 1 and 6, else 48.
    static int GetExtendedProcessCount();

    /// 1 unless the mode is multi-engine; then the hardware's engine count within 1 to 4.
    int GetEngineCount() const { return ::CConsoleConfig::EngineCount(m_nMaxPathsMode); }
    /// The stored engine count ("USP") when the hardware marker says multi-engine and the mode is
    /// multi-engine, else 0.
    int GetHardwareEngineCount() const { return ::CConsoleConfig::ReadHardwareEngineCount(m_nMaxPathsMode); }
    /// Writes "USP". TRUE when written.
    BOOL SetHardwareEngineCount(int engines);
    /// "Type" of the card-type key, default 2.
    int GetCardType() const;
    BOOL IsCardType1() const { return GetCardType() == 1; }
    BOOL IsCardType2() const { return GetCardType() == 2; }
    BOOL IsMultiEngineHardware() const { return GetHardwareEngineCount() != 0 && IsCardType2(); }

    /// Reads the 4 x 16 XSP card slots (default 0) into `counts`, keeps each engine's sum and
    /// returns the total. Sums that do not fit an int saturate.
    int ReadXSPSlots(int counts[kMaxEngines][kXSPSlots]);
    BOOL WriteXSPSlots(const int counts[kMaxEngines][kXSPSlots]);
    void ReadQMCounts();
    BOOL WriteQMCounts(const int counts[kMaxEngines]);
    void ReadXSPCounts();
    BOOL WriteXSPCounts(const int counts[kMaxEngines]);

    /// Per-engine fields; 0 for an engine outside 0 to 3.
    int GetXSPCards(int engine) const { return validEngine(engine) ? m_nXSPCards[engine] : 0; }
    int GetQMCount(int engine) const { return validEngine(engine) ? m_nQMCount[engine] : 0; }
    int GetXSPCount(int engine) const { return validEngine(engine) ? m_nXSPCount[engine] : 0; }
    BOOL AreXSPSlotsRead() const { return m_bXSPSlotsRead; }

private:
    static bool validEngine(int engine) { return engine >= 0 && engine < kMaxEngines; }

    int m_nMaxPathsMode = 0;
    int m_nXSPCards[kMaxEngines] = {};  // sums of the slots read by ReadXSPSlots
    int m_nQMCount[kMaxEngines] = {};
    int m_nXSPCount[kMaxEngines] = {};
    BOOL m_bXSPSlotsRead = FALSE;
};

}  // namespace quenby
