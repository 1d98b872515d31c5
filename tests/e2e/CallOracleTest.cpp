// A seeded random walk of what users and peers do, played against
// Callvane.exe as installed with the stand-ins, checking after every step
// what must always hold: no call placed, answered, refused or hung up without
// the user's action for it; never a contact other than the selected one
// called; nothing typed from a refused link; the handset showing the
// messenger's call state within the watch's period, also when plugged in
// mid-call; the process alive with its handles and memory bounded. A failure
// prints the seed and the steps; CALLVANE_ORACLE_SEED=<n> replays them
// (random: a new seed), CALLVANE_ORACLE_SECONDS=<s> walks longer.
#include "E2eSession.h"

#include "HidHandsetClient.h"
#include "VirtualHidHand.h"
#include "phone/HidIds.h"

#include <psapi.h>

#include <algorithm>
#include <deque>
#include <functional>
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
const SIZE_T kMemoryGrowthBound = 48u << 20;
const ULONG kHandleGrowthBound = 64;
const unsigned long kSlot = 0;
const char* const kContacts[] = {"Alice", "Bob", "Carol", "Dave"};   // the stand-in's list, in order
const char* const kCallers[] = {"Alice", "Erin", "Bob"};
// A link and the number it may type; empty: refused whole.
const struct { const wchar_t* link; const char* number; } kLinks[] = {
    {L"tel:+1-555-0100", "+15550100"}, {L"callto:5550100", "5550100"}, {L"/dial 5550123", "5550123"},
    {L"tel:555-0199;phone-context=x", "5550199"}, {L"tel:*exit*", ""}, {L"callto:*exit*", ""},
    {L"tel:555%0012", ""}, {L"\"tel:555 0100 & calc\"", ""}, {L"callto:javascript:alert(1)", ""},
};
// The keys a step's number picks, and the HID layouts a seed picks with the
// buttons the hand does not press (bits of the first byte of their input
// report).
const char* const kMakersKeys[] = {"1", "5", "0", "*", "call", "call", "#", "end", "end", "up", "down", "down", "del", "hf"};
const char* const kHidKeys[] = {"mute", "redial", "drop", "3", "4", "5", "6", "7", "8", "9", "*", "0", "1", "2", "#", "#"};
struct HidButtons {
    const wchar_t* layout;
    unsigned char redial, drop;
};
const HidButtons kHidButtons[] = {
    {L"deskphone", 0x08, 0}, {L"headset", 0x04, 0x08}, {L"composite", 0, 0}, {L"splitphone", 0, 0},
};

enum class Act { Answer, Refuse, Place, HangUp };
const unsigned kAnswers = 1, kPlaces = 2, kEnds = 4;
// What pressing a key allows: any key but these answers a ring; Call, # and
// Redial place a call; End, hands-free and Drop end one; Mute does nothing.
unsigned Allows(const std::string& key)
{
    if (key == "mute" || key == "end" || key == "drop")
        return key == "mute" ? 0 : kEnds;
    return kAnswers | (key == "call" || key == "#" || key == "redial" ? kPlaces : 0) | (key == "hf" ? kEnds : 0);
}

// What one user action allows the messenger to show: placed calls carry the
// contact meant (empty: the selected one) or the only number a call dialog
// may have (a link's); a hang-up, the calls that ran (none: one starting).
struct Allowance {
    Act act;
    DWORD at;
    std::string contact, number;
    std::set<std::string> calls;
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

unsigned long EnvNumber(const char* name, unsigned long fallback)
{
    const char* value = getenv(name);
    if (!value || !*value)
        return fallback;
    if (strcmp(value, "random") == 0)
        return static_cast<unsigned long>(std::random_device()() ^ GetTickCount());
    return strtoul(value, nullptr, 0);
}

void Pause(DWORD ms)
{
    WaitFor([] { return false; }, ms);
}

// The process's handles as the window server lists every process's: 16 bytes
// an entry, the owner's id first (GetProcessHandleCount gives 0 under Wine,
// the process information the size of the handle table).
ULONG HandleCount(DWORD processId)
{
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    const ULONG kSystemHandleInformation = 16, kEntryWords = 4;
    std::vector<ULONG> words(1 << 18);
    ULONG size = 0, count = 0;
    while (query(kSystemHandleInformation, words.data(), static_cast<ULONG>(words.size() * sizeof(ULONG)), &size) ==
           static_cast<LONG>(0xC0000004L))   // STATUS_INFO_LENGTH_MISMATCH
        words.resize(words.size() * 2);
    for (ULONG i = 0; i < words[0] && 1 + (i + 1) * kEntryWords <= words.size(); ++i)
        count += words[1 + i * kEntryWords] == processId;
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

    // The handset family's own: its default seed, its keys, how many of the
    // 42 step kinds after the three of plugging are hook steps, a hook step
    // (true: it lifted), and whether it shows the messenger's calls.
    virtual unsigned long DefaultSeed() const { return 2801; }
    virtual std::vector<std::string> Keys() const = 0;
    virtual unsigned HookKinds() const = 0;
    virtual void Plug(bool in) = 0;
    virtual bool Hook() = 0;
    virtual bool Press(const std::string& key) = 0;   // false: no such button
    virtual bool HandsetAgrees(bool ringing, bool talking) = 0;

    void Walk();
    std::string HandsetStep(unsigned kind, unsigned param);
    std::string MessengerStep(unsigned kind, unsigned param);
    std::string LinkStep(unsigned param);
    void Judge(const SimJournalEntry& entry);
    void CheckProcess();
    void CheckAgreement();
    void RestartMessenger();

    void Allow(Act act, const std::string& contact = "", const std::string& number = "")
    {
        m_allowed.push_back({act, GetTickCount(), contact, number, m_view.calls});
    }
    // A ring is answered or refused only when it rings already (the program
    // learns of it after the journal does). A call may still be starting (an
    // answered ring's, one being placed): a hang-up is allowed then too.
    void AllowFor(unsigned allows)
    {
        const bool ringing = !m_view.ringing.empty();
        const bool placing = std::any_of(m_allowed.begin(), m_allowed.end(), [](const Allowance& a) {
            return a.act == Act::Place && GetTickCount() - a.at <= kActionLifeMs;
        });
        if (ringing && (allows & kAnswers))
            Allow(Act::Answer);
        if (ringing && (allows & kEnds))
            Allow(Act::Refuse);
        if ((allows & kEnds) && (ringing || !m_view.calls.empty() || placing))
            Allow(Act::HangUp);
        if (allows & kPlaces)
            Allow(Act::Place);
    }
    bool Use(Act act, const std::function<bool(const Allowance&)>& fits = nullptr)
    {
        auto found = std::find_if(m_allowed.begin(), m_allowed.end(), [&](const Allowance& a) {
            return a.act == act && GetTickCount() - a.at <= kActionLifeMs && (!fits || fits(a));
        });
        if (found == m_allowed.end())
            return false;
        m_allowed.erase(found);
        return true;
    }
    // Reads the messenger's journal on and judges what happened since.
    void Follow()
    {
        for (const SimJournalEntry& entry : m_sim ? m_sim->JournalFrom(m_view.offset) : std::vector<SimJournalEntry>())
            Judge(entry);
    }
    void Violation(const std::string& what)
    {
        if (m_violation.empty())
            m_violation = what;
    }
    // A command to the stand-in messenger, and the step's text.
    std::string Say(const std::string& command, const std::string& text)
    {
        m_sim->Command(Wide(command));
        return text;
    }
    SIZE_T Memory()
    {
        PROCESS_MEMORY_COUNTERS counters = {};
        return GetProcessMemoryInfo(m_hProcess, &counters, sizeof counters) ? counters.WorkingSetSize : 0;
    }

    unsigned long m_seed = 0;
    DWORD m_walkMs = kDefaultWalkMs;
    std::mt19937 m_random;
    bool m_linkCallsAtOnce = false, m_plugged = true;
    MessengerView m_view;
    std::vector<Allowance> m_allowed;
    std::vector<std::string> m_steps;
    std::string m_violation;
    DWORD m_start = 0, m_hangEnd = 0, m_lastHandsetInput = 0;
    std::string m_refusedLink, m_linkNumber;   // while a refused or a dialable link's step runs
    HANDLE m_hProcess = nullptr;
    SIZE_T m_memoryBase = 0;
    ULONG m_handleBase = 0;
};

void E2eOracle::Walk()
{
    m_start = GetTickCount();
    m_hProcess = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, m_app->Id());
    ASSERT_NE(m_hProcess, nullptr);
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
            m_memoryBase = Memory();
            m_handleBase = HandleCount(m_app->Id());
        }
    }
    printf("oracle: %u steps in %.0f s, seed %lu; memory %lu -> %lu KiB, handles %lu -> %lu\n",
           static_cast<unsigned>(m_steps.size()), (GetTickCount() - m_start) / 1000.0, m_seed,
           static_cast<unsigned long>(m_memoryBase >> 10), static_cast<unsigned long>(Memory() >> 10), m_handleBase,
           HandleCount(m_app->Id()));
    CloseHandle(m_hProcess);
    if (m_violation.empty()) {
        // What the last steps set going.
        WaitFor([&] { Follow(); return !m_violation.empty(); }, 3000);
        CheckAgreement();
    }
    std::string steps = "seed " + std::to_string(m_seed) + " (CALLVANE_ORACLE_SEED=" + std::to_string(m_seed) +
                        "), LinkCallsAtOnce=" + (m_linkCallsAtOnce ? "1" : "0") + ", steps:";
    for (const std::string& s : m_steps)
        steps += "\n  " + s;
    SaveArtefact(L"oracle-steps.txt", steps + "\n" + m_violation + "\n");
    EXPECT_EQ(m_violation, "") << steps;
}

void E2eOracle::Judge(const SimJournalEntry& entry)
{
    const std::vector<std::string>& w = entry.words;
    if (w.size() < 3 || (w[0] != "msg" && w[0] != "state"))
        return;
    // A message to the number box, or a text it came to hold.
    if (w[1] == "number-box" && !m_refusedLink.empty())
        Violation("typed into the messenger from the refused link " + m_refusedLink + ": " + entry.line);
    if (w[0] == "msg" && w.size() >= 6 && w[1] == "contact-list" && w[3] == "WM_KEYDOWN" &&
        strtoul(w[4].c_str(), nullptr, 16) == VK_RETURN)
        m_view.selectedAtReturn = m_view.selected;
    if (w[0] == "msg")
        return;
    const std::string& event = w[1];
    const std::string handle = w[2] + " " + (w.size() > 3 ? w[3] : ""), arg = w.size() > 4 ? w[4] : "";
    if (event == "hanging" || event == "hang-over")
        m_view.hung = event == "hanging";
    else if (event == "selection" && w.size() > 3)
        m_view.selected = w[3];
    else if (event == "window" && w[2] == "call-in-browser" && w.size() > 3)
        m_view.browser = w[3];
    else if (event == "ringing" && !arg.empty())
        m_view.ringing[handle] = arg;
    else if (event == "number-box" && m_refusedLink.empty() && !m_linkNumber.empty() && m_linkNumber.compare(0, w[2].size(), w[2]) != 0)
        Violation("a link for " + m_linkNumber + " typed something else: " + entry.line);
    const std::string unasked = " without the user's action for it: " + entry.line;
    if (event == "ring-ended") {
        if (arg == "answered" && !Use(Act::Answer))
            Violation("a ring answered" + unasked);
        if (arg == "refused" && !Use(Act::Refuse))
            Violation("a ring refused" + unasked);
        if (arg == "answered")
            m_view.answeredCallers.push_back(m_view.ringing[handle]);
        m_view.ringing.erase(handle);
    }
    auto ran = [&](const Allowance& a) { return a.calls.empty() || a.calls.count(handle) > 0; };
    if (event == "call-ended" && arg != "far-side" && !Use(Act::HangUp, ran))
        Violation("a call hung up" + unasked);
    if (event == "call-ended" || event == "destroyed")   // a notification's end is its ring-ended line
        m_view.calls.erase(handle);
    if (event != "call-started" || arg.empty())
        return;
    m_view.calls.insert(handle);
    auto answered = std::find(m_view.answeredCallers.begin(), m_view.answeredCallers.end(), arg);
    if (w[2] == "call-dialog") {
        // The handset's Call with what it dialled, or a link's number.
        if (!Use(Act::Place, [&](const Allowance& a) { return a.contact.empty() && (a.number.empty() || a.number == arg); }))
            Violation(Use(Act::Place, [&](const Allowance& a) { return !a.number.empty(); })
                          ? "a link's call placed with another number: " + entry.line
                          : "a call placed" + unasked);
    } else if (answered != m_view.answeredCallers.end()) {
        m_view.answeredCallers.erase(answered);
    } else if (!Use(Act::Place, [&](const Allowance& a) { return a.contact == arg; })) {
        // Not the user's own call in the messenger: the handset's Call.
        const std::string meant = m_view.selectedAtReturn.empty() ? m_view.selected : m_view.selectedAtReturn;
        if (!Use(Act::Place, [&](const Allowance& a) { return a.contact.empty() && a.number.empty(); }))
            Violation("a call placed" + unasked);
        else if (arg != meant)
            Violation("a contact other than the selected one (" + meant + ") called: " + entry.line);
    }
}

void E2eOracle::CheckProcess()
{
    if (!m_app->Process().IsRunning())
        return Violation("Callvane ended");
    // A search for devices holds a burst of handles for a moment: a bound
    // is broken only when the count stays above it.
    SIZE_T memory = 0;
    ULONG handles = 0;
    auto bounded = [&] {
        memory = Memory();
        handles = HandleCount(m_app->Id());
        return memory <= m_memoryBase + kMemoryGrowthBound && handles <= m_handleBase + kHandleGrowthBound;
    };
    if (m_memoryBase && !WaitFor(bounded, kSettleMs))
        Violation("memory " + std::to_string(m_memoryBase >> 10) + " -> " + std::to_string(memory >> 10) +
                  " KiB, handles " + std::to_string(m_handleBase) + " -> " + std::to_string(handles));
}

void E2eOracle::CheckAgreement()
{
    for (const DWORD start = GetTickCount(); m_violation.empty() && m_plugged; Pause(kPollMs)) {
        Follow();
        // A ring beside a call, or a messenger that handles nothing, shows
        // no one state.
        const bool ringing = !m_view.ringing.empty(), talking = !m_view.calls.empty();
        if (m_view.hung || (ringing && talking) || HandsetAgrees(ringing, talking))
            return;
        if (GetTickCount() - start >= kAgreementBoundMs)
            Violation(std::string("the handset does not show that the messenger ") +
                      (ringing ? "rings" : talking ? "is in a call" : "is idle") + " within " +
                      std::to_string(kAgreementBoundMs) + " ms");
    }
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

// What the handset does is allowed once done: the journal is read after the step.
std::string E2eOracle::HandsetStep(unsigned kind, unsigned param)
{
    if (!m_plugged || kind < 3) {
        Plug(m_plugged = !m_plugged);
        return m_plugged ? "handset plugged in" : "handset unplugged";
    }
    if (kind < 3 + HookKinds()) {
        const bool lift = Hook();
        AllowFor(lift ? kAnswers : kEnds);
        return lift ? "handset lifted" : "handset replaced";
    }
    const std::vector<std::string> keys = Keys();
    const std::string& key = keys[param % keys.size()];
    if (!Press(key))
        return "(no " + key + " button)";
    AllowFor(Allows(key));
    return "key " + key;
}

std::string E2eOracle::MessengerStep(unsigned kind, unsigned param)
{
    const std::string caller = kCallers[param % 3], contact = kContacts[param % 4];
    const bool quiet = m_view.ringing.empty() && m_view.calls.empty();
    if (kind < 10)
        return quiet ? Say("ring caller=" + caller, "messenger rings from " + caller) : "(rings or in a call already: no ring)";
    if (kind < 19)
        return Say("far-hangup", "far end hangs up");
    if (kind < 23)
        return LinkStep(param);
    if (kind < 26)
        return Say("open conversation name=" + contact + " quiet", "a chat of " + contact + " pops up");
    if (kind < 31) {
        // The messenger handles the number box's keys late, or answers Return
        // in the contact list late, another contact's chat coming up
        // meanwhile, or at once again.
        const unsigned variant = param % 4;
        std::string how = variant == 3   ? "number-box slow=" + std::to_string((param >> 4) % 300)
                          : variant == 0 ? "contact-return "
                                         : "contact-return delay=" + std::to_string(200 + (param >> 4) % 700);
        if (variant == 2)
            how += " other=" + caller + " other-after=" + std::to_string((param >> 8) % 300);
        return Say(how, "messenger: " + how);
    }
    if (kind < 35)
        return param % 2 == 0 ? Say("focus contact-list", "user clicks the contact list")
                              : Say("focus number-box", "user clicks the number box");
    if (kind < 37)
        return Say("select " + std::to_string(param % 4), "user selects " + contact);
    if (kind < 41) {
        const DWORD ms = param % 2 ? 1600 : 400 + param % 2000;
        m_hangEnd = GetTickCount() + ms;
        return Say("hang " + std::to_string(ms), "messenger hangs " + std::to_string(ms) + " ms");
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
        Allow(Act::Place, contact);
        return Say("open conversation call name=" + contact, "user calls " + contact + " in the messenger");
    }
    // The user does nothing for a moment: the watch's ticks go by.
    Pause(700);
    return "a moment passes";
}

std::string E2eOracle::LinkStep(unsigned param)
{
    const auto& row = kLinks[param % ARRAYSIZE(kLinks)];
    const DWORD since = GetTickCount() - m_lastHandsetInput;
    if (since < kHandsetInputSettleMs)
        Pause(kHandsetInputSettleMs - since);
    // What was typed before is through before the link comes: every key
    // posted so far handled, and the characters they made.
    const bool quiet = !m_view.hung && GetTickCount() >= m_hangEnd;
    auto sync = [&] {
        if (quiet && m_sim->Sync() && m_sim->Sync())
            Follow();
    };
    sync();
    const bool dialable = row.number[0] != '\0';
    if (dialable && m_linkCallsAtOnce)
        Allow(Act::Place, "", row.number);
    const std::string linkText = Utf8(row.link);
    if (quiet) {
        m_refusedLink = dialable ? "" : linkText;
        m_linkNumber = row.number;
    }
    if (!CChildProcess(m_install->ExePath(), row.link).WaitForExit(15000))
        Violation("a start with a link did not end: " + linkText);
    // Whatever the link typed, or an end it asked for, comes within the
    // hand-over and a round of the messenger's queue.
    WaitFor([&] { Follow(); return !m_violation.empty() || !m_app->Process().IsRunning(); }, 1000);
    if (!m_app->Process().IsRunning())
        Violation("Callvane ended after the link " + linkText);
    else
        sync();
    m_refusedLink.clear();
    m_linkNumber.clear();
    return "link " + linkText + (dialable ? "" : " (refused)");
}

// The maker's handset through the stand-in control's channel.
class E2eOracleMakersHandset : public E2eOracle {
protected:
    std::vector<std::string> Keys() const override { return {std::begin(kMakersKeys), std::end(kMakersKeys)}; }
    unsigned HookKinds() const override { return 9; }
    void Plug(bool in) override { m_app->Handset(in ? L"plug" : L"unplug"); }
    bool Hook() override
    {
        m_app->Handset((m_lifted = !m_lifted) ? L"lift" : L"replace");
        return m_lifted;
    }
    bool Press(const std::string& key) override
    {
        m_app->Handset(L"key " + Wide(key));
        return true;
    }
    bool HandsetAgrees(bool ringing, bool talking) override
    {
        const std::wstring display = m_app->State(L"display");
        if (ringing || talking)
            return display == (ringing ? L"\"CallIn\"" : L"\"InTalk\"");
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
        printf("oracle: HID layout %s\n", Utf8(m_layout->name).c_str());
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

    std::vector<std::string> Keys() const override { return {std::begin(kHidKeys), std::end(kHidKeys)}; }
    unsigned HookKinds() const override { return 11; }
    void Plug(bool in) override
    {
        if (!in)
            hidhandset::Unplug(kSlot);
        else if (hidhandset::Plug(kSlot, *m_layout))
            m_hand->PutDown();
        m_offHook = m_ring = m_offHookLed = false;
    }
    bool Hook() override
    {
        // A toggle's press means what the off-hook LED says it will; a hand
        // is slower than the device's echo of an LED.
        ReadIndicators();
        m_offHook = m_layout->toggleHook ? !m_offHookLed : !m_offHook;
        const DWORD since = GetTickCount() - m_ledChanged;
        if (since < kHidEchoWindowMs)
            Sleep(kHidEchoWindowMs - since);
        m_hand->Hook(m_offHook);
        m_lastHandsetInput = GetTickCount();
        return m_offHook;
    }
    bool Press(const std::string& key) override
    {
        ReadIndicators();
        // Redial and Drop: a bit of the first byte pressed and released, the hook bit kept.
        const unsigned char mask = key == "redial" ? m_buttons->redial : key == "drop" ? m_buttons->drop : 0;
        std::vector<unsigned char> report = hidhandset::InputReport(*m_layout, !m_layout->toggleHook && m_offHook, -1);
        const size_t at = m_layout->inputId ? 1 : 0;
        if (key == "mute")
            m_hand->Mute();
        else if (key.size() == 1)
            m_hand->Key(key == "*" ? 10 : key == "#" ? 11 : key[0] - '0');
        else if (!mask)
            return false;
        else {
            report[at] |= mask;
            m_hand->Send(report);
            report[at] &= static_cast<unsigned char>(~mask);
            m_hand->Send(report);
        }
        m_lastHandsetInput = GetTickCount();
        return true;
    }
    bool HandsetAgrees(bool ringing, bool talking) override
    {
        ReadIndicators();
        if (ringing || talking)
            return m_ring == ringing && (ringing || m_offHookLed);
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
