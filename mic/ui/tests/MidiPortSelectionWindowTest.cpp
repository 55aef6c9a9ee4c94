// The MIDI port selection dialog on Qt's offscreen platform over the real port manager and
// loopback devices: device pairs linked by clicks, a tick on the check list, Start and Stop,
// Remove and OK, with the registry the ports live in.
#include <gtest/gtest.h>

#include <QTest>

#include "../../tests/MidiPortLink.h"
#include "../../tests/ScriptedShell.h"
#include "TestEnvironment.h"
#include "mic_ui/MidiPortSelectionWindow.h"
#include "midi/MidiPortConfig.h"
#include "midi/MidiPortManager.h"
#include "ui/DisplayLayout.h"
#include "winport/Clock.h"
#include "winport/MidiBackend.h"
#include "winport/RegistryObject.h"
#include "winport/Window.h"

namespace {

class MidiPortSelectionWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        notify = winport::CreateMessageWindow("MainDialogStandIn", [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; },
                                              {nullptr, false});
        manager = std::make_unique<CMidiPortManager>(shell, notify);
    }
    void TearDown() override
    {
        manager.reset();
        DestroyWindow(notify);
    }

    std::unique_ptr<CMidiPortSelectionWindow> Open()
    {
        auto window = std::make_unique<CMidiPortSelectionWindow>(*manager, [this](bool running) { runningFlag = running; });
        window->show();
        return window;
    }
    static void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }
    static void ClickRow(QListWidget* list, int row)
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }
    /// A click on the check box of a port line; what the list posts reaches the dialog.
    static void Tick(CMyCheckListBox* list, int line)
    {
        const CRect r = list->ItemTextRect(line);
        QTest::mouseClick(list, Qt::LeftButton, {}, QPoint(CMyCheckListBox::kCheckBoxArea / 2, (r.top + r.bottom) / 2));
        winport::MessageLoop::Current().RunUntilIdle();
    }
    static void Link(CMidiPortSelectionWindow& window, int device)
    {
        ClickRow(window.InList(), device);
        ClickRow(window.OutList(), device);
        ASSERT_TRUE(window.Button(CMidiPortSelection::kIdLink)->isEnabled());
        Click(window.Button(CMidiPortSelection::kIdLink));
    }
    static int Value(int port, const char* name)
    {
        int value = -99;
        CCurrentUserRegistryObject().GetInt(CMidiPortConfig::KeyOf(port), name, value, -99);
        return value;
    }

    TestEnvironment env;
    winport::ManualClock clock{1000};
    winport::ScopedClock scoped{clock};
    LoopbackSurfaces loop{2};
    ScriptedShell shell;
    HWND notify = nullptr;
    std::unique_ptr<CMidiPortManager> manager;
    bool runningFlag = false;
};

TEST_F(MidiPortSelectionWindowTest, LinkTickAndStartThenStopRemoveAndOk)
{
    {
        auto window = Open();
        ASSERT_EQ(window->InList()->count(), 2);
        EXPECT_EQ(window->InList()->item(1)->text(), "surface 1 out");
        EXPECT_EQ(window->OutList()->item(1)->text(), "surface 1 in");

        Link(*window, 0);
        ClickRow(window->InList(), 1);
        EXPECT_FALSE(window->Button(CMidiPortSelection::kIdLink)->isEnabled());  // surface 0 in belongs to port 1
        Link(*window, 1);
        CMyCheckListBox* lines = window->PortList();
        ASSERT_EQ(lines->GetCount(), 2);
        EXPECT_EQ(lines->State().GetText(0), "1\tsurface 0 out\tsurface 0 in");
        EXPECT_EQ(lines->State().GetText(1), "2\tsurface 1 out\tsurface 1 in");
        EXPECT_EQ(lines->GetItemData(1), 1u);
        EXPECT_EQ(Value(1, "MidiOut"), 1);

        // Line 2 ticked, then Start: its port starts and announces itself; only it is active.
        Tick(lines, 1);
        EXPECT_EQ(lines->GetCheck(1), 1);
        CColourButton* start = window->Button(CMidiPortSelection::kIdStart);
        EXPECT_EQ(start->windowTitle(), "&Start MIDI");
        Click(start);
        EXPECT_TRUE(runningFlag);
        EXPECT_TRUE(manager->IsRunning());
        EXPECT_EQ(Value(0, "Active"), 0);
        EXPECT_EQ(Value(1, "Active"), 1);
        EXPECT_EQ(Value(1, "MicPreControl"), 1);
        EXPECT_TRUE(loop->WaitSent("surface 1 in", 2, 10000));
        EXPECT_FALSE(loop->IsOpen("surface 0 out"));
        EXPECT_EQ(start->windowTitle(), "&Stop MIDI");
        CDisplayLayout layout(nullptr);
        EXPECT_EQ(start->GetFaceColour(), layout.GetButtonBackColour(enButtonCancel));
        EXPECT_FALSE(window->InList()->isEnabled());
        EXPECT_FALSE(window->OutList()->isEnabled());
        EXPECT_FALSE(window->Button(CMidiPortSelection::kIdLink)->isEnabled());
        EXPECT_FALSE(window->Button(CMidiPortSelection::kIdRemove)->isEnabled());

        // Stopped from elsewhere (the tray): timer 96 brings the dialog round within 500 ms.
        ASSERT_TRUE(manager->StopMidiPorts());
        clock.Advance(CMidiPortSelection::kTimerMs);
        winport::MessageLoop::Current().RunUntilIdle();
        EXPECT_EQ(start->windowTitle(), "&Start MIDI");
        EXPECT_EQ(start->GetFaceColour(), layout.GetButtonBackColour(enButtonOK));
        EXPECT_TRUE(window->InList()->isEnabled());
        EXPECT_TRUE(window->Button(CMidiPortSelection::kIdRemove)->isEnabled());

        // Remove the first line: the second keeps port number 1 and is selected.
        QTest::mouseClick(lines, Qt::LeftButton, {}, QPoint(lines->width() / 2, lines->ItemTextRect(0).top + 2));
        Click(window->Button(CMidiPortSelection::kIdRemove));
        ASSERT_EQ(lines->GetCount(), 1);
        EXPECT_EQ(lines->State().GetText(0), "2\tsurface 1 out\tsurface 1 in");
        EXPECT_EQ(lines->GetCurSel(), 0);
        EXPECT_EQ(Value(0, "MidiIn"), -99);
    }

    // Reopened: the line and its tick are back. Untick, OK: "Active" stays, MicPreControl 1.
    auto window = Open();
    CMyCheckListBox* lines = window->PortList();
    ASSERT_EQ(lines->GetCount(), 1);
    EXPECT_EQ(lines->GetCheck(0), 1);
    Tick(lines, 0);
    int result = -1;
    QObject::connect(window.get(), &QDialog::finished, [&](int r) { result = r; });
    Click(window->Button(CMidiPortSelection::kIdOk));
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(Value(1, "Active"), 1);
    EXPECT_EQ(Value(1, "MicPreControl"), 1);
}

}  // namespace
