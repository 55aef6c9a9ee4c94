// Kernel events and waits: CreateEventA (named and unnamed, manual and auto reset), SetEvent,
// ResetEvent, CloseHandle, WaitForSingleObject and WaitForMultipleObjects.
//
// Each event is one eventfd that is readable exactly while the event is signalled, so a wait
// can also take any other descriptor (a socket) through a descriptor handle. Handles carry
// 32-bit values; an event lives until its last handle is closed, and a name reaches the same
// event while any handle to it is open. Time-outs are real (monotonic) milliseconds. Every
// function here is safe from any thread.
#pragma once

#include "winport/WinTypes.h"

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED_0 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64

/// A new event, or (with a name already in use by an open event) a new handle to that event,
/// with the last error ERROR_ALREADY_EXISTS and the existing event's state and reset kind.
/// NULL with ERROR_TOO_MANY_OPEN_FILES when no descriptor is left.
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName);
/// A new handle to the open event of this name; NULL with ERROR_FILE_NOT_FOUND when none.
HANDLE OpenEventA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);
/// Closes an event or descriptor handle; FALSE with ERROR_INVALID_HANDLE for any other value.
BOOL CloseHandle(HANDLE hObject);

/// WAIT_OBJECT_0 when the object is signalled (an auto-reset event is then reset by this wait),
/// WAIT_TIMEOUT, or WAIT_FAILED with ERROR_INVALID_HANDLE.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
/// Any one (the lowest index among those signalled, WAIT_OBJECT_0 + index) or all of them at
/// once (WAIT_OBJECT_0; auto-reset events are reset only when every object was signalled).
/// WAIT_FAILED with ERROR_INVALID_PARAMETER for 0 or more than MAXIMUM_WAIT_OBJECTS handles.
DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds);

#define EVENT_ALL_ACCESS 0x1F0003u
#define EVENT_MODIFY_STATE 0x0002u
#define SYNCHRONIZE 0x00100000u

namespace winport {

/// The descriptor behind an event: readable while the event is signalled (reading it is left
/// to the wait functions). -1 for a handle that is not an event. Valid while the handle is open.
int EventDescriptor(HANDLE event);

/// A waitable handle on a descriptor of the caller's (a socket, a pipe): signalled while poll
/// reports one of pollEvents (POLLIN by default) on it. Waits never consume anything from the
/// descriptor; the caller keeps owning it and closes it after CloseHandle. NULL for fd < 0.
HANDLE CreateDescriptorHandle(int fd, short pollEvents = 0x001);

/// Events and descriptor handles that are open now (for leak checks in tests).
int OpenWaitHandleCount();

}  // namespace winport
