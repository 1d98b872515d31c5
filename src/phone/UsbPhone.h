// CUSBPHONE: the wrapper of the handset maker's control, bound to item 1000
// of the device dialog by data exchange. Each method invokes the control's
// method of the same name by its dispatch number with the listed argument
// types. While no control is hosted (not installed), every call does
// nothing and the reads return 0 or FALSE.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "framework/Wnd.h"

class CUSBPHONE : public CWnd {
public:
    // TRUE when the handset is present and now open. Tries once more to
    // create the control if it could not be created before.
    BOOL OpenDevice(LONG nIndex);
    void CloseDevice();
    LONG GetDeviceModel();
    // bSave: TRUE when the user chose the style, FALSE when it is reapplied.
    void SetRingStyle(BOOL bSave, short nStyle);
    void SignalKeyPress(short nSignal);
    void SetReady();
    void ShowNumber(const wchar_t* text);
    void ShowCallIn(const wchar_t* text);
    void ShowInTalk(const wchar_t* text);
    // The adaptor's line in use: 0 PSTN, 1 USB.
    short GetLineChannel();
    void SetLineChannel(short nChannel);
    void SetSpeaker(BOOL bOn);
    void SetHandsFree(short nOn);
    void SetDefaultChannel(short nChannel);

private:
    // Calls method id of the hosted control with args in declaration order;
    // on success with a result type, result holds the value converted to it.
    // False when there is no control or the call failed.
    bool InvokeMethod(IDispatch* control, DISPID id, VARIANT* args, UINT count, VARTYPE resultType, VARIANT* result);
};
