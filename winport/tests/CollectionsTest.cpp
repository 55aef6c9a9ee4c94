#include <gtest/gtest.h>

#include "winport/Collections.h"

namespace {

TEST(CollectionsTest, ArrayGrowthRule)
{
    CArray<int, int> a;
    a.Add(1);
    EXPECT_EQ(a.GetAllocSize(), 4);  // at least 4
    for (int i = 0; i < 100; ++i) a.Add(i);
    CArray<int, int> big;
    big.SetSize(16000);
    big.Add(1);
    EXPECT_EQ(big.GetAllocSize(), 16000 + 1024);  // at most 1024 at a time
    CArray<int, int> grow;
    grow.SetSize(0, 500);
    grow.Add(1);
    EXPECT_EQ(grow.GetAllocSize(), 500);
    CArray<int, int> z;
    z.SetSize(10);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(z[i], 0);
}

TEST(CollectionsTest, ArrayInsertRemove)
{
    CStringArray a;
    a.Add("a");
    a.Add("c");
    a.InsertAt(1, "b");
    a.InsertAt(5, "f");  // beyond the end: the gap is filled with empty strings
    ASSERT_EQ(a.GetSize(), 6);
    EXPECT_STREQ(a[1], "b");
    EXPECT_STREQ(a[4], "");
    a.RemoveAt(3, 10);
    EXPECT_EQ(a.GetSize(), 3);
    a.RemoveAt(7);
    EXPECT_EQ(a.GetSize(), 3);
    a.Add(a[0]);  // an element of the array itself
    EXPECT_STREQ(a[3], "a");
}

TEST(CollectionsTest, MapLookupAndIteration)
{
    CMap<CString, const char*, int, int> m;
    m["one"] = 1;
    m.SetAt("two", 2);
    m["one"] = 11;
    int v = 0;
    EXPECT_TRUE(m.Lookup("one", v));
    EXPECT_EQ(v, 11);
    EXPECT_FALSE(m.Lookup("three", v));
    EXPECT_EQ(m.GetCount(), 2);
    int sum = 0;
    int seen = 0;
    for (POSITION pos = m.GetStartPosition(); pos;) {
        CString k;
        int val = 0;
        m.GetNextAssoc(pos, k, val);
        sum += val;
        ++seen;
    }
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(sum, 13);
    EXPECT_TRUE(m.RemoveKey("one"));
    EXPECT_FALSE(m.RemoveKey("one"));
    EXPECT_EQ(m.GetCount(), 1);
}

TEST(CollectionsTest, PointerList)
{
    CPtrList list;
    int a = 1, b = 2, c = 3;
    list.AddTail(&b);
    list.AddHead(&a);
    list.AddTail(&c);
    EXPECT_EQ(list.GetCount(), 3);
    POSITION pos = list.Find(&b);
    ASSERT_NE(pos, nullptr);
    list.RemoveAt(pos);
    EXPECT_EQ(list.RemoveHead(), &a);
    EXPECT_EQ(list.RemoveTail(), &c);
    EXPECT_TRUE(list.IsEmpty());
}

}  // namespace
