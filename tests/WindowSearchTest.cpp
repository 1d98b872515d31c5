// Window search on real windows: CWindowMatch's criteria and walk, and
// FindMessenger's main window, number box and contact list, with the
// messenger's windows owned by a thread of their own.
#include <gtest/gtest.h>

#include "MessengerTestSupport.h"
#include "messenger/MessengerIds.h"
#include "messenger/WindowClass.h"
#include "messenger/WindowMatch.h"
#include "link/CallCodes.h"

#include <commctrl.h>
#include <richedit.h>

#include <map>
#include <string>

namespace {

const wchar_t kHit[] = L"hit";

HWND FirstChildOfClass(HWND hParent, const wchar_t* className)
{
    return FindWindowExW(hParent, nullptr, className, nullptr);
}

}  // namespace

TEST(WindowMatch, CriteriaAreExactAndOnlyThoseSetCount)
{
    CLocalWindows windows;
    HWND hWnd = windows.Make(kPlainTestClass, L"Buddies", nullptr, false);
    HWND hUntitled = windows.Make(kPlainTestClass, L"", nullptr, false);
    ASSERT_TRUE(hWnd && hUntitled);
    RECT client = {};
    ASSERT_TRUE(GetClientRect(hWnd, &client));

    EXPECT_TRUE(CWindowMatch(nullptr, nullptr, nullptr).Matches(hWnd));
    EXPECT_TRUE(CWindowMatch(L"Buddies", kPlainTestClass, &client).Matches(hWnd));
    EXPECT_FALSE(CWindowMatch(L"buddies", nullptr, nullptr).Matches(hWnd));
    EXPECT_FALSE(CWindowMatch(L"Buddies ", nullptr, nullptr).Matches(hWnd));
    EXPECT_FALSE(CWindowMatch(L"Buddie", nullptr, nullptr).Matches(hWnd));
    // The empty text is a criterion of its own: only an empty title meets it.
    EXPECT_FALSE(CWindowMatch(L"", nullptr, nullptr).Matches(hWnd));
    EXPECT_TRUE(CWindowMatch(L"", nullptr, nullptr).Matches(hUntitled));
    EXPECT_FALSE(CWindowMatch(L"Buddies", nullptr, nullptr).Matches(hUntitled));

    EXPECT_FALSE(CWindowMatch(nullptr, L"callvanetestplain", nullptr).Matches(hWnd));
    EXPECT_FALSE(CWindowMatch(nullptr, L"CallvaneTest", nullptr).Matches(hWnd));
    EXPECT_FALSE(CWindowMatch(L"Buddies", L"Button", nullptr).Matches(hWnd));

    for (int field = 0; field < 4; ++field) {
        RECT other = client;
        (&other.left)[field] += 1;
        EXPECT_FALSE(CWindowMatch(nullptr, nullptr, &other).Matches(hWnd)) << "field " << field;
        EXPECT_FALSE(CWindowMatch(L"Buddies", kPlainTestClass, &other).Matches(hWnd)) << "field " << field;
    }

    // Texts are read into 128 characters: a longer title is compared as cut.
    std::wstring longTitle(200, L'x');
    longTitle[126] = L'y';
    SetWindowTextW(hWnd, longTitle.c_str());
    EXPECT_FALSE(CWindowMatch(longTitle.c_str(), nullptr, nullptr).Matches(hWnd));
    EXPECT_TRUE(CWindowMatch(longTitle.substr(0, 127).c_str(), nullptr, nullptr).Matches(hWnd));
    EXPECT_FALSE(CWindowMatch(longTitle.substr(0, 126).c_str(), nullptr, nullptr).Matches(hWnd));

    EXPECT_EQ(CWindowMatch(nullptr, nullptr, nullptr).Find(nullptr), nullptr);
}

// Parents before children, siblings from the top down, never out of the
// root's own tree.
TEST(WindowMatch, FindWalksTheRootsTreeDepthFirst)
{
    CLocalWindows windows;
    std::map<std::string, HWND> w;
    w["S"] = windows.Make(kPlainTestClass, L"", nullptr, false);
    w["S1"] = windows.Make(kPlainTestClass, L"", w["S"], false);
    w["S1a"] = windows.Make(kPlainTestClass, L"", w["S1"], false);
    w["S2"] = windows.Make(kPlainTestClass, L"", w["S"], false);
    w["B"] = windows.Make(kPlainTestClass, L"", nullptr, false);
    w["B1"] = windows.Make(kPlainTestClass, L"", w["B"], false);
    w["U"] = windows.Make(kPlainTestClass, L"", nullptr, false);
    w["U1"] = windows.Make(kPlainTestClass, L"", w["U"], false);
    PlaceBelow(w["U"], HWND_TOP);
    PlaceBelow(w["S"], w["U"]);
    PlaceBelow(w["B"], w["S"]);
    PlaceBelow(w["S1"], HWND_TOP);
    PlaceBelow(w["S2"], w["S1"]);
    ASSERT_EQ(GetWindow(w["U"], GW_HWNDNEXT), w["S"]);
    ASSERT_EQ(GetWindow(w["S"], GW_HWNDNEXT), w["B"]);
    ASSERT_EQ(GetWindow(w["S"], GW_CHILD), w["S1"]);
    ASSERT_EQ(GetWindow(w["S1"], GW_HWNDNEXT), w["S2"]);

    const struct {
        const char* root;
        std::vector<const char*> hits;
        const char* expected;   // null: nothing found
    } cases[] = {
        {"S", {"S"}, "S"},
        {"S", {"S1a", "S2", "B", "B1", "U"}, "S1a"},
        {"S", {"S2", "B"}, "S2"},
        {"S", {"B", "B1", "U", "U1"}, nullptr},
        {"S", {}, nullptr},
        {"S1", {"S1a", "S2"}, "S1a"},
        {"S1", {"S2", "B"}, nullptr},
        {"S1a", {"S2", "B"}, nullptr},
        {"B", {"S", "S1", "B1"}, "B1"},
    };
    const CWindowMatch match(kHit, kPlainTestClass, nullptr);
    const CWindowMatch anyClass(kHit, nullptr, nullptr);
    for (const auto& c : cases) {
        for (auto& entry : w)
            SetWindowTextW(entry.second, L"");
        std::string hits;
        for (const char* name : c.hits) {
            SetWindowTextW(w[name], kHit);
            hits += std::string(name) + " ";
        }
        HWND expected = c.expected ? w[c.expected] : nullptr;
        EXPECT_EQ(match.Find(w[c.root]), expected) << "in " << c.root << " with hits " << hits;
        EXPECT_EQ(anyClass.Find(w[c.root]), expected) << "any class, in " << c.root << " with hits " << hits;
    }

    // A window of another class is passed over, whatever its text.
    for (auto& entry : w)
        SetWindowTextW(entry.second, L"");
    HWND hButton = windows.Make(L"Button", kHit, w["S1"], false);
    SetWindowTextW(w["S2"], kHit);
    EXPECT_EQ(match.Find(w["S"]), w["S2"]);
    EXPECT_EQ(anyClass.Find(w["S"]), hButton);
}

// The walk loops: a deep tree needs no more stack than a flat one.
TEST(WindowMatch, FindReachesTheBottomOfADeepTreeOnLittleStack)
{
    const int kDepth = 2000;
    CLocalWindows windows;
    HWND hRoot = windows.Make(kPlainTestClass, L"", nullptr, false);
    HWND hParent = hRoot;
    for (int level = 0; hParent && level < kDepth; ++level) {
        // No parent notifications: each would climb the whole chain.
        hParent = CreateWindowExW(WS_EX_NOPARENTNOTIFY, kPlainTestClass, L"", WS_CHILD, 0, 0, 10, 10, hParent,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ASSERT_NE(hParent, nullptr);
    SetWindowTextW(hParent, kHit);
    HWND found = nullptr;
    ASSERT_TRUE(RunBounded([&] { found = CWindowMatch(kHit, kPlainTestClass, nullptr).Find(hRoot); }, 30000,
                           24 * 1024));
    EXPECT_EQ(found, hParent);
}

class WindowSearchTest : public CMessengerWindowsTest {};

TEST_F(WindowSearchTest, FindsMainWindowNumberBoxAndContactList)
{
    HWND hMain = Messenger(kMainWindowClass, L"Yahoo! Messenger", nullptr, false);
    ASSERT_NE(hMain, nullptr);
    HWND hLoneEdit = Messenger(L"Edit", L"", hMain);              // an edit outside any combo box
    HWND hPanel = Messenger(kPlainTestClass, L"", hMain);
    HWND hGroups = Messenger(kListViewClass, L"Groups", hPanel, true, LVS_REPORT);
    HWND hCombo = Messenger(L"ComboBox", L"", hPanel, true, CBS_DROPDOWN);
    HWND hContacts = Messenger(kListViewClass, L"", hPanel, true, LVS_REPORT);
    HWND hComboEdit = FirstChildOfClass(hCombo, L"Edit");
    ASSERT_TRUE(hLoneEdit && hGroups && hContacts && hComboEdit);
    OnMessengerThread([&] {
        PlaceBelow(hLoneEdit, HWND_TOP);
        PlaceBelow(hPanel, hLoneEdit);
        PlaceBelow(hGroups, HWND_TOP);
        PlaceBelow(hCombo, hGroups);
        PlaceBelow(hContacts, hCombo);
        // Nothing below: the contact list search ends in this window.
        PlaceBelow(hMain, HWND_BOTTOM);
    });

    ASSERT_TRUE(Yahoo().FindMessenger());
    EXPECT_EQ(Yahoo().m_hMessengerWnd, hMain);
    EXPECT_EQ(Yahoo().m_hNumberEdit, hComboEdit);
    EXPECT_EQ(Yahoo().m_hContactList, hContacts);

    // A number box that is still a window is kept, whatever it is ...
    Yahoo().m_hNumberEdit = hLoneEdit;
    ASSERT_TRUE(Yahoo().FindMessenger());
    EXPECT_EQ(Yahoo().m_hNumberEdit, hLoneEdit);
    // ... and one that is gone is searched again.
    HWND hGone = Messenger(kPlainTestClass, L"", hMain);
    OnMessengerThread([&] { DestroyWindow(hGone); });
    ASSERT_FALSE(IsWindow(hGone));
    Yahoo().m_hNumberEdit = hGone;
    ASSERT_TRUE(Yahoo().FindMessenger());
    EXPECT_EQ(Yahoo().m_hNumberEdit, hComboEdit);

    // The contact list is searched on every find: a list view with a text is
    // never the contact list.
    OnMessengerThread([&] { SetWindowTextW(hContacts, L"Friends"); });
    ASSERT_TRUE(Yahoo().FindMessenger());
    EXPECT_EQ(Yahoo().m_hContactList, nullptr);
    OnMessengerThread([&] { SetWindowTextW(hGroups, L""); });
    ASSERT_TRUE(Yahoo().FindMessenger());
    EXPECT_EQ(Yahoo().m_hContactList, hGroups);
    EXPECT_EQ(m_side.m_device.Take(), std::vector<uint32_t>());
}

TEST_F(WindowSearchTest, RichEditInsideAComboBoxIsTheNumberBox)
{
    ASSERT_NE(LoadLibraryW(L"riched20.dll"), nullptr);
    HWND hMain = Messenger(kMainWindowClass, L"Yahoo! Messenger", nullptr, false);
    // A combo box without an edit of its own, holding a rich edit.
    HWND hCombo = Messenger(L"ComboBox", L"", hMain, true, CBS_DROPDOWNLIST);
    ASSERT_EQ(FirstChildOfClass(hCombo, L"Edit"), nullptr);
    HWND hRich = Messenger(RICHEDIT_CLASSW, L"", hCombo);
    ASSERT_NE(hRich, nullptr);
    // Class names merely containing the parts count; an edit elsewhere does not.
    HWND hOuter = Messenger(kPlainTestClass, L"", hMain);
    Messenger(L"Edit", L"", hOuter);
    OnMessengerThread([&] { PlaceBelow(hOuter, HWND_TOP); });

    ASSERT_TRUE(Yahoo().FindMessenger());
    EXPECT_EQ(Yahoo().m_hNumberEdit, hRich);
}

// Another program's list views, above or below the main window, never take
// the handset's arrow keys; the main window's own does, however deep.
TEST_F(WindowSearchTest, ContactListIsSearchedInsideTheMainWindowOnly)
{
    HWND hAbove = Messenger(kPlainTestClass, L"", nullptr, false);
    HWND hAboveList = Messenger(kListViewClass, L"", hAbove, true, LVS_REPORT);
    HWND hMain = Messenger(kMainWindowClass, L"Yahoo! Messenger", nullptr, false);
    HWND hMainPanel = Messenger(kPlainTestClass, L"", hMain);
    HWND hBelow = Messenger(kPlainTestClass, L"", nullptr, false);
    HWND hBelowPanel = Messenger(kPlainTestClass, L"", hBelow);
    HWND hBelowList = Messenger(kListViewClass, L"", hBelowPanel, true, LVS_REPORT);
    HWND hBelowTopList = Messenger(kListViewClass, L"", nullptr, false, LVS_REPORT);
    ASSERT_TRUE(hAboveList && hMainPanel && hBelowList && hBelowTopList);
    OnMessengerThread([&] {
        PlaceBelow(hAbove, HWND_TOP);
        PlaceBelow(hMain, hAbove);
        PlaceBelow(hBelow, hMain);
        PlaceBelow(hBelowTopList, hBelow);
    });
    ASSERT_EQ(GetWindow(hMain, GW_HWNDNEXT), hBelow);

    ASSERT_TRUE(Yahoo().FindMessenger());
    EXPECT_EQ(Yahoo().m_hContactList, nullptr);
    EXPECT_EQ(Yahoo().m_hNumberEdit, nullptr);

    HWND hMainList = Messenger(kListViewClass, L"", hMainPanel, true, LVS_REPORT);
    ASSERT_TRUE(Yahoo().FindMessenger());
    EXPECT_EQ(Yahoo().m_hContactList, hMainList);
}

TEST_F(WindowSearchTest, WithoutMessengerOnlyTheMainHandleChangesUntilTheTickForgets)
{
    ASSERT_EQ(FindWindowW(kMainWindowClass, nullptr), nullptr);
    HWND hStale = Messenger(kPlainTestClass, L"", nullptr, false);
    OnMessengerThread([&] { DestroyWindow(hStale); });
    CYahooDialog& y = Yahoo();
    y.m_hMessengerWnd = y.m_hNumberEdit = y.m_hCallInWnd = y.m_hLastCallInWnd = y.m_hContactList = y.m_hCallWnd =
        hStale;

    EXPECT_FALSE(y.FindMessenger());
    EXPECT_EQ(y.m_hMessengerWnd, nullptr);
    for (HWND h : {y.m_hNumberEdit, y.m_hCallInWnd, y.m_hLastCallInWnd, y.m_hContactList, y.m_hCallWnd})
        EXPECT_EQ(h, hStale);
    EXPECT_EQ(m_side.m_device.Take(), std::vector<uint32_t>());

    m_side.Tick();
    EXPECT_EQ(y.m_hMessengerWnd, nullptr);
    EXPECT_EQ(y.m_hNumberEdit, nullptr);
    EXPECT_EQ(y.m_hCallInWnd, nullptr);
    EXPECT_EQ(y.m_hCallWnd, nullptr);
    EXPECT_EQ(y.m_hContactList, hStale);
    EXPECT_EQ(y.m_hLastCallInWnd, hStale);
    EXPECT_EQ(m_side.m_device.m_params, std::vector<int32_t>{0});
    EXPECT_EQ(CodesText(m_side.m_device.Take()), CodesText({kStatusReady}));
    m_side.Tick();
    EXPECT_EQ(CodesText(m_side.m_device.Take()), CodesText({kStatusReady}));
}

// The contact list search walks every top-level window below the main window
// when the main window holds none, and the call scan steps through every
// dialog of another thread: neither may use stack, or time, per window more
// than once. A crowd of plain windows, then of dialogs, of another program
// (each look at a foreign window is a round trip to the server); a few
// thousand are enough to run a walk that keeps a frame per window out of
// the stack it is given.
TEST_F(WindowSearchTest, PassOverThousandsOfTopLevelWindowsCompletes)
{
    const SIZE_T kStackHeadroom = 32 * 1024;
    struct Crowd {
        const wchar_t* kind;
        int count;
    };
    for (const Crowd& crowdKind : {Crowd{L"dialog", 2000}, Crowd{L"plain", 3000}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(crowdKind.kind)));
        const std::wstring readyName = L"CallvaneCrowdReady-" + std::to_wstring(GetCurrentProcessId());
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
        ASSERT_NE(ready, nullptr);
        DWORD start = GetTickCount();
        CChildProcess crowd(JoinPath(TestBinDir(), L"window_crowd.exe"),
                            std::to_wstring(crowdKind.count) + L" " + crowdKind.kind + L" " + readyName);
        DWORD waited = WaitForSingleObject(ready, 60000);
        CloseHandle(ready);
        ASSERT_EQ(waited, WAIT_OBJECT_0) << "crowd exit code " << crowd.ExitCode();
        DWORD created = GetTickCount() - start;
        HWND hMain = Messenger(kMainWindowClass, L"Yahoo! Messenger", nullptr, false);
        ASSERT_NE(hMain, nullptr);
        // A dialog of the messenger's own, below all others: the scan steps
        // over every other dialog before it.
        HWND hOwnDialog = Messenger(L"#32770", L"own", nullptr, false);
        ASSERT_NE(hOwnDialog, nullptr);
        OnMessengerThread([&] {
            PlaceBelow(hMain, HWND_TOP);
            PlaceBelow(hOwnDialog, HWND_BOTTOM);
        });
        ASSERT_GE(TopLevelWindows().size(), static_cast<size_t>(crowdKind.count));

        CYahooDialog& y = Yahoo();
        bool found = false;
        start = GetTickCount();
        // Little stack: a walk that took even a few bytes per window would run out.
        ASSERT_TRUE(RunBounded(
            [&] {
                found = y.FindMessenger() != FALSE;
                y.WatchCalls();
            },
            60000, kStackHeadroom));
        DWORD passed = GetTickCount() - start;
        EXPECT_TRUE(found);
        EXPECT_EQ(y.m_hContactList, nullptr);
        EXPECT_EQ(CodesText(m_side.m_device.Take()), CodesText({kStatusReady}));
        printf("created %d windows in %lu ms; pass took %lu ms\n", crowdKind.count, created, passed);
        OnMessengerThread([&] {
            DestroyWindow(hOwnDialog);
            DestroyWindow(hMain);
        });
    }
}
