// The main dialog's setup files and profile settings: start-up loads, Load and Store Preset,
// the messages of unreadable and newer files, and the profile's keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "ScriptedShell.h"
#include "TestEnvironment.h"
#include "app/MicApp.h"
#include "app/MicDlg.h"
#include "winport/Profile.h"

namespace {

class MicDlgSetup : public ::testing::Test {
protected:
    void SetUp() override { winport::SetProfileName("micUlvo.ini"); }

    std::string profileText()
    {
        std::ifstream in(winport::ProfilePath("micUlvo.ini"));
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    // A version-1 file with server-mode values in it.
    std::string writeSetup(const char* name, int status)
    {
        CRackSetup s;
        for (int r = 0; r < 16; ++r) {
            for (int c = 0; c < 4; ++c) {
                s.SetChannelStatus(r, c, status);
                s.SetChannelMicLine(r, c, 1 + r);
            }
            s.SetRackOption(r, TRUE);
        }
        std::string path = env.Path(name);
        EXPECT_TRUE(s.SaveSetupFile(path.c_str()));
        return path;
    }

    TestEnvironment env;
    ScriptedShell shell;
};

}  // namespace

TEST_F(MicDlgSetup, ProfileDefaultsAndTheOrderOfSaving)
{
    CMicDlg dlg(nullptr, &shell);
    dlg.m_nCommPort = 0;
    EXPECT_FALSE(dlg.ReadSettings()) << "no \"Communication Port\" in the profile";
    EXPECT_EQ(0, dlg.m_nCommPort);
    EXPECT_EQ(1, dlg.m_bAutoRestore);
    EXPECT_EQ(0, dlg.m_bAutoLoad);
    EXPECT_EQ(1, dlg.m_bMiniAlwaysOnTop);
    EXPECT_TRUE(dlg.m_strFileName.IsEmpty());
    dlg.ReadPopupSettings();
    EXPECT_TRUE(dlg.m_RackSetup.GetPopupControls());
    EXPECT_TRUE(dlg.m_RackSetup.GetPopupOnSel());

    dlg.m_bAutoLoad = 1;
    dlg.m_strFileName = "C:\\Setups\\Studio A.mic";
    dlg.m_nCommPort = 3;
    dlg.SaveSettings();
    EXPECT_EQ("[Settings]\nAuto Load=1\nAuto Restore=1\nMini Always On Top=1\nFileName=C:\\Setups\\Studio A.mic\n"
              "Communication Port=3\n",
              [&] {
                  std::string t = profileText();
                  t.erase(std::remove(t.begin(), t.end(), '\r'), t.end());
                  return t;
              }());

    CMicDlg again(nullptr, &shell);
    EXPECT_TRUE(again.ReadSettings());
    EXPECT_EQ(3, again.m_nCommPort);
    EXPECT_EQ(1, again.m_bAutoLoad);
    EXPECT_EQ(CString("C:\\Setups\\Studio A.mic"), again.m_strFileName);
}

TEST_F(MicDlgSetup, LoadOutsideServerModeClearsServerValues)
{
    std::string path = writeSetup("a.mic", 0x47);
    CMicDlg dlg(nullptr, &shell);
    dlg.m_RackSetup.SetPopupOnSel(TRUE);
    dlg.m_RackSetup.SetPopupControls(TRUE);
    dlg.LoadSetup(path.c_str(), 1, -1);
    EXPECT_TRUE(shell.boxes.empty());
    EXPECT_EQ(0x47, dlg.m_RackSetup.GetChannelStatus(9, 2));
    for (int r = 0; r < 16; ++r) {
        EXPECT_FALSE(dlg.m_RackSetup.GetRackOption(r));
        for (int c = 0; c < 4; ++c) EXPECT_EQ(0, dlg.m_RackSetup.GetChannelMicLine(r, c));
    }
    EXPECT_FALSE(dlg.m_RackSetup.GetPopupOnSel());
    EXPECT_FALSE(dlg.m_RackSetup.GetPopupControls());
    for (const auto& list : dlg.m_ChannelMaps) EXPECT_EQ(0, list.GetSize());
    EXPECT_EQ(CString("Remote Mic Control   (a.mic)"), dlg.GetTitle());
    dlg.LoadSetup(path.c_str(), 0, 3);
    EXPECT_EQ(CString("Remote Mic Control"), dlg.GetTitle());
}

TEST_F(MicDlgSetup, NewerVersionIsRefusedWithItsMessage)
{
    std::string path = writeSetup("new.mic", 0x47);
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(1936);
        const char two[4] = {2, 0, 0, 0};
        f.write(two, 4);
    }
    CMicDlg dlg(nullptr, &shell);
    dlg.LoadSetup(path.c_str(), 1, -1);
    ASSERT_EQ(1u, shell.boxes.size());
    EXPECT_EQ("A newer version of this software is available!!\nCheck for updates.", shell.boxes[0].text);
    EXPECT_EQ(3, dlg.m_RackSetup.GetChannelStatus(0, 0));
    EXPECT_TRUE(shell.requests.empty());
}

TEST_F(MicDlgSetup, UnreadableFileAsksForAnother)
{
    struct Row {
        BYTE autoRestore, autoLoad;
        const char* text;
    };
    const Row rows[] = {
        {1, 1, "Failed to load auto restore file. Please select a Setup file."},
        {0, 1, "Failed to load last Setup file. Please select a Setup file."},
        {0, 0, "Setup file is not readable!"},
    };
    std::string good = writeSetup("good.mic", 0x44);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        ScriptedShell script;
        script.paths.push_back(good);
        CMicDlg dlg(nullptr, &script);
        dlg.m_bAutoRestore = r.autoRestore;
        dlg.m_bAutoLoad = r.autoLoad;
        dlg.LoadSetup(env.Path("missing.mic").c_str(), 0, -1);
        ASSERT_EQ(1u, script.boxes.size());
        EXPECT_EQ(r.text, script.boxes[0].text);
        ASSERT_EQ(1u, script.requests.size());
        EXPECT_TRUE(script.requests[0].open);
        EXPECT_EQ(CString(good.c_str()), dlg.m_strFileName);
        EXPECT_EQ(0x44, dlg.m_RackSetup.GetChannelStatus(15, 3));
    }
}

TEST_F(MicDlgSetup, PresetsGoThroughFileDialogs)
{
    std::string path = env.Path("studio.mic");
    shell.paths.push_back(path);
    CMicDlg dlg(nullptr, &shell);
    dlg.m_RackSetup.SetChannelStatus(4, 1, 0x5A);
    dlg.OnStorePreset();
    ASSERT_EQ(1u, shell.requests.size());
    EXPECT_FALSE(shell.requests[0].open);
    EXPECT_EQ(CString("MIC"), shell.requests[0].defaultExtension);
    EXPECT_EQ(CString(".mic"), shell.requests[0].fileName);
    EXPECT_EQ(CString("Mic pre-amp files (*.mic)|*.mic|"), shell.requests[0].filter);
    // The caller's full path stays the setup file's name; only the title shows the short one.
    EXPECT_EQ(CString(path.c_str()), dlg.m_strFileName);
    EXPECT_EQ(CString("Remote Mic Control   (studio.mic)"), dlg.GetTitle());
    EXPECT_EQ(1, CRackSetup::GetSetupFileVersion(path.c_str()));

    // Load it into another dialog whose rack 4 answers: rack 4's settings go out, path first.
    CMicDlg other(nullptr, &shell);
    other.m_RackSetup.SetRackFlag(4, TRUE);
    other.m_RackSetup.SetCurrentRack(9);
    shell.paths.push_back(path);
    other.OnLoadPreset();
    EXPECT_EQ(0x5A, other.m_RackSetup.GetChannelStatus(4, 1));
    // The reset set of the answering rack (12), then 0x13, 0x41, 0x11 per channel (12).
    ASSERT_EQ(24, other.RingCount());
    EXPECT_TRUE(other.m_bBusy);
    EXPECT_EQ(LinkPicture::Busy, other.m_eLinkPicture) << "the busy picture while they wait";
    // A second preset waits while the ring holds messages.
    size_t asked = shell.requests.size();
    other.OnLoadPreset();
    EXPECT_EQ(asked, shell.requests.size());
}

TEST_F(MicDlgSetup, RestoreFileLivesInTheWindowsDirectory)
{
    CMicDlg dlg(nullptr, &shell);
    EXPECT_EQ(CString("C:\\WINDOWS\\RestoreSnapshotUlvo.mic"), CMicDlg::GetRestoreFilePath());
    dlg.m_RackSetup.SetChannelStatus(2, 2, 0x33);
    dlg.SaveRestoreSnapshot();
    EXPECT_EQ(1, CRackSetup::GetSetupFileVersion(CMicDlg::GetRestoreFilePath()));
    EXPECT_EQ(CString("Remote Mic Control"), dlg.GetTitle());

    // Auto-restore off: nothing is saved, nothing loaded at start.
    CMicDlg off(nullptr, &shell);
    off.m_bAutoRestore = 0;
    off.m_RackSetup.SetChannelStatus(2, 2, 0x44);
    off.SaveRestoreSnapshot();
    off.LoadStartupSetup(-1);
    CMicDlg on(nullptr, &shell);
    on.LoadStartupSetup(-1);
    EXPECT_EQ(0x33, on.m_RackSetup.GetChannelStatus(2, 2));
    EXPECT_EQ(0x44, off.m_RackSetup.GetChannelStatus(2, 2)) << "nothing loaded";
    EXPECT_TRUE(shell.boxes.empty());
}
