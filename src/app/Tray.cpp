#include "Tray.h"

#include "AppIds.h"
#include "ShellEffects.h"
#include "StartupShortcut.h"
#include "framework/BoundedString.h"
#include "framework/ModulePath.h"
#include "framework/WinApp.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "trace/LogFile.h"

#include <cwchar>

// The menu, top to bottom.
const CTray::MenuRow CTray::kMenu[] = {
    {ID_TRAY_AUTORUN, IDS_TRAY_AUTORUN, nullptr, &CTray::ReadAutoRun, &CTray::OnAutoRun},
    {ID_TRAY_SELECT_LANGUAGE, IDS_TRAY_SELECT_LANGUAGE, nullptr, nullptr, &CTray::OnLanguage},
    {ID_TRAY_OPTION, IDS_TRAY_OPTION, nullptr, nullptr, &CTray::OnOption},
    {ID_TRAY_ABOUT, IDS_TRAY_ABOUT, nullptr, nullptr, &CTray::OnAbout},
    {ID_TRAY_OPEN_LOG_FOLDER, IDS_TRAY_OPEN_LOG_FOLDER, &CTray::LogFolderMissing, nullptr, &CTray::OnOpenLogFolder},
    {0, 0, nullptr, nullptr, nullptr},
    {ID_TRAY_EXIT, IDS_TRAY_EXIT, nullptr, nullptr, &CTray::OnExit},
};

CTray::CTray(ITrayOwner& owner, CTrayIcon& icon, HMENU& menu, BOOL& autoRun)
    : m_owner(owner), m_icon(icon), m_hMenu(menu), m_bAutoRun(autoRun), m_shell(&SystemShell()),
      m_uTaskbarCreated(RegisterWindowMessageW(L"TaskbarCreated"))
{
}

void CTray::Create(HWND hWnd, HICON hIcon)
{
    m_hWnd = hWnd;
    m_icon.Add(hWnd, WM_TRAYNOTIFY, hIcon, kTipNoHandset, kTrayIconId);
    m_menu.Reset(CreatePopupMenu());
    m_hMenu = m_menu.Get();
    for (const MenuRow& row : kMenu) {
        wchar_t text[64] = {};
        if (row.command == 0)
            AppendMenuW(m_hMenu, MF_SEPARATOR, 0, nullptr);
        else if (LoadStringW(GetResourceInstance(), row.text, text, ARRAYSIZE(text)) > 0)
            AppendMenuW(m_hMenu, MF_STRING, row.command, text);
    }
}

void CTray::ShowStatus(bool bHandset, bool bMessenger)
{
    m_bShownHandset = bHandset;
    m_bShownMessenger = bMessenger;
    const wchar_t* iconName = kIconNoHandset;
    const wchar_t* baseTip = kTipNoHandset;
    if (bHandset) {
        iconName = bMessenger ? kIconOnline : kIconNoMessenger;
        baseTip = bMessenger ? kTipOnline : kTipNoMessenger;
    }
    wchar_t tip[ARRAYSIZE(NOTIFYICONDATAW{}.szTip)];
    if (m_nMissedCalls == 0)
        CopyTruncated(tip, baseTip);
    else if (m_nMissedCalls == 1)
        swprintf(tip, ARRAYSIZE(tip), kMissedCallTipOne, baseTip);
    else
        swprintf(tip, ARRAYSIZE(tip), kMissedCallTipMany, baseTip, m_nMissedCalls);
    wchar_t iconPath[MAX_PATH];
    if (!GetProgramDirectory(iconPath) || !AppendWhole(iconPath, iconName))
        iconPath[0] = L'\0';
    // Sending the shell the image and tip it shows already changes nothing
    // it shows, and costs most of an idle tick (the shell copies the image
    // and redraws it every time).
    if (!m_icon.Shows(iconPath, tip)) {
        m_icon.SetIconFromFile(iconPath);
        m_icon.SetTip(tip);
    }
    // A shell that was not up when the program started (at logon) refused
    // the first add and announces nothing when it comes; one that lost the
    // icon refused the changes above: add it again, with what they set.
    if (!m_icon.IsAdded())
        m_icon.Restore();
}

void CTray::OnMissedCall(const SYSTEMTIME& rang)
{
    if (!ReadMissedCallNotice())
        return;
    ++m_nMissedCalls;
    wchar_t time[64] = {};
    if (!GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &rang, nullptr, time, ARRAYSIZE(time)))
        swprintf(time, ARRAYSIZE(time), L"%02u:%02u", rang.wHour, rang.wMinute);
    m_icon.ShowInfoBalloon(kMissedCallTitle, time);
    ShowStatus(m_bShownHandset, m_bShownMessenger);
}

void CTray::ShowNumberReady(const wchar_t* number)
{
    wchar_t format[ARRAYSIZE(NOTIFYICONDATAW{}.szInfoTitle)] = {};
    wchar_t title[ARRAYSIZE(NOTIFYICONDATAW{}.szInfoTitle)] = {};
    wchar_t text[ARRAYSIZE(NOTIFYICONDATAW{}.szInfo)] = {};
    if (LoadStringW(GetResourceInstance(), IDS_NUMBER_READY_TITLE, format, ARRAYSIZE(format)) <= 0 ||
        LoadStringW(GetResourceInstance(), IDS_NUMBER_READY_TEXT, text, ARRAYSIZE(text)) <= 0)
        return;
    swprintf(title, ARRAYSIZE(title), format, number);
    m_icon.ShowInfoBalloon(title, text);
}

bool CTray::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case WM_DPICHANGED:
        // The tray's icon size follows the display scale. The window is
        // never seen, so it keeps its size.
        m_icon.ReloadForDpi(LOWORD(wParam));
        return true;
    case WM_SETTINGCHANGE:
        // A scale change can arrive as a setting change alone.
        m_icon.ReloadForDpi();
        return false;
    default:
        if (msg != m_uTaskbarCreated || msg == 0)
            return false;
        // The shell restarted and lost every icon: add ours again, at the
        // size the new shell shows.
        m_icon.ReloadForDpi();
        m_icon.Restore();
        return true;
    }
}

bool CTray::OnCommand(UINT nID)
{
    for (const MenuRow& row : kMenu) {
        if (row.command != 0 && row.command == nID) {
            (this->*row.run)();
            return true;
        }
    }
    return false;
}

LRESULT CTray::OnNotify(WPARAM wParam, LPARAM lParam)
{
    if (wParam != kTrayIconId)
        return -1;
    if (lParam != WM_RBUTTONDOWN && lParam != WM_LBUTTONDBLCLK)
        return 1;

    // The user has looked: the missed calls are seen.
    if (m_nMissedCalls != 0) {
        m_nMissedCalls = 0;
        ShowStatus(m_bShownHandset, m_bShownMessenger);
    }

    // The menu closes on a click elsewhere only if its owner is foreground.
    BringWindowToTop(m_hWnd);
    SetForegroundWindow(m_hWnd);
    SetActiveWindow(m_hWnd);

    for (const MenuRow& row : kMenu) {
        if (row.greyed)
            EnableMenuItem(m_hMenu, row.command, MF_BYCOMMAND | ((this->*row.greyed)() ? MF_GRAYED : MF_ENABLED));
        if (row.checked)
            CheckMenuItem(m_hMenu, row.command, MF_BYCOMMAND | ((this->*row.checked)() ? MF_CHECKED : MF_UNCHECKED));
    }

    POINT cursor = {};
    GetCursorPos(&cursor);
    TrackPopupMenuEx(m_hMenu, TPM_RIGHTBUTTON, cursor.x, cursor.y, m_hWnd, nullptr);
    // Required after a notification-area menu, or it may not close properly.
    PostMessageW(m_hWnd, WM_NULL, 0, 0);
    return 1;
}

// The check mark, and the state AutoRun flips, follow the shortcut's
// existence each time the menu opens.
bool CTray::ReadAutoRun()
{
    wchar_t shortcut[MAX_PATH];
    m_bAutoRun = BuildStartupShortcutPath(shortcut) && FileCanBeRead(shortcut);
    return m_bAutoRun != FALSE;
}

void CTray::OnAutoRun()
{
    m_bAutoRun = !m_bAutoRun;
    wchar_t shortcut[MAX_PATH];
    if (!BuildStartupShortcutPath(shortcut))
        return;
    if (m_bAutoRun)
        InstallStartupShortcut(*m_shell, shortcut);
    else
        m_shell->Remove(shortcut);
}

void CTray::OnOption()
{
    if (!m_owner.IsDevicePresent()) {
        m_icon.ShowWarningBalloon(kTipNoHandset);
        return;
    }
    m_owner.OpenOptions();
}

// The folder the log file is written to: there is nothing to open before
// the first line is written.
bool CTray::LogFolderMissing()
{
    wchar_t folder[MAX_PATH];
    if (!DefaultLogFolder(folder))
        return true;
    DWORD attributes = GetFileAttributesW(folder);
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void CTray::OnOpenLogFolder()
{
    // A greyed item's command can still come as a message.
    wchar_t folder[MAX_PATH];
    if (!LogFolderMissing() && DefaultLogFolder(folder))
        m_shell->Open(folder);
}

void CTray::OnExit()
{
    DestroyWindow(m_hWnd);
}
