#include "CallvaneApp.h"

#include "AppIds.h"
#include "CallvaneDlg.h"
#include "framework/AxHost.h"
#include "framework/BoundedString.h"
#include "framework/ModulePath.h"
#include "framework/ThemedControls.h"
#include "settings/SettingsPaths.h"
#include "trace/TraceLog.h"
#include "trace/TracePoints.h"

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
