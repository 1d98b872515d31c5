// The handsets the virtual HID device can play: report descriptors laid out
// like those of real telephony devices (an absolute hook switch with its keys
// as an array, a toggle hook switch with its keys as buttons, a composite
// device whose telephony collection comes third), and one without any
// telephony collection. Items are written out one per line so that each can
// be checked against the HID usage tables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct HidLayout {
    const wchar_t* name;        // as handsetctl and the tests name it
    const wchar_t* product;     // the product string the device reports
    uint16_t vendorId;
    uint16_t productId;
    uint16_t version;
    const uint8_t* descriptor;
    size_t descriptorLength;
    // Where the telephony controls lie, for InputReport and Indicators.
    uint8_t inputId;            // 0: the device has no report ids
    bool toggleHook;            // the hook switch is a press that flips it
    bool keysAsButtons;         // else one key as an array index (1..12)
    uint8_t outputId;           // the report with the ring and off-hook outputs
    uint8_t ringMask;           // all of these bits on: ringing
    uint8_t offHookMask;
};

// A desk phone: one telephony collection, no report ids. Input: hook switch
// (absolute), mute, flash, redial as bits, then one phone key as an array
// index (0 none, 1..12 = keys 0..9, *, #). Output: LEDs off-hook, ring, mute.
const uint8_t kDeskPhoneDescriptor[] = {
    0x05, 0x0B,        // Usage Page (Telephony)
    0x09, 0x01,        // Usage (Phone)
    0xA1, 0x01,        // Collection (Application)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x09, 0x20,        //   Usage (Hook Switch)
    0x09, 0x2F,        //   Usage (Phone Mute)
    0x09, 0x21,        //   Usage (Flash)
    0x09, 0x24,        //   Usage (Redial)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x04,        //   Report Count (4)
    0x81, 0x02,        //   Input (Data,Var,Abs)
    0x95, 0x04,        //   Report Count (4)
    0x81, 0x01,        //   Input (Const) padding
    0x15, 0x01,        //   Logical Minimum (1)
    0x25, 0x0C,        //   Logical Maximum (12)
    0x19, 0xB0,        //   Usage Minimum (Phone Key 0)
    0x29, 0xBB,        //   Usage Maximum (Phone Key Pound)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x01,        //   Report Count (1)
    0x81, 0x00,        //   Input (Data,Array,Abs)
    0x05, 0x08,        //   Usage Page (LEDs)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x09, 0x17,        //   Usage (Off-Hook)
    0x09, 0x18,        //   Usage (Ring)
    0x09, 0x09,        //   Usage (Mute)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x03,        //   Report Count (3)
    0x91, 0x02,        //   Output (Data,Var,Abs)
    0x95, 0x05,        //   Report Count (5)
    0x91, 0x01,        //   Output (Const) padding
    0xC0,              // End Collection
};

// A headset: report id 1 in, 2 out. Input: hook switch as a toggle
// (relative), flash, redial, drop, mute, then keys 0..9, *, # as twelve
// buttons. Output: the telephony page's Ringer and the off-hook LED.
const uint8_t kHeadsetDescriptor[] = {
    0x05, 0x0B,        // Usage Page (Telephony)
    0x09, 0x05,        // Usage (Headset)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x01,        //   Report ID (1)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x09, 0x20,        //   Usage (Hook Switch)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x01,        //   Report Count (1)
    0x81, 0x06,        //   Input (Data,Var,Rel)
    0x09, 0x21,        //   Usage (Flash)
    0x09, 0x24,        //   Usage (Redial)
    0x09, 0x26,        //   Usage (Drop)
    0x09, 0x2F,        //   Usage (Phone Mute)
    0x95, 0x04,        //   Report Count (4)
    0x81, 0x02,        //   Input (Data,Var,Abs)
    0x95, 0x03,        //   Report Count (3)
    0x81, 0x01,        //   Input (Const) padding
    0x19, 0xB0,        //   Usage Minimum (Phone Key 0)
    0x29, 0xBB,        //   Usage Maximum (Phone Key Pound)
    0x95, 0x0C,        //   Report Count (12)
    0x81, 0x02,        //   Input (Data,Var,Abs)
    0x95, 0x04,        //   Report Count (4)
    0x81, 0x01,        //   Input (Const) padding
    0x85, 0x02,        //   Report ID (2)
    0x09, 0x9E,        //   Usage (Ringer)
    0x95, 0x01,        //   Report Count (1)
    0x91, 0x02,        //   Output (Data,Var,Abs)
    0x05, 0x08,        //   Usage Page (LEDs)
    0x09, 0x17,        //   Usage (Off-Hook)
    0x91, 0x02,        //   Output (Data,Var,Abs)
    0x95, 0x06,        //   Report Count (6)
    0x91, 0x01,        //   Output (Const) padding
    0xC0,              // End Collection
};

// A composite device: consumer control (id 1), a vendor collection (id 2),
// then the telephony collection (ids 3 in, 4 out) with an absolute hook
// switch, mute, flash, and one key as an array; ring by LED and Ringer both.
const uint8_t kCompositeDescriptor[] = {
    0x05, 0x0C,        // Usage Page (Consumer)
    0x09, 0x01,        // Usage (Consumer Control)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x01,        //   Report ID (1)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x09, 0xE9,        //   Usage (Volume Increment)
    0x09, 0xEA,        //   Usage (Volume Decrement)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x02,        //   Report Count (2)
    0x81, 0x06,        //   Input (Data,Var,Rel)
    0x95, 0x06,        //   Report Count (6)
    0x81, 0x01,        //   Input (Const) padding
    0xC0,              // End Collection
    0x06, 0x00, 0xFF,  // Usage Page (Vendor 0xFF00)
    0x09, 0x01,        // Usage (1)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x02,        //   Report ID (2)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x04,        //   Report Count (4)
    0x09, 0x01,        //   Usage (1)
    0x81, 0x02,        //   Input (Data,Var,Abs)
    0x09, 0x01,        //   Usage (1)
    0x91, 0x02,        //   Output (Data,Var,Abs)
    0xC0,              // End Collection
    0x05, 0x0B,        // Usage Page (Telephony)
    0x09, 0x05,        // Usage (Headset)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x03,        //   Report ID (3)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x09, 0x20,        //   Usage (Hook Switch)
    0x09, 0x2F,        //   Usage (Phone Mute)
    0x09, 0x21,        //   Usage (Flash)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x03,        //   Report Count (3)
    0x81, 0x02,        //   Input (Data,Var,Abs)
    0x95, 0x05,        //   Report Count (5)
    0x81, 0x01,        //   Input (Const) padding
    0x15, 0x01,        //   Logical Minimum (1)
    0x25, 0x0C,        //   Logical Maximum (12)
    0x19, 0xB0,        //   Usage Minimum (Phone Key 0)
    0x29, 0xBB,        //   Usage Maximum (Phone Key Pound)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x01,        //   Report Count (1)
    0x81, 0x00,        //   Input (Data,Array,Abs)
    0x85, 0x04,        //   Report ID (4)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x09, 0x9E,        //   Usage (Ringer)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x01,        //   Report Count (1)
    0x91, 0x02,        //   Output (Data,Var,Abs)
    0x05, 0x08,        //   Usage Page (LEDs)
    0x09, 0x17,        //   Usage (Off-Hook)
    0x09, 0x18,        //   Usage (Ring)
    0x09, 0x09,        //   Usage (Mute)
    0x95, 0x03,        //   Report Count (3)
    0x91, 0x02,        //   Output (Data,Var,Abs)
    0x95, 0x04,        //   Report Count (4)
    0x91, 0x01,        //   Output (Const) padding
    0xC0,              // End Collection
};

// A keyboard's media keys only: no telephony collection at all.
const uint8_t kMediaKeysDescriptor[] = {
    0x05, 0x0C,        // Usage Page (Consumer)
    0x09, 0x01,        // Usage (Consumer Control)
    0xA1, 0x01,        // Collection (Application)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x09, 0xCD,        //   Usage (Play/Pause)
    0x09, 0xE2,        //   Usage (Mute)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x02,        //   Report Count (2)
    0x81, 0x06,        //   Input (Data,Var,Rel)
    0x95, 0x06,        //   Report Count (6)
    0x81, 0x01,        //   Input (Const) padding
    0xC0,              // End Collection
};

// A webcam's or keyboard's telephony controls: a Phone collection with Phone
// Mute alone and no hook switch, which makes it no handset.
const uint8_t kPhoneMuteDescriptor[] = {
    0x05, 0x0B,        // Usage Page (Telephony)
    0x09, 0x01,        // Usage (Phone)
    0xA1, 0x01,        // Collection (Application)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x09, 0x2F,        //   Usage (Phone Mute)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x01,        //   Report Count (1)
    0x81, 0x06,        //   Input (Data,Var,Rel)
    0x95, 0x07,        //   Report Count (7)
    0x81, 0x01,        //   Input (Const) padding
    0xC0,              // End Collection
};

// A phone whose keys and Phone Mute come in another input report (2) than
// its absolute hook switch (1). Output (3): LEDs off-hook, ring, mute, hold.
const uint8_t kSplitPhoneDescriptor[] = {
    0x05, 0x0B,        // Usage Page (Telephony)
    0x09, 0x01,        // Usage (Phone)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x01,        //   Report ID (1)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x09, 0x20,        //   Usage (Hook Switch)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x01,        //   Report Count (1)
    0x81, 0x02,        //   Input (Data,Var,Abs)
    0x95, 0x07,        //   Report Count (7)
    0x81, 0x01,        //   Input (Const) padding
    0x85, 0x02,        //   Report ID (2)
    0x09, 0x2F,        //   Usage (Phone Mute)
    0x95, 0x01,        //   Report Count (1)
    0x81, 0x06,        //   Input (Data,Var,Rel)
    0x95, 0x07,        //   Report Count (7)
    0x81, 0x01,        //   Input (Const) padding
    0x15, 0x01,        //   Logical Minimum (1)
    0x25, 0x0C,        //   Logical Maximum (12)
    0x19, 0xB0,        //   Usage Minimum (Phone Key 0)
    0x29, 0xBB,        //   Usage Maximum (Phone Key Pound)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x01,        //   Report Count (1)
    0x81, 0x00,        //   Input (Data,Array,Abs)
    0x85, 0x03,        //   Report ID (3)
    0x05, 0x08,        //   Usage Page (LEDs)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x09, 0x17,        //   Usage (Off-Hook)
    0x09, 0x18,        //   Usage (Ring)
    0x09, 0x09,        //   Usage (Mute)
    0x09, 0x20,        //   Usage (Hold)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x04,        //   Report Count (4)
    0x91, 0x02,        //   Output (Data,Var,Abs)
    0x95, 0x04,        //   Report Count (4)
    0x91, 0x01,        //   Output (Const) padding
    0xC0,              // End Collection
};

// A headset whose hook switch steps off (+1) and on (-1) the hook: a
// two-bit relative value, 0 between steps. Report id 1 in, 2 out.
const uint8_t kStepHookDescriptor[] = {
    0x05, 0x0B,        // Usage Page (Telephony)
    0x09, 0x05,        // Usage (Headset)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x01,        //   Report ID (1)
    0x15, 0xFF,        //   Logical Minimum (-1)
    0x25, 0x01,        //   Logical Maximum (1)
    0x09, 0x20,        //   Usage (Hook Switch)
    0x75, 0x02,        //   Report Size (2)
    0x95, 0x01,        //   Report Count (1)
    0x81, 0x06,        //   Input (Data,Var,Rel)
    0x75, 0x06,        //   Report Size (6)
    0x81, 0x01,        //   Input (Const) padding
    0x85, 0x02,        //   Report ID (2)
    0x05, 0x08,        //   Usage Page (LEDs)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x09, 0x17,        //   Usage (Off-Hook)
    0x09, 0x18,        //   Usage (Ring)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x02,        //   Report Count (2)
    0x91, 0x02,        //   Output (Data,Var,Abs)
    0x95, 0x06,        //   Report Count (6)
    0x91, 0x01,        //   Output (Const) padding
    0xC0,              // End Collection
};

// A device with more button capabilities than a short fixed list holds: a
// vendor collection of 65 outputs, each an item (a capability) of its own,
// then the telephony collection (ids 3 in, 4 out, as the composite's) with
// its keys in a nested Telephony Key Pad collection.
const size_t kManyOutputs = 65;
constexpr uint8_t kNestedPadHead[] = {
    0x06, 0x00, 0xFF,  // Usage Page (Vendor 0xFF00)
    0x09, 0x01,        // Usage (1)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x05,        //   Report ID (5)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x01,        //   Report Count (1)
};                     //   then kManyOutputs times: Usage (n), Output (Data,Var,Abs)
constexpr uint8_t kNestedPadTail[] = {
    0x95, 0x07,        //   Report Count (7)
    0x91, 0x01,        //   Output (Const) padding
    0xC0,              // End Collection
    0x05, 0x0B,        // Usage Page (Telephony)
    0x09, 0x01,        // Usage (Phone)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x03,        //   Report ID (3)
    0x09, 0x20,        //   Usage (Hook Switch)
    0x09, 0x2F,        //   Usage (Phone Mute)
    0x09, 0x21,        //   Usage (Flash)
    0x95, 0x03,        //   Report Count (3)
    0x81, 0x02,        //   Input (Data,Var,Abs)
    0x95, 0x05,        //   Report Count (5)
    0x81, 0x01,        //   Input (Const) padding
    0x09, 0x06,        //   Usage (Telephony Key Pad)
    0xA1, 0x02,        //   Collection (Logical)
    0x15, 0x01,        //     Logical Minimum (1)
    0x25, 0x0C,        //     Logical Maximum (12)
    0x19, 0xB0,        //     Usage Minimum (Phone Key 0)
    0x29, 0xBB,        //     Usage Maximum (Phone Key Pound)
    0x75, 0x08,        //     Report Size (8)
    0x95, 0x01,        //     Report Count (1)
    0x81, 0x00,        //     Input (Data,Array,Abs)
    0xC0,              //   End Collection
    0x85, 0x04,        //   Report ID (4)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x09, 0x9E,        //   Usage (Ringer)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x01,        //   Report Count (1)
    0x91, 0x02,        //   Output (Data,Var,Abs)
    0x05, 0x08,        //   Usage Page (LEDs)
    0x09, 0x17,        //   Usage (Off-Hook)
    0x09, 0x18,        //   Usage (Ring)
    0x09, 0x09,        //   Usage (Mute)
    0x95, 0x03,        //   Report Count (3)
    0x91, 0x02,        //   Output (Data,Var,Abs)
    0x95, 0x04,        //   Report Count (4)
    0x91, 0x01,        //   Output (Const) padding
    0xC0,              // End Collection
};
constexpr auto kNestedPadDescriptor = [] {
    std::array<uint8_t, sizeof kNestedPadHead + 4 * kManyOutputs + sizeof kNestedPadTail> d{};
    size_t n = 0;
    for (uint8_t b : kNestedPadHead)
        d[n++] = b;
    for (size_t usage = 1; usage <= kManyOutputs; ++usage) {
        d[n++] = 0x09;
        d[n++] = static_cast<uint8_t>(usage);
        d[n++] = 0x91;
        d[n++] = 0x02;
    }
    for (uint8_t b : kNestedPadTail)
        d[n++] = b;
    return d;
}();

const HidLayout kHidLayouts[] = {
    {L"deskphone", L"Virtual desk phone", 0x1209, 0xC001, 0x0100, kDeskPhoneDescriptor, sizeof(kDeskPhoneDescriptor),
     0, false, false, 0, 0x02, 0x01},
    {L"headset", L"Virtual toggle headset", 0x1209, 0xC002, 0x0100, kHeadsetDescriptor, sizeof(kHeadsetDescriptor),
     1, true, true, 2, 0x01, 0x02},
    {L"composite", L"Virtual composite headset", 0x1209, 0xC003, 0x0100, kCompositeDescriptor,
     sizeof(kCompositeDescriptor), 3, false, false, 4, 0x05, 0x02},
    {L"mediakeys", L"Virtual media keys", 0x1209, 0xC004, 0x0100, kMediaKeysDescriptor, sizeof(kMediaKeysDescriptor),
     0, false, false, 0, 0, 0},
    {L"nestedpad", L"Virtual nested key pad", 0x1209, 0xC006, 0x0100, kNestedPadDescriptor.data(),
     kNestedPadDescriptor.size(), 3, false, false, 4, 0x05, 0x02},
    {L"splitphone", L"Virtual split-report phone", 0x1209, 0xC007, 0x0100, kSplitPhoneDescriptor,
     sizeof(kSplitPhoneDescriptor), 1, false, false, 3, 0x02, 0x01},
    {L"stephook", L"Virtual step-hook headset", 0x1209, 0xC008, 0x0100, kStepHookDescriptor,
     sizeof(kStepHookDescriptor), 1, false, false, 2, 0x02, 0x01},
    {L"phonemute", L"Virtual webcam mute", 0x1209, 0xC005, 0x0100, kPhoneMuteDescriptor, sizeof(kPhoneMuteDescriptor),
     0, false, false, 0, 0, 0},
};
