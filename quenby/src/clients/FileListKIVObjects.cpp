#include "quenby/FileListKIVObjects.h"

void KivFileListBase::AttachList() { SendAttachBlock(KivBlock(m_commands.attach, kKIVBareCommandSize).Take(), /*readNow=*/1); }

void KivFileListBase::SendRename(const CString& oldName, const CString& newName)
{
    KivBlock block(m_commands.rename, kBlockSize);
    block.PlainName(kOldNameOffset, kOldNameWidth, oldName);
    block.PlainName(kNewNameOffset, kNewNameWidth, newName);
    SendCommandBlock(block.Take());
}

void KivFileListBase::SendDelete(const CString& name)
{
    SendCommandBlock(KivNameBlock(m_commands.remove, kBlockSize, kFileNameOffset, kFileNameWidth, name));
}

void KivFileListBase::SendSetReadOnly(const CString& name, int readOnly)
{
    KivBlock block(SetReadOnlyFileCommand, kBlockSize);
    block.PlainName(kFileNameOffset, kFileNameWidth, name);
    block.Put32(kReadOnlyOffset, readOnly);
    SendCommandBlock(block.Take());
}

void KivFileListBase::SendCopy(const CString& source, const CString& destination, HWND window)
{
    KivBlock block(CopyFileCommand, kBlockSize, window);
    block.PlainName(kOldNameOffset, kOldNameWidth, source);
    block.PlainName(kNewNameOffset, kNewNameWidth, destination);
    SendCommandBlock(block.Take());
}

CAESConfigListKIVObject::CAESConfigListKIVObject(int enabled)
    : KivFileList(enabled, {AttachToAESConfigList, RenameAESConfigCommand, DeleteAESConfigCommand})
{
}

CCBFConfigListKIVObject::CCBFConfigListKIVObject(int enabled)
    : KivFileList(enabled, {AttachToCBFConfigList, RenameCBFConfigCommand, DeleteCBFConfigCommand})
{
}

CDefaultValuesListKIVObject::CDefaultValuesListKIVObject(int enabled)
    : KivFileList(enabled, {AttachToDefaultValuesFiling, RenameDefaultValuesFileCommand, DeleteDefaultValuesFileCommand})
{
}

CJoyListKIVObject::CJoyListKIVObject(int enabled)
    : KivFileList(enabled, {AttachToJOYConfigList, RenameJOYConfigCommand, DeleteJOYConfigCommand})
{
}

CSnapshotListKIVObject::CSnapshotListKIVObject(int enabled)
    : KivFileList(enabled, {AttachToSnapshotList, RenameSnapshotFileCommand, DeleteSnapshotFileCommand})
{
}

CSurroundDesignerListKIVObject::CSurroundDesignerListKIVObject(int enabled)
    : KivFileList(enabled, {AttachToSurroundDesignFiling, RenameSurroundDesignCommand, DeleteSurroundDesignCommand})
{
}

CEDLListKIVObject::CEDLListKIVObject(int enabled)
    : KivFileList(enabled, {AttachToEDLFiling, RenameEDLFileCommand, DeleteEDLFileCommand})
{
}

CExtractedAutomationListKIVObject::CExtractedAutomationListKIVObject(int enabled)
    : KivFileList(enabled, {AttachToExtractedAutomationFiling, RenameExtractedAutomationFileCommand,
                            DeleteExtractedAutomationFileCommand})
{
}

CRecallListKIVObject::CRecallListKIVObject(int enabled)
    : KivFileList(enabled, {AttachToRecallFiling, RenameRecallFileCommand, DeleteRecallFileCommand})
{
}

// The project list has no rename or delete; nothing sends its other two commands.
CTessaractListKIVObject::CTessaractListKIVObject(int enabled)
    : KivFileList(enabled, {AttachToTessaract, -1, -1})
{
}

CIOConfigListKIVObject::CIOConfigListKIVObject(int enabled)
    : KivFileList(enabled, {AttachToIOConfigList, RenameIOConfigCommand, DeleteIOConfigCommand})
{
}

CGPIConfigListKIVObject::CGPIConfigListKIVObject(int enabled)
    : KivFileList(enabled, {AttachToGPIConfigList, RenameGPIConfigCommand, DeleteGPIConfigCommand})
{
}

CMeterDesignerListKIVObject::CMeterDesignerListKIVObject(int enabled)
    : KivFileList(enabled, {AttachToMeterDesignFiling, RenameMeterDesignCommand, DeleteMeterDesignCommand})
{
}
