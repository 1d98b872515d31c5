// The eight mixer calls the program makes, as a table. They are winmm's, which
// is not imported: it is loaded from the system folder at the first use,
// after the tray icon, and without it or one of its functions there is no
// mixer. A test may put in a
// mixer layout the sound server cannot produce (such as a two-channel line
// that is not uniform).
#pragma once

#include <windows.h>
#include <mmsystem.h>

struct MixerApi {
    decltype(&mixerGetNumDevs) getNumDevs;
    decltype(&mixerGetDevCapsW) getDevCaps;
    decltype(&mixerOpen) open;
    decltype(&mixerClose) close;
    decltype(&mixerGetLineInfoW) getLineInfo;
    decltype(&mixerGetLineControlsW) getLineControls;
    decltype(&mixerGetControlDetailsW) getControlDetails;
    decltype(&mixerSetControlDetails) setControlDetails;
};

// The table in use; winmm's unless a test replaced it.
MixerApi& CurrentMixerApi();
const MixerApi& WinmmMixerApi();
// The functions of module; when it is null or lacks one, a table of null
// functions: no mixer, which the callers check for.
MixerApi LoadMixerApi(HMODULE module);
