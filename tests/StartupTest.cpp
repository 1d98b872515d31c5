// Start-up as other processes see it: one instance, "*exit*", and the paths
// built from where the program is installed.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/AppIds.h"
#include "app/CallvaneApp.h"
#include "framework/ModulePath.h"
#include "app/StartupShortcut.h"
#include "res/resource.h"
#include "settings/Settings.h"
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
}

TEST(SingleInstance, ExitInCapitalsOrInALinkIsNotAnExitRequest)
{
    CInstalledCopy copy;
    CChildProcess first(copy.ExePath(), L"");
    HWND hMain = WaitForMainWindow(first);
    ASSERT_NE(hMain, nullptr);

    // A second instance, not an exit request: it gives way and the first
    // stays; so does any link or "/dial" a page can write, whatever it holds.
    for (const wchar_t* arguments : {L"*EXIT*", L"tel:*exit*", L"CALLTO:*exit*", L"/dial *exit*"}) {
        CChildProcess second(copy.ExePath(), arguments);
        ASSERT_TRUE(second.WaitForExit(kStartTimeoutMs));
        EXPECT_TRUE(first.IsRunning() && IsWindow(hMain)) << testing::PrintToString(arguments);
    }
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
    EXPECT_EQ(FindWindowW(nullptr, kInstanceName), nullptr);
    // A mutex the request created would go with its process: in this one it
    // would still be there.
    wchar_t dialNumber[kDialNumberChars];
    EXPECT_EQ(ClaimSingleInstance(L"Callvane.exe *exit*", dialNumber), StartupRole::ExitRequest);
    EXPECT_FALSE(MutexExists(kInstanceName));
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
    // In this process a handle the request took would outlive it.
    wchar_t dialNumber[kDialNumberChars];
    EXPECT_EQ(ClaimSingleInstance(L"Callvane.exe *exit*", dialNumber), StartupRole::ExitRequest);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    EXPECT_FALSE(MutexExists(kInstanceName));
}

// The icon's removal is checked in process: the tray drops the icons of a
// destroyed window by itself, and here the window goes before the icon.
TEST(SingleInstance, MenuExitEndsTheProcessAndReleasesTheInstance)
{
    CInstalledCopy copy;
    CChildProcess running(copy.ExePath(), L"");
    HWND hMain = WaitForMainWindow(running);
    ASSERT_NE(hMain, nullptr);
    ASSERT_TRUE(WaitFor([&] { return TrayIconExists(hMain, kTrayIconId); }));
    PostMessageW(hMain, WM_COMMAND, ID_TRAY_EXIT, 0);
    ASSERT_TRUE(running.WaitForExit(kStartTimeoutMs));
    EXPECT_EQ(running.ExitCode(), 0u);
    EXPECT_FALSE(MutexExists(kInstanceName));
}

TEST(StartupPaths, LongProgramDirectoriesNeverOverrunThePathBuffers)
{
    // The settings path must fit whole: 246 characters + "\Callvane.ini" is
    // 259. The language path is only read and is cut to 259 beyond
    // 238 + "\Language\English.ini". Beyond 246 nothing is built, and then
    // every read gives its default and no write goes anywhere.
    wchar_t savedSettings[MAX_PATH], savedLanguage[MAX_PATH];
    wmemcpy(savedSettings, g_szSettingsPath, MAX_PATH);
    wmemcpy(savedLanguage, g_szLanguagePath, MAX_PATH);
    for (size_t chars : {size_t(200), size_t(238), size_t(239), size_t(246), size_t(247), size_t(250), size_t(259),
                         size_t(300), size_t(1000)}) {
        SCOPED_TRACE(chars);
        std::wstring directory = L"C:\\" + std::wstring(chars - 3, L'd');
        const std::wstring english = directory + L"\\Language\\English.ini";
        bool built = BuildSettingsPaths(directory.c_str());
        EXPECT_EQ(built, chars <= 246);
        if (!built) {
            EXPECT_EQ(g_szSettingsPath[0], L'\0');
            EXPECT_EQ(g_szLanguagePath[0], L'\0');
            EXPECT_EQ(ReadRingType(), 0);
            EXPECT_FALSE(WriteRingType(4));
            EXPECT_FALSE(WriteCurrentLanguageName(L"English"));
            continue;
        }
        EXPECT_EQ(std::wstring(g_szSettingsPath), directory + L"\\Callvane.ini");
        EXPECT_EQ(std::wstring(g_szLanguagePath), english.substr(0, MAX_PATH - 1));
    }
    wmemcpy(g_szSettingsPath, savedSettings, MAX_PATH);
    wmemcpy(g_szLanguagePath, savedLanguage, MAX_PATH);
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

TEST(StartupPaths, ProgramDirectoryAtTheLimitStillRunsAndWritesBesideItself)
{
    // 246 characters: the executable's path is 259 and "\Callvane.ini" fills
    // the settings path to its last character. (One more and the system
    // cannot start the program from there at all.) The AutoRun source
    // ("\Callvane.lnk" in a buffer of 256) fits at 200, not at 246.
    CTempDir startupFolder{L"startup"};
    CRegistryValueOverride startup(HKEY_CURRENT_USER, kShellFoldersKey, L"StartUp");
    startup.SetString(startupFolder.Path());
    const std::wstring shortcut = JoinPath(startupFolder.Path(), L"Callvane.lnk");
    for (size_t chars : {size_t(246), size_t(200)}) {
        SCOPED_TRACE(chars);
        CInstalledCopy copy(chars);
        ASSERT_EQ(copy.Directory().size(), chars);
        ASSERT_TRUE(WriteFileBytes(JoinPath(copy.Directory(), L"Callvane.lnk"), "lnk"));
        CChildProcess running(copy.ExePath(), L"");
        ASSERT_TRUE(running.Started());
        HWND hMain = WaitForMainWindow(running);
        ASSERT_NE(hMain, nullptr);

        // The language dialog's OK writes the settings file in that directory.
        PostMessageW(hMain, WM_COMMAND, ID_TRAY_SELECT_LANGUAGE, 0);
        HWND hLanguage = nullptr;
        ASSERT_TRUE(WaitFor([&] {
            return (hLanguage = FindProcessWindow(running.Id(), L"#32770", L"Select Yahoo language")) != nullptr;
        }));
        PostMessageW(hLanguage, WM_COMMAND, IDOK, 0);
        const std::wstring settings = JoinPath(copy.Directory(), L"Callvane.ini");
        EXPECT_TRUE(WaitFor([&] { return FileExists(settings); }));
        wchar_t stored[32] = {};
        GetPrivateProfileStringW(L"LanguageType", L"0", L"<missing>", stored, 32, settings.c_str());
        EXPECT_STREQ(stored, L"English");

        SendMessageW(hMain, WM_COMMAND, ID_TRAY_AUTORUN, 0);
        EXPECT_EQ(FileExists(shortcut), chars == 200);
        DeleteFileW(shortcut.c_str());
        EXPECT_TRUE(running.IsRunning());
        RequestExit(copy, running);
    }
}

TEST(StartupPaths, BadSettingsAndLanguageFilesNeitherStopNorChangeAStart)
{
    const std::string big(1 << 20, 'x');
    const struct {
        const char* name;
        std::string settings;   // "<dir>": a folder of that name
        std::string language;
    } cases[] = {
        {"binary", std::string("\x00\xFF[LanguageType]\x00\r\n0=\x01\x02\r\n", 24), std::string("\x00\x00\xFE\x00", 4)},
        {"1 MB name and file", "[LanguageType]\r\n0=" + big + "\r\n[LanguageFiles]\r\n" + big.substr(0, 31) + "=\\" + big +
                                   "\r\n",
         "[WINDOW_TEXT]\r\nWND_CALLIN=" + big + "\r\n"},
        {"UTF-16 without mark", std::string("[\0L\0a\0n\0g\0]\0\r\0\n\0", 16), "<dir>"},
        {"folders", "<dir>", "<dir>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CInstalledCopy copy;
        const std::wstring settings = JoinPath(copy.Directory(), L"Callvane.ini");
        const std::wstring languageDir = JoinPath(copy.Directory(), L"Language");
        const std::wstring language = JoinPath(languageDir, L"English.ini");
        ASSERT_TRUE(CreateDirectoryW(languageDir.c_str(), nullptr));
        for (const auto& file : {std::make_pair(settings, c.settings), std::make_pair(language, c.language)}) {
            if (file.second == "<dir>")
                ASSERT_TRUE(CreateDirectoryW(file.first.c_str(), nullptr));
            else
                ASSERT_TRUE(WriteFileBytes(file.first, file.second));
        }
        CChildProcess running(copy.ExePath(), L"");
        HWND hMain = WaitForMainWindow(running);
        ASSERT_NE(hMain, nullptr);
        EXPECT_TRUE(WaitFor([&] { return TrayIconExists(hMain, kTrayIconId); }));
        // Its first watch passes read the language file; it still runs after them.
        PumpMessages(2500);
        EXPECT_TRUE(running.IsRunning());
        RequestExit(copy, running);
        EXPECT_EQ(running.ExitCode(), 0u);
        if (c.settings != "<dir>") {
            EXPECT_TRUE(ReadFileBytes(settings) == c.settings) << "start-up wrote the settings file";
        }
    }
}

TEST(ModulePath, AModulePathLongerThan259IsRefusedNotCut)
{
    // The executable's image loaded from a directory too long for the system
    // to start it from: its path does not fit the 260-character buffer, so
    // neither it nor its directory is given (AutoRun then copies nothing).
    CTempDir root{L"deep"};
    for (size_t chars : {size_t(246), size_t(247), size_t(300)}) {
        SCOPED_TRACE(chars);
        // "\\?\\" lifts the limit for creating and copying, not for starting.
        std::wstring directory = root.Path() + L"\\" + std::wstring(100, L'd');
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + directory).c_str(), nullptr));
        directory += L"\\" + std::wstring(chars - directory.size() - 1, L'e');
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + directory).c_str(), nullptr));
        std::wstring exe = directory + L"\\Callvane.exe";
        ASSERT_TRUE(CopyFileW(JoinPath(TestBinDir(), L"Callvane.exe").c_str(), (L"\\\\?\\" + exe).c_str(), FALSE));
        HMODULE image = LoadLibraryExW((L"\\\\?\\" + exe).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        ASSERT_NE(image, nullptr) << GetLastError();
        std::wstring path = GetModuleFilePath(image);
        if (chars <= 246) {
            EXPECT_EQ(path.size(), exe.size());
            EXPECT_EQ(GetModuleDirectory(image).size(), chars);
        } else {
            EXPECT_EQ(path, L"");
            EXPECT_EQ(GetModuleDirectory(image), L"");
            // Started from there, it would not run: the system refuses to
            // start it, or the program ends without a window. (Only the
            // shortest such path is tried: Wine corrupts its own heap asked
            // to start one of 300 characters.)
            if (chars == 247) {
                CChildProcess refused(exe, L"");
                if (refused.Started()) {
                    EXPECT_TRUE(refused.WaitForExit(kStartTimeoutMs));
                    EXPECT_EQ(FindProcessWindow(refused.Id(), nullptr, kInstanceName), nullptr);
                }
                RecordProperty("started_" + std::to_string(chars), refused.Started() ? 1 : 0);
            }
        }
        FreeLibrary(image);
        DeleteFileW((L"\\\\?\\" + exe).c_str());
        RemoveDirectoryW((L"\\\\?\\" + directory).c_str());
        RemoveDirectoryW((L"\\\\?\\" + directory.substr(0, directory.find_last_of(L'\\'))).c_str());
    }
}

TEST(ModulePath, DirectoryIsThePathUpToTheLastSeparator)
{
    std::wstring path = GetModuleFilePath(nullptr);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(GetModuleDirectory(nullptr), path.substr(0, path.find_last_of(L"\\/")));
    EXPECT_EQ(GetModuleDirectory(nullptr), TestBinDir());
}

// A link from any page is reduced to a number or refused; what the command
// line asks is found wherever it stands.
TEST(DialLink, LinksAreReducedToANumberOrRefused)
{
    using V = DialVerdict;
    const struct { std::wstring arguments; DialVerdict verdict; const wchar_t* number; } cases[] = {
        {L"tel:+1-555-0100", V::Dialable, L"+15550100"}, {L"callto://5550100", V::Dialable, L"5550100"},
        {L"\"TEL:+1 (555) 010.0;ext=12?x=y\"", V::Dialable, L"+15550100"}, {L"/dial 12*34#", V::Dialable, L"12*34#"},
        {L"tel:%2B%35%35%35%30", V::Dialable, L"+5550"}, {L"tel:%3B555", V::Empty, L""},
        {L"tel:555%0A0100", V::ControlCharacter, L""}, {L"tel:555%0012", V::ControlCharacter, L""},
        {L"tel:555;x=%7F", V::ControlCharacter, L""}, {L"\"/dial\" \"555\t12\"", V::ControlCharacter, L""}, {L"tel:555%C3%A9", V::BadEscape, L""},
        {L"tel:555%4", V::BadEscape, L""}, {L"tel:1+2", V::BadCharacter, L""}, {L"tel:++12", V::BadCharacter, L""},
        {L"tel:5550100abc", V::BadCharacter, L""}, {L"\"tel:555 0100 & calc\"", V::BadCharacter, L""},
        {L"tel:---", V::Empty, L""}, {L"tel:", V::Empty, L""}, {L"/dial", V::Empty, L""},
        {L"tel:123456789012345678901234567890123", V::TooLong, L""}, {L"tel:" + std::wstring(100000, L'1'), V::TooLong, L""},
        {L"http://5550100", V::NotALink, L""}, {L"*exit*", V::NotALink, L""}, {L"tel:%2A%65xit%2A", V::BadCharacter, L""},
        {L"tel:\uFF15\uFF15\uFF15", V::BadCharacter, L""}, {L"tel:\u0665\u0665", V::BadCharacter, L""},
        {L"/dial 555 0100", V::MoreArguments, L""}, {L"\"tel:555\" 0100\"", V::MoreArguments, L""},
    };
    for (const auto& c : cases) {
        const std::wstring commandLine = L"Callvane.exe " + c.arguments;
        wchar_t number[kDialNumberChars] = L"stale";
        EXPECT_EQ(FindDialRequest(commandLine.c_str(), number), c.verdict) << testing::PrintToString(c.arguments.substr(0, 40));
        EXPECT_STREQ(number, c.number) << testing::PrintToString(c.arguments.substr(0, 40));
        EXPECT_EQ(IsDialableNumber(number), c.verdict == DialVerdict::Dialable);
        EXPECT_EQ(IsDialCommandLine(commandLine.c_str()), c.verdict != V::NotALink);
    }
}
