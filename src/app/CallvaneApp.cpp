#include "CallvaneApp.h"

#include "AppIds.h"
#include "CallvaneDlg.h"
#include "framework/AxHost.h"
#include "framework/ModulePath.h"
#include "framework/ThemedControls.h"
#include "settings/SettingsPaths.h"
#include "trace/TracePoints.h"

#include <cwchar>
#include <memory>

HANDLE g_hInstanceMutex = nullptr;

StartupRole ClaimSingleInstance(const wchar_t* commandLine)
{
    if (commandLine && wcsstr(commandLine, kExitRequest)) {
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
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        HWND hRunning = FindWindowW(nullptr, kInstanceName);
        if (hRunning) {
            ShowWindow(hRunning, SW_SHOW);
            SetForegroundWindow(hRunning);
        }
        return StartupRole::SecondInstance;
    }
    return StartupRole::OnlyInstance;
}

void CCallvaneApp::InitInstance()
{
    const CTraceProgramLifetime traceLifetime;
    EnableControlContainer();
    if (ClaimSingleInstance(GetCommandLineW()) != StartupRole::OnlyInstance)
        return;

    EnableThemedControls();

    // Settings are written to this path: if it cannot be built whole, the
    // program does not run rather than write somewhere else.
    wchar_t directory[MAX_PATH];
    if (!GetProgramDirectory(directory) || !BuildSettingsPaths(directory))
        return;

    auto dlg = std::make_unique<CCallvaneDlg>(nullptr);
    m_pMainWnd = dlg.get();
    dlg->DoModal();
    m_pMainWnd = nullptr;
}
