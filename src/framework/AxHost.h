// Hosting of ActiveX controls in dialog templates. A template item of class
// "CallvaneAxHost" names the control's class id as its text and may carry
// the control's init stream as creation data. When the dialog creates the
// item, the host window creates the control and sites it the way an OLE
// container does (client site, init stream, event connection, in-place
// activation); it tears all of that down in reverse when the item is
// destroyed. The control's events reach the item's parent as WM_AXEVENT.
#pragma once

#include <windows.h>
#include <oaidl.h>

extern const wchar_t kAxHostClassName[];

// Sent (never posted) to the host window's parent for each event the hosted
// control fires, on the thread that hosts it. wParam: the host's control id;
// lParam: const AxEvent*, valid only during the call.
const UINT WM_AXEVENT = WM_APP + 0x0A0;

struct AxEvent {
    DISPID dispid;
    const DISPPARAMS* params;   // as the control passed them: last argument first
};

// Reads argument index (0 = first in declaration order) of an event,
// converted to type vt. False, with out left VT_EMPTY, when the event has no
// such argument or it does not convert. The caller clears out.
bool GetAxEventArg(const AxEvent& event, UINT index, VARTYPE vt, VARIANT& out);

// Registers the host window class. Called once at start-up, before any
// dialog that hosts a control. OLE is started on the thread when its first
// control is created, so a start that hosts none yet does not load it.
bool EnableControlContainer();
// The hosted control's dispatch interface (not AddRef'ed), or null when the
// control is not installed or could not be created.
IDispatch* GetHostedControl(HWND hHost);
// As GetHostedControl, but first tries once more to create the control if
// that failed before (a control installed while the program runs).
IDispatch* EnsureHostedControl(HWND hHost);
