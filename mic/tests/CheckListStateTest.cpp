// The check list box's rules without a window: what a click, a drag tick and a
// release report to the parent, the colour kept per item, and how each line is
// drawn.
#include <gtest/gtest.h>

#include "ui/CheckListState.h"

namespace {

constexpr int kHeight = 15;

void Fill(CheckListState& list, int count)
{
    list.SetItemHeight(kHeight);
    for (int i = 0; i < count; ++i) list.AddString(CString("line"));
}

using Changes = std::vector<CheckListChange>;

// One step of the operator: press on a row (on the check box or not), drag to a
// row, a tick of the drag timer, or release. Each step lists what the parent is
// told.
struct Step {
    enum Kind { Press, PressBox, Drag, Tick, Release } kind;
    int row = 0;
    Changes posted;
};

struct DragCase {
    const char* name;
    int count;
    int topIndex;
    std::vector<int> checked;
    std::vector<Step> steps;
    std::vector<int> checkedAfter;
};

const DragCase kDragCases[] = {
    {"a click toggles and reports once; a tick before release reports the "
     "anchor again",
     4,
     0,
     {},
     {{Step::PressBox, 1, {{1, 1}}}, {Step::Tick, 0, {{1, 1}}}, {Step::Release, 0, {}}, {Step::Tick, 0, {}}},
     {1}},
    {"a click beside the box reports the check unchanged",
     4,
     0,
     {2},
     {{Step::Press, 2, {{2, 1}}}, {Step::Release, 0, {}}},
     {2}},
    {"a drag from 2 to 5 copies item 2's state over 2-5, back to 3 reports 3-5",
     8,
     0,
     {3, 4, 5},
     {{Step::PressBox, 2, {{2, 1}}},
      {Step::Drag, 5, {}},
      {Step::Tick, 0, {{2, 1}, {3, 1}, {4, 1}, {5, 1}}},
      {Step::Drag, 3, {}},
      {Step::Tick, 0, {{3, 1}, {4, 1}, {5, 1}}},
      {Step::Release, 0, {}}},
     {2, 3, 4, 5}},
    {"an unchecking drag upward",
     6,
     0,
     {1, 2, 3, 4},
     {{Step::PressBox, 4, {{4, 0}}}, {Step::Drag, 1, {}}, {Step::Tick, 0, {{1, 0}, {2, 0}, {3, 0}, {4, 0}}}},
     {}},
    {"rows count from the top index", 8, 3, {}, {{Step::PressBox, 1, {{4, 1}}}}, {4}},
    {"a click below the last item reports nothing, nor do ticks",
     3,
     0,
     {1},
     {{Step::PressBox, 5, {}}, {Step::Tick, 0, {}}, {Step::Release, 0, {}}},
     {1}},
    {"a drag past the end stops at the last item",
     4,
     0,
     {},
     {{Step::PressBox, 2, {{2, 1}}}, {Step::Drag, 9, {}}, {Step::Tick, 0, {{2, 1}, {3, 1}}}},
     {2, 3}},
};

TEST(CheckListState, ClickAndDragReportsWhatTheRuleSays)
{
    for (const DragCase& c : kDragCases) {
        SCOPED_TRACE(c.name);
        CheckListState list;
        Fill(list, c.count);
        list.SetTopIndex(c.topIndex);
        for (int i : c.checked) list.SetCheck(i, 1);
        for (const Step& step : c.steps) {
            const int y = step.row * kHeight + kHeight / 2;
            Changes posted;
            switch (step.kind) {
            case Step::Press: posted = list.ButtonDown(y, false); break;
            case Step::PressBox: posted = list.ButtonDown(y, true); break;
            case Step::Drag: list.DragTo(y); break;
            case Step::Tick: posted = list.Tick(); break;
            case Step::Release: list.ButtonUp(); break;
            }
            EXPECT_EQ(posted, step.posted) << "step " << (&step - c.steps.data());
        }
        std::vector<int> checkedAfter;
        for (int i = 0; i < list.GetCount(); ++i)
            if (list.GetCheck(i)) checkedAfter.push_back(i);
        EXPECT_EQ(checkedAfter, c.checkedAfter);
    }
}

TEST(CheckListState, NoItemHeightMeansNoItemUnderThePoint)
{
    CheckListState list;
    list.AddString(CString("a"));
    EXPECT_EQ(list.ItemFromY(0), -1);
    EXPECT_TRUE(list.ButtonDown(0, true).empty());
    EXPECT_FALSE(list.IsDragging());
    list.DragTo(40);
    EXPECT_TRUE(list.Tick().empty());
}

TEST(CheckListState, EveryItemKeepsOneColourAndOutsideIndicesChangeNothing)
{
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF red = RGB(255, 0, 0);
    CheckListState list;
    Fill(list, 3);
    EXPECT_EQ(list.GetColourCount(), 3);
    list.SetItemColour(1, red);
    EXPECT_EQ(list.InsertString(1, CString("new")), 1);
    EXPECT_EQ(list.GetItemColour(1), highlight);
    EXPECT_EQ(list.GetItemColour(2), red);

    list.SetItemColour(4, red); // outside: ignored
    list.SetItemColour(-1, red);
    EXPECT_EQ(list.DeleteString(4), -1);
    EXPECT_EQ(list.DeleteString(-1), -1);
    EXPECT_EQ(list.InsertString(6, CString("x")), -1);
    EXPECT_EQ(list.GetCount(), 4);
    EXPECT_EQ(list.GetColourCount(), 4);
    EXPECT_EQ(list.GetItemColour(3), highlight);

    EXPECT_EQ(list.DeleteString(0), 3);
    EXPECT_EQ(list.GetColourCount(), 3);
    EXPECT_EQ(list.GetItemColour(1), red); // the colour went with its item
    list.ResetContent();
    EXPECT_EQ(list.GetColourCount(), 0);
}

TEST(CheckListState, SetCheckAllPassesOverDisabledItems)
{
    CheckListState list;
    Fill(list, 3);
    list.Enable(1, FALSE);
    list.SetCheckAll(1);
    EXPECT_EQ(list.GetCheck(0), 1);
    EXPECT_EQ(list.GetCheck(1), 0);
    EXPECT_EQ(list.GetCheck(2), 1);
}

TEST(CheckListState, EachLineIsDrawnInTheColoursOfItsState)
{
    const COLORREF window = GetSysColor(COLOR_WINDOW), text = GetSysColor(COLOR_WINDOWTEXT);
    const COLORREF hi = GetSysColor(COLOR_HIGHLIGHT), hiText = GetSysColor(COLOR_HIGHLIGHTTEXT);
    const COLORREF green = RGB(0, 160, 0);
    struct Case {
        const char* name;
        bool colourByCheck, checked, selected, itemEnabled, windowEnabled;
        bool fill;
        COLORREF fillColour, textColour, backColour;
    } cases[] = {
        {"plain", false, false, false, true, true, true, window, text, window},
        {"selected", false, true, true, true, true, true, hi, hiText, hi},
        {"disabled item", false, false, true, false, true, true, window, RGB(128, 128, 128), window},
        {"disabled window", true, true, false, true, false, true, window, RGB(128, 128, 128), window},
        {"by check, checked", true, true, true, true, true, false, 0, hiText, green},
        {"by check, unchecked", true, false, true, true, true, false, 0, text, window},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CheckListState list;
        Fill(list, 1);
        list.SetColourByCheck(c.colourByCheck);
        list.SetItemColour(0, green);
        list.SetCheck(0, c.checked);
        list.Enable(0, c.itemEnabled);
        const CheckListItemLook look = list.Look(0, 200, c.selected, c.windowEnabled);
        EXPECT_EQ(look.fill, c.fill);
        if (c.fill) {
            EXPECT_EQ(look.fillColour, c.fillColour);
        }
        EXPECT_EQ(look.textColour, c.textColour);
        EXPECT_EQ(look.backColour, c.backColour);
    }
}

TEST(CheckListState, TabColumnsFallAtEqualSharesUnlessStopsAreGiven)
{
    EXPECT_EQ(EqualTabStops(0, 300), std::vector<int>{});
    EXPECT_EQ(EqualTabStops(1, 300), std::vector<int>{150});
    EXPECT_EQ(EqualTabStops(2, 300), (std::vector<int>{100, 200}));
    EXPECT_EQ(EqualTabStops(3, 301), (std::vector<int>{75, 150, 225}));

    CheckListState list;
    list.AddString(CString("1\tIn\tOut"));
    EXPECT_EQ(list.Look(0, 240, false, true).tabStops, (std::vector<int>{80, 160}));
    const int stops[] = {20, 90};
    list.SetTabStops(2, stops);
    CheckListItemLook look = list.Look(0, 240, false, true);
    EXPECT_TRUE(look.explicitStops);
    EXPECT_EQ(look.tabStops, (std::vector<int>{20, 90}));
    list.SetTabStops(0, nullptr);
    EXPECT_FALSE(list.Look(0, 240, false, true).explicitStops);
}

} // namespace
