// The handset side two ways. PhoneFixture: as the application builds it, a
// main dialog of this process with its device dialog hosting the stand-in
// control (registered by the HandsetSimRegister fixture), driven through the
// virtual handset's command channel. PhoneLogicFixture: the device dialog
// alone, without a window, its handlers called in process with a journalling
// handset and a recording owner. Both record the command codes meant for the
// messenger side, so that they can be read back.
#pragma once

#include <gtest/gtest.h>

#include "HandsetChannel.h"
#include "TestSupport.h"
#include "app/CallvaneDlg.h"
#include "phone/DeviceDialog.h"
#include "phone/PhoneIds.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// "Dial 49", "Show": a command code's letters, then its parameter unless 0.
std::wstring FormatCode(uint32_t code, int32_t param = 0);
// The 32-bit value of four letters ("CaIn").
uint32_t CodeFromLetters(const std::wstring& letters);

// Stands in for the messenger side: records each command and, when asked,
// answers the way the executor does ('Talk' after 'Acpt' and 'Call',
// 'Rady' after 'Hgup').
struct CCommandRecord {
    int Record(uint32_t nCode, int32_t nParam, CDeviceDialog* pDevice);

    std::vector<std::wstring> m_commands;
    bool m_bAnswerLikeExecutor = false;
};

// The main dialog with the commands for the messenger side recorded.
class CRecordingMainDialog : public CCallvaneDlg {
public:
    CRecordingMainDialog() : CCallvaneDlg(nullptr) {}
    int ExecuteCommand(uint32_t nCode, int32_t nParam) override
    {
        return m_record.Record(nCode, nParam, m_pDeviceDlg.get());
    }

    CCommandRecord m_record;
};

class PhoneFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    CDeviceDialog& Device() { return *m_dlg->m_pDeviceDlg; }
    HWND DeviceWnd() { return m_dlg->m_pDeviceDlg->m_hWnd; }

    // Sends a command to this process's virtual handset; the reply.
    std::wstring Handset(const std::wstring& command);
    // As Handset, expecting an "ok" reply.
    std::wstring HandsetOk(const std::wstring& command);
    // Lines of the journal of method calls (or of the container's calls).
    std::vector<std::wstring> Journal();
    std::vector<std::wstring> OleLog();
    // One value of the handset's state ("display", "handsfree", ...).
    std::wstring State(const std::wstring& key);
    void ClearRecords();

    // Plugs in a handset of this model and lets the device dialog's
    // detection find it now (its timer would in 2 s); then clears the
    // journal and the recorded commands.
    void Detect(uint32_t model);
    // Runs a detection attempt as timer 4098 does.
    void RunDetectionTimer();

    // Runs one step: "status <code>[=<result>]" reports a status code to the
    // device dialog (and checks what it returns); anything else is a handset
    // command, which must be delivered to exactly one control when it fires
    // an event.
    void Step(const std::wstring& step);

    std::unique_ptr<CRecordingMainDialog> m_dlg;
    // Taken just before the main dialog's creation, so before any of its
    // timers was armed.
    DWORD m_createdTick = 0;
    CCommandRecord* m_pRecorder = nullptr;   // in m_dlg
    HWND m_hHandset = nullptr;
    std::unique_ptr<CHandsetChannel> m_channel;
};

// One case of the handset side: a model, steps that bring it into the state
// of interest, the steps under test, and what they must produce.
struct PhoneScenario {
    const char* name;
    uint32_t model;
    std::vector<std::wstring> setup;
    std::vector<std::wstring> action;
    std::vector<std::wstring> journal;    // method calls made during the action, in order
    std::vector<std::wstring> commands;   // command codes sent during the action, in order
    const wchar_t* dial;                  // dial buffer afterwards; null: not checked
    int callState;                        // afterwards; -1: not checked
    int handsFree;                        // m_bHandsFree afterwards; -1: not checked
    int ringPending = -1;                 // m_bRingPending afterwards; -1: not checked
};

// The handset in process: each call journalled as the stand-in journals it;
// the model, the plug and the line channel are the test's to set.
class CJournalHandset : public IHandset {
public:
    BOOL OpenDevice(LONG nIndex) override;
    void CloseDevice() override { Log(L"CloseDevice()"); }
    LONG GetDeviceModel() override;
    void SetRingStyle(BOOL bSave, short nStyle) override;
    void SignalKeyPress(short nSignal) override { Log(L"SignalKeyPress(" + std::to_wstring(nSignal) + L")"); }
    void SetReady() override;
    void ShowNumber(const wchar_t* text) override { Show(L"ShowNumber", text); }
    void ShowCallIn(const wchar_t* text) override { Show(L"ShowCallIn", text); }
    void ShowInTalk(const wchar_t* text) override { Show(L"ShowInTalk", text); }
    short GetLineChannel() override;
    void SetLineChannel(short nChannel) override;
    void SetSpeaker(BOOL bOn) override { Log(std::wstring(L"SetSpeaker(") + (bOn ? L"TRUE)" : L"FALSE)")); }
    void SetHandsFree(short nOn) override { Log(L"SetHandsFree(" + std::to_wstring(nOn) + L")"); }
    void SetDefaultChannel(short nChannel) override { Log(L"SetDefaultChannel(" + std::to_wstring(nChannel) + L")"); }

    std::vector<std::wstring> m_journal;
    std::wstring m_display;
    uint32_t m_model = 0;
    short m_nChannel = 0;
    bool m_bPlugged = false;

private:
    void Log(const std::wstring& line) { m_journal.push_back(line); }
    void Show(const wchar_t* method, const wchar_t* text);
};

class CRecordingDeviceOwner : public IDeviceOwner {
public:
    int ExecuteCommand(uint32_t nCode, int32_t nParam) override { return m_record.Record(nCode, nParam, nullptr); }
    // Recorded as "Type <number>"; false when the messenger is made to refuse.
    bool TypeNumber(const wchar_t* number) override
    {
        m_record.m_commands.push_back(std::wstring(L"Type ") + number);
        return !m_bRefuseTyping;
    }
    void RefreshTrayStatus() override {}
    void HandsetFound() override {}

    CCommandRecord m_record;
    bool m_bRefuseTyping = false;
};

// The device dialog without a window: the control's events become calls of
// its handlers, and timer expiry a call of OnTimer.
class CDeviceLogic : public CDeviceDialog {
public:
    using CDeviceDialog::CDeviceDialog;
    using CDeviceDialog::OnCradleChanged;
    using CDeviceDialog::OnDeviceRemoved;
    using CDeviceDialog::OnHookChanged;
    using CDeviceDialog::OnKeyPressed;
    using CDeviceDialog::OnLineRing;
    using CDeviceDialog::OnTimer;
};

class PhoneLogicFixture : public ::testing::Test {
protected:
    PhoneLogicFixture() { Reset(); }
    // A new device dialog, handset and owner: nothing carries over.
    void Reset();
    CDeviceLogic& Device() { return *m_device; }
    // Plugs in a handset of this model, runs a detection attempt, then
    // clears the journal and the recorded commands.
    void Detect(uint32_t model);
    void RunDetectionTimer() { m_device->OnTimer(kDetectTimerId); }
    void ClearRecords();
    // The steps of PhoneFixture::Step, each delivered as its event would be.
    void Step(const std::wstring& step);
    void Run(const PhoneScenario& scenario);

    CJournalHandset m_handset;
    CRecordingDeviceOwner m_owner;
    CCommandRecord* m_pRecorder = &m_owner.m_record;
    std::unique_ptr<CDeviceLogic> m_device;
};
