// The mini view on Qt's offscreen platform: clicks reach the main dialog's core and the window
// shows the result; it stays on top as the option says; the shell opens it where the main
// window stands and Maximise brings the main window back.
#include <gtest/gtest.h>

#include <QTest>

#include "../../tests/FakeSerialPorts.h"
#include "../../tests/ScriptedShell.h"
#include "TestEnvironment.h"
#include "app/MicDlg.h"
#include "mic_ui/MicDlgWindow.h"
#include "mic_ui/MinimisedWindow.h"
#include "mic_ui/QtShell.h"
#include "winport/Clock.h"
#include "winport/Profile.h"

namespace {

namespace P = MainDialogPictures;

class MinimisedWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        winport::SetProfileName("micUlvo.ini");
        winport::WriteProfileInt("Settings", "Auto Restore", 0);
        winport::WriteProfileInt("Settings", "Communication Port", 3);
        ports.Plug(3);
        dlg = std::make_unique<CMicDlg>(nullptr, &shell);
        dlg->SetSerialPorts(ports.Factory(), ports.Availability());
        dlg->SetPortWriter([this](const BYTE*, int) { dlg->m_Link.Sent(); });
        ASSERT_TRUE(dlg->Create());
    }
    void TearDown() override { dlg->SetView(nullptr); }
    void Click(QWidget& window, int id)
    {
        QWidget* control = window.findChild<QWidget*>(QString::number(id));
        ASSERT_NE(control, nullptr) << id;
        QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
    }

    TestEnvironment env;
    winport::ManualClock clock{1000};
    winport::ScopedClock scoped{clock};
    FakeSerialPorts ports;
    ScriptedShell shell;
    std::unique_ptr<CMicDlg> dlg;
};

}  // namespace

TEST_F(MinimisedWindowTest, ClicksReachTheCoreAndTheViewShowsThem)
{
    for (BYTE onTop : {BYTE(1), BYTE(0)}) {
        dlg->m_bMiniAlwaysOnTop = onTop;
        CMinimisedWindow mini(*dlg, &shell);
        EXPECT_EQ(mini.windowFlags().testFlag(Qt::WindowStaysOnTopHint), onTop != 0);
    }

    CMinimisedWindow mini(*dlg, &shell);
    mini.Core().OnInitDialog(CPoint(0, 0));
    mini.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&mini));
    EXPECT_EQ(mini.windowTitle(), "Remote Mic Control");
    EXPECT_EQ(mini.PictureOf(CMinimised::kIdRackNumber), P::RackNumber(0));
    EXPECT_EQ(mini.PictureOf(CMinimised::kIdRackState), UINT(CMinimised::kStateNoUnit));

    // Every switch is flat, does not shift when pressed, and shows the mini view's pictures.
    for (const SwitchRow& row : kSwitchRows) {
        auto* button = qobject_cast<CBmpButton*>(mini.Control(row.firstId + 3));
        ASSERT_NE(button, nullptr) << row.caption;
        EXPECT_FALSE(button->Look().border) << row.caption;
        EXPECT_FALSE(button->Look().pressedOffset) << row.caption;
        const bool on = row.IsOn(dlg->ChannelState(0, 3));
        EXPECT_EQ(mini.PictureOf(row.firstId + 3), on ? CMinimised::kSwitchOnPicture : CMinimised::kSwitchOffPicture)
            << row.caption;
    }

    const int mode = dlg->m_RackSetup.GetChannelMode(0, 0);
    Click(mini, CMinimised::kIdDirFirst);
    EXPECT_NE(dlg->m_RackSetup.GetChannelMode(0, 0), mode);
    EXPECT_EQ(mini.PictureOf(CMinimised::kIdDirFirst), mode ? CMinimised::kSwitchOffPicture : CMinimised::kSwitchOnPicture);
    // The button's picture is drawn: the window's pixels change with it.
    const QImage before = mini.grab().toImage();
    Click(mini, CMinimised::kIdDirFirst);
    EXPECT_NE(mini.grab().toImage(), before);

    Click(mini, CMinimised::kIdNextRack);
    EXPECT_EQ(dlg->m_RackSetup.GetCurrentRack(), 1);
    EXPECT_EQ(mini.PictureOf(CMinimised::kIdRackNumber), P::RackNumber(1));
    Click(mini, CMinimised::kIdPrevRack);
    Click(mini, CMinimised::kIdPrevRack);
    EXPECT_EQ(dlg->m_RackSetup.GetCurrentRack(), 0);
}

TEST_F(MinimisedWindowTest, TheShellShowsItForTheHiddenMainWindowAndMaximiseEndsIt)
{
    MicDlgWindow window(*dlg);
    dlg->SetView(&window);
    window.move(120, 80);
    window.show();
    QtShell qtShell(&window);
    qtShell.SetDialog(dlg.get());
    bool closed = false;
    qtShell.RunMiniView(dlg->GetSafeHwnd(), [&] { closed = true; });
    auto* mini = qobject_cast<CMinimisedWindow*>(qtShell.MiniView());
    ASSERT_NE(mini, nullptr);
    EXPECT_TRUE(mini->isVisible());
    EXPECT_EQ(mini->pos(), window.frameGeometry().topLeft());
    qtShell.ShowMiniView(false);
    EXPECT_FALSE(mini->isVisible());
    qtShell.ShowMiniView(true);

    Click(*mini, CMinimised::kIdMaximise);
    EXPECT_TRUE(closed);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(qtShell.MiniView(), nullptr);
    EXPECT_EQ(dlg->GetView(), &window);  // the main dialog tells its own window again
}
