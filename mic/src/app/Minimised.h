// CMinimised: the "Mini View" core. It stands in for the main dialog while that is hidden and
// shows one rack: the four channels' switches and gain, the rack's number and whether its unit
// responds. Everything it changes goes through the main dialog's own handlers, so both windows
// follow one rule (a switch the input lacks changes nothing and sends nothing; a channel that
// follows a mic line keeps its gain). The main dialog tells it of every change as it tells its
// own view.
//
// The view draws GetChannel() and the rest below and forwards the operator's input. User-interface
// thread only.
#pragma once

#include "app/MicDlg.h"
#include "app/MicDlgView.h"
#include "winport/CRect.h"

class CMinimisedView {
public:
    virtual ~CMinimisedView() = default;
    /// Something shown changed.
    virtual void Changed() = 0;
    /// The mini view ends (IDCANCEL: the main window comes back).
    virtual void EndDialog(int result) = 0;
};

class CMinimised : public CMicDlgView {
public:
    // Control ids.
    static constexpr int kIdPhantFirst = 1000;
    static constexpr int kIdPhaseFirst = 1012;
    static constexpr int kIdPadFirst = 1024;
    static constexpr int kIdLowzFirst = 1028;
    static constexpr int kIdInsFirst = 1032;
    static constexpr int kIdGainFirst = 1038;
    static constexpr int kIdDirFirst = 1131;
    static constexpr int kIdRackNumber = 1211;
    static constexpr int kIdRackState = 1190;
    static constexpr int kIdMaximise = 1415;
    static constexpr int kIdNextRack = 1438;
    static constexpr int kIdPrevRack = 1443;
    // The switches' pictures (Dir's too: on while the channel takes the mic input).
    static constexpr UINT kSwitchOnPicture = 642;
    static constexpr UINT kSwitchOffPicture = 641;
    // Pictures of the rack's state and of a blank read-out.
    static constexpr int kStateResponding = 216;
    static constexpr int kStateNoUnit = 217;
    static constexpr int kReadoutBlank = 214;

    /// shell: where the About box is asked for.
    CMinimised(CMicDlg* owner, Shell* shell);
    ~CMinimised() override;
    CMinimised(const CMinimised&) = delete;
    CMinimised& operator=(const CMinimised&) = delete;

    void SetView(CMinimisedView* view) { m_pView = view; }
    /// Remembers the rack on show and draws it; where the mini view opens (the main window's
    /// place the first time, then where it was last closed in this run).
    BOOL OnInitDialog(const CPoint& mainWindowCorner);
    CPoint InitialPosition() const { return m_ptOpen; }
    bool IsTopmost() const { return m_pOwner->m_bMiniAlwaysOnTop != 0; }

    // The operator's input.
    /// A switch button: kSwitchPhant, kSwitchPad, kSwitchPhase, kSwitchIns, kSwitchLowz or kSwitchDir.
    void OnSwitch(int channel, int code);
    void OnGainSelected(int channel, int item);
    void OnGainDigit(int channel, const char* text);
    void OnGainEntryDone(int channel);
    void OnPrevRack();
    void OnNextRack();
    /// "&Maximise": the main window comes back, unless messages wait or the owner is busy.
    void OnMaximise(const CPoint& windowCorner);
    /// The close box or Escape: the program's Exit, confirmed by the operator.
    void OnClose();
    /// The system menu's "&About mic...".
    void OnAbout();

    // What the view shows.
    int GetRack() const;
    /// The channel's strip: the main window's rules, so that both windows show one state.
    ChannelSnapshot GetChannel(int channel) const;
    /// 247 + rack.
    int GetRackPicture() const { return 247 + GetRack(); }
    int GetStatePicture() const;
    const ButtonSnapshot& GetMaximiseButton() const { return m_Maximise; }

    // CMicDlgView: the owner's changes, passed on to the owner's own view.
    void TitleChanged(const char* title) override { m_pOwnerView->TitleChanged(title); }
    void RackChanged(int rack) override;
    void RestoreAndRaise() override { m_pOwnerView->RestoreAndRaise(); }
    void BringToFront() override { m_pOwnerView->BringToFront(); }
    void LinkChanged() override;
    void Closed() override;
    void ShowWindow(bool visible) override { m_pOwnerView->ShowWindow(visible); }

private:
    void Changed();

    CMicDlg* m_pOwner;
    CMicDlgView* m_pOwnerView;
    Shell* m_pShell;
    CMinimisedView* m_pView = nullptr;
    CPoint m_ptOpen;
    ButtonSnapshot m_Maximise{"&Maximise", true};
};
