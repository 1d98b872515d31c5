// The program at each display scale: the tray image has the size the shell
// shows, and the dialogs a user sees keep every control inside the dialog
// and every text inside its control. The suite DisplayScale runs once per
// DPI (tests/CMakeLists.txt sets the prefix's LogPixels before the process
// starts); DisplayScaleChange runs with the rest.
#include <gtest/gtest.h>

#include "MainDialogFixture.h"
#include "app/AboutDlg.h"
#include "app/AppIds.h"
#include "app/LanguageDlg.h"
#include "app/OptionDlg.h"
#include "phone/DeviceDialog.h"

#include <string>
#include <vector>

namespace {

// The small-icon size the shell shows at each scale (100 to 200 %).
struct Scale {
    UINT dpi;
    int smallIcon;
};
const Scale kScales[] = {{96, 16}, {120, 20}, {144, 24}, {192, 32}};

int IconWidth(HICON icon)
{
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return 0;
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

class DisplayScale : public MainDialogFixture {
protected:
    // The row of the DPI this process runs at.
    static const Scale* ThisScale()
    {
        for (const Scale& scale : kScales) {
            if (RunsAtTheWantedDpi() && scale.dpi == ProcessDpi())
                return &scale;
        }
        return nullptr;
    }
};

using DisplayScaleChange = DisplayScale;

}  // namespace

TEST_F(DisplayScale, TrayImageHasTheShellsSmallIconSize)
{
    const Scale* scale = ThisScale();
    ASSERT_NE(scale, nullptr) << "running at " << ProcessDpi() << " DPI";
    for (int model : {0, 0x5A0}) {
        m_dlg->m_pDeviceDlg->m_nModel = model;
        m_dlg->RefreshTrayStatus();
        EXPECT_EQ(IconWidth(m_dlg->m_trayIcon.Data().hIcon), scale->smallIcon) << Narrow(m_dlg->m_trayIcon.ImagePath());
    }
    m_dlg->m_pDeviceDlg->m_nModel = 0;
}

TEST_F(DisplayScale, DialogsKeepEveryControlAndTextInside)
{
    ASSERT_NE(ThisScale(), nullptr) << "running at " << ProcessDpi() << " DPI";
    CAboutDlg about(0x5A0);
    ASSERT_TRUE(about.Create(IDD_ABOUTBOX, m_dlg.get()));
    CLanguageDlg language(m_dlg.get());
    ASSERT_TRUE(language.Create(IDD_LANGUAGE_DIALOG, m_dlg.get()));
    const std::pair<const char*, HWND> dialogs[] = {
        {"options", m_dlg->m_pOptionDlg->m_hWnd}, {"language", language.m_hWnd}, {"about", about.m_hWnd}};
    for (const auto& dialog : dialogs) {
        for (const std::string& fault : LayoutFaults(dialog.second))
            ADD_FAILURE() << dialog.first << " at " << ProcessDpi() << " DPI: " << fault;
    }
    about.DestroyWindow();
    language.DestroyWindow();
}

// The shell's size follows a change of scale, and a new shell gets the
// image at its size.
TEST_F(DisplayScaleChange, TrayImageFollowsTheScale)
{
    m_dlg->RefreshTrayStatus();
    const int systemSize = IconWidth(m_dlg->m_trayIcon.Data().hIcon);
    for (const Scale& scale : kScales) {
        SendMessageW(Main(), WM_DPICHANGED, MAKEWPARAM(scale.dpi, scale.dpi), 0);
        EXPECT_EQ(IconWidth(m_dlg->m_trayIcon.Data().hIcon), scale.smallIcon) << scale.dpi;
    }
    SendMessageW(Main(), WM_SETTINGCHANGE, 0, 0);
    EXPECT_EQ(IconWidth(m_dlg->m_trayIcon.Data().hIcon), systemSize);

    SendMessageW(Main(), WM_DPICHANGED, MAKEWPARAM(192, 192), 0);
    SendMessageW(Main(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_EQ(IconWidth(m_dlg->m_trayIcon.Data().hIcon), systemSize);
    EXPECT_TRUE(TrayIconExists(Main(), kTrayIconId));
}

// A user's own icon with one image, and files that are no icon at all.
TEST_F(DisplayScaleChange, OneSizeIconsAreScaledAndBadFilesShowNothing)
{
    CTempDir dir{L"ico"};
    // One 16-pixel 32-bit image: directory, entry, header, pixels, mask.
    std::string one("\0\0\1\0\1\0\x10\x10\0\0\1\0\x20\0", 14);
    const uint32_t imageBytes = 40 + 16 * 16 * 4 + 16 * 4;
    one.append(reinterpret_cast<const char*>(&imageBytes), 4).append("\x16\0\0\0", 4);
    const int32_t header[] = {40, 16, 32, 0x00200001, 0, 0, 0, 0, 0, 0};
    one.append(reinterpret_cast<const char*>(header), sizeof header);
    one.append(16 * 16 * 4, '\xff').append(16 * 4, '\0');
    const struct {
        const wchar_t* name;
        std::string bytes;
        bool loads;
    } files[] = {{L"one.ico", one, true}, {L"empty.ico", "", false}, {L"cut.ico", one.substr(0, 40), false},
                 {L"text.ico", "not an icon", false}};
    for (const auto& file : files) {
        const std::wstring path = JoinPath(dir.Path(), file.name);
        ASSERT_TRUE(WriteFileBytes(path, file.bytes));
        m_dlg->m_trayIcon.SetIconFromFile(path.c_str());
        SendMessageW(Main(), WM_DPICHANGED, MAKEWPARAM(192, 192), 0);
        EXPECT_EQ(IconWidth(m_dlg->m_trayIcon.Data().hIcon), file.loads ? 32 : 0) << Narrow(file.name);
        SendMessageW(Main(), WM_SETTINGCHANGE, 0, 0);
    }
}
