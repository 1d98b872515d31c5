#include "SettingsPaths.h"

#include "Settings.h"
#include "framework/ModulePath.h"
#include "framework/BoundedString.h"

wchar_t g_szSettingsPath[MAX_PATH];
wchar_t g_szLanguagePath[MAX_PATH];

namespace {

void SetLanguagePath(const wchar_t* programDirectory, const wchar_t* relativePath)
{
    wmemset(g_szLanguagePath, L'\0', MAX_PATH);
    CopyTruncated(g_szLanguagePath, programDirectory);
    size_t used = wcslen(g_szLanguagePath);
    CopyTruncated(g_szLanguagePath + used, MAX_PATH - used, relativePath);
}

}  // namespace

bool BuildSettingsPaths(const wchar_t* programDirectory)
{
    g_szSettingsPath[0] = L'\0';
    g_szLanguagePath[0] = L'\0';
    if (!CopyTruncated(g_szSettingsPath, programDirectory) || !AppendWhole(g_szSettingsPath, L"\\Callvane.ini")) {
        g_szSettingsPath[0] = L'\0';
        return false;
    }
    wchar_t name[kNameChars];
    wchar_t relativePath[kNameChars];
    ReadCurrentLanguageName(name);
    ReadLanguageFile(name, relativePath);
    SetLanguagePath(programDirectory, relativePath);
    return true;
}

bool ResolveLanguagePath(const wchar_t* languageName)
{
    wchar_t relativePath[kNameChars];
    ReadLanguageFile(languageName, relativePath);
    wchar_t directory[MAX_PATH];
    if (!GetProgramDirectory(directory))
        return false;
    SetLanguagePath(directory, relativePath);
    return true;
}
