// The "MIDI controls" dialog's core: the hit test of the rack rows, dragging slots, the slot
// menu, "&Default" and what a slot shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScriptedShell.h"
#include "app/MidiSetup.h"

namespace {

// Rack r's row: 70 pixels wide from x = 10, 20 pixels high from y = 20 r.
CRect Row(int rack) { return CRect(10, 20 * rack, 80, 20 * rack + 20); }
CPoint At(int rack, int slot) { return CPoint(10 + 23 * slot + 5, 20 * rack + 10); }

class MidiSetupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int rack = 0; rack < CRackSetup::kRacks; ++rack) dlg.SetRowFrame(rack, Row(rack));
        // Units 1 and 2 linked both ways; racks 0, 1 and 3 respond.
        setup.SetPreMapping(0, 0, 3);
        setup.SetChannelMapping(0, 0, 3);
        setup.SetPreMapping(1, 2, 0);
        setup.SetChannelMapping(1, 2, 0);
        for (int rack : {0, 1, 3}) setup.SetRackFlag(rack, TRUE);
    }
    std::vector<int> Slots(int rack) const
    {
        return {setup.GetMidiSlot(rack, 0), setup.GetMidiSlot(rack, 1), setup.GetMidiSlot(rack, 2)};
    }

    CRackSetup setup;
    ScriptedShell shell;
    CMidiSetup dlg{&setup, nullptr, &shell};
};

TEST_F(MidiSetupTest, HitTestFindsTheRowAndItsThreeColumns)
{
    struct Case {
        CPoint point;
        CMidiSetup::Hit hit;
    };
    const Case cases[] = {
        {{10, 0}, {0, 0}},
        {{28, 5}, {0, 0}},    // one pixel short of 19/70
        {{29, 5}, {0, 1}},    // exactly 19/70
        {{47, 5}, {0, 1}},
        {{48, 5}, {0, 2}},    // 38/70
        {{66, 5}, {0, 2}},
        {{67, 5}, {0, -1}},   // 57/70 and beyond: no slot
        {{79, 319}, {15, -1}},
        {{9, 30}, {-1, -1}},  // left of the rows
        {{80, 30}, {-1, -1}},
        {{40, 320}, {-1, -1}},  // below the last row
        {{29, 20}, {1, 1}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.hit, dlg.HitTest(c.point)) << c.point.x << "," << c.point.y;
    }
    // A row whose width is not a multiple of 70: 19/70 of 140 is 38.
    dlg.SetRowFrame(2, CRect(100, 40, 240, 60));
    EXPECT_EQ((CMidiSetup::Hit{2, 0}), dlg.HitTest(CPoint(137, 45)));
    EXPECT_EQ((CMidiSetup::Hit{2, 1}), dlg.HitTest(CPoint(138, 45)));
}

TEST_F(MidiSetupTest, DragMovesOrSwapsBetweenRespondingRacks)
{
    struct Case {
        const char* what;
        CPoint from, to;
        std::vector<int> rack0, rack1;
    };
    // Before each case: rack 0 holds 0 in slot 0, rack 1 holds 3 in slot 2.
    const Case cases[] = {
        {"onto itself", At(0, 0), At(0, 0), {0, -1, -1}, {-1, -1, 3}},
        {"onto an empty slot: a move", At(0, 0), At(1, 0), {-1, -1, -1}, {0, -1, 3}},
        {"within the rack", At(0, 0), At(0, 2), {-1, -1, 0}, {-1, -1, 3}},
        {"onto a set slot: a swap", At(0, 0), At(1, 2), {3, -1, -1}, {-1, -1, 0}},
        {"from an empty slot", At(0, 1), At(1, 0), {0, -1, -1}, {-1, -1, 3}},
        {"onto a rack without a unit", At(0, 0), At(2, 0), {0, -1, -1}, {-1, -1, 3}},
        {"outside the columns", At(0, 0), CPoint(70, 25), {0, -1, -1}, {-1, -1, 3}},
        {"outside the rows", At(0, 0), CPoint(200, 25), {0, -1, -1}, {-1, -1, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int rack = 0; rack < CRackSetup::kRacks; ++rack)
            for (int slot = 0; slot < 3; ++slot) setup.ClearMidiSlot(rack, slot, -1);
        setup.ClearMidiSlot(0, 0, 0);
        setup.ClearMidiSlot(1, 2, 3);
        dlg.OnLButtonDown(c.from);
        dlg.OnMouseMove(c.to);
        EXPECT_EQ(dlg.IsDragging() ? DialogCursor::Hand : DialogCursor::Arrow, dlg.GetCursor());
        dlg.OnLButtonUp(c.to);
        EXPECT_EQ(c.rack0, Slots(0));
        EXPECT_EQ(c.rack1, Slots(1));
        EXPECT_FALSE(dlg.IsDragging());
        EXPECT_EQ(DialogCursor::Arrow, dlg.GetCursor());
    }
}

TEST_F(MidiSetupTest, RacksWithoutAUnitIgnoreClicks)
{
    setup.ClearMidiSlot(2, 0, 1);  // rack 2 does not respond but holds a value
    dlg.OnLButtonDown(At(2, 0));
    EXPECT_FALSE(dlg.IsDragging());
    dlg.OnLButtonUp(At(0, 1));
    dlg.OnRButtonDown(At(2, 0));
    EXPECT_TRUE(shell.menus.empty());
    EXPECT_EQ((std::vector<int>{1, -1, -1}), Slots(2));
    EXPECT_EQ((std::vector<int>{-1, -1, -1}), Slots(0));
    EXPECT_EQ(0u, dlg.GetRackPicture(2));
    EXPECT_EQ(171u + 3u, dlg.GetRackPicture(3));
}

TEST_F(MidiSetupTest, SlotMenuOffersTheLinkedUnitsAndStoresTheChoice)
{
    dlg.OnRButtonDown(At(0, 0));
    ASSERT_EQ(1u, shell.menus.size());
    const std::vector<MenuItem>& menu = shell.menus[0];
    ASSERT_EQ(3u, menu.size());
    EXPECT_STREQ("PRE 1", menu[0].text);
    EXPECT_STREQ("PRE 2", menu[1].text);
    ASSERT_EQ(2u, menu[1].subItems.size());
    EXPECT_EQ(329u, menu[1].subItems[0].id);
    EXPECT_STREQ("A (1-4)", menu[1].subItems[0].text);
    EXPECT_EQ(330u, menu[1].subItems[1].id);
    EXPECT_STREQ("B (5-8)", menu[1].subItems[1].text);
    EXPECT_EQ(326u, menu[2].id);
    EXPECT_STREQ("Clear", menu[2].text);

    // "B (5-8)" of the second unit stores 3 and empties the slot that held it.
    setup.ClearMidiSlot(3, 1, 3);
    shell.menuAnswers = {330};
    dlg.OnRButtonDown(At(1, 2));
    EXPECT_EQ((std::vector<int>{-1, -1, 3}), Slots(1));
    EXPECT_EQ((std::vector<int>{-1, -1, -1}), Slots(3));

    shell.menuAnswers = {0};  // cancelled
    dlg.OnRButtonDown(At(1, 2));
    EXPECT_EQ((std::vector<int>{-1, -1, 3}), Slots(1));
    shell.menuAnswers = {326};
    dlg.OnRButtonDown(At(1, 2));
    EXPECT_EQ((std::vector<int>{-1, -1, -1}), Slots(1));
}

TEST_F(MidiSetupTest, SlotCommandsOutsideTheMenuChangeNothing)
{
    setup.ClearMidiSlot(0, 0, 1);
    // A pair with one part set is no unit: a hand-made file can hold one.
    setup.SetPreMapping(4, 5, -1);
    setup.SetChannelMapping(4, 5, 2);
    for (UINT command : {0u, 1u, 325u, 327u + 8u, 327u + 18u, 100000u}) {
        EXPECT_FALSE(CMidiSetup::ApplySlotCommand(setup, 0, 0, command)) << command;
    }
    EXPECT_FALSE(CMidiSetup::ApplySlotCommand(setup, 16, 0, 327));
    EXPECT_FALSE(CMidiSetup::ApplySlotCommand(setup, 0, 3, 327));
    EXPECT_EQ(1, setup.GetMidiSlot(0, 0));
    EXPECT_EQ(2u + 1u, CMidiSetup::BuildSlotMenu(setup).size());
}

TEST_F(MidiSetupTest, DefaultGivesTheLinkedHalvesToTheFirstSlotsOfRespondingRacks)
{
    struct Case {
        const char* what;
        std::vector<int> responding;
        int units;  // units linked, from the first
        std::vector<int> firstSlots;  // racks 0 to 5
    };
    const Case cases[] = {
        {"two units, three racks", {0, 1, 3}, 2, {0, 1, -1, 2, -1, -1}},
        {"two units, five racks", {0, 1, 2, 3, 5}, 2, {0, 1, 2, 3, -1, -1}},
        {"one unit", {1, 2, 5}, 1, {-1, 0, 1, -1, -1, -1}},
        {"no unit", {0, 1}, 0, {-1, -1, -1, -1, -1, -1}},
        {"no rack", {}, 2, {-1, -1, -1, -1, -1, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CRackSetup s;
        for (int unit = 0; unit < c.units; ++unit) {
            s.SetPreMapping(unit, 0, unit);
            s.SetChannelMapping(unit, 1, unit);
        }
        for (int rack : c.responding) s.SetRackFlag(rack, TRUE);
        s.ClearMidiSlot(4, 1, 5);  // any other slot is emptied
        s.ClearMidiSlot(0, 2, 0);
        CMidiSetup d(&s, nullptr, &shell);
        d.OnDefault();
        for (int rack = 0; rack < CRackSetup::kRacks; ++rack) {
            EXPECT_EQ(rack < 6 ? c.firstSlots[rack] : -1, s.GetMidiSlot(rack, 0)) << rack;
            EXPECT_EQ(-1, s.GetMidiSlot(rack, 1)) << rack;
            EXPECT_EQ(-1, s.GetMidiSlot(rack, 2)) << rack;
        }
    }
}

TEST_F(MidiSetupTest, CellsShowTheUnitsHalfInItsColour)
{
    setup.ClearMidiSlot(0, 1, 3);
    setup.ClearMidiSlot(1, 0, 16);
    const CMidiSetup::Cell b = dlg.GetCell(0, 1);
    EXPECT_FALSE(b.empty);
    EXPECT_EQ(RGB(255, 165, 0), b.fill);
    EXPECT_STREQ("PRE", b.top);
    EXPECT_STREQ("2b", b.bottom);
    const CMidiSetup::Cell a = dlg.GetCell(1, 0);
    EXPECT_EQ(RGB(130, 131, 75), a.fill);
    EXPECT_STREQ("9a", a.bottom);
    const CMidiSetup::Cell none = dlg.GetCell(0, 0);
    EXPECT_TRUE(none.empty);
    EXPECT_EQ(RGB(0, 0, 0), none.fill);
    EXPECT_TRUE(none.top.IsEmpty());
}

}  // namespace
