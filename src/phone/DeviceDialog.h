// CDeviceDialog: the hidden worker dialog on the handset's side. It hosts the
// handset maker's control (item 1000) and knows whether a handset is open.
#pragma once

#include <cstdint>

#include "framework/Dialog.h"

class CCallvaneDlg;

class CDeviceDialog : public CDialog {
public:
    explicit CDeviceDialog(CCallvaneDlg* pOwner);

    // A handset is open exactly when its model is known.
    BOOL IsDevicePresent() const { return m_nModel != 0; }
    // The messenger side's status report ('Rady', 'CaIn', 'Talk'). Returns 0
    // when a guard dropped it, else 1. nParam is unused (callers pass 0).
    // Virtual so that a test can stand in for the handset side.
    virtual int ReportStatus(uint32_t nCode, int32_t nParam);

    uint32_t m_nModel = 0;       // model of the open handset; 0 = none
    int m_nRingStyle = 0;        // ring style applied when a handset is found
    CCallvaneDlg* m_pOwner;      // the main dialog; not owned
};
