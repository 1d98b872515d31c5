// CMixerVolume: reads and writes the volume control of one line of an open
// mixer device. The handle is opened and closed by its user, never here.
#pragma once

#include <windows.h>
#include <mmsystem.h>

class CMixerVolume {
public:
    // Mean level of the line's volume control over its channels (0-65535
    // on every mixer seen); 0 when the line has no volume control.
    DWORD GetVolume(DWORD componentType) const;
    // Gives every channel of the line's volume control the same level.
    // Always TRUE; nothing happens when the line has no volume control.
    BOOL SetVolume(DWORD componentType, DWORD level) const;

    HMIXER m_hMixer = nullptr;
};

// Whether text occurs in name, folding only the ASCII letters a-z to A-Z.
bool ContainsNoCase(const wchar_t* name, const wchar_t* text);
// Number of the first mixer device whose name contains text; -1 when none
// does or text is empty.
int FindMixerByName(const wchar_t* text);
// As FindMixerByName, but when that device lacks a line of componentType,
// the next device whose name contains text and has one. Playback and
// capture are separate mixer devices on current systems, so the first
// match alone has no microphone line.
int FindMixerWithLine(const wchar_t* text, DWORD componentType);

// Slider positions are percentages of the full level 65535.
int LevelToPercent(DWORD level);
DWORD PercentToLevel(int percent);
