// What the trace tells support about a run, one call at each place it
// happens. Every function does nothing, and reads or formats nothing, while
// tracing is off. A dialled number never appears whole: digits are masked
// (MaskNumber), and a single digit key or 'Dial' command is traced without
// its digit, since a run of them would spell the number.
#pragma once

#include "TraceIds.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Traces the program's start with its version, and its end when it goes.
class CTraceProgramLifetime {
public:
    CTraceProgramLifetime();
    ~CTraceProgramLifetime();
    CTraceProgramLifetime(const CTraceProgramLifetime&) = delete;
    CTraceProgramLifetime& operator=(const CTraceProgramLifetime&) = delete;
};

// The handset opened, with its model and the families it belongs to; and
// removed.
void TraceHandsetFound(uint32_t model, bool pstnAdaptor, bool adaptor, bool handsFree, bool speaker);
void TraceHandsetLost(uint32_t model);
// A standard HID handset taken for want of the maker's control, by its
// device path; and removed.
void TraceHidHandset(const wchar_t* devicePath, bool found);
// A handset event as it arrived; what it became follows as commands.
void TraceHandsetKey(short key);
void TraceHandsetEvent(const wchar_t* name, bool value);
// The number a call key calls, masked.
void TraceDialledNumber(const wchar_t* number);

// A command code handed to the messenger side and its result; returns the
// result, so that it wraps the call. Written when the command returns,
// after the lines of what it caused.
int TraceCommand(uint32_t code, int32_t param, int result);
// A status code reported to the handset side; a code repeated by every
// watch pass is traced when it changes, not each time. Returns the result.
int TraceStatus(uint32_t code, int result);

// The messenger's main window as each watch pass finds it (null: none);
// traced when it is found, lost or replaced.
void TraceMessengerPresence(HWND hMain);
// The window a call chose after Return (null: none came within the wait),
// and why that one.
void TraceCallWindow(HWND hCallWnd, bool fromContactList, bool appeared);
// The mixer device chosen for the name and line type (-1: none).
void TraceMixerChosen(const wchar_t* name, DWORD componentType, int device);
// A settings or language file about to be read that cannot be opened;
// traced once until it can be read again.
void TraceUnreadableFile(const wchar_t* path);

// The number with every digit but the last kTraceNumberShownDigits masked;
// other characters (+, *, #, separators) kept. Always terminated, cut to
// maskedChars.
void MaskNumber(const wchar_t* number, wchar_t* masked, size_t maskedChars);
template <size_t N>
void MaskNumber(const wchar_t* number, wchar_t (&masked)[N])
{
    MaskNumber(number, masked, N);
}
