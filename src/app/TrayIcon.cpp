#include "TrayIcon.h"

#include "framework/BoundedString.h"

#include <cstring>

namespace {
// The balloon-capable record of Windows 2000 and later; the shell reads
// no field past it.
const DWORD kRecordSize = NOTIFYICONDATAW_V2_SIZE;
#ifndef _WIN64
static_assert(NOTIFYICONDATAW_V2_SIZE == 936, "the 32-bit record is 936 bytes");
#endif
const UINT kBalloonTimeoutMs = 3000;
}  // namespace

CTrayIcon::CTrayIcon()
{
    memset(&m_data, 0, sizeof m_data);
}

CTrayIcon::~CTrayIcon()
{
    Remove();
}

BOOL CTrayIcon::Add(HWND hWnd, UINT uCallbackMessage, HICON hIcon, const wchar_t* tip, UINT uID)
{
    m_data.hWnd = hWnd;
    m_data.uID = uID;
    m_data.uCallbackMessage = uCallbackMessage;
    m_data.hIcon = hIcon;
    m_data.cbSize = kRecordSize;
    CopyTruncated(m_data.szTip, tip);
    m_data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    return Shell_NotifyIconW(NIM_ADD, &m_data);
}

BOOL CTrayIcon::Restore()
{
    if (m_data.hWnd == nullptr)
        return FALSE;
    m_data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    return Shell_NotifyIconW(NIM_ADD, &m_data);
}

BOOL CTrayIcon::SetIcon(HICON hIcon)
{
    m_data.uFlags = NIF_ICON;
    m_data.hIcon = hIcon;
    return Shell_NotifyIconW(NIM_MODIFY, &m_data);
}

BOOL CTrayIcon::SetIconFromFile(const wchar_t* path)
{
    if (m_image && m_imagePath == path)
        return SetIcon(m_image.Get());
    CIconHandle image(static_cast<HICON>(LoadImageW(nullptr, path, IMAGE_ICON, 0, 0, LR_LOADFROMFILE)));
    BOOL result = SetIcon(image.Get());
    // The shell has its own copy now; the replaced image can go.
    m_image = std::move(image);
    m_imagePath = m_image ? path : L"";
    return result;
}

BOOL CTrayIcon::SetTip(const wchar_t* tip)
{
    m_data.uFlags = NIF_TIP;
    CopyTruncated(m_data.szTip, tip);
    return Shell_NotifyIconW(NIM_MODIFY, &m_data);
}

BOOL CTrayIcon::ShowWarningBalloon(const wchar_t* text)
{
    m_data.uFlags = NIF_INFO;
    CopyTruncated(m_data.szInfo, text);
    CopyTruncated(m_data.szInfoTitle, L"Warning");
    m_data.uTimeout = kBalloonTimeoutMs;
    m_data.dwInfoFlags = NIIF_WARNING;
    return Shell_NotifyIconW(NIM_MODIFY, &m_data);
}

BOOL CTrayIcon::Remove()
{
    if (m_data.hWnd == nullptr)
        return FALSE;
    return Shell_NotifyIconW(NIM_DELETE, &m_data);
}
