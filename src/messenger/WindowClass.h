// Class-name tests on windows of any process, read into a fixed buffer: a
// longer class name is cut and then compared as cut.
#pragma once

#include <windows.h>

#include <cwchar>

#include "MessengerIds.h"

inline bool ClassIs(HWND hWnd, const wchar_t* className)
{
    wchar_t name[kClassChars] = {};
    GetClassNameW(hWnd, name, static_cast<int>(kClassChars));
    return wcscmp(name, className) == 0;
}

inline bool ClassContains(HWND hWnd, const wchar_t* part)
{
    wchar_t name[kClassChars] = {};
    GetClassNameW(hWnd, name, static_cast<int>(kClassChars));
    return wcsstr(name, part) != nullptr;
}

// The first top-level window of the class below hAfter in Z order (from the
// top when hAfter is null), compared as the system compares class names:
// whole and ignoring case. This is what FindWindowExW on the desktop is for,
// but Wine's finds nothing at all when hAfter is of another class.
inline HWND FindTopLevelBelow(HWND hAfter, const wchar_t* className)
{
    HWND hWnd = hAfter ? GetWindow(hAfter, GW_HWNDNEXT) : GetWindow(GetDesktopWindow(), GW_CHILD);
    for (; hWnd; hWnd = GetWindow(hWnd, GW_HWNDNEXT)) {
        wchar_t name[kMaxClassNameChars] = {};
        GetClassNameW(hWnd, name, static_cast<int>(kMaxClassNameChars));
        if (CompareStringOrdinal(name, -1, className, -1, TRUE) == CSTR_EQUAL)
            return hWnd;
    }
    return nullptr;
}
