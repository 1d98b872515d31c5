#include "E2eSession.h"

#include "SimChannel.h"
#include "app/AppIds.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const DWORD kStartTimeoutMs = 20000;

std::vector<std::wstring> ReplyLines(const std::wstring& reply)
{
    std::vector<std::wstring> lines;
    size_t start = reply.find(L'\n');
    while (start != std::wstring::npos) {
        size_t end = reply.find(L'\n', start + 1);
        std::wstring line = reply.substr(start + 1, end == std::wstring::npos ? std::wstring::npos : end - start - 1);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        lines.push_back(line);
        start = end;
    }
    return lines;
}

void CopyTree(const std::wstring& from, const std::wstring& to)
{
    CreateDirectoryW(to.c_str(), nullptr);
    WIN32_FIND_DATAW data;
    HANDLE hFind = FindFirstFileW(JoinPath(from, L"*").c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CopyTree(JoinPath(from, name), JoinPath(to, name));
        else
            CopyFileW(JoinPath(from, name).c_str(), JoinPath(to, name).c_str(), FALSE);
    } while (FindNextFileW(hFind, &data));
    FindClose(hFind);
}

}  // namespace

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& text)
{
    std::wstring out;
    for (char c : text)
        out += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
}

namespace {

// What Wine's tray keeps for an icon, behind the GWLP_USERDATA of the icon's
// window (the tool of its tip): read from the shell's memory, as tools that
// list tray icons read the shell's own records.
struct ShellTrayIconRecord {
    void* next;
    void* previous;
    HICON image;
    HWND owner;    // the window that added the icon
    HWND window;   // the icon's own window
    BOOL layered;
    HWND tooltip;
    UINT state;
    UINT id;
};

struct TipSearch {
    HWND owner;
    std::vector<std::wstring> tips;
};

// Whether the tool's window is the icon owner.id shows; a record that does
// not name that very window back is not one.
bool IsIconOf(HANDLE hProcess, HWND hTool, HWND owner)
{
    ShellTrayIconRecord record = {};
    auto* address = reinterpret_cast<const void*>(GetWindowLongPtrW(hTool, GWLP_USERDATA));
    SIZE_T read = 0;
    return address && ReadProcessMemory(hProcess, address, &record, sizeof record, &read) && read == sizeof record &&
           record.window == hTool && record.owner == owner && record.id == kTrayIconId;
}

BOOL CALLBACK CollectTooltipTipsProc(HWND hWnd, LPARAM lParam)
{
    wchar_t className[64] = {};
    GetClassNameW(hWnd, className, 64);
    if (wcscmp(className, TOOLTIPS_CLASSW) != 0)
        return TRUE;
    auto* search = reinterpret_cast<TipSearch*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(hWnd, &processId);
    HANDLE hProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (!hProcess)
        return TRUE;
    const SIZE_T textOffset = 1024;
    const int textChars = 256;
    BYTE* remote = static_cast<BYTE*>(VirtualAllocEx(hProcess, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
    LRESULT count = remote ? SendMessageW(hWnd, TTM_GETTOOLCOUNT, 0, 0) : 0;
    for (LRESULT i = 0; i < count; ++i) {
        TTTOOLINFOW info = {};
        info.cbSize = sizeof info;
        info.lpszText = reinterpret_cast<LPWSTR>(remote + textOffset);
        WriteProcessMemory(hProcess, remote, &info, sizeof info, nullptr);
        if (!SendMessageW(hWnd, TTM_ENUMTOOLSW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote)))
            continue;
        ReadProcessMemory(hProcess, remote, &info, sizeof info, nullptr);
        if (!IsIconOf(hProcess, info.hwnd, search->owner))
            continue;
        info.lpszText = reinterpret_cast<LPWSTR>(remote + textOffset);
        wchar_t text[textChars] = {};
        WriteProcessMemory(hProcess, remote, &info, sizeof info, nullptr);
        WriteProcessMemory(hProcess, remote + textOffset, text, sizeof text, nullptr);
        SendMessageW(hWnd, TTM_GETTEXTW, textChars, reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(hProcess, remote + textOffset, text, sizeof text, nullptr);
        text[textChars - 1] = L'\0';
        search->tips.push_back(text);
    }
    if (remote)
        VirtualFreeEx(hProcess, remote, 0, MEM_RELEASE);
    CloseHandle(hProcess);
    return TRUE;
}

}  // namespace

std::vector<std::wstring> ShellTrayTips(HWND owner)
{
    TipSearch search = {owner, {}};
    EnumWindows(CollectTooltipTipsProc, reinterpret_cast<LPARAM>(&search));
    return search.tips;
}

bool WaitForTrayTip(HWND owner, const std::wstring& tip, DWORD timeoutMs)
{
    return WaitFor(
        [&] {
            std::vector<std::wstring> tips = ShellTrayTips(owner);
            return std::find(tips.begin(), tips.end(), tip) != tips.end();
        },
        timeoutMs);
}

CE2eInstall::CE2eInstall()
{
    std::wstring bin = TestBinDir();
    for (const wchar_t* name : {L"Callvane.exe", L"Callvane.ini", L"ok.ico", L"nophone.ico", L"nodevice.ico"})
        CopyFileW(JoinPath(bin, name).c_str(), JoinPath(Directory(), name).c_str(), FALSE);
    CopyTree(JoinPath(bin, L"Language"), JoinPath(Directory(), L"Language"));
}

bool CE2eInstall::Complete() const
{
    for (const wchar_t* name : {L"Callvane.exe", L"Callvane.ini", L"ok.ico", L"nophone.ico", L"nodevice.ico",
                                L"Language\\English.ini"}) {
        if (!FileExists(JoinPath(Directory(), name)))
            return false;
    }
    return true;
}

CCallvaneProcess::CCallvaneProcess(const CE2eInstall& install, const std::wstring& handsetSetup)
{
    // The child inherits the environment: the handset's start-up state.
    SetEnvironmentVariableW(L"CALLVANE_HANDSET", handsetSetup.c_str());
    m_process = std::make_unique<CChildProcess>(install.ExePath(), L"");
    SetEnvironmentVariableW(L"CALLVANE_HANDSET", nullptr);
    m_channel = std::make_unique<CHandsetChannel>();
}

CCallvaneProcess::~CCallvaneProcess()
{
    m_channel.reset();
    m_process.reset();   // ends it if it still runs
}

bool CCallvaneProcess::WaitStarted(bool makersControl)
{
    if (!m_process->Started())
        return false;
    DWORD id = m_process->Id();
    WaitFor(
        [&] {
            m_hMain = FindProcessWindow(id, nullptr, kInstanceName);
            std::vector<HWND> handsets = CHandsetChannel::FindHandsets(id);
            m_hHandset = handsets.empty() ? nullptr : handsets.front();
            return (m_hMain && (m_hHandset || !makersControl)) || !m_process->IsRunning();
        },
        kStartTimeoutMs);
    if (!makersControl)
        return m_hMain && !m_hHandset;
    if (!m_hMain || !m_hHandset)
        return false;
    // The device dialog finds the plugged-in handset at start or at its next
    // detection tick.
    return WaitForState(L"open", L"1", kStartTimeoutMs);
}

std::wstring CCallvaneProcess::Handset(const std::wstring& command)
{
    std::wstring reply;
    if (!m_hHandset || !m_channel->Send(m_hHandset, command, reply, 10000))
        return L"error: no reply";
    return reply;
}

std::vector<std::wstring> CCallvaneProcess::Journal()
{
    return ReplyLines(Handset(L"journal"));
}

std::wstring CCallvaneProcess::OleLog()
{
    return Handset(L"olelog");
}

std::wstring CCallvaneProcess::State(const std::wstring& key)
{
    return ReplyValue(Handset(L"state"), key);
}

size_t CCallvaneProcess::Count(const std::wstring& line, size_t from)
{
    std::vector<std::wstring> lines = Journal();
    size_t count = 0;
    for (size_t i = from; i < lines.size(); ++i) {
        if (lines[i] == line)
            ++count;
    }
    return count;
}

bool CCallvaneProcess::WaitForJournal(const std::wstring& line, size_t from, DWORD timeoutMs)
{
    return WaitFor([&] { return Count(line, from) > 0; }, timeoutMs);
}

bool CCallvaneProcess::WaitForState(const std::wstring& key, const std::wstring& value, DWORD timeoutMs)
{
    return WaitFor([&] { return State(key) == value; }, timeoutMs);
}

void E2eScenario::SetUp()
{
    // One instance per Wine session, and the watch follows any messenger:
    // another test's Callvane or stand-in must be gone first.
    auto alone = [] {
        return !FindWindowW(nullptr, kInstanceName) && !MutexExists(kInstanceName) && FindMessengerSims(0).empty();
    };
    ASSERT_TRUE(WaitFor(alone, 60000)) << "another Callvane or stand-in messenger is running";
    m_install = std::make_unique<CE2eInstall>();
    ASSERT_TRUE(m_install->Complete());
    PrepareInstall(*m_install);
    if (!MakersControl()) {
        m_hiddenControl = std::make_unique<CRegistryValueOverride>(
            HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kMakersClsid + L"\\InprocServer32", L"");
        m_hiddenControl->Delete();
        PlugHandset();
        if (HasFatalFailure())
            return;
    }
    m_sim = std::make_unique<CMessengerSimProcess>(MessengerLanguage());
    ASSERT_TRUE(m_sim->Ready());
    m_app = std::make_unique<CCallvaneProcess>(*m_install, HandsetSetup());
    ASSERT_TRUE(m_app->WaitStarted(MakersControl())) << "Callvane did not start with its handset";
    ASSERT_TRUE(WaitFor([&] { return TrayIconExists(m_app->Main(), kTrayIconId); }));
    // Handset and messenger both there: the watch's first tick says so.
    ASSERT_TRUE(WaitForTrayTip(m_app->Main(), kTipOnline, kOneTickBoundMs + 1000)) << testing::PrintToString(ShellTrayTips(m_app->Main()));
}

void E2eScenario::TearDown()
{
    SaveArtefacts();
    if (m_app && m_app->Process().IsRunning()) {
        // Ends it the way a user's script would, so that its icon goes too.
        CChildProcess exitRequest(m_install->ExePath(), L"*exit*");
        exitRequest.WaitForExit(10000);
        m_app->Process().WaitForExit(10000);
    }
    m_app.reset();
    m_sim.reset();
    m_install.reset();
    m_hiddenControl.reset();
}

bool E2eScenario::SaveArtefact(const std::wstring& leaf, const std::string& text)
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::wstring build = TestBinDir();
    build = build.substr(0, build.find_last_of(L"\\/"));
    std::wstring dir = JoinPath(build, L"e2e-artefacts");
    CreateDirectoryW(dir.c_str(), nullptr);
    // A parameterised test's names hold '/': one folder per test all the same.
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    std::replace_if(name.begin(), name.end(), [](char c) { return strchr("\\/:*?\"<>|", c) != nullptr; }, '_');
    dir = JoinPath(dir, Wide(name));
    CreateDirectoryW(dir.c_str(), nullptr);
    return WriteFileBytes(JoinPath(dir, leaf), text);
}

void E2eScenario::SaveArtefacts()
{
    std::string messenger;
    for (const std::string& text : m_extraArtefacts)
        messenger += text;
    if (m_sim) {
        for (const SimJournalEntry& entry : m_sim->Journal())
            messenger += entry.line + "\n";
    }
    EXPECT_TRUE(SaveArtefact(L"messenger-journal.txt", messenger));
    if (m_app && m_app->Process().IsRunning()) {
        std::string handset;
        for (const std::wstring& line : m_app->Journal())
            handset += Utf8(line) + "\n";
        EXPECT_TRUE(SaveArtefact(L"handset-journal.txt", handset) &&
                    SaveArtefact(L"handset-olelog.txt", Utf8(m_app->OleLog()) + "\n") &&
                    SaveArtefact(L"handset-state.txt", Utf8(m_app->Handset(L"state")) + "\n"));
    }
}

HWND E2eScenario::RingAndWaitForCallIn(const std::wstring& caller)
{
    size_t from = m_app->Journal().size();
    HWND hBrowser = m_sim->CommandWindow(L"ring caller=" + caller);
    EXPECT_NE(hBrowser, nullptr);
    EXPECT_TRUE(m_app->WaitForJournal(kJShowCallIn, from, kOneTickBoundMs + 500)) << "no CallIn within one tick";
    EXPECT_EQ(m_app->State(L"display"), L"\"CallIn\"");
    return hBrowser;
}
