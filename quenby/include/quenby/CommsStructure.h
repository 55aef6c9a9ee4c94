// The command block: the header that starts every block exchanged with the automation server,
// and the helpers that build, check and send blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quenby/KIVCommands.h"
#include "winport/GlobalMemory.h"
#include "winport/WinTypes.h"

/// The block header (little-endian). The command's parameters follow from byte 16, up to
/// nSize bytes in all; a reply carries the command it answers.
struct _CommsStructure {
    int32_t nCommand;     // enKIVCommand
    uint32_t hReplyWnd;   // window to report to when the work is done; 0 when none
    int32_t nSize;        // total size of the block, header included
    uint32_t dwReserved;  // 0 in every block sent
};
static_assert(sizeof(_CommsStructure) == 16);
static_assert(offsetof(_CommsStructure, nCommand) == 0);
static_assert(offsetof(_CommsStructure, hReplyWnd) == 4);
static_assert(offsetof(_CommsStructure, nSize) == 8);
static_assert(offsetof(_CommsStructure, dwReserved) == 12);

/// The size of a block that is only a header.
constexpr int kKIVBareCommandSize = 16;
/// The allocation flags of every block: moveable, zero-filled, shareable (0x2042).
constexpr UINT kKIVBlockFlags = GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE;

/// Allocates a zero-filled block of size bytes with its header written (command, reply window,
/// size). Returns NULL, and sends nothing, for a command outside 0 to 333 or a size below 16.
HGLOBAL KIVAllocCommandBlock(int command, int size, HWND replyWnd = nullptr);

/// The usable size of a reply: its size field when that is at least 16 and no larger than
/// the bytes received, else 0 (the block is not to be read).
size_t KIVReplySize(const void* block, size_t bytesReceived);
