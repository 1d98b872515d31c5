// Names and messages of the application shell.
#pragma once

#include <windows.h>

#include "DialLink.h"

// Window title of the main dialog and name of the single-instance mutex: the
// name by which other processes find the running instance.
const wchar_t kInstanceName[] = L"Callvane<1.0>";
// Anywhere in the command line (case-sensitive): ask the running instance to
// quit; not when the first argument is a link or "/dial".
const wchar_t kExitRequest[] = L"*exit*";

const UINT WM_TRAYNOTIFY = WM_USER + 100;

// A second start hands a number to dial to the running instance as
// WM_COPYDATA with this tag and exactly one DialRequest; the receiver checks
// the number again.
const ULONG_PTR kDialRequestTag = 0x43564431;   // "CVD1"
const DWORD kDialRequestVersion = 1;
struct DialRequest {
    DWORD version;
    wchar_t number[kDialNumberChars];
};
// A number waits for the messenger this long, looked for at this period.
const UINT_PTR kDialWaitTimerId = 1;
const UINT kDialWaitPeriodMs = 500;
const DWORD kDialWaitMs = 30000;
// A test may shorten that wait (1 ms up to kDialWaitMs) rather than wait it
// out.
const wchar_t kDialWaitVariable[] = L"CALLVANE_DIAL_WAIT_MS";
// A running instance that does not take the number within this is hung.
const UINT kDialHandOverTimeoutMs = 5000;

// Trace lines of the program's life, and of each code one side hands the
// other through the main dialog.
const wchar_t kTraceProgramStarted[] = L"Callvane %s started";
const wchar_t kTraceProgramExits[] = L"Callvane %s exits";
const wchar_t kTraceUnknownVersion[] = L"(version unknown)";
const wchar_t kTraceCommand[] = L"command '%s' param %ld -> %d";
const wchar_t kTraceDigitCommand[] = L"command '%s' param (a digit) -> %d";
const wchar_t kTraceStatus[] = L"status '%s' -> %d";
const wchar_t kTraceDialRefused[] = L"Dial: the link is refused: %s";
const wchar_t kTraceDialBadRequest[] = L"Dial: a malformed request from another process is refused";
const wchar_t kTraceDialNoMessenger[] = L"Dial: the messenger was not found within %lu s; the number is dropped";
const wchar_t kTraceDialNoInstance[] = L"Dial: the running instance has no window; the number is dropped";
const UINT kTrayIconId = 128;

const wchar_t kTipOnline[] = L"Online";
const wchar_t kTipNoMessenger[] = L"Can't find Yahoo! Messenger";
const wchar_t kTipNoHandset[] = L"Can't find USB Phone";

// A missed call's balloon title (its text is the time it rang), and what
// the tip adds to its state's text while missed calls wait to be seen.
const wchar_t kMissedCallTitle[] = L"Missed call";
const wchar_t kMissedCallTipOne[] = L"%ls, 1 missed call";
const wchar_t kMissedCallTipMany[] = L"%ls, %u missed calls";

const wchar_t kIconOnline[] = L"\\ok.ico";
const wchar_t kIconNoMessenger[] = L"\\nophone.ico";
const wchar_t kIconNoHandset[] = L"\\nodevice.ico";
