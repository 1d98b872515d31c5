// Class-name tests on windows of any process, read into a fixed buffer: a
// longer class name is cut and then compared as cut.
#pragma once

#include <windows.h>

#include <cwchar>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

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

// The top-level windows of a class, top first, compared by the window
// manager (one call per window found, instead of a class read per window).
void AppendClassWindows(const wchar_t* className, std::vector<HWND>& windows);
// Every top-level window, top first (the GW_HWNDNEXT order).
std::vector<HWND> TopLevelWindows();

// The top-level windows in Z order, top first, as read at one moment: the
// one snapshot that the watch's scan and 'Call' place windows by.
class CZOrder {
public:
    CZOrder();
    const std::vector<HWND>& Windows() const { return m_windows; }
    // Places count from the top; -1 for a window that was not there.
    int PlaceOf(HWND hWnd) const;

private:
    std::vector<HWND> m_windows;
    std::unordered_map<HWND, int> m_places;
};

// The class atoms of windows as of the last read: a window keeps its class
// for life, so only windows not seen at the last read cost a round trip (for
// another process's window). Windows no longer passed in are forgotten.
class CClassAtoms {
public:
    // Whether one of the windows is of the class with this atom.
    bool AnyOf(const std::vector<HWND>& windows, ULONG_PTR atom);

private:
    std::unordered_map<HWND, ULONG_PTR> m_atoms;
};

// Finds top-level windows of a class below a given one in Z order, for one
// scan down the Z order. Class names are compared as the system compares
// them: whole and ignoring case.
class CTopLevelScan {
public:
    // The first top-level window of the class below hAfter (from the top
    // when hAfter is null).
    HWND FindBelow(HWND hAfter, const wchar_t* className);
    // Whether the thread owns a top-level "#32770" window; read once per scan.
    bool ThreadOwnsDialog(DWORD nThread, CClassAtoms& classes);

private:
    struct ClassList {
        std::wstring className;
        std::vector<HWND> windows;   // top first
    };
    const std::vector<HWND>& ClassWindows(const wchar_t* className);

    std::list<ClassList> m_classes;   // a list: references to its entries stay valid
    std::optional<CZOrder> m_order;   // read at most once per scan
    std::optional<bool> m_threadOwnsDialog;
};
