// The compound-file reader and writer: any bytes as a file either fail to open with an error
// or open and read to the end within bounds; a file that opens for writing takes a new stream,
// and the result opens again and holds it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "winport/Storage.h"

namespace {

void walk(IStorage* storage, int depth)
{
    if (depth > 32) return;
    IEnumSTATSTG* e = nullptr;
    if (FAILED(storage->EnumElements(0, nullptr, 0, &e))) return;
    STATSTG st;
    ULONG n = 0;
    int budget = 256;
    while (budget-- > 0 && e->Next(1, &st, &n) == S_OK && n == 1) {
        if (st.type == STGTY_STREAM) {
            IStream* s = nullptr;
            if (SUCCEEDED(storage->OpenStream(st.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s))) {
                static uint8_t buffer[65536];
                ULONG got = 0;
                uint64_t total = 0;
                while (SUCCEEDED(s->Read(buffer, sizeof buffer, &got)) && got > 0) total += got;
                STATSTG info;
                if (SUCCEEDED(s->Stat(&info, STATFLAG_NONAME)) && info.cbSize.QuadPart != total) std::abort();
                s->Release();
            }
        } else {
            IStorage* sub = nullptr;
            if (SUCCEEDED(storage->OpenStorage(st.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &sub))) {
                walk(sub, depth + 1);
                sub->Release();
            }
        }
        CoTaskMemFree(st.pwcsName);
    }
    e->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The bytes as a file that lives in memory only, reached through its descriptor's path.
    int fd = ::memfd_create("compound-file", MFD_CLOEXEC);
    if (fd < 0) return 0;
    for (size_t done = 0; done < size;) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) {
            ::close(fd);
            return 0;
        }
        done += static_cast<size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const std::wstring name(path.begin(), path.end());

    IStorage* root = nullptr;
    if (SUCCEEDED(StgOpenStorage(name.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &root))) {
        walk(root, 0);
        root->Release();
    }
    if (SUCCEEDED(StgOpenStorage(name.c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, &root))) {
        std::vector<uint8_t> added(5000);
        for (size_t i = 0; i < added.size(); ++i) added[i] = static_cast<uint8_t>(i * 7);
        IStream* s = nullptr;
        bool wrote = false;
        if (SUCCEEDED(root->CreateStream(L"Added", STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, 0, &s))) {
            ULONG n = 0;
            wrote = SUCCEEDED(s->Write(added.data(), static_cast<ULONG>(added.size()), &n));
            s->Release();
        }
        const bool committed = SUCCEEDED(root->Commit(STGC_DEFAULT));
        root->Release();
        if (wrote && committed) {
            // What we wrote must open again and read back.
            if (FAILED(StgOpenStorage(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &root)))
                std::abort();
            std::vector<uint8_t> back(added.size());
            ULONG got = 0;
            if (FAILED(root->OpenStream(L"Added", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s))) std::abort();
            if (FAILED(s->Read(back.data(), static_cast<ULONG>(back.size()), &got)) || back != added) std::abort();
            s->Release();
            walk(root, 0);
            root->Release();
        }
    }
    ::close(fd);
    return 0;
}
