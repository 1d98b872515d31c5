#include "LanguageDlg.h"

#include "CallvaneDlg.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "settings/SettingsPaths.h"

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

    for (const std::wstring& name : ReadLanguageList())
        m_comboLanguage.AddString(name.c_str());

    wchar_t current[kLanguageListChars];
    ReadCurrentLanguageName(current);
    // The first entry that begins with the current name, letter case
    // ignored; none selected when there is no such entry.
    m_comboLanguage.SetCurSel(m_comboLanguage.FindString(-1, current));
    return TRUE;
}

void CLanguageDlg::OnOK()
{
    wchar_t chosen[kNameChars];
    ReadChosenLanguageName(m_comboLanguage.GetCurSel(), chosen);
    WriteCurrentLanguageName(chosen);
    ResolveLanguagePath(chosen);
    CDialog::OnOK();
}
