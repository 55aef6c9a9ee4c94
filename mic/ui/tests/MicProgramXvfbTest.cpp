// The mic program with its window on a virtual X display (Xvfb), against pre-sim with three
// units on a pseudo-terminal: the window shows the units responding, and a click on a channel
// switch reaches the unit. The last screenshot is kept in the build folder
// (mic/mic-xvfb-screenshot.png) for a person to look at.
#include <gtest/gtest.h>

#include <functional>

#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <unistd.h>

#include "../../tests/ChildProcess.h"  // the mic tests' child process with pre-sim
#include "TestEnvironment.h"
#include "app/MicDlg.h"
#include "mic_ui/MicDlgWindow.h"
#include "winport/Profile.h"

namespace {

bool Installed(const char* path) { return ::access(path, X_OK) == 0; }

/// A shell command's output (commands here end by themselves; each is bounded by timeout).
std::string Output(const std::string& command)
{
    std::string out;
    if (FILE* p = ::popen(("timeout 10 " + command + " 2>/dev/null").c_str(), "r")) {
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

}  // namespace

TEST(MicProgramXvfb, UnitsShowAsRespondingAndAClickOnPhantReachesTheUnit)
{
    if (!Installed("/usr/bin/Xvfb") || !Installed("/usr/bin/xdotool") || !Installed("/usr/bin/import"))
        GTEST_SKIP() << "Xvfb, xdotool and ImageMagick's import are needed (scripts/setup installs them)";
    TestEnvironment env;
    winport::SetProfileName("micUlvo.ini");
    winport::WriteProfileInt("Settings", "Auto Restore", 0);  // no restore file: no question at start

    // Where the controls lie: the same window, laid out in this process.
    HeadlessShell layoutShell;
    CMicDlg layoutDlg(nullptr, &layoutShell);
    MicDlgWindow layout(layoutDlg);
    auto geometry = [&](int id) { return layout.Control(id)->geometry(); };

    ChildProcess xvfb("/usr/bin/Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    const std::string number = xvfb.WaitFor("", 10000);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    const std::string display = ":" + number;

    PreSimProcess presim({"--units", "3", "--link", env.Path("com1"), "--quiet"});
    ASSERT_FALSE(presim.Pty().empty());

    std::unique_ptr<ChildProcess> mic;
    {
        ScopedEnv com1("WINPORT_COM1", env.Path("com1"));
        ScopedEnv x("DISPLAY", display);
        ScopedEnv platform("QT_QPA_PLATFORM", "xcb");
        mic = std::make_unique<ChildProcess>(std::string(CONSOLE_BINARY_DIR) + "/mic/mic", std::vector<std::string>{});
    }
    ASSERT_FALSE(mic->WaitFor("running", 20000).empty()) << "mic did not start";

    const std::string where =
        Output("env DISPLAY=" + display + " xdotool search --onlyvisible --name 'Remote Mic Control' getwindowgeometry --shell %@");
    int winX = -1, winY = -1;
    for (const char* key : {"X=", "Y="}) {
        const size_t at = where.find(key);
        ASSERT_NE(at, std::string::npos) << "no window: " << where;
        (key[0] == 'X' ? winX : winY) = std::atoi(where.c_str() + at + 2);
    }

    const std::string shotPath = std::string(CONSOLE_BINARY_DIR) + "/mic/mic-xvfb-screenshot.png";
    auto screenshot = [&] {
        Output("import -display " + display + " -window root " + shotPath);
        return QImage(QString::fromStdString(shotPath));
    };
    // A point 4 pixels into the top of a picture, across its middle: its face colour.
    auto face = [&](const QImage& shot, int id) {
        const QRect r = geometry(id);
        const bool button = id >= MicDlgWindow::kIdRack && id < MicDlgWindow::kIdRack + 16;
        const int x = winX + (button ? r.center().x() : r.left() + 24), y = winY + r.top() + (button ? 5 : 2);
        return shot.isNull() ? 0u : shot.pixel(x, y) & 0xFFFFFF;
    };

    auto click = [&](int id) {
        const QPoint c = geometry(id).center();
        Output("env DISPLAY=" + display + " xdotool mousemove --sync " + std::to_string(winX + c.x()) + " " +
               std::to_string(winY + c.y()) + " click 1");
    };
    // Takes screenshots until done(shot) holds (bounded).
    auto shotUntil = [&](const std::function<bool(const QImage&)>& done) {
        QImage taken;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            taken = screenshot();
            if (done(taken)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return taken;
    };
    const QRgb selected = Rgb(40, 200, 60), responding = Rgb(30, 110, 40);

    // The units are found: racks 1 to 3 responding, rack 4 not; the link shows "linked". The
    // first unit to answer has its rack selected: on a busy machine that need not be unit 1,
    // so rack 1 is chosen by a click.
    QImage shot = shotUntil([&](const QImage& s) {
        for (int r = 0; r < 3; ++r) {
            const QRgb f = face(s, MicDlgWindow::kIdRack + r);
            if (f != selected && f != responding) return false;
        }
        if (face(s, MicDlgWindow::kIdRack) == selected) return true;
        click(MicDlgWindow::kIdRack);
        return false;
    });
    EXPECT_EQ(face(shot, MicDlgWindow::kIdRack), selected);
    EXPECT_EQ(face(shot, MicDlgWindow::kIdRack + 1), responding);
    ASSERT_EQ(face(shot, MicDlgWindow::kIdRack + 2), responding) << "racks 1 to 3 never showed as responding";
    EXPECT_EQ(face(shot, MicDlgWindow::kIdRack + 3), Rgb(70, 70, 70));
    EXPECT_EQ(face(shot, MicDlgWindow::kIdLinkPicture), Rgb(40, 200, 60));

    // Channel 1 goes to its mic input (Dir), then Phant is switched on with a click.
    click(MicDlgWindow::kIdDir);
    click(MicDlgWindow::kIdPhant);
    bool phantom = false;
    for (int i = 0; i < 50 && !phantom; ++i) {
        presim.Send("state 0");
        const std::string state = presim.WaitFor("state 0 ", 2000);
        const size_t at = state.find("mic=");
        phantom = at != std::string::npos && (std::strtol(state.c_str() + at + 4, nullptr, 16) & 0x40) != 0;
        if (!phantom) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(phantom) << "unit 1 never got phantom power on channel 1";
    shot = screenshot();  // kept as the test's artefact
    const QRect phant = geometry(MicDlgWindow::kIdPhant);
    EXPECT_EQ(shot.pixel(winX + phant.center().x(), winY + phant.top() + 5) & 0xFFFFFF, Rgb(255, 176, 0));

    presim.Send("stats");
    const std::string stats = presim.WaitFor("stats ", 2000);
    EXPECT_NE(stats.find("violations=0"), std::string::npos) << stats;

    mic->Signal(SIGTERM);  // closes as the server's close request does
    EXPECT_EQ(mic->Wait(10000), 0);
    xvfb.Signal(SIGTERM);
    xvfb.Wait(5000);
}
