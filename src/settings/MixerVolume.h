// CMixerVolume: reads and writes the volume control of one line of an open
// mixer device. The handle is opened and closed by its user.
#pragma once

#include <windows.h>
#include <mmsystem.h>

class CMixerVolume {
public:
    HMIXER m_hMixer = nullptr;
};
