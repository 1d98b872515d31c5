// The stand-in messenger itself: that its windows have the messenger's shapes
// as other processes see them, that its texts come from the language file,
// that it reacts only to whole clicks, and that its command channel and tool
// take bad requests soundly.
#include <gtest/gtest.h>

#include "MessengerSimProcess.h"
#include "MessengerTestSupport.h"
#include "SimChannel.h"
#include "SimIds.h"
#include "messenger/MessengerIds.h"

#include <commctrl.h>

#include <string>

namespace {

std::wstring ClassOf(HWND hWnd)
{
    wchar_t name[256] = {};
    GetClassNameW(hWnd, name, ARRAYSIZE(name));
    return name;
}

std::wstring TextOf(HWND hWnd)
{
    wchar_t text[256] = {};
    GetWindowTextW(hWnd, text, ARRAYSIZE(text));
    return text;
}

DWORD ThreadOf(HWND hWnd)
{
    return GetWindowThreadProcessId(hWnd, nullptr);
}

// Sends a raw WM_COPYDATA, as a careless or hostile client might.
LRESULT SendRaw(HWND hControl, ULONG_PTR magic, const void* data, DWORD bytes)
{
    COPYDATASTRUCT copy = {magic, bytes, const_cast<void*>(data)};
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hControl, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy), SMTO_ABORTIFHUNG, 10000,
                             &result))
        return 0;
    return static_cast<LRESULT>(result);
}

DWORD RunTool(const std::wstring& arguments)
{
    CChildProcess tool(JoinPath(TestBinDir(), L"messengerctl.exe"), arguments);
    if (!tool.WaitForExit(15000))
        return 0xFFFFFFFFu;
    return tool.ExitCode();
}

}  // namespace

TEST(MessengerSim, WindowsHaveTheMessengersShapesSeenFromOutside)
{
    CLanguageFile language(L"Incoming call", L"Voice message", L"Hang up");
    CMessengerSimProcess sim(language.Path());
    ASSERT_TRUE(sim.Ready());
    HWND hMain = sim.Main();
    EXPECT_EQ(FindWindowW(kMainWindowClass, nullptr), hMain);
    EXPECT_TRUE(IsWindowVisible(hMain));
    HWND hNumber = sim.NumberBox();
    EXPECT_EQ(ClassOf(hNumber), L"Edit");
    EXPECT_EQ(ClassOf(GetParent(hNumber)), L"ComboBox");
    EXPECT_EQ(GetAncestor(hNumber, GA_ROOT), hMain);
    HWND hList = sim.ContactList();
    EXPECT_EQ(ClassOf(hList), kListViewClass);
    EXPECT_EQ(TextOf(hList), L"");
    EXPECT_EQ(GetParent(hList), hMain);
    EXPECT_EQ(SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0), 4);
    // The command window is message-only: no top-level window to scan.
    EXPECT_EQ(GetAncestor(sim.ControlWindow(), GA_PARENT), GetAncestor(FindWindowExW(HWND_MESSAGE, nullptr, nullptr,
                                                                                       nullptr), GA_PARENT));

    HWND hBrowser = sim.CommandWindow(L"ring");
    ASSERT_NE(hBrowser, nullptr);
    HWND hNote = FindWindowW(kNotificationClass, L"Incoming call");
    ASSERT_NE(hNote, nullptr);
    EXPECT_EQ(GetWindow(GetWindow(GetWindow(hNote, GW_CHILD), GW_CHILD), GW_CHILD), hBrowser);
    EXPECT_EQ(ClassOf(hBrowser), kBrowserClass);
    EXPECT_TRUE(IsWindowVisible(hBrowser));

    HWND hConversation = sim.CommandWindow(L"open conversation call name=Pat");
    EXPECT_EQ(ClassOf(hConversation), kConversationClass);
    EXPECT_EQ(TextOf(hConversation), L"Pat");
    HWND hPanel = FindWindowExW(hConversation, nullptr, kDialogClass, L"");
    HWND hVoice = hPanel ? FindWindowExW(hPanel, nullptr, kCallVoiceClass, L"") : nullptr;
    EXPECT_NE(hVoice, nullptr);
    HWND hButton = hPanel ? FindWindowExW(hPanel, nullptr, L"Button", L"Hang up") : nullptr;
    ASSERT_NE(hButton, nullptr);
    EXPECT_TRUE(IsWindowVisible(hButton));

    HWND hSearch = sim.CommandWindow(L"open search name=Quinn");
    EXPECT_EQ(ClassOf(hSearch), kSearchWindowClass);
    HWND hInner = FindWindowExW(hSearch, nullptr, kConversationClass, L"");
    HWND hInnerPanel = hInner ? FindWindowExW(hInner, nullptr, kDialogClass, L"") : nullptr;
    EXPECT_NE(hInnerPanel ? FindWindowExW(hInnerPanel, nullptr, kCallVoiceClass, L"") : nullptr, nullptr);
    EXPECT_EQ(FindWindowExW(hSearch, nullptr, kDialogClass, L""), nullptr);

    HWND hDialog = sim.CommandWindow(L"open dialog call name=123");
    EXPECT_EQ(ClassOf(hDialog), kDialogClass);
    EXPECT_EQ(GetParent(hDialog), nullptr);
    EXPECT_EQ(ThreadOf(hDialog), ThreadOf(hMain));
    EXPECT_NE(FindWindowExW(hDialog, nullptr, kVoiceControlClass, nullptr), nullptr);
    EXPECT_NE(FindWindowExW(hDialog, nullptr, L"Button", L"Hang up"), nullptr);

    HWND hForeign = sim.CommandWindow(L"open foreign-dialog");
    EXPECT_EQ(ClassOf(hForeign), kDialogClass);
    DWORD foreignProcess = 0;
    GetWindowThreadProcessId(hForeign, &foreignProcess);
    EXPECT_EQ(foreignProcess, sim.ProcessId());
    EXPECT_NE(ThreadOf(hForeign), ThreadOf(hMain));

    HWND hLast = sim.CommandWindow(L"open plain 50");
    EXPECT_NE(hLast, nullptr);
    EXPECT_FALSE(IsWindowVisible(hLast));
    EXPECT_TRUE(sim.WaitForState(0, "extra-windows 50", 0));
}

TEST(MessengerSim, TextsComeFromTheLanguageFileAtEachUse)
{
    CLanguageFile language(L"Ring ring", L"Mailbox", L"End");
    CMessengerSimProcess sim(language.Path());
    ASSERT_TRUE(sim.Ready());
    sim.CommandWindow(L"ring");
    EXPECT_NE(FindWindowW(kNotificationClass, L"Ring ring"), nullptr);
    HWND hCall = sim.CommandWindow(L"open dialog call name=7");
    EXPECT_NE(FindWindowExW(hCall, nullptr, L"Button", L"End"), nullptr);
    EXPECT_EQ(sim.Command(L"voicemail"), 1);
    EXPECT_EQ(TextOf(hCall), L"7 - Mailbox");

    language.Write(L"Second", L"Box", L"Stop");
    sim.CommandWindow(L"ring title=\"Somebody else\"");
    EXPECT_NE(FindWindowW(kNotificationClass, L"Somebody else"), nullptr);
    sim.CommandWindow(L"ring");
    EXPECT_NE(FindWindowW(kNotificationClass, L"Second"), nullptr);
    HWND hNext = sim.CommandWindow(L"open dialog call name=8");
    EXPECT_NE(FindWindowExW(hNext, nullptr, L"Button", L"Stop"), nullptr);
}

TEST(MessengerSim, WithoutALanguageFileTheTextsAreTheChineseEditions)
{
    CMessengerSimProcess sim;
    ASSERT_TRUE(sim.Ready());
    sim.CommandWindow(L"ring");
    EXPECT_NE(FindWindowW(kNotificationClass, L"\u96C5\u864E\u901A"), nullptr);
    HWND hCall = sim.CommandWindow(L"open conversation call name=Rui");
    HWND hPanel = FindWindowExW(hCall, nullptr, kDialogClass, L"");
    EXPECT_NE(FindWindowExW(hPanel, nullptr, L"Button", L"\u7ED3\u675F\u901A\u8BDD"), nullptr);
    EXPECT_EQ(sim.Command(L"voicemail"), 1);
    EXPECT_EQ(TextOf(hCall), L"Rui - \u8BED\u97F3\u7559\u8A00");
}

// A press and a release on the same button make a click; the main window
// only hides when closed; the hang-up button ends the call.
TEST(MessengerSim, ReactsToWholeClicksAndKeepsRunningWhenClosed)
{
    CMessengerSimProcess sim;
    ASSERT_TRUE(sim.Ready());
    HWND hBrowser = sim.CommandWindow(L"ring caller=Sam");
    HWND hNote = GetAncestor(hBrowser, GA_ROOT);
    size_t mark = sim.Mark();
    // Pressed on answer, released on refuse; then a click on no button.
    PostMessageW(hBrowser, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(54, 75));
    PostMessageW(hBrowser, WM_LBUTTONUP, 0, MAKELPARAM(90, 75));
    PostMessageW(hBrowser, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    PostMessageW(hBrowser, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    ASSERT_TRUE(sim.Sync());
    EXPECT_TRUE(IsWindow(hBrowser));
    EXPECT_EQ(sim.Messages(mark).size(), 4u);
    // The second answer point answers too.
    PostMessageW(hBrowser, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(70, 75));
    PostMessageW(hBrowser, WM_LBUTTONUP, 0, MAKELPARAM(70, 75));
    ASSERT_TRUE(sim.WaitForState(mark, "ring-ended notification " + sim.HandleText(hNote) + " answered"));
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(hBrowser); }));
    ASSERT_TRUE(WaitFor([&] { return sim.Window("hangup-button") != nullptr; }));
    HWND hCall = FindWindowW(kConversationClass, L"Sam");
    ASSERT_NE(hCall, nullptr);
    EXPECT_TRUE(sim.WaitForState(mark, "call-started conversation " + sim.HandleText(hCall) + " \"Sam\""));
    HWND hPanel = FindWindowExW(hCall, nullptr, kDialogClass, L"");
    HWND hButton = FindWindowExW(hPanel, nullptr, L"Button", nullptr);
    ASSERT_NE(hButton, nullptr);
    EXPECT_EQ(hButton, sim.Window("hangup-button"));

    mark = sim.Mark();
    PostMessageW(hButton, BM_CLICK, 0, 0);
    EXPECT_TRUE(sim.WaitForState(mark, "call-ended conversation " + sim.HandleText(hCall) + " button"));
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(hButton); }));
    EXPECT_TRUE(IsWindow(hCall));

    // A press on the call-voice control released outside it starts nothing.
    HWND hVoice = FindWindowExW(hPanel, nullptr, kCallVoiceClass, L"");
    mark = sim.Mark();
    PostMessageW(hVoice, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(6, 8));
    PostMessageW(hVoice, WM_LBUTTONUP, 0, MAKELPARAM(300, 8));
    ASSERT_TRUE(sim.Sync());
    EXPECT_EQ(FindWindowExW(hPanel, nullptr, L"Button", nullptr), nullptr);

    PostMessageW(sim.Main(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(sim.Main()); }));
    EXPECT_TRUE(IsWindow(sim.Main()));
    EXPECT_EQ(sim.Command(L"ping"), 1);
}

TEST(MessengerSim, CommandChannelAnswersBadRequestsSoundly)
{
    CMessengerSimProcess sim;
    ASSERT_TRUE(sim.Ready());
    HWND hControl = sim.ControlWindow();
    const wchar_t ping[] = L"ping";
    EXPECT_EQ(SendRaw(hControl, kSimCommandMagic, ping, 8), 1);
    EXPECT_EQ(SendRaw(hControl, 0x12345678, ping, 8), kSimBadCommand);
    EXPECT_EQ(SendRaw(hControl, kSimCommandMagic, ping, 7), kSimBadCommand);   // half a character
    EXPECT_EQ(SendRaw(hControl, kSimCommandMagic, nullptr, 0), kSimBadCommand);
    std::wstring tooLong(kMaxCommandChars + 1, L'x');
    EXPECT_EQ(SendRaw(hControl, kSimCommandMagic, tooLong.c_str(), static_cast<DWORD>(tooLong.size() * 2)),
              kSimBadCommand);
    std::wstring longest = L"ping" + std::wstring(kMaxCommandChars - 4, L' ');
    EXPECT_EQ(SendRaw(hControl, kSimCommandMagic, longest.c_str(), static_cast<DWORD>(longest.size() * 2)), 1);
    // A command ends at a null: what follows is not run.
    const wchar_t twoCommands[] = L"ping\0quit";
    EXPECT_EQ(SendRaw(hControl, kSimCommandMagic, twoCommands, sizeof twoCommands), 1);

    for (const wchar_t* bad : {L"", L"   ", L"bogus", L"open", L"open plain", L"open plain 0", L"open plain x",
                               L"open plain 20001", L"open plain -5", L"open nothing", L"select 9", L"select -1",
                               L"select", L"focus", L"focus nowhere", L"shape round", L"main up", L"ring\"unclosed",
                               L"contact-return delay=", L"contact-return delay=x", L"contact-return delay=10001",
                               L"contact-return delay=-1", L"contact-return slowly"}) {
        EXPECT_EQ(sim.Command(bad), kSimBadCommand) << std::string(bad, bad + wcslen(bad));
    }
    // A quote left open runs to the end of the command.
    EXPECT_NE(sim.CommandWindow(L"ring title=\"Left open"), nullptr);
    EXPECT_NE(FindWindowW(kNotificationClass, L"Left open"), nullptr);
    EXPECT_EQ(sim.Command(L"far-hangup"), 1);
    EXPECT_EQ(sim.Command(L"far-hangup"), 0);
    EXPECT_EQ(sim.Command(L"hide-button"), 0);
    EXPECT_EQ(sim.Command(L"voicemail"), 0);
    EXPECT_TRUE(sim.IsRunning());
    EXPECT_EQ(sim.Command(L"ping"), 1);
    EXPECT_EQ(sim.Command(L"quit"), 1);
    EXPECT_TRUE(sim.WaitForExit(10000));
}

TEST(MessengerSim, ToolSendsOneCommandAndItsExitCodeTellsTheResult)
{
    CMessengerSimProcess sim;
    ASSERT_TRUE(sim.Ready());
    std::wstring pid = std::to_wstring(sim.ProcessId());
    EXPECT_EQ(RunTool(L"--pid " + pid + L" ping"), 0u);
    EXPECT_EQ(RunTool(L"--pid " + pid + L" far-hangup"), 1u);
    EXPECT_EQ(RunTool(L"--pid " + pid + L" bogus"), 2u);
    EXPECT_EQ(RunTool(L"--pid 1 ping"), 2u);
    EXPECT_EQ(RunTool(L"--pid x ping"), 3u);
    EXPECT_EQ(RunTool(L""), 3u);
    size_t mark = sim.Mark();
    EXPECT_EQ(RunTool(L"--pid " + pid + L" ring \"title=Two words\" caller=Tom"), 0u);
    EXPECT_NE(FindWindowW(kNotificationClass, L"Two words"), nullptr);
    EXPECT_TRUE(sim.WaitForState(mark, "ringing notification " +
                                           sim.HandleText(FindWindowW(kNotificationClass, L"Two words")) +
                                           " \"Tom\" \"Two words\"",
                                 0));
    EXPECT_EQ(RunTool(L"--pid " + pid + L" quit"), 0u);
    EXPECT_TRUE(sim.WaitForExit(10000));
}
