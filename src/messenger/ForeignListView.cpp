#include "ForeignListView.h"

#include "MessengerIds.h"
#include "framework/ScopedHandle.h"

#include <commctrl.h>

namespace {

// Memory in another process, freed with the object.
class CForeignMemory {
public:
    CForeignMemory(HANDLE hProcess, SIZE_T nBytes)
        : m_hProcess(hProcess),
          m_pData(VirtualAllocEx(hProcess, nullptr, nBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))
    {
    }
    ~CForeignMemory()
    {
        if (m_pData)
            VirtualFreeEx(m_hProcess, m_pData, 0, MEM_RELEASE);
    }
    CForeignMemory(const CForeignMemory&) = delete;
    CForeignMemory& operator=(const CForeignMemory&) = delete;
    BYTE* Get() const { return static_cast<BYTE*>(m_pData); }

private:
    HANDLE m_hProcess;
    void* m_pData;
};

bool SendBounded(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR& result)
{
    return SendMessageTimeoutW(hWnd, msg, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG, kForeignReplyMs,
                               &result) != 0;
}

}  // namespace

bool ReadSelectedItemText(HWND hList, wchar_t* text, size_t textChars)
{
    if (!text || textChars < 2)
        return false;
    text[0] = L'\0';
    DWORD_PTR nItem = 0;
    if (!hList || !SendBounded(hList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED, nItem) ||
        static_cast<int>(nItem) < 0)
        return false;
    DWORD nProcess = 0;
    GetWindowThreadProcessId(hList, &nProcess);
    const DWORD kAccess =
        PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_LIMITED_INFORMATION;
    CKernelHandle process(OpenProcess(kAccess, FALSE, nProcess));
    if (!process)
        return false;
    // The item's layout is this build's: a process of the other width
    // would read it differently.
    BOOL selfWow64 = FALSE, otherWow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &selfWow64) || !IsWow64Process(process.Get(), &otherWow64) ||
        selfWow64 != otherWow64)
        return false;
    // The item, then room for the text, in one block of the other process.
    const SIZE_T nTextBytes = textChars * sizeof(wchar_t);
    CForeignMemory memory(process.Get(), sizeof(LVITEMW) + nTextBytes);
    if (!memory.Get())
        return false;
    LVITEMW item = {};
    item.iSubItem = 0;
    item.pszText = reinterpret_cast<wchar_t*>(memory.Get() + sizeof(LVITEMW));
    item.cchTextMax = static_cast<int>(textChars);
    DWORD_PTR nCopied = 0;
    SIZE_T nMoved = 0;
    if (!WriteProcessMemory(process.Get(), memory.Get(), &item, sizeof item, &nMoved) || nMoved != sizeof item ||
        !SendBounded(hList, LVM_GETITEMTEXTW, nItem, reinterpret_cast<LPARAM>(memory.Get()), nCopied) ||
        nCopied >= textChars - 1)
        return false;
    if (!ReadProcessMemory(process.Get(), item.pszText, text, nTextBytes, &nMoved) || nMoved != nTextBytes) {
        text[0] = L'\0';
        return false;
    }
    text[nCopied] = L'\0';
    return nCopied > 0;
}
