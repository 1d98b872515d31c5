// CHidDetector: which HID devices present are telephony handsets. It lists
// the HID interfaces through SetupAPI only after it was told that one came
// or went (WM_DEVICECHANGE), or when nobody can tell it (no window to
// notify); each new interface is judged once, through a handle opened for
// neither reading nor writing, and the verdict is kept until the interface
// goes. Nothing here opens a device for reading or writing.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "HidIds.h"

struct HidApi;

// A HID device with a telephony collection that has a hook switch.
struct HidDeviceInfo {
    std::wstring path;
    USHORT vendor = 0;
    USHORT product = 0;
    std::wstring serial;            // reduced to letters, digits and "-_."; may be empty
    std::wstring name;              // the product string, printable characters only

    // "hid:VVVV:PPPP[:serial]": the same device whichever port or path it has.
    std::wstring StableId() const;
    // The product string, or "USB handset VVVV:PPPP" when it has none.
    std::wstring DisplayName() const;
};

class CHidDetector {
public:
    // api: hid.dll and setupapi.dll's functions; null loads them at the first
    // Refresh.
    explicit CHidDetector(const HidApi* api = nullptr) : m_api(api) {}
    // An interface of the HID class came or went: the next Refresh lists
    // them again.
    void OnInterfaceChange()
    {
        m_stale = true;
        m_retries = kHidJudgeRetries;
    }
    // Without notifications every Refresh lists the interfaces.
    void SetNotified(bool notified) { m_notified = notified; }
    // Lists and judges the interfaces when they may have changed; else does
    // nothing. False when hid.dll or setupapi.dll cannot be used.
    bool Refresh();
    // The handsets present at the last listing, in SetupAPI's order.
    const std::vector<HidDeviceInfo>& Handsets() const { return m_handsets; }
    const HidDeviceInfo* Find(const std::wstring& stableId) const;

    // What the detection cost so far: listings and devices opened.
    unsigned long Enumerations() const { return m_enumerations; }
    unsigned long Opens() const { return m_opens; }

private:
    struct Verdict {
        std::wstring path;
        bool handset;
        HidDeviceInfo info;
    };
    bool Judge(const std::wstring& path, Verdict& verdict);

    const HidApi* m_api = nullptr;
    bool m_stale = true;
    bool m_notified = false;
    unsigned m_retries = kHidJudgeRetries;   // listings left to ask a device again
    std::vector<Verdict> m_known;   // every interface listed last time and judged
    std::vector<HidDeviceInfo> m_handsets;
    unsigned long m_enumerations = 0;
    unsigned long m_opens = 0;
};
