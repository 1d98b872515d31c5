// CCallvaneDlg: the main window. It is never seen: it hides whenever it would
// be painted. It owns the tray icon and its menu and the three worker
// dialogs, through which the handset side and the messenger side reach each
// other.
#pragma once

#include "TrayIcon.h"
#include "framework/Dialog.h"
#include "framework/ScopedHandle.h"

class CDeviceDialog;
class CYahooDialog;
class COptionDlg;

class CCallvaneDlg : public CDialog {
public:
    explicit CCallvaneDlg(CWnd* pParent = nullptr);
    ~CCallvaneDlg() override;

    // Sets the tray icon's image and tip from the presence of the handset
    // and of the messenger.
    void RefreshTrayStatus();
    // The same for a caller that has just looked for the messenger itself
    // (the watch tick): its result stands for a second search.
    void RefreshTrayStatus(BOOL bMessengerFound);

    HICON m_hIcon;
    COptionDlg* m_pOptionDlg = nullptr;
    CYahooDialog* m_pYahooDlg = nullptr;
    CDeviceDialog* m_pDeviceDlg = nullptr;
    CTrayIcon m_trayIcon;
    HMENU m_hTrayMenu = nullptr;   // sub-menu 0 of m_trayMenuResource
    BOOL m_bAutoRun = FALSE;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;
    bool OnCommand(UINT nID, UINT nCode, HWND hCtl) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    void ShowTrayStatus(bool bHandset, bool bMessenger);
    void ShowAbout(int nDeviceModel);
    void OnAutoRun();
    void OnOption();
    void OnSelectLanguage();

    CMenuHandle m_trayMenuResource;
    UINT m_uTaskbarCreated;   // broadcast by the shell when it (re)starts
};
