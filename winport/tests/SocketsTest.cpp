#include <gtest/gtest.h>

#include "winport/Sockets.h"

namespace {

TEST(SocketsTest, StartsAndCleanupsBalance)
{
    const int before = winport::SocketStartCount();
    struct Case {
        WORD asked;
        int result;
        WORD granted;
    };
    const Case cases[] = {
        {MAKEWORD(2, 2), 0, MAKEWORD(2, 2)},
        {MAKEWORD(3, 0), 0, MAKEWORD(2, 2)},
        {MAKEWORD(1, 1), 0, MAKEWORD(1, 1)},
        {MAKEWORD(0, 9), WSAVERNOTSUPPORTED, 0},
    };
    int started = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        WSADATA data{};
        EXPECT_EQ(c.result, WSAStartup(c.asked, &data));
        if (c.result == 0) {
            ++started;
            EXPECT_EQ(c.granted, data.wVersion);
            EXPECT_EQ(MAKEWORD(2, 2), data.wHighVersion);
        }
        EXPECT_EQ(before + started, winport::SocketStartCount());
    }
    for (; started > 0; --started) EXPECT_EQ(0, WSACleanup());
    EXPECT_EQ(before, winport::SocketStartCount());
}

TEST(SocketsTest, CleanupWithoutStartFails)
{
    while (winport::SocketStartCount() > 0) WSACleanup();
    EXPECT_EQ(SOCKET_ERROR, WSACleanup());
    EXPECT_EQ(static_cast<DWORD>(WSANOTINITIALISED), GetLastError());
    EXPECT_EQ(0, winport::SocketStartCount());
}

}  // namespace
