// Built without the themed controls' manifest, so their activation context
// cannot be made: the first scope still registers the system's controls.
// Wine's comctl32 registers every class as it loads, so a registered class
// proves nothing there; what counts is that the scope asks the system's
// InitCommonControlsEx for the classes the dialogs hold (the sliders' among
// them), as comctl32 before version 6 needs on Windows. The probe takes that
// call in place of the library's own.
#include "framework/ThemedControls.h"

#include <commctrl.h>

#include <cstring>

namespace {

INITCOMMONCONTROLSEX g_asked = {};
int g_calls = 0;

BOOL WINAPI RecordInitCommonControlsEx(const INITCOMMONCONTROLSEX* controls)
{
    ++g_calls;
    if (!controls || controls->dwSize != sizeof(INITCOMMONCONTROLSEX))
        return FALSE;
    g_asked = *controls;
    return TRUE;
}

// Writes "mov eax, target; jmp eax" (32-bit code) over the function's first
// bytes.
bool Redirect(void* function, void* target)
{
    unsigned char jump[7] = {0xB8, 0, 0, 0, 0, 0xFF, 0xE0};
    UINT_PTR address = reinterpret_cast<UINT_PTR>(target);
    memcpy(jump + 1, &address, 4);
    DWORD old = 0;
    if (!VirtualProtect(function, sizeof jump, PAGE_EXECUTE_READWRITE, &old))
        return false;
    memcpy(function, jump, sizeof jump);
    VirtualProtect(function, sizeof jump, old, &old);
    return FlushInstructionCache(GetCurrentProcess(), function, sizeof jump) != FALSE;
}

}  // namespace

int main()
{
    // Asked before any class: Wine's user32 loads comctl32 for one of its own.
    bool themed = EnableThemedControls();
    // Without a context, the scope gets this same system copy.
    HMODULE comctl32 = LoadLibraryW(L"comctl32.dll");
    void* init = comctl32 ? reinterpret_cast<void*>(GetProcAddress(comctl32, "InitCommonControlsEx")) : nullptr;
    if (themed || !init || !Redirect(init, reinterpret_cast<void*>(&RecordInitCommonControlsEx)))
        return 2;
    { CThemedControlsScope scope(true); }
    { CThemedControlsScope again(true); }   // registered once
    WNDCLASSEXW trackbar = {};
    trackbar.cbSize = sizeof trackbar;
    const DWORD needed = ICC_BAR_CLASSES | ICC_STANDARD_CLASSES;
    return g_calls == 1 && (g_asked.dwICC & needed) == needed && GetClassInfoExW(nullptr, TRACKBAR_CLASSW, &trackbar)
               ? 0
               : 1;
}
