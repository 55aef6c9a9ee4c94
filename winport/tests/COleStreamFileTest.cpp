#include <gtest/gtest.h>

#include "StorageTestSupport.h"
#include "TestEnvironment.h"
#include "winport/COleStreamFile.h"
#include "winport/CodePage.h"

using namespace storagetest;

namespace {

// The open sequence of the automation writers and readers, through COleStreamFile.
TEST(COleStreamFileTest, WritesAndReadsStreamsOfAStorage)
{
    TestEnvironment env;
    const std::wstring path = Wide(env.Path("pass.aut"));
    ASSERT_EQ(StgIsStorageFile(path.c_str()), STG_E_FILENOTFOUND);
    IStorage* root = nullptr;
    ASSERT_EQ(StgCreateDocfile(path.c_str(), 0x1012, 0, &root), S_OK);
    const std::vector<uint8_t> data = Pattern(6000, 1);
    {
        COleStreamFile file;
        ASSERT_TRUE(file.CreateStream(root, "AutomationData", 0x1012));
        file.Write(data.data(), static_cast<UINT>(data.size()));
        EXPECT_EQ(file.GetLength(), 6000u);
        EXPECT_EQ(file.GetPosition(), 6000u);
        file.Close();
        EXPECT_FALSE(file.IsOpen());
    }
    root->Release();

    ASSERT_EQ(StgOpenStorage(path.c_str(), nullptr, 0x10, nullptr, 0, &root), S_OK);
    COleStreamFile file;
    CFileException error;
    EXPECT_FALSE(file.OpenStream(root, "File Version", 0x10, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_EQ(error.m_lOsError, STG_E_FILENOTFOUND);
    ASSERT_TRUE(file.OpenStream(root, "AUTOMATIONDATA", 0x10, &error));
    std::vector<uint8_t> back(7000);
    EXPECT_EQ(file.Read(back.data(), 7000), 6000u);
    back.resize(6000);
    EXPECT_EQ(back, data);
    EXPECT_EQ(file.Seek(-10, CFile::end), 5990);
    try {
        file.Write("x", 1);
        ADD_FAILURE() << "write to a read-only stream";
    } catch (CFileException* e) {
        EXPECT_EQ(e->m_cause, CFileException::accessDenied);
        e->Delete();
    }
    // Releasing the storage first leaves a stream that reports its failure.
    root->Release();
    try {
        file.Read(back.data(), 1);
        ADD_FAILURE() << "read of a reverted stream";
    } catch (CFileException* e) {
        EXPECT_EQ(e->m_lOsError, STG_E_REVERTED);
        e->Delete();
    }
}

TEST(CodePageTest, Windows1252BothWays)
{
    struct Row {
        unsigned char byte;
        wchar_t wide;
    } rows[] = {{'A', L'A'}, {0x80, 0x20AC}, {0x8A, 0x0160}, {0x9F, 0x0178}, {0x81, 0x0081},
                {0xA0, 0x00A0}, {0xD8, 0x00D8}, {0xFF, 0x00FF}};
    for (const Row& r : rows) {
        SCOPED_TRACE(static_cast<int>(r.byte));
        const char text[2] = {static_cast<char>(r.byte), 0};
        wchar_t wide[2] = {};
        EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 2), 2);
        EXPECT_EQ(wide[0], r.wide);
        char back[2] = {};
        BOOL usedDefault = TRUE;
        EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, back, 2, nullptr, &usedDefault), 2);
        EXPECT_EQ(static_cast<unsigned char>(back[0]), r.byte);
        EXPECT_FALSE(usedDefault);
    }
    // Lengths first, short buffers refused, characters outside the code page replaced.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
    wchar_t small[2];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, small, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(winport::Cp1252FromWide(L"a\u4e2d\u20ac"), "a?\x80");
    EXPECT_EQ(winport::WideFromCp1252("\x93q\x94"), L"\u201cq\u201d");
}

}  // namespace
