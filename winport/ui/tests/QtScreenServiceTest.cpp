#include <gtest/gtest.h>

#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include "winport_ui/QtScreenService.h"

TEST(QtScreenService, ReportsQtScreensAndPlacesWidgets)
{
    auto service = winport::QtScreenService::Install();
    EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 2);
    EXPECT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), 3200);
    EXPECT_EQ(GetSystemMetrics(SM_CYVIRTUALSCREEN), 1080);

    MONITORINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetMonitorInfoA(MonitorFromPoint(POINT{2000, 10}, MONITOR_DEFAULTTONULL), &info));
    EXPECT_EQ(info.rcMonitor.left, 1920);
    EXPECT_EQ(info.rcMonitor.right, 3200);
    EXPECT_EQ(info.rcMonitor.bottom, 1024);
    EXPECT_EQ(info.dwFlags, 0u);

    QWidget dialog;
    dialog.resize(400, 300);
    auto* button = new QPushButton("OK", &dialog);
    button->setGeometry(10, 20, 80, 24);
    const HWND hDlg = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x42));
    service->Attach(hDlg, &dialog);
    ASSERT_TRUE(SetWindowPos(hDlg, HWND_TOP, 2100, 200, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW));
    RECT r{};
    ASSERT_TRUE(GetWindowRect(hDlg, &r));
    EXPECT_EQ(r.left, 2100);
    EXPECT_EQ(r.top, 200);
    EXPECT_EQ(r.right - r.left, dialog.frameGeometry().width());  // the frame is part of it
    EXPECT_EQ(dialog.width(), 400);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.screen()->name(), "second");

    const HWND child = GetWindow(hDlg, GW_CHILD);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(service->WidgetOf(child), button);
    ASSERT_TRUE(GetWindowRect(child, &r));
    EXPECT_EQ(r.left, dialog.mapToGlobal(QPoint(0, 0)).x() + 10);
    EXPECT_EQ(GetWindow(child, GW_HWNDNEXT), nullptr);

    service->Detach(hDlg);
    EXPECT_FALSE(GetWindowRect(hDlg, &r));
    winport::SetScreenService(nullptr);
}
