// Names and messages of the application shell.
#pragma once

#include <windows.h>

// Window title of the main dialog and name of the single-instance mutex: the
// name by which other processes find the running instance.
const wchar_t kInstanceName[] = L"Callvane<1.0>";
// Anywhere in the command line (case-sensitive): ask the running instance to quit.
const wchar_t kExitRequest[] = L"*exit*";

const UINT WM_TRAYNOTIFY = WM_USER + 100;
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
