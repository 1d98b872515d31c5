// TrayReference.exe: the least that any tray companion of the messenger
// must cost, run beside Callvane by the benchmarks: a hidden window, one
// notification icon, and one 2000 ms timer that looks for the messenger's
// main window and sends the icon's tip again. Nothing else: no COM, no
// dialogs, no settings, no handset. Ends on WM_CLOSE, taking its icon along.
#include <windows.h>
#include <shellapi.h>

#include "framework/BoundedString.h"
#include "messenger/MessengerIds.h"

namespace {

const wchar_t kClassName[] = L"CallvaneTrayReference";
const UINT kIconId = 1;
const UINT kIconResource = 1;
const UINT WM_TRAYREFERENCE = WM_APP + 1;
const UINT_PTR kTimerId = 1;
const UINT kTimerPeriodMs = 2000;
const wchar_t kTipOnline[] = L"Online";
const wchar_t kTipNoMessenger[] = L"Can't find Yahoo! Messenger";

NOTIFYICONDATAW g_icon;

void SendTip()
{
    bool found = FindWindowW(kMainWindowClass, nullptr) != nullptr;
    CopyTruncated(g_icon.szTip, found ? kTipOnline : kTipNoMessenger);
    g_icon.uFlags = NIF_TIP;
    Shell_NotifyIconW(NIM_MODIFY, &g_icon);
}

LRESULT CALLBACK WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_TIMER:
        if (wParam == kTimerId)
            SendTip();
        return 0;
    case WM_DESTROY:
        g_icon.uFlags = 0;
        Shell_NotifyIconW(NIM_DELETE, &g_icon);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = kClassName;
    if (!RegisterClassW(&wc))
        return 1;
    HWND hWnd = CreateWindowExW(0, kClassName, kClassName, WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, hInstance,
                                nullptr);
    if (!hWnd)
        return 1;

    g_icon.cbSize = NOTIFYICONDATAW_V2_SIZE;
    g_icon.hWnd = hWnd;
    g_icon.uID = kIconId;
    g_icon.uCallbackMessage = WM_TRAYREFERENCE;
    g_icon.hIcon = LoadIconW(hInstance, MAKEINTRESOURCEW(kIconResource));
    g_icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    CopyTruncated(g_icon.szTip, kTipNoMessenger);
    Shell_NotifyIconW(NIM_ADD, &g_icon);
    SetTimer(hWnd, kTimerId, kTimerPeriodMs, nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
