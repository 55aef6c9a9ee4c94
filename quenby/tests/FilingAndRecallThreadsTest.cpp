// The filing, recall and snapshot objects against the server simulator: every method as one
// table of golden blocks written from the block layouts by hand, the blocks that grow with
// their names or labels, names cut to their fields, and the recall commands that re-attach.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "../testtools/KivClientTestKit.h"
#include "../testtools/KivTestClient.h"
#include "quenby/FilingKIVObjects.h"
#include "quenby/RecallKIVObjects.h"
#include "winport/Clock.h"

namespace {

class FilingThreads : public KivServerTest {};

const HWND kWindow = UlongToHwnd(0x2A);
constexpr auto A = KivCallKind::AttachRead, A0 = KivCallKind::AttachNoRead, C = KivCallKind::Command;

std::vector<uint8_t> bare(int command, uint32_t window = 0) { return KivExpectedBlock(command, 16, window); }

TEST_F(FilingThreads, EveryFilingMethodSendsItsBlock)
{
    using CSL = CConsoleSetupListKIVObject;
    using TQF = CTessaractFilingKIVObject;
    using TQN = CTessaractNetworkFilingKIVObject;
    using HP = CHomePathKIVObject;
    using DS = CDiskStatKIVObject;
    using MD = CMacroDesignerKIVObject;
    using SD = CSavetoSorelDiskKIVObject;
    using LL = CLabelListKIVObject;
    const std::vector<KivRow> rows = {
        {"CS attach", "ConsoleSetupListKIV", KivCall<CSL>([](CSL& o) { o.CSAttach(); }), bare(28), A},
        {"CS delete one", "ConsoleSetupListKIV", KivCall<CSL>([](CSL& o) { o.DeleteDeskSetup("mix a"); }),
         KivExpectedBlock(64, 460039, 0, {KivI32(424, 1), KivText(460000, "mix a")}), C},
        {"CS rename", "ConsoleSetupListKIV", KivCall<CSL>([](CSL& o) { o.RenameDeskSetup("old", "new"); }),
         KivExpectedBlock(66, 418, 0, {KivText(16, "old"), KivText(217, "new")}), C},
        {"CS copy", "ConsoleSetupListKIV", KivCall<CSL>([](CSL& o) { o.Copy("from", "to", kWindow); }),
         KivExpectedBlock(63, 418, 0x2A, {KivText(16, "from"), KivText(217, "to")}), C},
        {"CS backup", "ConsoleSetupListKIV", KivCall<CSL>([](CSL& o) { o.Backup("mix", "a:\\mix", kWindow); }),
         KivExpectedBlock(70, 418, 0x2A, {KivText(16, "mix"), KivText(217, "a:\\mix")}), C},
        {"CS restore", "ConsoleSetupListKIV", KivCall<CSL>([](CSL& o) { o.Restore("mix", "a:\\mix", kWindow); }),
         KivExpectedBlock(71, 418, 0x2A, {KivText(16, "mix"), KivText(217, "a:\\mix")}), C},
        {"CS read-only", "ConsoleSetupListKIV", KivCall<CSL>([](CSL& o) { o.SetReadOnly("mix", 1); }),
         KivExpectedBlock(126, 568260, 0, {KivText(412016, "mix"), KivI32(528296, 1)}), C},
        {"CS export", "ConsoleSetupListKIV", KivCall<CSL>([](CSL& o) { o.ExportPathNames("mix", kWindow); }),
         KivExpectedBlock(320, 460000, 0x2A, {KivText(16, "mix")}), C},
        {"CS update", "ConsoleSetupListKIV", KivCall<CSL>([](CSL& o) { o.UpdateList(); }), bare(186), C},
        {"TQ attach", "TQFilingKIV", KivCall<TQF>([](TQF& o) { o.TQFilingAttach(9); }), KivExpectedBlock(245, 60, 0, {KivI32(16, 9)}), A},
        {"TQ enter", "TQFilingKIV", KivCall<TQF>([](TQF& o) { o.EnterDirectory("take 1"); }),
         KivExpectedBlock(248, 60, 0, {KivText(20, "take 1")}), C},
        {"TQ events", "TQFilingKIV", KivCall<TQF>([](TQF& o) { o.LoadEvents("reel"); }), KivExpectedBlock(247, 60, 0, {KivText(20, "reel")}), C},
        {"TQ transfer", "TQFilingKIV", KivCall<TQF>([](TQF& o) { o.TransferProject("film"); }),
         KivExpectedBlock(249, 30336, 0, {KivText(573, "film")}), C},
        {"TQN attach", "TQNetworkFilingKIV", KivCall<TQN>([](TQN& o) { o.TQNFilingAttach("area"); }),
         KivExpectedBlock(246, 30336, 0, {KivText(573, "area")}), A},
        {"TQN enter", "TQNetworkFilingKIV", KivCall<TQN>([](TQN& o) { o.EnterDirectory("a"); }),
         KivExpectedBlock(250, 30336, 0, {KivText(20, "a")}), C},
        {"HP attach", "HomePathKIV", KivCall<HP>([](HP& o) { o.HPAttach(); }), bare(90), A},
        {"HP set", "HomePathKIV", KivCall<HP>([](HP& o) { o.SetHomePath("c:\\home"); }),
         KivExpectedBlock(91, 276, 0, {KivText(16, "c:\\home")}), C},
        {"DS attach", "KIV", KivCall<DS>([](DS& o) { o.DSAttach(); }), bare(25), A},
        {"MD attach", "MacroDesignerKIV", KivCall<MD>([](MD& o) { o.MacroAttach(); }), bare(151), A},
        {"MD save", "MacroDesignerKIV", KivCall<MD>([](MD& o) {
             for (int i = 0; i < 32; ++i) o.m_abyDesignRecord[i] = static_cast<BYTE>(i + 1);
             o.m_nDesignValue = -3;
             o.Save("macro");
         }),
         KivExpectedBlock(152, 92, 0,
                          {KivText(16, "macro"),
                           {56, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26,
                                 27, 28, 29, 30, 31, 32}},
                           KivI32(88, -3)}),
         C},
        {"MD save unfilled", "MacroDesignerKIV", KivCall<MD>([](MD& o) { o.Save("m"); }), KivExpectedBlock(152, 92, 0, {KivText(16, "m")}), C},
        {"MD load", "MacroDesignerKIV", KivCall<MD>([](MD& o) { o.Load("macro"); }), KivExpectedBlock(153, 92, 0, {KivText(16, "macro")}), C},
        {"SD attach", "SavetoSorelDiskKIV", KivCall<SD>([](SD& o) { o.Attach(); }), bare(328), A0},
        {"SD save", "SavetoSorelDiskKIV", KivCall<SD>([](SD& o) {
             const BYTE data[3] = {7, 8, 9};
             o.SavetoSorelDisk("proj", data, 3);
         }),
         KivExpectedBlock(329, 283, 0, {KivText(16, "proj"), KivI32(276, 3), {280, {7, 8, 9}}}), C},
        {"SD save nothing", "SavetoSorelDiskKIV", KivCall<SD>([](SD& o) { o.SavetoSorelDisk("proj", nullptr, 0); }),
         KivExpectedBlock(329, 280, 0, {KivText(16, "proj")}), C},
        {"LL attach", "LabelListKIV", KivCall<LL>([](LL& o) { o.LLAttach("a", "b", "c"); }),
         KivExpectedBlock(13, 72020, 0, {KivI32(16, 3), KivText(20, "a"), KivText(59, "b"), KivText(98, "c")}), A},
        {"LL add", "LabelListKIV", KivCall<LL>([](LL& o) { o.AddLabel(4, 1000, "verse", kWindow); }),
         KivExpectedBlock(14, 60, 0x2A, {KivI32(16, 1), KivI32(20, 4), KivI32(24, 1000), KivText(28, "verse")}), C},
        {"LL delete", "LabelListKIV", KivCall<LL>([](LL& o) { o.DeleteLabel(1000, "verse", kWindow); }),
         KivExpectedBlock(15, 60, 0x2A, {KivI32(16, 1), KivI32(24, 1000), KivText(28, "verse")}), C},
    };
    KivCheckRows(StartServer(), rows);
}

TEST_F(FilingThreads, EveryRecallAndSnapshotMethodSendsItsBlock)
{
    using RCL = CRecallKIVObject;
    using RD = CRecallDataKIVObject;
    using K7 = CRecallDataKivK7Object;
    using SR = CRecallSoloKIVObject;
    using SR7 = CRecallSoloKivK7Object;
    using SS = CSnapshotKIVObject;
    auto snap = [](int command, uint32_t window, std::initializer_list<KivField> fields) {
        return KivExpectedBlock(command, 426248, window, fields);
    };
    const std::vector<KivRow> rows = {
        {"recall attach", "RecallKIV", KivCall<RCL>([](RCL& o) { o.RCLAttach(kWindow); }), bare(226, 0x2A), A},
        {"recall load", "RecallKIV", KivCall<RCL>([](RCL& o) { o.Load("show"); }), KivExpectedBlock(229, 43692, 0, {KivText(534, "show")}), C},
        {"recall create", "RecallKIV", KivCall<RCL>([](RCL& o) { o.Create("show"); }), KivExpectedBlock(228, 43692, 0, {KivText(534, "show")}), C},
        {"data attach", "RecallDataKIV", KivCall<RD>([](RD& o) { o.DCAttach(); }), bare(254), A},
        {"data activate", "RecallDataKIV", KivCall<RD>([](RD& o) { o.ActivateRecall(7); }), KivExpectedBlock(255, 104, 0, {KivI32(16, 7)}), A},
        {"data deactivate", "RecallDataKIV", KivCall<RD>([](RD& o) { o.DeactivateRecall(); }), bare(256), A},
        {"data channel", "RecallDataKIV", KivCall<RD>([](RD& o) { o.SelectChannel(12); }), KivExpectedBlock(257, 104, 0, {KivI32(16, 12)}), A},
        {"data desk", "RecallDataKIV", KivCall<RD>([](RD& o) { o.SetDeskInfo(1, 2); }),
         KivExpectedBlock(258, 104, 0, {KivU8(88, 2), KivU8(89, 1)}), A},
        {"data card", "RecallDataKIV", KivCall<RD>([](RD& o) { o.SetCardInfo(1, 2); }),
         KivExpectedBlock(259, 104, 0, {KivI32(92, 2), KivI32(96, 1)}), A},
        {"data initialise", "RecallDataKIV", KivCall<RD>([](RD& o) { o.InitialiseConsole(); }), bare(260), A},
        {"K7 attach", "RecallDataKivK7", KivCall<K7>([](K7& o) { o.DCK7Attach(); }), bare(262), A},
        {"K7 activate", "RecallDataKivK7", KivCall<K7>([](K7& o) { o.ActivateRecall(5); }), KivExpectedBlock(263, 160, 0, {KivI32(16, 5)}), C},
        {"K7 deactivate", "RecallDataKivK7", KivCall<K7>([](K7& o) { o.DeactivateRecall(5); }), KivExpectedBlock(264, 160, 0, {KivI32(16, 5)}), C},
        {"solo attach", "RecallSoloKIV", KivCall<SR>([](SR& o) { o.SRAttach(); }), bare(253), A},
        {"solo K7 attach", "RecallSoloKivK7", KivCall<SR7>([](SR7& o) { o.SRK7Attach(); }), bare(261), A0},
        {"snap attach", "SnapshotKIV", KivCall<SS>([](SS& o) { o.SSAttach(kWindow, 6); }), snap(92, 0x2A, {KivI32(16, 6)}), A},
        {"snap capture", "SnapshotKIV", KivCall<SS>([](SS& o) { o.CaptureSnapshot("intro", 4, kWindow); }),
         snap(94, 0x2A, {KivText(20, "intro"), KivI32(402020, 4)}), C},
        {"snap preload", "SnapshotKIV", KivCall<SS>([](SS& o) { o.PreLoadSnapshot("intro", kWindow); }), snap(96, 0x2A, {KivText(20, "intro")}), C},
        {"snap play", "SnapshotKIV", KivCall<SS>([](SS& o) { o.PlaySnapshot("intro", kWindow); }), snap(97, 0x2A, {KivText(20, "intro")}), C},
        {"snap load", "SnapshotKIV", KivCall<SS>([](SS& o) { o.LoadSnapshots("f", 2, kWindow); }),
         snap(98, 0x2A, {KivText(20, "f"), KivI32(426236, 2)}), C},
        {"snap save", "SnapshotKIV", KivCall<SS>([](SS& o) { o.SaveSnapshots("f", 2, kWindow); }),
         snap(99, 0x2A, {KivText(20, "f"), KivI32(426236, 2)}), C},
        {"snap new", "SnapshotKIV", KivCall<SS>([](SS& o) { o.NewSnapshots("f", 2, kWindow); }),
         snap(100, 0x2A, {KivText(20, "f"), KivI32(426236, 2)}), C},
        {"snap select", "SnapshotKIV", KivCall<SS>([](SS& o) { o.SelectSnapshot("intro", kWindow); }), snap(103, 0x2A, {KivText(20, "intro")}), C},
        {"snap rename", "SnapshotKIV", KivCall<SS>([](SS& o) { o.RenameSnapshot("intro", "outro", kWindow); }),
         snap(104, 0x2A, {KivText(20, "intro"), KivText(221, "outro")}), C},
        {"snap scope", "SnapshotKIV", KivCall<SS>([](SS& o) { o.SetScope(3, kWindow); }), snap(105, 0x2A, {KivI32(426244, 3)}), C},
        {"snap target", "SnapshotKIV", KivCall<SS>([](SS& o) { o.SetTargetWindow(kWindow); }), bare(239, 0x2A), C},
        {"snap close", "SnapshotKIV", KivCall<SS>([](SS& o) { o.CloseSnapshot(); }), bare(240), C},
    };
    KivCheckRows(StartServer(), rows);
}

TEST_F(FilingThreads, BlocksThatGrowWithTheirNamesAndLabels)
{
    KivServerSim& server = StartServer();
    CConsoleSetupListKIVObject list;
    CStringArray names;
    for (const char* n : {"one", "two", "three"}) names.Add(n);
    list.DeleteDeskSetups(names);
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(64, 460117, 0, {KivI32(424, 3), KivText(460000, "one"), KivText(460029, "two"),
                                                                KivText(460058, "three")}),
                               KivLastBlock(server)));
    // A 40-character name among three is cut at 28 and its neighbour stays whole; a single
    // delete cuts at 38.
    const std::string n40(40, 'x');
    names[1] = n40.c_str();
    list.DeleteDeskSetups(names);
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(64, 460117, 0, {KivI32(424, 3), KivText(460000, "one"), KivText(460029, n40.substr(0, 28)),
                                                                KivText(460058, "three")}),
                               KivLastBlock(server)));
    list.DeleteDeskSetup(n40.c_str());
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(64, 460039, 0, {KivI32(424, 1), KivText(460000, n40.substr(0, 38))}), KivLastBlock(server)));
    names.RemoveAll();
    list.DeleteDeskSetups(names);
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(64, 460000, 0), KivLastBlock(server)));

    // Labels: none gives the bare count; names are bounded copies of 28 bytes (no zero when
    // full), entries 40 bytes apart.
    CLabelListKIVObject labels;
    CArray<LabelStructure*, LabelStructure*> list0;
    labels.SetLabelList(list0, kWindow);
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(120, 20, 0x2A), KivLastBlock(server)));
    const std::string n30(30, 'L');
    LabelStructure a{1, 100, "first"}, b{2, -5, n30.c_str()}, c{3, 7, ""};
    CArray<LabelStructure*, LabelStructure*> list3;
    list3.Add(&a);
    list3.Add(&b);
    list3.Add(nullptr);
    list3.Add(&c);
    labels.SetLabelList(list3, kWindow);
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(120, 180, 0x2A,
                                                {KivI32(16, 4), KivI32(20, 1), KivI32(24, 100), KivText(28, "first"), KivI32(60, 2),
                                                 KivI32(64, -5), KivText(68, n30.substr(0, 28)), KivI32(140, 3), KivI32(144, 7)}),
                               KivLastBlock(server)));
    // At most the server's 1800 labels go out.
    CArray<LabelStructure*, LabelStructure*> many;
    for (int i = 0; i < 1801; ++i) many.Add(&a);
    labels.SetLabelList(many, kWindow);
    auto full = KivLastBlock(server);
    ASSERT_EQ(72020u, full.size());
    EXPECT_EQ(1800, full[16] | full[17] << 8);
    EXPECT_EQ(0, std::memcmp(full.data() + 20 + 40 * 1799 + 8, "first", 6));
    // The attach's three names are bounded copies of 38 bytes, 39 apart.
    labels.LLAttach(n40.c_str(), "b", n40.c_str());
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(13, 72020, 0, {KivI32(16, 3), KivText(20, n40.substr(0, 38)), KivText(59, "b"),
                                                               KivText(98, n40.substr(0, 38))}),
                               KivLastBlock(server)));
}

TEST_F(FilingThreads, SnapshotNamesAndCounts)
{
    KivServerSim& server = StartServer();
    CSnapshotKIVObject snapshots;
    CStringArray names;
    for (const char* n : {"a", "b", "c"}) names.Add(n);
    snapshots.DeleteSnapshots(names, kWindow);
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(95, 426248, 0x2A, {KivI32(426224, 3), KivText(20, "a"), KivText(221, "b"), KivText(422, "c")}),
                               KivLastBlock(server)));
    // 2001 names: the block's 2000 slots, the last ending where the capture value begins.
    names.RemoveAll();
    for (int i = 0; i < 2001; ++i) names.Add(CString(std::to_string(i).c_str()));
    snapshots.DeleteSnapshots(names, kWindow);
    auto block = KivLastBlock(server);
    ASSERT_EQ(426248u, block.size());
    int32_t count = 0;
    std::memcpy(&count, block.data() + 426224, 4);
    EXPECT_EQ(2000, count);
    EXPECT_EQ(0, std::memcmp(block.data() + 20 + 201 * 1999, "1999\0", 5));
    EXPECT_EQ(0, block[402020]);
    // Names keep at most 200 characters.
    const std::string n201(201, 's');
    snapshots.RenameSnapshot(n201.c_str(), "new", kWindow);
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(104, 426248, 0x2A, {KivText(20, n201.substr(0, 200)), KivText(221, "new")}),
                               KivLastBlock(server)));
}

TEST_F(FilingThreads, SavesThatMakeNoBlockSendNothing)
{
    KivServerSim& server = StartServer();
    CSavetoSorelDiskKIVObject disk;
    const BYTE data[4] = {1, 2, 3, 4};
    size_t mark = KivRecordMark(server);
    disk.SavetoSorelDisk("p", data, -1);
    disk.SavetoSorelDisk("p", nullptr, 4);
    disk.SavetoSorelDisk("p", data, (1 << 20) - 279);  // one byte over the transport's bound
    EXPECT_TRUE(KivCallsSince(server, mark).empty());
}

TEST_F(FilingThreads, NetworkFilingKeepsItsCurrentDirectory)
{
    StartServer();
    CTessaractNetworkFilingKIVObject filing;
    filing.TQNFilingAttach("area");
    EXPECT_EQ(CString("\\"), filing.CurrentDirectory());
    struct Step {
        const char* enter;
        const char* directory;
    };
    for (Step s : {Step{"a", "\\a\\"}, Step{"b", "\\a\\b\\"}, Step{"..", "\\a\\"}, Step{"..", "\\"}, Step{"..", "\\"},
                   Step{"c", "\\c\\"}}) {
        SCOPED_TRACE(s.enter);
        filing.EnterDirectory(s.enter);
        EXPECT_EQ(CString(s.directory), filing.CurrentDirectory());
    }
    filing.TQNFilingAttach("other");
    EXPECT_EQ(CString("\\"), filing.CurrentDirectory());
}

// A recall-mode object whose replies a test can see.
class RecallProbe : public CRecallDataKIVObject {
public:
    ~RecallProbe() override { StopAdvise(); }
    int OnLinkIn(_CommsStructure* reply) override
    {
        replies.emplace_back(reinterpret_cast<uint8_t*>(reply), reinterpret_cast<uint8_t*>(reply) + reply->nSize);
        return 1;
    }
    std::vector<std::vector<uint8_t>> replies;
};

TEST_F(FilingThreads, RecallCommandsReadWhatTheyCausedBeforeReturning)
{
    // On a thread of its own, so that the replies of this object run on it without a loop.
    std::thread([&] {
        KivServerSim& server = StartServer();
        winport::ManualClock clock;
        winport::ScopedClock useClock(clock);
        for (int command = 255; command <= 260; ++command) ASSERT_EQ("ok", server.Control("on " + std::to_string(command) + " echo"));
        RecallProbe recall;
        recall.DCAttach();
        EXPECT_TRUE(recall.replies.empty());  // nothing set yet
        recall.ActivateRecall(7);
        ASSERT_EQ(1u, recall.replies.size());
        EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(255, 104, 0, {KivI32(16, 7)}), recall.replies[0]));
        // Also when the server is busy when the subscription opens again.
        ASSERT_EQ("ok", server.Control("busy 3"));
        recall.SetDeskInfo(1, 2);
        EXPECT_EQ((std::vector<uint32_t>(3, 100)), clock.Sleeps());
        ASSERT_EQ(2u, recall.replies.size());
        EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(258, 104, 0, {KivU8(88, 2), KivU8(89, 1)}), recall.replies[1]));
    }).join();
}

TEST_F(FilingThreads, AServerGoneBetweenTwoRecallCommandsEndsTheProgram)
{
    KivServerSim& server = StartServer();
    RecallProbe recall;
    recall.DCAttach();
    recall.SelectChannel(1);
    ASSERT_EQ("ok 1", server.Control("drop"));
    EXPECT_THROW(
        {
            try {
                recall.SelectChannel(2);
            } catch (const winport::ExitRequested& exit) {
                EXPECT_EQ(-1, exit.Code());
                throw;
            }
        },
        winport::ExitRequested);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("KIVServer is no longer responding !", boxes[0].text);
}

}  // namespace
