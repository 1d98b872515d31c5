// IHandset: the handset maker's control as the device dialog calls it, one
// method per dispatch number of the control. CUSBPHONE implements it on the
// hosted control; a test passes its own to drive the call logic without a
// window or a control.
#pragma once

#include <windows.h>

class IHandset {
public:
    // TRUE when the handset is present and now open.
    virtual BOOL OpenDevice(LONG nIndex) = 0;
    virtual void CloseDevice() = 0;
    virtual LONG GetDeviceModel() = 0;
    // bSave: TRUE when the user chose the style, FALSE when it is reapplied.
    virtual void SetRingStyle(BOOL bSave, short nStyle) = 0;
    virtual void SignalKeyPress(short nSignal) = 0;
    virtual void SetReady() = 0;
    virtual void ShowNumber(const wchar_t* text) = 0;
    virtual void ShowCallIn(const wchar_t* text) = 0;
    virtual void ShowInTalk(const wchar_t* text) = 0;
    // The adaptor's line in use: 0 PSTN, 1 USB.
    virtual short GetLineChannel() = 0;
    virtual void SetLineChannel(short nChannel) = 0;
    virtual void SetSpeaker(BOOL bOn) = 0;
    virtual void SetHandsFree(short nOn) = 0;
    virtual void SetDefaultChannel(short nChannel) = 0;

protected:
    ~IHandset() = default;
};
