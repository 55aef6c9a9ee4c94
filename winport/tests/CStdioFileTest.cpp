#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "TestEnvironment.h"
#include "winport/CFile.h"

namespace {

std::string makeFile(const TestEnvironment& env, const std::string& bytes)
{
    std::string path = env.Path("lines.txt");
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

TEST(CStdioFileTest, LinesBytesAndPositionsAcrossTheBuffer)
{
    TestEnvironment env;
    // A long first line crosses the 8 KB buffer; the second ends without a line end.
    std::string first(10000, 'x');
    std::string path = makeFile(env, first + "\r\nab\r\nlast");
    CStdioFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeRead | CFile::typeBinary));
    CString line;
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(10001, line.GetLength());  // binary mode keeps the CR
    EXPECT_EQ(10002u, file.GetPosition());
    char c = 0;
    ASSERT_EQ(1u, file.Read(&c, 1));
    EXPECT_EQ('a', c);
    EXPECT_EQ(10003u, file.GetPosition());
    file.Seek(-1, CFile::current);
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(CString("ab\r"), line);
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(CString("last"), line);
    EXPECT_EQ(file.GetLength(), file.GetPosition());
    EXPECT_FALSE(file.ReadString(line));
}

TEST(CStdioFileTest, TextModeDropsTheCarriageReturnAndWritesGoWhereReadingStopped)
{
    TestEnvironment env;
    std::string path = makeFile(env, "one\r\ntwo\r\n");
    {
        CStdioFile file;
        ASSERT_TRUE(file.Open(path.c_str(), CFile::modeReadWrite | CFile::typeText));
        CString line;
        ASSERT_TRUE(file.ReadString(line));
        EXPECT_EQ(CString("one"), line);
        file.WriteString("TWO\n");
    }
    std::ifstream in(path, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ("one\r\nTWO\r\n", all);
}

}  // namespace
