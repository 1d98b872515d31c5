// CDialog: a dialog built from a template resource, run modally (DoModal) or
// created modeless (Create). One static dialog procedure binds the object to
// its window and forwards each message to a typed virtual member; a dialog
// class overrides only the handlers for the messages it cares about.
#pragma once

#include "Wnd.h"

class CDialog;

// Transfers between a dialog's controls and its members (DoDataExchange).
class CDataExchange {
public:
    CDataExchange(CDialog* pDlg, BOOL bSaveAndValidate) : m_pDlgWnd(pDlg), m_bSaveAndValidate(bSaveAndValidate) {}
    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;   // TRUE: controls -> members; FALSE: members -> controls
};

// Binds a control wrapper to the dialog item nIDC.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
// Exchanges a combo box's selected index (-1 when none) with index.
void DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Runs the dialog modally; returns the value given to EndDialog, or -1
    // when the window could not be created or the run ended by WM_QUIT.
    INT_PTR DoModal();
    // Creates the dialog modeless; it shows only if its template is visible.
    BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    // Ends a modal run; a modeless dialog is hidden instead.
    void EndDialog(int nResult);
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // The CDialog that owns hWnd, or null.
    static CDialog* FromHandle(HWND hWnd);

protected:
    // Called by WM_INITDIALOG after the template's list data is loaded. The
    // default transfers the members to the controls. Return TRUE to let the
    // system set the focus.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* /*pDX*/) {}
    virtual void OnOK();        // IDOK: transfer controls to members, end with IDOK
    virtual void OnCancel();    // IDCANCEL: end with IDCANCEL
    virtual void OnTimer(UINT_PTR /*nIDEvent*/) {}
    virtual void OnDestroy() {}
    // Commands other than IDOK/IDCANCEL; return true when handled.
    virtual bool OnCommand(UINT /*nID*/, UINT /*nCode*/, HWND /*hCtl*/) { return false; }
    // Control notifications (WM_NOTIFY); return true when handled.
    virtual bool OnNotify(const NMHDR& /*hdr*/, LRESULT& /*result*/) { return false; }
    // Any other message; return true when handled and set result.
    virtual bool OnMessage(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, LRESULT& /*result*/) { return false; }

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    void LoadListData();
    HWND CreateWindowFromTemplate(UINT nIDTemplate, HWND hParent);

    bool m_bModal = false;
    bool m_bEndModal = false;
    INT_PTR m_nModalResult = -1;
};
