#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "StorageTestSupport.h"
#include "TestEnvironment.h"
#include "winport/Storage.h"

using namespace storagetest;

namespace {

constexpr DWORD kReadWrite = STGM_SHARE_EXCLUSIVE | STGM_READWRITE;
constexpr DWORD kRead = STGM_SHARE_EXCLUSIVE | STGM_READ;

std::string Listing(std::vector<std::string> rows)
{
    std::sort(rows.begin(), rows.end());
    std::string out;
    for (auto& r : rows) out += r + "\n";
    return out;
}

// Opens a file read-only and reads everything in it: the listing, or the failure.
HRESULT ReadAll(const std::string& path, std::string& listing)
{
    IStorage* root = nullptr;
    HRESULT hr = StgOpenStorage(Wide(path).c_str(), nullptr, kRead, nullptr, 0, &root);
    if (FAILED(hr)) return hr;
    std::vector<std::string> rows;
    hr = OurListing(root, "", rows);
    root->Release();
    listing = Listing(rows);
    return hr;
}

std::vector<std::filesystem::path> CorpusFiles()
{
    std::vector<std::filesystem::path> files;
    for (const char* dir : {CONSOLE_TESTDATA_DIR "/cfb", CONSOLE_SOURCE_DIR "/fuzz/corpus/compound_file"}) {
        if (!std::filesystem::is_directory(dir)) continue;
        for (auto& e : std::filesystem::recursive_directory_iterator(dir))
            if (e.is_regular_file()) files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Every sample and fuzz-corpus file gives a clean error or a clean read, quickly; the valid
// samples read exactly as olefile reads them; a file that opens for writing takes a change
// that olefile can read.
TEST(StorageCorpus, EverySampleReadsOrFailsCleanly)
{
    TestEnvironment env;
    const std::vector<std::filesystem::path> files = CorpusFiles();
    ASSERT_GE(files.size(), 16u) << "the compound-file samples are missing from " CONSOLE_TESTDATA_DIR "/cfb";
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        const std::string copy = env.Path("copy");
        std::filesystem::copy_file(file, copy, std::filesystem::copy_options::overwrite_existing);
        const bool valid = file.parent_path().filename() == "valid";

        auto started = std::chrono::steady_clock::now();
        std::string listing;
        HRESULT hr = ReadAll(copy, listing);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
        if (valid) {
            EXPECT_EQ(hr, S_OK);
            EXPECT_EQ(listing, OleListing(copy));
        } else if (FAILED(hr)) {
            EXPECT_TRUE(hr == STG_E_DOCFILECORRUPT || hr == STG_E_INVALIDHEADER || hr == STG_E_FILEALREADYEXISTS ||
                        hr == STG_E_INVALIDNAME)
                << std::hex << static_cast<uint32_t>(hr);
        }

        started = std::chrono::steady_clock::now();
        IStorage* root = nullptr;
        hr = StgOpenStorage(Wide(copy).c_str(), nullptr, kReadWrite, nullptr, 0, &root);
        if (valid) {
            EXPECT_EQ(hr, S_OK);
        }
        auto ours = std::chrono::steady_clock::now() - started;  // olefile's own time not counted
        if (SUCCEEDED(hr)) {
            started = std::chrono::steady_clock::now();
            EXPECT_EQ(WriteStream(root, L"Added", Pattern(6000, 1)), S_OK);
            root->Release();
            ours += std::chrono::steady_clock::now() - started;
            std::string after;
            EXPECT_EQ(ReadAll(copy, after), S_OK);
            EXPECT_EQ(after, OleListing(copy));
            EXPECT_NE(after.find("Added\tstream\t6000"), std::string::npos);
        }
        EXPECT_LT(ours, std::chrono::seconds(2));
    }
}

// ---- version 4 -----------------------------------------------------------------------------

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void PutEntry(std::vector<uint8_t>& b, size_t at, const char* name, uint8_t type, uint32_t left, uint32_t right,
              uint32_t child, uint32_t start, uint32_t size)
{
    size_t n = std::strlen(name);
    for (size_t i = 0; i < n; ++i) Put16(b, at + 2 * i, static_cast<uint8_t>(name[i]));
    Put16(b, at + 64, static_cast<uint16_t>((n + 1) * 2));
    b[at + 66] = type;
    b[at + 67] = 1;  // black
    Put32(b, at + 68, left);
    Put32(b, at + 72, right);
    Put32(b, at + 76, child);
    Put32(b, at + 116, start);
    Put32(b, at + 120, size);
}

// A version 4 file (4096-byte sectors), laid out by hand: sector 0 the allocation table,
// 1 the directory, 2 the mini table, 3 the mini stream, 4 and 5 a 5000-byte stream.
std::vector<uint8_t> Version4File(const std::vector<uint8_t>& small, const std::vector<uint8_t>& large)
{
    constexpr size_t S = 4096;
    constexpr uint32_t kEnd = 0xFFFFFFFE, kNone = 0xFFFFFFFF;
    std::vector<uint8_t> b(S * 7, 0);
    const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(b.data(), sig, 8);
    Put16(b, 24, 0x3E);
    Put16(b, 26, 4);
    Put16(b, 28, 0xFFFE);
    Put16(b, 30, 12);
    Put16(b, 32, 6);
    Put32(b, 40, 1);   // directory sectors
    Put32(b, 44, 1);   // allocation-table sectors
    Put32(b, 48, 1);   // first directory sector
    Put32(b, 56, 4096);
    Put32(b, 60, 2);   // first mini-table sector
    Put32(b, 64, 1);
    Put32(b, 68, kEnd);
    Put32(b, 72, 0);
    for (size_t i = 0; i < 109; ++i) Put32(b, 76 + 4 * i, i == 0 ? 0 : kNone);
    const size_t fat = S * 1, dir = S * 2, minifat = S * 3, mini = S * 4, data = S * 5;
    for (size_t i = 0; i < S / 4; ++i) Put32(b, fat + 4 * i, kNone);
    Put32(b, fat + 0, 0xFFFFFFFD);
    Put32(b, fat + 4, kEnd);
    Put32(b, fat + 8, kEnd);
    Put32(b, fat + 12, kEnd);
    Put32(b, fat + 16, 5);
    Put32(b, fat + 20, kEnd);
    for (size_t i = 0; i < S / 128; ++i) {
        Put32(b, dir + 128 * i + 68, kNone);
        Put32(b, dir + 128 * i + 72, kNone);
        Put32(b, dir + 128 * i + 76, kNone);
    }
    PutEntry(b, dir, "Root Entry", 5, kNone, kNone, 2, 3, 128);
    PutEntry(b, dir + 128, "Small", 2, kNone, kNone, kNone, 0, static_cast<uint32_t>(small.size()));
    PutEntry(b, dir + 256, "Large", 2, kNone, 1, kNone, 4, static_cast<uint32_t>(large.size()));
    for (size_t i = 0; i < S / 4; ++i) Put32(b, minifat + 4 * i, kNone);
    Put32(b, minifat, 1);
    Put32(b, minifat + 4, kEnd);
    std::memcpy(b.data() + mini, small.data(), small.size());
    std::memcpy(b.data() + data, large.data(), large.size());
    return b;
}

TEST(StorageCorpus, ReadsAndUpdatesVersion4Files)
{
    TestEnvironment env;
    const std::vector<uint8_t> small = Pattern(100, 1), large = Pattern(5000, 2);
    const std::vector<uint8_t> bytes = Version4File(small, large);
    const std::string path = env.Path("v4.cfb");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());

    std::string listing;
    ASSERT_EQ(ReadAll(path, listing), S_OK);
    EXPECT_EQ(listing, OleListing(path));
    char expect[200];
    std::snprintf(expect, sizeof expect, "Large\tstream\t5000\t%08x\nSmall\tstream\t100\t%08x\n", Crc32(large), Crc32(small));
    EXPECT_EQ(listing, expect);

    IStorage* root = nullptr;
    ASSERT_EQ(StgOpenStorage(Wide(path).c_str(), nullptr, kReadWrite, nullptr, 0, &root), S_OK);
    EXPECT_EQ(WriteStream(root, L"Small", Pattern(9000, 3)), S_OK);
    EXPECT_EQ(WriteStream(root, L"Tiny", Pattern(10, 4)), S_OK);
    root->Release();
    ASSERT_EQ(ReadAll(path, listing), S_OK);
    EXPECT_EQ(listing, OleListing(path));
    EXPECT_EQ(GsfCat(path, "Small"), Pattern(9000, 3));
    EXPECT_EQ(GsfCat(path, "Large"), large);
}

}  // namespace
