// The AutoRun shortcut: "Callvane.lnk" in the user's Start-up folder, a copy
// of the one installed beside the executable.
#pragma once

#include <windows.h>

class IShellEffects;

extern const wchar_t kShellFoldersKey[];
extern const wchar_t kShortcutFileName[];   // "\Callvane.lnk"

// The Start-up folder (from the shell-folders registry value) followed by
// "\Callvane.lnk". A missing value leaves the folder part empty; a
// REG_EXPAND_SZ value is expanded, a REG_MULTI_SZ one gives its first string.
// False, with an empty path, when the value is of another type, is not
// terminated within MAX_PATH characters, or the whole would not fit.
bool BuildStartupShortcutPath(wchar_t (&path)[MAX_PATH]);
// Whether the file at path can be opened for reading.
bool FileCanBeRead(const wchar_t* path);
// Asks the shell to copy the program directory's Callvane.lnk to the
// Start-up folder, never over an existing file. False when nothing was copied.
bool InstallStartupShortcut(IShellEffects& shell, const wchar_t* startupShortcutPath);
