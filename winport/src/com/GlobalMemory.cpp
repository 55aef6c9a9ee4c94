#include "winport/GlobalMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

namespace {

struct Block {
    void* data;
    size_t size;
    int locks;
};

// Handles are keys into this table, so a stale or foreign handle is recognised, not followed.
struct BlockTable {
    std::mutex mutex;
    std::unordered_map<uintptr_t, Block> blocks;
    uintptr_t next = 0x10000;
};

BlockTable& table()
{
    static BlockTable* t = new BlockTable;  // lives for the whole process
    return *t;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, size_t bytes)
{
    if (bytes > (size_t(1) << 32)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* p = (flags & GMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    BlockTable& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    uintptr_t h = (t.next += 8);
    t.blocks[h] = Block{p, bytes, 0};
    return reinterpret_cast<HGLOBAL>(h);
}

LPVOID GlobalLock(HGLOBAL block)
{
    BlockTable& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.blocks.find(reinterpret_cast<uintptr_t>(block));
    if (it == t.blocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ++it->second.locks;
    return it->second.data;
}

BOOL GlobalUnlock(HGLOBAL block)
{
    BlockTable& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.blocks.find(reinterpret_cast<uintptr_t>(block));
    if (it == t.blocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (it->second.locks > 0) --it->second.locks;
    SetLastError(NO_ERROR);
    return it->second.locks > 0;
}

HGLOBAL GlobalFree(HGLOBAL block)
{
    if (!block) return nullptr;
    void* p = nullptr;
    {
        BlockTable& t = table();
        std::lock_guard<std::mutex> lock(t.mutex);
        auto it = t.blocks.find(reinterpret_cast<uintptr_t>(block));
        if (it == t.blocks.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return block;
        }
        p = it->second.data;
        t.blocks.erase(it);
    }
    std::free(p);
    return nullptr;
}

size_t GlobalSize(HGLOBAL block)
{
    BlockTable& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.blocks.find(reinterpret_cast<uintptr_t>(block));
    return it == t.blocks.end() ? 0 : it->second.size;
}

HGLOBAL GlobalReAlloc(HGLOBAL block, size_t bytes, UINT flags)
{
    BlockTable& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.blocks.find(reinterpret_cast<uintptr_t>(block));
    if (it == t.blocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void* p = std::realloc(it->second.data, bytes ? bytes : 1);
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if ((flags & GMEM_ZEROINIT) && bytes > it->second.size) {
        std::memset(static_cast<char*>(p) + it->second.size, 0, bytes - it->second.size);
    }
    it->second.data = p;
    it->second.size = bytes;
    return block;
}

void AdviseLargePages(void* block, size_t bytes)
{
    constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
    const uintptr_t start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t first = (start + kLargePage - 1) & ~(kLargePage - 1);
    const uintptr_t end = (start + bytes) & ~(kLargePage - 1);
    if (block && end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

namespace winport {

void* ReservePages(size_t bytes, size_t& mapped)
{
#ifdef MADV_POPULATE_WRITE
    constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
    constexpr int kPopulateWrite = 23;  // the advice's number since Linux 5.14
#endif
    constexpr size_t kLargePage = size_t{2} << 20;
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const bool large = bytes >= kLargePage;
    const size_t align = large ? kLargePage : page;
    const size_t size = (std::max<size_t>(bytes, 1) + align - 1) / align * align;
    // Large pages need an aligned block: map one large page more and unmap the ends.
    const size_t span = large ? size + kLargePage : size;
    void* taken = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (taken == MAP_FAILED) throw std::bad_alloc();
    auto* start = static_cast<char*>(taken);
    if (large) {
        const auto address = reinterpret_cast<uintptr_t>(start);
        char* aligned = start + ((kLargePage - address % kLargePage) % kLargePage);
        if (aligned > start) munmap(start, static_cast<size_t>(aligned - start));
        const size_t tail = span - static_cast<size_t>(aligned - start) - size;
        if (tail > 0) munmap(aligned + size, tail);
        start = aligned;
        // Only advice: where the system has no large pages the block stays on small ones.
        madvise(start, size, MADV_HUGEPAGE);
    }
    // A kernel older than 5.14 refuses the advice, and the pages then come with the faults.
    madvise(start, size, kPopulateWrite);
    mapped = size;
    return start;
}

void FreeReservedPages(void* block, size_t mapped)
{
    if (block) munmap(block, mapped);
}

}  // namespace winport
