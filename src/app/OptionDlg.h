// COptionDlg: speaker and microphone volume of the USB audio device, the
// handset's ring style, the adaptor's default channel and, with several
// handsets present, which one to use. Each change is
// applied and saved the moment it is made; there is nothing to confirm.
#pragma once

#include <string>
#include <vector>

#include "settings/MixerVolume.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"

class CCallvaneDlg;

class COptionDlg : public CDialog {
public:
    explicit COptionDlg(CCallvaneDlg* pParent);

    CSliderCtrl m_sliderMicrophone;
    CSliderCtrl m_sliderSpeaker;
    int m_nChannelType = 0;      // selected index of the channel list
    int m_nRingType = 0;         // selected index of the ring-style list
    CCallvaneDlg* m_pOwner;      // not owned
    CMixerVolume m_mixer;        // open only within one handler, closed at its end

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    // FALSE when there is no USB audio device: the sliders stay at 0 and the
    // settings file is not read.
    BOOL OnInitDialog() override;
    bool OnCommand(UINT nID, UINT nCode, HWND hCtl) override;
    bool OnNotify(const NMHDR& hdr, LRESULT& result) override;

private:
    void OnSelchangeChannel();
    void OnSelchangeRingType();
    void FillHandsetList();
    void OnSelchangeHandset();
    void OnReleasedcaptureMicrophone();
    void OnReleasedcaptureSpeaker();

    int ReadSliderLevel(DWORD componentType);

    std::vector<std::wstring> m_handsetIds;    // of the handset list's entries, in order
};
