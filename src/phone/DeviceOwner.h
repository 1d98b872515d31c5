// IDeviceOwner: what the device dialog needs of the rest of the program. The
// main dialog implements it; a test passes its own to drive the handset side
// alone.
#pragma once

#include <cstdint>

class IDeviceOwner {
public:
    // Hands a command code to the messenger side (its ExecuteCommand); 0 when
    // nothing carried it out.
    virtual int ExecuteCommand(uint32_t nCode, int32_t nParam) = 0;
    // Types a whole number into the messenger's emptied number box, without
    // calling it; true only when the box then holds exactly that number.
    // Nothing is typed when the focus cannot be put in the box.
    virtual bool TypeNumber(const wchar_t* number) = 0;
    // The handset was found or has gone: the tray shows the new state.
    virtual void RefreshTrayStatus() = 0;
    // A handset was found (again) and shows ready: a call that still rings
    // or runs is to be reported to it afresh, since it missed the report.
    virtual void HandsetFound() = 0;

protected:
    ~IDeviceOwner() = default;
};
