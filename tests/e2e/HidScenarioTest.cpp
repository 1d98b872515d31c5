// Whole calls on a standard HID handset: the virtual HID device that Wine's
// HID stack serves (sim/hidhandset), the stand-in messenger, and Callvane
// with the maker's control not registered. The same table runs for each
// layout, after a start with a second handset plugged in; real devices,
// plugged from their captured descriptors, play whole calls.
#include "E2eSession.h"

#include "HidHandsetClient.h"
#include "VirtualHidHand.h"
#include "app/AppIds.h"
#include "phone/HidIds.h"

#include <algorithm>

extern "C" {
#include <hidsdi.h>
}

namespace {

const wchar_t* const kLayouts[] = {L"deskphone", L"headset", L"composite"};
// Real devices from their captures (sim/hidhandset/captures).
const wchar_t* const kCapturedDevices[] = {
    L"jabra-biz2400ii-0b0e-2453", L"dell-sp325-413c-8223", L"poly-bt700-047f-02e6", L"epos-impact-d1-1395-009c",
    L"plantronics-blackwire-c5220-047f-c053", L"jabra-speak810-0b0e-2456", L"dsea-headset-1395-00a9"};
const unsigned long kSlot = 0, kOtherSlot = 1;

// The slots of the virtual handsets in the order SetupAPI lists them (each
// reports "VH" and its slot as its serial number).
std::vector<int> ListedSlots()
{
    std::vector<int> slots;
    GUID hidInterface;
    HidD_GetHidGuid(&hidInterface);
    for (const std::wstring& path : hidhandset::InterfacePaths(hidInterface)) {
        hidhandset::Handle device(
            CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        wchar_t serial[16] = {};
        if (device.ok() && HidD_GetSerialNumberString(device.h, serial, sizeof serial - sizeof serial[0]) &&
            wcsncmp(serial, L"VH", 2) == 0)
            slots.push_back(_wtoi(serial + 2));
    }
    return slots;
}

}  // namespace

class E2eHidCalls : public E2eScenario, public testing::WithParamInterface<const wchar_t*> {
protected:
    bool MakersControl() const override { return false; }
    // In SetUp, not SetUpTestSuite: googletest reports the tests of a suite
    // whose set-up failed as skipped, and ctest counts them so.
    void PlugHandset() override
    {
        ASSERT_TRUE(hidhandset::Install(TestBinDir().c_str())) << "run scripts/install-hid-sim.sh: " << GetLastError();
        ASSERT_TRUE(hidhandset::Plug(kSlot, L()));
        ASSERT_TRUE(hidhandset::Plug(kOtherSlot, Other()));
        ASSERT_TRUE(WaitFor([&] { return ListedSlots().size() == 2; }));
    }
    void TearDown() override
    {
        E2eScenario::TearDown();
        for (unsigned long slot : {kSlot, kOtherSlot})
            hidhandset::Unplug(slot);
    }

    const HidLayout& L() const { return *hidhandset::FindLayout(GetParam()); }
    const HidLayout& Other() const
    {
        return *hidhandset::FindLayout(wcscmp(GetParam(), L"deskphone") == 0 ? L"headset" : L"deskphone");
    }

    CVirtualHidHand& HandAt(unsigned long slot) { return slot == kSlot ? m_hand : m_other; }
    // Waits until the last output report the handset received shows ring and
    // off-hook so; then lets the hook echo window after that write pass,
    // since a hand is slower (settle), unless the device itself answers.
    // muted: the mute LED too, if not -1.
    bool WaitForIndicators(bool ring, bool offHook, bool settle = true, int muted = -1)
    {
        bool shown = WaitFor([&] {
            std::vector<std::vector<unsigned char>> reports;
            bool isRinging = false, isOffHook = false, isMuted = false;
            if (hidhandset::TakeOutputs(kSlot, reports) &&
                hidhandset::ControlIndicators(m_hand.Map(), reports, isRinging, isOffHook, isMuted)) {
                m_ring = isRinging;
                m_offHook = isOffHook;
                m_muteLed = isMuted;
            }
            return m_ring == static_cast<int>(ring) && m_offHook == static_cast<int>(offHook) &&
                   (muted < 0 || m_muteLed == muted);
        });
        if (settle)
            Sleep(kHidEchoWindowMs);
        return shown;
    }
    void Replug(bool midCall)
    {
        SCOPED_TRACE(midCall ? "unplugged mid-call" : "unplugged at rest");
        size_t mark = m_sim->Mark();
        ASSERT_TRUE(hidhandset::Unplug(kSlot));
        EXPECT_TRUE(WaitForTrayTip(m_app->Main(), kTipNoHandset)) << testing::PrintToString(ShellTrayTips(m_app->Main()));
        ASSERT_TRUE(hidhandset::Plug(kSlot, L()));
        m_ring = m_offHook = m_muteLed = -1;
        m_hand.PutDown();
        EXPECT_TRUE(WaitForTrayTip(m_app->Main(), kTipOnline)) << testing::PrintToString(ShellTrayTips(m_app->Main()));
        for (const std::string& state : m_sim->States(mark))
            EXPECT_EQ(state.find("call-ended"), std::string::npos) << state;
    }
    std::string Handle(const char* role) const { return CMessengerSimProcess::HandleText(m_sim->Window(role)); }

    CVirtualHidHand m_hand{kSlot, L()}, m_other{kOtherSlot, Other()};
    int m_ring = -1, m_offHook = -1, m_muteLed = -1;   // as last received; -1 not yet known
};

TEST_P(E2eHidCalls, AnswerDialHangUpReplugAndKeyStorm)
{
    // Both plugged in at the start: the one listed first is used, the other
    // left alone. Then the layout under test is the only one.
    const std::vector<int> listed = ListedSlots();
    ASSERT_EQ(listed.size(), 2u);
    const unsigned long used = static_cast<unsigned long>(listed[0]), unused = used == kSlot ? kOtherSlot : kSlot;
    size_t mark = m_sim->Mark();
    HandAt(unused).Key(9);
    HandAt(used).Key(8);
    EXPECT_TRUE(m_sim->WaitForState(mark, "number-box \"8\"")) << testing::PrintToString(m_sim->States(mark));
    ASSERT_TRUE(hidhandset::Unplug(kOtherSlot));
    if (used == kOtherSlot) {
        EXPECT_TRUE(WaitForTrayTip(m_app->Main(), kTipNoHandset));
        EXPECT_TRUE(WaitForTrayTip(m_app->Main(), kTipOnline));
    }
    std::string number = "8";   // what the number box holds

    // A ringing call sounds the ringer; lifting answers it, replacing ends it.
    mark = m_sim->Mark();
    ASSERT_NE(m_sim->CommandWindow(L"ring caller=Alice"), nullptr);
    EXPECT_TRUE(WaitForIndicators(true, false));
    m_hand.Hook(true);
    EXPECT_TRUE(m_sim->WaitForState(mark, "ring-ended notification " + Handle("notification") + " answered"));
    ASSERT_TRUE(WaitFor([&] { return m_sim->Window("conversation") != nullptr; }));
    std::string conversation = Handle("conversation");
    EXPECT_TRUE(m_sim->WaitForState(mark, "call-started conversation " + conversation + " \"Alice\""));
    EXPECT_TRUE(WaitForIndicators(false, true));
    // After an answer the watch takes a while to learn the call's window.
    Sleep(kAnsweredWatchMs);
    m_hand.Hook(false);
    EXPECT_TRUE(m_sim->WaitForState(mark, "call-ended conversation " + conversation + " closed"));
    EXPECT_TRUE(WaitForIndicators(false, false));

    // The far end hangs up: a toggle's hook follows, so one press answers the
    // next ring (a desk phone is put down first); a call answered in the
    // messenger is ended by one press (a desk phone is lifted and put down).
    for (const char* caller : {"Bob", "Carol", "Dave"}) {
        mark = m_sim->Mark();
        HWND ring = m_sim->CommandWindow(L"ring caller=" + std::wstring(caller, caller + strlen(caller)));
        ASSERT_NE(ring, nullptr);
        EXPECT_TRUE(WaitForIndicators(true, false));
        const LPARAM answerPoint = MAKELPARAM(54, 75);   // the notification's answer button
        if (*caller != 'D') {
            m_hand.Hook(true);
        } else {
            PostMessageW(ring, WM_LBUTTONDOWN, MK_LBUTTON, answerPoint);
            PostMessageW(ring, WM_LBUTTONUP, 0, answerPoint);
        }
        EXPECT_TRUE(m_sim->WaitForState(mark, "ring-ended notification " + Handle("notification") + " answered"))
            << testing::PrintToString(m_sim->States(mark));
        EXPECT_TRUE(WaitForIndicators(false, true));
        if (*caller != 'D') {
            EXPECT_EQ(m_sim->Command(L"far-hangup"), 1);
            EXPECT_TRUE(WaitForIndicators(false, false));
            if (!L().toggleHook)
                m_hand.Hook(false), number.clear();   // put down at rest: the number box is emptied
            continue;
        }
        if (!L().toggleHook)
            m_hand.Hook(true);
        m_hand.Hook(false);
        EXPECT_TRUE(m_sim->WaitForState(mark, "call-ended conversation " + Handle("conversation") + " closed"))
            << testing::PrintToString(m_sim->States(mark));
        EXPECT_TRUE(WaitForIndicators(false, false));
    }

    // Dialled on its keys (a toggle without a press first), '#' calls; pulled
    // out and put back mid-call, the call goes on and the handset found again
    // ends it.
    mark = m_sim->Mark();
    if (!L().toggleHook)
        m_hand.Hook(true);
    for (int key : {1, 2, 10})
        m_hand.Key(key);
    number += "12*";
    EXPECT_TRUE(m_sim->WaitForState(mark, "number-box \"" + number + "\"")) << testing::PrintToString(m_sim->States(mark));
    m_hand.Key(11);
    ASSERT_TRUE(WaitFor([&] { return m_sim->Window("call-dialog") != nullptr; }));
    std::string dialog = Handle("call-dialog");
    EXPECT_TRUE(m_sim->WaitForState(mark, "call-started call-dialog " + dialog + " \"" + number + "\""));
    EXPECT_TRUE(WaitForIndicators(false, true));
    Replug(true);
    EXPECT_TRUE(WaitForIndicators(false, true));
    if (!L().toggleHook) {
        m_hand.Hook(true);
        Sleep(kHidEchoWindowMs);
    }
    m_hand.Hook(false);
    EXPECT_TRUE(m_sim->WaitForState(mark, "call-ended call-dialog " + dialog + " closed"));
    EXPECT_TRUE(WaitForIndicators(false, false));

    // At rest, the same; then a storm of keys arrives whole and in order.
    Replug(false);
    mark = m_sim->Mark();
    for (int i = 0; i < 30; ++i) {
        m_hand.Key((i * 7) % 10);
        number += static_cast<char>('0' + (i * 7) % 10);
    }
    EXPECT_TRUE(m_sim->WaitForState(mark, "number-box \"" + number + "\"", 15000))
        << testing::PrintToString(m_sim->States(mark));
}

// A real device alone: found; it rings; lifted, it answers; a mute keeps
// the call; after the far end hangs up (a headset's hook follows the
// off-hook LED) the next call is answered the same way; replaced, it hangs up.
class E2eHidDevices : public E2eHidCalls {
protected:
    void PlugHandset() override
    {
        ASSERT_TRUE(hidhandset::Install(TestBinDir().c_str())) << "run scripts/install-hid-sim.sh: " << GetLastError();
        ASSERT_TRUE(hidhandset::Plug(kSlot, L()));
        ASSERT_TRUE(WaitFor([&] { return ListedSlots().size() == 1; }));
    }
    // Rings, answers by lifting; returns the conversation's handle.
    std::string Answer(const std::string& caller)
    {
        size_t mark = m_sim->Mark();
        EXPECT_NE(m_sim->CommandWindow(L"ring caller=" + std::wstring(caller.begin(), caller.end())), nullptr);
        EXPECT_TRUE(WaitForIndicators(true, false));
        m_hand.Hook(true);
        EXPECT_TRUE(m_sim->WaitForState(mark, "ring-ended notification " + Handle("notification") + " answered"));
        // The last call's window may still be open: this call's is the one its start names.
        const std::string started = "call-started conversation ";
        std::string conversation;
        EXPECT_TRUE(WaitFor([&] {
            for (const std::string& state : m_sim->States(mark))
                if (!state.compare(0, started.size(), started) && state.find(" \"" + caller + "\"") != std::string::npos)
                    conversation = state.substr(started.size(), 8);
            return !conversation.empty();
        })) << testing::PrintToString(m_sim->States(mark));
        EXPECT_TRUE(WaitForIndicators(false, true));
        return conversation;
    }
};

TEST_P(E2eHidDevices, RingAnswerMuteFarHangUpAnswerReplace)
{
    EXPECT_TRUE(WaitForTrayTip(m_app->Main(), kTipOnline)) << testing::PrintToString(ShellTrayTips(m_app->Main()));
    size_t mark = m_sim->Mark();
    std::string conversation = Answer("Alice");
    // Muted mid-call, the call goes on, the Mute LED lit (if the device has
    // one); the watch learns the call's window meanwhile.
    const int muteLed = m_hand.Map().muteLed.present() ? 1 : -1;
    m_hand.Mute();
    EXPECT_TRUE(WaitForIndicators(false, true, false, muteLed));
    Sleep(kAnsweredWatchMs);
    for (const std::string& state : m_sim->States(mark))
        EXPECT_EQ(state.find("call-ended"), std::string::npos) << state;
    ASSERT_EQ(m_sim->Command(L"far-hangup"), 1);
    EXPECT_TRUE(m_sim->WaitForState(mark, "call-ended conversation " + conversation + " far-side"));
    // The call's end puts the Mute LED out.
    EXPECT_TRUE(WaitForIndicators(false, false, false, muteLed > 0 ? 0 : -1));
    // Every other device follows the LED down without reporting it.
    if ((std::find(std::begin(kCapturedDevices), std::end(kCapturedDevices), GetParam()) - kCapturedDevices) % 2)
        m_hand.FollowOffHookLed(false);

    mark = m_sim->Mark();
    conversation = Answer("Bob");
    Sleep(kAnsweredWatchMs);
    m_hand.Hook(false);
    EXPECT_TRUE(m_sim->WaitForState(mark, "call-ended conversation " + conversation + " closed"))
        << testing::PrintToString(m_sim->States(mark));
    EXPECT_TRUE(WaitForIndicators(false, false));
}

// Callvane.ini names the handset SetupAPI lists second: it rings and answers.
class E2eHidChosen : public E2eHidCalls {
protected:
    void PlugHandset() override
    {
        E2eHidCalls::PlugHandset();
        m_chosen = ListedSlots().at(1);
        const HidLayout& layout = m_chosen == kSlot ? L() : Other();
        wchar_t id[32];
        swprintf(id, 32, L"hid:%04X:%04X:VH%lu", layout.vendorId, layout.productId, m_chosen);
        WritePrivateProfileStringW(L"OPTION", L"Handset", id, JoinPath(m_install->Directory(), L"Callvane.ini").c_str());
    }
    bool Rings(unsigned long slot)
    {
        std::vector<std::vector<unsigned char>> reports;
        bool ring = false, offHook = false, muted = false;
        hidhandset::TakeOutputs(slot, reports);
        hidhandset::ControlIndicators(HandAt(slot).Map(), reports, ring, offHook, muted);
        return ring;
    }
    unsigned long m_chosen = kSlot;
};

TEST_P(E2eHidChosen, TheChosenOneRingsAndAnswers)
{
    size_t mark = m_sim->Mark();
    ASSERT_NE(m_sim->CommandWindow(L"ring caller=Alice"), nullptr);
    EXPECT_TRUE(WaitFor([&] { return Rings(m_chosen); }));
    EXPECT_FALSE(Rings(m_chosen == kSlot ? kOtherSlot : kSlot));
    HandAt(m_chosen).Hook(true);
    EXPECT_TRUE(m_sim->WaitForState(mark, "ring-ended notification " + Handle("notification") + " answered"));
}

const auto kParamName = [](const testing::TestParamInfo<const wchar_t*>& info) {
    std::string name;
    for (const wchar_t* p = info.param; *p; ++p)
        name += iswalnum(*p) ? static_cast<char>(*p) : '_';
    return name;
};
INSTANTIATE_TEST_SUITE_P(Layouts, E2eHidCalls, testing::ValuesIn(kLayouts), kParamName);
INSTANTIATE_TEST_SUITE_P(Captured, E2eHidDevices, testing::ValuesIn(kCapturedDevices), kParamName);
INSTANTIATE_TEST_SUITE_P(Chosen, E2eHidChosen, testing::Values(L"headset"), kParamName);
