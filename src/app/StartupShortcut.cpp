#include "StartupShortcut.h"

#include "RegistryKey.h"
#include "ShellEffects.h"
#include "framework/BoundedString.h"
#include "framework/ModulePath.h"
#include "framework/ScopedHandle.h"

const wchar_t kShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kShortcutFileName[] = L"\\Callvane.lnk";

namespace {
// The source path's buffer: 256 characters, terminator included.
const size_t kSourcePathChars = 256;
}

bool BuildStartupShortcutPath(wchar_t (&path)[MAX_PATH])
{
    wchar_t folder[MAX_PATH] = {};
    DWORD type = REG_SZ;
    CRegistryKey key(HKEY_CURRENT_USER, kShellFoldersKey);
    if (!key.QueryValue(L"StartUp", &type, folder, sizeof folder))
        type = REG_SZ;   // missing or unreadable: the buffer is empty text

    path[0] = L'\0';
    // A number or binary data names no folder; a shortcut built from its bytes
    // would land in a directory named by chance.
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ)
        return false;
    // A value of MAX_PATH characters or more arrives without its terminator.
    if (wcsnlen(folder, MAX_PATH) == MAX_PATH)
        return false;
    if (type == REG_EXPAND_SZ) {
        // "%USERPROFILE%\..." names the folder only once expanded; a result
        // that does not fit is refused rather than cut.
        DWORD needed = ExpandEnvironmentStringsW(folder, path, MAX_PATH);
        if (needed == 0 || needed > MAX_PATH) {
            path[0] = L'\0';
            return false;
        }
    } else {
        CopyTruncated(path, folder);   // REG_MULTI_SZ: its first string
    }
    if (!AppendWhole(path, kShortcutFileName)) {
        path[0] = L'\0';
        return false;
    }
    return true;
}

bool FileCanBeRead(const wchar_t* path)
{
    CFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.IsValid();
}

bool InstallStartupShortcut(IShellEffects& shell, const wchar_t* startupShortcutPath)
{
    wchar_t source[kSourcePathChars] = {};
    std::wstring directory = GetModuleDirectory(nullptr);
    if (directory.empty() || !CopyTruncated(source, kSourcePathChars, directory.c_str()))
        return false;
    if (!AppendWhole(source, kSourcePathChars, kShortcutFileName))
        return false;
    return shell.CopyNew(source, startupShortcutPath);
}
