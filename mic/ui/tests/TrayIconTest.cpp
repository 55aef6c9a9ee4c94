#include <gtest/gtest.h>

#include <QSystemTrayIcon>
#include <string>
#include <vector>

#include "RecordingTray.h"
#include "TestEnvironment.h"
#include "base/ProgramConstants.h"
#include "mic_ui/SmallDialogs.h"
#include "mic_ui/TrayIcon.h"
#include "winport/Window.h"

namespace {

const HWND kWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));

}  // namespace

TEST(TrayIcon, WithoutANotificationAreaEveryCallIsRefusedAndNothingIsShown)
{
    RecordingTray none(false);
    CTrayIcon tray(&none);
    EXPECT_FALSE(tray.IsSupported());
    EXPECT_EQ(tray.Create(kWindow, ProgramIcon(), 128, "Midi Control"), FALSE);
    EXPECT_EQ(tray.SetIconList(572), FALSE);
    EXPECT_EQ(tray.SetIconFromList(1), FALSE);
    EXPECT_EQ(tray.SetTooltip("x"), FALSE);
    EXPECT_EQ(tray.SetStandardIcon(IDI_HAND, -1), FALSE);
    EXPECT_EQ(tray.RemoveIcon(), FALSE);
    EXPECT_TRUE(none.calls.empty());
    EXPECT_EQ(tray.GetIds().GetSize(), 0);
}

TEST(TrayIcon, AddsWithTipAndCallbackAndCutsLongTips)
{
    RegisterProgramMessages();
    RecordingTray rec;
    CTrayIcon tray(&rec);
    EXPECT_FALSE(tray.GetTooltip().IsEmpty());  // the program's name by default
    ASSERT_TRUE(tray.Create(kWindow, ProgramIcon(), 128, "Midi Control"));
    ASSERT_EQ(rec.calls.size(), 1u);
    const auto& [message, added] = rec.calls[0];
    EXPECT_EQ(message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(added.hWnd, kWindow);
    EXPECT_EQ(added.uID, 128u);
    EXPECT_EQ(added.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(added.uCallbackMessage, RegisterWindowMessageA("MsgTaskIconNotify"));
    EXPECT_STREQ(added.szTip, "Midi Control");

    const std::string longTip(200, 'x');
    ASSERT_TRUE(tray.SetTooltip(longTip.c_str()));
    EXPECT_EQ(rec.calls.back().first, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(rec.calls.back().second.uFlags, static_cast<UINT>(NIF_TIP));
    EXPECT_EQ(std::string(rec.calls.back().second.szTip), std::string(127, 'x'));
    EXPECT_EQ(tray.GetTooltip().GetLength(), 200);  // the object keeps the whole text
}

TEST(TrayIcon, AnimationFramesComeFromTheStripAndAreCached)
{
    RecordingTray rec;
    CTrayIcon tray(&rec);
    ASSERT_TRUE(tray.Create(kWindow, ProgramIcon(), 128, "Midi Control"));
    ASSERT_TRUE(tray.SetIconList(572));
    EXPECT_EQ(tray.GetIconCount(), 3);

    struct Step {
        int index;
        int shown;
        bool notifies;
    };
    // Index past the end shows the last image; the same image again does not reach the desktop.
    const Step steps[] = {{0, 0, true}, {1, 1, true}, {1, 1, false}, {2, 2, true}, {7, 2, false}, {0, 0, true}};
    for (const auto& s : steps) {
        const size_t before = rec.calls.size();
        EXPECT_TRUE(tray.SetIconFromList(s.index));
        EXPECT_EQ(tray.GetShownFrame(), s.shown) << s.index;
        EXPECT_EQ(rec.calls.size() - before, s.notifies ? 1u : 0u) << s.index;
        if (s.notifies) {
            EXPECT_EQ(rec.calls.back().second.uFlags, static_cast<UINT>(NIF_ICON));
            EXPECT_EQ(rec.calls.back().second.uID, 128u);
        }
    }
    // The strip's mask colour is transparent in the frames; the face is not.
    const QImage frame = rec.calls.back().second.hIcon.pixmap(16, 16).toImage();
    EXPECT_EQ(qAlpha(frame.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(frame.pixel(6, 6)), 255);
    // A frame of two strips of different images differs.
    tray.SetIconFromList(1);
    EXPECT_NE(rec.calls.back().second.hIcon.pixmap(16, 16).toImage(), frame);
}

TEST(TrayIcon, RemovingAnIdAddedTwiceRemovesBothEntries)
{
    RecordingTray rec;
    CTrayIcon tray(&rec);
    tray.Create(kWindow, ProgramIcon(), 128);
    tray.Create(kWindow, ProgramIcon(), 5);
    tray.Create(kWindow, ProgramIcon(), 128);
    ASSERT_EQ(tray.GetIds().GetSize(), 3);
    ASSERT_TRUE(tray.RemoveIcon(128));
    ASSERT_EQ(tray.GetIds().GetSize(), 1);
    EXPECT_EQ(tray.GetIds()[0], 5u);
    EXPECT_EQ(rec.calls.back().first, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(rec.calls.back().second.uID, 128u);
    rec.calls.clear();
    ASSERT_TRUE(tray.RemoveIcon());
    ASSERT_EQ(rec.calls.size(), 1u);
    EXPECT_EQ(rec.calls[0].second.uID, 5u);
}

TEST(TrayIcon, ClicksReachTheWindowAsItsCallbackMessage)
{
    TestEnvironment env;
    RegisterProgramMessages();
    std::vector<std::pair<WPARAM, LPARAM>> got;
    const UINT notify = g_msgTaskIconNotify;
    HWND hwnd = winport::CreateMessageWindow("TrayOwner", [&](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg == notify) got.push_back({w, l});
        return 0;
    });
    RecordingTray rec;
    CTrayIcon tray(&rec);
    ASSERT_TRUE(tray.Create(hwnd, ProgramIcon(), 128, "Midi Control"));
    rec.Click(WM_LBUTTONDBLCLK);
    rec.Click(WM_RBUTTONUP);
    winport::MessageLoop::Current().RunUntilIdle();
    EXPECT_EQ(got, (std::vector<std::pair<WPARAM, LPARAM>>{{128, WM_LBUTTONDBLCLK}, {128, WM_RBUTTONUP}}));
    DestroyWindow(hwnd);

    // Qt's activation reasons map to the mouse messages the program knows.
    EXPECT_EQ(QtTrayBackend::MouseMessageOf(QSystemTrayIcon::Trigger), static_cast<UINT>(WM_LBUTTONUP));
    EXPECT_EQ(QtTrayBackend::MouseMessageOf(QSystemTrayIcon::DoubleClick), static_cast<UINT>(WM_LBUTTONDBLCLK));
    EXPECT_EQ(QtTrayBackend::MouseMessageOf(QSystemTrayIcon::Context), static_cast<UINT>(WM_RBUTTONUP));
    EXPECT_EQ(QtTrayBackend::MouseMessageOf(QSystemTrayIcon::Unknown), 0u);
}

TEST(TrayIcon, QtBackendOffscreenHasNoNotificationArea)
{
    QtTrayBackend qt;
    EXPECT_FALSE(qt.IsSupported());
    CTrayIcon tray;  // the program's default backend
    EXPECT_FALSE(tray.IsSupported());
    EXPECT_EQ(tray.Create(kWindow, ProgramIcon(), 128, "Midi Control"), FALSE);
}
