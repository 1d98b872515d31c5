#include "VirtualHandset.h"

#include "SimIds.h"
#include "SimModule.h"

#include <cstring>

namespace {

// Window layout, in pixels of the client area.
const int kMargin = 10;
const int kClientWidth = 268;
const int kClientHeight = 392;
const int kKeyWidth = 56;
const int kKeyHeight = 26;
const int kKeyPitchX = 62;
const int kKeyPitchY = 30;
const int kKeypadTop = 116;
const UINT kDefaultDpi = 96;   // the scale of the sizes above

enum ControlId : UINT {
    kIdDisplay = kHandsetDisplayId,
    kIdStatus,
    kIdLine,
    kIdDevice,
    kIdLifted,
    kIdCradle,
    kIdPstnLine,
    kIdRing,
    kIdRingOff,
    kIdPlugged,
    kIdModel,
    kIdKeyBase = 0x1000,   // + key code (0..0x7FFF)
};

struct KeyButton {
    const wchar_t* label;
    short code;
};

// The keypad as it is laid out: navigation and call keys, digits, and the
// other codes of the maker's key table.
const KeyButton kKeypad[6][4] = {
    {{L"Call", kKeyCall}, {L"Up", kKeyUp}, {L"End", kKeyEnd}, {L"Del", kKeyDelete}},
    {{L"H-free", kKeyHandsFree}, {L"Down", kKeyDown}, {L"In", kKeyIn}, {L"Out", kKeyOut}},
    {{L"1", '1'}, {L"2", '2'}, {L"3", '3'}, {L"In 150", kKeyIn2}},
    {{L"4", '4'}, {L"5", '5'}, {L"6", '6'}, {L"Out 151", kKeyOut2}},
    {{L"7", '7'}, {L"8", '8'}, {L"9", '9'}, {L"138", kKeySignalOnly}},
    {{L"*", kKeyStar}, {L"0", '0'}, {L"#", kKeyHash}, {nullptr, 0}},
};

// A static control repaints at once on every WM_SETTEXT, even of the same
// text; the handset's state is written on every method call, so only what
// changed is written.
void SetItemText(HWND hDlg, int id, const std::wstring& text)
{
    wchar_t current[512] = {};
    GetDlgItemTextW(hDlg, id, current, ARRAYSIZE(current));
    if (text != current)
        SetDlgItemTextW(hDlg, id, text.c_str());
}

void SetItemCheck(HWND hDlg, int id, bool checked)
{
    UINT state = checked ? BST_CHECKED : BST_UNCHECKED;
    if (IsDlgButtonChecked(hDlg, id) != state)
        CheckDlgButton(hDlg, id, state);
}

const UINT kMsgRefresh = WM_APP + 1;

thread_local CVirtualHandset* t_pHandset = nullptr;
LONG g_cHandsets = 0;

}  // namespace

CVirtualHandset* CVirtualHandset::ForThisThread()
{
    if (!t_pHandset) {
        // Lives until the process ends: its window may outlast every control.
        t_pHandset = new CVirtualHandset;
        InterlockedIncrement(&g_cHandsets);
    }
    return t_pHandset;
}

bool CVirtualHandset::AnyCreated()
{
    return g_cHandsets > 0;
}

CVirtualHandset::CVirtualHandset() : m_state(*this), m_commands(m_state, *this)
{
    HandsetStartup startup = ReadHandsetStartup();
    m_state.Reset(startup);
    CreateHandsetWindow(startup.shown);
}

void CVirtualHandset::CreateHandsetWindow(bool shown)
{
    HINSTANCE hInstance = GetSimModule();
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kHandsetWindowClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return;

    const DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_TOOLWINDOW;
    // Laid out at the system's scale; a move to a monitor of another scale
    // lays it out again (WM_DPICHANGED).
    HDC screen = GetDC(nullptr);
    m_dpi = screen ? static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY)) : kDefaultDpi;
    if (screen)
        ReleaseDC(nullptr, screen);
    RECT frame = {0, 0, Scaled(kClientWidth), Scaled(kClientHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    // Bottom right of the work area, clear of the notification area's
    // stand-alone window at the top left.
    RECT work = {0, 0, 1024, 768};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    m_hWnd = CreateWindowExW(exStyle, kHandsetWindowClass, kHandsetWindowTitle, style, work.right - width - 8,
                             work.bottom - height - 8, width, height, nullptr, nullptr, hInstance, this);
    if (m_hWnd && shown)
        ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);
}

LRESULT CALLBACK CVirtualHandset::WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<CVirtualHandset*>(create->lpCreateParams)->m_hWnd = hWnd;
    }
    auto* handset = reinterpret_cast<CVirtualHandset*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (!handset)
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    return handset->OnMessage(msg, wParam, lParam);
}

LRESULT CVirtualHandset::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        CreateControls();
        return 0;
    case WM_DPICHANGED: {
        // Moved to a monitor of another scale: everything is laid out again
        // at the new one, in the place the system suggests.
        m_dpi = LOWORD(wParam);
        while (HWND hChild = GetWindow(m_hWnd, GW_CHILD))
            DestroyWindow(hChild);
        CreateControls();
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        if (suggested)
            SetWindowPos(m_hWnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        RefreshNow();
        return 0;
    }
    case WM_CTLCOLORSTATIC:
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == kIdDisplay) {
            HDC hdc = reinterpret_cast<HDC>(wParam);
            SetBkColor(hdc, RGB(198, 222, 170));
            SetTextColor(hdc, RGB(20, 40, 20));
            return reinterpret_cast<LRESULT>(m_displayBrush.get());
        }
        break;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case kMsgRefresh:
        if (m_bRefreshPosted)
            RefreshNow();
        return 0;
    case WM_COPYDATA:
        return OnChannelRequest(reinterpret_cast<HWND>(wParam), reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_CLOSE:
        // The handset stays for the process's life; closing only hides it.
        ShowWindow(m_hWnd, SW_HIDE);
        return 0;
    case WM_DESTROY:
        m_hWnd = nullptr;
        return 0;
    case WM_NCDESTROY:
        // The children that used them are gone.
        m_font.reset();
        m_displayFont.reset();
        m_displayBrush.reset();
        break;
    default:
        break;
    }
    return DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

int CVirtualHandset::Scaled(int size) const
{
    return MulDiv(size, static_cast<int>(m_dpi), static_cast<int>(kDefaultDpi));
}

// The window's controls and their fonts, laid out at the window's DPI
// (positions below are at 96 DPI).
void CVirtualHandset::CreateControls()
{
    HINSTANCE hInstance = GetSimModule();
    m_font.reset(CreateFontW(-Scaled(12), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma"));
    m_displayFont.reset(CreateFontW(-Scaled(26), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma"));
    m_displayBrush.reset(CreateSolidBrush(RGB(198, 222, 170)));
    HFONT hFont = m_font.get();
    HFONT hDisplayFont = m_displayFont.get();
    auto make = [&](const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, UINT id,
                    HFONT font) {
        HWND hChild = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, Scaled(x), Scaled(y),
                                      Scaled(w), Scaled(h), m_hWnd,
                                      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), hInstance, nullptr);
        SendMessageW(hChild, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return hChild;
    };
    const int width = kClientWidth - 2 * kMargin;
    make(L"STATIC", L"", SS_CENTER | SS_CENTERIMAGE | SS_SUNKEN | SS_NOPREFIX, kMargin, 8, width, 46, kIdDisplay,
         hDisplayFont);
    make(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kMargin, 58, width, 16, kIdStatus, hFont);
    make(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kMargin, 76, width, 16, kIdLine, hFont);
    make(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kMargin, 94, width, 16, kIdDevice, hFont);
    for (int row = 0; row < 6; ++row) {
        for (int col = 0; col < 4; ++col) {
            const KeyButton& key = kKeypad[row][col];
            if (!key.label)
                continue;
            make(L"BUTTON", key.label, BS_PUSHBUTTON, kMargin + col * kKeyPitchX, kKeypadTop + row * kKeyPitchY,
                 kKeyWidth, kKeyHeight, kIdKeyBase + static_cast<UINT>(key.code), hFont);
        }
    }
    const int switches = kKeypadTop + 6 * kKeyPitchY + 4;
    make(L"BUTTON", L"Lifted", BS_AUTOCHECKBOX, kMargin, switches, 70, 20, kIdLifted, hFont);
    make(L"BUTTON", L"In cradle", BS_AUTOCHECKBOX, kMargin + 80, switches, 80, 20, kIdCradle, hFont);
    make(L"BUTTON", L"PSTN line", BS_AUTOCHECKBOX, kMargin + 170, switches, 80, 20, kIdPstnLine, hFont);
    make(L"BUTTON", L"Line ring", BS_PUSHBUTTON, kMargin, switches + 26, 76, 24, kIdRing, hFont);
    make(L"BUTTON", L"Ring off", BS_PUSHBUTTON, kMargin + 82, switches + 26, 76, 24, kIdRingOff, hFont);
    make(L"BUTTON", L"Plugged in", BS_AUTOCHECKBOX, kMargin + 166, switches + 28, 84, 20, kIdPlugged, hFont);
    HWND hModel = make(L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL, kMargin, switches + 58, width, 160,
                       kIdModel, hFont);
    for (const SimModelChoice& choice : kSimModels)
        SendMessageW(hModel, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.name));
}

void CVirtualHandset::OnCommand(UINT id, UINT code)
{
    if (m_bRefreshing)
        return;
    if (id >= kIdKeyBase && code == BN_CLICKED) {
        m_state.PressKey(static_cast<short>(id - kIdKeyBase));
        return;
    }
    bool checked = m_hWnd && IsDlgButtonChecked(m_hWnd, static_cast<int>(id)) == BST_CHECKED;
    switch (id) {
    case kIdLifted: m_state.SetHook(checked); break;
    case kIdCradle: m_state.SetCradle(checked); break;
    case kIdPstnLine: m_state.SetLineChannel(checked ? 0 : 1); break;
    case kIdRing: m_state.RingLine(true); break;
    case kIdRingOff: m_state.RingLine(false); break;
    case kIdPlugged:
        if (checked)
            m_state.Plug();
        else
            m_state.Unplug();
        break;
    case kIdModel:
        if (code == CBN_SELCHANGE) {
            LRESULT index = SendDlgItemMessageW(m_hWnd, kIdModel, CB_GETCURSEL, 0, 0);
            if (index >= 0 && index < static_cast<LRESULT>(ARRAYSIZE(kSimModels)))
                m_state.SwapModel(kSimModels[index].model);
        }
        break;
    default: break;
    }
}

// One request of the command channel: run it on this (the GUI) thread and
// send the reply to the requester's window before returning.
LRESULT CVirtualHandset::OnChannelRequest(HWND hReplyTo, const COPYDATASTRUCT* request)
{
    if (!request || request->dwData != kChannelRequest)
        return FALSE;
    std::wstring reply;
    size_t chars = request->cbData / sizeof(wchar_t);
    if (request->cbData % sizeof(wchar_t) != 0 || (request->cbData && !request->lpData))
        reply = L"error: malformed request";
    else if (chars > kMaxRequestChars)
        reply = L"error: request longer than " + std::to_wstring(kMaxRequestChars) + L" characters";
    else {
        std::wstring command(chars, L'\0');
        if (chars)
            memcpy(&command[0], request->lpData, chars * sizeof(wchar_t));
        reply = m_commands.Execute(command);
    }
    // A script that has its answer sees the window as the state says.
    if (m_bRefreshPosted)
        RefreshNow();
    if (hReplyTo && IsWindow(hReplyTo)) {
        COPYDATASTRUCT answer = {kChannelReply, static_cast<DWORD>(reply.size() * sizeof(wchar_t)),
                                 const_cast<wchar_t*>(reply.data())};
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(hReplyTo, WM_COPYDATA, reinterpret_cast<WPARAM>(m_hWnd),
                            reinterpret_cast<LPARAM>(&answer), SMTO_NORMAL | SMTO_ABORTIFHUNG, 5000, &ignored);
    }
    return TRUE;
}

// The device's methods only change its state: painting the window inside
// them would hold up the caller (the key handler, between a key and its
// digit reaching the messenger), which a real handset's display does not.
void CVirtualHandset::OnHandsetStateChanged()
{
    if (!m_hWnd || m_bRefreshPosted)
        return;
    m_bRefreshPosted = PostMessageW(m_hWnd, kMsgRefresh, 0, 0) != FALSE;
    if (!m_bRefreshPosted)
        RefreshNow();
}

void CVirtualHandset::RefreshNow()
{
    m_bRefreshPosted = false;
    if (!m_hWnd)
        return;
    m_bRefreshing = true;
    const HandsetDevice& d = m_state.Device();
    int open = m_state.OpenControls();
    SetItemText(m_hWnd, kIdDisplay, d.display);
    std::wstring status = std::wstring(d.ready ? L"READY" : L"busy") + L"   ring style " +
                          std::to_wstring(d.ringStyle) + L"   " + (d.handsFree ? L"HF on" : L"HF off") + L"   " +
                          (d.speaker ? L"SPK on" : L"SPK off");
    SetItemText(m_hWnd, kIdStatus, status);
    std::wstring line = std::wstring(L"line ") + (d.lineChannel == 0 ? L"PSTN" : L"USB") + L" (default " +
                        (d.defaultChannel == 0 ? L"PSTN" : L"USB") + L")   beeps " + std::to_wstring(d.keySignals);
    SetItemText(m_hWnd, kIdLine, line);
    std::wstring device = L"model " + ModelText(d.model) + L" " + FamilyName(d.model) + L"   " +
                          (!d.plugged ? L"unplugged" : open ? L"open" : L"plugged in");
    SetItemText(m_hWnd, kIdDevice, device);
    SetItemCheck(m_hWnd, kIdLifted, d.lifted);
    SetItemCheck(m_hWnd, kIdCradle, d.inCradle);
    SetItemCheck(m_hWnd, kIdPstnLine, d.lineChannel == 0);
    SetItemCheck(m_hWnd, kIdPlugged, d.plugged);
    int selection = -1;
    for (size_t i = 0; i < ARRAYSIZE(kSimModels); ++i) {
        if (kSimModels[i].model == d.model)
            selection = static_cast<int>(i);
    }
    if (SendDlgItemMessageW(m_hWnd, kIdModel, CB_GETCURSEL, 0, 0) != selection)
        SendDlgItemMessageW(m_hWnd, kIdModel, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
    m_bRefreshing = false;
}

void CVirtualHandset::ShowView(bool shown)
{
    if (m_hWnd)
        ShowWindow(m_hWnd, shown ? SW_SHOWNOACTIVATE : SW_HIDE);
}

void CVirtualHandset::MoveView(int x, int y)
{
    if (m_hWnd)
        SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CVirtualHandset::IsViewShown() const
{
    return m_hWnd && IsWindowVisible(m_hWnd);
}
