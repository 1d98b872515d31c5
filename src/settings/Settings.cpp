#include "Settings.h"

#include "SettingsPaths.h"

#include <windows.h>

namespace {
const wchar_t kLanguageTypeSection[] = L"LanguageType";
const wchar_t kLanguageFilesSection[] = L"LanguageFiles";
const wchar_t kCurrentLanguageKey[] = L"0";
const wchar_t kDefaultLanguage[] = L"English";
const wchar_t kDefaultLanguageFile[] = L"\\Language\\English.ini";
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
