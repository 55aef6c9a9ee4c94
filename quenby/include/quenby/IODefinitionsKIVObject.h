// The client object of the server's I/O definitions: per I/O system the rack type of each rack,
// and per rack type its card slots, converter setting, kind, name and date; the enable tables
// and the TQ channel totals. The object edits a local copy (the owner fills it through the
// setters) and sends it whole with Save.
//
// Indexes: system 0 to 3, rack 0 to 11, rack type 0 to 15, slot 0 to 4. A getter given an index
// outside its table answers 0 (GetTypeOfRack -1, the pointer getters NULL, GetRackName an
// empty text, GetRackDate no date); a setter given one changes nothing.
#pragma once

#include "quenby/GenericKIVObject.h"
#include "winport/CTime.h"

class CIODefinitionsKIVObject : public CGenericKIVObject {
public:
    static constexpr int kSystems = 4, kRacks = 12, kRackTypes = 16, kSlots = 5;
    static constexpr int kEnableCount = 48;
    static constexpr int kRackNameLength = 30;  // characters kept of a rack name
    /// Most channels a rack type carries: the sum over its slots of the larger of inputs and
    /// outputs.
    static constexpr int kMaxRackChannels = 56;
    static constexpr int kSaveBlockSize = 3752;

    explicit CIODefinitionsKIVObject(int enabled = 1);
    CString GetName() override { return "IODefinitionsKIV"; }

    /// Attaches (command 108, a bare block), read at once.
    void IODefAttach();
    /// Sends the whole copy (command 109, 3752 bytes) and reads the reply at once.
    void Save();

    BYTE* GetRackTypes() { return &m_nRackTypes[0][0]; }
    BYTE* GetIOSTypeEnables() { return m_nIOSTypeEnables; }
    BYTE* GetChannel55Enables() { return m_nChannel55Enables; }
    int GetTypeOfRack(int system, int rack) const;
    int GetInput(int system, int rackType, int slot) const;
    int GetOutput(int system, int rackType, int slot) const;
    /// The 5 slot values of a rack type.
    BYTE* GetInputs(int system, int rackType);
    BYTE* GetOutputs(int system, int rackType);
    int GetSRC(int system, int rackType) const;
    /// The rack type's kind.
    int GetRackType(int system, int rackType) const;
    CString GetRackName(int system, int rackType) const;
    CTime GetRackDate(int system, int rackType) const;
    int GetTQIns() const { return m_nTQInputs; }
    int GetTQOuts() const { return m_nTQOutputs; }

    /// Copy 48 bytes each.
    void SetIOSTypeEnables(const BYTE* enables);
    void SetChannel55Enables(const BYTE* enables);
    void SetTQIns(int n) { m_nTQInputs = n; }
    void SetTQOuts(int n) { m_nTQOutputs = n; }
    /// The slot's channels, rounded down to its step (8 in slots 2 and 3, else 4). A value that
    /// would take the rack type above 56 channels is refused with a message box; a negative
    /// value is refused silently.
    void SetInput(int system, int rackType, int slot, int n);
    void SetOutput(int system, int rackType, int slot, int n);
    /// Stores the value limited to 0 to 14.
    void SetSRC(int system, int rackType, int value);
    /// A new kind (0 to 255, other than the stored one) clears the rack type's slots and
    /// converter setting.
    void SetRackType(int system, int rackType, int kind);
    /// Keeps the first 30 characters.
    void SetRackName(int system, int rackType, const CString& name);
    void SetRackDate(int system, int rackType, CTime date);

private:
    void SetChannels(BYTE (&table)[kSystems][kRackTypes][kSlots], int system, int rackType, int slot, int n);

    BYTE m_nRackTypes[kSystems][kRacks] = {};
    BYTE m_nInputs[kSystems][kRackTypes][kSlots] = {};
    BYTE m_nOutputs[kSystems][kRackTypes][kSlots] = {};
    BYTE m_nConverters[kSystems][kRackTypes] = {};
    BYTE m_nRackKinds[kSystems][kRackTypes] = {};
    char m_szRackNames[kSystems][kRackTypes][32] = {};
    CTime m_RackDates[kSystems][kRackTypes];
    BYTE m_nIOSTypeEnables[kEnableCount] = {};
    BYTE m_nChannel55Enables[kEnableCount] = {};
    int m_nTQInputs = 0;
    int m_nTQOutputs = 0;
};
