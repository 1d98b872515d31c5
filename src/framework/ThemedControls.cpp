#include "ThemedControls.h"

#include "SystemDll.h"
#include "WinApp.h"

#include <commctrl.h>

namespace {

HANDLE g_hContext = INVALID_HANDLE_VALUE;   // kept for the process's life
bool g_bClassesRegistered = false;

// comctl32 is not imported: the library loaded here, inside the context when
// there is one, is the one the process keeps. Without it, or without the
// function, dialogs holding common controls are not created; nothing else
// fails.
bool RegisterCommonControls()
{
    decltype(&InitCommonControlsEx) init = nullptr;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    return Bind(LoadSystemDll(L"comctl32.dll"), "InitCommonControlsEx", init) && init(&controls);
}

}  // namespace

bool EnableThemedControls()
{
    if (g_hContext != INVALID_HANDLE_VALUE)
        return true;
    ACTCTXW context = {};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.hModule = GetResourceInstance();
    context.lpResourceName = ISOLATIONAWARE_MANIFEST_RESOURCE_ID;
    g_hContext = CreateActCtxW(&context);
    return g_hContext != INVALID_HANDLE_VALUE;
}

CThemedControlsScope::CThemedControlsScope(bool bEnter)
{
    if (!bEnter)
        return;
    m_bActive = g_hContext != INVALID_HANDLE_VALUE && ActivateActCtx(g_hContext, &m_cookie);
    // Inside the context, the version 6 library; without it, the system's
    // own controls.
    if (!g_bClassesRegistered)
        g_bClassesRegistered = RegisterCommonControls();
}

CThemedControlsScope::~CThemedControlsScope()
{
    if (m_bActive)
        DeactivateActCtx(0, m_cookie);
}
