#include "TraceLog.h"

#include "WideStringBuffer.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>

// Constructed before every static object of default priority, so that their
// constructors may already trace.
CTraceLog g_traceLog __attribute__((init_priority(1000)))(GetCurrentProcessId(), LogFileStart::WhenClaimed);

LONGLONG g_nPerfFrequency = 0;

namespace {

bool g_bPerfFrequencyRead = false;   // the one-time flag beside g_nPerfFrequency
LONG g_nLiveSlotTables = 0;

// An empty table, or null when its memory cannot be had.
TraceSlotTable* CreateSlotTable()
{
    TraceSlotTable* table = new (std::nothrow) TraceSlotTable;
    if (!table)
        return nullptr;
    table->pSlots = new (std::nothrow) unsigned char[kSlotCount][kSlotBytes];
    if (!table->pSlots) {
        delete table;
        return nullptr;
    }
    memset(table->inUse, 0, sizeof table->inUse);
    table->nInUse = 0;
    InterlockedIncrement(&g_nLiveSlotTables);
    return table;
}

// Empties the table slot by slot, then frees it.
void DestroySlotTable(TraceSlotTable* table)
{
    for (size_t i = 0; i < kSlotCount; ++i) {
        if (!table->inUse[i])
            continue;
        table->inUse[i] = 0;
        memset(table->pSlots[i], 0, kSlotBytes);
        --table->nInUse;
    }
    delete[] table->pSlots;
    delete table;
    InterlockedDecrement(&g_nLiveSlotTables);
}

}  // namespace

void FormatOwnerRecordName(wchar_t* name, size_t nameChars, DWORD processId)
{
    if (nameChars == 0)
        return;
    // msvcrt's formatter: %s is the wide tag.
    _snwprintf(name, nameChars - 1, kOwnerRecordNameFormat, kOwnerRecordTag, static_cast<unsigned>(processId));
    name[nameChars - 1] = L'\0';
}

CTraceLog::CTraceLog(DWORD processId, LogFileStart fileStart) : m_file(nullptr, kLogFileCapBytes, fileStart)
{
    // Nothing here throws (allocations are nothrow), so the destructor's
    // teardown covers every object that was created.
    wchar_t name[kOwnerRecordNameChars] = {};
    FormatOwnerRecordName(name, kOwnerRecordNameChars, processId);
    m_hMapping.Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(TraceOwnerRecord),
                                        name));
    if (m_hMapping)
        m_view.Reset(MapViewOfFile(m_hMapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    TraceOwnerRecord* record = MutableRecord();
    if (record && record->pOwner == nullptr) {
        record->pOwner = this;
        record->pSlotTable = CreateSlotTable();
    }
    ReadSwitch();
    Write(kStartupLineFormat, kBuildDate, kBuildTime);
}

CTraceLog::~CTraceLog()
{
    ReleaseOwnership();
    m_bEnabled = FALSE;   // a line traced after teardown is dropped
    m_view.Reset();
    m_hMapping.Reset();
}

bool CTraceLog::OwnsRecord() const
{
    const TraceOwnerRecord* record = Record();
    return record && record->pOwner == this;
}

LONG CTraceLog::LiveSlotTables()
{
    return InterlockedCompareExchange(&g_nLiveSlotTables, 0, 0);
}

void CTraceLog::ReleaseOwnership()
{
    if (!OwnsRecord())
        return;
    TraceOwnerRecord* record = MutableRecord();
    record->pOwner = nullptr;
    if (record->pSlotTable) {
        DestroySlotTable(static_cast<TraceSlotTable*>(record->pSlotTable));
        record->pSlotTable = nullptr;
    }
}

void CTraceLog::ReadSwitch()
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kTraceSwitchKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return;
    CRegKeyHandle key(hKey);
    // Any type; a value longer than 4 bytes does not fit and leaves tracing off.
    DWORD value = 0;
    DWORD bytes = sizeof value;
    if (RegQueryValueExW(key.Get(), kTraceSwitchValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &bytes) ==
        ERROR_SUCCESS)
        m_bEnabled = value != 0;
}

void CTraceLog::Write(const wchar_t* format, ...)
{
    if (!m_bEnabled)
        return;
    va_list args;
    va_start(args, format);
    WriteV(format, args);
    va_end(args);
}

void CTraceLog::WriteV(const wchar_t* format, va_list args)
{
    if (!m_bEnabled)
        return;
    CWideStringBuffer message;
    if (!message.FormatV(format, args, kMaxTraceMessageChars))
        return;
    // Two threads making the first call both read the same value: harmless.
    if (!g_bPerfFrequencyRead) {
        LARGE_INTEGER frequency = {};
        QueryPerformanceFrequency(&frequency);
        g_nPerfFrequency = frequency.QuadPart;
        g_bPerfFrequencyRead = true;
    }
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    double milliseconds = g_nPerfFrequency ? counter.QuadPart * 1000.0 / g_nPerfFrequency : 0.0;
    CWideStringBuffer line;
    if (!FormatTraceLine(line, GetCurrentProcessId(), GetCurrentThreadId(), milliseconds, message.c_str()))
        return;
    OutputDebugStringW(line.c_str());
    m_file.Append(line.c_str());
}

bool FormatTraceLine(CWideStringBuffer& line, DWORD processId, DWORD threadId, double milliseconds,
                     const wchar_t* message)
{
    return line.Format(kTraceLineFormat, kTraceTag, static_cast<unsigned>(processId), static_cast<unsigned>(threadId),
                       milliseconds, message ? message : L"");
}

void Trace(const wchar_t* format, ...)
{
    if (!g_traceLog.IsEnabled())
        return;
    va_list args;
    va_start(args, format);
    g_traceLog.WriteV(format, args);
    va_end(args);
}

void MaskNumber(const wchar_t* number, wchar_t* masked, size_t maskedChars)
{
    if (maskedChars == 0)
        return;
    masked[0] = L'\0';
    if (!number)
        return;
    size_t length = wcsnlen(number, maskedChars - 1);
    // A number cut to the buffer shows no digit: its last ones are not there.
    size_t shown = number[length] == L'\0' ? 0 : kTraceNumberShownDigits;
    for (size_t i = length; i-- > 0;) {
        wchar_t c = number[i];
        if (c >= L'0' && c <= L'9' && ++shown > kTraceNumberShownDigits)
            c = kTraceMaskChar;
        masked[i] = c;
    }
    masked[length] = L'\0';
}
