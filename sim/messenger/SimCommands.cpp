// The stand-in's commands: the command channel's requests checked, split
// into words and carried out on the windows of MessengerSim.cpp.
#include "MessengerSim.h"

#include "SimIds.h"
#include "SimWindows.h"

#include <commctrl.h>

#include <cwchar>
#include <cwctype>

namespace {

// Splits a command line into words at blanks; a word may hold a quoted part
// ("key=\"a b\"") whose quotes are dropped.
std::vector<std::wstring> SplitWords(const std::wstring& line)
{
    std::vector<std::wstring> words;
    std::wstring word;
    bool inWord = false;
    bool quoted = false;
    for (wchar_t c : line) {
        if (c == L'"') {
            quoted = !quoted;
            inWord = true;
            continue;
        }
        if (!quoted && iswspace(c)) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        word += c;
        inWord = true;
    }
    if (inWord)
        words.push_back(word);
    return words;
}

// The value of "key=value" among the words, or fallback.
std::wstring Option(const std::vector<std::wstring>& words, const wchar_t* key, const std::wstring& fallback)
{
    std::wstring prefix = std::wstring(key) + L"=";
    for (const std::wstring& word : words) {
        if (word.compare(0, prefix.size(), prefix) == 0)
            return word.substr(prefix.size());
    }
    return fallback;
}

// Roles and message names are plain ASCII words.
bool Ascii(const std::wstring& word, std::string& out)
{
    out.clear();
    for (wchar_t c : word) {
        if (c <= L' ' || c > 0x7E)
            return false;
        out += static_cast<char>(c);
    }
    return !out.empty();
}

bool HasWord(const std::vector<std::wstring>& words, const wchar_t* wanted)
{
    for (const std::wstring& word : words) {
        if (word == wanted)
            return true;
    }
    return false;
}

// Whether text is, whole, a decimal number from least to most.
bool Number(const std::wstring& text, long least, long most, long& value)
{
    wchar_t* end = nullptr;
    value = wcstol(text.c_str(), &end, 10);
    return !text.empty() && end && *end == L'\0' && value >= least && value <= most;
}

// A decimal number of milliseconds from 0 to most.
bool Milliseconds(const std::wstring& text, DWORD most, DWORD& ms)
{
    long value = 0;
    if (!Number(text, 0, static_cast<long>(most), value))
        return false;
    ms = static_cast<DWORD>(value);
    return true;
}

}  // namespace

// "quiet", "minimised" or "hidden" among the words; else shown and activated.
CMessengerSim::Arrival CMessengerSim::ArrivalOf(const std::vector<std::wstring>& words)
{
    if (HasWord(words, L"hidden"))
        return Arrival::Hidden;
    if (HasWord(words, L"minimised"))
        return Arrival::Minimised;
    return HasWord(words, L"quiet") ? Arrival::Quiet : Arrival::Active;
}

LRESULT CMessengerSim::OpenExtra(const std::vector<std::wstring>& words)
{
    if (words.size() < 2)
        return kSimBadCommand;
    const std::wstring& what = words[1];
    bool call = HasWord(words, L"call");
    Arrival arrival = ArrivalOf(words);
    std::wstring name = Option(words, L"name", L"Eve");
    if (what == L"conversation")
        return reinterpret_cast<LRESULT>(OpenCall(CallShape::Conversation, name, call, arrival));
    if (what == L"search")
        return reinterpret_cast<LRESULT>(OpenCall(CallShape::Search, name, call, arrival));
    if (what == L"dialog")
        return reinterpret_cast<LRESULT>(OpenCall(CallShape::Dialog, name, call, arrival));
    if (what == L"foreign-dialog")
        return OpenForeignDialog();
    if (what == L"plain") {
        long count = 0;
        if (words.size() < 3 || !Number(words[2], 1, kMaxExtraWindows, count))
            return kSimBadCommand;
        HWND hLast = nullptr;
        for (long i = 0; i < count; ++i) {
            hLast = CreateWindowExW(0, kExtraClass, L"extra", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
            if (!hLast)
                return 0;
        }
        m_journal.Line("state extra-windows " + std::to_string(count));
        return reinterpret_cast<LRESULT>(hLast);
    }
    if (what == L"nested") {
        // One hidden top-level window over a chain of children, each the
        // only child of the one before: a deep tree for window walks. With
        // in-main the chain hangs at the bottom of the main window instead.
        long depth = 0;
        if (words.size() < 3 || words.size() > 4 || !Number(words[2], 1, kMaxNestedDepth, depth))
            return kSimBadCommand;
        bool inMain = words.size() == 4;
        if (inMain && words[3] != L"in-main")
            return kSimBadCommand;
        HWND hParent = inMain ? CreateWindowExW(WS_EX_NOPARENTNOTIFY, kExtraClass, L"extra", WS_CHILD, 0, 0, 10, 10,
                                                m_hMain, nullptr, GetModuleHandleW(nullptr), nullptr)
                              : CreateWindowExW(0, kExtraClass, L"extra", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                                GetModuleHandleW(nullptr), nullptr);
        if (inMain && hParent)
            SetWindowPos(hParent, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        HWND hTop = hParent;
        for (long level = 0; hParent && level < depth; ++level) {
            // No parent notifications: each would climb the whole chain.
            hParent = CreateWindowExW(WS_EX_NOPARENTNOTIFY, kExtraClass, L"extra", WS_CHILD | WS_VISIBLE, 0, 0, 10,
                                      10, hParent, nullptr, GetModuleHandleW(nullptr), nullptr);
        }
        if (!hParent)
            return 0;
        m_journal.Line("state nested-windows " + std::to_string(depth));
        return reinterpret_cast<LRESULT>(hTop);
    }
    return kSimBadCommand;
}

LRESULT CMessengerSim::AddDestroyTrigger(const std::vector<std::wstring>& words)
{
    if (words.size() < 3)
        return kSimBadCommand;
    DestroyTrigger trigger;
    std::string message;
    if (!Ascii(words[1], trigger.role) || !Ascii(words[2], message) ||
        !Ascii(Option(words, L"window", words[1]), trigger.target))
        return kSimBadCommand;
    for (const SimMessageName& known : kMessageNames) {
        if (message == known.name)
            trigger.message = known.message;
    }
    // The windows need not exist yet: a call window may open later.
    if (trigger.message == 0)
        return kSimBadCommand;
    m_destroyTriggers.push_back(trigger);
    return 1;
}

bool CMessengerSim::CheckDestroyTrigger(HWND hWnd, UINT msg)
{
    if (m_destroyTriggers.empty())
        return false;
    std::string role = RoleOf(hWnd);
    for (size_t i = 0; i < m_destroyTriggers.size(); ++i) {
        const DestroyTrigger trigger = m_destroyTriggers[i];
        if (trigger.role != role || trigger.message != msg)
            continue;
        m_destroyTriggers.erase(m_destroyTriggers.begin() + static_cast<std::ptrdiff_t>(i));
        HWND hTarget = trigger.target == role ? hWnd : WindowOfRole(trigger.target);
        m_journal.Line("state destroy-trigger " + role + " " + CJournal::Hex(msg) + " " + trigger.target);
        if (!hTarget)
            return false;
        DestroyRole(hTarget);
        return !IsWindow(hWnd);
    }
    return false;
}

HWND CMessengerSim::WindowOfRole(const std::string& role)
{
    HWND hFound = nullptr;
    EnterCriticalSection(&m_rolesLock);
    for (const auto& entry : m_roles) {
        if (entry.second == role && IsWindow(entry.first))
            hFound = entry.first;
    }
    LeaveCriticalSection(&m_rolesLock);
    return hFound;
}

// A call window or a notification goes as the stand-in's own bookkeeping
// expects; any other window simply goes.
void CMessengerSim::DestroyRole(HWND hWnd)
{
    if (FindCall(hWnd) && GetAncestor(hWnd, GA_ROOT) == hWnd) {
        CloseCall(hWnd);
        return;
    }
    for (size_t i = 0; i < m_ringing.size(); ++i) {
        if (m_ringing[i].hNotification == hWnd) {
            CloseRinging(i, "destroyed");
            return;
        }
    }
    DestroyWindow(hWnd);
}

// Every window of this thread stops answering, as a busy or stuck messenger's.
void CMessengerSim::Hang(DWORD ms)
{
    m_journal.Line("state hanging " + std::to_string(ms));
    Sleep(ms);
    m_journal.Line("state hang-over");
}

LRESULT CMessengerSim::Execute(const std::wstring& command)
{
    std::vector<std::wstring> words = SplitWords(command);
    if (words.empty())
        return kSimBadCommand;
    const std::wstring& verb = words[0];
    if (verb == L"ping")
        return 1;
    if (verb == L"sync") {
        ++m_nSyncs;
        PostMessageW(m_hControl, kSyncMessage, m_nSyncs, 0);
        return static_cast<LRESULT>(m_nSyncs);
    }
    if (verb == L"ring") {
        std::wstring title = Option(words, L"title", Text(kCallInTitleKey, kCallInTitleDefault));
        return reinterpret_cast<LRESULT>(Ring(title, Option(words, L"caller", L"Frank"), HasWord(words, L"inert")));
    }
    if (verb == L"list-text") {
        SetWindowTextW(m_hContacts, Option(words, L"text", L"").c_str());
        m_journal.Line("state list-text " + CJournal::Quote(WindowText(m_hContacts)));
        return 1;
    }
    if (verb == L"shape") {
        if (words.size() < 2 || (words[1] != L"conversation" && words[1] != L"search"))
            return kSimBadCommand;
        m_contactShape = words[1] == L"search" ? CallShape::Search : CallShape::Conversation;
        return 1;
    }
    if (verb == L"contact-return") {
        ContactReturn how;
        how.arrival = ArrivalOf(words);
        how.other = Option(words, L"other", L"");
        for (size_t i = 1; i < words.size(); ++i) {
            const std::wstring& word = words[i];
            if (word == L"held") {
                how.held = true;
                continue;
            }
            if (word == L"quiet" || word == L"minimised" || word == L"hidden" || word.compare(0, 6, L"other=") == 0)
                continue;
            DWORD* times[] = {&how.delayMs, &how.hiddenMs, &how.otherAfterMs};
            const wchar_t* keys[] = {L"delay=", L"hidden=", L"other-after="};
            bool known = false;
            for (size_t k = 0; k < ARRAYSIZE(keys) && !known; ++k) {
                if (word.compare(0, wcslen(keys[k]), keys[k]) != 0)
                    continue;
                if (!Milliseconds(word.substr(wcslen(keys[k])), kMaxContactDelayMs, *times[k]))
                    return kSimBadCommand;
                known = true;
            }
            if (!known)
                return kSimBadCommand;
        }
        if (how.hiddenMs > 0)
            how.arrival = Arrival::Hidden;
        m_contactReturn = how;
        return 1;
    }
    if (verb == L"release") {
        if (m_heldReturns.empty())
            return 0;
        std::function<void()> answer = std::move(m_heldReturns.front());
        m_heldReturns.erase(m_heldReturns.begin());
        answer();
        return 1;
    }
    if (verb == L"chat") {
        if (words.size() < 2)
            return kSimBadCommand;
        return reinterpret_cast<LRESULT>(BringChat(words[1], CallShape::Conversation, ArrivalOf(words), "chat-popup"));
    }
    if (verb == L"number-box") {
        DWORD delayMs = 0;
        std::wstring refused = Option(words, L"refuse", L"");
        if (!Milliseconds(Option(words, L"slow", L"0"), kMaxBoxKeyDelayMs, delayMs) || refused.size() > 1)
            return kSimBadCommand;
        m_boxKeyDelayMs = delayMs;
        m_boxRefused = refused.empty() ? L'\0' : refused[0];
        return 1;
    }
    if (verb == L"far-hangup") {
        if (!m_ringing.empty()) {
            while (!m_ringing.empty())
                CloseRinging(0, "far-side");
            return 1;
        }
        Call* call = CurrentCall();
        if (!call)
            return 0;
        HWND hWnd = call->hWnd;
        bool isDialog = call->shape == CallShape::Dialog;
        EndCall(*call, "far-side");
        if (isDialog)
            CloseCall(hWnd);
        return 1;
    }
    if (verb == L"hide-button") {
        Call* call = CurrentCall();
        if (!call || !call->hButton)
            return 0;
        ShowWindow(call->hButton, SW_HIDE);
        m_journal.Line("state button-hidden " + Named(call->hButton));
        return 1;
    }
    if (verb == L"voicemail") {
        Call* call = CurrentCall();
        if (!call)
            return 0;
        std::wstring title = call->name + L" - " + Text(kVoiceMessageKey, kVoiceMessageDefault);
        SetWindowTextW(call->hWnd, title.c_str());
        m_journal.Line("state voicemail " + Named(call->hWnd) + " " + CJournal::Quote(title));
        return 1;
    }
    if (verb == L"open")
        return OpenExtra(words);
    if (verb == L"destroy-on")
        return AddDestroyTrigger(words);
    if (verb == L"hang") {
        long ms = 0;
        if (words.size() < 2 || !Number(words[1], 1, static_cast<long>(kMaxHangMs), ms))
            return kSimBadCommand;
        PostMessageW(m_hControl, kHangMessage, static_cast<WPARAM>(ms), 0);
        return 1;
    }
    if (verb == L"focus") {
        if (words.size() < 2)
            return kSimBadCommand;
        HWND hTarget = words[1] == L"number-box" ? m_hNumberBox : words[1] == L"contact-list" ? m_hContacts
                       : words[1] == L"main"                                                    ? m_hMain
                                                                                                : nullptr;
        if (!hTarget && words[1] != L"none")
            return kSimBadCommand;
        // Only the foreground thread keeps a focus for long.
        if (hTarget)
            SetForegroundWindow(m_hMain);
        SetFocus(hTarget);
        return 1;
    }
    if (verb == L"select") {
        long index = 0;
        if (words.size() < 2 || !Number(words[1], 0, static_cast<long>(ARRAYSIZE(kContacts)) - 1, index))
            return kSimBadCommand;
        ListView_SetItemState(m_hContacts, static_cast<int>(index), LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        return 1;
    }
    if (verb == L"main") {
        if (words.size() < 2 || (words[1] != L"show" && words[1] != L"hide"))
            return kSimBadCommand;
        ShowWindow(m_hMain, words[1] == L"show" ? SW_SHOW : SW_HIDE);
        return 1;
    }
    if (verb == L"quit") {
        PostQuitMessage(0);
        return 1;
    }
    return kSimBadCommand;
}

// Commands come as UTF-16 text of at most kMaxCommandChars characters; the
// data is another process's and is checked before use.
LRESULT CMessengerSim::OnCopyData(const COPYDATASTRUCT* pData)
{
    if (!pData || pData->dwData != kSimCommandMagic || pData->cbData % sizeof(wchar_t) != 0 ||
        pData->cbData / sizeof(wchar_t) > kMaxCommandChars || (pData->cbData > 0 && !pData->lpData)) {
        m_journal.Line("state bad-command");
        return kSimBadCommand;
    }
    wchar_t text[kMaxCommandChars + 1] = {};
    size_t chars = pData->cbData / sizeof(wchar_t);
    if (chars > 0)
        memcpy(text, pData->lpData, chars * sizeof(wchar_t));
    text[chars] = L'\0';   // a command stops at its first null, if any
    std::wstring command(text);
    m_journal.Line("command " + CJournal::Quote(command));
    LRESULT result = Execute(command);
    m_journal.Line("result " + std::to_string(static_cast<long long>(result)));
    return result;
}

