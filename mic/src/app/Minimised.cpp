#include "app/Minimised.h"

namespace {

// Where the mini view stood when it last closed in this run (nothing stores it).
bool g_bPlaced = false;
CPoint g_ptLast;

}  // namespace

CMinimised::CMinimised(CMicDlg* owner, Shell* shell) : m_pOwner(owner), m_pOwnerView(owner->GetView()), m_pShell(shell)
{
    m_pOwner->SetView(this);
}

CMinimised::~CMinimised()
{
    if (m_pOwner->GetView() == this) m_pOwner->SetView(m_pOwnerView);
}

BOOL CMinimised::OnInitDialog(const CPoint& mainWindowCorner)
{
    m_ptOpen = g_bPlaced ? g_ptLast : mainWindowCorner;
    Changed();
    return TRUE;
}

int CMinimised::GetRack() const { return m_pOwner->m_RackSetup.GetCurrentRack(); }

ChannelSnapshot CMinimised::GetChannel(int channel) const { return m_pOwner->ChannelState(GetRack(), channel); }

int CMinimised::GetStatePicture() const
{
    return m_pOwner->m_RackSetup.GetRackFlag(GetRack()) ? kStateResponding : kStateNoUnit;
}

void CMinimised::OnSwitch(int channel, int code)
{
    if (channel < 0 || channel > 3) return;
    if (code == CMicDlg::kSwitchDir)
        m_pOwner->ToggleDir(channel);
    else
        m_pOwner->ToggleSwitchAndSend(channel, code);
    Changed();
}

void CMinimised::OnGainSelected(int channel, int item)
{
    if (channel < 0 || channel > 3) return;
    m_pOwner->OnGainSelected(channel, item);
    Changed();  // a refused item snaps back to the stored one
}

void CMinimised::OnGainDigit(int channel, const char* text)
{
    if (channel < 0 || channel > 3) return;
    m_pOwner->OnGainDigit(channel, text);
    Changed();
}

void CMinimised::OnGainEntryDone(int channel)
{
    if (channel < 0 || channel > 3) return;
    m_pOwner->OnGainEntryDone(channel);
    Changed();
}

void CMinimised::OnPrevRack()
{
    const int rack = GetRack();
    if (rack > 0) m_pOwner->SelectRack(rack - 1);
    Changed();
}

void CMinimised::OnNextRack()
{
    const int rack = GetRack();
    if (rack < 15) m_pOwner->SelectRack(rack + 1);
    Changed();
}

void CMinimised::OnMaximise(const CPoint& windowCorner)
{
    if (!m_pOwner->IsRingEmpty() || m_pOwner->m_bBusy || !m_Maximise.enabled) return;
    m_Maximise = {"Maximised", false, false};
    g_ptLast = windowCorner;
    g_bPlaced = true;
    Changed();
    if (m_pView) m_pView->EndDialog(IDCANCEL);
}

void CMinimised::OnClose() { m_pOwner->OnExit(); }

void CMinimised::OnAbout()
{
    if (m_pShell) m_pShell->RunDialog(m_pOwner->GetSafeHwnd(), ShellDialog::About, {});
}

void CMinimised::RackChanged(int rack)
{
    m_pOwnerView->RackChanged(rack);
    Changed();
}

void CMinimised::LinkChanged()
{
    m_pOwnerView->LinkChanged();
    Changed();
}

void CMinimised::Closed()
{
    m_pOwnerView->Closed();
    if (m_pView) m_pView->EndDialog(IDOK);
}

void CMinimised::Changed()
{
    if (m_pView) m_pView->Changed();
}
