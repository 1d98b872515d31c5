// CCallvaneDlg: the main window. It is never seen: it hides whenever it would
// be painted. It owns the tray icon and its menu and the three worker
// dialogs. The handset side and the messenger side reach each other and the
// tray only through it, as IDeviceOwner and IMessengerOwner; the tray (CTray)
// asks it, as ITrayOwner, for the dialogs its menu opens.
#pragma once

#include <memory>

#include "DialLink.h"
#include "Tray.h"
#include "framework/Dialog.h"
#include "messenger/MessengerOwner.h"
#include "phone/DeviceOwner.h"

class CDeviceDialog;
class CYahooDialog;
class COptionDlg;

class CCallvaneDlg : public CDialog, public IDeviceOwner, public IMessengerOwner, public ITrayOwner {
public:
    explicit CCallvaneDlg(CWnd* pParent = nullptr);
    ~CCallvaneDlg() override;

    // IDeviceOwner and IMessengerOwner: each passes the request on to the
    // worker or the tray that carries it out; without that worker, nothing
    // happens and a read gives 0 or false.
    void RefreshTrayStatus() override;
    void HandsetFound() override;
    void RefreshTrayForMessengerSearch(BOOL bMessengerFound) override;
    int ExecuteCommand(uint32_t nCode, int32_t nParam) override;
    bool TypeNumber(const wchar_t* number) override;
    int ReportStatus(uint32_t nCode, int32_t nParam) override;
    BOOL IsDevicePresent() override;
    void OnMissedCall(const SYSTEMTIME& rang) override;
    // Makes the number ready to call through the handset's side once the
    // messenger is found (at once when it runs, within kDialWaitMs
    // otherwise), with a balloon saying how to call it; calls it at once
    // when the settings say so. A newer request replaces one still waiting.
    void RequestDial(const wchar_t* number);

    HICON m_hIcon;
    // The workers live from OnInitDialog until OnDestroy.
    std::unique_ptr<COptionDlg> m_pOptionDlg;
    std::unique_ptr<CYahooDialog> m_pYahooDlg;
    std::unique_ptr<CDeviceDialog> m_pDeviceDlg;
    CTrayIcon m_trayIcon;
    HMENU m_hTrayMenu = nullptr;   // built and owned by m_tray
    BOOL m_bAutoRun = FALSE;
    CTray m_tray{*this, m_trayIcon, m_hTrayMenu, m_bAutoRun};
    // A number from the command line, dialled once the window is up.
    wchar_t m_startDial[kDialNumberChars] = {};

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;
    bool OnCommand(UINT nID, UINT nCode, HWND hCtl) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnTimer(UINT_PTR nIDEvent) override;

private:
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    BOOL OnCopyData(const COPYDATASTRUCT* pData);
    void TryPendingDial();
    void OpenAbout() override;
    void OpenOptions() override;
    void OpenLanguage() override;

    wchar_t m_pendingDial[kDialNumberChars] = {};   // empty: nothing waits
    DWORD m_dialRequestedAt = 0;
};
