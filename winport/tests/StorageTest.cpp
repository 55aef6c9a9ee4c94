#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "StorageTestSupport.h"
#include "TestEnvironment.h"
#include "winport/Storage.h"

using namespace storagetest;

namespace {

constexpr DWORD kCreate = STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE;  // 0x1012
constexpr DWORD kReadWrite = STGM_SHARE_EXCLUSIVE | STGM_READWRITE;             // 0x12
constexpr DWORD kRead = STGM_SHARE_EXCLUSIVE | STGM_READ;                        // 0x10

std::string Hex(uint32_t v)
{
    char b[16];
    std::snprintf(b, sizeof b, "%08x", v);
    return b;
}

// Files we write read back byte for byte in both outside readers.
TEST(StorageInterop, WrittenFileReadsInGsfAndOlefile)
{
    TestEnvironment env;
    const std::string file = env.Path("mix.aut");
    std::map<std::string, std::vector<uint8_t>> streams = {
        {"Small", Pattern(100, 1)},       {"Edge", Pattern(4095, 2)},   {"Cutoff", Pattern(4096, 3)},
        {"Big", Pattern(5000, 4)},        {"Mega", Pattern(1 << 20, 5)}, {"Empty", {}},
        {"File Version", Pattern(40, 6)},
    };
    std::map<std::string, std::vector<uint8_t>> inner = {{"Inner", Pattern(300, 7)}, {"Inner Big", Pattern(10000, 8)}};

    IStorage* root = nullptr;
    ASSERT_EQ(StgCreateDocfile(Wide(file).c_str(), kCreate, 0, &root), S_OK);
    for (auto& [name, data] : streams) ASSERT_EQ(WriteStream(root, Wide(name).c_str(), data), S_OK) << name;
    IStorage* sub = nullptr;
    ASSERT_EQ(root->CreateStorage(L"Sub", kCreate, 0, 0, &sub), S_OK);
    for (auto& [name, data] : inner) ASSERT_EQ(WriteStream(sub, Wide(name).c_str(), data), S_OK) << name;
    sub->Release();
    root->Release();

    std::string expected;
    std::map<std::string, std::vector<uint8_t>> all;
    for (auto& [name, data] : streams) all[name] = data;
    for (auto& [name, data] : inner) all["Sub/" + name] = data;
    std::vector<std::string> rows;
    for (auto& [name, data] : all)
        rows.push_back(name + "\tstream\t" + std::to_string(data.size()) + "\t" + Hex(Crc32(data)));
    rows.push_back("Sub\tstorage\t0\t0");
    std::sort(rows.begin(), rows.end());
    for (auto& r : rows) expected += r + "\n";
    EXPECT_EQ(OleListing(file), expected);

    for (auto& [name, data] : all) EXPECT_EQ(GsfCat(file, name), data) << name;
    std::string list = RunCommand("gsf list " + Quote(file));
    EXPECT_NE(list.find("1048576 Mega"), std::string::npos) << list;

    // And in ours.
    ASSERT_EQ(StgOpenStorage(Wide(file).c_str(), nullptr, kRead, nullptr, 0, &root), S_OK);
    std::vector<uint8_t> got;
    for (auto& [name, data] : streams) {
        ASSERT_EQ(ReadStream(root, Wide(name).c_str(), got), S_OK) << name;
        EXPECT_EQ(got, data) << name;
    }
    root->Release();
}

}  // namespace

namespace {

// Files that gsf writes read back in ours, sub-storages included.
TEST(StorageInterop, GsfWrittenFileReadsInOurs)
{
    TestEnvironment env;
    const std::string dir = env.Path("src");
    std::filesystem::create_directories(dir + "/folder");
    std::map<std::string, std::vector<uint8_t>> files = {
        {"tiny", Pattern(7, 11)}, {"mid", Pattern(4096, 12)}, {"large", Pattern(300000, 13)},
        {"folder/nested", Pattern(2000, 14)}};
    for (auto& [name, data] : files) {
        FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
    }
    const std::string file = env.Path("gsf.ole");
    int status = 0;
    RunCommand("cd " + Quote(dir) + " && gsf createole " + Quote(file) + " tiny mid large folder >/dev/null 2>&1", &status);
    ASSERT_EQ(status, 0);

    IStorage* root = nullptr;
    ASSERT_EQ(StgOpenStorage(Wide(file).c_str(), nullptr, kRead, nullptr, 0, &root), S_OK);
    std::vector<uint8_t> got;
    for (const char* name : {"tiny", "mid", "large"}) {
        ASSERT_EQ(ReadStream(root, Wide(name).c_str(), got), S_OK) << name;
        EXPECT_EQ(got, files[name]) << name;
    }
    IStorage* folder = nullptr;
    ASSERT_EQ(root->OpenStorage(L"FOLDER", nullptr, kRead, nullptr, 0, &folder), S_OK);
    ASSERT_EQ(ReadStream(folder, L"Nested", got), S_OK);
    EXPECT_EQ(got, files["folder/nested"]);
    folder->Release();
    root->Release();
}

}  // namespace
