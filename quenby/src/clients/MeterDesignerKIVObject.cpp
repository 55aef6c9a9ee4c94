#include "quenby/MeterDesignerKIVObject.h"

#include <algorithm>

#include "quenby/KIVCommands.h"
#include "quenby/KivClientKit.h"

namespace {
constexpr MeterDesignRecord kClearMeter = {0, 0, 0, 0, 0, 0, -1, 0};
// Fields of the design blocks.
constexpr size_t kRecordsOffset = 224;
constexpr size_t kNameOffset = 41184;
constexpr size_t kDefaultNameOffset = 41262;
constexpr size_t kStemWidthOffset = 41304;
constexpr size_t kPartitionsOffset = 41308;
}  // namespace

CMeterDesignerKIVObject::CMeterDesignerKIVObject(int enabled) : CGenericKIVObject(enabled) { Clear(); }

void CMeterDesignerKIVObject::MDAttach() { SendAttachBlock(KivBlock(AttachToMeterDesigner, 16).Take(), /*readNow=*/1); }

void CMeterDesignerKIVObject::Load(const CString& name, int a, int b, int c)
{
    KivBlock block(LoadMeterDesignCommand, kBlockSize);
    block.PlainName(kNameOffset, 41320 - kNameOffset, name.c_str());
    block.Put32(41320, b);
    block.Put32(41324, a);
    block.Put32(41328, c);
    SendCommandBlock(block.Take());
}

void CMeterDesignerKIVObject::Save(const CString& name, int n)
{
    KivBlock block(SaveMeterDesignCommand, kBlockSize);
    block.PutBytes(kRecordsOffset, m_Meters, sizeof(m_Meters));
    block.PlainName(kNameOffset, kStemWidthOffset - kNameOffset, name.c_str());
    block.Put32(kStemWidthOffset, m_nStemWidth);
    block.Put32(41324, n);
    SendCommandBlock(block.Take());
}

void CMeterDesignerKIVObject::SetDefault(const CString& name)
{
    KivBlock block(SetDefaultMeterDesignCommand, kBlockSize);
    block.PlainName(kDefaultNameOffset, kBlockSize - kDefaultNameOffset, name.c_str());
    SendCommandBlock(block.Take());
}

void CMeterDesignerKIVObject::SetMeterPartitions(const int partitions[3])
{
    KivBlock block(SetMeterPartitionsCommand, kBlockSize);
    for (size_t i = 0; i < 3; ++i) block.Put32(kPartitionsOffset + 4 * i, partitions[i]);
    SendCommandBlock(block.Take());
}

void CMeterDesignerKIVObject::SetLayout(int page, int meter, int layout, int source)
{
    if (!Valid(page, meter)) return;
    if (source >= 1000 && source <= 5999 && IsPathAssigned(page, source) != -1) Clear(page, source);
    const int shown = m_Meters[page][meter].pathNumber;
    if (shown >= 1000 && shown <= 4999) Clear(page, shown);
    switch (layout) {
    case 2:
        LayRun(page, meter, m_nStemWidth, 2, &MeterDesignRecord::stemNumber, source - 1000);
        break;
    case 3:
        LayRun(page, meter, 4, 3, &MeterDesignRecord::wildPartition, source - 2000);
        break;
    case 4:
        LayRun(page, meter, 8, 4, &MeterDesignRecord::wildPartition, source - 3000);
        break;
    case 6:
        m_Meters[page][meter].layout = 6;
        break;
    default:
        m_Meters[page][meter] = kClearMeter;
        m_Meters[page][meter].layout = layout;
        break;
    }
    m_Meters[page][meter].pathNumber = source;
}

void CMeterDesignerKIVObject::LayRun(int page, int meter, int count, int layout, int32_t MeterDesignRecord::*numberField, int number)
{
    // A run that would pass the page's last meter stops there.
    const int end = std::min(kMeters, meter + std::max(count, 0));
    for (int m = meter; m < end; ++m) {
        const int shown = m_Meters[page][m].pathNumber;
        if (shown >= 1000) {
            Clear(page, shown);
        } else {
            m_Meters[page][m] = kClearMeter;
        }
        m_Meters[page][m].layout = layout;
        m_Meters[page][m].*numberField = number;
    }
}

int CMeterDesignerKIVObject::IsPathAssigned(int page, int source) const
{
    if (page < 0 || page >= kPages) return -1;
    for (int m = 0; m < kMeters; ++m)
        if (m_Meters[page][m].pathNumber == source) return m;
    return -1;
}

BOOL CMeterDesignerKIVObject::IsPathAssigned(int source, CArray<int>& pages) const
{
    pages.RemoveAll();
    for (int p = 0; p < kPages; ++p)
        for (int m = 0; m < kMeters; ++m)
            if (m_Meters[p][m].pathNumber == source) pages.Add(p);
    return pages.GetSize() > 0;
}

BOOL CMeterDesignerKIVObject::IsPathAssigned(int page, int source, CArray<int>& meters) const
{
    meters.RemoveAll();
    if (page < 0 || page >= kPages) return FALSE;
    for (int m = 0; m < kMeters; ++m)
        if (m_Meters[page][m].pathNumber == source) meters.Add(m);
    return meters.GetSize() > 0;
}

void CMeterDesignerKIVObject::Clear(int page, int source)
{
    if (page < 0 || page >= kPages) return;
    for (MeterDesignRecord& record : m_Meters[page])
        if (record.pathNumber == source) record = kClearMeter;
}

void CMeterDesignerKIVObject::Clear()
{
    for (auto& page : m_Meters)
        for (MeterDesignRecord& record : page) record = kClearMeter;
}

void CMeterDesignerKIVObject::ClearMeter(int page, int meter)
{
    if (Valid(page, meter)) m_Meters[page][meter] = kClearMeter;
}

void CMeterDesignerKIVObject::Copy(int fromPage, int toPage)
{
    if (fromPage < 0 || fromPage >= kPages || toPage < 0 || toPage >= kPages) return;
    std::copy(std::begin(m_Meters[fromPage]), std::end(m_Meters[fromPage]), std::begin(m_Meters[toPage]));
}
