// The recall objects: recall files, the recall mode that guides the operator back to stored
// settings channel by channel, and the recall solo controls, with the K7 console series' own
// commands; and the snapshot system.
#pragma once

#include "quenby/GenericKIVObject.h"

class CRecallKIVObject : public CGenericKIVObject {
public:
    static constexpr int kFileBlockSize = 43692;
    static constexpr size_t kFileNameOffset = 534;

    explicit CRecallKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "RecallKIV"; }
    void RCLAttach(HWND window);
    void Load(const CString& name);
    void Create(const CString& name);
};

/// The recall mode. Its commands re-attach: the state a command causes reaches OnLinkIn before
/// the method returns.
class CRecallDataKIVObject : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 104;

    explicit CRecallDataKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    ~CRecallDataKIVObject() override = default;
    CString GetName() override { return "RecallDataKIV"; }
    void DCAttach();
    void ActivateRecall(int recall);
    void DeactivateRecall();
    void SelectChannel(int channel);
    void SetDeskInfo(BYTE a, BYTE b);
    void SetCardInfo(int a, int b);
    void InitialiseConsole();
};

class CRecallDataKivK7Object : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 160;

    explicit CRecallDataKivK7Object(int enabled = 1) : CGenericKIVObject(enabled) {}
    ~CRecallDataKivK7Object() override = default;
    CString GetName() override { return "RecallDataKivK7"; }
    void DCK7Attach();
    void ActivateRecall(int recall);
    void DeactivateRecall(int recall);
};

class CRecallSoloKIVObject : public CGenericKIVObject {
public:
    explicit CRecallSoloKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    ~CRecallSoloKIVObject() override = default;
    CString GetName() override { return "RecallSoloKIV"; }
    void SRAttach();
};

/// Attaches without reading at once.
class CRecallSoloKivK7Object : public CGenericKIVObject {
public:
    explicit CRecallSoloKivK7Object(int enabled = 1) : CGenericKIVObject(enabled) {}
    ~CRecallSoloKivK7Object() override = default;
    CString GetName() override { return "RecallSoloKivK7"; }
    void SRK7Attach();
};

class CSnapshotKIVObject : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 426248;
    /// Names: 2000 slots of 201 bytes from 20; a name keeps at most 200 characters.
    static constexpr size_t kNamesOffset = 20, kNameSlot = 201;
    static constexpr int kMaxNames = 2000;

    explicit CSnapshotKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "SnapshotKIV"; }
    void SSAttach(HWND window, int value);
    void CaptureSnapshot(const CString& name, int value, HWND window);
    /// Sends the first 2000 names (the block's room) and their count.
    void DeleteSnapshots(const CStringArray& names, HWND window);
    void PreLoadSnapshot(const CString& name, HWND window);
    void PlaySnapshot(const CString& name, HWND window);
    void LoadSnapshots(const CString& file, int value, HWND window);
    void SaveSnapshots(const CString& file, int value, HWND window);
    void NewSnapshots(const CString& file, int value, HWND window);
    void SelectSnapshot(const CString& name, HWND window);
    void RenameSnapshot(const CString& oldName, const CString& newName, HWND window);
    void SetScope(int scope, HWND window);
    void SetTargetWindow(HWND window);
    void CloseSnapshot();

private:
    /// A snapshot block with one name in slot 0 (and a value at valueOffset when not 0).
    void SendNamed(int command, const CString& name, size_t valueOffset, int value, HWND window);
};
