// Typed entry in a gain box. The box's fifteen items read "00", "05", "10" ... "70" (item i
// reads i x 5). A typed number selects the item that reads it: "3" then "5" gives item 7 ("35");
// a number between two items is taken down to the item below, or to the next item up when the
// second digit is above 5 ("33" gives "30", "37" gives "35"). A single digit d that is left
// alone (the box loses the focus) selects the item that reads d0 (item 2d). The main dialog and
// the mini view both use it; the item then goes through the same checks as a choice from the
// list.
#pragma once

class TypedGainEntry {
public:
    enum Result {
        kHeld,     // a first digit is held; a second may follow
        kItem,     // a number is complete: the item to select
        kInvalid,  // not a gain: the box goes back to the current gain
    };

    /// Number of items in a gain box, and the highest first digit ("7" for "70").
    static constexpr int kItems = 15;
    static constexpr int kHighestDigit = 7;

    /// The last character typed into the box.
    Result Typed(char c, int& item);
    /// The box lost the focus: TRUE with the item of a held digit. The entry is empty after.
    bool Leave(int& item);
    void Clear() { m_held = -1; }
    bool IsHolding() const { return m_held >= 0; }

private:
    int m_held = -1;  // the first digit, -1 when none
};
