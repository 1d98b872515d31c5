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

// The shell draws the icon at the small-icon size of its DPI. Windows 10
// answers that for any DPI; older systems have one DPI, the system's.
int TrayImageSize(HWND hWnd, UINT dpi)
{
    using DpiForWindow = UINT(WINAPI*)(HWND);
    using MetricsForDpi = int(WINAPI*)(int, UINT);
    static const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    static const auto dpiForWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
    static const auto metricsForDpi = reinterpret_cast<MetricsForDpi>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetSystemMetricsForDpi")));
    if (dpi == 0 && dpiForWindow && hWnd)
        dpi = dpiForWindow(hWnd);
    if (dpi != 0 && metricsForDpi)
        return metricsForDpi(SM_CXSMICON, dpi);
    return GetSystemMetrics(SM_CXSMICON);
}
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
    return Notify(NIM_ADD);
}

BOOL CTrayIcon::Restore()
{
    if (m_data.hWnd == nullptr)
        return FALSE;
    m_data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    if (Notify(NIM_ADD))
        return TRUE;
    // A shell that still holds the icon refuses to add it twice (a
    // "TaskbarCreated" that found it alive); it takes the same as a change.
    return Notify(NIM_MODIFY);
}

bool CTrayIcon::Shows(const wchar_t* path, const wchar_t* tip) const
{
    return m_added && m_image && m_shownIcon == m_image.Get() && m_imagePath == path && wcscmp(m_shownTip, tip) == 0;
}

// Records what the shell accepted. Every answer tells whether the shell
// holds the icon: it accepts an add or a change only then, and a change it
// refuses means it lost the icon, so that the next refresh adds it again.
BOOL CTrayIcon::Notify(DWORD message)
{
    BOOL result = m_notify(message, &m_data);
    m_added = message != NIM_DELETE && result != FALSE;
    if (!m_added) {
        m_shownIcon = nullptr;
        m_shownTip[0] = L'\0';
        return result;
    }
    if (m_data.uFlags & NIF_ICON)
        m_shownIcon = m_data.hIcon;
    if (m_data.uFlags & NIF_TIP)
        CopyTruncated(m_shownTip, m_data.szTip);
    return result;
}

BOOL CTrayIcon::SetIcon(HICON hIcon)
{
    m_data.uFlags = NIF_ICON;
    m_data.hIcon = hIcon;
    return Notify(NIM_MODIFY);
}

BOOL CTrayIcon::SetIconFromFile(const wchar_t* path)
{
    if (m_image && m_imagePath == path)
        return SetIcon(m_image.Get());
    return ShowImageFromFile(path, TrayImageSize(m_data.hWnd, 0));
}

bool CTrayIcon::ReloadForDpi(UINT dpi)
{
    if (!m_image)
        return false;
    int size = TrayImageSize(m_data.hWnd, dpi);
    if (size == m_imageSize)
        return false;
    // A copy: the path is replaced on the way.
    std::wstring path = m_imagePath;
    ShowImageFromFile(path.c_str(), size);
    return true;
}

BOOL CTrayIcon::ShowImageFromFile(const wchar_t* path, int size)
{
    // The file's image of that size, or its nearest one scaled to it.
    CIconHandle image(static_cast<HICON>(LoadImageW(nullptr, path, IMAGE_ICON, size, size, LR_LOADFROMFILE)));
    BOOL result = SetIcon(image.Get());
    // The shell has its own copy now; the replaced image can go.
    m_image = std::move(image);
    m_imagePath = m_image ? path : L"";
    m_imageSize = m_image ? size : 0;
    return result;
}

BOOL CTrayIcon::SetTip(const wchar_t* tip)
{
    m_data.uFlags = NIF_TIP;
    CopyTruncated(m_data.szTip, tip);
    return Notify(NIM_MODIFY);
}

BOOL CTrayIcon::ShowWarningBalloon(const wchar_t* text)
{
    return ShowBalloon(L"Warning", text, NIIF_WARNING);
}

BOOL CTrayIcon::ShowInfoBalloon(const wchar_t* title, const wchar_t* text)
{
    // A notice, not an alarm: the shell plays no sound for it.
    return ShowBalloon(title, text, NIIF_INFO | NIIF_NOSOUND);
}

BOOL CTrayIcon::ShowBalloon(const wchar_t* title, const wchar_t* text, DWORD flags)
{
    m_data.uFlags = NIF_INFO;
    CopyTruncated(m_data.szInfo, text);
    CopyTruncated(m_data.szInfoTitle, title);
    m_data.uTimeout = kBalloonTimeoutMs;
    m_data.dwInfoFlags = flags;
    return Notify(NIM_MODIFY);
}

BOOL CTrayIcon::Remove()
{
    if (m_data.hWnd == nullptr)
        return FALSE;
    return Notify(NIM_DELETE);
}
