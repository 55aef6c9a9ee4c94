// The file lists against the server simulator: every class and method as one table of golden
// blocks written from the block layout by hand, and names longer than their fields.
#include <gtest/gtest.h>

#include <functional>

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

// One method call on a fresh object of a class; returns the object's tag.
template <class T>
std::function<CString()> call(void (*method)(T&))
{
    return [method] {
        T object;
        method(object);
        return object.GetName();
    };
}

std::vector<uint8_t> renameBlock(int command) { return KivExpectedBlock(command, 30336, 0, {KivText(833, "old.cfg"), KivText(872, "new.cfg")}); }
std::vector<uint8_t> deleteBlock(int command) { return KivExpectedBlock(command, 30336, 0, {KivText(534, "gone.cfg")}); }
std::vector<uint8_t> attachBlock(int command) { return KivExpectedBlock(command, 16, 0); }
const std::vector<uint8_t> kReadOnlyBlock = KivExpectedBlock(127, 30336, 0, {KivText(534, "keep.cfg"), KivI32(24336, 1)});
const std::vector<uint8_t> kCopyBlock = KivExpectedBlock(183, 30336, 0x2A, {KivText(833, "from.cfg"), KivText(872, "to.cfg")});

struct Row {
    const char* what;
    const char* tag;
    std::function<CString()> run;
    std::vector<uint8_t> block;
    bool attach;
};

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
    const Row rows[] = {
        {"AES attach", "AESConfigListKIV", call<AES>([](AES& o) { o.AESListAttach(); }), attachBlock(287), true},
        {"AES rename", "AESConfigListKIV", call<AES>([](AES& o) { o.RenameConfig("old.cfg", "new.cfg"); }), renameBlock(288), false},
        {"AES delete", "AESConfigListKIV", call<AES>([](AES& o) { o.DeleteConfig("gone.cfg"); }), deleteBlock(289), false},
        {"AES read-only", "AESConfigListKIV", call<AES>(readOnly<AES>), kReadOnlyBlock, false},
        {"AES copy", "AESConfigListKIV", call<AES>(copy<AES>), kCopyBlock, false},
        {"CBF attach", "CBFConfigListKIV", call<CBF>([](CBF& o) { o.CBFListAttach(); }), attachBlock(291), true},
        {"CBF rename", "CBFConfigListKIV", call<CBF>([](CBF& o) { o.RenameConfig("old.cfg", "new.cfg"); }), renameBlock(292), false},
        {"CBF delete", "CBFConfigListKIV", call<CBF>([](CBF& o) { o.DeleteConfig("gone.cfg"); }), deleteBlock(293), false},
        {"CBF read-only", "CBFConfigListKIV", call<CBF>(readOnly<CBF>), kReadOnlyBlock, false},
        {"CBF copy", "CBFConfigListKIV", call<CBF>(copy<CBF>), kCopyBlock, false},
        {"DV attach", "DefaultValuesListKIV", call<DV>([](DV& o) { o.DVListAttach(); }), attachBlock(140), true},
        {"DV rename", "DefaultValuesListKIV", call<DV>([](DV& o) { o.RenameConfig("old.cfg", "new.cfg"); }), renameBlock(141), false},
        {"DV delete", "DefaultValuesListKIV", call<DV>([](DV& o) { o.DeleteConfig("gone.cfg"); }), deleteBlock(142), false},
        {"DV read-only", "DefaultValuesListKIV", call<DV>(readOnly<DV>), kReadOnlyBlock, false},
        {"DV copy", "DefaultValuesListKIV", call<DV>(copy<DV>), kCopyBlock, false},
        {"Joy attach", "JoyListKIV", call<Joy>([](Joy& o) { o.JoyListAttach(); }), attachBlock(290), true},
        {"Joy rename", "JoyListKIV", call<Joy>([](Joy& o) { o.RenameJoyFile("old.cfg", "new.cfg"); }), renameBlock(294), false},
        {"Joy delete", "JoyListKIV", call<Joy>([](Joy& o) { o.DeleteJoyFile("gone.cfg"); }), deleteBlock(295), false},
        {"Joy read-only", "JoyListKIV", call<Joy>(readOnly<Joy>), kReadOnlyBlock, false},
        {"Joy copy", "JoyListKIV", call<Joy>(copy<Joy>), kCopyBlock, false},
        {"Snap attach", "SnapshotListKIV", call<Snap>([](Snap& o) { o.SnapListAttach(); }), attachBlock(93), true},
        {"Snap rename", "SnapshotListKIV", call<Snap>([](Snap& o) { o.RenameSnapshotFile("old.cfg", "new.cfg"); }), renameBlock(102), false},
        {"Snap delete", "SnapshotListKIV", call<Snap>([](Snap& o) { o.DeleteSnapshotFile("gone.cfg"); }), deleteBlock(101), false},
        {"Snap read-only", "SnapshotListKIV", call<Snap>(readOnly<Snap>), kReadOnlyBlock, false},
        {"Snap copy", "SnapshotListKIV", call<Snap>(copy<Snap>), kCopyBlock, false},
        {"SD attach", "SurroundDesignerListKIV", call<SD>([](SD& o) { o.SDListAttach(); }), attachBlock(148), true},
        {"SD rename", "SurroundDesignerListKIV", call<SD>([](SD& o) { o.Rename("old.cfg", "new.cfg"); }), renameBlock(149), false},
        {"SD delete", "SurroundDesignerListKIV", call<SD>([](SD& o) { o.Delete("gone.cfg"); }), deleteBlock(150), false},
        {"EDL attach", "EDLListKIV", call<EDL>([](EDL& o) { o.EDLListAttach(); }), attachBlock(233), true},
        {"EDL rename", "EDLListKIV", call<EDL>([](EDL& o) { o.RenameFile("old.cfg", "new.cfg"); }), renameBlock(236), false},
        {"EDL delete", "EDLListKIV", call<EDL>([](EDL& o) { o.DeleteFileA("gone.cfg"); }), deleteBlock(237), false},
        {"EDL read-only", "EDLListKIV", call<EDL>(readOnly<EDL>), kReadOnlyBlock, false},
        {"EDL copy", "EDLListKIV", call<EDL>(copy<EDL>), kCopyBlock, false},
        {"AX attach", "AutoExtractListKIV", call<AX>([](AX& o) { o.AutoExtractListAttach(); }), attachBlock(241), true},
        {"AX rename", "AutoExtractListKIV", call<AX>([](AX& o) { o.RenameFile("old.cfg", "new.cfg"); }), renameBlock(242), false},
        {"AX delete", "AutoExtractListKIV", call<AX>([](AX& o) { o.DeleteFileA("gone.cfg"); }), deleteBlock(243), false},
        {"AX read-only", "AutoExtractListKIV", call<AX>(readOnly<AX>), kReadOnlyBlock, false},
        {"AX copy", "AutoExtractListKIV", call<AX>(copy<AX>), kCopyBlock, false},
        {"RCL attach", "RecallListKIV", call<RCL>([](RCL& o) { o.RCLListAttach(); }), attachBlock(227), true},
        {"RCL rename", "RecallListKIV", call<RCL>([](RCL& o) { o.RenameConfig("old.cfg", "new.cfg"); }), renameBlock(231), false},
        {"RCL delete", "RecallListKIV", call<RCL>([](RCL& o) { o.DeleteConfig("gone.cfg"); }), deleteBlock(230), false},
        {"RCL read-only", "RecallListKIV", call<RCL>(readOnly<RCL>), kReadOnlyBlock, false},
        {"RCL copy", "RecallListKIV", call<RCL>(copy<RCL>), kCopyBlock, false},
        {"TQ attach", "TQListKIV", call<TQ>([](TQ& o) { o.TQListAttach(); }), attachBlock(244), true},
        {"IO attach", "IOConfigListKIV", call<IO>([](IO& o) { o.IOListAttach(); }), attachBlock(87), true},
        {"IO rename", "IOConfigListKIV", call<IO>([](IO& o) { o.RenameConfig("old.cfg", "new.cfg"); }), renameBlock(89), false},
        {"IO delete", "IOConfigListKIV", call<IO>([](IO& o) { o.DeleteConfig("gone.cfg"); }), deleteBlock(88), false},
        {"IO read-only", "IOConfigListKIV", call<IO>(readOnly<IO>), kReadOnlyBlock, false},
        {"IO copy", "IOConfigListKIV", call<IO>(copy<IO>), kCopyBlock, false},
        {"GPI attach", "GPIConfigListKIV", call<GPI>([](GPI& o) { o.GPIListAttach(); }), attachBlock(209), true},
        {"GPI rename", "GPIConfigListKIV", call<GPI>([](GPI& o) { o.RenameConfig("old.cfg", "new.cfg"); }), renameBlock(210), false},
        {"GPI delete", "GPIConfigListKIV", call<GPI>([](GPI& o) { o.DeleteConfig("gone.cfg"); }), deleteBlock(211), false},
        {"GPI read-only", "GPIConfigListKIV", call<GPI>(readOnly<GPI>), kReadOnlyBlock, false},
        {"GPI copy", "GPIConfigListKIV", call<GPI>(copy<GPI>), kCopyBlock, false},
        {"MD attach", "MeterDesignerListKIV", call<MD>([](MD& o) { o.MDListAttach(); }), attachBlock(116), true},
        {"MD rename", "MeterDesignerListKIV", call<MD>([](MD& o) { o.Rename("old.cfg", "new.cfg"); }), renameBlock(117), false},
        {"MD delete", "MeterDesignerListKIV", call<MD>([](MD& o) { o.Delete("gone.cfg"); }), deleteBlock(118), false},
        {"MD read-only", "MeterDesignerListKIV", call<MD>(readOnly<MD>), kReadOnlyBlock, false},
        {"MD copy", "MeterDesignerListKIV", call<MD>(copy<MD>), kCopyBlock, false},
    };
    KivServerSim& server = StartServer();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        size_t mark = KivRecordMark(server);
        EXPECT_EQ(CString(r.tag), r.run());
        std::string block = "block " + std::to_string(r.block[0] | r.block[1] << 8);
        // An attach is sent between the subscription's end and its start, and read at once.
        auto expectedCalls = r.attach ? std::vector<std::string>{block, "advise", "read", "unadvise"}
                                      : std::vector<std::string>{block};
        EXPECT_EQ(expectedCalls, KivCallsSince(server, mark));
        EXPECT_TRUE(KivBlocksEqual(r.block, KivLastBlock(server)));
    }
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
