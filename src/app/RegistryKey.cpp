#include "RegistryKey.h"

#include <cstring>

CRegistryKey::CRegistryKey(HKEY hRoot, const wchar_t* subKey)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(hRoot, subKey, 0, KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, &hKey) == ERROR_SUCCESS)
        m_key.Reset(hKey);
}

BOOL CRegistryKey::QueryValue(const wchar_t* name, DWORD* type, void* buffer, DWORD bufferBytes) const
{
    if (buffer == nullptr)
        return FALSE;
    if (!m_key) {
        memset(buffer, 0, bufferBytes);
        return FALSE;
    }
    DWORD size = bufferBytes;
    if (RegQueryValueExW(m_key.Get(), name, nullptr, type, static_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) {
        memset(buffer, 0, bufferBytes);
        return FALSE;
    }
    return TRUE;
}
