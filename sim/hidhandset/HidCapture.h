// Real devices for the virtual HID bus: report descriptors captured from
// telephony devices (captures/*.hex, each file naming its public source),
// and where a descriptor puts the controls a hand uses (hook switch, phone
// mute, keys) and the outputs a program drives (ringer, ring, off-hook and
// mute LEDs), found by parsing it. The built-in layouts are parsed the same
// way, so one hand plays them all.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "HidLayouts.h"

namespace hidhandset {

// One control in the reports of one id: bits from the first data byte.
struct HidField {
    uint8_t reportId = 0;
    uint16_t bit = 0;
    uint8_t size = 0;               // 0: the device has no such control
    int32_t logicalMin = 0;
    int32_t logicalMax = 0;
    uint16_t usageMin = 0;          // an array: the usage logicalMin stands for
    bool array = false;
    bool relative = false;          // a press, not a state
    bool present() const { return size != 0; }
};

// The controls of the device's first telephony application collection.
struct HidControlMap {
    HidField hook, mute;
    HidField keys[12];              // 0-9, *, # as buttons; or keys[0] one array of them all
    HidField ringer, ringLed, offHookLed, muteLed;
    uint16_t inputBytes[256] = {};  // data bytes of each input report id
};

// False for a descriptor that cannot be parsed or has no telephony collection.
bool MapControls(const uint8_t* descriptor, size_t length, HidControlMap& map);

// The input report `id` as the device sends it (id first when it has ids):
// the hook switch, mute and key (-1 none, 0-11) where they lie in it, all
// else zero.
std::vector<unsigned char> ControlReport(const HidControlMap& map, uint8_t id, bool hook, bool mute, int key);

// From output reports as TakeOutputs lists them: the last state written of
// the ring outputs (all of the device's on), the off-hook LED and the mute
// LED (false when the device has none). False when none of them came.
bool ControlIndicators(const HidControlMap& map, const std::vector<std::vector<unsigned char>>& reports, bool& ring,
                       bool& offHook, bool& muteLed);

// A captured device: its bytes and a layout that plugs it.
struct HidCapture {
    std::wstring name;              // the file's name without .hex
    std::wstring product;           // from the file's first line
    std::vector<uint8_t> descriptor;
    HidControlMap map;
    HidLayout layout = {};          // points into the members above
};

// Reads a capture file: hex pairs, '#' comments; vendor and product ids
// from the name's last two fields (name-vvvv-pppp.hex). Null, with a reason
// in error, for anything else.
std::unique_ptr<HidCapture> ReadCapture(const std::wstring& path, std::wstring& error);

// The folder the captures are copied to beside the programs.
std::wstring CaptureFolder();

}  // namespace hidhandset
