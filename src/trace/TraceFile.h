// The per-user trace file: each traced line appended as it is written, so
// that a crash loses nothing written before it, and kept to a cap by
// turning the file into the older one. A folder or file that cannot be
// written costs the file and nothing else: it is not tried again.
#pragma once

#include "TraceIds.h"
#include "framework/ScopedHandle.h"

#include <windows.h>

class CTraceFile {
public:
    // directory: where the files go; null for %LOCALAPPDATA%\Callvane, looked
    // up at the first line (nothing is looked up or opened before).
    explicit CTraceFile(const wchar_t* directory = nullptr, unsigned long long capBytes = kTraceFileCapBytes);
    CTraceFile(const CTraceFile&) = delete;
    CTraceFile& operator=(const CTraceFile&) = delete;

    // One line as formatted for the debugger output (ending in a line feed);
    // written as UTF-8 ending in CR LF. False when it could not be written.
    bool Append(const wchar_t* line);
    bool HasFailed() const { return m_bFailed; }

private:
    bool Open();
    void MakeRoomFor(DWORD bytes);

    SRWLOCK m_lock = SRWLOCK_INIT;   // lines come from any thread
    CFileHandle m_file;
    wchar_t m_directory[MAX_PATH] = {};
    unsigned long long m_capBytes;
    bool m_bFailed = false;
};

// %LOCALAPPDATA%\Callvane, as the shell names the user's folder; false when
// it cannot be had or does not fit.
bool DefaultTraceFileDirectory(wchar_t (&directory)[MAX_PATH]);
