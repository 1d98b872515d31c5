// The program at each display scale: the tray image has the size the shell
// shows, and the dialogs keep every control and text inside. DisplayScale
// runs once per DPI (tests/CMakeLists.txt); DisplayScaleChange with the rest.
#include <gtest/gtest.h>

#include "MainDialogFixture.h"
#include "app/AboutDlg.h"
#include "app/AppIds.h"
#include "app/LanguageDlg.h"
#include "app/OptionDlg.h"
#include "phone/DeviceDialog.h"

namespace {

// DPI and the shell's small-icon size at 100 to 200 %.
const int kScales[][2] = {{96, 16}, {120, 20}, {144, 24}, {192, 32}};

int IconWidth(HICON icon)
{
    ICONINFO info = {};
    BITMAP bitmap = {};
    if (GetIconInfo(icon, &info))
        GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

using DisplayScale = MainDialogFixture;
using DisplayScaleChange = MainDialogFixture;

}  // namespace

TEST_F(DisplayScale, TrayImageAndDialogsFitTheScale)
{
    const int* scale = nullptr;
    for (const auto& row : kScales)
        scale = row[0] == static_cast<int>(ProcessDpi()) ? row : scale;
    ASSERT_NE(scale, nullptr) << "not at a DPI of the table: " << ProcessDpi();
    for (int model : {0, 0x5A0}) {
        m_dlg->m_pDeviceDlg->m_nModel = model;
        m_dlg->RefreshTrayStatus();
        EXPECT_EQ(IconWidth(m_dlg->m_trayIcon.Data().hIcon), scale[1]);
    }
    CAboutDlg about(0x5A0);
    CLanguageDlg language(m_dlg.get());
    ASSERT_TRUE(about.Create(IDD_ABOUTBOX, m_dlg.get()) && language.Create(IDD_LANGUAGE_DIALOG, m_dlg.get()));
    for (HWND hDlg : {m_dlg->m_pOptionDlg->m_hWnd, language.m_hWnd, about.m_hWnd}) {
        for (const std::wstring& fault : LayoutFaults(hDlg))
            ADD_FAILURE() << scale[0] << " DPI: " << fault;
    }
}

// The image follows a change of scale, and a new shell gets it at its size;
// a user's icon of one size is scaled.
TEST_F(DisplayScaleChange, TrayImageFollowsTheScale)
{
    m_dlg->RefreshTrayStatus();
    const int systemSize = IconWidth(m_dlg->m_trayIcon.Data().hIcon);
    for (const auto& row : kScales) {
        SendMessageW(Main(), WM_DPICHANGED, MAKEWPARAM(row[0], row[0]), 0);
        EXPECT_EQ(IconWidth(m_dlg->m_trayIcon.Data().hIcon), row[1]) << row[0];
    }
    SendMessageW(Main(), WM_SETTINGCHANGE, 0, 0);
    EXPECT_EQ(IconWidth(m_dlg->m_trayIcon.Data().hIcon), systemSize);
    SendMessageW(Main(), WM_DPICHANGED, MAKEWPARAM(192, 192), 0);
    SendMessageW(Main(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_EQ(IconWidth(m_dlg->m_trayIcon.Data().hIcon), systemSize);
    EXPECT_TRUE(TrayIconExists(Main(), kTrayIconId));

    // Directory, entry and header of one 16-pixel image; then its pixels and mask.
    const std::string one("\0\0\1\0\1\0\x10\x10\0\0\1\0\x20\0\x68\4\0\0\x16\0\0\0\x28\0\0\0\x10\0\0\0\x20\0\0\0\1\0\x20\0", 38);
    CTempDir dir{L"ico"};
    ASSERT_TRUE(WriteFileBytes(JoinPath(dir.Path(), L"one.ico"), one + std::string(24 + 1024 + 64, '\0')));
    m_dlg->m_trayIcon.SetIconFromFile(JoinPath(dir.Path(), L"one.ico").c_str());
    SendMessageW(Main(), WM_DPICHANGED, MAKEWPARAM(192, 192), 0);
    EXPECT_EQ(IconWidth(m_dlg->m_trayIcon.Data().hIcon), 32);
}
