// Machine control, timecode, stems, surround and Luskar objects: every sub-command and command
// row as tables of golden blocks written from the block layouts by hand, the cached machine and
// group state, track readiness and the server's answers.
#include <gtest/gtest.h>

#include <thread>

#include "../testtools/KivClientTestKit.h"
#include "quenby/MCSKivObject.h"
#include "quenby/StemSurroundKIVObjects.h"
#include "winport/Clock.h"
#include "winport/RegistryObject.h"

namespace {

using Calls = std::vector<std::string>;
const HWND kWindow = UlongToHwnd(0x2A);

// count bytes first, first + 1, ... (mod 256) at an offset.
KivField Seq(size_t offset, size_t count, int first)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + static_cast<int>(i));
    return {offset, bytes};
}

std::vector<uint8_t> Mcs(int sub, int size, std::vector<KivField> fields = {}, int command = 162)
{
    std::vector<uint8_t> block = KivExpectedBlock(command, size, 0, {KivI32(20, sub)});
    for (const KivField& f : fields) std::memcpy(block.data() + f.offset, f.bytes.data(), f.bytes.size());
    return block;
}

// The machine list a program would fill: a tape machine (id 7) with 22 numbered tracks, two
// further tracks (22 and 23), timecode and video tracks; a picture machine (id 9) whose
// protocol byte lies beyond the names.
class Machines : public CMCSKivObject {
public:
    Machines()
    {
        MCSMachineInfoStruct tape{};
        std::strcpy(tape.szName, "Tape 1");
        std::strcpy(tape.szAlias, "Multitrack");
        tape.byProtocol = 1, tape.byID = 7, tape.cPort = 2, tape.cState = 3, tape.cProcess = -4;
        tape.byNumTracks = 24;
        tape.byOtherTracks = 0x80 | 0x20 | 0x10 | 0x03;
        tape.abyTrackReady[0] = 0x40;
        tape.abyReserved2[0] = 0xFF;  // byte 75, beyond the ready bytes
        tape.byRecordMode = 2;
        for (int i = 0; i < 32; ++i) tape.abyGeneralParams[i] = static_cast<BYTE>(i + 1);
        for (int i = 0; i < 16; ++i) tape.abyServoParams[i] = static_cast<BYTE>(100 + i);
        m_aMachines.Add(tape);
        MCSMachineInfoStruct picture{};
        std::strcpy(picture.szName, "Picture");
        picture.byProtocol = 16, picture.byID = 9, picture.cPort = -2;
        m_aMachines.Add(picture);
    }
    ~Machines() override { StopAdvise(); }
    MCSMachineInfoStruct& Tape() { return m_aMachines.GetData()[0]; }
    void SetLockedReference(BYTE reference, BYTE status) { m_byGroupLockedReference = reference, m_byGroupLockedStatus = status; }
};

class MachineControlThreads : public KivServerTest {
protected:
    void AllowTCAndVideo(bool allow)
    {
        CCurrentUserRegistryObject registry;
        if (allow) registry.SetDword("Software\\VOKDWEN\\Vok Dwen Cantle\\MCS", "Allow record to Video and timecode Tracks", 1);
        else registry.DeleteKeyTree("Software\\VOKDWEN\\Vok Dwen Cantle\\MCS");
    }
};

TEST_F(MachineControlThreads, EveryMachineControlRowSendsItsBlock)
{
    using K = KivCallKind;
    std::vector<KivField> params = {KivU8(44, 7), Seq(805, 32, 1), Seq(837, 16, 100)};
    const std::vector<KivRow> rows = {
        {"attach", "MCSKivObject", KivCall<Machines>([](auto& o) { o.MCSAttach(); }), KivExpectedBlock(161, 16, 0), K::AttachRead},
        {"fast forward", "MCSKivObject", KivCall<Machines>([](auto& o) { o.FForwardMCS(); }), Mcs(2, 716)},
        {"rewind", "MCSKivObject", KivCall<Machines>([](auto& o) { o.RewindMCS(); }), Mcs(3, 716)},
        {"play", "MCSKivObject", KivCall<Machines>([](auto& o) { o.PlayMCS(); }), Mcs(5, 716)},
        {"stop", "MCSKivObject", KivCall<Machines>([](auto& o) { o.StopMCS(); }), Mcs(6, 716)},
        {"record", "MCSKivObject", KivCall<Machines>([](auto& o) { o.RecordMCS(); }), Mcs(16, 716)},
        {"locate", "MCSKivObject", KivCall<Machines>([](auto& o) { o.LocateMCS(1234); }), Mcs(20, 716, {KivI32(24, 1234)})},
        {"cycle", "MCSKivObject", KivCall<Machines>([](auto& o) { o.CycleMCS(5, 6); }), Mcs(21, 716, {KivI32(28, 5), KivI32(24, 6)})},
        {"rollback", "MCSKivObject", KivCall<Machines>([](auto& o) { o.RollbackMCS(); }), Mcs(22, 716)},
        {"open locate", "MCSKivObject", KivCall<Machines>([](auto& o) { o.OpenLocate(); }), Mcs(27, 716, {KivI32(16, 1)})},
        {"exit cycle or locate", "MCSKivObject", KivCall<Machines>([](auto& o) { o.ExitCycleOrLocate(); }), Mcs(27, 716)},
        {"open cycle", "MCSKivObject", KivCall<Machines>([](auto& o) { o.OpenCycle(); }), Mcs(28, 716, {KivI32(16, 1)})},
        {"current machine", "MCSKivObject", KivCall<Machines>([](auto& o) { o.SetCurrentMachine(7); }), Mcs(36, 716, {KivU8(44, 7)})},
        {"group member", "MCSKivObject", KivCall<Machines>([](auto& o) { o.ChangeGroupMember(2, 7, 1); }),
         Mcs(39, 716, {KivU8(45, 2), KivU8(44, 7), KivI32(36, 1)})},
        {"clear group", "MCSKivObject", KivCall<Machines>([](auto& o) { o.ClearGroup(3); }), Mcs(40, 716, {KivU8(45, 3)})},
        {"current group", "MCSKivObject", KivCall<Machines>([](auto& o) { o.SetCurrentGroup(4); }), Mcs(41, 716, {KivU8(45, 4)})},
        {"device offset, negative", "MCSKivObject", KivCall<Machines>([](auto& o) { o.SetDeviceOffset(7, 1, 2, 3, 4, true); }),
         Mcs(42, 864, {KivU8(44, 7), {768, {0x81, 0x02, 0x03, 0x04}}})},
        {"device offset", "MCSKivObject", KivCall<Machines>([](auto& o) { o.SetDeviceOffset(7, 12, 34, 56, 29, false); }),
         Mcs(42, 864, {KivU8(44, 7), {768, {0x12, 0x34, 0x56, 0x29}}})},
        {"tape code", "MCSKivObject", KivCall<Machines>([](auto& o) { o.SetSelectedTapeCode(7, 10, 59, 30, 24); }),
         Mcs(43, 864, {KivU8(44, 7), {768, {0x10, 0x59, 0x30, 0x24}}})},
        {"machine params", "MCSKivObject", KivCall<Machines>([](auto& o) { o.SetMachineParams(7); }), Mcs(44, 864, params)},
        {"servo param", "MCSKivObject", KivCall<Machines>([](auto& o) { EXPECT_EQ(1, o.SetServoParam(7, 15, 0xEE)); }),
         Mcs(44, 864, {KivU8(44, 7), Seq(805, 32, 1), Seq(837, 15, 100), KivU8(852, 0xEE)})},
        {"general param", "MCSKivObject", KivCall<Machines>([](auto& o) { EXPECT_EQ(1, o.SetGeneralParam(7, 0, 0xEE)); }),
         Mcs(44, 864, {KivU8(44, 7), Seq(806, 31, 2), KivU8(805, 0xEE), Seq(837, 16, 100)})},
        {"track ready modes", "MCSKivObject", KivCall<Machines>([](auto& o) { o.SetTrackReadyModes(7); }),
         Mcs(45, 864, {KivU8(44, 7), KivU8(778, 0x40)})},
        {"record mode", "MCSKivObject", KivCall<Machines>([](auto& o) { o.SetRecordMode(7, 5); }),
         Mcs(46, 864, {KivU8(44, 7), KivU8(804, 5)})},
        {"alias", "MCSKivObject", KivCall<Machines>([](auto& o) { o.SetMachineAlias(7, "Slave"); }),
         Mcs(47, 864, {KivU8(44, 7), KivText(737, "Slave")}), K::AttachRead},
        {"master", "MCSKivObject", KivCall<Machines>([](auto& o) { o.SetMaster(2, 7); }), Mcs(50, 716, {KivU8(45, 2), KivU8(44, 7)})},
        {"reload groups", "MCSKivObject", KivCall<Machines>([](auto& o) { o.ReloadGroups(); }), Mcs(51, 716)},
        {"synchro reference", "MCSKivObject", KivCall<Machines>([](auto& o) { o.SetSynchroRef(3); }), Mcs(53, 716, {KivU8(140, 3)})},
        {"feet and frames", "MCSKivObject", KivCall<Machines>([](auto& o) { o.SetMCSFeetAndFrames(1, 2, 3, 4, 5, 6); }),
         Mcs(54, 716, {{195, {3, 4, 5, 6, 1, 2}}})},
        {"local zero", "MCSKivObject", KivCall<Machines>([](auto& o) { o.SetMCSLocalZero(1, 2, 3, 4, 5); }), Mcs(55, 716, {Seq(201, 5, 1)})},
        {"debug data", "MCSKivObject", KivCall<Machines>([](auto& o) {
             BYTE data[8] = {2, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE};
             o.PelkMCSDebug_SetInternalData(data);
         }),
         Mcs(56, 716, {{461, {2, 0xAA, 0xBB, 0xCC, 0xDD}}})},
        {"debug data to the block's end", "MCSKivObject", KivCall<Machines>([](auto& o) {
             BYTE data[300];
             for (int i = 0; i < 300; ++i) data[i] = static_cast<BYTE>(255 - i);  // data[0] 255: 258 bytes asked
             o.PelkMCSDebug_SetInternalData(data);
         }),
         [] {
             std::vector<uint8_t> block = Mcs(56, 716);
             for (int i = 0; i < 255; ++i) block[461 + static_cast<size_t>(i)] = static_cast<uint8_t>(255 - i);
             return block;
         }()},
        {"debug enable", "MCSKivObject", KivCall<Machines>([](auto& o) { o.PelkMCSDebug_Enable(); }), Mcs(57, 716, {}, 297)},
        {"chase mode", "MCSKivObject", KivCall<Machines>([](auto& o) { o.SetChaseMode(7, static_cast<MCS_TC_Options>(3)); }),
         Mcs(58, 864, {KivU8(44, 7), KivU8(860, 3)})},
    };
    KivServerSim& server = StartServer();
    KivCheckRows(server, rows);
}

TEST_F(MachineControlThreads, EveryStemSurroundAndLuskarRowSendsItsBlock)
{
    using K = KivCallKind;
    std::vector<uint8_t> luskar = KivExpectedBlock(286, 10528, 0, {Seq(16, 10512, 1)});
    luskar[10096] = 0;  // whatever the record held there
    const std::vector<KivRow> rows = {
        {"stem attach", "StemContentsKIV", KivCall<CStemContentsKIVObject>([](auto& o) { o.StemAttach(); }), KivExpectedBlock(145, 16, 0),
         K::AttachRead},
        {"stem apply", "StemContentsKIV", KivCall<CStemContentsKIVObject>([](auto& o) { o.ApplyStemContents(); }),
         KivExpectedBlock(146, 404, 0)},
        {"mixer attach", "StemMixer", KivCall<CStemMixerKivObject>([](auto& o) { o.StemMixerAttach(); }), KivExpectedBlock(304, 16, 0),
         K::AttachRead},
        {"mixer get", "StemMixer", KivCall<CStemMixerKivObject>([](auto& o) { o.StemMixerGetData(); }), KivExpectedBlock(306, 16, 0)},
        {"mixer set", "StemMixer", KivCall<CStemMixerKivObject>([](auto& o) {
             auto record = std::make_unique<_StructStemMixerControl>();
             for (size_t i = 0; i < sizeof record->bytes; ++i) record->bytes[i] = static_cast<BYTE>(1 + i);
             o.StemMixerSetData(*record);
         }),
         KivExpectedBlock(305, 4116, 0, {Seq(16, 4100, 1)})},
        {"monitor attach", "StemMon", KivCall<CStemMonKivObject>([](auto& o) { o.StemMonAttach(); }), KivExpectedBlock(307, 16, 0),
         K::AttachRead},
        {"monitor get", "StemMon", KivCall<CStemMonKivObject>([](auto& o) { o.GetDataStemMonData(); }), KivExpectedBlock(309, 16, 0)},
        {"monitor set", "StemMon", KivCall<CStemMonKivObject>([](auto& o) {
             auto record = std::make_unique<_StructStemMonControl>();
             for (size_t i = 0; i < sizeof record->bytes; ++i) record->bytes[i] = static_cast<BYTE>(3 + i);
             o.SetDataStemMonData(*record);
         }),
         KivExpectedBlock(308, 6180, 0, {Seq(16, 6164, 3)})},
        {"K7X attach", "SurroundK7XKIV", KivCall<CSurroundK7XKIVObject>([](auto& o) { o.SurroundK7XAttach(); }),
         KivExpectedBlock(283, 16, 0), K::AttachRead},
        {"K7X data", "SurroundK7XKIV", KivCall<CSurroundK7XKIVObject>([](auto& o) {
             _StructSurroundK7XControl record;
             for (size_t i = 0; i < sizeof record.bytes; ++i) record.bytes[i] = static_cast<BYTE>(5 + i);
             o.SendSurroundK7XData(record);
         }),
         KivExpectedBlock(284, 1692, 0, {Seq(16, 1676, 5)})},
        {"K7X load, flag", "SurroundK7XKIV", KivCall<CSurroundK7XKIVObject>([](auto& o) { o.LoadData("5.1 film", 1, 11, 22); }),
         KivExpectedBlock(284, 1692, 0, {KivI32(16, 2), KivText(1278, "5.1 film"), KivI32(1680, 22), KivI32(1684, 11)})},
        {"K7X load", "SurroundK7XKIV", KivCall<CSurroundK7XKIVObject>([](auto& o) { o.LoadData("5.1 film", 0, 11, 22); }),
         KivExpectedBlock(284, 1692, 0, {KivI32(16, 3), KivText(1278, "5.1 film"), KivI32(1680, 22), KivI32(1684, 11)})},
        {"stack attach", "SurroundStackKIV", KivCall<CSurroundStackKIVObject>([](auto& o) { o.SuStAttach(); }),
         KivExpectedBlock(129, 16, 0), K::AttachRead},
        {"stack load", "SurroundStackKIV", KivCall<CSurroundStackKIVObject>([](auto& o) { o.LoadTemplate(); }),
         KivExpectedBlock(130, 972, 0)},
        {"stack rename", "SurroundStackKIV", KivCall<CSurroundStackKIVObject>([](auto& o) {
             CString from("eighteen chars ok!"), to("new");
             o.RenameTemplate(from, to);
         }),
         KivExpectedBlock(131, 972, 0, {KivText(20, "eighteen chars ok!"), KivText(39, "new")})},
        {"stack rename, long name", "SurroundStackKIV", KivCall<CSurroundStackKIVObject>([](auto& o) {
             CString from("nineteen characters"), to("new");
             o.RenameTemplate(from, to);
         }),
         KivExpectedBlock(131, 972, 0, {KivText(20, "nineteen character"), KivText(39, "new")})},
        {"stack delete", "SurroundStackKIV", KivCall<CSurroundStackKIVObject>([](auto& o) {
             CString name("LCRS");
             o.DeleteTemplate(name);
         }),
         KivExpectedBlock(132, 972, 0, {KivText(20, "LCRS")})},
        {"stack view", "SurroundStackKIV", KivCall<CSurroundStackKIVObject>([](auto& o) {
             CString name("a name longer than its field");
             o.ViewTemplate(name);
         }),
         KivExpectedBlock(133, 972, 0, {KivText(20, "a name longer than")})},
        {"Luskar attach", "LuskarKIV", KivCall<CLuskarKIVObject>([](auto& o) { o.LuskarAttach(); }), KivExpectedBlock(285, 16, 0),
         K::AttachRead},
        {"Luskar data", "LuskarKIV", KivCall<CLuskarKIVObject>([](auto& o) {
             auto record = std::make_unique<_StructLuskarControl>();
             for (size_t i = 0; i < sizeof record->bytes; ++i) record->bytes[i] = static_cast<BYTE>(1 + i);
             o.SendLuskarData(*record);
         }),
         luskar},
        {"Luskar load, flag", "LuskarKIV", KivCall<CLuskarKIVObject>([](auto& o) { o.LoadLuskarData("io", 1, 11, 22); }),
         KivExpectedBlock(286, 10528, 0, {KivU8(10096, 2), KivText(10114, "io"), KivI32(10516, 22), KivI32(10520, 11)})},
        {"Luskar load", "LuskarKIV", KivCall<CLuskarKIVObject>([](auto& o) { o.LoadLuskarData("io", 0, 11, 22); }),
         KivExpectedBlock(286, 10528, 0, {KivU8(10096, 3), KivText(10114, "io"), KivI32(10516, 22), KivI32(10520, 11)})},
    };
    KivServerSim& server = StartServer();
    KivCheckRows(server, rows);
}

TEST_F(MachineControlThreads, MachineLookups)
{
    StartServer();
    Machines mcs;
    EXPECT_EQ(2, mcs.GetNumMachines());
    EXPECT_EQ(0, mcs.GetMachineIndexFromID(7));
    EXPECT_EQ(1, mcs.GetMachineIndexFromID(9));
    EXPECT_EQ(255, mcs.GetMachineIndexFromID(8));
    EXPECT_EQ(9, mcs.GetMachineIDFromIndex(1));
    EXPECT_EQ(255, mcs.GetMachineIDFromIndex(2));

    CString text;
    mcs.GetMachineName(7, text);
    EXPECT_EQ(CString("Tape 1"), text);
    mcs.GetMachineAlias(7, text);
    EXPECT_EQ(CString("Multitrack"), text);
    mcs.GetMachineProtocol(7, text);
    EXPECT_EQ(CString(" Sony 9 Pin Master"), text);
    mcs.GetMachineProtocol(9, text);  // a protocol beyond the names
    EXPECT_EQ(CString(""), text);
    mcs.Tape().byProtocol = 0;
    mcs.GetMachineProtocol(7, text);
    EXPECT_EQ(CString("Undefined"), text);
    mcs.Tape().byProtocol = 15;
    mcs.GetMachineProtocol(7, text);
    EXPECT_EQ(CString("Adams Smith"), text);
    EXPECT_EQ(2, mcs.GetMachinePort(7));
    EXPECT_EQ(3, mcs.GetMachineState(7));
    EXPECT_EQ(-4, mcs.GetMachineProcess(7));
    EXPECT_EQ(2, mcs.GetRecordMode(7));
    MCSMachineInfoStruct info;
    mcs.GetMachineInfo(7, info);
    EXPECT_EQ(0, std::memcmp(&info, &mcs.Tape(), sizeof info));

    // An unknown id.
    std::memset(&info, 0xAB, sizeof info);
    mcs.GetMachineInfo(8, info);
    EXPECT_EQ(std::vector<BYTE>(148, 0), std::vector<BYTE>(reinterpret_cast<BYTE*>(&info), reinterpret_cast<BYTE*>(&info) + 148));
    for (auto get : {&CMCSKivObject::GetMachineName, &CMCSKivObject::GetMachineAlias, &CMCSKivObject::GetMachineProtocol}) {
        text = "previous";
        (mcs.*get)(8, text);
        EXPECT_EQ(CString(""), text);
    }
    EXPECT_EQ(-1, mcs.GetMachinePort(8));
    EXPECT_EQ(-1, mcs.GetMachineState(8));
    EXPECT_EQ(-1, mcs.GetMachineProcess(8));
    EXPECT_EQ(0, mcs.GetRecordMode(8));

    CSize range;
    mcs.GetServoParamRange(5, range);
    EXPECT_EQ(CSize(0, 2), range);
    mcs.GetServoParamRange(4, range);
    EXPECT_EQ(CSize(0, 255), range);
    for (BYTE i : {3, 4, 6, 7}) {
        mcs.GetGeneralParamRange(i, range);
        EXPECT_EQ(CSize(0, i >= 4 && i <= 6 ? 1 : 255), range) << int(i);
    }

    const char* names[] = {"LTC", "VITC", "Video", "TTL", "BIP", "TL 1", "TL 2", "ESBus", "Internal", "Unknown", "Unknown"};
    for (BYTE r = 0; r < 11; ++r) {
        mcs.SetLockedReference(r, r);
        EXPECT_EQ(CString(names[r]), mcs.GetGroupLockedReference()) << int(r);
        EXPECT_EQ(r, mcs.GetGroupLockedReferenceInt());
        EXPECT_EQ(r == 0, mcs.GetGroupLockedStatus() != FALSE);
    }
}

TEST_F(MachineControlThreads, UnknownIdsAndBadArgumentsSendNothing)
{
    KivServerSim& server = StartServer();
    Machines mcs;
    const size_t mark = KivRecordMark(server);
    mcs.SetMachineParams(8);
    mcs.SetTrackReadyModes(8);
    mcs.SetRecordMode(8, 1);
    mcs.SetMachineAlias(8, "x");
    mcs.SetAllTracksReady(8);
    mcs.SetAllTracksSafe(8);
    mcs.SetTracksReady(8, true, true, nullptr);
    EXPECT_EQ(0, mcs.SetServoParam(8, 0, 1));
    EXPECT_EQ(0, mcs.SetServoParam(7, 16, 1));
    EXPECT_EQ(0, mcs.SetGeneralParam(7, 32, 1));
    mcs.PelkMCSDebug_SetInternalData(nullptr);
    EXPECT_EQ(0, mcs.IsTrackReady(8, 0));
    EXPECT_EQ(0, mcs.IsTrackRecording(8, 0));
    EXPECT_EQ(Calls{}, KivCallsSince(server, mark));
}

TEST_F(MachineControlThreads, GroupsFillFromTheFrontAndCloseUp)
{
    KivServerSim& server = StartServer();
    Machines mcs;
    auto members = [&](BYTE group) {
        std::vector<BYTE> m(8);
        mcs.GetGroupMembers(group, m.data());
        return m;
    };
    for (BYTE g = 0; g <= 9; ++g) EXPECT_EQ(std::vector<BYTE>(8, 255), members(g)) << int(g);
    EXPECT_EQ(255, mcs.GetGroupRefMaster(0));
    EXPECT_EQ(0, mcs.GetGroupRefMaster(9));
    EXPECT_EQ(0, mcs.GetCurrentGroup());

    size_t mark = KivRecordMark(server);
    for (BYTE m = 1; m <= 8; ++m) mcs.AssignMachineToGroup(m, 2);
    EXPECT_EQ(8u, KivCallsSince(server, mark).size());
    EXPECT_TRUE(KivBlocksEqual(Mcs(39, 716, {KivU8(45, 2), KivU8(44, 8), KivI32(36, 1)}), KivLastBlock(server)));
    EXPECT_EQ(std::vector<BYTE>({1, 2, 3, 4, 5, 6, 7, 8}), members(2));
    EXPECT_EQ(1, mcs.GetGroupRefMaster(2));
    mark = KivRecordMark(server);
    mcs.AssignMachineToGroup(3, 2);  // already there
    mcs.AssignMachineToGroup(9, 2);  // the group is full
    mcs.AssignMachineToGroup(1, 9);  // no such group
    mcs.DeAssignMachineFromGroup(1, 9);
    EXPECT_EQ(Calls{}, KivCallsSince(server, mark));

    mcs.DeAssignMachineFromGroup(3, 2);
    EXPECT_EQ(std::vector<BYTE>({1, 2, 4, 5, 6, 7, 8, 255}), members(2));
    EXPECT_TRUE(KivBlocksEqual(Mcs(39, 716, {KivU8(45, 2), KivU8(44, 3)}), KivLastBlock(server)));
    mcs.AssignMachineToGroup(9, 2);
    EXPECT_EQ(std::vector<BYTE>({1, 2, 4, 5, 6, 7, 8, 9}), members(2));
    mark = KivRecordMark(server);
    mcs.DeAssignMachineFromGroup(42, 2);  // not a member: sent all the same
    EXPECT_EQ(Calls{"block 162"}, KivCallsSince(server, mark));
    EXPECT_EQ(std::vector<BYTE>({1, 2, 4, 5, 6, 7, 8, 9}), members(2));

    // Rehearsal puts every machine in record mode 1 (off) or 4 (on).
    mark = KivRecordMark(server);
    mcs.PutAllMachinesInRehearse(0);
    EXPECT_EQ((Calls{"block 162", "block 162"}), KivCallsSince(server, mark));
    EXPECT_TRUE(KivBlocksEqual(Mcs(46, 864, {KivU8(44, 9), KivU8(804, 1)}), KivLastBlock(server)));
    EXPECT_EQ(1, mcs.GetRecordMode(7));
    EXPECT_EQ(1, mcs.GetRecordMode(9));
    mcs.PutAllMachinesInRehearse(1);
    EXPECT_EQ(4, mcs.GetRecordMode(7));
}

TEST_F(MachineControlThreads, TrackReadinessReadsBackWhatIsSet)
{
    KivServerSim& server = StartServer();
    Machines mcs;
    auto sentModes = [&] {
        std::vector<uint8_t> block = KivLastBlock(server);
        return std::vector<uint8_t>(block.begin() + 778, block.begin() + 791);
    };

    // Recording to the timecode and video tracks not allowed: they stay safe.
    AllowTCAndVideo(false);
    EXPECT_FALSE(mcs.CanRecordToTCAndVideoTracks());
    mcs.SetAllTracksReady(7);
    EXPECT_EQ(std::vector<uint8_t>({0x40, 0xFF, 0xFF, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0, 0}), sentModes());
    EXPECT_EQ(0, mcs.IsTrackReady(7, 254));
    EXPECT_EQ(0, mcs.IsTrackReady(7, 255));
    for (int t = 0; t < 22; ++t) EXPECT_EQ(1, mcs.IsTrackReady(7, static_cast<BYTE>(t))) << t;
    EXPECT_EQ(0, mcs.IsTrackReady(7, 22));  // the further tracks are not numbered tracks
    EXPECT_EQ(0, mcs.IsTrackReady(7, 23));
    mcs.Tape().abyTrackReady[12] = 0xFF;  // byte 74: tracks 88 to 95
    EXPECT_EQ(1, mcs.IsTrackReady(7, 95));
    EXPECT_EQ(0, mcs.IsTrackReady(7, 96));  // would be byte 75
    EXPECT_EQ(0, mcs.IsTrackRecording(7, 96));

    mcs.SetAllTracksSafe(7);
    EXPECT_EQ(std::vector<uint8_t>({0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), sentModes());
    EXPECT_EQ(0, mcs.IsTrackReady(7, 0));

    // Allowed: the timecode and video tracks are set with the others.
    AllowTCAndVideo(true);
    EXPECT_TRUE(mcs.CanRecordToTCAndVideoTracks());
    mcs.SetAllTracksReady(7);
    EXPECT_EQ(std::vector<uint8_t>({0x70, 0xFF, 0xFF, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0, 0}), sentModes());
    EXPECT_EQ(1, mcs.IsTrackReady(7, 254));
    EXPECT_EQ(1, mcs.IsTrackReady(7, 255));

    // One list entry per track: tracks 0, 9, 21 and further track 23 (bit 1 of byte 62).
    bool tracks[24] = {};
    tracks[0] = tracks[9] = tracks[21] = tracks[23] = true;
    mcs.SetTracksReady(7, false, true, tracks);
    EXPECT_EQ(std::vector<uint8_t>({0x62, 0x01, 0x02, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0}), sentModes());
    for (int t = 0; t < 24; ++t) EXPECT_EQ(tracks[t] ? 1 : 0, mcs.IsTrackReady(7, static_cast<BYTE>(t))) << t;
    EXPECT_EQ(0, mcs.IsTrackReady(7, 254));
    EXPECT_EQ(1, mcs.IsTrackReady(7, 255));

    // A machine that does not mark its numbered tracks reads them as not ready; their bits stay.
    mcs.Tape().byOtherTracks &= 0x7F;
    EXPECT_EQ(0, mcs.IsTrackReady(7, 9));
    EXPECT_EQ(1, mcs.IsTrackRecording(7, 9));
    EXPECT_EQ(1, mcs.IsTrackReady(7, 23));

    // The flag as the registry keeps it.
    mcs.EnableRecordToTCAndVideoTracks(false);
    EXPECT_FALSE(mcs.CanRecordToTCAndVideoTracks());
    DWORD stored = 9;
    EXPECT_TRUE(CCurrentUserRegistryObject().GetDword("Software\\VOKDWEN\\Vok Dwen Cantle\\MCS",
                                                      "Allow record to Video and timecode Tracks", stored, 9));
    EXPECT_EQ(0u, stored);
}

TEST_F(MachineControlThreads, AliasStaysInItsField)
{
    KivServerSim& server = StartServer();
    Machines mcs;
    mcs.SetMachineAlias(7, "an alias of thirty characters!");
    CString alias;
    mcs.GetMachineAlias(7, alias);
    EXPECT_EQ(CString("an alias of thirty c"), alias);
    EXPECT_EQ(1, mcs.Tape().byProtocol);
    EXPECT_EQ(7, mcs.Tape().byID);
    EXPECT_EQ(2, mcs.GetMachinePort(7));
    EXPECT_TRUE(KivBlocksEqual(Mcs(47, 864, {KivU8(44, 7), KivText(737, "an alias of thirty c")}), KivLastBlock(server)));
}

TEST_F(MachineControlThreads, ServerAnswersWhileAttaching)
{
    std::thread([&] {
        KivServerSim& server = StartServer();
        winport::ManualClock clock;
        winport::ScopedClock useClock(clock);
        Machines mcs;

        // The console boots while the attach waits.
        ASSERT_EQ("ok", server.Control("bootcount 2"));
        size_t mark = KivRecordMark(server);
        mcs.MCSAttach();
        EXPECT_EQ((Calls{"block 161", "advise", "read"}), KivCallsSince(server, mark));
        EXPECT_EQ((std::vector<uint32_t>{5000, 5000}), clock.Sleeps());

        // The alias re-attaches through busy answers.
        clock.ClearSleeps();
        ASSERT_EQ("ok", server.Control("busy 3"));
        mark = KivRecordMark(server);
        mcs.SetMachineAlias(7, "Slave");
        EXPECT_EQ((Calls{"unadvise", "block 162", "advise", "read"}), KivCallsSince(server, mark));
        EXPECT_EQ((std::vector<uint32_t>{100, 100, 100}), clock.Sleeps());
        EXPECT_EQ("ok objects=1 advised=1", server.Control("status"));

        // The timecode attach only sends its block.
        CTimeCodeKIVObject timecode;
        EXPECT_EQ(CString("TimecodeKIV"), timecode.GetName());
        mark = KivRecordMark(server);
        timecode.TCAttach(kWindow);
        EXPECT_EQ(Calls{"block 3"}, KivCallsSince(server, mark));
        EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(3, 28, 0, {KivI32(20, 0x2A), KivI32(24, 10)}), KivLastBlock(server)));
        timecode.TCAttach(kWindow, 25);
        EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(3, 28, 0, {KivI32(20, 0x2A), KivI32(24, 25)}), KivLastBlock(server)));
        EXPECT_EQ("ok objects=2 advised=1", server.Control("status"));
    }).join();
}

}  // namespace
