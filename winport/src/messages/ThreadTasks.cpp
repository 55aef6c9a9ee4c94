#include "messages/ThreadTasks.h"

#include <memory>
#include <mutex>
#include <unordered_set>

namespace winport::detail {

namespace {
// The tasks in flight: a message is run only when it names one of these, so that a stray or
// forged message with this number is never taken for a task.
std::mutex& tasksMutex()
{
    static auto* m = new std::mutex;
    return *m;
}
std::unordered_set<std::function<void()>*>& liveTasks()
{
    static auto* s = new std::unordered_set<std::function<void()>*>;
    return *s;
}
}  // namespace

bool PostThreadTask(DWORD threadId, std::function<void()> task)
{
    auto* held = new std::function<void()>(std::move(task));
    {
        std::lock_guard<std::mutex> lock(tasksMutex());
        liveTasks().insert(held);
    }
    if (PostThreadMessageA(threadId, kThreadTaskMessage, 0, reinterpret_cast<LPARAM>(held))) return true;
    {
        std::lock_guard<std::mutex> lock(tasksMutex());
        liveTasks().erase(held);
    }
    delete held;
    return false;
}

bool RunThreadTask(const MSG& msg)
{
    if (msg.message != kThreadTaskMessage || msg.hwnd) return false;
    auto* task = reinterpret_cast<std::function<void()>*>(msg.lParam);
    {
        std::lock_guard<std::mutex> lock(tasksMutex());
        if (!liveTasks().erase(task)) return false;
    }
    std::unique_ptr<std::function<void()>> owned(task);
    (*owned)();
    return true;
}

}  // namespace winport::detail
