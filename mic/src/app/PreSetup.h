// CPRESetup: the "PRE MIDI Port Setup" dialog's core. It links up to nine pre-amplifier units
// that speak MIDI to MIDI ports and channels: each row holds a unit's input link (what the
// program hears it on) and output link (what the program sends it on), the two mapping tables of
// the rack setup record. Auto-Detect clears the links, lets the MIDI port manager listen for 16
// seconds, then links every unit it heard, in port-then-channel order. The operator can swap
// output links, or whole rows, by dragging. Input links are coloured by whether the manager's
// last detection pass lists their unit on the same row.
//
// The manager's detect hold is on while the dialog is open (counters only rise, so a unit heard
// once during the run stays heard) and released on every way out.
//
// The view tells the core where the cells and row labels lie, draws GetCell() and the result
// text, and forwards the operator's input. User-interface thread only.
#pragma once

#include <memory>

#include "app/MidiSetup.h"
#include "base/RackSetup.h"
#include "base/Shell.h"
#include "winport/CRect.h"
#include "winport/CString.h"
#include "winport/WinTypes.h"

class CMidiPortManager;

/// What the dialog asks of the MIDI port manager's unit detection.
class PreDetection {
public:
    static constexpr int kPorts = 32;
    static constexpr int kChannels = 16;

    virtual ~PreDetection() = default;
    /// While set, heartbeat counters only rise.
    virtual void SetDetectHold(BOOL hold) = 0;
    /// Counters and the detected list zeroed.
    virtual void ClearDetectedPres() = 0;
    /// Entry i of the last pass's list; FALSE when it lists fewer units.
    virtual BOOL GetListedPre(int i, int& port, int& channel) = 0;
    /// A detection pass is running now.
    virtual BOOL IsDetectionPassBusy() = 0;
    /// Non-zero when a unit was heard on the port and MIDI channel.
    virtual int GetHeartbeatCounter(int port, int channel) = 0;
};

/// The detection of the program's MIDI port manager.
class PortManagerDetection : public PreDetection {
public:
    explicit PortManagerDetection(CMidiPortManager& manager) : m_manager(manager) {}
    void SetDetectHold(BOOL hold) override;
    void ClearDetectedPres() override;
    BOOL GetListedPre(int i, int& port, int& channel) override;
    BOOL IsDetectionPassBusy() override;
    int GetHeartbeatCounter(int port, int channel) override;

private:
    CMidiPortManager& m_manager;
};

class CPRESetupView {
public:
    virtual ~CPRESetupView() = default;
    /// Something shown changed.
    virtual void Changed() = 0;
    /// The dialog ends with this result.
    virtual void EndDialog(int result) = 0;
};

class CPRESetup {
public:
    static constexpr int kRows = CRackSetup::kMappings;
    // Control ids.
    static constexpr int kIdExit = 1;
    static constexpr int kIdAutoDetect = 1324;
    static constexpr int kIdReset = 1382;
    static constexpr int kIdResult = 1381;
    static constexpr int kIdRowLabel[kRows] = {1344, 1349, 1350, 1351, 1355, 1356, 1357, 1358, 1363};
    static constexpr int kIdInputCell[kRows] = {1346, 1365, 1366, 1367, 1368, 1369, 1370, 1371, 1372};
    static constexpr int kIdOutputCell[kRows] = {1373, 1374, 1375, 1376, 1377, 1378, 1379, 1380, 1383};
    // Pictures: the row label, and the rows' numbers from 1.
    static constexpr UINT kRowLabelPicture = 565;
    static constexpr UINT kRowNumberPictureFirst = 556;  // to 564
    // Timers.
    static constexpr UINT kTimerDetected = 42;
    static constexpr UINT kTimerResult = 43;
    static constexpr UINT kDetectMs = 16000;
    static constexpr UINT kFirstResultMs = 8000;
    static constexpr UINT kResultMs = 1000;
    /// While a detection pass runs at the end of a run, the dialog looks again this often, and
    /// takes the counters it has after kPassWaitLimitMs.
    static constexpr UINT kPassLookMs = 100;
    static constexpr UINT kPassWaitLimitMs = 2000;
    // Colours (red in the low byte).
    static constexpr COLORREF kBackground = 0x6B441D;
    static constexpr COLORREF kFrame = 0xA0A0A0;
    static constexpr COLORREF kText = 0xFFFFFF;
    static constexpr COLORREF kEmptyCell = 0x000000;
    static constexpr COLORREF kOutputCell = 0x6BA800;
    static constexpr COLORREF kDetectedCell = 0xDC143C;     // shown blue
    static constexpr COLORREF kNotDetectedCell = 0x3C14DC;  // shown red

    enum Cell { kInput = 0, kOutput = 1, kLabel = -1 };

    /// The row and cell under a point: cell kInput or kOutput, kLabel on the row's label; row -1
    /// when the point lies on none.
    struct Hit {
        int row = -1;
        int cell = kLabel;
        bool operator==(const Hit&) const = default;
    };

    /// What one cell shows: an empty link black with "IN" or "OUT" 10 pixels below the top; a
    /// link coloured with "Port %d" 3 pixels below the top and "Chn %d" under it.
    struct CellView {
        bool empty = true;
        COLORREF fill = kEmptyCell;
        CString first;
        CString second;
        int textTop = 10;
    };

    /// setup: the main dialog's record; owner: the owner of the message boxes.
    CPRESetup(CRackSetup* setup, PreDetection* detection, HWND owner, Shell* shell);
    ~CPRESetup();
    CPRESetup(const CPRESetup&) = delete;
    CPRESetup& operator=(const CPRESetup&) = delete;

    void SetView(CPRESetupView* view) { m_pView = view; }
    /// Where a row's cell (kInput, kOutput) or label (kLabel) lies, in client co-ordinates.
    void SetFrame(int row, int cell, const CRect& frame);

    /// Makes the dialog's window, holds the detection, starts the result timer and shows the
    /// result text. FALSE when the window could not be made.
    BOOL OnInitDialog();
    HWND GetSafeHwnd() const { return m_hWnd; }

    Hit HitTest(CPoint point) const;

    // The operator's input.
    void OnLButtonDown(CPoint point);
    void OnMouseMove(CPoint point);
    void OnLButtonUp(CPoint point);
    /// Auto-Detect: two questions, then a 16-second run.
    void OnAutoDetect();
    /// Clears every link and the detected list.
    void OnReset();
    /// "E&xit".
    void OnExit();
    /// Escape or the close box: refused while a run goes on (FALSE).
    BOOL OnCancel();

    // What the view shows.
    const CString& GetResultText() const { return m_strResult; }
    bool IsExitEnabled() const { return m_bExitEnabled; }
    bool IsDetecting() const { return !m_bExitEnabled; }
    DialogCursor GetCursor() const { return m_cursor; }
    CellView GetCell(int row, int cell) const;

private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    void RefreshResult();
    void OnDetectionEnd();
    void LinkHeardUnits();
    void StartRun();
    void EndDrag();
    void End(int result);
    void Changed();

    CRackSetup* m_pSetup;
    PreDetection* m_pDetection;
    HWND m_hOwner;
    Shell* m_pShell;
    CPRESetupView* m_pView = nullptr;
    HWND m_hWnd = nullptr;
    CRect m_rcCell[kRows][2];
    CRect m_rcLabel[kRows];
    CString m_strResult = "No PREs have been detected";
    int m_nShownCount = -1;
    bool m_bExitEnabled = true;
    bool m_bHeld = false;
    bool m_bAsking = false;
    UINT m_nPassWaitMs = 0;
    int m_nDragKind = kLabel;
    int m_nDragRow = -1;
    DialogCursor m_cursor = DialogCursor::Arrow;
    /// Expires with the dialog, for answers that come later.
    std::shared_ptr<int> m_life = std::make_shared<int>(0);
};
