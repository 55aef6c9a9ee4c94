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
    SendAttachBlock(KivBlock(AttachToRecall, kKIVBareCommandSize, window).Take(), /*readNow=*/1);
}

void CRecallKIVObject::Load(const CString& name)
{
    SendCommandBlock(KivNameBlock(LoadRecallFileCommand, kFileBlockSize, kFileNameOffset, kFileBlockSize - kFileNameOffset, name));
}

void CRecallKIVObject::Create(const CString& name)
{
    SendCommandBlock(KivNameBlock(CreateRecallFileCommand, kFileBlockSize, kFileNameOffset, kFileBlockSize - kFileNameOffset, name));
}

// ---- recall mode ----

void CRecallDataKIVObject::DCAttach()
{
    SendAttachBlock(KivBlock(AttachToRecallDataControl, kKIVBareCommandSize).Take(), /*readNow=*/1);
}

void CRecallDataKIVObject::ActivateRecall(int recall)
{
    KivBlock block(ActivateRecallCommand, kBlockSize);
    block.Put32(kValue, recall);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CRecallDataKIVObject::DeactivateRecall()
{
    SendAttachBlock(KivBlock(DeactivateRecallCommand, kKIVBareCommandSize).Take(), /*readNow=*/1);
}

void CRecallDataKIVObject::SelectChannel(int channel)
{
    KivBlock block(SelectRecallChannelCommand, kBlockSize);
    block.Put32(kValue, channel);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CRecallDataKIVObject::SetDeskInfo(BYTE a, BYTE b)
{
    KivBlock block(SetRecallDeskInfoCommand, kBlockSize);
    block.Put8(kDeskA, a);
    block.Put8(kDeskB, b);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CRecallDataKIVObject::SetCardInfo(int a, int b)
{
    KivBlock block(SetRecallCardInfoCommand, kBlockSize);
    block.Put32(kCardA, a);
    block.Put32(kCardB, b);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CRecallDataKIVObject::InitialiseConsole()
{
    SendAttachBlock(KivBlock(RecallInitialiseConsoleCommand, kKIVBareCommandSize).Take(), /*readNow=*/1);
}

void CRecallDataKivK7Object::DCK7Attach()
{
    SendAttachBlock(KivBlock(AttachToRecallDataK7Control, kKIVBareCommandSize).Take(), /*readNow=*/1);
}

void CRecallDataKivK7Object::ActivateRecall(int recall)
{
    KivBlock block(ActivateRecallK7Command, kBlockSize);
    block.Put32(kValue, recall);
    SendCommandBlock(block.Take());
}

void CRecallDataKivK7Object::DeactivateRecall(int recall)
{
    KivBlock block(DeactivateRecallK7Command, kBlockSize);
    block.Put32(kValue, recall);
    SendCommandBlock(block.Take());
}

void CRecallSoloKIVObject::SRAttach()
{
    SendAttachBlock(KivBlock(AttachToRecallSoloControl, kKIVBareCommandSize).Take(), /*readNow=*/1);
}

void CRecallSoloKivK7Object::SRK7Attach()
{
    SendAttachBlock(KivBlock(AttachToRecallSoloK7Control, kKIVBareCommandSize).Take(), /*readNow=*/0);
}

// ---- snapshots ----

void CSnapshotKIVObject::SSAttach(HWND window, int value)
{
    KivBlock block(AttachToSnapShotSystem, kBlockSize, window);
    block.Put32(kAttachValue, value);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CSnapshotKIVObject::SendNamed(int command, const CString& name, size_t valueOffset, int value, HWND window)
{
    KivBlock block(command, kBlockSize, window);
    block.PlainName(kNamesOffset, kNameSlot, name);
    if (valueOffset) block.Put32(valueOffset, value);
    SendCommandBlock(block.Take());
}

void CSnapshotKIVObject::CaptureSnapshot(const CString& name, int value, HWND window)
{
    SendNamed(CaptureSnapshotCommand, name, kCaptureValue, value, window);
}

void CSnapshotKIVObject::DeleteSnapshots(const CStringArray& names, HWND window)
{
    int count = static_cast<int>(std::min<INT_PTR>(names.GetSize(), kMaxNames));
    KivBlock block(DeleteSnapshotCommand, kBlockSize, window);
    block.Put32(kNameCount, count);
    for (int i = 0; i < count; ++i) block.PlainName(kNamesOffset + kNameSlot * static_cast<size_t>(i), kNameSlot, names[i]);
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
    KivBlock block(RenameSnapshotCommand, kBlockSize, window);
    block.PlainName(kNamesOffset, kNameSlot, oldName);
    block.PlainName(kNamesOffset + kNameSlot, kNameSlot, newName);
    SendCommandBlock(block.Take());
}

void CSnapshotKIVObject::SetScope(int scope, HWND window)
{
    KivBlock block(SetSnapshotScopeCommand, kBlockSize, window);
    block.Put32(kScope, scope);
    SendCommandBlock(block.Take());
}

void CSnapshotKIVObject::SetTargetWindow(HWND window)
{
    SendCommandBlock(KivBlock(SetSnapshotTargetWindowCommand, kKIVBareCommandSize, window).Take());
}

void CSnapshotKIVObject::CloseSnapshot() { SendCommandBlock(KivBlock(CloseSnapshotCommand, kKIVBareCommandSize).Take()); }
