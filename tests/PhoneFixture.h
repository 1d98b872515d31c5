// The handset side as the application builds it: a main dialog of this
// process with its device dialog hosting the stand-in control (registered
// by the HandsetSimRegister fixture), driven through the virtual handset's
// command channel. The messenger dialog is replaced by a recording subclass,
// so that the command codes the handset side sends can be read back.
#pragma once

#include <gtest/gtest.h>

#include "HandsetChannel.h"
#include "TestSupport.h"
#include "app/CallvaneDlg.h"
#include "messenger/YahooDialog.h"
#include "phone/DeviceDialog.h"

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
class CRecordingYahooDialog : public CYahooDialog {
public:
    using CYahooDialog::CYahooDialog;
    int ExecuteCommand(uint32_t nCode, int32_t nParam) override;

    std::vector<std::wstring> m_commands;
    bool m_bAnswerLikeExecutor = false;
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

    std::unique_ptr<CCallvaneDlg> m_dlg;
    CRecordingYahooDialog* m_pRecorder = nullptr;   // owned by m_dlg
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
};

class PhoneScenarioFixture : public PhoneFixture {
protected:
    void Run(const PhoneScenario& scenario);
};
