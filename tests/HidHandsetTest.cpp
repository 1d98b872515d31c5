// A standard HID handset through the real HID stack: the virtual devices of
// sim/hidhandset, plugged into the prefix, found by the device dialog when
// the maker's control reports no handset. One table of calls runs for each
// descriptor layout; the messenger side's commands and the device's output
// reports are read back.
#include <gtest/gtest.h>

#include "HidHandsetClient.h"
#include "PhoneFixture.h"
#include "TestSupport.h"
#include "phone/HidIds.h"

namespace {

using Bytes = std::vector<unsigned char>;

// How one layout encodes what the hand does, and where its outputs lie.
struct Layout {
    const wchar_t* name;
    bool toggle;                          // the hook switch is pressed to flip
    Bytes (*report)(bool hook, int key);  // key -1: none, 0..11: 0-9 * #
    unsigned char outputId;               // the report carrying the ring output
    size_t ringByte, offHookByte;         // offsets in the recorded report: its id, then the
                                          // buffer as sent, which holds the id again when there is one
    unsigned char ringMask, offHookMask;
};

Bytes DeskPhone(bool hook, int key) { return {static_cast<unsigned char>(hook), static_cast<unsigned char>(key + 1)}; }
Bytes Headset(bool hook, int key)
{
    unsigned bits = key < 0 ? 0 : 1u << key;
    return {1, static_cast<unsigned char>(hook), static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8)};
}
Bytes Composite(bool hook, int key) { return {3, static_cast<unsigned char>(hook), static_cast<unsigned char>(key + 1)}; }

const Layout kLayouts[] = {
    {L"deskphone", false, DeskPhone, 0, 1, 1, 0x02, 0x01},
    {L"headset", true, Headset, 2, 2, 2, 0x01, 0x02},
    {L"composite", false, Composite, 4, 2, 2, 0x05, 0x02},
};

class HidHandsetCalls : public PhoneFixture, public testing::WithParamInterface<Layout> {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(hidhandset::Install(TestBinDir().c_str())) << GetLastError(); }

    void SetUp() override
    {
        PhoneFixture::SetUp();
        HandsetOk(L"unplug");   // the maker's control is there, its handset is not
        ASSERT_TRUE(hidhandset::Plug(kSlot, *hidhandset::FindLayout(GetParam().name)));
        Find();
    }
    void TearDown() override
    {
        for (unsigned long slot : {kSlot, kOther, kMediaKeys})
            hidhandset::Unplug(slot);
        PhoneFixture::TearDown();
    }
    void Find()
    {
        ASSERT_TRUE(WaitFor([&] {
            RunDetectionTimer();
            return Device().IsDevicePresent();
        }));
        ASSERT_EQ(Device().m_nModel, static_cast<uint32_t>(kHidHandsetModel));
        ClearRecords();
        m_hook = false;
    }
    // The hand lifts or replaces the handset: one report, or a press and release.
    void Hook(bool offHook)
    {
        const Layout& l = GetParam();
        m_hook = offHook;
        Send(l.report(l.toggle || offHook, -1));
        if (l.toggle)
            Send(l.report(false, -1));
    }
    void Key(int key)
    {
        const Layout& l = GetParam();
        Send(l.report(!l.toggle && m_hook, key));
        Send(l.report(!l.toggle && m_hook, -1));
    }
    void Send(const Bytes& bytes, unsigned long slot = kSlot)
    {
        ASSERT_TRUE(hidhandset::SendInput(slot, bytes.data(), bytes.size()));
    }
    // Waits for the messenger side to have received these commands.
    void ExpectCommands(const std::vector<std::wstring>& commands)
    {
        EXPECT_TRUE(WaitFor([&] { return m_pRecorder->m_commands.size() >= commands.size(); }, 3000));
        PumpMessages(50);
        EXPECT_EQ(m_pRecorder->m_commands, commands);
        m_pRecorder->m_commands.clear();
    }
    // The ring and off-hook outputs of the last report the device received.
    void ExpectOutputs(bool ring, bool offHook)
    {
        const Layout& l = GetParam();
        std::vector<Bytes> reports;
        ASSERT_TRUE(hidhandset::TakeOutputs(kSlot, reports));
        const Bytes* last = nullptr;
        for (const Bytes& r : reports)
            if (r[0] == l.outputId && r.size() > std::max(l.ringByte, l.offHookByte))
                last = &r;
        ASSERT_NE(last, nullptr) << reports.size();
        EXPECT_EQ(((*last)[l.ringByte] & l.ringMask) == l.ringMask, ring);
        EXPECT_EQ(((*last)[l.offHookByte] & l.offHookMask) != 0, offHook);
    }

    static const unsigned long kSlot = 0, kOther = 1, kMediaKeys = 2;
    bool m_hook = false;
};

TEST_P(HidHandsetCalls, AnswerDialHangUpUnplugAndKeyStorm)
{
    Step(L"status CaIn");
    ExpectOutputs(true, false);
    Hook(true);
    ExpectCommands({L"Acpt", L"Show"});
    Step(L"status Talk");
    ExpectOutputs(false, true);
    // Hook reports agreeing with the off-hook LED just lit are taken for the
    // device's echo for a while; a hand is slower.
    Sleep(kHidEchoWindowMs);
    Hook(false);
    ExpectCommands({L"Hgup"});
    Step(L"status Rady");
    ExpectOutputs(false, false);

    // Dialled on its keys, then '#' places the call.
    Key(1), Key(2), Key(10), Key(11);
    ExpectCommands({L"Dial 49", L"Show", L"Dial 50", L"Show", L"Dial 106", L"Show", L"Call", L"Show"});

    // Pulled out mid-call, and put back: found again, and works.
    Step(L"status Talk");
    ASSERT_TRUE(hidhandset::Unplug(kSlot));
    ASSERT_TRUE(WaitFor([&] { return !Device().IsDevicePresent(); }));
    // A device without a telephony collection is no handset.
    GUID hid = {0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
    size_t devices = hidhandset::InterfacePaths(hid).size();
    ASSERT_TRUE(hidhandset::Plug(kMediaKeys, *hidhandset::FindLayout(L"mediakeys")));
    ASSERT_TRUE(WaitFor([&] { return hidhandset::InterfacePaths(hid).size() > devices; }));
    RunDetectionTimer();
    EXPECT_FALSE(Device().IsDevicePresent());
    ASSERT_TRUE(hidhandset::Plug(kSlot, *hidhandset::FindLayout(GetParam().name)));
    Find();

    std::vector<std::wstring> storm;
    for (int round = 0; round < 3; ++round) {
        for (int key = 0; key < 10; ++key) {
            Key(key);
            storm.push_back(L"Dial " + std::to_wstring('0' + key));
            storm.push_back(L"Show");
        }
    }
    ExpectCommands(storm);
}

TEST_P(HidHandsetCalls, BadReportsAndASecondHandsetChangeNothing)
{
    const Layout& l = GetParam();
    Bytes good = l.report(false, -1), longer(good.size() + 40, 0);
    longer[0] = good[0];
    std::vector<Bytes> bad = {{}, {good[0]}, longer};
    if (l.outputId)
        bad.push_back({0x09, 0xFF, 0xFF, 0xFF, 0xFF});   // a report id the descriptor does not declare
    if (!l.toggle)
        bad.push_back(l.report(false, 0x7E));            // a key index past the logical maximum
    ASSERT_TRUE(hidhandset::Plug(kOther, *hidhandset::FindLayout(L"deskphone")));
    for (const Bytes& b : bad)
        Send(b);
    Send(DeskPhone(true, 3), kOther);   // the handset found first is the one used
    Key(5);
    ExpectCommands({L"Dial 53", L"Show"});
}

INSTANTIATE_TEST_SUITE_P(Layouts, HidHandsetCalls, testing::ValuesIn(kLayouts),
                         [](const testing::TestParamInfo<Layout>& info) {
                             std::wstring name = info.param.name;
                             return std::string(name.begin(), name.end());
                         });

}  // namespace
