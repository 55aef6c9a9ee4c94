#include "winport/Collections.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The block every filled view maps: kFilledViewMaxBytes of 0xFF in a memory file, written once,
// by the first view of the process, and sealed against any change. It is a constant, like a
// table in the program: it holds nothing a caller can change or see but its bytes, so it stays
// until the process ends (one descriptor, closed on exec). -1 when the system gives none.
int filledBlock()
{
    static const int block = [] {
        const size_t bytes = winport::kFilledViewMaxBytes;
        const int fd = ::memfd_create("winport-filled", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (fd < 0) return -1;
        void* p = ::ftruncate(fd, static_cast<off_t>(bytes)) == 0
                      ? ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                      : MAP_FAILED;
        if (p == MAP_FAILED) {
            ::close(fd);
            return -1;
        }
        std::memset(p, 0xFF, bytes);
        ::munmap(p, bytes);
        // Views are private: a sealed block can never change under them.
        ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
        return fd;
    }();
    return block;
}

}  // namespace

void* winport::MapFilledView(size_t bytes)
{
    if (bytes == 0 || bytes > kFilledViewMaxBytes) return nullptr;
    const int block = filledBlock();
    if (block < 0) return nullptr;
    void* view = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE, block, 0);
    return view == MAP_FAILED ? nullptr : view;
}

void winport::UnmapFilledView(void* view, size_t bytes)
{
    if (view) ::munmap(view, bytes);
}

void CStringArray::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteCount(static_cast<DWORD_PTR>(GetSize()));
        for (INT_PTR i = 0; i < GetSize(); ++i) ar << ElementAt(i);
    } else {
        DWORD_PTR n = ar.ReadCount();
        RemoveAll();
        for (DWORD_PTR i = 0; i < n; ++i) {
            CString s;
            ar >> s;
            Add(s);
        }
    }
}

void CByteArray::Serialize(CArchive& ar) { CArray<BYTE, BYTE>::Serialize(ar); }
void CWordArray::Serialize(CArchive& ar) { CArray<WORD, WORD>::Serialize(ar); }
void CDWordArray::Serialize(CArchive& ar) { CArray<DWORD, DWORD>::Serialize(ar); }
