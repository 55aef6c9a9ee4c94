#include <gtest/gtest.h>
#include <vector>

#include "HexText.h"
#include "winport/CArchive.h"
#include "winport/CFile.h"
#include "winport/Collections.h"

namespace {

std::vector<BYTE> store(void (*write)(CArchive&))
{
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        write(ar);
        ar.Close();
    }
    return file.Bytes();
}

TEST(CArchiveTest, CountsGolden)
{
    struct Case {
        DWORD count;
        std::vector<BYTE> bytes;
    };
    const Case cases[] = {
        {0, {0x00, 0x00}},
        {0xFFFE, {0xFE, 0xFF}},
        {0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
        {0x12345, {0xFF, 0xFF, 0x45, 0x23, 0x01, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        CMemFile file;
        {
            CArchive ar(&file, CArchive::store);
            ar.WriteCount(c.count);
        }
        EXPECT_EQ(HexText(file.Bytes()), HexText(c.bytes));
        file.SeekToBegin();
        CArchive in(&file, CArchive::load);
        EXPECT_EQ(in.ReadCount(), c.count);
    }
}

TEST(CArchiveTest, StringPrefixesGolden)
{
    struct Case {
        int length;
        std::vector<BYTE> prefix;
    };
    const Case cases[] = {
        {0, {0x00}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {65535, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        CString text('x', c.length);
        CMemFile file;
        {
            CArchive ar(&file, CArchive::store);
            ar << text;
        }
        const auto& bytes = file.Bytes();
        ASSERT_EQ(bytes.size(), c.prefix.size() + static_cast<size_t>(c.length));
        EXPECT_EQ(HexText(bytes.data(), c.prefix.size()), HexText(c.prefix));
        file.SeekToBegin();
        CArchive in(&file, CArchive::load);
        CString back;
        in >> back;
        EXPECT_EQ(back, text);
    }
}

TEST(CArchiveTest, ScalarsAndArraysRoundTrip)
{
    auto bytes = store([](CArchive& ar) {
        ar << static_cast<BYTE>(1) << static_cast<WORD>(0x0203) << static_cast<LONG>(-2) << 1.5;
        CDWordArray a;
        a.Add(7);
        a.Add(8);
        a.Serialize(ar);
    });
    EXPECT_EQ(HexText(bytes.data(), 7), "01 03 02 FE FF FF FF");
    CMemFile file(bytes.data(), static_cast<UINT>(bytes.size()));
    CArchive ar(&file, CArchive::load);
    BYTE b;
    WORD w;
    LONG l;
    double d;
    ar >> b >> w >> l >> d;
    EXPECT_EQ(b, 1);
    EXPECT_EQ(w, 0x0203);
    EXPECT_EQ(l, -2);
    EXPECT_EQ(d, 1.5);
    CDWordArray a;
    a.Serialize(ar);
    ASSERT_EQ(a.GetSize(), 2);
    EXPECT_EQ(a[1], 8u);
}

TEST(CArchiveTest, TruncatedInputThrowsEndOfFile)
{
    std::vector<BYTE> bytes = {0xFF, 0x10, 0x00, 'a', 'b'};  // claims 16 characters
    CMemFile file(bytes.data(), static_cast<UINT>(bytes.size()));
    CArchive ar(&file, CArchive::load);
    CString s;
    try {
        ar >> s;
        FAIL() << "no exception";
    } catch (CArchiveException* e) {
        EXPECT_EQ(e->m_cause, CArchiveException::endOfFile);
        e->Delete();
    }
    // A huge element count in a short file fails without a huge allocation.
    std::vector<BYTE> arr = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3, 4};
    CMemFile f2(arr.data(), static_cast<UINT>(arr.size()));
    CArchive ar2(&f2, CArchive::load);
    CDWordArray a;
    try {
        a.Serialize(ar2);
        FAIL() << "no exception";
    } catch (CArchiveException* e) {
        e->Delete();
    }
    EXPECT_EQ(a.GetSize(), 0);
}

}  // namespace
