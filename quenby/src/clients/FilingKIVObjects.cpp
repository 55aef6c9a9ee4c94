#include "quenby/FilingKIVObjects.h"

#include <algorithm>

#include "quenby/FilingPath.h"
#include "quenby/KivClientKit.h"

namespace {

// Mix-setup blocks of the console-setup list.
constexpr int kSetupBlock = 460000;
constexpr int kSetupReadOnlyBlock = 568260;
constexpr size_t kDeleteCount = 424;
constexpr size_t kDeleteNames = 460000;
constexpr size_t kDeleteNameSpacing = 29;  // names lie 29 bytes apart
constexpr int kDeleteBytesPerName = 39;    // but each counts 39 bytes in the size
constexpr int kTwoNameBlock = 418;
constexpr size_t kFirstName = 16, kSecondName = 217, kSetupNameField = 201;
constexpr size_t kReadOnlyName = 412016, kReadOnlyFlag = 528296;

// The disk recorder's blocks: the 60-byte filing block and the file-list block.
constexpr int kFilingBlock = 60;
constexpr size_t kFilingValue = 16, kFilingName = 20;
constexpr int kListBlock = 30336;
constexpr size_t kDirectoryName = 20, kDirectoryField = 514;
constexpr size_t kProjectName = 573, kProjectField = 260;

constexpr int kHomePathBlock = 276;
constexpr size_t kPathField = 260;

constexpr int kMacroBlock = 92;
constexpr size_t kMacroName = 16, kMacroNameField = 40, kMacroRecord = 56, kMacroValue = 88;

constexpr int kSaveHeader = 280;
constexpr size_t kSaveName = 16, kSaveLength = 276, kSaveData = 280;

// Label lists: a count at 16 and 40-byte entries from 20.
constexpr int kLabelAttachBlock = 72020;
constexpr size_t kLabelAttachNames = 20, kLabelAttachSpacing = 39, kLabelAttachName = 38;
constexpr int kLabelBlock = 60;
constexpr size_t kLabelCount = 16, kLabels = 20, kLabelEntry = 40, kLabelName = 8, kLabelNameBytes = 28;

void putLabel(KivBlock& block, size_t at, int type, long position, const char* name)
{
    block.Put32(at, type);
    block.Put32(at + 4, static_cast<int32_t>(position));
    block.BoundedName(at + kLabelName, kLabelNameBytes, name);
}

}  // namespace

// ---- console-setup list ----

void CConsoleSetupListKIVObject::CSAttach()
{
    SendAttachBlock(KivBlock(AttachToConsoleSetupList, kKIVBareCommandSize).Take(), /*readNow=*/1);
}

void CConsoleSetupListKIVObject::DeleteDeskSetup(const CString& name)
{
    KivBlock block(DeleteMSUCommand, kSetupBlock + kDeleteBytesPerName);
    block.Put32(kDeleteCount, 1);
    block.PlainName(kDeleteNames, kDeleteBytesPerName, name);
    SendCommandBlock(block.Take());
}

void CConsoleSetupListKIVObject::DeleteDeskSetups(const CStringArray& names)
{
    const int64_t room = (static_cast<int64_t>(KivBlock::MaxSize()) - kSetupBlock) / kDeleteBytesPerName;
    int64_t count = std::min<int64_t>(names.GetSize(), room);
    KivBlock block(DeleteMSUCommand, kSetupBlock + kDeleteBytesPerName * count);
    block.Put32(kDeleteCount, static_cast<int32_t>(count));
    for (int64_t i = 0; i < count; ++i)
        block.PlainName(kDeleteNames + kDeleteNameSpacing * static_cast<size_t>(i), kDeleteNameSpacing, names[static_cast<INT_PTR>(i)]);
    SendCommandBlock(block.Take());
}

void CConsoleSetupListKIVObject::SendTwoNames(int command, const CString& first, const CString& second, HWND window,
                                              bool lengthCopies)
{
    KivBlock block(command, kTwoNameBlock, window);
    if (lengthCopies) {
        block.LengthName(kFirstName, kSetupNameField, first);
        block.LengthName(kSecondName, kSetupNameField, second);
    } else {
        block.PlainName(kFirstName, kSetupNameField, first);
        block.PlainName(kSecondName, kSetupNameField, second);
    }
    SendCommandBlock(block.Take());
}

void CConsoleSetupListKIVObject::RenameDeskSetup(const CString& oldName, const CString& newName)
{
    SendTwoNames(RenameMSUCommand, oldName, newName, nullptr, false);
}

void CConsoleSetupListKIVObject::Copy(const CString& source, const CString& destination, HWND window)
{
    SendTwoNames(CopyMSUCommand, source, destination, window, false);
}

void CConsoleSetupListKIVObject::Backup(const CString& name, const CString& target, HWND window)
{
    SendTwoNames(BackupMSUCommand, name, target, window, true);
}

void CConsoleSetupListKIVObject::Restore(const CString& name, const CString& source, HWND window)
{
    SendTwoNames(RestoreMSUCommand, name, source, window, true);
}

void CConsoleSetupListKIVObject::SetReadOnly(const CString& name, int readOnly)
{
    KivBlock block(SetReadOnlyMSUCommand, kSetupReadOnlyBlock);
    block.PlainName(kReadOnlyName, kReadOnlyFlag - kReadOnlyName, name);
    block.Put32(kReadOnlyFlag, readOnly);
    SendCommandBlock(block.Take());
}

void CConsoleSetupListKIVObject::ExportPathNames(const CString& name, HWND window)
{
    SendCommandBlock(KivNameBlock(ExportPathNamesCommand, kSetupBlock, kFirstName, kSetupBlock - kFirstName, name, window));
}

void CConsoleSetupListKIVObject::UpdateList()
{
    SendCommandBlock(KivBlock(ForceDeskSetupListCommand, kKIVBareCommandSize).Take());
}

// ---- the disk recorder ----

void CTessaractFilingKIVObject::TQFilingAttach(int value)
{
    KivBlock block(AttachToTessaractFiling, kFilingBlock);
    block.Put32(kFilingValue, value);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CTessaractFilingKIVObject::EnterDirectory(const CString& name)
{
    SendCommandBlock(KivNameBlock(SetTessaractCurrentDirectoryCommand, kFilingBlock, kFilingName, kFilingBlock - kFilingName, name));
}

void CTessaractFilingKIVObject::LoadEvents(const CString& name)
{
    SendCommandBlock(KivNameBlock(LoadTessaractEventListCommand, kFilingBlock, kFilingName, kFilingBlock - kFilingName, name));
}

void CTessaractFilingKIVObject::TransferProject(const CString& name)
{
    SendCommandBlock(KivNameBlock(TransferTessaractNetworkProjectCommand, kListBlock, kProjectName, kProjectField, name));
}

void CTessaractNetworkFilingKIVObject::TQNFilingAttach(const CString& area)
{
    KivBlock block(AttachToTessaractNetworkFiling, kListBlock);
    block.PlainName(kProjectName, kProjectField, area);
    m_strCurrentDirectory = "\\";
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CTessaractNetworkFilingKIVObject::EnterDirectory(const CString& name)
{
    KivBlock block(SetTessaractNetworkDirCommand, kListBlock);
    block.PlainName(kDirectoryName, kDirectoryField, name);
    if (name != "..") {
        m_strCurrentDirectory += name + "\\";
    } else {
        CStringArray folders;
        CFilingPath(m_strCurrentDirectory).SplitDirectory(folders);
        CString parent = "\\";
        for (INT_PTR i = 0; i + 1 < folders.GetSize(); ++i) parent += folders[i] + "\\";
        m_strCurrentDirectory = parent;
    }
    SendCommandBlock(block.Take());
}

// ---- home path, disk status, macro designer ----

void CHomePathKIVObject::HPAttach() { SendAttachBlock(KivBlock(AttachToHomePath, kKIVBareCommandSize).Take(), /*readNow=*/1); }

void CHomePathKIVObject::SetHomePath(const CString& path)
{
    SendCommandBlock(KivNameBlock(SetHomePathCommand, kHomePathBlock, kFirstName, kPathField, path));
}

void CDiskStatKIVObject::DSAttach() { SendAttachBlock(KivBlock(AttachToDiskStat, kKIVBareCommandSize).Take(), /*readNow=*/1); }

void CMacroDesignerKIVObject::MacroAttach()
{
    SendAttachBlock(KivBlock(AttachToMacroDesigner, kKIVBareCommandSize).Take(), /*readNow=*/1);
}

void CMacroDesignerKIVObject::Save(const CString& name)
{
    KivBlock block(SaveMacroDesignCommand, kMacroBlock);
    block.PlainName(kMacroName, kMacroNameField, name);
    block.PutBytes(kMacroRecord, m_abyDesignRecord, sizeof m_abyDesignRecord);
    block.Put32(kMacroValue, m_nDesignValue);
    SendCommandBlock(block.Take());
}

void CMacroDesignerKIVObject::Load(const CString& name)
{
    SendCommandBlock(KivNameBlock(LoadMacroDesignCommand, kMacroBlock, kMacroName, kMacroNameField, name));
}

// ---- saving to the recorder's disk ----

void CSavetoSorelDiskKIVObject::Attach()
{
    SendAttachBlock(KivBlock(AttachToSavetoSorelDisk, kKIVBareCommandSize).Take(), /*readNow=*/0);
}

void CSavetoSorelDiskKIVObject::SavetoSorelDisk(CString name, const BYTE* data, int length)
{
    if (length < 0 || (length > 0 && !data)) return;
    KivBlock block(SavetoSorelDiskCommand, kSaveHeader + static_cast<int64_t>(length));
    block.PlainName(kSaveName, kPathField, name);
    block.Put32(kSaveLength, length);
    block.PutBytes(kSaveData, data, static_cast<size_t>(length));
    SendCommandBlock(block.Take());
}

// ---- label lists ----

void CLabelListKIVObject::LLAttach(const CString& a, const CString& b, const CString& c)
{
    KivBlock block(AttachToLabelList, kLabelAttachBlock);
    block.Put32(kLabelCount, 3);
    block.BoundedName(kLabelAttachNames, kLabelAttachName, a);
    block.BoundedName(kLabelAttachNames + kLabelAttachSpacing, kLabelAttachName, b);
    block.BoundedName(kLabelAttachNames + 2 * kLabelAttachSpacing, kLabelAttachName, c);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CLabelListKIVObject::AddLabel(int type, long position, const CString& name, HWND window)
{
    KivBlock block(AddLabelList, kLabelBlock, window);
    block.Put32(kLabelCount, 1);
    putLabel(block, kLabels, type, position, name);
    SendCommandBlock(block.Take());
}

void CLabelListKIVObject::DeleteLabel(long position, const CString& name, HWND window)
{
    KivBlock block(SubtractLabelList, kLabelBlock, window);
    block.Put32(kLabelCount, 1);
    putLabel(block, kLabels, 0, position, name);
    SendCommandBlock(block.Take());
}

void CLabelListKIVObject::SetLabelList(CArray<LabelStructure*, LabelStructure*>& labels, HWND window)
{
    int count = static_cast<int>(std::min<INT_PTR>(labels.GetSize(), kMaxLabels));
    KivBlock block(CreateLabelListCommand, static_cast<int64_t>(kLabels + kLabelEntry * static_cast<size_t>(count)), window);
    block.Put32(kLabelCount, count);
    for (int i = 0; i < count; ++i) {
        if (const LabelStructure* label = labels[i])
            putLabel(block, kLabels + kLabelEntry * static_cast<size_t>(i), label->nType, label->lPosition, label->strLabel);
    }
    SendCommandBlock(block.Take());
}
