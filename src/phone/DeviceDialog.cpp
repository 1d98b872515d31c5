#include "DeviceDialog.h"

#include <dbt.h>

#include "HidIds.h"
#include "PhoneIds.h"
#include "framework/AxHost.h"
#include "link/CallCodes.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "trace/TraceLog.h"

namespace {

// Keys that give the handset's key signal (outside Talk), before any guard.
bool IsSignalKey(short nKey)
{
    return (nKey >= kKeyDigit0 && nKey <= kKeyDigit9) || nKey == kKeyUp || nKey == kKeyDown || nKey == kKeyCall ||
           nKey == kKeySignalOnly;
}

bool IsDigitKey(short nKey)
{
    return nKey >= kKeyDigit0 && nKey <= kKeyDigit9;
}

void TraceDialledNumber(const std::wstring& number)
{
    if (!g_traceLog.IsEnabled())
        return;
    wchar_t masked[64];
    MaskNumber(number.c_str(), masked);
    Trace(kTraceDialledNumber, masked);
}

// Only the keys a number box takes on every keyboard layout: digits, '*'
// and a leading '+'. A PSTN marker is no number either.
bool IsTypableNumber(const wchar_t* number)
{
    if (!number || !*number)
        return false;
    for (const wchar_t* p = number; *p; ++p) {
        if (!(*p >= L'0' && *p <= L'9') && *p != L'*' && !(*p == L'+' && p == number))
            return false;
    }
    return true;
}

// One event argument of the declared type; false drops the event (a
// control that sends something else is not believed).
bool EventArg(const AxEvent& event, VARTYPE vt, VARIANT& value)
{
    if (!event.params || event.params->cArgs != 1 || event.params->cNamedArgs != 0)
        return false;
    return GetAxEventArg(event, 0, vt, value);
}

// The interface class of every HID device.
const GUID kHidInterfaceClass = {0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

}  // namespace

CDeviceDialog::CDeviceDialog(IDeviceOwner* pOwner, IHandset* pHandset)
    : CDialog(IDD_DEVICE_DIALOG), m_pOwner(pOwner), m_maker(pHandset ? *pHandset : m_phone)
{
}

BOOL CDeviceDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_hid.SetNotifyWindow(m_hWnd, kMsgHidInput, kMsgHidGone);
    // HID devices are listed again only when one came or went; without the
    // notification, at every detection.
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kHidInterfaceClass;
    m_hDeviceNotify = RegisterDeviceNotificationW(m_hWnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    m_hidDevices.SetNotified(m_hDeviceNotify != nullptr);
    wchar_t chosen[kHandsetIdChars];
    ReadChosenHandset(chosen);
    m_chosen = chosen;
    ArmDetection();
    return TRUE;
}

void CDeviceDialog::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_USBPHONE, m_phone);
}

void CDeviceDialog::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == kDetectTimerId) {
        DetectHandset(true);
    } else if (nIDEvent == kRingWindowTimerId) {
        // The ring window is over.
        m_bRingPending = FALSE;
        KillTimer(kRingWindowTimerId);
    }
}

void CDeviceDialog::OnDestroy()
{
    if (m_hDeviceNotify) {
        UnregisterDeviceNotification(m_hDeviceNotify);
        m_hDeviceNotify = nullptr;
    }
    if (IsDevicePresent())
        Handset().CloseDevice();
}

bool CDeviceDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (msg == kMsgHidInput || msg == kMsgHidGone) {
        OnHidMessage(msg, wParam, lParam);
        result = 0;
        return true;
    }
    if (msg == WM_DEVICECHANGE) {
        OnDeviceChange(wParam, lParam);
        result = TRUE;
        return true;
    }
    if (msg == kMsgHidChanged) {
        // Looked for now rather than at the next tick; the maker's control
        // keeps its 2 s.
        if (!IsDevicePresent() || WaitsForChosen())
            DetectHandset();
        result = 0;
        return true;
    }
    if (msg != WM_AXEVENT)
        return false;
    result = 0;
    if (wParam == IDC_USBPHONE && lParam)
        OnControlEvent(*reinterpret_cast<const AxEvent*>(lParam));
    return true;
}

void CDeviceDialog::OnHidMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == kMsgHidGone) {
        if (!m_hid.IsCurrent(wParam) || m_pActive != &m_hid)
            return;
        Trace(kTraceHidHandsetRemoved, m_hid.DevicePath().c_str());
        m_hid.CloseDevice();
        m_pActive = nullptr;
        OnDeviceRemoved();
        return;
    }
    // Always taken, so that the report's memory is freed.
    std::vector<HidEvent> events = m_hid.TakeReport(wParam, lParam);
    if (m_pActive != &m_hid)
        return;
    for (const HidEvent& event : events) {
        if (event.kind == HidEvent::kHook)
            OnHookChanged(event.value);
        else
            OnKeyPressed(event.value);
    }
}

void CDeviceDialog::OnControlEvent(const AxEvent& event)
{
    VARIANT value;
    VariantInit(&value);
    switch (event.dispid) {
    case kEventDeviceRemoved:
        // The control's handset, not the HID one in use, went.
        if (m_pActive != &m_hid)
            OnDeviceRemoved();
        break;
    case kEventKeyPressed:
        if (EventArg(event, VT_I2, value))
            OnKeyPressed(V_I2(&value));
        break;
    case kEventHookChanged:
        if (EventArg(event, VT_BOOL, value))
            OnHookChanged(V_BOOL(&value) != VARIANT_FALSE);
        break;
    case kEventLineRing:
        if (EventArg(event, VT_BOOL, value))
            OnLineRing(V_BOOL(&value) != VARIANT_FALSE);
        break;
    case kEventCradleChanged:
        if (EventArg(event, VT_BOOL, value))
            OnCradleChanged(V_BOOL(&value) != VARIANT_FALSE);
        break;
    case kEventIgnoredNotify:   // handled by doing nothing
    default:                    // event 6 and any other are not handled
        break;
    }
    VariantClear(&value);
}

void CDeviceDialog::OnDeviceChange(WPARAM event, LPARAM data)
{
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE)
        return;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (!header || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        header->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) ||
        !IsEqualGUID(reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(data)->dbcc_classguid,
                     kHidInterfaceClass))
        return;
    m_hidDevices.OnInterfaceChange();
    ::PostMessageW(m_hWnd, kMsgHidChanged, 0, 0);
}

void CDeviceDialog::DetectHandset(bool fromTimer)
{
    if (fromTimer) {
        m_bAttempted = true;
        m_lastAttemptTick = GetTickCount();
    }
    if (IsDevicePresent()) {
        // Another handset is in use while the chosen one was away: it takes
        // over when it is back and nothing rings or runs.
        if (!WaitsForChosen()) {
            StopDetection();
            return;
        }
        if (m_nCallState != kCallReady || m_bOffHook || !ChosenPresent()) {
            ArmDetection();
            return;
        }
        CloseActive();
    }
    m_pActive = OpenHandset();
    if (!m_pActive) {
        ArmDetection();
        return;
    }
    StopDetection();
    if (m_pActive == &m_hid)
        Trace(kTraceHidHandsetFound, m_hid.DevicePath().c_str());
    // A handset that opens but reports model 0 counts as absent; detection
    // then waits for DeviceRemoved.
    m_nModel = static_cast<uint32_t>(Handset().GetDeviceModel());
    const bool pstn = IsPstnAdaptorModel(m_nModel);
    Trace(kTraceHandsetFound, static_cast<unsigned long>(m_nModel), pstn ? L", PSTN adaptor" : L"",
          IsAdaptorModel(m_nModel) && !pstn ? L", adaptor" : L"", IsHandsFreeModel(m_nModel) ? L", hands-free" : L"",
          IsSpeakerModel(m_nModel) ? L", speaker" : L"");
    if (IsPstnAdaptorModel(m_nModel))
        Handset().SetLineChannel(static_cast<short>(m_nChannel));
    else
        Handset().SetRingStyle(FALSE, static_cast<short>(m_nRingStyle));
    Handset().SetReady();
    m_bHandsFree = FALSE;
    m_bOffHook = FALSE;
    m_bRingPending = FALSE;
    m_nCallState = kCallReady;
    // A call still running is shown before the tray's refresh, which waits
    // for the shell and meanwhile serves other requests.
    if (m_pOwner)
        m_pOwner->HandsetFound();
    RefreshTray();
    if (WaitsForChosen())
        ArmDetection();
}

// A timer left running keeps its period: killing it and arming it again
// after every failed attempt cost two requests to the window server each time.
void CDeviceDialog::ArmDetection()
{
    if (m_bDetecting)
        return;
    m_bDetecting = true;
    m_bAttempted = false;
    m_bInStep = false;
    SetTimer(kDetectTimerId, kDetectPeriodMs);
}

void CDeviceDialog::StopDetection()
{
    m_bDetecting = false;
    KillTimer(kDetectTimerId);
}

// The messenger watch ticks every 2 s too. Two timers a few milliseconds
// apart woke the program twice every 2 s, which cost as much again as the
// watch itself. Armed here, and the watch just after, the attempt falls due
// just ahead of the watch and one wake-up serves both from then on. In
// step, the last attempt came in this very wake-up. Only after an attempt
// since the last tick, so that none is ever put off.
bool CDeviceDialog::KeepDetectionInStep()
{
    if (!m_bDetecting || !m_bAttempted)
        return false;
    m_bAttempted = false;
    if (m_bInStep && GetTickCount() - m_lastAttemptTick <= kDetectInStepMs)
        return false;
    m_bInStep = true;
    SetTimer(kDetectTimerId, kDetectPeriodMs);
    return true;
}

// The chosen handset when it is present; else the maker's control's; else
// the first HID handset listed.
IHandset* CDeviceDialog::OpenHandset()
{
    m_hidDevices.Refresh();
    const HidDeviceInfo* chosen = m_hidDevices.Find(m_chosen);
    if (chosen && m_hid.Open(*chosen))
        return &m_hid;
    if (m_maker.OpenDevice(kOpenFirstDevice))
        return &m_maker;
    for (const HidDeviceInfo& device : m_hidDevices.Handsets()) {
        if (m_hid.Open(device))
            return &m_hid;
    }
    return nullptr;
}

std::wstring CDeviceDialog::ActiveHandsetId() const
{
    if (!m_pActive)
        return std::wstring();
    return m_pActive == &m_hid ? m_hid.StableId() : std::wstring(kMakerHandsetId);
}

bool CDeviceDialog::WaitsForChosen() const
{
    return !m_chosen.empty() && m_pActive && ActiveHandsetId() != m_chosen;
}

bool CDeviceDialog::ChosenPresent()
{
    if (m_chosen == kMakerHandsetId)
        return m_maker.OpenDevice(kOpenFirstDevice) != FALSE;
    m_hidDevices.Refresh();
    return m_hidDevices.Find(m_chosen) != nullptr;
}

// Put away for the chosen one: closed, not gone, so nothing is reported lost.
void CDeviceDialog::CloseActive()
{
    Handset().CloseDevice();
    m_pActive = nullptr;
    m_nModel = 0;
    m_nCallState = kCallNone;
}

std::vector<HandsetChoice> CDeviceDialog::HandsetChoices()
{
    std::vector<HandsetChoice> choices;
    if (m_pActive == &m_maker)
        choices.push_back({kMakerHandsetId, kMakerHandsetName});
    m_hidDevices.Refresh();
    const std::vector<HidDeviceInfo>& devices = m_hidDevices.Handsets();
    for (const HidDeviceInfo& device : devices) {
        // Two of one kind are told apart by their serial numbers.
        std::wstring name = device.DisplayName();
        size_t same = 0;
        for (const HidDeviceInfo& other : devices)
            same += other.DisplayName() == name ? 1 : 0;
        if (same > 1 && !device.serial.empty())
            name += L" (" + device.serial + L")";
        choices.push_back({device.StableId(), name});
    }
    bool listed = m_chosen.empty();
    for (const HandsetChoice& choice : choices)
        listed = listed || choice.id == m_chosen;
    if (!listed)
        choices.insert(choices.begin(), {m_chosen, m_chosen == kMakerHandsetId ? kMakerHandsetName : m_chosen});
    return choices;
}

void CDeviceDialog::ChooseHandset(const std::wstring& id)
{
    m_chosen = id;
    if (m_hWnd && (!IsDevicePresent() || WaitsForChosen()))
        DetectHandset();
}

int CDeviceDialog::ReportStatus(uint32_t nCode, int32_t /*nParam*/)
{
    if (!IsDevicePresent())
        return 0;
    if (IsPstnAdaptorModel(m_nModel)) {
        m_nChannel = Handset().GetLineChannel();
        // A PSTN call on the line, or the line ringing: the messenger's
        // view does not count.
        if (m_nChannel == kLineChannelPstn && m_strDial == kDialPstnTalk)
            return 0;
        if (m_bRingPending)
            return 0;
    }
    switch (nCode) {
    case kStatusReady:
        if (m_nCallState != kCallReady) {
            m_nCallState = kCallReady;
            Handset().SetReady();
            m_bHandsFree = FALSE;
        }
        break;
    case kStatusCallIn:
        m_strPrepared.clear();
        if (m_nCallState != kCallIn) {
            m_nCallState = kCallIn;
            Handset().ShowCallIn(kTextCallIn);
        }
        break;
    case kStatusTalk:
        // Placed from the messenger, or a call taken: nothing waits any more.
        m_strPrepared.clear();
        if (m_nCallState != kCallTalk) {
            m_nCallState = kCallTalk;
            Handset().ShowInTalk(kTextInTalk);
            // A call answered without lifting the handset goes on hands-free
            // or on the speaker.
            if (IsHandsFreeModel(m_nModel) && !m_bOffHook) {
                Handset().SetHandsFree(kHandsFreeOn);
                m_bHandsFree = TRUE;
            }
            if (IsSpeakerModel(m_nModel) && m_bInCradle) {
                Handset().SetSpeaker(TRUE);
                m_bHandsFree = TRUE;
            }
        }
        break;
    default:
        break;
    }
    return 1;
}

void CDeviceDialog::OnDeviceRemoved()
{
    // The handset is gone, not closed; the dial buffer, channel, ring style
    // and cradle flag stay for the next one.
    Trace(kTraceHandsetLost, static_cast<unsigned long>(m_nModel));
    m_pActive = nullptr;
    m_nModel = 0;
    m_nCallState = kCallNone;
    m_bHandsFree = FALSE;
    m_bOffHook = FALSE;
    m_bRingPending = FALSE;
    RefreshTray();
    ArmDetection();
}

void CDeviceDialog::OnHookChanged(BOOL bOnHook)
{
    Trace(kTraceEventOnHook, bOnHook ? L"on" : L"off");
    m_bOffHook = !bOnHook;

    // Taken or put down while the PSTN line rang: a PSTN call, none of the
    // messenger's business.
    if (IsPstnAdaptorModel(m_nModel) && m_bRingPending) {
        m_nChannel = kLineChannelPstn;
        m_bRingPending = FALSE;
        KillTimer(kRingWindowTimerId);
        m_strDial = kDialPstnTalk;
        return;
    }

    if (IsHandsFreeModel(m_nModel)) {
        if (m_bOffHook) {
            m_bHandsFree = FALSE;
            Handset().SetHandsFree(kHandsFreeOff);
        } else if (m_bHandsFree) {
            // Put down during a hands-free call: the call goes on hands-free.
            Handset().SetHandsFree(kHandsFreeOn);
            return;
        }
    }

    const int32_t state = m_nCallState;
    if (m_bOffHook) {
        if (state == kCallIn)
            SendCommand(kCmdAccept);
        else if (state == kCallReady && IsHandsFreeModel(m_nModel))
            Handset().ShowNumber(L"");
        SendCommand(kCmdShow);
        m_strDial.clear();
        return;
    }

    if (IsPstnAdaptorModel(m_nModel) && m_strDial == kDialPstnTalk)
        Sleep(kPstnHangUpWaitMs);
    EndCallByState();
    m_strDial.clear();
}

void CDeviceDialog::OnLineRing(BOOL bRinging)
{
    Trace(kTraceEventLineRing, bRinging ? L"on" : L"off");
    m_strDial.clear();
    m_nChannel = Handset().GetLineChannel();
    m_bRingPending = TRUE;
    // Each ring restarts the window; a ring with FALSE does not arm it.
    if (bRinging)
        SetTimer(kRingWindowTimerId, kRingWindowMs);
}

void CDeviceDialog::OnCradleChanged(BOOL bInCradle)
{
    Trace(kTraceEventInCradle, bInCradle ? L"on" : L"off");
    m_bInCradle = bInCradle;
    const int32_t state = m_nCallState;
    if (!bInCradle) {
        m_bHandsFree = FALSE;
        Handset().SetSpeaker(FALSE);
        if (state == kCallIn)
            SendCommand(kCmdAccept);
        SendCommand(kCmdShow);
        return;
    }
    if (m_bHandsFree) {
        // Put back during a call on the speaker: the call goes on there.
        Handset().SetSpeaker(TRUE);
        return;
    }
    if (state == kCallTalk) {
        SendCommand(kCmdHangUp);
    } else {
        SendCommand(kCmdHide);
        Handset().SetReady();
    }
}

void CDeviceDialog::OnKeyPressed(short nKey)
{
    Trace(IsDigitKey(nKey) ? kTraceHandsetDigitKey : kTraceHandsetKey, static_cast<int>(nKey));
    if (IsSignalKey(nKey) && m_nCallState != kCallTalk)
        Handset().SignalKeyPress(kKeySignalBeep);

    if (IsPstnAdaptorModel(m_nModel)) {
        m_nChannel = Handset().GetLineChannel();
        if (m_bRingPending)
            return;
        if (m_nChannel == kLineChannelPstn) {
            if (m_strDial == kDialPstnTalk)
                return;
            // Dialling on the telephone line: only '*' goes on.
            if (nKey != kKeyStar) {
                m_strDial = kDialPstnDial;
                return;
            }
        }
    }

    const int32_t state = m_nCallState;
    if ((state == kCallTalk || state == kCallIn) && nKey != kKeyEnd && nKey != kKeyHandsFree) {
        // Any key answers a ringing call; during a call keys do nothing.
        if (state == kCallIn)
            SendCommand(kCmdAccept);
        return;
    }

    // Any other key changes what the number box holds or leaves it: a
    // number made ready is then no longer the one to call.
    if (nKey != kKeyCall && nKey != kKeyHash && nKey != kKeyRedial)
        m_strPrepared.clear();

    if (IsDigitKey(nKey)) {
        TypeNumberKey(static_cast<wchar_t>(nKey));
        return;
    }

    switch (nKey) {
    case kKeyStar:
        if (IsPstnAdaptorModel(m_nModel) && IsDialEmpty()) {
            m_nChannel = Handset().GetLineChannel();
            if (m_nChannel == kLineChannelUsb)
                Handset().SetReady();
            else
                Handset().ShowNumber(L"");
        } else {
            TypeNumberKey(L'*');
        }
        break;
    case kKeyHash:
    case kKeyCall:
        if (PlacePreparedNumber())
            break;
        TraceDialledNumber(m_strDial);
        // The box may hold more than the dial buffer (digits typed before a
        // lift, or before a call): Redial would then call only a part of it.
        if (IsTypableNumber(m_strDial.c_str()) && m_strDial == m_strTypedInBox)
            m_strLastDialled = m_strDial;
        else
            m_strLastDialled.clear();
        SendCommand(kCmdCall);
        m_strDial.clear();
        break;
    case kKeyRedial:
        OnRedialKey();
        return;
    case kKeyIn:
    case kKeyIn2:
        SendCommand(kCmdKeyIn);
        m_strDial.clear();
        break;
    case kKeyOut:
    case kKeyOut2:
        SendCommand(kCmdKeyOut);
        m_strDial.clear();
        break;
    case kKeyUp:
        SendCommand(kCmdKeyUp);
        m_strDial.clear();
        break;
    case kKeyDown:
        SendCommand(kCmdKeyDown);
        m_strDial.clear();
        break;
    case kKeyDelete:
        if (!IsDialEmpty()) {
            m_strDial.pop_back();
            if (!m_strTypedInBox.empty())
                m_strTypedInBox.pop_back();
            Handset().ShowNumber(m_strDial.c_str());
            SendCommand(kCmdDelete);
        } else {
            Handset().SetReady();
            SendCommand(kCmdKeyOut);
        }
        break;
    case kKeyEnd:
        EndCallByState();
        m_strDial.clear();
        return;
    case kKeyHandsFree:
        OnHandsFreeKey();
        return;
    default:
        // 138 and keys the table does not list: nothing but 'Show'.
        break;
    }
    SendCommand(kCmdShow);
}

void CDeviceDialog::OnHandsFreeKey()
{
    m_strDial.clear();
    m_bHandsFree = !m_bHandsFree;
    const int32_t state = m_nCallState;
    const bool speakerModel = IsSpeakerModel(m_nModel);

    if (m_bHandsFree) {
        if (IsHandsFreeModel(m_nModel) && !m_bOffHook) {
            Handset().SetHandsFree(kHandsFreeOn);
            if (state == kCallIn)
                SendCommand(kCmdAccept);
            else if (state == kCallReady)
                Handset().ShowNumber(L"");
        } else if (speakerModel && m_bInCradle) {
            Handset().SetSpeaker(TRUE);
            if (state == kCallIn)
                SendCommand(kCmdAccept);
        }
        SendCommand(kCmdShow);
        return;
    }

    // Switched off: with the handset resting this ends the call; with it
    // lifted (or a speaker handset out of its cradle) nothing happens.
    if ((m_bOffHook || speakerModel) && !(speakerModel && m_bInCradle))
        return;
    EndCallByState();
}

// What putting the handset down means in each call state: hang up a call,
// refuse a ringing one, or otherwise put the messenger away.
void CDeviceDialog::EndCallByState()
{
    if (m_nCallState == kCallTalk) {
        SendCommand(kCmdHangUp);
    } else if (m_nCallState == kCallIn) {
        SendCommand(kCmdRefuse);
    } else {
        SendCommand(kCmdHide);
        Handset().SetReady();
    }
}

void CDeviceDialog::TypeNumberKey(wchar_t c)
{
    AppendToDial(c);
    m_strTypedInBox.push_back(c);
    Handset().ShowNumber(m_strDial.c_str());
    if (c == L'*') {
        SendCommand(kCmdDial, kDialStarVirtualKey);
        return;
    }
    if (c == L'+') {
        SendCommand(kCmdDial, kDialPlusVirtualKey);
        return;
    }
    SendCommand(kCmdDial, c);
    SendCommand(kCmdShow);
}

bool CDeviceDialog::IsTelephoneLineInUse()
{
    if (!IsPstnAdaptorModel(m_nModel))
        return false;
    m_nChannel = Handset().GetLineChannel();
    return m_bRingPending || m_strDial == kDialPstnTalk || m_nChannel == kLineChannelPstn;
}

bool CDeviceDialog::EnterNumber(const wchar_t* number)
{
    if (m_nCallState == kCallTalk || m_nCallState == kCallIn) {
        Trace(kTraceDialBusy);
        return false;
    }
    if (IsTelephoneLineInUse()) {
        Trace(kTraceDialLineBusy);
        return false;
    }
    if (!IsTypableNumber(number)) {
        Trace(kTraceDialUntypable);
        return false;
    }
    // Typed whole and read back by the messenger side: a box it could not
    // put the focus in, or that holds something else, gets no call.
    if (!m_pOwner || !m_pOwner->TypeNumber(number)) {
        Trace(kTraceDialNotTyped);
        return false;
    }
    m_strDial = number;
    m_strTypedInBox = number;
    Handset().ShowNumber(m_strDial.c_str());
    return true;
}

void CDeviceDialog::CallEnteredNumber()
{
    TraceDialledNumber(m_strDial);
    m_strLastDialled = m_strDial;
    m_strPrepared.clear();
    SendCommand(kCmdCall);
    m_strDial.clear();
}

bool CDeviceDialog::PrepareNumber(const wchar_t* number)
{
    const std::wstring copy = number ? number : L"";
    m_strPrepared.clear();
    if (!EnterNumber(copy.c_str()))
        return false;
    m_strPrepared = copy;
    return true;
}

bool CDeviceDialog::DialNumber(const wchar_t* number)
{
    const std::wstring copy = number ? number : L"";
    m_strPrepared.clear();
    if (!EnterNumber(copy.c_str()))
        return false;
    CallEnteredNumber();
    return true;
}

// Typed again before the call: the user may have moved the messenger's focus
// since, and the Return must reach the number box, never the contact list.
// One the box did not take stays ready: nothing was called, and the next
// Call or Redial is meant for it, not for an older number.
bool CDeviceDialog::PlacePreparedNumber()
{
    if (m_strPrepared.empty())
        return false;
    const std::wstring number = m_strPrepared;
    if (!DialNumber(number.c_str()))
        m_strPrepared = number;
    return true;
}

// A headset's Redial: the number made ready, else the last one called from
// here; with neither it calls nothing (the messenger's focus may be on a
// contact, which 'Call' would call).
void CDeviceDialog::OnRedialKey()
{
    if (PlacePreparedNumber()) {
        SendCommand(kCmdShow);
        return;
    }
    if (m_strLastDialled.empty()) {
        Trace(kTraceRedialNothing);
        return;
    }
    if (DialNumber(m_strLastDialled.c_str()))
        SendCommand(kCmdShow);
}

void CDeviceDialog::ChooseRingStyle(int nStyle)
{
    Handset().SetRingStyle(TRUE, static_cast<short>(nStyle));
    m_nRingStyle = nStyle;
}

void CDeviceDialog::ChooseDefaultChannel(int nChannel)
{
    Handset().SetDefaultChannel(static_cast<short>(nChannel));
    Handset().SetLineChannel(static_cast<short>(nChannel));
}

void CDeviceDialog::SendCommand(uint32_t nCode, int32_t nParam)
{
    // 'Hide' empties the number box: a number made ready goes with it.
    if (nCode == kCmdHide) {
        m_strPrepared.clear();
        m_strTypedInBox.clear();
    }
    if (m_pOwner)
        m_pOwner->ExecuteCommand(nCode, nParam);
}

void CDeviceDialog::RefreshTray()
{
    if (m_pOwner)
        m_pOwner->RefreshTrayStatus();
}

bool CDeviceDialog::IsDialEmpty() const
{
    return m_strDial.empty() || m_strDial == kDialPstnDial || m_strDial == kDialPstnTalk;
}

void CDeviceDialog::AppendToDial(wchar_t c)
{
    // A marker is not part of a number: typing starts a new one.
    if (IsDialEmpty())
        m_strDial.clear();
    m_strDial += c;
}
