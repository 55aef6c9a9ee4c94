// The fader layout of the console, from the console settings.
#pragma once

/// 25 slots: 0 the fader count (plus the side-car size when that is 1 or more), 1 the channel
/// strips, 2 the first group fader, 3 the group faders, 4 the first output fader, 5 the output
/// faders; 6 to 24 are 0.
class CFaderLayout {
public:
    static constexpr int kSlotCount = 25;

    CFaderLayout();
    virtual ~CFaderLayout();
    CFaderLayout(const CFaderLayout&) = delete;
    CFaderLayout& operator=(const CFaderLayout&) = delete;

    /// Slot i; 0 for a slot outside 0 to m_nCount - 1.
    int GetAt(int i) const { return (i >= 0 && i < m_nCount) ? m_pSlots[i] : 0; }

    int m_nCount = kSlotCount;  // the number of slots

private:
    int* m_pSlots;  // owned, kSlotCount entries
};
