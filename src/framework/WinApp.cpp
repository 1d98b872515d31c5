#include "WinApp.h"

#include "Dialog.h"

namespace {
CWinApp* g_pApp = nullptr;
}

CWinApp::CWinApp()
{
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

CWinApp* GetApp()
{
    return g_pApp;
}

HINSTANCE GetResourceInstance()
{
    return ::GetModuleHandleW(nullptr);
}

bool CWinApp::PreTranslateMessage(MSG& msg)
{
    if (msg.hwnd == nullptr)
        return false;
    HWND hRoot = ::GetAncestor(msg.hwnd, GA_ROOT);
    if (CDialog::FromHandle(hRoot) == nullptr)
        return false;
    return ::IsDialogMessageW(hRoot, &msg) != FALSE;
}

int RunApplication(HINSTANCE hInstance)
{
    CWinApp* app = GetApp();
    if (!app)
        return 1;
    app->m_hInstance = hInstance;
    app->InitInstance();
    return app->ExitInstance();
}
