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

// Percent escapes decode to single bytes; only the ASCII ones can be part of
// a number, so a decoded byte above 0x7F or a broken escape refuses the link.
bool PercentDecode(const wchar_t* text, wchar_t* out, size_t outChars)
{
    size_t n = 0;
    for (const wchar_t* p = text; *p; ++p) {
        wchar_t c = *p;
        if (c == L'%') {
            int high = HexValue(p[1]);
            int low = high < 0 ? -1 : HexValue(p[2]);
            if (low < 0 || high > 7)
                return false;
            c = static_cast<wchar_t>(high * 16 + low);
            p += 2;
        }
        if (n + 1 >= outChars)
            return false;
        out[n++] = c;
    }
    out[n] = L'\0';
    return true;
}

}  // namespace

DialVerdict ParseDialNumber(const wchar_t* text, wchar_t (&number)[kDialNumberChars])
{
    number[0] = L'\0';
    if (!text || wcslen(text) > kMaxLinkChars)
        return DialVerdict::TooLong;
    wchar_t decoded[kMaxLinkChars + 1];
    if (!PercentDecode(text, decoded, kMaxLinkChars + 1))
        return DialVerdict::BadEscape;
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
    case DialVerdict::Empty:
        return L"no digits";
    case DialVerdict::TooLong:
        return L"longer than a number box holds";
    }
    return L"";
}

DialVerdict FindDialRequest(const wchar_t* commandLine, wchar_t (&number)[kDialNumberChars])
{
    number[0] = L'\0';
    int argc = 0;
    std::unique_ptr<wchar_t*, LocalDeleter> argv(CommandLineToArgvW(commandLine ? commandLine : L"", &argc));
    if (!argv)
        return DialVerdict::NotALink;
    wchar_t** args = argv.get();
    for (int i = 1; i < argc; ++i) {
        if (_wcsicmp(args[i], kDialSwitch) == 0)
            return i + 1 < argc ? ParseDialNumber(args[i + 1], number) : DialVerdict::Empty;
        DialVerdict verdict = ParseDialLink(args[i], number);
        if (verdict != DialVerdict::NotALink)
            return verdict;
    }
    return DialVerdict::NotALink;
}
