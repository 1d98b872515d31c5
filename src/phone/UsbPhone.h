// CUSBPHONE: the wrapper of the handset maker's control, bound to item 1000
// of the device dialog by data exchange. Each method of IHandset invokes the
// control's method of the same name by its dispatch number with the listed
// argument types. While no control is hosted (not installed), every call does
// nothing and the reads return 0 or FALSE.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "Handset.h"
#include "framework/Wnd.h"

class CUSBPHONE : public CWnd, public IHandset {
public:
    BOOL OpenDevice(LONG nIndex) override;   // tries once more to create a control not created before
    void CloseDevice() override;
    LONG GetDeviceModel() override;
    void SetRingStyle(BOOL bSave, short nStyle) override;
    void SignalKeyPress(short nSignal) override;
    void SetReady() override;
    void ShowNumber(const wchar_t* text) override;
    void ShowCallIn(const wchar_t* text) override;
    void ShowInTalk(const wchar_t* text) override;
    short GetLineChannel() override;
    void SetLineChannel(short nChannel) override;
    void SetSpeaker(BOOL bOn) override;
    void SetHandsFree(short nOn) override;
    void SetDefaultChannel(short nChannel) override;

private:
    // Calls method id of the hosted control with args in declaration order;
    // on success with a result type, result holds the value converted to it.
    // False when there is no control or the call failed.
    bool InvokeMethod(IDispatch* control, DISPID id, VARIANT* args, UINT count, VARTYPE resultType, VARIANT* result);
    // A method with no result, with no argument or one.
    void Call(DISPID id);
    void Call(DISPID id, VARIANT arg);   // arg owned by the caller
};
