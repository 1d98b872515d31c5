#include "WindowClass.h"

#include <algorithm>
#include <unordered_map>

namespace {

BOOL CALLBACK CollectWindowProc(HWND hWnd, LPARAM lParam)
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
    EnumWindows(CollectWindowProc, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// Reading each window's class from here costs a round trip to the window
// manager per window (tens of milliseconds over a thousand windows under
// Wine); FindWindowExW compares classes on its side in one call and lists
// the class's windows in Z order. But Wine's finds nothing at all when
// hAfter is of another class. So the class's windows are listed, and hAfter
// placed among them: directly when it or the window just above it is one of
// them (what a scan down the Z order meets), else from the whole Z order
// (EnumWindows, the GW_HWNDNEXT order), which costs a round trip per window
// and is read once per scan.
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
    if (!m_bOrderRead) {
        m_order = TopLevelWindows();
        m_bOrderRead = true;
    }
    auto it = std::find(m_order.begin(), m_order.end(), hAfter);
    if (it == m_order.end())
        return nullptr;
    for (++it; it != m_order.end(); ++it) {
        if (std::find(candidates.begin(), candidates.end(), *it) != candidates.end())
            return *it;
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

// A listing usually comes in the same order as the last: the entry at the
// same place is tried first, and the last read is indexed only when the
// order changed (thousands of windows are read on every tick).
bool CClassAtoms::AnyOf(const std::vector<HWND>& windows, ULONG_PTR atom)
{
    std::vector<std::pair<HWND, ULONG_PTR>> atoms;
    atoms.reserve(windows.size());
    std::unordered_map<HWND, ULONG_PTR> lastRead;
    bool found = false;
    for (size_t i = 0; i < windows.size(); ++i) {
        HWND hWnd = windows[i];
        ULONG_PTR windowAtom = 0;
        if (i < m_atoms.size() && m_atoms[i].first == hWnd) {
            windowAtom = m_atoms[i].second;
        } else {
            if (lastRead.empty())
                lastRead.insert(m_atoms.begin(), m_atoms.end());
            auto known = lastRead.find(hWnd);
            windowAtom = known != lastRead.end() ? known->second : GetClassLongPtrW(hWnd, GCW_ATOM);
        }
        atoms.emplace_back(hWnd, windowAtom);
        found = found || windowAtom == atom;
    }
    m_atoms.swap(atoms);
    return found;
}

// The dialog class is a system atom: compared as an atom, not by name.
bool CTopLevelScan::ThreadOwnsDialog(DWORD nThread, CClassAtoms& classes)
{
    if (m_threadOwnsDialog)
        return *m_threadOwnsDialog;
    std::vector<HWND> windows;
    if (nThread != 0)
        EnumThreadWindows(nThread, CollectWindowProc, reinterpret_cast<LPARAM>(&windows));
    m_threadOwnsDialog = classes.AnyOf(windows, reinterpret_cast<ULONG_PTR>(WC_DIALOG));
    return *m_threadOwnsDialog;
}
