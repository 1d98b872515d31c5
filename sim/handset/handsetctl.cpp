// handsetctl: sends one command to a virtual handset and prints its reply.
//
//   handsetctl [--pid <process id>] <command> [arguments...]
//   handsetctl --list
//
// Without --pid the command goes to the first handset window found. The
// exit code is 0 when the reply starts with "ok", 1 for an error reply, 2
// when no handset answered (or none is listed), 3 for a usage error.
#include "HandsetChannel.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// A handset that is just starting, or a desktop this process has only begun
// to use, may not be listed at once: look again for a while.
const int kFindAttempts = 20;
const DWORD kFindRetryMs = 100;

std::vector<HWND> FindHandsetsPatiently(DWORD processId)
{
    std::vector<HWND> handsets;
    for (int attempt = 0; attempt < kFindAttempts; ++attempt) {
        handsets = CHandsetChannel::FindHandsets(processId);
        if (!handsets.empty())
            break;
        Sleep(kFindRetryMs);
    }
    return handsets;
}

void Print(const std::wstring& text)
{
    // Console code page output, as the terminal under Wine expects it.
    int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
    std::string narrow(static_cast<size_t>(bytes), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &narrow[0], bytes, nullptr,
                            nullptr);
    fwrite(narrow.data(), 1, narrow.size(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    DWORD processId = 0;
    int first = 1;
    if (argc >= 2 && wcscmp(argv[1], L"--list") == 0) {
        std::vector<HWND> handsets = FindHandsetsPatiently(0);
        if (handsets.empty()) {
            Print(L"error: no virtual handset found");
            return 2;
        }
        for (HWND hWnd : handsets) {
            DWORD owner = 0;
            GetWindowThreadProcessId(hWnd, &owner);
            Print(L"pid " + std::to_wstring(owner) + (IsWindowVisible(hWnd) ? L" shown" : L" hidden"));
        }
        return 0;
    }
    if (argc >= 3 && wcscmp(argv[1], L"--pid") == 0) {
        wchar_t* end = nullptr;
        unsigned long value = wcstoul(argv[2], &end, 10);
        if (!end || *end != L'\0' || value == 0) {
            Print(L"error: bad process id");
            return 3;
        }
        processId = value;
        first = 3;
    }
    if (first >= argc) {
        Print(L"usage: handsetctl [--pid <process id>] <command> [arguments...] | --list");
        return 3;
    }
    std::wstring command;
    for (int i = first; i < argc; ++i)
        command += (i > first ? L" " : L"") + std::wstring(argv[i]);

    std::vector<HWND> handsets = FindHandsetsPatiently(processId);
    if (handsets.empty()) {
        Print(L"error: no virtual handset found");
        return 2;
    }
    CHandsetChannel channel;
    std::wstring reply;
    if (!channel.Send(handsets.front(), command, reply)) {
        Print(L"error: the handset did not answer");
        return 2;
    }
    Print(reply);
    return reply.compare(0, 2, L"ok") == 0 ? 0 : 1;
}
