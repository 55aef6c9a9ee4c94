// The MIDI controls and PRE MIDI port setup dialogs on Qt's offscreen platform: the cells are
// painted where the cores hit-test them, mouse drags and clicks reach the cores, and the
// detection's colours show by pixel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <memory>
#include <utility>
#include <vector>

#include "../../tests/ScriptedShell.h"
#include "FakeDetection.h"
#include "TestEnvironment.h"
#include "mic_ui/MidiSetupWindow.h"
#include "mic_ui/PictureStore.h"
#include "mic_ui/PreSetupWindow.h"
#include "winport/Clock.h"
#include "winport/MessageLoop.h"

namespace {

QRgb Pixel(const QImage& image, QPoint at) { return image.pixel(at) & 0xFFFFFF; }
QRgb Rgb(COLORREF c) { return static_cast<QRgb>((GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c)); }

/// A left-button drag from one point of the dialog to another, the button held on the way.
void Drag(QWidget& dialog, QPoint from, QPoint to)
{
    QTest::mousePress(&dialog, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, dialog.mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&dialog, &move);
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, to);
}

class MidiSetupWindowsTest : public ::testing::Test {
protected:
    TestEnvironment env;
    winport::ManualClock clock{1000};
    winport::ScopedClock scoped{clock};
    ScriptedShell shell;
    CRackSetup setup;
};

}  // namespace

TEST_F(MidiSetupWindowsTest, RackSetupPaintsTheSlotsWhereTheCoreFindsThemAndTakesDragsMenusAndDefault)
{
    setup.SetRackFlag(2, TRUE);
    setup.SetRackFlag(5, TRUE);
    for (int pair : {0, 1}) {
        setup.SetPreMapping(pair, 0, pair);
        setup.SetChannelMapping(pair, 0, pair);
    }
    setup.ClearMidiSlot(2, 1, 3);  // "PRE 2", group B
    CMidiSetupWindow dialog(&setup, nullptr, &shell);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.windowTitle(), "MIDI controls");

    // Each painted cell is where the core's hit test puts its slot.
    for (int slot = 0; slot < CRackSetup::kSlots; ++slot) {
        const QRect cell = CMidiSetupWindow::CellRect(2, slot);
        for (QPoint p : {cell.topLeft(), cell.bottomRight()})
            EXPECT_EQ(dialog.Core().HitTest(CPoint(p.x(), p.y())), (CMidiSetup::Hit{2, slot}));
    }
    const QImage painted = dialog.Paint();
    EXPECT_EQ(Pixel(painted, CMidiSetupWindow::CellRect(2, 1).topLeft()), Rgb(kPairColours[1]));
    EXPECT_EQ(Pixel(painted, CMidiSetupWindow::CellRect(2, 0).topLeft()), Rgb(RGB(0, 0, 0)));
    int ink = 0;
    const QRect tied = CMidiSetupWindow::CellRect(2, 1);
    for (int y = tied.top(); y <= tied.bottom(); ++y)
        for (int x = tied.left(); x <= tied.right(); ++x) ink += Pixel(painted, QPoint(x, y)) == 0xFFFFFF ? 1 : 0;
    EXPECT_GT(ink, 10);  // "PRE" over "2b"
    auto* picture2 = dialog.findChild<QLabel*>(QString::number(CMidiSetup::kIdPicture[2]));
    auto* picture3 = dialog.findChild<QLabel*>(QString::number(CMidiSetup::kIdPicture[3]));
    ASSERT_TRUE(picture2 && picture3);
    EXPECT_FALSE(picture2->pixmap().isNull());
    EXPECT_TRUE(picture3->pixmap().isNull());  // rack 4 does not respond

    // A drag to an empty slot of another responding rack moves the assignment.
    Drag(dialog, CMidiSetupWindow::CellRect(2, 1).center(), CMidiSetupWindow::CellRect(5, 2).center());
    EXPECT_EQ(setup.GetMidiSlot(5, 2), 3);
    EXPECT_EQ(setup.GetMidiSlot(2, 1), -1);
    EXPECT_EQ(dialog.cursor().shape(), Qt::ArrowCursor);

    // The slot menu: "PRE 1" A into rack 3's first slot.
    shell.menuAnswers = {CMidiSetup::kCmdFirstUnit};
    QTest::mouseClick(&dialog, Qt::RightButton, {}, CMidiSetupWindow::CellRect(2, 0).center());
    ASSERT_EQ(shell.menus.size(), 1u);
    EXPECT_EQ(setup.GetMidiSlot(2, 0), 0);

    // "&Default": the first slots of the responding racks take 0, 1; the rest are emptied.
    QTest::mouseClick(dialog.Control(CMidiSetup::kIdDefault), Qt::LeftButton);
    EXPECT_EQ(setup.GetMidiSlot(2, 0), 0);
    EXPECT_EQ(setup.GetMidiSlot(5, 0), 1);
    EXPECT_EQ(setup.GetMidiSlot(5, 2), -1);

    QTest::mouseClick(dialog.Control(CMidiSetup::kIdOk), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), IDOK);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(MidiSetupWindowsTest, PreSetupColoursInputLinksByDetectionAndADragSwapsOutputLinks)
{
    auto detection = std::make_shared<FakeDetection>();
    setup.SetPreMapping(0, 0, 0);
    setup.SetChannelMapping(0, 0, 0);
    setup.SetPreMapping(1, 0, 5);
    setup.SetChannelMapping(1, 2, 5);
    detection->listed = {{0, 0}, {3, 3}};  // row 1's unit detected, row 2's not
    CPRESetupWindow dialog(&setup, detection, nullptr, &shell);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_TRUE(detection->hold);
    EXPECT_EQ(dialog.Texts().front().left(20), " 2 PRE has been setu");

    using P = CPRESetup;
    auto inside = [](int row, int cell) { return CPRESetupWindow::FrameRect(row, cell).topLeft() + QPoint(2, 1); };
    for (int row = 0; row < P::kRows; ++row)
        for (int cell : {P::kInput, P::kOutput, P::kLabel}) {
            const QPoint p = CPRESetupWindow::FrameRect(row, cell).center();
            EXPECT_EQ(dialog.Core().HitTest(CPoint(p.x(), p.y())), (P::Hit{row, cell}));
        }
    QImage painted = dialog.Paint();
    EXPECT_EQ(Pixel(painted, inside(0, P::kInput)), 0x3C14DCu);  // blue: detected
    EXPECT_EQ(Pixel(painted, inside(1, P::kInput)), 0xDC143Cu);  // red: not detected
    EXPECT_EQ(Pixel(painted, inside(0, P::kOutput)), Rgb(P::kOutputCell));
    EXPECT_EQ(Pixel(painted, inside(2, P::kInput)), 0u);  // empty
    EXPECT_EQ(Pixel(painted, CPRESetupWindow::FrameRect(2, P::kInput).topLeft()), Rgb(P::kFrame));
    // The texts start 3 pixels below a link's top, 10 below an empty cell's.
    auto firstInk = [&](int row, int cell) {
        const QRect r = CPRESetupWindow::FrameRect(row, cell);
        for (int y = r.top() + 1; y < r.bottom(); ++y)
            for (int x = r.left() + 1; x < r.right(); ++x)
                if (Pixel(painted, QPoint(x, y)) == 0xFFFFFF) return y - r.top();
        return -1;
    };
    EXPECT_GE(firstInk(0, P::kInput), 3);
    EXPECT_LT(firstInk(0, P::kInput), 10);
    EXPECT_GE(firstInk(2, P::kOutput), 10);

    // Output links swap; input links stay.
    Drag(dialog, CPRESetupWindow::FrameRect(0, P::kOutput).center(), CPRESetupWindow::FrameRect(1, P::kOutput).center());
    EXPECT_EQ(setup.GetChannelMapping(0, 0), 2);
    EXPECT_EQ(setup.GetChannelMapping(1, 0), 0);
    EXPECT_EQ(setup.GetPreMapping(0, 1), 0);
    EXPECT_EQ(setup.GetPreMapping(1, 1), 5);
    painted = dialog.Paint();
    EXPECT_EQ(Pixel(painted, inside(1, P::kOutput)), Rgb(P::kOutputCell));

    // A row drag from a label swaps both links.
    Drag(dialog, CPRESetupWindow::FrameRect(0, P::kLabel).center(), CPRESetupWindow::FrameRect(1, P::kLabel).center());
    EXPECT_EQ(setup.GetPreMapping(0, 1), 5);
    EXPECT_EQ(setup.GetChannelMapping(0, 0), 0);
}

TEST_F(MidiSetupWindowsTest, PreSetupAutoDetectRefusesEscapeWhileItRunsAndExitReleasesTheHold)
{
    auto detection = std::make_shared<FakeDetection>();
    detection->heard = {{0, 0}, {0, 5}};
    CPRESetupWindow dialog(&setup, detection, nullptr, &shell);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* exit = dialog.Control(CPRESetup::kIdExit);
    EXPECT_FALSE(dialog.Control(CPRESetup::kIdReset)->isVisible());

    QTest::mouseClick(dialog.Control(CPRESetup::kIdAutoDetect), Qt::LeftButton);
    ASSERT_EQ(shell.boxes.size(), 2u);
    EXPECT_FALSE(exit->isEnabled());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    dialog.close();
    EXPECT_TRUE(dialog.isVisible());

    winport::MessageLoop::Current().AdvanceBy(CPRESetup::kDetectMs);
    winport::MessageLoop::Current().RunUntilIdle();
    EXPECT_TRUE(exit->isEnabled());
    EXPECT_EQ(setup.GetPreMapping(1, 1), 5);
    EXPECT_EQ(setup.GetChannelMapping(0, 1), 0);

    QTest::mouseClick(exit, Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), IDOK);
    EXPECT_FALSE(detection->hold);
}

TEST_F(MidiSetupWindowsTest, TheRowPicturesExist)
{
    for (UINT id = CPRESetup::kRowNumberPictureFirst; id <= CPRESetup::kRowLabelPicture; ++id) EXPECT_TRUE(PictureStore::Has(id)) << id;
    for (UINT id = CMidiSetup::kRackPictureFirst; id < CMidiSetup::kRackPictureFirst + 16; ++id) EXPECT_TRUE(PictureStore::Has(id)) << id;
}
