// Timers and window vocabulary of the messenger side.
#pragma once

#include <windows.h>

const UINT_PTR kWatchTimerId = 4097;
const UINT kWatchPeriodMs = 2000;

// The messenger's buddy-list window.
const wchar_t kMainWindowClass[] = L"YahooBuddyMain";
