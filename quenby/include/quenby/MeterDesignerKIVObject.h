// The client object of the server's meter designer: 8 pages of 160 meters, each showing a path,
// a stem or a partition in a layout. The object keeps the design locally, shows a source once
// per page, and sends the whole design with Save.
//
// Sources: 1000 + n is stem n, 2000 + n and 3000 + n partition n (4- and 8-meter layouts),
// other values plain paths; -1 is no source. Indexes: page 0 to 7, meter 0 to 159. A getter
// given an index outside them answers 0 (GetPathNumber and IsMeterAssigned -1, IsPathAssigned
// -1 or nothing found); a setter or clear changes nothing.
#pragma once

#include "quenby/GenericKIVObject.h"
#include "winport/Collections.h"

/// One meter (also its 32-byte layout in the save block).
struct MeterDesignRecord {
    int32_t follow;
    int32_t meterType;
    int32_t wildPartition;
    int32_t stemPartition;
    int32_t pathType;
    int32_t stemNumber;
    int32_t pathNumber;  // the source; -1 none
    int32_t layout;      // 0 none, 2 stem, 3 four-meter partition, 4 eight-meter partition
};
static_assert(sizeof(MeterDesignRecord) == 32);

class CMeterDesignerKIVObject : public CGenericKIVObject {
public:
    static constexpr int kPages = 8, kMeters = 160;
    static constexpr int kBlockSize = 41332;
    static constexpr int kDefaultStemWidth = 8;

    explicit CMeterDesignerKIVObject(int enabled = 1);
    CString GetName() override { return "MeterDesignerKIV"; }

    /// Attaches (command 112, a bare block), read at once.
    void MDAttach();
    void Load(const CString& name, int a, int b, int c);
    void LoadInMemory(const CString& name, int c) { Load(name, 0, 0, c); }
    void Save(const CString& name, int n);
    void SetDefault(const CString& name);
    void SetMeterPartitions(const int partitions[3]);

    int GetLayout(int page, int meter) const { return Field(page, meter, &MeterDesignRecord::layout, 0); }
    int GetFollow(int page, int meter) const { return Field(page, meter, &MeterDesignRecord::follow, 0); }
    int GetMeterType(int page, int meter) const { return Field(page, meter, &MeterDesignRecord::meterType, 0); }
    int GetPathType(int page, int meter) const { return Field(page, meter, &MeterDesignRecord::pathType, 0); }
    int GetWildPartition(int page, int meter) const { return Field(page, meter, &MeterDesignRecord::wildPartition, 0); }
    int GetStemPartition(int page, int meter) const { return Field(page, meter, &MeterDesignRecord::stemPartition, 0); }
    int GetStemNumber(int page, int meter) const { return Field(page, meter, &MeterDesignRecord::stemNumber, 0); }
    int GetPathNumber(int page, int meter) const { return Field(page, meter, &MeterDesignRecord::pathNumber, -1); }
    int GetStemWidth() const { return m_nStemWidth; }

    /// Shows a source on a meter in a layout: the source leaves the meters of the page that
    /// showed it; a stem (2) takes stem-width meters, a partition 4 (3) or 8 (4) meters from
    /// this one on, never past meter 159; only this meter carries the source.
    void SetLayout(int page, int meter, int layout, int source);
    void SetFollow(int page, int meter, int value) { SetField(page, meter, &MeterDesignRecord::follow, value); }
    void SetMeterType(int page, int meter, int value) { SetField(page, meter, &MeterDesignRecord::meterType, value); }
    void SetPathType(int page, int meter, int value) { SetField(page, meter, &MeterDesignRecord::pathType, value); }
    void SetWildPartition(int page, int meter, int value) { SetField(page, meter, &MeterDesignRecord::wildPartition, value); }
    void SetStemPartition(int page, int meter, int value) { SetField(page, meter, &MeterDesignRecord::stemPartition, value); }
    void SetStemNumber(int page, int meter, int value) { SetField(page, meter, &MeterDesignRecord::stemNumber, value); }
    void SetPathNumber(int page, int meter, int value) { SetField(page, meter, &MeterDesignRecord::pathNumber, value); }
    void SetStemWidth(int width) { m_nStemWidth = width; }

    /// The first meter of the page that shows the source, or -1.
    int IsPathAssigned(int page, int source) const;
    /// The pages that show the source (a page once per meter that shows it); TRUE when any.
    BOOL IsPathAssigned(int source, CArray<int>& pages) const;
    /// The meters of the page that show the source; TRUE when any.
    BOOL IsPathAssigned(int page, int source, CArray<int>& meters) const;
    /// The meter's source.
    int IsMeterAssigned(int page, int meter) const { return GetPathNumber(page, meter); }
    /// Clears every meter of the page that shows the source.
    void Clear(int page, int source);
    void Clear();
    void ClearMeter(int page, int meter);
    void Copy(int fromPage, int toPage);

private:
    static bool Valid(int page, int meter) { return page >= 0 && page < kPages && meter >= 0 && meter < kMeters; }
    int Field(int page, int meter, int32_t MeterDesignRecord::*field, int fallback) const
    {
        return Valid(page, meter) ? m_Meters[page][meter].*field : fallback;
    }
    void SetField(int page, int meter, int32_t MeterDesignRecord::*field, int value)
    {
        if (Valid(page, meter)) m_Meters[page][meter].*field = value;
    }
    /// Lays a multi-meter source over `count` meters from `meter` on.
    void LayRun(int page, int meter, int count, int layout, int32_t MeterDesignRecord::*numberField, int number);

    MeterDesignRecord m_Meters[kPages][kMeters];
    int m_nStemWidth = kDefaultStemWidth;
};
