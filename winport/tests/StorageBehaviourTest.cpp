#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cwchar>
#include <map>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FileContents.h"
#include "StorageTestSupport.h"
#include "TestEnvironment.h"
#include "winport/Storage.h"

using namespace storagetest;

namespace {

constexpr DWORD kCreate = STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE;  // 0x1012
constexpr DWORD kReadWrite = STGM_SHARE_EXCLUSIVE | STGM_READWRITE;             // 0x12
constexpr DWORD kRead = STGM_SHARE_EXCLUSIVE | STGM_READ;                        // 0x10
constexpr DWORD kReadShared = STGM_SHARE_DENY_WRITE | STGM_READ;                 // 0x20

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class StorageFile : public ::testing::Test {
protected:
    std::string Make(const std::string& name, const std::vector<std::pair<std::wstring, std::vector<uint8_t>>>& streams)
    {
        const std::string path = env.Path(name);
        IStorage* root = nullptr;
        EXPECT_EQ(StgCreateDocfile(Wide(path).c_str(), kCreate, 0, &root), S_OK);
        if (!root) return path;
        for (auto& [n, data] : streams) EXPECT_EQ(WriteStream(root, n.c_str(), data), S_OK);
        root->Release();
        return path;
    }
    IStorage* Open(const std::string& path, DWORD mode, HRESULT expect = S_OK)
    {
        IStorage* root = nullptr;
        EXPECT_EQ(StgOpenStorage(Wide(path).c_str(), nullptr, mode, nullptr, 0, &root), expect) << path;
        return root;
    }
    std::vector<uint8_t> Read(IStorage* root, const wchar_t* name)
    {
        std::vector<uint8_t> data;
        EXPECT_EQ(ReadStream(root, name, data), S_OK);
        return data;
    }
    TestEnvironment env;
};

// The open sequence of the automation files: ask, create when missing, open otherwise.
TEST_F(StorageFile, IsStorageFileTellsTheThreeCases)
{
    const std::string text = env.Path("notes.txt");
    WriteFileBytes(text, {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(StgIsStorageFile(Wide(env.Path("missing.aut")).c_str()), STG_E_FILENOTFOUND);
    EXPECT_EQ(StgIsStorageFile(Wide(text).c_str()), S_FALSE);
    EXPECT_EQ(StgIsStorageFile(Wide(Make("a.aut", {})).c_str()), S_OK);
    WriteFileBytes(env.Path("empty"), {});
    EXPECT_EQ(StgIsStorageFile(Wide(env.Path("empty")).c_str()), S_FALSE);

    // Not a compound file: opening fails and the file is left alone.
    Open(text, kReadWrite, STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(FileBytes(text).size(), 5u);
    Open(env.Path("missing.aut"), kRead, STG_E_FILENOTFOUND);
    // Creating over an existing file needs STGM_CREATE.
    IStorage* root = nullptr;
    EXPECT_EQ(StgCreateDocfile(Wide(text).c_str(), STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, &root),
              STG_E_FILEALREADYEXISTS);
}

// Windows paths map below the data root, and wide names go through Windows-1252.
TEST_F(StorageFile, WindowsPathsAndWideNames)
{
    std::filesystem::create_directories(env.Path("data/c/Cantle/Mixes"));
    const std::wstring name = L"C:\\CANTLE\\mixes\\Gr\u00f6\u00dfe \u20ac.aut";
    IStorage* root = nullptr;
    ASSERT_EQ(StgCreateDocfile(name.c_str(), kCreate, 0, &root), S_OK);
    ASSERT_EQ(WriteStream(root, L"Pr\u00e9f\u00e9rence \u2122", Pattern(10, 1)), S_OK);
    root->Release();
    const std::string host = env.Path("data/c/Cantle/Mixes/Gr\xf6\xdf" "e \x80.aut");
    ASSERT_TRUE(std::filesystem::exists(host));
    // olefile reads the element name as the same characters.
    std::string listing = OleListing(host);
    EXPECT_EQ(listing.substr(0, listing.find('\t')), "Pr\xc3\xa9" "f\xc3\xa9rence \xe2\x84\xa2") << listing;
}

TEST_F(StorageFile, NamesCompareWithoutCaseAndAreChecked)
{
    const std::string path = Make("names.aut", {{L"Time And Date", Pattern(16, 1)}});
    IStorage* root = Open(path, kReadWrite);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Read(root, L"TIME AND DATE"), Pattern(16, 1));
    EXPECT_EQ(Read(root, L"time and date"), Pattern(16, 1));
    // Creating under another case replaces the one element.
    ASSERT_EQ(WriteStream(root, L"TIME and DATE", Pattern(16, 2)), S_OK);
    IEnumSTATSTG* e = nullptr;
    ASSERT_EQ(root->EnumElements(0, nullptr, 0, &e), S_OK);
    STATSTG st[4];
    ULONG n = 0;
    EXPECT_EQ(e->Next(4, st, &n), S_FALSE);
    ASSERT_EQ(n, 1u);
    EXPECT_EQ(std::wstring(st[0].pwcsName), L"TIME and DATE");
    CoTaskMemFree(st[0].pwcsName);
    e->Release();

    struct Case {
        const wchar_t* name;
        HRESULT expect;
    } cases[] = {
        {L"abcdefghijklmnopqrstuvwxyz01234", S_OK},                // 31 characters
        {L"abcdefghijklmnopqrstuvwxyz012345", STG_E_INVALIDNAME},  // 32
        {L"", STG_E_INVALIDNAME},
        {L"a/b", STG_E_INVALIDNAME},
        {L"a\\b", STG_E_INVALIDNAME},
        {L"a:b", STG_E_INVALIDNAME},
        {L"a!b", STG_E_INVALIDNAME},
        {L"\u0005SummaryInformation", S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "name length " << std::wcslen(c.name));
        IStream* s = nullptr;
        EXPECT_EQ(root->CreateStream(c.name, kCreate, 0, 0, &s), c.expect);
        if (s) s->Release();
    }
    root->Release();
}

TEST_F(StorageFile, ElementAndModeErrors)
{
    const std::string path = Make("errors.aut", {{L"Data", Pattern(100, 1)}});
    IStorage* root = Open(path, kReadWrite);
    ASSERT_NE(root, nullptr);
    IStream* s = nullptr;
    IStream* t = nullptr;
    IStorage* sub = nullptr;
    EXPECT_EQ(root->OpenStream(L"Nothing", nullptr, kRead, 0, &s), STG_E_FILENOTFOUND);
    EXPECT_EQ(root->OpenStorage(L"Data", nullptr, kRead, nullptr, 0, &sub), STG_E_FILENOTFOUND);
    EXPECT_EQ(root->OpenStream(L"Data", nullptr, STGM_READ | STGM_SHARE_DENY_NONE, 0, &s), STG_E_INVALIDFLAG);
    EXPECT_EQ(root->CreateStream(L"Data", kReadWrite, 0, 0, &s), STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(root->DestroyElement(L"Nothing"), STG_E_FILENOTFOUND);
    // A stream is open once at a time.
    ASSERT_EQ(root->OpenStream(L"Data", nullptr, kRead, 0, &s), S_OK);
    EXPECT_EQ(root->OpenStream(L"data", nullptr, kRead, 0, &t), STG_E_ACCESSDENIED);
    // A read-only stream refuses writes.
    ULONG n = 0;
    EXPECT_EQ(s->Write("x", 1, &n), STG_E_ACCESSDENIED);
    // Destroying an open element reverts its objects.
    EXPECT_EQ(root->DestroyElement(L"DATA"), S_OK);
    char buf[4];
    EXPECT_EQ(s->Read(buf, 4, &n), STG_E_REVERTED);
    s->Release();
    root->Release();

    // A read-only storage refuses every change.
    root = Open(path, kRead);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->CreateStream(L"New", kCreate, 0, 0, &s), STG_E_ACCESSDENIED);
    EXPECT_EQ(root->CreateStorage(L"New", kCreate, 0, 0, &sub), STG_E_ACCESSDENIED);
    EXPECT_EQ(root->DestroyElement(L"Data"), STG_E_ACCESSDENIED);
    root->Release();

    // Root modes: writers are exclusive, readers exclusive or deny-write.
    IStorage* r = nullptr;
    EXPECT_EQ(StgOpenStorage(Wide(path).c_str(), nullptr, STGM_READWRITE | STGM_SHARE_DENY_WRITE, nullptr, 0, &r),
              STG_E_INVALIDFLAG);
    EXPECT_EQ(StgOpenStorage(Wide(path).c_str(), nullptr, STGM_READ | STGM_TRANSACTED | STGM_SHARE_EXCLUSIVE, nullptr, 0, &r),
              STG_E_INVALIDFLAG);
    EXPECT_EQ(r, nullptr);
}

TEST_F(StorageFile, StreamReadsSeeksAndGaps)
{
    const std::string path = Make("stream.aut", {});
    IStorage* root = Open(path, kReadWrite);
    ASSERT_NE(root, nullptr);
    IStream* s = nullptr;
    ASSERT_EQ(root->CreateStream(L"S", kCreate, 0, 0, &s), S_OK);
    std::vector<uint8_t> data = Pattern(1000, 3);
    ULONG n = 0;
    ASSERT_EQ(s->Write(data.data(), 1000, &n), S_OK);
    EXPECT_EQ(n, 1000u);
    // A read past the end delivers what there is.
    LARGE_INTEGER move;
    move.QuadPart = -10;
    ULARGE_INTEGER pos;
    ASSERT_EQ(s->Seek(move, STREAM_SEEK_END, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 990u);
    uint8_t buf[100];
    ASSERT_EQ(s->Read(buf, 100, &n), S_OK);
    EXPECT_EQ(n, 10u);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 10), std::vector<uint8_t>(data.end() - 10, data.end()));
    ASSERT_EQ(s->Read(buf, 100, &n), S_OK);
    EXPECT_EQ(n, 0u);
    move.QuadPart = -1;
    EXPECT_EQ(s->Seek(move, STREAM_SEEK_SET, &pos), STG_E_INVALIDFUNCTION);
    // Writing past the end leaves a gap of zeros, across the mini-stream cut-off.
    move.QuadPart = 6000;
    ASSERT_EQ(s->Seek(move, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(s->Write("end", 3, &n), S_OK);
    STATSTG st{};
    ASSERT_EQ(s->Stat(&st, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(st.cbSize.QuadPart, 6003u);
    EXPECT_EQ(st.type, static_cast<DWORD>(STGTY_STREAM));
    s->Release();
    root->Release();

    std::vector<uint8_t> expect = data;
    expect.resize(6000, 0);
    expect.insert(expect.end(), {'e', 'n', 'd'});
    EXPECT_EQ(GsfCat(path, "S"), expect);
}

// Replacing one stream leaves the others byte-identical; sizes cross the cut-off both ways.
TEST_F(StorageFile, ReplaceAndResizeKeepOtherStreams)
{
    const std::vector<uint8_t> a = Pattern(300, 1), b = Pattern(20000, 2), c = Pattern(3000, 3);
    const std::string path = Make("keep.aut", {{L"A", a}, {L"B", b}, {L"C", c}});

    struct Step {
        const wchar_t* name;
        size_t size;
        bool viaSetSize;
    } steps[] = {
        {L"B", 100, false},    // big to mini, replaced
        {L"A", 9000, false},   // mini to big, replaced
        {L"B", 4096, true},    // grown to the cut-off by SetSize
        {L"A", 4095, true},    // shrunk just below it
        {L"C", 0, true},       // emptied
        {L"C", 70000, false},  // and filled again
    };
    std::map<std::wstring, std::vector<uint8_t>> expect = {{L"A", a}, {L"B", b}, {L"C", c}};
    uint32_t seed = 10;
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "resize to " << step.size);
        IStorage* root = Open(path, kReadWrite);
        ASSERT_NE(root, nullptr);
        if (step.viaSetSize) {
            IStream* s = nullptr;
            ASSERT_EQ(root->OpenStream(step.name, nullptr, kReadWrite, 0, &s), S_OK);
            ULARGE_INTEGER size;
            size.QuadPart = step.size;
            ASSERT_EQ(s->SetSize(size), S_OK);
            s->Release();
            expect[step.name].resize(step.size, 0);
        } else {
            expect[step.name] = Pattern(step.size, ++seed);
            ASSERT_EQ(WriteStream(root, step.name, expect[step.name]), S_OK);
        }
        root->Release();
        root = Open(path, kRead);
        ASSERT_NE(root, nullptr);
        for (auto& [n, data] : expect) EXPECT_EQ(Read(root, n.c_str()), data);
        root->Release();
    }
    for (auto& [n, data] : expect) EXPECT_EQ(GsfCat(path, std::string(n.begin(), n.end())), data);
}

// A file with more than 109 allocation-table sectors keeps the rest in DIFAT sectors.
TEST_F(StorageFile, LargeFileUsesDifatSectors)
{
    const std::vector<uint8_t> big = Pattern(9 << 20, 4);
    const std::string path = Make("large.aut", {{L"Big", big}, {L"Small", Pattern(50, 5)}});
    const std::vector<uint8_t> bytes = FileBytes(path);
    ASSERT_GE(bytes.size(), 512u);
    const uint32_t difatCount = bytes[72] | (bytes[73] << 8) | (bytes[74] << 16) | (uint32_t(bytes[75]) << 24);
    EXPECT_GE(difatCount, 1u);
    EXPECT_EQ(OleListing(path), "Big\tstream\t" + std::to_string(big.size()) + "\t" + [&] {
        char h[16];
        std::snprintf(h, sizeof h, "%08x", Crc32(big));
        return std::string(h);
    }() + "\nSmall\tstream\t50\t" + [&] {
        char h[16];
        std::snprintf(h, sizeof h, "%08x", Crc32(Pattern(50, 5)));
        return std::string(h);
    }() + "\n");
    IStorage* root = Open(path, kReadWrite);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Read(root, L"Big"), big);
    root->Release();
}

// The allocation table of a file as its header and DIFAT place it.
std::vector<uint32_t> FatOf(std::vector<uint8_t>& bytes)
{
    CfbBytes f{bytes};
    std::vector<uint32_t> fatSectors;
    const uint32_t count = f.Get32(44);
    for (uint32_t i = 0; i < std::min<uint32_t>(count, 109); ++i) fatSectors.push_back(f.Get32(76 + 4 * i));
    for (uint32_t d = f.Get32(68); fatSectors.size() < count && d < 0xFFFFFFFAu;) {
        for (uint32_t j = 0; j < 127 && fatSectors.size() < count; ++j) fatSectors.push_back(f.Get32(CfbBytes::SectorAt(d) + 4 * j));
        d = f.Get32(CfbBytes::SectorAt(d) + 508);
    }
    std::vector<uint32_t> fat;
    for (uint32_t s : fatSectors) {
        for (uint32_t j = 0; j < 128; ++j) fat.push_back(f.Get32(CfbBytes::SectorAt(s) + 4 * j));
    }
    return fat;
}

// Each save of a small stream into a large file (the rounds of a mix-pass save) writes the new
// data and only the table sectors that change, each to a sector the last save does not use:
// every sector of the committed content keeps its bytes, and the file reads in olefile after
// every round.
TEST_F(StorageFile, CommitWritesOnlyChangedTablesToFreeSectors)
{
    const std::vector<uint8_t> big = Pattern(9 << 20, 4);
    const std::string path = Make("rounds.aut", {{L"Big", big}, {L"Small", Pattern(50, 5)}});
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        std::vector<uint8_t> before = FileBytes(path);
        const std::vector<uint32_t> fat = FatOf(before);
        ASSERT_GT(fat.size(), 109u * 128) << "the file needs DIFAT sectors";
        IStorage* root = Open(path, kReadWrite);
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(WriteStream(root, (L"Array" + std::to_wstring(round)).c_str(), Pattern(4000, round)), S_OK);
        EXPECT_EQ(WriteStream(root, L"File Version", Pattern(40, 10 + round)), S_OK);
        root->Release();
        const std::vector<uint8_t> after = FileBytes(path);
        size_t written = after.size() > before.size() ? (after.size() - before.size()) / 512 : 0;
        for (uint32_t s = 0; s < fat.size() && CfbBytes::SectorAt(s) + 512 <= std::min(before.size(), after.size()); ++s) {
            const bool same = std::equal(before.begin() + CfbBytes::SectorAt(s), before.begin() + CfbBytes::SectorAt(s) + 512,
                                         after.begin() + CfbBytes::SectorAt(s));
            if (fat[s] != 0xFFFFFFFFu) EXPECT_TRUE(same) << "sector " << s << " of the last save was written";
            else written += !same;
        }
        // 8 sectors of data; the directory, the mini stream and its table, a few sectors of the
        // allocation table and the DIFAT. The whole table alone would be 146 sectors.
        EXPECT_LE(written, 40u);
    }
    std::string expected = OleListing(path);
    for (const char* name : {"Array0", "Array1", "Array2", "Array3", "Big", "File Version", "Small"})
        EXPECT_NE(expected.find(std::string(name) + "\tstream\t"), std::string::npos) << name;
    IStorage* root = Open(path, kRead);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Read(root, L"Big"), big);
    EXPECT_EQ(Read(root, L"Array3"), Pattern(4000, 3));
    root->Release();
}

TEST_F(StorageFile, SubStoragesNestAndDestroyWithTheirContent)
{
    const std::string path = Make("tree.aut", {{L"Top", Pattern(10, 1)}});
    IStorage* root = Open(path, kReadWrite);
    ASSERT_NE(root, nullptr);
    IStorage* a = nullptr;
    IStorage* b = nullptr;
    ASSERT_EQ(root->CreateStorage(L"A", kCreate, 0, 0, &a), S_OK);
    ASSERT_EQ(a->CreateStorage(L"B", kCreate, 0, 0, &b), S_OK);
    ASSERT_EQ(WriteStream(b, L"Deep", Pattern(5000, 2)), S_OK);
    ASSERT_EQ(WriteStream(a, L"Mid", Pattern(100, 3)), S_OK);
    STATSTG st{};
    ASSERT_EQ(b->Stat(&st, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(std::wstring(st.pwcsName), L"B");
    EXPECT_EQ(st.type, static_cast<DWORD>(STGTY_STORAGE));
    CoTaskMemFree(st.pwcsName);
    b->Release();
    a->Release();
    root->Release();
    EXPECT_EQ(GsfCat(path, "A/B/Deep"), Pattern(5000, 2));

    const size_t before = FileBytes(path).size();
    root = Open(path, kReadWrite);
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->DestroyElement(L"a"), S_OK);
    root->Release();
    EXPECT_EQ(OleListing(path).find("A"), std::string::npos);
    EXPECT_EQ(GsfCat(path, "Top"), Pattern(10, 1));
    // The space of the destroyed elements is given back.
    EXPECT_LT(FileBytes(path).size(), before);
}

// The directory of every storage is a valid red-black tree in the format's name order,
// checked by olefile's reading of the raw entries.
TEST_F(StorageFile, DirectoryIsARedBlackTree)
{
    const std::string path = env.Path("rb.aut");
    IStorage* root = nullptr;
    ASSERT_EQ(StgCreateDocfile(Wide(path).c_str(), kCreate, 0, &root), S_OK);
    for (int count : {1, 2, 3, 6, 7, 8, 20, 41}) {
        IStorage* sub = nullptr;
        std::wstring name = L"S" + std::to_wstring(count);
        ASSERT_EQ(root->CreateStorage(name.c_str(), kCreate, 0, 0, &sub), S_OK);
        for (int i = 0; i < count; ++i) {
            // Names of several lengths and cases, in no order.
            std::wstring child = std::wstring(1 + (i * 7) % 5, wchar_t(i % 2 ? 'a' + i % 26 : 'A' + (i * 3) % 26)) +
                                 std::to_wstring(i);
            ASSERT_EQ(WriteStream(sub, child.c_str(), Pattern(i, i)), S_OK);
        }
        sub->Release();
    }
    root->Release();

    static const char kCheck[] = R"PY(
import sys, olefile
ole = olefile.OleFileIO(sys.argv[1])
entries = ole.direntries
def key(e):
    return (len(e.name), e.name.upper())
def walk(sid, lo, hi, depth):
    # returns black height
    if sid == olefile.NOSTREAM:
        return 1
    e = ole._load_direntry(sid)
    if lo is not None and not key(e) > lo: raise SystemExit("order at %s" % e.name)
    if hi is not None and not key(e) < hi: raise SystemExit("order at %s" % e.name)
    for c in (e.sid_left, e.sid_right):
        if e.color == 0 and c != olefile.NOSTREAM and ole._load_direntry(c).color == 0:
            raise SystemExit("red under red at %s" % e.name)
    l = walk(e.sid_left, lo, key(e), depth + 1)
    r = walk(e.sid_right, key(e), hi, depth + 1)
    if l != r: raise SystemExit("black heights differ at %s" % e.name)
    return l + (1 if e.color == 1 else 0)
ok = 0
for sid in range(len(entries)):
    e = ole._load_direntry(sid)
    if e.entry_type in (olefile.STGTY_STORAGE, olefile.STGTY_ROOT) and e.sid_child != olefile.NOSTREAM:
        top = ole._load_direntry(e.sid_child)
        walk(e.sid_child, None, None, 0)
        ok += 1
print("ok", ok)
)PY";
    int status = 0;
    std::string out = RunCommand("/usr/bin/python3 -c " + Quote(kCheck) + " " + Quote(path) + " 2>&1", &status);
    EXPECT_EQ(out, "ok 9\n");
}

// ---- exclusive opening ----------------------------------------------------------------------

// The result of StgOpenStorage in a second process.
HRESULT OpenInChild(const std::string& path, DWORD mode)
{
    int fds[2];
    if (::pipe(fds) != 0) return E_FAIL;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        IStorage* root = nullptr;
        HRESULT hr = StgOpenStorage(Wide(path).c_str(), nullptr, mode, nullptr, 0, &root);
        if (::write(fds[1], &hr, sizeof hr) != sizeof hr) ::_exit(2);
        ::_exit(0);
    }
    ::close(fds[1]);
    HRESULT hr = E_FAIL;
    if (::read(fds[0], &hr, sizeof hr) != sizeof hr) hr = E_FAIL;
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    return hr;
}

TEST_F(StorageFile, ShareModesLockOutOtherOpeners)
{
    const std::string path = Make("shared.aut", {{L"Data", Pattern(10, 1)}});
    struct Case {
        DWORD first;
        DWORD second;
        HRESULT expect;
    } cases[] = {
        {kReadWrite, kReadWrite, STG_E_SHAREVIOLATION},
        {kReadWrite, kRead, STG_E_SHAREVIOLATION},
        {kRead, kRead, STG_E_SHAREVIOLATION},        // exclusive reading shares with nobody
        {kRead, kReadShared, STG_E_SHAREVIOLATION},
        {kReadShared, kReadShared, S_OK},            // readers that only deny writing share
        {kReadShared, kRead, STG_E_SHAREVIOLATION},  // an exclusive reader would deny the first
        {kReadShared, kReadWrite, STG_E_SHAREVIOLATION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "first 0x" << c.first << " second 0x" << c.second);
        IStorage* first = Open(path, c.first);
        ASSERT_NE(first, nullptr);
        IStorage* second = Open(path, c.second, c.expect);
        EXPECT_EQ(OpenInChild(path, c.second), c.expect);
        if (second) second->Release();
        first->Release();
    }
    // Released: open again.
    IStorage* again = Open(path, kReadWrite);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Read(again, L"Data"), Pattern(10, 1));
    again->Release();
}

// The lock follows the file when a save replaces it.
TEST_F(StorageFile, LockHoldsAcrossReplacement)
{
    const std::string path = Make("replaced.aut", {{L"Old", Pattern(10, 1)}});
    IStorage* root = nullptr;
    ASSERT_EQ(StgCreateDocfile(Wide(path).c_str(), kCreate, 0, &root), S_OK);
    EXPECT_EQ(OpenInChild(path, kRead), STG_E_SHAREVIOLATION);
    ASSERT_EQ(WriteStream(root, L"New", Pattern(20, 2)), S_OK);
    // Until the first commit the old content stays in place.
    EXPECT_EQ(GsfCat(path, "Old"), Pattern(10, 1));
    ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK);
    EXPECT_EQ(GsfCat(path, "New"), Pattern(20, 2));
    EXPECT_EQ(OpenInChild(path, kRead), STG_E_SHAREVIOLATION);
    Open(path, kRead, STG_E_SHAREVIOLATION);
    root->Release();
    EXPECT_EQ(OpenInChild(path, kRead), S_OK);
    // No temporary file is left beside it.
    size_t files = 0;
    for (auto& entry : std::filesystem::directory_iterator(env.Root())) files += entry.is_regular_file();
    EXPECT_EQ(files, 1u);
}

// ---- failed saves ---------------------------------------------------------------------------

// Runs a save in a child process whose file size is limited, so that its writes fail.
int SaveInLimitedChild(const std::string& path, size_t limit, bool create)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit rl;
        rl.rlim_cur = rl.rlim_max = limit;
        ::setrlimit(RLIMIT_FSIZE, &rl);
        IStorage* root = nullptr;
        HRESULT hr = create ? StgCreateDocfile(Wide(path).c_str(), kCreate, 0, &root)
                            : StgOpenStorage(Wide(path).c_str(), nullptr, kReadWrite, nullptr, 0, &root);
        if (FAILED(hr)) ::_exit(1);
        hr = WriteStream(root, L"Huge", Pattern(2 << 20, 9));
        HRESULT commit = root->Commit(STGC_DEFAULT);
        root->Release();
        ::_exit(FAILED(hr) || FAILED(commit) ? 3 : 0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(StorageFile, FailedSaveLeavesThePreviousFile)
{
    const std::string path = Make("safe.aut", {{L"Keep", Pattern(5000, 1)}, {L"Also", Pattern(100, 2)}});
    const std::string listing = OleListing(path);
    const size_t length = FileBytes(path).size();
    for (bool create : {false, true}) {
        SCOPED_TRACE(create ? "created over" : "opened");
        // The limit lets the small tables through but not the new stream.
        EXPECT_EQ(SaveInLimitedChild(path, length + 64 * 1024, create), 3);
        // The same content (free sectors may have been written), no growth, no stray files.
        EXPECT_EQ(OleListing(path), listing);
        EXPECT_EQ(FileBytes(path).size(), length);
        size_t files = 0;
        for (auto& entry : std::filesystem::directory_iterator(env.Root())) files += entry.is_regular_file();
        EXPECT_EQ(files, 1u);
    }
    IStorage* root = Open(path, kReadWrite);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Read(root, L"Keep"), Pattern(5000, 1));
    root->Release();
}

// A damaged chain is never read as data. A loop that the stream's size would cut before it
// repeats, two elements that share sectors, a looping directory or mini-stream container: for
// reading, the damaged elements fail to open and the rest stay readable (a damaged directory
// fails the file); for writing, the file fails to open.
TEST_F(StorageFile, DamagedChainsFailTheirElements)
{
    struct Case {
        const char* name;
        void (*damage)(CfbBytes& f);
        bool fileFails;
        std::vector<std::wstring> failing;
    };
    const Case cases[] = {
        {"loop inside the size", [](CfbBytes& f) {
             const uint32_t second = f.Fat(f.StartOf("Large"));
             f.SetFat(f.Fat(f.Fat(second)), second);
         }, false, {L"Large"}},
        {"two streams share sectors", [](CfbBytes& f) { f.Put32(f.EntryAt("Other") + 116, f.StartOf("Large")); },
         false, {L"Large", L"Other"}},
        {"mini-stream container loops", [](CfbBytes& f) {
             const uint32_t start = f.StartOf("Root Entry");
             f.SetFat(f.Fat(f.Fat(start)), start);
         }, false, {L"Small"}},
        {"directory loops", [](CfbBytes& f) { f.SetFat(f.FirstDirectorySector(), f.FirstDirectorySector()); }, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Make("damaged.aut", {{L"Large", Pattern(5000, 1)}, {L"Other", Pattern(5000, 2)},
                                                      {L"Kept", Pattern(6000, 3)}, {L"Small", Pattern(3000, 4)}});
        std::vector<uint8_t> bytes = FileBytes(path);
        CfbBytes f{bytes};
        ASSERT_NE(f.EntryAt("Other"), 0u);
        c.damage(f);
        WriteFileBytes(path, bytes);

        IStorage* root = Open(path, kReadWrite, STG_E_DOCFILECORRUPT);
        if (root) root->Release();
        root = Open(path, kRead, c.fileFails ? STG_E_DOCFILECORRUPT : S_OK);
        if (!root) continue;
        for (const wchar_t* name : {L"Large", L"Other", L"Kept", L"Small"}) {
            SCOPED_TRACE(std::string(name, name + std::wcslen(name)));
            const bool fails = std::find(c.failing.begin(), c.failing.end(), name) != c.failing.end();
            std::vector<uint8_t> data;
            EXPECT_EQ(ReadStream(root, name, data), fails ? STG_E_DOCFILECORRUPT : S_OK);
            if (!fails) {
                EXPECT_EQ(data.size(), std::wstring(name) == L"Kept" ? 6000u : std::wstring(name) == L"Small" ? 3000u : 5000u);
            }
        }
        root->Release();
        EXPECT_EQ(FileBytes(path), bytes);
    }
}

}  // namespace
