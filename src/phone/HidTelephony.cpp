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
    case kHidUsageRedial:       // a prepared link's number, else the last one dialled
        return kKeyRedial;
    case kHidUsageDrop:         // ends the call, as the End key does
        return kKeyEnd;
    // Flash means hold or switch lines to a headset's user, which the
    // messenger has no key for: it does nothing, and never hangs up.
    default:
        return 0;
    }
}

namespace {

bool Has(const std::vector<uint16_t>& usages, uint16_t usage)
{
    return std::find(usages.begin(), usages.end(), usage) != usages.end();
}

bool SameUsages(std::vector<uint16_t> a, std::vector<uint16_t> b)
{
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return a == b;
}

template <typename T>
void AddOnce(std::vector<T>& list, T value)
{
    if (std::find(list.begin(), list.end(), value) == list.end())
        list.push_back(value);
}

bool IsTelephonyCollection(const HidCollectionNode& node)
{
    return node.type == 1 && node.page == kHidPageTelephony &&
           (node.usage == kHidUsagePhone || node.usage == kHidUsageAnsweringMachine ||
            node.usage == kHidUsageMessageControls || node.usage == kHidUsageHandset ||
            node.usage == kHidUsageHeadset);
}

// Whether link collection link is root or nested in it. The walk up is
// bounded: a device's parent links may form a loop.
bool InCollection(const std::vector<HidCollectionNode>& nodes, size_t link, size_t root)
{
    for (size_t steps = 0; steps <= nodes.size() && link < nodes.size(); ++steps) {
        if (link == root)
            return true;
        if (link == 0)
            return false;
        link = nodes[link].parent;
    }
    return false;
}

}  // namespace

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
    m_bLiftUnseen = !bOn && m_form == HidHookForm::kAbsolute && m_bOffHook;
    m_bReplaceUnseen = bOn && m_form == HidHookForm::kAbsolute && !m_bOffHook;
}

HidOutputs CHidTelephony::ShowCall(HidCall call)
{
    m_call = call;
    // A device whose hook is a press (or a step) holds the state Callvane
    // shows: a call answered elsewhere is off hook, one ended far away is
    // on hook, so that the next press answers or hangs up as the user means.
    if (m_form != HidHookForm::kAbsolute)
        m_bOffHook = call == HidCall::kTalk;
    // A call ringing in during a muted one leaves it muted.
    if (call == HidCall::kReady)
        m_bMuted = false;
    HidOutputs outputs;
    outputs.ringer = outputs.ringLed = call == HidCall::kRinging;
    outputs.offHookLed = call == HidCall::kTalk;
    outputs.muteLed = m_bMuted;
    return outputs;
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

void CHidTelephony::HookFromReport(const std::vector<uint16_t>& down, const std::vector<uint16_t>* before,
                                   DWORD nowMs, int hookValue, std::vector<HidEvent>& events)
{
    switch (m_form) {
    case HidHookForm::kAbsolute: {
        const bool lifted = Has(down, kHidUsageHookSwitch);
        // A headset may follow the off-hook LED down without reporting it:
        // the same lifted report again is then a new lift, and put down
        // while the next call rings it refuses nothing.
        if (m_bLiftUnseen) {
            m_bLiftUnseen = false;
            if (lifted && m_bOffHook && before && SameUsages(*before, down)) {
                events.push_back({HidEvent::kHook, FALSE});
                return;
            }
            if (!lifted && m_call == HidCall::kRinging) {
                m_bOffHook = false;
                return;
            }
        }
        // Followed up unseen as well (a call answered elsewhere): the same
        // report that said it was down, sent again, is the press that
        // hangs up.
        if (m_bReplaceUnseen) {
            m_bReplaceUnseen = false;
            if (!lifted && !m_bOffHook && m_call == HidCall::kTalk && before && SameUsages(*before, down)) {
                events.push_back({HidEvent::kHook, TRUE});
                return;
            }
        }
        Hook(lifted, nowMs, events);
        return;
    }
    case HidHookForm::kRelative:
        if (hookValue)
            Hook(hookValue > 0, nowMs, events);
        return;
    case HidHookForm::kToggle:
        break;
    }
    if (!Has(down, kHidUsageHookSwitch))
        return;
    // A press: the bit newly on, or the very report again from a device that
    // sends no release between presses (a held button changes nothing, so
    // it is not reported again).
    if (before && Has(*before, kHidUsageHookSwitch) && !SameUsages(*before, down))
        return;
    // A toggle that merely confirms the LED just written is the echo.
    if (InEchoWindow(nowMs) && m_bOffHook == m_bLedOn)
        return;
    Hook(!m_bOffHook, nowMs, events);
}

std::vector<HidEvent> CHidTelephony::OnReport(uint8_t reportId, const uint16_t* usages, size_t count, DWORD nowMs,
                                              int hookValue)
{
    std::vector<HidEvent> events;
    std::vector<uint16_t> down;
    for (size_t i = 0; i < count; ++i)
        AddOnce(down, usages[i]);
    auto last = m_lastReports.find(reportId);
    const std::vector<uint16_t>* before = last != m_lastReports.end() ? &last->second : nullptr;

    // Only a report that carries the hook switch says where the hook is: in
    // another report its bit is merely absent.
    if (std::find(m_hookIds.begin(), m_hookIds.end(), reportId) != m_hookIds.end())
        HookFromReport(down, before, nowMs, hookValue, events);

    // Keys on the press only: a key held over several reports of its id is
    // one key, whatever reports of other ids come between.
    for (uint16_t usage : down) {
        if (before && Has(*before, usage))
            continue;
        if (HidKeyForUsage(usage)) {
            events.push_back({HidEvent::kKey, HidKeyForUsage(usage)});
        } else if (usage == kHidUsagePhoneMute && m_call == HidCall::kTalk) {
            m_bMuted = !m_bMuted;
            events.push_back({HidEvent::kMute, static_cast<short>(m_bMuted ? TRUE : FALSE)});
        }
    }
    m_lastReports[reportId].swap(down);
    return events;
}

int FindHandsetCollection(const std::vector<HidCollectionNode>& nodes, const std::vector<HidControl>& inputs)
{
    for (size_t root = 0; root < nodes.size(); ++root) {
        if (!IsTelephonyCollection(nodes[root]))
            continue;
        for (const HidControl& c : inputs) {
            if (c.Covers(kHidPageTelephony, kHidUsageHookSwitch) && InCollection(nodes, c.link, root))
                return static_cast<int>(root);
        }
    }
    return -1;
}

HidHandsetLayout DescribeHandset(const std::vector<HidCollectionNode>& nodes, int root,
                                 const std::vector<HidControl>& inputs, const std::vector<HidControl>& outputs)
{
    HidHandsetLayout layout;
    if (root < 0 || static_cast<size_t>(root) >= nodes.size())
        return layout;
    for (size_t link = 0; link < nodes.size(); ++link) {
        if (InCollection(nodes, link, static_cast<size_t>(root)))
            layout.links.push_back(static_cast<uint16_t>(link));
    }
    auto inside = [&](const HidControl& c) { return InCollection(nodes, c.link, static_cast<size_t>(root)); };
    bool hookSeen = false;
    for (const HidControl& c : inputs) {
        if (!inside(c) || c.page != kHidPageTelephony)
            continue;
        AddOnce(layout.inputIds, c.reportId);
        if (!c.Covers(kHidPageTelephony, kHidUsageHookSwitch))
            continue;
        AddOnce(layout.hookIds, c.reportId);
        if (hookSeen)
            continue;
        // The first hook switch decides the form: a bit that holds the
        // position, a bit that is a press, or a value that steps on (-1)
        // and off (+1) the hook.
        hookSeen = true;
        layout.hookIsValue = c.value;
        layout.hookLink = c.link;
        layout.hookBits = c.bitSize;
        layout.hookForm = c.absolute ? HidHookForm::kAbsolute
                          : c.value && c.logicalMin < 0 ? HidHookForm::kRelative
                                                        : HidHookForm::kToggle;
    }
    const HidOutputControl driven[] = {{kHidPageTelephony, kHidUsageRinger, 0, 0},
                                       {kHidPageLeds, kHidLedRing, 0, 0},
                                       {kHidPageLeds, kHidLedOffHook, 0, 0},
                                       {kHidPageLeds, kHidLedMute, 0, 0}};
    for (const HidControl& c : outputs) {
        if (!inside(c) || c.value)
            continue;
        for (HidOutputControl o : driven) {
            if (!c.Covers(o.page, o.usage))
                continue;
            o.reportId = c.reportId;
            o.link = c.link;
            layout.outputs.push_back(o);
        }
    }
    return layout;
}
