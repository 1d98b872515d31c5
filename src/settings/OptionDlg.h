// COptionDlg: volume, ring style and adaptor channel of the handset.
#pragma once

#include "MixerVolume.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"

class CCallvaneDlg;

class COptionDlg : public CDialog {
public:
    explicit COptionDlg(CCallvaneDlg* pParent);
    ~COptionDlg() override;

    CSliderCtrl m_sliderMicrophone;
    CSliderCtrl m_sliderSpeaker;
    int m_nChannelType = 0;      // selected index of the channel list
    int m_nRingType = 0;         // selected index of the ring-style list
    CCallvaneDlg* m_pOwner;      // not owned
    CMixerVolume m_mixer;        // open only within one handler

protected:
    void DoDataExchange(CDataExchange* pDX) override;
};
