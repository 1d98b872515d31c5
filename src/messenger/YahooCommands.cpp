// The command executor: the handset's command codes carried out on the
// messenger's windows with posted keys and clicks, focus changes made while
// attached to the messenger's input, and synthesised key strokes.
#include "YahooDialog.h"

#include "MessengerIds.h"
#include "ForeignListView.h"
#include "WindowClass.h"
#include "link/CallCodes.h"
#include "trace/TraceLog.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
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

// The character a 'Dial' key types into the number box, and back; 0 for
// the keys whose character is not known here.
wchar_t CharOfKey(WPARAM nVirtualKey)
{
    if (nVirtualKey >= '0' && nVirtualKey <= '9')
        return static_cast<wchar_t>(nVirtualKey);
    if (nVirtualKey == VK_MULTIPLY)
        return L'*';
    return nVirtualKey == VK_ADD ? L'+' : L'\0';
}

WPARAM KeyOfChar(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return static_cast<WPARAM>(c);
    if (c == L'*')
        return VK_MULTIPLY;
    return c == L'+' ? VK_ADD : 0;
}

// The box's whole text, read from its thread within the bound; false when
// it did not answer or the text fills the buffer (it may be longer).
bool ReadBoxText(HWND hBox, wchar_t (&text)[kNumberBoxChars])
{
    text[0] = L'\0';
    DWORD_PTR nCopied = 0;
    if (!hBox || !SendMessageTimeoutW(hBox, WM_GETTEXT, kNumberBoxChars, reinterpret_cast<LPARAM>(text),
                                      SMTO_NORMAL | SMTO_ABORTIFHUNG, kForeignReplyMs, &nCopied))
        return false;
    text[kNumberBoxChars - 1] = L'\0';
    return nCopied < kNumberBoxChars - 1;
}

bool EndsWith(const wchar_t* text, const std::wstring& tail)
{
    size_t length = wcslen(text);
    return length >= tail.size() && tail.compare(0, tail.size(), text + (length - tail.size())) == 0;
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

// What 'Call' awaits after its Return: the conversation window that Return
// in the contact list opens or brings forward, or the call dialog that
// Return in the number box shows.
enum class CallWindowKind { Conversation, CallDialog };

// What 'Call' reads of the desk, once before its Return and once per try
// after it: the top-level windows in Z order, the messenger's windows of
// the kind awaited (top first) with whether each was showing, and the
// messenger thread's active window. Comparing a try with the desk before
// tells the window that the Return produced from the windows open already.
class CCallDesk {
public:
    CCallDesk(CallWindowKind kind, DWORD nThread, DWORD nProcess)
        : m_kind(kind), m_nThread(nThread), m_nProcess(nProcess), m_hActive(ActiveWindowOf(nThread))
    {
        std::vector<HWND> windows;
        if (kind == CallWindowKind::Conversation) {
            AppendClassWindows(kConversationClass, windows);
            AppendClassWindows(kSearchWindowClass, windows);
        } else {
            AppendClassWindows(kDialogClass, windows);
        }
        for (HWND hWnd : windows) {
            if (IsOfKind(hWnd))
                m_candidates.push_back({hWnd, IsShowing(hWnd)});
        }
        // A window made after the Z order was read is the newest: at the top.
        std::stable_sort(m_candidates.begin(), m_candidates.end(), [this](const Candidate& a, const Candidate& b) {
            return m_order.PlaceOf(a.hWnd) < m_order.PlaceOf(b.hWnd);
        });
    }

    CallWindowKind Kind() const { return m_kind; }
    DWORD Thread() const { return m_nThread; }
    DWORD Process() const { return m_nProcess; }

    // The window the Return produced, judged against the desk before it: a
    // new window wins over one only brought forward, and of new ones the
    // lowest, the earliest made (a window is made at the top of the Z
    // order). Null when none.
    struct Match {
        HWND hWnd = nullptr;
        bool appeared = false;   // not there before the Return, rather than brought forward
    };
    Match CallWindowFrom(const CCallDesk& before) const
    {
        Match match;
        for (const Candidate& candidate : m_candidates) {   // top first
            if (!before.Had(candidate.hWnd))
                match = {candidate.hWnd, true};
            else if (!match.hWnd && before.CameForward(candidate, *this))
                match = {candidate.hWnd, false};
        }
        return match;
    }

    // Every window of the kind that came since the desk before: new or
    // brought forward, top first.
    std::vector<Match> AllFrom(const CCallDesk& before) const
    {
        std::vector<Match> came;
        for (const Candidate& candidate : m_candidates) {
            if (!before.Had(candidate.hWnd))
                came.push_back({candidate.hWnd, true});
            else if (before.CameForward(candidate, *this))
                came.push_back({candidate.hWnd, false});
        }
        return came;
    }

private:
    struct Candidate {
        HWND hWnd;
        bool showing;   // visible and not minimised
    };

    static bool IsShowing(HWND hWnd) { return ::IsWindowVisible(hWnd) && !IsIconic(hWnd); }

    // A conversation window of the messenger's process, or a dialog of its
    // thread with a voice control.
    bool IsOfKind(HWND hWnd) const
    {
        if (m_kind == CallWindowKind::Conversation)
            return ProcessOf(hWnd) == m_nProcess;
        return m_nThread != 0 && GetWindowThreadProcessId(hWnd, nullptr) == m_nThread &&
               IsWindow(FindWindowExW(hWnd, nullptr, kVoiceControlClass, nullptr));
    }

    bool Had(HWND hWnd) const { return m_order.PlaceOf(hWnd) >= 0 || Find(hWnd); }
    const Candidate* Find(HWND hWnd) const
    {
        for (const Candidate& candidate : m_candidates) {
            if (candidate.hWnd == hWnd)
                return &candidate;
        }
        return nullptr;
    }

    // Whether a window open before this desk's Return has been brought
    // forward since: shown or restored, or for a conversation also activated
    // or raised. A call dialog that was showing already never counts: an
    // older call's dialog may come to the foreground meanwhile. Where a sign
    // fails, it misses a window that came forward rather than naming one
    // that stayed put.
    bool CameForward(const Candidate& now, const CCallDesk& desk) const
    {
        if (!now.showing)
            return false;
        const Candidate* was = Find(now.hWnd);
        if (was && !was->showing)
            return true;
        if (m_kind == CallWindowKind::CallDialog)
            return false;
        // Activation is seen on the messenger's thread itself; under Wine
        // any activation is granted, on Windows one refused to a program in
        // the background leaves the active window as it was.
        if (now.hWnd != m_hActive && now.hWnd == desk.m_hActive)
            return true;
        return RoseAbove(now.hWnd, desk.m_order);
    }

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
            if (ProcessOf(hBelow) == m_nProcess && IsShowing(hBelow))
                return true;
        }
        return false;
    }

    CallWindowKind m_kind;
    DWORD m_nThread;
    DWORD m_nProcess;
    HWND m_hActive;   // of the messenger's thread
    CZOrder m_order;
    std::vector<Candidate> m_candidates;   // top first
};

// A character that can be part of a contact's name or id: one of these
// next to the name in a caption makes it another contact's ("alice" is not
// "malice" nor "alice_2").
bool IsNameChar(wchar_t c)
{
    return iswalnum(c) || c == L'_' || c == L'.';
}

// Whether the conversation's caption holds the contact's text as a whole
// word, compared without case: the messenger names a conversation after its
// contact.
bool CaptionNames(HWND hWnd, const wchar_t* contact)
{
    wchar_t caption[kCaptionChars] = {};
    wchar_t name[kContactChars] = {};
    if (GetWindowTextW(hWnd, caption, static_cast<int>(kCaptionChars)) <= 0)
        return false;
    wcsncpy(name, contact, kContactChars - 1);
    const size_t nameLength = wcslen(name);
    if (nameLength == 0)
        return false;
    CharLowerBuffW(caption, static_cast<DWORD>(wcslen(caption)));
    CharLowerBuffW(name, static_cast<DWORD>(nameLength));
    for (const wchar_t* at = wcsstr(caption, name); at; at = wcsstr(at + 1, name)) {
        const bool startsWord = at == caption || !IsNameChar(at[-1]);
        if (startsWord && !IsNameChar(at[nameLength]))
            return true;
    }
    return false;
}

// What 'Call''s wait saw: the window chosen (null: none), and how many
// windows came forward meanwhile.
struct CallWaitResult {
    CCallDesk::Match chosen;
    size_t nCame = 0;
};

// The window that the Return produced, wherever it is: a posted click needs
// no visibility, so a new window counts hidden or minimised too. With the
// selected contact's text known, only a conversation whose caption names it
// is taken, new or brought forward, at once; another contact's chat that
// pops up meanwhile is never taken. Without it, a new window wins over one
// open before and only brought forward, so after such a match a few more
// tries give a new window arriving late its chance; and when two windows
// came forward it cannot be told which is the contact's, and none is taken.
// The wait ends on its deadline in time, however long a look at the desk
// takes. onTry runs before each look, with its number.
template <typename OnTry>
CallWaitResult WaitForCallWindow(const CCallDesk& before, const wchar_t* contact, OnTry onTry)
{
    const bool byCaption = contact && contact[0] != L'\0';
    std::vector<HWND> came;   // every window seen coming, once
    CallWaitResult result;
    HWND hForward = nullptr;
    int nForwardTry = 0;
    const DWORD start = GetTickCount();
    for (int nTry = 0;; ++nTry) {
        onTry(nTry);
        const CCallDesk now(before.Kind(), before.Thread(), before.Process());
        std::vector<CCallDesk::Match> all = now.AllFrom(before);
        for (const CCallDesk::Match& match : all) {
            if (std::find(came.begin(), came.end(), match.hWnd) == came.end())
                came.push_back(match.hWnd);
        }
        result.nCame = came.size();
        CCallDesk::Match match;
        if (byCaption) {
            for (const CCallDesk::Match& one : all) {
                if (CaptionNames(one.hWnd, contact)) {
                    match = one;
                    match.appeared = true;   // named: no reason to wait for another
                    break;
                }
            }
        } else {
            match = now.CallWindowFrom(before);
        }
        const DWORD elapsed = GetTickCount() - start;
        Sleep(elapsed < kCallWaitMs ? std::min(kCallWaitStepMs, kCallWaitMs - elapsed) : 0);
        if (!byCaption && before.Kind() == CallWindowKind::Conversation && came.size() > 1)
            return result;
        if (match.appeared) {
            result.chosen = match;
            return result;
        }
        // The latest window brought forward, with its own grace tries: a
        // try read before the messenger has handled the Return may see a
        // passing change on the desk that a later try no longer shows.
        if (match.hWnd && match.hWnd != hForward) {
            hForward = match.hWnd;
            nForwardTry = nTry;
        }
        if (hForward && nTry - nForwardTry >= kCallForwardGraceTries)
            break;
        if (GetTickCount() - start >= kCallWaitMs)
            break;
    }
    result.chosen.hWnd = IsWindow(hForward) ? hForward : nullptr;
    return result;
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
        // Only a click posted to a live page answers its ring.
        if (Accept())
            m_ring.Answered(m_hCallInWnd);
        return 1;
    case kCmdRefuse:
        if (IsWindow(m_hCallInWnd))
            m_ring.Refused(m_hCallInWnd);
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
    if (nVirtualKey == VK_BACK) {
        if (!m_typed.empty())
            m_typed.pop_back();
        return;
    }
    // A key of unknown effect: what the box holds can no longer be told.
    wchar_t c = CharOfKey(nVirtualKey);
    if (c == L'\0') {
        m_typed.clear();
        m_bTypedExact = false;
        return;
    }
    m_typed.push_back(c);
}

// WM_SETTEXT, waited for within the bound; false when the thread did not
// answer (the text then changes whenever it does).
bool CYahooDialog::EmptyNumberBox()
{
    DWORD_PTR result = 0;
    bool emptied = m_hNumberEdit && SendMessageTimeoutW(m_hNumberEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""),
                                                        SMTO_NORMAL | SMTO_ABORTIFHUNG, kForeignReplyMs, &result) != 0;
    m_typed.clear();
    m_bTypedExact = emptied;
    return emptied;
}

// Whether the number box holds what this side typed, once the messenger has
// handled the keys: exactly, when it emptied the box first, else at the end
// of whatever the box held. The keys typed by the messenger's own message
// loop may queue behind a Return posted at once.
bool CYahooDialog::WaitForTypedNumber() const
{
    if (m_typed.empty() && !m_bTypedExact)
        return true;
    wchar_t text[kNumberBoxChars];
    const DWORD start = GetTickCount();
    for (;;) {
        bool read = ReadBoxText(m_hNumberEdit, text);
        if (read && (m_bTypedExact ? m_typed == text : EndsWith(text, m_typed)))
            return true;
        if (GetTickCount() - start >= kTypedNumberWaitMs) {
            if (!read) {
                Trace(kTraceNumberBoxUnread);
                return false;
            }
            wchar_t held[kNumberBoxChars];
            wchar_t typed[kNumberBoxChars];
            MaskNumber(text, held, kNumberBoxChars);
            MaskNumber(m_typed.c_str(), typed, kNumberBoxChars);
            Trace(kTraceNumberBoxHolds, held, typed);
            return false;
        }
        Sleep(kTypedNumberPollMs);
    }
}

bool CYahooDialog::TypeNumber(const wchar_t* number)
{
    size_t length = number ? wcsnlen(number, kMaxTypedNumberChars + 1) : 0;
    if (length == 0 || length > kMaxTypedNumberChars) {
        Trace(kTraceNumberNotTyped, L"no number, or too long a one");
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        if (KeyOfChar(number[i]) == 0) {
            Trace(kTraceNumberNotTyped, L"a character no key types");
            return false;
        }
    }
    if (!FindMessenger() || !IsWindow(m_hNumberEdit)) {
        Trace(kTraceNumberNotTyped, L"no messenger or no number box");
        return false;
    }
    BringToFront(m_hMessengerWnd);
    SetMessengerFocus(m_hNumberEdit);
    // Keys posted to a box without the focus may be taken by the window
    // that has it; Return there would call something else.
    if (GetMessengerFocus() != m_hNumberEdit) {
        Trace(kTraceNumberNotTyped, L"the focus could not be put in the number box");
        return false;
    }
    if (!EmptyNumberBox()) {
        Trace(kTraceNumberNotTyped, L"the number box could not be emptied");
        return false;
    }
    for (size_t i = 0; i < length; ++i)
        PostKey(m_hNumberEdit, KeyOfChar(number[i]), kKeyDownLParam, kKeyUpLParam);
    m_typed.assign(number, length);
    return WaitForTypedNumber();
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
        answering = EmptyNumberBox();
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
// was answered, so no call is reported either; false then.
bool CYahooDialog::Accept()
{
    if (!IsWindow(m_hCallInWnd))
        return false;
    PostClick(m_hCallInWnd, kAcceptPoint1);
    PostClick(m_hCallInWnd, kAcceptPoint2);
    SendStatus(kStatusTalk);
    LengthenWatch();
    return true;
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
// Return in the number box calls the number and shows a call dialog. A
// window recorded from an earlier call is no sign of this one: the window
// this Return produced is awaited all the same.
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
    if (!fromContactList && !WaitForTypedNumber())
        return 0;
    // Read before the Return: the selection it opens a conversation for.
    wchar_t contact[kContactChars] = {};
    if (fromContactList)
        ReadSelectedItemText(m_hContactList, contact, kContactChars);
    const CCallDesk before(fromContactList ? CallWindowKind::Conversation : CallWindowKind::CallDialog,
                           MessengerThread(), ProcessOf(m_hMessengerWnd));
    PostKey(hFocus, VK_RETURN, kReturnDownLParam, kReturnUpLParam);
    m_typed.clear();
    m_bTypedExact = false;

    const CallWaitResult wait = WaitForCallWindow(before, contact, [this](int nTry) { OnCallWaitTry(nTry); });
    const CCallDesk::Match chosen = wait.chosen;
    if (!chosen.hWnd && fromContactList && wait.nCame > 0) {
        // Never another contact's: nothing is clicked rather than a guess.
        Trace(contact[0] ? kTraceCallNotTheContact : kTraceCallContactsUntold, static_cast<unsigned long>(wait.nCame));
        return 0;
    }
    if (!chosen.hWnd) {
        Trace(kTraceNoCallWindow, fromContactList ? L"contact list" : L"number box");
        return 0;
    }
    if (g_traceLog.IsEnabled()) {
        wchar_t className[kMaxClassNameChars] = {};
        GetClassNameW(chosen.hWnd, className, static_cast<int>(ARRAYSIZE(className)));
        Trace(fromContactList ? kTraceCallWindowFromList : kTraceCallWindowFromBox,
              static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(chosen.hWnd)), className,
              chosen.appeared ? L"new since" : L"open before and brought forward by");
    }
    m_hCallWnd = chosen.hWnd;
    if (fromContactList) {
        Sleep(kCallVoiceDelayMs);
        // Without the control nothing starts a call: the handset is not told of one.
        HWND hCallVoice = FindCallVoiceControl(m_hCallWnd);
        if (!IsWindow(hCallVoice))
            return 0;
        PostClick(hCallVoice, kCallVoicePoint);
    }
    SendStatus(kStatusTalk);
    LengthenWatch();
    return 1;
}

// Gives the messenger time to open its call window before the next pass.
void CYahooDialog::LengthenWatch()
{
    KillTimer(kWatchTimerId);
    SetTimer(kWatchTimerId, kLengthenedWatchPeriodMs);
    m_bWatchLengthened = true;
}
