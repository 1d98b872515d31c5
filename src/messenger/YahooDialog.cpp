#include "YahooDialog.h"

#include "MessengerIds.h"
#include "app/CallvaneDlg.h"
#include "res/resource.h"

CYahooDialog::CYahooDialog(CCallvaneDlg* pOwner) : CDialog(IDD_YAHOO_DIALOG), m_pOwner(pOwner) {}

BOOL CYahooDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetTimer(kWatchTimerId, kWatchPeriodMs);
    return TRUE;
}

BOOL CYahooDialog::FindMessenger()
{
    m_hMessengerWnd = FindWindowW(kMainWindowClass, nullptr);
    return m_hMessengerWnd != nullptr;
}

int CYahooDialog::ExecuteCommand(uint32_t /*nCode*/, int32_t /*nParam*/)
{
    if (!FindMessenger())
        return 0;
    return 1;
}

void CYahooDialog::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent != kWatchTimerId)
        return;
    FindMessenger();
    m_pOwner->RefreshTrayStatus();
    SetTimer(kWatchTimerId, kWatchPeriodMs);
}
