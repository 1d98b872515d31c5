// The language dialog as the tray menu opens it, against a settings file of
// the test's own: the list it offers, what it preselects, what OK stores and
// which language file the watcher reads afterwards.
#include <gtest/gtest.h>

#include "MainDialogFixture.h"
#include "TestSupport.h"
#include "framework/BoundedString.h"
#include "settings/SettingsPaths.h"

#include <functional>
#include <vector>

namespace {

struct ListState {
    std::vector<std::wstring> entries;
    int selected = -1;
    bool hasIcon = false;
};

class LanguageDialogTest : public MainDialogFixture {
protected:
    void SetUp() override
    {
        MainDialogFixture::SetUp();
        CopyTruncated(m_savedSettings, g_szSettingsPath);
        CopyTruncated(m_savedLanguage, g_szLanguagePath);
        CopyTruncated(g_szSettingsPath, JoinPath(m_dir.Path(), L"Callvane.ini").c_str());
        CopyTruncated(g_szLanguagePath, L"unchanged");
    }
    void TearDown() override
    {
        CopyTruncated(g_szSettingsPath, m_savedSettings);
        CopyTruncated(g_szLanguagePath, m_savedLanguage);
        MainDialogFixture::TearDown();
    }

    std::wstring SettingsFile() const { return g_szSettingsPath; }
    void Write(const wchar_t* section, const wchar_t* key, const std::wstring& value)
    {
        WritePrivateProfileStringW(section, key, value.c_str(), g_szSettingsPath);
    }
    std::wstring Read(const wchar_t* section, const wchar_t* key)
    {
        wchar_t value[512] = {};
        GetPrivateProfileStringW(section, key, L"<missing>", value, ARRAYSIZE(value), g_szSettingsPath);
        return value;
    }

    // Opens the dialog from the tray menu, records its list, then lets
    // choose() pick an entry (or -1 to keep the preselection) and close it
    // with OK or Cancel.
    ListState Run(int select, UINT closeWith, const std::function<void()>& whileOpen = nullptr)
    {
        ListState state;
        bool seen = WhileModal([&] { SendMessageW(Main(), WM_COMMAND, ID_TRAY_SELECT_LANGUAGE, 0); },
                               [&] {
                                   HWND hDlg = FindProcessWindow(GetCurrentProcessId(), L"#32770",
                                                                 L"Select Yahoo language");
                                   if (!hDlg || !IsWindowVisible(hDlg))
                                       return false;
                                   HWND hCombo = GetDlgItem(hDlg, IDC_LANGUAGE_COMBO);
                                   int count = static_cast<int>(SendMessageW(hCombo, CB_GETCOUNT, 0, 0));
                                   for (int i = 0; i < count; ++i) {
                                       std::vector<wchar_t> text(SendMessageW(hCombo, CB_GETLBTEXTLEN, i, 0) + 1);
                                       SendMessageW(hCombo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
                                       state.entries.emplace_back(text.data());
                                   }
                                   state.selected = static_cast<int>(SendMessageW(hCombo, CB_GETCURSEL, 0, 0));
                                   state.hasIcon = SendMessageW(hDlg, WM_GETICON, ICON_BIG, 0) ==
                                                   reinterpret_cast<LRESULT>(m_dlg->m_hIcon);
                                   if (whileOpen)
                                       whileOpen();
                                   if (select >= 0)
                                       SendMessageW(hCombo, CB_SETCURSEL, select, 0);
                                   PostMessageW(hDlg, WM_COMMAND, closeWith, 0);
                                   return true;
                               });
        EXPECT_TRUE(seen);
        return state;
    }

    CTempDir m_dir{L"lang"};
    wchar_t m_savedSettings[MAX_PATH] = {};
    wchar_t m_savedLanguage[MAX_PATH] = {};
};

const wchar_t kTypes[] = L"LanguageType";
const wchar_t kFiles[] = L"LanguageFiles";

}  // namespace

TEST_F(LanguageDialogTest, NoSettingsFileOffersNothingAndOkStoresEnglish)
{
    ListState state = Run(-1, IDOK);
    EXPECT_TRUE(state.entries.empty());
    EXPECT_EQ(state.selected, -1);
    EXPECT_TRUE(state.hasIcon);
    EXPECT_EQ(Read(kTypes, L"0"), L"English");
    EXPECT_EQ(std::wstring(g_szLanguagePath), JoinPath(TestBinDir(), L"Language\\English.ini"));
}

TEST_F(LanguageDialogTest, ListStopsAtTheFirstGapAndChoosingStoresTheFilesName)
{
    Write(kTypes, L"1", L"English");
    Write(kTypes, L"2", L"SimplifiedChinese");
    Write(kTypes, L"4", L"Never reached");
    Write(kTypes, L"0", L"simplifiedchinese");
    Write(kFiles, L"Chinese", L"\\Language\\Chinese.ini");

    // The name is read again from the file at OK, not taken from the list.
    ListState state = Run(1, IDOK, [&] { Write(kTypes, L"2", L"Chinese"); });
    ASSERT_EQ(state.entries, (std::vector<std::wstring>{L"English", L"SimplifiedChinese"}));
    EXPECT_EQ(state.selected, 1);   // letter case ignored
    EXPECT_EQ(Read(kTypes, L"0"), L"Chinese");
    EXPECT_EQ(std::wstring(g_szLanguagePath), JoinPath(TestBinDir(), L"Language\\Chinese.ini"));

    // A prefix preselects the first entry that begins with it.
    Write(kTypes, L"0", L"Eng");
    state = Run(-1, IDOK);
    EXPECT_EQ(state.selected, 0);
    EXPECT_EQ(Read(kTypes, L"0"), L"English");
    EXPECT_EQ(std::wstring(g_szLanguagePath), JoinPath(TestBinDir(), L"Language\\English.ini"));
}

TEST_F(LanguageDialogTest, CancelChangesNeitherTheFileNorThePath)
{
    Write(kTypes, L"1", L"English");
    Write(kTypes, L"2", L"German");
    Write(kTypes, L"0", L"English");
    std::string before = ReadFileBytes(SettingsFile());
    Run(1, IDCANCEL);
    EXPECT_EQ(ReadFileBytes(SettingsFile()), before);
    EXPECT_STREQ(g_szLanguagePath, L"unchanged");
}

TEST_F(LanguageDialogTest, LongNamesAreShownWholeButStoredAndLookedUpCut)
{
    std::wstring longName(40, L'L');
    Write(kTypes, L"1", longName);
    Write(kFiles, longName.c_str(), L"\\Language\\Long.ini");
    ListState state = Run(0, IDOK);
    ASSERT_EQ(state.entries.size(), 1u);
    EXPECT_EQ(state.entries[0], longName);
    EXPECT_EQ(Read(kTypes, L"0"), longName.substr(0, 31));
    // Looked up under the cut name, which has no entry: the default file.
    EXPECT_EQ(std::wstring(g_szLanguagePath), JoinPath(TestBinDir(), L"Language\\English.ini"));
}

TEST_F(LanguageDialogTest, ASettingsFileThatCannotBeWrittenStillRebuildsThePath)
{
    Write(kTypes, L"1", L"German");
    Write(kTypes, L"0", L"English");
    Write(kFiles, L"German", L"\\Language\\German.ini");
    // Held open for reading only and shared only for reading: writes fail,
    // reads work (a read-only attribute would not stop root under Wine).
    HANDLE hold = CreateFileW(g_szSettingsPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    Run(0, IDOK);
    CloseHandle(hold);
    EXPECT_EQ(Read(kTypes, L"0"), L"English");   // the write failed, nothing else broke
    EXPECT_EQ(std::wstring(g_szLanguagePath), JoinPath(TestBinDir(), L"Language\\German.ini"));
}

TEST_F(LanguageDialogTest, HundredsOfEntriesAndNamesPastEveryLimit)
{
    // 500 entries of growing length, the longest 300 characters, written in
    // one go as a file prepared outside the program would be.
    const int kEntries = 500;
    auto entryName = [](int position) {
        std::string digits = std::to_string(position);
        return digits + std::string(static_cast<size_t>(position * 300 / kEntries) > digits.size()
                                        ? position * 300 / kEntries - digits.size()
                                        : 0,
                                    'n');
    };
    std::string file = "[LanguageFiles]\r\n" + entryName(100).substr(0, 31) + "=\\Language\\Hundred.ini\r\n[LanguageType]\r\n";
    for (int position = 1; position <= kEntries; ++position)
        file += std::to_string(position) + "=" + entryName(position) + "\r\n";
    // The current name: entry 500's first 255, 256 and 1000 characters (the
    // dialog reads at most 255 and preselects the first entry they begin).
    for (size_t currentChars : {size_t(255), size_t(256), size_t(1000)}) {
        SCOPED_TRACE(currentChars);
        std::string current = entryName(kEntries) + std::string(1000, 'n');
        ASSERT_TRUE(WriteFileBytes(SettingsFile(), file + "0=" + current.substr(0, currentChars) + "\r\n"));
        DWORD started = GetTickCount();
        ListState state = Run(99, IDOK);
        DWORD elapsed = GetTickCount() - started;
        ASSERT_EQ(state.entries.size(), static_cast<size_t>(kEntries));
        for (int i = 0; i < kEntries; ++i) {
            std::string expected = entryName(i + 1).substr(0, 255);
            ASSERT_EQ(state.entries[i], std::wstring(expected.begin(), expected.end())) << i;
        }
        EXPECT_EQ(state.selected, kEntries - 1);
        EXPECT_LT(elapsed, 5000u) << "opening the dialog took " << elapsed << " ms";
        RecordProperty("open_ms_" + std::to_string(currentChars), static_cast<int>(elapsed));
        // OK with entry 100 (60 characters): stored cut to 31 and found under that.
        std::string stored = entryName(100).substr(0, 31);
        EXPECT_EQ(Read(kTypes, L"0"), std::wstring(stored.begin(), stored.end()));
        EXPECT_EQ(std::wstring(g_szLanguagePath), JoinPath(TestBinDir(), L"Language\\Hundred.ini"));
    }
}
