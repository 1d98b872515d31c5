// The handset maker's control as the program drives it and the stand-in
// control plays it: the dispatch numbers of its methods and events, the
// arguments and key codes it knows, and the device model families it
// reports. One list, read by both.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstddef>
#include <cstdint>

// Methods of the handset control, by dispatch number.
enum PhoneMethod : DISPID {
    kDispOpenDevice = 1,          // I4 -> BOOL
    kDispCloseDevice = 2,
    kDispGetDeviceModel = 3,      // -> I4
    kDispSetRingStyle = 11,       // BOOL, I2
    kDispSignalKeyPress = 12,     // I2
    kDispSetReady = 13,
    kDispShowNumber = 14,         // BSTR
    kDispShowCallIn = 18,         // BSTR
    kDispShowInTalk = 19,         // BSTR
    kDispGetLineChannel = 23,     // -> I2
    kDispSetLineChannel = 24,     // I2
    kDispSetSpeaker = 41,         // BOOL
    kDispSetHandsFree = 43,       // I2
    kDispSetDefaultChannel = 48,  // I2
};

// Events of the handset control, by dispatch number.
enum PhoneEvent : DISPID {
    kEventDeviceRemoved = 1,
    kEventKeyPressed = 2,         // I2 key code
    kEventIgnoredNotify = 3,      // I2; handled by doing nothing
    kEventHookChanged = 4,        // BOOL, TRUE on-hook
    kEventLineRing = 5,           // BOOL, TRUE arms the ring window
    kEventReservedNotify = 6,     // I2; means nothing to this program
    kEventCradleChanged = 7,      // BOOL, TRUE resting in the cradle
};

// Arguments the handset control expects.
const LONG kOpenFirstDevice = 0;           // OpenDevice: the handset that is plugged in
const short kKeySignalBeep = 1;            // SignalKeyPress
const short kHandsFreeOn = 1;              // SetHandsFree
const short kHandsFreeOff = 0;

// Key codes of KeyPressed: digits, '*' and '#' as their characters; the
// other keys the program knows from 129 on.
const short kKeyDigit0 = '0';
const short kKeyDigit9 = '9';
const short kKeyStar = '*';
const short kKeyHash = '#';
const short kKeyIn = 129;
const short kKeyOut = 130;
const short kKeyUp = 131;
const short kKeyDown = 132;
const short kKeyDelete = 133;
const short kKeyCall = 135;
const short kKeyEnd = 136;
const short kKeySignalOnly = 138;          // signals, does nothing else
const short kKeyHandsFree = 142;
const short kKeyIn2 = 150;
const short kKeyOut2 = 151;

// Device model families. Each range holds lower <= model < upper.
struct ModelRange {
    uint32_t lower;
    uint32_t upper;
};

inline bool InRanges(uint32_t model, const ModelRange* ranges, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (ranges[i].lower <= model && model < ranges[i].upper)
            return true;
    }
    return false;
}

// The hands-free family, tested as the four adjoining ranges the maker lists.
const ModelRange kHandsFreeModels[] = {{0x0200, 0x0230}, {0x0230, 0x0300}, {0x0300, 0x0330}, {0x0330, 0x0500}};
// The adaptor family as a whole, PSTN adaptors included.
const ModelRange kAdaptorModels[] = {{0x0500, 0x0590}};
// Adaptors that also carry the PSTN line.
const ModelRange kPstnAdaptorModels[] = {{0x0520, 0x0540}, {0x0570, 0x0590}};
const ModelRange kSpeakerModels[] = {{0x0AB0, 0x0B00}};

inline bool IsHandsFreeModel(uint32_t model) { return InRanges(model, kHandsFreeModels, ARRAYSIZE(kHandsFreeModels)); }
inline bool IsAdaptorModel(uint32_t model) { return InRanges(model, kAdaptorModels, ARRAYSIZE(kAdaptorModels)); }
inline bool IsPstnAdaptorModel(uint32_t model) { return InRanges(model, kPstnAdaptorModels, ARRAYSIZE(kPstnAdaptorModels)); }
inline bool IsSpeakerModel(uint32_t model) { return InRanges(model, kSpeakerModels, ARRAYSIZE(kSpeakerModels)); }
