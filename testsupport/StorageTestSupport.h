// Helpers for the structured-storage tests: wide paths in a private folder, whole-stream reads
// and writes through the interfaces, and the two outside readers (gsf and Python's olefile).
#pragma once

#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

#include "winport/Storage.h"

namespace storagetest {

inline std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

/// Bytes that differ from position to position (and from seed to seed).
inline std::vector<uint8_t> Pattern(size_t n, uint32_t seed)
{
    std::vector<uint8_t> v(n);
    uint32_t x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        v[i] = static_cast<uint8_t>(x >> 16);
    }
    return v;
}

inline HRESULT WriteStream(IStorage* storage, const wchar_t* name, const std::vector<uint8_t>& data)
{
    IStream* s = nullptr;
    HRESULT hr = storage->CreateStream(name, STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, 0, &s);
    if (FAILED(hr)) return hr;
    ULONG written = 0;
    hr = s->Write(data.data(), static_cast<ULONG>(data.size()), &written);
    s->Release();
    return hr;
}

/// The whole stream, or an empty vector and a failed hr.
inline HRESULT ReadStream(IStorage* storage, const wchar_t* name, std::vector<uint8_t>& out)
{
    out.clear();
    IStream* s = nullptr;
    HRESULT hr = storage->OpenStream(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s);
    if (FAILED(hr)) return hr;
    STATSTG st{};
    hr = s->Stat(&st, STATFLAG_NONAME);
    if (SUCCEEDED(hr)) {
        out.resize(static_cast<size_t>(st.cbSize.QuadPart));
        ULONG got = 0;
        hr = s->Read(out.data(), static_cast<ULONG>(out.size()), &got);
        if (SUCCEEDED(hr) && got != out.size()) hr = E_FAIL;
    }
    s->Release();
    return hr;
}

/// CRC-32 (the zlib polynomial), as olefile's listing prints it.
inline uint32_t Crc32(const std::vector<uint8_t>& data)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : data) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

/// Runs a command; its standard output, and its exit status in *status.
inline std::string RunCommand(const std::string& command, int* status = nullptr)
{
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) {
        if (status) *status = -1;
        return out;
    }
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int rc = ::pclose(p);
    if (status) *status = rc;
    return out;
}

inline std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

/// gsf's bytes of one stream ("dir/name" below the root).
inline std::vector<uint8_t> GsfCat(const std::string& file, const std::string& stream)
{
    std::string out = RunCommand("gsf cat " + Quote(file) + " " + Quote(stream) + " 2>/dev/null");
    return std::vector<uint8_t>(out.begin(), out.end());
}

/// olefile's view of a file: one line per element, "<path>\t<type>\t<size>\t<crc32>", paths
/// with '/' (names as UTF-8), sorted; or the error text of olefile.
inline std::string OleListing(const std::string& file)
{
    static const char kScript[] = R"PY(
import sys, zlib, olefile
ole = olefile.OleFileIO(sys.argv[1])
rows = []
for path in ole.listdir(streams=True, storages=True):
    name = "/".join(path)
    if ole.get_type(path) == olefile.STGTY_STREAM:
        data = ole.openstream(path).read()
        rows.append("%s\tstream\t%d\t%08x" % (name, len(data), zlib.crc32(data) & 0xffffffff))
    else:
        rows.append("%s\tstorage\t0\t0" % name)
for r in sorted(rows):
    print(r)
)PY";
    return RunCommand("/usr/bin/python3 -c " + Quote(kScript) + " " + Quote(file) + " 2>&1");
}

}  // namespace storagetest

namespace storagetest {

/// Our view of a file in the layout of OleListing (every stream read whole), or the failure.
inline HRESULT OurListing(IStorage* storage, const std::string& prefix, std::vector<std::string>& rows, int depth = 0)
{
    if (depth > 64) return E_FAIL;
    IEnumSTATSTG* e = nullptr;
    HRESULT hr = storage->EnumElements(0, nullptr, 0, &e);
    if (FAILED(hr)) return hr;
    STATSTG st;
    ULONG n = 0;
    while (SUCCEEDED(hr) && e->Next(1, &st, &n) == S_OK && n == 1) {
        std::wstring wname(st.pwcsName);
        CoTaskMemFree(st.pwcsName);
        std::string name = prefix;
        for (wchar_t c : wname) {
            // UTF-8, as olefile prints names.
            if (c < 0x80) name += static_cast<char>(c);
            else if (c < 0x800) { name += static_cast<char>(0xC0 | (c >> 6)); name += static_cast<char>(0x80 | (c & 0x3F)); }
            else { name += static_cast<char>(0xE0 | (c >> 12)); name += static_cast<char>(0x80 | ((c >> 6) & 0x3F)); name += static_cast<char>(0x80 | (c & 0x3F)); }
        }
        if (st.type == STGTY_STREAM) {
            std::vector<uint8_t> data;
            hr = ReadStream(storage, wname.c_str(), data);
            char crc[16];
            std::snprintf(crc, sizeof crc, "%08x", Crc32(data));
            rows.push_back(name + "\tstream\t" + std::to_string(data.size()) + "\t" + crc);
        } else {
            rows.push_back(name + "\tstorage\t0\t0");
            IStorage* sub = nullptr;
            hr = storage->OpenStorage(wname.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &sub);
            if (SUCCEEDED(hr)) {
                hr = OurListing(sub, name + "/", rows, depth + 1);
                sub->Release();
            }
        }
    }
    e->Release();
    return hr;
}

}  // namespace storagetest

namespace storagetest {

/// Damaging a small version 3 file (512-byte sectors, its table within the header's 109
/// sectors) in its bytes: allocation-table entries and directory entries by name.
struct CfbBytes {
    std::vector<uint8_t>& b;

    uint32_t Get32(size_t at) const
    {
        return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
    }
    void Put32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    static size_t SectorAt(uint32_t sector) { return (size_t(sector) + 1) * 512; }
    size_t FatAt(uint32_t sector) const { return SectorAt(Get32(76 + 4 * (sector / 128))) + (sector % 128) * 4; }
    uint32_t Fat(uint32_t sector) const { return Get32(FatAt(sector)); }
    void SetFat(uint32_t sector, uint32_t next) { Put32(FatAt(sector), next); }
    uint32_t FirstDirectorySector() const { return Get32(48); }
    /// The offset of the directory entry with this (ASCII) name, or 0.
    size_t EntryAt(const std::string& name) const
    {
        for (uint32_t s = FirstDirectorySector(), hops = 0; s < 0xFFFFFFFAu && hops < 1000; s = Fat(s), ++hops) {
            for (size_t e = 0; e < 4; ++e) {
                const size_t at = SectorAt(s) + e * 128;
                if (at + 128 > b.size()) return 0;
                std::string n;
                for (size_t k = 0; k + 1 < 64 && b[at + 2 * k]; ++k) n += static_cast<char>(b[at + 2 * k]);
                if (n == name) return at;
            }
        }
        return 0;
    }
    uint32_t StartOf(const std::string& name) const { return Get32(EntryAt(name) + 116); }
};

}  // namespace storagetest
