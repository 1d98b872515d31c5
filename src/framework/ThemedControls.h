// Themed (version 6) common controls for dialogs. The program's own manifest
// does not ask for them: asked for there, they load with the first button of
// the first window, before the tray icon (docs/PERFORMANCE.md). The manifest in
// resource ISOLATIONAWARE_MANIFEST_RESOURCE_ID asks for them, and a dialog
// created inside that activation context gets them.
#pragma once

#include <windows.h>

// Reads the manifest into an activation context for this process. Called at
// start-up, before the dialogs; without it (or when it fails) dialogs get
// the system's default controls.
bool EnableThemedControls();

// Inside this scope, windows created on this thread get themed controls.
// The first scope entered also registers the common control classes: the
// themed ones, or the system's own when there is no activation context.
class CThemedControlsScope {
public:
    explicit CThemedControlsScope(bool bEnter);
    ~CThemedControlsScope();
    CThemedControlsScope(const CThemedControlsScope&) = delete;
    CThemedControlsScope& operator=(const CThemedControlsScope&) = delete;

private:
    ULONG_PTR m_cookie = 0;
    bool m_bActive = false;
};
