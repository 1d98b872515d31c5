#include "OptionDlg.h"

#include "CallvaneDlg.h"
#include "phone/DeviceDialog.h"
#include "phone/MakerControl.h"
#include "res/resource.h"
#include "settings/Settings.h"

namespace {
// Initialisation looks for the handset's own audio device; a released
// slider settles for any USB device.
const wchar_t kAudioDeviceName[] = L"USB Audio Device";
const wchar_t kAnyUsbDeviceName[] = L"USB";
// The handset list's first entry: nobody chosen.
const wchar_t kAnyHandsetName[] = L"Any handset";
}  // namespace

COptionDlg::COptionDlg(CCallvaneDlg* pParent) : CDialog(IDD_OPTION_DIALOG, pParent), m_pOwner(pParent) {}

void COptionDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_MICROPHONE_SLIDER, m_sliderMicrophone);
    DDX_Control(pDX, IDC_SPEAKER_SLIDER, m_sliderSpeaker);
    DDX_CBIndex(pDX, IDC_CHANNEL_TYPE, m_nChannelType);
    DDX_CBIndex(pDX, IDC_RING_TYPE, m_nRingType);
}

// The slider position for the line's level; 0 when the device cannot be opened.
int COptionDlg::ReadSliderLevel(DWORD componentType)
{
    // The device stays open only while it is read or set.
    m_mixer = OpenMixerWithLine(kAudioDeviceName, componentType);
    int percent = m_mixer.IsOpen() ? LevelToPercent(m_mixer.GetVolume(componentType)) : 0;
    m_mixer = CMixerVolume();
    return percent;
}

BOOL COptionDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    FillHandsetList();
    if (FindMixerByName(kAudioDeviceName) < 0)
        return FALSE;

    m_sliderMicrophone.SetPos(ReadSliderLevel(MIXERLINE_COMPONENTTYPE_DST_WAVEIN));
    m_sliderSpeaker.SetPos(ReadSliderLevel(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS));

    uint32_t model = m_pOwner && m_pOwner->m_pDeviceDlg ? m_pOwner->m_pDeviceDlg->m_nModel : 0;
    bool adaptor = IsAdaptorModel(model);
    ::EnableWindow(GetDlgItem(IDC_RING_TYPE), !adaptor);
    ::EnableWindow(GetDlgItem(IDC_CHANNEL_TYPE), adaptor);
    if (adaptor)
        m_nChannelType = ReadChannelType();
    else
        m_nRingType = ReadRingType();
    MembersToControls();
    return TRUE;
}

bool COptionDlg::OnCommand(UINT nID, UINT nCode, HWND /*hCtl*/)
{
    if (nCode != CBN_SELCHANGE)
        return false;
    if (nID == IDC_CHANNEL_TYPE) {
        OnSelchangeChannel();
        return true;
    }
    if (nID == IDC_RING_TYPE) {
        OnSelchangeRingType();
        return true;
    }
    if (nID == IDC_HANDSET_LIST) {
        OnSelchangeHandset();
        return true;
    }
    return false;
}

// "Any handset", then the handsets present by name; the stored choice is
// selected, also when that handset is away.
void COptionDlg::FillHandsetList()
{
    HWND list = GetDlgItem(IDC_HANDSET_LIST);
    std::vector<HandsetChoice> choices;
    if (m_pOwner && m_pOwner->m_pDeviceDlg)
        choices = m_pOwner->m_pDeviceDlg->HandsetChoices();
    wchar_t chosen[kHandsetIdChars];
    ReadChosenHandset(chosen);
    m_handsetIds.assign(1, std::wstring());
    ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kAnyHandsetName));
    int selected = 0;
    for (const HandsetChoice& choice : choices) {
        if (choice.id == chosen)
            selected = static_cast<int>(m_handsetIds.size());
        m_handsetIds.push_back(choice.id);
        ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.name.c_str()));
    }
    ::SendMessageW(list, CB_SETCURSEL, selected, 0);
}

void COptionDlg::OnSelchangeHandset()
{
    LRESULT index = ::SendMessageW(GetDlgItem(IDC_HANDSET_LIST), CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<size_t>(index) >= m_handsetIds.size())
        return;
    const std::wstring& id = m_handsetIds[static_cast<size_t>(index)];
    WriteChosenHandset(id.c_str());
    if (m_pOwner && m_pOwner->m_pDeviceDlg)
        m_pOwner->m_pDeviceDlg->ChooseHandset(id);
}

bool COptionDlg::OnNotify(const NMHDR& hdr, LRESULT& result)
{
    if (hdr.code != static_cast<UINT>(NM_RELEASEDCAPTURE))
        return false;
    if (hdr.idFrom == IDC_MICROPHONE_SLIDER)
        OnReleasedcaptureMicrophone();
    else if (hdr.idFrom == IDC_SPEAKER_SLIDER)
        OnReleasedcaptureSpeaker();
    else
        return false;
    result = 0;
    return true;
}

void COptionDlg::OnSelchangeChannel()
{
    ControlsToMembers();
    if (m_pOwner && m_pOwner->m_pDeviceDlg)
        m_pOwner->m_pDeviceDlg->ChooseDefaultChannel(m_nChannelType);
    WriteChannelType(m_nChannelType);
}

void COptionDlg::OnSelchangeRingType()
{
    ControlsToMembers();
    if (m_pOwner && m_pOwner->m_pDeviceDlg)
        m_pOwner->m_pDeviceDlg->ChooseRingStyle(m_nRingType);
    WriteRingType(m_nRingType);
}

void COptionDlg::OnReleasedcaptureMicrophone()
{
    m_mixer = OpenMixerWithLine(kAnyUsbDeviceName, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    if (m_mixer.IsOpen())
        m_mixer.SetVolume(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, PercentToLevel(m_sliderMicrophone.GetPos()));
    m_mixer = CMixerVolume();
}

void COptionDlg::OnReleasedcaptureSpeaker()
{
    m_mixer = OpenMixerWithLine(kAnyUsbDeviceName, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    if (m_mixer.IsOpen()) {
        // Both the output and the wave line feeding it; the slider is read for each.
        m_mixer.SetVolume(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, PercentToLevel(m_sliderSpeaker.GetPos()));
        m_mixer.SetVolume(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, PercentToLevel(m_sliderSpeaker.GetPos()));
    }
    m_mixer = CMixerVolume();
}
