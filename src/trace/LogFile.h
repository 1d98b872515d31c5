// The per-user log file: each traced line appended as it is written, so
// that a crash loses nothing written before it, and kept to a cap by
// turning the file into the older one. A folder or file that cannot be
// written costs the file and nothing else: it is not tried again.
#pragma once

#include "TraceIds.h"
#include "framework/ScopedHandle.h"

#include <windows.h>

#include <string>
#include <vector>

// When the lines start going to the file: at once, or once the process has
// claimed the log (the program: once it knows it is the one instance, so
// that a start that only hands something over writes nothing).
enum class LogFileStart { AtOnce, WhenClaimed };

class CLogFile {
public:
    // folder: where the files go; null for %LOCALAPPDATA%\Callvane, looked
    // up at the first line (nothing is looked up or opened before).
    explicit CLogFile(const wchar_t* folder = nullptr, unsigned long long capBytes = kLogFileCapBytes,
                      LogFileStart start = LogFileStart::AtOnce);
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // One line as formatted for the debugger output (ending in a line feed);
    // written as UTF-8 ending in CR LF. False when it could not be written.
    bool Append(const wchar_t* line);
    bool HasFailed() const { return m_bFailed; }
    // Writes the lines kept until now (up to kLogHeldLines) and every
    // following one as it comes.
    void Claim();

private:
    bool Write(const wchar_t* line);
    bool Open();
    void MakeRoomFor(DWORD bytes);
    bool PathNamesOpenFile(const wchar_t* path) const;

    SRWLOCK m_lock = SRWLOCK_INIT;   // lines come from any thread
    CFileHandle m_file;
    wchar_t m_folder[MAX_PATH] = {};
    unsigned long long m_capBytes;
    bool m_bFailed = false;
    bool m_bClaimed;
    std::vector<std::wstring> m_held;   // lines traced before the claim
};

// The log folder, %LOCALAPPDATA%\Callvane, as the shell names the user's
// folder; false when it cannot be had or does not fit.
bool DefaultLogFolder(wchar_t (&folder)[MAX_PATH]);
