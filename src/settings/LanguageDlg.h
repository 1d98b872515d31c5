// CLanguageDlg: which interface language the messenger runs in.
#pragma once

#include "framework/Controls.h"
#include "framework/Dialog.h"

class CCallvaneDlg;

class CLanguageDlg : public CDialog {
public:
    explicit CLanguageDlg(CCallvaneDlg* pParent);

    CComboBox m_comboLanguage;
    CCallvaneDlg* m_pOwner;   // not owned; gives the dialog its icon

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
};
