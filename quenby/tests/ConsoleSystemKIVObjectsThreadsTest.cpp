// The console, preference and system objects: every command row as one table of golden blocks
// written from the block layouts by hand, the refusals of bad arguments, the track offset, the
// default-values table and what the server's answers do.
#include <gtest/gtest.h>

#include <poll.h>
#include <thread>

#include "../testtools/KivClientTestKit.h"
#include "quenby/AnsiToWide.h"
#include "quenby/ConsoleSystemKIVObjects.h"
#include "quenby/DefaultValuesKIVObject.h"
#include "quenby/KivClientKit.h"
#include "winport/Clock.h"
#include "winport/MessageLoop.h"
#include "winport/RegistryObject.h"
#include "winport/Window.h"

namespace {

const HWND kWindow = UlongToHwnd(0x2A);
const std::string kLongName(400, 'n');
using Calls = std::vector<std::string>;

// count bytes first, first + 1, ... (mod 256) at an offset.
KivField Seq(size_t offset, size_t count, int first)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + static_cast<int>(i));
    return {offset, bytes};
}

class ConsoleSystemThreads : public KivServerTest {
protected:
    // The close of console mode waits on the clock: virtual time keeps the table fast.
    winport::ManualClock clock;
    winport::ScopedClock useClock{clock};
};

TEST_F(ConsoleSystemThreads, EveryCommandRowSendsItsBlock)
{
    using K = KivCallKind;

    // 400 map values: the first 371 fill the block from 232 to its end.
    std::vector<uint8_t> mapBlock = KivExpectedBlock(269, 1716, 0);
    for (int32_t i = 0; i < 371; ++i) std::memcpy(mapBlock.data() + 232 + 4 * i, &i, 4);

    // The CBF record whole, with its byte at 147816 (record byte 147800) cleared.
    std::vector<uint8_t> cbfBlock = KivExpectedBlock(300, 147828, 0, {Seq(16, 147812, 1)});
    cbfBlock[147816] = 0;

    // The fader directory's three arrays.
    std::vector<uint8_t> dirBlock = KivExpectedBlock(271, 1456, 0);
    for (int32_t i = 0; i < 120; ++i) {
        const int32_t a = i, b = 1000 + i, c = -i;
        std::memcpy(dirBlock.data() + 16 + 4 * i, &a, 4);
        std::memcpy(dirBlock.data() + 496 + 4 * i, &b, 4);
        std::memcpy(dirBlock.data() + 976 + 4 * i, &c, 4);
    }

    const std::vector<KivRow> rows = {
        // analogue design
        {"AD attach", "AnalogDesignKIVObject", KivCall<CAnalogDesignKIVObject>([](auto& o) { o.ADAttach(); }),
         KivExpectedBlock(268, 16, 0), K::AttachRead},
        {"AD map", "AnalogDesignKIVObject", KivCall<CAnalogDesignKIVObject>([](auto& o) {
             CArray<int, int> map;
             for (int v : {5, -6, 7}) map.Add(v);
             o.SendAnalogDesignCmd(map);
         }),
         KivExpectedBlock(269, 1716, 0, {KivI32(232, 5), KivI32(236, -6), KivI32(240, 7)})},
        {"AD map of 400", "AnalogDesignKIVObject", KivCall<CAnalogDesignKIVObject>([](auto& o) {
             CArray<int, int> map;
             for (int v = 0; v < 400; ++v) map.Add(v);
             o.SendAnalogDesignCmd(map);
         }),
         mapBlock},
        {"AD command", "AnalogDesignKIVObject", KivCall<CAnalogDesignKIVObject>([](auto& o) { o.SendAnalogDesignCmd(9); }),
         KivExpectedBlock(277, 1716, 0, {KivI32(24, 9)})},
        {"AD reassign", "AnalogDesignKIVObject", KivCall<CAnalogDesignKIVObject>([](auto& o) { o.SendReassignFiling(3, "Mix A"); }),
         KivExpectedBlock(325, 1716, 0, {KivI32(1452, 3), KivText(1456, "Mix A")})},
        {"AD reassign, long name", "AnalogDesignKIVObject",
         KivCall<CAnalogDesignKIVObject>([](auto& o) { o.SendReassignFiling(3, CString(std::string(300, 'r').c_str())); }),
         KivExpectedBlock(325, 1716, 0, {KivI32(1452, 3), KivText(1456, std::string(259, 'r'))})},
        // cue box
        {"CBF attach", "CBFKIV", KivCall<CCBFKIVObject>([](auto& o) { o.CBFAttach(); }), KivExpectedBlock(296, 16, 0), K::AttachRead},
        {"CBF data", "CBFKIV", KivCall<CCBFKIVObject>([](auto& o) {
             auto record = std::make_unique<_StructCBFControl>();
             for (size_t i = 0; i < sizeof record->bytes; ++i) record->bytes[i] = static_cast<BYTE>(1 + i);
             o.SendCBFData(*record);
         }),
         cbfBlock},
        {"CBF load from disk", "CBFKIV", KivCall<CCBFKIVObject>([](auto& o) { o.LoadCBFData("cbf1", 1, 11, 22, kWindow, 33); }),
         KivExpectedBlock(300, 147828, 0,
                          {KivText(147196, "cbf1"), KivI32(147800, 22), KivI32(147804, 11), KivI32(147812, 33), KivU8(147816, 2),
                           KivI32(147824, 0x2A)})},
        {"CBF load", "CBFKIV", KivCall<CCBFKIVObject>([](auto& o) { o.LoadCBFData("cbf1", 0, 11, 22, kWindow, 33); }),
         KivExpectedBlock(300, 147828, 0,
                          {KivText(147196, "cbf1"), KivI32(147800, 22), KivI32(147804, 11), KivU8(147816, 3), KivI32(147824, 0x2A)})},
        {"CBF disk data", "CBFKIV", KivCall<CCBFKIVObject>([](auto& o) { o.LoadCBFDiskData("disk", 1); }),
         KivExpectedBlock(300, 147828, 0, {KivText(147598, "disk"), KivU8(147816, 4)})},
        {"CBF disk data, long name", "CBFKIV",
         KivCall<CCBFKIVObject>([](auto& o) { o.LoadCBFDiskData(kLongName.c_str(), 0); }),
         KivExpectedBlock(300, 147828, 0, {KivText(147598, std::string(217, 'n')), KivU8(147816, 5)})},
        // channel map
        {"CM attach", "CChannelMapKIV", KivCall<CChannelMapKiv>([](auto& o) { o.CMAttach(); }), KivExpectedBlock(220, 16, 0),
         K::AttachRead},
        // default values
        {"DV attach", "DefaultValuesKIV", KivCall<CDefaultValuesKIVObject>([](auto& o) { o.DVAttach(); }),
         KivExpectedBlock(136, 16, 0), K::AttachRead},
        {"DV save", "DefaultValuesKIV", KivCall<CDefaultValuesKIVObject>([](auto& o) {
             o.SetValue(0, 0, 35, 8, 0x1234);   // the last value of part A
             o.SetValue(0, 0, 36, 0, 0x0506);   // the first of part B
             o.SetValue(2, 13, 36, 3, -2);
             o.SetValue(1, 5, 83, 3, 7);
             o.Save("defaults", 9);
         }),
         KivExpectedBlock(138, 43692, 0,
                          {KivI16(16 + 630 + 16, 0x1234), KivI16(16 + 27216, 0x0506), KivI16(16 + 27216 + 2 * 5376 + 13 * 384 + 6, -2),
                           KivI16(16 + 27216 + 5376 + 5 * 384 + 47 * 8 + 6, 7), KivText(43360, "defaults"), KivI32(43684, 9)})},
        {"DV save, long name", "DefaultValuesKIV", KivCall<CDefaultValuesKIVObject>([](auto& o) { o.Save(kLongName.c_str(), -1); }),
         KivExpectedBlock(138, 43692, 0, {KivText(43360, std::string(323, 'n')), KivI32(43684, -1)})},
        {"DV load", "DefaultValuesKIV", KivCall<CDefaultValuesKIVObject>([](auto& o) { o.Load("dv", 1, 2, 3); }),
         KivExpectedBlock(137, 43692, 0, {KivText(43360, "dv"), KivI32(43680, 2), KivI32(43684, 1), KivI32(43688, 3)})},
        {"DV load, long name", "DefaultValuesKIV", KivCall<CDefaultValuesKIVObject>([](auto& o) { o.Load(kLongName.c_str(), 1, 2, 3); }),
         KivExpectedBlock(137, 43692, 0, {KivText(43360, std::string(319, 'n')), KivI32(43680, 2), KivI32(43684, 1), KivI32(43688, 3)})},
        {"DV load in memory", "DefaultValuesKIV", KivCall<CDefaultValuesKIVObject>([](auto& o) { o.LoadInMemory("dv", 1, 3); }),
         KivExpectedBlock(137, 43692, 0, {KivText(43360, "dv"), KivI32(43684, 1), KivI32(43688, 3)})},
        {"DV default", "DefaultValuesKIV", KivCall<CDefaultValuesKIVObject>([](auto& o) { o.SetDefault("dv"); }),
         KivExpectedBlock(139, 43692, 0, {KivText(43438, "dv")})},
        {"DV default, long name", "DefaultValuesKIV", KivCall<CDefaultValuesKIVObject>([](auto& o) { o.SetDefault(kLongName.c_str()); }),
         KivExpectedBlock(139, 43692, 0, {KivText(43438, std::string(253, 'n'))})},
        // desk setup, live load and size
        {"DS attach", "DeskSetupKIVObject", KivCall<CDeskSetupKIVObject>([](auto& o) { o.DSAttach(); }), KivExpectedBlock(265, 16, 0),
         K::AttachRead},
        {"DS get", "DeskSetupKIVObject", KivCall<CDeskSetupKIVObject>([](auto& o) { o.GetDeskSetupCmd("desk"); }),
         KivExpectedBlock(267, 292, 0, {KivText(16, "desk")})},
        {"DS send", "DeskSetupKIVObject", KivCall<CDeskSetupKIVObject>([](auto& o) { o.SendDeskSetupCmd(1, 2, 3, "desk"); }),
         KivExpectedBlock(266, 292, 0, {KivText(16, "desk"), KivI32(280, 1), KivI32(284, 2), KivI32(288, 3)})},
        {"DS send, long name", "DeskSetupKIVObject",
         KivCall<CDeskSetupKIVObject>([](auto& o) { o.SendDeskSetupCmd(1, 2, 3, kLongName.c_str()); }),
         KivExpectedBlock(266, 292, 0, {KivText(16, std::string(259, 'n')), KivI32(280, 1), KivI32(284, 2), KivI32(288, 3)})},
        {"live load attach", "CDeskSetupLiveLoadKivObject", KivCall<CDeskSetupLiveLoadKivObject>([](auto& o) { o.LiveLoadAttach(); }),
         KivExpectedBlock(321, 16, 0), K::AttachNoRead},
        {"desk size attach", "DeskSizeKIVObject", KivCall<CDeskSizeKIVObject>([](auto& o) { o.DeskSizeAttach(); }),
         KivExpectedBlock(187, 16, 0), K::AttachNoRead},
        {"desk size request", "DeskSizeKIVObject", KivCall<CDeskSizeKIVObject>([](auto& o) { o.RequestDeskSize("big desk"); }),
         KivExpectedBlock(188, 224, 0, {KivText(20, "big desk")}), K::AttachRead},
        {"desk size request, long name", "DeskSizeKIVObject",
         KivCall<CDeskSizeKIVObject>([](auto& o) { o.RequestDeskSize(kLongName.c_str()); }),
         KivExpectedBlock(188, 224, 0, {KivText(20, std::string(199, 'n'))}), K::AttachRead},
        // engineering reports: as long as the name
        {"ER attach", "EngineeringReportKIV", KivCall<CEngineeringReportKIVObject>([](auto& o) { o.ERAttach("rep", 2); }),
         KivExpectedBlock(37, 24, 0, {KivI32(16, 2), KivText(20, "rep")}), K::AttachRead},
        {"full ER attach", "EngineeringReportKIV", KivCall<CFullEngineeringReportKIVObject>([](auto& o) { o.ERAttach("full"); }),
         KivExpectedBlock(37, 25, 0, {KivI32(16, 1), KivText(20, "full")}), K::AttachRead},
        // fader allocation and direction
        {"FA attach", "FaderAllocKiv", KivCall<CFaderAllocKivObject>([](auto& o) { o.FaderAllocAttach(); }),
         KivExpectedBlock(301, 16, 0), K::AttachRead},
        {"FA get", "FaderAllocKiv", KivCall<CFaderAllocKivObject>([](auto& o) { o.FaderAllocGetData(); }), KivExpectedBlock(303, 16, 0)},
        {"FA set record", "FaderAllocKiv", KivCall<CFaderAllocKivObject>([](auto& o) {
             _StructFaderAllocControl record;
             for (int i = 0; i < 60; ++i) record.bytes[i] = static_cast<BYTE>(i + 1);
             o.FaderAllocSetData(record);
         }),
         // record bytes 0-43 run on from 16 (12 + 16 + 8 + 8 bytes); 44-47 are left out; 48-59 at 64
         KivExpectedBlock(302, 76, 0, {Seq(16, 44, 1), KivI32(60, 0), Seq(64, 12, 49)})},
        {"FA set values", "FaderAllocKiv", KivCall<CFaderAllocKivObject>([](auto& o) {
             int values[3] = {7, 8, -9};
             o.FaderAllocSetData(values);
         }),
         KivExpectedBlock(302, 76, 0, {KivI32(60, 1), KivI32(64, 7), KivI32(68, 8), KivI32(72, -9)})},
        {"FD attach", "FaderDirKivK7", KivCall<CFaderDirKivK7Object>([](auto& o) { o.FadDirK7Attach(); }),
         KivExpectedBlock(270, 16, 0), K::AttachRead},
        {"FD get", "FaderDirKivK7", KivCall<CFaderDirKivK7Object>([](auto& o) { o.FadDirK7GetData(); }), KivExpectedBlock(272, 16, 0)},
        {"FD set", "FaderDirKivK7", KivCall<CFaderDirKivK7Object>([](auto& o) {
             int a[120], b[120], c[120];
             for (int i = 0; i < 120; ++i) a[i] = i, b[i] = 1000 + i, c[i] = -i;
             o.FadDirK7SetData(a, b, c);
         }),
         dirBlock},
        {"flash up attach", "FlashUpK7XKIV", KivCall<CFlashUpK7XKIVObject>([](auto& o) { o.FlashUpK7XAttach(); }),
         KivExpectedBlock(278, 16, 0), K::AttachNoRead},
        // frame rate
        {"FR attach", "FrameRateKIV", KivCall<CFrameRateKIVObject>([](auto& o) { o.FRAttach(); }), KivExpectedBlock(72, 16, 0),
         K::AttachRead},
        {"FR set", "FrameRateKIV",
         KivCall<CFrameRateKIVObject>([](auto& o) { o.SetFrameRate(static_cast<AcceptableFrameRates>(3), 1, 2, -4, 5, kWindow); }),
         KivExpectedBlock(73, 296, 0x2A, {KivI32(16, 1), KivI32(20, 3), KivI32(24, 2), KivI32(28, -4), KivI32(32, 5)})},
        {"FR debug", "FrameRateKIV", KivCall<CFrameRateKIVObject>([](auto& o) { o.PelkMCSDebug_Enable(); }),
         KivExpectedBlock(73, 296, 0, {KivI32(36, 1)})},
        // function keys
        {"FK attach", "FunctionKeysKIV", KivCall<CFunctionKeysKIVObject>([](auto& o) { o.FKAttach(); }), KivExpectedBlock(167, 16, 0),
         K::AttachNoRead},
        {"FK request", "FunctionKeysKIV", KivCall<CFunctionKeysKIVObject>([](auto& o) { o.RequestFunctionKey(); }),
         KivExpectedBlock(182, 16, 0)},
        {"FK close", "FunctionKeysKIV", KivCall<CFunctionKeysKIVObject>([](auto& o) { o.CloseConsoleMode(2); }),
         KivExpectedBlock(214, 24, 0, {KivI32(16, 2)})},
        {"FK virtual", "FunctionKeysKIV", KivCall<CFunctionKeysKIVObject>([](auto& o) { o.SetVConsoleMode(3); }),
         KivExpectedBlock(251, 24, 0, {KivI32(16, 3)})},
        // generic server commands
        {"generic attach", "GenericKivserverKIVObject", KivCall<CGenericKivserverKIVObject>([](auto& o) { o.ADAttach(); }),
         KivExpectedBlock(279, 16, 0), K::AttachRead},
        {"generic data", "GenericKivserverKIVObject", KivCall<CGenericKivserverKIVObject>([](auto& o) {
             const BYTE data[3] = {1, 2, 3};
             o.SendGenericKivserverCmd(7, data, 3);
         }),
         KivExpectedBlock(281, 27, 0, {KivI32(16, 7), KivI32(20, 3), Seq(24, 3, 1)})},
        {"generic no data", "GenericKivserverKIVObject",
         KivCall<CGenericKivserverKIVObject>([](auto& o) { o.SendGenericKivserverCmd(7, nullptr, 0); }),
         KivExpectedBlock(281, 24, 0, {KivI32(16, 7)})},
        {"generic sub", "GenericKivserverKIVObject", KivCall<CGenericKivserverKIVObject>([](auto& o) { o.SendGenericKivserverCmd(8); }),
         KivExpectedBlock(281, 24, 0, {KivI32(16, 8)})},
        {"generic clear offset", "GenericKivserverKIVObject", KivCall<CGenericKivserverKIVObject>([](auto& o) { o.ClearFennik(); }),
         KivExpectedBlock(281, 28, 0, {KivI32(16, 15), KivI32(20, 4)})},
        {"generic FS attach", "GenericKivserverFSKIVObject", KivCall<CGenericKivserverFSKIVObject>([](auto& o) { o.ADAttach(); }),
         KivExpectedBlock(280, 16, 0), K::AttachRead},
        {"generic FS", "GenericKivserverFSKIVObject",
         KivCall<CGenericKivserverFSKIVObject>([](auto& o) { o.SendGenericKivserverCmd(1, 2, 3, 4, 5); }),
         KivExpectedBlock(282, 4040, 0, {KivI32(16, 1), KivI32(24, 2), KivI32(28, 3), KivI32(32, 4), KivI32(36, 5)})},
        // access keys
        {"QK attach", "QuarnKeysKIV", KivCall<CQuarnKeysKIVObject>([](auto& o) { o.QKAttach(); }), KivExpectedBlock(48, 16, 0),
         K::AttachNoRead},
        {"QK request", "QuarnKeysKIV", KivCall<CQuarnKeysKIVObject>([](auto& o) { o.RequestCurrentAccessKey(); }),
         KivExpectedBlock(181, 16, 0)},
        {"SAK attach", "SorelAccessKeyKIV", KivCall<CSorelAccessKeysKIVObject>([](auto& o) { o.SAKAttach(); }),
         KivExpectedBlock(128, 16, 0), K::AttachNoRead},
        // preferences: word k at byte 4k
        {"prefs attach", "SorelPrefsKIV", KivCall<CSorelPrefsKIVObject>([](auto& o) { o.SPAttach(); }), KivExpectedBlock(52, 16, 0),
         K::AttachRead},
        {"prefs set all", "SorelPrefsKIV", KivCall<CSorelPrefsKIVObject>([](auto& o) {
             BYTE prefs[193];
             for (int i = 0; i < 193; ++i) prefs[i] = static_cast<BYTE>(i + 1);
             o.SetPrefs(prefs, kWindow);
         }),
         KivExpectedBlock(53, 556, 0x2A, {Seq(16, 193, 1)})},
        {"prefs set one", "SorelPrefsKIV", KivCall<CSorelPrefsKIVObject>([](auto& o) { o.SetPref(5, 0xAB, kWindow); }),
         KivExpectedBlock(298, 556, 0x2A, {KivI32(548, 5), KivU8(552, 0xAB)})},
        {"prefs rate and source", "SorelPrefsKIV", KivCall<CSorelPrefsKIVObject>([](auto& o) {
             o.SetSampleRateAndSyncSource(1, 48000, 2, 1, static_cast<SyncSourceType>(3), 4, 5, kWindow);
         }),
         KivExpectedBlock(61, 556, 0x2A,
                          {KivI32(212, 1), KivI32(216, 48000), KivI32(220, 2), KivI32(224, 1), KivI32(228, 3), KivI32(236, 4),
                           KivI32(284, 5)})},
        {"prefs rate", "SorelPrefsKIV", KivCall<CSorelPrefsKIVObject>([](auto& o) { o.SetSampleRate(44100, 6, 7, kWindow); }),
         KivExpectedBlock(61, 556, 0x2A, {KivI32(212, 1), KivI32(216, 44100), KivI32(220, 6), KivI32(284, 7)})},
        {"prefs source", "SorelPrefsKIV",
         KivCall<CSorelPrefsKIVObject>([](auto& o) { o.SetSyncSource(static_cast<SyncSourceType>(2), 9, kWindow); }),
         KivExpectedBlock(61, 556, 0x2A, {KivI32(224, 1), KivI32(228, 2), KivI32(236, 9)})},
        {"prefs roll back", "SorelPrefsKIV", KivCall<CSorelPrefsKIVObject>([](auto& o) { o.SetMCSRollBackTime(100, kWindow); }),
         KivExpectedBlock(163, 556, 0x2A, {KivI32(240, 100)})},
        {"prefs pre-roll", "SorelPrefsKIV", KivCall<CSorelPrefsKIVObject>([](auto& o) { o.SetMCSPreRollTime(5, 1, kWindow); }),
         KivExpectedBlock(164, 556, 0x2A, {KivI32(244, 5), KivI32(248, 1)})},
        {"prefs post-roll", "SorelPrefsKIV", KivCall<CSorelPrefsKIVObject>([](auto& o) { o.SetMCSPostRollTime(6, 2, kWindow); }),
         KivExpectedBlock(191, 556, 0x2A, {KivI32(252, 6), KivI32(256, 2)})},
        {"prefs rewind start", "SorelPrefsKIV", KivCall<CSorelPrefsKIVObject>([](auto& o) { o.SetMCSRewindLimitStart(7, 3, kWindow); }),
         KivExpectedBlock(218, 556, 0x2A, {KivI32(260, 7), KivI32(264, 3)})},
        {"prefs rewind end", "SorelPrefsKIV", KivCall<CSorelPrefsKIVObject>([](auto& o) { o.SetMCSRewindLimitEnd(8, 4, kWindow); }),
         KivExpectedBlock(219, 556, 0x2A, {KivI32(268, 8), KivI32(272, 4)})},
        {"prefs protocol", "SorelPrefsKIV", KivCall<CSorelPrefsKIVObject>([](auto& o) { o.SetMcsProtocol(2, 9, kWindow); }),
         KivExpectedBlock(252, 556, 0x2A, {KivU8(278, 9), KivU8(282, 2)})},
        {"prefs protocol of machine 6", "SorelPrefsKIV", KivCall<CSorelPrefsKIVObject>([](auto& o) { o.SetMcsProtocol(6, 9, kWindow); }),
         KivExpectedBlock(252, 556, 0x2A, {KivU8(282, 9)})},
        {"prefs shuttle", "SorelPrefsKIV", KivCall<CSorelPrefsKIVObject>([](auto& o) { o.SetMcsShuttleSpeeds(1, 2, 3, 4, kWindow); }),
         KivExpectedBlock(310, 556, 0x2A, {Seq(288, 4, 1)})},
        {"prefs debug", "SorelPrefsKIV", KivCall<CSorelPrefsKIVObject>([](auto& o) { o.PelkMCSDebug_Enable(); }),
         KivExpectedBlock(297, 556, 0)},
        // operating styles, studio configuration, system setup
        {"OS attach", "OperatingStylesKIV", KivCall<COperatingStylesKIVObject>([](auto& o) { o.AMAttach(); }),
         KivExpectedBlock(49, 16, 0), K::AttachRead},
        {"OS mode", "OperatingStylesKIV", KivCall<COperatingStylesKIVObject>([](auto& o) { o.SetMode(3, kWindow); }),
         KivExpectedBlock(50, 17, 0x2A, {KivU8(16, 3)})},
        {"SC attach", "CStudioConfigKIV", KivCall<CStudioConfigKIV>([](auto& o) { o.SCAttach(kWindow); }),
         KivExpectedBlock(221, 16, 0x2A), K::AttachRead},
        {"SC save", "CStudioConfigKIV", KivCall<CStudioConfigKIV>([](auto& o) { o.Save("studio", kWindow); }),
         KivExpectedBlock(213, 217, 0x2A, {KivText(16, "studio")})},
        {"SC save, long name", "CStudioConfigKIV", KivCall<CStudioConfigKIV>([](auto& o) { o.Save(kLongName.c_str(), kWindow); }),
         KivExpectedBlock(213, 217, 0x2A, {KivText(16, std::string(200, 'n'))})},
        {"SC reload", "CStudioConfigKIV", KivCall<CStudioConfigKIV>([](auto& o) { o.Reload(); }), KivExpectedBlock(222, 217, 0)},
        {"system attach", "SystemSetupKIV", KivCall<CSystemSetupKIVObject>([](auto& o) { o.SysAttach(); }),
         KivExpectedBlock(155, 16, 0), K::AttachRead},
        // QJ calibration (re-attaching without a read) and diagnostics
        {"QJC attach", "QJCalibrationKIVObject", KivCall<CQJCalibrationKIVObject>([](auto& o) { o.QJCAttach(); }),
         KivExpectedBlock(173, 16, 0), K::AttachNoRead},
        {"QJC calibrate", "QJCalibrationKIVObject",
         KivCall<CQJCalibrationKIVObject>([](auto& o) { o.DoCalibration(static_cast<enQJRequestCalibrationType>(4)); }),
         KivExpectedBlock(176, 16020, 0, {KivI32(16016, 4)}), K::AttachNoRead},
        {"QJC reload", "QJCalibrationKIVObject", KivCall<CQJCalibrationKIVObject>([](auto& o) { o.ReLoadCalibration(); }),
         KivExpectedBlock(177, 16, 0), K::AttachNoRead},
        {"QJC current", "QJCalibrationKIVObject", KivCall<CQJCalibrationKIVObject>([](auto& o) { o.GetCurrentCalibrationData(); }),
         KivExpectedBlock(175, 16, 0), K::AttachNoRead},
        {"QJD attach", "QJDiagnosticsKIVObject", KivCall<CQJDiagnosticsKIVObject>([](auto& o) { o.QJDAttach(); }),
         KivExpectedBlock(174, 16, 0), K::AttachNoRead},
        {"QJD diagnostic ended by -1", "QJDiagnosticsKIVObject",
         KivCall<CQJDiagnosticsKIVObject>([](auto& o) { o.DoDiagnostic(5, 1, 2, -1); }),
         KivExpectedBlock(178, 240, 0, {KivI32(16, 5), KivI32(20, 1), KivI32(24, 2)})},
        {"QJD diagnostic, -1 left out", "QJDiagnosticsKIVObject", KivCall<CQJDiagnosticsKIVObject>([](auto& o) { o.DoDiagnostic(5, 1); }),
         KivExpectedBlock(178, 240, 0, {KivI32(16, 5), KivI32(20, 1)})},
        {"QJD diagnostic, four words", "QJDiagnosticsKIVObject",
         KivCall<CQJDiagnosticsKIVObject>([](auto& o) { o.DoDiagnostic(5, 1, 2, 3, 4); }),
         KivExpectedBlock(178, 240, 0, {KivI32(16, 5), KivI32(20, 1), KivI32(24, 2), KivI32(28, 3), KivI32(32, 4)})},
        {"QJD scanning", "QJDiagnosticsKIVObject", KivCall<CQJDiagnosticsKIVObject>([](auto& o) { o.SetScanning(true); }),
         KivExpectedBlock(178, 240, 0, {KivI32(16, 15), KivI32(20, 1)})},
        {"QJD cancel", "QJDiagnosticsKIVObject", KivCall<CQJDiagnosticsKIVObject>([](auto& o) { o.CancelDiagnostic(); }),
         KivExpectedBlock(178, 240, 0, {KivI32(16, -1)})},
    };
    KivServerSim& server = StartServer();
    KivCheckRows(server, rows);
    // Only the close of console mode waited.
    EXPECT_EQ(std::vector<uint32_t>{1000}, clock.Sleeps());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ConsoleSystemThreads, ArgumentsThatMakeNoBlockSendNothing)
{
    KivServerSim& server = StartServer();
    const size_t mark = KivRecordMark(server);
    const BYTE data[4] = {1, 2, 3, 4};
    CGenericKivserverKIVObject generic;
    generic.SendGenericKivserverCmd(1, data, -1);
    generic.SendGenericKivserverCmd(1, nullptr, 4);
    generic.SendGenericKivserverCmd(1, data, 0x7FFFFFFF);  // larger than any block
    CFaderAllocKivObject alloc;
    alloc.FaderAllocSetData(static_cast<int*>(nullptr));
    int values[120] = {};
    CFaderDirKivK7Object dir;
    dir.FadDirK7SetData(values, nullptr, values);
    CSorelPrefsKIVObject prefs;
    prefs.SetPrefs(nullptr, kWindow);
    CDeskSetupLiveLoadKivObject live;
    live.SendLiveLoadCommand(static_cast<enLiveLoadCommand>(1));
    EXPECT_EQ(Calls{}, KivCallsSince(server, mark));
}

TEST_F(ConsoleSystemThreads, TrackOffsetFollowsTheRegistry)
{
    KivServerSim& server = StartServer();
    CGenericKivserverKIVObject generic;
    CLocalMachineRegistryObject registry;
    const char* key = "SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Fennik";
    auto sentOffset = [&] {
        generic.SendFennickOffset();
        std::vector<uint8_t> block = KivLastBlock(server);
        EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(281, 28, 0, {KivI32(16, 16), KivI32(20, 4), {24, {block[24], block[25], block[26], block[27]}}}),
                                   block));
        uint32_t offset = 0;
        std::memcpy(&offset, block.data() + 24, 4);
        return offset;
    };
    bool enabled = true;
    DWORD offset = 9;
    generic.GetFennickOffset(enabled, offset);
    EXPECT_FALSE(enabled);
    EXPECT_EQ(0u, offset);
    EXPECT_EQ(0xFFFFFFFFu, sentOffset());  // nothing stored

    registry.SetDword(key, "Offset", 1234);  // an offset without "Enabled"
    EXPECT_EQ(0xFFFFFFFFu, sentOffset());
    generic.SetFennickOffset(false, 4321);
    EXPECT_EQ(0xFFFFFFFFu, sentOffset());
    generic.SetFennickOffset(true, 4321);
    EXPECT_EQ(4321u, sentOffset());
    generic.GetFennickOffset(enabled, offset);
    EXPECT_TRUE(enabled);
    EXPECT_EQ(4321u, offset);
    DWORD stored = 0;
    EXPECT_TRUE(registry.GetDword(key, "Enabled", stored, 7));
    EXPECT_EQ(1u, stored);
}

TEST_F(ConsoleSystemThreads, DefaultValuesTable)
{
    KivServerSim& server = StartServer();
    CDefaultValuesKIVObject dv;
    // The object and its own file list: two server objects.
    EXPECT_EQ("ok objects=2 advised=0", server.Control("status"));

    struct Case {
        int set, slot, process, control;
        int offset;  // -1: outside the table
    };
    const Case cases[] = {
        {0, 0, 0, 0, 0},         {2, 13, 35, 8, 2 * 9072 + 13 * 648 + 35 * 18 + 16},
        {0, 0, 36, 0, 27216},    {1, 2, 83, 3, 27216 + 5376 + 2 * 384 + 47 * 8 + 6},
        {3, 0, 0, 0, -1},        {-1, 0, 0, 0, -1},
        {0, 14, 0, 0, -1},       {0, -1, 0, 0, -1},
        {0, 0, 84, 0, -1},       {0, 0, -1, 0, -1},
        {0, 0, 35, 9, -1},       {0, 0, 36, 4, -1},
        {0, 0, 0, -1, -1},
    };
    short next = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.set << "/" << c.slot << "/" << c.process << "/" << c.control);
        EXPECT_EQ(c.offset, CDefaultValuesKIVObject::TableOffset(c.set, c.slot, c.process, c.control));
        dv.SetValue(c.set, c.slot, c.process, c.control, next);
        EXPECT_EQ(c.offset < 0 ? 0 : next, dv.GetValue(c.set, c.slot, c.process, c.control));
        std::unique_ptr<CTemplateSnapAutoEvent> snap(dv.GetSnapshot(c.set, c.slot, c.process, c.control));
        EXPECT_EQ(static_cast<BYTE>(c.process), GetEventByte(snap->GetProcess()));
        EXPECT_EQ(static_cast<BYTE>(c.control), GetEventByte(snap->GetControl()));
        EXPECT_EQ(c.offset < 0 ? 0 : next, snap->GetValue());
        ++next;
    }

    // Snapshots by event: stored at the event's process and control.
    dv.SetSnapshot(1, 4, CTemplateSnapAutoEvent(40, 2, -300));
    EXPECT_EQ(-300, dv.GetValue(1, 4, 40, 2));
    EXPECT_EQ(-300, dv.GetSnapshot(1, 4, CTemplateSnapAutoEvent(40, 2, 5)).GetValue());
    dv.SetSnapshot(1, 4, CTemplateSnapAutoEvent(40, 7, 9));  // control 7 of a part B process
    EXPECT_EQ(0, dv.GetSnapshot(1, 4, CTemplateSnapAutoEvent(40, 7, 5)).GetValue());

    dv.Clear();
    dv.Save("cleared", 0);
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(138, 43692, 0, {KivText(43360, "cleared")}), KivLastBlock(server)));
    EXPECT_EQ(0, dv.GetValue(0, 5, 40, 0));
}

TEST_F(ConsoleSystemThreads, StudioConfigSaveBringsOneReadyMessage)
{
    KivServerSim& server = StartServer();
    winport::MessageLoop& loop = winport::MessageLoop::Current();
    const UINT ready = RegisterWindowMessageA("Studio Config Ready");
    EXPECT_EQ(ready, CStudioConfigKIV::ReadyMessage());
    std::vector<std::pair<WPARAM, LPARAM>> posts;
    HWND window = winport::CreateMessageWindow("StudioConfigTestWindow", [&](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg == ready) posts.push_back({w, l});
        return 0;
    });
    auto pumpUntil = [&](size_t wanted) {
        for (int i = 0; i < 200 && posts.size() < wanted; ++i) {
            pollfd p{loop.WaitDescriptor(), POLLIN, 0};
            ::poll(&p, 1, 50);
            loop.RunUntilIdle();
        }
    };
    CStudioConfigKIV studio;
    CStudioConfigKIV other;  // never attached: hears nothing
    studio.SCAttach(window);
    loop.RunUntilIdle();
    EXPECT_TRUE(posts.empty());  // the server had nothing to read

    other.Save("rack.cfg", nullptr);
    pumpUntil(1);
    ASSERT_EQ(1u, posts.size());
    EXPECT_EQ(std::make_pair(WPARAM{0}, LPARAM{0}), posts[0]);
    EXPECT_EQ(1u, server.Records("push").size());

    studio.Reload();
    pumpUntil(2);
    EXPECT_EQ(2u, posts.size());
    EXPECT_EQ(2u, server.Records("push").size());
    DestroyWindow(window);
}

// The program fills the desk size from the reply.
class DeskSizeReader : public CDeskSizeKIVObject {
public:
    ~DeskSizeReader() override { StopAdvise(); }
    int OnLinkIn(_CommsStructure* reply) override
    {
        m_nDeskSize = KivReplyReader(reply).Get32(16);
        return 1;
    }
};

TEST_F(ConsoleSystemThreads, DeskSizeIsReadThroughBusyAndBootingAnswers)
{
    std::thread([&] {
        KivServerSim& server = StartServer();
        ASSERT_EQ("ok", server.Control("set 187 20 30000000"));  // 48 (0x30)
        // Objects attach one after another while the console boots.
        ASSERT_EQ("ok", server.Control("bootcount 2"));
        CDeskSizeKIVObject first;
        first.DeskSizeAttach();
        CStudioConfigKIV second;
        second.SCAttach(nullptr);
        EXPECT_EQ((std::vector<uint32_t>{5000, 5000}), clock.Sleeps());
        EXPECT_EQ("ok objects=2 advised=2", server.Control("status"));

        DeskSizeReader desk;
        desk.DeskSizeAttach();
        EXPECT_EQ(0, desk.GetSize());
        clock.ClearSleeps();
        ASSERT_EQ("ok", server.Control("busy 3"));
        ASSERT_EQ("ok", server.Control("busy 2 getdata"));
        desk.RequestDeskSize("big desk");
        EXPECT_EQ(48, desk.GetSize());
        EXPECT_EQ(5u, clock.Sleeps().size());
        EXPECT_EQ("ok objects=3 advised=3", server.Control("status"));
    }).join();
}

TEST_F(ConsoleSystemThreads, CloseConsoleModeWaitsASecondOfTheClock)
{
    StartServer();
    CFunctionKeysKIVObject keys;
    const uint64_t before = clock.nowMs();
    keys.CloseConsoleMode(1);
    EXPECT_EQ(before + 1000, clock.nowMs());
    EXPECT_EQ(std::vector<uint32_t>{1000}, clock.Sleeps());
}

TEST(AnsiToWideTest, ConvertsTheWholeText)
{
    wchar_t* wide = nullptr;
    AnsiToWide("Mix \xE9\x80", &wide);
    ASSERT_NE(nullptr, wide);
    EXPECT_EQ(std::wstring(L"Mix \u00e9\u20ac"), std::wstring(wide));
    delete[] wide;
}

}  // namespace
