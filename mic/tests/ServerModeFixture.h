// What the tests of server mode share: mic-line records as the server sends them (a quiet
// record, one with a single entry set, the simulator's command that pushes one), and the main
// dialog in server mode over the unit model, optionally attached to the server simulator.
#pragma once

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "HexText.h"
#include "KivServerFixture.h"
#include "UnitLineFixture.h"
#include "app/MicLineInterface.h"
#include "app/ServerLink.h"
#include "quenby/KivServerClass.h"
#include "winport/DataObject.h"
#include "winport/Paths.h"
#include "winport/RegistryObject.h"

/// A record in which no line asks for anything the channels do not have already: Phant off,
/// Pad off, gain step 3, not selected.
inline MicLineRecord QuietMicLineRecord()
{
    MicLineRecord r;
    for (int i = 0; i < MicLineRecord::kLines; ++i) {
        r.bytes[i * MicLineRecord::kEntrySize + MicLineRecord::kPhantOff] = 1;
        r.bytes[i * MicLineRecord::kEntrySize + MicLineRecord::kGain] = 3;
    }
    return r;
}

/// A quiet record with one entry set (line = entry + 1).
inline MicLineRecord MicLineRecordWith(int entry, BYTE phantOff, BYTE pad, BYTE gain, BYTE selected = 0)
{
    MicLineRecord r = QuietMicLineRecord();
    BYTE* e = r.bytes + entry * MicLineRecord::kEntrySize;
    e[MicLineRecord::kPhantOff] = phantOff;
    e[MicLineRecord::kPad] = pad;
    e[MicLineRecord::kGain] = gain;
    e[MicLineRecord::kSelected] = selected;
    return r;
}

/// What makes a mic started from now on enter server mode: a console of the K7 series, the
/// user's switch on, the server program's file present.
inline ::testing::AssertionResult MakeServerModeMachine()
{
    CLocalMachineRegistryObject machine(CString{});
    if (!machine.SetInt("Software\\Vok Dwen Cantle\\Main", "CantleConsoleType", 6))
        return ::testing::AssertionFailure() << "the console type cannot be stored";
    CCurrentUserRegistryObject user;
    if (!user.SetInt(kServerModeKey, kServerModeValue, 1)) return ::testing::AssertionFailure() << "the user's switch cannot be stored";
    const std::string program = winport::HostPath(kServerProgramFile);
    if (!winport::EnsureParentDir(program) || !(std::ofstream(program) << "server"))
        return ::testing::AssertionFailure() << program << " cannot be written";
    return ::testing::AssertionSuccess();
}

/// The server simulator's control line that pushes the record to the mic-line objects (block
/// 276, 496 bytes: the 16-byte head and the record).
inline std::string PushMicLineCommand(const MicLineRecord& record)
{
    return "push 276 496 " + HexRun(record.bytes);
}

class ServerModeFixture : public UnitLineFixture {
protected:
    // The dialog goes first: it detaches while the server (and its shell) still run.
    void TearDown() override
    {
        dlg.reset();
        UnitLineFixture::TearDown();
    }

    /// Before Create: server mode, its objects attached to the simulator on the test's socket.
    void StartSimulator()
    {
        ::setenv("KIVSERVER_SOCKET", env.Path("runtime/kiv.sock").c_str(), 1);
        ::setenv("ARDO_LOG_SOCKET", env.Path("log.sock").c_str(), 1);
        sim = std::make_unique<KivServerSim>(env.Path("runtime/kiv.sock"), env.Path("record.txt"));
        ASSERT_TRUE(sim->Running());
        dlg->SetServerMode({1, 1});
    }

    /// Units 0 to units-1 answering, rack 0 on show, no pop-up option on.
    void StartAnswering(int units)
    {
        Start(units);
        for (int u = 0; u < units; ++u) ASSERT_TRUE(RunUntilResponding(u));
        dlg->SelectRack(0);
        Settle();
        dlg->m_RackSetup.SetPopupControls(FALSE);
        dlg->m_RackSetup.SetPopupOnSel(FALSE);
    }

    /// Ties a channel to a mic line, on its mic or line input.
    void Assign(int rack, int channel, int line, bool micInput = false)
    {
        dlg->m_RackSetup.SetChannelMode(rack, channel, micInput ? 1 : 0);
        dlg->m_RackSetup.SetChannelMicLine(rack, channel, line);
        dlg->AddMapping(line - 1, rack, channel);
    }

    /// The simulator pushes the record; its answer ("ok 1": one mic-line object reached).
    std::string Push(const MicLineRecord& record) { return sim->Control(PushMicLineCommand(record)); }

    std::unique_ptr<KivServerSim> sim;
};
