// CWinApp: the application object. A program derives one class from it,
// makes one static instance, and overrides InitInstance. WinMain calls
// RunApplication, which runs InitInstance and, only if it returns TRUE, the
// message loop; ExitInstance ends the program either way.
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
    int Run();

    // Gives dialogs their keyboard handling (Tab, Enter, Escape): true when
    // the message was consumed.
    static bool PreTranslateMessage(MSG& msg);

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;   // its destruction ends the message loop
};

CWinApp* GetApp();
HINSTANCE GetResourceInstance();
int RunApplication(HINSTANCE hInstance);
