// Callvane.exe as installed, with a stand-in messenger that misbehaves: it is
// killed in the middle of a call, its thread stops answering while the
// handset is used, and the handset sends a storm of keys into it.
#include "E2eSession.h"

#include "app/AppIds.h"
#include "res/resource.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

// Ends a process at once, as a crash or the task manager would.
bool Kill(DWORD processId)
{
    HANDLE hProcess = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (!hProcess)
        return false;
    bool killed = TerminateProcess(hProcess, 9) && WaitForSingleObject(hProcess, 5000) == WAIT_OBJECT_0;
    CloseHandle(hProcess);
    return killed;
}

// Milliseconds one handset command takes, its reply in *reply.
DWORD TimedHandset(CCallvaneProcess& app, const std::wstring& command, std::wstring* reply)
{
    DWORD start = GetTickCount();
    *reply = app.Handset(command);
    return GetTickCount() - start;
}

}  // namespace

class E2eMisbehavingMessenger : public E2eScenario {};

// Killed mid-call: at the next tick the messenger is missing and the handset
// is back to ready; the program and its handset go on.
TEST_F(E2eMisbehavingMessenger, MessengerKilledMidCall)
{
    size_t from = m_app->Journal().size();
    ASSERT_NE(m_sim->CommandWindow(L"open conversation call name=Kim"), nullptr);
    ASSERT_TRUE(m_app->WaitForJournal(kJShowInTalk, from, kOneTickBoundMs));
    from = m_app->Journal().size();
    ASSERT_TRUE(Kill(m_sim->ProcessId()));
    EXPECT_TRUE(m_app->WaitForJournal(kJSetReady, from, kOneTickBoundMs));
    EXPECT_EQ(m_app->State(L"ready"), L"1");
    EXPECT_EQ(m_app->State(L"open"), L"1");
    EXPECT_TRUE(WaitForTrayTip(m_app->Main(), kTipNoMessenger, kOneTickBoundMs)) << testing::PrintToString(ShellTrayTips(m_app->Main()));
    for (const wchar_t* event : {L"lift", L"dial 12", L"key call", L"replace"})
        EXPECT_EQ(m_app->Handset(event).compare(0, 2, L"ok"), 0) << testing::PrintToString(event);
    PumpMessages(kTickMs);
    EXPECT_TRUE(m_app->Process().IsRunning());
}

// The messenger's thread stops answering for 2 s while the handset is lifted
// and replaced: each event is handled within a short bound, the program's
// window answers all along, and what was asked reaches the messenger once it
// answers again.
TEST_F(E2eMisbehavingMessenger, HungMessengerLeavesTheProgramAnswering)
{
    const DWORD kEventBoundMs = 1500;
    // Just past the bound: an event that waited for the thread misses it.
    const DWORD kHangMs = kEventBoundMs + 500;
    ASSERT_EQ(m_app->Handset(L"dial 12"), L"ok delivered=2");
    ASSERT_TRUE(m_sim->WaitForState(0, "number-box \"12\""));
    size_t mark = m_sim->Mark();
    ASSERT_EQ(m_sim->Command(L"hang " + std::to_wstring(kHangMs)), 1);
    ASSERT_TRUE(m_sim->WaitForState(mark, "hanging " + std::to_string(kHangMs)));

    std::atomic<bool> probing(true);
    std::atomic<DWORD> slowest(0);
    std::atomic<int> unanswered(0);
    HWND hMain = m_app->Main();
    std::thread prober([&] {
        while (probing) {
            DWORD start = GetTickCount();
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutW(hMain, WM_NULL, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, 1000, &result))
                ++unanswered;
            slowest = std::max<DWORD>(slowest, GetTickCount() - start);
            Sleep(50);
        }
    });
    std::wstring lifted;
    std::wstring replaced;
    DWORD liftMs = TimedHandset(*m_app, L"lift", &lifted);          // 'Show'
    DWORD replaceMs = TimedHandset(*m_app, L"replace", &replaced);  // 'Hide'
    EXPECT_TRUE(m_sim->WaitForState(mark, "hang-over", kHangMs + 2000));
    probing = false;
    prober.join();
    printf("[ HUNG     ] lift %lu ms, replace %lu ms, slowest probe %lu ms\n", static_cast<unsigned long>(liftMs),
           static_cast<unsigned long>(replaceMs), static_cast<unsigned long>(slowest.load()));
    EXPECT_EQ(lifted, L"ok delivered=1");
    EXPECT_EQ(replaced, L"ok delivered=1");
    EXPECT_LT(liftMs, kEventBoundMs);
    EXPECT_LT(replaceMs, kEventBoundMs);
    EXPECT_EQ(unanswered.load(), 0);
    EXPECT_LT(slowest.load(), 1000u);
    // Once it answers, its number box is emptied (by the text, or by Escape
    // when the text was given up) and it is hidden.
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(m_sim->Main()); }));
    EXPECT_TRUE(m_sim->WaitForState(mark, "number-box \"\""));
    EXPECT_TRUE(WaitForTrayTip(m_app->Main(), kTipOnline, kOneTickBoundMs)) << testing::PrintToString(ShellTrayTips(m_app->Main()));
}

// 1,000 keys a second from the handset: the messenger's number box receives
// every digit, in order, and the program keeps up.
TEST_F(E2eMisbehavingMessenger, KeyStormReachesTheNumberBoxInOrder)
{
    const int kBatches = 10;
    const int kBatchKeys = 100;
    // The virtual handset's own painting at every call would be measured too.
    ASSERT_EQ(m_app->Handset(L"hide"), L"ok");
    std::wstring all;
    size_t mark = m_sim->Mark();
    DWORD start = GetTickCount();
    for (int batch = 0; batch < kBatches; ++batch) {
        std::wstring digits;
        for (int i = 0; i < kBatchKeys; ++i)
            digits += static_cast<wchar_t>(L'0' + (batch * 7 + i) % 10);
        all += digits;
        ASSERT_EQ(m_app->Handset(L"dial " + digits), L"ok delivered=" + std::to_wstring(kBatchKeys));
        DWORD due = start + static_cast<DWORD>(batch + 1) * 100;
        if (static_cast<LONG>(due - GetTickCount()) > 0)
            PumpMessages(due - GetTickCount());
    }
    DWORD took = GetTickCount() - start;
    std::string expected(all.begin(), all.end());
    EXPECT_TRUE(m_sim->WaitForState(mark, "number-box \"" + expected + "\"", 20000));
    printf("[ STORM    ] %d keys handled in %lu ms, typed in %lu ms\n", kBatches * kBatchKeys,
           static_cast<unsigned long>(took), static_cast<unsigned long>(GetTickCount() - start));
    EXPECT_TRUE(m_app->Process().IsRunning());
    EXPECT_EQ(m_app->State(L"display"), L"\"" + all + L"\"");
}
