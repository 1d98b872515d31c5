// A standard HID handset through the real HID stack (sim/hidhandset), found
// when the maker's control reports none; the calls run once per layout.
#include <gtest/gtest.h>

#include "HidHandsetClient.h"
#include "PhoneFixture.h"
#include "VirtualHidHand.h"
#include "TestSupport.h"
#include "app/OptionDlg.h"
#include "framework/BoundedString.h"
#include "phone/HidApi.h"
#include "phone/HidDetect.h"
#include "phone/HidIds.h"
#include "settings/MixerVolume.h"
#include "res/resource.h"
#include "settings/SettingsPaths.h"

namespace {

// hid.dll's preparsed data, refused while g_notReady: a device still starting.
bool g_notReady = false;
BOOLEAN WINAPI RefusedWhileNotReady(HANDLE device, PHIDP_PREPARSED_DATA* data)
{
    return !g_notReady && LoadHidApi()->GetPreparsedData(device, data);
}

using Bytes = std::vector<unsigned char>;

const wchar_t* const kLayouts[] = {L"deskphone", L"headset", L"composite", L"nestedpad", L"splitphone"};
const DWORD kCapture = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
const GUID kHidInterface = {0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

class HidHandsetCalls : public PhoneFixture, public testing::WithParamInterface<const wchar_t*> {
protected:
    // Not in SetUpTestSuite: googletest reports the tests of a suite whose
    // set-up failed as skipped, and ctest counts them so.
    void SetUp() override
    {
        PhoneFixture::SetUp();
        ASSERT_TRUE(hidhandset::Install(TestBinDir().c_str())) << "run scripts/install-hid-sim.sh: " << GetLastError();
        HandsetOk(L"unplug");   // the maker's control is there, its handset is not
        m_devicesBefore = hidhandset::InterfacePaths(kHidInterface).size();
        ASSERT_TRUE(hidhandset::Plug(kSlot, L()));
        Find();
    }
    void TearDown() override
    {
        for (unsigned long slot : {kSlot, kOther, kMediaKeys, kPhoneMute})
            hidhandset::Unplug(slot);
        // Every one gone first: the next test's devices have the same serials.
        EXPECT_TRUE(WaitFor([&] { return hidhandset::InterfacePaths(kHidInterface).size() <= m_devicesBefore; }));
        PhoneFixture::TearDown();
    }
    const HidLayout& L() const { return *hidhandset::FindLayout(GetParam()); }
    size_t m_devicesBefore = 0;
    void Find()
    {
        ASSERT_TRUE(WaitFor([&] {
            RunDetectionTimer();
            return Device().IsDevicePresent();
        }));
        ASSERT_EQ(Device().m_nModel, static_cast<uint32_t>(kHidHandsetModel));
        ClearRecords();
        m_hand.PutDown();
    }
    // Waits for the messenger side to have received these commands.
    void ExpectCommands(const std::vector<std::wstring>& commands)
    {
        EXPECT_TRUE(WaitFor([&] { return m_pRecorder->m_commands.size() >= commands.size(); }, 3000));
        PumpMessages(50);
        EXPECT_EQ(m_pRecorder->m_commands, commands);
        m_pRecorder->m_commands.clear();
    }
    // The ring, off-hook and mute outputs the device last received, once
    // they come (they are written from a thread of their own).
    void ExpectOutputs(bool ring, bool offHook, bool muteLed = false)
    {
        bool isRinging = !ring, isOffHook = !offHook, isMuted = !muteLed;
        WaitFor([&] {
            std::vector<Bytes> reports;
            hidhandset::TakeOutputs(kSlot, reports);
            hidhandset::ControlIndicators(m_hand.Map(), reports, isRinging, isOffHook, isMuted);
            return isRinging == ring && isOffHook == offHook && (!m_hand.Map().muteLed.present() || isMuted == muteLed);
        });
        EXPECT_EQ(isRinging, ring);
        EXPECT_EQ(isOffHook, offHook);
        if (m_hand.Map().muteLed.present())
            EXPECT_EQ(isMuted, muteLed);
    }

    static const unsigned long kSlot = 0, kOther = 1, kMediaKeys = 2, kPhoneMute = 3;
    CVirtualHidHand m_hand{kSlot, L()};
};

TEST_P(HidHandsetCalls, AnswerDialHangUpUnplugAndKeyStorm)
{
    Step(L"status CaIn");
    ExpectOutputs(true, false);
    m_hand.Hook(true);
    ExpectCommands({L"Acpt", L"Show"});
    Step(L"status Talk");
    ExpectOutputs(false, true);
    // A key or Phone Mute mid-call keeps the call, whatever report carries
    // it; mute switches the microphone and its LED, which a ring in the call
    // leaves lit; the call's end unmutes.
    CMixerVolume mic = OpenMixerWithLine(kHandsetAudioDeviceName, kCapture);
    m_hand.Key(3);
    for (bool muted : {true, false, true}) {
        m_hand.Mute();
        EXPECT_TRUE(WaitFor([&] { return mic.GetMute(kCapture) == muted; })) << muted;
    }
    ExpectCommands({});
    Step(L"status CaIn");
    ExpectOutputs(true, false, true);
    Step(L"status Talk");
    // Hook reports agreeing with the off-hook LED just lit are taken for the
    // device's echo for a while; a hand is slower.
    Sleep(kHidEchoWindowMs);
    m_hand.Hook(false);
    ExpectCommands({L"Hgup"});
    Step(L"status Rady");
    ExpectOutputs(false, false);
    EXPECT_FALSE(mic.GetMute(kCapture));

    // Dialled on its keys, then '#' places the call.
    m_hand.Key(1), m_hand.Key(2), m_hand.Key(10), m_hand.Key(11);
    ExpectCommands({L"Dial 49", L"Show", L"Dial 50", L"Show", L"Dial 106", L"Show", L"Call", L"Show"});

    // Pulled out mid-call, muted, and put back: the microphone is open
    // again, the handset found again, and works.
    Step(L"status Talk");
    if (m_hand.Map().mute.present()) {
        m_hand.Mute();
        EXPECT_TRUE(WaitFor([&] { return mic.GetMute(kCapture); }));
    }
    ASSERT_TRUE(hidhandset::Unplug(kSlot));
    ASSERT_TRUE(WaitFor([&] { return !Device().IsDevicePresent(); }));
    EXPECT_FALSE(mic.GetMute(kCapture));
    // A device without a telephony collection, or with one but no hook
    // switch, is no handset.
    const GUID& hid = kHidInterface;
    size_t devices = hidhandset::InterfacePaths(hid).size();
    const CHidDetector& detector = Device().m_hidDevices;
    unsigned long listings = detector.Enumerations();
    ASSERT_TRUE(hidhandset::Plug(kMediaKeys, *hidhandset::FindLayout(L"mediakeys")));
    ASSERT_TRUE(hidhandset::Plug(kPhoneMute, *hidhandset::FindLayout(L"phonemute")));
    ASSERT_TRUE(WaitFor([&] { return hidhandset::InterfacePaths(hid).size() > devices + 1; }));
    // Their arrival alone lists the devices again; then detection, every 2 s,
    // neither lists nor opens anything while nothing comes or goes.
    ASSERT_TRUE(WaitFor([&] { return detector.Enumerations() > listings; }));
    PumpMessages(200);
    listings = detector.Enumerations();
    const unsigned long opens = detector.Opens();
    for (int tick = 0; tick < 3; ++tick)
        RunDetectionTimer();
    EXPECT_EQ(detector.Enumerations(), listings);
    EXPECT_EQ(detector.Opens(), opens);
    EXPECT_FALSE(Device().IsDevicePresent());
    ASSERT_TRUE(hidhandset::Plug(kSlot, L()));
    Find();
    // A handset that could not be asked at the listing its arrival caused
    // (still starting) is asked again at the next one.
    HidApi notReady = *LoadHidApi();
    notReady.GetPreparsedData = RefusedWhileNotReady;
    CHidDetector late(&notReady);
    late.SetNotified(true);
    late.OnInterfaceChange();
    g_notReady = true;
    ASSERT_TRUE(late.Refresh());
    g_notReady = false;
    EXPECT_TRUE(late.Handsets().empty());
    ASSERT_TRUE(late.Refresh());
    EXPECT_NE(late.Find(Device().ActiveHandsetId()), nullptr);

    std::vector<std::wstring> storm;
    for (int i = 0; i < 30; ++i) {
        m_hand.Key(i % 10);
        storm.insert(storm.end(), {L"Dial " + std::to_wstring('0' + i % 10), L"Show"});
    }
    ExpectCommands(storm);

    // A device sitting on its writes holds no thread of the window; the next
    // calls show once it is back (one layout will do).
    if (wcscmp(GetParam(), L"headset") != 0)
        return;
    const DWORD held = 2000;
    ASSERT_TRUE(hidhandset::HoldWrites(kSlot, held));
    const DWORD start = GetTickCount();
    Step(L"status CaIn");
    EXPECT_LT(GetTickCount() - start, held / 2);
    ASSERT_TRUE(hidhandset::HoldWrites(kSlot, 0));   // answered once the held write is through
    Step(L"status Rady");
    ExpectOutputs(false, false);
    Step(L"status CaIn");
    ExpectOutputs(true, false);
}

TEST_P(HidHandsetCalls, BadReportsAndASecondHandsetChangeNothing)
{
    // Lifted: a report read short or cut would put it down. Each bad report
    // goes straight into the handset's report path, since Wine's HID stack
    // drops or cuts most before any read.
    m_hand.Hook(true);
    ExpectCommands({L"Show"});
    // As a read gives them: the report id first, 0 without ids.
    auto asRead = [&](int key) {
        Bytes b = hidhandset::InputReport(L(), !L().toggleHook, key);
        return L().inputId ? b : (b.insert(b.begin(), 0), b);
    };
    Bytes good = asRead(-1), longer(good.size() + 40, 0), undeclared = good;
    longer[0] = good[0];
    undeclared[0] = 0x09;
    std::vector<Bytes> bad = {{}, {good[0]}, Bytes(good.begin(), good.end() - 1), longer, undeclared};
    if (!L().keysAsButtons)
        bad.push_back(asRead(0x7E));   // a key index past the logical maximum
    for (const Bytes& b : bad)
        EXPECT_TRUE(Device().m_hid.JudgeReport(b.data(), b.size()).empty()) << testing::PrintToString(b);
    ASSERT_TRUE(hidhandset::Plug(kOther, *hidhandset::FindLayout(L"deskphone")));
    const Bytes otherKey = hidhandset::InputReport(*hidhandset::FindLayout(L"deskphone"), true, 3);
    ASSERT_TRUE(hidhandset::SendInput(kOther, otherKey.data(), otherKey.size()));   // the first found is used
    m_hand.Key(5);
    ExpectCommands({L"Dial 53", L"Show"});
}

// A hook switch that steps off (+1) and on (-1) the hook, a two-bit value
// that reads 0 between steps.
class HidStepHook : public HidHandsetCalls {};

TEST_P(HidStepHook, StepsAnswerAndHangUp)
{
    const Bytes off = {1, 0x01}, none = {1, 0x00}, on = {1, 0x03};
    Step(L"status CaIn");
    for (const Bytes& b : {off, none, off})
        m_hand.Send(b);
    ExpectCommands({L"Acpt", L"Show"});
    Step(L"status Talk");
    Sleep(kHidEchoWindowMs);
    for (const Bytes& b : {none, on, none})
        m_hand.Send(b);
    ExpectCommands({L"Hgup"});
}

INSTANTIATE_TEST_SUITE_P(Step, HidStepHook, testing::Values(L"stephook"),
                         [](const testing::TestParamInfo<const wchar_t*>&) { return std::string("stephook"); });

TEST_P(HidHandsetCalls, TheChosenHandsetWinsWaitsAndComesBack)
{
    const HidLayout& desk = *hidhandset::FindLayout(L"deskphone");
    const Bytes otherKey = hidhandset::InputReport(desk, false, 3);
    ASSERT_TRUE(hidhandset::Plug(kOther, desk));
    std::wstring otherId;
    ASSERT_TRUE(WaitFor([&] {
        for (const HandsetChoice& choice : Device().HandsetChoices())
            otherId = choice.id.find(L":VH1") != std::wstring::npos ? choice.id : otherId;
        return !otherId.empty();
    }));
    const std::wstring firstId = Device().ActiveHandsetId();
    // Chosen by name in the options dialog, and kept in the settings file.
    CTempDir dir{L"hid"};
    wchar_t savedSettings[MAX_PATH];
    CopyTruncated(savedSettings, g_szSettingsPath);
    CopyTruncated(g_szSettingsPath, JoinPath(dir.Path(), L"Callvane.ini").c_str());
    COptionDlg options(m_dlg.get());
    ASSERT_TRUE(options.Create(IDD_OPTION_DIALOG, m_dlg.get()));
    const std::wstring otherName = wcscmp(GetParam(), L"deskphone") ? L"Virtual desk phone" : L"Virtual desk phone (VH1)";
    enum Act { Choose, Unplug, Plug };
    const struct {
        const char* desk;
        Act act;
        std::wstring name, active;
    } rows[] = {
        {"chosen: taken at once", Choose, otherName, otherId},
        {"chosen one unplugged: the one present", Unplug, L"", firstId},
        {"plugged again: it takes over", Plug, L"", otherId},
        {"nobody chosen: the one in use stays", Choose, L"Any handset", otherId},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.desk);
        if (row.act == Choose) {
            HWND list = options.GetDlgItem(IDC_HANDSET_LIST);
            LRESULT at = SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>(row.name.c_str()));
            ASSERT_GE(at, 0);
            SendMessageW(list, CB_SETCURSEL, at, 0);
            SendMessageW(options.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_HANDSET_LIST, CBN_SELCHANGE), (LPARAM)list);
            wchar_t stored[64] = {};
            GetPrivateProfileStringW(L"OPTION", L"Handset", L"", stored, 64, g_szSettingsPath);
            EXPECT_EQ(stored, at ? row.active : L"");
        } else {
            ASSERT_TRUE(row.act == Plug ? hidhandset::Plug(kOther, desk) : hidhandset::Unplug(kOther));
        }
        EXPECT_TRUE(WaitFor([&] { return Device().IsDevicePresent() && Device().ActiveHandsetId() == row.active; }))
            << testing::PrintToString(Device().ActiveHandsetId());
    }
    CopyTruncated(g_szSettingsPath, savedSettings);
    ClearRecords();
    ASSERT_TRUE(hidhandset::SendInput(kOther, otherKey.data(), otherKey.size()));
    ExpectCommands({L"Dial 51", L"Show"});
}

INSTANTIATE_TEST_SUITE_P(Layouts, HidHandsetCalls, testing::ValuesIn(kLayouts),
                         [](const testing::TestParamInfo<const wchar_t*>& info) {
                             return std::string(info.param, info.param + wcslen(info.param));
                         });

}  // namespace
