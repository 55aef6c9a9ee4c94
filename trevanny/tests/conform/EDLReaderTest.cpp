#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConsoleTypeFixture.h"
#include "TestEnvironment.h"
#include "conform/EditListFiles.h"
#include "trevanny/EDLReader.h"

namespace {

const UINT kReadFlags = CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary;
const UINT kWriteFlags = CFile::modeCreate | CFile::modeWrite | CFile::shareDenyNone | CFile::typeBinary;

struct ReadEvent {
    int number = 0;
    int timecodes[12] = {};
    CEDLEvent event;
    int sourceStart = 0, sourceLength = 0, destinationStart = 0, destinationLength = 0;
};

// Reads every event of a file as the conform does: ReadHeader, then ReadNextEvent until 0.
struct ReadResult {
    int header = -1;
    bool damaged = false;
    std::vector<ReadEvent> events;
    CTimecodeSettings settings;
};

ReadResult readAll(const std::string& path, int type, CEDLReelTable* reels = nullptr)
{
    ReadResult result;
    CEDLReader reader(path.c_str(), type);
    EXPECT_TRUE(reader.Open(kReadFlags, nullptr));
    CEDLReelTable ownReels;
    result.header = reader.ReadHeader(result.settings, reels ? *reels : ownReels);
    CSourceDestItem source, destination;
    ReadEvent e;
    for (;;) {
        delete destination.m_pEvent;  // the reader does not free the previous event
        if (reader.ReadNextEvent(e.timecodes, source, destination) != 1) break;
        e.number = source.m_nEventNumber;
        e.event = *destination.m_pEvent;
        e.sourceStart = source.m_nStart;
        e.sourceLength = source.m_nLength;
        e.destinationStart = destination.m_nStart;
        e.destinationLength = destination.m_nLength;
        result.events.push_back(e);
    }
    result.damaged = reader.IsDamaged();
    return result;
}

std::string timecode(const int* t) { return std::to_string(t[0]) + ":" + std::to_string(t[1]) + ":" + std::to_string(t[2]) + ":" + std::to_string(t[3]); }

class EDLReaderTest : public ::testing::Test {
protected:
    std::string file(const std::string& bytes, const std::string& name = "list.edl")
    {
        std::string path = m_env.Path(name);
        WriteFileBytes(path, bytes);
        return path;
    }
    TestEnvironment m_env;
};

TEST_F(EDLReaderTest, EventLines)
{
    struct Case {
        const char* line;
        int type;
        int number;
        const char* reel;
        DWORD mask;
        int video, transition;
        const char* sourceIn;
        const char* recordIn;
        const char* recordOut;
    };
    const Case cases[] = {
        {"001  AX  AA/V  C  01:00:00:00 01:00:10:00 10:00:00:00 10:00:10:00", 3, 1, "AX", 3, 1, 1, "1:0:0:0", "10:0:0:0", "10:0:10:0"},
        // A trailing "A3" joins the track column; record out stays the last timecode.
        {"002  BX  V  C  01:00:00:00 01:00:05:00 10:00:10:00 10:00:15:00 A3", 4, 2, "BX", 4, 1, 1, "1:0:0:0", "10:0:10:0", "10:0:15:0"},
        // In group A the "3" is left over: the code fails, no reel and no transition.
        {"002  BX  V  C  01:00:00:00 01:00:05:00 10:00:10:00 10:00:15:00 A3", 3, 2, "", 1, 1, 0, "1:0:0:0", "10:0:10:0", "10:0:15:0"},
        // A trailing code into a track column without V or A becomes the column.
        {"003  CX  C  01:00:00:00 01:00:05:00 10:00:10:00 10:00:15:00 A4", 4, 3, "CX", 8, 0, 1, "1:0:0:0", "10:0:10:0", "10:0:15:0"},
        {"000  R  V  C  01:00:00:00 01:00:00:01 01:00:00:00 01:00:00:01", 4, 0, "R", 0, 1, 1, "1:0:0:0", "1:0:0:0", "1:0:0:1"},
        {"010  R  V  D  01;00;00;10 00:00:00:00 01,00,00,10 01:00:00:00", 4, 10, "R", 0, 1, 2, "1:0:0:10", "1:0:0:10", "1:0:0:0"},
        {"011  R  V  D  01:00:00:00 00:00:00:00 01.00.00.10 01:00:00:00", 4, 11, "R", 0, 1, 2, "1:0:0:0", "1:0:0:10", "1:0:0:0"},
        // A last timecode without ":" counts as a trailing track code and goes.
        {"012  R  V  D  01:00:00:00 00:00:00:00 01:00:00:00 01:00:00:01 01.00.00.10", 4, 12, "R", 0, 1, 2, "1:0:0:0", "1:0:0:0", "1:0:0:1"},
        {"0010  R  V  K  10 x 01:02:03:04 5:6:7:8", 4, 10, "R", 0, 1, 4, "-1:0:0:0", "1:2:3:4", "5:6:7:8"},
        // Tabs separate like blanks; bytes above 0x7F pass.
        {"004\tR\xE9\tA2\tC\t01:00:00:00\t01:00:01:00\t02:00:00:00\t02:00:01:00", 3, 4, "R\xE9", 1, 0, 1, "1:0:0:0", "2:0:0:0", "2:0:1:0"},
        {"005  R  A1  W001 01:00:00:00 01:00:01:00 02:00:00:00 02:00:01:00", 0, 5, "", 0, 0, 0, "1:0:0:0", "2:0:0:0", "2:0:1:0"},
        {"006  R  NONE  C 01:00:00:00 01:00:01:00 02:00:00:00 02:00:01:00", 7, 6, "R", 0, 0, 1, "1:0:0:0", "2:0:0:0", "2:0:1:0"},
        // Five parts: hours from the first, the rest from the end; three parts: no hours.
        {"007  R  V  C  1:2:3:4:5 10:20:30 9:9:9:9 9:9:9:9", 4, 7, "R", 0, 1, 1, "1:3:4:5", "9:9:9:9", "9:9:9:9"},
        {"008  R  V  C  10:20:30 1:1:1:1 x 99999999999999:0:0:0", 4, 8, "R", 0, 1, 1, "0:10:20:30", "-1:0:0:0", "2147483647:0:0:0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ": " << c.line);
        ReadResult r = readAll(file(std::string(c.line) + "\r\n"), c.type);
        EXPECT_EQ(5, r.header);
        ASSERT_EQ(1u, r.events.size());
        const ReadEvent& e = r.events[0];
        EXPECT_EQ(c.number, e.number);
        EXPECT_EQ(CString(c.reel), e.event.m_strReelName);
        EXPECT_EQ(c.mask, e.event.m_dwTrackMask);
        EXPECT_EQ(c.video, e.event.m_bVideo);
        EXPECT_EQ(c.transition, e.event.m_nTransition);
        EXPECT_EQ(c.sourceIn, timecode(e.timecodes));
        EXPECT_EQ(c.recordIn, timecode(e.timecodes + 4));
        EXPECT_EQ(c.recordOut, timecode(e.timecodes + 8));
    }
}

TEST_F(EDLReaderTest, ShortLinesCarryNothingOver)
{
    // The second event line has its colons in too few tokens: nothing is set, and the first
    // event's values are gone.
    ReadResult r = readAll(file("001 AX V C 01:00:00:00 01:00:01:00 02:00:00:00 02:00:01:00\n"
                                "1:2:3:4:5:6 x\n"
                                "1:2:3:4:5:6\n"),
                           4);
    ASSERT_EQ(3u, r.events.size());
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(0, r.events[i].number);
        EXPECT_EQ(CString(""), r.events[i].event.m_strReelName);
        EXPECT_EQ(0u, r.events[i].event.m_dwTrackMask);
        for (int k = 0; k < 12; ++k) EXPECT_EQ(k % 4 == 0 ? -1 : 0, r.events[i].timecodes[k]) << k;
    }
}

TEST_F(EDLReaderTest, CallerFreesThePreviousEventAndTheReaderNeverDoes)
{
    // The calling order of a program written to the reader's contract: delete the previous
    // event (nulling the pointer or not), then read the next one. Each read hands over a new
    // event and frees nothing; the item frees the last one. Under ASan a reader that freed the
    // previous event itself is a double free here.
    CEDLReader reader(file("001 AX V C 01:00:00:00 01:00:01:00 02:00:00:00 02:00:01:00\n"
                           "002 BX V C 01:00:00:00 01:00:01:00 02:00:01:00 02:00:02:00\n"
                           "003 CX V C 01:00:00:00 01:00:01:00 02:00:02:00 02:00:03:00\n")
                          .c_str(),
                      4);
    ASSERT_TRUE(reader.Open(kReadFlags, nullptr));
    CTimecodeSettings settings;
    CEDLReelTable reels;
    ASSERT_EQ(5, reader.ReadHeader(settings, reels));
    int timecodes[12];
    CSourceDestItem source, destination;
    CEDLEvent* kept = nullptr;
    std::vector<std::string> names;
    for (int call = 0;; ++call) {
        if (call == 1) {
            kept = destination.m_pEvent;  // kept elsewhere: the next read must not free it
        } else {
            delete destination.m_pEvent;
            if (call % 2 == 0) destination.m_pEvent = nullptr;
        }
        if (reader.ReadNextEvent(timecodes, source, destination) != 1) break;
        ASSERT_NE(nullptr, destination.m_pEvent);
        names.push_back(destination.m_pEvent->m_strReelName.str());
    }
    EXPECT_EQ((std::vector<std::string>{"AX", "BX", "CX"}), names);
    ASSERT_NE(nullptr, kept);
    EXPECT_EQ(CString("AX"), kept->m_strReelName);
    delete kept;
    // The end of the file still hands over a new, empty event, which the item frees.
    ASSERT_NE(nullptr, destination.m_pEvent);
    EXPECT_EQ(CString(""), destination.m_pEvent->m_strReelName);
}

TEST_F(EDLReaderTest, TrackCodes)
{
    struct Case {
        const char* code;
        int type;
        bool ok;
        DWORD mask;
        int video;
    };
    const Case cases[] = {
        {"AA/V", 3, true, 3, 1}, {"B", 3, true, 1, 1},      {"AUD3", 3, true, 4, 0},  {"AUD4", 2, true, 8, 0},
        {"A2", 3, true, 1, 0},   {"A", 3, true, 1, 0},      {"NONE", 3, true, 0, 0},  {"VNONE", 3, true, 0, 1},
        {"VA3", 3, false, 1, 1}, {"A7", 3, false, 1, 0},    {"A12", 4, true, 3, 0},   {"A7", 4, true, 64, 0},
        {"AA", 4, true, 0, 0},   {"AUD", 6, true, 0, 0},    {"AUD3", 6, true, 4, 0},  {"B", 4, true, 0, 0},
        {"A9", 4, false, 0, 0},  {"A34", 5, true, 12, 0},   {"A1", 5, true, 1, 0},    {"A5", 5, false, 0, 0},
        {"A1", 0, false, 0, 0},  {"none", 7, true, 0, 0},   {"V", 1, true, 0, 1},     {"", 4, true, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ": " << c.code);
        CEDLEvent event;
        EXPECT_EQ(c.ok, CEDLReader::ParseTrackCode(c.code, c.type, &event));
        EXPECT_EQ(c.mask, event.m_dwTrackMask);
        EXPECT_EQ(c.video, event.m_bVideo);
    }
    EXPECT_FALSE(CEDLReader::ParseTrackCode("V", 4, nullptr));
}

TEST_F(EDLReaderTest, CarriageReturnLinesOfTypeSix)
{
    // CR-only ends, one CR LF, and a last line (an event) without any line end.
    std::string bytes = "TITLE: cr\r"
                        "001 AX V C 01:00:00:00 01:00:01:00 02:00:00:00 02:00:01:00\r\n"
                        "\r"
                        "002 BX A1 C 01:00:00:00 01:00:01:00 02:00:01:00 02:00:02:00\r"
                        "* comment 1:2:3\r"
                        "003 CX A2 D 01:00:00:00 01:00:01:00 02:00:02:00 02:00:03:00";
    ReadResult r = readAll(file(bytes), 6);
    EXPECT_EQ(5, r.header);
    ASSERT_EQ(3u, r.events.size());
    EXPECT_EQ(CString("AX"), r.events[0].event.m_strReelName);
    EXPECT_EQ(CString("BX"), r.events[1].event.m_strReelName);
    EXPECT_EQ(3, r.events[2].number);
    EXPECT_EQ(2u, r.events[2].event.m_dwTrackMask);
    EXPECT_EQ("2:0:3:0", timecode(r.events[2].timecodes + 8));
    // Read as type 4 the file has two lines, up to and after its one line feed.
    EXPECT_EQ(2u, readAll(file(bytes), 4).events.size());
}

TEST_F(EDLReaderTest, FilesWithoutEvents)
{
    EXPECT_EQ(16, readAll(file(""), 4).header);
    EXPECT_EQ(16, readAll(file("TITLE: nothing\n\nFCM: NON-DROP FRAME\n"), 4).header);
    EXPECT_EQ(16, readAll(file("VOK"), 6).header);
    CEDLReader reader(m_env.Path("missing.edl").c_str(), 4);
    CFileException error;
    EXPECT_FALSE(reader.Open(kReadFlags, &error));
    EXPECT_EQ(CFileException::fileNotFound, error.m_cause);
}

CEDLEvent makeEvent(const char* reel, DWORD mask, int video, int transition, int reelIndex)
{
    CEDLEvent e;
    e.m_strReelName = reel;
    e.m_dwTrackMask = mask;
    e.m_bVideo = static_cast<BYTE>(video);
    e.m_nTransition = transition;
    e.m_nReelIndex = reelIndex;
    return e;
}

// Writes a stored list with the given pairs through the writer.
void writeStored(const std::string& path, const CTimecodeSettings& settings, const CEDLReelTable& reels,
                 const std::vector<std::pair<CSourceDestItem, CSourceDestItem>>& pairs)
{
    CEDLReader writer(path.c_str(), CEDLReader::enGeneric);
    ASSERT_TRUE(writer.Open(kWriteFlags, nullptr));
    writer.WriteHeader(settings, reels);
    for (const auto& [source, destination] : pairs) writer.WriteStoredEvent(source, destination);
}

std::pair<CSourceDestItem, CSourceDestItem> pair(int sourceStart, int destinationStart, int length, const CEDLEvent* event)
{
    CSourceDestItem source, destination;
    source.m_nStart = sourceStart;
    source.m_nLength = 999;  // the stored layout keeps one length: the destination's
    destination.m_nStart = destinationStart;
    destination.m_nLength = length;
    if (event) destination.SetEvent(new CEDLEvent(*event));
    return {source, destination};
}

TEST_F(EDLReaderTest, StoredListsRoundTrip)
{
    CTimecodeSettings settings;
    settings.m_nTimecodeRate = 2;
    settings.m_nSampleRate = 44100;
    settings.m_nFramesPerSec = 25;
    settings.m_nFramesPerFoot = 20;
    settings.m_nFilmEquivalence = -7;
    settings.m_nFeetAndFrames = 1;
    settings.m_nCodeConvert = 29;
    settings.m_nFFConvert = 31;
    CEDLReelTable reels;
    reels.m_nValues[0] = 9;
    reels.Add("Reel\xE9", 0x80000001u, 1);
    reels.Add("A", 0x4, 0);
    reels.GetAt(1).m_strText2 = "second";
    reels.GetAt(1).m_nValue1 = 77;
    reels.GetAt(1).m_bFlag1 = 0;
    CEDLEvent a = makeEvent("A", 4, 0, 0x102, 0);
    a.m_strNote2 = "dropped on reading";
    CEDLEvent b = makeEvent("", 0, 1, 4, -1);
    std::string path = m_env.Path("stored.edl");
    writeStored(path, settings, reels, {pair(10, 20, 30, &a), pair(-5, 0, 2147483647, &b), pair(1, 2, 3, nullptr)});

    CEDLReelTable readReels;
    ReadResult r = readAll(path, CEDLReader::enCMX3400, &readReels);
    EXPECT_EQ(1, r.header);
    EXPECT_FALSE(r.damaged);
    EXPECT_EQ(2, r.settings.m_nTimecodeRate);
    EXPECT_EQ(44100, r.settings.m_nSampleRate);
    EXPECT_EQ(25, r.settings.m_nFramesPerSec);
    EXPECT_EQ(20, r.settings.m_nFramesPerFoot);
    EXPECT_EQ(-7, r.settings.m_nFilmEquivalence);
    EXPECT_EQ(1, r.settings.m_nFeetAndFrames);
    EXPECT_EQ(29, r.settings.m_nCodeConvert);
    EXPECT_EQ(31, r.settings.m_nFFConvert);
    EXPECT_EQ(9, readReels.m_nValues[0]);
    ASSERT_EQ(2, readReels.GetSize());
    EXPECT_EQ(CString("A"), readReels.GetName(0));
    EXPECT_EQ(CString("Reel\xE9"), readReels.GetName(1));
    const CEDLReelRecord& reel = readReels.GetAt(1);
    EXPECT_EQ(CString("second"), reel.m_strText2);
    EXPECT_EQ(0, reel.m_nValue1);  // stored ints and flags are not kept
    EXPECT_EQ(1, reel.m_bFlag1);
    for (int t = 0; t < CEDLReelRecord::kTrackEntries; ++t) {
        EXPECT_EQ(t == 0 || t == 1 || t == 32 ? 1 : 0, reel.m_Tracks[t].m_bUsed) << t;
        EXPECT_EQ(1, reel.m_Tracks[t].m_bFlag);
    }

    ASSERT_EQ(3u, r.events.size());
    EXPECT_EQ(10, r.events[0].sourceStart);
    EXPECT_EQ(20, r.events[0].destinationStart);
    EXPECT_EQ(30, r.events[0].destinationLength);
    EXPECT_EQ(30, r.events[0].sourceLength);
    EXPECT_EQ(2, r.events[0].event.m_nTransition);  // only the low byte carries
    EXPECT_EQ(4u, r.events[0].event.m_dwTrackMask);
    EXPECT_EQ(CString("A"), r.events[0].event.m_strReelName);
    EXPECT_EQ(0, r.events[0].event.m_nReelIndex);
    EXPECT_EQ(CString(""), r.events[0].event.m_strNote2);
    EXPECT_EQ(-5, r.events[1].sourceStart);
    EXPECT_EQ(2147483647, r.events[1].sourceLength);
    EXPECT_EQ(CString("..."), r.events[1].event.m_strReelName);  // an empty reel name
    EXPECT_EQ(1, r.events[1].event.m_bVideo);
    EXPECT_EQ(-1, r.events[1].event.m_nReelIndex);
    EXPECT_EQ(CString("..."), r.events[2].event.m_strReelName);
}

// An older list written by hand: three texts per event and no reel index.
std::string oldHeaderList()
{
    StoredBytes b;
    b.raw("VOK HEADER");
    for (int v : {1, 48000, 24, 16, 0, 0, 30, 30}) b.i32(v);
    for (int v : {0, 0, 1, 1, 1}) b.i32(v);
    b.i32(1).text("R1").text("").i32(5).i32(6).u8(0).u8(0).i32(2);
    b.u8(1).u8(1).u8(0).i32(0).u8(0).u8(1).u8(0).i32(0);
    b.i32(100).i32(200).i32(50).i32(2).u8(1).i32(3).text("first note").text("R1").text("other");
    b.i32(150).i32(250).i32(25).i32(1).u8(0).i32(0).text("").text("").text("");
    return b.str();
}

TEST_F(EDLReaderTest, OlderHeaderByHand)
{
    CEDLReelTable reels;
    ReadResult r = readAll(file(oldHeaderList()), 4, &reels);
    EXPECT_EQ(1, r.header);
    EXPECT_FALSE(r.damaged);
    ASSERT_EQ(1, reels.GetSize());
    EXPECT_EQ(1, reels.GetAt(0).m_Tracks[0].m_bUsed);
    EXPECT_EQ(0, reels.GetAt(0).m_Tracks[1].m_bUsed);
    ASSERT_EQ(2u, r.events.size());
    EXPECT_EQ(CString("first note"), r.events[0].event.m_strNote1);
    EXPECT_EQ(CString("R1"), r.events[0].event.m_strReelName);
    EXPECT_EQ(-1, r.events[0].event.m_nReelIndex);
    EXPECT_EQ(3u, r.events[0].event.m_dwTrackMask);
    EXPECT_EQ(50, r.events[0].sourceLength);
    EXPECT_EQ(CString("..."), r.events[1].event.m_strReelName);
    CEDLReader reader(m_env.Path("list.edl").c_str(), 4);
    ASSERT_TRUE(reader.Open(kReadFlags, nullptr));
    CTimecodeSettings s;
    EXPECT_EQ(1, reader.ReadHeader(s, reels));
    EXPECT_TRUE(reader.IsOldHeader());
    EXPECT_EQ(CEDLReader::enGeneric, reader.GetEDLType());
}

std::string newHeader(int reelCount, const std::string& reelBytes)
{
    StoredBytes b;
    b.raw("VOK HDRNEW");
    for (int v : {1, 48000, 24, 16, 0, 0, 30, 30, 0, 0, 1, 1, 1}) b.i32(v);
    b.i32(reelCount).raw(reelBytes);
    return b.str();
}

std::string storedEvent(int nameLength, const std::string& name)
{
    return StoredBytes().i32(1).i32(2).i32(3).i32(1).u8(0).i32(1).i32(nameLength).raw(name).text("").i32(-1).str();
}

TEST_F(EDLReaderTest, DamagedStoredListsEndCleanly)
{
    std::string reel = StoredBytes().text("R").text("").i32(0).i32(0).u8(1).u8(1).i32(0).str();
    std::string good = newHeader(1, reel) + storedEvent(1, "R");
    struct Case {
        const char* what;
        std::string bytes;
        bool headerWhole;
        size_t events;
    };
    const std::vector<Case> cases = {
        {"whole", good + storedEvent(1, "S"), true, 2},
        {"settings cut short", good.substr(0, 30), false, 0},
        {"reel count past the end", newHeader(1000000, reel), false, 0},
        {"negative reel count", newHeader(-1, reel), false, 0},
        {"negative name length", newHeader(1, StoredBytes().i32(-1).str() + reel.substr(4)), false, 0},
        {"name length past the end", newHeader(1, StoredBytes().i32(0x7FFFFFFF).str() + reel.substr(4)), false, 0},
        {"34 track entries", newHeader(1, reel.substr(0, reel.size() - 4) + StoredBytes().i32(34).str() + std::string(34 * 7, '\0')), false, 0},
        {"track entries past the end", newHeader(1, reel.substr(0, reel.size() - 4) + StoredBytes().i32(3).str() + std::string(14, '\0')), false, 0},
        {"event cut in its first int", good + std::string(3, '\0'), true, 1},
        {"event cut after the mask", good + storedEvent(1, "S").substr(0, 21), true, 1},
        {"event without its reel index", good + storedEvent(1, "S").substr(0, 30), true, 1},
        {"reel name length past the end", good + storedEvent(1000, "S"), true, 1},
        {"negative reel name length", good + storedEvent(-2, "S"), true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CEDLReelTable reels;
        reels.Add("before", 0, 0);
        ReadResult r = readAll(file(c.bytes), 4, &reels);
        EXPECT_EQ(1, r.header);
        EXPECT_EQ(c.events, r.events.size());
        EXPECT_EQ(c.events != 2, r.damaged);
        // A damaged table leaves the table as it was; a whole one replaces it.
        EXPECT_EQ(CString(c.headerWhole ? "R" : "before"), reels.GetName(0));
    }
}

class GetSourceDestItemsTest : public ConsoleTypeFixture {};

TEST_F(GetSourceDestItemsTest, RawAndNormalisedPairs)
{
    useConsoleType(3);  // hundredths of a second; 24 frames a second by default
    CEDLReelTable reels;
    CEDLEvent e = makeEvent("R", 1, 0, 1, 0);
    std::string path = m_env.Path("pairs.edl");
    writeStored(path, CTimecodeSettings(), reels, {pair(24, 48, 25, &e), pair(0, 12, 1, &e)});

    CSourceDestItemArray items;
    items.Add(CSourceDestItem());
    GetSourceDestItems(path.c_str(), items, true);
    ASSERT_EQ(5, items.GetSize());
    EXPECT_EQ(24, items[1].m_nStart);
    EXPECT_EQ(25, items[1].m_nLength);
    EXPECT_EQ(48, items[2].m_nStart);
    ASSERT_NE(nullptr, items[2].m_pEvent);
    EXPECT_EQ(CString("R"), items[2].m_pEvent->m_strReelName);
    EXPECT_EQ(nullptr, items[1].m_pEvent);

    CSourceDestItemArray normalised;
    GetSourceDestItems(path.c_str(), normalised, false);
    ASSERT_EQ(4, normalised.GetSize());
    EXPECT_EQ(100, normalised[0].m_nStart);   // 24 frames: one second
    EXPECT_EQ(200, normalised[1].m_nStart);
    EXPECT_EQ(104, normalised[1].m_nLength);  // 25 frames: 104.17
    EXPECT_EQ(104, normalised[0].m_nLength);
    EXPECT_EQ(50, normalised[3].m_nStart);
    EXPECT_EQ(4, normalised[3].m_nLength);    // 4.17
}

TEST_F(GetSourceDestItemsTest, TextDamagedAndMissingFilesGiveNothing)
{
    std::string text = m_env.Path("text.edl");
    WriteFileBytes(text, "001 AX V C 01:00:00:00 01:00:01:00 02:00:00:00 02:00:01:00\n");
    std::string damaged = m_env.Path("damaged.edl");
    WriteFileBytes(damaged, newHeader(0, "") + storedEvent(1, "R") + storedEvent(50, "R"));
    for (const std::string& path : {text, damaged, m_env.Path("missing.edl")}) {
        SCOPED_TRACE(path);
        CSourceDestItemArray items;
        items.Add(CSourceDestItem());
        GetSourceDestItems(path.c_str(), items, true);
        EXPECT_EQ(1, items.GetSize());
    }
}

}  // namespace
