// The parameter tables, maps and value vectors that a mix pass keeps beside its events and
// flags, as typed automation arrays:
//
//   class          element                  record size   names a mix pass gives
//   CCtrlParms     u16 (process x 9 + control)        2   "ISS"
//   CRteParms      u16 (route x 4 + value)            2   "ISS"
//   CLinkMap       i32 path number              1 or 2    "LinkMap" (1 in path mode 0, else 2)
//   CGangMap       u16                                2   "GangMap"
//   CVectorData    u32                                4   "FirstAutoRte", "SnapshotVersion", "AnalogueInfo"
// A record is the leading record-size bytes of an element's little-endian form, so a link map in
// path mode 0 hands out the low byte of each path number.
#pragma once

#include "trevanny/ConsoleConfig.h"
#include "trevanny/TypedAutomationArrays.h"

/// Control parameters: nine words per process of every path, control c of process p at word
/// p x 9 + c of the path's block.
class CCtrlParms : public CTypedAutomationArray<WORD> {
public:
    explicit CCtrlParms(const CString& name) : CTypedAutomationArray(name, 2) {}
    ~CCtrlParms() override;

    /// For an array of exactly channels x 45 words (five processes per path): *out receives a
    /// new WORD[channels x 2] (the caller delete[]s it) holding control 6 of process 0 of every
    /// channel, then control 6 of process 1 of every channel, and the result is its size in
    /// bytes. Any other size (or no channel): 0, and nothing is allocated.
    int ExtractControl6(WORD** out, int channels) const;
};

/// Route parameters: four words per route process of every path.
class CRteParms : public CTypedAutomationArray<WORD> {
public:
    explicit CRteParms(const CString& name) : CTypedAutomationArray(name, 2) {}
    ~CRteParms() override;
};

/// The link map, one path number per path. Its records are one byte in path mode 0 and two
/// bytes in any other mode, read from the console configuration at construction.
class CLinkMap : public CTypedAutomationArray<int>, public CConsoleConfig {
public:
    explicit CLinkMap(const CString& name);
    ~CLinkMap() override;
};

/// The gang map: a square path-by-path matrix, 0xFFFF where two paths are not ganged.
class CGangMap : public CTypedAutomationArray<WORD>, public CConsoleConfig {
public:
    explicit CGangMap(const CString& name) : CTypedAutomationArray(name, 2) {}
    ~CGangMap() override;
};

/// A small vector of 32-bit values.
class CVectorData : public CTypedAutomationArray<DWORD> {
public:
    explicit CVectorData(const CString& name) : CTypedAutomationArray(name, 4) {}
    ~CVectorData() override;
};
