// Which automation events an operation works on: a time window, a list of paths (channels) and
// a list of (process, control) pairs. Programs pass a one-DWORD set of event categories
// (AutomationEventFilterStructure); TranslateFilter turns it into pairs for the loaded console
// type. An empty list passes everything.
#pragma once

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <vector>

#include "trevanny/AutomationEvent.h"
#include "winport/Collections.h"
#include "winport/WinTypes.h"

/// The category bits of AutomationEventFilterStructure. The bit numbers are the interface
/// (programs and the server exchange them); bits 4, 18, 19 and 24 to 31 select nothing. The
/// comments give the pairs on the large consoles (types 2, 3, 4, 5, 7) and on the small ones
/// (types 1 and 6).
enum enAutomationFilterCategory : DWORD {
    enFilterInputsOutputs = 0x1,        ///< large: input, inserts, outputs, pan (0, 15-18, 21)
    enFilterFaders = 0x2,               ///< large: fader level, trim, gang; small: faders and mutes
    enFilterMutes = 0x4,                ///< fader mutes (small: taken only without bit 1)
    enFilterEQ = 0x8,                   ///< large: EQ bands and filters; small: EQ on/off
    enFilterDynamics = 0x20,            ///< large: compressor, limiter, expander, gate, DRC, key
    enFilterEQSwitches = 0x40,          ///< large: EQ band and filter switches
    enFilterDynamicsSwitches = 0x80,    ///< large: dynamics switches
    enFilterRangeControl0 = 0x100,      ///< large: control 0 of each process of the filter's range
    enFilterRangeControl3 = 0x200,      ///< large: control 3 of each process of the range
    enFilterPan = 0x400,                ///< large: pan without the input delay
    enFilterInputPhase = 0x800,         ///< large: input phase
    enFilterInputSwitch = 0x1000,       ///< large: input switch (process 0, control 6)
    enFilterRangeControls0To3 = 0x2000, ///< large: controls 0 to 3 of the range (bits 8, 9 then add nothing)
    enFilterStemRouting = 0x4000,       ///< large: stem routing (24-35)
    enFilterFaderLevels = 0x8000,       ///< small: fader level and trim (without bit 1)
    enFilterSmallFaders = 0x10000,      ///< small: small fader level, trim and mute
    enFilterCuts = 0x20000,             ///< small: cut A and B
    enFilterInserts = 0x100000,         ///< small: insert on/off
    enFilterInputSelect = 0x200000,     ///< console type 6: input select
    enFilterAuxes = 0x400000,           ///< console type 6: auxes 1 to 7
    enFilterSmallPan = 0x800000,        ///< console type 6: pan
};

/// A set of event categories, passed by value (4 bytes).
struct AutomationEventFilterStructure {
    DWORD m_dwCategories;
};
static_assert(sizeof(AutomationEventFilterStructure) == 4);

class CEventFilter {
public:
    /// Empty lists (everything passes), the three times -1, the process range 0 to 0.
    CEventFilter();
    /// A copy of the times, both path lists, the pair list (same order) and the process range.
    CEventFilter(const CEventFilter& other);
    CEventFilter& operator=(const CEventFilter&) = delete;
    ~CEventFilter();

    /// Prepares the category tables. They are constant data shared by every filter, so there
    /// is nothing to fill; kept because the constructors call it.
    void Setup();
    /// Empties the pair list and refills it from the categories for the loaded console type
    /// (a type outside 1 to 7 adds nothing). A pair may be appended twice.
    void TranslateFilter(AutomationEventFilterStructure bits);
    /// The three times to -1, both path lists and the pair list emptied. The process range stays.
    void Clear();

    /// TRUE when the pair list is empty or holds (process, control); a number outside 0 to
    /// 255 never matches. Answers from a membership map kept with the list, in constant time.
    BOOL IsProcControlInFilter(int process, int control) const
    {
        if (m_PairList.IsEmpty()) return TRUE;
        if (process < 0 || process > 255 || control < 0 || control > 255) return FALSE;
        return m_PairMap.test(static_cast<size_t>(process | control << 8)) ? TRUE : FALSE;
    }

    /// The pair list: low byte process, high byte control, in the order added.
    const CArray<WORD, WORD>& GetPairList() const { return m_PairList; }
    /// Appends one pair (the numbers are kept as bytes).
    void AddPair(BYTE process, BYTE control);
    /// Appends (process, c) for each set bit c of the mask, from bit 0 up.
    void AddPairs(BYTE process, DWORD controlMask);
    void RemoveAllPairs();

    // The time window: -1 for the start means from the first event, -1 for the end to the last
    // event (the queries replace it by the last event's time).
    long m_nStartTime = -1;
    long m_nEndTime = -1;
    /// A third time, kept and copied: the new start time of the channel isolate, copy and merge.
    long m_nNewStartTime = -1;
    /// The paths to work on; empty means every path.
    CArray<int, int> m_ChannelList;
    /// The destination paths of the channel copy and merge.
    CArray<int, int> m_DestChannelList;
    /// The process range of the range categories: processes m_nFirstProcess up to
    /// m_nEndProcess - 1, each taken as a byte (at most 256 of them).
    int m_nFirstProcess = 0;
    int m_nEndProcess = 0;

private:
    CArray<WORD, WORD> m_PairList;
    /// Bit (process | control << 8) is set for each pair of the list.
    std::bitset<65536> m_PairMap;
};

/// The filter test of the queries, set up once per query: an event passes when its path is in
/// the channel list (or the list is empty) and its (process, control) pair passes
/// IsProcControlInFilter. Both tests take constant time whatever the lists' lengths (channel
/// numbers spread over more than a million fall back to a binary search). The filter must not
/// change while the object is used.
class EventFilterMatch {
public:
    explicit EventFilterMatch(const CEventFilter& filter);

    bool PathPasses(DWORD path) const
    {
        if (m_allPaths) return true;
        // The list holds ints; a path is compared as the int it reads as.
        const int64_t p = static_cast<int32_t>(path);
        if (!m_pathTable.empty()) {
            const int64_t slot = p - m_firstPath;
            return slot >= 0 && slot < static_cast<int64_t>(m_pathTable.size()) && m_pathTable[static_cast<size_t>(slot)];
        }
        return std::binary_search(m_sortedPaths.begin(), m_sortedPaths.end(), static_cast<int>(p));
    }
    bool Passes(const CAutomationEvent& e) const
    {
        return PathPasses(e.GetPath()) && m_filter.IsProcControlInFilter(e.GetProcessNumber(), e.GetControlNumber());
    }

private:
    const CEventFilter& m_filter;
    bool m_allPaths;
    int64_t m_firstPath = 0;
    std::vector<uint8_t> m_pathTable;
    std::vector<int> m_sortedPaths;
};
