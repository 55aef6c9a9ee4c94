#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "CommsTestSupport.h"
#include "TestEnvironment.h"
#include "comms/GenericCommunicationsDevice.h"
#include "winport/Clock.h"
#include "winport/Events.h"
#include "winport/MessageLoop.h"
#include "winport/Paths.h"
#include "winport/RegistryObject.h"
#include "winport/Window.h"

namespace {

using Error = CGenericCommunicationsDeviceError;

// A device on a script: reads hand out the queued bytes (a read finds none when the queue is
// empty), writes are recorded with the clock's time.
class ScriptedDevice : public CGenericCommunicationsDevice {
public:
    SOCKET GetSocket() override { return INVALID_SOCKET; }
    BOOL Connect(UINT) override
    {
        m_bOpen = 1;
        return TRUE;
    }
    void Disconnect() override { m_bOpen = 0; }
    BOOL WriteBytes(const BYTE* pBuffer, DWORD nLength) override
    {
        for (DWORD i = 0; i < nLength; ++i) written.push_back({pBuffer[i], GetTickCount()});
        return TRUE;
    }
    BOOL ReadBytes(BYTE* pBuffer, DWORD nLength, DWORD& nRead) override
    {
        ++reads;
        nRead = 0;
        while (nRead < nLength && !incoming.empty()) {
            pBuffer[nRead++] = incoming.front();
            incoming.pop_front();
        }
        return TRUE;
    }
    void SetLinkNumber(int n) { m_nLinkNumber = n; }

    struct Written {
        BYTE byte;
        DWORD time;
    };
    std::vector<Written> written;
    std::deque<BYTE> incoming;
    int reads = 0;
};

class GenericCommunicationsDeviceTest : public ::testing::Test {
protected:
    TestEnvironment m_env;
    winport::ManualClock m_clock{5000};
    winport::ScopedClock m_scoped{m_clock};
};

TEST(GenericCommunicationsDeviceErrorTest, NamesOfCodes)
{
    const struct {
        int code;
        const char* name;
    } cases[] = {
        {-1, "Unknown Error"},
        {0, "NonExistantBootProgramError"},
        {2, "GenericLinkError"},
        {5, "UnimplmentedCommand"},
        {12, "SocketResetError"},
        {14, "LinkReadAborted"},
        {17, "SerialPackingCheckSumFailed"},
        {18, "Unknown Error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        Error error(c.code);
        const CGenericError& base = error;
        EXPECT_EQ(CString(c.name), dynamic_cast<const Error&>(base).GetErrorName());
    }
}

TEST_F(GenericCommunicationsDeviceTest, ConstructionReadsTheTagSettingAndLeavesTagModeOff)
{
    {
        ScriptedDevice device;
        EXPECT_FALSE(device.IsOpen());
        EXPECT_FALSE(device.GetIgnoreTagIdent());
        EXPECT_EQ(-1, device.GetLinkNumber());
    }
    CCurrentUserRegistryObject registry;
    ASSERT_TRUE(registry.SetBool("Software\\VOKDWEN\\TagIdentifier", "Ignore", 1));
    ScriptedDevice device;
    EXPECT_TRUE(device.GetIgnoreTagIdent());
    EXPECT_FALSE(device.GetTagMode());

    // Four distinct auto-reset events; the send event is the third.
    for (int i = 0; i < EventCount; ++i) {
        ASSERT_NE(nullptr, device.GetEvent(i));
        for (int j = 0; j < i; ++j) EXPECT_NE(device.GetEvent(j), device.GetEvent(i));
    }
    EXPECT_EQ(device.GetEvent(EventSend), device.GetSendEvent());
    device.SetAbortEvent();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(device.GetEvent(EventAbort), 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(device.GetEvent(EventAbort), 0));
    device.SetAbortEvent();
    device.ResetAbortEvent();
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(device.GetEvent(EventAbort), 0));
    device.CloseAbortEvent();
    EXPECT_EQ(nullptr, device.GetEvent(EventAbort));
    device.SetAbortEvent();  // no event: nothing to set
    EXPECT_TRUE(device.CreateEvents());
    EXPECT_NE(nullptr, device.GetEvent(EventAbort));
}

TEST_F(GenericCommunicationsDeviceTest, TagModeWritesAndReads)
{
    struct Case {
        const char* what;
        bool tagMode;
        std::vector<BYTE> incoming;
        int expectedCode;  // -100: the byte 0x42 is read
    };
    const Case cases[] = {
        {"plain byte", false, {0x42}, -100},
        {"plain, nothing comes", false, {}, Error::GenericLinkError},
        {"tag and byte", true, {0xAA, 0x42}, -100},
        {"tag only", true, {0xAA}, Error::GenericLinkError},
        {"nothing comes", true, {}, Error::GenericLinkError},
        {"wrong tag", true, {0x55, 0x42}, Error::WrongTagIdent},
        {"byte without its tag", true, {0x42}, Error::WrongTagIdent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedDevice device;
        device.SetTagMode(c.tagMode);
        device.incoming.assign(c.incoming.begin(), c.incoming.end());
        BYTE got = 0;
        EXPECT_EQ(c.expectedCode, ThrownCode([&] { got = device.ReadByte(); }));
        if (c.expectedCode == -100) {
            EXPECT_EQ(0x42, got);
        }
    }

    // Writing: in tag mode each byte follows the tag and the tag's 10 ms.
    ScriptedDevice device;
    device.WriteByte(0x01);
    device.SetTagMode(TRUE);
    device.WriteByte(0x02);
    device.WriteByte(0xAA);
    ASSERT_EQ(5u, device.written.size());
    const BYTE expected[] = {0x01, 0xAA, 0x02, 0xAA, 0xAA};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(expected[i], device.written[i].byte) << i;
    EXPECT_EQ(10u, device.written[2].time - device.written[1].time);
    EXPECT_EQ(10u, device.written[4].time - device.written[3].time);
    EXPECT_EQ(device.written[0].time, device.written[1].time);
}

TEST_F(GenericCommunicationsDeviceTest, ReadUntilAByte)
{
    ScriptedDevice device;
    device.incoming = {0x10, 0x20, 0x30, 0x40};
    // Not open: refused at once, nothing read.
    EXPECT_EQ(Error::LinkNotOpened, ThrownCode([&] { device.ReadUntil(0x30); }));
    EXPECT_EQ(0, device.reads);

    device.Connect(1);
    EXPECT_EQ(-100, ThrownCode([&] { device.ReadUntil(0x30); }));
    EXPECT_EQ(3, device.reads);
    ASSERT_EQ(1u, device.incoming.size());
    // The byte never comes: the read that finds nothing ends the wait.
    EXPECT_EQ(Error::GenericLinkError, ThrownCode([&] { device.ReadUntil(0x99); }));
}

TEST_F(GenericCommunicationsDeviceTest, DebugTapPostsEachByteToTheWatchingWindow)
{
    const UINT tapMessage = RegisterWindowMessageA("CommsTestTap");
    struct Report {
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<Report> reports;
    ScriptedDevice device;
    device.SetDebugTap(TRUE, tapMessage);
    device.WriteByte(0x11);  // nobody watches: nothing to report to
    HWND watcher = winport::CreateMessageWindow(
        CGenericCommunicationsDevice::kTagDebuggerClass, [&](HWND, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
            if (msg == tapMessage) reports.push_back({wp, lp});
            return 0;
        });
    ASSERT_NE(nullptr, watcher);

    device.WriteByte(0x5A);
    device.SetLinkNumber(0x103);
    device.incoming = {0xC3};
    EXPECT_EQ(0xC3, device.ReadByte());
    device.SetDebugTap(FALSE, tapMessage);
    device.WriteByte(0x22);
    winport::MessageLoop::Current().RunUntilIdle();

    ASSERT_EQ(2u, reports.size());
    EXPECT_EQ(GetCurrentThreadId(), reports[0].wParam);
    // Low word the byte; high word: direction (1 written, 0 read) over the link number's low byte.
    EXPECT_EQ(0x01FF005Au, static_cast<DWORD>(reports[0].lParam));
    EXPECT_EQ(0x000300C3u, static_cast<DWORD>(reports[1].lParam));
    DestroyWindow(watcher);
}

}  // namespace
