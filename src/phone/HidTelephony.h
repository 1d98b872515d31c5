// CHidTelephony: what a standard HID telephony device's reports mean to the
// device dialog, without any device I/O. Fed the telephony usages pressed in
// each input report (as HidP_GetUsages lists them), it yields the events the
// maker's control would raise (hook changes, key codes); told the call state,
// it says which outputs (ringer, ring LED, off-hook LED) to switch on. A
// device's hook switch may report an absolute state or a toggle; after the
// program writes the off-hook LED, some devices report the hook back, and
// such echoes within kHidEchoWindowMs are not taken for the user's hand.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "HidIds.h"

struct HidEvent {
    enum Kind { kHook, kKey } kind;
    short value;                    // kHook: TRUE on-hook; kKey: a KeyPressed code
    bool operator==(const HidEvent& other) const { return kind == other.kind && value == other.value; }
};

// The outputs a call state asks for.
struct HidOutputs {
    bool ringer = false;
    bool ringLed = false;
    bool offHookLed = false;
    bool operator==(const HidOutputs& other) const
    {
        return ringer == other.ringer && ringLed == other.ringLed && offHookLed == other.offHookLed;
    }
};

// The KeyPressed code for a telephony usage, or 0 when it has none.
short HidKeyForUsage(uint16_t usage);

class CHidTelephony {
public:
    explicit CHidTelephony(bool bToggleHook = false) : m_bToggleHook(bToggleHook) {}

    // One input report of the telephony collection: the telephony-page usages
    // on in it, in any order. Returns the events it causes, in order.
    std::vector<HidEvent> OnReport(const uint16_t* usages, size_t count, DWORD nowMs);
    // The off-hook LED was just written as bOn: when that changed it (it
    // starts off), hook reports agreeing with it are echoes for the next
    // kHidEchoWindowMs.
    void OnOffHookLedWritten(bool bOn, DWORD nowMs);

    static HidOutputs OutputsForCallIn() { return {true, true, false}; }
    static HidOutputs OutputsForReady() { return {}; }
    static HidOutputs OutputsForTalk() { return {false, false, true}; }

    bool IsOffHook() const { return m_bOffHook; }

private:
    bool InEchoWindow(DWORD nowMs) const;
    void Hook(bool bOffHook, DWORD nowMs, std::vector<HidEvent>& events);

    bool m_bToggleHook;
    bool m_bOffHook = false;        // as last reported to the dialog
    bool m_bHookBitWas = false;     // the hook switch usage in the previous report
    std::vector<uint16_t> m_keysDown;   // key usages in the previous report
    bool m_bLedWritten = false;
    bool m_bLedOn = false;          // as last written
    DWORD m_ledWrittenAt = 0;
};
