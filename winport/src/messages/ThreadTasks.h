// Work handed to the message loop of a thread: the loop's owner runs it when it dispatches the
// message that carries it, as an apartment's calls arrive through its message queue.
#pragma once

#include <functional>

#include "winport/MessageLoop.h"

namespace winport::detail {

/// The thread message that carries a task (below WM_USER, a value Windows leaves unused).
constexpr UINT kThreadTaskMessage = 0x03F7;

/// Queues a task for the loop of a thread; false (nothing queued) when the thread runs none.
bool PostThreadTask(DWORD threadId, std::function<void()> task);
/// Runs the task a message carries, when it is one that PostThreadTask queued; true then.
bool RunThreadTask(const MSG& msg);

}  // namespace winport::detail
