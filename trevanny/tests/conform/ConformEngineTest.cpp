#include <gtest/gtest.h>

#include <filesystem>

#include "conform/ConformFixture.h"
#include "trevanny/AutomationNotifications.h"
#include "winport/RegistryObject.h"
#include "winport/Window.h"

namespace {

using namespace conformtest;

const CString kPass = "c:\\mixes\\pass.aut";
const CString kReelA = "c:\\mixes\\reelA";
const CString kEdl = "c:\\edits\\cut.edl";

// Reel A: two controls of path 1 and one of path 2 around the source range [40, 60) (10 to 15
// frames).
const std::vector<CAutomationEvent> kReelEvents = {
    Ev(20, 1, 0, 0, 100), Ev(40, 1, 0, 0, 200), Ev(45, 1, 0, 1, 7), Ev(59, 2, 0, 0, 300), Ev(60, 2, 0, 0, 400), Ev(80, 1, 0, 0, 500),
};

class ConformEngineTest : public ConformFixture {
protected:
    void SetUp() override
    {
        ConformFixture::SetUp();
        m_target.SetPathName(kPass);
        Fill(m_target, {Ev(0, 3, 0, 0, 555), Ev(10, 3, 0, 0, 556), Ev(500, 3, 0, 1, 9)});
        WritePass(kReelA + ".aut", kReelEvents);
    }

    CAutomationPackage m_target;
};

TEST_F(ConformEngineTest, PairTakesItsSourceRangeToItsDestination)
{
    // The target's state at 0; at the destination the source's state at its start (the event
    // at the start reaches the output only through it, at the destination's time), the target's
    // own controls put back to their defaults; then the range's events, 360 later. The reel's
    // file is found whatever the case of the name the list gives it.
    const std::vector<EventRow> expected = {
        {0, 3, 0, 0, 555, 0, -8192}, {400, 1, 0, 0, 200, 0, -8192}, {400, 3, 0, 0, -8192, 0, 555},
        {405, 1, 0, 1, 7, 0, 0},     {419, 2, 0, 0, 300, 0, 0},
    };
    for (const char* reel : {"c:\\mixes\\reelA", "C:\\MIXES\\REELA"}) {
        SCOPED_TRACE(reel);
        CAutomationPackage target;
        target.Copy(&m_target);
        target.SetPathName(kPass);
        WriteEditList(kEdl, {{"A", reel}}, {{10, 100, 5}});
        ASSERT_EQ(enConformDone, DoConform(&target, kEdl));
        EXPECT_EQ(expected, Rows(target));
    }
}

TEST_F(ConformEngineTest, PassWithoutEventsAndReelWithoutFileAreEmptySources)
{
    // Reel A's file holds no events; reel B names no file beside it. Each destination gets the
    // defaults of a source without events: the target's control goes back to its default at
    // the first, and nothing more happens.
    WritePass(kReelA + ".aut", {});
    WriteEditList(kEdl, {{"A", "c:\\mixes\\reelA"}, {"B", ""}}, {{10, 100, 5, 0}, {4, 300, 2, 1}});
    ASSERT_EQ(enConformDone, DoConform(&m_target, kEdl));
    EXPECT_EQ(Rows(m_target), (std::vector<EventRow>{{0, 3, 0, 0, 555, 0, -8192}, {400, 3, 0, 0, -8192, 0, 555}}));
}

TEST_F(ConformEngineTest, MissingFilesAndWhatIsNotAStoredEditList)
{
    const std::string before = Bytes(m_target);
    struct Case {
        const char* name;
        enConformStatus status;
    };
    // A missing edit list, a text edit list, a damaged stored one (a reel name longer than the
    // file), a missing cut list or change list by each kind of name.
    const std::string sample = std::string(CONSOLE_TESTDATA_DIR) + "/edl/pycmx_TEST.edl";
    StoredBytes damaged;
    damaged.raw("VOK HDRNEW");
    for (int i = 0; i < 8; ++i) damaged.i32(0);
    for (int v : {0, 0, 1, 1, 1}) damaged.i32(v);
    damaged.i32(0).i32(0).i32(40).i32(20).i32(0).u8(0).i32(0).i32(1000).raw("A");
    WriteFileBytes(winport::HostPath("c:\\edits\\damaged.edl"), damaged.str());
    winport::EnsureParentDir(winport::HostPath("c:\\edits\\text.edl"));
    std::filesystem::copy_file(sample, winport::HostPath("c:\\edits\\text.edl"));
    for (const Case& c : {Case{"c:\\edits\\missing.edl", enConformEDLNotOpened}, Case{"c:\\edits\\text.edl", enConformEDLNotOpened},
                          Case{"c:\\edits\\damaged.edl", enConformEDLNotOpened}, Case{"c:\\edits\\missing.CUT", enConformListNotOpened},
                          Case{"c:\\edits\\missing.txt", enConformListNotOpened}, Case{"c:\\edits\\missing", enConformListNotOpened}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.status, DoConform(&m_target, c.name));
        EXPECT_EQ(before, Bytes(m_target));
    }
}

TEST_F(ConformEngineTest, CutListsAndChangeListsByName)
{
    // A move of 20 frames at 100, and an insert at 300 of what record 1 (the move) took: a change
    // list (".txt", or no extension) links the two, a cut list does not, and its insert takes
    // the first 20 frames instead. The list is binary either way; the reel is the pass's own.
    std::vector<CAutomationEvent> mix;
    for (int t = 1; t < 3000; t += 7) mix.push_back(Ev(t, 1, 0, 0, t));
    WritePass(kPass, mix);
    CAutomationEventArray source;
    Fill(source, mix);
    StoredBytes list;
    list.raw("VOK_CUTLIST_FILE").i32(0).i32(0).i32(2);
    list.i32(CCutListRecord::enMove).i32(100).i32(20).i32(5);
    list.i32(CCutListRecord::enInsertFrom).i32(300).i32(20).i32(1);
    struct Case {
        const char* name;
        int from;  // where the inserted 20 frames come from, in time units
    };
    for (const Case& c : {Case{"c:\\edits\\moves.CUT", 0}, Case{"c:\\edits\\moves.txt", 400}, Case{"c:\\edits\\moves", 400}}) {
        SCOPED_TRACE(c.name);
        winport::EnsureParentDir(winport::HostPath(c.name));
        WriteFileBytes(winport::HostPath(c.name), list.str());
        ASSERT_EQ(enConformDone, DoConform(&m_target, c.name));
        EXPECT_EQ(Between(source, c.from, c.from + 80, 1200 - c.from), Between(m_target, 1200, 1280));
        EXPECT_FALSE(Between(m_target, 1200, 1280).empty());
    }
}

TEST_F(ConformEngineTest, SourceThatCannotBeLoadedChangesNothing)
{
    const std::string before = Bytes(m_target);
    // A reel whose file is missing, beside one that loads.
    WriteEditList(kEdl, {{"A", "c:\\mixes\\reelA"}, {"B", "c:\\mixes\\nothing"}}, {{10, 100, 5, 0}});
    EXPECT_EQ(enConformNoSource, DoConform(&m_target, kEdl));
    EXPECT_EQ(before, Bytes(m_target));
    // No reel names a file, and the target's own file is missing.
    WriteEditList(kEdl, {{"A", ""}}, {{10, 100, 5}});
    EXPECT_EQ(enConformNoSource, DoConform(&m_target, kEdl));
    EXPECT_EQ(before, Bytes(m_target));
}

TEST_F(ConformEngineTest, WithoutReelFilesTheTargetsOwnFileIsTheSource)
{
    // The file holds other events than the target in memory: the conform takes the file's.
    WritePass(kPass, kReelEvents);
    WriteEditList(kEdl, {{"A", ""}}, {{10, 100, 5}});
    ASSERT_EQ(enConformDone, DoConform(&m_target, kEdl));
    EXPECT_EQ(Between(m_target, 400, 1000), (std::vector<EventRow>{{405, 1, 0, 1, 7, 0, 0}, {419, 2, 0, 0, 300, 0, 0}}));
}

TEST_F(ConformEngineTest, EditListWithoutPairsLeavesTheStateAtZero)
{
    WriteEditList(kEdl, {{"A", "c:\\mixes\\reelA"}}, {});
    ASSERT_EQ(enConformDone, DoConform(&m_target, kEdl));
    EXPECT_EQ(Rows(m_target), (std::vector<EventRow>{{0, 3, 0, 0, 555, 0, -8192}}));
}

TEST_F(ConformEngineTest, EqualStartsKeepTheirEditOrder)
{
    // Sources 0 and 2 start together, as do destinations 1 and 2: the later pair of the edit
    // lays its state down last.
    WriteEditList(kEdl, {{"A", "c:\\mixes\\reelA"}}, {{5, 100, 3}, {15, 200, 2}, {5, 200, 2}});
    CConformEngine engine;
    ASSERT_EQ(enConformDone, engine.Run(&m_target, kEdl, FALSE));
    std::vector<int> order;
    for (INT_PTR i = 0; i < engine.GetSources().GetSize(); ++i) order.push_back(engine.GetSources()[i].m_nIndex);
    EXPECT_EQ((std::vector<int>{0, 2, 1}), order);
    // At 800, pair 1 brings path 1 to its state at 60, then pair 2 to its state at 20.
    std::vector<EventRow> at800;
    for (const EventRow& r : Rows(m_target)) {
        if (std::get<0>(r) == 800 && std::get<1>(r) == 1) at800.push_back(r);
    }
    EXPECT_EQ(at800, (std::vector<EventRow>{{800, 1, 0, 0, 200, 0, 100}, {800, 1, 0, 1, 7, 0, 0}, {800, 1, 0, 0, 100, 0, 200},
                                            {800, 1, 0, 1, 0, 0, 7}}));
}

TEST_F(ConformEngineTest, DestinationsOutOfOrderGiveTheEditInOrder)
{
    CAutomationPackage inOrder;
    inOrder.SetPathName(kPass);
    inOrder.Copy(&m_target);
    WriteEditList(kEdl, {{"A", "c:\\mixes\\reelA"}}, {{10, 300, 5}, {4, 100, 6}});
    ASSERT_EQ(enConformDone, DoConform(&m_target, kEdl));
    WriteEditList(kEdl, {{"A", "c:\\mixes\\reelA"}}, {{4, 100, 6}, {10, 300, 5}});
    ASSERT_EQ(enConformDone, DoConform(&inOrder, kEdl));
    EXPECT_EQ(Bytes(inOrder), Bytes(m_target));
    // The second range lands at its own place.
    EXPECT_EQ(Between(m_target, 1200, 1300), (std::vector<EventRow>{{1205, 1, 0, 1, 7, 0, 0}, {1219, 2, 0, 0, 300, 0, 0}}));
}

TEST_F(ConformEngineTest, RangeWithoutEventsStillBringsItsState)
{
    // Only the event at the source start lies in [40, 44).
    WriteEditList(kEdl, {{"A", "c:\\mixes\\reelA"}}, {{10, 100, 1}});
    ASSERT_EQ(enConformDone, DoConform(&m_target, kEdl));
    EXPECT_EQ(StateAt(m_target, 400)[(1 * 5 + 0) * 9 + 1032000], 200);
}

TEST_F(ConformEngineTest, ProgressGoesToTheStatusWindowPerItem)
{
    std::vector<std::pair<WPARAM, LPARAM>> got;
    HWND status = winport::CreateMessageWindow("CantleStatusWindow", [&](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg == g_nAutomationEventNotification && (w == 27 || w == 28 || w == 17)) got.emplace_back(w, l);
        return 0;
    });
    m_target.SetStatusWnd(status);
    WriteEditList(kEdl, {{"A", "c:\\mixes\\reelA"}}, {{10, 100, 5}, {4, 300, 2}});
    ASSERT_EQ(enConformDone, DoConform(&m_target, kEdl));
    winport::MessageLoop::Current().RunUntilIdle();
    DestroyWindow(status);
    // Capture, then build: 28 with the item, 27 with the percent. The sources' notify flag is
    // cleared before they go: no 17.
    const std::vector<std::pair<WPARAM, LPARAM>> expected = {{28, 1}, {27, 50}, {28, 2}, {27, 100},
                                                             {28, 1}, {27, 50}, {28, 2}, {27, 100}};
    EXPECT_EQ(expected, got);
}

}  // namespace
