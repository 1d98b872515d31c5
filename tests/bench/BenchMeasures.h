// What the benchmarks measure and how, where Wine does not report it itself:
// CPU time of a process read from Linux's /proc (through Wine's Z: drive),
// the process's USER, GDI and kernel objects counted by probing their
// handle tables, committed private memory, a shared clock, and the stack a
// piece of code uses.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// QueryPerformanceCounter as seconds; one clock for every process of the
// session (Wine reads the host's monotonic clock).
int64_t Counter();
double CounterSeconds(int64_t ticks);

// A Linux process of this Wine session, found through /proc.
struct LinuxProcess {
    int pid = 0;
    std::string commandLine;   // arguments joined by blanks
};
// Processes whose command line contains every one of the parts (compared
// without case) and, when samePrefix, whose WINEPREFIX is this process's.
std::vector<LinuxProcess> FindLinuxProcesses(const std::vector<std::string>& parts, bool samePrefix);

// CPU time of a Linux process: utime + stime of /proc/<pid>/stat (every
// thread, 10 ms steps) and the sum of its threads' schedstat run times (ns).
struct LinuxCpu {
    bool ok = false;
    double statSeconds = 0;
    double schedSeconds = 0;
};
LinuxCpu ReadLinuxCpu(int pid);

// GetProcessTimes (kernel + user) in seconds, or a negative value.
double WindowsCpuSeconds(HANDLE hProcess);

// Objects of this process.
struct ObjectCounts {
    DWORD guiUser = 0;          // GetGuiResources, as reported
    DWORD guiGdi = 0;
    DWORD handleCountApi = 0;   // GetProcessHandleCount, as reported
    SIZE_T privateUsage = 0;    // GetProcessMemoryInfo PrivateUsage, as reported
    int windows = 0;            // USER handle table probed: windows of this process
    int menus = 0;              // ... menus
    int icons = 0;              // ... icons and cursors
    int gdiObjects = 0;         // in-use entries of the GDI handle table
    int kernelHandles = 0;      // handle values that GetHandleInformation accepts
    SIZE_T committedPrivate = 0;   // VirtualQuery: committed private memory
};
ObjectCounts CountObjects();

// Runs fn on a thread of its own whose stack below the starting frame was
// first filled with a pattern, and returns the bytes of stack fn used (the
// deepest byte it changed, give or take 256), or SIZE_MAX when fn reached
// past the filled part.
// The caller's thread handles its messages meanwhile.
size_t MeasureStack(const std::function<void()>& fn, size_t filledBytes = 512 * 1024);

// Sorted-sample statistics.
double Median(std::vector<double> values);
double Percentile(std::vector<double> values, double fraction);

// The table the benchmarks print: Markdown rows that scripts/bench.sh
// gathers, and notes (lines starting with "- ").
void Row(const std::string& benchmark, const std::string& measure, const std::string& value,
         const std::string& target = "", const std::string& verdict = "");
// A row of the ratio table: Callvane's figure over the reference's, measured
// side by side; the ratio comes third, as a bare number, for scripts.
void RatioRow(const std::string& figure, double callvane, double reference, const std::string& unit,
              double targetRatio, const std::string& conditions);
void Note(const std::string& text);
std::string Format(const char* format, ...);
std::string Narrow(const std::wstring& text);
