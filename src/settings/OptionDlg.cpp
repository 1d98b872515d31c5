#include "OptionDlg.h"

#include "app/CallvaneDlg.h"
#include "res/resource.h"

COptionDlg::COptionDlg(CCallvaneDlg* pParent) : CDialog(IDD_OPTION_DIALOG, pParent), m_pOwner(pParent) {}

COptionDlg::~COptionDlg()
{
    if (m_mixer.m_hMixer) {
        mixerClose(m_mixer.m_hMixer);
        m_mixer.m_hMixer = nullptr;
    }
}

void COptionDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_MICROPHONE_SLIDER, m_sliderMicrophone);
    DDX_Control(pDX, IDC_SPEAKER_SLIDER, m_sliderSpeaker);
    DDX_CBIndex(pDX, IDC_CHANNEL_TYPE, m_nChannelType);
    DDX_CBIndex(pDX, IDC_RING_TYPE, m_nRingType);
}
