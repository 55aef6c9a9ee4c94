#include "trevanny/EventFilter.h"

#include <algorithm>
#include <iterator>

#include "trevanny/ConsoleRegistryNames.h"

namespace {

// A process number that stands for "each process of the filter's range".
constexpr int kRange = -1;

// One group of pairs: when the category bit is set (and none of the bits of `unless`), the
// pairs (p, c) for each process p from first to last and each set bit c of the mask.
struct CategoryGroup {
    DWORD bit;
    DWORD unless;
    int firstProcess;
    int lastProcess;
    DWORD controlMask;
};

// The large consoles (36 control processes), in the order the pairs are appended.
constexpr CategoryGroup kLargeConsoleGroups[] = {
    {enFilterInputsOutputs, 0, 0, 0, 511},
    {enFilterInputsOutputs, 0, 15, 15, 127},
    {enFilterInputsOutputs, 0, 16, 16, 127},
    {enFilterInputsOutputs, 0, 17, 17, 127},
    {enFilterInputsOutputs, 0, 18, 18, 127},
    {enFilterInputsOutputs, 0, 21, 21, 511},
    {enFilterFaders, 0, 14, 14, 75},
    {enFilterMutes, 0, 14, 14, 4},
    {enFilterEQ, 0, 1, 8, 431},
    {enFilterEQ, 0, 9, 9, 43},
    {enFilterEQ, 0, 10, 10, 43},
    {enFilterRangeControls0To3, 0, kRange, kRange, 15},
    {enFilterRangeControl0, enFilterRangeControls0To3, kRange, kRange, 1},
    {enFilterRangeControl3, enFilterRangeControls0To3, kRange, kRange, 8},
    {enFilterDynamics, 0, 11, 11, 255},
    {enFilterDynamics, 0, 12, 12, 255},
    {enFilterDynamics, 0, 13, 13, 255},
    {enFilterDynamics, 0, 19, 19, 255},
    {enFilterDynamics, 0, 20, 20, 431},
    {enFilterDynamics, 0, 22, 22, 63},
    {enFilterDynamics, 0, 23, 23, 7},
    {enFilterEQSwitches, 0, 1, 8, 128},
    {enFilterEQSwitches, 0, 9, 9, 32},
    {enFilterEQSwitches, 0, 10, 10, 32},
    {enFilterDynamicsSwitches, 0, 11, 11, 1},
    {enFilterDynamicsSwitches, 0, 12, 12, 1},
    {enFilterDynamicsSwitches, 0, 13, 13, 1},
    {enFilterDynamicsSwitches, 0, 19, 19, 1},
    {enFilterDynamicsSwitches, 0, 20, 20, 128},
    {enFilterDynamicsSwitches, 0, 22, 22, 1},
    {enFilterPan, 0, 21, 21, 495},
    {enFilterInputPhase, 0, 0, 0, 6},
    {enFilterInputSwitch, 0, 0, 0, 64},
    {enFilterStemRouting, 0, 24, 35, 511},
};

// The small consoles (5 processes); console type 6 also has the groups of kType6Groups.
constexpr CategoryGroup kSmallConsoleGroups[] = {
    {enFilterFaders, 0, 0, 0, 7},
    {enFilterFaders, 0, 0, 0, 4},
    {enFilterFaders, 0, 2, 2, 16},
    {enFilterFaders, 0, 1, 1, 4},
    {enFilterFaderLevels, enFilterFaders, 0, 0, 3},
    {enFilterMutes, enFilterFaders, 0, 0, 4},
    {enFilterMutes, enFilterFaders, 2, 2, 16},
    {enFilterMutes, enFilterFaders, 1, 1, 4},
    {enFilterEQ, 0, 2, 2, 1},
    {enFilterInserts, 0, 2, 2, 2},
    {enFilterSmallFaders, 0, 1, 1, 7},
    {enFilterCuts, 0, 2, 2, 12},
};
constexpr CategoryGroup kType6Groups[] = {
    {enFilterInputSelect, 0, 3, 3, 1},
    {enFilterAuxes, 0, 3, 3, 254},
    {enFilterSmallPan, 0, 4, 4, 15},
};

// A range wider than a byte repeats processes already taken: the count is capped there.
constexpr int64_t kMaxRangeProcesses = 256;

}  // namespace

CEventFilter::CEventFilter()
{
    Setup();
}

CEventFilter::CEventFilter(const CEventFilter& other)
    : m_nStartTime(other.m_nStartTime),
      m_nEndTime(other.m_nEndTime),
      m_nNewStartTime(other.m_nNewStartTime),
      m_nFirstProcess(other.m_nFirstProcess),
      m_nEndProcess(other.m_nEndProcess),
      m_PairMap(other.m_PairMap)
{
    m_ChannelList.Copy(other.m_ChannelList);
    m_DestChannelList.Copy(other.m_DestChannelList);
    m_PairList.Copy(other.m_PairList);
    Setup();
}

CEventFilter::~CEventFilter() = default;

void CEventFilter::Setup() {}

void CEventFilter::Clear()
{
    m_nStartTime = -1;
    m_nEndTime = -1;
    m_nNewStartTime = -1;
    m_ChannelList.RemoveAll();
    m_DestChannelList.RemoveAll();
    RemoveAllPairs();
}

void CEventFilter::AddPair(BYTE process, BYTE control)
{
    const WORD entry = static_cast<WORD>(process | control << 8);
    m_PairList.Add(entry);
    m_PairMap.set(entry);
}

void CEventFilter::AddPairs(BYTE process, DWORD controlMask)
{
    for (int c = 0; c < 32; ++c) {
        if (controlMask & (1u << c)) AddPair(process, static_cast<BYTE>(c));
    }
}

void CEventFilter::RemoveAllPairs()
{
    m_PairList.RemoveAll();
    m_PairMap.reset();
}

void CEventFilter::TranslateFilter(AutomationEventFilterStructure bits)
{
    RemoveAllPairs();
    const int type = CConsoleRegistryNames::GetConsoleType();
    if (type < 1 || type > 7) return;
    const DWORD set = bits.m_dwCategories;
    auto append = [&](const CategoryGroup& g) {
        if (!(set & g.bit) || (set & g.unless)) return;
        if (g.firstProcess == kRange) {
            const int64_t count = std::min<int64_t>(int64_t{m_nEndProcess} - m_nFirstProcess, kMaxRangeProcesses);
            for (int64_t i = 0; i < count; ++i) AddPairs(static_cast<BYTE>(m_nFirstProcess + i), g.controlMask);
            return;
        }
        for (int p = g.firstProcess; p <= g.lastProcess; ++p) AddPairs(static_cast<BYTE>(p), g.controlMask);
    };
    if (type == 1 || type == 6) {
        for (const auto& g : kSmallConsoleGroups) append(g);
        if (type == 6) {
            for (const auto& g : kType6Groups) append(g);
        }
    } else {
        for (const auto& g : kLargeConsoleGroups) append(g);
    }
}

EventFilterMatch::EventFilterMatch(const CEventFilter& filter)
    : m_filter(filter), m_allPaths(filter.m_ChannelList.IsEmpty())
{
    if (m_allPaths) return;
    const CArray<int, int>& list = filter.m_ChannelList;
    const int* first = list.GetData();
    const int* last = first + list.GetSize();
    const auto [low, high] = std::minmax_element(first, last);
    const int64_t span = int64_t{*high} - *low + 1;
    // Paths are below a few thousand; a list spread wider than this is searched instead.
    constexpr int64_t kMaxTable = int64_t{1} << 20;
    if (span <= kMaxTable) {
        m_firstPath = *low;
        m_pathTable.assign(static_cast<size_t>(span), 0);
        for (const int* p = first; p != last; ++p) m_pathTable[static_cast<size_t>(*p - m_firstPath)] = 1;
    } else {
        m_sortedPaths.assign(first, last);
        std::sort(m_sortedPaths.begin(), m_sortedPaths.end());
    }
}
