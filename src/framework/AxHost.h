// Hosting of ActiveX controls in dialog templates. A template item of class
// "CallvaneAxHost" names the control's class id as its text and may carry
// the control's init stream as creation data; the host window creates the
// control when the dialog creates the item.
#pragma once

#include <windows.h>
#include <oaidl.h>

extern const wchar_t kAxHostClassName[];

// Initialises OLE for this thread and registers the host window class.
// Called once at start-up, before any dialog that hosts a control.
bool EnableControlContainer();
// The hosted control's dispatch interface (not AddRef'ed), or null when the
// control is not installed or could not be created.
IDispatch* GetHostedControl(HWND hHost);
