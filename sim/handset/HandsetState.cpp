#include "HandsetState.h"

#include "PhoneControl.h"
#include "SimHandles.h"

#include <cwchar>

namespace {

const SimMethodSpec kMethods[] = {
    {kDispOpenDevice, L"OpenDevice", 1, {VT_I4}, VT_BOOL},
    {kDispCloseDevice, L"CloseDevice", 0, {}, VT_EMPTY},
    {kDispGetDeviceModel, L"GetDeviceModel", 0, {}, VT_I4},
    {kDispSetRingStyle, L"SetRingStyle", 2, {VT_BOOL, VT_I2}, VT_EMPTY},
    {kDispSignalKeyPress, L"SignalKeyPress", 1, {VT_I2}, VT_EMPTY},
    {kDispSetReady, L"SetReady", 0, {}, VT_EMPTY},
    {kDispShowNumber, L"ShowNumber", 1, {VT_BSTR}, VT_EMPTY},
    {kDispShowCallIn, L"ShowCallIn", 1, {VT_BSTR}, VT_EMPTY},
    {kDispShowInTalk, L"ShowInTalk", 1, {VT_BSTR}, VT_EMPTY},
    {kDispGetLineChannel, L"GetLineChannel", 0, {}, VT_I2},
    {kDispSetLineChannel, L"SetLineChannel", 1, {VT_I2}, VT_EMPTY},
    {kDispSetSpeaker, L"SetSpeaker", 1, {VT_BOOL}, VT_EMPTY},
    {kDispSetHandsFree, L"SetHandsFree", 1, {VT_I2}, VT_EMPTY},
    {kDispSetDefaultChannel, L"SetDefaultChannel", 1, {VT_I2}, VT_EMPTY},
};

// Journals are cut from the front beyond this, so that a handset left
// unplugged for days (one OpenDevice every 2 s) stays small.
const size_t kMaxJournalLines = 4096;

std::wstring Quote(const BSTR text)
{
    std::wstring quoted = L"\"";
    UINT length = text ? SysStringLen(text) : 0;
    for (UINT i = 0; i < length; ++i) {
        wchar_t c = text[i];
        if (c == L'"' || c == L'\\') {
            quoted += L'\\';
            quoted += c;
        } else if (c < 0x20) {
            wchar_t escape[8];
            swprintf(escape, 8, L"\\x%02X", static_cast<unsigned>(c));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + L"\"";
}

std::wstring FormatValue(const VARIANT& value)
{
    switch (V_VT(&value)) {
    case VT_I2: return std::to_wstring(V_I2(&value));
    case VT_I4: return std::to_wstring(V_I4(&value));
    case VT_BOOL: return V_BOOL(&value) ? L"TRUE" : L"FALSE";
    case VT_BSTR: return Quote(V_BSTR(&value));
    default: return L"?";
    }
}

template <typename Line>
void PushBounded(std::deque<Line>& lines, Line line)
{
    lines.push_back(std::move(line));
    while (lines.size() > kMaxJournalLines)
        lines.pop_front();
}

}  // namespace

const SimMethodSpec* FindSimMethod(DISPID id)
{
    for (const SimMethodSpec& spec : kMethods) {
        if (spec.id == id)
            return &spec;
    }
    return nullptr;
}

const wchar_t* FamilyName(DWORD model)
{
    if (model == 0)
        return L"none";
    if (IsHandsFreeModel(model))
        return L"hands-free";
    if (IsPstnAdaptorModel(model))
        return L"PSTN-adaptor";
    if (IsAdaptorModel(model))
        return L"adaptor";
    if (IsSpeakerModel(model))
        return L"speaker";
    return L"other";
}

std::wstring ModelText(DWORD model)
{
    wchar_t text[16];
    swprintf(text, 16, L"0x%04lX", static_cast<unsigned long>(model));
    return text;
}

VARIANT BoolArg(bool value)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

VARIANT ShortArg(short value)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I2;
    V_I2(&v) = value;
    return v;
}

void CHandsetState::Attach(CPhoneControl* control)
{
    m_controls.push_back(control);
    Changed();
}

void CHandsetState::Detach(CPhoneControl* control)
{
    for (auto it = m_controls.begin(); it != m_controls.end(); ++it) {
        if (*it == control) {
            m_controls.erase(it);
            break;
        }
    }
    Changed();
}

std::wstring CHandsetState::JournalEntry::Text() const
{
    if (!method)
        return line;
    std::wstring text = std::wstring(method->name) + L"(";
    for (UINT i = 0; i < method->argCount; ++i)
        text += (i ? L"," : L"") + FormatValue(args[i]);
    text += L")";
    if (method->resultType != VT_EMPTY)
        text += L"=" + FormatValue(result);
    return closed ? text + L" [closed]" : text;
}

void CHandsetState::Journal(const std::wstring& line)
{
    JournalEntry entry;
    entry.line = line;
    PushBounded(m_journal, std::move(entry));
}

std::deque<std::wstring> CHandsetState::JournalLines() const
{
    std::deque<std::wstring> lines;
    for (const JournalEntry& entry : m_journal)
        lines.push_back(entry.Text());
    return lines;
}

void CHandsetState::OleLog(const std::wstring& line)
{
    PushBounded(m_oleLog, std::wstring(line));
}

void CHandsetState::JournalRefused(const SimMethodSpec& spec, const std::wstring& why)
{
    Journal(std::wstring(spec.name) + L" refused: " + why);
}

void CHandsetState::ClearJournals()
{
    m_journal.clear();
    m_oleLog.clear();
}

void CHandsetState::CallMethod(CPhoneControl& from, const SimMethodSpec& spec, const VARIANT* args, VARIANT* result)
{
    VariantInit(result);
    V_VT(result) = spec.resultType;
    bool open = from.IsOpen();
    // A call that changes nothing leaves the window alone: a caller looking
    // for an unplugged handset every 2 s touches no display of a real one.
    bool changed = open;
    if (spec.id == kDispOpenDevice) {
        changed = open != m_device.plugged;
        from.SetOpen(m_device.plugged);
        V_BOOL(result) = m_device.plugged ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (!open) {
        // A connection without the device changes nothing on it; reads give 0.
        if (spec.resultType == VT_I4)
            V_I4(result) = 0;
        else if (spec.resultType == VT_I2)
            V_I2(result) = 0;
    } else {
        switch (spec.id) {
        case kDispCloseDevice: from.SetOpen(false); break;
        case kDispGetDeviceModel: V_I4(result) = static_cast<LONG>(m_device.model); break;
        case kDispSetRingStyle:
            m_device.ringStyleSaved = V_BOOL(&args[0]) != VARIANT_FALSE;
            m_device.ringStyle = V_I2(&args[1]);
            break;
        case kDispSignalKeyPress: ++m_device.keySignals; break;
        case kDispSetReady:
            m_device.display.clear();
            m_device.ready = true;
            break;
        case kDispShowNumber:
        case kDispShowCallIn:
        case kDispShowInTalk:
            m_device.display.assign(V_BSTR(&args[0]) ? V_BSTR(&args[0]) : L"", SysStringLen(V_BSTR(&args[0])));
            m_device.ready = false;
            break;
        case kDispGetLineChannel: V_I2(result) = m_device.lineChannel; break;
        case kDispSetLineChannel: m_device.lineChannel = V_I2(&args[0]); break;
        case kDispSetSpeaker: m_device.speaker = V_BOOL(&args[0]) != VARIANT_FALSE; break;
        case kDispSetHandsFree: m_device.handsFree = V_I2(&args[0]) != 0; break;
        case kDispSetDefaultChannel: m_device.defaultChannel = V_I2(&args[0]); break;
        default: break;
        }
    }
    // Kept as the call's parts, written out when the journal is read; a text
    // argument is written out now.
    JournalEntry entry;
    entry.method = &spec;
    bool text = false;
    for (UINT i = 0; i < spec.argCount && i < ARRAYSIZE(entry.args); ++i) {
        entry.args[i] = args[i];   // borrowed while written out below
        text = text || V_VT(&args[i]) == VT_BSTR;
    }
    entry.result = *result;
    entry.closed = !open && spec.id != kDispOpenDevice;
    if (text) {
        entry.line = entry.Text();
        entry.method = nullptr;
        VariantInit(&entry.args[0]);
        VariantInit(&entry.args[1]);
    }
    PushBounded(m_journal, std::move(entry));
    if (changed)
        Changed();
}

int CHandsetState::FireToOpenControls(DISPID id, VARIANT* args, UINT count)
{
    // A handler may release a control: each is kept until its event is done.
    std::vector<CSimComPtr<IDispatch>> open;
    for (CPhoneControl* control : m_controls) {
        if (control->IsOpen()) {
            control->AddRef();
            open.emplace_back(control);
        }
    }
    int delivered = 0;
    for (const CSimComPtr<IDispatch>& control : open)
        delivered += static_cast<CPhoneControl*>(control.get())->FireEvent(id, args, count);
    return delivered;
}

int CHandsetState::RemoveFromOpenControls()
{
    std::vector<CSimComPtr<IDispatch>> open;
    for (CPhoneControl* control : m_controls) {
        if (control->IsOpen()) {
            control->AddRef();
            control->SetOpen(false);
            open.emplace_back(control);
        }
    }
    int delivered = 0;
    for (const CSimComPtr<IDispatch>& control : open)
        delivered += static_cast<CPhoneControl*>(control.get())->FireEvent(kEventDeviceRemoved, nullptr, 0);
    return delivered;
}

int CHandsetState::PressKey(short code)
{
    VARIANT arg = ShortArg(code);
    return FireToOpenControls(kEventKeyPressed, &arg, 1);
}

int CHandsetState::SetHook(bool lifted)
{
    m_device.lifted = lifted;
    Changed();
    VARIANT onHook = BoolArg(!lifted);
    return FireToOpenControls(kEventHookChanged, &onHook, 1);
}

int CHandsetState::SetCradle(bool inCradle)
{
    m_device.inCradle = inCradle;
    Changed();
    VARIANT arg = BoolArg(inCradle);
    return FireToOpenControls(kEventCradleChanged, &arg, 1);
}

int CHandsetState::RingLine(bool ringing)
{
    VARIANT arg = BoolArg(ringing);
    return FireToOpenControls(kEventLineRing, &arg, 1);
}

void CHandsetState::Plug()
{
    m_device.plugged = true;
    Changed();
}

int CHandsetState::Unplug()
{
    m_device.plugged = false;
    int delivered = RemoveFromOpenControls();
    Changed();
    return delivered;
}

// Another handset on the same plug: the open one goes away first.
int CHandsetState::SwapModel(DWORD model)
{
    m_device.model = model;
    int delivered = RemoveFromOpenControls();
    Changed();
    return delivered;
}

void CHandsetState::SetLineChannel(short channel)
{
    m_device.lineChannel = channel;
    Changed();
}

void CHandsetState::Reset(const HandsetStartup& startup)
{
    for (CPhoneControl* control : m_controls)
        control->SetOpen(false);
    m_device = HandsetDevice();
    m_device.model = startup.model;
    m_device.plugged = startup.plugged;
    ClearJournals();
    Changed();
}

int CHandsetState::OpenControls() const
{
    int open = 0;
    for (CPhoneControl* control : m_controls)
        open += control->IsOpen() ? 1 : 0;
    return open;
}

std::wstring CHandsetState::Describe() const
{
    const HandsetDevice& d = m_device;
    std::wstring display = L"\"";
    for (wchar_t c : d.display)
        display += (c == L'"' || c < 0x20) ? L'?' : c;
    display += L"\"";
    return L"model=" + ModelText(d.model) + L" family=" + FamilyName(d.model) +
           L" plugged=" + std::to_wstring(d.plugged) + L" open=" + std::to_wstring(OpenControls()) +
           L" controls=" + std::to_wstring(m_controls.size()) + L" display=" + display +
           L" ready=" + std::to_wstring(d.ready) + L" ringstyle=" + std::to_wstring(d.ringStyle) +
           L" ringsaved=" + std::to_wstring(d.ringStyleSaved) + L" handsfree=" + std::to_wstring(d.handsFree) +
           L" speaker=" + std::to_wstring(d.speaker) + L" channel=" + std::to_wstring(d.lineChannel) +
           L" defaultchannel=" + std::to_wstring(d.defaultChannel) + L" hook=" + (d.lifted ? L"off" : L"on") +
           L" cradle=" + (d.inCradle ? L"in" : L"out") + L" signals=" + std::to_wstring(d.keySignals);
}
