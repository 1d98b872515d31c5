// CWindowMatch: criteria for a window (text, class, client rectangle; null
// means any) and a depth-first search over a window's tree for the first
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
    // Visits hRoot and its descendants, each parent before its children and
    // siblings from the top of the Z order down; the first match, or null.
    // Never leaves hRoot's tree: below a top-level window lie other
    // programs' windows. Loops rather than recurses: trees may be deep.
    HWND Find(HWND hRoot) const;

    const wchar_t* m_pszText;
    const wchar_t* m_pszClass;
    const RECT* m_pClientRect;

private:
    HWND FirstMatchingChild(HWND hParent) const;
};
