// CWinApp: the application object. A program derives one class from it,
// makes one static instance, and overrides InitInstance, which runs the
// program: a dialog-based program runs its main dialog modally there, and
// that run is the program's message loop. WinMain calls RunApplication,
// which calls InitInstance and then ExitInstance for the exit code.
// InitInstance returns FALSE when the program has run to its end there;
// TRUE would ask for a message loop, which this framework does not run.
#pragma once

#include <windows.h>

class CWnd;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return FALSE; }
    virtual int ExitInstance() { return 0; }

    // Gives dialogs their keyboard handling (Tab, Enter, Escape): true when
    // the message was consumed.
    static bool PreTranslateMessage(MSG& msg);

    HINSTANCE m_hInstance = nullptr;
    // Its destruction posts WM_QUIT, which ends every modal run of the
    // thread, nested ones included.
    CWnd* m_pMainWnd = nullptr;
};

CWinApp* GetApp();
HINSTANCE GetResourceInstance();
int RunApplication(HINSTANCE hInstance);
