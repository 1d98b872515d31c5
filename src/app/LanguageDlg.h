// CLanguageDlg: which interface language the messenger runs in, so that the
// window watcher looks for the messenger's window texts in that language.
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
    // Lists the languages of the settings file and preselects the current one.
    BOOL OnInitDialog() override;
    // Stores the chosen language, read again from the settings file, and
    // points the language file path at its file.
    void OnOK() override;
};
