// CYahooDialog: the hidden worker dialog on the messenger's side. Its watch
// timer looks for the messenger's main window and refreshes the tray.
#pragma once

#include <cstdint>

#include "framework/Dialog.h"

class CCallvaneDlg;

class CYahooDialog : public CDialog {
public:
    explicit CYahooDialog(CCallvaneDlg* pOwner);

    // TRUE when the messenger's main window exists.
    BOOL FindMessenger();
    // Carries out a command code on the messenger's windows. Returns 0 when
    // the messenger is not running, else 1 (see the command table).
    // Virtual so that a test can stand in for the messenger side.
    virtual int ExecuteCommand(uint32_t nCode, int32_t nParam);

    CCallvaneDlg* m_pOwner;            // the main dialog; not owned
    HWND m_hMessengerWnd = nullptr;    // the messenger's main window, another process's

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR nIDEvent) override;
};
