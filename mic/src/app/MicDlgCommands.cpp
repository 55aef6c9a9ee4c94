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
    default:
        return OnChannelButton(id);
    }
}
