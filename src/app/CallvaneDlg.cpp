#include "CallvaneDlg.h"

#include "AboutDlg.h"
#include "AppIds.h"
#include "LanguageDlg.h"
#include "OptionDlg.h"
#include "StartupShortcut.h"
#include "framework/BoundedString.h"
#include "framework/ModulePath.h"
#include "framework/WinApp.h"
#include "messenger/YahooDialog.h"
#include "phone/DeviceDialog.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "trace/TraceLog.h"
#include "trace/TracePoints.h"

#include <cstring>
#include <cwchar>

namespace {

// kDialWaitMs, or the shorter wait a test asked for in kDialWaitVariable.
DWORD DialWaitMs()
{
    wchar_t text[16] = {};
    const DWORD length = GetEnvironmentVariableW(kDialWaitVariable, text, ARRAYSIZE(text));
    if (length == 0 || length >= ARRAYSIZE(text))
        return kDialWaitMs;
    wchar_t* end = nullptr;
    const unsigned long ms = wcstoul(text, &end, 10);
    return end && *end == L'\0' && ms >= 1 && ms <= kDialWaitMs ? static_cast<DWORD>(ms) : kDialWaitMs;
}

}  // namespace

CCallvaneDlg::CCallvaneDlg(CWnd* pParent)
    : CDialog(IDD_CALLVANE_DIALOG, pParent),
      m_hIcon(LoadIconW(GetResourceInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_uTaskbarCreated(RegisterWindowMessageW(L"TaskbarCreated"))
{
    // Never seen, and created before the tray icon: its two buttons are the
    // system's plain ones, so the common controls load after the icon.
    m_bThemedControls = false;
}

CCallvaneDlg::~CCallvaneDlg()
{
    // The window goes first, so that the workers are deleted by OnDestroy and
    // the tray icon (a member) is removed after them.
    DestroyWindow();
}

BOOL CCallvaneDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    HMENU hSysMenu = GetSystemMenu(FALSE);
    wchar_t aboutText[64] = {};
    if (hSysMenu && LoadStringW(GetResourceInstance(), IDS_ABOUTBOX, aboutText, ARRAYSIZE(aboutText)) > 0) {
        AppendMenuW(hSysMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(hSysMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    m_trayIcon.Add(m_hWnd, WM_TRAYNOTIFY, m_hIcon, kTipNoHandset, kTrayIconId);

    m_trayMenuResource.Reset(LoadMenuW(GetResourceInstance(), MAKEINTRESOURCEW(IDR_TRAYMENU)));
    m_hTrayMenu = m_trayMenuResource ? GetSubMenu(m_trayMenuResource.Get(), 0) : nullptr;

    m_pDeviceDlg = std::make_unique<CDeviceDialog>(this);
    m_pYahooDlg = std::make_unique<CYahooDialog>(this, this);
    m_pOptionDlg = std::make_unique<COptionDlg>(this);
    m_pDeviceDlg->Create(IDD_DEVICE_DIALOG, this);
    m_pYahooDlg->Create(IDD_YAHOO_DIALOG, this);
    m_pOptionDlg->Create(IDD_OPTION_DIALOG, this);
    if (m_startDial[0] != L'\0')
        RequestDial(m_startDial);
    return TRUE;
}

void CCallvaneDlg::RefreshTrayStatus()
{
    bool handset = IsDevicePresent() != FALSE;
    // The messenger is looked for only when a handset is present.
    ShowTrayStatus(handset, handset && m_pYahooDlg && m_pYahooDlg->FindMessenger());
}

void CCallvaneDlg::RefreshTrayForMessengerSearch(BOOL bMessengerFound)
{
    bool handset = IsDevicePresent() != FALSE;
    ShowTrayStatus(handset, handset && bMessengerFound);
}

int CCallvaneDlg::ExecuteCommand(uint32_t nCode, int32_t nParam)
{
    return TraceCommand(nCode, nParam, m_pYahooDlg ? m_pYahooDlg->ExecuteCommand(nCode, nParam) : 0);
}

bool CCallvaneDlg::TypeNumber(const wchar_t* number)
{
    return m_pYahooDlg && m_pYahooDlg->TypeNumber(number);
}

int CCallvaneDlg::ReportStatus(uint32_t nCode, int32_t nParam)
{
    return TraceStatus(nCode, m_pDeviceDlg ? m_pDeviceDlg->ReportStatus(nCode, nParam) : 0);
}

BOOL CCallvaneDlg::IsDevicePresent()
{
    return m_pDeviceDlg && m_pDeviceDlg->IsDevicePresent();
}

void CCallvaneDlg::OnMissedCall(const SYSTEMTIME& rang)
{
    if (!ReadMissedCallNotice())
        return;
    ++m_nMissedCalls;
    wchar_t time[64] = {};
    if (!GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &rang, nullptr, time, ARRAYSIZE(time)))
        swprintf(time, ARRAYSIZE(time), L"%02u:%02u", rang.wHour, rang.wMinute);
    m_trayIcon.ShowInfoBalloon(kMissedCallTitle, time);
    ShowTrayStatus(m_bShownHandset, m_bShownMessenger);
}

void CCallvaneDlg::ShowTrayStatus(bool bHandset, bool bMessenger)
{
    m_bShownHandset = bHandset;
    m_bShownMessenger = bMessenger;
    wchar_t iconPath[MAX_PATH];
    const wchar_t* iconName = kIconNoHandset;
    const wchar_t* baseTip = kTipNoHandset;
    if (bHandset) {
        iconName = bMessenger ? kIconOnline : kIconNoMessenger;
        baseTip = bMessenger ? kTipOnline : kTipNoMessenger;
    }
    // The state's own tip, and after it the missed calls not yet seen.
    wchar_t tip[ARRAYSIZE(NOTIFYICONDATAW{}.szTip)];
    if (m_nMissedCalls == 0)
        CopyTruncated(tip, baseTip);
    else if (m_nMissedCalls == 1)
        swprintf(tip, ARRAYSIZE(tip), kMissedCallTipOne, baseTip);
    else
        swprintf(tip, ARRAYSIZE(tip), kMissedCallTipMany, baseTip, m_nMissedCalls);
    if (!GetProgramDirectory(iconPath) || !AppendWhole(iconPath, iconName))
        iconPath[0] = L'\0';
    // Sending the shell the image and tip it shows already changes nothing
    // it shows, and costs most of an idle tick (the shell copies the image
    // and redraws it every time).
    if (!m_trayIcon.Shows(iconPath, tip)) {
        m_trayIcon.SetIconFromFile(iconPath);
        m_trayIcon.SetTip(tip);
    }
    // A shell that was not up when the program started (at logon) refused
    // the first add and announces nothing when it comes; one that lost the
    // icon refused the changes above: add it again, with what they set.
    if (!m_trayIcon.IsAdded())
        m_trayIcon.Restore();
}

bool CCallvaneDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case WM_COPYDATA:
        result = OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        return true;
    case WM_TRAYNOTIFY:
        result = OnTrayNotify(wParam, lParam);
        return true;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) != IDM_ABOUTBOX)
            return false;
        ShowAbout(m_pDeviceDlg ? static_cast<int>(m_pDeviceDlg->m_nModel) : 0);
        return true;
    case WM_PAINT:
        // Never seen: whenever it would be painted, it hides instead.
        ShowWindow(SW_HIDE);
        ValidateRect(m_hWnd, nullptr);
        return true;
    case WM_CLOSE:
        ShowWindow(SW_HIDE);
        return true;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(m_hIcon);
        return true;
    case WM_DPICHANGED:
        // The tray's icon size follows the display scale. The window is
        // never seen, so it keeps its size.
        m_trayIcon.ReloadForDpi(LOWORD(wParam));
        return true;
    case WM_SETTINGCHANGE:
        // A scale change can arrive as a setting change alone.
        m_trayIcon.ReloadForDpi();
        return false;
    default:
        if (msg == m_uTaskbarCreated && msg != 0) {
            // The shell restarted and lost every icon: add ours again, at
            // the size the new shell shows.
            m_trayIcon.ReloadForDpi();
            m_trayIcon.Restore();
            return true;
        }
        return false;
    }
}

// Another process's data: taken only in the exact shape, and the number
// checked as if it had come from a link.
BOOL CCallvaneDlg::OnCopyData(const COPYDATASTRUCT* pData)
{
    DialRequest request = {};
    if (!pData || pData->dwData != kDialRequestTag || pData->cbData != sizeof request || !pData->lpData) {
        Trace(kTraceDialBadRequest);
        return FALSE;
    }
    memcpy(&request, pData->lpData, sizeof request);
    if (request.version != kDialRequestVersion || !IsDialableNumber(request.number, ARRAYSIZE(request.number))) {
        Trace(kTraceDialBadRequest);
        return FALSE;
    }
    RequestDial(request.number);
    return TRUE;
}

void CCallvaneDlg::RequestDial(const wchar_t* number)
{
    if (!IsDialableNumber(number)) {
        Trace(kTraceDialBadRequest);
        return;
    }
    CopyTruncated(m_pendingDial, number);
    m_dialRequestedAt = GetTickCount();
    // Dialled from the timer, never inside the request: the sender of a
    // request is not kept waiting for the call.
    SetTimer(kDialWaitTimerId, 1);
}

void CCallvaneDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == kDialWaitTimerId)
        TryPendingDial();
}

void CCallvaneDlg::TryPendingDial()
{
    SetTimer(kDialWaitTimerId, kDialWaitPeriodMs);
    if (m_pendingDial[0] == L'\0') {
        KillTimer(kDialWaitTimerId);
        return;
    }
    if (m_pDeviceDlg && m_pYahooDlg && m_pYahooDlg->FindMessenger()) {
        KillTimer(kDialWaitTimerId);
        wchar_t number[kDialNumberChars];
        CopyTruncated(number, m_pendingDial);
        m_pendingDial[0] = L'\0';
        if (ReadLinkCallsAtOnce())
            m_pDeviceDlg->DialNumber(number);
        else if (m_pDeviceDlg->PrepareNumber(number))
            ShowNumberReadyBalloon(number);
        return;
    }
    const DWORD waitMs = DialWaitMs();
    if (GetTickCount() - m_dialRequestedAt >= waitMs) {
        KillTimer(kDialWaitTimerId);
        m_pendingDial[0] = L'\0';
        Trace(kTraceDialNoMessenger, static_cast<unsigned long>((waitMs + 999) / 1000));
    }
}

// The number as its title; the text says how to call it.
void CCallvaneDlg::ShowNumberReadyBalloon(const wchar_t* number)
{
    wchar_t format[ARRAYSIZE(NOTIFYICONDATAW{}.szInfoTitle)] = {};
    wchar_t title[ARRAYSIZE(NOTIFYICONDATAW{}.szInfoTitle)] = {};
    wchar_t text[ARRAYSIZE(NOTIFYICONDATAW{}.szInfo)] = {};
    if (LoadStringW(GetResourceInstance(), IDS_NUMBER_READY_TITLE, format, ARRAYSIZE(format)) <= 0 ||
        LoadStringW(GetResourceInstance(), IDS_NUMBER_READY_TEXT, text, ARRAYSIZE(text)) <= 0)
        return;
    swprintf(title, ARRAYSIZE(title), format, number);
    m_trayIcon.ShowInfoBalloon(title, text);
}

void CCallvaneDlg::OnOK()
{
    ShowWindow(SW_HIDE);
}

void CCallvaneDlg::OnCancel()
{
    ShowWindow(SW_HIDE);
}

void CCallvaneDlg::OnDestroy()
{
    // In the order they were made: the device dialog closes the handset as
    // its window goes.
    m_pDeviceDlg.reset();
    m_pYahooDlg.reset();
    m_pOptionDlg.reset();
}

bool CCallvaneDlg::OnCommand(UINT nID, UINT /*nCode*/, HWND /*hCtl*/)
{
    switch (nID) {
    case ID_TRAY_ABOUT:
        ShowAbout(IsDevicePresent() ? static_cast<int>(m_pDeviceDlg->m_nModel) : -1);
        return true;
    case ID_TRAY_AUTORUN:
        OnAutoRun();
        return true;
    case ID_TRAY_EXIT:
        DestroyWindow();
        return true;
    case ID_TRAY_OPTION:
        OnOption();
        return true;
    case ID_TRAY_SELECT_LANGUAGE:
        OnSelectLanguage();
        return true;
    default:
        return false;
    }
}

LRESULT CCallvaneDlg::OnTrayNotify(WPARAM wParam, LPARAM lParam)
{
    if (wParam != kTrayIconId)
        return -1;
    if (lParam != WM_RBUTTONDOWN && lParam != WM_LBUTTONDBLCLK)
        return 1;

    // The user has looked: the missed calls are seen.
    if (m_nMissedCalls != 0) {
        m_nMissedCalls = 0;
        ShowTrayStatus(m_bShownHandset, m_bShownMessenger);
    }

    // The menu closes on a click elsewhere only if its owner is foreground.
    BringWindowToTop(m_hWnd);
    SetForegroundWindow(m_hWnd);
    SetActiveWindow(m_hWnd);

    wchar_t shortcut[MAX_PATH];
    m_bAutoRun = BuildStartupShortcutPath(shortcut) && FileCanBeRead(shortcut);
    CheckMenuItem(m_hTrayMenu, ID_TRAY_AUTORUN, MF_BYCOMMAND | (m_bAutoRun ? MF_CHECKED : MF_UNCHECKED));

    POINT cursor = {};
    GetCursorPos(&cursor);
    TrackPopupMenuEx(m_hTrayMenu, TPM_RIGHTBUTTON, cursor.x, cursor.y, m_hWnd, nullptr);
    // Required after a notification-area menu, or it may not close properly.
    PostMessage(WM_NULL);
    return 1;
}

void CCallvaneDlg::ShowAbout(int nDeviceModel)
{
    CAboutDlg dlg(nDeviceModel, this);
    dlg.DoModal();
}

void CCallvaneDlg::OnAutoRun()
{
    m_bAutoRun = !m_bAutoRun;
    wchar_t shortcut[MAX_PATH];
    if (!BuildStartupShortcutPath(shortcut))
        return;
    if (m_bAutoRun)
        InstallStartupShortcut(shortcut);
    else
        DeleteFileW(shortcut);
}

void CCallvaneDlg::OnOption()
{
    if (!IsDevicePresent()) {
        m_trayIcon.ShowWarningBalloon(kTipNoHandset);
        return;
    }
    COptionDlg dlg(this);
    dlg.DoModal();
}

void CCallvaneDlg::OnSelectLanguage()
{
    CLanguageDlg dlg(this);
    dlg.DoModal();
}
