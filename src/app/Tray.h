// CTray: the tray as the user sees it. The icon's states and tip, its
// balloons and its menu, whose items are the rows of one table (command,
// text, when greyed or checked, handler). The main dialog tells it what
// changed and passes it the tray's messages and commands; the tray asks the
// dialog, as ITrayOwner, only for what needs the dialog's workers.
#pragma once

#include <windows.h>

#include "TrayIcon.h"
#include "framework/ScopedHandle.h"

class IShellEffects;

class ITrayOwner {
public:
    virtual BOOL IsDevicePresent() = 0;
    // The About box, with the handset's model when one is present.
    virtual void OpenAbout() = 0;
    virtual void OpenOptions() = 0;
    virtual void OpenLanguage() = 0;

protected:
    ~ITrayOwner() = default;
};

class CTray {
public:
    // The icon, the menu and the AutoRun state are the main dialog's members;
    // the tray fills and reads them.
    CTray(ITrayOwner& owner, CTrayIcon& icon, HMENU& menu, BOOL& autoRun);

    // Adds the icon with the application's image and builds the menu.
    void Create(HWND hWnd, HICON hIcon);
    // The state's image and tip, and after the tip the missed calls not yet
    // seen.
    void ShowStatus(bool bHandset, bool bMessenger);
    // Counts the call and shows its balloon, unless the settings turn the
    // notice off.
    void OnMissedCall(const SYSTEMTIME& rang);
    // The number as the balloon's title; the text says how to call it.
    void ShowNumberReady(const wchar_t* number);
    // A notification from the icon: the menu on a right press or a left
    // double-click.
    LRESULT OnNotify(WPARAM wParam, LPARAM lParam);
    // A change of scale and the shell's restart.
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // A command of the menu's table; false for any other.
    bool OnCommand(UINT nID);
    void SetShell(IShellEffects& shell) { m_shell = &shell; }

    // One item of the menu; a command of 0 is a separator.
    struct MenuRow {
        UINT command;
        UINT text;                     // string resource
        bool (CTray::*greyed)();       // null: never greyed
        bool (CTray::*checked)();      // null: never checked
        void (CTray::*run)();
    };

private:
    bool ReadAutoRun();
    bool LogFolderMissing();
    void OnAutoRun();
    void OnOption();
    void OnOpenLogFolder();
    void OnExit();
    void OnAbout() { m_owner.OpenAbout(); }
    void OnLanguage() { m_owner.OpenLanguage(); }

    static const MenuRow kMenu[];

    ITrayOwner& m_owner;
    CTrayIcon& m_icon;
    HMENU& m_hMenu;
    BOOL& m_bAutoRun;
    IShellEffects* m_shell;
    HWND m_hWnd = nullptr;   // the main dialog's
    CMenuHandle m_menu;
    // The state last shown, for a tip that changes between refreshes.
    bool m_bShownHandset = false;
    bool m_bShownMessenger = false;
    // Missed calls since the menu was last opened; the tip shows them.
    unsigned m_nMissedCalls = 0;
    UINT m_uTaskbarCreated;   // broadcast by the shell when it (re)starts
};
