#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "MessengerOwner.h"
#include "RingWatch.h"
#include "WindowClass.h"
#include "framework/Dialog.h"

// The messenger's worker: a hidden dialog on the GUI thread. Its watch timer
// finds the messenger's windows and reports ringing and running calls to the
// handset side; ExecuteCommand carries out the handset's commands on those
// windows with posted keys and clicks. It reaches the rest of the program
// only through IMessengerOwner.
class CYahooDialog : public CDialog {
public:
    explicit CYahooDialog(IMessengerOwner* pOwner, CWnd* pParent = nullptr);
    ~CYahooDialog() override;

    // TRUE when the messenger's main window exists; then also finds its
    // number box (only while the one known is gone) and its contact list.
    BOOL FindMessenger();
    // Only the main window and the number box: what the watch tick needs.
    BOOL FindMainWindow();
    // One watch pass: reports at most one status, from the call window known,
    // the incoming-call notification or a scan for a call in progress.
    void WatchCalls();
    // Drops what is known of a messenger that is not running.
    void ForgetMessenger();
    // The notification reported last is reported again at the next tick
    // if it still shows: a handset found while it rang missed it.
    void ReportRingAgain() { m_hLastCallInWnd = nullptr; }
    // The next tick 2 s from now, and every 2 s from then on.
    void RestartWatch();
    // Carries out a command code on the messenger's windows. Returns 0 when
    // the messenger is not running or 'Call' could not start a call, else 1.
    // Virtual so that a test can stand in for the messenger side.
    virtual int ExecuteCommand(uint32_t nCode, int32_t nParam);
    // Shows, restores and activates one window.
    void BringToFront(HWND hWnd);
    // Types number (digits, '*', '+') into the emptied number box and waits
    // until the box holds exactly that, without Return; 'Call' then calls it.
    // False, with a trace line, when it could not be typed or checked.
    bool TypeNumber(const wchar_t* number);

    // Windows of the messenger's process: never owned, and any may be stale.
    HWND m_hMessengerWnd = nullptr;      // main window; null when not found
    HWND m_hNumberEdit = nullptr;        // the edit in the main window's combo box
    HWND m_hCallInWnd = nullptr;         // browser window of a ringing notification
    HWND m_hLastCallInWnd = nullptr;     // last browser window reported ringing
    HWND m_hContactList = nullptr;       // contact list view
    HWND m_hCallWnd = nullptr;           // window with the visible hang-up button

protected:
    BOOL OnInitDialog() override;
    // Runs before each look of 'Call''s wait at the desk, with its number
    // from 0: a test's stand-in acts at a chosen look, not after a delay.
    virtual void OnCallWaitTry(int /*nTry*/) {}
    void OnTimer(UINT_PTR nIDEvent) override;

private:
    IMessengerOwner* m_pOwner;           // the main dialog; not owned
    mutable HWND m_hThreadReadFor = nullptr;   // the main window m_nMessengerThread was read from
    mutable DWORD m_nMessengerThread = 0;
    CClassAtoms m_messengerClasses;      // of the messenger thread's top-level windows
    CRingWatch m_ring;                   // the ring in progress, with or without a handset
    // What this side typed into the number box since it last pressed Return
    // there; exact: since it emptied the box, so the box must hold just this.
    std::wstring m_typed;
    bool m_bTypedExact = false;
    bool m_bWatchLengthened = false;     // a command set a longer period for one tick

    void WatchRingEnd(HWND hPage);
    std::vector<HWND> CallWindowsHeld() const;
    void WatchCallWindow();
    void WatchAfterCallIn();
    HWND FindAnsweredCallWindow() const;
    HWND FindAnsweredCallWindowBelow(CTopLevelScan& scan, HWND hExamined) const;
    void WatchNotification(HWND hNotification);
    HWND FindNotification() const;
    HWND RingPage(HWND hNotification) const;
    void FollowRing(HWND hPage);
    void ScanForCall();
    HWND FindHangUpButton(HWND hParent) const;
    void SendStatus(uint32_t nStatus);

    DWORD MessengerThread() const;
    HWND GetMessengerFocus() const;
    void SetMessengerFocus(HWND hTarget) const;
    void TypeIntoNumberBox(WPARAM nVirtualKey);
    bool EmptyNumberBox();
    bool WaitForTypedNumber() const;
    void PressInContactList(WPARAM nVirtualKey);
    void SwitchTab();
    void HideMessenger();
    bool Accept();
    void HangUp();
    void Show(int32_t nParam);
    int Call();
    void LengthenWatch();

    static BOOL CALLBACK FindNumberEditProc(HWND hWnd, LPARAM lParam);
    static BOOL CALLBACK FindHangUpButtonProc(HWND hWnd, LPARAM lParam);
};
