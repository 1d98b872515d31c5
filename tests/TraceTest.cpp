// The trace facility: its string buffer, the length estimate against msvcrt's
// own formatter, the owner record shared by the facility objects of a
// process, the switch, and the start-up line as a real Callvane.exe writes
// it to the debugger output.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/AppIds.h"
#include "tools/DebugOutputReader.h"
#include "tools/FormatCases.h"
#include "trace/FormatLength.h"
#include "trace/LogFile.h"
#include "trace/TraceIds.h"
#include "trace/TraceLog.h"
#include "trace/WideStringBuffer.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Dynamic initialisation of default priority: runs after the facility's own.
const bool g_bTraceLogReadyBeforeOtherStatics = g_traceLog.Record() != nullptr;

const DWORD kStartTimeoutMs = 15000;

// The formatter the facility uses, as any caller of msvcrt reaches it.
int MsvcrtLength(const wchar_t* format, va_list args)
{
    return _vscwprintf(format, args);
}

size_t Estimate(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    size_t length = EstimateFormatLength(format, args);
    va_end(args);
    return length;
}

int Written(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    int length = MsvcrtLength(format, args);
    va_end(args);
    return length;
}

bool FormatLimited(CWideStringBuffer& buffer, size_t maxChars, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    bool formatted = buffer.FormatV(format, args, maxChars);
    va_end(args);
    return formatted;
}

template <typename... Args>
void ExpectCovers(const wchar_t* format, Args... args)
{
    int written = Written(format, args...);
    ASSERT_GE(written, 0) << Printable(format);
    EXPECT_GE(Estimate(format, args...), static_cast<size_t>(written)) << Printable(format);
}

std::wstring FormatLine(DWORD processId, DWORD threadId, double milliseconds, const wchar_t* message)
{
    CWideStringBuffer line;
    if (!FormatTraceLine(line, processId, threadId, milliseconds, message))
        return L"(not formatted)";
    return line.c_str();
}

// A process id of no process, unique to this test process: records named
// for it belong to this process alone, even while other test programs run.
DWORD UnusedProcessId(unsigned n)
{
    return 0x40000000u + n * 0x01000000u + GetCurrentProcessId();
}

double NowMs()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
}

// The owner record of processId as another module of that process sees it.
class COwnerRecordView {
public:
    explicit COwnerRecordView(DWORD processId)
    {
        wchar_t name[kOwnerRecordNameChars];
        FormatOwnerRecordName(name, kOwnerRecordNameChars, processId);
        m_hMapping.Reset(OpenFileMappingW(FILE_MAP_READ, FALSE, name));
        if (m_hMapping)
            m_view.Reset(MapViewOfFile(m_hMapping.Get(), FILE_MAP_READ, 0, 0, 0));
    }
    const TraceOwnerRecord* operator->() const { return static_cast<const TraceOwnerRecord*>(m_view.Get()); }
    explicit operator bool() const { return m_view.IsValid(); }

private:
    CKernelHandle m_hMapping;
    CMappedView m_view;
};

std::set<DWORD> ThreadsOf(DWORD processId)
{
    std::set<DWORD> threads;
    CFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot)
        return threads;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry))
        if (entry.th32OwnerProcessID == processId)
            threads.insert(entry.th32ThreadID);
    return threads;
}

// Names the generated case under way when it crashes the process, since a
// crash ends the test before any assertion can.
class CCrashReporter {
public:
    explicit CCrashReporter(const std::string* description) : m_handler(AddVectoredExceptionHandler(1, Report))
    {
        s_pDescription = description;
    }
    ~CCrashReporter()
    {
        RemoveVectoredExceptionHandler(m_handler);
        s_pDescription = nullptr;
    }

private:
    static LONG CALLBACK Report(EXCEPTION_POINTERS* info)
    {
        DWORD code = info->ExceptionRecord->ExceptionCode;
        if (s_pDescription && (code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_STACK_OVERFLOW))
            fprintf(stderr, "crash (%08lx) in the case: %s\n", code, s_pDescription->c_str());
        return EXCEPTION_CONTINUE_SEARCH;
    }
    static const std::string* s_pDescription;
    void* m_handler;
};
const std::string* CCrashReporter::s_pDescription = nullptr;

}  // namespace

// ---------------------------------------------------------------------------
// CWideStringBuffer

TEST(WideStringBuffer, GrowsInStepsOf64AndZeroesWhatItGivesUpOrTakesOn)
{
    CWideStringBuffer buffer;
    EXPECT_EQ(buffer.Data(), nullptr);
    EXPECT_STREQ(buffer.c_str(), L"");

    ASSERT_TRUE(buffer.Resize(1));
    EXPECT_EQ(buffer.Capacity(), 64u);
    EXPECT_EQ(buffer.Size(), 1u);
    ASSERT_TRUE(buffer.Resize(64));
    EXPECT_EQ(buffer.Capacity(), 64u);
    for (size_t i = 0; i < 64; ++i) {
        EXPECT_EQ(buffer.Data()[i], L'\0') << i;
        buffer.Data()[i] = static_cast<wchar_t>(L'A' + i % 26);
    }
    // One more: the next multiple of 64, the content kept, the new part zero.
    ASSERT_TRUE(buffer.Resize(65));
    EXPECT_EQ(buffer.Capacity(), 128u);
    EXPECT_EQ(buffer.Data()[63], static_cast<wchar_t>(L'A' + 63 % 26));
    EXPECT_EQ(buffer.Data()[64], L'\0');
    ASSERT_TRUE(buffer.Resize(129));
    EXPECT_EQ(buffer.Capacity(), 192u);

    // Shrinking keeps the allocation and zeroes what it gives up.
    ASSERT_TRUE(buffer.Resize(10));
    EXPECT_EQ(buffer.Capacity(), 192u);
    EXPECT_EQ(buffer.Size(), 10u);
    EXPECT_EQ(buffer.Length(), 10u);   // no terminator within the size
    for (size_t i = 10; i < 129; ++i)
        ASSERT_EQ(buffer.Data()[i], L'\0') << i;
    // Growing again within the capacity shows zeros, not the old text.
    ASSERT_TRUE(buffer.Resize(64));
    EXPECT_EQ(buffer.Capacity(), 192u);
    EXPECT_EQ(buffer.Length(), 10u);

    // A size no allocation can hold fails and changes nothing.
    EXPECT_FALSE(buffer.Resize(static_cast<size_t>(-1)));
    EXPECT_FALSE(buffer.Resize(static_cast<size_t>(-1) / sizeof(wchar_t)));
    EXPECT_EQ(buffer.Size(), 64u);
    EXPECT_EQ(buffer.Capacity(), 192u);

    buffer.Free();
    EXPECT_EQ(buffer.Data(), nullptr);
    EXPECT_EQ(buffer.Capacity(), 0u);
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_EQ(buffer.Length(), 0u);
}

TEST(WideStringBuffer, FormatsWithMicrosoftSemantics)
{
    // With MinGW's ISO formatter %s here would be a narrow string and %S a
    // wide one: this line would come out garbled or crash.
    CWideStringBuffer buffer;
    ASSERT_TRUE(buffer.Format(L"%s|%S|%hs|%ls|%ws|%c|%C|%I64d|%I64x|%5.1f|%%", L"wide", "narrow", "h", L"l", L"w",
                              L'\x96C5', 'n', -1234567890123LL, 0x123456789ABCLL, 2.5));
    EXPECT_STREQ(buffer.c_str(), L"wide|narrow|h|l|w|\x96C5|n|-1234567890123|123456789abc|  2.5|%");
    EXPECT_EQ(buffer.Length(), wcslen(buffer.c_str()));
    EXPECT_EQ(buffer.Size(), buffer.Length() + 1);
    EXPECT_EQ(buffer.Capacity() % CWideStringBuffer::kGrowthChars, 0u);

    // The estimate sized the buffer: a %f asks for 318 characters. A buffer
    // keeps its allocation from one text to the next.
    CWideStringBuffer fixed;
    ASSERT_TRUE(fixed.Format(L"%f", 1.0));
    EXPECT_STREQ(fixed.c_str(), L"1.000000");
    EXPECT_EQ(fixed.Capacity(), 320u);
    ASSERT_TRUE(fixed.Format(L"%d", 1));
    EXPECT_EQ(fixed.Capacity(), 320u);

    // Bad input: no format, a null string.
    EXPECT_FALSE(buffer.Format(nullptr));
    EXPECT_STREQ(buffer.c_str(), L"");
    ASSERT_TRUE(buffer.Format(L"[%s|%S|%-8s]", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr),
                              static_cast<const wchar_t*>(nullptr)));
    EXPECT_STREQ(buffer.c_str(), L"[(null)|(null)|(null)  ]");
}

TEST(WideStringBuffer, RefusesAnEstimateBeyondItsLimitAndLongTextFitsWhole)
{
    CWideStringBuffer buffer;
    ASSERT_TRUE(buffer.Format(L"%d", 5));
    EXPECT_FALSE(FormatLimited(buffer, 99999, L"%100000d", 1));
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_TRUE(FormatLimited(buffer, 100000, L"%100000d", 1));
    EXPECT_EQ(buffer.Length(), 100000u);

    std::wstring longText(5000, L'\x8BED');
    CWideStringBuffer text;
    ASSERT_TRUE(text.Format(L"<%s>", longText.c_str()));
    EXPECT_EQ(std::wstring(text.c_str()), L"<" + longText + L">");
    EXPECT_EQ(text.Capacity(), 5056u);
}

// ---------------------------------------------------------------------------
// EstimateFormatLength

TEST(EstimateFormatLength, GivesTheDocumentedAllowances)
{
    EXPECT_EQ(Estimate(L""), 0u);
    EXPECT_EQ(Estimate(L"plain \x96C5 text"), 12u);
    EXPECT_EQ(Estimate(L"100%%"), 4u);
    EXPECT_EQ(Estimate(L"%s", L"abc"), 3u);
    EXPECT_EQ(Estimate(L"%s", L""), 1u);                                    // at least 1
    EXPECT_EQ(Estimate(L"%s", static_cast<const wchar_t*>(nullptr)), 6u);   // "(null)"
    EXPECT_EQ(Estimate(L"%S", "narrow"), 6u);
    EXPECT_EQ(Estimate(L"%.2s", L"abcdef"), 2u);
    EXPECT_EQ(Estimate(L"%10.2s", L"abcdef"), 10u);
    EXPECT_EQ(Estimate(L"%-*s", -20, L"abc"), 20u);   // a negative width counts by its size
    EXPECT_EQ(Estimate(L"%c", L'x'), 2u);
    EXPECT_EQ(Estimate(L"%7C", 'x'), 7u);
    EXPECT_EQ(Estimate(L"%d", 5), 32u);
    EXPECT_EQ(Estimate(L"%40.20I64x", 5LL), 60u);
    EXPECT_EQ(Estimate(L"%#x", 5), 34u);
    EXPECT_EQ(Estimate(L"%.40d", -5), 43u);   // the sign beside 40 digits
    EXPECT_EQ(Estimate(L"%p", nullptr), 32u);
    EXPECT_EQ(Estimate(L"%e", 1.0), 128u);
    EXPECT_EQ(Estimate(L"%.300g", 1.0), 316u);   // exponent and sign beside 300 digits
    EXPECT_EQ(Estimate(L"%.2f", 1.0), 314u);
    EXPECT_EQ(Estimate(L"%f", 1.0), 318u);        // the default precision is 6
    EXPECT_EQ(Estimate(L"%400f", 1.0), 400u);     // the width counts for %f too
    int count = 0;
    EXPECT_EQ(Estimate(L"ab%n", &count), 2u);
    EXPECT_EQ(Estimate(L"%y"), 1u);   // an unknown conversion's letter is printed as text
    EXPECT_EQ(Estimate(L"%5%d", 1), 32u);
    EXPECT_EQ(Estimate(L"trailing %"), 9u);
    EXPECT_EQ(Estimate(nullptr), 0u);
}

TEST(EstimateFormatLength, CoversExtremeWidthsAndPrecisions)
{
    // Saturates instead of wrapping.
    EXPECT_EQ(Estimate(L"%99999999999999999999d", 1), kEstimateCeiling);
    EXPECT_EQ(Estimate(L"%*d", INT_MIN, 1), kEstimateCeiling);
    EXPECT_EQ(Estimate(L"%.*f%*.*e", INT_MAX, 1.0, INT_MAX, INT_MAX, 1.0), kEstimateCeiling);

    // Never below what msvcrt writes. (Wine's msvcrt sizes the digit buffer
    // of an integer in bytes where it writes characters: a precision above
    // 22 overruns its heap unless the width is twice as large, hence the
    // width beside the integer's precision here.)
    ExpectCovers(L"%*d", 1000000, -7);
    ExpectCovers(L"%-*d|", 1000000, -7);
    ExpectCovers(L"%*.50000d", 100020, -7);
    ExpectCovers(L"%*s", 250000, L"x");
    ExpectCovers(L"%.*f", 5000, -1.0);
    ExpectCovers(L"%.*e", 5000, -1.0);
    ExpectCovers(L"%.*g", 5000, -1e300);
    ExpectCovers(L"%.*a", 5000, -1.0);
    // Widths that wrap around in the formatter's int are huge to the estimate.
    ExpectCovers(L"%4294967297d|", 1);
    ExpectCovers(L"%2147483648d|", 1);
    // The largest doubles in full, and long fractions.
    ExpectCovers(L"%f", -1.7976931348623157e308);
    ExpectCovers(L"%#.0f", -1e308);
    ExpectCovers(L"%+.300e", -1e-300);
    ExpectCovers(L"%+#.130G", -1e-5);
    // Wine's msvcrt pads a floating-point number by the size of a negative
    // precision, and writes the sign and "0x" of a zero-padded infinity in
    // %a beside its width.
    ExpectCovers(L"%50.*E|", -100, 1.0);
    ExpectCovers(L"%*.*f|", 30, -400, 1.0);
    ExpectCovers(L"%0 *.a|", 4015, INFINITY);
    ExpectCovers(L"%0+*a|", 300, -INFINITY);
}

TEST(EstimateFormatLength, IsNeverSmallerThanWhatMsvcrtWritesOverGeneratedCases)
{
    // The default run takes a few seconds; CALLVANE_FUZZ_CASES and
    // CALLVANE_FUZZ_SEED run more, or others.
    unsigned long cases = 1000000;
    uint32_t seed = 20061026;
    if (const char* text = getenv("CALLVANE_FUZZ_CASES"))
        cases = strtoul(text, nullptr, 10);
    if (const char* text = getenv("CALLVANE_FUZZ_SEED"))
        seed = static_cast<uint32_t>(strtoul(text, nullptr, 10));

    const size_t kDirectLimit = 1 << 20;
    const std::wstring endText(1, kEndMarker);
    CFormatCaseGenerator generator(seed);
    FormatCase c;
    CCrashReporter reporter(&c.description);
    std::vector<wchar_t> output;
    unsigned long checked = 0, refused = 0, viaBuffer = 0;
    size_t largest = 0;
    auto start = std::chrono::steady_clock::now();
    for (unsigned long i = 0; i < cases; ++i) {
        generator.Next(c);
        const wchar_t* format = c.format.c_str();

        // The estimate takes exactly the arguments the case laid out.
        va_list taken = c.Arguments();
        size_t estimate = EstimateFormatLengthTaking(format, taken);
        ASSERT_EQ(static_cast<size_t>(taken - c.Arguments()), c.argumentBytes) << "case " << i << ": " << c.description;

        // What msvcrt writes, into a buffer one larger than the estimate.
        int length;
        if (estimate < kDirectLimit) {
            output.resize(estimate + 2);
            length = _vsnwprintf(output.data(), estimate + 1, format, c.Arguments());
        } else {
            length = _vscwprintf(format, c.Arguments());
            ASSERT_LT(length, static_cast<int>(kDirectLimit)) << "case " << i << ": " << c.description;
            if (length >= 0) {
                output.resize(length + 2);
                length = _vsnwprintf(output.data(), length + 1, format, c.Arguments());
            }
        }
        if (length < 0) {
            // Either msvcrt refused the case (narrow text it cannot convert,
            // or more than INT_MAX characters), or it wrote more than the
            // estimate.
            int needed = _vscwprintf(format, c.Arguments());
            ASSERT_LT(needed, 0) << "case " << i << ": estimate " << estimate << " < " << needed << " for "
                                 << c.description;
            ++refused;
            continue;
        }
        ASSERT_GE(estimate, static_cast<size_t>(length)) << "case " << i << ": " << c.description;
        // Ending in the marker shows that msvcrt took the arguments as the case did.
        std::wstring written(output.data(), length);
        ASSERT_TRUE(written.size() >= endText.size() && written.compare(written.size() - endText.size(), endText.size(),
                                                                        endText) == 0)
            << "case " << i << ": " << c.description;
        if (static_cast<size_t>(length) > largest)
            largest = length;

        // Now and then the whole path: the buffer formats the same text.
        if (i % 64 == 0 && estimate < kDirectLimit) {
            CWideStringBuffer buffer;
            ASSERT_TRUE(buffer.FormatV(format, c.Arguments()));
            ASSERT_EQ(std::wstring(buffer.c_str(), buffer.Length()), written) << "case " << i << ": " << c.description;
            ++viaBuffer;
        }
        ++checked;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("[ fuzz     ] %lu cases (seed %u): %lu compared with msvcrt, %lu refused by it, %lu through "
           "CWideStringBuffer, longest %u characters, %.1f s\n",
           cases, seed, checked, refused, viaBuffer, static_cast<unsigned>(largest), seconds);
    EXPECT_GT(checked, cases / 2);
}

// ---------------------------------------------------------------------------
// CTraceLog

TEST(TraceLog, OwnerRecordNameAndLineCarryIdsInHexadecimal)
{
    wchar_t name[kOwnerRecordNameChars];
    FormatOwnerRecordName(name, kOwnerRecordNameChars, 1234);
    EXPECT_STREQ(name, L"Object_System_stackDeepth_4d2");
    FormatOwnerRecordName(name, kOwnerRecordNameChars, 0xFEDC1234);
    EXPECT_STREQ(name, L"Object_System_stackDeepth_fedc1234");
    FormatOwnerRecordName(name, 10, 1234);
    EXPECT_STREQ(name, L"Object_Sy");

    EXPECT_EQ(FormatLine(0x4D2, 0xA3C, 1234.5, L"Last build at Oct 26 2006 09:17:57"),
              L"[KVT+04d2:0a3c] 1234.500 Last build at Oct 26 2006 09:17:57\n");
    // Ids above 0xFFFF in full; a short time padded to eight characters.
    EXPECT_EQ(FormatLine(0x12345, 0xABCDEF01, 5.25, L"x"), L"[KVT+12345:abcdef01]    5.250 x\n");
    EXPECT_EQ(FormatLine(7, 8, 123456789.0625, L""), L"[KVT+0007:0008] 123456789.063 \n");
    EXPECT_EQ(FormatLine(7, 8, 0.0, nullptr), L"[KVT+0007:0008]    0.000 \n");
}

TEST(TraceLog, TheStaticObjectOwnsThisProcessRecordFromBeforeOtherStatics)
{
    EXPECT_TRUE(g_bTraceLogReadyBeforeOtherStatics);
    COwnerRecordView record(GetCurrentProcessId());
    ASSERT_TRUE(record);
    EXPECT_EQ(record->pOwner, static_cast<void*>(&g_traceLog));
    EXPECT_NE(record->pSlotTable, nullptr);
    EXPECT_TRUE(g_traceLog.OwnsRecord());
    EXPECT_EQ(sizeof(TraceOwnerRecord), 2 * sizeof(void*));
#ifndef _WIN64
    EXPECT_EQ(sizeof(TraceOwnerRecord), 8u);
#endif

    // An empty table: nothing in use.
    const TraceSlotTable* table = static_cast<const TraceSlotTable*>(record->pSlotTable);
    EXPECT_EQ(table->nInUse, 0u);
    for (size_t i = 0; i < kSlotCount; ++i)
        ASSERT_EQ(table->inUse[i], 0) << i;
}

TEST(TraceLog, OnlyTheFirstObjectOfAProcessOwnsTheRecordAndFreesTheTable)
{
    // Against this process's record: the static object stays the owner.
    {
        LONG tables = CTraceLog::LiveSlotTables();
        CTraceLog second;
        EXPECT_FALSE(second.OwnsRecord());
        EXPECT_EQ(second.Record()->pOwner, static_cast<void*>(&g_traceLog));
        EXPECT_EQ(CTraceLog::LiveSlotTables(), tables);
    }
    EXPECT_TRUE(g_traceLog.OwnsRecord());
    EXPECT_NE(g_traceLog.Record()->pSlotTable, nullptr);

    // Against a record of its own, the test watching it from outside both.
    const DWORD otherId = UnusedProcessId(1);
    LONG tables = CTraceLog::LiveSlotTables();
    auto first = std::make_unique<CTraceLog>(otherId);
    auto second = std::make_unique<CTraceLog>(otherId);
    COwnerRecordView record(otherId);
    ASSERT_TRUE(record);
    EXPECT_TRUE(first->OwnsRecord());
    EXPECT_FALSE(second->OwnsRecord());
    EXPECT_EQ(record->pOwner, static_cast<void*>(first.get()));
    ASSERT_NE(record->pSlotTable, nullptr);
    EXPECT_EQ(CTraceLog::LiveSlotTables(), tables + 1);

    // A slot in use, to be emptied at teardown.
    auto* table = static_cast<TraceSlotTable*>(record->pSlotTable);
    table->inUse[7] = 1;
    memset(table->pSlots[7], 0xAB, kSlotBytes);
    table->nInUse = 1;

    second.reset();   // not the owner: the record and the table stay
    EXPECT_EQ(record->pOwner, static_cast<void*>(first.get()));
    EXPECT_EQ(record->pSlotTable, static_cast<void*>(table));
    EXPECT_EQ(table->inUse[7], 1);
    EXPECT_EQ(CTraceLog::LiveSlotTables(), tables + 1);

    first.reset();    // the owner: gives the record up and frees the table
    EXPECT_EQ(record->pOwner, nullptr);
    EXPECT_EQ(record->pSlotTable, nullptr);
    EXPECT_EQ(CTraceLog::LiveSlotTables(), tables);

    // The next object finds the record free again.
    CTraceLog third(otherId);
    EXPECT_TRUE(third.OwnsRecord());
}

TEST(TraceLog, SwitchIsOnOnlyForFourNonZeroBytes)
{
    CLocalAppDataOverride localAppData;   // the objects switched on write there
    CRegistryValueOverride syslog(HKEY_CURRENT_USER, kTraceSwitchKey, kTraceSwitchValue);
    const DWORD otherId = UnusedProcessId(2);
    const DWORD one = 1, zero = 0, high = 0x80000000;
    const ULONGLONG wide = 1;
    const BYTE shortValue[2] = {1, 0};
    const BYTE lastByte[3] = {0, 0, 1};
    const std::vector<BYTE> huge(1 << 20, 1);
    // Any type is read as up to 4 raw bytes; anything longer leaves tracing off.
    const struct {
        const char* name;
        DWORD type;
        const void* data;
        DWORD bytes;
        bool enabled;
    } cases[] = {
        {"DWORD 1", REG_DWORD, &one, sizeof one, true},
        {"DWORD high bit", REG_DWORD, &high, sizeof high, true},
        {"big-endian DWORD", REG_DWORD_BIG_ENDIAN, &one, sizeof one, true},
        {"2 bytes binary", REG_BINARY, shortValue, sizeof shortValue, true},
        {"3 bytes, last set", REG_BINARY, lastByte, sizeof lastByte, true},
        {"\"0\" without terminator", REG_SZ, L"0", 2, true},
        {"\"0\" as 4 bytes", REG_SZ, L"0", 4, true},   // L"0" is two non-zero bytes
        {"expandable \"1\"", REG_EXPAND_SZ, L"1", 4, true},
        {"DWORD 0", REG_DWORD, &zero, sizeof zero, false},
        {"zero-length DWORD", REG_DWORD, &one, 0, false},
        {"zero-length string", REG_SZ, L"", 0, false},
        {"empty multi-string", REG_MULTI_SZ, L"\0", 4, false},
        {"QWORD", REG_QWORD, &wide, sizeof wide, false},   // longer than 4 bytes
        {"\"1\" terminated", REG_SZ, L"1", 6, false},
        {"multi-string \"1\"", REG_MULTI_SZ, L"1\0", 6, false},
        {"1 MB binary", REG_BINARY, huge.data(), static_cast<DWORD>(huge.size()), false},
        {"no-type zeros", REG_NONE, &zero, sizeof zero, false},
    };
    for (const auto& c : cases) {
        syslog.Set(c.type, c.data, c.bytes);
        EXPECT_EQ(CTraceLog(otherId).IsEnabled(), c.enabled) << c.name;
    }
    syslog.Delete();
    EXPECT_FALSE(CTraceLog(otherId).IsEnabled());

    // No key at all: HKEY_CURRENT_USER pointed at an empty key of the test's own.
    syslog.Set(REG_DWORD, &one, sizeof one);
    ASSERT_TRUE(CTraceLog(otherId).IsEnabled());
    CRegistryRootOverride emptyUser(HKEY_CURRENT_USER);
    ASSERT_TRUE(emptyUser.Active());
    EXPECT_FALSE(CTraceLog(otherId).IsEnabled());
}

TEST(TraceLog, WhenOffNothingIsFormatted)
{
    CRegistryValueOverride syslog(HKEY_CURRENT_USER, kTraceSwitchKey, kTraceSwitchValue);
    syslog.Delete();
    CTraceLog off(UnusedProcessId(3));
    ASSERT_FALSE(off.IsEnabled());
    // Formatting this would read a string at address 1.
    off.Write(L"%s", reinterpret_cast<const wchar_t*>(1));
    // The process's own facility read the switch as this program started.
    ASSERT_FALSE(g_traceLog.IsEnabled()) << "SysLog was on when the test program started";
    Trace(L"%s", reinterpret_cast<const wchar_t*>(1));
}

TEST(TraceLog, LinesReachTheDebuggerOutputInTheirFormat)
{
    CDebugOutputReader reader;
    ASSERT_TRUE(reader.IsListening()) << "another debugger-output reader is running";
    CRegistryValueOverride syslog(HKEY_CURRENT_USER, kTraceSwitchKey, kTraceSwitchValue);
    const DWORD on = 1;
    syslog.Set(REG_DWORD, &on, sizeof on);
    CLocalAppDataOverride localAppData;

    double before = NowMs();
    CTraceLog traced(UnusedProcessId(4));   // traces its start-up line on creation
    ASSERT_TRUE(traced.IsEnabled());
    traced.Write(L"%s has %d %S and %I64u", L"\x96C5\x864E\x901A", 3, "parts", 1ULL << 40);
    double after = NowMs();
    ASSERT_TRUE(reader.Flush());
    std::string file = ReadFileBytes(localAppData.TraceFilePath());   // UTF-8, CR LF
    EXPECT_NE(file.find(" \xE9\x9B\x85\xE8\x99\x8E\xE9\x80\x9A has 3 parts and 1099511627776\r\n"), file.npos) << file;

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    EXPECT_EQ(g_nPerfFrequency, frequency.QuadPart);

    std::vector<std::string> lines = reader.LinesFrom(GetCurrentProcessId());
    ASSERT_GE(lines.size(), 3u);   // the start-up line, the message, the flush
    char prefix[64];
    snprintf(prefix, sizeof prefix, "[KVT+%04lx:%04lx] ", GetCurrentProcessId(), GetCurrentThreadId());
    std::regex shape(R"(\[KVT\+[0-9a-f]{4,}:[0-9a-f]{4,}\] ( *)([0-9]+\.[0-9]{3}) (.*)\n)");
    int found = 0;
    for (const std::string& line : lines) {
        std::smatch match;
        if (line.rfind(prefix, 0) != 0)
            continue;
        ASSERT_TRUE(std::regex_match(line, match, shape)) << line;
        EXPECT_GE(match[1].length() + match[2].length(), 8);
        double ms = atof(match[2].str().c_str());
        EXPECT_GE(ms, before - 1.0) << line;
        EXPECT_LE(ms, after + 1.0) << line;
        // The message as the debugger output carries it, in the ANSI code page.
        const std::string message = match[3].str();
        const std::string tail = " has 3 parts and 1099511627776";
        if (found == 0)
            EXPECT_EQ(message, "Last build at Oct 26 2006 09:17:57");
        else
            EXPECT_TRUE(message.size() > tail.size() && message.compare(message.size() - tail.size(), tail.size(), tail) == 0)
                << message;
        ++found;
    }
    EXPECT_EQ(found, 2);
}

// ---------------------------------------------------------------------------
// The trace file and the masking of numbers

TEST(TraceFile, KeepsToItsCapWithOneOlderFileAndLosesNoLineAtTheTurn)
{
    CTempDir folder(L"cvtrace");
    const unsigned long long cap = 1000;
    CLogFile file(folder.Path().c_str(), cap);
    std::wstring log = JoinPath(folder.Path(), kLogFileName), old = JoinPath(folder.Path(), kOldLogFileName);
    for (int i = 0; i < 40; ++i) {
        const std::string n = std::to_string(100 + i).substr(1);
        ASSERT_TRUE(file.Append((L"line " + std::wstring(n.begin(), n.end()) + L" \u00e9\u4e2d padding padding padding\n").c_str())) << i;
        // Each line is in the file as soon as it is written, as UTF-8 with CR LF.
        const std::string text = ReadFileBytes(log), expected = "line " + n + " \xc3\xa9\xe4\xb8\xad padding padding padding\r\n";
        EXPECT_EQ(text.substr(text.size() - std::min(text.size(), expected.size())), expected);
        EXPECT_LE(text.size(), cap);
    }
    std::string older = ReadFileBytes(old), newer = ReadFileBytes(log);
    EXPECT_LE(older.size(), cap);
    EXPECT_GT(older.size() + newer.size(), cap) << "the older file was emptied, not kept";
    // The newer file goes on where the older one stops.
    int lastOld = atoi(older.c_str() + older.rfind("line ") + 5), firstNew = atoi(newer.c_str() + 5);
    EXPECT_EQ(firstNew, lastOld + 1);
}

TEST(TraceFile, AFolderThatCannotBeWrittenCostsOnlyTheFileAndIsNotTriedAgain)
{
    // pathChars: the folder's name is that long (0: "Callvane").
    const struct { const char* name; bool folderIsFile, logIsFolder; size_t pathChars; } cases[] = {
        {"the folder is a file", true, false, 0},
        {"the log is a folder", false, true, 0},
        {"the path is too long", false, false, MAX_PATH + 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CTempDir root(L"cvtrace");
        std::wstring folder = JoinPath(root.Path(), c.pathChars ? std::wstring(c.pathChars, L'x') : L"Callvane");
        ASSERT_TRUE(!c.folderIsFile || WriteFileBytes(folder, "not a folder"));
        ASSERT_TRUE(!c.logIsFolder || (CreateDirectoryW(folder.c_str(), nullptr) &&
                                       CreateDirectoryW(JoinPath(folder, kLogFileName).c_str(), nullptr)));
        CLogFile file(folder.c_str());
        EXPECT_FALSE(file.Append(L"first\n"));
        EXPECT_TRUE(file.HasFailed());
        // Once the folder could be written, the file is still not tried.
        if (c.folderIsFile)
            DeleteFileW(folder.c_str());
        if (c.logIsFolder)
            RemoveDirectoryW(JoinPath(folder, kLogFileName).c_str());
        EXPECT_FALSE(file.Append(L"second\n"));
        EXPECT_FALSE(FileExists(JoinPath(folder, kLogFileName)));
    }
}

TEST(TraceNumbers, AllButTheLastTwoDigitsAreMasked)
{
    const struct { const wchar_t* number; size_t chars; const wchar_t* masked; } cases[] = {
        {L"5550123", 64, L"*****23"}, {L"+1-555-0100", 64, L"+*-***-**00"}, {L"12*3#", 64, L"*2*3#"},
        {L"12", 64, L"12"}, {L"7", 64, L"7"}, {L"", 64, L""}, {nullptr, 64, L""}, {L"5550123", 8, L"*****23"},
        {L"5550123", 5, L"****"},   // cut: its last digits are not there to show
    };
    for (const auto& c : cases) {
        wchar_t masked[64];
        wmemset(masked, L'?', 64);
        MaskNumber(c.number, masked, c.chars);
        EXPECT_STREQ(masked, c.masked) << (c.number ? Printable(c.number) : "null") << " in " << c.chars;
    }
}

// ---------------------------------------------------------------------------
// The facility in a real Callvane.exe

namespace {

class TraceProcess : public ::testing::Test {
protected:
    CLocalAppDataOverride m_localAppData;
    // Starts the program with the switch as set, waits for its main dialog,
    // then flushes the reader; returns the lines the program wrote.
    // whileRunning: runs once it does; then a link is handed to it.
    std::vector<std::string> RunAndCollect(CDebugOutputReader& reader, DWORD& processId, double& startedMs,
                                           double& readyMs, std::set<DWORD>& threads,
                                           const std::function<void()>& whileRunning = [] {})
    {
        CInstalledCopy copy;
        startedMs = NowMs();
        CChildProcess running(copy.ExePath(), L"");
        EXPECT_TRUE(running.Started());
        processId = running.Id();
        HWND hMain = nullptr;
        WaitFor([&] { return (hMain = FindProcessWindow(running.Id(), nullptr, kInstanceName)) != nullptr; },
                kStartTimeoutMs);
        EXPECT_NE(hMain, nullptr);
        readyMs = NowMs();
        threads = ThreadsOf(running.Id());
        // The facility is linked in and created, switch or no switch.
        {
            COwnerRecordView record(running.Id());
            EXPECT_TRUE(record);
            if (record) {
                EXPECT_NE(record->pOwner, nullptr);
                EXPECT_NE(record->pSlotTable, nullptr);
            }
        }
        whileRunning();
        CChildProcess link(copy.ExePath(), L"tel:5550100");
        EXPECT_TRUE(link.WaitForExit(kStartTimeoutMs));
        EXPECT_TRUE(reader.Flush());
        CChildProcess exitRequest(copy.ExePath(), L"*exit*");
        EXPECT_TRUE(exitRequest.WaitForExit(kStartTimeoutMs));
        EXPECT_TRUE(running.WaitForExit(kStartTimeoutMs));
        EXPECT_TRUE(reader.Flush());
        return reader.LinesFrom(running.Id());
    }
    static std::string FileText(const std::vector<std::string>& lines)
    {
        std::string text;
        for (const std::string& line : lines)
            text += line.substr(0, line.size() - 1) + "\r\n";
        return text;
    }
};

}  // namespace

TEST_F(TraceProcess, StartupLineIsWrittenOnceWhenTheSwitchIsOn)
{
    CDebugOutputReader reader;
    ASSERT_TRUE(reader.IsListening()) << "another debugger-output reader is running";
    CRegistryValueOverride syslog(HKEY_CURRENT_USER, kTraceSwitchKey, kTraceSwitchValue);
    const DWORD on = 1;
    syslog.Set(REG_DWORD, &on, sizeof on);

    DWORD processId = 0;
    double startedMs = 0, readyMs = 0;
    std::set<DWORD> threads;
    std::vector<std::string> lines = RunAndCollect(reader, processId, startedMs, readyMs, threads);
    ASSERT_GE(lines.size(), 3u);   // the start-up line, and the version at start and at exit
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.find("Last build at") != l.npos; }), 1);
    // The same lines, in the same order, in the user's file, and no line of
    // the starts that handed a link and an exit request over; the version at
    // start and at exit.
    EXPECT_EQ(ReadFileBytes(m_localAppData.TraceFilePath()), FileText(lines));
    EXPECT_NE(lines[1].find(" Callvane 1.0.0.3 started\n"), std::string::npos) << lines[1];
    EXPECT_NE(lines.back().find(" Callvane 1.0.0.3 exits\n"), std::string::npos) << lines.back();
    std::smatch match;
    std::regex shape(R"(\[KVT\+([0-9a-f]{4,}):([0-9a-f]{4,})\] +([0-9]+\.[0-9]{3}) Last build at Oct 26 2006 09:17:57\n)");
    ASSERT_TRUE(std::regex_match(lines[0], match, shape)) << lines[0];
    EXPECT_EQ(strtoul(match[1].str().c_str(), nullptr, 16), processId);
    EXPECT_EQ(threads.count(strtoul(match[2].str().c_str(), nullptr, 16)), 1u) << "not a thread of the program";
    double ms = atof(match[3].str().c_str());
    EXPECT_GE(ms, startedMs);
    EXPECT_LE(ms, readyMs);
}

TEST_F(TraceProcess, NothingIsWrittenWhenTheSwitchIsAbsentZeroOrTooLong)
{
    CDebugOutputReader reader;
    ASSERT_TRUE(reader.IsListening()) << "another debugger-output reader is running";
    CRegistryValueOverride syslog(HKEY_CURRENT_USER, kTraceSwitchKey, kTraceSwitchValue);
    const DWORD zero = 0;
    const ULONGLONG tooLong = 1;
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant == 0 ? "absent" : variant == 1 ? "zero" : "eight bytes");
        if (variant == 0)
            syslog.Delete();
        else if (variant == 1)
            syslog.Set(REG_DWORD, &zero, sizeof zero);
        else
            syslog.Set(REG_QWORD, &tooLong, sizeof tooLong);
        DWORD processId = 0;
        double startedMs = 0, readyMs = 0;
        std::set<DWORD> threads;
        std::vector<std::string> lines = RunAndCollect(reader, processId, startedMs, readyMs, threads);
        EXPECT_NE(processId, 0u);
        EXPECT_TRUE(lines.empty()) << lines.front();
        EXPECT_FALSE(FileExists(JoinPath(m_localAppData.Path(), kLogFolderName)));
    }
}

TEST_F(TraceProcess, AWriterThatFindsTheFileTurnedByAnotherOpensTheNewOne)
{
    CDebugOutputReader reader;
    CRegistryValueOverride syslog(HKEY_CURRENT_USER, kTraceSwitchKey, kTraceSwitchValue);
    const DWORD on = 1;
    syslog.Set(REG_DWORD, &on, sizeof on);
    const std::wstring folder = JoinPath(m_localAppData.Path(), kLogFolderName);
    // Another writer fills the running program's file to the cap, then turns it.
    auto turnIt = [&] {
        CLogFile other(folder.c_str());
        for (WIN32_FILE_ATTRIBUTE_DATA data; GetFileAttributesExW(m_localAppData.TraceFilePath().c_str(), GetFileExInfoStandard,
                                                                   &data) && data.nFileSizeLow + 1 < kLogFileCapBytes;)
            other.Append(std::wstring(std::min<DWORD>(kLogFileCapBytes - data.nFileSizeLow, 4000) - 2, L'x').c_str());
        other.Append(L"the other writer's line\n");
    };
    DWORD processId = 0;
    double startedMs = 0, readyMs = 0;
    std::set<DWORD> threads;
    std::vector<std::string> lines = RunAndCollect(reader, processId, startedMs, readyMs, threads, turnIt);
    ASSERT_GE(lines.size(), 3u);
    // The older file keeps the program's first lines; the new one has the
    // other's line, then the program's next.
    const std::string older = ReadFileBytes(JoinPath(folder, kOldLogFileName)), newer = ReadFileBytes(m_localAppData.TraceFilePath());
    EXPECT_EQ(older.rfind(FileText({lines[0]}), 0), 0u) << older.substr(0, 200);
    EXPECT_EQ(newer.find("the other writer's line"), 0u) << newer.substr(0, 200);
    EXPECT_NE(newer.find(FileText({lines.back()})), newer.npos) << newer.substr(0, 200);
}
