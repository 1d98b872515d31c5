// The main dialog in this process, with its real worker dialogs and the real
// tray: its menu, AutoRun, About, Option, hiding and exit.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "MainDialogFixture.h"
#include "TestSupport.h"
#include "app/AboutDlg.h"
#include "app/AppIds.h"
#include "app/CallvaneDlg.h"
#include "app/StartupShortcut.h"
#include "messenger/YahooDialog.h"
#include "phone/DeviceDialog.h"
#include "app/OptionDlg.h"
#include "app/ShellEffects.h"
#include "res/resource.h"

#include <memory>
#include <vector>

namespace {

const wchar_t kStartUpValue[] = L"StartUp";

class MainDialogTest : public MainDialogFixture {
protected:
    // Opens the tray menu as a right click would; returns whether it opened,
    // with the AutoRun item's check state.
    bool OpenMenu(LPARAM mouseMessage, bool* autoRunChecked = nullptr, LRESULT* result = nullptr)
    {
        LRESULT sent = 0;
        bool opened = WhileModal([&] { sent = SendMessageW(Main(), WM_TRAYNOTIFY, kTrayIconId, mouseMessage); },
                                 [&] {
                                     HWND hMenu = FindProcessWindow(GetCurrentProcessId(), L"#32768", nullptr);
                                     if (!hMenu || !IsWindowVisible(hMenu))
                                         return false;
                                     if (autoRunChecked)
                                         *autoRunChecked = (GetMenuState(m_dlg->m_hTrayMenu, ID_TRAY_AUTORUN,
                                                                         MF_BYCOMMAND) & MF_CHECKED) != 0;
                                     EndMenu();
                                     return true;
                                 });
        if (result)
            *result = sent;
        return opened;
    }
};

// A Start-up folder of the test's own, named by the shell-folders value.
class StartupFolder {
public:
    StartupFolder() : m_value(HKEY_CURRENT_USER, kShellFoldersKey, kStartUpValue)
    {
        m_value.SetString(m_dir.Path());
    }
    std::wstring ShortcutPath() const { return JoinPath(m_dir.Path(), L"Callvane.lnk"); }
    CRegistryValueOverride& Value() { return m_value; }

private:
    CTempDir m_dir{L"startup"};
    CRegistryValueOverride m_value;
};

// Callvane.lnk beside the executable, removed again after the test.
class InstalledShortcut {
public:
    explicit InstalledShortcut(const std::string& content) : m_path(JoinPath(TestBinDir(), L"Callvane.lnk"))
    {
        WriteFileBytes(m_path, content);
    }
    ~InstalledShortcut() { DeleteFileW(m_path.c_str()); }

private:
    std::wstring m_path;
};

// The shell as the tray's commands ask it: each request, and nothing done.
class CRecordingShell : public IShellEffects {
public:
    bool Open(const wchar_t* target) override { return Record(L"open ", target); }
    bool CopyNew(const wchar_t* source, const wchar_t* to) override { return Record(L"copy ", source, to); }
    bool Remove(const wchar_t* path) override { return Record(L"remove ", path); }
    std::vector<std::wstring> m_requests;

private:
    bool Record(const wchar_t* what, const wchar_t* path, const wchar_t* to = L"")
    {
        m_requests.push_back(what + std::wstring(path) + (*to ? L" > " : L"") + to);
        return true;
    }
};

}  // namespace

TEST_F(MainDialogTest, HidesInsteadOfClosing)
{
    // The real program, whose modal run a closed dialog would end: Enter,
    // Escape, WM_CLOSE and SC_CLOSE leave it running with its icon.
    CInstalledCopy copy;
    CChildProcess running(copy.ExePath(), L"");
    HWND hMain = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (hMain = FindProcessWindow(running.Id(), nullptr, kInstanceName)) != nullptr; },
                        15000));
    ASSERT_TRUE(WaitFor([&] { return TrayIconExists(hMain, kTrayIconId); }));
    // Posted after what came before, About opens only while the run goes on.
    auto aboutOpens = [&] {
        PostMessageW(hMain, WM_COMMAND, ID_TRAY_ABOUT, 0);
        HWND hAbout = nullptr;
        WaitFor([&] {
            hAbout = VisibleProcessWindow(running.Id(), L"About Callvane");
            return hAbout || !running.IsRunning();
        }, 15000);
        if (!hAbout)
            return false;
        PostMessageW(hAbout, WM_COMMAND, IDOK, 0);
        return WaitFor([&] { return !IsWindow(hAbout); });
    };
    const struct {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
    } closers[] = {{WM_KEYDOWN, VK_RETURN, 0x001C0001},
                   {WM_KEYDOWN, VK_ESCAPE, 0x00010001},
                   {WM_CLOSE, 0, 0},
                   {WM_SYSCOMMAND, SC_CLOSE, 0}};
    for (const auto& closer : closers) {
        PostMessageW(hMain, closer.msg, closer.wParam, closer.lParam);
        // Twice: what the closer posts in turn (the default WM_CLOSE posts
        // IDCANCEL) comes after the first.
        EXPECT_TRUE(aboutOpens() && aboutOpens()) << closer.msg << " " << closer.wParam;
        EXPECT_TRUE(IsWindow(hMain));
        EXPECT_TRUE(TrayIconExists(hMain, kTrayIconId));
    }
    CChildProcess exitRequest(copy.ExePath(), L"*exit*");
    EXPECT_TRUE(running.WaitForExit(15000));

    // Painting hides it.
    SetWindowPos(Main(), nullptr, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(Main()); }));
}

// The worker dialogs' default: Enter and Escape hide a modeless dialog,
// which only EndDialog ends.
TEST(ModelessDialog, EnterAndEscapeHideItAndEndDialogDestroysIt)
{
    CDialog dlg(IDD_ABOUTBOX);
    ASSERT_TRUE(dlg.Create(IDD_ABOUTBOX));
    HWND hDlg = dlg.m_hWnd;
    for (WPARAM command : {IDOK, IDCANCEL}) {
        ShowWindow(hDlg, SW_SHOWNOACTIVATE);
        SendMessageW(hDlg, WM_COMMAND, command, 0);
        EXPECT_FALSE(IsWindowVisible(hDlg)) << command;
        EXPECT_TRUE(IsWindow(hDlg)) << command;
    }
    // Through the message loop, Escape in one of its controls is the dialog's.
    ShowWindow(hDlg, SW_SHOWNOACTIVATE);
    PostMessageW(GetDlgItem(hDlg, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(hDlg); }));
    dlg.EndDialog(IDOK);
    EXPECT_FALSE(IsWindow(hDlg));
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST_F(MainDialogTest, SystemMenuHasAboutAndTheWindowItsIcons)
{
    HMENU hSys = GetSystemMenu(Main(), FALSE);
    wchar_t text[64] = {};
    ASSERT_GT(GetMenuStringW(hSys, IDM_ABOUTBOX, text, ARRAYSIZE(text), MF_BYCOMMAND), 0);
    EXPECT_STREQ(text, L"&About Callvane...");
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(Main(), WM_GETICON, ICON_BIG, 0)), m_dlg->m_hIcon);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(Main(), WM_GETICON, ICON_SMALL, 0)), m_dlg->m_hIcon);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(Main(), WM_QUERYDRAGICON, 0, 0)), m_dlg->m_hIcon);
}

TEST_F(MainDialogTest, WorkersAreCreatedOwnedAndHidden)
{
    ASSERT_NE(m_dlg->m_pDeviceDlg, nullptr);
    ASSERT_NE(m_dlg->m_pYahooDlg, nullptr);
    ASSERT_NE(m_dlg->m_pOptionDlg, nullptr);
    for (CDialog* worker : {static_cast<CDialog*>(m_dlg->m_pDeviceDlg.get()),
                            static_cast<CDialog*>(m_dlg->m_pYahooDlg.get()),
                            static_cast<CDialog*>(m_dlg->m_pOptionDlg.get())}) {
        ASSERT_TRUE(IsWindow(worker->m_hWnd));
        EXPECT_FALSE(IsWindowVisible(worker->m_hWnd));
        EXPECT_EQ(GetWindow(worker->m_hWnd, GW_OWNER), Main());
    }
    // The handset's control host is item 1000 of the device dialog.
    EXPECT_NE(GetDlgItem(m_dlg->m_pDeviceDlg->m_hWnd, IDC_USBPHONE), nullptr);
    EXPECT_FALSE(m_dlg->m_pDeviceDlg->IsDevicePresent());

    // Dialogs get the themed common controls (version 6, side by side); the
    // hidden main dialog's buttons are the system's own.
    auto moduleOfProcedure = [](HWND hWnd) {
        HMODULE module = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(GetWindowLongPtrW(hWnd, GWLP_WNDPROC)), &module);
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(module, path, MAX_PATH);
        CharLowerW(path);
        return std::wstring(path);
    };
    EXPECT_NE(moduleOfProcedure(GetDlgItem(m_dlg->m_pOptionDlg->m_hWnd, IDC_SPEAKER_SLIDER))
                  .find(L"microsoft.windows.common-controls_6595b64144ccf1df_6."),
              std::wstring::npos);
    EXPECT_NE(moduleOfProcedure(GetDlgItem(Main(), IDOK)).find(L"\\user32.dll"), std::wstring::npos);
}

TEST_F(MainDialogTest, MenuOpensOnRightPressOrLeftDoubleClickOnlyForItsIcon)
{
    LRESULT result = 0;
    EXPECT_TRUE(OpenMenu(WM_RBUTTONDOWN, nullptr, &result));
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(OpenMenu(WM_LBUTTONDBLCLK, nullptr, &result));
    EXPECT_EQ(result, 1);
    for (LPARAM other : {LPARAM(WM_LBUTTONDOWN), LPARAM(WM_LBUTTONUP), LPARAM(WM_RBUTTONUP), LPARAM(WM_MOUSEMOVE)}) {
        EXPECT_FALSE(OpenMenu(other, nullptr, &result)) << other;
        EXPECT_EQ(result, 1);
    }
    // Another icon id is not ours.
    bool opened = WhileModal([&] { result = SendMessageW(Main(), WM_TRAYNOTIFY, kTrayIconId + 1, WM_RBUTTONDOWN); },
                             [] { return FindProcessWindow(GetCurrentProcessId(), L"#32768", nullptr) != nullptr; });
    EXPECT_FALSE(opened);
    EXPECT_EQ(result, -1);
}

TEST_F(MainDialogTest, AutoRunFollowsTheShortcutInTheStartupFolder)
{
    StartupFolder startup;
    InstalledShortcut installed("shortcut bytes");

    // Not in the Start-up folder: unchecked; choosing it copies the installed one.
    bool checked = true;
    ASSERT_TRUE(OpenMenu(WM_RBUTTONDOWN, &checked));
    EXPECT_FALSE(checked);
    SendMessageW(Main(), WM_COMMAND, ID_TRAY_AUTORUN, 0);
    EXPECT_EQ(ReadFileBytes(startup.ShortcutPath()), "shortcut bytes");

    // Now there: checked; choosing it deletes it.
    ASSERT_TRUE(OpenMenu(WM_RBUTTONDOWN, &checked));
    EXPECT_TRUE(checked);
    SendMessageW(Main(), WM_COMMAND, ID_TRAY_AUTORUN, 0);
    EXPECT_FALSE(FileExists(startup.ShortcutPath()));
    ASSERT_TRUE(OpenMenu(WM_RBUTTONDOWN, &checked));
    EXPECT_FALSE(checked);
}

TEST_F(MainDialogTest, MenuItemsAndTheShellRequestsOfTheirCommands)
{
    const struct {
        UINT id;   // 0: the separator
        const wchar_t* text;
    } items[] = {{ID_TRAY_AUTORUN, L"AutoRun"}, {ID_TRAY_SELECT_LANGUAGE, L"SelectYahooLanguage"},
                 {ID_TRAY_OPTION, L"Option"},   {ID_TRAY_ABOUT, L"About"},
                 {ID_TRAY_OPEN_LOG_FOLDER, L"Open log folder"}, {0, L""}, {ID_TRAY_EXIT, L"Exit"}};
    HMENU menu = m_dlg->m_hTrayMenu;
    ASSERT_EQ(GetMenuItemCount(menu), int(ARRAYSIZE(items)));
    for (int i = 0; i < int(ARRAYSIZE(items)); ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(menu, i, text, ARRAYSIZE(text), MF_BYPOSITION);
        EXPECT_EQ(GetMenuItemID(menu, i), items[i].id);
        EXPECT_STREQ(text, items[i].text);
    }
    // Greyed while the log folder is missing, and then not opened even if asked.
    CLocalAppDataOverride local;
    const std::wstring logFolder = local.Path() + L"\\Callvane";
    StartupFolder startup;
    CRecordingShell shell;
    m_dlg->m_tray.SetShell(shell);
    for (bool exists : {false, true}) {
        if (exists)
            ASSERT_TRUE(CreateDirectoryW(logFolder.c_str(), nullptr));
        ASSERT_TRUE(OpenMenu(WM_RBUTTONDOWN));
        EXPECT_EQ((GetMenuState(menu, ID_TRAY_OPEN_LOG_FOLDER, MF_BYCOMMAND) & MF_GRAYED) != 0, !exists);
        SendMessageW(Main(), WM_COMMAND, ID_TRAY_OPEN_LOG_FOLDER, 0);
    }
    SendMessageW(Main(), WM_COMMAND, ID_TRAY_AUTORUN, 0);
    SendMessageW(Main(), WM_COMMAND, ID_TRAY_AUTORUN, 0);
    const std::vector<std::wstring> asked = {
        L"open " + logFolder,
        L"copy " + JoinPath(TestBinDir(), L"Callvane.lnk") + L" > " + startup.ShortcutPath(),
        L"remove " + startup.ShortcutPath()};
    EXPECT_EQ(shell.m_requests, asked);
    RemoveDirectoryW(logFolder.c_str());
}

TEST_F(MainDialogTest, AutoRunWithoutAnInstalledShortcutChangesNothing)
{
    StartupFolder startup;
    ASSERT_FALSE(FileExists(JoinPath(TestBinDir(), L"Callvane.lnk")));
    bool checked = true;
    ASSERT_TRUE(OpenMenu(WM_RBUTTONDOWN, &checked));
    EXPECT_FALSE(checked);
    SendMessageW(Main(), WM_COMMAND, ID_TRAY_AUTORUN, 0);
    EXPECT_FALSE(FileExists(startup.ShortcutPath()));
    ASSERT_TRUE(OpenMenu(WM_RBUTTONDOWN, &checked));
    EXPECT_FALSE(checked);
}

TEST_F(MainDialogTest, OversizedStartupFolderValuesAreRefusedNotOverrun)
{
    StartupFolder startup;
    InstalledShortcut installed("x");

    // 260 characters with no terminator: 520 bytes that fill the whole buffer.
    // Windows returns it as it is; Wine refuses to read it for want of room
    // for a terminator. Either way no path is built from it.
    std::wstring unterminated(MAX_PATH, L'A');
    startup.Value().Set(REG_SZ, unterminated.data(), MAX_PATH * sizeof(wchar_t));
    wchar_t path[MAX_PATH];
    bool built = BuildStartupShortcutPath(path);
    EXPECT_EQ(std::wstring(path), built ? L"\\Callvane.lnk" : L"");
    if (!built) {
        // Refused: AutoRun is unchecked and choosing it writes nothing.
        bool checked = true;
        ASSERT_TRUE(OpenMenu(WM_RBUTTONDOWN, &checked));
        EXPECT_FALSE(checked);
        SendMessageW(Main(), WM_COMMAND, ID_TRAY_AUTORUN, 0);
        EXPECT_FALSE(FileExists(std::wstring(MAX_PATH, L'A') + L"\\Callvane.lnk"));
    }

    // A folder that fits alone but not with "\Callvane.lnk".
    startup.Value().SetString(std::wstring(250, L'B'));
    EXPECT_FALSE(BuildStartupShortcutPath(path));
    // Longer than the buffer: the read fails and the folder part stays empty.
    startup.Value().SetString(std::wstring(400, L'C'));
    ASSERT_TRUE(BuildStartupShortcutPath(path));
    EXPECT_STREQ(path, L"\\Callvane.lnk");
    // Exactly fitting: 246 characters and "\Callvane.lnk".
    startup.Value().SetString(L"C:\\" + std::wstring(243, L'D'));
    ASSERT_TRUE(BuildStartupShortcutPath(path));
    EXPECT_EQ(wcslen(path), 259u);
}

TEST_F(MainDialogTest, StartupFolderValuesAreUsedOnlyAsText)
{
    StartupFolder startup;
    InstalledShortcut installed("lnk");
    CTempDir target{L"expand"};
    SetEnvironmentVariableW(L"CALLVANE_TEST_STARTUP", target.Path().c_str());
    const std::wstring longVariable(300, L'E');
    SetEnvironmentVariableW(L"CALLVANE_TEST_LONG", longVariable.c_str());
    const std::wstring folder = target.Path();
    const std::wstring multi = folder + L'\0' + L"C:\\other" + L'\0' + L'\0';
    const std::wstring unterminated = folder;   // stored without its terminator
    const DWORD number = 0x00410041;             // the bytes of "AA"
    const ULONGLONG wide = 0x0041004100410041ULL;
    const struct {
        const char* name;
        DWORD type;
        const void* data;
        DWORD bytes;
        const wchar_t* folder;   // the folder the shortcut goes to; null: refused
    } cases[] = {
        {"string", REG_SZ, folder.c_str(), DWORD((folder.size() + 1) * 2), folder.c_str()},
        {"unterminated string", REG_SZ, unterminated.data(), DWORD(unterminated.size() * 2), folder.c_str()},
        {"zero-length string", REG_SZ, L"", 0, L""},
        {"expandable", REG_EXPAND_SZ, L"%CALLVANE_TEST_STARTUP%", 48, folder.c_str()},
        {"expands past the buffer", REG_EXPAND_SZ, L"%CALLVANE_TEST_LONG%", 42, nullptr},
        {"multi-string", REG_MULTI_SZ, multi.data(), DWORD(multi.size() * 2), folder.c_str()},
        {"DWORD", REG_DWORD, &number, sizeof number, nullptr},
        {"QWORD", REG_QWORD, &wide, sizeof wide, nullptr},
        {"binary text", REG_BINARY, folder.data(), DWORD(folder.size() * 2), nullptr},
        {"no type", REG_NONE, folder.data(), DWORD(folder.size() * 2), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        startup.Value().Set(c.type, c.data, c.bytes);
        wchar_t path[MAX_PATH];
        bool built = BuildStartupShortcutPath(path);
        EXPECT_EQ(built, c.folder != nullptr);
        EXPECT_EQ(std::wstring(path), c.folder ? std::wstring(c.folder) + L"\\Callvane.lnk" : L"");
        if (!built || !c.folder || !c.folder[0])
            continue;
        // Through the menu: the copy lands in that folder and the item follows it.
        bool checked = true;
        ASSERT_TRUE(OpenMenu(WM_RBUTTONDOWN, &checked));
        EXPECT_FALSE(checked);
        SendMessageW(Main(), WM_COMMAND, ID_TRAY_AUTORUN, 0);
        EXPECT_EQ(ReadFileBytes(JoinPath(folder, L"Callvane.lnk")), "lnk");
        ASSERT_TRUE(OpenMenu(WM_RBUTTONDOWN, &checked));
        EXPECT_TRUE(checked);
        SendMessageW(Main(), WM_COMMAND, ID_TRAY_AUTORUN, 0);
        EXPECT_FALSE(FileExists(JoinPath(folder, L"Callvane.lnk")));
    }
    // Refused: unchecked, and AutoRun writes nothing (here: no "AA" folder's
    // shortcut beside the test, where the DWORD's bytes would point).
    startup.Value().Set(REG_DWORD, &number, sizeof number);
    bool checked = true;
    ASSERT_TRUE(OpenMenu(WM_RBUTTONDOWN, &checked));
    EXPECT_FALSE(checked);
    CreateDirectoryW(L"AA", nullptr);
    SendMessageW(Main(), WM_COMMAND, ID_TRAY_AUTORUN, 0);
    EXPECT_FALSE(FileExists(L"AA\\Callvane.lnk"));
    DeleteFileW(L"AA\\Callvane.lnk");
    RemoveDirectoryW(L"AA");
    SetEnvironmentVariableW(L"CALLVANE_TEST_STARTUP", nullptr);
    SetEnvironmentVariableW(L"CALLVANE_TEST_LONG", nullptr);
}

TEST_F(MainDialogTest, NoShellFoldersKeyLeavesTheFolderEmpty)
{
    CRegistryRootOverride emptyUser(HKEY_CURRENT_USER);
    ASSERT_TRUE(emptyUser.Active());
    wchar_t path[MAX_PATH];
    ASSERT_TRUE(BuildStartupShortcutPath(path));
    EXPECT_STREQ(path, L"\\Callvane.lnk");
}

TEST_F(MainDialogTest, MissingStartupFolderValueLeavesTheFolderEmpty)
{
    StartupFolder startup;
    startup.Value().Delete();
    wchar_t path[MAX_PATH];
    ASSERT_TRUE(BuildStartupShortcutPath(path));
    EXPECT_STREQ(path, L"\\Callvane.lnk");
}

TEST_F(MainDialogTest, AboutFromTheMenuShowsTheModelOnlyWithAHandset)
{
    auto aboutRow = [&](bool* shown, std::wstring* text, UINT msg = WM_COMMAND, WPARAM wParam = ID_TRAY_ABOUT) {
        return WhileModal([&] { SendMessageW(Main(), msg, wParam, 0); },
                          [&] {
                              HWND hAbout = FindProcessWindow(GetCurrentProcessId(), L"#32770", L"About Callvane");
                              if (!hAbout || !IsWindowVisible(hAbout))
                                  return false;
                              HWND hModel = GetDlgItem(hAbout, IDC_DEVICE_VERSION);
                              *shown = IsWindowVisible(hModel) && IsWindowVisible(GetDlgItem(hAbout, IDC_DEVICE_VERSION_LABEL));
                              wchar_t buffer[32] = {};
                              GetWindowTextW(hModel, buffer, ARRAYSIZE(buffer));
                              *text = buffer;
                              PostMessageW(hAbout, WM_COMMAND, IDOK, 0);
                              return true;
                          });
    };
    bool shown = true;
    std::wstring text;
    ASSERT_TRUE(aboutRow(&shown, &text));
    EXPECT_FALSE(shown);
    // The system menu's entry shows the model as it is, 0 included.
    ASSERT_TRUE(aboutRow(&shown, &text, WM_SYSCOMMAND, IDM_ABOUTBOX));
    EXPECT_TRUE(shown);
    EXPECT_EQ(text, L"0000");

    m_dlg->m_pDeviceDlg->m_nModel = 0x5A0;
    ASSERT_TRUE(aboutRow(&shown, &text));
    EXPECT_TRUE(shown);
    EXPECT_EQ(text, L"05A0");
    m_dlg->m_pDeviceDlg->m_nModel = 0;
}

TEST(AboutDialog, ModelIsAtLeastFourUpperCaseHexDigits)
{
    struct Case {
        int model;
        const wchar_t* shown;   // null: the row stays hidden
    } cases[] = {{0x5A0, L"05A0"}, {0x12ABC, L"12ABC"}, {0, L"0000"}, {0xABCD, L"ABCD"}, {-1, nullptr}};
    for (const Case& c : cases) {
        CAboutDlg about(c.model);
        ASSERT_TRUE(about.Create(IDD_ABOUTBOX));
        HWND hModel = about.GetDlgItem(IDC_DEVICE_VERSION);
        // The dialog itself is not shown: look at the rows' own visibility.
        auto visible = [](HWND h) { return (GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0; };
        EXPECT_EQ(visible(hModel), c.shown != nullptr) << c.model;
        EXPECT_EQ(visible(about.GetDlgItem(IDC_DEVICE_VERSION_LABEL)), c.shown != nullptr);
        if (c.shown) {
            wchar_t text[32] = {};
            GetWindowTextW(hModel, text, ARRAYSIZE(text));
            EXPECT_STREQ(text, c.shown);
        }
    }
}

TEST_F(MainDialogTest, OptionWithoutAHandsetShowsTheWarningBalloon)
{
    SendMessageW(Main(), WM_COMMAND, ID_TRAY_OPTION, 0);
    const NOTIFYICONDATAW& data = m_dlg->m_trayIcon.Data();
    EXPECT_STREQ(data.szInfo, L"Can't find USB Phone");
    EXPECT_STREQ(data.szInfoTitle, L"Warning");
    EXPECT_EQ(data.dwInfoFlags, static_cast<DWORD>(NIIF_WARNING));
    EXPECT_EQ(data.uTimeout, 3000u);
    EXPECT_EQ(data.uFlags, static_cast<UINT>(NIF_INFO));
    EXPECT_EQ(FindProcessWindow(GetCurrentProcessId(), L"#32770", L"Ring style") == nullptr ||
                  !IsWindowVisible(FindProcessWindow(GetCurrentProcessId(), L"#32770", L"Ring style")),
              true);
}

TEST_F(MainDialogTest, OptionAndLanguageDialogsOpenModally)
{
    auto opens = [&](UINT command, const wchar_t* caption) {
        return WhileModal([&] { SendMessageW(Main(), WM_COMMAND, command, 0); },
                          [&] {
                              // The modal one is the visible one; the worker instance stays hidden.
                              HWND h = nullptr;
                              while ((h = FindWindowExW(nullptr, h, L"#32770", caption)) != nullptr) {
                                  if (IsWindowVisible(h)) {
                                      EXPECT_FALSE(IsWindowEnabled(Main()));
                                      PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
                                      return true;
                                  }
                              }
                              return false;
                          });
    };
    EXPECT_TRUE(opens(ID_TRAY_SELECT_LANGUAGE, L"Select Yahoo language"));
    m_dlg->m_pDeviceDlg->m_nModel = 0x5A0;
    EXPECT_TRUE(opens(ID_TRAY_OPTION, L"Ring style"));
    EXPECT_TRUE(IsWindowEnabled(Main()));
    m_dlg->m_pDeviceDlg->m_nModel = 0;
}

TEST_F(MainDialogTest, ExitDestroysTheWindowAndTheWorkersThenTheIconGoesWithTheObject)
{
    HWND hMain = Main();
    ASSERT_TRUE(TrayIconExists(hMain, kTrayIconId));
    HWND hDevice = m_dlg->m_pDeviceDlg->m_hWnd;
    SendMessageW(hMain, WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_FALSE(IsWindow(hMain));
    EXPECT_FALSE(IsWindow(hDevice));
    EXPECT_EQ(m_dlg->m_pDeviceDlg, nullptr);
    EXPECT_EQ(m_dlg->m_pYahooDlg, nullptr);
    EXPECT_EQ(m_dlg->m_pOptionDlg, nullptr);
    // The shell drops a destroyed window's icons by itself: to see the object
    // remove its own, its icon is moved to a window that outlives it.
    HWND hLasting = CreateWindowExW(0, L"Static", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(m_dlg->m_trayIcon.Add(hLasting, WM_TRAYNOTIFY, m_dlg->m_hIcon, kTipNoHandset, kTrayIconId));
    ASSERT_TRUE(TrayIconExists(hLasting, kTrayIconId));
    m_dlg.reset();
    EXPECT_FALSE(TrayIconExists(hLasting, kTrayIconId));
    DestroyWindow(hLasting);
}

TEST(AutoRunSource, CopiesOnlyWhenTheInstalledShortcutPathFitsItsBuffer)
{
    // The source path's buffer holds 255 characters: a program directory of
    // 242 characters plus "\Callvane.lnk" fits, 244 does not.
    StartupFolder startup;
    for (size_t directoryChars : {size_t(244), size_t(242)}) {
        CInstalledCopy copy(directoryChars);
        ASSERT_TRUE(WriteFileBytes(JoinPath(copy.Directory(), L"Callvane.lnk"), "lnk"));
        CChildProcess running(copy.ExePath(), L"");
        HWND hMain = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (hMain = FindProcessWindow(running.Id(), nullptr, kInstanceName)) != nullptr; },
                            15000));
        // Sent, so it has been handled when this returns.
        SendMessageW(hMain, WM_COMMAND, ID_TRAY_AUTORUN, 0);
        EXPECT_EQ(FileExists(startup.ShortcutPath()), directoryChars == 242) << directoryChars;
        EXPECT_TRUE(running.IsRunning());
        DeleteFileW(startup.ShortcutPath().c_str());
        CChildProcess exitRequest(copy.ExePath(), L"*exit*");
        EXPECT_TRUE(running.WaitForExit(15000));
    }
}
