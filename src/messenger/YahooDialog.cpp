// Finding the messenger and watching it for calls. The command executor is
// in YahooCommands.cpp.
#include "YahooDialog.h"

#include "MessengerIds.h"
#include "WindowClass.h"
#include "WindowMatch.h"
#include "link/CallCodes.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "trace/TraceLog.h"

#include <algorithm>
#include <cwchar>

namespace {

// The messenger's main window as each watch pass finds it (null: none);
// traced when it is found, lost or replaced.
void TraceMessengerPresence(HWND hMain)
{
    static HWND s_hLastMain = nullptr;
    if (!g_traceLog.IsEnabled() || hMain == s_hLastMain)
        return;
    s_hLastMain = hMain;
    if (!hMain) {
        Trace(kTraceMessengerLost);
        return;
    }
    DWORD process = 0;
    GetWindowThreadProcessId(hMain, &process);
    Trace(kTraceMessengerFound, static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(hMain)),
          static_cast<unsigned long>(process));
}

// The messenger's voice-message rule: an empty title contains nothing, not
// even the empty text; any other title contains the empty text.
bool TitleContains(const wchar_t* title, const wchar_t* text)
{
    return title[0] != L'\0' && wcsstr(title, text) != nullptr;
}

// What the hang-up button search looks for and what it found.
struct HangUpSearch {
    wchar_t text[kNameChars];
    HWND hButton;
};

}  // namespace

CYahooDialog::CYahooDialog(IMessengerOwner* pOwner, CWnd* pParent)
    : CDialog(IDD_YAHOO_DIALOG, pParent), m_pOwner(pOwner)
{
}

CYahooDialog::~CYahooDialog() = default;

BOOL CYahooDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetTimer(kWatchTimerId, kWatchPeriodMs);
    return TRUE;
}

void CYahooDialog::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent != kWatchTimerId)
        return;
    // The watch never reads the contact list, and every command that does
    // searches it afresh first: the tick looks for the main window only.
    BOOL bFound = FindMainWindow();
    TraceMessengerPresence(m_hMessengerWnd);
    if (bFound)
        WatchCalls();
    else
        ForgetMessenger();
    // This tick's search stands for the refresh's own: searching twice cost
    // about a tenth of every tick.
    if (m_pOwner)
        m_pOwner->RefreshTrayForMessengerSearch(bFound);
    // Ends a longer period that a command set for this one tick. Otherwise
    // the timer keeps its 2 s: arming it again at every tick cost a request
    // to the window server each time.
    if (m_bWatchLengthened)
        RestartWatch();
}

void CYahooDialog::RestartWatch()
{
    m_bWatchLengthened = false;
    SetTimer(kWatchTimerId, kWatchPeriodMs);
}

BOOL CYahooDialog::FindMainWindow()
{
    m_hMessengerWnd = FindWindowW(kMainWindowClass, nullptr);
    if (!m_hMessengerWnd)
        return FALSE;
    // The number box lives as long as the main window: search only for a new one.
    if (!IsWindow(m_hNumberEdit)) {
        m_typed.clear();
        m_bTypedExact = false;
        EnumChildWindows(m_hMessengerWnd, FindNumberEditProc, reinterpret_cast<LPARAM>(this));
    }
    return TRUE;
}

BOOL CYahooDialog::FindMessenger()
{
    if (!FindMainWindow())
        return FALSE;
    // Only inside the main window: a list view of another program, below it
    // on the desktop, would otherwise take the handset's arrow keys.
    const CWindowMatch contactList(L"", kListViewClass, nullptr);
    m_hContactList = contactList.Find(m_hMessengerWnd);
    return TRUE;
}

BOOL CALLBACK CYahooDialog::FindNumberEditProc(HWND hWnd, LPARAM lParam)
{
    if (!ClassContains(hWnd, kEditClassPart))
        return TRUE;
    HWND hParent = GetParent(hWnd);
    if (!hParent || !ClassContains(hParent, kComboBoxClassPart))
        return TRUE;
    reinterpret_cast<CYahooDialog*>(lParam)->m_hNumberEdit = hWnd;
    return FALSE;
}

void CYahooDialog::ForgetMessenger()
{
    m_hMessengerWnd = nullptr;
    m_hNumberEdit = nullptr;
    m_hCallInWnd = nullptr;
    m_hCallWnd = nullptr;
    m_typed.clear();
    m_bTypedExact = false;
    m_ring.Forget();
    if (m_pOwner)
        m_pOwner->RefreshTrayStatus();
    SendStatus(kStatusReady);
}

void CYahooDialog::WatchCalls()
{
    for (HWND hPage : m_ring.Pages()) {
        if (!IsWindow(hPage))
            WatchRingEnd(hPage);
    }
    if (IsWindow(m_hCallWnd)) {
        // A ring while a call is held is followed for the missed calls all
        // the same (one class look-up a tick while no notification shows).
        if (HWND hPage = RingPage(FindNotification()))
            FollowRing(hPage);
        WatchCallWindow();
        return;
    }
    if (m_hCallInWnd && !IsWindow(m_hCallInWnd)) {
        WatchAfterCallIn();
        return;
    }
    HWND hNotification = FindNotification();
    if (hNotification)
        WatchNotification(hNotification);
    else
        ScanForCall();
}

// The notification with the incoming-call title is preferred, else any
// notification is taken. The title is read from the language file only
// when a notification exists at all: that read is a good part of an idle
// tick's cost (docs/PERFORMANCE.md).
HWND CYahooDialog::FindNotification() const
{
    HWND hNotification = FindWindowW(kNotificationClass, nullptr);
    if (hNotification) {
        wchar_t callInTitle[kNameChars];
        ReadWindowText(WindowText::CallIn, callInTitle);
        if (HWND hTitled = FindWindowW(kNotificationClass, callInTitle))
            hNotification = hTitled;
    }
    return hNotification;
}

// The notification's browser window, its first child's first child's first
// child; null when it has no such window.
HWND CYahooDialog::RingPage(HWND hNotification) const
{
    HWND hBrowser = hNotification;
    for (int level = 0; hBrowser && level < kBrowserDepth; ++level)
        hBrowser = GetWindow(hBrowser, GW_CHILD);
    return hBrowser && ClassIs(hBrowser, kBrowserClass) ? hBrowser : nullptr;
}

// Every ring counts for the missed calls, whether a handset is there to
// ring or not.
void CYahooDialog::FollowRing(HWND hPage)
{
    if (m_ring.IsRinging(hPage))
        return;
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    m_ring.Ringing(hPage, now, CallWindowsHeld());
}

// The page of a ring seen earlier has gone: the ring is over, answered when
// a call window holds a call that it did not hold when the ring began.
// Asked once per ring, so an idle tick costs nothing more.
void CYahooDialog::WatchRingEnd(HWND hPage)
{
    SYSTEMTIME rang = {};
    if (m_ring.Ended(hPage, CallWindowsHeld(), rang) && m_pOwner)
        m_pOwner->OnMissedCall(rang);
}

// Every conversation (or search) window holding a visible hang-up button,
// and the call window known if it holds one (a call dialog is no
// conversation).
std::vector<HWND> CYahooDialog::CallWindowsHeld() const
{
    std::vector<HWND> calls;
    CTopLevelScan scan;
    HWND hExamined = nullptr;
    for (HWND hFound; (hFound = FindAnsweredCallWindowBelow(scan, hExamined)) != nullptr; hExamined = hFound)
        calls.push_back(hFound);
    if (IsWindow(m_hCallWnd) && FindHangUpButton(m_hCallWnd) &&
        std::find(calls.begin(), calls.end(), m_hCallWnd) == calls.end())
        calls.push_back(m_hCallWnd);
    return calls;
}

// A call window is known: it still holds the call while its hang-up button
// shows; in voice-message mode nothing is reported.
void CYahooDialog::WatchCallWindow()
{
    wchar_t title[kTitleChars] = {};
    GetWindowTextW(m_hCallWnd, title, static_cast<int>(kTitleChars));
    wchar_t voiceMessage[kNameChars];
    ReadWindowText(WindowText::VoiceMessage, voiceMessage);
    if (TitleContains(title, voiceMessage))
        return;
    if (FindHangUpButton(m_hCallWnd)) {
        SendStatus(kStatusTalk);
        return;
    }
    m_hCallWnd = nullptr;
    SendStatus(kStatusReady);
}

// The notification has just closed: answered (a conversation window now holds
// the call) or not.
void CYahooDialog::WatchAfterCallIn()
{
    m_hCallInWnd = nullptr;
    HWND hCall = FindAnsweredCallWindow();
    if (!hCall) {
        SendStatus(kStatusReady);
        return;
    }
    m_hCallWnd = hCall;
    SendStatus(kStatusTalk);
}

// The conversation (or search) window that holds a visible hang-up button.
HWND CYahooDialog::FindAnsweredCallWindow() const
{
    CTopLevelScan scan;
    return FindAnsweredCallWindowBelow(scan, nullptr);
}

// The next such window after hExamined (null: from the top).
HWND CYahooDialog::FindAnsweredCallWindowBelow(CTopLevelScan& scan, HWND hExamined) const
{
    for (;;) {
        HWND hFound = scan.FindBelow(hExamined, kConversationClass);
        if (!hFound)
            hFound = scan.FindBelow(hExamined, kSearchWindowClass);
        if (!hFound || FindHangUpButton(hFound))
            return hFound;
        hExamined = hFound;
    }
}

// Each notification is reported once, and only to a handset that can ring.
void CYahooDialog::WatchNotification(HWND hNotification)
{
    HWND hBrowser = RingPage(hNotification);
    if (!hBrowser)
        return;
    FollowRing(hBrowser);
    if (hBrowser == m_hLastCallInWnd)
        return;
    if (!m_pOwner || !m_pOwner->IsDevicePresent())
        return;
    m_hCallInWnd = hBrowser;
    m_hLastCallInWnd = hBrowser;
    SendStatus(kStatusCallIn);
}

// Looks down the Z order for a conversation window, or a dialog of the
// messenger's thread, that holds a visible hang-up button. Each step starts
// after the window that follows the one examined last.
void CYahooDialog::ScanForCall()
{
    CTopLevelScan scan;
    const DWORD nMessengerThread = MessengerThread();
    HWND hExamined = nullptr;
    for (;;) {
        HWND hStart = nullptr;
        if (hExamined) {
            hStart = GetWindow(hExamined, GW_HWNDNEXT);
            // Below the bottom-most window there is nothing left: a null
            // start would begin again at the top.
            if (!hStart)
                break;
        }
        HWND hFound = scan.FindBelow(hStart, kConversationClass);
        if (!hFound)
            hFound = scan.FindBelow(hStart, kSearchWindowClass);
        if (!hFound) {
            // Only the messenger's own dialogs are searched: when it has
            // none, stepping over the dialogs of other threads finds nothing.
            if (!scan.ThreadOwnsDialog(nMessengerThread, m_messengerClasses))
                break;
            hFound = scan.FindBelow(hStart, kDialogClass);
            if (!hFound)
                break;
            if (nMessengerThread == 0 || GetWindowThreadProcessId(hFound, nullptr) != nMessengerThread) {
                hExamined = hFound;
                continue;
            }
        }
        if (FindHangUpButton(hFound)) {
            m_hCallWnd = hFound;
            SendStatus(kStatusTalk);
            return;
        }
        hExamined = hFound;
    }
    m_hCallWnd = nullptr;
    SendStatus(kStatusReady);
}

// The first descendant of class "Button" with the hang-up text decides: it is
// the button only while visible.
HWND CYahooDialog::FindHangUpButton(HWND hParent) const
{
    HangUpSearch search = {};
    ReadWindowText(WindowText::HangUpButton, search.text);
    EnumChildWindows(hParent, FindHangUpButtonProc, reinterpret_cast<LPARAM>(&search));
    return IsWindow(search.hButton) ? search.hButton : nullptr;
}

BOOL CALLBACK CYahooDialog::FindHangUpButtonProc(HWND hWnd, LPARAM lParam)
{
    HangUpSearch* pSearch = reinterpret_cast<HangUpSearch*>(lParam);
    if (!ClassIs(hWnd, kButtonClass))
        return TRUE;
    wchar_t text[kTitleChars] = {};
    GetWindowTextW(hWnd, text, static_cast<int>(kTitleChars));
    if (wcscmp(text, pSearch->text) != 0)
        return TRUE;
    if (::IsWindowVisible(hWnd))
        pSearch->hButton = hWnd;
    return FALSE;
}

void CYahooDialog::SendStatus(uint32_t nStatus)
{
    if (m_pOwner)
        m_pOwner->ReportStatus(nStatus, 0);
}
