#include "trevanny/FaderLayout.h"

#include "trevanny/ConsoleRegistryNames.h"

CFaderLayout::CFaderLayout() : m_pSlots(new int[kSlotCount]())
{
    using Names = CConsoleRegistryNames;
    const int sideCar = Names::GetSetting(enSideCarSize);
    const int faders = Names::GetSetting(enNumberOfFaders);
    // Counts come from the registry: a sum that does not fit saturates instead of overflowing.
    const long long withSideCar = static_cast<long long>(faders) + (sideCar >= 1 ? sideCar : 0);
    m_pSlots[0] = withSideCar > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(withSideCar);
    m_pSlots[1] = Names::GetSetting(enNumberOfChannelStrips);
    m_pSlots[2] = Names::GetSetting(enGroupFadersStartAt);
    m_pSlots[3] = Names::GetSetting(enNumGroupFaders);
    m_pSlots[4] = Names::GetSetting(enOutputFadersStartAt);
    m_pSlots[5] = Names::GetSetting(enNumOutputFaders);
}

CFaderLayout::~CFaderLayout() { delete[] m_pSlots; }
