#include "quenby/StemSurroundKIVObjects.h"

#include "quenby/KIVCommands.h"
#include "quenby/KivClientKit.h"

namespace {
constexpr int kBare = kKIVBareCommandSize;

// A control record copied whole from 16.
HGLOBAL RecordBlock(int command, const void* record, size_t size)
{
    KivBlock block(command, kKIVBareCommandSize + static_cast<int64_t>(size));
    block.PutBytes(16, record, size);
    return block.Take();
}
}  // namespace

void CStemContentsKIVObject::StemAttach() { SendAttachBlock(KivBlock(AttachToStemContents, kBare).Take(), /*readNow=*/1); }

void CStemContentsKIVObject::ApplyStemContents()
{
    KivBlock block(ApplyStemContentsCommand, 404);
    block.PutBytes(16, m_abyStemContents, sizeof m_abyStemContents);
    block.Put32(400, m_nStemValue);
    SendCommandBlock(block.Take());
}

void CStemMixerKivObject::StemMixerAttach() { SendAttachBlock(KivBlock(AttachToStemMixer, kBare).Take(), /*readNow=*/1); }

void CStemMixerKivObject::StemMixerGetData() { SendCommandBlock(KivBlock(GetStemMixer, kBare).Take()); }

void CStemMixerKivObject::StemMixerSetData(_StructStemMixerControl& data)
{
    SendCommandBlock(RecordBlock(SetStemMixer, data.bytes, sizeof data));
}

void CStemMonKivObject::StemMonAttach() { SendAttachBlock(KivBlock(AttachToStemMon, kBare).Take(), /*readNow=*/1); }

void CStemMonKivObject::GetDataStemMonData() { SendCommandBlock(KivBlock(GetStemMonData, kBare).Take()); }

void CStemMonKivObject::SetDataStemMonData(_StructStemMonControl& data)
{
    SendCommandBlock(RecordBlock(SetStemMonData, data.bytes, sizeof data));
}

void CSurroundK7XKIVObject::SurroundK7XAttach() { SendAttachBlock(KivBlock(AttachToSurroundK7X, kBare).Take(), /*readNow=*/1); }

void CSurroundK7XKIVObject::SendSurroundK7XData(_StructSurroundK7XControl data)
{
    SendCommandBlock(RecordBlock(SetSurroundK7XCommand, data.bytes, sizeof data));
}

void CSurroundK7XKIVObject::LoadData(CString name, int bFlag, int a, int b)
{
    KivBlock block(SetSurroundK7XCommand, kBlockSize);
    block.Put32(16, bFlag ? 2 : 3);
    block.PlainName(1278, 1680 - 1278, name.c_str());
    block.Put32(1680, b);
    block.Put32(1684, a);
    SendCommandBlock(block.Take());
}

void CSurroundStackKIVObject::SuStAttach() { SendAttachBlock(KivBlock(AttachToSurroundStack, kBare).Take(), /*readNow=*/1); }

void CSurroundStackKIVObject::LoadTemplate() { SendCommandBlock(KivBlock(LoadSurroundStackCommand, kBlockSize).Take()); }

void CSurroundStackKIVObject::RenameTemplate(CString& oldName, CString& newName)
{
    KivBlock block(RenameSurroundStackCommand, kBlockSize);
    block.PlainName(20, kNameWidth, oldName.c_str());
    block.PlainName(39, kBlockSize - 39, newName.c_str());
    SendCommandBlock(block.Take());
}

void CSurroundStackKIVObject::DeleteTemplate(CString& name)
{
    SendCommandBlock(KivNameBlock(DeleteSurroundStackCommand, kBlockSize, 20, kNameWidth, name.c_str()));
}

void CSurroundStackKIVObject::ViewTemplate(CString& name)
{
    SendCommandBlock(KivNameBlock(ViewSurroundStackCommand, kBlockSize, 20, kNameWidth, name.c_str()));
}

void CLuskarKIVObject::LuskarAttach() { SendAttachBlock(KivBlock(AttachToLuskar, kBare).Take(), /*readNow=*/1); }

void CLuskarKIVObject::SendLuskarData(_StructLuskarControl& data)
{
    KivBlock block(SetLuskarCommand, kBlockSize);
    block.PutBytes(16, data.bytes, sizeof data);
    block.Put8(kKindOffset, 0);
    SendCommandBlock(block.Take());
}

void CLuskarKIVObject::LoadLuskarData(CString name, int bFlag, int a, int b)
{
    KivBlock block(SetLuskarCommand, kBlockSize);
    block.Put8(kKindOffset, bFlag ? 2 : 3);
    block.PlainName(10114, 10516 - 10114, name.c_str());
    block.Put32(10516, b);
    block.Put32(10520, a);
    SendCommandBlock(block.Take());
}
