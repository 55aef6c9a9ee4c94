#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "TestEnvironment.h"
#include "winport/Window.h"
#include "winport_ui/QtMessagePump.h"
#include "winport_ui/QtMessageBox.h"

using winport::QtMessagePump;

namespace {

/// Ends a Qt loop that would otherwise wait for ever when the code under test fails.
void Guard(int ms = 5000)
{
    QTimer::singleShot(ms, [] { PostQuitMessage(-99); });
}

}  // namespace

TEST(QtMessagePump, DispatchesPostsFromOtherThreadsAndEndsOnQuit)
{
    TestEnvironment env;
    std::vector<WPARAM> seen;
    HWND hwnd = winport::CreateMessageWindow("PumpTest", [&](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
        if (msg == WM_USER) {
            seen.push_back(w);
            if (seen.size() == 3) PostQuitMessage(7);
        }
        return 0;
    });
    ASSERT_NE(hwnd, nullptr);
    QtMessagePump pump;
    std::thread poster([hwnd] {
        for (WPARAM i = 1; i <= 3; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            PostMessageA(hwnd, WM_USER, i, 0);
        }
    });
    Guard();
    EXPECT_EQ(pump.RunUntilQuit(), 7);
    poster.join();
    EXPECT_EQ(seen, (std::vector<WPARAM>{1, 2, 3}));
    DestroyWindow(hwnd);
}

TEST(QtMessagePump, RunsTimersSetFromQtHandlersWithinTheirPeriod)
{
    TestEnvironment env;
    using Clock = std::chrono::steady_clock;
    Clock::time_point armed;
    std::vector<long> ticksMs;
    HWND hwnd = winport::CreateMessageWindow("PumpTimer", [&](HWND h, UINT msg, WPARAM id, LPARAM) -> LRESULT {
        if (msg == WM_TIMER && id == 1) {
            ticksMs.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - armed).count());
            if (ticksMs.size() == 3) {
                KillTimer(h, 1);
                PostQuitMessage(0);
            }
        }
        return 0;
    });
    QtMessagePump pump;
    // The timer is started by a Qt callback, as a click on a view reaches a dialog core.
    QTimer::singleShot(0, [&] {
        armed = Clock::now();
        SetTimer(hwnd, 1, 60, nullptr);
    });
    Guard();
    EXPECT_EQ(pump.RunUntilQuit(), 0);
    ASSERT_EQ(ticksMs.size(), 3u);
    for (size_t i = 0; i < ticksMs.size(); ++i) {
        EXPECT_GE(ticksMs[i], static_cast<long>(60 * (i + 1)) - 2) << i;
        EXPECT_LT(ticksMs[i], static_cast<long>(60 * (i + 1)) + 400) << i;
    }
    EXPECT_EQ(pump.ArmedInterval(), -1);  // no timer left
    DestroyWindow(hwnd);
}

TEST(QtMessagePump, AQuitAlreadyPendingReturnsAfterWhatCameBefore)
{
    TestEnvironment env;
    int seen = 0;
    HWND hwnd = winport::CreateMessageWindow("PumpQuit", [&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == WM_USER) ++seen;
        return 0;
    });
    PostMessageA(hwnd, WM_USER, 0, 0);
    PostQuitMessage(3);
    QtMessagePump pump;
    EXPECT_EQ(pump.RunUntilQuit(), 3);
    EXPECT_EQ(seen, 1);
    EXPECT_FALSE(winport::MessageLoop::Current().QuitPending());
    DestroyWindow(hwnd);
}

TEST(QtMessageBox, ButtonsDefaultsAndAnswersFollowTheBoxType)
{
    struct Case {
        UINT type;
        std::vector<QMessageBox::StandardButton> buttons;
        QMessageBox::StandardButton defaultButton;
        int escapeAnswer;
    };
    const Case cases[] = {
        {MB_OK, {QMessageBox::Ok}, QMessageBox::Ok, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, {QMessageBox::Ok, QMessageBox::Cancel}, QMessageBox::Cancel, IDCANCEL},
        {MB_YESNO, {QMessageBox::Yes, QMessageBox::No}, QMessageBox::Yes, IDNO},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}, QMessageBox::Cancel,
         IDCANCEL},
        {MB_RETRYCANCEL, {QMessageBox::Retry, QMessageBox::Cancel}, QMessageBox::Retry, IDCANCEL},
        {MB_ABORTRETRYIGNORE, {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore}, QMessageBox::Abort,
         IDABORT},
    };
    const std::map<QMessageBox::StandardButton, int> answers = {
        {QMessageBox::Ok, IDOK},       {QMessageBox::Cancel, IDCANCEL}, {QMessageBox::Yes, IDYES},
        {QMessageBox::No, IDNO},       {QMessageBox::Retry, IDRETRY},   {QMessageBox::Abort, IDABORT},
        {QMessageBox::Ignore, IDIGNORE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        for (auto b : c.buttons) {
            std::unique_ptr<QMessageBox> box(winport::CreateMessageBox(nullptr, "Text \xe9", "Caption", c.type));
            EXPECT_EQ(box->buttons().size(), static_cast<qsizetype>(c.buttons.size()));
            EXPECT_EQ(box->standardButton(box->defaultButton()), c.defaultButton);
            EXPECT_EQ(box->text(), QString::fromUtf8("Text \xc3\xa9"));
            box->open();
            box->button(b)->click();
            EXPECT_EQ(winport::MessageBoxAnswer(*box, c.type), answers.at(b));
        }
        std::unique_ptr<QMessageBox> box(winport::CreateMessageBox(nullptr, "Text", "Caption", c.type));
        box->open();
        box->reject();  // closed with Escape or the close box
        EXPECT_EQ(winport::MessageBoxAnswer(*box, c.type), c.escapeAnswer);
    }
}

TEST(QtMessageBox, HookAnswersFromOtherThreadsWithoutWaiting)
{
    auto previous = winport::InstallQtMessageBoxHook();
    std::atomic<int> answer{0};
    std::thread other([&] { answer = MessageBoxA(nullptr, "From a worker", "Worker", MB_YESNO | MB_DEFBUTTON2); });
    other.join();
    EXPECT_EQ(answer.load(), IDNO);
    // On the user-interface thread the box is a real, modal Qt box.
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) box->button(QMessageBox::Retry)->click();
        }
    });
    EXPECT_EQ(MessageBoxA(nullptr, "Again?", "Question", MB_RETRYCANCEL), IDRETRY);
    winport::SetMessageBoxHook(previous);
}
