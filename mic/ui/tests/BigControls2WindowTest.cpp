// The enlarged read-out offscreen: its three records as drawn (digits, gain steps, switches,
// label), a change redrawing only its own field, presses swallowed; the shell bringing it up and
// ending it; and the main dialog against the server simulator bringing it up for a line the
// server changed, for 2.5 s of virtual time unless the line is held.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QTest>
#include <memory>
#include <vector>

#include "../../tests/RealTimeLoop.h"
#include "../../tests/ServerModeFixture.h"
#include "app/BigControls2.h"
#include "mic_ui/BigControls2Window.h"
#include "mic_ui/PictureStore.h"
#include "mic_ui/QtShell.h"
#include "winport_ui/Canvas.h"

namespace P = ReadoutPictures;

namespace {

QRgb Rgb(int r, int g, int b) { return static_cast<QRgb>((r << 16) | (g << 8) | b); }
QRgb Pixel(const QImage& image, const QPoint& at) { return image.pixel(at) & 0xFFFFFF; }

ReadoutChannel Channel(int line, int gain, const char* label, int entry = 0)
{
    ReadoutChannel c;
    c.nMicLine = line;
    c.nGain = gain;
    c.strLabel = label;
    c.nEntry = entry;
    return c;
}

// The lit segments of a gain-step picture: runs of the lit colour across its middle.
int LitSegments(const QImage& shot, const QRect& rect)
{
    int runs = 0;
    bool inRun = false;
    for (int x = rect.left(); x <= rect.right(); ++x) {
        const bool lit = Pixel(shot, QPoint(x, rect.center().y())) == Rgb(0, 230, 0);
        if (lit && !inRun) ++runs;
        inRun = lit;
    }
    return runs;
}

// The picture as a control shows it: over the read-out's background.
QImage Shown(UINT picture, const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(ToQColor(CBigControls2::kBackground));
    QPainter p(&image);
    p.drawPixmap(0, 0, PictureStore::Pixmap(picture));
    return image;
}

// Records what a window and its controls paint, in the window's coordinates, and the presses
// that reach them.
class WindowEvents : public QObject {
public:
    explicit WindowEvents(QWidget* window) : m_window(window)
    {
        window->installEventFilter(this);
        for (QWidget* child : window->findChildren<QWidget*>()) child->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(event)->region().translated(widget->mapTo(m_window, QPoint(0, 0)));
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress) ++presses;
        return false;
    }
    QRegion painted;
    int presses = 0;

private:
    QWidget* m_window;
};

class ReadoutWindowTest : public ::testing::Test {
protected:
    void Open()
    {
        window = std::make_unique<CBigControls2Window>(core);
        window->show();
        window->activateWindow();
        // Shown and active: what is painted later comes from the records alone.
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    // Lets every pending paint happen.
    void Settle()
    {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

    CBigControls2 core;
    std::unique_ptr<CBigControls2Window> window;
};

}  // namespace

TEST_F(ReadoutWindowTest, ThreeRecordsAreDrawnInLargeDigitsAndGainSteps)
{
    ReadoutChannel changed = Channel(12, 45, "Vox");
    changed.bPhant = true;
    changed.bMicInput = true;
    ReadoutChannel higher = Channel(105, 70, "Brass", 1);
    higher.bPad = true;
    higher.bPhase = true;
    core.ShowChannel(Channel(4, 20, "Kick"), changed, higher, FALSE);
    Open();
    const QImage shot = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(Rgb(0x28, 0x5F, 0x95), Pixel(shot, QPoint(2, 2))) << "the read-out's background";

    struct Row {
        int record;
        std::vector<int> digits;  // right-aligned in three places, -1 blank
        QRgb face;                // the digits' face: neighbour, changed channel, active channel
        int step;
        const char* label;
        UINT phant, pad, input, phase;
    };
    const Row rows[] = {
        {0, {-1, -1, 4}, Rgb(29, 68, 107), 3, "Kick", P::kPhantOff, P::kPadOff, P::kLineInput, P::kPhaseOff},
        {1, {-1, 1, 2}, Rgb(255, 176, 0), 8, "Vox", P::kPhantOn, P::kPadOff, P::kMicInput, P::kPhaseOff},
        {2, {1, 0, 5}, Rgb(0, 168, 107), 13, "Brass", P::kPhantOff, P::kPadOn, P::kLineInput, P::kPhaseOn},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.record);
        for (int d = 0; d < CBigControls2Window::kDigits; ++d) {
            const UINT picture = window->PictureOf(row.record, CBigControls2::kFieldMicLine, d);
            if (row.digits[d] < 0) {
                EXPECT_EQ(0u, picture) << d;
                continue;
            }
            EXPECT_EQ(P::Digit(row.digits[d], row.record, row.record == 2 ? 1 : 0), picture) << d;
            const QRect at(window->ControlRect(row.record, CBigControls2::kFieldMicLine, d).topLeft(),
                           PictureStore::Pixmap(picture).size());
            EXPECT_EQ(Shown(picture, at.size()), shot.copy(at)) << "digit " << d;
            EXPECT_EQ(row.face, Pixel(shot, at.topLeft() + QPoint(4, 4))) << "digit " << d;
        }
        const QRect gain = window->FieldRect(row.record, CBigControls2::kFieldGain);
        EXPECT_EQ(P::GainStep(row.step), window->PictureOf(row.record, CBigControls2::kFieldGain));
        EXPECT_EQ(row.step - 2, LitSegments(shot, gain)) << "one segment lit for each step from 3";
        EXPECT_EQ(QString(row.label), window->LabelText(row.record));
        EXPECT_EQ(row.phant, window->PictureOf(row.record, CBigControls2::kFieldPhant));
        EXPECT_EQ(row.pad, window->PictureOf(row.record, CBigControls2::kFieldPad));
        EXPECT_EQ(row.input, window->PictureOf(row.record, CBigControls2::kFieldMicInput));
        EXPECT_EQ(row.phase, window->PictureOf(row.record, CBigControls2::kFieldPhase));
    }
    auto* label = qobject_cast<QLabel*>(window->childAt(window->FieldRect(1, CBigControls2::kFieldLabel).center()));
    ASSERT_NE(nullptr, label);
    EXPECT_EQ(30, label->font().pixelSize());
    EXPECT_TRUE(label->font().bold());

    // An empty record shows nothing at all.
    core.ShowChannel(ReadoutChannel(), changed, higher, TRUE);
    Settle();
    const QImage empty = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect row0(0, window->FieldRect(0, CBigControls2::kFieldLabel).top(), window->width(),
                     window->FieldRect(0, CBigControls2::kFieldLabel).height());
    QImage blank(row0.size(), QImage::Format_RGB32);
    blank.fill(ToQColor(CBigControls2::kBackground));
    EXPECT_EQ(blank, empty.copy(row0));
}

TEST_F(ReadoutWindowTest, AChangedFieldIsTheOnlyPartDrawnAgain)
{
    const ReadoutChannel lower = Channel(4, 20, "Kick"), higher = Channel(9, 30, "Bass");
    ReadoutChannel changed = Channel(6, 45, "Vox");
    core.ShowChannel(lower, changed, higher, FALSE);
    Open();
    Settle();

    struct Case {
        const char* name;
        void (*change)(ReadoutChannel&);
        unsigned field;
    };
    const Case cases[] = {
        {"gain", [](ReadoutChannel& c) { c.nGain = 50; }, CBigControls2::kFieldGain},
        {"Pad", [](ReadoutChannel& c) { c.bPad = true; }, CBigControls2::kFieldPad},
        {"label", [](ReadoutChannel& c) { c.strLabel = "Lead"; }, CBigControls2::kFieldLabel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowEvents events(window.get());
        c.change(changed);
        core.ShowChannel(lower, changed, higher, TRUE);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !events.painted.isEmpty(); }, 5000));
        Settle();
        const QRect field = window->FieldRect(1, c.field);
        EXPECT_TRUE(field.contains(events.painted.boundingRect()))
            << "painted " << events.painted.boundingRect().x() << "," << events.painted.boundingRect().y() << " "
            << events.painted.boundingRect().width() << "x" << events.painted.boundingRect().height();
    }
    EXPECT_EQ(P::GainStep(9), window->PictureOf(1, CBigControls2::kFieldGain));
    EXPECT_EQ(P::kPadOn, window->PictureOf(1, CBigControls2::kFieldPad));
    EXPECT_EQ("Lead", window->LabelText(1));

    // The same line drawn whole paints every row.
    WindowEvents events(window.get());
    core.ShowChannel(Channel(3, 20, "Pno"), Channel(5, 20, "Gtr"), Channel(8, 20, "Tpt"), FALSE);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !events.painted.isEmpty(); }, 5000));
    Settle();
    for (int r = 0; r < CBigControls2::kRecords; ++r)
        EXPECT_TRUE(events.painted.intersects(window->FieldRect(r, CBigControls2::kFieldMicLine))) << r;
}

TEST_F(ReadoutWindowTest, KeysAndLeftButtonPressesAreSwallowed)
{
    core.ShowChannel(Channel(4, 20, "Kick"), Channel(6, 45, "Vox"), ReadoutChannel(), FALSE);
    Open();
    WindowEvents events(window.get());
    QWidget* label = window->childAt(window->FieldRect(1, CBigControls2::kFieldLabel).center());
    ASSERT_NE(nullptr, label);

    QTest::keyClick(window.get(), Qt::Key_Escape);
    QTest::keyClick(window.get(), Qt::Key_Return);
    QTest::keyClick(label, Qt::Key_A);
    QTest::mouseClick(label, Qt::LeftButton);
    QTest::mouseClick(window.get(), Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(0, events.presses) << "nothing of the read-out saw them";
    EXPECT_TRUE(window->isVisible()) << "Escape does not end it";
    EXPECT_EQ(0, window->result());

    QTest::mousePress(label, Qt::RightButton);
    EXPECT_LT(0, events.presses) << "other buttons pass";
    QTest::mouseRelease(label, Qt::RightButton);
}

TEST(QtShellReadout, ComesUpReadyIsEndedByTheDialogAndTellsWhenTheOperatorClosesIt)
{
    QWidget main;
    QtShell shell(&main);
    std::vector<bool> events;
    auto event = [&events](bool ready) { events.push_back(ready); };
    shell.SetReadoutChannels(nullptr, {Channel(4, 20, "Kick"), Channel(6, 45, "Vox"), ReadoutChannel()}, false);
    ASSERT_TRUE(shell.ShowReadout(nullptr, event));
    CBigControls2Window* window = shell.ReadoutWindow();
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(&main, window->parentWidget());
    EXPECT_EQ(Qt::WindowModal, window->windowModality());
    EXPECT_TRUE(events.empty()) << "ready once it is up";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !events.empty(); }, 5000));
    EXPECT_EQ(std::vector<bool>({true}), events);
    EXPECT_EQ("Vox", window->LabelText(1));

    // Shown again while up: the same window, ready again; new records are drawn at once.
    ASSERT_TRUE(shell.ShowReadout(nullptr, event));
    EXPECT_EQ(window, shell.ReadoutWindow());
    shell.SetReadoutChannels(nullptr, {Channel(4, 20, "Kick"), Channel(6, 45, "Lead"), ReadoutChannel()}, true);
    EXPECT_EQ("Lead", window->LabelText(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() == 2; }, 5000));

    // The dialog ends it: no report of its going, and the records are emptied.
    shell.CloseReadout(nullptr);
    EXPECT_EQ(nullptr, shell.ReadoutWindow());
    EXPECT_EQ(ReadoutChannel(), shell.Readout().GetChannel(1));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(std::vector<bool>({true, true}), events);

    // Up again at once in a new window; the operator closes it: it went by itself.
    ASSERT_TRUE(shell.ShowReadout(nullptr, event));
    window = shell.ReadoutWindow();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() == 3; }, 5000));
    window->close();
    EXPECT_EQ(std::vector<bool>({true, true, true, false}), events);
    EXPECT_EQ(nullptr, shell.ReadoutWindow());
}

// ---- The main dialog against the server simulator ------------------------------------------------

namespace {

class ReadoutFromServer : public ServerModeFixture {
protected:
    void BeforeCreate() override { StartSimulator(); }
    Shell* DialogShell() override { return &qtShell; }

    // One unit answering; the main window, with another window of the program in front.
    void StartWithFrontWindow()
    {
        StartAnswering(1);
        ASSERT_TRUE(dlg->HasMicLine());
        mainWindow.show();
        front.show();
        front.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&front));
    }

    // The record comes from the server in real time; the read-out is up and ready.
    bool PushUntilReady(const MicLineRecord& record)
    {
        if (Push(record) != "ok 1") return false;
        return RunLoopUntil(
            [&] {
                QCoreApplication::processEvents();
                return qtShell.ReadoutWindow() && dlg->m_bReadoutReady;
            },
            10000);
    }

    QWidget mainWindow;
    QWidget front;
    QtShell qtShell{&mainWindow};
};

}  // namespace

TEST_F(ReadoutFromServer, AGainChangeShowsTheLineAndItsNeighboursForTwoAndAHalfSeconds)
{
    StartWithFrontWindow();
    dlg->m_RackSetup.SetPopupControls(TRUE);
    Assign(0, 0, 4);
    Assign(0, 1, 6, true);
    Assign(0, 2, 9);
    Assign(0, 3, 20);
    dlg->m_RackSetup.SetLabel(0, 1, "Vox");

    ASSERT_TRUE(PushUntilReady(MicLineRecordWith(5, 1, 0, 9)));
    CBigControls2Window* window = qtShell.ReadoutWindow();
    EXPECT_TRUE(window->isVisible());
    const int lines[] = {4, 6, 9};
    for (int r = 0; r < CBigControls2::kRecords; ++r) {
        EXPECT_EQ(lines[r], qtShell.Readout().GetChannel(r).nMicLine) << r;
        EXPECT_EQ(P::Digit(lines[r], r, 0), window->PictureOf(r, CBigControls2::kFieldMicLine, 2)) << r;
    }
    EXPECT_EQ(P::GainStep(9), window->PictureOf(1, CBigControls2::kFieldGain)) << "the server's gain step";
    EXPECT_EQ(P::GainStep(3), window->PictureOf(0, CBigControls2::kFieldGain));
    EXPECT_EQ(P::kMicInput, window->PictureOf(1, CBigControls2::kFieldMicInput));
    EXPECT_EQ("Vox", window->LabelText(1));

    Run(2490);
    EXPECT_EQ(window, qtShell.ReadoutWindow());
    EXPECT_TRUE(window->isVisible());
    Run(20);
    EXPECT_EQ(nullptr, qtShell.ReadoutWindow()) << "gone after 2.5 s";
    EXPECT_FALSE(dlg->m_bReadoutOpen);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&front)) << "the window that was in front comes back";
}

TEST_F(ReadoutFromServer, ALineSelectedAtTheConsoleKeepsItUpUntilReleased)
{
    StartWithFrontWindow();
    dlg->m_RackSetup.SetPopupOnSel(TRUE);
    Assign(0, 1, 6);
    Assign(0, 2, 9);

    ASSERT_TRUE(PushUntilReady(MicLineRecordWith(5, 1, 0, 3, 1)));
    EXPECT_EQ(6, qtShell.Readout().GetChannel(1).nMicLine);
    EXPECT_EQ(9, qtShell.Readout().GetChannel(2).nMicLine);
    EXPECT_EQ(0, qtShell.Readout().GetChannel(0).nMicLine) << "no line in use below";
    CBigControls2Window* window = qtShell.ReadoutWindow();
    Run(5000);
    EXPECT_EQ(window, qtShell.ReadoutWindow()) << "held while selected";

    ASSERT_EQ("ok 1", Push(MicLineRecordWith(5, 1, 0, 3, 0)));
    ASSERT_TRUE(RunLoopUntil([&] { return dlg->m_nHeldRack < 0; }, 10000));
    Run(2490);
    EXPECT_EQ(window, qtShell.ReadoutWindow());
    Run(20);
    EXPECT_EQ(nullptr, qtShell.ReadoutWindow()) << "released: gone 2.5 s later";
}
