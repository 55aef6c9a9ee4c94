// CMyCheckListBox: the coloured check list box. One line per item with a check
// box at the left; a click on an item tells the parent window at once
// (WM_CHECKLIST_CHANGED, posted) and holding the button while dragging over
// further items copies the first item's check to each of them, ticked by timer
// 100 every 150 ms. Lines are drawn by the list: tab characters become columns,
// and with colour-by-check a checked line shows in its own colour. The state
// and its rules are CheckListState's; this widget shows it and feeds it the
// mouse and keys.
#pragma once

#include <QImage>
#include <QWidget>

#include "ui/CheckListState.h"
#include "winport/CRect.h"
#include "winport_ui/Canvas.h"

class QScrollBar;

class CMyCheckListBox : public QWidget {
    Q_OBJECT
public:
    /// Width of the check box column at the left of every line.
    static constexpr int kCheckBoxArea = 16;

    explicit CMyCheckListBox(int id, QWidget* parent = nullptr);
    ~CMyCheckListBox() override;

    int GetId() const { return m_nId; }
    /// The window that hears of every change (WM_CHECKLIST_CHANGED); none: nobody
    /// is told.
    void SetParentWindow(HWND parent) { m_hParent = parent; }
    /// The list's own window, which owns the drag timer.
    HWND GetSafeHwnd() const { return m_hWnd; }

    int AddString(const CString& text);
    int InsertString(int index, const CString& text);
    int DeleteString(int index);
    void ResetContent();
    void SetItemColour(int index, COLORREF colour);
    void SetColourByCheck(BOOL on);
    BOOL SetTabStops(int count, const int* positions);
    void SetCheckAll(int state);
    int GetCount() const { return m_state.GetCount(); }
    int GetCheck(int index) const { return m_state.GetCheck(index); }
    void SetCheck(int index, int state);
    BOOL Enable(int index, BOOL enabled);
    DWORD_PTR GetItemData(int index) const { return m_state.GetItemData(index); }
    int SetItemData(int index, DWORD_PTR data) { return m_state.SetItemData(index, data); }
    int GetCurSel() const { return m_state.GetCurSel(); }
    int SetCurSel(int index);
    int GetTopIndex() const { return m_state.GetTopIndex(); }
    void SetTopIndex(int index);
    int GetItemHeight() const { return m_state.GetItemHeight(); }
    void SetItemHeight(int height);

    const CheckListState& State() const { return m_state; }
    /// The rectangle of an item's text (right of its check box), in the list's
    /// pixels.
    CRect ItemTextRect(int index) const;
    /// The list as it paints now.
    QImage Render() const;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void changeEvent(QEvent*) override;

private:
    LRESULT OnWindowMessage(UINT msg);
    void Post(const std::vector<CheckListChange>& changes) const;
    int VisibleRows() const;
    void SyncScrollBar();

    int m_nId;
    HWND m_hParent = nullptr;
    HWND m_hWnd = nullptr;
    CheckListState m_state;
    QScrollBar* m_pScroll;
};

/// Draws one line's text in `rect` the way the list does: the look's fill, then
/// the text in its colours with tab characters moved to the look's stops
/// (relative to the rect's left).
void PaintCheckListItem(CDC& dc, const CRect& rect, const CString& text, const CheckListItemLook& look);
