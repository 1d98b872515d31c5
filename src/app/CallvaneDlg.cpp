#include "CallvaneDlg.h"

#include "AboutDlg.h"
#include "AppIds.h"
#include "LanguageDlg.h"
#include "OptionDlg.h"
#include "framework/BoundedString.h"
#include "framework/WinApp.h"
#include "messenger/YahooDialog.h"
#include "phone/DeviceDialog.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "trace/TraceLog.h"

#include <cstring>
#include <cwchar>

namespace {

// kDialWaitMs, or the shorter wait a test asked for in kDialWaitVariable.
DWORD DialWaitMs()
{
    wchar_t text[16] = {};
    const DWORD length = GetEnvironmentVariableW(kDialWaitVariable, text, ARRAYSIZE(text));
    if (length == 0 || length >= ARRAYSIZE(text))
        return kDialWaitMs;
    wchar_t* end = nullptr;
    const unsigned long ms = wcstoul(text, &end, 10);
    return end && *end == L'\0' && ms >= 1 && ms <= kDialWaitMs ? static_cast<DWORD>(ms) : kDialWaitMs;
}

// A four-letter code as text; a byte that is no printable letter shows as '?'.
struct CodeText {
    explicit CodeText(uint32_t code)
    {
        for (int i = 0; i < 4; ++i) {
            wchar_t c = static_cast<wchar_t>((code >> (24 - 8 * i)) & 0xFF);
            text[i] = (c >= 0x20 && c < 0x7F) ? c : L'?';
        }
        text[4] = L'\0';
    }
    wchar_t text[5];
};

// A command code handed to the messenger side and its result, written when
// the command returns, after the lines of what it caused. A 'Dial' digit is
// traced without it: a run of them would spell the number.
int TraceCommand(uint32_t code, int32_t param, int result)
{
    if (!g_traceLog.IsEnabled())
        return result;
    if (param >= L'0' && param <= L'9')
        Trace(kTraceDigitCommand, CodeText(code).text, result);
    else
        Trace(kTraceCommand, CodeText(code).text, static_cast<long>(param), result);
    return result;
}

// A status code reported to the handset side; a code repeated by every watch
// pass is traced when it changes, not each time.
int TraceStatus(uint32_t code, int result)
{
    static uint32_t s_lastCode = 0;
    static int s_lastResult = -1;
    if (!g_traceLog.IsEnabled() || (code == s_lastCode && result == s_lastResult))
        return result;
    s_lastCode = code;
    s_lastResult = result;
    Trace(kTraceStatus, CodeText(code).text, result);
    return result;
}

}  // namespace

CCallvaneDlg::CCallvaneDlg(CWnd* pParent)
    : CDialog(IDD_CALLVANE_DIALOG, pParent),
      m_hIcon(LoadIconW(GetResourceInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME)))
{
    // Never seen, and created before the tray icon: its two buttons are the
    // system's plain ones, so the common controls load after the icon.
    m_bThemedControls = false;
}

CCallvaneDlg::~CCallvaneDlg()
{
    // The window goes first, so that the workers are deleted by OnDestroy and
    // the tray icon (a member) is removed after them.
    DestroyWindow();
}

BOOL CCallvaneDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    HMENU hSysMenu = GetSystemMenu(FALSE);
    wchar_t aboutText[64] = {};
    if (hSysMenu && LoadStringW(GetResourceInstance(), IDS_ABOUTBOX, aboutText, ARRAYSIZE(aboutText)) > 0) {
        AppendMenuW(hSysMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(hSysMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    m_tray.Create(m_hWnd, m_hIcon);

    m_pDeviceDlg = std::make_unique<CDeviceDialog>(this);
    m_pYahooDlg = std::make_unique<CYahooDialog>(this, this);
    m_pOptionDlg = std::make_unique<COptionDlg>(this);
    m_pDeviceDlg->Create(IDD_DEVICE_DIALOG, this);
    m_pYahooDlg->Create(IDD_YAHOO_DIALOG, this);
    m_pOptionDlg->Create(IDD_OPTION_DIALOG, this);
    if (m_startDial[0] != L'\0')
        RequestDial(m_startDial);
    return TRUE;
}

void CCallvaneDlg::RefreshTrayStatus()
{
    bool handset = IsDevicePresent() != FALSE;
    // The messenger is looked for only when a handset is present.
    m_tray.ShowStatus(handset, handset && m_pYahooDlg && m_pYahooDlg->FindMessenger());
}

void CCallvaneDlg::HandsetFound()
{
    if (!m_pYahooDlg)
        return;
    m_pYahooDlg->ReportRingAgain();
    // A watch pass now: until the next tick the handset would read ready
    // beside a running call, and a link would be dialled into that call.
    if (static_cast<HWND>(*m_pYahooDlg) && m_pYahooDlg->FindMainWindow())
        m_pYahooDlg->WatchCalls();
}

void CCallvaneDlg::RefreshTrayForMessengerSearch(BOOL bMessengerFound)
{
    // Each watch tick comes here. When the detection attempts are to be
    // brought in step with the watch, both timers start afresh together.
    if (m_pDeviceDlg && m_pDeviceDlg->KeepDetectionInStep() && m_pYahooDlg)
        m_pYahooDlg->RestartWatch();
    bool handset = IsDevicePresent() != FALSE;
    m_tray.ShowStatus(handset, handset && bMessengerFound);
}

int CCallvaneDlg::ExecuteCommand(uint32_t nCode, int32_t nParam)
{
    return TraceCommand(nCode, nParam, m_pYahooDlg ? m_pYahooDlg->ExecuteCommand(nCode, nParam) : 0);
}

bool CCallvaneDlg::TypeNumber(const wchar_t* number)
{
    return m_pYahooDlg && m_pYahooDlg->TypeNumber(number);
}

int CCallvaneDlg::ReportStatus(uint32_t nCode, int32_t nParam)
{
    return TraceStatus(nCode, m_pDeviceDlg ? m_pDeviceDlg->ReportStatus(nCode, nParam) : 0);
}

BOOL CCallvaneDlg::IsDevicePresent()
{
    return m_pDeviceDlg && m_pDeviceDlg->IsDevicePresent();
}

void CCallvaneDlg::OnMissedCall(const SYSTEMTIME& rang)
{
    m_tray.OnMissedCall(rang);
}

bool CCallvaneDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (m_tray.OnMessage(msg, wParam, lParam, result))
        return true;
    switch (msg) {
    case WM_COPYDATA:
        result = OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        return true;
    case WM_TRAYNOTIFY:
        result = OnTrayNotify(wParam, lParam);
        return true;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) != IDM_ABOUTBOX)
            return false;
        CAboutDlg(m_pDeviceDlg ? static_cast<int>(m_pDeviceDlg->m_nModel) : 0, this).DoModal();
        return true;
    case WM_PAINT:
        // Never seen: whenever it would be painted, it hides instead.
        ShowWindow(SW_HIDE);
        ValidateRect(m_hWnd, nullptr);
        return true;
    case WM_CLOSE:
        ShowWindow(SW_HIDE);
        return true;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(m_hIcon);
        return true;
    default:
        return false;
    }
}

// Another process's data: taken only in the exact shape, and the number
// checked as if it had come from a link.
BOOL CCallvaneDlg::OnCopyData(const COPYDATASTRUCT* pData)
{
    DialRequest request = {};
    if (!pData || pData->dwData != kDialRequestTag || pData->cbData != sizeof request || !pData->lpData) {
        Trace(kTraceDialBadRequest);
        return FALSE;
    }
    memcpy(&request, pData->lpData, sizeof request);
    if (request.version != kDialRequestVersion || !IsDialableNumber(request.number, ARRAYSIZE(request.number))) {
        Trace(kTraceDialBadRequest);
        return FALSE;
    }
    RequestDial(request.number);
    return TRUE;
}

void CCallvaneDlg::RequestDial(const wchar_t* number)
{
    if (!IsDialableNumber(number)) {
        Trace(kTraceDialBadRequest);
        return;
    }
    CopyTruncated(m_pendingDial, number);
    m_dialRequestedAt = GetTickCount();
    // Dialled from the timer, never inside the request: the sender of a
    // request is not kept waiting for the call.
    SetTimer(kDialWaitTimerId, 1);
}

void CCallvaneDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == kDialWaitTimerId)
        TryPendingDial();
}

void CCallvaneDlg::TryPendingDial()
{
    SetTimer(kDialWaitTimerId, kDialWaitPeriodMs);
    if (m_pendingDial[0] == L'\0') {
        KillTimer(kDialWaitTimerId);
        return;
    }
    if (m_pDeviceDlg && m_pYahooDlg && m_pYahooDlg->FindMessenger()) {
        KillTimer(kDialWaitTimerId);
        wchar_t number[kDialNumberChars];
        CopyTruncated(number, m_pendingDial);
        m_pendingDial[0] = L'\0';
        if (ReadLinkCallsAtOnce())
            m_pDeviceDlg->DialNumber(number);
        else if (m_pDeviceDlg->PrepareNumber(number))
            m_tray.ShowNumberReady(number);
        return;
    }
    const DWORD waitMs = DialWaitMs();
    if (GetTickCount() - m_dialRequestedAt >= waitMs) {
        KillTimer(kDialWaitTimerId);
        m_pendingDial[0] = L'\0';
        Trace(kTraceDialNoMessenger, static_cast<unsigned long>((waitMs + 999) / 1000));
    }
}

void CCallvaneDlg::OnOK()
{
    ShowWindow(SW_HIDE);
}

void CCallvaneDlg::OnCancel()
{
    ShowWindow(SW_HIDE);
}

void CCallvaneDlg::OnDestroy()
{
    // In the order they were made: the device dialog closes the handset as
    // its window goes.
    m_pDeviceDlg.reset();
    m_pYahooDlg.reset();
    m_pOptionDlg.reset();
}

bool CCallvaneDlg::OnCommand(UINT nID, UINT /*nCode*/, HWND /*hCtl*/)
{
    return m_tray.OnCommand(nID);
}

LRESULT CCallvaneDlg::OnTrayNotify(WPARAM wParam, LPARAM lParam)
{
    return m_tray.OnNotify(wParam, lParam);
}

void CCallvaneDlg::OpenAbout()
{
    CAboutDlg(IsDevicePresent() ? static_cast<int>(m_pDeviceDlg->m_nModel) : -1, this).DoModal();
}

void CCallvaneDlg::OpenOptions()
{
    COptionDlg(this).DoModal();
}

void CCallvaneDlg::OpenLanguage()
{
    CLanguageDlg(this).DoModal();
}
