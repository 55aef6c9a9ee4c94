// Global memory blocks: a handle to a heap block that is locked to get its address.
#pragma once

#include "winport/WinTypes.h"

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GMEM_SHARE 0x2000
#define GMEM_DDESHARE 0x2000
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)

/// Allocates a block; its bytes are zero when GMEM_ZEROINIT is set (0x2042 as the system uses).
/// Returns NULL when bytes is too large to allocate.
HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
/// The block's address, or NULL for a handle that is not a live block. Locks nest.
LPVOID GlobalLock(HGLOBAL block);
/// Ends one lock; returns TRUE while locks remain.
BOOL GlobalUnlock(HGLOBAL block);
/// Frees a block; returns NULL on success and the handle when it is not a live block.
HGLOBAL GlobalFree(HGLOBAL block);
/// The size given at allocation, 0 for a handle that is not a live block.
size_t GlobalSize(HGLOBAL block);
/// Resizes a block (new bytes zero when GMEM_ZEROINIT is set).
HGLOBAL GlobalReAlloc(HGLOBAL block, size_t bytes, UINT flags);

/// Asks the system to back the whole large pages inside a block with large pages when they are
/// first written (a block of millions of records then costs hundreds of page faults instead of
/// hundreds of thousands). Worth it only for a block that will not be moved; the contents and
/// the block's use are unchanged whether or not the system agrees.
void AdviseLargePages(void* block, size_t bytes);

namespace winport {

/// A reserved block of fresh pages of at least `bytes`, zero-filled, for scratch memory that a
/// pass writes whole: a block of one large page (2 MB) or more is aligned to large pages and
/// advised onto them, and every page is provided at once rather than one fault per page (where
/// the system cannot, the pages come with the faults). `mapped` receives the size taken, which
/// FreeReservedPages wants back. Throws std::bad_alloc when the system has no memory.
void* ReservePages(size_t bytes, size_t& mapped);
void FreeReservedPages(void* block, size_t mapped);

}  // namespace winport
