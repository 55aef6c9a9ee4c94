// The filing objects: the console-setup list, the disk recorder's filing and network filing
// objects, the home path, the disk status, the macro designer, saving to the recorder's disk
// and the label list.
#pragma once

#include "quenby/GenericKIVObject.h"

/// One label of a label list.
struct LabelStructure {
    int nType;
    LONG lPosition;
    CString strLabel;  // sent as at most 28 bytes
};

class CConsoleSetupListKIVObject : public CGenericKIVObject {
public:
    explicit CConsoleSetupListKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "ConsoleSetupListKIV"; }
    void CSAttach();
    /// The name is cut at 38 characters, inside the 460,039-byte block.
    void DeleteDeskSetup(const CString& name);
    /// 39 bytes per name in the size, names 29 bytes apart, each cut at 28 characters; as many
    /// names as the transport's block bound leaves room for.
    void DeleteDeskSetups(const CStringArray& names);
    void RenameDeskSetup(const CString& oldName, const CString& newName);
    void Copy(const CString& source, const CString& destination, HWND window);
    void Backup(const CString& name, const CString& target, HWND window);
    void Restore(const CString& name, const CString& source, HWND window);
    void SetReadOnly(const CString& name, int readOnly);
    void ExportPathNames(const CString& name, HWND window);
    void UpdateList();

private:
    void SendTwoNames(int command, const CString& first, const CString& second, HWND window, bool lengthCopies);
};

/// The disk recorder's local filing.
class CTessaractFilingKIVObject : public CGenericKIVObject {
public:
    explicit CTessaractFilingKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "TQFilingKIV"; }
    void TQFilingAttach(int value);
    /// The name keeps at most 39 characters.
    void EnterDirectory(const CString& name);
    void LoadEvents(const CString& name);
    void TransferProject(const CString& name);
};

/// The disk recorder's network filing, with the current directory it keeps itself: "\" after
/// each attach, then "\" followed by each folder name entered and a backslash.
class CTessaractNetworkFilingKIVObject : public CGenericKIVObject {
public:
    explicit CTessaractNetworkFilingKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "TQNetworkFilingKIV"; }
    void TQNFilingAttach(const CString& area);
    /// Enters a folder of the current directory, or ".." its parent.
    void EnterDirectory(const CString& name);
    const CString& CurrentDirectory() const { return m_strCurrentDirectory; }

private:
    CString m_strCurrentDirectory = "\\";
};

class CHomePathKIVObject : public CGenericKIVObject {
public:
    explicit CHomePathKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "HomePathKIV"; }
    void HPAttach();
    void SetHomePath(const CString& path);
};

class CDiskStatKIVObject : public CGenericKIVObject {
public:
    explicit CDiskStatKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "KIV"; }
    void DSAttach();
};

class CMacroDesignerKIVObject : public CGenericKIVObject {
public:
    explicit CMacroDesignerKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "MacroDesignerKIV"; }
    void MacroAttach();
    /// Sends the name with the design record and value the program filled in.
    void Save(const CString& name);
    void Load(const CString& name);

    BYTE m_abyDesignRecord[32] = {};
    int m_nDesignValue = 0;
};

class CSavetoSorelDiskKIVObject : public CGenericKIVObject {
public:
    explicit CSavetoSorelDiskKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "SavetoSorelDiskKIV"; }
    /// Attaches without reading at once.
    void Attach();
    /// Sends the name and `length` bytes of data; nothing is sent for a negative length, for a
    /// positive length without data, or when the block would exceed the transport's bound.
    void SavetoSorelDisk(CString name, const BYTE* data, int length);
};

class CLabelListKIVObject : public CGenericKIVObject {
public:
    /// The server's label list holds 1800 labels.
    static constexpr int kMaxLabels = 1800;

    explicit CLabelListKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "LabelListKIV"; }
    void LLAttach(const CString& a, const CString& b, const CString& c);
    void AddLabel(int type, long position, const CString& name, HWND window);
    void DeleteLabel(long position, const CString& name, HWND window);
    /// Sends the first 1800 labels; an empty slot (NULL) is sent as an empty entry.
    void SetLabelList(CArray<LabelStructure*, LabelStructure*>& labels, HWND window);
};
