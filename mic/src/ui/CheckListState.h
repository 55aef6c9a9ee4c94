// The state of the coloured check list box and the rules that work on it,
// without a window: the items with their checks and colours, the top index and
// item height, the click-and-drag rule (what a button press, a drag tick and a
// release do, and which changes the parent is told of) and the colours and tab
// columns each item is drawn with. The Qt control (CMyCheckListBox) holds one
// of these and only shows it and feeds it input.
#pragma once

#include <vector>

#include "base/MicMessages.h"
#include "winport/CString.h"
#include "winport/Collections.h"
#include "winport/MessageLoop.h"
#include "winport/SysColours.h"
#include "winport/WinTypes.h"

/// One change to report to the parent (one WM_CHECKLIST_CHANGED).
struct CheckListChange {
    int item;
    int state;
    bool operator==(const CheckListChange&) const = default;
};

/// How one item is drawn: the colours of its text run, the fill under it (none
/// when `fill` is false), and the tab stops of its columns, relative to the
/// item's left edge.
struct CheckListItemLook {
    bool fill = false;
    COLORREF fillColour = 0;
    COLORREF textColour = 0;
    COLORREF backColour = 0;
    /// Explicit stops paint a rectangle grown by a pixel on each side before the
    /// text.
    bool explicitStops = false;
    std::vector<int> tabStops;
};

class CheckListState {
public:
    /// The drag timer's id and period.
    static constexpr UINT_PTR kDragTimerId = 100;
    static constexpr UINT kDragTimerMs = 150;
    /// The grey of a disabled item's text, and the stand-in text colour when text
    /// and window colours are the same.
    static constexpr COLORREF kDisabledText = RGB(0x80, 0x80, 0x80);
    static constexpr COLORREF kSameColourText = RGB(0xC0, 0xC0, 0xC0);

    struct Item {
        CString text;
        int check = 0;
        bool enabled = true;
        DWORD_PTR data = 0;
    };

    // Items. Indices outside the list are refused (LB_ERR) and change nothing.
    int AddString(const CString& text);
    int InsertString(int index, const CString& text);
    int DeleteString(int index);
    void ResetContent();
    int GetCount() const { return static_cast<int>(m_items.size()); }
    const Item& GetItem(int index) const { return m_items[static_cast<size_t>(index)]; }
    CString GetText(int index) const;
    int GetCheck(int index) const;
    void SetCheck(int index, int state);
    BOOL Enable(int index, BOOL enabled);
    BOOL IsEnabled(int index) const;
    DWORD_PTR GetItemData(int index) const;
    int SetItemData(int index, DWORD_PTR data);
    /// Every enabled item gets the state.
    void SetCheckAll(int state);

    // Colours: one per item, the system highlight colour for a new one.
    void SetItemColour(int index, COLORREF colour);
    COLORREF GetItemColour(int index) const;
    INT_PTR GetColourCount() const { return m_itemColours.GetSize(); }
    /// TRUE when the flag changed (the list must be repainted).
    bool SetColourByCheck(bool on);
    bool IsColourByCheck() const { return m_bColourByCheck; }
    /// Replaces the explicit tab stops by a copy (none when count is 0 or
    /// positions NULL).
    BOOL SetTabStops(int count, const int* positions);
    const std::vector<int>& GetTabStops() const { return m_tabStops; }

    // View.
    int GetTopIndex() const { return m_nTopIndex; }
    void SetTopIndex(int index);
    int GetItemHeight() const { return m_nItemHeight; }
    void SetItemHeight(int height) { m_nItemHeight = height; }
    int GetCurSel() const { return m_nCurSel; }
    int SetCurSel(int index);
    /// The item under a point `y` pixels below the list's top, or -1 (below the
    /// last item, or no item height yet).
    int ItemFromY(int y) const;

    // The click-and-drag rule.
    /// Left button down at `y`: the item under it becomes the anchor and the
    /// selection; with `onCheckBox` its check toggles. Reports the anchor with
    /// its check (nothing below the last item). The caller starts the drag timer
    /// when dragging.
    std::vector<CheckListChange> ButtonDown(int y, bool onCheckBox);
    /// The mouse moved to `y` with the button down: the selection follows, kept
    /// in the list.
    void DragTo(int y);
    /// A tick of the drag timer: every item from the anchor to the selection
    /// takes the drag state and is reported, in increasing order; the selection
    /// becomes the anchor.
    std::vector<CheckListChange> Tick();
    /// Left button up: the drag ends (the caller kills the timer and repaints).
    void ButtonUp() { m_bDragging = false; }
    bool IsDragging() const { return m_bDragging; }
    int GetAnchor() const { return m_nAnchor; }
    /// The space key: the selected item's check toggles and is reported.
    std::vector<CheckListChange> ToggleSelected();

    /// How an item is drawn in a rectangle `width` pixels wide.
    CheckListItemLook Look(int index, int width, bool selected, bool windowEnabled) const;

private:
    bool Valid(int index) const { return index >= 0 && index < GetCount(); }

    std::vector<Item> m_items;
    BOOL m_bDragging = FALSE;
    int m_nAnchor = 0;
    int m_nDragState = 0;
    std::vector<int> m_tabStops;
    bool m_bColourByCheck = false;
    CArray<COLORREF, COLORREF> m_itemColours;
    int m_nTopIndex = 0;
    int m_nItemHeight = 0;
    int m_nCurSel = -1;
};

/// The tab stops of a line of `width` pixels with `tabs` tab characters: the
/// columns fall at equal shares, k x width / (tabs + 1) for k = 1 to tabs.
std::vector<int> EqualTabStops(int tabs, int width);
