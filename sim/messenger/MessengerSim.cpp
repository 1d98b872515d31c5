#include "MessengerSim.h"

#include "SimIds.h"
#include "SimWindows.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cwchar>

namespace {

CMessengerSim* g_pSim = nullptr;

// Messages from outside that the journal records when they come through the
// queue; those the system makes itself (characters, timers, painting, mouse
// moves) are left out.
bool IsJournaledQueued(UINT msg)
{
    switch (msg) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_CLOSE:
    case WM_COMMAND:
    case WM_SYSCOMMAND:
    case WM_SETTEXT:
        return true;
    default:
        return false;
    }
}

std::string MessageName(UINT msg)
{
    for (const SimMessageName& known : kMessageNames) {
        if (known.message == msg)
            return known.name;
    }
    return CJournal::Hex(msg);
}

bool Inside(const RECT& rect, POINT point)
{
    return point.x >= rect.left && point.x < rect.right && point.y >= rect.top && point.y < rect.bottom;
}

}  // namespace

CMessengerSim::CMessengerSim(CJournal& journal, const std::wstring& languagePath)
    : m_journal(journal), m_languagePath(languagePath)
{
    InitializeCriticalSection(&m_rolesLock);
    g_pSim = this;
}

CMessengerSim::~CMessengerSim()
{
    for (DWORD id : m_foreignThreadIds)
        PostThreadMessageW(id, WM_QUIT, 0, 0);
    if (!m_foreignThreads.empty())
        WaitForMultipleObjects(static_cast<DWORD>(m_foreignThreads.size()), m_foreignThreads.data(), TRUE, 5000);
    for (HANDLE hThread : m_foreignThreads)
        CloseHandle(hThread);
    if (m_hMain)
        DestroyWindow(m_hMain);
    if (m_hControl)
        DestroyWindow(m_hControl);
    g_pSim = nullptr;
    DeleteCriticalSection(&m_rolesLock);
}

std::wstring CMessengerSim::Text(const wchar_t* key, const wchar_t* builtIn)
{
    if (m_languagePath.empty()) {
        // As the profile functions read a default: without trailing blanks.
        std::wstring text = builtIn;
        return text.erase(text.find_last_not_of(L' ') + 1);
    }
    wchar_t text[kTextChars] = {};
    GetPrivateProfileStringW(kWindowTextSection, key, builtIn, text, static_cast<DWORD>(kTextChars),
                             m_languagePath.c_str());
    return text;
}

HWND CMessengerSim::Make(const wchar_t* className, const wchar_t* title, DWORD style, int x, int y, int width,
                         int height, HWND hParent, const char* role, bool subclass)
{
    HWND hWnd = CreateWindowExW(0, className, title, style, x, y, width, height, hParent, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    if (!hWnd)
        return nullptr;
    // Like the messenger's own controls, draw in the desktop's UI font: the
    // bitmap System font has no glyphs for the Chinese texts.
    SendMessageW(hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    EnterCriticalSection(&m_rolesLock);
    m_roles[hWnd] = role;
    LeaveCriticalSection(&m_rolesLock);
    if (subclass)
        SetWindowSubclass(hWnd, SubclassProc, kSubclassId, 0);
    m_journal.Line("state window " + std::string(role) + " " + CJournal::Handle(hWnd));
    return hWnd;
}

std::string CMessengerSim::RoleOf(HWND hWnd)
{
    EnterCriticalSection(&m_rolesLock);
    auto found = m_roles.find(hWnd);
    std::string role = found == m_roles.end() ? "other" : found->second;
    LeaveCriticalSection(&m_rolesLock);
    return role;
}

void CMessengerSim::Forget(HWND hWnd)
{
    std::string role = RoleOf(hWnd);
    if (role != "other")
        m_journal.Line("state destroyed " + role + " " + CJournal::Handle(hWnd));
    EnterCriticalSection(&m_rolesLock);
    m_roles.erase(hWnd);
    LeaveCriticalSection(&m_rolesLock);
}

std::string CMessengerSim::Named(HWND hWnd)
{
    return RoleOf(hWnd) + " " + CJournal::Handle(hWnd);
}

bool CMessengerSim::Create(bool startHidden)
{
    HINSTANCE hInstance = GetModuleHandleW(nullptr);
    const wchar_t* classes[] = {kMainWindowClass,         kNotificationClass, kEmbeddingClass, kDocViewClass,
                                kBrowserClass,      kConversationClass, kSearchWindowClass,
                                kCallVoiceClass,    kVoiceControlClass, kExtraClass,     kSimControlClass};
    for (const wchar_t* name : classes) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = hInstance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = name;
        if (!RegisterClassW(&wc))
            return false;
    }

    m_hControl = CreateWindowExW(0, kSimControlClass, std::to_wstring(GetCurrentProcessId()).c_str(), 0, 0, 0, 0, 0,
                                 HWND_MESSAGE, nullptr, hInstance, nullptr);
    if (!m_hControl)
        return false;

    m_hMain = Make(kMainWindowClass, L"Yahoo! Messenger", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40, 320, 420, nullptr,
                   "main");
    if (!m_hMain)
        return false;
    m_hCombo = Make(WC_COMBOBOXW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWN | CBS_AUTOHSCROLL, 10, 10,
                    290, 200, m_hMain, "combo");
    m_hNumberBox = FindWindowExW(m_hCombo, nullptr, WC_EDITW, nullptr);
    if (!m_hNumberBox)
        return false;
    EnterCriticalSection(&m_rolesLock);
    m_roles[m_hNumberBox] = "number-box";
    LeaveCriticalSection(&m_rolesLock);
    SetWindowSubclass(m_hNumberBox, SubclassProc, kSubclassId, 0);
    m_journal.Line("state window number-box " + CJournal::Handle(m_hNumberBox));

    m_hTabs = Make(WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE, 10, 40, 290, 24, m_hMain, "tabs");
    for (int i = 0; i < static_cast<int>(ARRAYSIZE(kTabs)); ++i) {
        TCITEMW item = {};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(kTabs[i]);
        TabCtrl_InsertItem(m_hTabs, i, &item);
    }
    // The contact list has no text: that is how it is told from other lists.
    m_hContacts = Make(WC_LISTVIEWW, L"",
                       WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 10, 70,
                       290, 300, m_hMain, "contact-list", true);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = 260;
    column.pszText = const_cast<wchar_t*>(L"Buddies");
    ListView_InsertColumn(m_hContacts, 0, &column);
    for (int i = 0; i < static_cast<int>(ARRAYSIZE(kContacts)); ++i) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<wchar_t*>(kContacts[i]);
        ListView_InsertItem(m_hContacts, &item);
    }
    ListView_SetItemState(m_hContacts, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);

    if (!startHidden) {
        ShowWindow(m_hMain, SW_SHOW);
        SetForegroundWindow(m_hMain);
    }
    m_journal.Line("state ready " + std::to_string(GetCurrentProcessId()));
    return true;
}

int CMessengerSim::Run()
{
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        JournalQueued(msg);
        if (PreTranslate(msg))
            continue;
        // A messenger slower than the keys: they queue up meanwhile, and the
        // characters TranslateMessage posts queue behind them.
        if (m_boxKeyDelayMs && msg.hwnd == m_hNumberBox && (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP))
            Sleep(m_boxKeyDelayMs);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    m_journal.Line("state quit");
    return static_cast<int>(msg.wParam);
}

void CMessengerSim::JournalQueued(const MSG& msg)
{
    if (!msg.hwnd || !IsJournaledQueued(msg.message))
        return;
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    std::string line = "msg " + Named(msg.hwnd) + " " + MessageName(msg.message) + " " + CJournal::Hex(msg.wParam) +
                       " " + CJournal::Hex(static_cast<UINT_PTR>(msg.lParam));
    if (m_journal.Timestamps())
        line += " qpc=" + std::to_string(static_cast<long long>(now.QuadPart));
    m_journal.Line(line);
}

// Ctrl+Tab anywhere in the main window switches its tab, as the messenger's
// accelerator does.
bool CMessengerSim::PreTranslate(const MSG& msg)
{
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB || GetKeyState(VK_CONTROL) >= 0)
        return false;
    if (!msg.hwnd || GetAncestor(msg.hwnd, GA_ROOT) != m_hMain)
        return false;
    SwitchTab();
    return true;
}

void CMessengerSim::SwitchTab()
{
    int count = TabCtrl_GetItemCount(m_hTabs);
    if (count <= 0)
        return;
    int next = (TabCtrl_GetCurSel(m_hTabs) + 1) % count;
    TabCtrl_SetCurSel(m_hTabs, next);
    m_journal.Line("state tab " + std::to_string(next));
}

void CMessengerSim::CheckNumberBox()
{
    std::wstring text = WindowText(m_hNumberBox);
    if (text == m_numberText)
        return;
    m_numberText = text;
    m_journal.Line("state number-box " + CJournal::Quote(text));
}

// Return in the number box calls the number: a call dialog on this thread,
// brought to the foreground, with its voice control and hang-up button. A
// hidden dialog made earlier for the number is shown instead of a new one.
void CMessengerSim::OnNumberBoxReturn()
{
    std::wstring number = WindowText(m_hNumberBox);
    if (number.empty()) {
        m_journal.Line("state no-number");
        return;
    }
    const char* how = "shown";
    HWND hDialog = nullptr;
    for (Call& call : m_calls) {
        if (call.shape == CallShape::Dialog && call.name == number && !IsWindowVisible(call.hWnd)) {
            hDialog = call.hWnd;
            StartCall(call);
            ShowWindow(hDialog, SW_SHOW);
            break;
        }
    }
    if (!hDialog) {
        how = "opened";
        hDialog = OpenCall(CallShape::Dialog, number, true);
    }
    SetForegroundWindow(hDialog);
    m_journal.Line("state number-return " + Named(hDialog) + " " + how);
}

// Return in the contact list opens a conversation with the selected contact,
// at once or as "contact-return" asks; its call starts when its call-voice
// control is clicked.
void CMessengerSim::OnContactListReturn()
{
    int selected = ListView_GetNextItem(m_hContacts, -1, LVNI_SELECTED);
    if (selected < 0 || selected >= static_cast<int>(ARRAYSIZE(kContacts))) {
        m_journal.Line("state no-contact");
        return;
    }
    const ContactReturn how = m_contactReturn;
    auto answer = [this, selected, how] {
        HWND hWnd = BringChat(kContacts[selected], m_contactShape, how.arrival, "contact-return");
        if (how.arrival != Arrival::Hidden || how.hiddenMs == 0 || !hWnd)
            return;
        Later(how.hiddenMs, [this, hWnd] {
            if (!IsWindow(hWnd) || IsWindowVisible(hWnd))
                return;
            ShowWindow(hWnd, SW_SHOW);
            SetForegroundWindow(hWnd);
            m_journal.Line("state shown " + Named(hWnd));
        });
    };
    if (how.held) {
        m_heldReturns.push_back(answer);
        m_journal.Line("state contact-return-held");
    } else {
        Later(how.delayMs, answer);
    }
    if (!how.other.empty())
        Later(how.otherAfterMs, [this, how] { BringChat(how.other, CallShape::Conversation, Arrival::Active, "chat-popup"); });
}

void CMessengerSim::Later(DWORD ms, std::function<void()> action)
{
    if (ms == 0) {
        action();
        return;
    }
    UINT_PTR id = m_nNextLaterTimer++;
    m_later[id] = std::move(action);
    SetTimer(m_hControl, id, ms, nullptr);
}

// The messenger keeps one conversation per contact: one open already is
// brought forward instead of a second opening.
HWND CMessengerSim::BringChat(const std::wstring& name, CallShape shape, Arrival arrival, const char* event)
{
    HWND hWnd = nullptr;
    for (const Call& call : m_calls) {
        if (call.shape != CallShape::Dialog && call.name == name) {
            hWnd = call.hWnd;
            break;
        }
    }
    const bool open = hWnd != nullptr;
    if (!open)
        hWnd = OpenCall(shape, name, false, arrival);
    else if (arrival == Arrival::Quiet)
        SetWindowPos(hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    else if (IsIconic(hWnd))
        ShowWindow(hWnd, SW_RESTORE);
    if (!hWnd)
        return nullptr;
    if (arrival == Arrival::Active || (open && arrival != Arrival::Quiet))
        SetForegroundWindow(hWnd);
    m_journal.Line("state " + std::string(event) + " " + Named(hWnd) + (open ? " raised" : " opened"));
    return hWnd;
}

HWND CMessengerSim::OpenCall(CallShape shape, const std::wstring& name, bool active, Arrival arrival)
{
    Call call;
    call.name = name;
    call.shape = shape;
    const DWORD topStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    int offset = static_cast<int>(m_calls.size() % 8) * 24;
    HWND hVoiceParent = nullptr;
    switch (shape) {
    case CallShape::Conversation:
        call.hWnd = Make(kConversationClass, name.c_str(), topStyle, 380 + offset, 60 + offset, 340, 240, nullptr,
                         "conversation");
        hVoiceParent = call.hPanel =
            Make(WC_DIALOG, L"", WS_CHILD | WS_VISIBLE, 0, 0, 320, 60, call.hWnd, "conversation-panel", true);
        Make(kCallVoiceClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 60, 24, hVoiceParent, "call-voice");
        break;
    case CallShape::Search: {
        call.hWnd = Make(kSearchWindowClass, name.c_str(), topStyle, 380 + offset, 60 + offset, 340, 240, nullptr,
                         "search-window");
        HWND hInner = Make(kConversationClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 320, 200, call.hWnd,
                           "search-conversation");
        hVoiceParent = call.hPanel =
            Make(WC_DIALOG, L"", WS_CHILD | WS_VISIBLE, 0, 0, 320, 60, hInner, "conversation-panel", true);
        Make(kCallVoiceClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 60, 24, hVoiceParent, "call-voice");
        break;
    }
    case CallShape::Dialog:
        call.hWnd = Make(WC_DIALOG, (L"Calling " + name).c_str(), topStyle, 380 + offset, 320 + offset, 300, 120,
                         nullptr, "call-dialog", true);
        call.hPanel = call.hWnd;
        Make(kVoiceControlClass, L"", WS_CHILD | WS_VISIBLE, 10, 10, 100, 24, call.hWnd, "voice-control");
        break;
    }
    if (!call.hWnd)
        return nullptr;
    m_calls.push_back(call);
    switch (arrival) {
    case Arrival::Active:
        ShowWindow(call.hWnd, SW_SHOW);
        break;
    case Arrival::Quiet:
        SetWindowPos(call.hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        break;
    case Arrival::Minimised:
        ShowWindow(call.hWnd, SW_SHOWMINNOACTIVE);
        break;
    case Arrival::Hidden:
        break;
    }
    if (active)
        StartCall(m_calls.back());
    return call.hWnd;
}

CMessengerSim::Call* CMessengerSim::FindCall(HWND hWnd)
{
    HWND hRoot = hWnd ? GetAncestor(hWnd, GA_ROOT) : nullptr;
    for (Call& call : m_calls) {
        if (call.hWnd == hRoot)
            return &call;
    }
    return nullptr;
}

CMessengerSim::Call* CMessengerSim::CurrentCall()
{
    Call* call = FindCall(m_hCurrentCall);
    return call && call->active ? call : nullptr;
}

void CMessengerSim::StartCall(Call& call)
{
    if (call.active)
        return;
    call.hButton = Make(WC_BUTTONW, Text(kHangUpKey, kHangUpDefault).c_str(), WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 120,
                        10, 120, 24, call.hPanel, "hangup-button");
    call.active = true;
    m_hCurrentCall = call.hWnd;
    m_journal.Line("state call-started " + Named(call.hWnd) + " " + CJournal::Quote(call.name));
}

void CMessengerSim::EndCall(Call& call, const char* how)
{
    if (!call.active)
        return;
    call.active = false;
    if (call.hButton)
        DestroyWindow(call.hButton);
    call.hButton = nullptr;
    if (m_hCurrentCall == call.hWnd)
        m_hCurrentCall = nullptr;
    m_journal.Line("state call-ended " + Named(call.hWnd) + " " + how);
}

// A call window closed (WM_CLOSE) ends its call and goes.
void CMessengerSim::CloseCall(HWND hWnd)
{
    for (size_t i = 0; i < m_calls.size(); ++i) {
        if (m_calls[i].hWnd != hWnd)
            continue;
        EndCall(m_calls[i], "closed");
        m_calls.erase(m_calls.begin() + static_cast<std::ptrdiff_t>(i));
        break;
    }
    DestroyWindow(hWnd);
}

// The sliding notification: its browser window (the first child's first
// child's first child) holds the answer and refuse buttons.
HWND CMessengerSim::Ring(const std::wstring& title, const std::wstring& caller, bool inert)
{
    RECT frame = {0, 0, kNotificationWidth, kNotificationHeight};
    AdjustWindowRectEx(&frame, WS_POPUP | WS_BORDER, FALSE, 0);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    int x = GetSystemMetrics(SM_CXSCREEN) - width - 10;
    int y = GetSystemMetrics(SM_CYSCREEN) - height - 10 - static_cast<int>(m_ringing.size()) * (height + 4);
    Ringing ringing;
    ringing.caller = caller;
    ringing.inert = inert;
    ringing.hNotification =
        Make(kNotificationClass, title.c_str(), WS_POPUP | WS_BORDER, x, y, width, height, nullptr, "notification");
    if (!ringing.hNotification)
        return nullptr;
    HWND hEmbedding = Make(kEmbeddingClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, kNotificationWidth,
                           kNotificationHeight, ringing.hNotification, "shell-embedding");
    HWND hView = Make(kDocViewClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, kNotificationWidth, kNotificationHeight,
                      hEmbedding, "doc-view");
    ringing.hBrowser = Make(kBrowserClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, kNotificationWidth, kNotificationHeight,
                            hView, "call-in-browser");
    m_ringing.push_back(ringing);
    SetWindowPos(ringing.hNotification, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    m_journal.Line("state ringing " + Named(ringing.hNotification) + " " + CJournal::Quote(caller) + " " +
                   CJournal::Quote(title));
    return ringing.hBrowser;
}

// A click is a press and a release on the same button of the page.
void CMessengerSim::OnBrowserClick(HWND hBrowser, POINT down, POINT up)
{
    for (size_t i = 0; i < m_ringing.size(); ++i) {
        if (m_ringing[i].hBrowser != hBrowser || m_ringing[i].inert)
            continue;
        for (const RECT* answer : {&kAnswerButton, &kAnswerPictureButton}) {
            if (Inside(*answer, down) && Inside(*answer, up)) {
                std::wstring caller = m_ringing[i].caller;
                CloseRinging(i, "answered");
                HWND hCall = OpenCall(CallShape::Conversation, caller, true);
                SetForegroundWindow(hCall);
                return;
            }
        }
        if (Inside(kRefuseButton, down) && Inside(kRefuseButton, up))
            CloseRinging(i, "refused");
        return;
    }
}

void CMessengerSim::CloseRinging(size_t index, const char* how)
{
    Ringing ringing = m_ringing[index];
    m_ringing.erase(m_ringing.begin() + static_cast<std::ptrdiff_t>(index));
    // Named before it goes; journaled after, so that a reader who sees the
    // line no longer finds the window.
    std::string named = Named(ringing.hNotification);
    DestroyWindow(ringing.hNotification);
    m_journal.Line("state ring-ended " + named + " " + how);
}

namespace {
struct ForeignStart {
    CMessengerSim* sim;
    HANDLE hReady;
    HWND hDialog;
};
}  // namespace

// A dialog of another thread of the messenger's process, showing a hang-up
// button: not one of the main window's thread, so never a call window.
LRESULT CMessengerSim::OpenForeignDialog()
{
    ForeignStart start = {this, CreateEventW(nullptr, TRUE, FALSE, nullptr), nullptr};
    DWORD id = 0;
    HANDLE hThread = CreateThread(nullptr, 0, ForeignDialogThread, &start, 0, &id);
    if (!hThread) {
        CloseHandle(start.hReady);
        return 0;
    }
    WaitForSingleObject(start.hReady, 10000);
    CloseHandle(start.hReady);
    m_foreignThreads.push_back(hThread);
    m_foreignThreadIds.push_back(id);
    return reinterpret_cast<LRESULT>(start.hDialog);
}

DWORD WINAPI CMessengerSim::ForeignDialogThread(void* param)
{
    ForeignStart* start = static_cast<ForeignStart*>(param);
    CMessengerSim* sim = start->sim;
    HWND hDialog = sim->Make(WC_DIALOG, L"Other thread", WS_OVERLAPPED | WS_CAPTION, 60, 480, 260, 100, nullptr,
                             "foreign-dialog");
    if (hDialog) {
        sim->Make(WC_BUTTONW, sim->Text(kHangUpKey, kHangUpDefault).c_str(), WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10,
                  10, 120, 24, hDialog, "foreign-button");
        SetWindowPos(hDialog, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    start->hDialog = hDialog;
    SetEvent(start->hReady);   // start is gone after this
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        sim->JournalQueued(msg);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (hDialog)
        DestroyWindow(hDialog);
    return 0;
}

LRESULT CALLBACK CMessengerSim::WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!g_pSim)
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    return g_pSim->OnWindowMessage(hWnd, msg, wParam, lParam);
}

LRESULT CALLBACK CMessengerSim::SubclassProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR /*id*/,
                                             DWORD_PTR /*data*/)
{
    if (msg == WM_NCDESTROY)
        RemoveWindowSubclass(hWnd, SubclassProc, kSubclassId);
    if (!g_pSim)
        return DefSubclassProc(hWnd, msg, wParam, lParam);
    return g_pSim->OnSubclassMessage(hWnd, msg, wParam, lParam);
}

LRESULT CMessengerSim::OnWindowMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (CheckDestroyTrigger(hWnd, msg))
        return 0;
    switch (msg) {
    case WM_COPYDATA:
        if (hWnd != m_hControl)
            break;
        return OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_NOTIFY: {
        const NMHDR* hdr = reinterpret_cast<const NMHDR*>(lParam);
        if (hdr->hwndFrom == m_hContacts && hdr->code == LVN_ITEMCHANGED) {
            const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
            if ((change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED) && change->iItem >= 0 &&
                change->iItem < static_cast<int>(ARRAYSIZE(kContacts)))
                m_journal.Line("state selection " + std::to_string(change->iItem) + " " +
                               CJournal::Quote(kContacts[change->iItem]));
        } else if (hdr->hwndFrom == m_hTabs && hdr->code == TCN_SELCHANGE) {
            m_journal.Line("state tab " + std::to_string(TabCtrl_GetCurSel(m_hTabs)));
        }
        break;
    }
    case kHangMessage:
        if (hWnd == m_hControl) {
            Hang(static_cast<DWORD>(wParam));
            return 0;
        }
        break;
    case WM_TIMER: {
        auto pending = m_later.find(wParam);
        if (hWnd != m_hControl || pending == m_later.end())
            break;
        KillTimer(m_hControl, wParam);
        std::function<void()> action = std::move(pending->second);
        m_later.erase(pending);
        action();
        return 0;
    }
    case kSyncMessage:
        if (hWnd == m_hControl) {
            m_journal.Line("state synced " + std::to_string(static_cast<unsigned long>(wParam)));
            return 0;
        }
        break;
    case kEndCallMessage:
        // The hang-up button was clicked: now that its own handling is over,
        // the call ends and the button goes.
        if (hWnd == m_hControl) {
            if (Call* call = FindCall(reinterpret_cast<HWND>(wParam)))
                EndCall(*call, "button");
            return 0;
        }
        break;
    case WM_SHOWWINDOW:
        if (hWnd == m_hMain)
            m_journal.Line("state visible " + Named(hWnd) + (wParam ? " 1" : " 0"));
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE)
            m_journal.Line("state active " + Named(hWnd));
        break;
    case WM_CLOSE:
        if (hWnd == m_hMain) {
            // The messenger keeps running in the notification area.
            ShowWindow(hWnd, SW_HIDE);
            return 0;
        }
        if (FindCall(hWnd)) {
            CloseCall(hWnd);
            return 0;
        }
        break;
    case WM_LBUTTONDOWN:
        m_pressed[hWnd] = POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        return 0;
    case WM_LBUTTONUP: {
        auto pressed = m_pressed.find(hWnd);
        if (pressed == m_pressed.end())
            return 0;
        POINT down = pressed->second;
        POINT up = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        m_pressed.erase(pressed);
        wchar_t className[64] = {};
        GetClassNameW(hWnd, className, ARRAYSIZE(className));
        if (wcscmp(className, kBrowserClass) == 0) {
            OnBrowserClick(hWnd, down, up);
        } else if (wcscmp(className, kCallVoiceClass) == 0) {
            RECT client = {};
            GetClientRect(hWnd, &client);
            Call* call = FindCall(hWnd);
            if (call && Inside(client, down) && Inside(client, up))
                StartCall(*call);
        }
        return 0;
    }
    case WM_PAINT:
        Paint(hWnd);
        return 0;
    case WM_DESTROY:
        m_pressed.erase(hWnd);
        break;
    case WM_NCDESTROY:
        Forget(hWnd);
        break;
    default:
        break;
    }
    return DefWindowProcW(hWnd, msg, wParam, lParam);
}

// The system classes the stand-in adds behaviour to: the number box, the
// contact list, and the "#32770" windows of its calls.
LRESULT CMessengerSim::OnSubclassMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_SETTEXT && InSendMessage())
        m_journal.Line("msg " + Named(hWnd) + " WM_SETTEXT " + CJournal::Hex(wParam) + " " +
                       CJournal::Quote(lParam ? reinterpret_cast<const wchar_t*>(lParam) : L""));
    if (msg == WM_SETFOCUS && (hWnd == m_hNumberBox || hWnd == m_hContacts))
        m_journal.Line("state focus " + Named(hWnd));
    if (CheckDestroyTrigger(hWnd, msg))
        return 0;

    if (hWnd == m_hNumberBox && msg == WM_KEYDOWN && wParam == VK_RETURN) {
        OnNumberBoxReturn();
        return 0;
    }
    if (hWnd == m_hNumberBox && msg == WM_CHAR && m_boxRefused && wParam == m_boxRefused) {
        m_journal.Line("state refused-char " + CJournal::Quote(std::wstring(1, m_boxRefused)));
        return 0;
    }
    if (hWnd == m_hNumberBox && msg == WM_KEYDOWN && wParam == VK_ESCAPE) {
        SetWindowTextW(m_hNumberBox, L"");
        CheckNumberBox();
        return 0;
    }
    if (hWnd == m_hContacts && msg == WM_KEYDOWN && wParam == VK_RETURN) {
        OnContactListReturn();
        return 0;
    }
    if (msg == WM_CLOSE && FindCall(hWnd) && GetAncestor(hWnd, GA_ROOT) == hWnd) {
        CloseCall(hWnd);
        return 0;
    }
    if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && lParam) {
        Call* call = FindCall(reinterpret_cast<HWND>(lParam));
        if (call && call->hButton == reinterpret_cast<HWND>(lParam)) {
            PostMessageW(m_hControl, kEndCallMessage, reinterpret_cast<WPARAM>(call->hWnd), 0);
            return 0;
        }
    }
    if (msg == WM_NCDESTROY)
        Forget(hWnd);
    if (msg == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE && GetAncestor(hWnd, GA_ROOT) == hWnd)
        m_journal.Line("state active " + Named(hWnd));

    LRESULT result = DefSubclassProc(hWnd, msg, wParam, lParam);
    if (hWnd == m_hNumberBox && (msg == WM_CHAR || msg == WM_SETTEXT || msg == WM_KEYDOWN || msg == WM_CLEAR ||
                                 msg == WM_CUT || msg == WM_PASTE || msg == EM_REPLACESEL || msg == WM_UNDO))
        CheckNumberBox();
    return result;
}

void CMessengerSim::Paint(HWND hWnd)
{
    PAINTSTRUCT paint;
    HDC hdc = BeginPaint(hWnd, &paint);
    wchar_t className[64] = {};
    GetClassNameW(hWnd, className, ARRAYSIZE(className));
    SetBkMode(hdc, TRANSPARENT);
    if (wcscmp(className, kBrowserClass) == 0) {
        HWND hNotification = GetAncestor(hWnd, GA_ROOT);
        for (const Ringing& ringing : m_ringing) {
            if (ringing.hNotification != hNotification)
                continue;
            RECT line = {8, 8, kNotificationWidth - 8, 40};
            DrawTextW(hdc, (ringing.caller + L" is calling").c_str(), -1, &line, DT_LEFT | DT_SINGLELINE);
        }
        const struct {
            const RECT* rect;
            const wchar_t* label;
        } buttons[] = {{&kAnswerButton, L"A"}, {&kAnswerPictureButton, L"V"}, {&kRefuseButton, L"X"}};
        for (const auto& button : buttons) {
            RECT rect = *button.rect;
            FrameRect(hdc, &rect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            DrawTextW(hdc, button.label, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
    } else if (wcscmp(className, kCallVoiceClass) == 0 || wcscmp(className, kVoiceControlClass) == 0) {
        RECT client = {};
        GetClientRect(hWnd, &client);
        FrameRect(hdc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        DrawTextW(hdc, wcscmp(className, kCallVoiceClass) == 0 ? L"Call" : L"Voice", -1, &client,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    EndPaint(hWnd, &paint);
}
