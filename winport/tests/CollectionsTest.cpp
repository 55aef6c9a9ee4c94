#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "winport/Collections.h"

namespace {

using Words = CArray<WORD, WORD>;

// 2 MiB of 16-bit elements: large enough for a filled view.
constexpr INT_PTR kViewWords = INT_PTR{1} << 20;

std::vector<WORD> elementsOf(const Words& a) { return std::vector<WORD>(a.GetData(), a.GetData() + a.GetSize()); }

// The kilobytes of the process's own pages (copied on write, or new) in the mapping that holds
// `p`, as the kernel counts them; -1 when no mapping holds it.
long ownPagesKb(const void* p)
{
    const auto at = reinterpret_cast<uintptr_t>(p);
    std::ifstream smaps("/proc/self/smaps");
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        uintptr_t from = 0, to = 0;
        char dash = 0;
        std::istringstream range(line);
        if (range >> std::hex >> from >> dash >> to && dash == '-') {
            inside = from <= at && at < to;
        } else if (inside && line.rfind("Anonymous:", 0) == 0) {
            return std::stol(line.substr(10));
        }
    }
    return -1;
}

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

// SetSizeFilled gives every element the value whatever holds them: a view (large, all bytes
// 0xFF), or the heap (small, too large for a view, another value, or elements already there).
TEST(CollectionsTest, SetSizeFilledFillsEveryNewElement)
{
    struct Case {
        INT_PTR before, size;
        WORD value;
    } cases[] = {
        {0, kViewWords, 0xFFFF},   {0, 2048 * 2048, 0xFFFF}, {0, 10, 0xFFFF},       {0, kViewWords, 0x1234},
        {0, 5000000, 0xFFFF},      {3, kViewWords, 0xFFFF},  {0, kViewWords, 0xFF00}, {0, 0, 0xFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.before << " then " << c.size << " of " << c.value);
        Words a;
        for (INT_PTR i = 0; i < c.before; ++i) a.Add(static_cast<WORD>(i));
        a.SetSizeFilled(c.size, c.value);
        std::vector<WORD> expected(static_cast<size_t>(c.size), c.value);
        for (INT_PTR i = 0; i < c.before; ++i) expected[static_cast<size_t>(i)] = static_cast<WORD>(i);
        EXPECT_TRUE(elementsOf(a) == expected);
    }
    CArray<DWORD, DWORD> d;
    d.SetSizeFilled(kViewWords, 0xFFFFFFFFu);
    EXPECT_EQ(std::count(d.GetData(), d.GetData() + d.GetSize(), 0xFFFFFFFFu), kViewWords);
    CArray<int, int> n;
    n.SetSizeFilled(kViewWords, -1);
    EXPECT_EQ(std::count(n.GetData(), n.GetData() + n.GetSize(), -1), kViewWords);
}

// Every way of writing a filled array: the write sticks, a copy made before it still reads the
// fill, a copy made after it holds it, and a write to that copy stays there.
TEST(CollectionsTest, FilledArrayWritesStickAndCopiesStayApart)
{
    using Model = std::vector<WORD>;
    const INT_PTR n = kViewWords;
    struct Case {
        const char* name;
        std::function<void(Words&)> write;
        std::function<void(Model&)> model;
    } cases[] = {
        {"operator[]", [](Words& a) { a[5] = 1; }, [](Model& m) { m[5] = 1; }},
        {"ElementAt", [n](Words& a) { a.ElementAt(n - 1) = 2; }, [n](Model& m) { m[n - 1] = 2; }},
        {"SetAt", [](Words& a) { a.SetAt(100000, 3); }, [](Model& m) { m[100000] = 3; }},
        {"GetData", [](Words& a) { a.GetData()[4096] = 4; }, [](Model& m) { m[4096] = 4; }},
        {"SetAtGrow", [](Words& a) { a.SetAtGrow(6, 5); }, [](Model& m) { m[6] = 5; }},
        {"Add", [](Words& a) { a.Add(6); }, [](Model& m) { m.push_back(6); }},
        {"InsertAt", [](Words& a) { a.InsertAt(10, 7, 2); }, [](Model& m) { m.insert(m.begin() + 10, 2, 7); }},
        {"RemoveAt", [](Words& a) { a.RemoveAt(0, 3); }, [](Model& m) { m.erase(m.begin(), m.begin() + 3); }},
        {"SetSize down and up",
         [n](Words& a) {
             a.SetSize(n / 2);
             a.SetSize(n / 2 + 10);
         },
         [n](Model& m) {
             m.resize(static_cast<size_t>(n / 2));
             m.resize(static_cast<size_t>(n / 2 + 10), 0);
         }},
        {"SetSizeUninitialised",
         [n](Words& a) {
             a.SetSizeUninitialised(n);
             a.GetData()[8] = 8;
         },
         [](Model& m) { m[8] = 8; }},
        {"Append itself", [](Words& a) { a.Append(a); }, [](Model& m) { m.insert(m.end(), m.begin(), m.end()); }},
        {"Copy",
         [](Words& a) {
             Words small;
             small.Add(9);
             a.Copy(small);
         },
         [](Model& m) { m.assign(1, 9); }},
        {"InsertAt an array",
         [](Words& a) {
             Words two;
             two.Add(10);
             two.Add(11);
             a.InsertAt(1, &two);
         },
         [](Model& m) { m.insert(m.begin() + 1, {10, 11}); }},
        {"FreeExtra",
         [n](Words& a) {
             a.SetSize(n - 1);
             a.FreeExtra();
             a[0] = 12;
         },
         [](Model& m) {
             m.pop_back();
             m[0] = 12;
         }},
        {"SwapElements",
         [](Words& a) {
             Words other;
             other.SetSizeFilled(kViewWords, 0xFFFF);
             a.SwapElements(other);
             a[1] = 13;
         },
         [](Model& m) { m[1] = 13; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Words a;
        a.SetSizeFilled(n, 0xFFFF);
        Words before;
        before.Copy(a);
        c.write(a);
        Model expected(static_cast<size_t>(n), 0xFFFF);
        c.model(expected);
        EXPECT_TRUE(elementsOf(a) == expected);
        EXPECT_EQ(std::count(before.GetData(), before.GetData() + before.GetSize(), WORD{0xFFFF}), n);
        Words after;
        after.Copy(a);
        EXPECT_TRUE(elementsOf(after) == expected);
        after[0] = 0x55;
        EXPECT_EQ(static_cast<const Words&>(a)[0], expected[0]);
    }
}

// A filled array holds no page of its own until it is written, nor does a copy of it; a write
// copies the one page it touches, and reads (through the const accessors) copy none.
TEST(CollectionsTest, FilledArrayCostsOnlyThePagesItsWritesTouch)
{
    const long pageKb = ::sysconf(_SC_PAGESIZE) / 1024;
    Words a;
    a.SetSizeFilled(2048 * 2048, 0xFFFF);
    const Words& view = a;
    long sum = 0;
    for (INT_PTR i = 0; i < view.GetSize(); i += 997) sum += view[i] + view.GetAt(i) + view.ElementAt(i);
    EXPECT_EQ(sum, 3L * 0xFFFF * ((view.GetSize() + 996) / 997));
    EXPECT_EQ(std::count(view.GetData(), view.GetData() + view.GetSize(), WORD{0xFFFF}), view.GetSize());
    EXPECT_EQ(ownPagesKb(view.GetData()), 0);

    Words copy;
    copy.Copy(a);
    EXPECT_EQ(ownPagesKb(static_cast<const Words&>(copy).GetData()), 0);
    a[3] = 1;
    EXPECT_EQ(ownPagesKb(view.GetData()), pageKb);
    EXPECT_EQ(ownPagesKb(static_cast<const Words&>(copy).GetData()), 0);
    EXPECT_EQ(static_cast<const Words&>(copy)[3], 0xFFFF);
}

// The block behind the views is made once, by whichever thread asks first.
TEST(CollectionsTest, FilledArraysMadeOnManyThreadsAtOnceReadTheFill)
{
    std::vector<INT_PTR> counts(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < counts.size(); ++t) {
        threads.emplace_back([&counts, t] {
            Words a;
            a.SetSizeFilled(2048 * 2048, 0xFFFF);
            const Words& view = a;
            counts[t] = std::count(view.GetData(), view.GetData() + view.GetSize(), WORD{0xFFFF});
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(counts, std::vector<INT_PTR>(4, 2048 * 2048));
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
