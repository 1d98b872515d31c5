// The handset side under stress: a storm of key events through the virtual
// handset's channel, the handset unplugged inside the PSTN ring window and
// during the wait that ends a PSTN call, and events that come after the
// device dialog has gone.
#include <gtest/gtest.h>

#include "PhoneFixture.h"
#include "TestSupport.h"
#include "framework/AxHost.h"
#include "link/CallCodes.h"
#include "phone/PhoneIds.h"
#include "res/resource.h"

#include <algorithm>
#include <thread>

namespace {

using Lines = std::vector<std::wstring>;

const uint32_t kPstn = 0x0520;
const uint32_t kOther = 0x0100;

// Posted messages waiting in this thread's queue (painting and timers are
// not queued), at most limit of them looked at; all are handled after.
size_t QueuedMessages(size_t limit)
{
    std::vector<MSG> taken;
    MSG msg;
    while (taken.size() < limit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_POSTMESSAGE))
        taken.push_back(msg);
    for (const MSG& m : taken) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return taken.size();
}

bool Contains(const Lines& lines, const std::wstring& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

using HandsetStress = PhoneFixture;

// 1,000 keys a second for three seconds: every key is handled as it comes,
// in order, and nothing piles up in the program's queue.
TEST_F(HandsetStress, KeyStormIsHandledInOrderWithoutAnyBacklog)
{
    Detect(kOther);
    // The virtual handset paints its display at every call while shown,
    // which alone takes longer than a key's 1 ms: a real handset does not.
    HandsetOk(L"hide");
    const int kBatches = 30;
    const int kBatchKeys = 100;
    const DWORD kBatchMs = 100;   // 100 keys every 100 ms
    std::wstring all;
    size_t maxQueued = 0;
    DWORD start = GetTickCount();
    for (int batch = 0; batch < kBatches; ++batch) {
        std::wstring digits;
        for (int i = 0; i < kBatchKeys; ++i)
            digits += static_cast<wchar_t>(L'0' + (batch * kBatchKeys + i) % 10);
        all += digits;
        ASSERT_EQ(Handset(L"dial " + digits), L"ok delivered=" + std::to_wstring(kBatchKeys));
        maxQueued = std::max(maxQueued, QueuedMessages(10000));
        DWORD due = start + static_cast<DWORD>(batch + 1) * kBatchMs;
        if (static_cast<LONG>(due - GetTickCount()) > 0)
            PumpMessages(due - GetTickCount());
    }
    DWORD took = GetTickCount() - start;
    printf("[ STORM    ] %d keys in %lu ms\n", kBatches * kBatchKeys, static_cast<unsigned long>(took));
    // Kept up: the storm took hardly longer than its own pace.
    EXPECT_LT(took, static_cast<DWORD>(kBatches) * kBatchMs + 2000);
    EXPECT_LT(maxQueued, 50u);

    // The messenger side got every key, in order, each followed by 'Show'.
    ASSERT_EQ(m_pRecorder->m_commands.size(), all.size() * 2);
    size_t wrong = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        wrong += m_pRecorder->m_commands[2 * i] != FormatCode(kCmdDial, all[i]) ? 1 : 0;
        wrong += m_pRecorder->m_commands[2 * i + 1] != L"Show" ? 1 : 0;
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(Device().m_strDial, all);
    EXPECT_EQ(State(L"display"), L"\"" + all + L"\"");
    EXPECT_EQ(State(L"signals"), std::to_wstring(all.size()));

    // The program still answers at once, and the next key is the next digit.
    m_pRecorder->m_commands.clear();
    Step(L"key end");
    EXPECT_EQ(m_pRecorder->m_commands, Lines{L"Hide"});
    EXPECT_EQ(Device().m_strDial, L"");
}

// Unplugged while the PSTN line's ring window runs, and while the program
// waits before ending a PSTN call: the removal is handled after what was
// under way, the ring window leaves nothing behind, and the next handset
// starts clean.
TEST_F(HandsetStress, UnpluggedInTheRingWindowAndDuringTheWaitAfterALineCall)
{
    Detect(kPstn);
    Step(L"ring on");
    ASSERT_TRUE(Device().m_bRingPending);
    EXPECT_EQ(HandsetOk(L"unplug"), L"ok removed=1");
    EXPECT_FALSE(Device().m_bRingPending);
    EXPECT_FALSE(Device().IsDevicePresent());
    EXPECT_EQ(Handset(L"key 5"), L"ok delivered=0");
    // Plugged in again while the window would still run: lifting the
    // handset is no line call now.
    HandsetOk(L"plug");
    RunDetectionTimer();
    ASSERT_TRUE(Device().IsDevicePresent());
    ClearRecords();
    Step(L"hook off");
    EXPECT_EQ(m_pRecorder->m_commands, Lines{L"Show"});
    EXPECT_EQ(Device().m_strDial, L"");
    SendMessageW(DeviceWnd(), WM_TIMER, kRingWindowTimerId, 0);   // the old window's end
    EXPECT_FALSE(Device().m_bRingPending);
    Step(L"hook on");

    // A line call, ended; the handset goes during the 1500 ms wait.
    Step(L"ring on");
    Step(L"hook off");
    ASSERT_EQ(Device().m_strDial, L"PSTNTALK");
    ClearRecords();
    std::wstring unplugReply;
    std::thread unplugger([&] {
        Sleep(400);
        CHandsetChannel channel;
        if (!channel.Send(m_hHandset, L"unplug", unplugReply, 10000))
            unplugReply = L"no reply";
    });
    DWORD start = GetTickCount();
    Step(L"hook on");
    DWORD held = GetTickCount() - start;
    EXPECT_TRUE(WaitFor([&] { return !unplugReply.empty(); }, 5000));
    unplugger.join();
    EXPECT_GE(held, kPstnHangUpWaitMs);
    EXPECT_EQ(unplugReply, L"ok removed=1");
    EXPECT_EQ(m_pRecorder->m_commands, Lines{L"Hide"});
    // Then nothing but the detection's attempts, which find no handset.
    Lines journal = Journal();
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.front(), L"SetReady()");
    for (size_t i = 1; i < journal.size(); ++i)
        EXPECT_EQ(journal[i], L"OpenDevice(0)=FALSE");
    EXPECT_FALSE(Device().IsDevicePresent());
    EXPECT_EQ(Device().m_nCallState, kCallNone);
    EXPECT_EQ(Device().m_strDial, L"");

    // The next handset: found, ready, and its keys reach the messenger.
    HandsetOk(L"model 256");
    HandsetOk(L"plug");
    EXPECT_TRUE(WaitFor([&] { return Device().IsDevicePresent() != FALSE; }, 3500));
    EXPECT_EQ(State(L"ready"), L"1");
    ClearRecords();
    Step(L"key 7");
    EXPECT_EQ(m_pRecorder->m_commands, (Lines{L"Dial 55", L"Show"}));
}

// A control kept alive past its host (another reference to it) and still
// open: once the device dialog has gone, its connection is released, so its
// events reach no sink and touch nothing of the program.
TEST_F(HandsetStress, EventsAfterTheDeviceDialogHasGoneReachNothing)
{
    for (uint32_t model : {kOther, 0u}) {
        SCOPED_TRACE(model);
        if (model == 0u) {
            // Opened but reporting model 0: the dialog never closes it.
            TearDown();
            SetUp();
            HandsetOk(L"model 0");
            HandsetOk(L"plug");
            RunDetectionTimer();
            ASSERT_EQ(State(L"open"), L"1");
        } else {
            Detect(model);
        }
        IDispatch* control = GetHostedControl(GetDlgItem(DeviceWnd(), IDC_USBPHONE));
        ASSERT_NE(control, nullptr);
        control->AddRef();
        m_dlg.reset();
        m_pRecorder = nullptr;
        PumpMessages(100);
        Lines log = OleLog();
        EXPECT_TRUE(Contains(log, L"Unadvise(1)"));
        EXPECT_FALSE(Contains(log, L"Destroyed"));   // still alive through the reference
        EXPECT_EQ(State(L"open"), model == 0u ? L"1" : L"0");
        EXPECT_EQ(Handset(L"key 5"), L"ok delivered=0");
        for (const wchar_t* event : {L"key 5", L"hook off", L"cradle out", L"ring on", L"fire 2 i2:53", L"unplug"})
            EXPECT_EQ(Handset(event).compare(0, 2, L"ok"), 0) << testing::PrintToString(event);
        PumpMessages(100);
        control->Release();
        PumpMessages(100);
        EXPECT_TRUE(Contains(OleLog(), L"Destroyed"));
        HandsetOk(L"reset");
        SetUp();
    }
}
