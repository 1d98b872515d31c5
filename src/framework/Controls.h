// Wrappers for the common controls the dialogs bind by DDX_Control.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include "Wnd.h"

class CComboBox : public CWnd {
public:
    int AddString(const wchar_t* text) const { return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text))); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int index) const { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }
    // First entry at or after nStartAfter + 1 that begins with text, ignoring case.
    int FindString(int nStartAfter, const wchar_t* text) const
    {
        return static_cast<int>(SendMessage(CB_FINDSTRING, static_cast<WPARAM>(nStartAfter), reinterpret_cast<LPARAM>(text)));
    }
};

class CSliderCtrl : public CWnd {
public:
    int GetPos() const { return static_cast<int>(SendMessage(TBM_GETPOS)); }
    void SetPos(int pos) const { SendMessage(TBM_SETPOS, TRUE, pos); }
};
