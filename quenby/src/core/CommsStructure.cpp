#include "quenby/CommsStructure.h"

#include <cstring>

HGLOBAL KIVAllocCommandBlock(int command, int size, HWND replyWnd)
{
    if (command < 0 || command >= kKIVCommandCount || size < kKIVBareCommandSize) return nullptr;
    HGLOBAL block = GlobalAlloc(kKIVBlockFlags, static_cast<size_t>(size));
    if (!block) return nullptr;
    auto* header = static_cast<_CommsStructure*>(GlobalLock(block));
    header->nCommand = command;
    header->hReplyWnd = HandleToUlong(replyWnd);
    header->nSize = size;
    GlobalUnlock(block);
    return block;
}

size_t KIVReplySize(const void* block, size_t bytesReceived)
{
    if (!block || bytesReceived < sizeof(_CommsStructure)) return 0;
    int32_t size;
    std::memcpy(&size, static_cast<const uint8_t*>(block) + offsetof(_CommsStructure, nSize), sizeof size);
    if (size < kKIVBareCommandSize || static_cast<size_t>(size) > bytesReceived) return 0;
    return static_cast<size_t>(size);
}
