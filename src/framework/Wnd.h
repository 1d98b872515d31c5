// CWnd: a window handle with the few operations the dialogs use. It does not
// own the window; CDialog does that for the dialogs it creates.
#pragma once

#include <windows.h>

class CWnd {
public:
    CWnd() = default;
    explicit CWnd(HWND hWnd) : m_hWnd(hWnd) {}
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    operator HWND() const { return m_hWnd; }

    BOOL ShowWindow(int nCmdShow) const { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL DestroyWindow() { return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE; }
    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    HMENU GetSystemMenu(BOOL bRevert) const { return ::GetSystemMenu(m_hWnd, bRevert); }
    // A window's timers: none without a window (a null window would make a
    // thread timer under another id).
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse) const
    {
        return m_hWnd ? ::SetTimer(m_hWnd, nIDEvent, nElapse, nullptr) : 0;
    }
    BOOL KillTimer(UINT_PTR nIDEvent) const { return m_hWnd ? ::KillTimer(m_hWnd, nIDEvent) : FALSE; }
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(m_hWnd, msg, wParam, lParam);
    }
    HICON SetIcon(HICON hIcon, BOOL bBigIcon) const
    {
        return reinterpret_cast<HICON>(SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL,
                                                   reinterpret_cast<LPARAM>(hIcon)));
    }

    HWND m_hWnd = nullptr;
};
