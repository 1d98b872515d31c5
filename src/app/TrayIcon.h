// CTrayIcon: one notification-area icon. Each operation sends the shell only
// the fields it changes (its own uFlags), so a balloon set earlier is not
// shown again by a later change of tip or image. It remembers what the shell
// last accepted, so that a refresh can tell whether the shell shows an image
// and tip already, and whether it holds the icon at all.
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

    // The shell's entry point; a test passes one that refuses, as a shell
    // that is not up yet does.
    using NotifyFunction = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAW);
    void SetNotifyFunction(NotifyFunction notify) { m_notify = notify; }

    BOOL Add(HWND hWnd, UINT uCallbackMessage, HICON hIcon, const wchar_t* tip, UINT uID);
    BOOL SetIcon(HICON hIcon);
    // Loads the .ico file's image at the size the shell shows for the DPI of
    // the icon's window (a file without that size is scaled). The image is
    // kept while it is shown and reused while the same file is asked for
    // again.
    BOOL SetIconFromFile(const wchar_t* path);
    // After a change of DPI or of the shell: loads the shown file again when
    // the shell now wants another size (dpi 0: the window's current DPI).
    // Returns whether it did.
    bool ReloadForDpi(UINT dpi = 0);
    BOOL SetTip(const wchar_t* tip);
    BOOL ShowWarningBalloon(const wchar_t* text);
    // An information balloon without sound.
    BOOL ShowInfoBalloon(const wchar_t* title, const wchar_t* text);
    BOOL Remove();
    // Adds the icon again with its current image and tip, after the shell
    // has restarted and lost every icon, or refused or lost ours.
    BOOL Restore();
    // Whether the shell holds the icon: it accepted the last add or change.
    bool IsAdded() const { return m_added; }
    // Whether the shell holds the icon and last accepted this file's image
    // and this tip: sending them again would change nothing it shows.
    bool Shows(const wchar_t* path, const wchar_t* tip) const;

    const NOTIFYICONDATAW& Data() const { return m_data; }
    const std::wstring& ImagePath() const { return m_imagePath; }

private:
    BOOL Notify(DWORD message);
    BOOL ShowBalloon(const wchar_t* title, const wchar_t* text, DWORD flags);
    BOOL ShowImageFromFile(const wchar_t* path, int size);

    NotifyFunction m_notify = Shell_NotifyIconW;
    NOTIFYICONDATAW m_data;
    bool m_added = false;           // the shell accepted the last add or change
    HICON m_shownIcon = nullptr;    // the image the shell last accepted
    wchar_t m_shownTip[ARRAYSIZE(NOTIFYICONDATAW{}.szTip)] = {};   // the tip it last accepted
    CIconHandle m_image;          // image loaded from a file, if one is shown
    std::wstring m_imagePath;     // the file m_image came from
    int m_imageSize = 0;          // the width m_image was loaded at
};
