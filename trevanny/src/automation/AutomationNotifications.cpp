#include "trevanny/AutomationNotifications.h"

UINT g_nAutomationEventNotification = RegisterWindowMessageA(AUTOMATION_EVENT_NOTIFICATION_NAME);

LPARAM AutomationProgressArgument(int64_t index, int64_t count)
{
    if (count == 0) count = 1;
    return static_cast<LPARAM>(index * 100 / count);
}

BOOL PostAutomationNotification(WPARAM code, LPARAM arg)
{
    // Registered again at each post: the same name always gives the same number.
    UINT message = RegisterWindowMessageA(AUTOMATION_EVENT_NOTIFICATION_NAME);
    if (HWND status = FindWindowA(AUTOMATION_STATUS_WINDOW_CLASS, nullptr)) return PostMessageA(status, message, code, arg);
    return PostNeedsStatus(code, arg);
}

BOOL PostNeedsStatus(WPARAM code, LPARAM arg)
{
    UINT message = RegisterWindowMessageA(AUTOMATION_NEEDS_STATUS_NAME);
    HWND main = FindWindowA(AUTOMATION_MAIN_WINDOW_CLASS, nullptr);
    return PostMessageA(main ? main : HWND_BROADCAST, message, code, arg);
}

BOOL PostProgress(WPARAM code, int64_t index, int64_t count)
{
    return PostAutomationNotification(code, AutomationProgressArgument(index, count));
}
