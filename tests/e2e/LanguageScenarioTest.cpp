// 10. The messenger runs in English while Callvane still reads the Chinese
// edition's texts: its call is not recognised. After the user picks English
// in the language dialog, the watch sees the call at its next tick.
#include "E2eSession.h"

#include "app/AppIds.h"
#include "res/resource.h"

namespace {

// A language file as the program's files are written: UTF-16 with a
// byte-order mark.
bool WriteWindowTexts(const std::wstring& path, const wchar_t* callIn, const wchar_t* voiceMessage,
                      const wchar_t* hangUp)
{
    std::wstring text = L"\uFEFF[WINDOW_TEXT]\r\n";
    text += std::wstring(L"WND_CALLIN=\"") + callIn + L"\"\r\n";
    text += std::wstring(L"WND_VOICEMSG=\"") + voiceMessage + L"\"\r\n";
    text += std::wstring(L"BTN_HANGUP=\"") + hangUp + L"\"\r\n";
    return WriteFileBytes(path, std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)));
}

}  // namespace

class E2eLanguage : public E2eScenario {
protected:
    void PrepareInstall(const CE2eInstall& install) override
    {
        m_englishPath = JoinPath(install.Directory(), L"Language\\EnglishUi.ini");
        ASSERT_TRUE(WriteWindowTexts(m_englishPath, L"Yahoo! Messenger  ", L"Voice Message", L"End Call"));
        std::wstring settings = JoinPath(install.Directory(), L"Callvane.ini");
        // Chinese first and current: the shipped language file, which states
        // the Chinese edition's texts; English second.
        WritePrivateProfileStringW(L"LanguageType", L"0", L"Chinese", settings.c_str());
        WritePrivateProfileStringW(L"LanguageType", L"1", L"Chinese", settings.c_str());
        WritePrivateProfileStringW(L"LanguageType", L"2", L"English", settings.c_str());
        WritePrivateProfileStringW(L"LanguageFiles", L"Chinese", L"\\Language\\English.ini", settings.c_str());
        WritePrivateProfileStringW(L"LanguageFiles", L"English", L"\\Language\\EnglishUi.ini", settings.c_str());
    }
    std::wstring MessengerLanguage() const override { return m_englishPath; }

    std::wstring m_englishPath;
};

TEST_F(E2eLanguage, TheWatchFollowsTheLanguagePickedInTheDialog)
{
    size_t before = m_app->Journal().size();
    HWND hCall = m_sim->CommandWindow(L"open conversation call name=Ann");
    ASSERT_NE(hCall, nullptr);
    // "End Call" is no hang-up button in Chinese: no call, over a tick.
    PumpMessages(kOneTickBoundMs);
    EXPECT_EQ(m_app->Count(kJShowInTalk, before), 0u);

    ASSERT_TRUE(PostMessageW(m_app->Main(), WM_COMMAND, ID_TRAY_SELECT_LANGUAGE, 0));
    HWND hDialog = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (hDialog = VisibleProcessWindow(m_app->Id(), L"Select Yahoo language")) != nullptr; }));
    HWND hCombo = GetDlgItem(hDialog, IDC_LANGUAGE_COMBO);
    ASSERT_NE(hCombo, nullptr);
    EXPECT_EQ(SendMessageW(hCombo, CB_GETCURSEL, 0, 0), 0);
    ASSERT_EQ(SendMessageW(hCombo, CB_SETCURSEL, 1, 0), 1);
    PostMessageW(hDialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitFor([&] { return !VisibleProcessWindow(m_app->Id(), L"Select Yahoo language"); }));

    // The next tick reads the English texts and finds the call.
    EXPECT_TRUE(m_app->WaitForJournal(kJShowInTalk, before, kOneTickBoundMs)) << "the watch did not follow";
    EXPECT_EQ(m_app->State(L"display"), L"\"InTalk\"");
    // The choice is kept in the program's settings.
    wchar_t current[32] = {};
    GetPrivateProfileStringW(L"LanguageType", L"0", L"", current, 32,
                             JoinPath(m_install->Directory(), L"Callvane.ini").c_str());
    EXPECT_STREQ(current, L"English");

    // The end key hangs the call up.
    size_t mark = m_sim->Mark();
    EXPECT_EQ(m_app->Handset(L"key end"), L"ok delivered=1");
    EXPECT_TRUE(m_sim->WaitForState(mark, "call-ended conversation " + CMessengerSimProcess::HandleText(hCall) +
                                              " closed"))
        << testing::PrintToString(m_sim->States(mark));
}
