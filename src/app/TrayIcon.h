// CTrayIcon: one notification-area icon. Each operation sends the shell only
// the fields it changes (its own uFlags), so a balloon set earlier is not
// shown again by a later change of tip or image.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "framework/ScopedHandle.h"

class CTrayIcon {
public:
    CTrayIcon();
    ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    BOOL Add(HWND hWnd, UINT uCallbackMessage, HICON hIcon, const wchar_t* tip, UINT uID);
    BOOL SetIcon(HICON hIcon);
    // Loads the .ico file at its own size. The image is kept while it is
    // shown and reused while the same file is asked for again.
    BOOL SetIconFromFile(const wchar_t* path);
    BOOL SetTip(const wchar_t* tip);
    BOOL ShowWarningBalloon(const wchar_t* text);
    BOOL Remove();
    // Adds the icon again with its current image and tip, after the shell
    // has restarted and lost every icon.
    BOOL Restore();

    const NOTIFYICONDATAW& Data() const { return m_data; }
    const std::wstring& ImagePath() const { return m_imagePath; }

private:
    NOTIFYICONDATAW m_data;
    CIconHandle m_image;          // image loaded from a file, if one is shown
    std::wstring m_imagePath;     // the file m_image came from
};
