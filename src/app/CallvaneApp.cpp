#include "CallvaneApp.h"

#include "AppIds.h"
#include "CallvaneDlg.h"
#include "framework/AxHost.h"
#include "framework/BoundedString.h"
#include "framework/ModulePath.h"
#include "framework/ThemedControls.h"
#include "settings/SettingsPaths.h"
#include "trace/TraceLog.h"

#include <cstring>
#include <cwchar>
#include <memory>

HANDLE g_hInstanceMutex = nullptr;

namespace {

// The running instance dials; this start only hands the number over.
void HandOverDial(HWND hRunning, const wchar_t* number)
{
    if (!hRunning) {
        Trace(kTraceDialNoInstance);
        return;
    }
    DialRequest request = {};
    request.version = kDialRequestVersion;
    CopyTruncated(request.number, number);
    COPYDATASTRUCT data = {kDialRequestTag, sizeof request, &request};
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(hRunning, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                        kDialHandOverTimeoutMs, &answer);
}

// VS_VERSIONINFO: three WORDs and the key "VS_VERSION_INFO" with its
// terminator, padded to 32 bits, then the fixed part.
const size_t kFixedFileInfoOffset = 40;
const DWORD kFixedFileInfoSignature = 0xFEEF04BD;

// The program's file version from its own version resource.
void ReadProgramVersion(wchar_t (&version)[32])
{
    CopyTruncated(version, kTraceUnknownVersion);
    HRSRC hResource = FindResourceW(nullptr, MAKEINTRESOURCEW(VS_VERSION_INFO), MAKEINTRESOURCEW(16));
    HGLOBAL hData = hResource ? LoadResource(nullptr, hResource) : nullptr;
    const BYTE* data = hData ? static_cast<const BYTE*>(LockResource(hData)) : nullptr;
    if (!data || SizeofResource(nullptr, hResource) < kFixedFileInfoOffset + sizeof(VS_FIXEDFILEINFO))
        return;
    VS_FIXEDFILEINFO info;
    memcpy(&info, data + kFixedFileInfoOffset, sizeof info);
    if (info.dwSignature != kFixedFileInfoSignature)
        return;
    _snwprintf(version, 31, L"%u.%u.%u.%u", HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS),
               HIWORD(info.dwFileVersionLS), LOWORD(info.dwFileVersionLS));
    version[31] = L'\0';
}

void TraceWithVersion(const wchar_t* format)
{
    if (!g_traceLog.IsEnabled())
        return;
    wchar_t version[32];
    ReadProgramVersion(version);
    Trace(format, version);
}

// Traces the program's start with its version, and its end when it goes.
struct CTraceProgramLifetime {
    CTraceProgramLifetime() { TraceWithVersion(kTraceProgramStarted); }
    ~CTraceProgramLifetime() { TraceWithVersion(kTraceProgramExits); }
};

}  // namespace

StartupRole ClaimSingleInstance(const wchar_t* commandLine, wchar_t (&dialNumber)[kDialNumberChars])
{
    dialNumber[0] = L'\0';
    if (commandLine && wcsstr(commandLine, kExitRequest) && !IsDialCommandLine(commandLine)) {
        HWND hRunning = FindWindowW(nullptr, kInstanceName);
        if (hRunning) {
            // An open tray menu runs a loop of its own, which would take the
            // quit message and drop it (Wine's does): the menu goes first.
            PostMessageW(hRunning, WM_CANCELMODE, 0, 0);
            PostMessageW(hRunning, WM_QUIT, 0, 0);
        }
        return StartupRole::ExitRequest;
    }

    // Held, never closed, until the process ends: it marks the running instance.
    g_hInstanceMutex = CreateMutexW(nullptr, FALSE, kInstanceName);
    const bool running = GetLastError() == ERROR_ALREADY_EXISTS;
    DialVerdict verdict = FindDialRequest(commandLine, dialNumber);
    if (verdict != DialVerdict::Dialable && verdict != DialVerdict::NotALink)
        Trace(kTraceDialRefused, DescribeVerdict(verdict));
    if (running) {
        HWND hRunning = FindWindowW(nullptr, kInstanceName);
        if (verdict == DialVerdict::Dialable)
            HandOverDial(hRunning, dialNumber);
        if (hRunning) {
            ShowWindow(hRunning, SW_SHOW);
            SetForegroundWindow(hRunning);
        }
        return StartupRole::SecondInstance;
    }
    return StartupRole::OnlyInstance;
}

BOOL CCallvaneApp::InitInstance()
{
    const CTraceProgramLifetime traceLifetime;
    EnableControlContainer();
    wchar_t dialNumber[kDialNumberChars];
    if (ClaimSingleInstance(GetCommandLineW(), dialNumber) != StartupRole::OnlyInstance)
        return FALSE;
    // One writer of the log: a start that hands over to the running one, or
    // asks it to exit, writes nothing there.
    g_traceLog.ClaimFile();

    EnableThemedControls();

    // Settings are written to this path: if it cannot be built whole, the
    // program does not run rather than write somewhere else.
    wchar_t directory[MAX_PATH];
    if (!GetProgramDirectory(directory) || !BuildSettingsPaths(directory))
        return FALSE;

    auto dlg = std::make_unique<CCallvaneDlg>(nullptr);
    CopyTruncated(dlg->m_startDial, dialNumber);
    m_pMainWnd = dlg.get();
    dlg->DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
