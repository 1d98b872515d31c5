#include "MessengerTestSupport.h"

#include "framework/BoundedString.h"
#include "messenger/MessengerIds.h"
#include "res/resource.h"
#include "settings/SettingsPaths.h"

#include <memory>

int CRecordingDevice::ReportStatus(uint32_t nCode, int32_t nParam)
{
    m_statuses.push_back(nCode);
    m_params.push_back(nParam);
    return 1;
}

std::vector<uint32_t> CRecordingDevice::Take()
{
    std::vector<uint32_t> taken;
    taken.swap(m_statuses);
    m_params.clear();
    return taken;
}

void CTestYahooDialog::OnTimer(UINT_PTR nIDEvent)
{
    if (!m_bManualTick)
        m_timerIds.push_back(nIDEvent);
    if (nIDEvent == kWatchTimerId && !m_bManualTick) {
        m_tickTimes.push_back(GetTickCount());
        if (!m_bLiveTimer)
            return;
    }
    CYahooDialog::OnTimer(nIDEvent);
}

CMessengerSide::CMessengerSide() : m_yahoo(&m_device)
{
    m_yahoo.Create(IDD_YAHOO_DIALOG);
}

CMessengerSide::~CMessengerSide() = default;

void CMessengerSide::Tick()
{
    m_yahoo.m_bManualTick = true;
    SendMessageW(m_yahoo.m_hWnd, WM_TIMER, kWatchTimerId, 0);
    m_yahoo.m_bManualTick = false;
}

bool WriteLanguageFile(const std::wstring& path, const wchar_t* callIn, const wchar_t* voiceMessage,
                       const wchar_t* hangUp)
{
    std::wstring text = L"\uFEFF[WINDOW_TEXT]\r\n";
    const struct {
        const wchar_t* key;
        const wchar_t* value;
    } entries[] = {{L"WND_CALLIN", callIn}, {L"WND_VOICEMSG", voiceMessage}, {L"BTN_HANGUP", hangUp}};
    for (const auto& entry : entries) {
        if (entry.value)
            text += std::wstring(entry.key) + L"=\"" + entry.value + L"\"\r\n";
    }
    std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return WriteFileBytes(path, bytes);
}

CLanguageFile::CLanguageFile() : m_path(JoinPath(m_dir.Path(), L"Missing.ini"))
{
    CopyTruncated(m_saved, g_szLanguagePath);
    CopyTruncated(g_szLanguagePath, m_path.c_str());
}

CLanguageFile::CLanguageFile(const wchar_t* callIn, const wchar_t* voiceMessage, const wchar_t* hangUp)
    : CLanguageFile()
{
    m_path = JoinPath(m_dir.Path(), L"Test.ini");
    CopyTruncated(g_szLanguagePath, m_path.c_str());
    Write(callIn, voiceMessage, hangUp);
}

CLanguageFile::~CLanguageFile()
{
    CopyTruncated(g_szLanguagePath, m_saved);
}

void CLanguageFile::Write(const wchar_t* callIn, const wchar_t* voiceMessage, const wchar_t* hangUp)
{
    WriteLanguageFile(m_path, callIn, voiceMessage, hangUp);
}

namespace {

// A message that carries a function for a CWindowThread to run.
const UINT kRunMessage = WM_APP + 77;

struct RunRequest {
    const std::function<void()>* fn;
    HANDLE hDone;
};

// Waits for the handle while handling this thread's messages, so that a
// thread waited for can still send messages to this one's windows.
bool WaitPumping(HANDLE hObject, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        PumpMessages();
        DWORD elapsed = GetTickCount() - start;
        if (timeoutMs != INFINITE && elapsed >= timeoutMs)
            return WaitForSingleObject(hObject, 0) == WAIT_OBJECT_0;
        DWORD wait = timeoutMs == INFINITE ? 100 : timeoutMs - elapsed;
        DWORD result = MsgWaitForMultipleObjects(1, &hObject, FALSE, wait, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0)
            return true;
        if (result == WAIT_FAILED)
            return false;
    }
}

}  // namespace

CWindowThread::CWindowThread()
{
    m_hReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_hThread = CreateThread(nullptr, 0, ThreadMain, this, 0, &m_id);
    WaitForSingleObject(m_hReady, 10000);
}

CWindowThread::~CWindowThread()
{
    PostThreadMessageW(m_id, WM_QUIT, 0, 0);
    WaitPumping(m_hThread, 10000);
    CloseHandle(m_hThread);
    CloseHandle(m_hReady);
}

DWORD WINAPI CWindowThread::ThreadMain(void* param)
{
    CWindowThread* self = static_cast<CWindowThread*>(param);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);   // creates the queue
    SetEvent(self->m_hReady);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd == nullptr && msg.message == kRunMessage) {
            RunRequest* request = reinterpret_cast<RunRequest*>(msg.lParam);
            (*request->fn)();
            SetEvent(request->hDone);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

void CWindowThread::Run(const std::function<void()>& fn)
{
    RunRequest request = {&fn, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    if (PostThreadMessageW(m_id, kRunMessage, 0, reinterpret_cast<LPARAM>(&request)))
        WaitPumping(request.hDone, INFINITE);
    CloseHandle(request.hDone);
}

namespace {
struct BoundedCall {
    std::function<void()> fn;
    SIZE_T stackHeadroom;
};

DWORD WINAPI RunBoundedMain(void* param)
{
    BoundedCall* call = static_cast<BoundedCall*>(param);
    if (call->stackHeadroom) {
        MEMORY_BASIC_INFORMATION region = {};
        VirtualQuery(&region, &region, sizeof region);
        // The lowest pages of the reservation are guard pages.
        const SIZE_T kGuard = 16 * 1024;
        SIZE_T available = static_cast<SIZE_T>(reinterpret_cast<char*>(&region) -
                                               static_cast<char*>(region.AllocationBase));
        if (available > call->stackHeadroom + kGuard) {
            volatile char* taken = static_cast<char*>(__builtin_alloca(available - call->stackHeadroom - kGuard));
            taken[0] = 0;
        }
    }
    call->fn();
    return 0;
}
}  // namespace

bool RunBounded(const std::function<void()>& fn, DWORD timeoutMs, SIZE_T stackHeadroom)
{
    // Leaked on a timeout, since the thread may still use it.
    BoundedCall* call = new BoundedCall{fn, stackHeadroom};
    HANDLE hThread = CreateThread(nullptr, 0, RunBoundedMain, call, 0, nullptr);
    if (!hThread) {
        delete call;
        return false;
    }
    bool finished = WaitPumping(hThread, timeoutMs);
    CloseHandle(hThread);
    if (finished)
        delete call;
    return finished;
}

void RegisterMessengerClasses()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    const wchar_t* names[] = {kMainWindowClass,    kNotificationClass, kBrowserClass,
                              kConversationClass,  kSearchWindowClass, kCallVoiceClass,
                              kVoiceControlClass,  L"Shell Embedding", L"Shell DocObject View",
                              kPlainTestClass};
    for (const wchar_t* name : names) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = name;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        RegisterClassW(&wc);
    }
}

HWND MakeWindow(const wchar_t* className, const wchar_t* title, HWND hParent, bool visible, DWORD extraStyle)
{
    RegisterMessengerClasses();
    // Top-level windows are shown afterwards, so that showing does not activate them.
    DWORD style = extraStyle | (hParent ? WS_CHILD | (visible ? WS_VISIBLE : 0) : WS_POPUP);
    int size = hParent ? 40 : 120;
    HWND hWnd = CreateWindowExW(0, className, title, style, 0, 0, size, size, hParent, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    if (hWnd && !hParent)
        SetWindowPos(hWnd, HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | (visible ? SWP_SHOWWINDOW : 0));
    return hWnd;
}

void PlaceBelow(HWND hWnd, HWND hAfter)
{
    SetWindowPos(hWnd, hAfter, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

namespace {

const DWORD kStackSettleMs = 300;

bool Stacked(const std::vector<HWND>& windows)
{
    for (size_t i = 1; i < windows.size(); ++i) {
        if (GetWindow(windows[i - 1], GW_HWNDNEXT) != windows[i])
            return false;
    }
    return true;
}

bool ArrangeAndSettle(const std::function<void()>& arrange, const std::function<bool()>& holds, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        arrange();
        PumpMessages(kStackSettleMs);
        if (holds()) {
            PumpMessages(kStackSettleMs);
            if (holds())
                return true;
        }
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

}  // namespace

bool ArrangeTopDown(const std::vector<HWND>& windows, DWORD timeoutMs)
{
    return ArrangeAndSettle(
        [&] {
            for (size_t i = 0; i < windows.size(); ++i)
                PlaceBelow(windows[i], i == 0 ? HWND_TOP : windows[i - 1]);
        },
        [&] { return Stacked(windows); }, timeoutMs);
}

bool ArrangeAtBottom(HWND hWnd, DWORD timeoutMs)
{
    return ArrangeAndSettle([&] { PlaceBelow(hWnd, HWND_BOTTOM); },
                            [&] { return GetWindow(hWnd, GW_HWNDNEXT) == nullptr; }, timeoutMs);
}

std::wstring WindowTitle(HWND hWnd)
{
    wchar_t text[256] = {};
    GetWindowTextW(hWnd, text, ARRAYSIZE(text));
    return text;
}

std::string CodeText(uint32_t code)
{
    std::string text = "'";
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = static_cast<char>((code >> shift) & 0xFF);
        text += (c >= 32 && c < 127) ? c : '?';
    }
    return text + "'";
}

std::string CodesText(const std::vector<uint32_t>& codes)
{
    std::string text = "{";
    for (size_t i = 0; i < codes.size(); ++i)
        text += (i ? " " : "") + CodeText(codes[i]);
    return text + "}";
}

CLocalWindows::~CLocalWindows()
{
    DestroyAll();
}

HWND CLocalWindows::Make(const wchar_t* className, const wchar_t* title, HWND hParent, bool visible, DWORD extraStyle)
{
    HWND hWnd = MakeWindow(className, title, hParent, visible, extraStyle);
    if (hWnd && !hParent)
        m_windows.push_back(hWnd);
    return hWnd;
}

void CLocalWindows::DestroyAll()
{
    for (HWND hWnd : m_windows)
        DestroyWindow(hWnd);
    m_windows.clear();
}

HWND MakeNotification(const wchar_t* title, HWND* phBrowser, const wchar_t* innerClass)
{
    HWND hNotification = MakeWindow(kNotificationClass, title, nullptr);
    HWND hEmbedding = MakeWindow(L"Shell Embedding", L"", hNotification);
    HWND hView = MakeWindow(L"Shell DocObject View", L"", hEmbedding);
    HWND hBrowser = MakeWindow(innerClass ? innerClass : kBrowserClass, L"", hView);
    if (phBrowser)
        *phBrowser = hBrowser;
    return hNotification;
}

HWND MakeCallWindow(const wchar_t* className, const wchar_t* title, const wchar_t* buttonText, bool buttonVisible,
                    HWND* phButton)
{
    HWND hCall = MakeWindow(className, title, nullptr);
    HWND hDialog = MakeWindow(kDialogClass, L"", hCall);
    HWND hButton = buttonText ? MakeWindow(L"Button", buttonText, hDialog, buttonVisible) : nullptr;
    if (phButton)
        *phButton = hButton;
    return hCall;
}
