// Names, formats and sizes of the trace facility.
#pragma once

#include <windows.h>

#include <cstddef>

// The per-user switch, read once when the facility is created: a value
// whose 4 bytes are not all zero turns tracing on.
const wchar_t kTraceSwitchKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const wchar_t kTraceSwitchValue[] = L"SysLog";

// Name of the shared owner record, from kOwnerRecordTag and the process id
// in lower-case hexadecimal: the id ties the record to one process.
const wchar_t kOwnerRecordNameFormat[] = L"Object_System_%s_%x";
const wchar_t kOwnerRecordTag[] = L"stackDeepth";
const size_t kOwnerRecordNameChars = MAX_PATH;

// The slot table the owner keeps: 256 slots of 8 bytes with an in-use flag each.
// Nothing in this program fills it: it is the owner's half of the owner
// record, which every module of the process that carries this facility finds
// by name, so the owner keeps a table of this shape there (empty, and emptied
// again at teardown) for whichever of them comes to use it.
const size_t kSlotCount = 256;
const size_t kSlotBytes = 8;

// One traced line: tag, process id, thread id, milliseconds, message.
const wchar_t kTraceLineFormat[] = L"[%s+%.4x:%.4x] %8.3f %s\n";
const wchar_t kTraceTag[] = L"KVT";

// The line traced when the facility is created.
const wchar_t kStartupLineFormat[] = L"Last build at %s %s";
const wchar_t kBuildDate[] = L"Oct 26 2006";
const wchar_t kBuildTime[] = L"09:17:57";

// A message whose estimated length exceeds this is dropped unformatted: the
// debugger output carries no more than 4 KB of a line anyway, and an absurd
// width must not cost gigabytes.
const size_t kMaxTraceMessageChars = 1 << 20;

// The log file: while the switch is on, every line also goes, as UTF-8,
// to this file in this folder of the user's local application data. When a
// line would take it past the cap, it becomes the older file (replacing the
// one before) and a new one starts: at most about twice the cap on disk.
const wchar_t kLogFolderName[] = L"Callvane";
const wchar_t kLogFileName[] = L"Callvane.log";
const wchar_t kOldLogFileName[] = L"Callvane.old.log";
const unsigned long long kLogFileCapBytes = 1024 * 1024;
// Lines kept in memory until the process claims the file; later ones before
// the claim reach only the debugger output.
const size_t kLogHeldLines = 32;
// Writers of one folder turn the file one at a time: each sees whether the
// file it holds is still the one at the path before it turns it. The name is
// the one earlier versions turn under.
const wchar_t kLogTurnMutexName[] = L"Local\\CallvaneTraceFileTurn";
const DWORD kLogTurnWaitMs = 2000;
// A longer line is cut in the file: the debugger output carries no more.
const size_t kLogFileLineChars = 4096;

// A dialled number keeps this many of its last digits in a traced line; the
// digits before them are masked.
const size_t kTraceNumberShownDigits = 2;
const wchar_t kTraceMaskChar = L'*';
