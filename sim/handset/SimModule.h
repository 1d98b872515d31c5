// The stand-in control's module: its instance handle and its type library.
#pragma once

#include <windows.h>
#include <oaidl.h>

HINSTANCE GetSimModule();
// Type information for one of the library's types (the coclass or either
// dispatch interface), loaded from the module's own TYPELIB resource.
HRESULT LoadSimTypeInfo(REFGUID guid, ITypeInfo** ppInfo);
