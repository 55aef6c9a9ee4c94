// The MIDI message monitor's window offscreen: coloured lines, the newest in view, the log's
// emptying followed, the main dialog told when it goes, and its place kept between openings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTextBlock>

#include "TestEnvironment.h"
#include "base/MicMessages.h"
#include "mic_ui/MidiMonitorWindow.h"
#include "winport/MessageLoop.h"
#include "winport/RegistryObject.h"
#include "winport/Window.h"
#include "winport_ui/QtScreenService.h"

TEST(MidiMonitorWindow, ShowsColouredLinesWithTheNewestInView)
{
    bool gone = false;
    winport::WindowOptions options;
    options.reachable = false;
    HWND owner = winport::CreateMessageWindow("MonitorOwner", [&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
        if (m == WM_MIDI_MONITOR_GONE) gone = true;
        return 0;
    }, options);
    CDebugDlg log;
    auto* window = new MidiMonitorWindow(log, owner);
    window->show();
    for (int i = 0; i < 200; ++i) log.AddMessage("IN \t1\t179\t73\t64\n", i % 2 ? RGB(220, 20, 60) : RGB(117, 153, 187));
    window->Refresh();
    QApplication::processEvents();
    QTextDocument* doc = window->Log()->document();
    QTextBlock first = doc->firstBlock();
    EXPECT_EQ(first.text(), "IN \t1\t179\t73\t64");
    ASSERT_FALSE(first.textFormats().isEmpty());
    EXPECT_EQ(first.textFormats()[0].format.foreground().color(), QColor(117, 153, 187));
    EXPECT_EQ(first.next().textFormats()[0].format.foreground().color(), QColor(220, 20, 60));
    QScrollBar* bar = window->Log()->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    // The log emptied by its bound: the window starts again.
    log.Clear();
    log.AddMessage("Close\t3\n", RGB(1, 2, 3));
    window->Refresh();
    EXPECT_EQ(doc->firstBlock().text(), "Close\t3");

    window->close();  // deletes itself
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    winport::MessageLoop::Current().RunUntilIdle();
    EXPECT_TRUE(gone);
    DestroyWindow(owner);
}

TEST(MidiMonitorWindow, OpensWhereItLastStood)
{
    TestEnvironment env;
    auto screens = winport::QtScreenService::Install();
    CCurrentUserRegistryObject().SetBool("Software\\VOKDWEN\\Vok Dwen Cantle\\CantleInterface", "SaveScreen", TRUE);
    CDebugDlg log;
    auto* first = new MidiMonitorWindow(log, nullptr);
    const QPoint opened = first->pos();
    first->show();
    const QPoint moved = opened + QPoint(70, 40);
    first->move(moved);
    QApplication::processEvents();
    delete first;  // goes as its close does: the place is kept

    MidiMonitorWindow second(log, nullptr);
    EXPECT_EQ(second.pos(), moved);
    winport::SetScreenService(nullptr);
}
