#include "StartupShortcut.h"

#include "ModulePath.h"
#include "RegistryKey.h"
#include "framework/BoundedString.h"
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
    DWORD type = 0;
    CRegistryKey key(HKEY_CURRENT_USER, kShellFoldersKey);
    key.QueryValue(L"StartUp", &type, folder, sizeof folder);

    path[0] = L'\0';
    // A value of MAX_PATH characters or more arrives without its terminator.
    if (wcsnlen(folder, MAX_PATH) == MAX_PATH)
        return false;
    CopyTruncated(path, folder);
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

bool InstallStartupShortcut(const wchar_t* startupShortcutPath)
{
    wchar_t source[kSourcePathChars] = {};
    std::wstring directory = GetModuleDirectory(nullptr);
    if (directory.empty() || !CopyTruncated(source, kSourcePathChars, directory.c_str()))
        return false;
    if (!AppendWhole(source, kSourcePathChars, kShortcutFileName))
        return false;
    return CopyFileW(source, startupShortcutPath, TRUE) != FALSE;
}
