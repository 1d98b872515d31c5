#include "ThemedControls.h"

#include "WinApp.h"

#include <commctrl.h>

namespace {

HANDLE g_hContext = INVALID_HANDLE_VALUE;   // kept for the process's life
bool g_bClassesRegistered = false;

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
    if (!bEnter || g_hContext == INVALID_HANDLE_VALUE)
        return;
    m_bActive = ActivateActCtx(g_hContext, &m_cookie) != FALSE;
    if (!m_bActive || g_bClassesRegistered)
        return;
    // Inside the context, so that the version 6 library is the one loaded.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    g_bClassesRegistered = InitCommonControlsEx(&controls) != FALSE;
}

CThemedControlsScope::~CThemedControlsScope()
{
    if (m_bActive)
        DeactivateActCtx(0, m_cookie);
}
