// Typed automation arrays: per-channel data that a mix pass keeps beside its events. Each is a
// growable array of one element type with a name (stream names are formed from it) and the
// record face through which a program copies elements, as fixed-size records, into transfer
// blocks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "trevanny/AutomationRecordSource.h"
#include "winport/CString.h"
#include "winport/Collections.h"

/// The shape shared by the typed arrays: the elements, the record size (the leading bytes of an
/// element's little-endian form that travel in a block) and the name.
template <class TYPE>
class CTypedAutomationArray : public CArray<TYPE, TYPE>, public CAutomationRecordSource {
    static_assert(std::is_trivially_copyable_v<TYPE>);

public:
    CTypedAutomationArray(const CString& name, int recordSize)
        : CAutomationRecordSource(std::clamp(recordSize, 0, static_cast<int>(sizeof(TYPE)))), m_strName(name)
    {
    }

    /// Copies the records of elements first to first + count - 1 back to back into out and
    /// returns count; 0 without copying when count is below 1. Only elements that exist are
    /// copied (the return value then says how many).
    int FetchRecords(int count, int first, void* out) const override
    {
        if (count < 1 || !out || first < 0 || first >= this->GetSize()) return 0;
        const int n = static_cast<int>(std::min<int64_t>(count, this->GetSize() - first));
        BYTE* r = static_cast<BYTE*>(out);
        const size_t rs = static_cast<size_t>(m_nRecordSize);
        for (int i = 0; i < n; ++i) std::memcpy(r + i * rs, this->GetData() + first + i, rs);
        return n;
    }
    /// The number of blocks of blockBytes / record size elements that hold the whole array; 0
    /// for a block smaller than a record.
    int GetBlockCount(int blockBytes) const override
    {
        if (m_nRecordSize < 1) return 0;
        const int64_t per = blockBytes / m_nRecordSize;
        if (per < 1) return 0;
        return static_cast<int>((static_cast<int64_t>(this->GetSize()) + per - 1) / per);
    }

    CString m_strName;
};

/// The path map of a mix pass ("PathMap"): signed 32-bit numbers, 4-byte records. The channel
/// operations read its elements as (first channel, channel count) pairs, one per channel
/// section; pair k is section k.
class CPathMap : public CTypedAutomationArray<int> {
public:
    explicit CPathMap(const CString& name) : CTypedAutomationArray<int>(name, 4) {}
    /// The number of the first pair that holds the channel, else 0.
    int GetSection(int channel) const;
};
