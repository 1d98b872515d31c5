// A seeded random walk of what users and peers do, played against
// Callvane.exe as installed with the stand-ins, checking after every step
// what must always hold: no call placed, answered, refused or hung up without
// the user's action for it; never a contact other than the selected one
// called; nothing typed from a refused link; the handset showing the
// messenger's call state within the watch's period; the process alive with
// its handles and memory bounded. A failure prints the seed and the steps;
// CALLVANE_ORACLE_SEED=<n> replays them, CALLVANE_ORACLE_SECONDS=<s> walks
// longer (CALLVANE_ORACLE_SEED=random: a new seed).
#include "E2eSession.h"

#include "HidHandsetClient.h"
#include "VirtualHidHand.h"
#include "phone/HidIds.h"


#include <algorithm>
#include <cstdlib>
#include <deque>
#include <map>
#include <random>
#include <set>

namespace {

const DWORD kDefaultWalkMs = 50000;
// An action may take effect this long after it: Call's wait, a slow
// messenger's late chat, a hung one's queue.
const DWORD kActionLifeMs = 12000;
// The handset shows a change within one watch period, a lengthened one after
// an answer or a call.
const DWORD kAgreementBoundMs = kAnsweredWatchMs + kOneTickBoundMs;
const DWORD kPollMs = 100;
const DWORD kSettleMs = 5000;
// A HID report reaches the program through its reader thread, later than the
// report was sent; a link is judged by what it types only this long after.
const DWORD kHandsetInputSettleMs = 1500;
const SIZE_T kRssGrowthBound = 48u << 20;
const ULONG kHandleGrowthBound = 64;
const unsigned long kSlot = 0;
const char* const kContacts[] = {"Alice", "Bob", "Carol", "Dave"};   // the stand-in's list, in order
const wchar_t* const kCallers[] = {L"Alice", L"Erin", L"Bob"};
// A link and the number it may type; empty: refused whole.
const struct { const wchar_t* link; const char* number; } kLinks[] = {
    {L"tel:+1-555-0100", "+15550100"}, {L"callto:5550100", "5550100"}, {L"/dial 5550123", "5550123"},
    {L"tel:555-0199;phone-context=x", "5550199"}, {L"tel:*exit*", ""}, {L"callto:*exit*", ""},
    {L"tel:555%0012", ""}, {L"\"tel:555 0100 & calc\"", ""}, {L"callto:javascript:alert(1)", ""},
};
// The HID layouts a walk plays, and their buttons the hand does not press:
// bits of the first byte of their input report.
struct HidButtons {
    const wchar_t* layout;
    unsigned char redial, drop;
};
const HidButtons kHidButtons[] = {
    {L"deskphone", 0x08, 0}, {L"headset", 0x04, 0x08}, {L"composite", 0, 0}, {L"splitphone", 0, 0},
};

enum class Act { Answer, Refuse, Place, HangUp };

// What one user action allows the messenger to show: placed calls carry the
// contact meant (empty: the selected one) or the only number a call dialog
// may have (a link's).
struct Allowance {
    Act act;
    DWORD at;
    std::string contact, number;
};

// The stand-in messenger as its journal tells it, read on from where it was.
struct MessengerView {
    uint64_t offset = 0;
    std::map<std::string, std::string> ringing;   // notification -> caller
    std::set<std::string> calls;                  // call windows with a running call
    std::string browser;                          // the newest notification's page
    std::string selected = kContacts[0];
    std::string selectedAtReturn;                 // at the last Return in the contact list
    std::deque<std::string> answeredCallers;      // an answered ring's conversation comes next
    bool hung = false;
};

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

unsigned long EnvNumber(const char* name, unsigned long fallback)
{
    const char* value = getenv(name);
    if (!value || !*value)
        return fallback;
    if (strcmp(value, "random") == 0)
        return static_cast<unsigned long>(std::random_device()() ^ GetTickCount());
    return strtoul(value, nullptr, 0);
}

// The Linux process running the program from this folder (its command line
// holds the Windows path), and its resident memory; the window server's
// handle count, which GetProcessHandleCount does not give under Wine.
int LinuxPidOf(const std::wstring& folder)
{
    std::string leaf = Narrow(folder.substr(folder.find_last_of(L"\\/") + 1));
    WIN32_FIND_DATAW data;
    HANDLE hFind = FindFirstFileW(L"Z:\\proc\\*", &data);
    int found = 0;
    while (hFind != INVALID_HANDLE_VALUE && !found) {
        int pid = _wtoi(data.cFileName);
        std::string line = pid > 0 ? ReadFileBytes(L"Z:\\proc\\" + std::to_wstring(pid) + L"\\cmdline") : "";
        if (line.find(leaf) != std::string::npos && line.find("Callvane.exe") != std::string::npos)
            found = pid;
        if (!FindNextFileW(hFind, &data))
            break;
    }
    if (hFind != INVALID_HANDLE_VALUE)
        FindClose(hFind);
    return found;
}

SIZE_T ResidentBytes(int pid)
{
    std::string status = ReadFileBytes(L"Z:\\proc\\" + std::to_wstring(pid) + L"\\status");
    size_t at = status.find("VmRSS:");
    return at == std::string::npos ? 0 : static_cast<SIZE_T>(strtoul(status.c_str() + at + 6, nullptr, 10)) << 10;
}

// The process's handles as the window server lists every process's: the
// process information's count is the size of its handle table (doubling).
ULONG HandleCount(DWORD processId)
{
    struct HandleEntry {
        ULONG ownerPid;
        BYTE objectType, flags;
        USHORT value;
        PVOID object;
        ACCESS_MASK access;
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    const ULONG kSystemHandleInformation = 16;
    std::vector<BYTE> buffer(1 << 20);
    ULONG size = 0;
    while (query && query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &size) ==
                        static_cast<LONG>(0xC0000004L))   // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(buffer.size() * 2);
    const ULONG entries = *reinterpret_cast<const ULONG*>(buffer.data());
    const auto* entry = reinterpret_cast<const HandleEntry*>(buffer.data() + sizeof(ULONG));
    ULONG count = 0;
    for (ULONG i = 0; query && i < entries && (i + 1) * sizeof(HandleEntry) + sizeof(ULONG) <= buffer.size(); ++i)
        count += entry[i].ownerPid == processId;
    return count;
}

}  // namespace

class E2eOracle : public E2eScenario {
protected:
    void SetUp() override
    {
        m_seed = EnvNumber("CALLVANE_ORACLE_SEED", DefaultSeed());
        m_walkMs = static_cast<DWORD>(EnvNumber("CALLVANE_ORACLE_SECONDS", kDefaultWalkMs / 1000) * 1000);
        m_random.seed(m_seed);
        m_strict = EnvNumber("CALLVANE_ORACLE_STRICT", 0) != 0;
        printf("oracle seed %lu (CALLVANE_ORACLE_SEED=%lu replays it)\n", m_seed, m_seed);
        E2eScenario::SetUp();
    }
    void PrepareInstall(const CE2eInstall& install) override
    {
        // A link calls at once, or only prepares the number: the seed says which.
        m_linkCallsAtOnce = m_random() % 2 == 1;
        WritePrivateProfileStringW(L"OPTION", L"LinkCallsAtOnce", m_linkCallsAtOnce ? L"1" : L"0",
                                   JoinPath(install.Directory(), L"Callvane.ini").c_str());
    }
    virtual unsigned long DefaultSeed() const { return 2801; }
    // The handset's actions: a step of its own, its text for the log.
    virtual std::string HandsetStep(unsigned kind, unsigned param) = 0;
    virtual bool HandsetPresent() const { return m_plugged; }
    // Whether the handset shows what the messenger's calls are now.
    virtual bool HandsetAgrees(bool ringing, bool talking) = 0;

    void Walk();
    std::string MessengerStep(unsigned kind, unsigned param);
    std::string LinkStep(unsigned param);
    void Allow(Act act, const std::string& contact = "", const std::string& number = "");
    // A ring is answered only when it rings already: the program learns of
    // it from the messenger after the journal does.
    void AllowIfRinging(Act act) { if (!m_view.ringing.empty()) Allow(act); }
    // What ends a ringing call or a call: a call may still be starting (an
    // answered ring's, one the program is placing), so a hang-up is allowed
    // then too.
    void AllowEnd()
    {
        AllowIfRinging(Act::Refuse);
        const bool placing = std::any_of(m_allowed.begin(), m_allowed.end(), [](const Allowance& a) {
            return a.act == Act::Place && GetTickCount() - a.at <= kActionLifeMs;
        });
        if (!m_view.calls.empty() || !m_view.ringing.empty() || placing)
            Allow(Act::HangUp);
    }
    // Reads the messenger's journal on and judges what happened since.
    void Follow();
    void Judge(const SimJournalEntry& entry);
    bool Use(Act act, const std::function<bool(const Allowance&)>& fits = nullptr);
    void Violation(const std::string& what);
    // Every key posted so far handled, and the characters they made.
    bool SyncMessenger() { return m_sim->Sync() && m_sim->Sync(); }
    // A handset plugged in while the messenger rings or is in a call is set
    // ready and not told of the call (the unplug tests expect that ready):
    // judged only with CALLVANE_ORACLE_STRICT=1, otherwise from the
    // messenger's next rest on.
    void Plugged() { m_pluggedMidCall = !m_strict && (!m_view.ringing.empty() || !m_view.calls.empty()); }
    void CheckProcess();
    void CheckAgreement();
    void RestartMessenger();

    unsigned long m_seed = 0;
    DWORD m_walkMs = kDefaultWalkMs;
    std::mt19937 m_random;
    bool m_linkCallsAtOnce = false;
    bool m_plugged = true;
    bool m_strict = false, m_pluggedMidCall = false;
    MessengerView m_view;
    std::vector<Allowance> m_allowed;
    std::vector<std::string> m_steps;
    std::string m_violation;
    DWORD m_start = 0, m_hangEnd = 0, m_lastHandsetInput = 0;
    std::string m_refusedLink;   // while a refused link's step runs
    std::string m_linkNumber;    // while a dialable link's step runs
    int m_linuxPid = 0;
    SIZE_T m_rssBase = 0;
    ULONG m_handleBase = 0;
};

void E2eOracle::Walk()
{
    m_start = GetTickCount();
    m_linuxPid = LinuxPidOf(m_install->Directory());
    ASSERT_NE(m_linuxPid, 0) << "no Linux process for Callvane";
    for (int step = 0; GetTickCount() - m_start < m_walkMs && m_violation.empty(); ++step) {
        // Two draws a step, whatever the step: a replay takes the same ones.
        const unsigned kind = m_random() % 100, param = m_random();
        Follow();
        std::string text = kind < 45 ? HandsetStep(kind, param) : MessengerStep(kind - 45, param);
        char line[160];
        snprintf(line, sizeof line, "%6.1fs  %s", (GetTickCount() - m_start) / 1000.0, text.c_str());
        m_steps.push_back(line);
        Follow();
        CheckProcess();
        CheckAgreement();
        // The baseline once the program has done each kind of thing once or so.
        if (step == 10) {
            m_rssBase = ResidentBytes(m_linuxPid);
            m_handleBase = HandleCount(m_app->Id());
        }
    }
    printf("oracle: %u steps in %.0f s, seed %lu; resident %lu -> %lu KiB, handles %lu -> %lu\n",
           static_cast<unsigned>(m_steps.size()), (GetTickCount() - m_start) / 1000.0, m_seed,
           static_cast<unsigned long>(m_rssBase >> 10), static_cast<unsigned long>(ResidentBytes(m_linuxPid) >> 10),
           m_handleBase, HandleCount(m_app->Id()));
    if (m_violation.empty()) {
        // What the last steps set going.
        WaitFor([&] { Follow(); return !m_violation.empty(); }, 3000);
        CheckAgreement();
    }
    std::string steps;
    for (const std::string& s : m_steps)
        steps += "\n  " + s;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(info->test_suite_name()) + "." + info->name();
    const std::wstring folder = JoinPath(TestBinDir(), L"..\\e2e-artefacts");
    CreateDirectoryW(folder.c_str(), nullptr);
    WriteFileBytes(JoinPath(folder, std::wstring(name.begin(), name.end()) + L"-oracle-steps.txt"),
                   "seed " + std::to_string(m_seed) + steps + "\n" + m_violation + "\n");
    EXPECT_EQ(m_violation, "") << "seed " << m_seed << " (CALLVANE_ORACLE_SEED=" << m_seed << "), "
                               << (m_linkCallsAtOnce ? "LinkCallsAtOnce=1" : "LinkCallsAtOnce=0") << ", steps:" << steps;
}

void E2eOracle::Violation(const std::string& what)
{
    if (m_violation.empty())
        m_violation = what;
}

void E2eOracle::Allow(Act act, const std::string& contact, const std::string& number)
{
    m_allowed.push_back({act, GetTickCount(), contact, number});
}

bool E2eOracle::Use(Act act, const std::function<bool(const Allowance&)>& fits)
{
    const DWORD now = GetTickCount();
    for (auto a = m_allowed.begin(); a != m_allowed.end(); ++a) {
        if (a->act == act && now - a->at <= kActionLifeMs && (!fits || fits(*a))) {
            m_allowed.erase(a);
            return true;
        }
    }
    return false;
}

void E2eOracle::Follow()
{
    if (!m_sim)
        return;
    for (const SimJournalEntry& entry : m_sim->JournalFrom(m_view.offset))
        Judge(entry);
}

void E2eOracle::Judge(const SimJournalEntry& entry)
{
    const std::vector<std::string>& w = entry.words;
    if (w.size() >= 6 && w[0] == "msg") {
        if (w[1] == "contact-list" && w[3] == "WM_KEYDOWN" && strtoul(w[4].c_str(), nullptr, 16) == VK_RETURN)
            m_view.selectedAtReturn = m_view.selected;
        if (w[1] == "number-box" && !m_refusedLink.empty())
            Violation("typed into the messenger from the refused link " + m_refusedLink + ": " + entry.line);
        return;
    }
    if (w.size() < 2 || w[0] != "state")
        return;
    const std::string& event = w[1];
    const std::string handle = w.size() > 3 ? w[2] + " " + w[3] : "";
    if (event == "hanging" || event == "hang-over") {
        m_view.hung = event == "hanging";
    } else if (event == "selection" && w.size() >= 4) {
        m_view.selected = w[3];
    } else if (event == "window" && w.size() >= 4 && w[2] == "call-in-browser") {
        m_view.browser = w[3];
    } else if (event == "number-box" && w.size() >= 3) {
        if (!m_refusedLink.empty())
            Violation("typed into the messenger from the refused link " + m_refusedLink + ": " + entry.line);
        else if (!m_linkNumber.empty() && m_linkNumber.compare(0, w[2].size(), w[2]) != 0)
            Violation("a link for " + m_linkNumber + " typed something else: " + entry.line);
    } else if (event == "ringing" && w.size() >= 5) {
        m_view.ringing[handle] = w[4];
    } else if (event == "ring-ended" && w.size() >= 5) {
        const std::string caller = m_view.ringing[handle];
        m_view.ringing.erase(handle);
        if (w[4] == "answered") {
            if (!Use(Act::Answer))
                Violation("a ring answered without the user's action for it: " + entry.line);
            m_view.answeredCallers.push_back(caller);
        } else if (w[4] == "refused" && !Use(Act::Refuse)) {
            Violation("a ring refused without the user's action for it: " + entry.line);
        }
    } else if (event == "call-started" && w.size() >= 5) {
        m_view.calls.insert(handle);
        const std::string& name = w[4];
        auto answered = std::find(m_view.answeredCallers.begin(), m_view.answeredCallers.end(), name);
        if (w[2] != "call-dialog" && answered != m_view.answeredCallers.end()) {
            m_view.answeredCallers.erase(answered);
            return;
        }
        if (w[2] == "call-dialog") {
            if (Use(Act::Place, [&](const Allowance& a) {
                    return a.contact.empty() && (a.number.empty() || a.number == name);
                }))
                return;
            const bool link = Use(Act::Place, [&](const Allowance& a) { return !a.number.empty(); });
            Violation((link ? "a link's call placed with another number: " : "a call placed without the user's action for it: ") +
                      entry.line);
            return;
        }
        // The user's own call in the messenger, or the handset's Call.
        if (Use(Act::Place, [&](const Allowance& a) { return a.contact == name; }))
            return;
        const std::string meant = m_view.selectedAtReturn.empty() ? m_view.selected : m_view.selectedAtReturn;
        if (!Use(Act::Place, [&](const Allowance& a) { return a.contact.empty() && a.number.empty(); }))
            Violation("a call placed without the user's action for it: " + entry.line);
        else if (name != meant)
            Violation("a contact other than the selected one (" + meant + ") called: " + entry.line);
    } else if (event == "call-ended" && w.size() >= 5) {
        m_view.calls.erase(handle);
        if (w[4] != "far-side" && !Use(Act::HangUp))
            Violation("a call hung up without the user's action for it: " + entry.line);
    } else if (event == "destroyed" && w.size() >= 4) {
        // A notification's end is its ring-ended line, which may come after.
        m_view.calls.erase(handle);
    }
}

void E2eOracle::CheckProcess()
{
    if (!m_app->Process().IsRunning()) {
        Violation("Callvane ended");
        return;
    }
    if (!m_rssBase)
        return;
    // A search for devices holds a burst of handles for a moment: a bound
    // is broken only when the count stays above it.
    SIZE_T rss = 0;
    ULONG handles = 0;
    const bool bounded = WaitFor(
        [&] {
            rss = ResidentBytes(m_linuxPid);
            handles = HandleCount(m_app->Id());
            return rss <= m_rssBase + kRssGrowthBound && handles <= m_handleBase + kHandleGrowthBound;
        },
        kSettleMs);
    if (!bounded)
        Violation("resident memory " + std::to_string(m_rssBase >> 10) + " -> " + std::to_string(rss >> 10) +
                  " KiB, handles " + std::to_string(m_handleBase) + " -> " + std::to_string(handles));
}

void E2eOracle::CheckAgreement()
{
    if (!m_violation.empty() || !HandsetPresent())
        return;
    bool agreed = false;
    const DWORD start = GetTickCount();
    while (!agreed && GetTickCount() - start < kAgreementBoundMs) {
        Follow();
        // A ring beside a call, or a messenger that handles nothing, shows
        // no one state.
        const bool rest = m_view.ringing.empty() && m_view.calls.empty();
        m_pluggedMidCall = m_pluggedMidCall && !rest;
        if (m_view.hung || m_pluggedMidCall || (!m_view.ringing.empty() && !m_view.calls.empty()))
            return;
        agreed = HandsetAgrees(!m_view.ringing.empty(), !m_view.calls.empty());
        if (!agreed)
            WaitFor([] { return false; }, kPollMs);
    }
    if (!agreed)
        Violation(std::string("the handset does not show that the messenger ") +
                  (!m_view.ringing.empty() ? "rings" : !m_view.calls.empty() ? "is in a call" : "is idle") + " within " +
                  std::to_string(kAgreementBoundMs) + " ms");
}

void E2eOracle::RestartMessenger()
{
    HANDLE hProcess = OpenProcess(PROCESS_TERMINATE, FALSE, m_sim->ProcessId());
    if (hProcess) {
        TerminateProcess(hProcess, 1);
        CloseHandle(hProcess);
    }
    m_sim->WaitForExit(5000);
    for (const SimJournalEntry& entry : m_sim->Journal())
        m_extraArtefacts.push_back(entry.line + "\n");
    m_extraArtefacts.push_back("--- killed, started again ---\n");
    m_sim = std::make_unique<CMessengerSimProcess>();
    m_view = MessengerView();
    if (!m_sim->Ready())
        Violation("the stand-in messenger did not start again");
}

std::string E2eOracle::MessengerStep(unsigned kind, unsigned param)
{
    const std::wstring caller = kCallers[param % 3];
    const std::wstring contact(kContacts[param % 4], kContacts[param % 4] + strlen(kContacts[param % 4]));
    if (kind < 10) {
        if (!m_view.ringing.empty() || !m_view.calls.empty())
            return "(rings or in a call already: no ring)";
        m_sim->Command(L"ring caller=" + caller);
        return "messenger rings from " + Narrow(caller);
    }
    if (kind < 19) {
        m_sim->Command(L"far-hangup");
        return "far end hangs up";
    }
    if (kind < 23)
        return LinkStep(param);
    if (kind < 26) {
        m_sim->Command(L"open conversation name=" + contact + L" quiet");
        return "a chat of " + Narrow(contact) + " pops up";
    }
    if (kind < 31) {
        // The messenger handles the number box's keys late, or answers
        // Return in the contact list late, another contact's chat coming up
        // meanwhile, or at once again.
        const unsigned variant = param % 4;
        if (variant == 3) {
            const std::wstring slow = L"number-box slow=" + std::to_wstring((param >> 4) % 300);
            m_sim->Command(slow);
            return "messenger: " + Narrow(slow);
        }
        std::wstring how = variant == 0 ? L"" : L"delay=" + std::to_wstring(200 + (param >> 4) % 700);
        if (variant == 2)
            how += L" other=" + caller + L" other-after=" + std::to_wstring((param >> 8) % 300);
        m_sim->Command(L"contact-return " + how);
        return "messenger answers the contact list: " + (how.empty() ? std::string("at once") : Narrow(how));
    }
    if (kind < 35) {
        const bool list = param % 2 == 0;
        m_sim->Command(list ? L"focus contact-list" : L"focus number-box");
        return list ? "user clicks the contact list" : "user clicks the number box";
    }
    if (kind < 37) {
        m_sim->Command(L"select " + std::to_wstring(param % 4));
        return "user selects " + Narrow(contact);
    }
    if (kind < 41) {
        const DWORD ms = param % 2 ? 1600 : 400 + param % 2000;
        m_sim->Command(L"hang " + std::to_wstring(ms));
        m_hangEnd = GetTickCount() + ms;
        return "messenger hangs " + std::to_string(ms) + " ms";
    }
    if (kind < 43) {
        RestartMessenger();
        return "messenger killed and started again";
    }
    if (kind < 48) {
        if (m_view.ringing.empty() || m_view.browser.empty())
            return "(nothing rings to answer in the messenger)";
        const bool answer = param % 2 == 0;
        Allow(answer ? Act::Answer : Act::Refuse);
        HWND hPage = reinterpret_cast<HWND>(static_cast<UINT_PTR>(strtoul(m_view.browser.c_str(), nullptr, 16)));
        const LPARAM point = answer ? MAKELPARAM(54, 75) : MAKELPARAM(90, 75);
        PostMessageW(hPage, WM_LBUTTONDOWN, MK_LBUTTON, point);
        PostMessageW(hPage, WM_LBUTTONUP, 0, point);
        return answer ? "user answers in the messenger" : "user refuses in the messenger";
    }
    if (kind < 51) {
        if (!m_view.calls.empty())
            return "(a call runs: no call from the messenger)";
        Allow(Act::Place, Narrow(contact));
        m_sim->Command(L"open conversation call name=" + contact);
        return "user calls " + Narrow(contact) + " in the messenger";
    }
    // The user does nothing for a moment: the watch's ticks go by.
    WaitFor([] { return false; }, 700);
    return "a moment passes";
}

std::string E2eOracle::LinkStep(unsigned param)
{
    const auto& row = kLinks[param % ARRAYSIZE(kLinks)];
    const DWORD since = GetTickCount() - m_lastHandsetInput;
    if (since < kHandsetInputSettleMs)
        WaitFor([] { return false; }, kHandsetInputSettleMs - since);
    const bool quiet = !m_view.hung && GetTickCount() >= m_hangEnd;
    // What was typed before is through before the link comes.
    if (quiet && SyncMessenger())
        Follow();
    const bool dialable = row.number[0] != '\0';
    if (dialable && m_linkCallsAtOnce)
        Allow(Act::Place, "", row.number);
    const std::string linkText = Narrow(row.link);
    if (quiet) {
        m_refusedLink = dialable ? "" : linkText;
        m_linkNumber = row.number;
    }
    {
        CChildProcess second(m_install->ExePath(), row.link);
        if (!second.WaitForExit(15000))
            Violation("a start with a link did not end: " + linkText);
    }
    // Whatever the link typed, or an end it asked for, comes within the
    // hand-over and a round of the messenger's queue.
    WaitFor([&] { Follow(); return !m_violation.empty() || !m_app->Process().IsRunning(); }, 1000);
    if (!m_app->Process().IsRunning())
        Violation("Callvane ended after the link " + linkText);
    else if (quiet && SyncMessenger())
        Follow();
    m_refusedLink.clear();
    m_linkNumber.clear();
    return "link " + linkText + (dialable ? "" : " (refused)");
}

// The maker's handset through the stand-in control's channel.
class E2eOracleMakersHandset : public E2eOracle {
protected:
    std::string HandsetStep(unsigned kind, unsigned param) override
    {
        if (!m_plugged && kind >= 3)
            kind = 0;
        if (kind < 3) {
            m_plugged = !m_plugged;
            m_app->Handset(m_plugged ? L"plug" : L"unplug");
            Plugged();
            return m_plugged ? "handset plugged in" : "handset unplugged";
        }
        if (kind < 12) {
            m_lifted = !m_lifted;
            if (m_lifted) {
                AllowIfRinging(Act::Answer);
            } else {
                AllowEnd();
            }
            m_app->Handset(m_lifted ? L"lift" : L"replace");
            return m_lifted ? "handset lifted" : "handset replaced";
        }
        static const wchar_t* const keys[] = {L"1", L"5", L"0", L"*", L"call", L"call", L"#", L"end", L"end",
                                              L"up", L"down", L"down", L"del", L"hf"};
        const std::wstring key = keys[param % ARRAYSIZE(keys)];
        if (key == L"end" || key == L"hf")
            AllowEnd();
        if (key != L"end")
            AllowIfRinging(Act::Answer);   // any other key answers a ringing call
        if (key == L"call" || key == L"#")
            Allow(Act::Place);
        m_app->Handset(L"key " + key);
        return "key " + Narrow(key);
    }

    bool HandsetAgrees(bool ringing, bool talking) override
    {
        const std::wstring display = ReplyValue(m_app->Handset(L"state"), L"display");
        if (ringing)
            return display == L"\"CallIn\"";
        if (talking)
            return display == L"\"InTalk\"";
        return display != L"\"CallIn\"" && display != L"\"InTalk\"";
    }

    bool m_lifted = false;
};

TEST_F(E2eOracleMakersHandset, RandomWalkKeepsEveryRule)
{
    Walk();
}

// A standard HID handset of a layout the seed picks, the maker's control not
// registered.
class E2eOracleHidHandset : public E2eOracle {
protected:
    unsigned long DefaultSeed() const override { return 2805; }   // the toggle headset
    bool MakersControl() const override { return false; }
    void PlugHandset() override
    {
        m_buttons = &kHidButtons[m_seed % ARRAYSIZE(kHidButtons)];
        m_layout = hidhandset::FindLayout(m_buttons->layout);
        ASSERT_NE(m_layout, nullptr);
        printf("oracle: HID layout %s\n", Narrow(m_layout->name).c_str());
        m_hand = std::make_unique<CVirtualHidHand>(kSlot, *m_layout);
        ASSERT_TRUE(hidhandset::Install(TestBinDir().c_str())) << "run scripts/install-hid-sim.sh: " << GetLastError();
        ASSERT_TRUE(hidhandset::Plug(kSlot, *m_layout));
    }
    void TearDown() override
    {
        E2eOracle::TearDown();
        hidhandset::Unplug(kSlot);
    }

    // The ring and off-hook outputs as the device last received them.
    void ReadIndicators()
    {
        std::vector<std::vector<unsigned char>> reports;
        bool ring = false, offHook = false;
        if (hidhandset::TakeOutputs(kSlot, reports) && hidhandset::Indicators(*m_layout, reports, ring, offHook) &&
            (ring != m_ring || offHook != m_offHookLed)) {
            m_ring = ring;
            m_offHookLed = offHook;
            m_ledChanged = GetTickCount();
        }
    }

    // A button of the first byte pressed and released, the hook bit kept.
    void Press(unsigned char mask)
    {
        std::vector<unsigned char> report = hidhandset::InputReport(*m_layout, !m_layout->toggleHook && m_offHook, -1);
        const size_t at = m_layout->inputId ? 1 : 0;
        report[at] |= mask;
        m_hand->Send(report);
        report[at] &= static_cast<unsigned char>(~mask);
        m_hand->Send(report);
    }

    std::string HandsetStep(unsigned kind, unsigned param) override
    {
        if (!m_plugged && kind >= 3)
            kind = 0;
        if (kind < 3) {
            m_plugged = !m_plugged;
            if (m_plugged) {
                hidhandset::Plug(kSlot, *m_layout);
                Plugged();
                m_hand->PutDown();
                m_offHook = m_ring = m_offHookLed = false;
            } else {
                hidhandset::Unplug(kSlot);
            }
            return m_plugged ? "HID handset plugged in" : "HID handset unplugged";
        }
        ReadIndicators();
        m_lastHandsetInput = GetTickCount();
        if (kind < 14) {
            // A hand is slower than the device's echo of an LED.
            const DWORD since = GetTickCount() - m_ledChanged;
            if (since < kHidEchoWindowMs)
                Sleep(kHidEchoWindowMs - since);
            // A toggle's press means what the off-hook LED says it will.
            m_offHook = m_layout->toggleHook ? !m_offHookLed : !m_offHook;
            if (m_offHook) {
                AllowIfRinging(Act::Answer);
            } else {
                AllowEnd();
            }
            m_hand->Hook(m_offHook);
            return std::string(m_layout->toggleHook ? "hook button pressed: " : "hook switch: ") +
                   (m_offHook ? "lift" : "replace");
        }
        const unsigned what = param % 16;
        if (what == 0) {
            // Phone Mute allows nothing.
            m_hand->Mute();
            return "mute pressed";
        }
        if (what < 3) {
            const unsigned char mask = what == 1 ? m_buttons->redial : m_buttons->drop;
            if (!mask)
                return "(no such button)";
            // Redial answers or places; Drop ends.
            if (what == 1) {
                AllowIfRinging(Act::Answer);
                Allow(Act::Place);
            } else if (what == 2) {
                AllowEnd();
            }
            Press(mask);
            return what == 1 ? "redial pressed" : "drop pressed";
        }
        // Keys 0-9, * (10) and # (11), which calls.
        const int key = what == 15 || what == 14 ? 11 : static_cast<int>(what % 11);
        AllowIfRinging(Act::Answer);
        if (key == 11)
            Allow(Act::Place);
        m_hand->Key(key);
        return "key " + (key == 11 ? std::string("#") : key == 10 ? std::string("*") : std::to_string(key));
    }

    bool HandsetAgrees(bool ringing, bool talking) override
    {
        ReadIndicators();
        if (ringing)
            return m_ring;
        if (talking)
            return !m_ring && m_offHookLed;
        // At rest the off-hook LED may follow a hook the user holds lifted.
        return !m_ring && (!m_offHookLed || m_offHook);
    }

    const HidLayout* m_layout = nullptr;
    const HidButtons* m_buttons = nullptr;
    std::unique_ptr<CVirtualHidHand> m_hand;
    bool m_offHook = false, m_ring = false, m_offHookLed = false;
    DWORD m_ledChanged = 0;
};

TEST_F(E2eOracleHidHandset, RandomWalkKeepsEveryRule)
{
    Walk();
}
