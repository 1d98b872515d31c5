#include "SystemDll.h"

#include "BoundedString.h"

void SearchDllsInSystemFolderOnly()
{
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    SetDirectories setDirectories = nullptr;
    if (Bind(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories", setDirectories))
        setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadSystemDll(const wchar_t* name)
{
    HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Refused as a flag it does not know by a Windows 7 without the update:
    // the DLL's full path in the system folder instead.
    if (module || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !AppendWhole(path, L"\\") || !AppendWhole(path, name))
        return nullptr;
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
