// The command executor: the handset's command codes carried out on the
// messenger's windows with posted keys and clicks, focus changes made while
// attached to the messenger's input, and synthesised key strokes.
#include "YahooDialog.h"

#include "MessengerIds.h"
#include "WindowClass.h"
#include "link/CallCodes.h"
#include "trace/TracePoints.h"

#include <unordered_map>
#include <vector>

namespace {

// PostMessageW with a null window would queue the message to this thread:
// a missing target gets nothing instead.
void PostKey(HWND hTarget, WPARAM nVirtualKey, LPARAM lParamDown, LPARAM lParamUp)
{
    if (!hTarget)
        return;
    ::PostMessageW(hTarget, WM_KEYDOWN, nVirtualKey, lParamDown);
    ::PostMessageW(hTarget, WM_KEYUP, nVirtualKey, lParamUp);
}

void PostClick(HWND hTarget, POINT point)
{
    if (!hTarget)
        return;
    LPARAM lParam = MAKELPARAM(point.x, point.y);
    ::PostMessageW(hTarget, WM_LBUTTONDOWN, MK_LBUTTON, lParam);
    ::PostMessageW(hTarget, WM_LBUTTONUP, 0, lParam);
}

// The first direct child of the class with an empty title; none under a
// missing parent (a null parent would search the whole desktop).
HWND FindUntitledChild(HWND hParent, const wchar_t* className)
{
    return hParent ? FindWindowExW(hParent, nullptr, className, L"") : nullptr;
}

// The control a click on which starts the call, in either of the two
// shapes of the messenger's conversation window.
HWND FindCallVoiceControl(HWND hCallWnd)
{
    HWND hVoice = FindUntitledChild(FindUntitledChild(hCallWnd, kDialogClass), kCallVoiceClass);
    if (hVoice)
        return hVoice;
    HWND hInner = FindUntitledChild(hCallWnd, kConversationClass);
    return FindUntitledChild(FindUntitledChild(hInner, kDialogClass), kCallVoiceClass);
}

// Whether the window's thread handles a sent message within the bound.
bool IsAnswering(HWND hWnd)
{
    DWORD_PTR result = 0;
    return hWnd && SendMessageTimeoutW(hWnd, WM_NULL, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, kForeignReplyMs,
                                       &result) != 0;
}

// Waits, at most the bound, for a change asked of another thread's window.
template <typename Done>
bool WaitForForeign(Done done)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= kForeignReplyMs)
            return false;
        Sleep(kForeignPollMs);
    }
    return true;
}

// ShowWindow on another thread's window waits until that thread has shown
// it, however long it takes: this asks without waiting, then looks for the
// result for a bounded time. False when it did not come in time.
bool ShowForeign(HWND hWnd, int nCmdShow, bool visible)
{
    ::ShowWindowAsync(hWnd, nCmdShow);
    return WaitForForeign([&] { return (::IsWindowVisible(hWnd) != FALSE) == visible; });
}

// The foreground window with no window above it but topmost ones: what
// BringWindowToTop would make of it already.
bool IsActiveAtTop(HWND hWnd)
{
    if (GetForegroundWindow() != hWnd)
        return false;
    HWND hAbove = GetWindow(hWnd, GW_HWNDPREV);
    return !hAbove || (GetWindowLongW(hAbove, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

// The top-level windows in Z order, top first, as read at one moment.
class CZOrder {
public:
    CZOrder() : m_windows(TopLevelWindows())
    {
        for (size_t i = 0; i < m_windows.size(); ++i)
            m_places.emplace(m_windows[i], static_cast<int>(i));
    }
    const std::vector<HWND>& Windows() const { return m_windows; }
    // Places count from the top; -1 for a window that was not there.
    int PlaceOf(HWND hWnd) const
    {
        auto found = m_places.find(hWnd);
        return found == m_places.end() ? -1 : found->second;
    }

private:
    std::vector<HWND> m_windows;
    std::unordered_map<HWND, int> m_places;
};

// Another thread's active and focus windows, in one round trip to the
// window server (attaching to its input and asking takes three); all null
// when they cannot be read.
GUITHREADINFO GuiThreadInfo(DWORD nThread)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (nThread == 0 || !GetGUIThreadInfo(nThread, &info)) {
        info = {};
        info.cbSize = sizeof info;
    }
    return info;
}

HWND ActiveWindowOf(DWORD nThread)
{
    return GuiThreadInfo(nThread).hwndActive;
}

DWORD ProcessOf(HWND hWnd)
{
    DWORD nProcess = 0;
    GetWindowThreadProcessId(hWnd, &nProcess);
    return nProcess;
}

// The desk as it stood before 'Call' pressed Return, so that the window the
// messenger opens or brings forward in answer can be told from the windows
// that were open already: with a chat open, the first conversation window
// found would be another contact's.
class CDeskBefore {
public:
    CDeskBefore(HWND hMessengerWnd, DWORD nMessengerThread)
        : m_nThread(nMessengerThread),
          m_nProcess(ProcessOf(hMessengerWnd)),
          m_hActive(ActiveWindowOf(m_nThread))
    {
    }

    DWORD Thread() const { return m_nThread; }
    bool Existed(HWND hWnd) const { return m_order.PlaceOf(hWnd) >= 0; }

    // A showing window of the messenger that was not there before, or one
    // that it has since activated or raised. Where a sign fails, it misses
    // a window that came forward rather than naming one that stayed put.
    bool CameForward(HWND hWnd, const CZOrder& now) const
    {
        if (!::IsWindowVisible(hWnd) || IsIconic(hWnd) || ProcessOf(hWnd) != m_nProcess)
            return false;
        if (!Existed(hWnd))
            return true;
        // Activation is seen on the messenger's thread itself; under Wine
        // any activation is granted, on Windows one refused to a program in
        // the background leaves the active window as it was.
        if (hWnd != m_hActive && hWnd == ActiveWindowOf(m_nThread))
            return true;
        return RoseAbove(hWnd, now);
    }

private:
    // Whether a window that stood above hWnd before stands below it now.
    // The Z order is read alike on Windows and under Wine and needs no
    // foreground rights, so a raise shows in it even when the foreground
    // went nowhere. Only showing windows of the messenger count: another
    // program's window sent to the bottom, or any window minimised (Windows
    // moves it to the bottom) or hidden, would seem to let hWnd rise.
    bool RoseAbove(HWND hWnd, const CZOrder& now) const
    {
        int nWasAt = m_order.PlaceOf(hWnd);
        int nIsAt = now.PlaceOf(hWnd);
        if (nIsAt < 0)
            return false;
        const std::vector<HWND>& windows = now.Windows();
        for (size_t i = static_cast<size_t>(nIsAt) + 1; i < windows.size(); ++i) {
            HWND hBelow = windows[i];
            int nBelowWasAt = m_order.PlaceOf(hBelow);
            if (nBelowWasAt < 0 || nBelowWasAt >= nWasAt)
                continue;
            if (ProcessOf(hBelow) == m_nProcess && ::IsWindowVisible(hBelow) && !IsIconic(hBelow))
                return true;
        }
        return false;
    }

    DWORD m_nThread;
    DWORD m_nProcess;
    HWND m_hActive;   // the main window, where 'Call' found the focus
    CZOrder m_order;
};

// The topmost conversation window that came forward since the desk was
// read, or null.
HWND FindConversationCameForward(const CDeskBefore& before)
{
    std::vector<HWND> conversations;
    AppendClassWindows(kConversationClass, conversations);
    AppendClassWindows(kSearchWindowClass, conversations);
    if (conversations.empty())
        return nullptr;
    CZOrder now;
    HWND hFound = nullptr;
    int nFoundAt = 0;
    for (HWND hWnd : conversations) {
        int nAt = now.PlaceOf(hWnd);
        if (nAt < 0 || (hFound && nAt > nFoundAt) || !before.CameForward(hWnd, now))
            continue;
        hFound = hWnd;
        nFoundAt = nAt;
    }
    return hFound;
}

// The conversation window that Return in the contact list opened, or the
// one already open that the messenger brought forward instead; null when
// none came within the tries.
HWND WaitForConversationWindow(const CDeskBefore& before)
{
    for (int nTries = 0; nTries < kCallWaitTries; ++nTries) {
        HWND hFound = FindConversationCameForward(before);
        Sleep(kCallWaitStepMs);
        if (hFound)
            return hFound;
    }
    return nullptr;
}

// The call dialog that Return in the number box brought to the foreground:
// one of the messenger's thread with a voice control, and new, for an older
// call's dialog may come to the foreground meanwhile.
HWND WaitForCallDialog(const CDeskBefore& before)
{
    for (int nTries = 0; nTries < kCallWaitTries; ++nTries) {
        HWND hForeground = GetForegroundWindow();
        bool found = hForeground && !before.Existed(hForeground) && ClassIs(hForeground, kDialogClass) &&
                     GetWindowThreadProcessId(hForeground, nullptr) == before.Thread() &&
                     IsWindow(FindWindowExW(hForeground, nullptr, kVoiceControlClass, nullptr));
        Sleep(kCallWaitStepMs);
        if (found)
            return hForeground;
    }
    return nullptr;
}

}  // namespace

int CYahooDialog::ExecuteCommand(uint32_t nCode, int32_t nParam)
{
    if (!FindMessenger())
        return 0;
    switch (nCode) {
    case kCmdDial:
        if (nParam >= kFirstVirtualKey && nParam <= kLastVirtualKey)
            TypeIntoNumberBox(static_cast<WPARAM>(nParam));
        return 1;
    case kCmdDelete:
        TypeIntoNumberBox(VK_BACK);
        return 1;
    case kCmdHide:
        HideMessenger();
        return 1;
    case kCmdKeyUp:
        PressInContactList(VK_UP);
        return 1;
    case kCmdKeyDown:
        PressInContactList(VK_DOWN);
        return 1;
    case kCmdKeyIn:
    case kCmdKeyOut:
        SwitchTab();
        return 1;
    case kCmdAccept:
        Accept();
        return 1;
    case kCmdRefuse:
        PostClick(m_hCallInWnd, kRefusePoint);
        return 1;
    case kCmdHangUp:
        HangUp();
        return 1;
    case kCmdShow:
        Show(nParam);
        return 1;
    case kCmdCall:
        return Call();
    default:
        return 1;
    }
}

// Every step on the messenger's window is asked without waiting for its
// thread, and its effect awaited only for a bounded time: once the thread
// has not answered, the rest is asked without waiting at all.
//
// A step whose effect is in place already is not asked at all: each request
// reaches the messenger's thread as a sent message, which that thread
// handles before the keys just posted to it ('Show' follows every digit).
void CYahooDialog::BringToFront(HWND hWnd)
{
    if (!hWnd)
        return;
    bool answering = true;
    if (!::IsWindowVisible(hWnd)) {
        answering = ShowForeign(hWnd, SW_SHOW, true);
        if (!::IsWindowVisible(hWnd) && answering)
            answering = ShowForeign(hWnd, SW_SHOW, true);
    }
    if (IsIconic(hWnd)) {
        // What OpenIcon does, without waiting.
        ::ShowWindowAsync(hWnd, SW_SHOWNORMAL);
        if (answering)
            WaitForForeign([&] { return !IsIconic(hWnd); });
    }
    // In front already: raising, foregrounding and activating it again
    // would change nothing, and each is a round trip to the window server
    // on every digit's 'Show'.
    if (IsActiveAtTop(hWnd))
        return;
    // BringWindowToTop, without waiting.
    SetWindowPos(hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_ASYNCWINDOWPOS);
    SetForegroundWindow(hWnd);
    SetActiveWindow(hWnd);
}

// A window keeps its thread for life: read once per main window found.
DWORD CYahooDialog::MessengerThread() const
{
    if (!m_hMessengerWnd)
        return 0;
    if (m_hMessengerWnd != m_hThreadReadFor) {
        m_nMessengerThread = GetWindowThreadProcessId(m_hMessengerWnd, nullptr);
        m_hThreadReadFor = m_hMessengerWnd;
    }
    return m_nMessengerThread;
}

// The keyboard focus of the messenger's thread: what GetFocus reads while
// attached to its input.
HWND CYahooDialog::GetMessengerFocus() const
{
    return GuiThreadInfo(MessengerThread()).hwndFocus;
}

// SetFocus while attached sends the focus messages to the messenger's thread
// and waits for them: a thread that does not answer keeps its focus.
void CYahooDialog::SetMessengerFocus(HWND hTarget) const
{
    // Already there (the digits after the first): SetFocus would send
    // nothing, and the round trips to the messenger's thread would only
    // delay the key.
    if (GetMessengerFocus() == hTarget)
        return;
    if (!IsAnswering(hTarget))
        return;
    DWORD nThread = MessengerThread();
    DWORD nSelf = GetCurrentThreadId();
    bool attached = nThread != 0 && nThread != nSelf && AttachThreadInput(nSelf, nThread, TRUE);
    SetFocus(hTarget);
    if (attached)
        AttachThreadInput(nSelf, nThread, FALSE);
}

// 'Dial' and 'Dele'. Without a number box nothing moves the focus (SetFocus
// on null would take it from whatever has it) and no key is posted.
void CYahooDialog::TypeIntoNumberBox(WPARAM nVirtualKey)
{
    if (!m_hNumberEdit)
        return;
    SetMessengerFocus(m_hNumberEdit);
    PostKey(m_hNumberEdit, nVirtualKey, kKeyDownLParam, kKeyUpLParam);
}

void CYahooDialog::PressInContactList(WPARAM nVirtualKey)
{
    if (!IsWindow(m_hContactList) || !::IsWindowVisible(m_hContactList))
        return;
    SetMessengerFocus(m_hContactList);
    PostKey(m_hContactList, nVirtualKey, kKeyDownLParam, kKeyUpLParam);
}

// Ctrl+Tab through the input queue: it reaches the focus window of the
// foreground thread, so it is struck only when that is the messenger's (its
// main window may have gone, and another program would get the keys).
void CYahooDialog::SwitchTab()
{
    BringToFront(m_hMessengerWnd);
    DWORD nThread = MessengerThread();
    HWND hForeground = GetForegroundWindow();
    if (!nThread || !IsWindow(m_hMessengerWnd) || !hForeground ||
        GetWindowThreadProcessId(hForeground, nullptr) != nThread)
        return;
    keybd_event(VK_CONTROL, 0, KEYEVENTF_EXTENDEDKEY, 0);
    keybd_event(VK_TAB, 0, KEYEVENTF_EXTENDEDKEY, 0);
    keybd_event(VK_TAB, 0, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
    keybd_event(VK_CONTROL, 0, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
}

// The text is sent and the window hidden as before, but a messenger thread
// that does not answer holds this one for the bound only.
void CYahooDialog::HideMessenger()
{
    bool answering = true;
    if (m_hNumberEdit) {
        DWORD_PTR result = 0;
        answering = SendMessageTimeoutW(m_hNumberEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""),
                                        SMTO_NORMAL | SMTO_ABORTIFHUNG, kForeignReplyMs, &result) != 0;
        PostKey(m_hNumberEdit, VK_ESCAPE, kEscapeLParam, kEscapeLParam);
    }
    if (!m_hMessengerWnd)
        return;
    if (answering)
        ShowForeign(m_hMessengerWnd, SW_HIDE, false);
    else
        ::ShowWindowAsync(m_hMessengerWnd, SW_HIDE);
}

// Answers the ringing notification. With no notification to click, nothing
// was answered, so no call is reported either.
void CYahooDialog::Accept()
{
    if (!IsWindow(m_hCallInWnd))
        return;
    PostClick(m_hCallInWnd, kAcceptPoint1);
    PostClick(m_hCallInWnd, kAcceptPoint2);
    SendStatus(kStatusTalk);
    LengthenWatch();
}

void CYahooDialog::HangUp()
{
    // Replaced within moments of answering: the watch has not learnt the
    // answered call's window yet, but the call is already running there.
    if (!IsWindow(m_hCallWnd) && m_hCallInWnd && !IsWindow(m_hCallInWnd)) {
        if (HWND hCall = FindAnsweredCallWindow()) {
            m_hCallInWnd = nullptr;
            m_hCallWnd = hCall;
        }
    }
    if (!IsWindow(m_hCallWnd))
        return;
    BringToFront(m_hCallWnd);
    ::PostMessageW(m_hCallWnd, WM_CLOSE, 0, 0);
    m_hCallWnd = nullptr;
    SendStatus(kStatusReady);
}

void CYahooDialog::Show(int32_t nParam)
{
    if (nParam != kShowCallWindow) {
        BringToFront(m_hMessengerWnd);
        return;
    }
    if (IsWindow(m_hCallWnd))
        BringToFront(m_hCallWnd);
}

// Return in the focused contact list opens a conversation window (or brings
// forward the one open already), whose call-voice control is then clicked;
// Return in the number box calls the number and brings a call dialog to the
// foreground.
int CYahooDialog::Call()
{
    if (!::IsWindowVisible(m_hMessengerWnd)) {
        BringToFront(m_hMessengerWnd);
        return 1;
    }
    HWND hFocus = GetMessengerFocus();
    // A null focus is no window, even while a handle it would equal is unknown.
    if (!hFocus)
        return 0;
    bool fromContactList = hFocus == m_hContactList;
    if (!fromContactList && hFocus != m_hNumberEdit)
        return 0;
    const CDeskBefore before(m_hMessengerWnd, MessengerThread());
    PostKey(hFocus, VK_RETURN, kReturnDownLParam, kReturnUpLParam);

    // A call window already recorded is taken as it is.
    const bool recorded = m_hCallWnd != nullptr;
    if (!recorded) {
        m_hCallWnd = fromContactList ? WaitForConversationWindow(before) : WaitForCallDialog(before);
        TraceCallWindow(m_hCallWnd, fromContactList);
        if (!m_hCallWnd)
            return 0;
    }
    if (fromContactList) {
        Sleep(kCallVoiceDelayMs);
        // A recorded window holds a call of its own: it is clicked only when
        // this Return brought it forward.
        HWND hCallVoice = FindCallVoiceControl(m_hCallWnd);
        if (IsWindow(hCallVoice) && (!recorded || before.CameForward(m_hCallWnd, CZOrder())))
            PostClick(hCallVoice, kCallVoicePoint);
    }
    SendStatus(kStatusTalk);
    LengthenWatch();
    return 1;
}

// Gives the messenger time to open its call window before the next pass.
void CYahooDialog::LengthenWatch()
{
    // Without a window the timer calls would make a thread timer instead.
    if (!m_hWnd)
        return;
    KillTimer(kWatchTimerId);
    SetTimer(kWatchTimerId, kLengthenedWatchPeriodMs);
}
