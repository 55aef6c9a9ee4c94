// The I/O configuration file: a save read back, files of versions 0 and 1 written from the
// record layouts by hand, refused versions, damaged and cut streams, a save that fails, and the
// file as gsf sees it.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

#include "StorageTestSupport.h"
#include "TestEnvironment.h"
#include "quenby/IOConfigFile.h"

namespace {

using storagetest::Wide;

class IOConfigFileTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) { return env.Path("data/" + name); }

    // A compound file of the given streams (name, bytes).
    void Write(const std::string& path, const std::vector<std::pair<const wchar_t*, std::vector<uint8_t>>>& streams)
    {
        IStorage* root = nullptr;
        ASSERT_EQ(S_OK, StgCreateDocfile(Wide(path).c_str(), STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, &root));
        for (const auto& [name, bytes] : streams) ASSERT_EQ(S_OK, storagetest::WriteStream(root, name, bytes));
        root->Release();
    }

    TestEnvironment env;
};

std::vector<uint8_t> int32s(std::initializer_list<int32_t> values)
{
    std::vector<uint8_t> out(4 * values.size());
    std::memcpy(out.data(), values.begin(), out.size());
    return out;
}

// A record of `size` bytes: int32 fields from 0, then texts at their offsets.
std::vector<uint8_t> rec(size_t size, std::initializer_list<int32_t> ints, std::initializer_list<std::pair<size_t, const char*>> texts = {})
{
    std::vector<uint8_t> r(size, 0);
    std::memcpy(r.data(), ints.begin(), std::min(size, 4 * ints.size()));
    for (auto [at, t] : texts) std::memcpy(r.data() + at, t, std::min(std::strlen(t), size - at));
    return r;
}

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

IOPortSettings settings(const char* name, const char* name2, const char* scribble, int number, int dither, int delay, int relay, int stereo)
{
    IOPortSettings s;
    s.name = name, s.name2 = name2, s.scribble = scribble;
    s.number = number, s.dither = dither, s.delay = delay, s.relay = relay, s.stereo = stereo;
    return s;
}

void fill(CIOConfigFile& file)
{
    file.GetPorts(1)[MakeIOPortKey(2, 1, 6, 3)] = settings("Kick", "In", "abc", 12, 1, 96, 4, 1);
    file.GetPorts(1)[MakeIOPortKey(0, 0, 0, 0)] = settings("", "", "", -1, -1, -1, -1, 0);
    file.GetPorts(0)[MakeIOPortKey(11, 4, 63, 1)] = settings("Mon", "", "", 3, 0, 0, -1, 0);
    file.GetConverters(1)[MakeIOPortKey(0, 0, 1, 0)] = {2, 0};
    file.GetConverters(0)[MakeIOPortKey(7, 3, 2, 2)] = {1, 5};
    file.SetInputDelayUnits(1);
    file.SetOutputDelayUnits(3);
}

void expectSameMaps(const CIOConfigFile& a, const CIOConfigFile& b)
{
    for (int input : {0, 1}) {
        EXPECT_EQ(a.GetPorts(input), b.GetPorts(input)) << "ports, input " << input;
        EXPECT_EQ(a.GetConverters(input), b.GetConverters(input)) << "converters, input " << input;
    }
    EXPECT_EQ(a.GetInputDelayUnits(), b.GetInputDelayUnits());
    EXPECT_EQ(a.GetOutputDelayUnits(), b.GetOutputDelayUnits());
}

// Runs Load and says whether it threw a file exception (of the generic cause).
bool loadThrows(CIOConfigFile& file, const std::string& path)
{
    try {
        file.Load(path.c_str());
    } catch (CFileException* e) {
        const bool generic = e->m_cause == CFileException::genericException;
        e->Delete();
        return generic;
    }
    return false;
}

TEST_F(IOConfigFileTest, SaveThenLoadGivesTheSameMaps)
{
    const std::string path = Path("studio.cfg");
    CIOConfigFile saved;
    fill(saved);
    saved.Save(path.c_str());
    CIOConfigFile loaded;
    ASSERT_EQ(1, loaded.Load(path.c_str()));
    EXPECT_EQ(2, loaded.GetVersion());
    expectSameMaps(saved, loaded);

    // The records as another reader sees them: inputs in key order, the texts zero-ended.
    const auto input = storagetest::GsfCat(path, "Input");
    EXPECT_EQ(join({rec(52, {0, 0, 0, -1, -1, -1, -1, 0}), rec(52, {2, 1, 6, 96, 1, 12, 4, 1, 0, 0, 0, 0, 3}, {{32, "Kick"}, {37, "In"}, {42, "abc"}})}),
              input);
    EXPECT_EQ(int32s({2}), storagetest::GsfCat(path, "Version"));
    EXPECT_EQ(int32s({3}), storagetest::GsfCat(path, "Output Delay Units"));
    const std::string listing = storagetest::RunCommand("gsf list " + storagetest::Quote(path) + " 2>&1");
    for (const char* stream : {"Version", "Input", "Output", "SRC In", "SRC Out", "Input Delay Units", "Output Delay Units"})
        EXPECT_NE(std::string::npos, listing.find(stream)) << stream << " in\n" << listing;

    // Saving again into the file keeps it one configuration: the old records are replaced.
    CIOConfigFile smaller;
    smaller.GetPorts(0)[MakeIOPortKey(1, 1, 1, 1)] = settings("A", "", "", 1, 1, 1, 1, 0);
    smaller.Save(path.c_str());
    ASSERT_EQ(1, loaded.Load(path.c_str()));
    expectSameMaps(smaller, loaded);
}

TEST_F(IOConfigFileTest, OlderVersionsLoadAsTheirRecordsSay)
{
    // Version 0: 40-byte records, no second name, scribble or system.
    const std::string v0 = Path("v0.cfg");
    Write(v0, {{L"Version", int32s({0})},
               {L"Input", join({rec(40, {3, 2, 1, 480, 1, 7, 9, 1}, {{32, "Horn5"}}), rec(40, {1, 0, 0, 0, 0, 0, 0, 0})})},
               {L"SRC Out", rec(40, {4, 4, 4, 2, 0, 6})},
               {L"Input Delay Units", int32s({2})}});
    CIOConfigFile file;
    ASSERT_EQ(1, file.Load(v0.c_str()));
    EXPECT_EQ(0, file.GetVersion());
    ASSERT_EQ(2u, file.GetPorts(1).size());
    // A name that fills its five bytes is read within them.
    EXPECT_EQ(settings("Horn5", "", "", 7, 1, 480, 9, 1), file.GetPorts(1).at(MakeIOPortKey(3, 2, 1, 0)));
    EXPECT_TRUE(file.GetPorts(0).empty());
    ASSERT_EQ(1u, file.GetConverters(0).size());
    EXPECT_EQ((IOConverterSettings{2, 6}), file.GetConverters(0).at(MakeIOPortKey(4, 4, 4, 0)));
    EXPECT_EQ(2, file.GetInputDelayUnits());

    // Version 1: 48 bytes with the second name and scribble, still no system. A file without a
    // "Version" stream is version 0.
    const std::string v1 = Path("v1.cfg");
    Write(v1, {{L"Version", int32s({1})},
               {L"Output", rec(48, {5, 1, 2, 0, 0, 4, -1, 0}, {{32, "Out"}, {37, "Two"}, {42, "Scr"}})}});
    ASSERT_EQ(1, file.Load(v1.c_str()));
    EXPECT_TRUE(file.GetPorts(1).empty());  // emptied by the load
    EXPECT_EQ(settings("Out", "Two", "Scr", 4, 0, 0, -1, 0), file.GetPorts(0).at(MakeIOPortKey(5, 1, 2, 0)));
    const std::string none = Path("none.cfg");
    Write(none, {{L"Input", rec(40, {1, 1, 1, 1, 1, 1, 1, 1})}});
    ASSERT_EQ(1, file.Load(none.c_str()));
    EXPECT_EQ(0, file.GetVersion());
    EXPECT_EQ(1u, file.GetPorts(1).size());

    // A later record of the same key replaces an earlier one; keys take the low byte of each field.
    const std::string repeated = Path("repeated.cfg");
    Write(repeated, {{L"Version", int32s({2})},
                     {L"Input", join({rec(52, {1, 2, 3, 10}), rec(52, {0x101, 0x202, 0x303, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0x400})})}});
    ASSERT_EQ(1, file.Load(repeated.c_str()));
    ASSERT_EQ(1u, file.GetPorts(1).size());
    EXPECT_EQ(20, file.GetPorts(1).at(MakeIOPortKey(1, 2, 3, 0)).delay);
}

TEST_F(IOConfigFileTest, RefusedAndDamagedFiles)
{
    CIOConfigFile file;
    fill(file);
    // Unknown versions and a version stream too short for its number throw, with the maps empty.
    for (const auto& version : {int32s({3}), int32s({-1}), std::vector<uint8_t>{2, 0}}) {
        const std::string path = Path("bad.cfg");
        Write(path, {{L"Version", version}, {L"Input", rec(52, {1, 1, 1})}});
        fill(file);
        EXPECT_TRUE(loadThrows(file, path));
        EXPECT_TRUE(file.GetPorts(1).empty() && file.GetPorts(0).empty() && file.GetConverters(1).empty());
    }

    // Not a compound file, or no file: nothing loaded, 0.
    const std::string text = Path("text.cfg");
    FILE* f = std::fopen(text.c_str(), "w");
    ASSERT_NE(nullptr, f);
    std::fputs("Input\n", f);
    std::fclose(f);
    fill(file);
    EXPECT_EQ(0, file.Load(text.c_str()));
    EXPECT_TRUE(file.GetPorts(1).empty());
    EXPECT_EQ(0, file.Load(Path("missing.cfg").c_str()));

    // Cut streams: only whole records load; a short unit stream leaves the unit as it was.
    const std::string cut = Path("cut.cfg");
    Write(cut, {{L"Version", int32s({2})},
                {L"Input", join({rec(52, {1, 0, 0, 5}), rec(52, {2, 0, 0, 6}), rec(30, {3, 0, 0, 7})})},
                {L"SRC In", rec(51, {4, 0, 0, 1})},
                {L"Output Delay Units", {1, 0}}});
    file.SetOutputDelayUnits(3);
    ASSERT_EQ(1, file.Load(cut.c_str()));
    EXPECT_EQ(2u, file.GetPorts(1).size());
    EXPECT_EQ(0u, file.GetPorts(1).count(MakeIOPortKey(3, 0, 0, 0)));
    EXPECT_TRUE(file.GetConverters(1).empty());
    EXPECT_EQ(3, file.GetOutputDelayUnits());
}

// Streams that are there but cannot be read whole fail the load as a bad version does: a file
// exception, the maps empty, the version and delay units as they were. A stream that is not
// there is only missing.
TEST_F(IOConfigFileTest, DamagedStreamsFailTheLoad)
{
    // 120 ports and converters each way: "SRC In" (6,240 bytes) lies in the file's own sectors.
    CIOConfigFile saved;
    fill(saved);
    for (int i = 0; i < 120; ++i) {
        const IOPortKey key = MakeIOPortKey(i % 12, i / 12, i % 7, 0);
        saved.GetPorts(1)[key] = settings("In", "", "", i, 0, i, 0, 0);
        saved.GetConverters(1)[key] = {i % 3, i % 5};
    }
    const std::string path = Path("damaged.cfg");
    saved.Save(path.c_str());
    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(nullptr, f);
    std::vector<uint8_t> whole(1 << 20);
    whole.resize(std::fread(whole.data(), 1, whole.size(), f));
    std::fclose(f);
    auto writeBytes = [&](const std::vector<uint8_t>& bytes) {
        FILE* out = std::fopen(path.c_str(), "wb");
        ASSERT_NE(nullptr, out);
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
    };

    struct Damage {
        const char* what;
        std::function<void(storagetest::CfbBytes&)> apply;
    };
    const Damage damages[] = {
        {"SRC In chain loops", [](storagetest::CfbBytes& b) { b.SetFat(b.StartOf("SRC In"), b.StartOf("SRC In")); }},
        {"SRC In chain ends early", [](storagetest::CfbBytes& b) { b.SetFat(b.StartOf("SRC In"), 0xFFFFFFFEu); }},
        {"Version size beyond the file", [](storagetest::CfbBytes& b) { b.Put32(b.EntryAt("Version") + 120, 0x7FFFFF00u); }},
        {"Version starting past the end", [](storagetest::CfbBytes& b) { b.Put32(b.EntryAt("Version") + 116, 0x00FFFFF0u); }},
        {"Input size beyond the file", [](storagetest::CfbBytes& b) { b.Put32(b.EntryAt("Input") + 120, 0x00200000u); }},
        {"Output Delay Units size beyond the file", [](storagetest::CfbBytes& b) { b.Put32(b.EntryAt("Output Delay Units") + 120, 5000u); }},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        std::vector<uint8_t> bytes = whole;
        storagetest::CfbBytes file{bytes};
        damage.apply(file);
        writeBytes(bytes);
        CIOConfigFile loaded;
        fill(loaded);
        loaded.SetInputDelayUnits(7);
        loaded.SetOutputDelayUnits(8);
        bool threw = false;
        try {
            loaded.Load(path.c_str());
        } catch (CFileException* e) {
            threw = true;
            EXPECT_NE(CFileException::none, e->m_cause);
            e->Delete();
        }
        EXPECT_TRUE(threw);
        for (int input : {0, 1}) {
            EXPECT_TRUE(loaded.GetPorts(input).empty());
            EXPECT_TRUE(loaded.GetConverters(input).empty());
        }
        EXPECT_EQ(0, loaded.GetVersion());
        EXPECT_EQ(7, loaded.GetInputDelayUnits());
        EXPECT_EQ(8, loaded.GetOutputDelayUnits());
    }

    // The whole file loads; without its "SRC In" stream the input converters are empty and
    // everything else loads.
    writeBytes(whole);
    CIOConfigFile loaded;
    ASSERT_EQ(1, loaded.Load(path.c_str()));
    expectSameMaps(saved, loaded);
    IStorage* root = nullptr;
    ASSERT_EQ(S_OK, StgOpenStorage(Wide(path).c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, &root));
    ASSERT_EQ(S_OK, root->DestroyElement(L"SRC In"));
    root->Release();
    ASSERT_EQ(1, loaded.Load(path.c_str()));
    EXPECT_TRUE(loaded.GetConverters(1).empty());
    EXPECT_EQ(saved.GetPorts(1), loaded.GetPorts(1));
    EXPECT_EQ(saved.GetConverters(0), loaded.GetConverters(0));
    EXPECT_EQ(2, loaded.GetVersion());
}

TEST_F(IOConfigFileTest, EveryOutsideCompoundFileLoadsOrIsRefused)
{
    // Files of other programs, whole or damaged: each loads (none of them holds a version this
    // reader refuses) or is refused with 0; nothing else happens.
    size_t files = 0;
    for (const char* folder : {"cfb/valid", "cfb/malformed", "faults"}) {
        for (const auto& entry : std::filesystem::directory_iterator(std::string(CONSOLE_TESTDATA_DIR) + "/" + folder)) {
            SCOPED_TRACE(entry.path().string());
            CIOConfigFile file;
            int loaded = -1;
            try {
                loaded = file.Load(entry.path().c_str());
            } catch (CFileException* e) {
                e->Delete();
                loaded = 2;
            }
            EXPECT_TRUE(loaded == 0 || loaded == 1 || loaded == 2);
            if (loaded != 1) {
                EXPECT_TRUE(file.GetPorts(1).empty() && file.GetPorts(0).empty());
            }
            ++files;
        }
    }
    EXPECT_GT(files, 10u);
}

TEST_F(IOConfigFileTest, AFailedSaveKeepsThePreviousFile)
{
    const std::string path = Path("keep.cfg");
    CIOConfigFile previous;
    fill(previous);
    previous.Save(path.c_str());

    CIOConfigFile large;
    for (int i = 0; i < 4000; ++i) large.GetPorts(i & 1)[MakeIOPortKey(i % 12, i / 12 % 5, i / 60, i / 1000)] = settings("x", "", "", i, 0, 0, 0, 0);
    // The file may not grow by more than a few sectors: the save fails part way.
    struct stat st {};
    ASSERT_EQ(0, ::stat(path.c_str(), &st));
    rlimit old{};
    ASSERT_EQ(0, ::getrlimit(RLIMIT_FSIZE, &old));
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = static_cast<rlim_t>(st.st_size) + 8 * 512;
    ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &limit));
    bool threw = false;
    try {
        large.Save(path.c_str());
    } catch (CFileException* e) {
        threw = true;
        e->Delete();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(threw);
    CIOConfigFile loaded;
    ASSERT_EQ(1, loaded.Load(path.c_str()));
    expectSameMaps(previous, loaded);

    // A file held open elsewhere cannot be saved into: the save says so.
    IStorage* held = nullptr;
    ASSERT_EQ(S_OK, StgOpenStorage(Wide(path).c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &held));
    threw = false;
    try {
        large.Save(path.c_str());
    } catch (CFileException* e) {
        threw = true;
        e->Delete();
    }
    held->Release();
    EXPECT_TRUE(threw);
    ASSERT_EQ(1, loaded.Load(path.c_str()));
    expectSameMaps(previous, loaded);
}

}  // namespace
