#include "HidTelephony.h"

#include <algorithm>

#include "PhoneIds.h"

short HidKeyForUsage(uint16_t usage)
{
    if (usage >= kHidUsageKey0 && usage <= kHidUsageKey9)
        return static_cast<short>(kKeyDigit0 + (usage - kHidUsageKey0));
    switch (usage) {
    case kHidUsageKeyStar:
        return kKeyStar;
    case kHidUsageKeyPound:
        return kKeyHash;
    case kHidUsageRedial:       // places the call, as the Call key does
        return kKeyCall;
    case kHidUsageDrop:         // ends the call, as the End key does
    case kHidUsageFlash:        // one line only: a flash ends the call too
        return kKeyEnd;
    default:
        return 0;
    }
}

bool CHidTelephony::InEchoWindow(DWORD nowMs) const
{
    return m_bLedWritten && nowMs - m_ledWrittenAt < kHidEchoWindowMs;
}

void CHidTelephony::OnOffHookLedWritten(bool bOn, DWORD nowMs)
{
    // Only a change of the LED makes the device report back.
    if (bOn == m_bLedOn)
        return;
    m_bLedWritten = true;
    m_bLedOn = bOn;
    m_ledWrittenAt = nowMs;
}

void CHidTelephony::Hook(bool bOffHook, DWORD nowMs, std::vector<HidEvent>& events)
{
    if (bOffHook == m_bOffHook)
        return;
    m_bOffHook = bOffHook;
    // The device repeating the LED just written: the state follows it
    // quietly, the call is not touched.
    if (InEchoWindow(nowMs) && bOffHook == m_bLedOn)
        return;
    events.push_back({HidEvent::kHook, static_cast<short>(bOffHook ? FALSE : TRUE)});
}

std::vector<HidEvent> CHidTelephony::OnReport(const uint16_t* usages, size_t count, DWORD nowMs)
{
    std::vector<HidEvent> events;
    const uint16_t* end = usages + count;
    const bool bHookBit = std::find(usages, end, kHidUsageHookSwitch) != end;
    if (!m_bToggleHook) {
        Hook(bHookBit, nowMs, events);
    } else if (bHookBit && !m_bHookBitWas) {
        // A toggle that merely confirms the LED just written is the echo.
        if (!(InEchoWindow(nowMs) && m_bOffHook == m_bLedOn))
            Hook(!m_bOffHook, nowMs, events);
    }
    m_bHookBitWas = bHookBit;

    // Keys on the press only: a key held over several reports is one key.
    std::vector<uint16_t> down;
    for (const uint16_t* p = usages; p != end; ++p) {
        if (!HidKeyForUsage(*p) || std::find(down.begin(), down.end(), *p) != down.end())
            continue;
        down.push_back(*p);
        if (std::find(m_keysDown.begin(), m_keysDown.end(), *p) == m_keysDown.end())
            events.push_back({HidEvent::kKey, HidKeyForUsage(*p)});
    }
    m_keysDown.swap(down);
    return events;
}
