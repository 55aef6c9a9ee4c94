// The client object of the server's default control values: a table of 16-bit values held in
// the object and sent whole by Save, for three sets of fourteen slots. Part A holds processes 0
// to 35 with nine controls each, part B processes 36 to 83 with four controls each. The object
// owns a default-values file list of its own.
#pragma once

#include "quenby/FileListKIVObjects.h"
#include "quenby/GenericKIVObject.h"
#include "trevanny/TemplateSnapAutoEvent.h"

class CDefaultValuesKIVObject : public CGenericKIVObject {
public:
    static constexpr int kSets = 3, kSlots = 14, kProcesses = 84;
    /// Processes below this one are in part A.
    static constexpr int kPartBFirstProcess = 36;
    static constexpr int kPartAControls = 9, kPartBControls = 4;
    /// Bytes of each part, and of the whole table.
    static constexpr int kPartABytes = kSets * kSlots * kPartBFirstProcess * kPartAControls * 2;
    static constexpr int kPartBBytes = kSets * kSlots * (kProcesses - kPartBFirstProcess) * kPartBControls * 2;
    static constexpr int kTableBytes = kPartABytes + kPartBBytes;
    static constexpr int kBlockSize = 43692;

    explicit CDefaultValuesKIVObject(int enabled = 1);
    CString GetName() override { return "DefaultValuesKIV"; }

    /// Attach (136), read at once.
    void DVAttach();
    /// (138) the table from 16, the name at 43360 (at most 323 characters), flag at 43684.
    void Save(const CString& name, int flag);
    /// (137) name at 43360 (at most 319 characters), a at 43684, b at 43680, c at 43688.
    void Load(const CString& name, int a, int b, int c);
    void LoadInMemory(const CString& name, int a, int c) { Load(name, a, 0, c); }
    /// (139) name at 43438 (at most 253 characters).
    void SetDefault(const CString& name);

    /// A new record (the caller deletes it) of the process, control and stored value; the value
    /// is 0 outside the table.
    CTemplateSnapAutoEvent* GetSnapshot(int set, int slot, int process, int control) const;
    /// A copy of the event with the stored value of its process and control (0 outside).
    CTemplateSnapAutoEvent GetSnapshot(int set, int slot, const CTemplateSnapAutoEvent& event) const;
    /// Stores the event's value at its process and control; nothing outside the table.
    void SetSnapshot(int set, int slot, const CTemplateSnapAutoEvent& event);
    /// 0 outside the table.
    short GetValue(int set, int slot, int process, int control) const;
    /// Nothing outside the table.
    void SetValue(int set, int slot, int process, int control, short value);
    /// Every value of every set and slot becomes 0.
    void Clear();

    /// The byte offset of a value in the table, or -1 when the indices lie outside it.
    static int TableOffset(int set, int slot, int process, int control);

protected:
    CDefaultValuesListKIVObject m_DefaultValuesList{1};

private:
    short m_aValues[kTableBytes / 2] = {};
};
