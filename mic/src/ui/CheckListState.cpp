#include "ui/CheckListState.h"

#include <algorithm>

#ifndef LB_ERR
#define LB_ERR (-1)
#endif

int CheckListState::AddString(const CString& text)
{
    return InsertString(-1, text);
}

int CheckListState::InsertString(int index, const CString& text)
{
    if (index == -1) index = GetCount();
    if (index < 0 || index > GetCount()) return LB_ERR;
    m_items.insert(m_items.begin() + index, Item{text});
    m_itemColours.InsertAt(index, GetSysColor(COLOR_HIGHLIGHT));
    if (m_nCurSel >= index) ++m_nCurSel;
    return index;
}

int CheckListState::DeleteString(int index)
{
    if (!Valid(index)) return LB_ERR;
    m_itemColours.RemoveAt(index);
    m_items.erase(m_items.begin() + index);
    if (m_nCurSel == index)
        m_nCurSel = -1;
    else if (m_nCurSel > index)
        --m_nCurSel;
    m_nAnchor = std::min(m_nAnchor, std::max(0, GetCount() - 1));
    SetTopIndex(m_nTopIndex);
    return GetCount();
}

void CheckListState::ResetContent()
{
    m_itemColours.RemoveAll();
    m_items.clear();
    m_nCurSel = -1;
    m_nTopIndex = 0;
    m_nAnchor = 0;
    m_bDragging = FALSE;
}

CString CheckListState::GetText(int index) const
{
    return Valid(index) ? GetItem(index).text : CString();
}

int CheckListState::GetCheck(int index) const
{
    return Valid(index) ? GetItem(index).check : 0;
}

void CheckListState::SetCheck(int index, int state)
{
    if (Valid(index)) m_items[static_cast<size_t>(index)].check = state;
}

BOOL CheckListState::Enable(int index, BOOL enabled)
{
    if (!Valid(index)) return FALSE;
    m_items[static_cast<size_t>(index)].enabled = enabled != FALSE;
    return TRUE;
}

BOOL CheckListState::IsEnabled(int index) const
{
    return Valid(index) && GetItem(index).enabled;
}

DWORD_PTR CheckListState::GetItemData(int index) const
{
    return Valid(index) ? GetItem(index).data : static_cast<DWORD_PTR>(LB_ERR);
}

int CheckListState::SetItemData(int index, DWORD_PTR data)
{
    if (!Valid(index)) return LB_ERR;
    m_items[static_cast<size_t>(index)].data = data;
    return 0;
}

void CheckListState::SetCheckAll(int state)
{
    for (int i = 0; i < GetCount(); ++i)
        if (IsEnabled(i)) SetCheck(i, state);
}

void CheckListState::SetItemColour(int index, COLORREF colour)
{
    if (index >= 0 && index < m_itemColours.GetSize()) m_itemColours.SetAt(index, colour);
}

COLORREF CheckListState::GetItemColour(int index) const
{
    return index >= 0 && index < m_itemColours.GetSize() ? m_itemColours[index] : GetSysColor(COLOR_HIGHLIGHT);
}

bool CheckListState::SetColourByCheck(bool on)
{
    const bool changed = on != m_bColourByCheck;
    m_bColourByCheck = on;
    return changed;
}

BOOL CheckListState::SetTabStops(int count, const int* positions)
{
    if (count > 0 && positions)
        m_tabStops.assign(positions, positions + count);
    else
        m_tabStops.clear();
    return TRUE;
}

void CheckListState::SetTopIndex(int index)
{
    m_nTopIndex = std::clamp(index, 0, std::max(0, GetCount() - 1));
}

int CheckListState::SetCurSel(int index)
{
    if (index != -1 && !Valid(index)) return LB_ERR;
    m_nCurSel = index;
    return index;
}

int CheckListState::ItemFromY(int y) const
{
    if (m_nItemHeight <= 0 || y < 0) return -1;
    const int index = m_nTopIndex + y / m_nItemHeight;
    return Valid(index) ? index : -1;
}

std::vector<CheckListChange> CheckListState::ButtonDown(int y, bool onCheckBox)
{
    const int item = ItemFromY(y);
    if (item < 0) return {}; // below the last item: nothing to anchor or report
    m_bDragging = TRUE;
    m_nAnchor = item;
    m_nCurSel = item;
    if (onCheckBox && IsEnabled(item)) SetCheck(item, GetCheck(item) ? 0 : 1);
    m_nDragState = GetCheck(item);
    return {{item, m_nDragState}};
}

void CheckListState::DragTo(int y)
{
    if (!m_bDragging || m_nItemHeight <= 0 || GetCount() == 0) return;
    // Floor division, so that a point above the list names the item above the top
    // one.
    const int rows = y >= 0 ? y / m_nItemHeight : -((-y + m_nItemHeight - 1) / m_nItemHeight);
    m_nCurSel = std::clamp(m_nTopIndex + rows, 0, GetCount() - 1);
}

std::vector<CheckListChange> CheckListState::Tick()
{
    const int current = m_nCurSel;
    if (!m_bDragging || !Valid(current) || !Valid(m_nAnchor)) return {};  // a tick left over from a drag
    std::vector<CheckListChange> changes;
    for (int i = std::min(current, m_nAnchor); i <= std::max(current, m_nAnchor); ++i) {
        SetCheck(i, m_nDragState);
        changes.push_back({i, m_nDragState});
    }
    m_nAnchor = current;
    return changes;
}

std::vector<CheckListChange> CheckListState::ToggleSelected()
{
    if (!IsEnabled(m_nCurSel)) return {};
    SetCheck(m_nCurSel, GetCheck(m_nCurSel) ? 0 : 1);
    return {{m_nCurSel, GetCheck(m_nCurSel)}};
}

CheckListItemLook CheckListState::Look(int index, int width, bool selected, bool windowEnabled) const
{
    CheckListItemLook look;
    const bool disabled = !windowEnabled || !IsEnabled(index);
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    const COLORREF text = disabled ? kDisabledText : GetSysColor(COLOR_WINDOWTEXT);
    look.textColour = text;
    look.backColour = window;
    if (disabled || (!m_bColourByCheck && !selected)) {
        look.fill = true;
        look.fillColour = window;
    } else if (!m_bColourByCheck) {
        look.textColour = GetSysColor(COLOR_HIGHLIGHTTEXT);
        look.backColour = GetSysColor(COLOR_HIGHLIGHT);
        look.fill = true;
        look.fillColour = look.backColour;
    } else if (GetCheck(index)) {
        look.textColour = GetSysColor(COLOR_HIGHLIGHTTEXT);
        look.backColour = GetItemColour(index);
    } else {
        look.textColour = text == window ? kSameColourText : text;
    }

    if (!m_tabStops.empty()) {
        look.explicitStops = true;
        look.tabStops = m_tabStops;
    } else {
        const CString line = GetText(index);
        look.tabStops =
            EqualTabStops(static_cast<int>(std::count(line.c_str(), line.c_str() + line.GetLength(), '\t')), width);
    }
    return look;
}

std::vector<int> EqualTabStops(int tabs, int width)
{
    std::vector<int> stops;
    for (int k = 1; k <= tabs; ++k) stops.push_back(static_cast<int>(static_cast<int64_t>(k) * width / (tabs + 1)));
    return stops;
}
