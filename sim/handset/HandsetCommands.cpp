#include "HandsetCommands.h"

#include <cwctype>
#include <deque>
#include <vector>

namespace {

struct KeyName {
    const wchar_t* name;
    short code;
};
const KeyName kKeyNames[] = {
    {L"star", kKeyStar}, {L"hash", kKeyHash}, {L"call", kKeyCall}, {L"up", kKeyUp}, {L"down", kKeyDown},
    {L"del", kKeyDelete}, {L"delete", kKeyDelete}, {L"end", kKeyEnd}, {L"hf", kKeyHandsFree},
    {L"handsfree", kKeyHandsFree}, {L"in", kKeyIn}, {L"out", kKeyOut}, {L"in2", kKeyIn2}, {L"out2", kKeyOut2},
};

const wchar_t kHelp[] =
    L"ok commands: key <0-9|*|#|call|up|down|del|end|hf|in|out|in2|out2|number>, dial <digits*#>, "
    L"hook on|off, lift, replace, cradle in|out, ring [on|off], notify <n>, reserved <n>, "
    L"fire <dispid> [i2:n|i4:n|bool:0|1|bstr:text|empty]..., plug, unplug, model <n>, channel <n>, "
    L"state, journal, olelog, clear, reset, show, hide, move <x> <y>, timed <command>";

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::vector<std::wstring> SplitWords(const std::wstring& line)
{
    std::vector<std::wstring> words;
    std::wstring word;
    for (wchar_t c : line) {
        if (c == L' ' || c == L'\t' || c == L'\r' || c == L'\n') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

// A whole decimal number, or hexadecimal after "0x", within [low, high].
bool ParseNumber(const std::wstring& text, long long low, long long high, long long& value)
{
    if (text.empty() || text.size() > 20)
        return false;
    size_t i = 0;
    bool negative = false;
    if (text[0] == L'-') {
        negative = true;
        i = 1;
    }
    int base = 10;
    if (text.size() > i + 2 && text[i] == L'0' && (text[i + 1] == L'x' || text[i + 1] == L'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return false;
    long long result = 0;
    for (; i < text.size(); ++i) {
        int digit;
        wchar_t c = text[i];
        if (c >= L'0' && c <= L'9')
            digit = c - L'0';
        else if (base == 16 && c >= L'a' && c <= L'f')
            digit = c - L'a' + 10;
        else if (base == 16 && c >= L'A' && c <= L'F')
            digit = c - L'A' + 10;
        else
            return false;
        result = result * base + digit;
        if (result > 0xFFFFFFFFLL)
            return false;
    }
    if (negative)
        result = -result;
    if (result < low || result > high)
        return false;
    value = result;
    return true;
}

// One character is that character's code; a name is a named key; anything
// else must be a number that fits the event's 16-bit argument.
bool ParseKey(const std::wstring& text, short& code)
{
    if (text.size() == 1) {
        code = static_cast<short>(text[0]);
        return true;
    }
    std::wstring name = Lower(text);
    for (const KeyName& key : kKeyNames) {
        if (name == key.name) {
            code = key.code;
            return true;
        }
    }
    long long value = 0;
    if (!ParseNumber(text, -32768, 32767, value))
        return false;
    code = static_cast<short>(value);
    return true;
}

// "i2:5", "i4:70000", "bool:1", "bstr:text" or "empty": one argument of a
// raw event.
bool ParseTypedArg(const std::wstring& text, VARIANT& arg)
{
    VariantInit(&arg);
    if (Lower(text) == L"empty")
        return true;
    size_t colon = text.find(L':');
    if (colon == std::wstring::npos)
        return false;
    std::wstring type = Lower(text.substr(0, colon));
    std::wstring value = text.substr(colon + 1);
    long long number = 0;
    if (type == L"i2" && ParseNumber(value, -32768, 32767, number)) {
        V_VT(&arg) = VT_I2;
        V_I2(&arg) = static_cast<short>(number);
        return true;
    }
    if (type == L"i4" && ParseNumber(value, -2147483647LL - 1, 2147483647LL, number)) {
        V_VT(&arg) = VT_I4;
        V_I4(&arg) = static_cast<LONG>(number);
        return true;
    }
    if (type == L"bool" && ParseNumber(value, 0, 1, number)) {
        arg = BoolArg(number != 0);
        return true;
    }
    if (type == L"bstr") {
        V_VT(&arg) = VT_BSTR;
        V_BSTR(&arg) = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
        return V_BSTR(&arg) != nullptr;
    }
    return false;
}

std::wstring JoinLines(const std::deque<std::wstring>& lines)
{
    std::wstring text = L"ok";
    for (const std::wstring& line : lines)
        text += L"\n" + line;
    return text;
}

}  // namespace

HandsetStartup ReadHandsetStartup()
{
    HandsetStartup startup;
    wchar_t value[256] = {};
    DWORD length = GetEnvironmentVariableW(kHandsetEnvironment, value, ARRAYSIZE(value));
    if (length == 0 || length >= ARRAYSIZE(value))
        return startup;
    std::wstring text(value, length);
    for (wchar_t& c : text) {
        if (c == L',' || c == L';')
            c = L' ';
    }
    for (const std::wstring& word : SplitWords(text)) {
        std::wstring lower = Lower(word);
        long long model = 0;
        if (lower == L"plugged")
            startup.plugged = true;
        else if (lower == L"unplugged")
            startup.plugged = false;
        else if (lower == L"hidden")
            startup.shown = false;
        else if (lower == L"shown")
            startup.shown = true;
        else if (lower.compare(0, 6, L"model=") == 0 && ParseNumber(word.substr(6), 0, 0xFFFFFFFFLL, model))
            startup.model = static_cast<DWORD>(model);
    }
    return startup;
}

std::wstring CHandsetCommands::Execute(const std::wstring& commandLine)
{
    std::vector<std::wstring> words = SplitWords(commandLine);
    if (words.empty())
        return L"error: empty command";
    std::wstring verb = Lower(words[0]);
    std::wstring arg = words.size() > 1 ? Lower(words[1]) : std::wstring();
    auto delivered = [](int count) { return L"ok delivered=" + std::to_wstring(count); };
    auto usage = [&](const wchar_t* form) { return L"error: usage: " + std::wstring(form); };

    if (verb == L"timed") {
        // Any command, its reply followed by the performance counter (one
        // clock for every process) just before it ran: when its event fired.
        if (words.size() < 2)
            return usage(L"timed <command>");
        LARGE_INTEGER fired = {};
        QueryPerformanceCounter(&fired);
        std::wstring rest = commandLine.substr(commandLine.find(words[0]) + words[0].size());
        return Execute(rest) + L" qpc=" + std::to_wstring(static_cast<long long>(fired.QuadPart));
    }

    if (verb == L"key") {
        short code = 0;
        if (words.size() != 2)
            return usage(L"key <key>");
        if (!ParseKey(words[1], code))
            return L"error: not a key: " + words[1];
        return delivered(m_state.PressKey(code));
    }
    if (verb == L"dial") {
        if (words.size() != 2)
            return usage(L"dial <digits>");
        for (wchar_t c : words[1]) {
            if (!(c >= L'0' && c <= L'9') && c != L'*' && c != L'#')
                return L"error: not a dial key: " + std::wstring(1, c);
        }
        int total = 0;
        for (wchar_t c : words[1])
            total += m_state.PressKey(static_cast<short>(c));
        return delivered(total);
    }
    if (verb == L"lift" && words.size() == 1)
        return delivered(m_state.SetHook(true));
    if (verb == L"replace" && words.size() == 1)
        return delivered(m_state.SetHook(false));
    if (verb == L"hook") {
        if (words.size() != 2 || (arg != L"on" && arg != L"off"))
            return usage(L"hook on|off");
        return delivered(m_state.SetHook(arg == L"off"));
    }
    if (verb == L"cradle") {
        if (words.size() != 2 || (arg != L"in" && arg != L"out"))
            return usage(L"cradle in|out");
        return delivered(m_state.SetCradle(arg == L"in"));
    }
    if (verb == L"ring") {
        if (words.size() > 2 || (words.size() == 2 && arg != L"on" && arg != L"off"))
            return usage(L"ring [on|off]");
        return delivered(m_state.RingLine(words.size() == 1 || arg == L"on"));
    }
    if (verb == L"notify" || verb == L"reserved") {
        long long value = 0;
        if (words.size() != 2 || !ParseNumber(words[1], -32768, 32767, value))
            return usage(L"notify|reserved <16-bit number>");
        VARIANT v = ShortArg(static_cast<short>(value));
        return delivered(m_state.FireToOpenControls(verb == L"notify" ? kEventIgnoredNotify : kEventReservedNotify, &v, 1));
    }
    if (verb == L"fire") {
        long long id = 0;
        if (words.size() < 2 || words.size() > 6 || !ParseNumber(words[1], -2147483647LL - 1, 2147483647LL, id))
            return usage(L"fire <dispid> [up to 4 typed arguments]");
        VARIANT args[4];
        UINT count = 0;
        bool ok = true;
        for (size_t i = 2; i < words.size(); ++i) {
            if (!ParseTypedArg(words[i], args[count])) {
                ok = false;
                break;
            }
            ++count;
        }
        int total = ok ? m_state.FireToOpenControls(static_cast<DISPID>(id), args, count) : 0;
        for (UINT i = 0; i < count; ++i)
            VariantClear(&args[i]);
        return ok ? delivered(total) : L"error: bad argument (i2:n, i4:n, bool:0|1, bstr:text, empty)";
    }
    if (verb == L"unplug" && words.size() == 1)
        return L"ok removed=" + std::to_wstring(m_state.Unplug());
    if (verb == L"plug" && words.size() == 1) {
        m_state.Plug();
        return L"ok";
    }
    if (verb == L"model") {
        long long model = 0;
        if (words.size() != 2 || !ParseNumber(words[1], 0, 0xFFFFFFFFLL, model))
            return usage(L"model <number>");
        return L"ok removed=" + std::to_wstring(m_state.SwapModel(static_cast<DWORD>(model)));
    }
    if (verb == L"channel") {
        long long channel = 0;
        if (words.size() != 2 || !ParseNumber(words[1], -32768, 32767, channel))
            return usage(L"channel <16-bit number>");
        m_state.SetLineChannel(static_cast<short>(channel));
        return L"ok";
    }
    if (verb == L"journal" && words.size() == 1)
        return JoinLines(m_state.JournalLines());
    if (verb == L"olelog" && words.size() == 1)
        return JoinLines(m_state.OleLogLines());
    if (verb == L"clear" && words.size() == 1) {
        m_state.ClearJournals();
        return L"ok";
    }
    if (verb == L"state" && words.size() == 1)
        return L"ok " + m_state.Describe() + L" window=" + (m_view.IsViewShown() ? L"shown" : L"hidden");
    if (verb == L"reset" && words.size() == 1) {
        // Back to the start-up state; connections lose the device silently.
        HandsetStartup startup = ReadHandsetStartup();
        m_state.Reset(startup);
        m_view.ShowView(startup.shown);
        return L"ok";
    }
    if ((verb == L"show" || verb == L"hide") && words.size() == 1) {
        m_view.ShowView(verb == L"show");
        return L"ok";
    }
    if (verb == L"move") {
        long long x = 0, y = 0;
        if (words.size() != 3 || !ParseNumber(words[1], -32768, 32767, x) || !ParseNumber(words[2], -32768, 32767, y))
            return usage(L"move <x> <y>");
        m_view.MoveView(static_cast<int>(x), static_cast<int>(y));
        return L"ok";
    }
    if (verb == L"help")
        return kHelp;
    return L"error: unknown command: " + words[0];
}

