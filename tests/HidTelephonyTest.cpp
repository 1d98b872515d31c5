// What a HID telephony device's reports mean: each row feeds a sequence of
// reports (the telephony usages on in each, and when it came) and, between
// them, off-hook LED writes, and names the events the dialog must see.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "phone/HidTelephony.h"
#include "phone/PhoneIds.h"

namespace {

struct Step {
    DWORD at;
    std::vector<uint16_t> usages;   // a report
    int led = -1;                   // >= 0: the off-hook LED written instead
};

struct HookCase {
    const char* name;
    bool toggle;
    std::vector<Step> steps;
    std::vector<HidEvent> events;
};

const uint16_t H = kHidUsageHookSwitch;
const HidEvent OffHook = {HidEvent::kHook, FALSE};
const HidEvent OnHook = {HidEvent::kHook, TRUE};
HidEvent Key(short k) { return {HidEvent::kKey, k}; }

const HookCase kCases[] = {
    {"AbsoluteLiftAndReplace", false, {{0, {H}}, {10, {H}}, {20, {}}, {30, {}}}, {OffHook, OnHook}},
    {"ToggleEachPressFlips", true, {{0, {H}}, {10, {}}, {20, {H}}, {30, {}}, {40, {H}}}, {OffHook, OnHook, OffHook}},
    {"ToggleHeldIsOnePress", true, {{0, {H}}, {10, {H, 0xB1}}, {20, {H}}}, {OffHook, Key('1')}},
    {"AbsoluteEchoOfLedIgnored", false, {{0, {}, 1}, {100, {H}}, {200, {H}}}, {}},
    {"AbsoluteAfterEchoWindowCounts", false, {{0, {}, 1}, {kHidEchoWindowMs, {H}}}, {OffHook}},
    {"AbsoluteAgainstLedCounts", false, {{0, {}, 0}, {100, {H}}}, {OffHook}},
    {"UnchangedLedArmsNoWindow", true, {{0, {}, 0}, {10, {H}}}, {OffHook}},
    {"ToggleEchoOfLedIgnored", true, {{0, {H}}, {10, {}}, {20, {}, 1}, {30, {H}}, {40, {}}}, {OffHook}},
    {"ToggleAfterEchoWindowCounts", true, {{0, {H}}, {10, {}}, {20, {}, 1}, {20 + kHidEchoWindowMs, {H}}},
     {OffHook, OnHook}},
    {"TimerWrapKeepsTheWindow", false, {{0xFFFFFF00u, {}, 1}, {0x10, {H}}}, {}},
    {"KeysOnPressInOrder", false, {{0, {0xB1}}, {5, {0xB1}}, {10, {}}, {20, {0xBA, 0xB0}}, {30, {0xBB}}},
     {Key('1'), Key('*'), Key('0'), Key('#')}},
    {"RedialDropFlashMute", false, {{0, {kHidUsageRedial}}, {5, {}}, {10, {kHidUsageDrop}}, {15, {}},
                                    {20, {kHidUsageFlash}}, {25, {kHidUsagePhoneMute}}},
     {Key(kKeyCall), Key(kKeyEnd), Key(kKeyEnd)}},
    {"UnknownAndRepeatedUsagesIgnored", false, {{0, {0x07, 0xFFFF, 0xB2, 0xB2}}, {5, {0xB2}}}, {Key('2')}},
};

TEST(HidTelephony, ReportsGiveTheseEvents)
{
    for (const HookCase& c : kCases) {
        CHidTelephony logic(c.toggle);
        std::vector<HidEvent> events;
        for (const Step& step : c.steps) {
            if (step.led >= 0) {
                logic.OnOffHookLedWritten(step.led != 0, step.at);
                continue;
            }
            std::vector<HidEvent> more = logic.OnReport(step.usages.data(), step.usages.size(), step.at);
            events.insert(events.end(), more.begin(), more.end());
        }
        EXPECT_EQ(events, c.events) << c.name;
    }
}

}  // namespace
