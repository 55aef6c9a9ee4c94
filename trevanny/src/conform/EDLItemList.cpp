#include "trevanny/EDLItemList.h"

namespace {

std::string upper(const CString& text)
{
    std::string s = text.str();
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

bool isMove(const CEDLItem& item) { return item.m_nKind == 8; }
bool isLengthen(const CEDLItem& item) { return item.m_nKind == 6 || item.m_nKind == 7; }

}  // namespace

CEDLItem::CEDLItem(int kind, int reference, int length, const CString& text1, const CString& text2, const CString& text3)
    : m_nKind(kind), m_nReference(reference), m_nLength(length), m_strText1(text1), m_strText2(text2), m_strText3(text3)
{
}

// The reference of a move follows the names of the lengthened pieces: -1 without a name, or
// when its own (second) name is empty and no lengthened piece has the name; 0 when one has it.
void CEDLItemList::renewByName(int index)
{
    CEDLItem& e = m_Items[index];
    if (e.m_strText3.IsEmpty()) e.m_nReference = -1;
    else if (e.m_strText2.IsEmpty()) e.m_nReference = m_lengthenNames.count(upper(e.m_strText3)) ? 0 : -1;
}

int CEDLItemList::Add(const CEDLItem& item, int gapBefore)
{
    if (gapBefore > 0) {
        m_Items.Add(CEDLItem(CEDLItem::enGap, -1, gapBefore, CString(), CString(), CString()));
        ++m_nCount;
    }
    int index = static_cast<int>(m_Items.Add(item));
    int n = ++m_nCount;
    int touched = -1;
    if (item.m_nKind >= 3 && item.m_nKind <= 5) {
        int r = item.m_nReference;
        // The 1-based reference names entry r - 1.
        if (r >= 1 && r <= GetSize() && r < n) {
            m_Items[r - 1].m_nReference = n;
            touched = r - 1;
        }
    }
    if (item.m_nKind >= 3 && item.m_nKind <= 8) {
        // Every pass gives each move the reference its names call for. Only three things can
        // change that between passes: a new lengthened name, a new move, and the entry just
        // given a reference above; so only those moves are renewed.
        if (isLengthen(item) && !item.m_strText3.IsEmpty()) {
            std::string name = upper(item.m_strText3);
            if (m_lengthenNames.insert(name).second) {
                auto found = m_movesByName.find(name);
                if (found != m_movesByName.end()) {
                    for (int move : found->second) m_Items[move].m_nReference = 0;
                }
            }
        }
        if (isMove(item)) {
            if (!item.m_strText3.IsEmpty() && item.m_strText2.IsEmpty()) m_movesByName[upper(item.m_strText3)].push_back(index);
            renewByName(index);
        }
        if (touched >= 0 && isMove(m_Items[touched])) renewByName(touched);
    }
    return n;
}

CEDLItem CEDLItemList::GetAt(int index) const
{
    if (index < 0 || index >= GetSize()) return CEDLItem();
    return m_Items[index];
}
