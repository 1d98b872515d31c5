// A hand on a virtual HID handset (sim/hidhandset): lifts, replaces and
// presses keys in the reports of the handset's layout.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "HidHandsetClient.h"

class CVirtualHidHand {
public:
    CVirtualHidHand(unsigned long slot, const HidLayout& layout) : m_slot(slot), m_layout(layout) {}

    // One report, or a press and release of a toggling hook switch.
    void Hook(bool offHook)
    {
        m_offHook = offHook;
        Send(hidhandset::InputReport(m_layout, m_layout.toggleHook || offHook, -1));
        if (m_layout.toggleHook)
            Send(hidhandset::InputReport(m_layout, false, -1));
    }
    // key: 0-9, 10 '*', 11 '#'; pressed and released.
    void Key(int key)
    {
        const bool hookBit = !m_layout.toggleHook && m_offHook;
        Send(hidhandset::InputReport(m_layout, hookBit, key));
        Send(hidhandset::InputReport(m_layout, hookBit, -1));
    }
    void Send(const std::vector<unsigned char>& bytes)
    {
        ASSERT_TRUE(hidhandset::SendInput(m_slot, bytes.data(), bytes.size()));
    }
    // A handset plugged in again rests on its hook.
    void PutDown() { m_offHook = false; }

private:
    unsigned long m_slot;
    const HidLayout& m_layout;
    bool m_offHook = false;
};
