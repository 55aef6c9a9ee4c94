// The "PRE MIDI Port Setup" dialog's core in virtual time, with a scripted operator and a fake
// detection: the run and its links, the end of a run while a pass is busy, the result text, the
// drags, the cells and the detect hold on every way out.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ScriptedShell.h"
#include "TestEnvironment.h"
#include "app/PreSetup.h"
#include "winport/Clock.h"
#include "winport/MessageLoop.h"

namespace {

using Links = std::vector<std::pair<int, int>>;

class FakeDetection : public PreDetection {
public:
    void SetDetectHold(BOOL on) override { hold = on != FALSE; }
    void ClearDetectedPres() override
    {
        ++clears;
        listed.clear();
        for (auto& port : counters)
            for (int& c : port) c = 0;
    }
    BOOL GetListedPre(int i, int& port, int& channel) override
    {
        if (i < 0 || i >= static_cast<int>(listed.size())) return FALSE;
        port = listed[i].first;
        channel = listed[i].second;
        return TRUE;
    }
    BOOL IsDetectionPassBusy() override
    {
        ++busyLooks;
        if (busyFor == 0) return FALSE;
        if (busyFor > 0) --busyFor;
        return TRUE;
    }
    int GetHeartbeatCounter(int port, int channel) override { return counters[port][channel]; }

    void Hear(const Links& units)
    {
        for (auto [port, channel] : units) counters[port][channel] = 2;
    }

    bool hold = false;
    int clears = 0;
    Links listed;
    int counters[kPorts][kChannels] = {};
    int busyFor = 0;  // looks that find a pass busy; -1: always
    int busyLooks = 0;
};

struct RecordingView : CPRESetupView {
    void Changed() override { ++changes; }
    void EndDialog(int result) override { ended.push_back(result); }
    int changes = 0;
    std::vector<int> ended;
};

// Row r: label at x 0-20, input cell 20-60, output cell 60-100, y 30 r to 30 r + 30.
CPoint In(int row) { return CPoint(30, 30 * row + 5); }
CPoint Out(int row) { return CPoint(70, 30 * row + 5); }
CPoint Label(int row) { return CPoint(5, 30 * row + 5); }

class PreSetupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dlg = std::make_unique<CPRESetup>(&setup, &detection, nullptr, &shell);
        dlg->SetView(&view);
        for (int row = 0; row < CPRESetup::kRows; ++row) {
            dlg->SetFrame(row, CPRESetup::kLabel, CRect(0, 30 * row, 20, 30 * row + 30));
            dlg->SetFrame(row, CPRESetup::kInput, CRect(20, 30 * row, 60, 30 * row + 30));
            dlg->SetFrame(row, CPRESetup::kOutput, CRect(60, 30 * row, 100, 30 * row + 30));
        }
        ASSERT_TRUE(dlg->OnInitDialog());
    }
    void Run(uint64_t ms) { winport::MessageLoop::Current().AdvanceBy(ms); }
    Links Inputs() const { return Table(true); }
    Links Outputs() const { return Table(false); }
    Links Table(bool input) const
    {
        Links links;
        for (int i = 0; i < CRackSetup::kMappings; ++i)
            links.emplace_back(input ? setup.GetPreMapping(i, 0) : setup.GetChannelMapping(i, 0),
                               input ? setup.GetPreMapping(i, 1) : setup.GetChannelMapping(i, 1));
        return links;
    }
    static Links Padded(Links links)
    {
        links.resize(CRackSetup::kMappings, {-1, -1});
        return links;
    }
    void Link(int row, std::pair<int, int> in, std::pair<int, int> out)
    {
        setup.SetPreMapping(row, in.first, in.second);
        setup.SetChannelMapping(row, out.first, out.second);
    }

    TestEnvironment env;
    winport::ManualClock clock{1000};
    winport::ScopedClock scoped{clock};
    ScriptedShell shell;
    CRackSetup setup;
    FakeDetection detection;
    RecordingView view;
    std::unique_ptr<CPRESetup> dlg;
};

TEST_F(PreSetupTest, AutoDetectLinksTheHeardUnitsInPortThenChannelOrder)
{
    Links twelve;
    for (int channel = 0; channel < 12; ++channel) twelve.emplace_back(channel % 2 ? 5 : 1, channel);
    const Links firstNine = {{1, 0}, {1, 2}, {1, 4}, {1, 6}, {1, 8}, {1, 10}, {5, 1}, {5, 3}, {5, 5}};
    struct Case {
        const char* what;
        Links heard;
        Links rows;
    };
    const Case cases[] = {
        {"three units", {{2, 0}, {0, 7}, {0, 3}}, {{0, 3}, {0, 7}, {2, 0}}},
        {"more than nine", twelve, firstNine},
        {"none", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Link(4, {9, 9}, {9, 9});  // cleared by the run
        shell.boxes.clear();
        const int clears = detection.clears;
        dlg->OnAutoDetect();
        ASSERT_EQ(2u, shell.boxes.size());
        EXPECT_EQ("This process will take 16 seconds to find all the new PREs.\nDo you wish to continue?", shell.boxes[0].text);
        EXPECT_EQ(static_cast<UINT>(MB_OKCANCEL), shell.boxes[0].type);
        EXPECT_EQ("Ensure that you press okay to all 'Failed to detect' message on your workstation screen whilst "
                  "this process is underway.",
                  shell.boxes[1].text);
        EXPECT_TRUE(dlg->IsDetecting());
        EXPECT_FALSE(dlg->IsExitEnabled());
        EXPECT_EQ(clears + 1, detection.clears);
        EXPECT_EQ(Padded({}), Inputs());

        detection.Hear(c.heard);
        Run(CPRESetup::kDetectMs - 1);
        EXPECT_TRUE(dlg->IsDetecting());
        EXPECT_EQ(Padded({}), Outputs());
        Run(1);
        EXPECT_FALSE(dlg->IsDetecting());
        EXPECT_EQ(Padded(c.rows), Inputs());
        EXPECT_EQ(Padded(c.rows), Outputs());
    }
    EXPECT_EQ((std::vector<bool>{true, false, true, false, true, false}), shell.cursorChanges);
    EXPECT_TRUE(view.ended.empty());
}

TEST_F(PreSetupTest, AutoDetectStopsWhenTheOperatorCancels)
{
    Link(0, {1, 1}, {1, 1});
    shell.boxAnswers = {IDCANCEL};
    dlg->OnAutoDetect();
    EXPECT_EQ(1u, shell.boxes.size());
    EXPECT_FALSE(dlg->IsDetecting());
    EXPECT_EQ(0, detection.clears);
    EXPECT_EQ(1, setup.CountMappings());
    Run(CPRESetup::kDetectMs);
    EXPECT_EQ(1, setup.CountMappings());
}

TEST_F(PreSetupTest, TheEndOfARunLooksAgainWhileAPassIsBusy)
{
    struct Case {
        const char* what;
        int busyFor;
        uint64_t takenAfterMs;  // after the 16 s
    };
    const Case cases[] = {
        {"idle", 0, 0},
        {"busy for three looks", 3, 300},
        {"busy for good: the wait is bounded", -1, CPRESetup::kPassWaitLimitMs},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dlg->OnAutoDetect();
        detection.Hear({{3, 4}});
        detection.busyFor = c.busyFor;
        Run(CPRESetup::kDetectMs);
        if (c.takenAfterMs > 0) {
            Run(c.takenAfterMs - 1);
            EXPECT_TRUE(dlg->IsDetecting());
            EXPECT_EQ(-1, setup.GetPreMapping(0, 0));
            Run(1);
        }
        EXPECT_FALSE(dlg->IsDetecting());
        EXPECT_EQ(3, setup.GetPreMapping(0, 0));
        EXPECT_EQ(4, setup.GetChannelMapping(0, 1));
    }
}

TEST_F(PreSetupTest, ResultTextFollowsTheLinkCount)
{
    const std::string none = "No PREs have been setup.\nRun the auto-detect process to link PREs to MIDI ports.";
    auto some = [](int n) {
        return " " + std::to_string(n) +
               " PRE has been setup.\nInput channels which have been detected are blue.\nInput channels which are red "
               "have not been detected.";
    };
    EXPECT_EQ(none, std::string(dlg->GetResultText()));  // at once
    Link(0, {0, 1}, {0, 1});
    Run(CPRESetup::kFirstResultMs - 1);
    EXPECT_EQ(none, std::string(dlg->GetResultText()));
    Run(1);
    EXPECT_EQ(some(1), std::string(dlg->GetResultText()));
    Link(1, {0, 2}, {0, 2});
    Link(2, {0, 3}, {0, 3});
    Link(3, {0, 4}, {-1, 4});  // half an output link: no unit
    Run(CPRESetup::kResultMs);
    EXPECT_EQ(some(3), std::string(dlg->GetResultText()));
    const int changes = view.changes;
    Run(5 * CPRESetup::kResultMs);
    EXPECT_EQ(changes, view.changes) << "an unchanged count redraws nothing";
    setup.ClearMappings();
    Run(CPRESetup::kResultMs);
    EXPECT_EQ(none, std::string(dlg->GetResultText()));
}

TEST_F(PreSetupTest, DragsSwapOutputsOrWholeRows)
{
    struct Case {
        const char* what;
        CPoint from, to;
        Links inputs, outputs;
    };
    // Before each case: row 0 (1,1)/(2,2), row 1 (3,3)/(4,4), row 2 empty.
    const Links in = Padded({{1, 1}, {3, 3}}), out = Padded({{2, 2}, {4, 4}});
    const Case cases[] = {
        {"output onto another row's output", Out(0), Out(1), in, Padded({{4, 4}, {2, 2}})},
        {"output onto an empty output", Out(0), Out(2), in, Padded({{-1, -1}, {4, 4}, {2, 2}})},
        {"output onto its own row", Out(1), Out(1), in, out},
        {"output onto an input", Out(0), In(1), in, out},
        {"output onto a label", Out(0), Label(1), in, out},
        {"input onto an input: inputs stay", In(0), In(1), in, out},
        {"from an empty cell", Out(2), Out(0), in, out},
        {"from an empty input", In(2), In(0), in, out},
        {"row onto row", Label(0), Label(1), Padded({{3, 3}, {1, 1}}), Padded({{4, 4}, {2, 2}})},
        {"row onto an empty row", Label(1), Label(2), Padded({{1, 1}, {-1, -1}, {3, 3}}), Padded({{2, 2}, {-1, -1}, {4, 4}})},
        {"row onto a cell", Label(0), Out(1), in, out},
        {"row onto nothing", Label(0), CPoint(500, 500), in, out},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setup.ClearMappings();
        Link(0, {1, 1}, {2, 2});
        Link(1, {3, 3}, {4, 4});
        dlg->OnLButtonDown(c.from);
        dlg->OnMouseMove(c.to);
        dlg->OnLButtonUp(c.to);
        EXPECT_EQ(c.inputs, Inputs());
        EXPECT_EQ(c.outputs, Outputs());
        EXPECT_EQ(DialogCursor::Arrow, dlg->GetCursor());
    }
    dlg->OnLButtonDown(Out(0));
    dlg->OnMouseMove(Out(1));
    EXPECT_EQ(DialogCursor::Hand, dlg->GetCursor());
}

TEST_F(PreSetupTest, CellsShowLinksAndWhetherTheirUnitIsDetected)
{
    Link(0, {0, 3}, {0, 3});
    Link(1, {2, 0}, {2, 1});
    Link(2, {0, 0}, {0, 0});
    Link(3, {4, -1}, {4, 2});  // half a link, as a hand-made file can hold
    detection.listed = {{0, 3}, {2, 5}};

    const CPRESetup::CellView heard = dlg->GetCell(0, CPRESetup::kInput);
    EXPECT_EQ(CPRESetup::kDetectedCell, heard.fill);
    EXPECT_STREQ("Port 1", heard.first);
    EXPECT_STREQ("Chn 4", heard.second);
    EXPECT_EQ(3, heard.textTop);
    EXPECT_EQ(CPRESetup::kNotDetectedCell, dlg->GetCell(1, CPRESetup::kInput).fill);
    // Port 0 channel 0 on a row the pass does not list is not detected.
    EXPECT_EQ(CPRESetup::kNotDetectedCell, dlg->GetCell(2, CPRESetup::kInput).fill);
    const CPRESetup::CellView out = dlg->GetCell(1, CPRESetup::kOutput);
    EXPECT_EQ(CPRESetup::kOutputCell, out.fill);
    EXPECT_STREQ("Port 3", out.first);
    EXPECT_STREQ("Chn 2", out.second);

    const CPRESetup::CellView half = dlg->GetCell(3, CPRESetup::kInput);
    EXPECT_TRUE(half.empty);
    EXPECT_EQ(CPRESetup::kEmptyCell, half.fill);
    EXPECT_STREQ("IN", half.first);
    EXPECT_TRUE(half.second.IsEmpty());
    EXPECT_EQ(10, half.textTop);
    EXPECT_STREQ("OUT", dlg->GetCell(5, CPRESetup::kOutput).first);
    EXPECT_STREQ("OUT", dlg->GetCell(9, CPRESetup::kOutput).first);
}

TEST_F(PreSetupTest, EveryWayOutReleasesTheDetectHold)
{
    struct Case {
        const char* what;
        void (*leave)(CPRESetup&);
        int result;
    };
    const Case cases[] = {
        {"Exit", [](CPRESetup& d) { d.OnExit(); }, IDOK},
        {"Escape or the close box", [](CPRESetup& d) { EXPECT_TRUE(d.OnCancel()); }, IDCANCEL},
        {"the dialog destroyed", [](CPRESetup&) {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        view.ended.clear();
        dlg = std::make_unique<CPRESetup>(&setup, &detection, nullptr, &shell);
        dlg->SetView(&view);
        ASSERT_TRUE(dlg->OnInitDialog());
        EXPECT_TRUE(detection.hold);
        c.leave(*dlg);
        if (c.result == -1) dlg.reset();
        EXPECT_FALSE(detection.hold);
        EXPECT_EQ(c.result == -1 ? std::vector<int>{} : std::vector<int>{c.result}, view.ended);
    }
}

TEST_F(PreSetupTest, NoWayOutWhileDetecting)
{
    dlg->OnAutoDetect();
    EXPECT_FALSE(dlg->OnCancel());
    dlg->OnExit();
    EXPECT_TRUE(view.ended.empty());
    EXPECT_TRUE(detection.hold);
    dlg->OnAutoDetect();  // a second run cannot start meanwhile
    EXPECT_EQ(2u, shell.boxes.size());
    Run(CPRESetup::kDetectMs);
    EXPECT_TRUE(dlg->OnCancel());
    EXPECT_EQ(std::vector<int>{IDCANCEL}, view.ended);
    EXPECT_FALSE(detection.hold);
}

TEST_F(PreSetupTest, ResetClearsLinksAndTheDetectedList)
{
    Link(0, {1, 1}, {1, 1});
    dlg->OnReset();
    EXPECT_EQ(0, setup.CountMappings());
    EXPECT_EQ(1, detection.clears);
}

}  // namespace

namespace {

// A shell whose boxes are answered later, by the test.
struct LaterShell : ScriptedShell {
    void MessageBox(HWND, const char* text, const char*, UINT type, MessageDone done) override
    {
        boxes.push_back({text, type});
        pending = std::move(done);
    }
    MessageDone pending;
};

TEST(PreSetupLateAnswers, AnAnswerAfterTheDialogHasGoneIsIgnored)
{
    TestEnvironment env;
    winport::ManualClock clock{1000};
    winport::ScopedClock scoped{clock};
    LaterShell shell;
    CRackSetup setup;
    setup.SetPreMapping(0, 1, 1);
    setup.SetChannelMapping(0, 1, 1);
    FakeDetection detection;
    auto dlg = std::make_unique<CPRESetup>(&setup, &detection, nullptr, &shell);
    ASSERT_TRUE(dlg->OnInitDialog());
    dlg->OnAutoDetect();
    dlg->OnAutoDetect();  // the question is up already
    ASSERT_EQ(1u, shell.boxes.size());
    EXPECT_TRUE(dlg->OnCancel());
    dlg.reset();
    shell.pending(IDOK);
    EXPECT_EQ(1u, shell.boxes.size());
    EXPECT_EQ(1, setup.CountMappings());
    EXPECT_EQ(0, detection.clears);
    EXPECT_FALSE(detection.hold);
}

}  // namespace
