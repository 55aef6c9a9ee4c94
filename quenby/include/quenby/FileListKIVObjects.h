// The file lists: client objects that follow one of the server's filing areas and rename,
// delete, protect and copy its files. All of them share one 30336-byte block layout and differ
// in their attach, rename and delete commands and in whether they can protect and copy files.
#pragma once

#include <type_traits>

#include "quenby/GenericKIVObject.h"
#include "quenby/KivClientKit.h"

/// The commands that tell one file list from another.
struct KivFileListCommands {
    int attach;
    int rename;
    int remove;
};

/// The block every file-list command but the attach sends, and the commands the lists share.
class KivFileListBase : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 30336;
    /// Fields of the block; each runs to the next field that a command of the block writes,
    /// so a file name keeps at most 38 characters.
    static constexpr size_t kFileNameOffset = 534, kFileNameWidth = 39;
    static constexpr size_t kOldNameOffset = 833, kOldNameWidth = 39;
    static constexpr size_t kNewNameOffset = 872, kNewNameWidth = 23464;
    static constexpr size_t kReadOnlyOffset = 24336;

protected:
    KivFileListBase(int enabled, KivFileListCommands commands) : CGenericKIVObject(enabled), m_commands(commands) {}

    /// The bare attach, read at once.
    void AttachList();
    void SendRename(const CString& oldName, const CString& newName);
    void SendDelete(const CString& name);
    void SendSetReadOnly(const CString& name, int readOnly);
    void SendCopy(const CString& source, const CString& destination, HWND window);

private:
    KivFileListCommands m_commands;
};

/// The two lists some file-list classes hold: file names and 8-byte entries. Nothing in the
/// library fills or reads them; they are empty at construction and emptied at destruction.
struct KivFileListEntry {
    BYTE bytes[8];
};
struct KivFileListArrays {
    CStringArray m_astrFileNames;
    CArray<KivFileListEntry, const KivFileListEntry&> m_aEntries;
};
struct KivNoFileListArrays {};

/// A file list; HasReadOnlyAndCopy gives it SetReadOnly (127) and Copy (183, window at 4),
/// HasLists the two lists.
template <bool HasReadOnlyAndCopy, bool HasLists>
class KivFileList : public KivFileListBase {
public:
    /// Protects (1) or unprotects (0) a file: SetReadOnlyFileCommand, name at 534, flag at 24336.
    void SetReadOnly(const CString& name, int readOnly)
        requires HasReadOnlyAndCopy
    {
        SendSetReadOnly(name, readOnly);
    }
    /// Copies a file: CopyFileCommand, window at 4, names at 833 and 872.
    void Copy(const CString& source, const CString& destination, HWND window)
        requires HasReadOnlyAndCopy
    {
        SendCopy(source, destination, window);
    }

protected:
    using KivFileListBase::KivFileListBase;

    [[no_unique_address]] std::conditional_t<HasLists, KivFileListArrays, KivNoFileListArrays> m_lists;
};

class CAESConfigListKIVObject : public KivFileList<true, true> {
public:
    explicit CAESConfigListKIVObject(int enabled = 1);
    CString GetName() override { return "AESConfigListKIV"; }
    void AESListAttach() { AttachList(); }
    void RenameConfig(const CString& oldName, const CString& newName) { SendRename(oldName, newName); }
    void DeleteConfig(const CString& name) { SendDelete(name); }
};

class CCBFConfigListKIVObject : public KivFileList<true, true> {
public:
    explicit CCBFConfigListKIVObject(int enabled = 1);
    CString GetName() override { return "CBFConfigListKIV"; }
    void CBFListAttach() { AttachList(); }
    void RenameConfig(const CString& oldName, const CString& newName) { SendRename(oldName, newName); }
    void DeleteConfig(const CString& name) { SendDelete(name); }
};

class CDefaultValuesListKIVObject : public KivFileList<true, true> {
public:
    explicit CDefaultValuesListKIVObject(int enabled = 1);
    CString GetName() override { return "DefaultValuesListKIV"; }
    void DVListAttach() { AttachList(); }
    void RenameConfig(const CString& oldName, const CString& newName) { SendRename(oldName, newName); }
    void DeleteConfig(const CString& name) { SendDelete(name); }
};

class CJoyListKIVObject : public KivFileList<true, true> {
public:
    explicit CJoyListKIVObject(int enabled = 1);
    CString GetName() override { return "JoyListKIV"; }
    void JoyListAttach() { AttachList(); }
    void RenameJoyFile(const CString& oldName, const CString& newName) { SendRename(oldName, newName); }
    void DeleteJoyFile(const CString& name) { SendDelete(name); }
};

class CSnapshotListKIVObject : public KivFileList<true, true> {
public:
    explicit CSnapshotListKIVObject(int enabled = 1);
    CString GetName() override { return "SnapshotListKIV"; }
    void SnapListAttach() { AttachList(); }
    void RenameSnapshotFile(const CString& oldName, const CString& newName) { SendRename(oldName, newName); }
    void DeleteSnapshotFile(const CString& name) { SendDelete(name); }
};

class CSurroundDesignerListKIVObject : public KivFileList<false, true> {
public:
    explicit CSurroundDesignerListKIVObject(int enabled = 1);
    CString GetName() override { return "SurroundDesignerListKIV"; }
    void SDListAttach() { AttachList(); }
    void Rename(const CString& oldName, const CString& newName) { SendRename(oldName, newName); }
    void Delete(const CString& name) { SendDelete(name); }
};

class CEDLListKIVObject : public KivFileList<true, false> {
public:
    explicit CEDLListKIVObject(int enabled = 1);
    CString GetName() override { return "EDLListKIV"; }
    void EDLListAttach() { AttachList(); }
    void RenameFile(const CString& oldName, const CString& newName) { SendRename(oldName, newName); }
    /// The exported name of the delete.
    void DeleteFileA(const CString& name) { SendDelete(name); }
};

class CExtractedAutomationListKIVObject : public KivFileList<true, false> {
public:
    explicit CExtractedAutomationListKIVObject(int enabled = 1);
    CString GetName() override { return "AutoExtractListKIV"; }
    void AutoExtractListAttach() { AttachList(); }
    void RenameFile(const CString& oldName, const CString& newName) { SendRename(oldName, newName); }
    void DeleteFileA(const CString& name) { SendDelete(name); }
};

class CRecallListKIVObject : public KivFileList<true, false> {
public:
    explicit CRecallListKIVObject(int enabled = 1);
    CString GetName() override { return "RecallListKIV"; }
    void RCLListAttach() { AttachList(); }
    void RenameConfig(const CString& oldName, const CString& newName) { SendRename(oldName, newName); }
    void DeleteConfig(const CString& name) { SendDelete(name); }
};

/// The disk recorder's project list: it can only be attached.
class CTessaractListKIVObject : public KivFileList<false, false> {
public:
    explicit CTessaractListKIVObject(int enabled = 1);
    CString GetName() override { return "TQListKIV"; }
    void TQListAttach() { AttachList(); }
};

class CIOConfigListKIVObject : public KivFileList<true, false> {
public:
    explicit CIOConfigListKIVObject(int enabled = 1);
    CString GetName() override { return "IOConfigListKIV"; }
    void IOListAttach() { AttachList(); }
    void RenameConfig(const CString& oldName, const CString& newName) { SendRename(oldName, newName); }
    void DeleteConfig(const CString& name) { SendDelete(name); }
};

class CGPIConfigListKIVObject : public KivFileList<true, false> {
public:
    explicit CGPIConfigListKIVObject(int enabled = 1);
    CString GetName() override { return "GPIConfigListKIV"; }
    void GPIListAttach() { AttachList(); }
    void RenameConfig(const CString& oldName, const CString& newName) { SendRename(oldName, newName); }
    void DeleteConfig(const CString& name) { SendDelete(name); }
};

class CMeterDesignerListKIVObject : public KivFileList<true, false> {
public:
    explicit CMeterDesignerListKIVObject(int enabled = 1);
    CString GetName() override { return "MeterDesignerListKIV"; }
    void MDListAttach() { AttachList(); }
    void Rename(const CString& oldName, const CString& newName) { SendRename(oldName, newName); }
    void Delete(const CString& name) { SendDelete(name); }
};
