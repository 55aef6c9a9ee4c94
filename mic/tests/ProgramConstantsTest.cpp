#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "PeerProcess.h"
#include "TestEnvironment.h"
#include "base/ProgramConstants.h"

namespace {

TEST(ProgramConstantsTest, TablesAndBoundedLookups)
{
    EXPECT_STREQ("enMEvntNewSocket", GetNamedEventKindName(enMEvntNewSocket));
    EXPECT_STREQ("m_eRecievedChange", GetNamedEventKindName(enRecievedChange));  // stored misspelt
    EXPECT_STREQ("m_eDataReceived", GetNamedEventKindName(enDataReceived));
    for (int kind = 14; kind < 32; ++kind) EXPECT_STREQ("", GetNamedEventKindName(kind)) << kind;
    EXPECT_STREQ("", GetNamedEventKindName(32));
    EXPECT_STREQ("", GetNamedEventKindName(-1));

    EXPECT_STREQ("enHUI_MICPRE_CONTROL", GetHUIKindName(enHUI_MICPRE_CONTROL));
    EXPECT_STREQ("ERROR5", GetHUIKindName(17));
    EXPECT_STREQ("", GetHUIKindName(18));

    EXPECT_STREQ("", GetSurfaceKeyName(5));
    EXPECT_STREQ("Run", GetSurfaceKeyName(6));
    EXPECT_STREQ("", GetSurfaceKeyName(7));

    EXPECT_STREQ("Tessaract", GetIOSystemTypeName(7));
    EXPECT_STREQ("LCRS", GetTrackFormatName(2));
    EXPECT_STREQ("SOFTWARE\\VOKDWEN\\MIDI CONTROL Ulvo", kMidiControlKey);
    EXPECT_STREQ("MicPreControl", kProgramControlName);
    EXPECT_EQ(60, kFixedRect1.bottom);
}

TEST(ProgramConstantsTest, RegisteredMessagesHaveTheSameNumbersInAnotherProgram)
{
    TestEnvironment env;
    RegisterProgramMessages();
    const CRegisteredMessage* messages[] = {&g_msgTaskIconNotify, &g_msgHereAreTheAssx, &g_msgHUIMIDIMessage};
    auto peer = MessagePeer({"register", "msgHUIMIDIMessage", "MsgTaskIconNotify", "HereAreTheAssxMessages"});
    std::vector<std::string> lines;
    for (int i = 0; i < 3; ++i) {
        auto line = peer.Line();
        ASSERT_TRUE(line);
        lines.push_back(*line);
    }
    for (const CRegisteredMessage* m : messages) {
        SCOPED_TRACE(m->GetName());
        EXPECT_GE(m->Get(), 0xC000u);
        char expected[96];
        std::snprintf(expected, sizeof expected, "id %s %X", m->GetName(), m->Get());
        EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end());
    }
    EXPECT_NE(g_msgTaskIconNotify.Get(), g_msgHUIMIDIMessage.Get());
    EXPECT_EQ(static_cast<UINT>(g_msgTaskIconNotify), g_msgTaskIconNotify.Get());
}

}  // namespace
