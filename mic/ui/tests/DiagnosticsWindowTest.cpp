// The set-up and test dialog on Qt's offscreen platform: clicks reach the core and the main
// dialog's window, and the window shows the core's state.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QTest>
#include <utility>
#include <vector>

#include "TestEnvironment.h"
#include "base/MicMessages.h"
#include "mic_ui/DiagnosticsWindow.h"
#include "mic_ui/QtShell.h"
#include "winport/Clock.h"
#include "winport/Window.h"

namespace {

class DiagnosticsWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CDiagnostics::ResetOptionCopies();
        owner = winport::CreateMessageWindow("MainDialogStandIn", [this](HWND, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_SETTINGS_COMMAND) posted.emplace_back(static_cast<int>(static_cast<INT_PTR>(w)), static_cast<int>(l));
            return 0;
        }, {nullptr, false});
        preset.commPort = 3;
        preset.autoRestore = TRUE;
        preset.versions[0] = "V1.20     ";
        preset.versions[1] = "Version Unknown";
        preset.portAvailable = [](int port) -> BOOL { return port == 3 || port == 4; };
        preset.midiRunning = [this]() -> BOOL { return midiRunning; };
    }
    void TearDown() override
    {
        DestroyWindow(owner);
        CDiagnostics::ResetOptionCopies();
    }
    std::vector<std::pair<int, int>> Take()
    {
        winport::MessageLoop::Current().RunUntilIdle();
        return std::exchange(posted, {});
    }
    template <class T> T* Control(QWidget& dialog, int id) { return dialog.findChild<T*>(QString::number(id)); }
    void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(4, w->height() / 2)); }

    TestEnvironment env;
    winport::ManualClock clock{1000};
    winport::ScopedClock scoped{clock};
    HWND owner = nullptr;
    SetupDialogPreset preset;
    std::vector<std::pair<int, int>> posted;
    bool midiRunning = false;
    HeadlessShell shell;
};

using Posts = std::vector<std::pair<int, int>>;

}  // namespace

TEST_F(DiagnosticsWindowTest, ClicksReachTheCoreAndTheWindowShowsIt)
{
    CDiagnosticsWindow dialog(owner, &shell, preset);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.windowTitle(), "Setup / Test");
    EXPECT_EQ(Control<QLabel>(dialog, 1144)->text(), "V1.20     ");

    auto* ports = Control<QComboBox>(dialog, CDiagnostics::kIdCommPort);
    ASSERT_EQ(ports->count(), 3);
    EXPECT_EQ(ports->currentText(), "COM3");

    auto* autoLoad = Control<QCheckBox>(dialog, CDiagnostics::kIdAutoLoad);
    auto* autoRestore = Control<QCheckBox>(dialog, CDiagnostics::kIdAutoRestore);
    EXPECT_TRUE(autoRestore->isChecked());
    Click(autoLoad);
    EXPECT_TRUE(autoLoad->isChecked());
    EXPECT_FALSE(autoRestore->isChecked());  // the two exclude each other
    EXPECT_FALSE(Control<QCheckBox>(dialog, CDiagnostics::kIdIntegrate)->isVisible());

    Click(Control<QWidget>(dialog, CDiagnostics::kIdTestFirst));      // rack 1: tested
    Click(Control<QWidget>(dialog, CDiagnostics::kIdTestFirst + 1));  // version unknown: nothing
    Click(Control<QWidget>(dialog, CDiagnostics::kIdResetAll));
    ports->setCurrentIndex(2);
    emit ports->activated(2);
    EXPECT_EQ(Take(), (Posts{{1, 6}, {0, 0}, {-1, 2}, {4, 4}}));

    // The MIDI buttons appear with MIDI within a second, drawn in their own colour.
    auto* pre = Control<QWidget>(dialog, CDiagnostics::kIdMidiPreSetup);
    EXPECT_FALSE(pre->isVisible());
    midiRunning = true;
    winport::MessageLoop::Current().AdvanceBy(1000);
    QCoreApplication::processEvents();
    ASSERT_TRUE(pre->isVisible());
    const QImage image = dialog.grab().toImage();
    const QPoint centre = pre->geometry().center() + QPoint(pre->width() / 4, 0);
    EXPECT_EQ(image.pixelColor(centre).rgb() & 0xFFFFFF, QColor(0x8F, 0xBC, 0x8F).rgb() & 0xFFFFFF);

    int result = -1;
    QObject::connect(&dialog, &QDialog::finished, [&](int r) { result = r; });
    Click(Control<QWidget>(dialog, CDiagnostics::kIdExit));
    EXPECT_EQ(result, IDOK);
}

TEST_F(DiagnosticsWindowTest, TheShellOpensItWindowModalAndReportsItsEnd)
{
    QWidget main;
    main.resize(400, 300);
    main.show();
    QtShell qtShell(&main);
    bool closed = false;
    qtShell.RunSetupDialog(owner, preset, [&] { closed = true; });
    ASSERT_EQ(qtShell.OpenDialogs(), 1);
    auto* dialog = main.findChild<CDiagnosticsWindow*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_FALSE(closed);
    dialog->reject();
    EXPECT_TRUE(closed);
    EXPECT_EQ(qtShell.OpenDialogs(), 0);
}
