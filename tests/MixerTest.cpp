// The mixer layer against the real winmm mixer, which lists the devices of
// the private sound server the test session starts (scripts/wine-env.sh).
// The layout tests run once per server layout, chosen by ctest through
// CALLVANE_MIXER_LAYOUT; without it they are skipped.
#include <gtest/gtest.h>

#include "MainDialogFixture.h"
#include "framework/BoundedString.h"
#include "settings/MixerApi.h"
#include "settings/MixerVolume.h"
#include "app/OptionDlg.h"
#include "settings/SettingsPaths.h"

#include <commctrl.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

std::wstring Layout()
{
    wchar_t value[32] = {};
    GetEnvironmentVariableW(L"CALLVANE_MIXER_LAYOUT", value, ARRAYSIZE(value));
    return value;
}

#define REQUIRE_LAYOUT(name)                                                           \
    do {                                                                               \
        if (Layout() != name)                                                          \
            GTEST_SKIP() << "runs only against the \"" << #name << "\" sound server";  \
    } while (0)

std::wstring DeviceName(int device)
{
    MIXERCAPSW caps = {};
    if (device < 0 || mixerGetDevCapsW(static_cast<UINT>(device), &caps, sizeof caps) != MMSYSERR_NOERROR)
        return L"";
    return caps.szPname;
}

bool DeviceHasLine(int device, DWORD componentType)
{
    CMixerVolume mixer(static_cast<UINT>(device));
    if (!mixer.IsOpen())
        return false;
    MIXERLINEW line = {};
    line.cbStruct = sizeof line;
    line.dwComponentType = componentType;
    return mixerGetLineInfoW(reinterpret_cast<HMIXEROBJ>(mixer.Handle()), &line,
                             MIXER_GETLINEINFOF_COMPONENTTYPE | MIXER_OBJECTF_HMIXER) == MMSYSERR_NOERROR;
}

// Mixer device number device, open unless device is -1.
class OpenMixer {
public:
    explicit OpenMixer(int device)
    {
        if (device >= 0)
            m_mixer = CMixerVolume(static_cast<UINT>(device));
    }
    CMixerVolume& operator*() { return m_mixer; }
    CMixerVolume* operator->() { return &m_mixer; }

private:
    CMixerVolume m_mixer;
};

}  // namespace

TEST(MixerLevels, PercentAndLevelConvertAsTheSlidersShowThem)
{
    EXPECT_EQ(LevelToPercent(65535), 100);
    EXPECT_EQ(LevelToPercent(32768), 50);
    EXPECT_EQ(LevelToPercent(32767), 49);
    EXPECT_EQ(LevelToPercent(655), 0);
    EXPECT_EQ(LevelToPercent(0), 0);
    EXPECT_EQ(PercentToLevel(50), 32767u);
    EXPECT_EQ(PercentToLevel(100), 65535u);
    EXPECT_EQ(PercentToLevel(1), 655u);
    EXPECT_EQ(PercentToLevel(0), 0u);
    // A round trip loses a step, except where the level is exact (multiples of 20).
    for (int position = 1; position < 100; ++position)
        EXPECT_EQ(LevelToPercent(PercentToLevel(position)), position % 20 ? position - 1 : position) << position;
    // Levels past the nominal range never wrap around.
    EXPECT_EQ(LevelToPercent(0xFFFFFFFFu), static_cast<int>(0xFFFFFFFFull * 100 / 65535));
}

TEST(MixerNames, ContainsNoCaseFoldsOnlyAsciiLetters)
{
    EXPECT_TRUE(ContainsNoCase(L"USB Audio Device", L"usb audio device"));
    EXPECT_TRUE(ContainsNoCase(L"Speakers (USB Audio Device)", L"Audio Device"));
    EXPECT_TRUE(ContainsNoCase(L"usbusbUSB!", L"USB!"));
    EXPECT_FALSE(ContainsNoCase(L"USB Audio Devic", L"Audio Device"));
    EXPECT_FALSE(ContainsNoCase(L"", L"USB"));
    // Non-ASCII letters are compared as they are.
    EXPECT_FALSE(ContainsNoCase(L"\u00C4USB", L"\u00E4usb"));
    EXPECT_TRUE(ContainsNoCase(L"\u00C4USB", L"\u00C4usb"));
    EXPECT_EQ(FindMixerByName(L""), -1);
    EXPECT_EQ(FindMixerByName(L"no device is called this"), -1);
}

TEST(MixerLayoutMain, PlaybackAndCaptureAreSeparateDevicesAndBothLinesAreFound)
{
    REQUIRE_LAYOUT(L"main");
    int first = FindMixerByName(L"USB Audio Device");
    ASSERT_GE(first, 0);
    // The first match is the playback device: it alone has no microphone line.
    EXPECT_TRUE(DeviceHasLine(first, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS));
    EXPECT_FALSE(DeviceHasLine(first, MIXERLINE_COMPONENTTYPE_DST_WAVEIN));
    EXPECT_EQ(FindMixerWithLine(L"USB Audio Device", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS), first);
    int capture = FindMixerWithLine(L"USB Audio Device", MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    ASSERT_GT(capture, first);
    EXPECT_EQ(DeviceName(capture), L"USB Audio Device");
    EXPECT_TRUE(DeviceHasLine(capture, MIXERLINE_COMPONENTTYPE_DST_WAVEIN));

    // Levels written are read back (within this process, where the mixer keeps them).
    OpenMixer speaker(first);
    OpenMixer microphone(capture);
    for (DWORD level : {DWORD(0), DWORD(655), DWORD(32767), DWORD(65535)}) {
        EXPECT_TRUE(speaker->SetVolume(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, level));
        EXPECT_EQ(speaker->GetVolume(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS), level);
        EXPECT_TRUE(microphone->SetVolume(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, level));
        EXPECT_EQ(microphone->GetVolume(MIXERLINE_COMPONENTTYPE_DST_WAVEIN), level);
    }
    // A line the device does not have reads as 0 and is not written.
    EXPECT_EQ(speaker->GetVolume(MIXERLINE_COMPONENTTYPE_DST_WAVEIN), 0u);
    EXPECT_TRUE(speaker->SetVolume(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, 1234));
}

TEST(MixerLayoutMain, WithoutWinmmsFunctionsThereIsNoMixer)
{
    REQUIRE_LAYOUT(L"main");
    for (HMODULE module : {HMODULE(nullptr), GetModuleHandleW(L"kernel32.dll")}) {
        CurrentMixerApi() = LoadMixerApi(module);
        EXPECT_EQ(FindMixerWithLine(L"USB Audio Device", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS), -1);
        EXPECT_EQ(CMixerVolume(0).GetVolume(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS), 0u);
    }
    CurrentMixerApi() = WinmmMixerApi();
}

TEST(MixerLayoutMain, TheServersVolumeControlsAreUniform)
{
    REQUIRE_LAYOUT(L"main");
    // Wine reports its volume controls as uniform (one value for all
    // channels), so the real mixer takes the one-value path.
    OpenMixer speaker(FindMixerByName(L"USB Audio Device"));
    MIXERLINEW line = {};
    line.cbStruct = sizeof line;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    ASSERT_EQ(mixerGetLineInfoW(reinterpret_cast<HMIXEROBJ>(speaker->Handle()), &line,
                                MIXER_GETLINEINFOF_COMPONENTTYPE | MIXER_OBJECTF_HMIXER),
              MMSYSERR_NOERROR);
    EXPECT_EQ(line.cChannels, 2u);
    MIXERCONTROLW control = {};
    control.cbStruct = sizeof control;
    MIXERLINECONTROLSW controls = {sizeof controls, line.dwLineID, {MIXERCONTROL_CONTROLTYPE_VOLUME}, 1,
                                   sizeof control, &control};
    ASSERT_EQ(mixerGetLineControlsW(reinterpret_cast<HMIXEROBJ>(speaker->Handle()), &controls,
                                    MIXER_GETLINECONTROLSF_ONEBYTYPE | MIXER_OBJECTF_HMIXER),
              MMSYSERR_NOERROR);
    EXPECT_NE(control.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM, 0u);
    speaker->SetVolume(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 32767);
    EXPECT_EQ(speaker->GetVolume(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS), 32767u);
}

namespace {

// A mixer whose lines (one per component type, numbered by it) have a volume
// control with the given channels, for the layouts no sound server here
// produces. Every line shares the values; each write is recorded as the
// line's type and the first value.
struct FakeMixer {
    DWORD lineChannels = 2;
    bool uniform = false;
    MIXERCONTROLDETAILS_UNSIGNED values[64] = {};
    DWORD lastChannelsWritten = 0;
    std::vector<std::pair<DWORD, DWORD>> writes;

    static FakeMixer* current;

    static MMRESULT WINAPI GetLineInfo(HMIXEROBJ, LPMIXERLINEW line, DWORD)
    {
        line->dwLineID = line->dwComponentType;
        line->cChannels = current->lineChannels;
        return MMSYSERR_NOERROR;
    }
    static MMRESULT WINAPI GetLineControls(HMIXEROBJ, LPMIXERLINECONTROLSW controls, DWORD)
    {
        if (controls->dwControlType != MIXERCONTROL_CONTROLTYPE_VOLUME)
            return MIXERR_INVALCONTROL;
        controls->pamxctrl->dwControlID = controls->dwLineID;
        controls->pamxctrl->fdwControl = current->uniform ? MIXERCONTROL_CONTROLF_UNIFORM : 0;
        return MMSYSERR_NOERROR;
    }
    static MMRESULT WINAPI GetDetails(HMIXEROBJ, LPMIXERCONTROLDETAILS details, DWORD)
    {
        auto* out = static_cast<MIXERCONTROLDETAILS_UNSIGNED*>(details->paDetails);
        for (DWORD i = 0; i < details->cChannels; ++i)
            out[i] = current->values[i];
        return MMSYSERR_NOERROR;
    }
    static MMRESULT WINAPI SetDetails(HMIXEROBJ, LPMIXERCONTROLDETAILS details, DWORD)
    {
        auto* in = static_cast<MIXERCONTROLDETAILS_UNSIGNED*>(details->paDetails);
        for (DWORD i = 0; i < details->cChannels; ++i)
            current->values[i] = in[i];
        current->lastChannelsWritten = details->cChannels;
        current->writes.emplace_back(details->dwControlID, details->cChannels ? in[0].dwValue : 0);
        return MMSYSERR_NOERROR;
    }
};
FakeMixer* FakeMixer::current = nullptr;

class FakeMixerInstalled {
public:
    explicit FakeMixerInstalled(FakeMixer& fake)
    {
        FakeMixer::current = &fake;
        MixerApi& api = CurrentMixerApi();
        api.getLineInfo = FakeMixer::GetLineInfo;
        api.getLineControls = FakeMixer::GetLineControls;
        api.getControlDetails = FakeMixer::GetDetails;
        api.setControlDetails = FakeMixer::SetDetails;
    }
    ~FakeMixerInstalled()
    {
        CurrentMixerApi() = WinmmMixerApi();
        FakeMixer::current = nullptr;
    }
};

}  // namespace

TEST(MixerChannels, UniformControlsTakeOneValueOthersOnePerChannel)
{
    FakeMixer fake;
    FakeMixerInstalled installed(fake);
    CMixerVolume mixer;

    // Two channels, not uniform: the mean of left and right, fraction dropped.
    fake.values[0].dwValue = 1000;
    fake.values[1].dwValue = 3001;
    EXPECT_EQ(mixer.GetVolume(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS), 2000u);
    mixer.SetVolume(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 4321);
    EXPECT_EQ(fake.lastChannelsWritten, 2u);
    EXPECT_EQ(fake.values[0].dwValue, 4321u);
    EXPECT_EQ(fake.values[1].dwValue, 4321u);

    // Uniform: only the first value counts.
    fake.uniform = true;
    fake.values[0].dwValue = 500;
    fake.values[1].dwValue = 65535;
    EXPECT_EQ(mixer.GetVolume(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS), 500u);
    mixer.SetVolume(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 7);
    EXPECT_EQ(fake.lastChannelsWritten, 1u);

    // A line that reports no channels, or absurdly many, is not read or
    // written (no division by zero, no huge allocation).
    fake.uniform = false;
    for (DWORD channels : {DWORD(0), DWORD(100000)}) {
        fake.lineChannels = channels;
        fake.lastChannelsWritten = 0;
        EXPECT_EQ(mixer.GetVolume(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS), 0u);
        EXPECT_TRUE(mixer.SetVolume(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 1));
        EXPECT_EQ(fake.lastChannelsWritten, 0u);
    }
}

TEST(MixerLayoutNone, NoUsbDeviceIsFound)
{
    REQUIRE_LAYOUT(L"none");
    EXPECT_EQ(FindMixerByName(L"USB Audio Device"), -1);
    EXPECT_EQ(FindMixerByName(L"USB"), -1);
    EXPECT_EQ(FindMixerWithLine(L"USB", MIXERLINE_COMPONENTTYPE_DST_WAVEIN), -1);
}

TEST(MixerLayoutUsbOther, AUsbDeviceWithoutTheWordsAudioDeviceIsFoundOnlyByUsb)
{
    REQUIRE_LAYOUT(L"usbother");
    EXPECT_EQ(FindMixerByName(L"USB Audio Device"), -1);
    int found = FindMixerByName(L"USB");
    ASSERT_GE(found, 0);
    EXPECT_EQ(DeviceName(found), L"USB Headset");
    OpenMixer mixer(found);
    mixer->SetVolume(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, PercentToLevel(30));
    EXPECT_EQ(LevelToPercent(mixer->GetVolume(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS)), 29);
}

// A slider takes the first mixer whose name holds "USB", in the order the
// system lists them: Windows lists the default device first and the others
// in its own endpoint order, so on a user's machine whichever USB device
// comes first wins. The test prefix fixes the order (the hub before the
// handset, scripts/wine-env.sh), as Wine's own order is random per prefix.
TEST(MixerLayoutMulti, TheFirstUsbDeviceWinsEvenIfItIsNotTheAudioDevice)
{
    REQUIRE_LAYOUT(L"multi");
    int anyUsb = FindMixerByName(L"USB");
    int audio = FindMixerByName(L"USB Audio Device");
    ASSERT_GE(anyUsb, 0);
    ASSERT_GE(audio, 0);
    EXPECT_LT(anyUsb, audio);
    EXPECT_EQ(DeviceName(anyUsb), L"USB Hub Speaker");
    EXPECT_EQ(DeviceName(audio), L"USB Audio Device");
    // The microphone is found past both playback devices.
    int capture = FindMixerWithLine(L"USB", MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    ASSERT_GE(capture, 0);
    EXPECT_TRUE(DeviceHasLine(capture, MIXERLINE_COMPONENTTYPE_DST_WAVEIN));
}

namespace {

// The options dialog created as the main dialog creates its hidden one, with
// a settings file of the test's own that stores ring style 5.
class OptionsWithoutAudioDevice : public MainDialogFixture {
protected:
    void SetUp() override
    {
        MainDialogFixture::SetUp();
        CopyTruncated(m_saved, g_szSettingsPath);
        CopyTruncated(g_szSettingsPath, JoinPath(m_dir.Path(), L"Callvane.ini").c_str());
        WritePrivateProfileStringW(L"OPTION", L"RingType", L"5", g_szSettingsPath);
        m_options = std::make_unique<COptionDlg>(m_dlg.get());
        ASSERT_TRUE(m_options->Create(IDD_OPTION_DIALOG, m_dlg.get()));
    }
    void TearDown() override
    {
        m_options.reset();
        CopyTruncated(g_szSettingsPath, m_saved);
        MainDialogFixture::TearDown();
    }
    HWND Item(int id) const { return m_options->GetDlgItem(id); }
    void ExpectNothingReadFromTheDevicesOrTheFile()
    {
        EXPECT_EQ(SendMessageW(Item(IDC_SPEAKER_SLIDER), TBM_GETPOS, 0, 0), 0);
        EXPECT_EQ(SendMessageW(Item(IDC_MICROPHONE_SLIDER), TBM_GETPOS, 0, 0), 0);
        EXPECT_TRUE(IsWindowEnabled(Item(IDC_RING_TYPE)));
        EXPECT_TRUE(IsWindowEnabled(Item(IDC_CHANNEL_TYPE)));
        EXPECT_EQ(SendMessageW(Item(IDC_RING_TYPE), CB_GETCURSEL, 0, 0), 0);   // not the stored 5
        EXPECT_EQ(SendMessageW(Item(IDC_CHANNEL_TYPE), CB_GETCURSEL, 0, 0), 0);
    }
    void ReleaseSpeakerSliderAt(int position)
    {
        SendMessageW(Item(IDC_SPEAKER_SLIDER), TBM_SETPOS, TRUE, position);
        NMHDR hdr = {Item(IDC_SPEAKER_SLIDER), IDC_SPEAKER_SLIDER, static_cast<UINT>(NM_RELEASEDCAPTURE)};
        SendMessageW(m_options->m_hWnd, WM_NOTIFY, IDC_SPEAKER_SLIDER, reinterpret_cast<LPARAM>(&hdr));
    }

    CTempDir m_dir{L"optmix"};
    wchar_t m_saved[MAX_PATH] = {};
    std::unique_ptr<COptionDlg> m_options;
};

using MixerLayoutNoneOptions = OptionsWithoutAudioDevice;
using MixerLayoutUsbOtherOptions = OptionsWithoutAudioDevice;

}  // namespace

TEST_F(MixerLayoutNoneOptions, WithoutAUsbAudioDeviceTheDialogReadsNothing)
{
    REQUIRE_LAYOUT(L"none");
    ExpectNothingReadFromTheDevicesOrTheFile();
    ReleaseSpeakerSliderAt(40);   // no USB device at all: nothing to set, nothing breaks
}

TEST_F(MixerLayoutUsbOtherOptions, AnyUsbDeviceIsSetWhenASliderIsReleased)
{
    REQUIRE_LAYOUT(L"usbother");
    ExpectNothingReadFromTheDevicesOrTheFile();
    ReleaseSpeakerSliderAt(40);
    OpenMixer headset(FindMixerByName(L"USB Headset"));
    EXPECT_EQ(headset->GetVolume(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS), PercentToLevel(40));
    // The wave line that feeds the output is set second, to the same level.
    // Wine's mixer keeps no level for that line, so the writes are watched.
    FakeMixer fake;
    FakeMixerInstalled installed(fake);
    ReleaseSpeakerSliderAt(60);
    const std::vector<std::pair<DWORD, DWORD>> both = {{MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, PercentToLevel(60)},
                                                        {MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, PercentToLevel(60)}};
    EXPECT_EQ(fake.writes, both);
}
