// CHandsetChannel: the client side of the virtual handset's command channel,
// used by the command-line tool and by tests. A request is a WM_COPYDATA
// sent to the handset window; the reply comes back as a WM_COPYDATA to a
// message-only window of the caller's thread while the request is being
// handled, so one call gives one command and its reply. The caller's thread
// keeps handling sent messages while it waits, so a handset that lives on
// the same thread (a test hosting the control) works too.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CHandsetChannel {
public:
    CHandsetChannel();
    ~CHandsetChannel();
    CHandsetChannel(const CHandsetChannel&) = delete;
    CHandsetChannel& operator=(const CHandsetChannel&) = delete;

    // Handset windows of one process (processId 0: of every process), in
    // window order.
    static std::vector<HWND> FindHandsets(DWORD processId);

    // Sends one command line to hHandset; false when it could not be
    // delivered or no reply came within timeoutMs. The reply starts with
    // "ok" or "error:".
    bool Send(HWND hHandset, const std::wstring& command, std::wstring& reply, DWORD timeoutMs = 15000);

private:
    static LRESULT CALLBACK ReplyWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND m_hReplyWnd = nullptr;
    std::wstring* m_pPending = nullptr;   // where the reply to the running request goes
    bool m_bGotReply = false;
};
