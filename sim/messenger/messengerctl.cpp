// messengerctl: sends one command to a running stand-in messenger and prints
// its reply.
//
//   messengerctl [--pid <process id>] <command> [arguments...]
//   messengerctl --list
//
// Without --pid the command goes to the first stand-in found. The reply is a
// number: a window handle (in hex) for the commands that open a window, 1
// for done, 0 for nothing to do, -1 for a command not understood. The exit
// code is 0 for a positive reply, 1 for 0, 2 for -1 or no stand-in, 3 for a
// usage error.
#include "SimChannel.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    DWORD processId = 0;
    int first = 1;
    if (argc >= 2 && wcscmp(argv[1], L"--list") == 0) {
        for (HWND hWnd : FindMessengerSims(0)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(hWnd, &owner);
            printf("pid %lu\n", static_cast<unsigned long>(owner));
        }
        return 0;
    }
    if (argc >= 3 && wcscmp(argv[1], L"--pid") == 0) {
        wchar_t* end = nullptr;
        unsigned long value = wcstoul(argv[2], &end, 10);
        if (!end || *end != L'\0' || value == 0) {
            printf("error: bad process id\n");
            return 3;
        }
        processId = value;
        first = 3;
    }
    if (first >= argc) {
        printf("usage: messengerctl [--pid <process id>] <command> [arguments...] | --list\n");
        return 3;
    }
    std::wstring command;
    for (int i = first; i < argc; ++i) {
        if (!command.empty())
            command += L' ';
        // Arguments with blanks keep them, quoted as the stand-in expects.
        bool blank = wcschr(argv[i], L' ') != nullptr;
        const wchar_t* equals = wcschr(argv[i], L'=');
        if (blank && equals)
            command += std::wstring(argv[i], static_cast<size_t>(equals + 1 - argv[i])) + L"\"" + (equals + 1) + L"\"";
        else if (blank)
            command += L"\"" + std::wstring(argv[i]) + L"\"";
        else
            command += argv[i];
    }
    std::vector<HWND> sims = FindMessengerSims(processId);
    LRESULT result = 0;
    if (sims.empty() || !SendSimCommand(sims.front(), command, result)) {
        printf("error: no stand-in messenger answered\n");
        return 2;
    }
    if (result > 1)
        printf("0x%08lX\n", static_cast<unsigned long>(result));
    else
        printf("%ld\n", static_cast<long>(result));
    return result > 0 ? 0 : result == 0 ? 1 : 2;
}
