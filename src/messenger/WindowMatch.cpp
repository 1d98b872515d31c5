#include "WindowMatch.h"

#include "MessengerIds.h"

#include <cwchar>
#include <vector>

CWindowMatch::CWindowMatch(const wchar_t* pszText, const wchar_t* pszClass, const RECT* pClientRect)
    : m_pszText(pszText), m_pszClass(pszClass), m_pClientRect(pClientRect)
{
}

BOOL CWindowMatch::Matches(HWND hWnd) const
{
    if (m_pszText) {
        wchar_t text[kMatchTextChars] = {};
        GetWindowTextW(hWnd, text, static_cast<int>(kMatchTextChars));
        if (wcscmp(text, m_pszText) != 0)
            return FALSE;
    }
    if (m_pszClass) {
        wchar_t className[kMatchTextChars] = {};
        GetClassNameW(hWnd, className, static_cast<int>(kMatchTextChars));
        if (wcscmp(className, m_pszClass) != 0)
            return FALSE;
    }
    if (m_pClientRect) {
        RECT client = {};
        if (!GetClientRect(hWnd, &client))
            return FALSE;
        if (client.left != m_pClientRect->left || client.top != m_pClientRect->top ||
            client.right != m_pClientRect->right || client.bottom != m_pClientRect->bottom)
            return FALSE;
    }
    return TRUE;
}

HWND CWindowMatch::Find(HWND hRoot) const
{
    if (!hRoot)
        return nullptr;
    if (Matches(hRoot))
        return hRoot;
    // Below the root: each level's children in Z order, each followed by its
    // own tree. Which child of a level matches is asked once per level, so
    // that the walk itself only reads the tree's shape: reading every
    // window's text and class would cost a round trip to the window server
    // apiece (under Wine, where the walk runs before every command).
    struct Level {
        HWND hWnd;     // the window whose tree is being walked
        HWND hMatch;   // the first matching child of its parent
    };
    std::vector<Level> path;   // on the heap: trees may be deep
    HWND hWnd = GetWindow(hRoot, GW_CHILD);
    HWND hMatch = FirstMatchingChild(hRoot);
    for (;;) {
        if (!hWnd) {
            if (path.empty())
                return nullptr;
            hWnd = GetWindow(path.back().hWnd, GW_HWNDNEXT);
            hMatch = path.back().hMatch;
            path.pop_back();
            continue;
        }
        if (hWnd == hMatch)
            return hWnd;
        HWND hChild = GetWindow(hWnd, GW_CHILD);
        if (hChild) {
            path.push_back({hWnd, hMatch});
            hMatch = FirstMatchingChild(hWnd);
            hWnd = hChild;
            continue;
        }
        hWnd = GetWindow(hWnd, GW_HWNDNEXT);
    }
}

// FindWindowExW lists only children of the class (compared without regard
// to case, in the server), in Z order; Matches then decides. A class name
// too long for Matches's buffer is compared cut there, so the server could
// miss a window that Matches takes: then every child is a candidate.
HWND CWindowMatch::FirstMatchingChild(HWND hParent) const
{
    const wchar_t* pszClass = m_pszClass && wcslen(m_pszClass) < kMatchTextChars - 1 ? m_pszClass : nullptr;
    HWND hChild = nullptr;
    do {
        hChild = FindWindowExW(hParent, hChild, pszClass, nullptr);
    } while (hChild && !Matches(hChild));
    return hChild;
}
