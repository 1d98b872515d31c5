// The stand-in's own constants: the messenger's window vocabulary and texts,
// the shapes of its windows, and the messages it posts to itself.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "messenger/MessengerWindows.h"
#include "settings/WindowTexts.h"

// The messenger's classes and window texts are the program's
// (MessengerWindows.h, WindowTexts.h); these are the browser control's in
// its notification, and the stand-in's own.
const wchar_t kEmbeddingClass[] = L"Shell Embedding";
const wchar_t kDocViewClass[] = L"Shell DocObject View";
const wchar_t kExtraClass[] = L"MessengerSimExtra";   // the "open plain" windows
const size_t kTextChars = 32;

inline const wchar_t* const kContacts[] = {L"Alice", L"Bob", L"Carol", L"Dave"};
inline const wchar_t* const kTabs[] = {L"Contacts", L"Recent"};

// The browser's buttons: two answer buttons (voice, and voice from the
// picture) and the refuse button, in its client coordinates.
const RECT kAnswerButton = {44, 66, 62, 84};
const RECT kAnswerPictureButton = {63, 66, 80, 84};
const RECT kRefuseButton = {82, 66, 100, 84};

const int kNotificationWidth = 200;
const int kNotificationHeight = 100;
const int kMaxExtraWindows = 20000;   // "open plain" at most
const int kMaxNestedDepth = 2000;     // "open nested" at most
const UINT_PTR kSubclassId = 1;   // of the system-class windows it adds behaviour to
// "contact-return": its times at most this long. Each thing it makes happen
// later has a timer of the command window, numbered from the first.
const DWORD kMaxContactDelayMs = 10000;
const UINT_PTR kFirstLaterTimer = 100;
// "number-box slow=": the longest pause before each key.
const DWORD kMaxBoxKeyDelayMs = 2000;
// Posted to the command window to end a call whose hang-up button was clicked.
const UINT kEndCallMessage = WM_APP + 1;
// Posted to the command window by "sync": once it comes out of the queue,
// every message posted before the command has been handled.
const UINT kSyncMessage = WM_APP + 2;
// Posted to the command window by "hang": once it comes out of the queue, the
// thread of every window of the stand-in stops handling messages for wParam ms.
const UINT kHangMessage = WM_APP + 3;
const DWORD kMaxHangMs = 60000;

// Names of the messages the journal and the "destroy-on" command know.
struct SimMessageName {
    UINT message;
    const char* name;
};
inline const SimMessageName kMessageNames[] = {
    {WM_KEYDOWN, "WM_KEYDOWN"},         {WM_KEYUP, "WM_KEYUP"},
    {WM_SYSKEYDOWN, "WM_SYSKEYDOWN"},   {WM_SYSKEYUP, "WM_SYSKEYUP"},
    {WM_LBUTTONDOWN, "WM_LBUTTONDOWN"}, {WM_LBUTTONUP, "WM_LBUTTONUP"},
    {WM_LBUTTONDBLCLK, "WM_LBUTTONDBLCLK"}, {WM_RBUTTONDOWN, "WM_RBUTTONDOWN"},
    {WM_RBUTTONUP, "WM_RBUTTONUP"},     {WM_MBUTTONDOWN, "WM_MBUTTONDOWN"},
    {WM_MBUTTONUP, "WM_MBUTTONUP"},     {WM_CLOSE, "WM_CLOSE"},
    {WM_COMMAND, "WM_COMMAND"},         {WM_SYSCOMMAND, "WM_SYSCOMMAND"},
    {WM_SETTEXT, "WM_SETTEXT"},         {WM_SETFOCUS, "WM_SETFOCUS"},
    {WM_SHOWWINDOW, "WM_SHOWWINDOW"},   {WM_ACTIVATE, "WM_ACTIVATE"},
    {WM_WINDOWPOSCHANGING, "WM_WINDOWPOSCHANGING"},
};

// The whole text of a window of this process.
inline std::wstring WindowText(HWND hWnd)
{
    int length = GetWindowTextLengthW(hWnd);
    if (length <= 0)
        return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(hWnd, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}
