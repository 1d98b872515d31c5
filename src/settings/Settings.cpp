#include "Settings.h"

#include "SettingsPaths.h"

#include <windows.h>

namespace {
const wchar_t kLanguageTypeSection[] = L"LanguageType";
const wchar_t kLanguageFilesSection[] = L"LanguageFiles";
const wchar_t kCurrentLanguageKey[] = L"0";
const wchar_t kDefaultLanguage[] = L"English";
const wchar_t kDefaultLanguageFile[] = L"\\Language\\English.ini";
const wchar_t kWindowTextSection[] = L"WINDOW_TEXT";
}  // namespace

void ReadCurrentLanguageName(wchar_t (&name)[kNameChars])
{
    GetPrivateProfileStringW(kLanguageTypeSection, kCurrentLanguageKey, kDefaultLanguage, name, kNameChars,
                             g_szSettingsPath);
}

void ReadLanguageFile(const wchar_t* languageName, wchar_t (&relativePath)[kNameChars])
{
    GetPrivateProfileStringW(kLanguageFilesSection, languageName, kDefaultLanguageFile, relativePath, kNameChars,
                             g_szSettingsPath);
}

void ReadWindowText(WindowText key, wchar_t (&text)[kNameChars])
{
    const wchar_t* name = L"WND_CALLIN";
    // The built-in texts are those of the messenger's Chinese edition.
    const wchar_t* fallback = L"\u96C5\u864E\u901A  ";
    switch (key) {
    case WindowText::CallIn:
        break;
    case WindowText::VoiceMessage:
        name = L"WND_VOICEMSG";
        fallback = L"\u8BED\u97F3\u7559\u8A00";
        break;
    case WindowText::HangUpButton:
        name = L"BTN_HANGUP";
        fallback = L"\u7ED3\u675F\u901A\u8BDD";
        break;
    }
    GetPrivateProfileStringW(kWindowTextSection, name, fallback, text, kNameChars, g_szLanguagePath);
}
