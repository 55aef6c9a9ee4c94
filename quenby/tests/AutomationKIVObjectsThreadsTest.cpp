// The automation and mix-pass objects: every command as one table of golden blocks written from
// the block layouts by hand, the limits of every list, the path kinds and default names of the
// offline interrogator, and its re-attaching commands against the server.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "../testtools/KivClientTestKit.h"
#include "quenby/AutomationKIVObjects.h"
#include "quenby/MixPassKIVObjects.h"
#include "trevanny/ConsoleRegistryNames.h"
#include "winport/Clock.h"
#include "winport/RegistryObject.h"

namespace {

const HWND kWindow = UlongToHwnd(0x2A);
const AutomationEventFilterStructure kFilter{0x9};
const int kPaths[3] = {10, 11, 12};
using Calls = std::vector<std::string>;

// A 24-byte packed event at an offset: 65536, time, flags, path, process, control, value, last.
std::vector<KivField> Packed(size_t at, int32_t time, uint8_t flags, int32_t path, uint8_t process, uint8_t control, int16_t value,
                             int16_t last)
{
    return {KivI32(at, 65536), KivI32(at + 4, time), KivU8(at + 8, flags),   KivI32(at + 12, path),
            KivU8(at + 16, process), KivU8(at + 17, control), KivI16(at + 18, value), KivI16(at + 20, last)};
}

std::vector<uint8_t> Block(int32_t command, int32_t size, uint32_t window, const std::vector<KivField>& fields)
{
    std::vector<uint8_t> block = KivExpectedBlock(command, size, window);
    for (const KivField& f : fields) {
        EXPECT_LE(f.offset + f.bytes.size(), block.size());
        if (f.offset + f.bytes.size() <= block.size()) std::memcpy(block.data() + f.offset, f.bytes.data(), f.bytes.size());
    }
    return block;
}

// Events 0..count-1: time 100 + i, path i + 1, process 2, control 3, value -i, flags 0x81, old value 7.
void FillEvents(CAutomationEventArray& events, int count)
{
    for (int i = 0; i < count; ++i) events.Add(CAutomationEvent(100 + i, static_cast<DWORD>(i + 1), 2, 3, static_cast<short>(-i), 0x81, 7));
}

std::vector<KivField> PackedEvents(int count)
{
    std::vector<KivField> fields;
    for (int i = 0; i < count; ++i) {
        auto one = Packed(8136 + 24 * static_cast<size_t>(i), 100 + i, 0x81, i + 1, 2, 3, static_cast<int16_t>(-i), 7);
        fields.insert(fields.end(), one.begin(), one.end());
    }
    return fields;
}

std::vector<KivField> Words(size_t at, std::initializer_list<int32_t> values)
{
    std::vector<KivField> fields;
    for (int32_t v : values) fields.push_back(KivI32(at, v)), at += 4;
    return fields;
}

template <class... Lists>
std::vector<KivField> Join(std::initializer_list<KivField> first, const Lists&... rest)
{
    std::vector<KivField> all(first);
    (all.insert(all.end(), rest.begin(), rest.end()), ...);
    return all;
}

class TestGang : public CGangDataKIVObject {
public:
    CString GetName() override { return "TestGangKIV"; }
    using CGangDataKIVObject::SetGangEntry;
};

// An interrogator whose program fills the counts and keeps what reaches OnLinkIn.
class Interrogator : public COfflineMSUInterrogatorKIVObject {
public:
    ~Interrogator() override { StopAdvise(); }
    void SetCounts(std::initializer_list<int> counts)
    {
        m_anTypeCounts.RemoveAll();
        for (int c : counts) m_anTypeCounts.Add(c);
    }
    int OnLinkIn(_CommsStructure* reply) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_replies.push_back(reply->nCommand);
        m_cv.notify_all();
        return 1;
    }
    bool WaitForReplies(size_t n)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return m_replies.size() >= n; });
    }
    std::vector<int> Replies()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_replies;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<int> m_replies;
};

class AutomationThreads : public KivServerTest {};

TEST_F(AutomationThreads, EveryCommandRowSendsItsBlock)
{
    using K = KivCallKind;
    const std::vector<KivField> threePaths = Words(32, {3, 10, 11, 12});
    const std::vector<KivField> twoControls = Words(16, {1, 2, 3, 4, 5, 6});

    const std::vector<KivRow> rows = {
        // advanced automation
        {"advanced attach", "CAdvancedAutoKIVObject", KivCall<CAdvancedAutoKIVObject>([](auto& o) { o.AdvancedAutoAttach(); }),
         KivExpectedBlock(326, 16, 0), K::AttachRead},
        {"advanced command", "CAdvancedAutoKIVObject", KivCall<CAdvancedAutoKIVObject>([](auto& o) {
             for (int i = 0; i < 9; ++i) o.m_anParameters[i] = i + 1;
             o.SendAdvancedAutoCmd();
         }),
         Block(327, 52, 0, Words(16, {1, 2, 3, 4, 5, 6, 7, 8, 9}))},
        // automation data
        {"AD attach, one channel", "AutomationDataKIV",
         KivCall<CAutomationDataKIVObject>([](auto& o) { o.ADAttach(kFilter, 7); }),
         Block(38, 8616, 0, Words(16, {9, 1, 7})), K::AttachRead},
        {"AD attach, no channel", "AutomationDataKIV",
         KivCall<CAutomationDataKIVObject>([](auto& o) { o.ADAttach(kFilter, -1); }),
         Block(38, 8616, 0, Words(16, {9, 0, -1})), K::AttachRead},
        {"AD attach, channel list", "AutomationDataKIV", KivCall<CAutomationDataKIVObject>([](auto& o) {
             CArray<int, int> channels;
             for (int c : {4, 5, 6}) channels.Add(c);
             o.ADAttach(kFilter, channels);
         }),
         Block(38, 8616, 0, Words(16, {9, 3, 4, 5, 6})), K::AttachRead},
        {"AD add 25 events", "AutomationDataKIV", KivCall<CAutomationDataKIVObject>([](auto& o) {
             CAutomationEventArray events;
             FillEvents(events, 25);
             o.AddAutoEvents(events, kWindow);
         }),
         Block(39, 8616, 0x2A, Join({KivI32(8124, 20)}, PackedEvents(20)))},
        {"AD delete", "AutomationDataKIV", KivCall<CAutomationDataKIVObject>([](auto& o) {
             CArray<int, int> indexes;
             for (int i : {5, 6}) indexes.Add(i);
             o.DeleteAutoEvent(indexes);
         }),
         Block(41, 8616, 0, {KivI32(8124, 2), KivI32(8028, 5), KivI32(8032, 6)})},
        {"AD modify: as many as the events", "AutomationDataKIV", KivCall<CAutomationDataKIVObject>([](auto& o) {
             CArray<int, int> indexes;
             for (int i : {5, 6, 7}) indexes.Add(i);
             CAutomationEventArray events;
             FillEvents(events, 2);
             o.ModifyAutoEvents(indexes, events);
         }),
         Block(40, 8616, 0, Join({KivI32(8124, 2), KivI32(8028, 5), KivI32(8032, 6)}, PackedEvents(2)))},
        {"AD goto", "AutomationDataKIV", KivCall<CAutomationDataKIVObject>([](auto& o) { o.GotoEvent(1000, 4, kWindow); }),
         Block(106, 8616, 0x2A, {KivI32(8024, 1000), KivI32(8124, 4)})},
        {"AD browse", "AutomationDataKIV", KivCall<CAutomationDataKIVObject>([](auto& o) { o.BrowseAutomationData(1, 2, kWindow); }),
         Block(122, 8616, 0x2A, {KivI32(8116, 1), KivI32(8124, 2)})},
        {"AD new pass", "AutomationDataKIV", KivCall<CAutomationDataKIVObject>([](auto& o) { o.CreateNewPass(kWindow); }),
         KivExpectedBlock(123, 16, 0x2A)},
        {"AD rollback", "AutomationDataKIV", KivCall<CAutomationDataKIVObject>([](auto& o) { o.Rollback(kWindow); }),
         KivExpectedBlock(324, 16, 0x2A)},
        // single control
        {"control attach", "AutomationKIV", KivCall<CAutomationKIVObject>([](auto& o) { o.SetPPC(1, 2, 3, kWindow); }),
         Block(0, 32, 0x2A, Words(16, {1, 2, 3})), K::AttachRead},
        {"control value", "AutomationKIV", KivCall<CAutomationKIVObject>([](auto& o) { o.SetValue(-5, kWindow); }),
         Block(1, 32, 0x2A, {KivI32(28, -5)})},
        // current pass
        {"pass attach", "CurrentPassKIVObject", KivCall<CCurrentPassKIVObject>([](auto& o) { o.CPAttach(); }),
         KivExpectedBlock(195, 16, 0), K::AttachRead},
        {"pass offset", "CurrentPassKIVObject", KivCall<CCurrentPassKIVObject>([](auto& o) { o.SetOffset(3, 0x10000, kWindow); }),
         Block(27, 24, 0x2A, Words(16, {3, 0x10000}))},
        {"pass undo", "CurrentPassKIVObject", KivCall<CCurrentPassKIVObject>([](auto& o) { o.Undo("undo me", 7, kWindow); }),
         Block(319, 30336, 0x2A, {KivI32(16, 7), KivText(573, "undo me")})},
        // gangs
        {"gang attach", "TestGangKIV", KivCall<TestGang>([](auto& o) { o.GDAttach(); }), KivExpectedBlock(224, 16, 0), K::AttachRead},
        {"gang clear", "TestGangKIV", KivCall<TestGang>([](auto& o) { o.Clear(5); }),
         Block(225, 34, 0, {KivI32(16, 1), KivI32(24, 1), KivI16(32, 5)})},
        {"gang coalesce", "TestGangKIV", KivCall<TestGang>([](auto& o) { o.Coalesce(5, 6, 7); }),
         Block(225, 34, 0, Join({KivI16(32, 5)}, Words(16, {1, 6, 7, 1})))},
        {"gang clear all, none", "TestGangKIV", KivCall<TestGang>([](auto& o) { o.ClearAll(); }),
         Block(225, 32, 0, {KivI32(24, 1)})},
        // glide times
        {"glide attach", "GlideTimesKIV", KivCall<CGlideTimesKIVObject>([](auto& o) { o.GTAttach(); }), KivExpectedBlock(20, 16, 0),
         K::AttachRead},
        {"glide set", "GlideTimesKIV", KivCall<CGlideTimesKIVObject>([](auto& o) {
             const int a[3] = {1, 2, 3}, b[3] = {4, 5, 6};
             o.DoSetGlides(a, b, kWindow);
         }),
         Block(21, 40, 0x2A, Words(16, {1, 2, 3, 4, 5, 6}))},
        // multiple controls
        {"multiple attach", "MultipleAutomationKIV", KivCall<CMultipleAutomationKIVObject>([](auto& o) {
             CArray<StructPPPC, StructPPPC> controls;
             controls.Add({1, 2, 3});
             controls.Add({4, 5, 6});
             o.MACAttach(controls, 9);
         }),
         Block(143, 252, 0, Join({KivI32(220, 2), KivI32(224, 9)}, twoControls)), K::AttachRead},
        {"multiple attach, no controls", "MultipleAutomationKIV",
         KivCall<CMultipleAutomationKIVObject>([](auto& o) { o.MACAttach(9); }), Block(143, 228, 0, {KivI32(224, 9)}), K::AttachRead},
        {"multiple text", "MultipleAutomationKIV", KivCall<CMultipleAutomationKIVObject>([](auto& o) { o.SetControls("1,2,3"); }),
         Block(144, 228, 0, {KivText(16, "1,2,3")})},
        {"multiple controls", "MultipleAutomationKIV", KivCall<CMultipleAutomationKIVObject>([](auto& o) {
             CArray<StructPPPC, StructPPPC> controls;
             controls.Add({1, 2, 3});
             controls.Add({4, 5, 6});
             o.SetControls(controls);
         }),
         Block(144, 252, 0, Join({KivI32(220, 2)}, Words(228, {1, 2, 3, 4, 5, 6})))},
        // safety net, touch sense
        {"safety attach", "SafetyNetKIVObject", KivCall<CSafetyNetKIVObject>([](auto& o) { o.SNAttach(); }),
         KivExpectedBlock(171, 16, 0), K::AttachRead},
        {"safety set", "SafetyNetKIVObject", KivCall<CSafetyNetKIVObject>([](auto& o) { o.SetSafetyNet(10, 20, 99, kWindow); }),
         Block(46, 36, 0x2A, Words(28, {10, 20}))},
        {"touch attach", "TouchSenseKIV", KivCall<CTouchSenseKIVObject>([](auto& o) { o.TSAttach(6); }),
         Block(4, 28, 0, {KivI32(24, 6)}), K::AttachRead},
        // trim
        {"trim attach", "TrimControlKIVObject", KivCall<CTrimControlKIVObject>([](auto& o) { o.TCAttach(); }),
         KivExpectedBlock(273, 16, 0), K::AttachRead},
        {"trim", "TrimControlKIVObject", KivCall<CTrimControlKIVObject>([](auto& o) {
             CArray<int, int> paths;
             for (int p : {10, 11, 12}) paths.Add(p);
             o.DoTrim(-3, 4, paths, 100, 200, 5, 6, kWindow, 7);
         }),
         Block(121, 8504, 0x2A,
               Join({KivI32(16, 100), KivI32(20, 200), KivI16(8482, 4), KivI16(8496, -3), KivI32(8500, 7), KivI32(8052, 5),
                     KivI32(8056, 6)},
                    threePaths))},
        {"trim times", "TrimControlKIVObject", KivCall<CTrimControlKIVObject>([](auto& o) { o.SetTimes(100, 200, 5, 6, kWindow); }),
         Block(121, 8504, 0x2A, {KivI32(16, 100), KivI32(20, 200), KivI32(32, 1), KivI32(36, -1), KivI32(8052, 5), KivI32(8056, 6)})},
        {"trim window", "TrimControlKIVObject", KivCall<CTrimControlKIVObject>([](auto& o) { o.ShowWindow(true, false); }),
         Block(275, 24048, 0, {KivU8(16, 1)})},
        {"trim window, second", "TrimControlKIVObject", KivCall<CTrimControlKIVObject>([](auto& o) { o.ShowWindow(false, true); }),
         Block(275, 24048, 0, {KivU8(17, 1)})},
        {"trim selected, row 1", "TrimControlKIVObject", KivCall<CTrimControlKIVObject>([](auto& o) {
             CArray<int, int> paths;
             for (int p : {7, 8, 9}) paths.Add(p);
             CArray<bool, bool> selected;
             selected.Add(true);
             selected.Add(false);  // path 9 has no flag: 0
             o.SelectedPaths(1, paths, selected);
         }),
         Block(274, 24048, 0,
               {KivI32(20, 3), KivI16(24, 1), KivI16(4026, 7), KivI16(4028, 8), KivI16(4030, 9), KivI32(16028, 1)})},
        {"trim selected, row 0", "TrimControlKIVObject", KivCall<CTrimControlKIVObject>([](auto& o) {
             CArray<int, int> paths;
             paths.Add(7);
             CArray<bool, bool> selected;
             selected.Add(true);
             o.SelectedPaths(0, paths, selected);
         }),
         Block(274, 24048, 0, {KivI32(20, 1), KivI16(26, 7), KivI32(8028, 1)})},
        // mix edits
        {"edit attach", "MixEditKIVObject", KivCall<CMixEditKIVObject>([](auto& o) { o.MEAttach(); }), KivExpectedBlock(194, 16, 0),
         K::AttachNoRead},
        {"edit thin", "MixEditKIVObject",
         KivCall<CMixEditKIVObject>([](auto& o) { o.AutoThin(100, 200, 3, kPaths, kFilter, 4, 5, kWindow); }),
         Block(330, 8504, 0x2A,
               Join({KivI32(16, 100), KivI32(20, 200), KivI32(8036, 9), KivI16(8482, 4), KivI16(8496, 5)}, threePaths))},
        {"edit erase", "MixEditKIVObject", KivCall<CMixEditKIVObject>([](auto& o) {
             o.EraseMix(100, 200, 3, kPaths, kFilter, static_cast<EraseMode>(3), 6, kWindow);
         }),
         Block(201, 8504, 0x2A,
               Join({KivI32(16, 100), KivI32(20, 200), KivI32(8036, 9), KivI32(8040, 3), KivI32(8048, 6)}, threePaths))},
        {"edit copy", "MixEditKIVObject", KivCall<CMixEditKIVObject>([](auto& o) {
             o.CopyMix(1, 2, 3, 4, 3, kPaths, kFilter, static_cast<EraseMode>(5), 6, kWindow);
         }),
         Block(202, 8504, 0x2A, Join({KivI32(8036, 9), KivI32(8040, 5), KivI32(8048, 6)}, Words(16, {1, 2, 3, 4}), threePaths))},
        {"edit conform", "MixEditKIVObject", KivCall<CMixEditKIVObject>([](auto& o) {
             o.ConformMix(static_cast<MixConformMode>(2), 1, 2, 3, 4, kPaths, 3, 5, kWindow);
         }),
         Block(43, 8504, 0x2A, Join({KivI32(8044, 2), KivI32(8048, 4), KivI32(8492, 5)}, Words(16, {1, 2, 3}), threePaths))},
        {"edit merge without save", "MixEditKIVObject", KivCall<CMixEditKIVObject>([](auto& o) { o.SetMergeWithoutSave(kWindow); }),
         KivExpectedBlock(314, 8504, 0x2A)},
        {"edit merge", "MixEditKIVObject", KivCall<CMixEditKIVObject>([](auto& o) {
             o.MergeChannelData("a.mix", "b.mix", kFilter, static_cast<EraseMode>(3), 1, 2, 3, kPaths, 9, kWindow);
         }),
         Block(44, 8504, 0x2A,
               Join({KivText(8080, "a.mix"), KivText(8281, "b.mix"), KivI32(8036, 9), KivI32(8040, 3), KivI32(8048, 9)},
                    Words(16, {1, 2}), threePaths))},
        {"edit import", "MixEditKIVObject", KivCall<CMixEditKIVObject>([](auto& o) {
             o.ImportChannelData("a.mix", "b.mix", kFilter, static_cast<EraseMode>(3), 1, 2, 3, 3, kPaths, 9, kWindow);
         }),
         Block(315, 8504, 0x2A,
               Join({KivText(8080, "a.mix"), KivText(8281, "b.mix"), KivI32(8036, 9), KivI32(8040, 3), KivI32(8048, 9)},
                    Words(16, {1, 2, 3}), threePaths))},
        {"edit isolate", "MixEditKIVObject", KivCall<CMixEditKIVObject>([](auto& o) { o.IsolateMix(1, 2, kPaths, 3, kFilter, kWindow); }),
         Block(45, 8504, 0x2A, Join({KivI32(8036, 9)}, Words(16, {1, 2}), threePaths))},
        {"edit isolate, negative count", "MixEditKIVObject",
         KivCall<CMixEditKIVObject>([](auto& o) { o.IsolateMix(1, 2, kPaths, -3, kFilter, kWindow); }),
         Block(45, 8504, 0x2A, Join({KivI32(8036, 9)}, Words(16, {1, 2})))},
        {"edit isolate, no list", "MixEditKIVObject",
         KivCall<CMixEditKIVObject>([](auto& o) { o.IsolateMix(1, 2, nullptr, 3, kFilter, kWindow); }),
         Block(45, 8504, 0x2A, Join({KivI32(8036, 9)}, Words(16, {1, 2})))},
        {"edit delete", "MixEditKIVObject", KivCall<CMixEditKIVObject>([](auto& o) { o.DeleteMix("a", "b", "c", "d", "e", kWindow); }),
         Block(32, 30320, 0x2A, {KivText(20, "a"), KivText(59, "b"), KivText(98, "c"), KivText(137, "d"), KivText(176, "e")})},
        {"edit rename", "MixEditKIVObject",
         KivCall<CMixEditKIVObject>([](auto& o) { o.RenameMix("a", "b", "c", "d", "e", "f", kWindow); }),
         Block(157, 30320, 0x2A,
               {KivText(20, "a"), KivText(59, "b"), KivText(98, "c"), KivText(137, "d"), KivText(176, "e"), KivText(215, "f")})},
        {"edit rename, long names", "MixEditKIVObject", KivCall<CMixEditKIVObject>([](auto& o) {
             const CString longName(std::string(50, 'x').c_str());
             o.RenameMix(longName, "b", "c", "d", longName, "f", kWindow);
         }),
         Block(157, 30320, 0x2A,
               {KivText(20, std::string(38, 'x')), KivText(59, "b"), KivText(98, "c"), KivText(137, "d"),
                KivText(176, std::string(38, 'x')), KivText(215, "f")})},
        {"edit EDL conform", "MixEditKIVObject",
         KivCall<CMixEditKIVObject>([](auto& o) { o.EDLConformMix("cut.edl", kFilter, true, "mix", 7, kWindow); }),
         Block(42, 8504, 0x2A, {KivI32(8492, 1), KivI32(8036, 9), KivI32(32, 7), KivText(8080, "cut.edl"), KivText(8281, "mix")})},
        {"edit EDL conform, 201-byte names", "MixEditKIVObject", KivCall<CMixEditKIVObject>([](auto& o) {
             const CString longName(std::string(250, 'y').c_str());
             o.EDLConformMix(longName, kFilter, false, longName, 7, kWindow);
         }),
         // bounded copies: 201 bytes each, no zero inside
         Block(42, 8504, 0x2A, {KivI32(8036, 9), KivI32(32, 7), KivText(8080, std::string(402, 'y'))})},
        // mix-pass file, tree, statistics, version
        {"file attach", "MixPassAutomationFileKIV",
         KivCall<CMixPassAutomationFileKIVObject>([](auto& o) { o.MPAFAttach("a", "b", "c", "d"); }),
         Block(156, 72020, 0, {KivText(20, "a"), KivText(59, "b"), KivText(98, "c"), KivText(137, "d")}), K::AttachRead},
        {"tree attach", "NewMixPassTreeKIVObject", KivCall<CNewMixPassTreeKIVObject>([](auto& o) { o.NewMPTAttach(); }),
         KivExpectedBlock(193, 16, 0), K::AttachRead},
        {"tree revision", "NewMixPassTreeKIVObject", KivCall<CNewMixPassTreeKIVObject>([](auto& o) {
             o.LoadRevision("rev", 1, 2, 3, 4, 5, static_cast<LabelCommandType>(6), kWindow);
         }),
         Block(55, 2724, 0x2A, Join({KivText(824, "rev")}, Words(1088, {1, 2, 3, 4, 5, 6})))},
        {"tree new", "NewMixPassTreeKIVObject", KivCall<CNewMixPassTreeKIVObject>([](auto& o) {
             o.NewTree("a", "b", "c", "d", 5, "f", static_cast<LabelCommandType>(6), kWindow);
         }),
         Block(197, 2724, 0x2A,
               {KivText(16, "a"), KivText(217, "b"), KivText(418, "c"), KivText(619, "d"), KivI32(820, 5), KivText(824, "f"),
                KivI32(1108, 6)})},
        {"tree load", "NewMixPassTreeKIVObject", KivCall<CNewMixPassTreeKIVObject>([](auto& o) {
             o.LoadTree("n1", "n2", "n3", "n4", "n5", 1, 2, 3, 4, 5, 6, static_cast<LabelCommandType>(7), 0x99, "f1", "f2", "f3",
                        "f4", "f5", "f6", "f7", "f8", kWindow);
         }),
         Block(196, 2724, 0x2A,
               Join({KivText(16, "n1"), KivText(217, "n2"), KivText(418, "n3"), KivText(619, "n4"), KivText(824, "n5"),
                     KivI32(820, 1), KivText(1116, "f1"), KivText(1317, "f2"), KivText(2322, "f3"), KivText(2121, "f4"),
                     KivText(1518, "f5"), KivText(1719, "f6"), KivText(1920, "f7"), KivText(2523, "f8")},
                    Words(1088, {2, 3, 4, 5, 6, 7, 0x99})))},
        {"tree from desk", "NewMixPassTreeKIVObject", KivCall<CNewMixPassTreeKIVObject>([](auto& o) { o.GetAutoFromDesk(kWindow, 3); }),
         Block(203, 52, 0x2A, {KivI32(28, 3)})},
        {"tree notes", "NewMixPassTreeKIVObject", KivCall<CNewMixPassTreeKIVObject>([](auto& o) {
             CArray<TreeChangesStructure, TreeChangesStructure> changes;
             TreeChangesStructure change{};
             change.nChange = 11;
             std::strcpy(change.szText, "t0");
             std::strcpy(change.szNote, "n0");
             changes.Add(change);
             change.nChange = 12;
             std::memset(change.szText, 'T', sizeof change.szText);  // fills its field: no zero
             std::strcpy(change.szNote, "n1");
             changes.Add(change);
             o.SaveChanges(changes, "notes", 4, kWindow);
         }),
         Block(198, 1024, 0x2A,
               {KivI32(16, 4), KivI32(20, 2), KivText(24, "notes"), KivI32(288, 11), KivText(292, "t0"), KivText(553, "n0"),
                KivI32(656, 12), KivText(660, std::string(260, 'T')), KivText(921, "n1")})},
        {"statistics attach", "MixStatisticsKIVObject", KivCall<CMixStatisticsKIVObject>([](auto& o) { o.MSAttach(); }),
         KivExpectedBlock(172, 16, 0), K::AttachRead},
        {"version attach", "MSUVersionKIVObject ", KivCall<CMSUVersionKIVObject>([](auto& o) { o.MSUVAttach(); }),
         KivExpectedBlock(179, 228, 65535), K::AttachRead},
        // offline interrogator: re-attaching without a read
        {"offline attach", "OfflineMSUInterrogatorKIV", KivCall<COfflineMSUInterrogatorKIVObject>([](auto& o) { o.OMIOAttach(); }),
         KivExpectedBlock(311, 16, 0), K::AttachRead},
        {"offline path", "OfflineMSUInterrogatorKIV",
         KivCall<COfflineMSUInterrogatorKIVObject>([](auto& o) { o.SetPath("c:\\mixes\\a.msu"); }),
         Block(312, 30336, 65535, {KivText(20, "c:\\mixes\\a.msu")}), K::AttachNoRead},
        {"offline data", "OfflineMSUInterrogatorKIV", KivCall<COfflineMSUInterrogatorKIVObject>([](auto& o) { o.RequestData(); }),
         KivExpectedBlock(313, 490320, 65535), K::AttachNoRead},
    };
    KivServerSim& server = StartServer();
    KivCheckRows(server, rows);
    EXPECT_TRUE(boxes.empty());
}

// Lists longer than their block's room: the count written is the number sent and nothing after
// the list moves.
TEST_F(AutomationThreads, ListsStopAtTheirRoom)
{
    KivServerSim& server = StartServer();
    std::vector<int> many(2200);
    for (size_t i = 0; i < many.size(); ++i) many[i] = static_cast<int>(i + 1);
    CArray<int, int> manyArray;
    for (int v : many) manyArray.Add(v);
    auto pathsFrom = [&](std::vector<uint8_t> block, size_t countAt, size_t listAt, int n) {
        std::memcpy(block.data() + countAt, &n, 4);
        std::memcpy(block.data() + listAt, many.data(), 4 * static_cast<size_t>(n));
        return block;
    };

    CAutomationDataKIVObject data;
    data.ADAttach(kFilter, manyArray);
    EXPECT_TRUE(KivBlocksEqual(pathsFrom(Block(38, 8616, 0, {KivI32(16, 9)}), 20, 24, 2148), KivLastBlock(server)));

    CMixEditKIVObject edit;
    edit.MergeChannelData("a.mix", "b.mix", kFilter, static_cast<EraseMode>(3), 1, 2, 2100, many.data(), 9, kWindow);
    EXPECT_TRUE(KivBlocksEqual(pathsFrom(Block(44, 8504, 0x2A,
                                               Join({KivText(8080, "a.mix"), KivText(8281, "b.mix"), KivI32(8036, 9), KivI32(8040, 3),
                                                     KivI32(8048, 9)},
                                                    Words(16, {1, 2}))),
                                         32, 36, 2000),
                               KivLastBlock(server)));

    CTrimControlKIVObject trim;
    trim.DoTrim(-3, 4, manyArray, 100, 200, 5, 6, kWindow, 7);
    EXPECT_TRUE(KivBlocksEqual(pathsFrom(Block(121, 8504, 0x2A,
                                               {KivI32(16, 100), KivI32(20, 200), KivI16(8482, 4), KivI16(8496, -3), KivI32(8500, 7),
                                                KivI32(8052, 5), KivI32(8056, 6)}),
                                         32, 36, 2000),
                               KivLastBlock(server)));

    // Twenty controls on a multiple attach: seventeen, below the count at 220 and the int at 224.
    CArray<StructPPPC, StructPPPC> controls;
    std::vector<KivField> fields = {KivI32(220, 17), KivI32(224, 9)};
    for (int i = 0; i < 20; ++i) {
        controls.Add({i + 1, 100 + i, 200 + i});
        if (i < 17) {
            auto words = Words(16 + 12 * static_cast<size_t>(i), {i + 1, 100 + i, 200 + i});
            fields.insert(fields.end(), words.begin(), words.end());
        }
    }
    CMultipleAutomationKIVObject multiple;
    multiple.MACAttach(controls, 9);
    EXPECT_TRUE(KivBlocksEqual(Block(143, 228 + 12 * 17, 0, fields), KivLastBlock(server)));

    // Selected paths: 2000 at most, rows other than 0 and 1 send nothing.
    CArray<bool, bool> selected;
    trim.SelectedPaths(1, manyArray, selected);
    std::vector<uint8_t> block = KivLastBlock(server);
    ASSERT_EQ(24048u, block.size());
    int32_t count = 0;
    int16_t last = 0;
    std::memcpy(&count, block.data() + 20, 4);
    std::memcpy(&last, block.data() + 26 + 4000 + 2 * 1999, 2);
    EXPECT_EQ(2000, count);
    EXPECT_EQ(2000, last);
    const size_t mark = KivRecordMark(server);
    trim.SelectedPaths(2, manyArray, selected);
    trim.SelectedPaths(-1, manyArray, selected);
    CGlideTimesKIVObject glides;
    glides.DoSetGlides(nullptr, kPaths, kWindow);
    EXPECT_EQ(Calls{}, KivCallsSince(server, mark));
}

TEST_F(AutomationThreads, ControlTripleAndGangs)
{
    KivServerSim& server = StartServer();
    CAutomationKIVObject control;
    control.SetPPC(4, 5, 6, kWindow);
    int a = 0, b = 0, c = 0;
    control.GetPPC(a, b, c, nullptr);
    EXPECT_EQ(std::vector<int>({4, 5, 6}), std::vector<int>({a, b, c}));
    control.SetValue(300, nullptr);
    EXPECT_TRUE(KivBlocksEqual(Block(1, 32, 0, Words(16, {4, 5, 6, 300})), KivLastBlock(server)));

    // Channels 0 to 3 are channel paths, 4 and 5 of kind 12 (all kinds before it empty but these).
    TestGang gang;
    EXPECT_EQ(-1, gang.GetGangEntry(0, 0));
    EXPECT_EQ(-1, gang.GetGangEntry(2000, 0));
    CArray<int, int> map;
    for (int k = 0; k < 14; ++k) map.Add(k == 0 ? 4 : k == 12 ? 2 : 0);
    gang.SetPathMap(map);
    EXPECT_EQ(4, gang.GetOffset(12));
    EXPECT_EQ(12, gang.GetPathType(5));
    EXPECT_EQ(-1, gang.GetPathType(6));
    gang.SetGangEntry(0, 0, 3);
    gang.SetGangEntry(2, 2, 1999);
    gang.SetGangEntry(3, 3, 2000);  // not a valid gang
    gang.SetGangEntry(1, 0, 7);     // not a channel's own entry
    gang.SetGangEntry(5, 5, 8);     // kind 12: counted, not listed
    EXPECT_EQ(3, gang.GetNumberOfGangs());
    gang.ClearAll();
    EXPECT_TRUE(KivBlocksEqual(Block(225, 38, 0, {KivI32(16, 3), KivI32(24, 1), KivI16(32, 3), KivI16(34, 1999)}), KivLastBlock(server)));
    gang.CoalesceAll(6, 7);
    EXPECT_TRUE(KivBlocksEqual(Block(225, 38, 0, {KivI32(16, 3), KivI32(20, 6), KivI32(24, 7), KivI32(28, 1), KivI16(32, 3), KivI16(34, 1999)}),
                               KivLastBlock(server)));
}

TEST_F(AutomationThreads, ActivateFollowsTheLoadMode)
{
    KivServerSim& server = StartServer();
    CCurrentUserRegistryObject registry;
    const char* key = "Software\\VOKDWEN\\Vok Dwen Cantle\\Main";
    struct Case {
        const char* what;
        int stored;  // -1: missing
        int32_t sent;
    };
    for (const Case& c : {Case{"missing", -1, 0}, Case{"0", 0, 1}, Case{"1", 1, 0}}) {
        SCOPED_TRACE(c.what);
        if (c.stored < 0) registry.DeleteValue(key, "Load Mode (Auto)");
        else registry.SetInt(key, "Load Mode (Auto)", c.stored);
        CNewMixPassTreeKIVObject tree;
        tree.Activate(1, 2, 3, 4, 5, 6, 7, 8, kWindow);
        EXPECT_TRUE(KivBlocksEqual(Block(200, 52, 0x2A, Words(16, {1, 2, 3, 4, 5, 6, 7, c.sent, 8})), KivLastBlock(server)));
    }
}

TEST_F(AutomationThreads, PathKindsAndDefaultNames)
{
    StartServer();
    Interrogator offline;
    // channel 48, group 8, main 2, aux 12, listen 2, talkback 1, sel 3, track 24, cue 4, extern 2,
    // film 6, film listen 2, predub master 2, star command 3: numbered channel, track, group,
    // main, aux, cue, listen, talkback, sel, extern, film, film listen, predub, star command.
    offline.SetCounts({48, 8, 2, 12, 2, 1, 3, 24, 4, 2, 6, 2, 2, 3});
    const int offsets[14] = {0, 72, 80, 82, 98, 100, 101, 48, 94, 104, 106, 112, 114, 116};
    for (int t = 0; t < 14; ++t) EXPECT_EQ(offsets[t], offline.GetOffset(t)) << "kind " << t;
    const bool mixMinus = CConsoleRegistryNames::GetConsoleType() == 4;

    struct Case {
        int channel, kind;
        const char* name;
    };
    const Case cases[] = {
        {0, 0, "  1"},    {8, 0, "  9"},     {9, 0, "10"},      {47, 0, "48"},   {48, 7, "TRK1"},  {57, 7, "TR10"},
        {72, 1, mixMinus ? "MM" : "GRP1"},   {80, 2, "MAIN"},   {81, 2, "MAI2"}, {82, 3, "AU 1"},  {93, 3, "AU12"},
        {94, 8, "CUE1"},  {98, 4, "LS1"},    {100, 5, "TBK "},  {101, 6, "SEL1"}, {104, 9, "EXT1"}, {106, 10, "FLM1"},
        {112, 11, "FLS1"}, {114, 12, "PD1"}, {116, 13, "SC1"},  {118, 13, "SC3"}, {119, -1, ""},    {-1, -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channel);
        EXPECT_EQ(c.kind, offline.GetPathType(c.channel));
        CString name("previous");
        offline.GetDefaultName(c.channel, name);
        EXPECT_EQ(CString(c.name), name);
    }
    EXPECT_EQ(CString("PM10"), offline.GetDefaultName(12, 10));
    EXPECT_EQ(CString("S 3 "), offline.GetDefaultName(14, 3));
}

TEST_F(AutomationThreads, ReattachingCommandsReadLaterThroughBusyAndBooting)
{
    std::thread([&] {
        KivServerSim& server = StartServer();
        winport::ManualClock clock;
        winport::ScopedClock useClock(clock);
        Interrogator offline;
        offline.OMIOAttach();

        // The answers arrive later as pushes.
        ASSERT_EQ("ok", server.Control("on 312 push 20 01000000 after 50"));
        ASSERT_EQ("ok", server.Control("on 313 push 20 02000000 after 50"));
        ASSERT_EQ("ok", server.Control("busy 2"));
        size_t mark = KivRecordMark(server);
        offline.SetPath("c:\\mixes\\a.msu");
        EXPECT_EQ((Calls{"unadvise", "block 312", "advise"}), KivCallsSince(server, mark));
        EXPECT_EQ((std::vector<uint32_t>{100, 100}), clock.Sleeps());
        ASSERT_TRUE(offline.WaitForReplies(1));

        ASSERT_EQ("ok", server.Control("bootcount 1"));
        mark = KivRecordMark(server);
        offline.RequestData();
        EXPECT_EQ((Calls{"unadvise", "block 313", "advise"}), KivCallsSince(server, mark));
        EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(313, 490320, 65535), KivLastBlock(server)));
        ASSERT_TRUE(offline.WaitForReplies(2));
        EXPECT_EQ(std::vector<int>({312, 313}), offline.Replies());

        // The mix-edit attach opens its subscription the same way.
        CMixEditKIVObject edit;
        ASSERT_EQ("ok", server.Control("bootcount 1"));
        ASSERT_EQ("ok", server.Control("busy 1"));
        mark = KivRecordMark(server);
        edit.MEAttach();
        EXPECT_EQ((Calls{"block 194", "advise"}), KivCallsSince(server, mark));
        EXPECT_EQ("ok objects=2 advised=2", server.Control("status"));
    }).join();
}

}  // namespace
