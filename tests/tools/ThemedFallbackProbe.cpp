// Built without the themed controls' manifest, so their activation context
// cannot be made: the first scope still registers the system's controls.
// (Asked before any class: Wine's user32 loads comctl32 for one of its own.)
#include "framework/ThemedControls.h"

#include <commctrl.h>

int main()
{
    bool themed = EnableThemedControls();
    { CThemedControlsScope scope(true); }
    WNDCLASSEXW trackbar = {};
    trackbar.cbSize = sizeof trackbar;
    return !themed && GetModuleHandleW(L"comctl32.dll") && GetClassInfoExW(nullptr, TRACKBAR_CLASSW, &trackbar) ? 0 : 1;
}
