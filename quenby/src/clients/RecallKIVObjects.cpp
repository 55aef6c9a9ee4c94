#include "quenby/RecallKIVObjects.h"

#include <algorithm>

#include "quenby/KivClientKit.h"

namespace {

// The recall-data block.
constexpr size_t kValue = 16;
constexpr size_t kDeskB = 88, kDeskA = 89, kCardB = 92, kCardA = 96;

// The snapshot block.
constexpr size_t kAttachValue = 16;
constexpr size_t kCaptureValue = 402020;
constexpr size_t kNameCount = 426224;
constexpr size_t kFileValue = 426236;
constexpr size_t kScope = 426244;

}  // namespace

// ---- recall files ----

void CRecallKIVObject::RCLAttach(HWND window)
{
    SendAttachBlock(KivBlock(AttachToRecall, KIVBareCommandSize, window).Take(), /*readNow=*/1);
}

void CRecallKIVObject::Load(const CString& name)
{
    SendCommandBlock(KivNameBlock(LoadRecallFileCommand, FileBlockSize, FileNameOffset, FileBlockSize - FileNameOffset, name));
}

void CRecallKIVObject::Create(const CString& name)
{
    SendCommandBlock(KivNameBlock(CreateRecallFileCommand, FileBlockSize, FileNameOffset, FileBlockSize - FileNameOffset, name));
}

// ---- recall mode ----

void CRecallDataKIVObject::DCAttach()
{
    SendAttachBlock(KivBlock(AttachToRecallDataControl, KIVBareCommandSize).Take(), /*readNow=*/1);
}

void CRecallDataKIVObject::ActivateRecall(int recall)
{
    KivBlock block(ActivateRecallCommand, BlockSize);
    block.Put32(kValue, recall);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CRecallDataKIVObject::DeactivateRecall()
{
    SendAttachBlock(KivBlock(DeactivateRecallCommand, KIVBareCommandSize).Take(), /*readNow=*/1);
}

void CRecallDataKIVObject::SelectChannel(int channel)
{
    KivBlock block(SelectRecallChannelCommand, BlockSize);
    block.Put32(kValue, channel);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CRecallDataKIVObject::SetDeskInfo(BYTE a, BYTE b)
{
    KivBlock block(SetRecallDeskInfoCommand, BlockSize);
    block.Put8(kDeskA, a);
    block.Put8(kDeskB, b);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CRecallDataKIVObject::SetCardInfo(int a, int b)
{
    KivBlock block(SetRecallCardInfoCommand, BlockSize);
    block.Put32(kCardA, a);
    block.Put32(kCardB, b);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CRecallDataKIVObject::InitialiseConsole()
{
    SendAttachBlock(KivBlock(RecallInitialiseConsoleCommand, KIVBareCommandSize).Take(), /*readNow=*/1);
}

void CRecallDataKivK7Object::DCK7Attach()
{
    SendAttachBlock(KivBlock(AttachToRecallDataK7Control, KIVBareCommandSize).Take(), /*readNow=*/1);
}

void CRecallDataKivK7Object::ActivateRecall(int recall)
{
    KivBlock block(ActivateRecallK7Command, BlockSize);
    block.Put32(kValue, recall);
    SendCommandBlock(block.Take());
}

void CRecallDataKivK7Object::DeactivateRecall(int recall)
{
    KivBlock block(DeactivateRecallK7Command, BlockSize);
    block.Put32(kValue, recall);
    SendCommandBlock(block.Take());
}

void CRecallSoloKIVObject::SRAttach()
{
    SendAttachBlock(KivBlock(AttachToRecallSoloControl, KIVBareCommandSize).Take(), /*readNow=*/1);
}

void CRecallSoloKivK7Object::SRK7Attach()
{
    SendAttachBlock(KivBlock(AttachToRecallSoloK7Control, KIVBareCommandSize).Take(), /*readNow=*/0);
}

// ---- snapshots ----

void CSnapshotKIVObject::SSAttach(HWND window, int value)
{
    KivBlock block(AttachToSnapShotSystem, BlockSize, window);
    block.Put32(kAttachValue, value);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CSnapshotKIVObject::SendNamed(int command, const CString& name, size_t valueOffset, int value, HWND window)
{
    KivBlock block(command, BlockSize, window);
    block.PlainName(NamesOffset, NameSlot, name);
    if (valueOffset) block.Put32(valueOffset, value);
    SendCommandBlock(block.Take());
}

void CSnapshotKIVObject::CaptureSnapshot(const CString& name, int value, HWND window)
{
    SendNamed(CaptureSnapshotCommand, name, kCaptureValue, value, window);
}

void CSnapshotKIVObject::DeleteSnapshots(const CStringArray& names, HWND window)
{
    int count = static_cast<int>(std::min<INT_PTR>(names.GetSize(), MaxNames));
    KivBlock block(DeleteSnapshotCommand, BlockSize, window);
    block.Put32(kNameCount, count);
    for (int i = 0; i < count; ++i) block.PlainName(NamesOffset + NameSlot * static_cast<size_t>(i), NameSlot, names[i]);
    SendCommandBlock(block.Take());
}

void CSnapshotKIVObject::PreLoadSnapshot(const CString& name, HWND window) { SendNamed(PreLoadSnapshotCommand, name, 0, 0, window); }
void CSnapshotKIVObject::PlaySnapshot(const CString& name, HWND window) { SendNamed(PlaySnapshotCommand, name, 0, 0, window); }
void CSnapshotKIVObject::SelectSnapshot(const CString& name, HWND window) { SendNamed(SelectSnapshotCommand, name, 0, 0, window); }

void CSnapshotKIVObject::LoadSnapshots(const CString& file, int value, HWND window)
{
    SendNamed(LoadSnapshotsCommand, file, kFileValue, value, window);
}

void CSnapshotKIVObject::SaveSnapshots(const CString& file, int value, HWND window)
{
    SendNamed(SaveSnapshotsCommand, file, kFileValue, value, window);
}

void CSnapshotKIVObject::NewSnapshots(const CString& file, int value, HWND window)
{
    SendNamed(NewSnapshotsCommand, file, kFileValue, value, window);
}

void CSnapshotKIVObject::RenameSnapshot(const CString& oldName, const CString& newName, HWND window)
{
    KivBlock block(RenameSnapshotCommand, BlockSize, window);
    block.PlainName(NamesOffset, NameSlot, oldName);
    block.PlainName(NamesOffset + NameSlot, NameSlot, newName);
    SendCommandBlock(block.Take());
}

void CSnapshotKIVObject::SetScope(int scope, HWND window)
{
    KivBlock block(SetSnapshotScopeCommand, BlockSize, window);
    block.Put32(kScope, scope);
    SendCommandBlock(block.Take());
}

void CSnapshotKIVObject::SetTargetWindow(HWND window)
{
    SendCommandBlock(KivBlock(SetSnapshotTargetWindowCommand, KIVBareCommandSize, window).Take());
}

void CSnapshotKIVObject::CloseSnapshot() { SendCommandBlock(KivBlock(CloseSnapshotCommand, KIVBareCommandSize).Take()); }
