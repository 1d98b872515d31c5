// The device dialog: detection and configuration per model family, status
// reports and their guards, hook, cradle and PSTN line events, removal, and
// closing at the end. The tables of reports and events run in process; the
// rest goes through the stand-in handset's control. Each case reads back the
// method calls the handset received and the command codes the messenger
// side received.
#include <gtest/gtest.h>

#include "PhoneFixture.h"
#include "TestSupport.h"
#include "app/AppIds.h"
#include "framework/AxHost.h"
#include "framework/BoundedString.h"
#include "link/CallCodes.h"
#include "messenger/MessengerIds.h"
#include "messenger/YahooDialog.h"
#include "phone/PhoneIds.h"
#include "res/resource.h"
#include "settings/SettingsPaths.h"

namespace {

using Lines = std::vector<std::wstring>;

const uint32_t kHandsFree = 0x0200;
const uint32_t kAdaptor = 0x0500;
const uint32_t kPstn = 0x0520;
const uint32_t kSpeaker = 0x0AB0;
const uint32_t kOther = 0x0100;

const wchar_t kShowCallIn[] = L"ShowCallIn(\"CallIn\")";
const wchar_t kShowInTalk[] = L"ShowInTalk(\"InTalk\")";

size_t CountOpenAttempts(const Lines& journal, const wchar_t* line)
{
    size_t count = 0;
    for (const std::wstring& entry : journal)
        count += entry == line ? 1 : 0;
    return count;
}

}  // namespace

TEST(DeviceModels, FamiliesHaveTheirExactRanges)
{
    struct Case {
        uint32_t model;
        bool handsFree, adaptor, pstn, speaker;
    } cases[] = {
        {0x0000, false, false, false, false}, {0x01FF, false, false, false, false},
        {0x0200, true, false, false, false},  {0x022F, true, false, false, false},
        {0x0230, true, false, false, false},  {0x02FF, true, false, false, false},
        {0x0300, true, false, false, false},  {0x032F, true, false, false, false},
        {0x0330, true, false, false, false},  {0x04FF, true, false, false, false},
        {0x0500, false, true, false, false},  {0x051F, false, true, false, false},
        {0x0520, false, true, true, false},   {0x053F, false, true, true, false},
        {0x0540, false, true, false, false},  {0x056F, false, true, false, false},
        {0x0570, false, true, true, false},   {0x058F, false, true, true, false},
        {0x0590, false, false, false, false}, {0x0AAF, false, false, false, false},
        {0x0AB0, false, false, false, true},  {0x0AFF, false, false, false, true},
        {0x0B00, false, false, false, false}, {0xFFFFFFFF, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        EXPECT_EQ(IsHandsFreeModel(c.model), c.handsFree);
        EXPECT_EQ(IsAdaptorModel(c.model), c.adaptor);
        EXPECT_EQ(IsPstnAdaptorModel(c.model), c.pstn);
        EXPECT_EQ(IsSpeakerModel(c.model), c.speaker);
    }
}

using DeviceDetection = PhoneFixture;

TEST_F(DeviceDetection, ConfiguresEachFamilyAsFoundAndSendsNothingToTheMessenger)
{
    struct Case {
        uint32_t model;
        const wchar_t* configure;   // the family step
        const wchar_t* stored = nullptr;   // RingType and ChannelType in the settings file; null: no file
    } cases[] = {
        {0x0200, L"SetRingStyle(FALSE,0)"}, {0x04FF, L"SetRingStyle(FALSE,0)"}, {0x0500, L"SetRingStyle(FALSE,0)"},
        {0x051F, L"SetRingStyle(FALSE,0)"}, {0x0520, L"SetLineChannel(0)"},     {0x053F, L"SetLineChannel(0)"},
        {0x0540, L"SetRingStyle(FALSE,0)"}, {0x056F, L"SetRingStyle(FALSE,0)"}, {0x0570, L"SetLineChannel(0)"},
        {0x058F, L"SetLineChannel(0)"},     {0x0590, L"SetRingStyle(FALSE,0)"}, {0x0AB0, L"SetRingStyle(FALSE,0)"},
        {0x0100, L"SetRingStyle(FALSE,0)"},
        // What an earlier run stored only preselects the options dialog; the
        // handset found first gets the defaults.
        {0x0100, L"SetRingStyle(FALSE,0)", L"3 1"}, {0x0520, L"SetLineChannel(0)", L"3 1"},
    };
    wchar_t savedSettings[MAX_PATH];
    CopyTruncated(savedSettings, g_szSettingsPath);
    CTempDir dir(L"cvdetect");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        SCOPED_TRACE(testing::PrintToString(c.stored ? c.stored : L""));
        std::wstring file = JoinPath(dir.Path(), L"Callvane.ini");
        DeleteFileW(file.c_str());
        if (c.stored) {
            std::wstring stored = c.stored;
            size_t space = stored.find(L' ');
            WritePrivateProfileStringW(L"OPTION", L"RingType", stored.substr(0, space).c_str(), file.c_str());
            WritePrivateProfileStringW(L"OPTION", L"ChannelType", stored.substr(space + 1).c_str(), file.c_str());
        }
        CopyTruncated(g_szSettingsPath, file.c_str());
        TearDown();
        SetUp();
        EXPECT_STREQ(m_dlg->m_trayIcon.Data().szTip, kTipNoHandset);
        HandsetOk(L"model " + std::to_wstring(c.model));
        HandsetOk(L"plug");
        RunDetectionTimer();
        Lines expected = {L"OpenDevice(0)=TRUE", L"GetDeviceModel()=" + std::to_wstring(c.model), c.configure,
                          L"SetReady()"};
        EXPECT_EQ(Journal(), expected);
        EXPECT_EQ(Device().m_nModel, c.model);
        EXPECT_EQ(Device().m_nCallState, kCallReady);
        EXPECT_TRUE(m_pRecorder->m_commands.empty());
        // The tray no longer says that the handset is missing.
        EXPECT_STRNE(m_dlg->m_trayIcon.Data().szTip, kTipNoHandset);
    }
    CopyTruncated(g_szSettingsPath, savedSettings);
}

TEST_F(DeviceDetection, TriesEveryTwoSecondsUntilTheHandsetOpensThenStops)
{
    // With the watch ticking, which the attempts keep in step with.
    SetTimer(m_dlg->m_pYahooDlg->m_hWnd, kWatchTimerId, kWatchPeriodMs, nullptr);
    // Each attempt's time from before the timer was armed: attempt n cannot
    // come before n periods, however late this thread sees it.
    DWORD seen[2] = {};
    for (int n = 1; n <= 2; ++n) {
        EXPECT_TRUE(WaitFor([&] { return CountOpenAttempts(Journal(), L"OpenDevice(0)=FALSE") >= n; }, 4000));
        seen[n - 1] = GetTickCount() - m_createdTick;
    }
    EXPECT_GE(seen[0], 1950u);
    EXPECT_LE(seen[0], 3500u);
    EXPECT_GE(seen[1], 3950u);
    EXPECT_LE(seen[1], 5500u);
    EXPECT_FALSE(Device().IsDevicePresent());
    EXPECT_STREQ(m_dlg->m_trayIcon.Data().szTip, kTipNoHandset);

    HandsetOk(L"model 512");
    HandsetOk(L"plug");
    EXPECT_TRUE(WaitFor([&] { return Device().IsDevicePresent() != FALSE; }, 3500));
    ClearRecords();
    // Found: no more attempts.
    PumpMessages(2500);
    EXPECT_TRUE(Journal().empty());
    EXPECT_TRUE(m_pRecorder->m_commands.empty());
    // Gone again half-way between two ticks of the watch: the next attempt
    // still comes 2 s later.
    HandsetOk(L"unplug");
    DWORD removed = GetTickCount();
    EXPECT_TRUE(WaitFor([&] { return CountOpenAttempts(Journal(), L"OpenDevice(0)=FALSE") >= 1; }, 4000));
    EXPECT_GE(GetTickCount() - removed, 1950u);
    EXPECT_LE(GetTickCount() - removed, 2900u);
}

TEST_F(DeviceDetection, AHandsetReportingModelZeroCountsAsAbsentUntilItIsRemoved)
{
    HandsetOk(L"model 0");
    HandsetOk(L"plug");
    RunDetectionTimer();
    Lines expected = {L"OpenDevice(0)=TRUE", L"GetDeviceModel()=0", L"SetRingStyle(FALSE,0)", L"SetReady()"};
    EXPECT_EQ(Journal(), expected);
    EXPECT_FALSE(Device().IsDevicePresent());
    EXPECT_EQ(Device().ReportStatus(kStatusCallIn, 0), 0);
    ClearRecords();
    PumpMessages(2600);
    EXPECT_TRUE(Journal().empty()) << "detection must wait for DeviceRemoved";

    // Another handset on the plug: the first goes away, detection resumes.
    EXPECT_EQ(HandsetOk(L"model 256"), L"ok removed=1");
    EXPECT_EQ(Device().m_nCallState, kCallNone);
    EXPECT_TRUE(WaitFor([&] { return Device().IsDevicePresent() != FALSE; }, 3500));
    EXPECT_EQ(Device().m_nModel, 256u);
}

TEST_F(DeviceDetection, RemovalDuringACallDropsReportsAndRedetectionUsesTheLastRingStyleOrChannel)
{
    Detect(kOther);
    Step(L"dial 12");
    Step(L"status Talk");
    Device().m_nRingStyle = 5;   // as the options dialog sets it when the user picks a style
    ClearRecords();

    EXPECT_EQ(HandsetOk(L"unplug"), L"ok removed=1");
    EXPECT_EQ(Device().m_nModel, 0u);
    EXPECT_EQ(Device().m_nCallState, kCallNone);
    EXPECT_FALSE(Device().m_bHandsFree);
    EXPECT_STREQ(m_dlg->m_trayIcon.Data().szTip, kTipNoHandset);
    for (uint32_t code : {kStatusCallIn, kStatusTalk, kStatusReady})
        EXPECT_EQ(Device().ReportStatus(code, 0), 0);
    EXPECT_EQ(Device().m_strDial, L"12");       // kept for the next handset
    EXPECT_TRUE(Journal().empty());             // gone, not closed
    EXPECT_TRUE(m_pRecorder->m_commands.empty());

    HandsetOk(L"plug");
    EXPECT_TRUE(WaitFor([&] { return Device().IsDevicePresent() != FALSE; }, 3500));
    Lines expected = {L"OpenDevice(0)=TRUE", L"GetDeviceModel()=256", L"SetRingStyle(FALSE,5)", L"SetReady()"};
    EXPECT_EQ(Journal(), expected);
    EXPECT_EQ(Device().m_nCallState, kCallReady);
    EXPECT_TRUE(m_pRecorder->m_commands.empty());

    // A PSTN adaptor gets the channel last read from the handset.
    EXPECT_EQ(HandsetOk(L"model 0x0520"), L"ok removed=1");
    RunDetectionTimer();
    HandsetOk(L"channel 1");
    Step(L"status Rady");   // reads the channel
    EXPECT_EQ(Device().m_nChannel, kLineChannelUsb);
    HandsetOk(L"unplug");
    HandsetOk(L"plug");
    ClearRecords();
    RunDetectionTimer();
    expected = {L"OpenDevice(0)=TRUE", L"GetDeviceModel()=1312", L"SetLineChannel(1)", L"SetReady()"};
    EXPECT_EQ(Journal(), expected);
}

TEST_F(DeviceDetection, ClosesTheHandsetWhenDestroyedBeforeTheControlGoes)
{
    Detect(kOther);
    m_dlg.reset();
    EXPECT_EQ(Journal(), Lines{L"CloseDevice()"});
    Lines log = OleLog();
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(Lines(log.end() - 5, log.end()),
              (Lines{L"Unadvise(1)", L"InPlaceDeactivate", L"Close", L"SetClientSite(null)", L"Destroyed"}));

    // Without a handset there is nothing to close.
    SetUp();
    ClearRecords();
    m_dlg.reset();
    EXPECT_TRUE(Journal().empty());
}

TEST_F(DeviceDetection, StatusReportsWithoutAHandsetAreDropped)
{
    for (uint32_t code : {kStatusReady, kStatusCallIn, kStatusTalk, MakeCode('X', 'y', 'z', 'w')})
        EXPECT_EQ(Device().ReportStatus(code, 0), 0);
    EXPECT_EQ(Device().m_nCallState, kCallNone);
    EXPECT_TRUE(Journal().empty());
}

// In process: the device dialog's handlers with a journalling handset.
using DeviceEvents = PhoneLogicFixture;

TEST_F(DeviceEvents, StatusReportsByFamilyAndGuard)
{
    const PhoneScenario cases[] = {
        {"CallIn on every tick shows CallIn once", kOther, {},
         {L"status CaIn=1", L"status CaIn=1", L"status CaIn=1"}, {kShowCallIn}, {}, nullptr, kCallIn, 0},
        {"Talk twice shows InTalk once", kOther, {}, {L"status Talk=1", L"status Talk=1"}, {kShowInTalk}, {},
         nullptr, kCallTalk, 0},
        {"Ready in Ready does nothing", kOther, {}, {L"status Rady=1"}, {}, {}, nullptr, kCallReady, 0},
        {"a code that is none of the three returns 1 and changes nothing", kOther, {},
         {L"status Xyzw=1", L"status talk=1", L"status RADY=1"}, {}, {}, nullptr, kCallReady, 0},
        {"Talk then Ready returns the handset to ready", kOther, {L"status Talk"}, {L"status Rady=1"},
         {L"SetReady()"}, {}, nullptr, kCallReady, 0},
        {"Talk on a resting hands-free handset turns hands-free on", kHandsFree, {}, {L"status Talk=1"},
         {kShowInTalk, L"SetHandsFree(1)"}, {}, nullptr, kCallTalk, 1},
        {"Talk on a lifted hands-free handset", kHandsFree, {L"hook off"}, {L"status Talk=1"}, {kShowInTalk}, {},
         nullptr, kCallTalk, 0},
        {"Ready after hands-free Talk clears the flag only", kHandsFree, {L"status Talk"}, {L"status Rady=1"},
         {L"SetReady()"}, {}, nullptr, kCallReady, 0},
        {"Talk on a speaker handset before any cradle event turns the speaker on", kSpeaker, {},
         {L"status Talk=1"}, {kShowInTalk, L"SetSpeaker(TRUE)"}, {}, nullptr, kCallTalk, 1},
        {"Talk on a speaker handset out of its cradle", kSpeaker, {L"cradle out"}, {L"status Talk=1"},
         {kShowInTalk}, {}, nullptr, kCallTalk, 0},
        {"an adaptor without PSTN does not read the channel", kAdaptor, {}, {L"status CaIn=1"}, {kShowCallIn}, {},
         nullptr, kCallIn, -1},
        {"a PSTN adaptor reads the channel on every report", kPstn, {}, {L"status CaIn=1", L"status CaIn=1"},
         {L"GetLineChannel()=0", kShowCallIn, L"GetLineChannel()=0"}, {}, nullptr, kCallIn, -1},
        {"while the PSTN line rings reports are dropped", kPstn, {L"ring on"},
         {L"status CaIn=0", L"status Talk=0", L"status Rady=0"},
         {L"GetLineChannel()=0", L"GetLineChannel()=0", L"GetLineChannel()=0"}, {}, nullptr, kCallReady, -1},
        {"during a PSTN call on the line reports are dropped", kPstn, {L"ring on", L"hook off"},
         {L"status CaIn=0"}, {L"GetLineChannel()=0"}, {}, L"PSTNTALK", kCallReady, -1},
        {"during a PSTN call with the USB channel in use reports count", kPstn,
         {L"ring on", L"hook off", L"channel 1"}, {L"status CaIn=1"}, {L"GetLineChannel()=1", kShowCallIn}, {},
         L"PSTNTALK", kCallIn, -1},
    };
    for (const PhoneScenario& scenario : cases)
        Run(scenario);
}

TEST_F(DeviceEvents, HookChangesByFamilyAndCallState)
{
    const PhoneScenario cases[] = {
        {"hands-free: lifted in Ready blanks the display", kHandsFree, {L"dial 12"}, {L"hook off"},
         {L"SetHandsFree(0)", L"ShowNumber(\"\")"}, {L"Show"}, L"", kCallReady, 0},
        {"hands-free: replaced in Ready hides", kHandsFree, {L"hook off", L"dial 3"}, {L"hook on"},
         {L"SetReady()"}, {L"Hide"}, L"", kCallReady, 0},
        {"hands-free: lifted in CallIn answers", kHandsFree, {L"status CaIn"}, {L"hook off"}, {L"SetHandsFree(0)"},
         {L"Acpt", L"Show"}, L"", kCallIn, 0},
        {"hands-free: replaced in CallIn refuses", kHandsFree, {L"hook off", L"status CaIn"}, {L"hook on"}, {},
         {L"Rfus"}, L"", kCallIn, 0},
        {"hands-free: lifted during a hands-free call", kHandsFree, {L"status Talk"}, {L"hook off"},
         {L"SetHandsFree(0)"}, {L"Show"}, L"", kCallTalk, 0},
        {"hands-free: replaced with hands-free on keeps the call", kHandsFree,
         {L"status Talk", L"hook off", L"key hf"}, {L"hook on"}, {L"SetHandsFree(1)"}, {}, nullptr, kCallTalk, 1},
        {"hands-free: replaced in Talk hangs up", kHandsFree, {L"hook off", L"status Talk"}, {L"hook on"}, {},
         {L"Hgup"}, L"", kCallTalk, 0},
        {"other: lifted in Ready", kOther, {L"dial 9"}, {L"hook off"}, {}, {L"Show"}, L"", kCallReady, -1},
        {"other: replaced in Ready", kOther, {L"hook off"}, {L"hook on"}, {L"SetReady()"}, {L"Hide"}, L"",
         kCallReady, -1},
        {"other: lifted in CallIn answers", kOther, {L"status CaIn"}, {L"hook off"}, {}, {L"Acpt", L"Show"}, L"",
         kCallIn, -1},
        {"other: lifted in Talk", kOther, {L"status Talk"}, {L"hook off"}, {}, {L"Show"}, L"", kCallTalk, -1},
        {"other: replaced in CallIn refuses", kOther, {L"hook off", L"status CaIn"}, {L"hook on"}, {}, {L"Rfus"},
         L"", kCallIn, -1},
        {"other: replaced in Talk hangs up", kOther, {L"hook off", L"status Talk"}, {L"hook on"}, {}, {L"Hgup"},
         L"", kCallTalk, -1},
        // A hook change in the ring window ends the window.
        {"PSTN: lifted while the line rings starts a PSTN call", kPstn, {L"ring on"}, {L"hook off"}, {}, {},
         L"PSTNTALK", kCallReady, -1, 0},
        {"PSTN: replaced while the line rings too", kPstn, {L"hook off", L"ring on"}, {L"hook on"}, {}, {},
         L"PSTNTALK", kCallReady, -1, 0},
        {"PSTN: replaced after a PSTN call hides", kPstn, {L"ring on", L"hook off"}, {L"hook on"}, {L"SetReady()"},
         {L"Hide"}, L"", kCallReady, -1, 0},
        {"PSTN: lifted without a ring as usual", kPstn, {}, {L"hook off"}, {}, {L"Show"}, L"", kCallReady, -1},
        {"PSTN: lifted after the ring window as usual", kPstn, {L"ring on", L"ring window ends"}, {L"hook off"}, {},
         {L"Show"}, L"", kCallReady, -1, 0},
        // A line ring counts on every model, but only an adaptor's hook
        // change is then a PSTN call.
        {"other: a line ring empties the number and lifting is no PSTN call", kOther, {L"dial 12"},
         {L"ring on", L"hook off"}, {L"GetLineChannel()=0"}, {L"Show"}, L"", kCallReady, -1, 1},
    };
    for (const PhoneScenario& scenario : cases)
        Run(scenario);
}

TEST_F(DeviceEvents, CradleChangesByCallState)
{
    const PhoneScenario cases[] = {
        {"taken in Ready", kSpeaker, {L"dial 12"}, {L"cradle out"}, {L"SetSpeaker(FALSE)"}, {L"Show"}, L"12",
         kCallReady, 0},
        {"taken in CallIn answers", kSpeaker, {L"status CaIn"}, {L"cradle out"}, {L"SetSpeaker(FALSE)"},
         {L"Acpt", L"Show"}, nullptr, kCallIn, 0},
        {"taken during a call on the speaker", kSpeaker, {L"status Talk"}, {L"cradle out"}, {L"SetSpeaker(FALSE)"},
         {L"Show"}, nullptr, kCallTalk, 0},
        {"put back during a call on the speaker keeps it there", kSpeaker, {L"status Talk"}, {L"cradle in"},
         {L"SetSpeaker(TRUE)"}, {}, nullptr, kCallTalk, 1},
        {"put back in Talk hangs up", kSpeaker, {L"status Talk", L"cradle out"}, {L"cradle in"}, {}, {L"Hgup"},
         nullptr, kCallTalk, 0},
        {"put back in Ready hides", kSpeaker, {L"cradle out"}, {L"cradle in"}, {L"SetReady()"}, {L"Hide"}, nullptr,
         kCallReady, 0},
        {"put back in CallIn hides too", kSpeaker, {L"cradle out", L"status CaIn"}, {L"cradle in"},
         {L"SetReady()"}, {L"Hide"}, nullptr, kCallIn, 0},
        {"any model: taken", kOther, {}, {L"cradle out"}, {L"SetSpeaker(FALSE)"}, {L"Show"}, nullptr, kCallReady,
         0},
    };
    for (const PhoneScenario& scenario : cases)
        Run(scenario);
}

// Through the stand-in's control: decoding of its events, the ring window's
// timer, the wait that ends a line call, and whole calls.
using DeviceControlEvents = PhoneFixture;

TEST_F(DeviceControlEvents, OtherEventsAndEventsThatDoNotFitChangeNothing)
{
    Detect(kOther);
    Step(L"dial 12");
    ClearRecords();
    const wchar_t* events[] = {
        L"notify 5",           // event 3: handled by doing nothing
        L"reserved 5",         // event 6: not handled
        L"fire 2",             // KeyPressed without its key
        L"fire 2 bstr:abc",    // a key that is not a number
        L"fire 2 i2:49 i2:50", // two keys at once
        L"fire 2 i4:70000",    // a key beyond 16 bits
        L"fire 4",             // HookChanged without its flag
        L"fire 4 bstr:maybe",
        L"fire 5 bstr:x",
        L"fire 7 i2:1 i2:1",
        L"fire 99 i2:1",       // an event the control does not have
        L"fire -1",
    };
    for (const wchar_t* event : events)
        Step(event);
    EXPECT_TRUE(Journal().empty());
    EXPECT_TRUE(m_pRecorder->m_commands.empty());
    EXPECT_EQ(Device().m_strDial, L"12");
    EXPECT_FALSE(Device().m_bOffHook);
    EXPECT_FALSE(Device().m_bRingPending);
    EXPECT_TRUE(Device().m_bInCradle);
    EXPECT_EQ(Device().m_nCallState, kCallReady);

    // A number that converts is taken, as a container converts arguments.
    Step(L"fire 2 i4:51");
    EXPECT_EQ(m_pRecorder->m_commands, (Lines{L"Dial 51", L"Show"}));

    // Events reach the dialog only from item 1000.
    m_pRecorder->m_commands.clear();
    VARIANT key;
    V_VT(&key) = VT_I2;
    V_I2(&key) = '5';
    DISPPARAMS params = {&key, nullptr, 1, 0};
    AxEvent event = {kEventKeyPressed, &params};
    SendMessageW(DeviceWnd(), WM_AXEVENT, 1001, reinterpret_cast<LPARAM>(&event));
    EXPECT_TRUE(m_pRecorder->m_commands.empty());
    SendMessageW(DeviceWnd(), WM_AXEVENT, IDC_USBPHONE, reinterpret_cast<LPARAM>(&event));
    EXPECT_EQ(m_pRecorder->m_commands, (Lines{L"Dial 53", L"Show"}));
    SendMessageW(DeviceWnd(), WM_AXEVENT, IDC_USBPHONE, 0);
    EXPECT_EQ(m_pRecorder->m_commands.size(), 2u);
}

TEST_F(DeviceControlEvents, PstnRingWindowArmsRearmsAndExpiresAndARingWithoutRingingArmsNothing)
{
    Detect(kPstn);
    HandsetOk(L"channel 1");
    Step(L"dial 12");
    ASSERT_EQ(Device().m_strDial, L"12");
    ClearRecords();

    Step(L"ring on");
    EXPECT_TRUE(Device().m_bRingPending);
    EXPECT_EQ(Device().m_strDial, L"");
    EXPECT_EQ(Device().m_nChannel, kLineChannelUsb);
    EXPECT_EQ(Journal(), Lines{L"GetLineChannel()=1"});
    EXPECT_FALSE(WaitFor([&] { return !Device().m_bRingPending; }, 3000));

    // Ringing again restarts the 6 s.
    Step(L"ring on");
    DWORD rearmed = GetTickCount();
    EXPECT_FALSE(WaitFor([&] { return !Device().m_bRingPending; }, 4500)) << "the first window must not end it";
    EXPECT_TRUE(WaitFor([&] { return !Device().m_bRingPending; }, 3000));
    DWORD window = GetTickCount() - rearmed;
    EXPECT_GE(window, 5500u);
    EXPECT_LE(window, 7500u);
    EXPECT_TRUE(m_pRecorder->m_commands.empty());

    // A ring with FALSE sets the flag but arms no window.
    Step(L"ring off");
    EXPECT_TRUE(Device().m_bRingPending);
    EXPECT_FALSE(WaitFor([&] { return !Device().m_bRingPending; }, 6800));
    // A hook change then takes it as a PSTN call.
    Step(L"hook off");
    EXPECT_FALSE(Device().m_bRingPending);
    EXPECT_EQ(Device().m_nChannel, kLineChannelPstn);
    EXPECT_EQ(Device().m_strDial, L"PSTNTALK");
    EXPECT_TRUE(m_pRecorder->m_commands.empty());
}

TEST_F(DeviceControlEvents, EndOfAPstnCallHoldsTheProgramForOneAndAHalfSecondsFirst)
{
    Detect(kPstn);
    Step(L"ring on");
    Step(L"hook off");
    ClearRecords();
    DWORD start = GetTickCount();
    Step(L"hook on");
    DWORD held = GetTickCount() - start;
    EXPECT_GE(held, kPstnHangUpWaitMs);
    EXPECT_EQ(Journal(), Lines{L"SetReady()"});
    EXPECT_EQ(m_pRecorder->m_commands, Lines{L"Hide"});
    EXPECT_EQ(Device().m_strDial, L"");

    // Without a PSTN call there is no wait.
    Step(L"hook off");
    start = GetTickCount();
    Step(L"hook on");
    EXPECT_LT(GetTickCount() - start, 1000u);
}

TEST_F(DeviceControlEvents, IncomingAndOutgoingCallsWithTheMessengerAnswering)
{
    Detect(kOther);
    m_pRecorder->m_bAnswerLikeExecutor = true;
    // Incoming: ringing, lifted, talking, replaced.
    Step(L"status CaIn");
    Step(L"hook off");
    EXPECT_EQ(Device().m_nCallState, kCallTalk);
    Step(L"status Talk");
    Step(L"hook on");
    EXPECT_EQ(Device().m_nCallState, kCallReady);
    EXPECT_EQ(Journal(), (Lines{kShowCallIn, kShowInTalk, L"SetReady()"}));
    EXPECT_EQ(m_pRecorder->m_commands, (Lines{L"Acpt", L"Show", L"Hgup"}));
    EXPECT_EQ(State(L"display"), L"\"\"");

    // Outgoing: dialled on the keypad, called, ended by the end key.
    ClearRecords();
    Step(L"dial 42");
    Step(L"key call");
    EXPECT_EQ(Device().m_nCallState, kCallTalk);
    EXPECT_EQ(State(L"display"), L"\"InTalk\"");
    Step(L"key end");
    Lines journal = {L"SignalKeyPress(1)", L"ShowNumber(\"4\")", L"SignalKeyPress(1)", L"ShowNumber(\"42\")",
                     L"SignalKeyPress(1)", kShowInTalk,          L"SetReady()"};
    EXPECT_EQ(Journal(), journal);
    EXPECT_EQ(m_pRecorder->m_commands, (Lines{L"Dial 52", L"Show", L"Dial 50", L"Show", L"Call", L"Show", L"Hgup"}));
    EXPECT_EQ(Device().m_nCallState, kCallReady);
    EXPECT_EQ(Device().m_strDial, L"");
}
