// The messenger side against windows that misbehave: texts and class names
// longer than any buffer it reads them into, windows that go between being
// found and being used, a messenger whose thread stops answering, and one
// that is killed in the middle of a command.
#include <gtest/gtest.h>

#include "MessengerSimProcess.h"
#include "MessengerTestSupport.h"
#include "SimIds.h"
#include "link/CallCodes.h"
#include "messenger/MessengerIds.h"

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kNone = CodesText({});
const std::string kReady = CodesText({kStatusReady});
const std::string kTalk = CodesText({kStatusTalk});
const std::string kCallIn = CodesText({kStatusCallIn});

// Longer than every buffer the messenger side reads texts into; class names
// get the longest the system allows (255).
std::wstring Long(const std::wstring& head, size_t chars, wchar_t fill = L'x')
{
    std::wstring text = head;
    text.resize(chars, fill);
    return text;
}

// Messages posted with a null window land in this thread's own queue.
bool OwnQueueHasThreadMessages()
{
    MSG msg;
    return PeekMessageW(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_NOREMOVE) != FALSE;
}

// Registers a class of the given (long) name with the default procedure for
// the test's duration.
class CLongClass {
public:
    explicit CLongClass(const std::wstring& name) : m_name(name)
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = m_name.c_str();
        m_registered = RegisterClassW(&wc) != 0;
    }
    ~CLongClass()
    {
        if (m_registered)
            UnregisterClassW(m_name.c_str(), GetModuleHandleW(nullptr));
    }
    bool Registered() const { return m_registered; }
    const wchar_t* Name() const { return m_name.c_str(); }

private:
    std::wstring m_name;
    bool m_registered = false;
};

}  // namespace

// Every text and class name read from a window is cut to its buffer and
// compared as cut: a long one is never taken for a short one, never
// overruns, and the watch and the executor go on as usual.
class LongNamesTest : public CMessengerWindowsTest {};

TEST_F(LongNamesTest, LongTitlesAndClassNamesAreCutNotOverrun)
{
    const std::wstring hangUp = L"Hang up";
    CLongClass comboLong(Long(L"ComboBox", 255));
    CLongClass editLong(Long(L"Edit", 255));
    CLongClass editLate(Long(L"", 200) + L"Edit");   // "Edit" only past the cut
    CLongClass conversationLong(Long(kConversationClass, 255));
    ASSERT_TRUE(comboLong.Registered() && editLong.Registered() && editLate.Registered() &&
                conversationLong.Registered());
    m_side.SetHandsetPresent(true);

    HWND hMain = Messenger(kMainWindowClass, Long(L"Yahoo! Messenger", 5000).c_str(), nullptr, false);
    HWND hCombo = Messenger(comboLong.Name(), Long(L"", 3000).c_str(), hMain);
    HWND hLateEdit = Messenger(editLate.Name(), L"", hCombo);
    HWND hEdit = Messenger(editLong.Name(), Long(L"555", 4000).c_str(), hCombo);
    // A list view with a long text is not the contact list; the one without is.
    Messenger(kListViewClass, Long(L"Buddies", 5000).c_str(), hMain);
    HWND hList = Messenger(kListViewClass, L"", hMain);
    ASSERT_TRUE(hMain && hCombo && hLateEdit && hEdit && hList);

    ASSERT_TRUE(Yahoo().FindMessenger());
    EXPECT_EQ(Yahoo().m_hNumberEdit, hEdit);
    EXPECT_EQ(Yahoo().m_hContactList, hList);

    // A class that only begins with the conversation class is none, however
    // long; the call window's long title has the voice-message text past the
    // cut, so it is not in voice-message mode; a button whose text only
    // begins with the hang-up text is no hang-up button.
    HWND hNotCall = nullptr;
    OnMessengerThread([&] {
        hNotCall = MakeCallWindow(conversationLong.Name(), L"Impostor", hangUp.c_str(), true);
    });
    HWND hButton = nullptr;
    HWND hCall = nullptr;
    OnMessengerThread([&] {
        hCall = MakeCallWindow(kConversationClass, (Long(L"Alice", 300) + L"Voice message").c_str(), hangUp.c_str(),
                               true, &hButton);
    });
    HWND hLongButton = nullptr;
    HWND hLongCall = nullptr;
    OnMessengerThread([&] {
        hLongCall = MakeCallWindow(kConversationClass, L"Bob", Long(hangUp, 400).c_str(), true, &hLongButton);
    });
    // The scan never takes the window right below the one it examined last.
    HWND hFiller = Messenger(kPlainTestClass, L"", nullptr);
    ASSERT_TRUE(hNotCall && hCall && hLongCall && hFiller);
    ASSERT_TRUE(ArrangeTopDown({hNotCall, hLongCall, hFiller, hCall}));
    m_side.Tick();
    EXPECT_EQ(Statuses(), kTalk);
    EXPECT_EQ(Yahoo().m_hCallWnd, hCall);
    m_side.Tick();
    EXPECT_EQ(Statuses(), kTalk);

    // Voice-message text within the cut: the pass reports nothing.
    OnMessengerThread([&] { SetWindowTextW(hCall, (L"Alice Voice message" + Long(L"", 500)).c_str()); });
    m_side.Tick();
    EXPECT_EQ(Statuses(), kNone);

    // A notification with a long title is still found by its class.
    OnMessengerThread([&] {
        DestroyWindow(hCall);
        DestroyWindow(hLongCall);
        DestroyWindow(hNotCall);
    });
    m_side.Tick();
    ASSERT_EQ(Statuses(), kReady);
    HWND hBrowser = nullptr;
    HWND hNotification = nullptr;
    OnMessengerThread([&] { hNotification = MakeNotification(Long(L"Incoming call", 1000).c_str(), &hBrowser); });
    ASSERT_NE(hNotification, nullptr);
    m_side.Tick();
    EXPECT_EQ(Statuses(), kCallIn);
    EXPECT_EQ(Yahoo().m_hCallInWnd, hBrowser);

    // The executor on the same windows: keys go to the long-named number box.
    EXPECT_EQ(Yahoo().ExecuteCommand(kCmdDial, '7'), 1);
    EXPECT_EQ(Yahoo().ExecuteCommand(kCmdHide, 0), 1);
    EXPECT_EQ(WindowTitle(hEdit), L"");
    EXPECT_FALSE(OwnQueueHasThreadMessages());

    // Language texts longer than their 31 characters are cut the same way:
    // a button whose text begins with the cut text is the hang-up button.
    const std::wstring longHangUp = Long(L"End the call now", 300, L'!');
    m_language.Write(Long(L"Incoming", 300).c_str(), Long(L"Voice", 300).c_str(), longHangUp.c_str());
    OnMessengerThread([&] { DestroyWindow(hNotification); });
    m_side.Tick();
    EXPECT_EQ(Statuses(), kReady);
    OnMessengerThread([&] { hCall = MakeCallWindow(kDialogClass, L"Calling", longHangUp.c_str(), true); });
    m_side.Tick();
    EXPECT_EQ(Statuses(), kTalk);
    EXPECT_EQ(Yahoo().m_hCallWnd, hCall);
}

// The executor against the stand-in messenger, a separate process, when its
// windows go in the middle of a command or its thread stops answering.
class MisbehavingMessenger : public ::testing::Test {
protected:
    void SetUp() override { StartMessenger(); }
    void StartMessenger()
    {
        m_sim = std::make_unique<CMessengerSimProcess>(m_language.Path());
        ASSERT_TRUE(m_sim->Ready());
        ASSERT_EQ(FindWindowW(kMainWindowClass, nullptr), m_sim->Main());
        m_side.SetHandsetPresent(true);
        ASSERT_TRUE(Yahoo().FindMessenger());
        ASSERT_EQ(Yahoo().m_hNumberEdit, m_sim->NumberBox());
    }
    void TearDown() override { EXPECT_FALSE(OwnQueueHasThreadMessages()); }

    CYahooDialog& Yahoo() { return m_side.m_yahoo; }
    int Exec(uint32_t code, int32_t param = 0) { return Yahoo().ExecuteCommand(code, param); }
    std::string Statuses() { return CodesText(m_side.m_device.Take()); }
    // Starts a hang of the stand-in's thread and returns once it has begun.
    bool Hang(DWORD ms)
    {
        size_t mark = m_sim->Mark();
        return m_sim->Command(L"hang " + std::to_wstring(ms)) == 1 &&
               m_sim->WaitForState(mark, "hanging " + std::to_string(ms));
    }
    // Ends the stand-in at once, as a crash or the task manager would.
    bool KillMessenger()
    {
        HANDLE hProcess = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, m_sim->ProcessId());
        if (!hProcess)
            return false;
        bool killed = TerminateProcess(hProcess, 9) && WaitForSingleObject(hProcess, 5000) == WAIT_OBJECT_0;
        CloseHandle(hProcess);
        return killed;
    }

    CLanguageFile m_language{L"Incoming call", L"Voice message", L"Hang up"};
    std::unique_ptr<CMessengerSimProcess> m_sim;
    CMessengerSide m_side;
};

// Each command meets a window that the messenger destroys on the first
// message of the command that reaches it: the rest of the command acts on
// nothing, no key or click lands anywhere else, and the next pass goes on
// from what is left.
TEST_F(MisbehavingMessenger, WindowsDestroyedBetweenBeingFoundAndBeingUsed)
{
    struct Case {
        const char* name;
        std::vector<std::wstring> setup;   // stand-in commands; "tick" runs a watch pass
        std::wstring trigger;              // the destroy-on command
        uint32_t code;
        int32_t param;
        std::string statuses;              // sent by the command
        const char* gone;                  // the role that must be gone afterwards
        const char* reached;               // the only role a message may reach ("": none)
        std::string nextTick;              // statuses of the pass after it
    } cases[] = {
        {"Dial", {L"focus contact-list"}, L"destroy-on number-box WM_SETFOCUS", kCmdDial, '5', kNone, "number-box",
         "", kReady},
        {"Dele", {L"focus contact-list"}, L"destroy-on number-box WM_SETFOCUS window=main", kCmdDelete, 0, kNone,
         "main", "", kReady},
        {"Hide", {}, L"destroy-on number-box WM_SETTEXT window=main", kCmdHide, 0, kNone, "main", "number-box",
         kReady},
        {"KyDw", {L"focus number-box"}, L"destroy-on contact-list WM_SETFOCUS", kCmdKeyDown, 0, kNone,
         "contact-list", "", kReady},
        {"Acpt", {L"ring caller=Ann", L"tick"}, L"destroy-on call-in-browser WM_LBUTTONDOWN window=notification",
         kCmdAccept, 0, kTalk, "notification", "call-in-browser", kReady},
        {"Rfus", {L"ring caller=Ann", L"tick"}, L"destroy-on call-in-browser WM_LBUTTONDOWN", kCmdRefuse, 0, kNone,
         "call-in-browser", "call-in-browser", kReady},
        {"Hgup", {L"open conversation call name=Bo", L"tick", L"focus main"},
         L"destroy-on conversation WM_WINDOWPOSCHANGING", kCmdHangUp, 0, kReady, "conversation", "", kReady},
        {"Show 1", {L"open conversation call name=Cy", L"tick", L"focus main"},
         L"destroy-on conversation WM_WINDOWPOSCHANGING", kCmdShow, kShowCallWindow, kNone, "conversation", "",
         kReady},
        // The main window goes as it is shown: Ctrl+Tab must not be struck
        // into whatever else is in front.
        {"KyIn", {L"open conversation name=Di", L"main hide"}, L"destroy-on main WM_SHOWWINDOW", kCmdKeyIn, 0, kNone,
         "main", "", kReady},
    };
    bool first = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!first) {
            m_sim.reset();
            m_side.m_yahoo.m_hCallWnd = nullptr;
            m_side.m_yahoo.m_hCallInWnd = nullptr;
            m_side.m_yahoo.m_hNumberEdit = nullptr;
            StartMessenger();
            if (HasFatalFailure())
                return;
        }
        first = false;
        for (const std::wstring& step : c.setup) {
            if (step == L"tick")
                m_side.Tick();
            else
                ASSERT_GT(m_sim->Command(step), 0) << testing::PrintToString(step);
        }
        m_side.m_device.Take();
        size_t mark = m_sim->Mark();
        ASSERT_EQ(m_sim->Command(c.trigger), 1);
        EXPECT_EQ(Exec(c.code, c.param), 1);
        EXPECT_EQ(Statuses(), c.statuses);
        ASSERT_TRUE(m_sim->Sync());
        EXPECT_TRUE(WaitFor([&] {
            for (const std::string& state : m_sim->States(mark)) {
                if (state.compare(0, 16, "destroy-trigger ") == 0)
                    return true;
            }
            return false;
        })) << "the trigger never fired";
        HWND hGone = m_sim->Window(c.gone);
        EXPECT_TRUE(m_sim->WaitForState(mark, "destroyed " + std::string(c.gone) + " " + m_sim->HandleText(hGone)));
        // Whatever the command still sent after the window went reached no
        // other window of the messenger, nor this thread.
        for (const std::string& message : m_sim->Messages(mark))
            EXPECT_EQ(message.substr(0, message.find(' ')), c.reached) << message;
        EXPECT_FALSE(OwnQueueHasThreadMessages());
        EXPECT_TRUE(m_sim->IsRunning());
        m_side.Tick();
        EXPECT_EQ(Statuses(), c.nextTick);
        // Every command still runs on what is left.
        for (uint32_t code : {kCmdDial, kCmdHide, kCmdKeyUp, kCmdAccept, kCmdRefuse, kCmdHangUp, kCmdShow})
            Exec(code, '1');
        EXPECT_FALSE(OwnQueueHasThreadMessages());
        m_side.m_device.Take();
    }
}

// A messenger whose thread stops answering holds no command for longer than
// a short bound; what the command asked for still happens once it answers.
TEST_F(MisbehavingMessenger, HungMessengerHoldsNoCommandForLong)
{
    const DWORD kBoundMs = 1500;
    // Just past the bound: a command that waited for the thread misses it.
    const DWORD kHangMs = kBoundMs + 500;
    HWND hCall = m_sim->CommandWindow(L"open conversation call name=Hal");
    ASSERT_NE(hCall, nullptr);
    m_side.Tick();
    ASSERT_EQ(Statuses(), kTalk);
    ASSERT_EQ(m_sim->Command(L"focus contact-list"), 1);
    ASSERT_TRUE(WaitFor([&] { return GetForegroundWindow() == m_sim->Main(); }));

    struct Case {
        const char* name;
        uint32_t code;
        int32_t param;
    } cases[] = {
        {"Hide", kCmdHide, 0},       {"Show", kCmdShow, 0},   {"Dial", kCmdDial, '4'},
        {"KyDw", kCmdKeyDown, 0},    {"KyIn", kCmdKeyIn, 0},  {"Show 1", kCmdShow, kShowCallWindow},
        {"Hgup", kCmdHangUp, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.code == kCmdKeyDown || c.code == kCmdDial) {
            ASSERT_EQ(m_sim->Command(L"main show"), 1);
        }
        size_t mark = m_sim->Mark();
        ASSERT_TRUE(Hang(kHangMs));
        DWORD start = GetTickCount();
        EXPECT_EQ(Exec(c.code, c.param), 1);
        DWORD took = GetTickCount() - start;
        EXPECT_LT(took, kBoundMs);
        EXPECT_EQ(Statuses(), c.code == kCmdHangUp ? kReady : kNone);
        // The watch reads the windows without asking their thread anything.
        start = GetTickCount();
        m_side.Tick();
        EXPECT_LT(GetTickCount() - start, 300u);
        m_side.m_device.Take();
        EXPECT_TRUE(m_sim->WaitForState(mark, "hang-over", kHangMs + 2000));
        ASSERT_TRUE(m_sim->Sync());
        EXPECT_TRUE(m_sim->IsRunning());
    }
    // What was asked for came through once the thread answered again: the
    // number box emptied, then the digit typed, the list moved, the call
    // window closed.
    std::vector<std::string> states = m_sim->States(0);
    auto has = [&](const std::string& text) { return std::find(states.begin(), states.end(), text) != states.end(); };
    EXPECT_TRUE(has("number-box \"4\""));
    EXPECT_TRUE(has("selection 1 \"Bob\""));
    EXPECT_TRUE(has("call-ended conversation " + m_sim->HandleText(hCall) + " closed"));
}

// Killed while 'Call' waits for its call window, or between two commands:
// no crash, the command gives up, and the next pass forgets the messenger.
TEST_F(MisbehavingMessenger, MessengerKilledMidCommand)
{
    ASSERT_EQ(m_sim->Command(L"focus number-box"), 1);   // an empty number: no call comes
    bool killed = false;
    std::thread killer([&] {
        Sleep(400);
        killed = KillMessenger();
    });
    DWORD start = GetTickCount();
    EXPECT_EQ(Exec(kCmdCall), 0);
    DWORD took = GetTickCount() - start;
    killer.join();
    ASSERT_TRUE(killed);
    EXPECT_LT(took, static_cast<DWORD>(kCallWaitTries * kCallWaitStepMs + 1000));
    EXPECT_FALSE(m_sim->IsRunning());
    EXPECT_EQ(Statuses(), kNone);
    for (uint32_t code : {kCmdDial, kCmdHide, kCmdKeyIn, kCmdAccept, kCmdHangUp, kCmdShow, kCmdCall})
        EXPECT_EQ(Exec(code, '1'), 0) << CodeText(code);
    m_side.Tick();
    EXPECT_EQ(Statuses(), kReady);
    EXPECT_EQ(Yahoo().m_hMessengerWnd, nullptr);
    EXPECT_EQ(Yahoo().m_hNumberEdit, nullptr);
    EXPECT_EQ(Yahoo().m_hCallWnd, nullptr);
}
