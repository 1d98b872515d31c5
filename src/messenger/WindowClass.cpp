#include "WindowClass.h"

#include <algorithm>
#include <unordered_map>

namespace {

// The enumeration callback of the searches for a call window (the watch's
// scan, and 'Call' waiting for the window its Return produced). It only
// collects the windows, in Z order: reading each one's class here would cost
// a round trip to the window server per window, so classes are compared
// there (FindWindowExW) or by atom.
BOOL CALLBACK FindCallWindowProc(HWND hWnd, LPARAM lParam)
{
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
    return TRUE;
}

// The window after hWnd in the list, or null.
HWND NextInList(const std::vector<HWND>& windows, HWND hWnd)
{
    auto it = std::find(windows.begin(), windows.end(), hWnd);
    return it != windows.end() && ++it != windows.end() ? *it : nullptr;
}

}  // namespace

void AppendClassWindows(const wchar_t* className, std::vector<HWND>& windows)
{
    for (HWND hWnd = FindWindowExW(nullptr, nullptr, className, nullptr); hWnd;
         hWnd = FindWindowExW(nullptr, hWnd, className, nullptr))
        windows.push_back(hWnd);
}

std::vector<HWND> TopLevelWindows()
{
    std::vector<HWND> windows;
    EnumWindows(FindCallWindowProc, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

CZOrder::CZOrder() : m_windows(TopLevelWindows())
{
    m_places.reserve(m_windows.size());
    for (size_t i = 0; i < m_windows.size(); ++i)
        m_places.emplace(m_windows[i], static_cast<int>(i));
}

int CZOrder::PlaceOf(HWND hWnd) const
{
    auto found = m_places.find(hWnd);
    return found == m_places.end() ? -1 : found->second;
}

// Reading each window's class from here costs a round trip to the window
// manager per window (tens of milliseconds over a thousand windows under
// Wine); FindWindowExW compares classes on its side in one call and lists
// the class's windows in Z order. But Wine's finds nothing at all when
// hAfter is of another class. So the class's windows are listed, and hAfter
// placed among them: directly when it or the window just above it is one of
// them (what a scan down the Z order meets), else by its place in the Z
// order, read once per scan.
HWND CTopLevelScan::FindBelow(HWND hAfter, const wchar_t* className)
{
    const std::vector<HWND>& candidates = ClassWindows(className);
    if (candidates.empty() || !hAfter)
        return candidates.empty() ? nullptr : candidates.front();
    if (std::find(candidates.begin(), candidates.end(), hAfter) != candidates.end())
        return NextInList(candidates, hAfter);
    HWND hAbove = GetWindow(hAfter, GW_HWNDPREV);
    if (hAbove && std::find(candidates.begin(), candidates.end(), hAbove) != candidates.end())
        return NextInList(candidates, hAbove);
    if (!m_order)
        m_order.emplace();
    int nAfter = m_order->PlaceOf(hAfter);
    if (nAfter < 0)
        return nullptr;
    for (HWND hCandidate : candidates) {
        if (m_order->PlaceOf(hCandidate) > nAfter)
            return hCandidate;
    }
    return nullptr;
}

// Listed once per scan: a scan steps through every dialog of another thread,
// and listing the class again at each step would cost the square of their
// number.
const std::vector<HWND>& CTopLevelScan::ClassWindows(const wchar_t* className)
{
    for (const ClassList& list : m_classes) {
        if (CompareStringOrdinal(list.className.c_str(), -1, className, -1, TRUE) == CSTR_EQUAL)
            return list.windows;
    }
    m_classes.push_back(ClassList{className, {}});
    std::vector<HWND>& windows = m_classes.back().windows;
    AppendClassWindows(className, windows);
    return windows;
}

bool CClassAtoms::AnyOf(const std::vector<HWND>& windows, ULONG_PTR atom)
{
    bool found = false;
    for (HWND hWnd : windows) {
        auto known = m_atoms.find(hWnd);
        if (known == m_atoms.end())
            known = m_atoms.emplace(hWnd, GetClassLongPtrW(hWnd, GCW_ATOM)).first;
        found = found || known->second == atom;
    }
    // More kept than passed in: some have gone, and are forgotten.
    if (m_atoms.size() > windows.size()) {
        std::unordered_map<HWND, ULONG_PTR> atoms;
        for (HWND hWnd : windows)
            atoms.emplace(hWnd, m_atoms[hWnd]);
        m_atoms.swap(atoms);
    }
    return found;
}

// The dialog class is a system atom: compared as an atom, not by name.
bool CTopLevelScan::ThreadOwnsDialog(DWORD nThread, CClassAtoms& classes)
{
    if (m_threadOwnsDialog)
        return *m_threadOwnsDialog;
    std::vector<HWND> windows;
    if (nThread != 0)
        EnumThreadWindows(nThread, FindCallWindowProc, reinterpret_cast<LPARAM>(&windows));
    m_threadOwnsDialog = classes.AnyOf(windows, reinterpret_cast<ULONG_PTR>(WC_DIALOG));
    return *m_threadOwnsDialog;
}
