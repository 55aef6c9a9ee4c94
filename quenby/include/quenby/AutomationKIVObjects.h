// Client objects through which a program follows and edits the console's automation: single
// and multiple controls, the automation data of the current pass, the pass itself, gangs, glide
// times, the safety net, touch sensing and trim. None keeps state from the server's replies.
//
// Every count a block holds is limited to its room, and the count written is the number sent;
// an argument that makes no valid block (a missing array) sends nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "quenby/GenericKIVObject.h"
#include "trevanny/AutomationEventArray.h"
#include "trevanny/EventFilter.h"
#include "winport/Collections.h"

/// An automation event as the automation-data commands send it (24 bytes).
struct PackedAutomationEvent {
    int32_t nMarker;  // 65536 in every record
    int32_t nTime;
    uint8_t byFlags;
    uint8_t abyPad1[3];
    uint32_t dwPath;
    uint8_t byProcess;
    uint8_t byControl;
    int16_t nValue;
    uint16_t wLast;  // the event's last 16-bit field
    uint16_t wPad2;

    static constexpr int32_t kMarker = 65536;
    /// The packed form of an event; padding is zero.
    static PackedAutomationEvent From(const CAutomationEvent& event);
};
static_assert(sizeof(PackedAutomationEvent) == 24);
static_assert(offsetof(PackedAutomationEvent, nMarker) == 0);
static_assert(offsetof(PackedAutomationEvent, nTime) == 4);
static_assert(offsetof(PackedAutomationEvent, byFlags) == 8);
static_assert(offsetof(PackedAutomationEvent, dwPath) == 12);
static_assert(offsetof(PackedAutomationEvent, byProcess) == 16);
static_assert(offsetof(PackedAutomationEvent, byControl) == 17);
static_assert(offsetof(PackedAutomationEvent, nValue) == 18);
static_assert(offsetof(PackedAutomationEvent, wLast) == 20);

/// One control of a multiple-control attach, copied whole (12 bytes).
struct StructPPPC {
    int32_t nPath;
    int32_t nProcess;
    int32_t nControl;
};
static_assert(sizeof(StructPPPC) == 12);

class CAdvancedAutoKIVObject : public CGenericKIVObject {
public:
    static constexpr int kParameterCount = 9;

    explicit CAdvancedAutoKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "CAdvancedAutoKIVObject"; }

    /// Attach (326), read at once.
    void AdvancedAutoAttach();
    /// (327) the nine parameters from 16.
    void SendAdvancedAutoCmd();

    /// Set by the program before SendAdvancedAutoCmd.
    int32_t m_anParameters[kParameterCount] = {};
};

class CAutomationDataKIVObject : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 8616;
    /// Room of the attach's channel list (from 24), and of the event and index lists.
    static constexpr int kMaxChannels = (kBlockSize - 24) / 4;
    static constexpr int kMaxEvents = 20;

    explicit CAutomationDataKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "AutomationDataKIV"; }

    /// Attach (38), read at once: the filter at 16; one channel at 24 (1 at 20), or none (-1).
    void ADAttach(AutomationEventFilterStructure filter, int channel);
    /// Attach (38), read at once: the filter at 16, the count at 20 (at most 2148), the channels
    /// from 24.
    void ADAttach(AutomationEventFilterStructure filter, const CArray<int, int>& channels);
    /// (39) at most 20 events, packed from 8136; the count at 8124.
    void AddAutoEvents(const CAutomationEventArray& events, HWND window);
    /// (41) at most 20 indexes from 8028; the count at 8124.
    void DeleteAutoEvent(const CArray<int, int>& indexes);
    /// (40) index i at 8028 + 4i and events[i] packed at 8136 + 24i, for as many as both lists
    /// hold, at most 20; the count at 8124.
    void ModifyAutoEvents(const CArray<int, int>& indexes, CAutomationEventArray& events);
    /// (106) the time at 8024, the int at 8124.
    void GotoEvent(DWORD time, int value, HWND window);
    /// (122) 8116 and 8124.
    void BrowseAutomationData(int first, int second, HWND window);
    /// (123) a bare block.
    void CreateNewPass(HWND window);
    /// (324) a bare block.
    void Rollback(HWND window);

    /// Kept for the program that derives; -1 after construction.
    int32_t m_anState[2] = {-1, -1};
};

class CAutomationKIVObject : public CGenericKIVObject {
public:
    explicit CAutomationKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "AutomationKIV"; }

    /// Keeps the control and attaches to it (0, 32 bytes, window at 4, the triple at 16), read at once.
    void SetPPC(int a, int b, int c, HWND window);
    /// (1) the kept triple at 16, the value at 28.
    void SetValue(short value, HWND window);
    void GetPPC(int& a, int& b, int& c, HWND) const;

private:
    int32_t m_anControl[3] = {};
};

class CCurrentPassKIVObject : public CGenericKIVObject {
public:
    explicit CCurrentPassKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "CurrentPassKIVObject"; }

    /// Attach (195), read at once.
    void CPAttach();
    /// (27) the int at 16, the DWORD at 20.
    void SetOffset(int value, DWORD offset, HWND window);
    /// (319) the byte at 16, the name at 573.
    void Undo(const char* name, BYTE value, HWND window);
};

/// The gang table of the console (2000 x 2000, entry [i][i] channel i's gang, 0 to 1999 a
/// valid gang) and the path map. A program derives from it and fills both.
class CGangDataKIVObject : public CGenericKIVObject {
public:
    /// The path kind whose channels ClearAll leaves out.
    static constexpr int kSkippedPathType = 12;

    CGangDataKIVObject();

    /// Attach (224), read at once.
    void GDAttach();
    /// (225) 1 at 16 and 24, the gang at 32.
    void Clear(int gang);
    /// (225) 1 at 16 and 28, a at 20, b at 24, the gang at 32.
    void Coalesce(int gang, int a, int b);
    /// (225) 32 + 2n bytes: n at 16, 1 at 24, from 32 the gang of each ganged channel whose
    /// path kind is not 12.
    void ClearAll();
    /// As ClearAll, with a at 20, b at 24 and 1 at 28.
    void CoalesceAll(int a, int b);
    /// The channels whose own entry holds a valid gang.
    int GetNumberOfGangs() const;

    /// The numbers of channels of each of the 14 path kinds.
    void SetPathMap(const CArray<int, int>& counts) { m_aPathMap.Copy(counts); }
    int GetOffset(int type) const;
    /// -1 when no kind's range holds the channel.
    int GetPathType(int channel) const;

    /// Entries outside the table read -1; writes outside it change nothing.
    short GetGangEntry(int i, int j) const;

protected:
    void SetGangEntry(int i, int j, short gang);

    std::vector<int16_t> m_aGangTable;
    CArray<int, int> m_aPathMap;

private:
    void SendAllGangs(bool coalesce, int a, int b);
};

class CGlideTimesKIVObject : public CGenericKIVObject {
public:
    explicit CGlideTimesKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "GlideTimesKIV"; }

    /// Attach (20), read at once.
    void GTAttach();
    /// (21) a[0..2] at 16, b[0..2] at 28. A missing array sends nothing.
    void DoSetGlides(const int* a, const int* b, HWND window);
};

class CMultipleAutomationKIVObject : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 228;
    /// The controls the attach holds below its count at 220.
    static constexpr int kMaxAttachControls = (220 - 16) / 12;

    explicit CMultipleAutomationKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "MultipleAutomationKIV"; }

    /// Attach (143), read at once: at most 17 controls from 16, the count at 220, the int at
    /// 224; 228 + 12 per control sent.
    void MACAttach(CArray<StructPPPC, StructPPPC>& controls, int value);
    void MACAttach(int value);
    /// (144) the text at 16.
    void SetControls(CString text);
    /// (144) 228 + 12n bytes: the count at 220, the controls from 228.
    void SetControls(CArray<StructPPPC, StructPPPC>& controls);
};

class CSafetyNetKIVObject : public CGenericKIVObject {
public:
    explicit CSafetyNetKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "SafetyNetKIVObject"; }

    /// Attach (171), read at once.
    void SNAttach();
    /// (46) a at 28, b at 32; the int is not sent.
    void SetSafetyNet(DWORD a, DWORD b, int unused, HWND window);
};

class CTouchSenseKIVObject : public CGenericKIVObject {
public:
    explicit CTouchSenseKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "TouchSenseKIV"; }

    /// Attach (4, 28 bytes), read at once: the int at 24.
    void TSAttach(int value);
};

class CTrimControlKIVObject : public CGenericKIVObject {
public:
    static constexpr int kTrimBlockSize = 8504, kPathsBlockSize = 24048;

    explicit CTrimControlKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    ~CTrimControlKIVObject() override = default;
    CString GetName() override { return "TrimControlKIVObject"; }

    /// Attach (273), read at once.
    void TCAttach();
    /// (121) a at 8496, b at 8482, the times at 16 and 20, the ints at 8052 and 8056, at most
    /// 2000 paths from 36 with their count at 32, the last int at 8500.
    void DoTrim(short a, short b, CArray<int, int>& paths, DWORD from, DWORD to, int c, int d, HWND window, int e);
    /// (121) the times at 16 and 20, the ints at 8052 and 8056, 1 at 32, -1 at 36.
    void SetTimes(DWORD from, DWORD to, int c, int d, HWND window);
    /// (275) the flags at 16 and 17.
    void ShowWindow(bool first, bool second);
    /// (274) row 0 or 1 (any other sends nothing): at most 2000 paths, their count at 20, the
    /// row at 24 (16 bits), path i at 26 + 4000 row + 2i and its selected flag (0 when the flag
    /// list is shorter) at 8028 + 8000 row + 4i.
    void SelectedPaths(short row, CArray<int, int>& paths, CArray<bool, bool>& selected);
};
