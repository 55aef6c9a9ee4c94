// Shutdown requests from the server simulator reach the main window as close requests.
#include <gtest/gtest.h>

#include <thread>

#include "KivServerFixture.h"
#include "RealTimeLoop.h"
#include "app/ClientMonitorReceptacle.h"
#include "base/MicMessages.h"
#include "winport/Window.h"

namespace {

// The replies and the posts arrive on this thread's loop (PumpUntil).
class ClientMonitorReceptacleTest : public KivServerTest {};

TEST_F(ClientMonitorReceptacleTest, CodesOneAndTwoPostOneCloseRequestEach)
{
    KivServerSim& server = StartServer();
    int closeRequests = 0;
    HWND window = winport::CreateMessageWindow("MicTestMain", [&](HWND, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
        if (msg == WM_CLOSE_REQUEST && wp == 0 && lp == 0) ++closeRequests;
        return 0;
    });
    CClientMonitorReceptacle receptacle(window);
    receptacle.CMAttach("mic");
    EXPECT_NE(std::string::npos, server.Records("block").at(0).find("head=c000000000000000e000000000000000"
                                                                  "0000000000000000" "6d69630000000000"));
    struct Row { const char* body; int posts; };
    // Each push is followed by a code-2 marker, so that "nothing posted" is seen once the
    // marker's post has arrived.
    for (Row r : {Row{"02000000", 1}, Row{"01000000", 1}, Row{"03000000", 0}, Row{"00000000", 0}, Row{"ffffffff", 0}}) {
        SCOPED_TRACE(r.body);
        closeRequests = 0;
        ASSERT_EQ("ok 1", server.Control(std::string("push 192 20 ") + r.body));
        ASSERT_EQ("ok 1", server.Control("push 192 20 02000000"));
        ASSERT_TRUE(PumpUntil([&] { return receptacle.IsReady() && closeRequests >= r.posts + 1; }));
        EXPECT_EQ(r.posts + 1, closeRequests);
    }
    // A block too short to hold a code is ignored.
    closeRequests = 0;
    ASSERT_EQ("ok 1", server.Control("pushraw 192 c0000000000000001000000000000000"));
    ASSERT_EQ("ok 1", server.Control("push 192 20 02000000"));
    ASSERT_TRUE(PumpUntil([&] { return closeRequests >= 1; }));
    EXPECT_EQ(1, closeRequests);
    DestroyWindow(window);
}

TEST_F(ClientMonitorReceptacleTest, WithoutAWindowNothingIsPosted)
{
    KivServerSim& server = StartServer();
    CClientMonitorReceptacle receptacle;
    receptacle.CMAttach("mic");
    ASSERT_EQ("ok 1", server.Control("push 192 20 02000000"));
    ASSERT_TRUE(PumpUntil([&] { return receptacle.IsReady() == 1; }));
    EXPECT_EQ(0u, winport::MessageLoop::Current().PendingCount());
}

}  // namespace
