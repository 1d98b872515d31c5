#include "LanguageDlg.h"

#include "app/CallvaneDlg.h"
#include "res/resource.h"

CLanguageDlg::CLanguageDlg(CCallvaneDlg* pParent) : CDialog(IDD_LANGUAGE_DIALOG, pParent), m_pOwner(pParent) {}

void CLanguageDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_LANGUAGE_COMBO, m_comboLanguage);
}

BOOL CLanguageDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetIcon(m_pOwner->m_hIcon, TRUE);
    SetIcon(m_pOwner->m_hIcon, FALSE);
    return TRUE;
}
