// pre-sim as a background job: its standard input at end of file, in a process group of its
// own, it still serves the units on its terminal until a signal ends it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "TestEnvironment.h"
#include "ToolRun.h"

TEST(PreSim, ServesInTheBackgroundWithItsInputAtEnd)
{
    for (bool commands : {false, true}) {
        SCOPED_TRACE(commands ? "with --commands" : "without --commands");
        TestEnvironment env;
        const std::string link = env.Path("com1");
        std::vector<std::string> args = {"--units", "3", "--link", link, "--quiet"};
        if (commands) args.push_back("--commands");
        ToolRun sim("tools/pre-sim/pre-sim", args);
        ASSERT_EQ(0u, sim.Line().rfind("pty /dev/pts/", 0)) << sim.Errors();

        int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
        // A poll of unit 0 (address 0x81, command 0x01) is acknowledged with 0x44.
        const unsigned char poll[] = {0x81, 0x01};
        ASSERT_EQ(2, ::write(fd, poll, sizeof poll));
        pollfd p{fd, POLLIN, 0};
        unsigned char reply = 0;
        ASSERT_EQ(1, ::poll(&p, 1, 10000)) << "no answer; pre-sim says: " << sim.Errors();
        EXPECT_EQ(1, ::read(fd, &reply, 1));
        EXPECT_EQ(0x44, reply);
        ::close(fd);

        sim.Signal(SIGTERM);
        EXPECT_EQ(0, sim.Finish());
        EXPECT_FALSE(std::filesystem::is_symlink(link)) << "the link outlives pre-sim";
    }
}
