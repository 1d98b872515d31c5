// Built under the names of system DLLs the program loads on demand and
// planted beside a copy of it: loaded, it says so with a named event, kept
// until its process ends.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        CreateEventW(nullptr, TRUE, TRUE, L"CallvanePlantedDllLoaded");
    return TRUE;
}
