#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "TestEnvironment.h"
#include "conform/EditListFiles.h"
#include "trevanny/EDLItemList.h"
#include "trevanny/EDLReelTable.h"
#include "trevanny/SourceDestItem.h"

namespace {

TEST(SourceDestItemTest, DefaultsAndDeepCopies)
{
    CSourceDestItem item;
    EXPECT_EQ(nullptr, item.m_pEvent);
    EXPECT_EQ(0, item.m_nEventNumber);
    EXPECT_EQ(0, item.m_nStart);
    EXPECT_EQ(0, item.m_nLength);
    EXPECT_EQ(0, item.m_nPairingKey);
    EXPECT_EQ(-1, item.m_nIndex);
    EXPECT_TRUE(item.m_bFlag);
    CSourceDestItem copy(item);
    EXPECT_EQ(nullptr, copy.m_pEvent);

    CSourceDestItem a, b;
    a.SetEvent(new CEDLEvent);
    a.m_pEvent->m_strReelName = "R1";
    a.m_pEvent->m_dwTrackMask = 5;
    a.m_nStart = 100;
    b.SetEvent(new CEDLEvent);  // deleted by the assignment (ASan would see a leak or reuse)
    b = a;
    ASSERT_NE(nullptr, b.m_pEvent);
    EXPECT_NE(a.m_pEvent, b.m_pEvent);
    EXPECT_EQ(CString("R1"), b.m_pEvent->m_strReelName);
    EXPECT_EQ(5u, b.m_pEvent->m_dwTrackMask);
    EXPECT_EQ(100, b.m_nStart);
    b = b;
    ASSERT_NE(nullptr, b.m_pEvent);

    CSourceDestItemArray array;
    for (int i = 0; i < 100; ++i) array.Add(a);  // growth moves the items
    for (int i = 0; i < 100; ++i) ASSERT_EQ(CString("R1"), array[i].m_pEvent->m_strReelName);
}

TEST(EDLItemListTest, GapsCountsAndReferences)
{
    CEDLItemList list;
    EXPECT_EQ(1, list.Add(CEDLItem(1, -1, 50, "", "", ""), 0));
    EXPECT_EQ(3, list.Add(CEDLItem(2, -1, 20, "", "", ""), 10));  // a gap, then the item
    EXPECT_EQ(0, list.GetAt(1).m_nKind);
    EXPECT_EQ(10, list.GetAt(1).m_nLength);
    EXPECT_EQ(-1, list.GetAt(1).m_nReference);
    // Kind 3 naming entry 1 (1-based): the first entry gets the new count as its reference.
    EXPECT_EQ(4, list.Add(CEDLItem(3, 1, 5, "", "", ""), 0));
    EXPECT_EQ(4, list.GetAt(0).m_nReference);
    // References out of range change nothing.
    EXPECT_EQ(5, list.Add(CEDLItem(4, 9, 5, "", "", ""), 0));
    EXPECT_EQ(6, list.Add(CEDLItem(5, 0, 5, "", "", ""), 0));
    EXPECT_EQ(-1, list.GetAt(1).m_nReference);
    EXPECT_EQ(-1, list.GetAt(99).m_nKind);  // out of range: a default item
    EXPECT_EQ(6, list.GetCount());
}

TEST(EDLItemListTest, MovesFollowTheLengthenedNames)
{
    CEDLItemList list;
    list.Add(CEDLItem(8, 7, 1, "", "", "clipA"), 0);     // no lengthened piece named so yet
    list.Add(CEDLItem(8, 7, 1, "", "", ""), 0);          // no name
    list.Add(CEDLItem(8, 7, 1, "", "own", "clipB"), 0);  // both names: left alone
    list.Add(CEDLItem(8, 7, 1, "", "own", ""), 0);
    EXPECT_EQ(-1, list.GetAt(0).m_nReference);
    EXPECT_EQ(-1, list.GetAt(1).m_nReference);
    EXPECT_EQ(7, list.GetAt(2).m_nReference);
    EXPECT_EQ(-1, list.GetAt(3).m_nReference);
    list.Add(CEDLItem(6, -1, 1, "", "", "CLIPA"), 0);  // any case matches
    EXPECT_EQ(0, list.GetAt(0).m_nReference);
    // A kind-1 item runs no name pass; a kind-3 item naming the move runs one, which puts the
    // move back to what its names say.
    list.Add(CEDLItem(3, 1, 1, "", "", ""), 0);
    EXPECT_EQ(0, list.GetAt(0).m_nReference);
}

// The name pass as a plain rescan of every entry, to check the list against.
struct ReferenceList {
    std::vector<CEDLItem> items;
    void add(const CEDLItem& item, int gap)
    {
        if (gap > 0) items.emplace_back(0, -1, gap, "", "", "");
        items.push_back(item);
        int n = static_cast<int>(items.size());
        int r = item.m_nReference;
        if (item.m_nKind >= 3 && item.m_nKind <= 5 && r >= 1 && r <= n && r < n) items[r - 1].m_nReference = n;
        if (item.m_nKind < 3 || item.m_nKind > 8) return;
        std::vector<CString> names;
        for (const CEDLItem& e : items) {
            if ((e.m_nKind == 6 || e.m_nKind == 7) && !e.m_strText3.IsEmpty()) names.push_back(e.m_strText3);
        }
        for (CEDLItem& e : items) {
            if (e.m_nKind != 8) continue;
            bool match = false;
            for (const CString& name : names) match = match || name.CompareNoCase(e.m_strText3) == 0;
            if (e.m_strText3.IsEmpty() || (e.m_strText2.IsEmpty() && !match)) e.m_nReference = -1;
            else if (e.m_strText2.IsEmpty() && match) e.m_nReference = 0;
        }
    }
};

TEST(EDLItemListTest, SameReferencesAsARescanOfEveryEntry)
{
    std::mt19937 random(7);
    const char* names[] = {"", "a", "A", "b", "c"};
    for (int round = 0; round < 50; ++round) {
        CEDLItemList list;
        ReferenceList reference;
        for (int i = 0; i < 60; ++i) {
            CEDLItem item(static_cast<int>(random() % 10), static_cast<int>(random() % 12) - 1, 1, "",
                          names[random() % 5], names[random() % 5]);
            int gap = random() % 4 == 0 ? 3 : 0;
            list.Add(item, gap);
            reference.add(item, gap);
        }
        ASSERT_EQ(static_cast<int>(reference.items.size()), list.GetSize());
        for (int i = 0; i < list.GetSize(); ++i) {
            ASSERT_EQ(reference.items[static_cast<size_t>(i)].m_nReference, list.GetAt(i).m_nReference) << "round " << round << " entry " << i;
        }
    }
}

TEST(EDLReelTableTest, SortedByBytesWithTrackMarks)
{
    CEDLReelTable table;
    EXPECT_EQ(0, table.Add("B", 0, 0));
    EXPECT_EQ(0, table.Add("A", 0, 0));
    EXPECT_EQ(2, table.Add("C", 0, 0));
    EXPECT_EQ(1, table.Add("B", 0x2, 0));
    EXPECT_EQ(3, table.Add("a", 0, 0));  // case matters: lower case sorts after upper
    EXPECT_EQ(CString("A"), table.GetName(0));
    EXPECT_EQ(CString("B"), table.GetName(1));
    EXPECT_EQ(CString("C"), table.GetName(2));
    EXPECT_EQ(CString(""), table.GetName(4));
    EXPECT_EQ(CString(""), table.GetName(-1));
    EXPECT_EQ(2, table.Find("C"));
    EXPECT_EQ(-1, table.Find("c"));
    EXPECT_EQ(1, table.GetAt(1).m_Tracks[2].m_bUsed);
    EXPECT_EQ(0, table.GetAt(1).m_Tracks[1].m_bUsed);

    int x = table.Add("X", 0x5, 1);
    const CEDLReelRecord& reel = table.GetAt(x);
    for (int t = 0; t < CEDLReelRecord::kTrackEntries; ++t) {
        EXPECT_EQ(t == 0 || t == 1 || t == 3 ? 1 : 0, reel.m_Tracks[t].m_bUsed) << "entry " << t;
    }
    table.Add("X", 0x80000000u, 0);  // marks are only added
    EXPECT_EQ(1, table.GetAt(x).m_Tracks[32].m_bUsed);
    EXPECT_EQ(1, table.GetAt(x).m_Tracks[0].m_bUsed);
    table.RemoveAll();
    EXPECT_EQ(-1, table.Find("A"));
}

TEST(EDLReelTableTest, RecordCopyTakesCurrentValuesAsPrevious)
{
    CEDLReelRecord reel("R");
    reel.m_nValue1 = 4;
    reel.m_bFlag2 = 0;
    reel.m_Tracks[7].m_bUsed = 1;
    CEDLReelRecord copy(reel);
    EXPECT_EQ(4, copy.m_nValue1);
    EXPECT_EQ(4, copy.m_nPrevValue1);
    EXPECT_EQ(0, copy.m_bPrevFlag2);
    EXPECT_EQ(1, copy.m_Tracks[7].m_bUsed);
}

}  // namespace
