// Numbers of the handset side: this side's timers and messages, call
// states, line channels, key codes, dial-buffer markers and trace lines. The
// maker's control itself is in MakerControl.h.
#pragma once

#include <windows.h>

#include <cstdint>

#include "MakerControl.h"

// Timers and messages of the device dialog.
const UINT_PTR kDetectTimerId = 4098;
const UINT kDetectPeriodMs = 2000;         // between attempts to open the handset
const DWORD kDetectInStepMs = 5;           // an attempt this close before a watch tick came in its wake-up
const UINT_PTR kRingWindowTimerId = 4100;
const UINT kRingWindowMs = 6000;           // the PSTN ring window after the last ring
// Posted to the device dialog: by the HID handset's reader (a report; the
// device gone), and when a HID interface came or went, so that the sender of
// WM_DEVICECHANGE is not kept waiting for the listing.
const UINT kMsgHidInput = WM_APP + 0x48;    // wParam generation, lParam the report
const UINT kMsgHidGone = WM_APP + 0x49;     // wParam generation
const UINT kMsgHidChanged = WM_APP + 0x4A;
// The handset chosen in the options: the maker's, by this id and name.
const wchar_t kMakerHandsetId[] = L"maker";
const wchar_t kMakerHandsetName[] = L"USB Phone";
// How long a PSTN call's end holds the program before the usual hang-up
// handling: the adaptor needs it to release the telephone line.
const DWORD kPstnHangUpWaitMs = 1500;

// Call states of the phone side.
enum CallState : int32_t {
    kCallNone = 0,
    kCallReady = 1,
    kCallTalk = 2,
    kCallIn = 3,
};

// Line channels of an adaptor.
const int32_t kLineChannelPstn = 0;
const int32_t kLineChannelUsb = 1;

// A standard HID handset's Redial, which the maker's control has no key for.
const short kKeyRedial = 0x7F01;

// The virtual-key code the messenger side types for '*' ('Dial' parameter):
// the numeric keypad's multiply key.
const int32_t kDialStarVirtualKey = VK_MULTIPLY;
// A dialled number's leading '+': the numeric keypad's plus, which types
// '+' on every layout.
const int32_t kDialPlusVirtualKey = VK_ADD;

// Trace lines of the handset side: the handset found and lost, each event
// as it arrived (a digit key without its digit), the number a call key
// calls (masked), and a standard HID handset's device and reports.
const wchar_t kTraceHandsetFound[] = L"handset found: model 0x%04lx%s%s%s%s";
const wchar_t kTraceHandsetLost[] = L"handset lost: model 0x%04lx";
const wchar_t kTraceHandsetKey[] = L"handset event: key %d";
const wchar_t kTraceHandsetDigitKey[] = L"handset event: key (a digit)";
const wchar_t kTraceEventOnHook[] = L"handset event: on hook %s";     // "on" or "off"
const wchar_t kTraceEventLineRing[] = L"handset event: line ring %s";
const wchar_t kTraceEventInCradle[] = L"handset event: in cradle %s";
const wchar_t kTraceDialledNumber[] = L"number called: %s";
const wchar_t kTraceHidHandsetFound[] = L"HID handset found: %s";
const wchar_t kTraceHidHandsetRemoved[] = L"HID handset removed: %s";
const wchar_t kTraceHidReportRefused[] = L"HID report refused: %s (%u bytes)";
const wchar_t kTraceHidWriteTimedOut[] = L"HID handset: output report %u not taken in %u ms, write timed out";
const wchar_t kTraceHidNoMicrophoneMute[] = L"HID handset: no microphone mute to switch";

// Why a dialled number was not typed.
const wchar_t kTraceDialBusy[] = L"Dial: a call rings or runs; the number is not dialled";
const wchar_t kTraceDialLineBusy[] = L"Dial: the telephone line is in use; the number is not dialled";
const wchar_t kTraceDialUntypable[] = L"Dial: the number holds a character no key types; not dialled";
const wchar_t kTraceDialNotTyped[] = L"Dial: the messenger did not take the number; nothing is called";
const wchar_t kTraceRedialNothing[] = L"Redial: no number prepared or dialled yet; nothing is called";

// Dial-buffer markers: a key on the PSTN line, and a PSTN call in progress.
const wchar_t kDialPstnDial[] = L"PSTNDIAL";
const wchar_t kDialPstnTalk[] = L"PSTNTALK";

// Texts shown on the handset on entering CallIn and Talk.
const wchar_t kTextCallIn[] = L"CallIn";
const wchar_t kTextInTalk[] = L"InTalk";
