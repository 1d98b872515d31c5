// The four mixer calls the volume class makes, as a table. They are winmm's;
// a test may put in a mixer layout the sound server cannot produce (such as
// a two-channel line that is not uniform).
#pragma once

#include <windows.h>
#include <mmsystem.h>

struct MixerApi {
    decltype(&mixerGetLineInfoW) getLineInfo;
    decltype(&mixerGetLineControlsW) getLineControls;
    decltype(&mixerGetControlDetailsW) getControlDetails;
    decltype(&mixerSetControlDetails) setControlDetails;
};

// The table in use; winmm's unless a test replaced it.
MixerApi& CurrentMixerApi();
const MixerApi& WinmmMixerApi();
