// CYahooDialog: the hidden worker dialog on the messenger's side. Its watch
// timer looks for the messenger's main window and refreshes the tray.
#pragma once

#include "framework/Dialog.h"

class CCallvaneDlg;

class CYahooDialog : public CDialog {
public:
    explicit CYahooDialog(CCallvaneDlg* pOwner);

    // TRUE when the messenger's main window exists.
    BOOL FindMessenger();

    CCallvaneDlg* m_pOwner;            // the main dialog; not owned
    HWND m_hMessengerWnd = nullptr;    // the messenger's main window, another process's

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR nIDEvent) override;
};
