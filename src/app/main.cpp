#include "CallvaneApp.h"
#include "framework/SystemDll.h"

// Before every static object: priority 101 is the first a program may use,
// and the linker orders all such constructors, of every file, by priority
// (the trace facility's object comes at 1000, the others after). Only the
// C runtime's own start-up runs earlier. What is imported is resolved at
// load time, before this, from DLLs the system takes only from its folder.
__attribute__((constructor(101))) static void RestrictDllSearchBeforeStatics()
{
    SearchDllsInSystemFolderOnly();
}

CCallvaneApp theApp;

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int)
{
    return RunApplication(hInstance);
}
