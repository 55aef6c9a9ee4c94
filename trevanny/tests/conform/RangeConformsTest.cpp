#include <gtest/gtest.h>

#include <filesystem>

#include "conform/ConformFixture.h"
#include "winport/RegistryObject.h"

namespace {

using namespace conformtest;

const CString kPass = "c:\\mixes\\pass.aut";

// Path 1 moves every 7 units, path 2 every 11, from 1 to 700; both also at 5000.
std::vector<CAutomationEvent> Mix()
{
    std::vector<CAutomationEvent> events;
    for (int t = 1; t <= 700; ++t) {
        if (t % 7 == 0) events.push_back(Ev(t, 1, 0, 0, t));
        if (t % 11 == 0) events.push_back(Ev(t, 2, 0, 1, -t));
    }
    events.push_back(Ev(5000, 1, 0, 0, 1));
    events.push_back(Ev(5000, 2, 0, 1, 2));
    return events;
}

CSourceDestItem Item(int start, int length)
{
    CSourceDestItem item;
    item.m_nStart = start;
    item.m_nLength = length;
    return item;
}

// One stretch of the result: output (from, to) holds the source's (from + shift, to + shift),
// and the state at `from` is the source's at from + shift. An empty stretch holds no events.
struct Stretch {
    int from;
    int to;
    int shift;
    bool empty = false;
};

class RangeConformsTest : public ConformFixture {
protected:
    void SetUp() override
    {
        ConformFixture::SetUp();
        WritePass(kPass, Mix());
        Fill(m_source, Mix());
        m_target.SetPathName(kPass);
        Fill(m_target, {Ev(3, 9, 0, 0, 1)});  // not the file's: the source is the file
    }

    void expectStretches(const std::vector<Stretch>& stretches)
    {
        for (const Stretch& s : stretches) {
            SCOPED_TRACE(testing::Message() << "stretch " << s.from << " to " << s.to);
            if (s.empty) {
                EXPECT_TRUE(Between(m_target, s.from, s.to).empty());
                continue;
            }
            EXPECT_EQ(Between(m_source, s.from + s.shift, s.to + s.shift, -s.shift), Between(m_target, s.from, s.to));
            if (s.from > 0) {
                EXPECT_TRUE(StateAt(m_target, s.from) == StateAt(m_source, s.from + s.shift));
            }
        }
    }

    CAutomationEventArray m_source;
    CAutomationPackage m_target;
};

TEST_F(RangeConformsTest, CopyOverALaterPlace)
{
    CSourceDestItem source = Item(100, 50), destination = Item(400, 10);
    ASSERT_EQ(enConformDone, CopyConformSorelStyle(&m_target, &source, &destination));
    expectStretches({{0, 400, 0}, {400, 450, -300}, {450, 6000, 0}});
}

TEST_F(RangeConformsTest, CopyOverAnEarlierPlaceTakesTheDestinationsLength)
{
    CSourceDestItem source = Item(300, 50), destination = Item(100, 80);
    ASSERT_EQ(enConformDone, CopyConformSorelStyle(&m_target, &source, &destination));
    expectStretches({{0, 100, 0}, {100, 180, 200}, {180, 6000, 0}});
}

TEST_F(RangeConformsTest, CopyToTheStartOfTheTimeline)
{
    CSourceDestItem source = Item(300, 50), destination = Item(0, 50);
    ASSERT_EQ(enConformDone, CopyConformSorelStyle(&m_target, &source, &destination));
    expectStretches({{0, 50, 300}, {50, 6000, 0}});
}

TEST_F(RangeConformsTest, MoveBothWaysOverlappingItsOldPlace)
{
    CSourceDestItem source = Item(100, 200), later = Item(200, 0);
    ASSERT_EQ(enConformDone, MoveConformSorelStyle(&m_target, &source, &later));
    expectStretches({{0, 100, 0}, {100, 200, 0, true}, {200, 400, -100}, {400, 6000, 0}});

    Fill(m_target, {});
    source = Item(200, 200);
    CSourceDestItem earlier = Item(100, 0);
    ASSERT_EQ(enConformDone, MoveConformSorelStyle(&m_target, &source, &earlier));
    expectStretches({{0, 100, 0}, {100, 300, 100}, {300, 400, 0, true}, {400, 6000, 0}});
}

TEST_F(RangeConformsTest, MoveApartLeavesTheOldPlaceEmpty)
{
    CSourceDestItem source = Item(100, 50), destination = Item(500, 0);
    ASSERT_EQ(enConformDone, MoveConformSorelStyle(&m_target, &source, &destination));
    expectStretches({{0, 100, 0}, {100, 150, 0, true}, {150, 500, 0}, {500, 550, -400}, {550, 6000, 0}});
}

TEST_F(RangeConformsTest, DeleteLeavesTheRangeEmpty)
{
    CSourceDestItem range = Item(100, 100);
    ASSERT_EQ(enConformDone, DeleteConformSorelStyle(&m_target, &range));
    expectStretches({{0, 100, 0}, {100, 200, 0, true}, {200, 6000, 0}});
}

TEST_F(RangeConformsTest, EndOfTheTimelineByFrameRate)
{
    // Quarter frames on this console: four units a frame.
    EXPECT_EQ(4 * 2073600, FramesIn24Hours(24));
    EXPECT_EQ(4 * 2160000, FramesIn24Hours(25));
    EXPECT_EQ(4 * 2592000, FramesIn24Hours(30));
    EXPECT_EQ(FramesIn24Hours(30), FramesIn24Hours(29));

    CCurrentUserRegistryObject user;
    ASSERT_TRUE(user.SetString("SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Timecode", "CantleTimecodeCurrentFramesPerSec", "29"));
    CConformEngine engine;
    CEDLReelTable reels;
    CString stem;
    int rate = 0;
    CConformEngine::SetupSorelReel(&m_target, CTimecodeSettings(), reels, rate, stem);
    EXPECT_EQ(29, rate);
    EXPECT_EQ(CString("c:\\mixes\\pass"), stem);
    ASSERT_EQ(1, reels.GetSize());
    EXPECT_EQ(stem, reels.GetAt(0).m_strText2);
}

TEST_F(RangeConformsTest, ShortPathTakesTheSourceFromThePackagesOwnFile)
{
    // A path of under four characters gives an empty stem: no reel names a file, and the own
    // file (missing here) is the source.
    m_target.SetPathName("abc");
    const std::string before = Bytes(m_target);
    CSourceDestItem range = Item(100, 100);
    EXPECT_EQ(enConformNoSource, DeleteConformSorelStyle(&m_target, &range));
    EXPECT_EQ(before, Bytes(m_target));
}

TEST_F(RangeConformsTest, PairFileThatCannotBeWrittenThrows)
{
    const std::string before = Bytes(m_target);
    std::filesystem::create_directories(winport::HostPath(CCutListFile::TempEDLPath()) + "/in-the-way");
    CSourceDestItem range = Item(100, 100);
    try {
        DeleteConformSorelStyle(&m_target, &range);
        ADD_FAILURE() << "no exception";
    } catch (CFileException* e) {
        EXPECT_NE(0, e->m_lOsError);
        e->Delete();
    }
    EXPECT_EQ(before, Bytes(m_target));
}

}  // namespace
