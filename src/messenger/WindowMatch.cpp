#include "WindowMatch.h"

#include "MessengerIds.h"

#include <cwchar>

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
    // depth counts the levels below hRoot; the walk ends on climbing back to it.
    HWND hWnd = hRoot;
    size_t depth = 0;
    for (;;) {
        if (Matches(hWnd))
            return hWnd;
        HWND hChild = GetWindow(hWnd, GW_CHILD);
        if (hChild) {
            hWnd = hChild;
            ++depth;
            continue;
        }
        for (;;) {
            if (depth == 0)
                return nullptr;
            HWND hNext = GetWindow(hWnd, GW_HWNDNEXT);
            if (hNext) {
                hWnd = hNext;
                break;
            }
            // GA_PARENT, not GetParent: the latter gives a popup's owner.
            hWnd = GetAncestor(hWnd, GA_PARENT);
            --depth;
            if (!hWnd)
                return nullptr;   // the tree went away under the walk
        }
    }
}
