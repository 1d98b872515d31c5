// The tools' side of the virtual HID handsets: installing the drivers in the
// prefix and the bus's requests. Used by hidhandsetctl and by the tests.
// Every function returns false with the system's last error set on failure.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "HidLayouts.h"

namespace hidhandset {

// Owns a handle CreateFile gave: INVALID_HANDLE_VALUE when it failed.
struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    explicit Handle(HANDLE value) : h(value) {}
    ~Handle() { if (h != INVALID_HANDLE_VALUE) CloseHandle(h); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool ok() const { return h != INVALID_HANDLE_VALUE; }
};

// Copies the drivers from folder, hands the INF files to SetupAPI, creates
// the root-enumerated bus and waits until it is up. Does nothing if it is;
// only waits for it when an earlier install created it.
bool Install(const wchar_t* folder);
// A built-in layout by name; else a captured device: a capture file's path,
// or the name of one in CaptureFolder() (without .hex). Null if none.
const HidLayout* FindLayout(const wchar_t* name);
bool Plug(unsigned long slot, const HidLayout& layout);
bool Unplug(unsigned long slot);
// bytes as the device sends them: report id first when the layout has ids.
bool SendInput(unsigned long slot, const unsigned char* bytes, size_t length);
// The output reports received since the last call, oldest first, each as
// its report id followed by its bytes.
bool TakeOutputs(unsigned long slot, std::vector<std::vector<unsigned char>>& reports);
// Each write to the device completes milliseconds late (0 at once); the
// device host waits with it, so keep holds short.
bool HoldWrites(unsigned long slot, unsigned long milliseconds);
// An input report of the layout: the hook switch bit as given, and key
// -1 none or 0..11 (0-9, *, #) pressed.
std::vector<unsigned char> InputReport(const HidLayout& layout, bool hookBit, int key);
// From output reports as TakeOutputs lists them: whether the last one with
// the layout's ring and off-hook outputs has them on. False when none came.
bool Indicators(const HidLayout& layout, const std::vector<std::vector<unsigned char>>& reports, bool& ring,
                bool& offHook);
// The device paths of the present interfaces of a class, in SetupAPI's order.
std::vector<std::wstring> InterfacePaths(const GUID& guid);

}  // namespace hidhandset
