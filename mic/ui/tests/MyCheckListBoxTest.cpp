// The check list box as a widget: real mouse input reaches the parent window as
// posted WM_CHECKLIST_CHANGED messages, the drag timer ticks in virtual time,
// and lines are drawn with their tab columns.
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include "TestEnvironment.h"
#include "mic_ui/MyCheckListBox.h"
#include "winport/Clock.h"
#include "winport/Window.h"

namespace {

class MyCheckListBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        parent = winport::CreateMessageWindow("CheckListParent",
                                              [this](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
                                                  if (msg == WM_CHECKLIST_CHANGED)
                                                      posted.push_back({static_cast<int>(w), static_cast<int>(l)});
                                                  return 0;
                                              },
                                              {nullptr, false});
        ASSERT_NE(parent, nullptr);
        list.SetParentWindow(parent);
        list.resize(240, 120);
        for (const char* line : {"1\tPort A\tPort B", "2\tin\tout", "3", "4", "5", "6"}) list.AddString(CString(line));
    }
    void TearDown() override { DestroyWindow(parent); }
    /// Dispatches every message that is ready and returns what the parent was
    /// told.
    std::vector<CheckListChange> Dispatch()
    {
        MSG msg{};
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        return std::exchange(posted, {});
    }
    /// The mouse moves with the left button held.
    void DragTo(QPoint at)
    {
        QMouseEvent move(QEvent::MouseMove, at, list.mapToGlobal(at), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(&list, &move);
    }
    QPoint OnBox(int item) const
    {
        const CRect r = list.ItemTextRect(item);
        return QPoint(CMyCheckListBox::kCheckBoxArea / 2, (r.top + r.bottom) / 2);
    }

    TestEnvironment env;
    winport::ManualClock clock{1000};
    winport::ScopedClock scoped{clock};
    HWND parent = nullptr;
    std::vector<CheckListChange> posted;
    CMyCheckListBox list{1383};
};

using Changes = std::vector<CheckListChange>;

TEST_F(MyCheckListBoxTest, ClicksAndDragsReachTheParentAndTheTimerTicksEvery150ms)
{
    QTest::mousePress(&list, Qt::LeftButton, {}, OnBox(1));
    EXPECT_EQ(Dispatch(), (Changes{{1, 1}}));
    EXPECT_EQ(list.GetCheck(1), 1);
    clock.Advance(149);
    EXPECT_EQ(Dispatch(), Changes{});
    clock.Advance(1);
    EXPECT_EQ(Dispatch(), (Changes{{1, 1}})); // the anchor again

    DragTo(OnBox(4));
    clock.Advance(150);
    EXPECT_EQ(Dispatch(), (Changes{{1, 1}, {2, 1}, {3, 1}, {4, 1}}));
    QTest::mouseRelease(&list, Qt::LeftButton, {}, OnBox(4));
    clock.Advance(600);
    EXPECT_EQ(Dispatch(), Changes{}); // the timer is gone

    // Below the last item: nothing.
    QTest::mouseClick(&list, Qt::LeftButton, {}, QPoint(5, list.height() - 1));
    clock.Advance(300);
    EXPECT_EQ(Dispatch(), Changes{});

    // The keyboard: space toggles the selected line.
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);
    QTest::keyClick(&list, Qt::Key_Space);
    EXPECT_EQ(Dispatch(), (Changes{{5, 1}}));
}

TEST_F(MyCheckListBoxTest, ALineWithOneTabDrawsItsSecondColumnFromHalfTheWidth)
{
    list.SetItemHeight(20);
    list.ResetContent();
    list.AddString(CString("W\tW"));
    list.AddString(CString("W\tW\tW"));
    const QImage image = list.Render();
    const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
    // The x of every column's first text pixel in a line.
    auto columns = [&](int item) {
        const CRect r = list.ItemTextRect(item);
        std::vector<int> starts;
        bool inText = false;
        int lastText = -100;
        for (int x = r.left; x < r.right; ++x) {
            bool dark = false;
            for (int y = r.top; y < r.bottom; ++y) dark = dark || FromQColor(image.pixelColor(x, y)) == text;
            if (dark && !inText && x - lastText > 8) starts.push_back(x - r.left);
            if (dark) lastText = x;
            inText = dark;
        }
        return starts;
    };
    const int width = list.ItemTextRect(0).Width();
    const std::vector<int> one = columns(0);
    ASSERT_EQ(one.size(), 2u);
    EXPECT_LE(one[0], 2);
    EXPECT_GE(one[1], width / 2);
    EXPECT_LE(one[1], width / 2 + 2);
    const std::vector<int> two = columns(1);
    ASSERT_EQ(two.size(), 3u);
    EXPECT_GE(two[1], width / 3);
    EXPECT_LE(two[1], width / 3 + 2);
    EXPECT_GE(two[2], 2 * width / 3);
    EXPECT_LE(two[2], 2 * width / 3 + 2);
}

TEST_F(MyCheckListBoxTest, ColourByCheckPaintsACheckedLineInItsColour)
{
    const COLORREF green = RGB(0, 160, 0);
    list.SetColourByCheck(TRUE);
    list.SetItemColour(2, green);
    list.SetCheck(2, 1);
    const QImage image = list.Render();
    const CRect checked = list.ItemTextRect(2), unchecked = list.ItemTextRect(3);
    EXPECT_EQ(FromQColor(image.pixelColor(checked.right - 2, checked.top + 1)), green);
    EXPECT_EQ(FromQColor(image.pixelColor(unchecked.right - 2, unchecked.top + 1)), GetSysColor(COLOR_WINDOW));
}

} // namespace
