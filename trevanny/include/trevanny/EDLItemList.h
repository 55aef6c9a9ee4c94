// An edit list in timeline order: gaps and pieces of removed or added material.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "winport/CString.h"
#include "winport/Collections.h"

class CEDLItem {
public:
    /// Kinds the readers create; Add treats kinds 3 to 8 further.
    enum { enGap = 0, enRemoved = 1, enAdded = 2 };

    CEDLItem() = default;
    CEDLItem(int kind, int reference, int length, const CString& text1, const CString& text2, const CString& text3);
    CEDLItem(const CEDLItem&) = default;
    CEDLItem& operator=(const CEDLItem&) = default;
    virtual ~CEDLItem() = default;

    int m_nKind = -1;
    int m_nReference = -1;          ///< -1 = none
    int m_nLength = 0;
    CString m_strText1;
    CString m_strText2;
    CString m_strText3;
    CString m_strText4;             ///< always empty
    int m_nValue1 = 0;
    int m_nValue2 = 0;
};

class CEDLItemList {
public:
    CEDLItemList() = default;
    CEDLItemList(const CEDLItemList&) = delete;
    CEDLItemList& operator=(const CEDLItemList&) = delete;

    /// Appends a gap of `gapBefore` (when above 0) and a copy of `item`. An item of kind 3, 4
    /// or 5 whose reference r names an earlier entry (1-based) gives that entry the new count
    /// as its reference; items of kinds 3 to 8 then renew the references of the kind-8 entries
    /// by name: -1 when the third text is empty, or when the second text is empty and no
    /// kind-6 or kind-7 entry has that third text (any case); 0 when one has it. Returns the
    /// count of items added so far.
    int Add(const CEDLItem& item, int gapBefore);
    /// A copy of entry `index`; a default item when the index is out of range.
    CEDLItem GetAt(int index) const;
    int GetSize() const { return static_cast<int>(m_Items.GetSize()); }
    /// Items added (gaps included).
    int GetCount() const { return m_nCount; }

    int m_nStart = 0;               ///< where both timelines of an event-array conform start

private:
    CArray<CEDLItem> m_Items;
    int m_nCount = 0;
    void renewByName(int index);

    // Upper-cased third texts of the kind-6 and kind-7 entries.
    std::unordered_set<std::string> m_lengthenNames;
    // Kind-8 entries whose reference follows those names (empty second text, third text set),
    // by upper-cased third text.
    std::unordered_map<std::string, std::vector<int>> m_movesByName;
};
