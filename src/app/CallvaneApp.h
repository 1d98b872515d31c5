// CCallvaneApp: decides at start-up whether this process asks a running
// instance to quit, gives way to one, or is the one instance; the one
// instance lives inside the main dialog's modal run.
#pragma once

#include "DialLink.h"
#include "framework/WinApp.h"

extern HANDLE g_hInstanceMutex;

class CCallvaneApp : public CWinApp {
public:
    // Always FALSE: the program has run to its end in the main dialog.
    BOOL InitInstance() override;
};

// The start-up decision, before any window exists.
enum class StartupRole { ExitRequest, SecondInstance, OnlyInstance };
// Handles "*exit*" and the single-instance mutex; sets g_hInstanceMutex. A
// number to dial on the command line is handed to a running instance, or
// returned in dialNumber (empty: none) for this one.
StartupRole ClaimSingleInstance(const wchar_t* commandLine, wchar_t (&dialNumber)[kDialNumberChars]);
