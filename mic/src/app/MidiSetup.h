// CMidiSetup: the "MIDI controls" dialog's core. It ties the racks to the pre-amplifier units
// linked on the MIDI ports: each rack has three slots, and a slot holds a unit's group A
// (channels 1-4) or B (channels 5-8), as slot value 2 x unit + group, or nothing (-1). A value
// stands in one slot of all racks at most. The operator drags a slot onto another (a move, or a
// swap when the target is set), picks a unit from a slot's pop-up menu, or lets "&Default" hand
// out the units. The dialog edits the main dialog's rack setup record directly.
//
// The view tells the core where the 16 rack rows lie, draws GetCell() and the rack pictures, and
// forwards the mouse. User-interface thread only.
#pragma once

#include <memory>
#include <vector>

#include "base/RackSetup.h"
#include "base/Shell.h"
#include "winport/CRect.h"
#include "winport/CString.h"
#include "winport/WinTypes.h"

/// The mouse cursor a dialog core asks its view for.
enum class DialogCursor { Arrow, Hand };

class CMidiSetupView {
public:
    virtual ~CMidiSetupView() = default;
    /// Something shown changed.
    virtual void Changed() = 0;
    /// The dialog ends with this result.
    virtual void EndDialog(int result) = 0;
};

class CMidiSetup {
public:
    // Control ids.
    static constexpr int kIdOk = 1;
    static constexpr int kIdDefault = 1324;
    static constexpr int kIdRowFirst = 1112;  // to 1127, one per rack
    /// The rack pictures' frames, in rack order.
    static constexpr int kIdPicture[CRackSetup::kRacks] = {1320, 1321, 1322, 1323, 1332, 1333, 1334, 1335,
                                                           1336, 1337, 1338, 1344, 1345, 1346, 1347, 1348};
    static constexpr UINT kRackPictureFirst = 171;  // to 186
    // Commands of the slot menu.
    static constexpr UINT kCmdClear = 326;
    static constexpr UINT kCmdFirstUnit = 327;  // 327 + 2i: unit i's A, 328 + 2i: its B
    static constexpr COLORREF kBackground = RGB(29, 68, 107);
    static constexpr COLORREF kEmptyCell = RGB(0, 0, 0);

    /// A slot of a rack; -1 parts when the point hits none.
    struct Hit {
        int rack = -1;
        int slot = -1;
        bool operator==(const Hit&) const = default;
    };

    /// What one slot shows: black when empty, else the unit's colour with "PRE" over "%da" or
    /// "%db" (unit number from 1), in white.
    struct Cell {
        bool empty = true;
        COLORREF fill = kEmptyCell;
        CString top;
        CString bottom;
    };

    /// setup: the main dialog's record; owner: the menu's owner window.
    CMidiSetup(CRackSetup* setup, HWND owner, Shell* shell);
    CMidiSetup(const CMidiSetup&) = delete;
    CMidiSetup& operator=(const CMidiSetup&) = delete;

    void SetView(CMidiSetupView* view) { m_pView = view; }
    /// Where the rack's row frame lies, in client co-ordinates.
    void SetRowFrame(int rack, const CRect& frame);

    /// The rack and slot under a client point: the first row frame holding it, and within it slot
    /// k for the first k with x < left + (k + 1) x width x 19 / 70 (none beyond 57/70).
    Hit HitTest(CPoint point) const;

    // The operator's input.
    void OnLButtonDown(CPoint point);
    void OnMouseMove(CPoint point);
    void OnLButtonUp(CPoint point);
    /// The slot menu over a slot of a responding rack.
    void OnRButtonDown(CPoint point);
    void OnDefault();
    void OnOK();

    // What the view shows.
    DialogCursor GetCursor() const { return m_cursor; }
    bool IsDragging() const { return m_bDragging; }
    Cell GetCell(int rack, int slot) const;
    /// Responding racks show their picture (171 + rack); 0 for the others.
    UINT GetRackPicture(int rack) const;

    // The slot menu, which the main dialog offers for the rack on show as well.
    /// A sub-menu "PRE %d" with "A (1-4)" and "B (5-8)" for every unit linked both ways, then
    /// "Clear".
    static std::vector<MenuItem> BuildSlotMenu(const CRackSetup& setup);
    /// Applies a command of that menu to a slot: a unit's half (emptying the slot that held it)
    /// or "Clear". FALSE for 0 (no choice) and for any command the menu does not hold.
    static BOOL ApplySlotCommand(CRackSetup& setup, int rack, int slot, UINT command);

private:
    bool Responds(int rack) const;
    void EndDrag();
    void Changed();

    CRackSetup* m_pSetup;
    HWND m_hOwner;
    Shell* m_pShell;
    CMidiSetupView* m_pView = nullptr;
    CRect m_rcRow[CRackSetup::kRacks];
    Hit m_dragFrom;
    bool m_bDragging = false;
    DialogCursor m_cursor = DialogCursor::Arrow;
    /// Expires with the dialog, for a menu choice that comes later.
    std::shared_ptr<int> m_life = std::make_shared<int>(0);
};
