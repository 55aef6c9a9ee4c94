// The serial port against pre-sim in another process, over a real pseudo-terminal: raw mode,
// the echo probe, replies handed over, the half-duplex echo, hang-up and reopening.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <termios.h>
#include <unistd.h>

#include "ProgramProcess.h"
#include "link/SerialPort.h"

namespace {

// Collects the replies the monitor thread hands over.
class Replies {
public:
    CSerialPort::ReplyHandler Handler()
    {
        return [this](int, uint32_t transaction) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_items.push_back(transaction);
            m_cv.notify_all();
        };
    }
    /// The next reply's transaction number, or 0 when none came in time.
    uint32_t Wait(int timeoutMs = 2000)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !m_items.empty(); })) return 0;
        uint32_t t = m_items.front();
        m_items.pop_front();
        return t;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<uint32_t> m_items;
};

// Opens a transaction for a message and queues it.
uint32_t send(PreLink& link, CSerialPort& port, const BYTE* message, int pending, int state = kRxAck)
{
    uint32_t t = link.Begin(message, pre::MessageLength(message), kLinkAwaiting, state, pending);
    port.WriteToPort(message);
    return t;
}

void pointComAt(int port, const std::string& path)
{
    ::setenv(("WINPORT_COM" + std::to_string(port)).c_str(), path.c_str(), 1);
}

bool waitFailed(PreLink& link)
{
    for (int i = 0; i < 200; ++i) {
        if (link.Peek().inProgress == kLinkFailed) return true;
        ::usleep(10000);
    }
    return false;
}

}  // namespace

TEST(SerialPortThreads, RawModeCarriesFlowControlBytes)
{
    PreSimProcess sim({"--units", "1"});
    ASSERT_FALSE(sim.Pty().empty());
    // Make the terminal cooked, as a fresh one is: 0x11 and 0x13 would be taken as XON/XOFF.
    {
        int fd = ::open(sim.Pty().c_str(), O_RDWR | O_NOCTTY);
        termios t{};
        ::tcgetattr(fd, &t);
        t.c_lflag |= ICANON | ECHO | ISIG;
        t.c_iflag |= IXON | ICRNL;
        ::tcsetattr(fd, TCSANOW, &t);
        ::close(fd);
    }
    pointComAt(3, sim.Pty());
    PreLink link;
    link.SetHalfDuplex(false);
    CSerialPort port(link);
    Replies replies;
    port.SetReplyHandler(replies.Handler());
    ASSERT_TRUE(port.OpenPort(nullptr, 3)) << port.GetLastErrorText();
    {
        int fd = ::open(sim.Pty().c_str(), O_RDWR | O_NOCTTY);
        termios t{};
        ::tcgetattr(fd, &t);
        ::close(fd);
        EXPECT_EQ(0u, t.c_lflag & (ICANON | ECHO | ISIG));
        EXPECT_EQ(0u, t.c_iflag & (IXON | IXOFF | ICRNL));
    }
    ASSERT_TRUE(port.StartMonitor());

    // 0x11 with a 0x13 in it, then a 0x13 message.
    const BYTE chan[] = {0x81, 0x11, 0x01, 0x13, 0x7F, 0x13, 0xFF};
    const BYTE path[] = {0x81, 0x13, 0x02, 0x11, 0x13, 0xFF};
    for (const BYTE* m : {chan, path}) {
        uint32_t t = send(link, port, m, m[1]);
        ASSERT_EQ(t, replies.Wait());
        EXPECT_EQ(pre::kAck, link.TakeOutcome().replyCode);
    }
    std::string first = sim.WaitFor("frame", 2000, "nothing");
    while (!first.empty() && first.find(" -1 AA ") != std::string::npos) first = sim.WaitFor("frame", 2000);
    EXPECT_NE(std::string::npos, first.find(" 0 81 11 01 13 7F 13 -> 44")) << first;
    std::string second = sim.WaitFor("frame", 2000);
    EXPECT_NE(std::string::npos, second.find(" 0 81 13 02 11 13 -> 44")) << second;
    port.ClosePort();
}

TEST(SerialPortThreads, EchoingLineIsRefused)
{
    PreSimProcess sim({"--loopback"});
    ASSERT_FALSE(sim.Pty().empty());
    pointComAt(3, sim.Pty());
    PreLink link;
    link.SetHalfDuplex(false);
    CSerialPort port(link);
    EXPECT_FALSE(port.OpenPort(nullptr, 3));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(CSerialPort::IsPortAvailable(3));
}

TEST(SerialPortThreads, HalfDuplexEchoDoesNotReachTheReplies)
{
    PreSimProcess sim({"--units", "2", "--echo"});
    ASSERT_FALSE(sim.Pty().empty());
    pointComAt(1, sim.Pty());
    PreLink link;
    link.SetHalfDuplex(true);
    CSerialPort port(link);
    Replies replies;
    port.SetReplyHandler(replies.Handler());
    ASSERT_TRUE(port.OpenPort(nullptr, 1)) << port.GetLastErrorText();
    ASSERT_TRUE(port.StartMonitor());
    // The echo of a 6-byte message holds 0x44 and 0x05 bytes: none of them may count.
    const BYTE chan[] = {0x82, 0x11, 0x00, 0x44, 0x05, 0x49, 0xFF};
    uint32_t t = send(link, port, chan, 0x11);
    ASSERT_EQ(t, replies.Wait());
    PreLinkSnapshot s = link.TakeOutcome();
    EXPECT_EQ(pre::kAck, s.replyCode);
    EXPECT_EQ(0u, replies.Wait(100)) << "one reply only";
    port.ClosePort();
}

TEST(SerialPortThreads, HangUpFailsTheLinkAndReopenWorks)
{
    PreSimProcess sim({"--units", "1"});
    ASSERT_FALSE(sim.Pty().empty());
    pointComAt(3, sim.Pty());
    PreLink link;
    link.SetHalfDuplex(false);
    CSerialPort port(link);
    Replies replies;
    port.SetReplyHandler(replies.Handler());
    ASSERT_TRUE(port.OpenPort(nullptr, 3));
    ASSERT_TRUE(port.StartMonitor());
    BYTE poll[pre::kMaxMessage];
    pre::BuildPoll(poll, 0, false);
    uint32_t first = send(link, port, poll, 1);
    ASSERT_EQ(first, replies.Wait());

    ASSERT_TRUE(sim.Command("hangup"));
    EXPECT_TRUE(waitFailed(link));
    EXPECT_FALSE(port.GetLastErrorText().empty());

    sim.Send("reopen");
    std::string line = sim.WaitFor("pty ", 5000);
    ASSERT_FALSE(line.empty());
    pointComAt(3, line.substr(4));
    link.Reset();
    ASSERT_TRUE(port.OpenPort(nullptr, 3)) << port.GetLastErrorText();
    ASSERT_TRUE(port.StartMonitor());
    uint32_t t = send(link, port, poll, 1);
    EXPECT_EQ(t, replies.Wait());
    EXPECT_EQ(pre::kAck, link.TakeOutcome().replyCode);
}

TEST(SerialPortThreads, StoppingAndReopeningNeverBlocks)
{
    PreSimProcess sim({"--units", "1", "--quiet"});
    ASSERT_FALSE(sim.Pty().empty());
    pointComAt(3, sim.Pty());
    PreLink link;
    link.SetHalfDuplex(false);
    CSerialPort port(link);
    Replies replies;
    port.SetReplyHandler(replies.Handler());
    BYTE poll[pre::kMaxMessage];
    pre::BuildPoll(poll, 0, true);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(port.OpenPort(nullptr, 3)) << i << ": " << port.GetLastErrorText();
        ASSERT_TRUE(port.StartMonitor());
        send(link, port, poll, 1);
        if (i % 2) replies.Wait();  // every other time, stop with a reply on its way
        EXPECT_TRUE(port.StopMonitor());
        EXPECT_FALSE(port.StopMonitor());
    }
    port.ClosePort();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

// Messages that expect no reply (a unit test's settings) follow each other as fast as the
// monitor writes them: each goes out whole, none replaces or cuts off the one before.
TEST(SerialPortThreads, MessagesWrittenBackToBackAllReachTheUnit)
{
    PreSimProcess sim({"--units", "1"});
    ASSERT_FALSE(sim.Pty().empty());
    pointComAt(3, sim.Pty());
    PreLink link;
    link.SetHalfDuplex(false);
    CSerialPort port(link);
    ASSERT_TRUE(port.OpenPort(nullptr, 3)) << port.GetLastErrorText();
    ASSERT_TRUE(port.StartMonitor());
    constexpr int kMessages = 200;
    for (int i = 0; i < kMessages; ++i) {
        const BYTE channel = static_cast<BYTE>(i & 3);
        const BYTE m[] = {0x81, 0x11, channel, 0x03, 0x7F, static_cast<BYTE>((channel + 0x03 + 0x7F) & 0x7F), 0xFF};
        ASSERT_TRUE(port.WaitForWrite(5000));
        link.Begin(m, pre::MessageLength(m), kLinkIdle, kRxIdle, 0);
        port.WriteToPort(m);
    }
    int frames = 0;
    for (std::string line; frames < kMessages && !(line = sim.WaitFor("frame", 5000)).empty();) {
        if (line.find(" 0 81 11 0") == std::string::npos) continue;  // the probe
        EXPECT_NE(std::string::npos, line.find(" 0 81 11 0" + std::to_string(frames & 3) + " 03 7F ")) << line;
        ++frames;
    }
    EXPECT_EQ(kMessages, frames);
    port.ClosePort();
}
