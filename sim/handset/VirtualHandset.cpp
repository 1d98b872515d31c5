#include "VirtualHandset.h"

#include "PhoneControl.h"
#include "SimIds.h"
#include "SimModule.h"

#include <cwchar>
#include <cwctype>

namespace {

const SimMethodSpec kMethods[] = {
    {kSimOpenDevice, L"OpenDevice", 1, {VT_I4}, VT_BOOL},
    {kSimCloseDevice, L"CloseDevice", 0, {}, VT_EMPTY},
    {kSimGetDeviceModel, L"GetDeviceModel", 0, {}, VT_I4},
    {kSimSetRingStyle, L"SetRingStyle", 2, {VT_BOOL, VT_I2}, VT_EMPTY},
    {kSimSignalKeyPress, L"SignalKeyPress", 1, {VT_I2}, VT_EMPTY},
    {kSimSetReady, L"SetReady", 0, {}, VT_EMPTY},
    {kSimShowNumber, L"ShowNumber", 1, {VT_BSTR}, VT_EMPTY},
    {kSimShowCallIn, L"ShowCallIn", 1, {VT_BSTR}, VT_EMPTY},
    {kSimShowInTalk, L"ShowInTalk", 1, {VT_BSTR}, VT_EMPTY},
    {kSimGetLineChannel, L"GetLineChannel", 0, {}, VT_I2},
    {kSimSetLineChannel, L"SetLineChannel", 1, {VT_I2}, VT_EMPTY},
    {kSimSetSpeaker, L"SetSpeaker", 1, {VT_BOOL}, VT_EMPTY},
    {kSimSetHandsFree, L"SetHandsFree", 1, {VT_I2}, VT_EMPTY},
    {kSimSetDefaultChannel, L"SetDefaultChannel", 1, {VT_I2}, VT_EMPTY},
};

// Journals are cut from the front beyond this, so that a handset left
// unplugged for days (one OpenDevice every 2 s) stays small.
const size_t kMaxJournalLines = 4096;

// Window layout, in pixels of the client area.
const int kMargin = 10;
const int kClientWidth = 268;
const int kClientHeight = 392;
const int kKeyWidth = 56;
const int kKeyHeight = 26;
const int kKeyPitchX = 62;
const int kKeyPitchY = 30;
const int kKeypadTop = 116;

enum ControlId : UINT {
    kIdDisplay = kHandsetDisplayId,
    kIdStatus,
    kIdLine,
    kIdDevice,
    kIdLifted,
    kIdCradle,
    kIdPstnLine,
    kIdRing,
    kIdRingOff,
    kIdPlugged,
    kIdModel,
    kIdKeyBase = 0x1000,   // + key code (0..0x7FFF)
};

struct KeyButton {
    const wchar_t* label;
    short code;
};

// The keypad as it is laid out: navigation and call keys, digits, and the
// other codes of the maker's key table.
const KeyButton kKeypad[6][4] = {
    {{L"Call", 135}, {L"Up", 131}, {L"End", 136}, {L"Del", 133}},
    {{L"H-free", 142}, {L"Down", 132}, {L"In", 129}, {L"Out", 130}},
    {{L"1", '1'}, {L"2", '2'}, {L"3", '3'}, {L"In 150", 150}},
    {{L"4", '4'}, {L"5", '5'}, {L"6", '6'}, {L"Out 151", 151}},
    {{L"7", '7'}, {L"8", '8'}, {L"9", '9'}, {L"138", 138}},
    {{L"*", '*'}, {L"0", '0'}, {L"#", '#'}, {nullptr, 0}},
};

struct KeyName {
    const wchar_t* name;
    short code;
};
const KeyName kKeyNames[] = {
    {L"star", '*'}, {L"hash", '#'}, {L"call", 135}, {L"up", 131}, {L"down", 132}, {L"del", 133},
    {L"delete", 133}, {L"end", 136}, {L"hf", 142}, {L"handsfree", 142}, {L"in", 129}, {L"out", 130},
    {L"in2", 150}, {L"out2", 151},
};

const wchar_t kHelp[] =
    L"ok commands: key <0-9|*|#|call|up|down|del|end|hf|in|out|in2|out2|number>, dial <digits*#>, "
    L"hook on|off, lift, replace, cradle in|out, ring [on|off], notify <n>, reserved <n>, "
    L"fire <dispid> [i2:n|i4:n|bool:0|1|bstr:text|empty]..., plug, unplug, model <n>, channel <n>, "
    L"state, journal, olelog, clear, reset, show, hide, move <x> <y>, timed <command>";

// A static control repaints at once on every WM_SETTEXT, even of the same
// text; the handset's state is written on every method call, so only what
// changed is written.
void SetItemText(HWND hDlg, int id, const std::wstring& text)
{
    wchar_t current[512] = {};
    GetDlgItemTextW(hDlg, id, current, ARRAYSIZE(current));
    if (text != current)
        SetDlgItemTextW(hDlg, id, text.c_str());
}

void SetItemCheck(HWND hDlg, int id, bool checked)
{
    UINT state = checked ? BST_CHECKED : BST_UNCHECKED;
    if (IsDlgButtonChecked(hDlg, id) != state)
        CheckDlgButton(hDlg, id, state);
}

const UINT kMsgRefresh = WM_APP + 1;

thread_local CVirtualHandset* t_pHandset = nullptr;
LONG g_cHandsets = 0;

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

std::wstring Quote(const BSTR text)
{
    std::wstring quoted = L"\"";
    UINT length = text ? SysStringLen(text) : 0;
    for (UINT i = 0; i < length; ++i) {
        wchar_t c = text[i];
        if (c == L'"' || c == L'\\') {
            quoted += L'\\';
            quoted += c;
        } else if (c < 0x20) {
            wchar_t escape[8];
            swprintf(escape, 8, L"\\x%02X", static_cast<unsigned>(c));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + L"\"";
}

std::wstring FormatValue(const VARIANT& value)
{
    switch (V_VT(&value)) {
    case VT_I2: return std::to_wstring(V_I2(&value));
    case VT_I4: return std::to_wstring(V_I4(&value));
    case VT_BOOL: return V_BOOL(&value) ? L"TRUE" : L"FALSE";
    case VT_BSTR: return Quote(V_BSTR(&value));
    default: return L"?";
    }
}

const wchar_t* FamilyName(DWORD model)
{
    if (model == 0)
        return L"none";
    if (model >= 0x0200 && model < 0x0500)
        return L"hands-free";
    if ((model >= 0x0520 && model < 0x0540) || (model >= 0x0570 && model < 0x0590))
        return L"PSTN-adaptor";
    if (model >= 0x0500 && model < 0x0590)
        return L"adaptor";
    if (model >= 0x0AB0 && model < 0x0B00)
        return L"speaker";
    return L"other";
}

std::wstring ModelText(DWORD model)
{
    wchar_t text[16];
    swprintf(text, 16, L"0x%04lX", static_cast<unsigned long>(model));
    return text;
}

VARIANT BoolArg(bool value)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

VARIANT ShortArg(short value)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I2;
    V_I2(&v) = value;
    return v;
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

void PushBounded(std::deque<std::wstring>& lines, const std::wstring& line)
{
    lines.push_back(line);
    while (lines.size() > kMaxJournalLines)
        lines.pop_front();
}

std::wstring JoinLines(const std::deque<std::wstring>& lines)
{
    std::wstring text = L"ok";
    for (const std::wstring& line : lines)
        text += L"\n" + line;
    return text;
}

}  // namespace

const SimMethodSpec* FindSimMethod(DISPID id)
{
    for (const SimMethodSpec& spec : kMethods) {
        if (spec.id == id)
            return &spec;
    }
    return nullptr;
}

CVirtualHandset* CVirtualHandset::ForThisThread()
{
    if (!t_pHandset) {
        // Lives until the process ends: its window may outlast every control.
        t_pHandset = new CVirtualHandset;
        InterlockedIncrement(&g_cHandsets);
    }
    return t_pHandset;
}

bool CVirtualHandset::AnyCreated()
{
    return g_cHandsets > 0;
}

CVirtualHandset::CVirtualHandset()
{
    ResetState();
    CreateHandsetWindow();
}

void CVirtualHandset::ResetState()
{
    m_model = kSimDefaultModel;
    m_bPlugged = false;
    m_bVisible = true;
    m_bLifted = false;
    m_bInCradle = true;
    m_display.clear();
    m_bReady = false;
    m_nRingStyle = 0;
    m_bRingStyleSaved = false;
    m_bHandsFree = false;
    m_bSpeaker = false;
    m_nLineChannel = 1;
    m_nDefaultChannel = 1;
    m_nKeySignals = 0;
    ApplyEnvironment();
}

void CVirtualHandset::ApplyEnvironment()
{
    wchar_t value[256] = {};
    DWORD length = GetEnvironmentVariableW(kHandsetEnvironment, value, ARRAYSIZE(value));
    if (length == 0 || length >= ARRAYSIZE(value))
        return;
    std::wstring text(value, length);
    for (wchar_t& c : text) {
        if (c == L',' || c == L';')
            c = L' ';
    }
    for (const std::wstring& word : SplitWords(text)) {
        std::wstring lower = Lower(word);
        long long model = 0;
        if (lower == L"plugged")
            m_bPlugged = true;
        else if (lower == L"unplugged")
            m_bPlugged = false;
        else if (lower == L"hidden")
            m_bVisible = false;
        else if (lower == L"shown")
            m_bVisible = true;
        else if (lower.compare(0, 6, L"model=") == 0 && ParseNumber(word.substr(6), 0, 0xFFFFFFFFLL, model))
            m_model = static_cast<DWORD>(model);
    }
}

void CVirtualHandset::Attach(CPhoneControl* control)
{
    m_controls.push_back(control);
    Refresh();
}

void CVirtualHandset::Detach(CPhoneControl* control)
{
    for (auto it = m_controls.begin(); it != m_controls.end(); ++it) {
        if (*it == control) {
            m_controls.erase(it);
            break;
        }
    }
    Refresh();
}

void CVirtualHandset::Journal(const std::wstring& line)
{
    PushBounded(m_journal, line);
}

void CVirtualHandset::OleLog(const std::wstring& line)
{
    PushBounded(m_oleLog, line);
}

void CVirtualHandset::JournalRefused(const SimMethodSpec& spec, const std::wstring& why)
{
    Journal(std::wstring(spec.name) + L" refused: " + why);
}

void CVirtualHandset::CallMethod(CPhoneControl& from, const SimMethodSpec& spec, const VARIANT* args, VARIANT* result)
{
    std::wstring line = std::wstring(spec.name) + L"(";
    for (UINT i = 0; i < spec.argCount; ++i)
        line += (i ? L"," : L"") + FormatValue(args[i]);
    line += L")";

    VariantInit(result);
    V_VT(result) = spec.resultType;
    bool open = from.IsOpen();
    if (spec.id == kSimOpenDevice) {
        from.SetOpen(m_bPlugged);
        V_BOOL(result) = m_bPlugged ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (!open) {
        // A connection without the device changes nothing on it; reads give 0.
        if (spec.resultType == VT_I4)
            V_I4(result) = 0;
        else if (spec.resultType == VT_I2)
            V_I2(result) = 0;
    } else {
        switch (spec.id) {
        case kSimCloseDevice: from.SetOpen(false); break;
        case kSimGetDeviceModel: V_I4(result) = static_cast<LONG>(m_model); break;
        case kSimSetRingStyle:
            m_bRingStyleSaved = V_BOOL(&args[0]) != VARIANT_FALSE;
            m_nRingStyle = V_I2(&args[1]);
            break;
        case kSimSignalKeyPress: ++m_nKeySignals; break;
        case kSimSetReady:
            m_display.clear();
            m_bReady = true;
            break;
        case kSimShowNumber:
        case kSimShowCallIn:
        case kSimShowInTalk:
            m_display.assign(V_BSTR(&args[0]) ? V_BSTR(&args[0]) : L"", SysStringLen(V_BSTR(&args[0])));
            m_bReady = false;
            break;
        case kSimGetLineChannel: V_I2(result) = m_nLineChannel; break;
        case kSimSetLineChannel: m_nLineChannel = V_I2(&args[0]); break;
        case kSimSetSpeaker: m_bSpeaker = V_BOOL(&args[0]) != VARIANT_FALSE; break;
        case kSimSetHandsFree: m_bHandsFree = V_I2(&args[0]) != 0; break;
        case kSimSetDefaultChannel: m_nDefaultChannel = V_I2(&args[0]); break;
        default: break;
        }
    }
    if (spec.resultType != VT_EMPTY)
        line += L"=" + FormatValue(*result);
    if (!open && spec.id != kSimOpenDevice)
        line += L" [closed]";
    Journal(line);
    Refresh();
}

int CVirtualHandset::FireToOpenControls(DISPID id, VARIANT* args, UINT count)
{
    // A handler may release a control: each is kept until its event is done.
    std::vector<CSimComPtr<IDispatch>> open;
    for (CPhoneControl* control : m_controls) {
        if (control->IsOpen()) {
            control->AddRef();
            open.emplace_back(control);
        }
    }
    int delivered = 0;
    for (const CSimComPtr<IDispatch>& control : open)
        delivered += static_cast<CPhoneControl*>(control.get())->FireEvent(id, args, count);
    return delivered;
}

int CVirtualHandset::RemoveFromOpenControls()
{
    std::vector<CSimComPtr<IDispatch>> open;
    for (CPhoneControl* control : m_controls) {
        if (control->IsOpen()) {
            control->AddRef();
            control->SetOpen(false);
            open.emplace_back(control);
        }
    }
    int delivered = 0;
    for (const CSimComPtr<IDispatch>& control : open)
        delivered += static_cast<CPhoneControl*>(control.get())->FireEvent(kSimDeviceRemoved, nullptr, 0);
    return delivered;
}

int CVirtualHandset::PressKey(short code)
{
    VARIANT arg = ShortArg(code);
    return FireToOpenControls(kSimKeyPressed, &arg, 1);
}

int CVirtualHandset::SetHook(bool lifted)
{
    m_bLifted = lifted;
    Refresh();
    VARIANT onHook = BoolArg(!lifted);
    return FireToOpenControls(kSimHookChanged, &onHook, 1);
}

int CVirtualHandset::SetCradle(bool inCradle)
{
    m_bInCradle = inCradle;
    Refresh();
    VARIANT arg = BoolArg(inCradle);
    return FireToOpenControls(kSimCradleChanged, &arg, 1);
}

int CVirtualHandset::RingLine(bool ringing)
{
    VARIANT arg = BoolArg(ringing);
    return FireToOpenControls(kSimLineRing, &arg, 1);
}

int CVirtualHandset::Unplug()
{
    m_bPlugged = false;
    int delivered = RemoveFromOpenControls();
    Refresh();
    return delivered;
}

// Another handset on the same plug: the open one goes away first.
int CVirtualHandset::SwapModel(DWORD model)
{
    m_model = model;
    int delivered = RemoveFromOpenControls();
    Refresh();
    return delivered;
}

std::wstring CVirtualHandset::StateText() const
{
    int open = 0;
    for (CPhoneControl* control : m_controls)
        open += control->IsOpen() ? 1 : 0;
    std::wstring display = L"\"";
    for (wchar_t c : m_display)
        display += (c == L'"' || c < 0x20) ? L'?' : c;
    display += L"\"";
    return L"model=" + ModelText(m_model) + L" family=" + FamilyName(m_model) +
           L" plugged=" + std::to_wstring(m_bPlugged) + L" open=" + std::to_wstring(open) +
           L" controls=" + std::to_wstring(m_controls.size()) + L" display=" + display +
           L" ready=" + std::to_wstring(m_bReady) + L" ringstyle=" + std::to_wstring(m_nRingStyle) +
           L" ringsaved=" + std::to_wstring(m_bRingStyleSaved) + L" handsfree=" + std::to_wstring(m_bHandsFree) +
           L" speaker=" + std::to_wstring(m_bSpeaker) + L" channel=" + std::to_wstring(m_nLineChannel) +
           L" defaultchannel=" + std::to_wstring(m_nDefaultChannel) + L" hook=" + (m_bLifted ? L"off" : L"on") +
           L" cradle=" + (m_bInCradle ? L"in" : L"out") + L" signals=" + std::to_wstring(m_nKeySignals) +
           L" window=" + (m_hWnd && IsWindowVisible(m_hWnd) ? L"shown" : L"hidden");
}

std::wstring CVirtualHandset::Execute(const std::wstring& commandLine)
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
        return delivered(PressKey(code));
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
            total += PressKey(static_cast<short>(c));
        return delivered(total);
    }
    if (verb == L"lift" && words.size() == 1)
        return delivered(SetHook(true));
    if (verb == L"replace" && words.size() == 1)
        return delivered(SetHook(false));
    if (verb == L"hook") {
        if (words.size() != 2 || (arg != L"on" && arg != L"off"))
            return usage(L"hook on|off");
        return delivered(SetHook(arg == L"off"));
    }
    if (verb == L"cradle") {
        if (words.size() != 2 || (arg != L"in" && arg != L"out"))
            return usage(L"cradle in|out");
        return delivered(SetCradle(arg == L"in"));
    }
    if (verb == L"ring") {
        if (words.size() > 2 || (words.size() == 2 && arg != L"on" && arg != L"off"))
            return usage(L"ring [on|off]");
        return delivered(RingLine(words.size() == 1 || arg == L"on"));
    }
    if (verb == L"notify" || verb == L"reserved") {
        long long value = 0;
        if (words.size() != 2 || !ParseNumber(words[1], -32768, 32767, value))
            return usage(L"notify|reserved <16-bit number>");
        VARIANT v = ShortArg(static_cast<short>(value));
        return delivered(FireToOpenControls(verb == L"notify" ? kSimIgnoredNotify : kSimReservedNotify, &v, 1));
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
        int total = ok ? FireToOpenControls(static_cast<DISPID>(id), args, count) : 0;
        for (UINT i = 0; i < count; ++i)
            VariantClear(&args[i]);
        return ok ? delivered(total) : L"error: bad argument (i2:n, i4:n, bool:0|1, bstr:text, empty)";
    }
    if (verb == L"unplug" && words.size() == 1)
        return L"ok removed=" + std::to_wstring(Unplug());
    if (verb == L"plug" && words.size() == 1) {
        m_bPlugged = true;
        Refresh();
        return L"ok";
    }
    if (verb == L"model") {
        long long model = 0;
        if (words.size() != 2 || !ParseNumber(words[1], 0, 0xFFFFFFFFLL, model))
            return usage(L"model <number>");
        return L"ok removed=" + std::to_wstring(SwapModel(static_cast<DWORD>(model)));
    }
    if (verb == L"channel") {
        long long channel = 0;
        if (words.size() != 2 || !ParseNumber(words[1], -32768, 32767, channel))
            return usage(L"channel <16-bit number>");
        m_nLineChannel = static_cast<short>(channel);
        Refresh();
        return L"ok";
    }
    if (verb == L"journal" && words.size() == 1)
        return JoinLines(m_journal);
    if (verb == L"olelog" && words.size() == 1)
        return JoinLines(m_oleLog);
    if (verb == L"clear" && words.size() == 1) {
        m_journal.clear();
        m_oleLog.clear();
        return L"ok";
    }
    if (verb == L"state" && words.size() == 1)
        return L"ok " + StateText();
    if (verb == L"reset" && words.size() == 1) {
        // Back to the start-up state; connections lose the device silently.
        for (CPhoneControl* control : m_controls)
            control->SetOpen(false);
        ResetState();
        m_journal.clear();
        m_oleLog.clear();
        if (m_hWnd)
            ShowWindow(m_hWnd, m_bVisible ? SW_SHOWNOACTIVATE : SW_HIDE);
        Refresh();
        return L"ok";
    }
    if ((verb == L"show" || verb == L"hide") && words.size() == 1) {
        m_bVisible = verb == L"show";
        if (m_hWnd)
            ShowWindow(m_hWnd, m_bVisible ? SW_SHOWNOACTIVATE : SW_HIDE);
        return L"ok";
    }
    if (verb == L"move") {
        long long x = 0, y = 0;
        if (words.size() != 3 || !ParseNumber(words[1], -32768, 32767, x) || !ParseNumber(words[2], -32768, 32767, y))
            return usage(L"move <x> <y>");
        if (m_hWnd)
            SetWindowPos(m_hWnd, nullptr, static_cast<int>(x), static_cast<int>(y), 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return L"ok";
    }
    if (verb == L"help")
        return kHelp;
    return L"error: unknown command: " + words[0];
}

// --- The window ------------------------------------------------------------

void CVirtualHandset::CreateHandsetWindow()
{
    HINSTANCE hInstance = GetSimModule();
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kHandsetWindowClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return;

    const DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_TOOLWINDOW;
    RECT frame = {0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    // Bottom right of the work area, clear of the notification area's
    // stand-alone window at the top left.
    RECT work = {0, 0, 1024, 768};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    m_hWnd = CreateWindowExW(exStyle, kHandsetWindowClass, kHandsetWindowTitle, style, work.right - width - 8,
                             work.bottom - height - 8, width, height, nullptr, nullptr, hInstance, this);
    if (m_hWnd && m_bVisible)
        ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);
}

LRESULT CALLBACK CVirtualHandset::WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<CVirtualHandset*>(create->lpCreateParams)->m_hWnd = hWnd;
    }
    auto* handset = reinterpret_cast<CVirtualHandset*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (!handset)
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    return handset->OnMessage(msg, wParam, lParam);
}

LRESULT CVirtualHandset::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE: {
        HINSTANCE hInstance = GetSimModule();
        m_font.reset(CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma"));
        m_displayFont.reset(CreateFontW(-26, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma"));
        m_displayBrush.reset(CreateSolidBrush(RGB(198, 222, 170)));
        HFONT hFont = m_font.get();
        HFONT hDisplayFont = m_displayFont.get();
        auto make = [&](const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, UINT id,
                        HFONT font) {
            HWND hChild = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, m_hWnd,
                                          reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), hInstance, nullptr);
            SendMessageW(hChild, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
            return hChild;
        };
        const int width = kClientWidth - 2 * kMargin;
        make(L"STATIC", L"", SS_CENTER | SS_CENTERIMAGE | SS_SUNKEN | SS_NOPREFIX, kMargin, 8, width, 46, kIdDisplay,
             hDisplayFont);
        make(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kMargin, 58, width, 16, kIdStatus, hFont);
        make(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kMargin, 76, width, 16, kIdLine, hFont);
        make(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kMargin, 94, width, 16, kIdDevice, hFont);
        for (int row = 0; row < 6; ++row) {
            for (int col = 0; col < 4; ++col) {
                const KeyButton& key = kKeypad[row][col];
                if (!key.label)
                    continue;
                make(L"BUTTON", key.label, BS_PUSHBUTTON, kMargin + col * kKeyPitchX, kKeypadTop + row * kKeyPitchY,
                     kKeyWidth, kKeyHeight, kIdKeyBase + static_cast<UINT>(key.code), hFont);
            }
        }
        const int switches = kKeypadTop + 6 * kKeyPitchY + 4;
        make(L"BUTTON", L"Lifted", BS_AUTOCHECKBOX, kMargin, switches, 70, 20, kIdLifted, hFont);
        make(L"BUTTON", L"In cradle", BS_AUTOCHECKBOX, kMargin + 80, switches, 80, 20, kIdCradle, hFont);
        make(L"BUTTON", L"PSTN line", BS_AUTOCHECKBOX, kMargin + 170, switches, 80, 20, kIdPstnLine, hFont);
        make(L"BUTTON", L"Line ring", BS_PUSHBUTTON, kMargin, switches + 26, 76, 24, kIdRing, hFont);
        make(L"BUTTON", L"Ring off", BS_PUSHBUTTON, kMargin + 82, switches + 26, 76, 24, kIdRingOff, hFont);
        make(L"BUTTON", L"Plugged in", BS_AUTOCHECKBOX, kMargin + 166, switches + 28, 84, 20, kIdPlugged, hFont);
        HWND hModel = make(L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL, kMargin, switches + 58, width, 160,
                           kIdModel, hFont);
        for (const SimModelChoice& choice : kSimModels)
            SendMessageW(hModel, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.name));
        return 0;
    }
    case WM_CTLCOLORSTATIC:
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == kIdDisplay) {
            HDC hdc = reinterpret_cast<HDC>(wParam);
            SetBkColor(hdc, RGB(198, 222, 170));
            SetTextColor(hdc, RGB(20, 40, 20));
            return reinterpret_cast<LRESULT>(m_displayBrush.get());
        }
        break;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case kMsgRefresh:
        if (m_bRefreshPosted)
            RefreshNow();
        return 0;
    case WM_COPYDATA:
        return OnChannelRequest(reinterpret_cast<HWND>(wParam), reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_CLOSE:
        // The handset stays for the process's life; closing only hides it.
        m_bVisible = false;
        ShowWindow(m_hWnd, SW_HIDE);
        return 0;
    case WM_DESTROY:
        m_hWnd = nullptr;
        return 0;
    case WM_NCDESTROY:
        // The children that used them are gone.
        m_font.reset();
        m_displayFont.reset();
        m_displayBrush.reset();
        break;
    default:
        break;
    }
    return DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

void CVirtualHandset::OnCommand(UINT id, UINT code)
{
    if (m_bRefreshing)
        return;
    if (id >= kIdKeyBase && code == BN_CLICKED) {
        PressKey(static_cast<short>(id - kIdKeyBase));
        return;
    }
    bool checked = m_hWnd && IsDlgButtonChecked(m_hWnd, static_cast<int>(id)) == BST_CHECKED;
    switch (id) {
    case kIdLifted: SetHook(checked); break;
    case kIdCradle: SetCradle(checked); break;
    case kIdPstnLine:
        m_nLineChannel = checked ? 0 : 1;
        Refresh();
        break;
    case kIdRing: RingLine(true); break;
    case kIdRingOff: RingLine(false); break;
    case kIdPlugged:
        if (checked) {
            m_bPlugged = true;
            Refresh();
        } else {
            Unplug();
        }
        break;
    case kIdModel:
        if (code == CBN_SELCHANGE) {
            LRESULT index = SendDlgItemMessageW(m_hWnd, kIdModel, CB_GETCURSEL, 0, 0);
            if (index >= 0 && index < static_cast<LRESULT>(ARRAYSIZE(kSimModels)))
                SwapModel(kSimModels[index].model);
        }
        break;
    default: break;
    }
}

// One request of the command channel: run it on this (the GUI) thread and
// send the reply to the requester's window before returning.
LRESULT CVirtualHandset::OnChannelRequest(HWND hReplyTo, const COPYDATASTRUCT* request)
{
    if (!request || request->dwData != kChannelRequest)
        return FALSE;
    std::wstring reply;
    size_t chars = request->cbData / sizeof(wchar_t);
    if (request->cbData % sizeof(wchar_t) != 0 || (request->cbData && !request->lpData))
        reply = L"error: malformed request";
    else if (chars > kMaxRequestChars)
        reply = L"error: request longer than " + std::to_wstring(kMaxRequestChars) + L" characters";
    else {
        std::wstring command(chars, L'\0');
        if (chars)
            memcpy(&command[0], request->lpData, chars * sizeof(wchar_t));
        reply = Execute(command);
    }
    // A script that has its answer sees the window as the state says.
    if (m_bRefreshPosted)
        RefreshNow();
    if (hReplyTo && IsWindow(hReplyTo)) {
        COPYDATASTRUCT answer = {kChannelReply, static_cast<DWORD>(reply.size() * sizeof(wchar_t)),
                                 const_cast<wchar_t*>(reply.data())};
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(hReplyTo, WM_COPYDATA, reinterpret_cast<WPARAM>(m_hWnd),
                            reinterpret_cast<LPARAM>(&answer), SMTO_NORMAL | SMTO_ABORTIFHUNG, 5000, &ignored);
    }
    return TRUE;
}

// The device's methods only change its state: painting the window inside
// them would hold up the caller (the key handler, between a key and its
// digit reaching the messenger), which a real handset's display does not.
void CVirtualHandset::Refresh()
{
    if (!m_hWnd || m_bRefreshPosted)
        return;
    m_bRefreshPosted = PostMessageW(m_hWnd, kMsgRefresh, 0, 0) != FALSE;
    if (!m_bRefreshPosted)
        RefreshNow();
}

void CVirtualHandset::RefreshNow()
{
    m_bRefreshPosted = false;
    if (!m_hWnd)
        return;
    m_bRefreshing = true;
    int open = 0;
    for (CPhoneControl* control : m_controls)
        open += control->IsOpen() ? 1 : 0;
    SetItemText(m_hWnd, kIdDisplay, m_display);
    std::wstring status = std::wstring(m_bReady ? L"READY" : L"busy") + L"   ring style " +
                          std::to_wstring(m_nRingStyle) + L"   " + (m_bHandsFree ? L"HF on" : L"HF off") + L"   " +
                          (m_bSpeaker ? L"SPK on" : L"SPK off");
    SetItemText(m_hWnd, kIdStatus, status);
    std::wstring line = std::wstring(L"line ") + (m_nLineChannel == 0 ? L"PSTN" : L"USB") + L" (default " +
                        (m_nDefaultChannel == 0 ? L"PSTN" : L"USB") + L")   beeps " + std::to_wstring(m_nKeySignals);
    SetItemText(m_hWnd, kIdLine, line);
    std::wstring device = L"model " + ModelText(m_model) + L" " + FamilyName(m_model) + L"   " +
                          (!m_bPlugged ? L"unplugged" : open ? L"open" : L"plugged in");
    SetItemText(m_hWnd, kIdDevice, device);
    SetItemCheck(m_hWnd, kIdLifted, m_bLifted);
    SetItemCheck(m_hWnd, kIdCradle, m_bInCradle);
    SetItemCheck(m_hWnd, kIdPstnLine, m_nLineChannel == 0);
    SetItemCheck(m_hWnd, kIdPlugged, m_bPlugged);
    int selection = -1;
    for (size_t i = 0; i < ARRAYSIZE(kSimModels); ++i) {
        if (kSimModels[i].model == m_model)
            selection = static_cast<int>(i);
    }
    if (SendDlgItemMessageW(m_hWnd, kIdModel, CB_GETCURSEL, 0, 0) != selection)
        SendDlgItemMessageW(m_hWnd, kIdModel, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
    m_bRefreshing = false;
}
