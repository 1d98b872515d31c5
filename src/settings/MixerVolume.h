// CMixerVolume: one open mixer device, closed when the object goes, and the
// volume control of its lines.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include "framework/ScopedHandle.h"

struct MixerTraits : NullInvalid<HMIXER> {
    static void Close(HMIXER h);
};
using CMixerHandle = CScopedHandle<HMIXER, MixerTraits>;

class CMixerVolume {
public:
    CMixerVolume() = default;
    // Opens mixer device number device; IsOpen tells whether that worked.
    explicit CMixerVolume(UINT device);

    bool IsOpen() const { return m_hMixer.IsValid(); }
    HMIXER Handle() const { return m_hMixer.Get(); }

    // Mean level of the line's volume control over its channels (0-65535
    // on every mixer seen); 0 when the line has no volume control.
    DWORD GetVolume(DWORD componentType) const;
    // Gives every channel of the line's volume control the same level.
    // Always TRUE; nothing happens when the line has no volume control.
    BOOL SetVolume(DWORD componentType, DWORD level) const;
    // Whether the line's mute control is on; false when it has none.
    bool GetMute(DWORD componentType) const;
    // Switches the line's mute control on every channel; false when the
    // line has none or the mixer refused.
    bool SetMute(DWORD componentType, bool muted) const;

private:
    CMixerHandle m_hMixer;
};

// The handset's own sound device, as the mixer names it.
const wchar_t kHandsetAudioDeviceName[] = L"USB Audio Device";

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
// The device FindMixerWithLine finds, opened; not open when there is none or
// it cannot be opened.
CMixerVolume OpenMixerWithLine(const wchar_t* text, DWORD componentType);

// Slider positions are percentages of the full level 65535.
int LevelToPercent(DWORD level);
DWORD PercentToLevel(int percent);
