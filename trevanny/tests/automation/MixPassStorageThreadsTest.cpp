// A mix pass destroyed on one thread while another saves or loads it: the destructor waits for
// the running save or load, frees nothing before it ends, and then posts notification 17.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include "EventArrayFixture.h"
#include "trevanny/AutomationPackage.h"

namespace {

constexpr auto kGuard = std::chrono::seconds(20);

// A one-shot signal between two threads.
class Signal {
public:
    void Set()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_set = true;
        m_changed.notify_all();
    }
    bool Wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, kGuard, [this] { return m_set; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_set = false;
};

// True once the thread is blocked (state S or D in /proc), or false after the guard time.
bool WaitUntilBlocked(pid_t tid)
{
    const auto deadline = std::chrono::steady_clock::now() + kGuard;
    const std::string stat = "/proc/self/task/" + std::to_string(tid) + "/stat";
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream in(stat);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t close = text.rfind(')');
        if (close != std::string::npos && close + 2 < text.size() && (text[close + 2] == 'S' || text[close + 2] == 'D'))
            return true;
        std::this_thread::yield();
    }
    return false;
}

class MixPassStorageThreads : public EventArrayFixture {
protected:
    void TearDown() override
    {
        CAutomationPackage::SetStorageStepHookForTesting({});
        EventArrayFixture::TearDown();
    }
};

TEST_F(MixPassStorageThreads, DestructorWaitsForARunningSaveAndLoad)
{
    useConsoleType(1);
    const std::string path = m_env.Path("pass.aut");
    {
        CAutomationPackage first;
        first.m_bNotifyOnClose = FALSE;
        for (int i = 0; i < 10; ++i) first.Add(Ev(i, 1, 1, 1, static_cast<short>(i)));
        first.SetPathName(path.c_str());
        ASSERT_TRUE(first.Save(FALSE));
    }
    for (bool saving : {true, false}) {
        SCOPED_TRACE(saving ? "save" : "load");
        NotificationRecorder status;
        auto* pass = new CAutomationPackage;
        pass->SetPathName(path.c_str());
        Signal parked, resume;
        std::atomic<bool> destroyed{false}, destroyedEarly{false};
        CAutomationPackage::SetStorageStepHookForTesting([&, saving](int step, bool isSave) {
            if (isSave == saving && step == 2) {
                parked.Set();
                resume.Wait();
                destroyedEarly = destroyed.load();
            }
            return true;
        });
        BOOL saved = FALSE;
        std::thread worker([&, saving] {
            if (saving) saved = pass->Save(FALSE);
            else pass->Load();
        });
        ASSERT_TRUE(parked.Wait());
        std::atomic<pid_t> destroyerTid{0};
        std::thread destroyer([&] {
            destroyerTid = static_cast<pid_t>(::syscall(SYS_gettid));
            delete pass;
            destroyed = true;
        });
        while (destroyerTid.load() == 0) std::this_thread::yield();
        EXPECT_TRUE(WaitUntilBlocked(destroyerTid.load()));
        EXPECT_FALSE(destroyed.load());
        resume.Set();
        worker.join();
        destroyer.join();
        EXPECT_FALSE(destroyedEarly.load());
        if (saving) {
            EXPECT_TRUE(saved);
        }
        int closed = 0;
        for (const auto& post : status.Posts())
            if (post.code == 17) ++closed;
        EXPECT_EQ(closed, 1);
        CAutomationPackage::SetStorageStepHookForTesting({});
    }
}

}  // namespace
