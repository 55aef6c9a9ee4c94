// The main dialog's commands: the controls' WM_COMMAND messages (the channel and rack buttons
// are told in MicDlgSwitches.cpp).
#include "app/MicDlg.h"

BOOL CMicDlg::OnCommand(int id, int code)
{
    (void)code;
    switch (id) {
    case kIdExit:
        OnExit();
        return TRUE;
    case kIdLoadPreset:
        OnLoadPreset();
        return TRUE;
    case kIdStorePreset:
        OnStorePreset();
        return TRUE;
    case kIdSetup:
        OnSetup();
        return TRUE;
    case kIdMiniView:
        OnMiniView();
        return TRUE;
    // The check boxes of server mode change their state with each click.
    case kIdRackOption:
        OnRackOptionClicked(!m_bRackOptionTicked);
        return TRUE;
    case kIdPopupOnSel:
        OnPopupOnSelClicked(!m_RackSetup.GetPopupOnSel());
        return TRUE;
    case kIdPopupControls:
        OnPopupControlsClicked(!m_RackSetup.GetPopupControls());
        return TRUE;
    default:
        return OnChannelButton(id);
    }
}
