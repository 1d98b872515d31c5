#include "Dialog.h"

#include "ThemedControls.h"
#include "WinApp.h"

#include <vector>

namespace {

// Resource type of a template's list data (entries for combo and list boxes),
// the layout resource editors write beside a dialog template.
const WORD kDialogInitType = 240;
// Old 16-bit value of CB_ADDSTRING that such list data still carries.
const WORD kLegacyComboAddString = WM_USER + 3;

bool ReturnsResultDirectly(UINT msg)
{
    switch (msg) {
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_QUERYDRAGICON:
    case WM_VKEYTOITEM:
        return true;
    default:
        return false;
    }
}

}  // namespace

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    if (rControl.m_hWnd == nullptr)
        rControl.m_hWnd = pDX->m_pDlgWnd->GetDlgItem(nIDC);
}

void DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index)
{
    HWND hCombo = pDX->m_pDlgWnd->GetDlgItem(nIDC);
    if (pDX->m_bToMembers)
        index = static_cast<int>(::SendMessageW(hCombo, CB_GETCURSEL, 0, 0));
    else {
        // An index the list does not have means no selection (Wine's combo
        // box would otherwise keep the old one).
        int count = static_cast<int>(::SendMessageW(hCombo, CB_GETCOUNT, 0, 0));
        ::SendMessageW(hCombo, CB_SETCURSEL, static_cast<WPARAM>(index >= 0 && index < count ? index : -1), 0);
    }
}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog()
{
    if (m_hWnd)
        ::DestroyWindow(m_hWnd);
}

// The object is kept in the dialog's DWLP_USER slot, not in a window property:
// a property read is a round trip to the window server on every message.
// The slot is ours only in a dialog that runs DialogProc.
CDialog* CDialog::FromHandle(HWND hWnd)
{
    if (!hWnd || ::GetClassLongPtrW(hWnd, GCW_ATOM) != reinterpret_cast<ULONG_PTR>(WC_DIALOG))
        return nullptr;
    if (reinterpret_cast<DLGPROC>(::GetWindowLongPtrW(hWnd, DWLP_DLGPROC)) != DialogProc)
        return nullptr;
    return reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
}

HWND CDialog::CreateWindowFromTemplate(UINT nIDTemplate, HWND hParent)
{
    m_nIDTemplate = nIDTemplate;
    CThemedControlsScope themed(m_bThemedControls);
    return ::CreateDialogParamW(GetResourceInstance(), MAKEINTRESOURCEW(nIDTemplate), hParent, DialogProc,
                                reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd)
{
    if (pParentWnd)
        m_pParentWnd = pParentWnd;
    m_bModal = false;
    return CreateWindowFromTemplate(nIDTemplate, m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr) != nullptr;
}

INT_PTR CDialog::DoModal()
{
    HWND hParent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    bool parentDisabled = hParent && ::IsWindowEnabled(hParent);
    if (parentDisabled)
        ::EnableWindow(hParent, FALSE);

    m_bModal = true;
    m_bEndModal = false;
    m_nModalResult = -1;
    if (!CreateWindowFromTemplate(m_nIDTemplate, hParent)) {
        if (parentDisabled)
            ::EnableWindow(hParent, TRUE);
        return -1;
    }
    if (m_hWnd && !::IsWindowVisible(m_hWnd))
        ::ShowWindow(m_hWnd, SW_SHOWNORMAL);

    while (!m_bEndModal && m_hWnd) {
        MSG msg;
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // WM_QUIT ends the run; leave it in the queue for whoever loops next.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            m_nModalResult = -1;
            break;
        }
        if (got == -1)
            break;
        if (!CWinApp::PreTranslateMessage(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }

    // Re-enable the parent before hiding, so that activation returns to it.
    if (parentDisabled)
        ::EnableWindow(hParent, TRUE);
    if (m_hWnd) {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
        ::DestroyWindow(m_hWnd);
    }
    m_bModal = false;
    return m_nModalResult;
}

void CDialog::EndDialog(int nResult)
{
    if (m_bModal) {
        m_nModalResult = nResult;
        m_bEndModal = true;
        return;
    }
    DestroyWindow();
}

void CDialog::ControlsToMembers()
{
    CDataExchange dx(this, true);
    DoDataExchange(&dx);
}

void CDialog::MembersToControls()
{
    CDataExchange dx(this, false);
    DoDataExchange(&dx);
}

BOOL CDialog::OnInitDialog()
{
    MembersToControls();
    return TRUE;
}

void CDialog::OnOK()
{
    ControlsToMembers();
    if (!m_bModal) {
        ShowWindow(SW_HIDE);
        return;
    }
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    if (!m_bModal) {
        ShowWindow(SW_HIDE);
        return;
    }
    EndDialog(IDCANCEL);
}

// Fills combo and list boxes from the list data stored with the template:
// entries of (control id, message, byte count, ANSI text), ended by id 0.
void CDialog::LoadListData()
{
    HINSTANCE hInst = GetResourceInstance();
    HRSRC hRes = ::FindResourceW(hInst, MAKEINTRESOURCEW(m_nIDTemplate), MAKEINTRESOURCEW(kDialogInitType));
    if (!hRes)
        return;
    DWORD size = ::SizeofResource(hInst, hRes);
    HGLOBAL hData = ::LoadResource(hInst, hRes);
    const BYTE* p = hData ? static_cast<const BYTE*>(::LockResource(hData)) : nullptr;
    if (!p)
        return;
    const BYTE* end = p + size;
    const size_t header = sizeof(WORD) * 2 + sizeof(DWORD);
    while (p + sizeof(WORD) <= end) {
        WORD id;
        memcpy(&id, p, sizeof id);
        if (id == 0 || p + header > end)
            break;
        WORD msg;
        DWORD length;
        memcpy(&msg, p + sizeof(WORD), sizeof msg);
        memcpy(&length, p + 2 * sizeof(WORD), sizeof length);
        p += header;
        if (length > static_cast<DWORD>(end - p))
            break;
        if (msg == kLegacyComboAddString)
            msg = CB_ADDSTRING;
        if (msg == CB_ADDSTRING || msg == LB_ADDSTRING) {
            const char* text = reinterpret_cast<const char*>(p);
            int chars = static_cast<int>(strnlen(text, length));
            std::vector<wchar_t> wide(static_cast<size_t>(chars) + 1, L'\0');
            ::MultiByteToWideChar(CP_ACP, 0, text, chars, wide.data(), chars);
            ::SendDlgItemMessageW(m_hWnd, id, msg, 0, reinterpret_cast<LPARAM>(wide.data()));
        }
        p += length;
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    CDialog* pDlg = nullptr;
    if (msg == WM_INITDIALOG) {
        pDlg = reinterpret_cast<CDialog*>(lParam);
        pDlg->m_hWnd = hWnd;
        ::SetWindowLongPtrW(hWnd, DWLP_USER, reinterpret_cast<LONG_PTR>(pDlg));
    } else {
        pDlg = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
    }
    if (!pDlg)
        return FALSE;
    return pDlg->Dispatch(msg, wParam, lParam);
}

INT_PTR CDialog::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    switch (msg) {
    case WM_INITDIALOG:
        LoadListData();
        return OnInitDialog();

    case WM_COMMAND: {
        UINT id = LOWORD(wParam);
        UINT code = HIWORD(wParam);
        HWND hCtl = reinterpret_cast<HWND>(lParam);
        if (OnCommand(id, code, hCtl))
            return TRUE;
        if (code != BN_CLICKED)
            return FALSE;
        if (id == IDOK) {
            OnOK();
            return TRUE;
        }
        if (id == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
        return FALSE;
    }

    case WM_NOTIFY:
        if (!OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result))
            return FALSE;
        ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;

    case WM_TIMER:
        OnTimer(wParam);
        return FALSE;   // the default handling still runs (timer callbacks)

    case WM_DESTROY:
        OnDestroy();
        return FALSE;

    case WM_NCDESTROY: {
        ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
        m_hWnd = nullptr;
        CWinApp* app = GetApp();
        // Like any main window, its end ends the application's message loop.
        if (app && app->m_pMainWnd == this) {
            app->m_pMainWnd = nullptr;
            ::PostQuitMessage(0);
        }
        return FALSE;
    }

    default:
        if (!OnMessage(msg, wParam, lParam, result))
            return FALSE;
        if (ReturnsResultDirectly(msg))
            return static_cast<INT_PTR>(result);
        ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
}
