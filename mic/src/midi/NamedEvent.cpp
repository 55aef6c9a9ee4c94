#include "midi/NamedEvent.h"

#include <string>

HANDLE CNamedEvent::Get(int port, int kind)
{
    const char* kindName = GetNamedEventKindName(kind);
    if (kindName[0] == '\0') return nullptr;
    std::string name = std::string(kindName) + std::to_string(port);
    return CreateEventA(nullptr, /*bManualReset=*/FALSE, /*bInitialState=*/FALSE, name.c_str());
}

BOOL CNamedEvent::WaitOne(HANDLE event, DWORD timeoutMs)
{
    return event != nullptr && WaitForSingleObject(event, timeoutMs) == WAIT_OBJECT_0;
}

int CNamedEvent::WaitEither(HANDLE first, HANDLE second, DWORD timeoutMs)
{
    if (first == nullptr || second == nullptr) return -1;
    HANDLE both[2] = {first, second};
    DWORD r = WaitForMultipleObjects(2, both, FALSE, timeoutMs);
    if (r == WAIT_OBJECT_0) return 0;
    if (r == WAIT_OBJECT_0 + 1) return 1;
    return -1;
}
