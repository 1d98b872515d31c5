#include "MixerVolume.h"

#include "MixerApi.h"
#include "framework/SystemDll.h"
#include "trace/TraceLog.h"

#include <vector>

namespace {

const wchar_t kTraceMixerChosen[] = L"mixer: device %d for \"%s\", %s line";
const wchar_t kTraceNoMixer[] = L"mixer: no device for \"%s\" with a %s line";

const DWORD kFullLevel = 65535;
// More channels than any mixer line has: a bigger count is bad driver data.
const DWORD kMaxChannels = 64;

// The control of controlType of the first line of componentType, and how
// many channel values it takes. False when there is no such control.
bool FindControl(HMIXER hMixer, DWORD componentType, DWORD controlType, MIXERCONTROLW& control, DWORD& channels)
{
    const MixerApi& api = CurrentMixerApi();
    if (!api.getLineInfo)
        return false;
    MIXERLINEW line = {};
    line.cbStruct = sizeof line;
    line.dwComponentType = componentType;
    api.getLineInfo(reinterpret_cast<HMIXEROBJ>(hMixer), &line, MIXER_GETLINEINFOF_COMPONENTTYPE | MIXER_OBJECTF_HMIXER);

    control = MIXERCONTROLW();
    control.cbStruct = sizeof control;
    MIXERLINECONTROLSW controls = {};
    controls.cbStruct = sizeof controls;
    controls.dwLineID = line.dwLineID;
    controls.dwControlType = controlType;
    controls.cControls = 1;
    controls.cbmxctrl = sizeof control;
    controls.pamxctrl = &control;
    if (api.getLineControls(reinterpret_cast<HMIXEROBJ>(hMixer), &controls, MIXER_GETLINECONTROLSF_ONEBYTYPE | MIXER_OBJECTF_HMIXER) !=
        MMSYSERR_NOERROR)
        return false;
    channels = (control.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM) ? 1 : line.cChannels;
    return channels > 0 && channels <= kMaxChannels;
}

// The channels' values of the control of controlType of the first line of
// componentType (a volume's and a mute's each one 32-bit value): read into
// values, or, with newValue, every channel set to it. False when there is no
// such control or the mixer refused.
bool ExchangeValues(HMIXER hMixer, DWORD componentType, DWORD controlType, std::vector<DWORD>& values,
                    const DWORD* newValue)
{
    MIXERCONTROLW control;
    DWORD channels = 0;
    if (!FindControl(hMixer, componentType, controlType, control, channels))
        return false;
    values.assign(channels, newValue ? *newValue : 0);
    MIXERCONTROLDETAILS details = {};
    details.cbStruct = sizeof details;
    details.dwControlID = control.dwControlID;
    details.cChannels = channels;
    details.cbDetails = sizeof(DWORD);
    details.paDetails = values.data();
    const MixerApi& api = CurrentMixerApi();
    auto* mixer = reinterpret_cast<HMIXEROBJ>(hMixer);
    if (newValue)
        return api.setControlDetails(mixer, &details, MIXER_SETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER) ==
               MMSYSERR_NOERROR;
    return api.getControlDetails(mixer, &details, MIXER_GETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER) ==
           MMSYSERR_NOERROR;
}

bool HasLine(UINT device, DWORD componentType)
{
    CMixerVolume mixer(device);
    if (!mixer.IsOpen())
        return false;
    MIXERLINEW line = {};
    line.cbStruct = sizeof line;
    line.dwComponentType = componentType;
    return CurrentMixerApi().getLineInfo(reinterpret_cast<HMIXEROBJ>(mixer.Handle()), &line, MIXER_GETLINEINFOF_COMPONENTTYPE | MIXER_OBJECTF_HMIXER) ==
           MMSYSERR_NOERROR;
}

// The next device at or after first whose name contains text; -1 when none.
int FindMixerFrom(UINT first, const wchar_t* text)
{
    const MixerApi& api = CurrentMixerApi();
    if (text == nullptr || text[0] == L'\0' || !api.getNumDevs)
        return -1;
    UINT count = api.getNumDevs();
    for (UINT device = first; device < count; ++device) {
        MIXERCAPSW caps = {};
        if (api.getDevCaps(device, &caps, sizeof caps) != MMSYSERR_NOERROR)
            continue;
        caps.szPname[MAXPNAMELEN - 1] = L'\0';
        if (caps.szPname[0] == L'\0')
            continue;
        if (ContainsNoCase(caps.szPname, text))
            return static_cast<int>(device);
    }
    return -1;
}

wchar_t FoldAscii(wchar_t c)
{
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

}  // namespace

const MixerApi& WinmmMixerApi()
{
    // Loaded once, from the system folder, and kept.
    static const MixerApi winmm = LoadMixerApi(LoadSystemDll(L"winmm.dll"));
    return winmm;
}

MixerApi& CurrentMixerApi()
{
    static MixerApi current = WinmmMixerApi();
    return current;
}

MixerApi LoadMixerApi(HMODULE module)
{
    MixerApi api = {};
    if (Bind(module, "mixerGetNumDevs", api.getNumDevs) &&
        Bind(module, "mixerGetDevCapsW", api.getDevCaps) && Bind(module, "mixerOpen", api.open) &&
        Bind(module, "mixerClose", api.close) && Bind(module, "mixerGetLineInfoW", api.getLineInfo) &&
        Bind(module, "mixerGetLineControlsW", api.getLineControls) &&
        Bind(module, "mixerGetControlDetailsW", api.getControlDetails) &&
        Bind(module, "mixerSetControlDetails", api.setControlDetails))
        return api;
    return {};
}

void MixerTraits::Close(HMIXER h)
{
    CurrentMixerApi().close(h);
}

CMixerVolume::CMixerVolume(UINT device)
{
    HMIXER hMixer = nullptr;
    const MixerApi& api = CurrentMixerApi();
    if (api.open && api.open(&hMixer, device, 0, 0, MIXER_OBJECTF_MIXER) == MMSYSERR_NOERROR)
        m_hMixer.Reset(hMixer);
}

DWORD CMixerVolume::GetVolume(DWORD componentType) const
{
    std::vector<DWORD> values;
    if (!ExchangeValues(m_hMixer.Get(), componentType, MIXERCONTROL_CONTROLTYPE_VOLUME, values, nullptr))
        return 0;
    double sum = 0;
    for (DWORD value : values)
        sum += value;
    return static_cast<DWORD>(sum / values.size());
}

BOOL CMixerVolume::SetVolume(DWORD componentType, DWORD level) const
{
    std::vector<DWORD> values;
    ExchangeValues(m_hMixer.Get(), componentType, MIXERCONTROL_CONTROLTYPE_VOLUME, values, &level);
    return TRUE;
}

bool CMixerVolume::GetMute(DWORD componentType) const
{
    std::vector<DWORD> values;
    return ExchangeValues(m_hMixer.Get(), componentType, MIXERCONTROL_CONTROLTYPE_MUTE, values, nullptr) &&
           values[0] != 0;
}

bool CMixerVolume::SetMute(DWORD componentType, bool muted) const
{
    std::vector<DWORD> values;
    const DWORD value = muted ? 1 : 0;
    return ExchangeValues(m_hMixer.Get(), componentType, MIXERCONTROL_CONTROLTYPE_MUTE, values, &value);
}

bool ContainsNoCase(const wchar_t* name, const wchar_t* text)
{
    for (const wchar_t* start = name; *start; ++start) {
        const wchar_t* n = start;
        const wchar_t* t = text;
        while (*t && *n && FoldAscii(*n) == FoldAscii(*t)) {
            ++n;
            ++t;
        }
        if (*t == L'\0')
            return true;
    }
    return false;
}

int FindMixerByName(const wchar_t* text)
{
    return FindMixerFrom(0, text);
}

int FindMixerWithLine(const wchar_t* text, DWORD componentType)
{
    int first = FindMixerByName(text);
    for (int device = first; device >= 0; device = FindMixerFrom(static_cast<UINT>(device) + 1, text)) {
        if (HasLine(static_cast<UINT>(device), componentType))
            return device;
    }
    return first;
}

CMixerVolume OpenMixerWithLine(const wchar_t* text, DWORD componentType)
{
    int device = FindMixerWithLine(text, componentType);
    const wchar_t* lineType = componentType == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS ? L"speaker"
                              : componentType == MIXERLINE_COMPONENTTYPE_DST_WAVEIN ? L"recording"
                                                                                    : L"other";
    if (device < 0) {
        Trace(kTraceNoMixer, text ? text : L"", lineType);
        return CMixerVolume();
    }
    Trace(kTraceMixerChosen, device, text ? text : L"", lineType);
    return CMixerVolume(static_cast<UINT>(device));
}

int LevelToPercent(DWORD level)
{
    return static_cast<int>(static_cast<unsigned long long>(level) * 100 / kFullLevel);
}

DWORD PercentToLevel(int percent)
{
    return static_cast<DWORD>(static_cast<long long>(percent) * static_cast<long long>(kFullLevel) / 100);
}
