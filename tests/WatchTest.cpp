// The watch pass on real windows: the known call window and its hang-up
// button, the incoming-call notification, the scan after it closes and the
// scan for a call in progress, in the Z orders and threads that decide them.
#include <gtest/gtest.h>

#include "MessengerTestSupport.h"
#include "link/CallCodes.h"
#include "messenger/MessengerIds.h"
#include "messenger/RingWatch.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

const std::string kNone = CodesText({});
const std::string kReady = CodesText({kStatusReady});
const std::string kTalk = CodesText({kStatusTalk});
const std::string kCallIn = CodesText({kStatusCallIn});

}  // namespace

class WatchTest : public CMessengerWindowsTest {
protected:
    void SetUp() override
    {
        m_hMain = Messenger(kMainWindowClass, L"Yahoo! Messenger", nullptr, false);
        ASSERT_NE(m_hMain, nullptr);
        m_side.SetHandsetPresent(true);
    }
    HWND CallWindow(const wchar_t* className, const wchar_t* title, const wchar_t* buttonText, bool buttonVisible,
                    HWND* phButton = nullptr)
    {
        HWND hWnd = nullptr;
        OnMessengerThread([&] { hWnd = MakeCallWindow(className, title, buttonText, buttonVisible, phButton); });
        return hWnd;
    }
    HWND Notification(const wchar_t* title, HWND* phBrowser, const wchar_t* innerClass = nullptr)
    {
        HWND hWnd = nullptr;
        OnMessengerThread([&] { hWnd = MakeNotification(title, phBrowser, innerClass); });
        return hWnd;
    }
    void Destroy(HWND hWnd)
    {
        OnMessengerThread([&] { DestroyWindow(hWnd); });
    }
    // One pass on another thread, so that a pass that never ends fails the
    // test instead of hanging it.
    bool BoundedPass()
    {
        CYahooDialog& y = Yahoo();
        return RunBounded(
            [&] {
                if (y.FindMessenger())
                    y.WatchCalls();
            },
            10000);
    }

    HWND m_hMain = nullptr;
};

TEST_F(WatchTest, KnownCallWindowReportsTalkWhileItsHangUpButtonShows)
{
    HWND hButton = nullptr;
    HWND hCall = CallWindow(kConversationClass, L"Alice", L"Hang up", true, &hButton);
    ASSERT_TRUE(hCall && hButton);
    Yahoo().m_hCallWnd = hCall;

    m_side.Tick();
    // Statuses go out with parameter 0.
    EXPECT_EQ(m_side.m_device.m_params, std::vector<int32_t>{0});
    EXPECT_EQ(Statuses(), kTalk);
    EXPECT_EQ(Yahoo().m_hCallWnd, hCall);
    m_side.Tick();
    EXPECT_EQ(Statuses(), kTalk);

    // The far side hung up: the button went away, so did the call.
    OnMessengerThread([&] { ShowWindow(hButton, SW_HIDE); });
    m_side.Tick();
    EXPECT_EQ(Statuses(), kReady);
    EXPECT_EQ(Yahoo().m_hCallWnd, nullptr);
    // The scan then sees the hidden button too, and finds no call.
    m_side.Tick();
    EXPECT_EQ(Statuses(), kReady);
    EXPECT_EQ(Yahoo().m_hCallWnd, nullptr);
}

TEST_F(WatchTest, OnlyTheFirstButtonWithTheHangUpTextCounts)
{
    HWND hCall = CallWindow(kConversationClass, L"Bob", nullptr, false);
    HWND hPanel = FindWindowExW(hCall, nullptr, kDialogClass, nullptr);
    ASSERT_NE(hPanel, nullptr);
    HWND hHidden = Messenger(L"Button", L"Hang up", hPanel, false);
    HWND hVisible = Messenger(L"Button", L"Hang up", hPanel, true);
    OnMessengerThread([&] {
        PlaceBelow(hHidden, HWND_TOP);
        PlaceBelow(hVisible, hHidden);
    });
    Yahoo().m_hCallWnd = hCall;
    // A hidden hang-up button ahead of a visible one hides it.
    m_side.Tick();
    EXPECT_EQ(Statuses(), kReady);
    EXPECT_EQ(Yahoo().m_hCallWnd, nullptr);

    // Near misses: another class with the text, buttons with other texts.
    OnMessengerThread([&] {
        DestroyWindow(hHidden);
        DestroyWindow(hVisible);
        for (const wchar_t* text : {L"hang up", L"Hang up ", L"Hang"})
            MakeWindow(L"Button", text, hPanel);
        MakeWindow(L"Static", L"Hang up", hPanel);
    });
    Yahoo().m_hCallWnd = hCall;
    m_side.Tick();
    EXPECT_EQ(Statuses(), kReady);

    // A visible one deeper down, after them, is found.
    HWND hInner = Messenger(kPlainTestClass, L"", hPanel);
    Messenger(L"Button", L"Hang up", hInner);
    Yahoo().m_hCallWnd = hCall;
    m_side.Tick();
    EXPECT_EQ(Statuses(), kTalk);
    EXPECT_EQ(Yahoo().m_hCallWnd, hCall);

    // The text is read afresh: with another language the button is not it.
    m_language.Write(L"Incoming call", L"Voice message", L"End call");
    m_side.Tick();
    EXPECT_EQ(Statuses(), kReady);
}

TEST_F(WatchTest, VoiceMessageTitleKeepsTheCallWindowAndReportsNothing)
{
    HWND hCall = CallWindow(kConversationClass, L"Alice - Voice message", nullptr, false);
    Yahoo().m_hCallWnd = hCall;
    m_side.Tick();
    EXPECT_EQ(Statuses(), kNone);
    EXPECT_EQ(Yahoo().m_hCallWnd, hCall);

    // Titles are read into 32 characters: text beyond them is not seen.
    HWND hLong = CallWindow(kConversationClass, L"A very long conversation title, Voice message", nullptr, false);
    Yahoo().m_hCallWnd = hLong;
    m_side.Tick();
    EXPECT_EQ(Statuses(), kReady);
    EXPECT_EQ(Yahoo().m_hCallWnd, nullptr);

    // An empty voice-message text is contained in every title but the empty one.
    m_language.Write(L"Incoming call", L"", L"Hang up");
    Yahoo().m_hCallWnd = hLong;
    m_side.Tick();
    EXPECT_EQ(Statuses(), kNone);
    EXPECT_EQ(Yahoo().m_hCallWnd, hLong);
    HWND hUntitled = CallWindow(kConversationClass, L"", L"Hang up", true);
    Yahoo().m_hCallWnd = hUntitled;
    m_side.Tick();
    EXPECT_EQ(Statuses(), kTalk);
    EXPECT_EQ(Yahoo().m_hCallWnd, hUntitled);
}

TEST_F(WatchTest, NotificationIsReportedOnceAndOnlyToAHandset)
{
    m_side.SetHandsetPresent(false);
    HWND hBrowser = nullptr;
    HWND hNote = Notification(L"Incoming call", &hBrowser);
    ASSERT_TRUE(hNote && hBrowser);
    // A call in progress is not looked for while a notification is open.
    HWND hCall = CallWindow(kConversationClass, L"Alice", L"Hang up", true);
    ASSERT_NE(hCall, nullptr);

    m_side.Tick();
    EXPECT_EQ(Statuses(), kNone);
    EXPECT_EQ(Yahoo().m_hCallInWnd, nullptr);
    EXPECT_EQ(Yahoo().m_hLastCallInWnd, nullptr);
    EXPECT_EQ(Yahoo().m_hCallWnd, nullptr);

    // Reported at the first tick after a handset appears, if still ringing.
    m_side.SetHandsetPresent(true);
    m_side.Tick();
    EXPECT_EQ(Statuses(), kCallIn);
    EXPECT_EQ(Yahoo().m_hCallInWnd, hBrowser);
    EXPECT_EQ(Yahoo().m_hLastCallInWnd, hBrowser);
    for (int i = 0; i < 2; ++i) {
        m_side.Tick();
        EXPECT_EQ(Statuses(), kNone);
    }
    EXPECT_EQ(Yahoo().m_hCallWnd, nullptr);
}

TEST_F(WatchTest, NotificationTitleIsPreferredAnyTitleWillDoAndTheShapeMustFit)
{
    HWND hOtherBrowser = nullptr;
    HWND hOther = Notification(L"Someone calls", &hOtherBrowser);
    m_side.Tick();
    EXPECT_EQ(Statuses(), kCallIn);
    EXPECT_EQ(Yahoo().m_hCallInWnd, hOtherBrowser);

    // One with the language's title wins, even below the other.
    HWND hTitledBrowser = nullptr;
    HWND hTitled = Notification(L"Incoming call", &hTitledBrowser);
    ASSERT_TRUE(ArrangeTopDown({hOther, hTitled}));
    m_side.Tick();
    EXPECT_EQ(Statuses(), kCallIn);
    EXPECT_EQ(Yahoo().m_hCallInWnd, hTitledBrowser);
    EXPECT_EQ(Yahoo().m_hLastCallInWnd, hTitledBrowser);
    Destroy(hOther);
    Destroy(hTitled);
    m_side.Tick();   // the notification went unanswered
    EXPECT_EQ(Statuses(), kReady);

    // Shapes that are not the notification's are not reported.
    HWND hWrongClass = Notification(L"Incoming call", nullptr, L"Shell DocObject View");
    m_side.Tick();
    EXPECT_EQ(Statuses(), kNone);
    Destroy(hWrongClass);
    HWND hShallow = Messenger(kNotificationClass, L"Incoming call", nullptr);
    HWND hLevel1 = Messenger(L"Shell Embedding", L"", hShallow);
    Messenger(kBrowserClass, L"", hLevel1);
    m_side.Tick();
    EXPECT_EQ(Statuses(), kNone);
    Destroy(hShallow);
    HWND hEmpty = Messenger(kNotificationClass, L"Incoming call", nullptr);
    m_side.Tick();
    EXPECT_EQ(Statuses(), kNone);
    EXPECT_EQ(Yahoo().m_hCallInWnd, nullptr);
    Destroy(hEmpty);

    // A new notification is a new window, and is reported again.
    HWND hNewBrowser = nullptr;
    Notification(L"Incoming call", &hNewBrowser);
    m_side.Tick();
    EXPECT_EQ(Statuses(), kCallIn);
    EXPECT_EQ(Yahoo().m_hCallInWnd, hNewBrowser);
}

TEST_F(WatchTest, BuiltInTextsAreThoseOfTheChineseEdition)
{
    CLanguageFile builtIn;
    const wchar_t kCallInTitle[] = L"\u96C5\u864E\u901A";   // without the default's two blanks
    const wchar_t kHangUpText[] = L"\u7ED3\u675F\u901A\u8BDD";
    const wchar_t kVoiceMessageText[] = L"\u8BED\u97F3\u7559\u8A00";

    HWND hTitledBrowser = nullptr;
    HWND hTitled = Notification(kCallInTitle, &hTitledBrowser);
    HWND hOther = Notification(L"Other", nullptr);
    ASSERT_TRUE(ArrangeTopDown({hOther, hTitled}));
    m_side.Tick();
    EXPECT_EQ(Statuses(), kCallIn);
    EXPECT_EQ(Yahoo().m_hCallInWnd, hTitledBrowser);
    Destroy(hTitled);
    Destroy(hOther);

    HWND hCall = CallWindow(kConversationClass, L"Alice", kHangUpText, true);
    m_side.Tick();
    EXPECT_EQ(Statuses(), kTalk);
    EXPECT_EQ(Yahoo().m_hCallWnd, hCall);
    OnMessengerThread([&] { SetWindowTextW(hCall, (std::wstring(L"Alice ") + kVoiceMessageText).c_str()); });
    m_side.Tick();
    EXPECT_EQ(Statuses(), kNone);
}

TEST_F(WatchTest, ClosedNotificationLeadsToTheAnsweredCall)
{
    HWND hBrowser = nullptr;
    HWND hNote = Notification(L"Incoming call", &hBrowser);
    m_side.Tick();
    ASSERT_EQ(Statuses(), kCallIn);

    // Answered: the notification goes and a conversation shows its button,
    // right below another conversation without one.
    HWND hQuiet = CallWindow(kConversationClass, L"Carol", nullptr, false);
    HWND hCall = CallWindow(kConversationClass, L"Alice", L"Hang up", true);
    ASSERT_TRUE(ArrangeTopDown({hQuiet, hCall}));
    Destroy(hNote);
    m_side.Tick();
    EXPECT_EQ(Statuses(), kTalk);
    EXPECT_EQ(Yahoo().m_hCallWnd, hCall);
    EXPECT_EQ(Yahoo().m_hCallInWnd, nullptr);
    EXPECT_EQ(Yahoo().m_hLastCallInWnd, hBrowser);

    // Search windows are looked at when no conversation window is left below.
    Destroy(hCall);
    HWND hNote2Browser = nullptr;
    HWND hNote2 = Notification(L"Incoming call", &hNote2Browser);
    m_side.Tick();
    ASSERT_EQ(Statuses(), kCallIn);
    HWND hSearch = CallWindow(kSearchWindowClass, L"Dave", L"Hang up", true);
    ASSERT_TRUE(ArrangeTopDown({hQuiet, hSearch}));
    Destroy(hNote2);
    m_side.Tick();
    EXPECT_EQ(Statuses(), kTalk);
    EXPECT_EQ(Yahoo().m_hCallWnd, hSearch);
    EXPECT_EQ(Yahoo().m_hLastCallInWnd, hNote2Browser);
}

TEST_F(WatchTest, ClosedNotificationWithoutACallReportsReadyAndKeepsTheCallHandle)
{
    HWND hBrowser = nullptr;
    HWND hNote = Notification(L"Incoming call", &hBrowser);
    m_side.Tick();
    ASSERT_EQ(Statuses(), kCallIn);
    CallWindow(kSearchWindowClass, L"Search 1", L"Hang up", false);
    CallWindow(kSearchWindowClass, L"Search 2", nullptr, false);
    CallWindow(kConversationClass, L"Carol", nullptr, false);
    HWND hStale = Messenger(kPlainTestClass, L"", nullptr);
    Destroy(hStale);
    Yahoo().m_hCallWnd = hStale;
    Destroy(hNote);

    ASSERT_TRUE(BoundedPass());
    EXPECT_EQ(Statuses(), kReady);
    EXPECT_EQ(Yahoo().m_hCallWnd, hStale);
    EXPECT_EQ(Yahoo().m_hCallInWnd, nullptr);
    EXPECT_EQ(Yahoo().m_hLastCallInWnd, hBrowser);
}

// Case 3's scan, table-driven: windows from the top of the Z order down.
TEST_F(WatchTest, ScanFindsCallsByClassZOrderAndThread)
{
    enum Kind { Conversation, Search, Dialog, ForeignDialog, Plain };
    enum Button { NoButton, Visible, Hidden };
    struct Entry {
        Kind kind;
        Button button;
    };
    const struct {
        const char* name;
        std::vector<Entry> windows;
        int expected;   // index of the call window found, -1 for none
    } cases[] = {
        {"conversation", {{Conversation, Visible}}, 0},
        {"messenger's dialog", {{Dialog, Visible}}, 0},
        {"dialog of another thread", {{ForeignDialog, Visible}}, -1},
        {"hidden button", {{Conversation, Hidden}}, -1},
        {"right after the one examined", {{Conversation, NoButton}, {Conversation, Visible}}, -1},
        {"one window further down", {{Conversation, NoButton}, {Plain, NoButton}, {Conversation, Visible}}, 2},
        {"search window above a conversation", {{Search, Visible}, {Conversation, NoButton}}, -1},
        {"search window below", {{Conversation, NoButton}, {Plain, NoButton}, {Search, Visible}}, 2},
        {"conversations first", {{Search, Visible}, {Plain, NoButton}, {Conversation, Visible}}, 2},
        {"right after a foreign dialog", {{ForeignDialog, Visible}, {Dialog, Visible}}, -1},
        {"below a foreign dialog", {{ForeignDialog, Visible}, {Plain, NoButton}, {Dialog, Visible}}, 2},
        {"dialogs last", {{Dialog, Visible}, {Plain, NoButton}, {Conversation, Visible}}, 2},
    };
    for (const auto& c : cases) {
        CLocalWindows local;
        std::vector<HWND> windows;
        for (const Entry& entry : c.windows) {
            const wchar_t* className = entry.kind == Conversation ? kConversationClass
                                       : entry.kind == Search     ? kSearchWindowClass
                                       : entry.kind == Plain      ? kPlainTestClass
                                                                  : kDialogClass;
            const wchar_t* text = entry.button == NoButton ? nullptr : L"Hang up";
            bool visible = entry.button == Visible;
            HWND hWnd = nullptr;
            if (entry.kind == ForeignDialog) {
                hWnd = MakeCallWindow(className, L"", text, visible);
                local.Adopt(hWnd);
            } else {
                hWnd = CallWindow(className, L"", text, visible);
            }
            ASSERT_NE(hWnd, nullptr) << c.name;
            windows.push_back(hWnd);
        }
        ASSERT_TRUE(ArrangeTopDown(windows)) << c.name;

        Yahoo().m_hCallWnd = nullptr;
        ASSERT_TRUE(BoundedPass()) << c.name;
        HWND expected = c.expected < 0 ? nullptr : windows[static_cast<size_t>(c.expected)];
        EXPECT_EQ(Yahoo().m_hCallWnd, expected) << c.name;
        EXPECT_EQ(Statuses(), c.expected < 0 ? kReady : kTalk) << c.name;

        OnMessengerThread([&] {
            for (HWND hWnd : windows)
                DestroyWindow(hWnd);
        });
    }
}

// With the bottom-most window examined last there is nothing to start after:
// the scan ends instead of starting again from the top.
TEST_F(WatchTest, ScanEndsAtTheBottomMostWindow)
{
    HWND hQuiet = CallWindow(kConversationClass, L"Carol", nullptr, false);
    HWND hDialog = CallWindow(kDialogClass, L"", L"Not this", true);
    ASSERT_TRUE(ArrangeAtBottom(hQuiet));
    ASSERT_TRUE(BoundedPass());
    EXPECT_EQ(Statuses(), kReady);
    EXPECT_EQ(Yahoo().m_hCallWnd, nullptr);

    // The same with a dialog of the messenger's thread at the bottom.
    Destroy(hQuiet);
    ASSERT_TRUE(ArrangeAtBottom(hDialog));
    ASSERT_TRUE(BoundedPass());
    EXPECT_EQ(Statuses(), kReady);
}

// Every tick sets the timer back to 2000 ms; 'Acpt' makes the next one come
// after 5000 ms, once.
// The watch's period is checked by order against two timers of the test's
// own, never by elapsed time: a loaded machine delays every timer alike.
TEST_F(WatchTest, TimerRearmsEveryTickAndWaitsFiveSecondsOnceAfterAccept)
{
    HWND hBrowser = nullptr;
    Notification(L"Incoming call", &hBrowser);
    m_side.Tick();
    ASSERT_EQ(Statuses(), kCallIn);

    CTestYahooDialog& y = m_side.m_yahoo;
    const UINT_PTR kEarlierTimerId = 1, kLaterTimerId = 2;
    const std::vector<UINT_PTR>& ids = y.m_timerIds;
    auto first = [&](UINT_PTR id) { return std::find(ids.begin(), ids.end(), id) - ids.begin(); };
    // The next watch tick comes after the test's timer of earlierMs and
    // before its timer of laterMs, both set now.
    auto nextTickBetween = [&](UINT earlierMs, UINT laterMs) {
        y.m_timerIds.clear();
        SetTimer(y.m_hWnd, kEarlierTimerId, earlierMs, nullptr);
        SetTimer(y.m_hWnd, kLaterTimerId, laterMs, nullptr);
        EXPECT_TRUE(WaitFor([&] { return first(kLaterTimerId) < static_cast<ptrdiff_t>(ids.size()); }, 15000));
        KillTimer(y.m_hWnd, kEarlierTimerId);
        KillTimer(y.m_hWnd, kLaterTimerId);
        EXPECT_LT(first(kEarlierTimerId), first(kWatchTimerId));
        EXPECT_LT(first(kWatchTimerId), first(kLaterTimerId));
    };
    auto waitForTick = [&] {
        y.m_tickTimes.clear();
        ASSERT_TRUE(WaitFor([&] { return !y.m_tickTimes.empty(); }, 10000));
    };

    y.m_bLiveTimer = true;
    waitForTick();
    nextTickBetween(1500, 2500);
    Statuses();

    // Accepting lengthens the one period that follows to 5 s.
    y.m_timerIds.clear();
    SetTimer(y.m_hWnd, kEarlierTimerId, 4500, nullptr);
    EXPECT_EQ(y.ExecuteCommand(kCmdAccept, 0), 1);
    SetTimer(y.m_hWnd, kLaterTimerId, 5500, nullptr);
    EXPECT_EQ(Statuses(), kTalk);
    EXPECT_TRUE(WaitFor([&] { return first(kLaterTimerId) < static_cast<ptrdiff_t>(ids.size()); }, 15000));
    KillTimer(y.m_hWnd, kEarlierTimerId);
    KillTimer(y.m_hWnd, kLaterTimerId);
    EXPECT_LT(first(kEarlierTimerId), first(kWatchTimerId));
    EXPECT_LT(first(kWatchTimerId), first(kLaterTimerId));
    // Then 2 s again.
    waitForTick();
    nextTickBetween(1500, 2500);
}

// CRingWatch alone, by plain calls: rings one after and beside another,
// during a call, answered, refused, or with nothing to click; each row's
// missed rings, in the order they were judged.
TEST(RingWatch, JudgesEachRingByWhatHappenedToIt)
{
    auto h = [](UINT_PTR n) { return reinterpret_cast<HWND>(n); };
    const HWND a = h(0xA), b = h(0xB), held = h(0x10), answer = h(0x11);
    // 'r' rings, 'a' answered, 'f' refused (both posted to the page), 'e'
    // ended, with the calls held then; 'x' the messenger went.
    struct Step {
        char what;
        HWND hPage;
        std::vector<HWND> calls;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
        const char* missed;   // pages judged missed, by their last hex digit
    } rows[] = {
        {"unanswered", {{'r', a, {}}, {'e', a, {}}}, "A"},
        {"answered from the handset", {{'r', a, {}}, {'a', a, {}}, {'e', a, {answer}}}, ""},
        {"answered, the call not held yet", {{'r', a, {}}, {'a', a, {}}, {'e', a, {}}}, ""},
        {"answered in the messenger", {{'r', a, {}}, {'e', a, {answer}}}, ""},
        {"refused", {{'r', a, {}}, {'f', a, {}}, {'e', a, {}}}, ""},
        {"during a call", {{'r', a, {held}}, {'e', a, {held}}}, "A"},
        {"during a call, answered in the messenger", {{'r', a, {held}}, {'e', a, {held, answer}}}, ""},
        {"overlapping, both missed", {{'r', a, {}}, {'r', b, {}}, {'e', a, {}}, {'e', b, {}}}, "AB"},
        {"overlapping, the later answered", {{'r', a, {}}, {'r', b, {}}, {'e', b, {answer}}, {'e', a, {answer}}}, "A"},
        {"overlapping, the later answered from the handset, ending together",
         {{'r', a, {}}, {'r', b, {}}, {'a', b, {}}, {'e', a, {answer}}, {'e', b, {answer}}}, "A"},
        {"the last answer's call goes on", {{'r', a, {}}, {'e', a, {answer}}, {'r', b, {answer}}, {'e', b, {answer}}}, "B"},
        {"the messenger went", {{'r', a, {}}, {'x', a, {}}, {'e', a, {}}}, ""},
    };
    for (const auto& row : rows) {
        CRingWatch watch;
        std::string missed;
        for (const Step& step : row.steps) {
            SYSTEMTIME now = {};
            now.wMinute = static_cast<WORD>(reinterpret_cast<UINT_PTR>(step.hPage));
            SYSTEMTIME rang = {};
            if (step.what == 'r')
                watch.Ringing(step.hPage, now, step.calls);
            else if (step.what == 'a')
                watch.Answered(step.hPage);
            else if (step.what == 'f')
                watch.Refused(step.hPage);
            else if (step.what == 'x')
                watch.Forget();
            else if (watch.Ended(step.hPage, step.calls, rang))
                missed += rang.wMinute == now.wMinute ? "0123456789ABCDEF"[rang.wMinute & 0xF] : '?';
        }
        EXPECT_EQ(missed, row.missed) << row.name;
        EXPECT_TRUE(watch.Pages().empty()) << row.name;
    }
}
