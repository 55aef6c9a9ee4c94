#include "ui/DialogPlacement.h"

#include "ui/ScreenLayout.h"
#include "winport/Screens.h"

void DialogPlacement::Restore()
{
    CScreenLayout layout(m_hWnd);
    m_bRecorded = layout.IsDualScreenSupported() != FALSE;
    if (m_bRecorded) layout.Restore(m_strName, FALSE);
}

void DialogPlacement::Save()
{
    CRect recorded;
    if (!m_bRecorded || !GetWindowRect(m_hWnd, recorded)) return;
    CScreenLayout(m_hWnd).Save(m_strName, recorded, FALSE);
}
