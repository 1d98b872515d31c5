// The trace facility: timestamped printf-style lines on the debugger output,
// and the same lines in the per-user log file, written only while the
// per-user switch "SysLog" is on.
#pragma once

#include "LogFile.h"
#include "TraceIds.h"
#include "framework/ScopedHandle.h"

#include <windows.h>

#include <cstdarg>
#include <cstddef>

class CWideStringBuffer;

// The owner record shared, by name, by every facility object of a process:
// which object owns it and that owner's slot table. The addresses mean
// something only inside the process. Pointer-sized fields: 8 bytes in the
// 32-bit program.
struct TraceOwnerRecord {
    void* pOwner;
    void* pSlotTable;
};

// The slot table the owning facility object keeps on the heap.
struct TraceSlotTable {
    unsigned char (*pSlots)[kSlotBytes];   // kSlotCount slots, not initialised
    unsigned char inUse[kSlotCount];       // one flag per slot
    DWORD nInUse;                          // slots whose flag is set
};

struct MappedViewTraits : NullInvalid<void*> {
    static void Close(void* p) { UnmapViewOfFile(p); }
};
using CMappedView = CScopedHandle<void*, MappedViewTraits>;

class CTraceLog {
public:
    // For this process; a test may name another process id to get a record
    // of its own.
    explicit CTraceLog(DWORD processId = GetCurrentProcessId(), LogFileStart fileStart = LogFileStart::AtOnce);
    ~CTraceLog();
    CTraceLog(const CTraceLog&) = delete;
    CTraceLog& operator=(const CTraceLog&) = delete;

    bool IsEnabled() const { return m_bEnabled != FALSE; }
    bool OwnsRecord() const;
    // The mapped owner record, or null when it could not be mapped.
    const TraceOwnerRecord* Record() const { return static_cast<const TraceOwnerRecord*>(m_view.Get()); }

    // One line, when this object is enabled.
    void Write(const wchar_t* format, ...);
    void WriteV(const wchar_t* format, va_list args);
    // The process writes the log file from now on, the lines before
    // included (for an object whose file starts WhenClaimed).
    void ClaimFile() { m_file.Claim(); }

    // Slot tables alive in this process: created by owners, not yet freed.
    static LONG LiveSlotTables();

private:
    TraceOwnerRecord* MutableRecord() { return static_cast<TraceOwnerRecord*>(m_view.Get()); }
    void ReleaseOwnership();
    void ReadSwitch();

    CKernelHandle m_hMapping;   // the named owner record
    CMappedView m_view;         // the record, mapped
    BOOL m_bEnabled = FALSE;    // set once, from the switch
    CLogFile m_file;            // the log file, opened at the first line
};

// The process's facility object, created during static initialisation before
// the program's other static objects, and torn down at exit. Its lines go to
// the file only once the process claims it.
extern CTraceLog g_traceLog;

// Performance-counter frequency, read on the first traced line of the process.
extern LONGLONG g_nPerfFrequency;

// Writes one line through g_traceLog. When tracing is off it tests one flag
// and formats nothing.
void Trace(const wchar_t* format, ...);

// Formats "[KVT+<pid>:<tid>] <ms> <message>\n" into line; false when it
// could not be formatted.
bool FormatTraceLine(CWideStringBuffer& line, DWORD processId, DWORD threadId, double milliseconds,
                     const wchar_t* message);
// The owner record's name for processId, cut to nameChars - 1 characters.
void FormatOwnerRecordName(wchar_t* name, size_t nameChars, DWORD processId);

// The number with every digit but the last kTraceNumberShownDigits masked;
// other characters (+, *, #, separators) kept. Always terminated, cut to
// maskedChars. A dialled number is traced only so: a run of single digits
// would spell it.
void MaskNumber(const wchar_t* number, wchar_t* masked, size_t maskedChars);
template <size_t N>
void MaskNumber(const wchar_t* number, wchar_t (&masked)[N])
{
    MaskNumber(number, masked, N);
}
