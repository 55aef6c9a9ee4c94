// Progress and event notifications of the long automation operations. The operations run in
// whatever program called them; the operator watches a status display in another program. The
// notifications find that display by window class at each post and post registered messages
// to it; they never wait for an answer.
//
// A notification is (code in wParam, argument in lParam):
//   0  indexed-file load: file opened (0)            1  run extraction: event index (every 500th)
//   2  control-track range copy: percent             15 loading: percent done
//   17 mix pass finished with / indexed load done    19 isolate channel: percent
//   20 erase channel: percent, or channel + 1        21 copy/merge: source channel + 1
//   22 copy/merge: destination channel + 1           23 copy/merge/ranged erase: percent
//   26 widening a mix pass: k x 100 / 8              27 conform: percent
//   28 conform: 1-based item number                  31 sort (0)
//   33 thinning: percent                             34 thinning: events removed so far
#pragma once

#include <cstdint>

#include "trevanny/SharedConstants.h"
#include "winport/Window.h"

/// The message names, spelled as the receiving programs expect them.
#define AUTOMATION_EVENT_NOTIFICATION_NAME "Automation Event Notication"
#define AUTOMATION_NEEDS_STATUS_NAME "Automation Needs Status"
/// The window classes of the receivers (the library's shared names).
#define AUTOMATION_STATUS_WINDOW_CLASS kStatusWindowClass
#define AUTOMATION_MAIN_WINDOW_CLASS kMainWindowClass

/// The number of "Automation Event Notication", registered when the library is loaded.
extern UINT g_nAutomationEventNotification;

/// Posts "Automation Event Notication" (code, arg) to the status window; without one, as
/// PostNeedsStatus. Returns the result of the post, which callers ignore.
BOOL PostAutomationNotification(WPARAM code, LPARAM arg);
/// Posts "Automation Needs Status" (code, arg) to the automation program's main window, or to
/// HWND_BROADCAST when there is none.
BOOL PostNeedsStatus(WPARAM code, LPARAM arg);
/// Posts code with the argument index x 100 / count, as PostAutomationNotification.
BOOL PostProgress(WPARAM code, int64_t index, int64_t count);

/// index x 100 / count in 64 bits (integer division; a count of 0 is taken as 1), so that
/// indexes above 21 million do not overflow.
LPARAM AutomationProgressArgument(int64_t index, int64_t count);
