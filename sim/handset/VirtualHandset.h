// CVirtualHandset: the handset the stand-in control drives, one per GUI
// thread. It keeps what a real handset would (model, plugged in or not,
// display text, ready state, ring style, hands-free and speaker, line
// channels, hook and cradle), journals every method call the controls make,
// and shows all of it in a small top-level window with a keypad, switches
// and a model choice. The same window is the command channel for scripts
// and tests (SimIds.h). Events go to the controls that have the device open,
// always on this thread.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <deque>
#include <string>
#include <vector>

#include "SimHandles.h"

class CPhoneControl;

// One method of the control: its number, name, argument types in order and
// result type (VT_EMPTY when it returns nothing).
struct SimMethodSpec {
    DISPID id;
    const wchar_t* name;
    UINT argCount;
    VARTYPE argTypes[2];
    VARTYPE resultType;
};
const SimMethodSpec* FindSimMethod(DISPID id);

class CVirtualHandset {
public:
    // The handset of the calling thread, created with its window on first use.
    static CVirtualHandset* ForThisThread();
    // Whether any thread has created one (its window keeps the module loaded).
    static bool AnyCreated();

    void Attach(CPhoneControl* control);
    void Detach(CPhoneControl* control);

    // A method call of a control, already checked against its spec: args are
    // in declaration order and of the declared types. Journals the call and
    // applies it to the device when the control has the device open.
    void CallMethod(CPhoneControl& from, const SimMethodSpec& spec, const VARIANT* args, VARIANT* result);
    // A call the control refused (wrong count or types), journalled as such.
    void JournalRefused(const SimMethodSpec& spec, const std::wstring& why);
    // What the container did to a control (site, stream, verbs, connection).
    void OleLog(const std::wstring& line);

    // Runs one command line of the channel; the reply starts with "ok" or
    // "error:".
    std::wstring Execute(const std::wstring& commandLine);

    HWND Window() const { return m_hWnd; }

private:
    CVirtualHandset();
    CVirtualHandset(const CVirtualHandset&) = delete;
    CVirtualHandset& operator=(const CVirtualHandset&) = delete;

    void ResetState();
    void ApplyEnvironment();
    void CreateHandsetWindow();
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnCommand(UINT id, UINT code);
    LRESULT OnChannelRequest(HWND hReplyTo, const COPYDATASTRUCT* request);
    // Brings the window up to the device's state when the thread next
    // handles its messages; RefreshNow does it at once.
    void Refresh();
    void RefreshNow();

    // What a user does to the handset. Each returns how many event sinks
    // received the resulting event.
    int PressKey(short code);
    int SetHook(bool lifted);
    int SetCradle(bool inCradle);
    int RingLine(bool ringing);
    int Unplug();
    int SwapModel(DWORD model);
    int FireToOpenControls(DISPID id, VARIANT* args, UINT count);
    int RemoveFromOpenControls();

    void Journal(const std::wstring& line);
    std::wstring StateText() const;

    HWND m_hWnd = nullptr;
    CSimGdiObject<HFONT> m_font;
    CSimGdiObject<HFONT> m_displayFont;
    CSimGdiObject<HBRUSH> m_displayBrush;
    std::vector<CPhoneControl*> m_controls;   // attached, not owned
    std::deque<std::wstring> m_journal;       // method calls, oldest first
    std::deque<std::wstring> m_oleLog;        // container calls, oldest first

    // The device.
    DWORD m_model = 0;
    bool m_bPlugged = false;
    bool m_bVisible = true;
    bool m_bLifted = false;
    bool m_bInCradle = true;
    std::wstring m_display;
    bool m_bReady = false;
    int m_nRingStyle = 0;
    bool m_bRingStyleSaved = false;
    bool m_bHandsFree = false;
    bool m_bSpeaker = false;
    short m_nLineChannel = 1;
    short m_nDefaultChannel = 1;
    int m_nKeySignals = 0;
    bool m_bRefreshing = false;       // set while the window's controls are updated
    bool m_bRefreshPosted = false;    // a refresh message is on its way
};
