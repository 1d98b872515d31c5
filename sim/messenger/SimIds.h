// What the stand-in messenger and its clients (the command-line tool, tests)
// share: the command channel's window and message, and the results.
#pragma once

#include <windows.h>

#include <cstddef>

// A message-only window of this class, titled with the stand-in's process id,
// takes commands as WM_COPYDATA. Being message-only, it is not among the
// top-level windows that a watcher scans.
const wchar_t kSimControlClass[] = L"MessengerSimControl";
// COPYDATASTRUCT::dwData of a command; its data is UTF-16 text.
const ULONG_PTR kSimCommandMagic = 0x4D53494D;
// Longest command accepted, in characters.
const size_t kMaxCommandChars = 512;
// The reply to a command that is not understood; 0 means "understood, but
// there was nothing to do"; anything else is success (a window handle for the
// commands that open a window, else 1).
const LRESULT kSimBadCommand = -1;
