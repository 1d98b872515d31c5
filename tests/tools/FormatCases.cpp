#include "FormatCases.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

// Argument slots: 4 bytes for int and pointer on the 32-bit target, 8 for
// 64-bit integers and doubles; every argument takes 8 on the 64-bit target.
template <typename T>
void Push(std::vector<unsigned char>& area, T value)
{
    size_t slot = sizeof(T) < sizeof(void*) ? sizeof(void*) : sizeof(T);
    size_t at = area.size();
    area.resize(at + slot, 0);
    memcpy(area.data() + at, &value, sizeof(T));
}

const wchar_t kFlags[] = L"-+ 0#";
const wchar_t* const kIntegerPrefixes[] = {L"", L"", L"", L"h", L"l", L"ll", L"I64", L"I32", L"j", L"hh", L"L",
                                           L"F", L"N", L"w", L"lh", L"hl", L"I64h", L"lI64", L"Fl", L"NF"};
// Native-size prefixes: only directly before an integer conversion.
const wchar_t* const kNativePrefixes[] = {L"I", L"z", L"t", L"hI", L"lz"};
const wchar_t* const kOtherPrefixes[] = {L"", L"", L"", L"h", L"l", L"ll", L"I64", L"I32", L"j", L"w", L"L", L"F",
                                         L"N", L"hl", L"lh", L"wh", L"hw", L"Lw", L"FN", L"I64l"};
const wchar_t kIntegerConversions[] = L"diouxX";
const wchar_t kFloatConversions[] = L"eEfgGaA";
// Letters msvcrt does not know: the formatter prints them as text.
const wchar_t kUnknownLetters[] = L"bkmqrvyBDHJKMOPQRTUVWYZ";

}  // namespace

struct CFormatCaseGenerator::Builder {
    FormatCase& c;
    bool is64Bit = false;
};

CFormatCaseGenerator::CFormatCaseGenerator(uint32_t seed) : m_random(seed)
{
    const size_t lengths[] = {0, 1, 2, 5, 17, 64, 300, 3000};
    for (size_t length : lengths) {
        // Both bytes of every character printable: as narrow text the string
        // is twice as long.
        std::vector<wchar_t> twice;
        for (size_t i = 0; i < length; ++i)
            twice.push_back(static_cast<wchar_t>(0x2121 + (i * 0x0101) % 0x5D5D));
        twice.push_back(0);
        m_strings.push_back(twice);
        // First character ASCII: as narrow text the string is one character.
        std::vector<wchar_t> once;
        for (size_t i = 0; i < length; ++i)
            once.push_back(static_cast<wchar_t>(i == 0 ? L'A' : 0x4E00 + i % 500));
        once.push_back(0);
        m_strings.push_back(once);
    }
}

int CFormatCaseGenerator::RandomInt()
{
    switch (Pick(8)) {
    case 0:
        return 0;
    case 1:
        return Pick(2) ? INT_MIN : INT_MAX;
    case 2:
        return Pick(200) - 100;
    case 3:
        return -1;
    default:
        return static_cast<int>(m_random());
    }
}

double CFormatCaseGenerator::RandomDouble()
{
    switch (Pick(14)) {
    case 0:
        return 0.0;
    case 1:
        return -0.0;
    case 2:
        return Pick(2) ? DBL_MAX : -DBL_MAX;
    case 3:
        return DBL_MIN;
    case 4:
        return std::numeric_limits<double>::denorm_min();
    case 5:
        return Pick(2) ? INFINITY : -INFINITY;
    case 6:
        return Pick(2) ? NAN : -NAN;
    case 7:
        return 0.5 + Pick(1000);
    case 8:
        return 9.9999999 * pow(10.0, Pick(40) - 20);
    case 9: {
        uint64_t bits = (static_cast<uint64_t>(m_random()) << 32) | m_random();   // any pattern, NaNs included
        double value;
        memcpy(&value, &bits, sizeof value);
        return value;
    }
    default:
        return (static_cast<double>(static_cast<int>(m_random())) / 977.0) * pow(10.0, Pick(600) - 300);
    }
}

void CFormatCaseGenerator::AddText(Builder& b)
{
    int length = 1 + Pick(6);
    for (int i = 0; i < length; ++i) {
        switch (Pick(8)) {
        case 0:
            b.c.format += L"%%";
            break;
        case 1:
            b.c.format += static_cast<wchar_t>(0x4E00 + Pick(0x5000));
            break;
        default:
            b.c.format += static_cast<wchar_t>(L' ' + 1 + Pick(90) % 4);   // '!', '"', '#', '$'
            b.c.format += static_cast<wchar_t>(L'a' + Pick(26));
            break;
        }
    }
}

void CFormatCaseGenerator::AddFlagsWidthPrecision(Builder& b, IntegerKind integer, wchar_t conversion,
                                                  bool extremeValues)
{
    std::wstring flags;
    for (int count = Pick(4); count > 0; --count)
        flags += kFlags[Pick(5)];
    b.c.format += flags;

    // Wine's msvcrt sizes the digit buffer of an integer conversion in bytes
    // where it writes characters, so it overruns its heap for a precision
    // above 22 unless the width is about twice as large, for a width of 23
    // to 39, and for a width above 22 when "#0" (not left-aligned) pads a
    // hexadecimal number with zeros. Integer cases keep to what it survives;
    // the estimate is checked against such cases in TraceTest.cpp all the same.
    const int kSafeIntegerPrecision = 22;
    const bool zeroPadsHex = (conversion == L'x' || conversion == L'X') && flags.find(L'#') != std::wstring::npos &&
                             flags.find(L'0') != std::wstring::npos && flags.find(L'-') == std::wstring::npos;
    // A width or precision of INT_MIN sends it into some two billion
    // characters of a number (its negation and sign arithmetic wrap): only
    // strings, characters and pointers get those (extremeValues).
    auto safeWidth = [&](int width) {
        if (integer == IntegerKind::None)
            return width;
        if (zeroPadsHex && width > kSafeIntegerPrecision)
            return kSafeIntegerPrecision;
        int size = width < 0 ? -width : width;
        if (size > kSafeIntegerPrecision && size < 40)
            return width < 0 ? -40 : 40;
        return width;
    };
    if (integer != IntegerKind::None && !zeroPadsHex && OneIn(40)) {
        int precision = kSafeIntegerPrecision + 1 + Pick(Pick(10) ? 200 : 3000);
        int width = 2 * precision + 10 + Pick(50);
        if (Pick(2)) {
            b.c.format += std::to_wstring(width);
        } else {
            b.c.format += L'*';
            Push(b.c.arguments, Pick(2) ? width : -width);
        }
        b.c.format += L'.' + std::to_wstring(precision);
        return;
    }

    int width = Pick(10);
    if (width < 5) {
        // none
    } else if (width < 8) {
        int digits = Pick(100) < 95 ? Pick(41) : (Pick(20) ? 100 + Pick(4900) : 5000 + Pick(95000));
        b.c.format += std::to_wstring(safeWidth(digits));
    } else {
        b.c.format += L'*';
        int value = Pick(100) < 90 ? Pick(121) - 60
                                   : (Pick(20) ? Pick(10001) - 5000
                                               : (Pick(50) || !extremeValues ? Pick(200001) - 100000 : INT_MIN));
        Push(b.c.arguments, safeWidth(value));
        // Digits after '*' go on with the same width.
        if (integer == IntegerKind::None && OneIn(8))
            b.c.format += std::to_wstring(Pick(3));
    }

    int limit = integer != IntegerKind::None ? kSafeIntegerPrecision + 1 : 2460;
    int precision = Pick(10);
    if (precision < 5) {
        // none
    } else if (precision == 5) {
        b.c.format += L'.';
    } else if (precision < 9) {
        int digits = Pick(100) < 90 ? Pick(61) : (Pick(10) ? 60 + Pick(400) : 460 + Pick(2000));
        b.c.format += L'.' + std::to_wstring(digits % limit);
    } else {
        b.c.format += L".*";
        int value = Pick(100) < 90 ? Pick(81) - 20 : (Pick(10) || !extremeValues ? Pick(500) : INT_MIN + Pick(2));
        Push(b.c.arguments, value < 0 ? value : value % limit);
    }
}

void CFormatCaseGenerator::AddConversion(Builder& b)
{
    b.c.format += L'%';
    int kind = Pick(9);
    switch (kind) {
    case 0:
    case 1: {
        bool native = OneIn(6);
        std::wstring prefix = native ? kNativePrefixes[Pick(5)] : kIntegerPrefixes[Pick(20)];
        bool is64Bit = prefix.find(L"ll") != std::wstring::npos || prefix.find(L"I64") != std::wstring::npos ||
                       prefix.find(L'j') != std::wstring::npos || (native && sizeof(void*) == 8);
        wchar_t conversion = kIntegerConversions[Pick(6)];
        AddFlagsWidthPrecision(b, is64Bit ? IntegerKind::Wide : IntegerKind::Narrow, conversion, false);
        b.c.format += prefix;
        b.c.format += conversion;
        if (is64Bit)
            Push(b.c.arguments, static_cast<long long>((static_cast<uint64_t>(RandomInt()) << 32) ^ m_random()));
        else
            Push(b.c.arguments, RandomInt());
        return;
    }
    default:
        AddFlagsWidthPrecision(b, IntegerKind::None, L'\0', kind > 3);
        break;
    }
    switch (kind) {
    case 2:
    case 3:
        b.c.format += kOtherPrefixes[Pick(20)];
        b.c.format += kFloatConversions[Pick(7)];
        Push(b.c.arguments, RandomDouble());
        break;
    case 4:
    case 5: {
        b.c.format += kOtherPrefixes[Pick(20)];
        b.c.format += Pick(2) ? L's' : L'S';
        const void* text = OneIn(12) ? nullptr : m_strings[Pick(static_cast<int>(m_strings.size()))].data();
        Push(b.c.arguments, text);
        break;
    }
    case 6:
        b.c.format += kOtherPrefixes[Pick(20)];
        b.c.format += Pick(2) ? L'c' : L'C';
        Push(b.c.arguments, Pick(3) ? 0x20 + Pick(0x5F) : RandomInt());
        break;
    case 7:
        b.c.format += kOtherPrefixes[Pick(20)];
        b.c.format += L'p';
        Push(b.c.arguments, reinterpret_cast<void*>(static_cast<uintptr_t>(m_random())));
        break;
    default:
        b.c.format += L'n';
        Push(b.c.arguments, static_cast<void*>(&m_nCount));
        break;
    }
}

// Conversions the formatter does not know: it takes the arguments of their
// '*'s and goes on from the unknown character as text, or, when that is
// '%', as the start of the next conversion.
void CFormatCaseGenerator::AddMalformed(Builder& b)
{
    b.c.format += L'%';
    AddFlagsWidthPrecision(b, IntegerKind::None, L'\0', true);
    switch (Pick(4)) {
    case 0:
        b.c.format += kUnknownLetters[Pick(static_cast<int>(wcslen(kUnknownLetters)))];
        break;
    case 1:
        // A lone I, z or t before anything but an integer conversion.
        b.c.format += Pick(3) == 0 ? L"I" : (Pick(2) ? L"z" : L"t");
        b.c.format += L"sfc"[Pick(3)];
        break;
    case 2:
        b.c.format += L"h";
        b.c.format += kUnknownLetters[Pick(static_cast<int>(wcslen(kUnknownLetters)))];
        break;
    default:
        // '%' as the unknown character: the next conversion starts there.
        // (Straight after the first '%' it would be a literal percent.)
        if (b.c.format.back() == L'%')
            b.c.format += L'-';
        AddConversion(b);
        break;
    }
}

void CFormatCaseGenerator::Next(FormatCase& c)
{
    c.format.clear();
    c.arguments.clear();
    Builder b{c};
    // Half the cases hold one piece, so that the allowance of one conversion
    // cannot hide behind another's.
    int pieces = Pick(2) ? 1 : Pick(6);
    for (int i = 0; i < pieces; ++i) {
        switch (Pick(6)) {
        case 0:
            AddText(b);
            break;
        case 1:
            AddMalformed(b);
            break;
        default:
            AddConversion(b);
            break;
        }
    }
    c.format += L"%c";
    Push(c.arguments, static_cast<int>(kEndMarker));
    c.argumentBytes = c.arguments.size();
    // Slack, so that a formatter or estimate that took more than the case
    // intends reads zeros rather than beyond the area.
    c.arguments.resize(c.arguments.size() + 64, 0);
    c.description = Printable(c.format);
}

std::string Printable(const std::wstring& text)
{
    std::string out;
    for (wchar_t ch : text) {
        if (ch >= 0x20 && ch < 0x7F) {
            out += static_cast<char>(ch);
        } else {
            char escaped[16];
            snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(ch));
            out += escaped;
        }
    }
    return out;
}
