// Every sample EDL of the shared test data, read in place in the dialects that fit it.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "trevanny/EDLReader.h"

namespace {

std::string samplePath(const std::string& name) { return std::string(CONSOLE_TESTDATA_DIR) + "/edl/" + name + ".edl"; }

struct SampleEvent {
    int number;
    CEDLEvent event;
    int timecodes[12];
};

std::vector<SampleEvent> readSample(const std::string& name, int type)
{
    std::vector<SampleEvent> events;
    CEDLReader reader(samplePath(name).c_str(), type);
    EXPECT_TRUE(reader.Open(CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary, nullptr)) << name;
    CTimecodeSettings settings;
    CEDLReelTable reels;
    EXPECT_EQ(5, reader.ReadHeader(settings, reels));
    CSourceDestItem source, destination;
    SampleEvent e{};
    for (;;) {
        delete destination.m_pEvent;  // the reader does not free the previous event
        if (reader.ReadNextEvent(e.timecodes, source, destination) != 1) break;
        e.number = source.m_nEventNumber;
        e.event = *destination.m_pEvent;
        events.push_back(e);
    }
    EXPECT_FALSE(reader.IsDamaged());
    return events;
}

std::string timecode(const int* t) { return std::to_string(t[0]) + ":" + std::to_string(t[1]) + ":" + std::to_string(t[2]) + ":" + std::to_string(t[3]); }

TEST(EDLCorpusTest, EveryEventLineOfEverySample)
{
    struct Sample {
        const char* name;
        size_t events;  // lines with more than four ":", counted by hand
        bool crlf;
    };
    const Sample samples[] = {
        {"otio_25fps", 4, false},
        {"otio_dissolve_test_3", 4, true},
        {"otio_multi_audio", 1, true},
        {"otio_no_spaces_test", 9, false},
        {"pyedl_test", 13, false},
        {"pycmx_ISSUE_19_unusual01", 38, false},
        {"pycmx_ISSUE_14_conform_edl_issue_01", 3, true},
        {"pycmx_cdl_frmc_example01", 1, true},
        {"pycmx_TEST", 148, true},
        {"pycmx_INS4_R1_DX_092117", 466, true},
        {"pycmx_adobe_dai109_test", 3727, true},
        {"edlgenius_cmx3600", 9, false},
        {"edlgenius_12_16_TL01_MUSIC", 588, false},
    };
    for (const Sample& s : samples) {
        std::vector<int> types = {CEDLReader::enCMX340, CEDLReader::enCMX3400, CEDLReader::enAvid};
        if (s.crlf) types.push_back(CEDLReader::enGVG);
        for (int type : types) {
            SCOPED_TRACE(testing::Message() << s.name << " as type " << type);
            EXPECT_EQ(s.events, readSample(s.name, type).size());
        }
    }
}

TEST(EDLCorpusTest, EventsCheckedByHand)
{
    std::vector<SampleEvent> dissolve = readSample("otio_dissolve_test_3", CEDLReader::enCMX3400);
    ASSERT_EQ(4u, dissolve.size());
    const SampleEvent& d = dissolve[2];
    EXPECT_EQ(2, d.number);
    EXPECT_EQ(CString("AX"), d.event.m_strReelName);
    EXPECT_EQ(1, d.event.m_bVideo);
    EXPECT_EQ(0u, d.event.m_dwTrackMask);
    EXPECT_EQ(2, d.event.m_nTransition);
    EXPECT_EQ("1:0:33:22", timecode(d.timecodes));
    EXPECT_EQ("1:0:2:13", timecode(d.timecodes + 4));
    EXPECT_EQ("1:0:3:19", timecode(d.timecodes + 8));

    const SampleEvent a7 = readSample("pycmx_TEST", CEDLReader::enCMX3400)[2];
    EXPECT_EQ(3, a7.number);
    EXPECT_EQ(64u, a7.event.m_dwTrackMask);
    EXPECT_EQ(CString("TC_R1_V6"), a7.event.m_strReelName);
    EXPECT_EQ(1, a7.event.m_nTransition);
    const SampleEvent a7group = readSample("pycmx_TEST", CEDLReader::enCMX340)[2];
    EXPECT_EQ(3, a7group.number);
    EXPECT_EQ(1u, a7group.event.m_dwTrackMask);
    EXPECT_EQ(CString(""), a7group.event.m_strReelName);
    EXPECT_EQ(0, a7group.event.m_nTransition);

    for (const SampleEvent& e : readSample("pycmx_adobe_dai109_test", CEDLReader::enGVG)) {
        if (e.number != 4) continue;
        EXPECT_EQ("0:0:14:6", timecode(e.timecodes + 4));
        EXPECT_EQ("0:0:0:0", timecode(e.timecodes + 8));
        break;
    }
    EXPECT_EQ(10, readSample("pycmx_ISSUE_19_unusual01", CEDLReader::enAvid)[9].number);
}

}  // namespace
