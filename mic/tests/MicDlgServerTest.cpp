// Server mode against the server simulator: the dialog's two objects attach when it starts, and
// the client monitor's shutdown request closes it after saving.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "FakeSerialPorts.h"
#include "KivServerFixture.h"
#include "RealTimeLoop.h"
#include "ScriptedShell.h"
#include "app/MicDlg.h"
#include "base/ConsoleInfo.h"
#include "winport/Profile.h"
#include "winport/RegistryObject.h"
#include "winport/Window.h"

namespace {

class MicDlgServerThreads : public KivServerTest {
protected:
    void SetUp() override { CConsoleInfo::ResetForTesting(); }
    void TearDown() override
    {
        CConsoleInfo::ResetForTesting();
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    bool Recorded(const std::string& head)
    {
        for (const std::string& r : sim->Records("block")) {
            if (r.find("head=" + head) != std::string::npos) return true;
        }
        return false;
    }
};

}  // namespace

TEST_F(MicDlgServerThreads, BothObjectsAttachAndCodeOneClosesAfterSaving)
{
    KivServerSim& server = StartServer();
    CLocalMachineRegistryObject machine(CString{});
    ASSERT_TRUE(machine.SetInt("Software\\Vok Dwen Cantle\\Main", "CantleConsoleType", 6));
    CCurrentUserRegistryObject user;
    ASSERT_TRUE(user.SetInt(kServerModeKey, kServerModeValue, 1));
    std::string program = winport::HostPath(kServerProgramFile);
    ASSERT_TRUE(winport::EnsureParentDir(program));
    std::ofstream(program) << "server";
    winport::SetProfileName("micUlvo.ini");
    winport::WriteProfileInt("Settings", "Communication Port", 3);
    FakeSerialPorts ports;
    ports.Plug(3);

    ScriptedShell shell;
    CMicDlg dlg(nullptr, &shell);
    EXPECT_EQ(1, dlg.m_bUseWithCantle);
    EXPECT_EQ(1, dlg.m_bCantlePresent);
    dlg.SetSerialPorts(ports.Factory(), ports.Availability());
    ASSERT_TRUE(dlg.Create());
    EXPECT_TRUE(dlg.HasMicLine());
    EXPECT_TRUE(dlg.HasClientMonitor());
    EXPECT_TRUE(Recorded("14010000")) << "the mic line attached (276)";
    EXPECT_TRUE(Recorded("c0000000")) << "the client monitor attached (192)";
    bool named = false;
    for (const std::string& r : server.Records("block")) named |= r.find("6d69630000") != std::string::npos;
    EXPECT_TRUE(named) << "under the name \"mic\"";

    ASSERT_EQ("ok 1", server.Control("push 192 20 01000000"));
    ASSERT_TRUE(PumpUntil([&] { return dlg.IsEnded() == TRUE; }));
    EXPECT_EQ(IDOK, dlg.GetModalResult());
    EXPECT_TRUE(shell.dialogs.empty()) << "closed without asking";
    EXPECT_EQ(3u, winport::GetProfileInt("Settings", "Communication Port", -1));
    EXPECT_TRUE(std::filesystem::exists(winport::HostPath(CMicDlg::GetRestoreFilePath())));
    EXPECT_TRUE(boxes.empty());
}
