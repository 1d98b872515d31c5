// Start-up as other processes see it: one instance, "*exit*", and the paths
// built from where the program is installed.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/AppIds.h"
#include "app/CallvaneApp.h"
#include "app/ModulePath.h"
#include "res/resource.h"
#include "settings/SettingsPaths.h"

namespace {

const DWORD kStartTimeoutMs = 15000;

HWND WaitForMainWindow(const CChildProcess& process)
{
    HWND hWnd = nullptr;
    WaitFor([&] { return (hWnd = FindProcessWindow(process.Id(), nullptr, kInstanceName)) != nullptr; }, kStartTimeoutMs);
    return hWnd;
}

// Ends a running instance the way a user's script would.
void RequestExit(const CInstalledCopy& copy, CChildProcess& running)
{
    CChildProcess exitRequest(copy.ExePath(), L"*exit*");
    ASSERT_TRUE(exitRequest.WaitForExit(kStartTimeoutMs));
    ASSERT_TRUE(running.WaitForExit(kStartTimeoutMs));
}

}  // namespace

TEST(SingleInstance, SecondStartGivesWayAndExitRequestEndsTheFirst)
{
    CInstalledCopy copy;
    CChildProcess first(copy.ExePath(), L"");
    ASSERT_TRUE(first.Started());
    HWND hMain = WaitForMainWindow(first);
    ASSERT_NE(hMain, nullptr);
    EXPECT_TRUE(MutexExists(kInstanceName));
    // The main dialog hides itself as soon as it would be painted.
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(hMain); }));
    EXPECT_TRUE(WaitFor([&] { return TrayIconExists(hMain, kTrayIconId); }));

    CChildProcess second(copy.ExePath(), L"");
    ASSERT_TRUE(second.WaitForExit(kStartTimeoutMs));
    EXPECT_TRUE(first.IsRunning());
    EXPECT_EQ(FindProcessWindow(second.Id(), nullptr, kInstanceName), nullptr);
    // Shown for the hand-over, hidden again at its next paint.
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(hMain); }));
    EXPECT_TRUE(TrayIconExists(hMain, kTrayIconId));

    // Recognised anywhere in the command line, inside a longer argument too.
    CChildProcess exitRequest(copy.ExePath(), L"--quiet please*exit*now");
    ASSERT_TRUE(exitRequest.WaitForExit(kStartTimeoutMs));
    ASSERT_TRUE(first.WaitForExit(kStartTimeoutMs));
    EXPECT_FALSE(MutexExists(kInstanceName));
    EXPECT_EQ(FindWindowW(nullptr, kInstanceName), nullptr);
    EXPECT_FALSE(TrayIconExists(hMain, kTrayIconId));
}

TEST(SingleInstance, ExitInCapitalsIsNotAnExitRequest)
{
    CInstalledCopy copy;
    CChildProcess first(copy.ExePath(), L"");
    HWND hMain = WaitForMainWindow(first);
    ASSERT_NE(hMain, nullptr);

    // A second instance, not an exit request: it gives way and the first stays.
    CChildProcess upper(copy.ExePath(), L"*EXIT*");
    ASSERT_TRUE(upper.WaitForExit(kStartTimeoutMs));
    EXPECT_TRUE(first.IsRunning());
    EXPECT_TRUE(IsWindow(hMain));
    RequestExit(copy, first);

    // With nothing running, "*EXIT*" starts the one instance.
    CChildProcess alone(copy.ExePath(), L"*EXIT*");
    EXPECT_NE(WaitForMainWindow(alone), nullptr);
    EXPECT_TRUE(alone.IsRunning());
    RequestExit(copy, alone);
}

TEST(SingleInstance, ExitRequestWithNothingRunningLeavesNothingBehind)
{
    CInstalledCopy copy;
    CChildProcess exitRequest(copy.ExePath(), L"*exit*");
    ASSERT_TRUE(exitRequest.WaitForExit(kStartTimeoutMs));
    EXPECT_EQ(exitRequest.ExitCode(), 0u);
    EXPECT_FALSE(MutexExists(kInstanceName));
    EXPECT_EQ(FindWindowW(nullptr, kInstanceName), nullptr);
}

TEST(SingleInstance, ExitRequestDoesNotClaimTheInstance)
{
    // While this process holds the name, an exit request must neither wait
    // for it nor take it: it only posts and ends.
    HANDLE mutex = CreateMutexW(nullptr, TRUE, kInstanceName);
    ASSERT_NE(mutex, nullptr);
    CInstalledCopy copy;
    CChildProcess exitRequest(copy.ExePath(), L"*exit*");
    EXPECT_TRUE(exitRequest.WaitForExit(kStartTimeoutMs));
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    EXPECT_FALSE(MutexExists(kInstanceName));
}

TEST(SingleInstance, MenuExitEndsTheProcessAndRemovesTheIcon)
{
    CInstalledCopy copy;
    CChildProcess running(copy.ExePath(), L"");
    HWND hMain = WaitForMainWindow(running);
    ASSERT_NE(hMain, nullptr);
    ASSERT_TRUE(WaitFor([&] { return TrayIconExists(hMain, kTrayIconId); }));
    PostMessageW(hMain, WM_COMMAND, ID_TRAY_EXIT, 0);
    ASSERT_TRUE(running.WaitForExit(kStartTimeoutMs));
    EXPECT_EQ(running.ExitCode(), 0u);
    EXPECT_FALSE(TrayIconExists(hMain, kTrayIconId));
    EXPECT_FALSE(MutexExists(kInstanceName));
}

TEST(StartupPaths, LongProgramDirectoriesNeverOverrunThePathBuffers)
{
    // 246 characters + "\Callvane.ini" = 259 and the terminator: fits; 247 does not.
    CTempDir temp;
    std::wstring fits = temp.MakeNestedDir(246);
    ASSERT_EQ(fits.size(), 246u);
    ASSERT_TRUE(BuildSettingsPaths(fits.c_str()));
    EXPECT_EQ(std::wstring(g_szSettingsPath), fits + L"\\Callvane.ini");
    EXPECT_LT(wcsnlen(g_szLanguagePath, MAX_PATH), static_cast<size_t>(MAX_PATH));
    EXPECT_EQ(std::wstring(g_szLanguagePath).find(fits + L"\\Language\\Eng"), 0u);

    CTempDir other;
    std::wstring tooLong = other.MakeNestedDir(247);
    EXPECT_FALSE(BuildSettingsPaths(tooLong.c_str()));
    EXPECT_EQ(g_szSettingsPath[0], L'\0');
}

TEST(StartupPaths, NoSettingsFileGivesTheEnglishLanguageFile)
{
    CTempDir temp;
    ASSERT_TRUE(BuildSettingsPaths(temp.Path().c_str()));
    EXPECT_EQ(std::wstring(g_szLanguagePath), temp.Path() + L"\\Language\\English.ini");
}

TEST(StartupPaths, LanguageNameAndFileAreCutTo31Characters)
{
    CTempDir temp;
    std::wstring settings = JoinPath(temp.Path(), L"Callvane.ini");
    std::wstring longName(40, L'N');
    std::wstring cutName(31, L'N');
    WritePrivateProfileStringW(L"LanguageType", L"0", longName.c_str(), settings.c_str());
    // Keyed by the cut name, so the lookup finds it; its value is cut as well.
    WritePrivateProfileStringW(L"LanguageFiles", cutName.c_str(), (L"\\Language\\" + std::wstring(30, L'x')).c_str(),
                               settings.c_str());
    ASSERT_TRUE(BuildSettingsPaths(temp.Path().c_str()));
    EXPECT_EQ(std::wstring(g_szLanguagePath), temp.Path() + L"\\Language\\" + std::wstring(21, L'x'));
}

TEST(StartupPaths, ProgramDirectoryAtTheLimitStillRuns)
{
    // 246 characters: the executable's path is 259 and "\Callvane.ini" fills
    // the settings path to its last character. (One more and the system
    // cannot start the program from there at all.)
    CInstalledCopy atLimit(246);
    CChildProcess running(atLimit.ExePath(), L"");
    ASSERT_TRUE(running.Started());
    EXPECT_NE(WaitForMainWindow(running), nullptr);
    RequestExit(atLimit, running);

    CInstalledCopy shorter(200);
    CChildProcess alsoRunning(shorter.ExePath(), L"");
    EXPECT_NE(WaitForMainWindow(alsoRunning), nullptr);
    RequestExit(shorter, alsoRunning);
}

TEST(ModulePath, DirectoryIsThePathUpToTheLastSeparator)
{
    std::wstring path = GetModuleFilePath(nullptr);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(GetModuleDirectory(nullptr), path.substr(0, path.find_last_of(L"\\/")));
    EXPECT_EQ(GetModuleDirectory(nullptr), TestBinDir());
}
