#include "ModulePath.h"

std::wstring GetModuleFilePath(HMODULE hModule)
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(hModule, path, MAX_PATH);
    // A result of the full buffer size means the path was cut.
    if (length == 0 || length >= MAX_PATH)
        return std::wstring();
    return std::wstring(path, length);
}

std::wstring GetModuleDirectory(HMODULE hModule)
{
    std::wstring path = GetModuleFilePath(hModule);
    size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos)
        return std::wstring();
    path.resize(separator);
    return path;
}

bool GetProgramDirectory(wchar_t (&directory)[MAX_PATH])
{
    directory[0] = L'\0';
    DWORD length = GetModuleFileNameW(nullptr, directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        directory[0] = L'\0';
        return false;
    }
    wchar_t* separator = wcsrchr(directory, L'\\');
    if (separator)
        *separator = L'\0';
    return true;
}
