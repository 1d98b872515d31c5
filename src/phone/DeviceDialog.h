#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DeviceOwner.h"
#include "Handset.h"
#include "HidDetect.h"
#include "HidHandset.h"
#include "UsbPhone.h"
#include "framework/Dialog.h"

struct AxEvent;

// A handset the user may choose: its stable id and the name shown.
struct HandsetChoice {
    std::wstring id;
    std::wstring name;
};

// The handset's worker: a hidden dialog on the GUI thread (a HID handset's
// reports reach it there as posted messages). It hosts the maker's control
// (item 1000) or uses a HID handset, finds the handset every 2 s (HID ones
// when an interface came or went), keeps the phone side's call state from
// the messenger side's status reports, and turns key, hook, cradle and line
// events into command codes, through IHandset and IDeviceOwner. Without a
// window it runs no timers, so a test can drive its handlers in process.
class CDeviceDialog : public CDialog {
public:
    // pHandset null: the control hosted at item 1000.
    explicit CDeviceDialog(IDeviceOwner* pOwner, IHandset* pHandset = nullptr);

    // A handset is open exactly when its model is known.
    BOOL IsDevicePresent() const { return m_nModel != 0; }
    // The messenger side's status report ('Rady', 'CaIn', 'Talk'). Returns 0
    // when a guard dropped it, else 1. nParam is unused (callers pass 0).
    int ReportStatus(uint32_t nCode, int32_t nParam);
    // The options dialog's choices, applied to the handset: a ring style,
    // kept for the next detection, or the adaptor's default channel.
    void ChooseRingStyle(int nStyle);
    void ChooseDefaultChannel(int nChannel);
    // Makes a whole number ready to call, as if typed on the keypad: into
    // the messenger's number box (emptied first, and read back there) and
    // on the handset's display. The Call key (Redial on a standard headset)
    // or the messenger's own call action then places it. number holds
    // digits, '*' and a leading '+'. False, with nothing typed or called,
    // while a call rings or runs or the telephone line is in use, for a
    // character no key types, or when the messenger did not take it.
    bool PrepareNumber(const wchar_t* number);
    // The same, then called at once, as the Call key would.
    bool DialNumber(const wchar_t* number);
    // The handsets present to choose from: the maker's handset while it is
    // the one in use, then each HID handset found. The chosen one comes
    // first of all when it is absent.
    std::vector<HandsetChoice> HandsetChoices();
    // The handset to use whenever it is present (an id of HandsetChoices;
    // empty: the maker's handset, else the first HID handset listed). Taken
    // at once when no call rings or runs, else when the handset rests.
    void ChooseHandset(const std::wstring& id);
    // The stable id of the handset in use; empty when none.
    std::wstring ActiveHandsetId() const;
    // Called at each tick of the messenger watch. True when the detection
    // timer was armed afresh to fall due with the watch, which is then to
    // be armed afresh too.
    bool KeepDetectionInStep();

    CUSBPHONE m_phone;              // the control at item 1000
    CHidHandset m_hid;              // a standard HID handset
    CHidDetector m_hidDevices;      // which HID devices are handsets
    uint32_t m_nModel = 0;          // model of the open handset; 0 = none
    int32_t m_nRingStyle = 0;       // applied when a handset is found: 0 at start, then the options dialog's
    int32_t m_nChannel = 0;         // last line channel read: 0 PSTN, 1 USB
    int32_t m_nCallState = 0;       // CallState: none, Ready, Talk, CallIn
    BOOL m_bHandsFree = FALSE;      // hands-free or speaker on, as far as known
    BOOL m_bOffHook = FALSE;        // the handset is lifted
    BOOL m_bRingPending = FALSE;    // the PSTN line rang within the ring window
    BOOL m_bInCradle = TRUE;        // assumed resting until the handset says otherwise
    std::wstring m_strDial;         // the dial buffer, or a PSTN marker
    std::wstring m_strPrepared;     // a number made ready to call; empty: none
    std::wstring m_strLastDialled;  // the last number called from here, for Redial
    std::wstring m_strTypedInBox;   // typed into the number box since it was last emptied

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnTimer(UINT_PTR nIDEvent) override;
    void OnDestroy() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    // The control's events (item 1000 only).
    void OnDeviceRemoved();
    void OnKeyPressed(short nKey);
    void OnHookChanged(BOOL bOnHook);
    void OnLineRing(BOOL bRinging);
    void OnCradleChanged(BOOL bInCradle);

private:
    void OnControlEvent(const AxEvent& event);
    // fromTimer: the detection timer's attempt; otherwise a HID device came or
    // went, or the user chose a handset.
    void DetectHandset(bool fromTimer = false);
    // The detection timer runs (every 2 s) until a handset is found.
    void ArmDetection();
    void StopDetection();
    // Opens the handset to use; null when none is present.
    IHandset* OpenHandset();
    // A choice is made and the handset in use is another one.
    bool WaitsForChosen() const;
    // The chosen handset is present; asks the maker's control if need be.
    bool ChosenPresent();
    void CloseActive();
    void OnDeviceChange(WPARAM event, LPARAM data);
    void OnHandsFreeKey();
    void EndCallByState();
    void SendCommand(uint32_t nCode, int32_t nParam = 0);
    void RefreshTray();
    // The dial buffer holds no number: empty, or only a PSTN marker.
    bool IsDialEmpty() const;
    // Appends one typed character, replacing a marker.
    void AppendToDial(wchar_t c);
    // One character of a number typed: the keypad's digits and star, and
    // each character of a dialled number.
    void TypeNumberKey(wchar_t c);
    // The guards and the typing shared by PrepareNumber and DialNumber.
    bool EnterNumber(const wchar_t* number);
    // Calls the number in the dial buffer, which EnterNumber typed.
    void CallEnteredNumber();
    // The Call key (or '#') with a number made ready, and Redial: false
    // when there was nothing for it to call.
    bool PlacePreparedNumber();
    void OnRedialKey();
    // An adaptor's telephone line rings, carries a call, or has the
    // handset (its digits then dial the line, not the messenger).
    bool IsTelephoneLineInUse();

    // The handset in use; the maker's while none is, so that the options
    // reach its control as before.
    IHandset& Handset() { return m_pActive ? *m_pActive : m_maker; }
    void OnHidMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    IDeviceOwner* m_pOwner;         // the main dialog; not owned
    IHandset& m_maker;              // m_phone, or the one given at construction
    IHandset* m_pActive = nullptr;  // the one handset in use: &m_maker, &m_hid or none
    std::wstring m_chosen;          // the user's choice of handset; empty: none
    HDEVNOTIFY m_hDeviceNotify = nullptr;
    bool m_bDetecting = false;      // the detection timer runs
    bool m_bAttempted = false;      // it has tried since the last watch tick
    bool m_bInStep = false;         // it falls due with the watch
    DWORD m_lastAttemptTick = 0;
};
