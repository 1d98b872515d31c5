// The tray icon as the shell holds it: the state table, images that do not
// pile up, and the icon coming back after the shell restarts.
#include <gtest/gtest.h>

#include "MainDialogFixture.h"
#include "TestSupport.h"
#include "app/AppIds.h"
#include "app/CallvaneDlg.h"
#include "messenger/YahooDialog.h"
#include "phone/DeviceDialog.h"
#include "res/resource.h"

#include <memory>

namespace {

// A window of the messenger's main-window class, in this process.
class FakeMessengerMainWindow {
public:
    FakeMessengerMainWindow()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"YahooBuddyMain";
        RegisterClassW(&wc);
        m_hWnd = CreateWindowExW(0, wc.lpszClassName, L"Yahoo! Messenger", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200,
                                 nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~FakeMessengerMainWindow() { DestroyWindow(m_hWnd); }
    HWND m_hWnd;
};

class TrayTest : public MainDialogFixture {
protected:
    std::wstring Tip() const { return m_dlg->m_trayIcon.Data().szTip; }
    std::wstring ImageFile() const
    {
        const std::wstring& path = m_dlg->m_trayIcon.ImagePath();
        return path.substr(path.find_last_of(L'\\') + 1);
    }
};

// The tray as the dialog's creation leaves it: no message runs before the
// test reads it, so a watch tick (two seconds in, sooner than a slow start
// under load) cannot have refreshed it yet.
class TrayAtStartTest : public TrayTest {
protected:
    void SetUp() override
    {
        m_dlg = std::make_unique<CCallvaneDlg>(nullptr);
        ASSERT_TRUE(m_dlg->Create(IDD_CALLVANE_DIALOG));
    }
};

}  // namespace

TEST_F(TrayAtStartTest, StartsWithTheApplicationIconAndTheNoHandsetTip)
{
    const NOTIFYICONDATAW& data = m_dlg->m_trayIcon.Data();
    EXPECT_EQ(data.cbSize, static_cast<DWORD>(NOTIFYICONDATAW_V2_SIZE));
#ifndef _WIN64
    EXPECT_EQ(data.cbSize, 936u);
#endif
    EXPECT_EQ(data.uID, kTrayIconId);
    EXPECT_EQ(data.uCallbackMessage, WM_TRAYNOTIFY);
    EXPECT_EQ(data.hIcon, m_dlg->m_hIcon);
    EXPECT_EQ(Tip(), L"Can't find USB Phone");
    EXPECT_EQ(data.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_TRUE(TrayIconExists(m_dlg->m_hWnd, kTrayIconId));
}

TEST_F(TrayTest, StateTableFollowsHandsetThenMessenger)
{
    CDeviceDialog& device = *m_dlg->m_pDeviceDlg;
    CYahooDialog& messenger = *m_dlg->m_pYahooDlg;

    // No handset: the messenger is not even looked for.
    {
        FakeMessengerMainWindow running;
        HWND sentinel = reinterpret_cast<HWND>(0x1234);
        messenger.m_hMessengerWnd = sentinel;
        device.m_nModel = 0;
        m_dlg->RefreshTrayStatus();
        EXPECT_EQ(ImageFile(), L"nodevice.ico");
        EXPECT_EQ(Tip(), L"Can't find USB Phone");
        EXPECT_EQ(messenger.m_hMessengerWnd, sentinel);
    }

    device.m_nModel = 0x5A0;
    m_dlg->RefreshTrayStatus();
    EXPECT_EQ(ImageFile(), L"nophone.ico");
    EXPECT_EQ(Tip(), L"Can't find Yahoo! Messenger");
    EXPECT_NE(m_dlg->m_trayIcon.Data().hIcon, nullptr);

    {
        FakeMessengerMainWindow running;
        m_dlg->RefreshTrayStatus();
        EXPECT_EQ(ImageFile(), L"ok.ico");
        EXPECT_EQ(Tip(), L"Online");
        EXPECT_EQ(messenger.m_hMessengerWnd, running.m_hWnd);
        EXPECT_NE(m_dlg->m_trayIcon.Data().hIcon, nullptr);
    }

    m_dlg->RefreshTrayStatus();
    EXPECT_EQ(ImageFile(), L"nophone.ico");
    // The shell accepted every change: the icon is still there.
    EXPECT_TRUE(TrayIconExists(m_dlg->m_hWnd, kTrayIconId));
    device.m_nModel = 0;
}

TEST_F(TrayTest, RefreshesReuseTheImageAndReleaseTheReplacedOne)
{
    m_dlg->m_pDeviceDlg->m_nModel = 0;
    m_dlg->RefreshTrayStatus();
    HICON first = m_dlg->m_trayIcon.Data().hIcon;
    ASSERT_NE(first, nullptr);
    for (int i = 0; i < 50; ++i)
        m_dlg->RefreshTrayStatus();
    EXPECT_EQ(m_dlg->m_trayIcon.Data().hIcon, first);

    m_dlg->m_pDeviceDlg->m_nModel = 0x5A0;
    m_dlg->RefreshTrayStatus();
    HICON second = m_dlg->m_trayIcon.Data().hIcon;
    EXPECT_NE(second, first);
    ICONINFO info = {};
    // The image it replaced has been destroyed.
    EXPECT_FALSE(GetIconInfo(first, &info));
    ASSERT_TRUE(GetIconInfo(second, &info));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    m_dlg->m_pDeviceDlg->m_nModel = 0;
}

TEST_F(TrayTest, EachChangeSendsOnlyItsOwnFlags)
{
    m_dlg->m_trayIcon.ShowWarningBalloon(L"Can't find USB Phone");
    EXPECT_EQ(m_dlg->m_trayIcon.Data().uFlags, static_cast<UINT>(NIF_INFO));
    m_dlg->m_trayIcon.SetTip(L"Online");
    EXPECT_EQ(m_dlg->m_trayIcon.Data().uFlags, static_cast<UINT>(NIF_TIP));
    m_dlg->m_trayIcon.SetIcon(m_dlg->m_hIcon);
    EXPECT_EQ(m_dlg->m_trayIcon.Data().uFlags, static_cast<UINT>(NIF_ICON));
    // A missed call's balloon informs, silently.
    m_dlg->OnMissedCall(SYSTEMTIME{2026, 12, 2, 8, 9, 5, 0, 0});
    EXPECT_EQ(m_dlg->m_trayIcon.Data().dwInfoFlags, static_cast<DWORD>(NIIF_INFO | NIIF_NOSOUND));
    EXPECT_STREQ(m_dlg->m_trayIcon.Data().szInfoTitle, L"Missed call");
    // Tips longer than the record's 128 characters are cut, never overrun.
    std::wstring longTip(500, L'T');
    m_dlg->m_trayIcon.SetTip(longTip.c_str());
    EXPECT_EQ(wcslen(m_dlg->m_trayIcon.Data().szTip), 127u);
}

// A shell as the program meets it: it may refuse adds (not up yet, at
// logon) or one change; what it accepted is what it shows. Past that, Wine's
// notification area answers as a shell does: it refuses to add an icon it
// holds, and a change to one it does not hold.
bool g_refuseAdds = false;
bool g_refuseModifies = false;
std::wstring g_shownTip;
int g_shellCalls = 0;

BOOL WINAPI RecordingShell(DWORD message, PNOTIFYICONDATAW data)
{
    ++g_shellCalls;
    if ((message == NIM_ADD && g_refuseAdds) || (message == NIM_MODIFY && g_refuseModifies))
        return FALSE;
    BOOL accepted = Shell_NotifyIconW(message, data);
    if (accepted && (data->uFlags & NIF_TIP))
        g_shownTip = data->szTip;
    return accepted;
}

TEST_F(TrayTest, IconComesBackAfterTheShellLostOrRefusedIt)
{
    enum class Loss { ShellRestarted, FirstAddRefused, None };
    enum class Cue { TaskbarCreated, NextRefresh, NextChange };
    const struct {
        Loss loss;
        Cue cue;
    } cases[] = {
        {Loss::ShellRestarted, Cue::TaskbarCreated},
        // Started before the shell: the shell announces nothing to a
        // program whose add it refused, and the next tick adds it.
        {Loss::FirstAddRefused, Cue::NextRefresh},
        {Loss::FirstAddRefused, Cue::TaskbarCreated},
        // Lost without a word: the first change the shell refuses tells.
        {Loss::ShellRestarted, Cue::NextChange},
        // "TaskbarCreated" while the shell held the icon: it refuses the add.
        {Loss::None, Cue::TaskbarCreated},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "loss " << static_cast<int>(c.loss) << ", cue " << static_cast<int>(c.cue));
        m_dlg.reset();
        PumpMessages();
        g_refuseAdds = c.loss == Loss::FirstAddRefused;
        m_dlg = std::make_unique<CCallvaneDlg>(nullptr);
        m_dlg->m_trayIcon.SetNotifyFunction(RecordingShell);
        ASSERT_TRUE(m_dlg->Create(IDD_CALLVANE_DIALOG));
        HWND hMain = m_dlg->m_hWnd;
        m_dlg->m_pDeviceDlg->m_nModel = 0x5A0;
        m_dlg->RefreshTrayStatus();
        if (c.loss == Loss::ShellRestarted) {
            // What a crashing shell does to every icon.
            NOTIFYICONDATAW lost = {};
            lost.cbSize = NOTIFYICONDATAW_V2_SIZE;
            lost.hWnd = hMain;
            lost.uID = kTrayIconId;
            ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &lost));
        }
        ASSERT_EQ(TrayIconExists(hMain, kTrayIconId), c.loss == Loss::None);
        g_refuseAdds = false;

        // To this window only: every other program's icon is left alone.
        if (c.cue == Cue::TaskbarCreated)
            SendMessageW(hMain, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
        else if (c.cue == Cue::NextChange) {
            m_dlg->m_pDeviceDlg->m_nModel = 0;
            m_dlg->RefreshTrayStatus();
            m_dlg->m_pDeviceDlg->m_nModel = 0x5A0;
        }
        if (c.cue != Cue::TaskbarCreated)
            m_dlg->RefreshTrayStatus();
        EXPECT_TRUE(WaitFor([&] { return TrayIconExists(hMain, kTrayIconId); }));
        // With the current image and tip, not the start-up ones.
        EXPECT_EQ(g_shownTip, L"Can't find Yahoo! Messenger");
        EXPECT_EQ(ImageFile(), L"nophone.ico");
        // The shell shows what the program shows: a refresh sends nothing.
        int calls = g_shellCalls;
        m_dlg->RefreshTrayStatus();
        EXPECT_EQ(g_shellCalls, calls);
        m_dlg->m_pDeviceDlg->m_nModel = 0;
    }
}

// A refresh that finds the state unchanged may send nothing, but only when
// the shell accepted the last change: a refused one is sent again.
TEST_F(TrayTest, ARefusedChangeIsSentAgainAtTheNextRefresh)
{
    m_dlg->m_trayIcon.SetNotifyFunction(RecordingShell);
    m_dlg->RefreshTrayStatus();
    ASSERT_EQ(g_shownTip, L"Can't find USB Phone");
    m_dlg->m_pDeviceDlg->m_nModel = 0x5A0;
    g_refuseModifies = true;
    m_dlg->RefreshTrayStatus();
    g_refuseModifies = false;
    ASSERT_EQ(g_shownTip, L"Can't find USB Phone");
    m_dlg->RefreshTrayStatus();
    EXPECT_EQ(g_shownTip, L"Can't find Yahoo! Messenger");
    m_dlg->m_pDeviceDlg->m_nModel = 0;
    m_dlg->RefreshTrayStatus();
    EXPECT_EQ(g_shownTip, L"Can't find USB Phone");
}
