// CHandsetState: the device behind the virtual handset, without a window. It
// keeps what a real handset would (model, plugged in or not, display text,
// ready state, ring style, hands-free and speaker, line channels, hook and
// cradle), applies the controls' method calls to it, journals them and what
// the container does to the controls, and fires the device's events to the
// controls that have it open. Whoever shows the state is told of each change.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <deque>
#include <string>
#include <vector>

#include "SimIds.h"

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

// What the handset starts with (and returns to on "reset").
struct HandsetStartup {
    DWORD model = kSimDefaultModel;
    bool plugged = false;
    bool shown = true;   // the window's, not the device's
};

// What a real handset's display and switches would show.
struct HandsetDevice {
    DWORD model = kSimDefaultModel;
    bool plugged = false;
    bool lifted = false;
    bool inCradle = true;
    std::wstring display;
    bool ready = false;
    int ringStyle = 0;
    bool ringStyleSaved = false;
    bool handsFree = false;
    bool speaker = false;
    short lineChannel = 1;   // 0 the PSTN line, 1 USB
    short defaultChannel = 1;
    int keySignals = 0;
};

// Told of every change of the state, inside the change: it may only take
// note (the window schedules a repaint), never call back into the state.
class IHandsetStateObserver {
public:
    virtual void OnHandsetStateChanged() = 0;

protected:
    ~IHandsetStateObserver() = default;
};

// "0x0200", and the family the program tells the model by.
std::wstring ModelText(DWORD model);
const wchar_t* FamilyName(DWORD model);
// Event arguments of the device's events.
VARIANT BoolArg(bool value);
VARIANT ShortArg(short value);

class CHandsetState {
public:
    explicit CHandsetState(IHandsetStateObserver& observer) : m_observer(observer) {}
    CHandsetState(const CHandsetState&) = delete;
    CHandsetState& operator=(const CHandsetState&) = delete;

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

    // What a user does to the handset. Those that fire an event return how
    // many event sinks received it.
    int PressKey(short code);
    int SetHook(bool lifted);
    int SetCradle(bool inCradle);
    int RingLine(bool ringing);
    int FireToOpenControls(DISPID id, VARIANT* args, UINT count);
    void Plug();
    int Unplug();
    int SwapModel(DWORD model);
    void SetLineChannel(short channel);

    // Back to startup; connections lose the device without an event and
    // both journals are cleared.
    void Reset(const HandsetStartup& startup);
    void ClearJournals();

    const HandsetDevice& Device() const { return m_device; }
    int OpenControls() const;
    std::deque<std::wstring> JournalLines() const;
    const std::deque<std::wstring>& OleLogLines() const { return m_oleLog; }
    // "model=0x0200 family=hands-free plugged=1 ... signals=2", as the
    // "state" command reports it.
    std::wstring Describe() const;

private:
    void Journal(const std::wstring& line);
    int RemoveFromOpenControls();
    void Changed() { m_observer.OnHandsetStateChanged(); }

    IHandsetStateObserver& m_observer;
    HandsetDevice m_device;
    std::vector<CPhoneControl*> m_controls;   // attached, not owned
    // A method call as journalled: its parts (numbers and booleans only,
    // copied as they are), or the whole line. A call made every 2 s to a
    // handset that is not there is thus kept without writing text, which
    // cost more than the rest of the call.
    struct JournalEntry {
        const SimMethodSpec* method = nullptr;   // null: line holds it all
        VARIANT args[2] = {};
        VARIANT result = {};
        bool closed = false;
        std::wstring line;
        std::wstring Text() const;
    };
    std::deque<JournalEntry> m_journal;       // method calls, oldest first
    std::deque<std::wstring> m_oleLog;        // container calls, oldest first
};
