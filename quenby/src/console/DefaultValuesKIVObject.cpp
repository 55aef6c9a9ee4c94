#include "quenby/DefaultValuesKIVObject.h"

#include <cstring>

#include "quenby/KIVCommands.h"
#include "quenby/KivClientKit.h"

namespace {
// The block: the table from 16 (part A, then part B), the name at 43360, the load arguments
// b, a, c at 43680, 43684, 43688 and the save flag at 43684; SetDefault's name at 43438.
constexpr size_t kTableOffset = 16;
constexpr size_t kNameOffset = 43360;
constexpr size_t kDefaultNameOffset = 43438;
static_assert(kTableOffset + CDefaultValuesKIVObject::kTableBytes == kNameOffset);
}  // namespace

CDefaultValuesKIVObject::CDefaultValuesKIVObject(int enabled) : CGenericKIVObject(enabled) {}

int CDefaultValuesKIVObject::TableOffset(int set, int slot, int process, int control)
{
    if (set < 0 || set >= kSets || slot < 0 || slot >= kSlots || process < 0 || process >= kProcesses || control < 0) return -1;
    if (process < kPartBFirstProcess) {
        if (control >= kPartAControls) return -1;
        return set * 9072 + slot * 648 + process * 18 + control * 2;
    }
    if (control >= kPartBControls) return -1;
    return kPartABytes + set * 5376 + slot * 384 + (process - kPartBFirstProcess) * 8 + control * 2;
}

void CDefaultValuesKIVObject::DVAttach() { SendAttachBlock(KivBlock(AttachToDefaultValues, kKIVBareCommandSize).Take(), /*readNow=*/1); }

void CDefaultValuesKIVObject::Save(const CString& name, int flag)
{
    KivBlock block(SaveDefaultValuesCommand, kBlockSize);
    block.PutBytes(kTableOffset, m_aValues, kTableBytes);
    block.PlainName(kNameOffset, 43684 - kNameOffset, name.c_str());
    block.Put32(43684, flag);
    SendCommandBlock(block.Take());
}

void CDefaultValuesKIVObject::Load(const CString& name, int a, int b, int c)
{
    KivBlock block(LoadDefaultValuesCommand, kBlockSize);
    block.PlainName(kNameOffset, 43680 - kNameOffset, name.c_str());
    block.Put32(43680, b);
    block.Put32(43684, a);
    block.Put32(43688, c);
    SendCommandBlock(block.Take());
}

void CDefaultValuesKIVObject::SetDefault(const CString& name)
{
    SendCommandBlock(KivNameBlock(SetDefaultDefaultValuesCommand, kBlockSize, kDefaultNameOffset, kBlockSize - kDefaultNameOffset,
                                  name.c_str()));
}

short CDefaultValuesKIVObject::GetValue(int set, int slot, int process, int control) const
{
    const int offset = TableOffset(set, slot, process, control);
    return offset < 0 ? 0 : m_aValues[offset / 2];
}

void CDefaultValuesKIVObject::SetValue(int set, int slot, int process, int control, short value)
{
    const int offset = TableOffset(set, slot, process, control);
    if (offset >= 0) m_aValues[offset / 2] = value;
}

CTemplateSnapAutoEvent* CDefaultValuesKIVObject::GetSnapshot(int set, int slot, int process, int control) const
{
    return new CTemplateSnapAutoEvent(static_cast<BYTE>(process), static_cast<BYTE>(control), GetValue(set, slot, process, control));
}

CTemplateSnapAutoEvent CDefaultValuesKIVObject::GetSnapshot(int set, int slot, const CTemplateSnapAutoEvent& event) const
{
    CTemplateSnapAutoEvent copy = event;
    copy.SetValue(GetValue(set, slot, GetEventByte(event.GetProcess()), GetEventByte(event.GetControl())));
    return copy;
}

void CDefaultValuesKIVObject::SetSnapshot(int set, int slot, const CTemplateSnapAutoEvent& event)
{
    SetValue(set, slot, GetEventByte(event.GetProcess()), GetEventByte(event.GetControl()), event.GetValue());
}

void CDefaultValuesKIVObject::Clear() { std::memset(m_aValues, 0, sizeof m_aValues); }
