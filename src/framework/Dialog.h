// CDialog: a dialog built from a template resource, run modally (DoModal) or
// created modeless (Create). One static dialog procedure binds the object to
// its window and forwards each message to a typed virtual member; a dialog
// class overrides only the handlers for the messages it cares about.
#pragma once

#include "Wnd.h"

class CDialog;

// One transfer between a dialog's controls and its members, in one
// direction (DoDataExchange). Nothing is validated.
class CDataExchange {
public:
    CDataExchange(CDialog* pDlg, bool bToMembers) : m_pDlgWnd(pDlg), m_bToMembers(bToMembers) {}
    CDialog* m_pDlgWnd;
    bool m_bToMembers;   // true: controls -> members; false: members -> controls
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
    // Ends the dialog: a modal run returns nResult from DoModal; a modeless
    // dialog, which has no run to return it from, is destroyed.
    void EndDialog(int nResult);
    // DoDataExchange one way: the controls' values into the members, or
    // the members' values into the controls.
    void ControlsToMembers();
    void MembersToControls();

    // The CDialog that owns hWnd, or null.
    static CDialog* FromHandle(HWND hWnd);

protected:
    // Called by WM_INITDIALOG after the template's list data is loaded. The
    // default calls MembersToControls. Return TRUE to let the system set the
    // focus.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* /*pDX*/) {}
    // IDOK (Enter) and IDCANCEL (Escape). A modal dialog ends with that
    // result, after ControlsToMembers for IDOK. A modeless dialog is only
    // hidden: its owner keeps it, and what it hosts, for the program's life.
    virtual void OnOK();
    virtual void OnCancel();
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
    // Created with themed common controls (see ThemedControls.h); a dialog
    // that is never seen can leave them, and their loading, out.
    bool m_bThemedControls = true;

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    void LoadListData();
    HWND CreateWindowFromTemplate(UINT nIDTemplate, HWND hParent);

    bool m_bModal = false;
    bool m_bEndModal = false;
    INT_PTR m_nModalResult = -1;
};
