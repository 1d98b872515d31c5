// The options dialog as the tray menu opens it, with the stand-in handset
// detected and the session's private sound server (a playback and a capture
// device named "USB Audio Device"): the lists each family gets, what a
// selection sends to the handset and writes, and the volumes the sliders
// read and set through the real mixer.
#include <gtest/gtest.h>

#include "PhoneFixture.h"
#include "TestSupport.h"
#include "framework/BoundedString.h"
#include "res/resource.h"
#include "settings/MixerVolume.h"
#include "settings/SettingsPaths.h"

#include <commctrl.h>

#include <algorithm>
#include <functional>

namespace {

class OptionDialogTest : public PhoneFixture {
protected:
    void SetUp() override
    {
        PhoneFixture::SetUp();
        CopyTruncated(m_savedSettings, g_szSettingsPath);
        CopyTruncated(g_szSettingsPath, JoinPath(m_dir.Path(), L"Callvane.ini").c_str());
    }
    void TearDown() override
    {
        CopyTruncated(g_szSettingsPath, m_savedSettings);
        PhoneFixture::TearDown();
    }

    std::wstring Stored(const wchar_t* key)
    {
        wchar_t value[64] = {};
        GetPrivateProfileStringW(L"OPTION", key, L"<missing>", value, ARRAYSIZE(value), g_szSettingsPath);
        return value;
    }

    // Opens the options dialog from the tray menu, lets act work on it, then
    // closes it with OK.
    bool RunOptions(const std::function<void(HWND)>& act)
    {
        return WhileModal([&] { SendMessageW(m_dlg->m_hWnd, WM_COMMAND, ID_TRAY_OPTION, 0); },
                          [&] {
                              HWND hDlg = nullptr;
                              while ((hDlg = FindWindowExW(nullptr, hDlg, L"#32770", L"Ring style")) != nullptr) {
                                  DWORD pid = 0;
                                  GetWindowThreadProcessId(hDlg, &pid);
                                  if (pid == GetCurrentProcessId() && IsWindowVisible(hDlg))
                                      break;
                              }
                              if (!hDlg)
                                  return false;
                              act(hDlg);
                              PostMessageW(hDlg, WM_COMMAND, IDOK, 0);
                              return true;
                          });
    }

    static void Select(HWND hDlg, int list, int index)
    {
        HWND hCombo = GetDlgItem(hDlg, list);
        SendMessageW(hCombo, CB_SETCURSEL, index, 0);
        SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(list, CBN_SELCHANGE), reinterpret_cast<LPARAM>(hCombo));
    }

    // Drags the slider's thumb with the mouse to about percent; returns the
    // position it ends at.
    static int Drag(HWND hDlg, int slider, int percent)
    {
        HWND hSlider = GetDlgItem(hDlg, slider);
        RECT thumb = {}, channel = {};
        SendMessageW(hSlider, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
        SendMessageW(hSlider, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
        int y = (thumb.top + thumb.bottom) / 2;
        int x = channel.left + (channel.right - channel.left) * percent / 100;
        SendMessageW(hSlider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM((thumb.left + thumb.right) / 2, y));
        SendMessageW(hSlider, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageW(hSlider, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        return static_cast<int>(SendMessageW(hSlider, TBM_GETPOS, 0, 0));
    }

    static int Position(HWND hDlg, int slider)
    {
        return static_cast<int>(SendMessageW(GetDlgItem(hDlg, slider), TBM_GETPOS, 0, 0));
    }
    static int Selection(HWND hDlg, int list)
    {
        return static_cast<int>(SendMessageW(GetDlgItem(hDlg, list), CB_GETCURSEL, 0, 0));
    }

    static DWORD Level(DWORD componentType)
    {
        CMixerVolume mixer = OpenMixerWithLine(L"USB Audio Device", componentType);
        if (!mixer.IsOpen())
            return 0xFFFFFFFF;
        return mixer.GetVolume(componentType);
    }
    static void SetLevel(DWORD componentType, DWORD level)
    {
        CMixerVolume mixer = OpenMixerWithLine(L"USB Audio Device", componentType);
        if (mixer.IsOpen())
            mixer.SetVolume(componentType, level);
    }

    CTempDir m_dir{L"opt"};
    wchar_t m_savedSettings[MAX_PATH] = {};
};

bool Enabled(HWND hDlg, int id)
{
    return IsWindowEnabled(GetDlgItem(hDlg, id)) != FALSE;
}

}  // namespace

TEST_F(OptionDialogTest, EachFamilyGetsItsListAndTheStoredChoice)
{
    WritePrivateProfileStringW(L"OPTION", L"RingType", L"3", g_szSettingsPath);
    WritePrivateProfileStringW(L"OPTION", L"ChannelType", L"1", g_szSettingsPath);
    const struct {
        uint32_t model;
        bool adaptor;
    } cases[] = {{1279, false}, {1280, true}, {1423, true}, {1424, false}, {0x0AB0, false}};
    for (const auto& c : cases) {
        Detect(c.model);
        bool ran = RunOptions([&](HWND hDlg) {
            EXPECT_EQ(Enabled(hDlg, IDC_RING_TYPE), !c.adaptor) << c.model;
            EXPECT_EQ(Enabled(hDlg, IDC_CHANNEL_TYPE), c.adaptor) << c.model;
            // Only the enabled list is read from the file; the other shows its first entry.
            EXPECT_EQ(Selection(hDlg, IDC_RING_TYPE), c.adaptor ? 0 : 3) << c.model;
            EXPECT_EQ(Selection(hDlg, IDC_CHANNEL_TYPE), c.adaptor ? 1 : 0) << c.model;
        });
        EXPECT_TRUE(ran) << c.model;
        HandsetOk(L"unplug");
    }
}

TEST_F(OptionDialogTest, AStoredIndexOutsideTheListSelectsNothing)
{
    // Whatever the file holds, the lists select an entry they have or none,
    // and opening and closing the dialog writes nothing.
    const struct {
        const wchar_t* stored;
        int ring;      // selection in the ring-style list (10 entries)
        int channel;   // selection in the channel list (2 entries)
    } cases[] = {
        {L"12", -1, -1}, {L"-1", -1, -1}, {L"\"5\"", 5, -1}, {L"1abc", 1, 1}, {L"abc", 0, 0}, {L"99999999999", -1, -1},
    };
    for (bool adaptor : {false, true}) {
        Detect(adaptor ? 1280 : 0x05A0);
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << (adaptor ? "ChannelType=" : "RingType=") << c.stored);
            CTempDir dir{L"optv"};
            std::wstring file = JoinPath(dir.Path(), L"Callvane.ini");
            CopyTruncated(g_szSettingsPath, file.c_str());
            WritePrivateProfileStringW(L"OPTION", adaptor ? L"ChannelType" : L"RingType", c.stored, g_szSettingsPath);
            const std::string before = ReadFileBytes(file);
            EXPECT_TRUE(RunOptions([&](HWND hDlg) {
                if (adaptor)
                    EXPECT_EQ(Selection(hDlg, IDC_CHANNEL_TYPE), c.channel);
                else
                    EXPECT_EQ(Selection(hDlg, IDC_RING_TYPE), c.ring);
            }));
            EXPECT_EQ(ReadFileBytes(file), before);
        }
        HandsetOk(L"unplug");
    }
}

TEST_F(OptionDialogTest, PickingARingStyleSendsSavesAndIsReappliedAtTheNextDetection)
{
    Detect(0x05A0);
    ClearRecords();
    ASSERT_TRUE(RunOptions([&](HWND hDlg) { Select(hDlg, IDC_RING_TYPE, 5); }));
    EXPECT_EQ(Journal(), (std::vector<std::wstring>{L"SetRingStyle(TRUE,5)"}));
    EXPECT_EQ(Device().m_nRingStyle, 5);
    EXPECT_EQ(Stored(L"RingType"), L"5");

    // Unplugged and found again in the same run: the style picked is sent.
    HandsetOk(L"unplug");
    HandsetOk(L"plug");
    ClearRecords();
    RunDetectionTimer();
    std::vector<std::wstring> journal = Journal();
    EXPECT_NE(std::find(journal.begin(), journal.end(), L"SetRingStyle(FALSE,5)"), journal.end());
}

TEST_F(OptionDialogTest, PickingAChannelSetsDefaultThenLineChannelAndSaves)
{
    Detect(1280);
    for (int index : {1, 0}) {
        ClearRecords();
        ASSERT_TRUE(RunOptions([&](HWND hDlg) { Select(hDlg, IDC_CHANNEL_TYPE, index); }));
        std::wstring value = std::to_wstring(index);
        EXPECT_EQ(Journal(), (std::vector<std::wstring>{L"SetDefaultChannel(" + value + L")",
                                                        L"SetLineChannel(" + value + L")"}));
        EXPECT_EQ(Stored(L"ChannelType"), value);
    }
}

TEST_F(OptionDialogTest, SlidersShowTheDevicesLevelsAndAMouseReleaseSetsThem)
{
    SetLevel(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 65535);
    SetLevel(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, 65535);
    Detect(0x05A0);
    int speaker = -1, microphone = -1;
    ASSERT_TRUE(RunOptions([&](HWND hDlg) {
        EXPECT_EQ(Position(hDlg, IDC_SPEAKER_SLIDER), 100);
        // Read from the capture device: the playback device has no microphone line.
        EXPECT_EQ(Position(hDlg, IDC_MICROPHONE_SLIDER), 100);
        speaker = Drag(hDlg, IDC_SPEAKER_SLIDER, 20);
        microphone = Drag(hDlg, IDC_MICROPHONE_SLIDER, 70);
        // Moving a slider with the keyboard changes no volume.
        SetFocus(GetDlgItem(hDlg, IDC_SPEAKER_SLIDER));
        SendMessageW(GetDlgItem(hDlg, IDC_SPEAKER_SLIDER), WM_KEYDOWN, VK_RIGHT, 0);
        SendMessageW(GetDlgItem(hDlg, IDC_SPEAKER_SLIDER), WM_KEYUP, VK_RIGHT, 0);
    }));
    ASSERT_GT(speaker, 0);
    ASSERT_LT(speaker, 100);
    ASSERT_GT(microphone, 0);
    EXPECT_NE(speaker, 100);
    EXPECT_EQ(Level(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS), PercentToLevel(speaker));
    EXPECT_EQ(Level(MIXERLINE_COMPONENTTYPE_DST_WAVEIN), PercentToLevel(microphone));
    // The mixer is closed again once the dialog is gone.
}
