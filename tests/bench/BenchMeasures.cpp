#include "BenchMeasures.h"

#include "TestSupport.h"

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdint>
#include <cstdlib>

namespace {

// Wine's GDI handle table (GdiSharedHandleTable of the PEB): 24-byte entries,
// the object type in byte 14, 0 for a free entry.
const size_t kGdiEntryBytes = 24;
const size_t kGdiTypeOffset = 14;
const size_t kGdiMaxEntries = 65536;
// USER handles: 16-bit values from 0x20 in steps of 2. Without its upper
// (generation) half a handle still names the object it indexes.
const UINT_PTR kFirstUserHandle = 0x20;
const UINT_PTR kLastUserHandle = 0xFFFE;
// Kernel handles are multiples of 4; probing stops after this many free ones.
const DWORD kKernelProbeGap = 4096;
const unsigned char kStackPattern = 0xA5;
const size_t kStackGap = 256;

// By process id, never "self": Wine opens files in its server, and
// Z:\proc\self would be the server's own.
std::wstring ProcPath(int pid, const wchar_t* leaf)
{
    return L"Z:\\proc\\" + std::to_wstring(pid) + L"\\" + leaf;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string ThisPrefix()
{
    char prefix[1024] = {};
    GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
    return prefix;
}

bool HasEnvironmentEntry(int pid, const std::string& entry)
{
    std::string variables = ReadFileBytes(ProcPath(pid, L"environ"));
    size_t start = 0;
    while (start < variables.size()) {
        size_t end = variables.find('\0', start);
        if (end == std::string::npos)
            end = variables.size();
        if (variables.compare(start, end - start, entry) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// Fields after the command name, which may itself hold blanks.
std::vector<std::string> StatFields(const std::string& stat)
{
    std::vector<std::string> fields;
    size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return fields;
    size_t pos = close + 2;
    while (pos < stat.size()) {
        size_t end = stat.find(' ', pos);
        if (end == std::string::npos)
            end = stat.size();
        fields.push_back(stat.substr(pos, end - pos));
        pos = end + 1;
    }
    return fields;
}

struct StackRun {
    std::function<void()> fn;
    size_t filledBytes;
    size_t used;
};

__attribute__((noinline)) void FillBelow(volatile unsigned char* top, size_t bytes)
{
    // Downwards, one byte after the other, so that the stack's guard page
    // grows it page by page.
    for (size_t i = 1; i <= bytes; ++i)
        top[-static_cast<ptrdiff_t>(i)] = kStackPattern;
}

__attribute__((noinline)) size_t DeepestChange(volatile unsigned char* top, size_t bytes)
{
    for (size_t i = bytes; i >= 1; --i) {
        if (top[-static_cast<ptrdiff_t>(i)] != kStackPattern)
            return i;
    }
    return 0;
}

DWORD WINAPI StackRunMain(void* param)
{
    StackRun* run = static_cast<StackRun*>(param);
    // Below this frame and FillBelow's; fn's frames start above top, so the
    // result counts the gap too.
    volatile unsigned char* top = static_cast<unsigned char*>(__builtin_frame_address(0)) - kStackGap;
    FillBelow(top, run->filledBytes);
    run->fn();
    size_t deepest = DeepestChange(top, run->filledBytes);
    run->used = deepest >= run->filledBytes ? SIZE_MAX : deepest + kStackGap;
    return 0;
}

}  // namespace

int64_t Counter()
{
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double CounterSeconds(int64_t ticks)
{
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    return static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

std::vector<LinuxProcess> FindLinuxProcesses(const std::vector<std::string>& parts, bool samePrefix)
{
    std::vector<LinuxProcess> found;
    const std::string prefixEntry = "WINEPREFIX=" + ThisPrefix();
    WIN32_FIND_DATAW data;
    HANDLE hFind = FindFirstFileW(L"Z:\\proc\\*", &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return found;
    do {
        int pid = _wtoi(data.cFileName);
        if (pid <= 0 || !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        std::string commandLine = ReadFileBytes(ProcPath(pid, L"cmdline"));
        std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
        std::string lower = Lower(commandLine);
        bool all = !commandLine.empty();
        for (const std::string& part : parts)
            all = all && lower.find(Lower(part)) != std::string::npos;
        if (!all || (samePrefix && !HasEnvironmentEntry(pid, prefixEntry)))
            continue;
        found.push_back({pid, commandLine});
    } while (FindNextFileW(hFind, &data));
    FindClose(hFind);
    return found;
}

LinuxCpu ReadLinuxCpu(int pid)
{
    LinuxCpu cpu;
    std::vector<std::string> fields = StatFields(ReadFileBytes(ProcPath(pid, L"stat")));
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    if (fields.size() < 13)
        return cpu;
    const double ticksPerSecond = 100.0;   // USER_HZ on Linux
    cpu.statSeconds = (atof(fields[11].c_str()) + atof(fields[12].c_str())) / ticksPerSecond;
    cpu.ok = true;
    WIN32_FIND_DATAW data;
    HANDLE hFind = FindFirstFileW(ProcPath(pid, L"task\\*").c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return cpu;
    double nanoseconds = 0;
    do {
        int tid = _wtoi(data.cFileName);
        if (tid <= 0)
            continue;
        std::string sched = ReadFileBytes(ProcPath(pid, (L"task\\" + std::to_wstring(tid) + L"\\schedstat").c_str()));
        nanoseconds += atof(sched.c_str());
    } while (FindNextFileW(hFind, &data));
    FindClose(hFind);
    cpu.schedSeconds = nanoseconds / 1e9;
    return cpu;
}

double WindowsCpuSeconds(HANDLE hProcess)
{
    FILETIME created, exited, kernel, user;
    if (!hProcess || !GetProcessTimes(hProcess, &created, &exited, &kernel, &user))
        return -1;
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

ObjectCounts CountObjects()
{
    ObjectCounts counts;
    HANDLE hSelf = GetCurrentProcess();
    counts.guiUser = GetGuiResources(hSelf, GR_USEROBJECTS);
    counts.guiGdi = GetGuiResources(hSelf, GR_GDIOBJECTS);
    GetProcessHandleCount(hSelf, &counts.handleCountApi);
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(hSelf, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory))
        counts.privateUsage = memory.PrivateUsage;

    const DWORD self = GetCurrentProcessId();
    for (UINT_PTR value = kFirstUserHandle; value <= kLastUserHandle; value += 2) {
        if (IsWindow(reinterpret_cast<HWND>(value))) {
            DWORD owner = 0;
            GetWindowThreadProcessId(reinterpret_cast<HWND>(value), &owner);
            counts.windows += owner == self;
            continue;
        }
        if (IsMenu(reinterpret_cast<HMENU>(value))) {
            ++counts.menus;
            continue;
        }
        ICONINFO info = {};
        if (GetIconInfo(reinterpret_cast<HICON>(value), &info)) {
            ++counts.icons;
            if (info.hbmMask)
                DeleteObject(info.hbmMask);
            if (info.hbmColor)
                DeleteObject(info.hbmColor);
        }
    }

    // PEB::GdiSharedHandleTable, at 0x94 in the 32-bit PEB.
    PROCESS_BASIC_INFORMATION basic = {};
    NtQueryInformationProcess(hSelf, ProcessBasicInformation, &basic, sizeof basic, nullptr);
    const BYTE* peb = reinterpret_cast<const BYTE*>(basic.PebBaseAddress);
    const BYTE* table = peb ? *reinterpret_cast<const BYTE* const*>(peb + 0x94) : nullptr;
    MEMORY_BASIC_INFORMATION region = {};
    if (table && VirtualQuery(table, &region, sizeof region) == sizeof region) {
        size_t bytes = static_cast<size_t>(static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize - table);
        size_t entries = std::min(bytes / kGdiEntryBytes, kGdiMaxEntries);
        for (size_t i = 0; i < entries; ++i)
            counts.gdiObjects += table[i * kGdiEntryBytes + kGdiTypeOffset] != 0;
    }

    DWORD freeRun = 0;
    for (UINT_PTR value = 4; freeRun < kKernelProbeGap; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++counts.kernelHandles;
            freeRun = 0;
        } else {
            ++freeRun;
        }
    }

    const BYTE* address = nullptr;
    while (VirtualQuery(address, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            counts.committedPrivate += region.RegionSize;
        const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return counts;
}

size_t MeasureStack(const std::function<void()>& fn, size_t filledBytes)
{
    StackRun run{fn, filledBytes, 0};
    // Room for the pattern and for what the thread itself needs above it.
    const SIZE_T reserve = filledBytes + 512 * 1024;
    HANDLE hThread = CreateThread(nullptr, reserve, StackRunMain, &run, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!hThread)
        return 0;
    WaitFor([&] { return WaitForSingleObject(hThread, 0) == WAIT_OBJECT_0; }, INFINITE);
    CloseHandle(hThread);
    return run.used;
}

double Median(std::vector<double> values)
{
    return Percentile(std::move(values), 0.5);
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    // Nearest rank: the smallest value with at least this fraction at or below it.
    size_t rank = static_cast<size_t>(fraction * static_cast<double>(values.size()) + 0.999999);
    rank = std::max<size_t>(1, std::min(rank, values.size()));
    return values[rank - 1];
}

void Row(const std::string& benchmark, const std::string& measure, const std::string& value, const std::string& target,
         const std::string& verdict)
{
    printf("| %s | %s | %s | %s | %s |\n", benchmark.c_str(), measure.c_str(), value.c_str(), target.c_str(),
           verdict.c_str());
    fflush(stdout);
}

void RatioRow(const std::string& figure, double callvane, double reference, const std::string& unit,
              double targetRatio, const std::string& conditions)
{
    double ratio = reference > 0 ? callvane / reference : 0;
    // No target: the figure only.
    std::string target = targetRatio > 0 ? Format("<= %.1f", targetRatio) : "";
    const char* verdict = targetRatio <= 0 ? "" : reference > 0 && ratio <= targetRatio ? "met" : "**missed**";
    printf("| ratio | %s | %.2f | %.4g %s | %.4g %s | %s | %s | %s |\n", figure.c_str(), ratio, callvane, unit.c_str(),
           reference, unit.c_str(), target.c_str(), verdict, conditions.c_str());
    fflush(stdout);
}

void Note(const std::string& text)
{
    printf("- %s\n", text.c_str());
    fflush(stdout);
}

std::string Format(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}
