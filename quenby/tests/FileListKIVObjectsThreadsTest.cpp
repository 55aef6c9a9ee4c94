// The file lists against the server simulator: every class and method as one table of golden
// blocks written from the block layout by hand, and names longer than their fields.
#include <gtest/gtest.h>

#include "../testtools/KivClientTestKit.h"
#include "quenby/FileListKIVObjects.h"

namespace {

// Only the lists that can protect and copy files have SetReadOnly and Copy.
template <class T>
concept CanProtect = requires(T& o) { o.SetReadOnly("", 0); };
template <class T>
concept CanCopy = requires(T& o) { o.Copy("", "", nullptr); };
static_assert(CanProtect<CEDLListKIVObject> && CanCopy<CEDLListKIVObject>);
static_assert(!CanProtect<CSurroundDesignerListKIVObject> && !CanCopy<CSurroundDesignerListKIVObject>);
static_assert(!CanProtect<CTessaractListKIVObject> && !CanCopy<CTessaractListKIVObject>);

class FileListThreads : public KivServerTest {};

const HWND kWindow = UlongToHwnd(0x2A);

std::vector<uint8_t> renameBlock(int command) { return KivExpectedBlock(command, 30336, 0, {KivText(833, "old.cfg"), KivText(872, "new.cfg")}); }
std::vector<uint8_t> deleteBlock(int command) { return KivExpectedBlock(command, 30336, 0, {KivText(534, "gone.cfg")}); }
std::vector<uint8_t> attachBlock(int command) { return KivExpectedBlock(command, 16, 0); }
const std::vector<uint8_t> kReadOnlyBlock = KivExpectedBlock(127, 30336, 0, {KivText(534, "keep.cfg"), KivI32(24336, 1)});
const std::vector<uint8_t> kCopyBlock = KivExpectedBlock(183, 30336, 0x2A, {KivText(833, "from.cfg"), KivText(872, "to.cfg")});

template <class T>
void readOnly(T& o) { o.SetReadOnly("keep.cfg", 1); }
template <class T>
void copy(T& o) { o.Copy("from.cfg", "to.cfg", kWindow); }

TEST_F(FileListThreads, EveryClassAndMethodSendsItsBlock)
{
    using AES = CAESConfigListKIVObject;
    using CBF = CCBFConfigListKIVObject;
    using DV = CDefaultValuesListKIVObject;
    using Joy = CJoyListKIVObject;
    using Snap = CSnapshotListKIVObject;
    using SD = CSurroundDesignerListKIVObject;
    using EDL = CEDLListKIVObject;
    using AX = CExtractedAutomationListKIVObject;
    using RCL = CRecallListKIVObject;
    using TQ = CTessaractListKIVObject;
    using IO = CIOConfigListKIVObject;
    using GPI = CGPIConfigListKIVObject;
    using MD = CMeterDesignerListKIVObject;
    constexpr auto A = KivCallKind::AttachRead, C = KivCallKind::Command;
    const std::vector<KivRow> rows = {
        {"AES attach", "AESConfigListKIV", KivCall<AES>([](AES& o) { o.AESListAttach(); }), attachBlock(287), A},
        {"AES rename", "AESConfigListKIV", KivCall<AES>([](AES& o) { o.RenameConfig("old.cfg", "new.cfg"); }), renameBlock(288), C},
        {"AES delete", "AESConfigListKIV", KivCall<AES>([](AES& o) { o.DeleteConfig("gone.cfg"); }), deleteBlock(289), C},
        {"AES read-only", "AESConfigListKIV", KivCall<AES>(readOnly<AES>), kReadOnlyBlock, C},
        {"AES copy", "AESConfigListKIV", KivCall<AES>(copy<AES>), kCopyBlock, C},
        {"CBF attach", "CBFConfigListKIV", KivCall<CBF>([](CBF& o) { o.CBFListAttach(); }), attachBlock(291), A},
        {"CBF rename", "CBFConfigListKIV", KivCall<CBF>([](CBF& o) { o.RenameConfig("old.cfg", "new.cfg"); }), renameBlock(292), C},
        {"CBF delete", "CBFConfigListKIV", KivCall<CBF>([](CBF& o) { o.DeleteConfig("gone.cfg"); }), deleteBlock(293), C},
        {"CBF read-only", "CBFConfigListKIV", KivCall<CBF>(readOnly<CBF>), kReadOnlyBlock, C},
        {"CBF copy", "CBFConfigListKIV", KivCall<CBF>(copy<CBF>), kCopyBlock, C},
        {"DV attach", "DefaultValuesListKIV", KivCall<DV>([](DV& o) { o.DVListAttach(); }), attachBlock(140), A},
        {"DV rename", "DefaultValuesListKIV", KivCall<DV>([](DV& o) { o.RenameConfig("old.cfg", "new.cfg"); }), renameBlock(141), C},
        {"DV delete", "DefaultValuesListKIV", KivCall<DV>([](DV& o) { o.DeleteConfig("gone.cfg"); }), deleteBlock(142), C},
        {"DV read-only", "DefaultValuesListKIV", KivCall<DV>(readOnly<DV>), kReadOnlyBlock, C},
        {"DV copy", "DefaultValuesListKIV", KivCall<DV>(copy<DV>), kCopyBlock, C},
        {"Joy attach", "JoyListKIV", KivCall<Joy>([](Joy& o) { o.JoyListAttach(); }), attachBlock(290), A},
        {"Joy rename", "JoyListKIV", KivCall<Joy>([](Joy& o) { o.RenameJoyFile("old.cfg", "new.cfg"); }), renameBlock(294), C},
        {"Joy delete", "JoyListKIV", KivCall<Joy>([](Joy& o) { o.DeleteJoyFile("gone.cfg"); }), deleteBlock(295), C},
        {"Joy read-only", "JoyListKIV", KivCall<Joy>(readOnly<Joy>), kReadOnlyBlock, C},
        {"Joy copy", "JoyListKIV", KivCall<Joy>(copy<Joy>), kCopyBlock, C},
        {"Snap attach", "SnapshotListKIV", KivCall<Snap>([](Snap& o) { o.SnapListAttach(); }), attachBlock(93), A},
        {"Snap rename", "SnapshotListKIV", KivCall<Snap>([](Snap& o) { o.RenameSnapshotFile("old.cfg", "new.cfg"); }), renameBlock(102), C},
        {"Snap delete", "SnapshotListKIV", KivCall<Snap>([](Snap& o) { o.DeleteSnapshotFile("gone.cfg"); }), deleteBlock(101), C},
        {"Snap read-only", "SnapshotListKIV", KivCall<Snap>(readOnly<Snap>), kReadOnlyBlock, C},
        {"Snap copy", "SnapshotListKIV", KivCall<Snap>(copy<Snap>), kCopyBlock, C},
        {"SD attach", "SurroundDesignerListKIV", KivCall<SD>([](SD& o) { o.SDListAttach(); }), attachBlock(148), A},
        {"SD rename", "SurroundDesignerListKIV", KivCall<SD>([](SD& o) { o.Rename("old.cfg", "new.cfg"); }), renameBlock(149), C},
        {"SD delete", "SurroundDesignerListKIV", KivCall<SD>([](SD& o) { o.Delete("gone.cfg"); }), deleteBlock(150), C},
        {"EDL attach", "EDLListKIV", KivCall<EDL>([](EDL& o) { o.EDLListAttach(); }), attachBlock(233), A},
        {"EDL rename", "EDLListKIV", KivCall<EDL>([](EDL& o) { o.RenameFile("old.cfg", "new.cfg"); }), renameBlock(236), C},
        {"EDL delete", "EDLListKIV", KivCall<EDL>([](EDL& o) { o.DeleteFileA("gone.cfg"); }), deleteBlock(237), C},
        {"EDL read-only", "EDLListKIV", KivCall<EDL>(readOnly<EDL>), kReadOnlyBlock, C},
        {"EDL copy", "EDLListKIV", KivCall<EDL>(copy<EDL>), kCopyBlock, C},
        {"AX attach", "AutoExtractListKIV", KivCall<AX>([](AX& o) { o.AutoExtractListAttach(); }), attachBlock(241), A},
        {"AX rename", "AutoExtractListKIV", KivCall<AX>([](AX& o) { o.RenameFile("old.cfg", "new.cfg"); }), renameBlock(242), C},
        {"AX delete", "AutoExtractListKIV", KivCall<AX>([](AX& o) { o.DeleteFileA("gone.cfg"); }), deleteBlock(243), C},
        {"AX read-only", "AutoExtractListKIV", KivCall<AX>(readOnly<AX>), kReadOnlyBlock, C},
        {"AX copy", "AutoExtractListKIV", KivCall<AX>(copy<AX>), kCopyBlock, C},
        {"RCL attach", "RecallListKIV", KivCall<RCL>([](RCL& o) { o.RCLListAttach(); }), attachBlock(227), A},
        {"RCL rename", "RecallListKIV", KivCall<RCL>([](RCL& o) { o.RenameConfig("old.cfg", "new.cfg"); }), renameBlock(231), C},
        {"RCL delete", "RecallListKIV", KivCall<RCL>([](RCL& o) { o.DeleteConfig("gone.cfg"); }), deleteBlock(230), C},
        {"RCL read-only", "RecallListKIV", KivCall<RCL>(readOnly<RCL>), kReadOnlyBlock, C},
        {"RCL copy", "RecallListKIV", KivCall<RCL>(copy<RCL>), kCopyBlock, C},
        {"TQ attach", "TQListKIV", KivCall<TQ>([](TQ& o) { o.TQListAttach(); }), attachBlock(244), A},
        {"IO attach", "IOConfigListKIV", KivCall<IO>([](IO& o) { o.IOListAttach(); }), attachBlock(87), A},
        {"IO rename", "IOConfigListKIV", KivCall<IO>([](IO& o) { o.RenameConfig("old.cfg", "new.cfg"); }), renameBlock(89), C},
        {"IO delete", "IOConfigListKIV", KivCall<IO>([](IO& o) { o.DeleteConfig("gone.cfg"); }), deleteBlock(88), C},
        {"IO read-only", "IOConfigListKIV", KivCall<IO>(readOnly<IO>), kReadOnlyBlock, C},
        {"IO copy", "IOConfigListKIV", KivCall<IO>(copy<IO>), kCopyBlock, C},
        {"GPI attach", "GPIConfigListKIV", KivCall<GPI>([](GPI& o) { o.GPIListAttach(); }), attachBlock(209), A},
        {"GPI rename", "GPIConfigListKIV", KivCall<GPI>([](GPI& o) { o.RenameConfig("old.cfg", "new.cfg"); }), renameBlock(210), C},
        {"GPI delete", "GPIConfigListKIV", KivCall<GPI>([](GPI& o) { o.DeleteConfig("gone.cfg"); }), deleteBlock(211), C},
        {"GPI read-only", "GPIConfigListKIV", KivCall<GPI>(readOnly<GPI>), kReadOnlyBlock, C},
        {"GPI copy", "GPIConfigListKIV", KivCall<GPI>(copy<GPI>), kCopyBlock, C},
        {"MD attach", "MeterDesignerListKIV", KivCall<MD>([](MD& o) { o.MDListAttach(); }), attachBlock(116), A},
        {"MD rename", "MeterDesignerListKIV", KivCall<MD>([](MD& o) { o.Rename("old.cfg", "new.cfg"); }), renameBlock(117), C},
        {"MD delete", "MeterDesignerListKIV", KivCall<MD>([](MD& o) { o.Delete("gone.cfg"); }), deleteBlock(118), C},
        {"MD read-only", "MeterDesignerListKIV", KivCall<MD>(readOnly<MD>), kReadOnlyBlock, C},
        {"MD copy", "MeterDesignerListKIV", KivCall<MD>(copy<MD>), kCopyBlock, C},
    };
    KivCheckRows(StartServer(), rows);
}

TEST_F(FileListThreads, LongNamesAreCutInsideTheirFields)
{
    KivServerSim& server = StartServer();
    const std::string n39(39, 'a'), n60(60, 'b'), n38(38, 'a'), b38(38, 'b');
    CEDLListKIVObject list;

    // Old names end at 871, one byte before the new name's field; the new name's field is
    // long enough for 60 characters.
    list.RenameFile(n39.c_str(), n60.c_str());
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(236, 30336, 0, {KivText(833, n38), KivText(872, n60)}), KivLastBlock(server)));
    list.Copy(n60.c_str(), n39.c_str(), kWindow);
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(183, 30336, 0x2A, {KivText(833, b38), KivText(872, n39)}), KivLastBlock(server)));
    // The file name ends at 572: the project field from 573 stays empty.
    list.DeleteFileA(n60.c_str());
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(237, 30336, 0, {KivText(534, b38)}), KivLastBlock(server)));
    list.SetReadOnly(n39.c_str(), 0);
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(127, 30336, 0, {KivText(534, n38)}), KivLastBlock(server)));
}

}  // namespace
