// CWindowMatch: criteria for a window (text, class, client rectangle; null
// means any) and a depth-first search over a window tree for the first
// window that meets them.
#pragma once

#include <windows.h>

class CWindowMatch {
public:
    // Keeps the pointers; the caller keeps what they point to alive.
    CWindowMatch(const wchar_t* pszText, const wchar_t* pszClass, const RECT* pClientRect);

    // Whether the window meets every criterion that is set. Text and class
    // are compared exactly; an empty text criterion needs an empty text.
    BOOL Matches(HWND hWnd) const;
    // Visits hStart, its descendants, then the windows below hStart among its
    // siblings with their descendants, each parent before its children; the
    // first match, or null. Loops rather than recurses: the walk may pass
    // every top-level window on the desktop.
    HWND Find(HWND hStart) const;

    const wchar_t* m_pszText;
    const wchar_t* m_pszClass;
    const RECT* m_pClientRect;
};
