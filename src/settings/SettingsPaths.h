// The two files the program keeps its settings in, as full paths. Both live
// beside the executable; only these paths are held in memory.
#pragma once

#include <windows.h>

extern wchar_t g_szSettingsPath[MAX_PATH];   // program directory + "\Callvane.ini"
extern wchar_t g_szLanguagePath[MAX_PATH];   // program directory + the language's file

// Builds both paths for the program directory given. The settings path must
// fit whole (false otherwise, both left empty), since settings are written
// there; the language file is only read, and a path that does not fit is cut.
bool BuildSettingsPaths(const wchar_t* programDirectory);
// Points g_szLanguagePath at the language file of languageName. False when
// the program directory cannot be read (the path is then left unchanged).
bool ResolveLanguagePath(const wchar_t* languageName);
