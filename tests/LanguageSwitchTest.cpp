// The language dialog and the window watcher together: a stand-in messenger
// running in English is not understood with the Chinese texts; after the user
// picks English in the dialog, the very next watch pass sees the call.
#include <gtest/gtest.h>

#include "MessengerSimProcess.h"
#include "MessengerTestSupport.h"
#include "TestSupport.h"
#include "app/CallvaneDlg.h"
#include "framework/BoundedString.h"
#include "link/CallCodes.h"
#include "res/resource.h"
#include "app/LanguageDlg.h"
#include "settings/SettingsPaths.h"

namespace {

// A language file of the test's own beside the program, where the settings
// file's relative paths point, removed again afterwards.
class ProgramLanguageFile {
public:
    ProgramLanguageFile(const wchar_t* callIn, const wchar_t* voiceMessage, const wchar_t* hangUp)
    {
        wchar_t name[32];
        swprintf(name, 32, L"\\Language\\En%lx.ini", GetCurrentProcessId());
        m_relative = name;
        CreateDirectoryW(JoinPath(TestBinDir(), L"Language").c_str(), nullptr);
        m_path = TestBinDir() + m_relative;
        WriteLanguageFile(m_path, callIn, voiceMessage, hangUp);
    }
    ~ProgramLanguageFile() { DeleteFileW(m_path.c_str()); }
    const std::wstring& Path() const { return m_path; }
    const std::wstring& Relative() const { return m_relative; }

private:
    std::wstring m_relative;
    std::wstring m_path;
};

class SavedSettingsPaths {
public:
    SavedSettingsPaths()
    {
        CopyTruncated(m_settings, g_szSettingsPath);
        CopyTruncated(m_language, g_szLanguagePath);
    }
    ~SavedSettingsPaths()
    {
        CopyTruncated(g_szSettingsPath, m_settings);
        CopyTruncated(g_szLanguagePath, m_language);
    }

private:
    wchar_t m_settings[MAX_PATH];
    wchar_t m_language[MAX_PATH];
};

}  // namespace

TEST(LanguageSwitch, TheWatcherFollowsTheLanguageChosenInTheDialog)
{
    SavedSettingsPaths saved;
    ProgramLanguageFile english(L"Yahoo! Messenger  ", L"Voice Message", L"End Call");
    CTempDir settingsDir(L"switch");
    CopyTruncated(g_szSettingsPath, JoinPath(settingsDir.Path(), L"Callvane.ini").c_str());
    WritePrivateProfileStringW(L"LanguageType", L"1", L"Chinese", g_szSettingsPath);
    WritePrivateProfileStringW(L"LanguageType", L"2", L"English", g_szSettingsPath);
    WritePrivateProfileStringW(L"LanguageType", L"0", L"Chinese", g_szSettingsPath);
    WritePrivateProfileStringW(L"LanguageFiles", L"English", english.Relative().c_str(), g_szSettingsPath);
    // Chinese has no entry of its own: the shipped \Language\English.ini,
    // which states the Chinese edition's texts.
    ASSERT_TRUE(ResolveLanguagePath(L"Chinese"));
    ASSERT_EQ(std::wstring(g_szLanguagePath), JoinPath(TestBinDir(), L"Language\\English.ini"));

    CMessengerSimProcess messenger(english.Path());
    ASSERT_TRUE(messenger.Ready());
    ASSERT_NE(messenger.CommandWindow(L"open conversation call name=Ann"), nullptr);
    ASSERT_TRUE(messenger.Sync());

    CMessengerSide side;
    side.SetHandsetPresent(true);
    side.Tick();
    // "End Call" is no hang-up button in Chinese: no call in progress.
    std::vector<uint32_t> statuses = side.m_device.Take();
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(CodesText({statuses.back()}), CodesText({kStatusReady}));

    CCallvaneDlg owner(nullptr);   // gives the dialog its icon; no window
    CLanguageDlg dialog(&owner);
    ASSERT_TRUE(dialog.Create(IDD_LANGUAGE_DIALOG));
    EXPECT_EQ(dialog.m_comboLanguage.GetCurSel(), 0);
    dialog.m_comboLanguage.SetCurSel(1);
    SendMessageW(dialog.m_hWnd, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(std::wstring(g_szLanguagePath), english.Path());

    side.Tick();
    statuses = side.m_device.Take();
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(CodesText({statuses.back()}), CodesText({kStatusTalk}));
}
