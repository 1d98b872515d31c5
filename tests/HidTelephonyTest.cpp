// What a HID telephony device's reports mean: each row feeds a sequence of
// reports (the telephony usages on in each, its id, and when it came) and,
// between them, off-hook LED writes and calls shown, and names the events
// the dialog must see.
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
    uint8_t id = 0;
    int value = 0;                  // a relative hook's value
    int call = -1;                  // >= 0: this HidCall shown instead
};

struct HookCase {
    const char* name;
    HidHookForm form;
    std::vector<Step> steps;
    std::vector<HidEvent> events;
    std::vector<uint8_t> hookIds = {0};
};

const HidHookForm A = HidHookForm::kAbsolute, T = HidHookForm::kToggle, R = HidHookForm::kRelative;
const int Ready = static_cast<int>(HidCall::kReady), Ringing = static_cast<int>(HidCall::kRinging),
          Talk = static_cast<int>(HidCall::kTalk);
Step Call(int call) { return {0, {}, -1, 0, 0, call}; }

const uint16_t H = kHidUsageHookSwitch;
const HidEvent OffHook = {HidEvent::kHook, FALSE};
const HidEvent OnHook = {HidEvent::kHook, TRUE};
HidEvent Key(short k) { return {HidEvent::kKey, k}; }
HidEvent Mute(bool on) { return {HidEvent::kMute, on}; }
const uint16_t M = kHidUsagePhoneMute;

const HookCase kCases[] = {
    {"AbsoluteLiftAndReplace", A, {{0, {H}}, {10, {H}}, {20, {}}, {30, {}}}, {OffHook, OnHook}},
    {"ToggleEachPressFlips", T, {{0, {H}}, {10, {}}, {20, {H}}, {30, {}}, {40, {H}}}, {OffHook, OnHook, OffHook}},
    {"ToggleHeldIsOnePress", T, {{0, {H}}, {10, {H, 0xB1}}, {20, {H}}}, {OffHook, Key('1')}},
    {"AbsoluteEchoOfLedIgnored", A, {{0, {}, 1}, {100, {H}}, {200, {H}}}, {}},
    {"AbsoluteAfterEchoWindowCounts", A, {{0, {}, 1}, {kHidEchoWindowMs, {H}}}, {OffHook}},
    {"AbsoluteAgainstLedCounts", A, {{0, {}, 0}, {100, {H}}}, {OffHook}},
    {"UnchangedLedArmsNoWindow", T, {{0, {}, 0}, {10, {H}}}, {OffHook}},
    {"ToggleEchoOfLedIgnored", T, {{0, {H}}, {10, {}}, {20, {}, 1}, {30, {H}}, {40, {}}}, {OffHook}},
    {"ToggleAfterEchoWindowCounts", T, {{0, {H}}, {10, {}}, {20, {}, 1}, {20 + kHidEchoWindowMs, {H}}},
     {OffHook, OnHook}},
    // In a changed LED's window an absolute hook repeating it is the device,
    // one against it a hand (a toggle's press there is taken for the echo).
    {"AbsoluteEchoOfACallAnsweredElsewhere", A, {Call(Talk), {10, {}, 1}, {100, {H}}}, {}},
    {"AbsoluteReplacedInsideTheWindow", A, {{0, {H}}, Call(Talk), {10, {}, 1}, {100, {}}}, {OffHook, OnHook}},
    {"TimerWrapKeepsTheWindow", A, {{0xFFFFFF00u, {}, 1}, {0x10, {H}}}, {}},
    {"KeysOnPressInOrder", A, {{0, {0xB1}}, {5, {0xB1}}, {10, {}}, {20, {0xBA, 0xB0}}, {30, {0xBB}}},
     {Key('1'), Key('*'), Key('0'), Key('#')}},
    {"RedialDropFlashMute", A, {{0, {kHidUsageRedial}}, {5, {}}, {10, {kHidUsageDrop}}, {15, {}},
                                    {20, {kHidUsageFlash}}, {25, {kHidUsagePhoneMute}}},
     {Key(kKeyRedial), Key(kKeyEnd)}},
    {"UnknownAndRepeatedUsagesIgnored", A, {{0, {0x07, 0xFFFF, 0xB2, 0xB2}}, {5, {0xB2}}}, {Key('2')}},
    // The hook of a toggle follows the call: after a far hang-up the next
    // press answers, after a call answered elsewhere one press hangs up.
    {"ToggleFollowsAFarHangUp", T, {{0, {H}}, {10, {}}, Call(Talk), Call(Ready), Call(Ringing), {20, {H}}},
     {OffHook, OffHook}},
    {"ToggleFollowsACallAnsweredElsewhere", T, {Call(Ringing), Call(Talk), {10, {H}}}, {OnHook}},
    {"RelativeStepsOffAndOn", R, {{0, {}, -1, 0, 1}, {10, {}, -1, 0, 0}, {20, {}, -1, 0, 1}, {30, {}, -1, 0, -1}},
     {OffHook, OnHook}},
    {"ToggleWithoutRelease", T, {{0, {H}}, {10, {H}}, {20, {H, 0xB1}}, {30, {H}}}, {OffHook, OnHook, Key('1')}},
    // Keys and mute in a report of their own: the hook stays, keys are held
    // per report, mute toggles only in a call.
    {"HookOnlyFromItsReport", A,
     {{0, {H}, -1, 1}, Call(Talk), {10, {0xB1}, -1, 2}, {20, {0xB2}, -1, 3}, {30, {0xB1, M}, -1, 2},
      {40, {}, -1, 2}, {50, {M}, -1, 2}},
     {OffHook, Key('1'), Key('2'), Mute(true), Mute(false)}, {1}},
    // An absolute headset that follows the LED down unseen answers the next
    // call with one press, and never refuses it; a desk phone still lifted
    // is put down as before, and a key's release is no lift.
    {"AbsoluteFollowsTheLedDownUnseen", A, {{0, {H}}, Call(Talk), {10, {}, 1}, Call(Ready), {20, {}, 0}, Call(Ringing), {900, {H}}},
     {OffHook, OffHook}},
    {"AbsoluteFollowerRefusesNothing", A, {{0, {H}}, Call(Talk), {10, {}, 1}, Call(Ready), {20, {}, 0}, Call(Ringing), {900, {}}, {950, {H}}},
     {OffHook, OffHook}},
    {"AbsoluteStillLiftedPutDown", A, {{0, {H}}, Call(Talk), {10, {}, 1}, {600, {H, kHidUsageDrop}}, Call(Ready), {610, {}, 0}, {700, {H}}, {1300, {}}},
     {OffHook, Key(kKeyEnd), OnHook}},
    // Followed up unseen: one press hangs up; a key's release is no replace.
    {"AbsoluteFollowsTheLedUpUnseen", A, {{0, {}}, Call(Ringing), Call(Talk), {10, {}, 1}, {900, {}}, {950, {}}},
     {OnHook}},
    {"AbsoluteHonestKeyAfterAnswerElsewhere", A, {{0, {}}, Call(Talk), {10, {}, 1}, {900, {0xB1}}, {950, {}}},
     {Key('1')}},
    {"MuteOnlyInACallAndEndsWithIt", A, {{0, {M}}, {5, {}}, Call(Talk), {10, {M}}, Call(Ready), Call(Talk), {20, {}}, {30, {M}}},
     {Mute(true), Mute(true)}},
};

TEST(HidTelephony, ReportsGiveTheseEvents)
{
    for (const HookCase& c : kCases) {
        CHidTelephony logic(c.form, c.hookIds);
        std::vector<HidEvent> events;
        for (const Step& step : c.steps) {
            if (step.led >= 0 || step.call >= 0) {
                if (step.call >= 0)
                    EXPECT_EQ(logic.ShowCall(static_cast<HidCall>(step.call)).muteLed, false) << c.name;
                else
                    logic.OnOffHookLedWritten(step.led != 0, step.at);
                continue;
            }
            std::vector<HidEvent> more =
                logic.OnReport(step.id, step.usages.data(), step.usages.size(), step.at, step.value);
            events.insert(events.end(), more.begin(), more.end());
        }
        EXPECT_EQ(events, c.events) << c.name;
    }
}

}  // namespace
