// CHidTelephony: what a standard HID telephony device's reports mean to the
// device dialog, without any device I/O. Fed the telephony usages pressed in
// each input report (as HidP_GetUsages lists them) with the report's id, it
// yields the events the maker's control would raise (hook changes, key
// codes) and the mute presses; told the call, it says which outputs (ringer,
// ring LED, off-hook and mute LEDs) to switch on. A device's hook switch may
// report an absolute state, a press that toggles it, or a relative value
// (-1 on hook, +1 off hook); only the reports whose ids carry it move it.
// The hook of a toggle or relative device is the device's idea of the call:
// the off-hook state Callvane shows is the state, so it follows the call.
// After the program writes the off-hook LED, some devices report the hook
// back, and such echoes within kHidEchoWindowMs are not taken for the hand.
//
// The free functions below read a device's capabilities (its collections and
// controls, as HidP lists them) without any device I/O: which collection is a
// handset, and where its controls lie.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "HidIds.h"

struct HidEvent {
    enum Kind { kHook, kKey, kMute } kind;
    short value;                    // kHook: TRUE on-hook; kKey: a KeyPressed code; kMute: TRUE muted
    bool operator==(const HidEvent& other) const { return kind == other.kind && value == other.value; }
};

// The outputs a call state asks for.
struct HidOutputs {
    bool ringer = false;
    bool ringLed = false;
    bool offHookLed = false;
    bool muteLed = false;
    bool operator==(const HidOutputs& other) const
    {
        return ringer == other.ringer && ringLed == other.ringLed && offHookLed == other.offHookLed &&
               muteLed == other.muteLed;
    }
};

enum class HidHookForm { kAbsolute, kToggle, kRelative };
enum class HidCall { kReady, kRinging, kTalk };

// The KeyPressed code for a telephony usage, or 0 when it has none.
short HidKeyForUsage(uint16_t usage);

class CHidTelephony {
public:
    // hookIds: the input report ids that carry the hook switch.
    explicit CHidTelephony(HidHookForm form = HidHookForm::kAbsolute, std::vector<uint8_t> hookIds = {0})
        : m_form(form), m_hookIds(std::move(hookIds))
    {
    }

    // One input report: its id, the telephony-page usages on in it, in any
    // order, and for a relative hook the hook switch's value in it. Returns
    // the events it causes, in order.
    std::vector<HidEvent> OnReport(uint8_t reportId, const uint16_t* usages, size_t count, DWORD nowMs,
                                   int hookValue = 0);
    // The off-hook LED was just written as bOn: when that changed it (it
    // starts off), hook reports agreeing with it are echoes for the next
    // kHidEchoWindowMs.
    void OnOffHookLedWritten(bool bOn, DWORD nowMs);
    // The call the dialog now shows; returns the outputs it asks for. A hook
    // that is the device's idea follows it; mute ends with the call.
    HidOutputs ShowCall(HidCall call);

    bool IsOffHook() const { return m_bOffHook; }
    bool IsMuted() const { return m_bMuted; }

private:
    bool InEchoWindow(DWORD nowMs) const;
    void Hook(bool bOffHook, DWORD nowMs, std::vector<HidEvent>& events);
    void HookFromReport(const std::vector<uint16_t>& down, const std::vector<uint16_t>* before, DWORD nowMs,
                        int hookValue, std::vector<HidEvent>& events);

    HidHookForm m_form;
    std::vector<uint8_t> m_hookIds;
    bool m_bOffHook = false;        // as last reported to the dialog
    HidCall m_call = HidCall::kReady;
    bool m_bMuted = false;
    std::map<uint8_t, std::vector<uint16_t>> m_lastReports;    // usages on in the last report of each id
    bool m_bLedWritten = false;
    bool m_bLedOn = false;          // as last written
    DWORD m_ledWrittenAt = 0;
    bool m_bLiftUnseen = false;     // an absolute hook was lifted when the off-hook LED went out
    bool m_bReplaceUnseen = false;  // an absolute hook was down when the off-hook LED lit
};

// A link collection as HidP_GetLinkCollectionNodes lists it.
struct HidCollectionNode {
    uint16_t page;
    uint16_t usage;
    uint16_t parent;
    uint8_t type;                   // 1: application
};

// A control (a button range or a value) of a device's capabilities.
struct HidControl {
    uint16_t page;
    uint16_t usageMin;
    uint16_t usageMax;
    uint16_t link;                  // the link collection it lies in
    uint8_t reportId;
    bool absolute;
    bool value = false;             // a value, not buttons
    long logicalMin = 0;            // values only
    uint16_t bitSize = 1;
    bool Covers(uint16_t p, uint16_t u) const { return page == p && usageMin <= u && u <= usageMax; }
};

// One output Callvane drives, where the device takes it.
struct HidOutputControl {
    uint16_t page;
    uint16_t usage;
    uint8_t reportId;
    uint16_t link;
};

// What a handset's capabilities say about its telephony collection.
struct HidHandsetLayout {
    HidHookForm hookForm = HidHookForm::kAbsolute;
    std::vector<uint8_t> hookIds;               // input reports with the hook switch
    std::vector<uint8_t> inputIds;              // input reports with telephony controls
    bool hookIsValue = false;                   // read with HidP_GetUsageValue
    uint16_t hookLink = 0;
    uint16_t hookBits = 1;
    std::vector<uint16_t> links;                // the collection and those nested in it
    std::vector<HidOutputControl> outputs;      // ringer, ring, off-hook and mute LEDs
};

// The index of the first telephony application collection (phone,
// answering machine, message controls, handset, headset) holding a hook
// switch input, in it or in a collection nested in it, whatever its place
// among the device's collections; -1 when there is none: a telephony
// collection without a hook (a webcam's or keyboard's Phone Mute) is no
// handset.
int FindHandsetCollection(const std::vector<HidCollectionNode>& nodes, const std::vector<HidControl>& inputs);
// Where the controls of collection root and the collections nested in it lie.
HidHandsetLayout DescribeHandset(const std::vector<HidCollectionNode>& nodes, int root,
                                 const std::vector<HidControl>& inputs, const std::vector<HidControl>& outputs);
