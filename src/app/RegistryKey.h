// CRegistryKey: an open registry key, closed when the object goes.
#pragma once

#include <windows.h>

#include "framework/ScopedHandle.h"

class CRegistryKey {
public:
    CRegistryKey(HKEY hRoot, const wchar_t* subKey);
    bool IsOpen() const { return m_key.IsValid(); }
    // Reads one value into buffer (size in bytes). On failure the buffer is
    // zero-filled, so a failed read never leaves partial text behind.
    BOOL QueryValue(const wchar_t* name, DWORD* type, void* buffer, DWORD bufferBytes) const;

private:
    CRegKeyHandle m_key;
};
