// A hand on a virtual HID handset (sim/hidhandset): lifts, replaces, mutes
// and presses keys in the reports of the handset's layout or captured
// device, wherever its descriptor puts them.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "HidCapture.h"
#include "HidHandsetClient.h"

class CVirtualHidHand {
public:
    CVirtualHidHand(unsigned long slot, const HidLayout& layout) : m_slot(slot)
    {
        hidhandset::MapControls(layout.descriptor, layout.descriptorLength, m_map);
    }

    // One report, or a press and release of a toggling hook switch.
    void Hook(bool offHook)
    {
        m_offHook = offHook;
        const bool toggle = m_map.hook.relative;
        Send(Report(m_map.hook, toggle || offHook, false, -1));
        if (toggle)
            Send(Report(m_map.hook, false, false, -1));
    }
    // key: 0-9, 10 '*', 11 '#'; pressed and released.
    void Key(int key)
    {
        const hidhandset::HidField& field = m_map.keys[m_map.keys[0].array ? 0 : key];
        Send(Report(field, HookBit(), false, key));
        Send(Report(field, HookBit(), false, -1));
    }
    // Phone Mute pressed and released.
    void Mute()
    {
        Send(Report(m_map.mute, HookBit(), true, -1));
        Send(Report(m_map.mute, HookBit(), false, -1));
    }
    // A headset whose hook switch is a state takes the off-hook LED the
    // program wrote as its state, and reports it.
    void FollowOffHookLed(bool on)
    {
        if (m_map.hook.relative || on == m_offHook)
            return;
        m_offHook = on;
        Send(Report(m_map.hook, on, false, -1));
    }
    void Send(const std::vector<unsigned char>& bytes)
    {
        ASSERT_TRUE(hidhandset::SendInput(m_slot, bytes.data(), bytes.size()));
    }
    // A handset plugged in again rests on its hook.
    void PutDown() { m_offHook = false; }
    const hidhandset::HidControlMap& Map() const { return m_map; }

private:
    bool HookBit() const { return !m_map.hook.relative && m_offHook; }
    std::vector<unsigned char> Report(const hidhandset::HidField& field, bool hook, bool mute, int key) const
    {
        return hidhandset::ControlReport(m_map, field.reportId, hook, mute, key);
    }

    unsigned long m_slot;
    hidhandset::HidControlMap m_map;
    bool m_offHook = false;
};
