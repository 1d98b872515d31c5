#include "DialLink.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <cwctype>
#include <memory>

namespace {

// The schemes a link may carry, and the option before a bare number.
const wchar_t* const kDialSchemes[] = {L"callto://", L"callto:", L"tel:"};
const wchar_t kDialSwitch[] = L"/dial";

struct LocalDeleter {
    void operator()(wchar_t** p) const { LocalFree(p); }
};

// Anything longer is no phone number, however many separators it holds.
const size_t kMaxLinkChars = 512;

bool IsSeparator(wchar_t c)
{
    return c == L' ' || c == L'-' || c == L'.' || c == L'(' || c == L')';
}

int HexValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

// A decoded NUL would end the number early, and a line break or other
// control character has no place in one: such a link is refused whole.
bool IsControlCharacter(wchar_t c)
{
    return c < 0x20 || c == 0x7F;
}

// Percent escapes decode to single bytes; only the ASCII ones can be part of
// a number, so a decoded byte above 0x7F or a broken escape refuses the link,
// and so does a control character, decoded or not, anywhere in it.
DialVerdict PercentDecode(const wchar_t* text, wchar_t* out, size_t outChars)
{
    size_t n = 0;
    for (const wchar_t* p = text; *p; ++p) {
        wchar_t c = *p;
        if (c == L'%') {
            int high = HexValue(p[1]);
            int low = high < 0 ? -1 : HexValue(p[2]);
            if (low < 0 || high > 7)
                return DialVerdict::BadEscape;
            c = static_cast<wchar_t>(high * 16 + low);
            p += 2;
        }
        if (IsControlCharacter(c))
            return DialVerdict::ControlCharacter;
        if (n + 1 >= outChars)
            return DialVerdict::TooLong;
        out[n++] = c;
    }
    out[n] = L'\0';
    return DialVerdict::Dialable;
}

}  // namespace

DialVerdict ParseDialNumber(const wchar_t* text, wchar_t (&number)[kDialNumberChars])
{
    number[0] = L'\0';
    if (!text || wcslen(text) > kMaxLinkChars)
        return DialVerdict::TooLong;
    wchar_t decoded[kMaxLinkChars + 1];
    const DialVerdict decoding = PercentDecode(text, decoded, kMaxLinkChars + 1);
    if (decoding != DialVerdict::Dialable)
        return decoding;
    // Parameters and a query follow the number: not part of it.
    decoded[wcscspn(decoded, L";?")] = L'\0';

    wchar_t kept[kDialNumberChars];
    size_t n = 0;
    bool digit = false;
    for (const wchar_t* p = decoded; *p; ++p) {
        const wchar_t c = *p;
        if (IsSeparator(c))
            continue;
        const bool plus = c == L'+' && n == 0;
        if (!plus && !(c >= L'0' && c <= L'9') && c != L'*' && c != L'#')
            return DialVerdict::BadCharacter;
        if (n >= kMaxDialChars)
            return DialVerdict::TooLong;
        digit = digit || (c >= L'0' && c <= L'9');
        kept[n++] = c;
    }
    if (!digit)
        return DialVerdict::Empty;
    kept[n] = L'\0';
    wmemcpy(number, kept, n + 1);
    return DialVerdict::Dialable;
}

DialVerdict ParseDialLink(const wchar_t* link, wchar_t (&number)[kDialNumberChars])
{
    number[0] = L'\0';
    if (!link)
        return DialVerdict::NotALink;
    for (const wchar_t* scheme : kDialSchemes) {
        const size_t length = wcslen(scheme);
        if (_wcsnicmp(link, scheme, length) == 0)
            return ParseDialNumber(link + length, number);
    }
    return DialVerdict::NotALink;
}

bool IsDialableNumber(const wchar_t* number, size_t maxChars)
{
    if (!number)
        return false;
    const size_t length = wcsnlen(number, maxChars);
    if (length == 0 || length > kMaxDialChars)
        return false;
    wchar_t parsed[kDialNumberChars];
    return ParseDialNumber(number, parsed) == DialVerdict::Dialable && wcscmp(parsed, number) == 0;
}

const wchar_t* DescribeVerdict(DialVerdict verdict)
{
    switch (verdict) {
    case DialVerdict::Dialable:
        return L"dialable";
    case DialVerdict::NotALink:
        return L"not a phone link";
    case DialVerdict::BadEscape:
        return L"a broken or non-ASCII percent escape";
    case DialVerdict::BadCharacter:
        return L"a character no phone number holds";
    case DialVerdict::ControlCharacter:
        return L"a control character";
    case DialVerdict::MoreArguments:
        return L"more arguments after the number";
    case DialVerdict::Empty:
        return L"no digits";
    case DialVerdict::TooLong:
        return L"longer than a number box holds";
    }
    return L"";
}

namespace {

// The arguments of a command line, as the C runtime would split them.
class CArguments {
public:
    explicit CArguments(const wchar_t* commandLine)
        : m_argv(CommandLineToArgvW(commandLine ? commandLine : L"", &m_argc))
    {
        if (!m_argv)
            m_argc = 0;
    }
    int Count() const { return m_argc; }
    const wchar_t* operator[](int i) const { return m_argv.get()[i]; }

private:
    int m_argc = 0;
    std::unique_ptr<wchar_t*, LocalDeleter> m_argv;
};

bool IsLinkScheme(const wchar_t* argument)
{
    for (const wchar_t* scheme : kDialSchemes) {
        if (_wcsnicmp(argument, scheme, wcslen(scheme)) == 0)
            return true;
    }
    return false;
}

}  // namespace

bool IsDialCommandLine(const wchar_t* commandLine)
{
    const CArguments args(commandLine);
    return args.Count() > 1 && (IsLinkScheme(args[1]) || _wcsicmp(args[1], kDialSwitch) == 0);
}

DialVerdict FindDialRequest(const wchar_t* commandLine, wchar_t (&number)[kDialNumberChars])
{
    number[0] = L'\0';
    const CArguments args(commandLine);
    for (int i = 1; i < args.Count(); ++i) {
        const bool dialSwitch = _wcsicmp(args[i], kDialSwitch) == 0;
        if (dialSwitch && i + 1 >= args.Count())
            return DialVerdict::Empty;
        // The number is the last argument: a number written with spaces but
        // no quotes, or a link cut by a quote it held, would otherwise be
        // called cut short.
        const int last = dialSwitch ? i + 1 : i;
        const DialVerdict verdict = dialSwitch ? ParseDialNumber(args[last], number) : ParseDialLink(args[i], number);
        if (verdict == DialVerdict::NotALink)
            continue;
        if (last + 1 < args.Count()) {
            number[0] = L'\0';
            return DialVerdict::MoreArguments;
        }
        return verdict;
    }
    return DialVerdict::NotALink;
}
