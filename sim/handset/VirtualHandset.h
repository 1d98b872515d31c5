// CVirtualHandset: the handset the stand-in control drives, one per GUI
// thread. Its device (CHandsetState) is shown in a small top-level window
// with a keypad, switches and a model choice; the same window is the command
// channel for scripts and tests (SimIds.h), whose lines CHandsetCommands
// runs. Events go to the controls that have the device open, always on this
// thread.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

#include "HandsetCommands.h"
#include "HandsetState.h"
#include "SimHandles.h"

class CPhoneControl;

class CVirtualHandset : private IHandsetStateObserver, private IHandsetView {
public:
    // The handset of the calling thread, created with its window on first use.
    static CVirtualHandset* ForThisThread();
    // Whether any thread has created one (its window keeps the module loaded).
    static bool AnyCreated();

    // What the controls do, kept by the device state.
    void Attach(CPhoneControl* control) { m_state.Attach(control); }
    void Detach(CPhoneControl* control) { m_state.Detach(control); }
    void CallMethod(CPhoneControl& from, const SimMethodSpec& spec, const VARIANT* args, VARIANT* result)
    {
        m_state.CallMethod(from, spec, args, result);
    }
    void JournalRefused(const SimMethodSpec& spec, const std::wstring& why) { m_state.JournalRefused(spec, why); }
    void OleLog(const std::wstring& line) { m_state.OleLog(line); }

private:
    CVirtualHandset();
    CVirtualHandset(const CVirtualHandset&) = delete;
    CVirtualHandset& operator=(const CVirtualHandset&) = delete;

    void CreateHandsetWindow(bool shown);
    void CreateControls();
    // A size at 96 DPI, at the window's scale.
    int Scaled(int size) const;
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnCommand(UINT id, UINT code);
    LRESULT OnChannelRequest(HWND hReplyTo, const COPYDATASTRUCT* request);

    // The device changed: the window catches up when the thread next
    // handles its messages; RefreshNow does it at once.
    void OnHandsetStateChanged() override;
    void RefreshNow();

    void ShowView(bool shown) override;
    void MoveView(int x, int y) override;
    bool IsViewShown() const override;

    CHandsetState m_state;
    CHandsetCommands m_commands;
    HWND m_hWnd = nullptr;
    CSimGdiObject<HFONT> m_font;
    CSimGdiObject<HFONT> m_displayFont;
    CSimGdiObject<HBRUSH> m_displayBrush;
    UINT m_dpi = 96;                  // the scale the window is laid out at
    bool m_bRefreshing = false;       // set while the window's controls are updated
    bool m_bRefreshPosted = false;    // a refresh message is on its way
};
