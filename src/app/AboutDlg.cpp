#include "AboutDlg.h"

#include "res/resource.h"

#include <cwchar>
#include <cwctype>

CAboutDlg::CAboutDlg(int nDeviceModel, CWnd* pParent) : CDialog(IDD_ABOUTBOX, pParent), m_nDeviceModel(nDeviceModel) {}

void FormatDeviceModel(int nDeviceModel, wchar_t (&text)[16])
{
    swprintf(text, 16, L"%.4x", static_cast<unsigned>(nDeviceModel));
    for (wchar_t* p = text; *p; ++p)
        *p = static_cast<wchar_t>(towupper(*p));
}

BOOL CAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    if (m_nDeviceModel == -1)
        return TRUE;
    wchar_t text[16];
    FormatDeviceModel(m_nDeviceModel, text);
    ::ShowWindow(GetDlgItem(IDC_DEVICE_VERSION_LABEL), SW_SHOW);
    ::SetWindowTextW(GetDlgItem(IDC_DEVICE_VERSION), text);
    ::ShowWindow(GetDlgItem(IDC_DEVICE_VERSION), SW_SHOW);
    return TRUE;
}
