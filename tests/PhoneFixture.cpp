#include "PhoneFixture.h"

#include "link/CallCodes.h"
#include "messenger/MessengerIds.h"
#include "messenger/YahooDialog.h"
#include "phone/PhoneIds.h"
#include "res/resource.h"

#include <cwchar>

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

int CCommandRecord::Record(uint32_t nCode, int32_t nParam, CDeviceDialog* pDevice)
{
    m_commands.push_back(FormatCode(nCode, nParam));
    if (!m_bAnswerLikeExecutor || !pDevice)
        return 1;
    if (nCode == kCmdAccept || nCode == kCmdCall)
        pDevice->ReportStatus(kStatusTalk, 0);
    else if (nCode == kCmdHangUp)
        pDevice->ReportStatus(kStatusReady, 0);
    return 1;
}

void PhoneFixture::SetUp()
{
    m_dlg = std::make_unique<CRecordingMainDialog>();
    m_createdTick = GetTickCount();
    ASSERT_TRUE(m_dlg->Create(IDD_CALLVANE_DIALOG));
    ASSERT_NE(m_dlg->m_pDeviceDlg, nullptr);
    ASSERT_NE(m_dlg->m_pYahooDlg, nullptr);
    m_pRecorder = &m_dlg->m_record;
    // The watch is stopped before any message has been handled: the tests
    // report the statuses themselves.
    KillTimer(m_dlg->m_pYahooDlg->m_hWnd, kWatchTimerId);

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

BOOL CJournalHandset::OpenDevice(LONG nIndex)
{
    Log(L"OpenDevice(" + std::to_wstring(nIndex) + (m_bPlugged ? L")=TRUE" : L")=FALSE"));
    return m_bPlugged;
}

LONG CJournalHandset::GetDeviceModel()
{
    Log(L"GetDeviceModel()=" + std::to_wstring(static_cast<LONG>(m_model)));
    return static_cast<LONG>(m_model);
}

void CJournalHandset::SetRingStyle(BOOL bSave, short nStyle)
{
    Log(std::wstring(L"SetRingStyle(") + (bSave ? L"TRUE," : L"FALSE,") + std::to_wstring(nStyle) + L")");
}

void CJournalHandset::SetReady()
{
    Log(L"SetReady()");
    m_display.clear();
}

short CJournalHandset::GetLineChannel()
{
    Log(L"GetLineChannel()=" + std::to_wstring(m_nChannel));
    return m_nChannel;
}

void CJournalHandset::SetLineChannel(short nChannel)
{
    Log(L"SetLineChannel(" + std::to_wstring(nChannel) + L")");
    m_nChannel = nChannel;
}

void CJournalHandset::Show(const wchar_t* method, const wchar_t* text)
{
    m_display = text ? text : L"";
    Log(std::wstring(method) + L"(\"" + m_display + L"\")");
}

void PhoneLogicFixture::Reset()
{
    m_device.reset();
    m_handset = CJournalHandset();
    m_owner.m_record = CCommandRecord();
    m_owner.m_bRefuseTyping = false;
    m_device = std::make_unique<CDeviceLogic>(&m_owner, &m_handset);
}

void PhoneLogicFixture::Detect(uint32_t model)
{
    m_handset.m_model = model;
    m_handset.m_bPlugged = true;
    RunDetectionTimer();
    ASSERT_EQ(Device().m_nModel, model);
    ClearRecords();
}

void PhoneLogicFixture::ClearRecords()
{
    m_handset.m_journal.clear();
    m_pRecorder->m_commands.clear();
}

namespace {

// The virtual handset's key names.
const struct {
    const wchar_t* name;
    short code;
} kKeyNames[] = {
    {L"star", '*'}, {L"hash", '#'}, {L"call", 135}, {L"up", 131},  {L"down", 132},  {L"del", 133},  {L"end", 136},
    {L"hf", 142},   {L"in", 129},   {L"out", 130},  {L"in2", 150}, {L"out2", 151}, {L"redial", kKeyRedial},
};

// One character is its own code, a name a named key, anything else a number.
short ParseKey(const std::wstring& text)
{
    if (text.size() == 1)
        return static_cast<short>(text[0]);
    for (const auto& key : kKeyNames) {
        if (text == key.name)
            return key.code;
    }
    return static_cast<short>(wcstol(text.c_str(), nullptr, 0));
}

}  // namespace

void PhoneLogicFixture::Step(const std::wstring& step)
{
    SCOPED_TRACE(testing::PrintToString(step));
    size_t space = step.find(L' ');
    std::wstring verb = step.substr(0, space);
    std::wstring arg = space == std::wstring::npos ? std::wstring() : step.substr(space + 1);
    if (step == L"ring window ends") {
        Device().OnTimer(kRingWindowTimerId);
    } else if (verb == L"status") {
        int result = Device().ReportStatus(CodeFromLetters(arg.substr(0, 4)), 0);
        if (arg.size() > 5 && arg[4] == L'=') {
            EXPECT_EQ(result, std::stoi(arg.substr(5)));
        }
    } else if (verb == L"key") {
        Device().OnKeyPressed(ParseKey(arg));
    } else if (verb == L"dial") {
        for (wchar_t c : arg)
            Device().OnKeyPressed(static_cast<short>(c));
    } else if (verb == L"hook") {
        Device().OnHookChanged(arg == L"on");
    } else if (verb == L"cradle") {
        Device().OnCradleChanged(arg == L"in");
    } else if (verb == L"ring") {
        Device().OnLineRing(arg != L"off");
    } else if (verb == L"channel") {
        m_handset.m_nChannel = static_cast<short>(std::stoi(arg));
    } else if (verb == L"link" || verb == L"link-now") {
        verb == L"link" ? Device().PrepareNumber(arg.c_str()) : Device().DialNumber(arg.c_str());
    } else if (step == L"typing refused" || step == L"typing taken") {
        m_owner.m_bRefuseTyping = step == L"typing refused";
    } else if (step == L"fire 1") {
        Device().OnDeviceRemoved();
    } else {
        ADD_FAILURE() << "no such step";
    }
}

void PhoneLogicFixture::Run(const PhoneScenario& scenario)
{
    SCOPED_TRACE(scenario.name);
    Reset();
    Detect(scenario.model);
    if (HasFatalFailure())
        return;
    for (const std::wstring& step : scenario.setup)
        Step(step);
    ClearRecords();
    for (const std::wstring& step : scenario.action)
        Step(step);
    EXPECT_EQ(m_handset.m_journal, scenario.journal);
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
    if (scenario.ringPending >= 0) {
        EXPECT_EQ(Device().m_bRingPending, scenario.ringPending);
    }
}
