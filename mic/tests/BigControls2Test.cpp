// The enlarged read-out's core: which fields of its three records a view is told to draw, its
// end, and what it swallows.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "app/BigControls2.h"
#include "winport/Hooks.h"
#include "winport/MessageLoop.h"

namespace {

class RecordingView : public CBigControls2View {
public:
    void DrawFields(int record, unsigned fields) override { drawn.emplace_back(record, fields); }
    void EndDialog(int result) override { ended.push_back(result); }
    std::vector<std::pair<int, unsigned>> drawn;
    std::vector<int> ended;
};

ReadoutChannel channel(int line, int gain, const char* label)
{
    ReadoutChannel c;
    c.nMicLine = line;
    c.nGain = gain;
    c.strLabel = label;
    return c;
}

}  // namespace

TEST(BigControls2, OnlyTheFieldsThatChangedAreDrawnAgain)
{
    CBigControls2 readout;
    RecordingView view;
    readout.SetView(&view);
    const ReadoutChannel lower = channel(4, 20, "Kick"), changed = channel(6, 45, "Vox"), none;
    readout.ShowChannel(lower, changed, none, FALSE);
    using P = std::pair<int, unsigned>;
    EXPECT_EQ(std::vector<P>({{0, CBigControls2::kAllFields}, {1, CBigControls2::kAllFields}, {2, CBigControls2::kAllFields}}),
              view.drawn);
    EXPECT_EQ(CString("Vox"), readout.GetChannel(1).strLabel);

    struct Case {
        const char* name;
        void (*change)(ReadoutChannel&);
        unsigned fields;
    };
    const Case cases[] = {
        {"gain", [](ReadoutChannel& c) { c.nGain = 50; }, CBigControls2::kFieldGain},
        {"label", [](ReadoutChannel& c) { c.strLabel = "Gtr"; }, CBigControls2::kFieldLabel},
        {"entry", [](ReadoutChannel& c) { c.nEntry = 1; }, CBigControls2::kFieldEntry},
        {"Phant and Pad", [](ReadoutChannel& c) { c.bPhant = c.bPad = true; }, CBigControls2::kFieldPhant | CBigControls2::kFieldPad},
        {"input", [](ReadoutChannel& c) { c.bMicInput = true; }, CBigControls2::kFieldMicInput},
        {"Phase", [](ReadoutChannel& c) { c.bPhase = true; }, CBigControls2::kFieldPhase},
        {"another line", [](ReadoutChannel& c) { c.nMicLine = 7; }, CBigControls2::kFieldMicLine},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReadoutChannel next = readout.GetChannel(1);
        c.change(next);
        view.drawn.clear();
        readout.ShowChannel(lower, next, none, TRUE);
        EXPECT_EQ(std::vector<P>({{1, c.fields}}), view.drawn);
    }

    // A record that comes or goes is drawn whole; the same records again draw nothing.
    view.drawn.clear();
    readout.ShowChannel(none, readout.GetChannel(1), channel(9, 20, ""), TRUE);
    EXPECT_EQ(std::vector<P>({{0, CBigControls2::kAllFields}, {2, CBigControls2::kAllFields}}), view.drawn);
    view.drawn.clear();
    readout.ShowChannel(readout.GetChannel(0), readout.GetChannel(1), readout.GetChannel(2), TRUE);
    EXPECT_TRUE(view.drawn.empty());

    readout.ClearChannels();
    EXPECT_EQ(std::vector<int>({IDOK}), view.ended);
    for (int r = 0; r < CBigControls2::kRecords; ++r) EXPECT_EQ(ReadoutChannel(), readout.GetChannel(r)) << r;
}

TEST(BigControls2, FontGainStepsAndSwallowedMessages)
{
    CBigControls2 readout;
    LOGFONT lf{};
    ASSERT_TRUE(readout.GetFont().GetLogFont(&lf));
    EXPECT_EQ(30, lf.lfHeight);
    EXPECT_EQ(12, lf.lfWidth);
    EXPECT_EQ(700, lf.lfWeight);
    EXPECT_STREQ("ArialBold", lf.lfFaceName);

    const std::pair<int, int> steps[] = {{20, 3}, {45, 8}, {70, 13}, {0, 3}, {200, 13}};
    for (auto [gain, step] : steps) EXPECT_EQ(step, CBigControls2::GainStep(gain)) << gain;

    const std::pair<UINT, BOOL> messages[] = {
        {WM_KEYDOWN, TRUE}, {WM_LBUTTONDOWN, TRUE}, {WM_KEYUP, FALSE}, {WM_LBUTTONUP, FALSE}, {WM_RBUTTONDOWN, FALSE}, {WM_PAINT, FALSE},
    };
    for (auto [message, swallowed] : messages) EXPECT_EQ(swallowed, readout.PreTranslateMessage(message)) << message;
}
