// A crowd of top-level windows in a process of its own, as other programs on
// a user's desk have them: window_crowd.exe <count> plain|dialog <event>.
// Plain windows of a class of its own, or dialogs (#32770); once all are
// made, it sets the named event (a caller polling the windows would slow
// their making) and waits to be ended.
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    const long count = argc > 1 ? atol(argv[1]) : 0;
    const bool dialogs = argc > 2 && strcmp(argv[2], "dialog") == 0;
    HANDLE ready = argc > 3 ? OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]) : nullptr;
    if (count < 1 || !ready)
        return 2;
    WNDCLASSW plain = {};
    plain.lpfnWndProc = DefWindowProcW;
    plain.hInstance = GetModuleHandleW(nullptr);
    plain.lpszClassName = L"CallvaneCrowd";
    if (!RegisterClassW(&plain))
        return 1;
    const wchar_t* className = dialogs ? L"#32770" : plain.lpszClassName;
    for (long i = 0; i < count; ++i) {
        if (!CreateWindowExW(0, className, L"crowd", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, plain.hInstance,
                             nullptr))
            return 1;
    }
    SetEvent(ready);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return 0;
}
