// The mic program with its windows on a virtual X display (Xvfb), against pre-sim with three
// units on a pseudo-terminal: the main window shows the units responding and a click on a
// channel switch reaches the unit; the set-up and test dialog shows the units' versions and
// tests a rack; the mini view stands in for the main window, drives the units and gives the
// main window back. Under MIDI control (a JACK server with the dummy driver and midi-sim), the
// port selection dialog links midi-sim's ports and starts MIDI; midi-sim's control changes reach
// the screen and the unit, and a click reaches midi-sim until MIDI is stopped. With midi-sim
// beating as two units, Auto-Detect links them and a rack tied to one from the slot menu sends
// its Phant click on MIDI. In server mode, a line selected at the console brings the enlarged
// read-out up over the main window until it is released. Each test keeps its screenshots in a
// folder of its own in the build folder (mic/xvfb/<test>/: the last screenshot.png, and
// setup.png, mini-view.png, midi-ports.png, midi-start.png, pre-setup.png, readout-held.png)
// for a person to look at.
//
// Every wait is for something to happen (a window, a picture, a frame at the units), bounded.
#include <gtest/gtest.h>

#include <functional>

#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "../../tests/MidiSetupFile.h"
#include "../../tests/ProgramProcess.h"  // the mic tests' child process with pre-sim
#include "../../tests/ServerModeFixture.h"
#include "FakeDetection.h"
#include "MidiSim.h"
#include "TestEnvironment.h"
#include "app/BigControls2.h"
#include "app/MicDlg.h"
#include "base/RackSetup.h"
#include "mic_ui/DiagnosticsWindow.h"
#include "mic_ui/EnBitmap.h"
#include "mic_ui/MicDlgWindow.h"
#include "mic_ui/MidiPortSelectionWindow.h"
#include "mic_ui/MidiSetupWindow.h"
#include "mic_ui/MinimisedWindow.h"
#include "mic_ui/PictureStore.h"
#include "mic_ui/PreSetupWindow.h"
#include "midi/MidiPortConfig.h"
#include "ui/DisplayLayout.h"
#include "winport/Profile.h"
#include "winport/RegistryObject.h"
#include "winport_ui/Canvas.h"

namespace {

bool Installed(const char* path) { return ::access(path, X_OK) == 0; }

/// A shell command's output (commands here end by themselves; each is bounded by timeout).
std::string Output(const std::string& command, int timeoutSeconds = 10)
{
    std::string out;
    if (FILE* p = ::popen(("timeout " + std::to_string(timeoutSeconds) + " " + command + " 2>/dev/null").c_str(), "r")) {
        char buf[256];
        while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

QRgb Rgb(int r, int g, int b) { return static_cast<QRgb>((r << 16) | (g << 8) | b); }

/// Sets an environment variable for the programs started while it lives.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name)) m_old = std::make_unique<std::string>(old);
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::unique_ptr<std::string> m_old;
};

/// A window on the display: where it lies.
struct XWindow {
    std::string id;
    QRect rect;
};

/// A frame pre-sim reports ("frame <ms> <unit> <bytes> -> <reply>"): the unit and the bytes.
struct Frame {
    int unit = -1;
    std::vector<int> bytes;
};

bool ParseFrame(const std::string& line, Frame& frame)
{
    std::istringstream in(line);
    std::string word, ms;
    if (!(in >> word >> ms >> frame.unit) || word != "frame") return false;
    frame.bytes.clear();
    while (in >> word && word != "->") frame.bytes.push_back(static_cast<int>(std::strtol(word.c_str(), nullptr, 16)));
    return frame.bytes.size() >= 2;
}

class MicProgramXvfb : public ::testing::Test {
protected:
    static constexpr std::chrono::seconds kPatience{30};
    static constexpr QRgb kSelected = 0x28C83C;    // red 40, green 200, blue 60
    static constexpr QRgb kResponding = 0x1E6E28;  // red 30, green 110, blue 40
    static constexpr QRgb kSwitchOn = 0xFFB000;    // red 255, green 176, blue 0
    static constexpr QRgb kSwitchOff = 0x404040;
    static constexpr QRgb kMicInput = 0x00A86B;    // red 0, green 168, blue 107

    void SetUp() override
    {
        if (!Installed("/usr/bin/Xvfb") || !Installed("/usr/bin/xdotool") || !Installed("/usr/bin/import"))
            GTEST_SKIP() << "Xvfb, xdotool and ImageMagick's import are needed (scripts/setup installs them)";
        // Tests run side by side: each keeps its pictures apart.
        artefacts = std::string(CONSOLE_BINARY_DIR) + "/mic/xvfb/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(artefacts);
        winport::SetProfileName("micUlvo.ini");
        winport::WriteProfileInt("Settings", "Auto Restore", 0);  // no restore file: no question at start
        layoutDlg = std::make_unique<CMicDlg>(nullptr, &layoutShell);
        layout = std::make_unique<MicDlgWindow>(*layoutDlg);
    }

    void TearDown() override
    {
        if (xvfb) {
            xvfb->Signal(SIGTERM);
            xvfb->Wait(5000);
        }
    }

    /// Xvfb, pre-sim with three units (its frames reported unless quiet) and mic on the display.
    void StartAll(bool quietUnits, int units = 3)
    {
        xvfb = std::make_unique<ProgramProcess>("/usr/bin/Xvfb", std::vector<std::string>{"-displayfd", "1", "-screen", "0",
                                                                                   "1024x768x24", "-nolisten", "tcp"});
        // Its display number comes once it listens; a loaded machine may take long over its start.
        const std::string number = xvfb->WaitFor("", 60000);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        display = ":" + number;

        std::vector<std::string> args{"--units", std::to_string(units), "--link", env.Path("com1")};
        quiet = quietUnits;
        if (quietUnits) args.push_back("--quiet");
        presim = std::make_unique<PreSimProcess>(args);
        ASSERT_FALSE(presim->Pty().empty());
        {
            ScopedEnv com1("WINPORT_COM1", env.Path("com1"));
            ScopedEnv x("DISPLAY", display);
            ScopedEnv platform("QT_QPA_PLATFORM", "xcb");
            mic = std::make_unique<ProgramProcess>(std::string(CONSOLE_BINARY_DIR) + "/mic/mic", std::vector<std::string>{});
        }
        ASSERT_FALSE(mic->WaitFor("running", 20000).empty()) << "mic did not start";
        ASSERT_TRUE(WaitUntil([&] { return !Windows("Remote Mic Control").empty(); })) << "no main window";
        main = Windows("Remote Mic Control").front();
    }

    /// The visible windows whose name matches, as xdotool finds them.
    std::vector<XWindow> Windows(const std::string& name)
    {
        std::vector<XWindow> found;
        std::istringstream ids(Output("env DISPLAY=" + display + " xdotool search --onlyvisible --name '" + name + "'"));
        std::string id;
        while (ids >> id) {
            const std::string shell = Output("env DISPLAY=" + display + " xdotool getwindowgeometry --shell " + id);
            auto value = [&](const char* key) {
                const size_t at = shell.find(key);
                return at == std::string::npos ? -1 : std::atoi(shell.c_str() + at + std::strlen(key));
            };
            const QRect rect(value("\nX="), value("\nY="), value("WIDTH="), value("HEIGHT="));
            if (rect.width() > 0) found.push_back({id, rect});
        }
        return found;
    }

    /// Whether done() holds, asked again until it does (bounded).
    static bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds patience = kPatience)
    {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (std::chrono::steady_clock::now() < deadline) {
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return done();
    }

    /// A picture of the whole display, kept in the test's folder under name.
    QImage Screenshot(const std::string& name = "screenshot.png")
    {
        const std::string path = Artefact(name);
        Output("import -display " + display + " -window root " + path);
        return QImage(QString::fromStdString(path));
    }
    std::string Artefact(const std::string& name) const { return artefacts + "/" + name; }

    /// Takes screenshots until done(shot) holds (bounded); the last one.
    QImage ShotUntil(const std::function<bool(const QImage&)>& done, std::chrono::seconds patience = kPatience)
    {
        QImage taken;
        WaitUntil([&] {
            taken = Screenshot();
            return done(taken);
        }, patience);
        return taken;
    }

    /// A click in the middle of a control of a window laid out as `where` on the screen.
    void Click(const XWindow& on, const QWidget* control)
    {
        ASSERT_NE(control, nullptr);
        ClickAt(on, control->geometry().center());
    }
    /// A click at a point of a window. The pointer comes from beside the point: a move to where
    /// it stands already would wait for a motion that never comes.
    void ClickAt(const XWindow& on, QPoint at)
    {
        const std::string x = std::to_string(on.rect.x() + at.x()), y = std::to_string(on.rect.y() + at.y());
        Output("env DISPLAY=" + display + " xdotool mousemove --sync " + std::to_string(on.rect.x() + at.x() + 1) + " " + y +
               " mousemove --sync " + x + " " + y + " click 1");
    }

    /// Clicks a control until the screen shows what the click does. mic refuses a click on a
    /// channel switch or a rack while a reply comes in from a unit (the read of the rack's
    /// settings after the set-up dialog closes): the click is made once the link is idle (when
    /// pre-sim reports its frames), and made again only when the screen still does not show it
    /// long after, so that a switch is never toggled twice.
    bool ClickUntilShown(const XWindow& on, const QWidget* control, const std::function<bool(const QImage&)>& shows)
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (!quiet && !WaitForIdleLink()) continue;
            if (attempt > 0 && shows(Screenshot())) return true;  // the click before was taken after all
            Click(on, control);
            if (shows(ShotUntil(shows))) return true;
        }
        return false;
    }
    /// The same for a switch whose face (a pixel inside its edge, clear of its text) becomes
    /// `face`: on (kSwitchOn), off (kSwitchOff), or Dir's mic input (kMicInput) in the main window.
    bool ClickUntilFace(const XWindow& on, const QWidget* control, QRgb face)
    {
        const QPoint at = on.rect.topLeft() + control->geometry().topLeft() + QPoint(control->width() / 8, control->height() / 4);
        return ClickUntilShown(on, control, [&](const QImage& shot) { return !shot.isNull() && (shot.pixel(at) & 0xFFFFFF) == face; });
    }

    /// Waits until a control shows on screen as the layout draws it (a pixel near its top left
    /// corner), so that a click finds the window ready.
    bool WaitDrawn(const XWindow& on, QWidget* control)
    {
        const QPoint inside(control->width() / 8, control->height() / 4);
        const QRgb want = control->grab().toImage().pixel(inside) & 0xFFFFFF;
        const QPoint at = on.rect.topLeft() + control->geometry().topLeft() + inside;
        return WaitUntil([&] {
            const QImage s = Screenshot();
            return !s.isNull() && (s.pixel(at) & 0xFFFFFF) == want;
        });
    }

    /// A main-window picture's face: 4 pixels into the top of a rack button, across its middle,
    /// or 2 pixels into a picture, 24 from its left.
    QRgb Face(const QImage& shot, int id)
    {
        const QRect r = layout->Control(id)->geometry();
        const bool button = id >= MicDlgWindow::kIdRack && id < MicDlgWindow::kIdRack + 16;
        const int x = main.rect.x() + (button ? r.center().x() : r.left() + 24), y = main.rect.y() + r.top() + (button ? 5 : 2);
        return shot.isNull() ? 0u : shot.pixel(x, y) & 0xFFFFFF;
    }

    /// Waits until racks 1 to n show as responding with rack 1 selected. The first unit to
    /// answer has its rack selected: on a busy machine that need not be unit 1, so rack 1 is
    /// chosen by a click.
    QImage WaitForRacks(int n)
    {
        return ShotUntil([&](const QImage& s) {
            for (int r = 0; r < n; ++r) {
                const QRgb f = Face(s, MicDlgWindow::kIdRack + r);
                if (f != kSelected && f != kResponding) return false;
            }
            if (Face(s, MicDlgWindow::kIdRack) == kSelected) return true;
            Click(main, layout->Control(MicDlgWindow::kIdRack));
            return false;
        });
    }

    /// The next frame pre-sim reports for which holds (bounded); false when none came.
    bool NextFrame(const std::function<bool(const Frame&)>& which, Frame* found = nullptr)
    {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (std::chrono::steady_clock::now() < deadline) {
            const std::string line = presim->WaitFor("frame ", 1000);
            Frame f;
            if (!line.empty() && ParseFrame(line, f) && which(f)) {
                if (found) *found = f;
                return true;
            }
        }
        return false;
    }

    /// Waits until mic polls the units again after now: nothing waits in its transmit ring.
    bool WaitForIdleLink()
    {
        presim->Send("stats");  // what pre-sim reports after its answer came after now
        if (presim->WaitFor("stats ", 5000).empty()) return false;
        return NextFrame([](const Frame& f) { return f.bytes[1] == 0x01 || f.bytes[1] == 0x02; });
    }

    /// Waits until the mic switch byte of unit 1's channel 1 has the bits of mask on (or off).
    bool WaitForMicSwitch(int mask, bool on, std::chrono::seconds patience = kPatience)
    {
        return WaitUntil([&] {
            presim->Send("state 0");
            const std::string state = presim->WaitFor("state 0 ", 2000);
            const size_t at = state.find("mic=");
            return at != std::string::npos && ((std::strtol(state.c_str() + at + 4, nullptr, 16) & mask) != 0) == on;
        }, patience);
    }
    /// Waits until unit 1 has phantom power on channel 1.
    bool WaitForPhantom(std::chrono::seconds patience = kPatience) { return WaitForMicSwitch(0x40, true, patience); }

    /// midi-sim sends B0 04 7F (Phant on for rack 1, channel 1) until unit 1 has phantom power
    /// on channel 1. On a loaded machine the JACK server gives up periods whose clients have not
    /// finished in time (its log says so), and a MIDI event written in such a period can be lost.
    /// The control sets a state: one that comes twice changes nothing the second time.
    bool SendPhantUntilTaken(MidiSim& sim)
    {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (std::chrono::steady_clock::now() < deadline) {
            if (!sim.Process().Send("cc 0 4 127")) return false;
            if (WaitForPhantom(std::chrono::seconds(5))) return true;
        }
        return WaitForPhantom(std::chrono::seconds(0));
    }

    /// Opens the set-up dialog from the main window once the link is idle; the dialog's window.
    /// "S&etup" is refused while messages wait for the link (a unit that starts answering
    /// queues a read of its settings at any time): the click is made again until it is taken.
    XWindow OpenSetup()
    {
        const auto deadline = std::chrono::steady_clock::now() + 2 * kPatience;
        while (std::chrono::steady_clock::now() < deadline) {
            if (!WaitForIdleLink()) continue;
            Click(main, layout->Control(MicDlgWindow::kIdSetup));
            // The dialog opens after the units' version sweep.
            if (WaitUntil([&] { return !Windows("^Setup / Test$").empty(); }, std::chrono::seconds(10)))
                return Windows("^Setup / Test$").front();
        }
        return {};
    }

    /// Whether the port dialog's Start button shows `kind` (enButtonOK: MIDI stopped,
    /// enButtonCancel: running) in a screenshot: a pixel of its face, as the button paints.
    bool StartShows(const QImage& shot, const XWindow& ports, const QWidget* startButton, int kind) const
    {
        const QPoint face = ports.rect.topLeft() + startButton->geometry().topLeft() + QPoint(startButton->width() / 8, startButton->height() / 2);
        return !shot.isNull() && (shot.pixel(face) & 0xFFFFFF) == (ToQColor(CDisplayLayout(nullptr).GetButtonBackColour(kind)).rgb() & 0xFFFFFF);
    }
    /// Waits until the Start button shows `kind`.
    bool WaitForStart(const XWindow& ports, const QWidget* startButton, int kind)
    {
        return StartShows(ShotUntil([&](const QImage& shot) { return StartShows(shot, ports, startButton, kind); }), ports, startButton, kind);
    }

    /// Opens the set-up dialog, then its "&MIDI Port Setup": the port dialog's window once it is
    /// drawn (its Start button shows MIDI stopped or running: clicks on a window not yet drawn are
    /// lost), or no window.
    XWindow OpenPortDialog(const CDiagnosticsWindow& setupLayout, const QWidget* startButton, XWindow& setupWindow)
    {
        setupWindow = OpenSetup();
        if (setupWindow.id.empty() || !WaitDrawn(setupWindow, setupLayout.Control(CDiagnostics::kIdMidiPortSetup))) return {};
        Click(setupWindow, setupLayout.Control(CDiagnostics::kIdMidiPortSetup));
        if (!WaitUntil([&] { return !Windows("^MIDI Port Selection$").empty(); })) return {};
        const XWindow ports = Windows("^MIDI Port Selection$").front();
        auto drawn = [&](const QImage& shot) {
            return StartShows(shot, ports, startButton, enButtonOK) || StartShows(shot, ports, startButton, enButtonCancel);
        };
        return drawn(ShotUntil(drawn)) ? ports : XWindow{};
    }

    void EndMic()
    {
        mic->Signal(SIGTERM);  // closes as the server's close request does
        EXPECT_EQ(mic->Wait(10000), 0);
    }

    TestEnvironment env;
    std::string artefacts;  // the test's pictures
    // Where the controls lie: the same windows, laid out in this process.
    HeadlessShell layoutShell;
    std::unique_ptr<CMicDlg> layoutDlg;
    std::unique_ptr<MicDlgWindow> layout;

    std::unique_ptr<ProgramProcess> xvfb;
    std::unique_ptr<PreSimProcess> presim;
    std::unique_ptr<ProgramProcess> mic;
    std::string display;
    bool quiet = false;  // pre-sim reports no frames
    XWindow main;
};

}  // namespace

TEST_F(MicProgramXvfb, UnitsShowAsRespondingAndAClickOnPhantReachesTheUnit)
{
    ASSERT_NO_FATAL_FAILURE(StartAll(/*quietUnits=*/true));
    QImage shot = WaitForRacks(3);
    EXPECT_EQ(Face(shot, MicDlgWindow::kIdRack), kSelected);
    EXPECT_EQ(Face(shot, MicDlgWindow::kIdRack + 1), kResponding);
    ASSERT_EQ(Face(shot, MicDlgWindow::kIdRack + 2), kResponding) << "racks 1 to 3 never showed as responding";
    EXPECT_EQ(Face(shot, MicDlgWindow::kIdRack + 3), Rgb(70, 70, 70));
    EXPECT_EQ(Face(shot, MicDlgWindow::kIdLinkPicture), kSelected);

    // Channel 1 goes to its mic input (Dir), then Phant is switched on with a click.
    ASSERT_TRUE(ClickUntilFace(main, layout->Control(MicDlgWindow::kIdDir), kMicInput)) << "Dir never showed the mic input";
    EXPECT_TRUE(ClickUntilFace(main, layout->Control(MicDlgWindow::kIdPhant), kSwitchOn)) << "Phant never lit on the screen";
    EXPECT_TRUE(WaitForPhantom()) << "unit 1 never got phantom power on channel 1";

    presim->Send("stats");
    const std::string stats = presim->WaitFor("stats ", 2000);
    EXPECT_NE(stats.find("violations=0"), std::string::npos) << stats;
    EndMic();
}

// Server mode against the server simulator: a line selected at the console brings the enlarged
// read-out up over the main window, where it stays while the line stays selected; released, it
// stays 2.5 s more (the main window is brought to the front for the release: the read-out stays
// over it), then goes.
TEST_F(MicProgramXvfb, TheReadoutOfALineSelectedAtTheConsoleStaysOverTheWindowUntilReleased)
{
    ASSERT_TRUE(MakeServerModeMachine());
    // Rack 1's channels 1 to 3 follow mic lines 5, 6 and 9; the read-out comes for a selection.
    CRackSetup restore;
    const int lines[] = {5, 6, 9};
    for (int c = 0; c < 3; ++c) restore.SetChannelMicLine(0, c, lines[c]);
    ASSERT_TRUE(restore.SaveSetupFile(CMicDlg::GetRestoreFilePath()));
    winport::WriteProfileInt("Settings", "Auto Restore", 1);
    winport::WriteProfileInt("Settings", "PopupOnSel", 1);
    ScopedEnv socket("KIVSERVER_SOCKET", env.Path("kiv.sock"));
    KivServerSim server(env.Path("kiv.sock"), env.Path("kiv-record.txt"));
    ASSERT_TRUE(server.Running());
    ASSERT_NO_FATAL_FAILURE(StartAll(/*quietUnits=*/true, /*units=*/1));
    ASSERT_EQ(Face(WaitForRacks(1), MicDlgWindow::kIdRack), kSelected);

    // The read-out's background across the middle of the main window.
    auto readoutShows = [&](const QImage& shot) {
        if (shot.isNull()) return false;
        int n = 0;
        for (int x = main.rect.left(); x <= main.rect.right(); ++x)
            n += (shot.pixel(x, main.rect.center().y()) & 0xFFFFFF) == (ToQColor(CBigControls2::kBackground).rgb() & 0xFFFFFF);
        return n > main.rect.width() / 4;
    };
    // Line 6 selected: pushed until mic's mic-line object has subscribed.
    const std::string selected = PushMicLineCommand(MicLineRecordWith(5, 1, 0, 3, 1));
    ASSERT_TRUE(WaitUntil([&] { return server.Control(selected) == "ok 1"; })) << "mic never subscribed to the mic lines";
    ASSERT_TRUE(readoutShows(ShotUntil(readoutShows))) << "the read-out never came up";
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    EXPECT_TRUE(readoutShows(Screenshot("readout-held.png"))) << "held while the line stays selected";

    ASSERT_EQ("ok 1", server.Control(PushMicLineCommand(MicLineRecordWith(5, 1, 0, 3, 0))));
    const auto released = std::chrono::steady_clock::now();
    EXPECT_FALSE(readoutShows(ShotUntil([&](const QImage& shot) { return !readoutShows(shot); })));
    const auto shownFor = std::chrono::steady_clock::now() - released;
    EXPECT_GE(shownFor, std::chrono::milliseconds(2000)) << "it went at once";
    EXPECT_EQ(Face(Screenshot(), MicDlgWindow::kIdRack), kSelected) << "the main window shows again";
    EndMic();
}

TEST_F(MicProgramXvfb, SetupTestsARackAndTheMiniViewDrivesTheUnits)
{
    ASSERT_NO_FATAL_FAILURE(StartAll(/*quietUnits=*/false));
    ASSERT_EQ(Face(WaitForRacks(3), MicDlgWindow::kIdRack + 2), kResponding) << "racks 1 to 3 never responded";

    // Setup: the versions are asked for, then the dialog opens with them.
    SetupDialogPreset preset;
    preset.portAvailable = [](int) { return FALSE; };
    CDiagnosticsWindow setupLayout(nullptr, &layoutShell, preset);
    const XWindow setup = OpenSetup();
    ASSERT_FALSE(setup.id.empty()) << "the set-up dialog did not open";
    // The version texts: racks 1 to 3 show their units' own ("PRE00 V1.2" ...), the other racks
    // one longer text ("Version Unknown").
    const QImage shot = Screenshot("setup.png");
    auto versionRow = [&](int rack) {
        const QRect r = setupLayout.Control(CDiagnostics::kIdVersionFirst + rack)->geometry().translated(setup.rect.topLeft());
        return shot.copy(r);
    };
    auto inkWidth = [](const QImage& row) {
        const QRgb background = row.pixel(row.width() - 1, 0);
        int last = -1;
        for (int y = 0; y < row.height(); ++y)
            for (int x = 0; x < row.width(); ++x)
                if (row.pixel(x, y) != background) last = std::max(last, x);
        return last + 1;
    };
    const QImage unknown = versionRow(3);
    for (int rack = 0; rack < 16; ++rack) {
        SCOPED_TRACE(testing::Message() << "rack " << rack + 1);
        if (rack >= 3) {
            EXPECT_EQ(versionRow(rack), unknown);
            continue;
        }
        EXPECT_GT(inkWidth(versionRow(rack)), 0);
        EXPECT_LT(inkWidth(versionRow(rack)), inkWidth(unknown));
        EXPECT_NE(versionRow(rack), versionRow((rack + 1) % 3));
    }

    // Test on rack 2: unit 2 gets the test's frames, two rounds of its four channels, and no
    // other unit gets settings meanwhile (the link runs on in test mode: version requests).
    presim->Send("stats");
    ASSERT_FALSE(presim->WaitFor("stats ", 5000).empty());
    Click(setup, setupLayout.Control(CDiagnostics::kIdTestFirst + 1));
    std::vector<int> channels;
    for (int i = 0; i < 8; ++i) {
        Frame f;
        ASSERT_TRUE(NextFrame([](const Frame& t) { return t.bytes[1] == 0x11 || t.bytes[1] == 0x41; }, &f))
            << "test frame " << i + 1 << " never came";
        EXPECT_EQ(f.unit, 1);
        channels.push_back(f.bytes.size() > 2 ? f.bytes[2] : -1);
    }
    EXPECT_EQ(channels, (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3}));

    Click(setup, setupLayout.Control(CDiagnostics::kIdExit));
    ASSERT_TRUE(WaitUntil([&] { return Windows("^Setup / Test$").empty(); })) << "the set-up dialog stayed";

    // Mini View: the main window goes, the mini view stands where it stood.
    CMinimisedWindow miniLayout(*layoutDlg, &layoutShell);
    const int miniWidth = miniLayout.width();
    ASSERT_TRUE(WaitForIdleLink());
    Click(main, layout->Control(MicDlgWindow::kIdMiniView));
    auto onlyWindowIs = [&](int width) {
        const std::vector<XWindow> shown = Windows("^Remote Mic Control$");
        return shown.size() == 1 && shown.front().rect.width() == width;
    };
    ASSERT_TRUE(WaitUntil([&] { return onlyWindowIs(miniWidth); })) << "the mini view did not replace the main window";
    const XWindow mini = Windows("^Remote Mic Control$").front();
    EXPECT_EQ(mini.rect.topLeft(), main.rect.topLeft());

    // Dir then Phant of channel 1 reach unit 1.
    ASSERT_TRUE(ClickUntilFace(mini, miniLayout.Control(CMinimised::kIdDirFirst), kSwitchOn)) << "Dir never showed the mic input";
    EXPECT_TRUE(ClickUntilFace(mini, miniLayout.Control(CMinimised::kIdPhantFirst), kSwitchOn)) << "Phant never lit";
    EXPECT_TRUE(WaitForPhantom()) << "unit 1 never got phantom power on channel 1";

    // ">>" shows rack 2: its number's picture.
    const auto& bytes = PictureStore::Bytes(MainDialogPictures::RackNumber(1));
    const QImage number = CEnBitmap::DecodePicture(bytes.data(), bytes.size(), CLR_INVALID);
    const QRgb maskColour = ToQColor(PictureStore::kBlackButtonMask).rgb() & 0xFFFFFF;
    const QPoint at = mini.rect.topLeft() + miniLayout.Control(CMinimised::kIdRackNumber)->geometry().topLeft();
    auto showsRack2 = [&](const QImage& s) {  // every pixel of the picture but its transparent ones
        if (s.isNull() || number.isNull()) return false;
        for (int y = 0; y < number.height(); ++y)
            for (int x = 0; x < number.width(); ++x) {
                const QRgb want = number.pixel(x, y) & 0xFFFFFF;
                if (want != maskColour && (s.pixel(at.x() + x, at.y() + y) & 0xFFFFFF) != want) return false;
            }
        return true;
    };
    EXPECT_TRUE(ClickUntilShown(mini, miniLayout.Control(CMinimised::kIdNextRack), showsRack2)) << "the mini view never showed rack 2";
    const QImage miniShot = Screenshot();
    miniShot.copy(mini.rect).save(QString::fromStdString(Artefact("mini-view.png")));

    // "&Maximise" once the rack's messages have gone: the main window comes back.
    ASSERT_TRUE(WaitForIdleLink());
    Click(mini, miniLayout.Control(CMinimised::kIdMaximise));
    EXPECT_TRUE(WaitUntil([&] { return onlyWindowIs(main.rect.width()); })) << "the main window did not come back";

    EndMic();
}

TEST_F(MicProgramXvfb, MidiStartedThroughThePortDialogDrivesRackOneUntilStopped)
{
    if (!Installed("/usr/bin/jackd")) GTEST_SKIP() << "jackd is needed (scripts/setup installs it)";
    MidiSimOnJack midi;  // and the devices as mic lists them, for the dialog's layout here
    ASSERT_EQ(midi.Failure(), "");
    MidiSim& sim = midi.Sim();

    const std::string setup = env.Path("midi-rack.mic");
    ASSERT_EQ(WriteMidiSetup(setup), 2340u);
    winport::WriteProfileInt("Settings", "Auto Load", 1);
    winport::WriteProfileString("Settings", "FileName", setup.c_str());
    ScopedEnv backend("WINPORT_MIDI_BACKEND", "jack");
    ASSERT_NO_FATAL_FAILURE(StartAll(/*quietUnits=*/false, /*units=*/2));
    ASSERT_EQ(Face(WaitForRacks(2), MicDlgWindow::kIdRack + 1), kResponding) << "racks 1 and 2 never responded";

    // Where the port dialog's controls lie, with the devices mic sees.
    StoppedMidiPorts stopped;
    CMidiPortSelectionWindow portsLayout(stopped, {});
    portsLayout.show();
    auto rowOf = [&](QListWidget* list, const std::string& name) {
        const QList<QListWidgetItem*> found = list->findItems(QString::fromStdString(name), Qt::MatchExactly);
        return found.isEmpty() ? QPoint(-1, -1) : list->viewport()->mapTo(&portsLayout, list->visualItemRect(found.front()).center());
    };
    const QPoint simOut = rowOf(portsLayout.InList(), sim.Out()), simIn = rowOf(portsLayout.OutList(), sim.In());
    ASSERT_GE(simOut.x(), 0) << "midi-sim's output is not listed";
    ASSERT_GE(simIn.x(), 0) << "midi-sim's input is not listed";
    CMyCheckListBox* lines = portsLayout.PortList();
    const CRect firstLine = lines->ItemTextRect(0);
    const QPoint firstTick = lines->geometry().topLeft() + QPoint(CMyCheckListBox::kCheckBoxArea / 2, (firstLine.top + firstLine.bottom) / 2);
    SetupDialogPreset preset;
    preset.portAvailable = [](int) { return FALSE; };
    CDiagnosticsWindow setupLayout(nullptr, &layoutShell, preset);
    const QWidget* startButton = portsLayout.Button(CMidiPortSelection::kIdStart);
    auto closeDialogs = [&](const XWindow& setupWindow, const XWindow& portsWindow) {
        Click(portsWindow, portsLayout.Button(CMidiPortSelection::kIdOk));
        ASSERT_TRUE(WaitUntil([&] { return Windows("^MIDI Port Selection$").empty(); })) << "the port dialog stayed";
        Click(setupWindow, setupLayout.Control(CDiagnostics::kIdExit));
        ASSERT_TRUE(WaitUntil([&] { return Windows("^Setup / Test$").empty(); })) << "the set-up dialog stayed";
    };

    // Setup, "&MIDI Port Setup": link midi-sim's ports, tick the line, Start.
    XWindow setupWindow;
    XWindow portsWindow = OpenPortDialog(setupLayout, startButton, setupWindow);
    ASSERT_FALSE(portsWindow.id.empty()) << "the port dialog did not open";
    ClickAt(portsWindow, simOut);
    ClickAt(portsWindow, simIn);
    Click(portsWindow, portsLayout.Button(CMidiPortSelection::kIdLink));
    ClickAt(portsWindow, firstTick);
    Click(portsWindow, startButton);
    EXPECT_EQ(sim.NextReceived(30000), "B0 0F 1B") << "midi-sim never got the announcement";
    EXPECT_EQ(sim.NextReceived(30000), "B0 2F 47");
    EXPECT_TRUE(WaitForStart(portsWindow, startButton, enButtonCancel)) << "the Start button never showed MIDI running";
    Screenshot("midi-ports.png");
    closeDialogs(setupWindow, portsWindow);

    // B0 04 7F: Phant of rack 1, channel 1 lights on the screen and reaches unit 1.
    EXPECT_TRUE(SendPhantUntilTaken(sim)) << "unit 1 never got phantom power on channel 1";
    const QRect phant = layout->Control(MicDlgWindow::kIdPhant)->geometry();
    const QPoint phantFace(main.rect.x() + phant.center().x(), main.rect.y() + phant.top() + 5);
    const QImage lit = ShotUntil([&](const QImage& s) { return !s.isNull() && (s.pixel(phantFace) & 0xFFFFFF) == kSwitchOn; });
    EXPECT_EQ(lit.pixel(phantFace) & 0xFFFFFF, kSwitchOn) << "Phant never lit on the screen";

    // A click on Phase reaches midi-sim; its fourth ping and a heartbeat are answered.
    EXPECT_TRUE(ClickUntilFace(main, layout->Control(MicDlgWindow::kIdPhase), kSwitchOn)) << "Phase never lit";
    EXPECT_TRUE(sim.Receives("B0 05 7F", 30000)) << "the Phase click never reached midi-sim";
    ASSERT_TRUE(sim.Process().Send("ping 4"));
    EXPECT_TRUE(sim.Receives("90 00 7F", 30000)) << "the fourth ping was not answered";
    ASSERT_TRUE(sim.Process().Send("heartbeat 0"));
    EXPECT_TRUE(sim.Receives("B0 0A 7F", 30000)) << "the heartbeat was not answered";

    // "&Stop MIDI": the button shows MIDI stopped, and then nothing more reaches midi-sim: not the
    // next Phase click (which still reaches the unit), not an answer to pings or heartbeats.
    portsWindow = OpenPortDialog(setupLayout, startButton, setupWindow);
    ASSERT_FALSE(portsWindow.id.empty()) << "the port dialog did not open again";
    Click(portsWindow, startButton);
    EXPECT_TRUE(WaitForStart(portsWindow, startButton, enButtonOK)) << "the Start button never showed MIDI stopped";
    closeDialogs(setupWindow, portsWindow);
    // Closing the output port turns off the note that the ping's answer left sounding.
    EXPECT_EQ(sim.NextReceived(30000), "80 00 00");
    EXPECT_TRUE(ClickUntilFace(main, layout->Control(MicDlgWindow::kIdPhase), kSwitchOff)) << "Phase never went off";
    EXPECT_TRUE(WaitForMicSwitch(0x20, false)) << "unit 1 never got Phase off";
    ASSERT_TRUE(sim.Process().Send("ping 4"));
    ASSERT_TRUE(sim.Process().Send("heartbeat 0"));
    // Nothing to wait for but silence: a short bounded look.
    EXPECT_EQ(sim.NextReceived(2000), "");

    EndMic();
}

// The JACK server is killed while MIDI runs, the port dialog open: mic tells it in one box, the
// dialog's button shows MIDI stopped. "&Start MIDI" with no server is refused; with the server
// (and midi-sim) back, it starts MIDI, and once the dialogs are closed midi-sim's Phant reaches
// unit 1. mic then ends with exit code 0.
TEST_F(MicProgramXvfb, JackServerKilledWhileMidiRunsIsToldAndMidiStartsAgainOnceItIsBack)
{
    if (!Installed("/usr/bin/jackd")) GTEST_SKIP() << "jackd is needed (scripts/setup installs it)";
    JackServer server;
    ASSERT_TRUE(server.Start()) << "jackd with the dummy driver did not come up";
    std::optional<MidiSim> sim(std::in_place, server);
    ASSERT_TRUE(sim->Ready()) << sim->ReadyLine();
    {
        // Port 1 names midi-sim's devices as mic numbers them, ticked.
        JackBackendScope jack;
        const CString key = CMidiPortConfig::KeyOf(0);
        CCurrentUserRegistryObject reg;
        reg.SetInt(key, "MidiIn", FindMidiDevice(true, sim->Out().c_str()));
        reg.SetInt(key, "MidiOut", FindMidiDevice(false, sim->In().c_str()));
        reg.SetString(key, "MidiInStr", sim->Out().c_str());
        reg.SetString(key, "MidiOutStr", sim->In().c_str());
        reg.SetBool(key, "Active", 1);
    }
    const std::string setup = env.Path("midi-rack.mic");
    ASSERT_EQ(WriteMidiSetup(setup), 2340u);
    winport::WriteProfileInt("Settings", "Auto Load", 1);
    winport::WriteProfileString("Settings", "FileName", setup.c_str());
    ScopedEnv backend("WINPORT_MIDI_BACKEND", "jack");
    ASSERT_NO_FATAL_FAILURE(StartAll(/*quietUnits=*/false, /*units=*/2));
    ASSERT_EQ(Face(WaitForRacks(2), MicDlgWindow::kIdRack + 1), kResponding) << "racks 1 and 2 never responded";

    // Setup, "&MIDI Port Setup", "&Start MIDI"; the port dialog stays open.
    SetupDialogPreset preset;
    preset.portAvailable = [](int) { return FALSE; };
    CDiagnosticsWindow setupLayout(nullptr, &layoutShell, preset);
    StoppedMidiPorts noPorts;
    CMidiPortSelectionWindow portsLayout(noPorts, {});
    const std::string portsTitle = "^" + portsLayout.windowTitle().toStdString() + "$";
    QWidget* startButton = portsLayout.Button(CMidiPortSelection::kIdStart);
    XWindow setupWindow;
    const XWindow ports = OpenPortDialog(setupLayout, startButton, setupWindow);
    ASSERT_FALSE(ports.id.empty()) << "the port dialog did not open";
    auto startShows = [&](int kind) { return WaitForStart(ports, startButton, kind); };
    Click(ports, startButton);
    EXPECT_TRUE(sim->Receives("B0 2F 47", 30000)) << "midi-sim never got the announcement";
    EXPECT_TRUE(startShows(enButtonCancel)) << "the Start button never showed MIDI running";

    // The server dies: one box says so, over the main window; the button shows MIDI stopped.
    server.Kill();
    EXPECT_EQ(mic->WaitFor("box ", 30000), "box Remote Mic Control: MIDI control has stopped!");
    auto box = [&] {
        for (const XWindow& w : Windows("^Remote Mic Control$"))
            if (w.id != main.id) return w;
        return XWindow{};
    };
    ASSERT_TRUE(WaitUntil([&] { return !box().id.empty(); })) << "the box did not show";
    EXPECT_TRUE(startShows(enButtonOK)) << "the Start button never showed MIDI stopped";
    auto answer = [&](const XWindow& shown) {
        Output("env DISPLAY=" + display + " xdotool windowfocus --sync " + shown.id + " key Return");
        return WaitUntil([&] { return box().id != shown.id; });
    };
    ASSERT_TRUE(answer(box())) << "the box stayed";
    sim.reset();  // midi-sim ended with its server

    // No server: "&Start MIDI" is refused.
    Click(ports, startButton);
    EXPECT_EQ(mic->WaitFor("box ", 30000), "box Remote Mic Control: There are no MIDI Ports to start!");
    ASSERT_TRUE(WaitUntil([&] { return !box().id.empty(); })) << "the refusal did not show";
    ASSERT_TRUE(answer(box())) << "the refusal stayed";

    // The server is back: MIDI starts; with the dialogs closed, midi-sim's Phant reaches unit 1.
    ASSERT_TRUE(server.Start()) << "jackd did not come up again";
    sim.emplace(server);
    ASSERT_TRUE(sim->Ready()) << sim->ReadyLine();
    Click(ports, startButton);
    EXPECT_TRUE(sim->Receives("B0 2F 47", 30000)) << "MIDI did not start again";
    EXPECT_TRUE(startShows(enButtonCancel)) << "the Start button never showed MIDI running again";
    Click(ports, portsLayout.Button(CMidiPortSelection::kIdOk));
    ASSERT_TRUE(WaitUntil([&] { return Windows(portsTitle).empty(); })) << "the port dialog stayed";
    Click(setupWindow, setupLayout.Control(CDiagnostics::kIdExit));
    ASSERT_TRUE(WaitUntil([&] { return Windows("^Setup / Test$").empty(); })) << "the set-up dialog stayed";
    EXPECT_TRUE(SendPhantUntilTaken(*sim)) << "unit 1 never got phantom power on channel 1";
    EndMic();
}

// MIDI end to end: midi-sim beats as two units (B0 0A 00 and B5 0A 00) on the test's JACK server,
// MIDI port 1 names its devices. MIDI starts from the port dialog; Auto-Detect links the two
// units to rows 1 and 2; rack 1's first slot is given "PRE 2" A from the slot menu; a Phant click
// on rack 1 channel 1 then reaches midi-sim on the second unit's MIDI channel. The detection
// run waits for a real pass (about 16 s). The detection dialog's screenshot is kept
// (mic/mic-xvfb-pre-setup.png).
TEST_F(MicProgramXvfb, MidiUnitsAreDetectedAndARackTiedToOneHearsItsPhant)
{
    if (!Installed("/usr/bin/jackd")) GTEST_SKIP() << "jackd is needed (scripts/setup installs it)";
    MidiSimOnJack midi({"--heartbeat", "0", "--heartbeat", "5", "--period", "500"});
    ASSERT_EQ(midi.Failure(), "");
    MidiSim& sim = midi.Sim();
    {
        // Port 1 names midi-sim's devices, ticked.
        const CString key = CMidiPortConfig::KeyOf(0);
        CCurrentUserRegistryObject reg;
        reg.SetInt(key, "MidiIn", midi.InDevice());
        reg.SetInt(key, "MidiOut", midi.OutDevice());
        reg.SetString(key, "MidiInStr", sim.Out().c_str());
        reg.SetString(key, "MidiOutStr", sim.In().c_str());
        reg.SetBool(key, "Active", 1);
    }
    ScopedEnv backend("WINPORT_MIDI_BACKEND", "jack");
    ASSERT_NO_FATAL_FAILURE(StartAll(/*quietUnits=*/false));
    ASSERT_EQ(Face(WaitForRacks(3), MicDlgWindow::kIdRack), kSelected) << "rack 1 never responded";

    // Setup, then the port dialog's "&Start MIDI" and "&OK".
    SetupDialogPreset preset;
    preset.portAvailable = [](int) { return FALSE; };
    CDiagnosticsWindow setupLayout(nullptr, &layoutShell, preset);
    StoppedMidiPorts noPorts;
    CMidiPortSelectionWindow portsLayout(noPorts, {});
    const std::string portsTitle = "^" + portsLayout.windowTitle().toStdString() + "$";
    XWindow setup;
    const XWindow ports = OpenPortDialog(setupLayout, portsLayout.Button(CMidiPortSelection::kIdStart), setup);
    ASSERT_FALSE(ports.id.empty()) << "the port dialog did not open";
    Click(ports, portsLayout.Button(CMidiPortSelection::kIdStart));
    // MIDI runs: the program answers the heartbeats.
    if (!sim.Receives("B0 0A 7F", 30000)) {
        Screenshot("midi-start.png");
        FAIL() << "MIDI did not start (screen in mic/mic-xvfb-midi-start.png)";
    }
    Click(ports, portsLayout.Button(CMidiPortSelection::kIdOk));
    ASSERT_TRUE(WaitUntil([&] { return Windows(portsTitle).empty(); })) << "the port dialog stayed";

    // "MIDI &PRE setup", Auto-Detect and its two questions.
    CRackSetup detected;
    detected.SetPreMapping(0, 0, 0);
    detected.SetChannelMapping(0, 0, 0);
    detected.SetPreMapping(1, 0, 5);
    detected.SetChannelMapping(1, 0, 5);
    auto detection = std::make_shared<FakeDetection>();
    detection->listed = {{0, 0}, {0, 5}};
    CPRESetupWindow preLayout(&detected, detection, nullptr, &layoutShell);
    const std::string preTitle = "^PRE MIDI Port Setup$";
    Click(setup, setupLayout.Control(CDiagnostics::kIdMidiPreSetup));
    auto preDialog = [&] {  // the dialog, not its message boxes of the same caption
        for (const XWindow& w : Windows(preTitle))
            if (w.rect.size() == preLayout.size()) return w;
        return XWindow{};
    };
    ASSERT_TRUE(WaitUntil([&] { return !preDialog().id.empty(); })) << "the PRE setup did not open";
    const XWindow pre = preDialog();
    // No links yet: the result text says so.
    const QRect result = preLayout.Control(CPRESetup::kIdResult)->geometry().translated(pre.rect.topLeft());
    const QImage noLinks = Screenshot().copy(result);
    Click(pre, preLayout.Control(CPRESetup::kIdAutoDetect));
    for (int question = 1; question <= 2; ++question) {
        auto box = [&] {
            for (const XWindow& w : Windows(preTitle))
                if (w.id != pre.id) return w;
            return XWindow{};
        };
        ASSERT_TRUE(WaitUntil([&] { return !box().id.empty(); })) << "question " << question << " did not come";
        const XWindow asked = box();
        Output("env DISPLAY=" + display + " xdotool windowfocus --sync " + asked.id + " key Return");
        ASSERT_TRUE(WaitUntil([&] { return box().id != asked.id; })) << "question " << question << " stayed";
    }
    // After the run: rows 1 and 2 as the layout paints them with both units detected.
    const QImage want = preLayout.Paint();
    auto rowsShown = [&](const QImage& shot) {
        if (shot.isNull()) return false;
        for (int row = 0; row < 3; ++row)
            for (int cell : {CPRESetup::kInput, CPRESetup::kOutput}) {
                const QRect r = CPRESetupWindow::FrameRect(row, cell);
                for (int y = r.top(); y <= r.bottom(); ++y)
                    for (int x = r.left(); x <= r.right(); ++x)
                        if ((shot.pixel(pre.rect.topLeft() + QPoint(x, y)) & 0xFFFFFF) != (want.pixel(x, y) & 0xFFFFFF)) return false;
            }
        return true;
    };
    const QImage shot = ShotUntil(rowsShown, std::chrono::seconds(90));  // the run, then a pass's end
    ASSERT_TRUE(rowsShown(shot)) << "rows 1 and 2 never showed the two units, detected (blue)";
    // The result text follows the links within a second.
    const QImage followed = ShotUntil([&](const QImage& s) { return !s.isNull() && s.copy(result) != noLinks; });
    followed.copy(pre.rect).save(QString::fromStdString(Artefact("pre-setup.png")));
    EXPECT_NE(followed.copy(result), noLinks) << "the result text did not follow the links";
    const QPoint input = CPRESetupWindow::FrameRect(0, CPRESetup::kInput).topLeft() + pre.rect.topLeft() + QPoint(2, 1);
    EXPECT_EQ(shot.pixel(input) & 0xFFFFFF, 0x3C14DCu);  // blue
    Click(pre, preLayout.Control(CPRESetup::kIdExit));
    ASSERT_TRUE(WaitUntil([&] { return preDialog().id.empty(); })) << "the PRE setup stayed";

    // "MIDI &Rack Setup": rack 1's first slot gets "PRE 2" A from its menu.
    CMidiSetupWindow rackLayout(&detected, nullptr, &layoutShell);
    Click(setup, setupLayout.Control(CDiagnostics::kIdMidiRackSetup));
    ASSERT_TRUE(WaitUntil([&] { return !Windows("^MIDI controls$").empty(); })) << "the rack setup did not open";
    const XWindow racks = Windows("^MIDI controls$").front();
    const QPoint slot = racks.rect.topLeft() + CMidiSetupWindow::CellRect(0, 0).center();
    Output("env DISPLAY=" + display + " xdotool mousemove --sync " + std::to_string(slot.x()) + " " + std::to_string(slot.y()) +
           " click 3");
    // The menu: "PRE 1", "PRE 2" (its sub-menu: "A (1-4)", "B (5-8)"), "Clear".
    const QPoint overMenu = slot + QPoint(4, 4);  // the menu opens down and right of the pointer, over the empty cell
    auto menuShown = [&](const QImage& s) { return !s.isNull() && (s.pixel(overMenu) & 0xFFFFFF) != 0; };
    ASSERT_TRUE(menuShown(ShotUntil(menuShown))) << "the slot menu did not open";
    Output("env DISPLAY=" + display + " xdotool key Down Down Right Return");
    const QPoint cell = racks.rect.topLeft() + CMidiSetupWindow::CellRect(0, 0).topLeft();
    auto tied = [&](const QImage& s) { return !s.isNull() && (s.pixel(cell) & 0xFFFFFF) == 0xFFA500u; };  // pair 2's colour
    ASSERT_TRUE(tied(ShotUntil(tied))) << "rack 1's first slot never showed PRE 2";
    Click(racks, rackLayout.Control(CMidiSetup::kIdOk));
    ASSERT_TRUE(WaitUntil([&] { return Windows("^MIDI controls$").empty(); })) << "the rack setup stayed";
    Click(setup, setupLayout.Control(CDiagnostics::kIdExit));
    ASSERT_TRUE(WaitUntil([&] { return Windows("^Setup / Test$").empty(); })) << "the set-up dialog stayed";

    // Rack 1, channel 1 to its mic input, then Phant: out on the second unit's channel, group A.
    ASSERT_TRUE(ClickUntilFace(main, layout->Control(MicDlgWindow::kIdDir), kMicInput)) << "Dir never showed the mic input";
    EXPECT_TRUE(ClickUntilFace(main, layout->Control(MicDlgWindow::kIdPhant), kSwitchOn)) << "Phant never lit";
    EXPECT_TRUE(sim.Receives("B5 04 7F", 30000)) << "midi-sim never heard Phant of rack 1 channel 1";
    EndMic();
}
