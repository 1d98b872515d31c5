// Timers, window vocabulary, key and click constants of the messenger side.
// The classes, texts, points and lParams are the messenger's own: it reacts
// to nothing else.
#pragma once

#include <windows.h>

#include <cstddef>

#include "MessengerWindows.h"

// Watch timer of CYahooDialog: every tick finds the messenger and watches
// for calls. After 'Call' and 'Acpt' one longer period gives the messenger
// time to open its call window before the next pass looks at it.
const UINT_PTR kWatchTimerId = 4097;
const UINT kWatchPeriodMs = 2000;
const UINT kLengthenedWatchPeriodMs = 5000;

// Window classes: the messenger's own (MessengerWindows.h), and the system's.
const wchar_t kDialogClass[] = L"#32770";
const wchar_t kButtonClass[] = L"Button";
const wchar_t kListViewClass[] = L"SysListView32";
// The number box is any class containing this inside a class containing the
// other (a plain or a rich edit in the combo box).
const wchar_t kEditClassPart[] = L"Edit";
const wchar_t kComboBoxClassPart[] = L"ComboBox";

// Buffers for names read from windows, in characters with the terminator.
const size_t kClassChars = 32;       // class names compared by the watch and executor
const size_t kTitleChars = 32;       // call window titles and button texts
const size_t kMatchTextChars = 128;  // texts and classes compared by CWindowMatch
const size_t kMaxClassNameChars = 257;   // the longest class name the system allows

// Depth of the notification's browser window below the notification: its
// first child's first child's first child.
const int kBrowserDepth = 3;

// lParams of the posted key messages: repeat count 1 and the scan code the
// messenger expects; key-ups also carry the previous-state and transition bits.
const LPARAM kReturnDownLParam = 0x011C0001;
const LPARAM kReturnUpLParam = static_cast<LPARAM>(0xC11C0001u);
const LPARAM kKeyDownLParam = 0x00020001;
const LPARAM kKeyUpLParam = static_cast<LPARAM>(0xC0020001u);
const LPARAM kEscapeLParam = 0x00010001;   // key-down and key-up alike

// Client points of the posted clicks.
const POINT kAcceptPoint1 = {54, 75};
const POINT kAcceptPoint2 = {70, 75};
const POINT kRefusePoint = {90, 75};
const POINT kCallVoicePoint = {6, 8};

// 'Call' waits for the messenger's call window in steps, then lets the
// conversation window lay out its controls before clicking into it. A
// window open before and only brought forward is taken once it has been
// the latest so for a few more tries, within the same limit, unless a new
// one comes meanwhile.
const int kCallWaitTries = 20;
const DWORD kCallWaitStepMs = 100;
// The wait ends on this deadline however long each look takes (under load
// one look at a crowded desk takes as long as a step).
const DWORD kCallWaitMs = kCallWaitTries * kCallWaitStepMs;
const DWORD kCallVoiceDelayMs = 200;
const int kCallForwardGraceTries = 3;

// The messenger's thread may stop answering (busy, or stuck). A call that
// would wait for it (a sent message, showing or focusing one of its windows)
// waits at most this long, so that the handset and the tray stay alive; what
// was asked still happens once the thread answers again.
const UINT kForeignReplyMs = 500;
const DWORD kForeignPollMs = 5;   // between looks at a change asked of it

// Several keys typed into the number box are called only once the box holds
// them all, read back from its thread: a messenger that handles Return at
// key-down, behind in its queue, would call only the keys handled so far.
// The box's text is read into a buffer this long (a longer text never
// matches), at most every poll, until the wait ends.
const DWORD kTypedNumberWaitMs = 2000;
const DWORD kTypedNumberPollMs = 10;
const size_t kNumberBoxChars = 256;
// The longest number TypeNumber types.
const size_t kMaxTypedNumberChars = 64;

// The selected contact's text, and a conversation's caption, compared by
// 'Call' in buffers this long (a longer text is not read).
const size_t kContactChars = 128;
const size_t kCaptionChars = 256;

// Trace lines of the watch (the messenger found and lost) and of the window
// a call chose after the Return, and why that one.
const wchar_t kTraceMessengerFound[] = L"messenger found: main window 0x%lx, process %lu";
const wchar_t kTraceMessengerLost[] = L"messenger lost";
const wchar_t kTraceCallWindowFromList[] =
    L"call window 0x%lx (%s): a conversation window %s the Return in the contact list";
const wchar_t kTraceCallWindowFromBox[] =
    L"call window 0x%lx (%s): a call dialog %s the Return in the number box";
const wchar_t kTraceNoCallWindow[] = L"call window: none came within the wait after Return in the %s";

// Trace lines of 'Call' when it clicks nothing after the Return in the
// contact list although conversations came forward.
const wchar_t kTraceCallNotTheContact[] =
    L"call window: %lu conversation(s) came forward after the Return, none named after the selected contact: "
    L"nothing clicked";
const wchar_t kTraceCallContactsUntold[] =
    L"call window: %lu conversations came forward after the Return, and the selected contact's name could not be "
    L"read to tell them apart: nothing clicked";

// Trace lines of the number box's check; numbers are masked.
const wchar_t kTraceNumberBoxHolds[] =
    L"number box: holds \"%s\", not the \"%s\" typed, within the wait: nothing called";
const wchar_t kTraceNumberBoxUnread[] = L"number box: its text could not be read: nothing called";
const wchar_t kTraceNumberNotTyped[] = L"number box: %s: nothing typed";

// 'Show' with this parameter brings the call window forward instead of the
// main window.
const int kShowCallWindow = 1;

// Rings followed at once, for the missed calls; more are not judged.
const size_t kMaxRingsFollowed = 16;

// Virtual-key codes that 'Dial' can type: anything else is not a key.
const int kFirstVirtualKey = 1;
const int kLastVirtualKey = 254;
