#include "app/PreSetup.h"

#include <cstdio>
#include <utility>

#include "midi/MidiPortManager.h"
#include "winport/Hooks.h"
#include "winport/MessageLoop.h"
#include "winport/Window.h"

namespace {

constexpr const char* kWindowClass = "CPRESetup";
constexpr const char* kCaption = "PRE MIDI Port Setup";
constexpr const char* kAskRun = "This process will take 16 seconds to find all the new PREs.\nDo you wish to continue?";
constexpr const char* kAskFailures =
    "Ensure that you press okay to all 'Failed to detect' message on your workstation screen whilst this "
    "process is underway.";
constexpr const char* kNoneSetUp = "No PREs have been setup.\nRun the auto-detect process to link PREs to MIDI ports.";
constexpr const char* kSetUp =
    " %d PRE has been setup.\nInput channels which have been detected are blue.\nInput channels which are red "
    "have not been detected.";

bool LinkSet(int port, int channel) { return port != -1 && channel != -1; }

}  // namespace

void PortManagerDetection::SetDetectHold(BOOL hold) { m_manager.SetDetectHold(hold); }

void PortManagerDetection::ClearDetectedPres() { m_manager.ClearDetectedPres(); }

BOOL PortManagerDetection::GetListedPre(int i, int& port, int& channel)
{
    if (i < 0 || i >= m_manager.GetDetectedCount()) return FALSE;
    return m_manager.GetDetectedPre(i, port, channel);
}

BOOL PortManagerDetection::IsDetectionPassBusy() { return m_manager.IsDetectionPassBusy(); }

int PortManagerDetection::GetHeartbeatCounter(int port, int channel) { return m_manager.GetHeartbeatCounter(port, channel); }

CPRESetup::CPRESetup(CRackSetup* setup, PreDetection* detection, HWND owner, Shell* shell)
    : m_pSetup(setup), m_pDetection(detection), m_hOwner(owner), m_pShell(shell)
{
}

CPRESetup::~CPRESetup()
{
    // However the dialog goes, the manager's counters must fall again for silent units.
    if (m_bHeld) m_pDetection->SetDetectHold(FALSE);
    if (m_hWnd) DestroyWindow(m_hWnd);
}

void CPRESetup::SetFrame(int row, int cell, const CRect& frame)
{
    if (row < 0 || row >= kRows) return;
    if (cell == kLabel) m_rcLabel[row] = frame;
    if (cell == kInput || cell == kOutput) m_rcCell[row][cell] = frame;
}

BOOL CPRESetup::OnInitDialog()
{
    if (!m_hWnd) {
        m_hWnd = winport::CreateMessageWindow(kWindowClass, [this](HWND, UINT message, WPARAM wParam, LPARAM lParam) {
            return WindowProc(message, wParam, lParam);
        }, {m_hOwner, false});
        if (!m_hWnd) return FALSE;
    }
    m_nShownCount = -1;
    m_pDetection->SetDetectHold(TRUE);
    m_bHeld = true;
    EndDrag();
    SetTimer(m_hWnd, kTimerResult, kFirstResultMs, nullptr);
    RefreshResult();
    return TRUE;
}

LRESULT CPRESetup::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_TIMER) return DefWindowProcA(m_hWnd, message, wParam, lParam);
    KillTimer(m_hWnd, static_cast<UINT_PTR>(wParam));
    if (wParam == kTimerResult) {
        RefreshResult();
        SetTimer(m_hWnd, kTimerResult, kResultMs, nullptr);
    } else if (wParam == kTimerDetected) {
        OnDetectionEnd();
    }
    return 0;
}

void CPRESetup::RefreshResult()
{
    const int count = m_pSetup->CountMappings();
    if (count == m_nShownCount) return;
    m_nShownCount = count;
    if (count > 0) {
        char text[256];
        std::snprintf(text, sizeof(text), kSetUp, count);
        m_strResult = text;
    } else {
        m_strResult = kNoneSetUp;
    }
    Changed();
}

void CPRESetup::OnAutoDetect()
{
    if (!m_bExitEnabled || m_bAsking || !m_pShell) return;
    m_bAsking = true;
    // The answers can come after the dialog has gone.
    std::weak_ptr<int> life = m_life;
    m_pShell->MessageBox(m_hWnd, kAskRun, kCaption, MB_OKCANCEL, [this, life](int answer) {
        if (life.expired()) return;
        if (answer != IDOK) {
            m_bAsking = false;
            return;
        }
        m_pShell->MessageBox(m_hWnd, kAskFailures, kCaption, MB_OK, [this, life](int) {
            if (life.expired()) return;
            m_bAsking = false;
            StartRun();
        });
    });
}

void CPRESetup::StartRun()
{
    // The dialog may have ended while the questions were up.
    if (!m_bHeld || !m_hWnd) return;
    m_pShell->WaitCursor(true);
    m_pSetup->ClearMappings();
    m_pDetection->ClearDetectedPres();
    m_bExitEnabled = false;
    m_nPassWaitMs = 0;
    SetTimer(m_hWnd, kTimerDetected, kDetectMs, nullptr);
    m_pShell->WaitCursor(false);
    Changed();
}

void CPRESetup::OnDetectionEnd()
{
    // A pass that is running now finishes its counters first: look again shortly rather than
    // block the user-interface thread, and take what there is once the wait runs out.
    if (m_pDetection->IsDetectionPassBusy() && m_nPassWaitMs < kPassWaitLimitMs) {
        m_nPassWaitMs += kPassLookMs;
        SetTimer(m_hWnd, kTimerDetected, kPassLookMs, nullptr);
        return;
    }
    LinkHeardUnits();
    m_bExitEnabled = true;
    Changed();
}

void CPRESetup::LinkHeardUnits()
{
    int counters[PreDetection::kPorts][PreDetection::kChannels];
    for (int port = 0; port < PreDetection::kPorts; ++port)
        for (int channel = 0; channel < PreDetection::kChannels; ++channel)
            counters[port][channel] = m_pDetection->GetHeartbeatCounter(port, channel);
    int row = 0;
    for (int port = 0; port < PreDetection::kPorts && row < kRows; ++port) {
        for (int channel = 0; channel < PreDetection::kChannels && row < kRows; ++channel) {
            if (counters[port][channel] == 0) continue;
            m_pSetup->SetPreMapping(row, port, channel);
            m_pSetup->SetChannelMapping(row, port, channel);
            ++row;
        }
    }
}

void CPRESetup::OnReset()
{
    m_pSetup->ClearMappings();
    m_pDetection->ClearDetectedPres();
    Changed();
}

void CPRESetup::OnExit()
{
    if (!m_bExitEnabled) return;
    End(IDOK);
}

BOOL CPRESetup::OnCancel()
{
    if (!m_bExitEnabled) return FALSE;
    End(IDCANCEL);
    return TRUE;
}

void CPRESetup::End(int result)
{
    // Every way out releases the hold: left on, counters only rise and units that fall silent
    // would stay detected for the rest of the run.
    if (m_bHeld) m_pDetection->SetDetectHold(FALSE);
    m_bHeld = false;
    if (m_hWnd) {
        KillTimer(m_hWnd, kTimerResult);
        KillTimer(m_hWnd, kTimerDetected);
    }
    EndDrag();
    if (m_pView) m_pView->EndDialog(result);
}

CPRESetup::Hit CPRESetup::HitTest(CPoint point) const
{
    for (int row = 0; row < kRows; ++row) {
        for (int cell : {kInput, kOutput}) {
            if (m_rcCell[row][cell].PtInRect(point)) return {row, cell};
        }
        if (m_rcLabel[row].PtInRect(point)) return {row, kLabel};
    }
    return {};
}

void CPRESetup::OnLButtonDown(CPoint point)
{
    const Hit hit = HitTest(point);
    if (hit.row < 0) return;
    if (hit.cell == kOutput && !LinkSet(m_pSetup->GetChannelMapping(hit.row, 0), m_pSetup->GetChannelMapping(hit.row, 1)))
        return;
    if (hit.cell == kInput && !LinkSet(m_pSetup->GetPreMapping(hit.row, 0), m_pSetup->GetPreMapping(hit.row, 1)))
        return;
    m_nDragKind = hit.cell;
    m_nDragRow = hit.row;
    m_cursor = DialogCursor::Hand;
}

void CPRESetup::OnMouseMove(CPoint)
{
    if (m_nDragRow >= 0) m_cursor = DialogCursor::Hand;
}

void CPRESetup::OnLButtonUp(CPoint point)
{
    const Hit hit = HitTest(point);
    const int kind = m_nDragKind;
    const int from = m_nDragRow;
    EndDrag();
    if (from < 0 || hit.row < 0 || hit.cell != kind) return;
    if (kind != kInput && hit.row != from) {
        // Swapping through the setters: storing a row's link first empties the row that held it.
        const int out[2][2] = {{m_pSetup->GetChannelMapping(from, 0), m_pSetup->GetChannelMapping(from, 1)},
                               {m_pSetup->GetChannelMapping(hit.row, 0), m_pSetup->GetChannelMapping(hit.row, 1)}};
        m_pSetup->SetChannelMapping(from, out[1][0], out[1][1]);
        m_pSetup->SetChannelMapping(hit.row, out[0][0], out[0][1]);
        if (kind == kLabel) {
            const int in[2][2] = {{m_pSetup->GetPreMapping(from, 0), m_pSetup->GetPreMapping(from, 1)},
                                  {m_pSetup->GetPreMapping(hit.row, 0), m_pSetup->GetPreMapping(hit.row, 1)}};
            m_pSetup->SetPreMapping(from, in[1][0], in[1][1]);
            m_pSetup->SetPreMapping(hit.row, in[0][0], in[0][1]);
        }
    }
    Changed();
}

void CPRESetup::EndDrag()
{
    m_nDragKind = kLabel;
    m_nDragRow = -1;
    m_cursor = DialogCursor::Arrow;
}

CPRESetup::CellView CPRESetup::GetCell(int row, int cell) const
{
    CellView view;
    const bool input = cell == kInput;
    int port = -1;
    int channel = -1;
    if (row >= 0 && row < kRows) {
        port = input ? m_pSetup->GetPreMapping(row, 0) : m_pSetup->GetChannelMapping(row, 0);
        channel = input ? m_pSetup->GetPreMapping(row, 1) : m_pSetup->GetChannelMapping(row, 1);
    }
    if (!LinkSet(port, channel)) {
        view.first = input ? "IN" : "OUT";
        return view;
    }
    view.empty = false;
    view.textTop = 3;
    if (input) {
        int heardPort = -1;
        int heardChannel = -1;
        const bool listed = m_pDetection->GetListedPre(row, heardPort, heardChannel) != FALSE;
        view.fill = (listed && heardPort == port && heardChannel == channel) ? kDetectedCell : kNotDetectedCell;
    } else {
        view.fill = kOutputCell;
    }
    char text[32];
    std::snprintf(text, sizeof(text), "Port %d", port + 1);
    view.first = text;
    std::snprintf(text, sizeof(text), "Chn %d", channel + 1);
    view.second = text;
    return view;
}

void CPRESetup::Changed()
{
    if (m_pView) m_pView->Changed();
}
