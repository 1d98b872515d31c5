// CAboutDlg: version of the program and, when a handset is open, its model.
#pragma once

#include "framework/Dialog.h"

class CAboutDlg : public CDialog {
public:
    // nDeviceModel: the model to show, or -1 for none.
    explicit CAboutDlg(int nDeviceModel, CWnd* pParent = nullptr);

    int m_nDeviceModel;

protected:
    BOOL OnInitDialog() override;
};

// The model as shown: at least four upper-case hexadecimal digits.
void FormatDeviceModel(int nDeviceModel, wchar_t (&text)[16]);
