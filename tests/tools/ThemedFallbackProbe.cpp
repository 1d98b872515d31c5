// A program without the themed controls' manifest, so that their activation
// context cannot be made: the first scope still registers the system's
// common controls. Exit code 0 when it did.
#include "framework/ThemedControls.h"

#include <commctrl.h>

int main()
{
    if (EnableThemedControls())
        return 2;
    { CThemedControlsScope themed(true); }
    // Asked before any class: Wine's user32 loads comctl32 for a class of its own.
    WNDCLASSEXW trackbar = {};
    trackbar.cbSize = sizeof trackbar;
    return GetModuleHandleW(L"comctl32.dll") && GetClassInfoExW(nullptr, TRACKBAR_CLASSW, &trackbar) ? 0 : 1;
}
