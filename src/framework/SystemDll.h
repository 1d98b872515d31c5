// DLLs the program loads on demand (the mixer, the common controls, HID and
// SetupAPI) come from the system folder only: a per-user install lives in a
// folder its user can write, and a DLL planted there under a system DLL's
// name must never be loaded.
#pragma once

#include <windows.h>

// Makes the system folder the only folder searched for DLLs loaded without
// a path, for the process's life. Windows 7 has the call only with an
// update; without it nothing changes.
void SearchDllsInSystemFolderOnly();

// The named DLL from the system folder (inside an activation context, the
// side-by-side copy it names); null when it cannot be loaded.
HMODULE LoadSystemDll(const wchar_t* name);

// The function of module by name; null (and false) when module is null or
// lacks it.
template <typename Function>
bool Bind(HMODULE module, const char* name, Function& function)
{
    function = module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
    return function != nullptr;
}
