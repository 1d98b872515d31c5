#include "SimChannel.h"

#include "SimIds.h"

std::vector<HWND> FindMessengerSims(DWORD processId)
{
    std::vector<HWND> found;
    HWND hWnd = nullptr;
    while ((hWnd = FindWindowExW(HWND_MESSAGE, hWnd, kSimControlClass, nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(hWnd, &owner);
        if (processId == 0 || owner == processId)
            found.push_back(hWnd);
    }
    return found;
}

bool SendSimCommand(HWND hControl, const std::wstring& command, LRESULT& result, DWORD timeoutMs)
{
    COPYDATASTRUCT data = {};
    data.dwData = kSimCommandMagic;
    data.cbData = static_cast<DWORD>(command.size() * sizeof(wchar_t));
    data.lpData = const_cast<wchar_t*>(command.c_str());
    DWORD_PTR reply = 0;
    if (!SendMessageTimeoutW(hControl, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, timeoutMs,
                             &reply))
        return false;
    result = static_cast<LRESULT>(reply);
    return true;
}
