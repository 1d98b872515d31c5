#include "PhoneFixture.h"

#include "messenger/CommandCodes.h"
#include "phone/PhoneIds.h"
#include "phone/StatusCodes.h"
#include "res/resource.h"

std::wstring FormatCode(uint32_t code, int32_t param)
{
    std::wstring text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text += static_cast<wchar_t>((code >> shift) & 0xFF);
    if (param != 0)
        text += L" " + std::to_wstring(param);
    return text;
}

uint32_t CodeFromLetters(const std::wstring& letters)
{
    uint32_t code = 0;
    for (size_t i = 0; i < 4; ++i)
        code = (code << 8) | (i < letters.size() ? static_cast<uint8_t>(letters[i]) : 0);
    return code;
}

int CRecordingYahooDialog::ExecuteCommand(uint32_t nCode, int32_t nParam)
{
    m_commands.push_back(FormatCode(nCode, nParam));
    if (!m_bAnswerLikeExecutor || !m_pOwner || !m_pOwner->m_pDeviceDlg)
        return 1;
    if (nCode == kCmdAccept || nCode == kCmdCall)
        m_pOwner->m_pDeviceDlg->ReportStatus(kStatusTalk, 0);
    else if (nCode == kCmdHangUp)
        m_pOwner->m_pDeviceDlg->ReportStatus(kStatusReady, 0);
    return 1;
}

void PhoneFixture::SetUp()
{
    m_dlg = std::make_unique<CCallvaneDlg>(nullptr);
    ASSERT_TRUE(m_dlg->Create(IDD_CALLVANE_DIALOG));
    ASSERT_NE(m_dlg->m_pDeviceDlg, nullptr);
    // The sanctioned seam: the messenger side is replaced before any
    // message has been handled, so none of its timers has run.
    delete m_dlg->m_pYahooDlg;
    m_pRecorder = new CRecordingYahooDialog(m_dlg.get());
    m_dlg->m_pYahooDlg = m_pRecorder;

    std::vector<HWND> handsets = CHandsetChannel::FindHandsets(GetCurrentProcessId());
    ASSERT_EQ(handsets.size(), 1u) << "the stand-in control is not registered (scripts/register-sim.sh)";
    m_hHandset = handsets.front();
    m_channel = std::make_unique<CHandsetChannel>();
    HandsetOk(L"reset");
}

void PhoneFixture::TearDown()
{
    m_dlg.reset();
    m_pRecorder = nullptr;
    PumpMessages();
    if (m_channel && m_hHandset)
        Handset(L"reset");
}

std::wstring PhoneFixture::Handset(const std::wstring& command)
{
    std::wstring reply;
    if (!m_channel || !m_channel->Send(m_hHandset, command, reply))
        return L"error: no reply";
    return reply;
}

std::wstring PhoneFixture::HandsetOk(const std::wstring& command)
{
    std::wstring reply = Handset(command);
    EXPECT_EQ(reply.compare(0, 2, L"ok"), 0) << "handset command \"" << testing::PrintToString(command) << "\": "
                                             << testing::PrintToString(reply);
    return reply;
}

namespace {

std::vector<std::wstring> ReplyLines(const std::wstring& reply)
{
    std::vector<std::wstring> lines;
    size_t start = reply.find(L'\n');
    while (start != std::wstring::npos) {
        size_t end = reply.find(L'\n', start + 1);
        lines.push_back(reply.substr(start + 1, end == std::wstring::npos ? std::wstring::npos : end - start - 1));
        start = end;
    }
    return lines;
}

}  // namespace

std::vector<std::wstring> PhoneFixture::Journal()
{
    return ReplyLines(HandsetOk(L"journal"));
}

std::vector<std::wstring> PhoneFixture::OleLog()
{
    return ReplyLines(HandsetOk(L"olelog"));
}

std::wstring PhoneFixture::State(const std::wstring& key)
{
    return ReplyValue(HandsetOk(L"state"), key);
}

void PhoneFixture::ClearRecords()
{
    HandsetOk(L"clear");
    if (m_pRecorder)
        m_pRecorder->m_commands.clear();
}

void PhoneFixture::RunDetectionTimer()
{
    SendMessageW(DeviceWnd(), WM_TIMER, kDetectTimerId, 0);
}

void PhoneFixture::Detect(uint32_t model)
{
    HandsetOk(L"model " + std::to_wstring(model));
    HandsetOk(L"plug");
    RunDetectionTimer();
    ASSERT_EQ(Device().m_nModel, model);
    ASSERT_EQ(State(L"open"), L"1");
    ClearRecords();
}

void PhoneFixture::Step(const std::wstring& step)
{
    SCOPED_TRACE(testing::PrintToString(step));
    if (step.compare(0, 7, L"status ") == 0) {
        std::wstring code = step.substr(7, 4);
        int result = Device().ReportStatus(CodeFromLetters(code), 0);
        size_t equals = step.find(L'=');
        if (equals != std::wstring::npos) {
            EXPECT_EQ(result, std::stoi(step.substr(equals + 1)));
        }
        return;
    }
    std::wstring reply = HandsetOk(step);
    if (reply.compare(0, 12, L"ok delivered") == 0 && step.compare(0, 4, L"dial") != 0) {
        EXPECT_EQ(reply, L"ok delivered=1");
    }
}

void PhoneScenarioFixture::Run(const PhoneScenario& scenario)
{
    SCOPED_TRACE(scenario.name);
    // A fresh main dialog for each case: nothing carries over.
    TearDown();
    SetUp();
    Detect(scenario.model);
    if (HasFatalFailure())
        return;
    for (const std::wstring& step : scenario.setup)
        Step(step);
    ClearRecords();
    for (const std::wstring& step : scenario.action)
        Step(step);
    EXPECT_EQ(Journal(), scenario.journal);
    EXPECT_EQ(m_pRecorder->m_commands, scenario.commands);
    if (scenario.dial) {
        EXPECT_EQ(Device().m_strDial, scenario.dial);
    }
    if (scenario.callState >= 0) {
        EXPECT_EQ(Device().m_nCallState, scenario.callState);
    }
    if (scenario.handsFree >= 0) {
        EXPECT_EQ(Device().m_bHandsFree, scenario.handsFree);
    }
}
