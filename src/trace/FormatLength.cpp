#include "FormatLength.h"

#include <cstdint>
#include <cstring>
#include <cwchar>

namespace {

// What each conversion may need at most, in characters. The first six are
// the long-standing allowances; the others cover what those miss: a sign or
// "0x" beside a long precision, the exponent and leading digits of the
// floating forms beside theirs, and the formatter's own default precision
// when none is given.
const uint64_t kIntegerMinimum = 32;     // any 64-bit integer in any base, with sign or prefix
const uint64_t kFloatMinimum = 128;      // %e, %g and %a of any double
const uint64_t kFixedDigits = 312;       // %f: the 309 integer digits of the largest double, sign, point, spare
const uint64_t kNullStringLength = 6;    // "(null)"
const uint64_t kCharLength = 2;
const uint64_t kAlternateExtra = 2;      // '#': "0x", or a point kept
const uint64_t kIntegerExtra = 3;        // sign or prefix beyond the precision's digits
const uint64_t kFloatExtra = 16;         // sign, leading digits, point, "e+308" or "p+1023" beyond the precision
const uint64_t kDefaultFloatPrecision = 6;
// Wine's msvcrt writes the sign and "0x" of a zero-padded infinity or NaN in
// %a beside the width rather than within it.
const uint64_t kFloatWidthSpare = 4;

enum class SizePrefix { None, Short, Long };

uint64_t Limit(uint64_t value)
{
    return value > kEstimateCeiling ? kEstimateCeiling : value;
}

uint64_t Larger(uint64_t a, uint64_t b)
{
    return a > b ? a : b;
}

bool IsDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

// Decimal digits as the formatter reads them, saturating instead of wrapping.
uint64_t AppendDigit(uint64_t value, wchar_t digit)
{
    return Limit(value * 10 + static_cast<uint64_t>(digit - L'0'));
}

bool IsIntegerConversion(wchar_t c)
{
    return c != L'\0' && wcschr(L"diouxX", c) != nullptr;
}

// One conversion, p just after its '%'. Known conversions are consumed; at
// an unknown letter (or the end) p stays on it, because the formatter then
// goes on from that character as if it were ordinary text.
uint64_t EstimateConversion(const wchar_t*& p, va_list& args)
{
    bool alternate = false;
    while (*p == L'+' || *p == L'-' || *p == L' ' || *p == L'0' || *p == L'#') {
        if (*p == L'#')
            alternate = true;
        ++p;
    }

    // A negative width from the arguments means left alignment: its size counts.
    uint64_t width = 0;
    if (*p == L'*') {
        ++p;
        int value = va_arg(args, int);
        width = value < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(value)) : static_cast<uint64_t>(value);
    }
    while (IsDigit(*p))
        width = AppendDigit(width, *p++);

    // A negative precision from the arguments counts as none, except that
    // Wine's msvcrt pads a floating-point number by its size: the floating
    // forms allow for that as well.
    bool hasPrecision = false;
    uint64_t precision = 0;
    uint64_t negativePrecision = 0;
    if (*p == L'.') {
        ++p;
        hasPrecision = true;
        if (*p == L'*') {
            ++p;
            int value = va_arg(args, int);
            if (value < 0) {
                hasPrecision = false;
                negativePrecision = static_cast<uint64_t>(-static_cast<int64_t>(value));
            } else {
                precision = static_cast<uint64_t>(value);
            }
        } else {
            while (IsDigit(*p))
                precision = AppendDigit(precision, *p++);
        }
    }

    bool is64Bit = false;
    bool isNative = false;
    bool isWide = false;
    SizePrefix size = SizePrefix::None;
    for (;;) {
        if (p[0] == L'l' && p[1] == L'l') {
            is64Bit = true;
            p += 2;
        } else if (*p == L'l') {
            size = SizePrefix::Long;
            ++p;
        } else if (*p == L'h') {
            size = SizePrefix::Short;
            ++p;
        } else if (*p == L'I') {
            if (p[1] == L'6' && p[2] == L'4') {
                is64Bit = true;
                p += 3;
            } else if (p[1] == L'3' && p[2] == L'2') {
                p += 3;
            } else if (IsIntegerConversion(p[1])) {
                isNative = true;
                ++p;
            } else {
                break;   // a lone I is itself the (unknown) conversion
            }
        } else if (*p == L'w') {
            isWide = true;
            ++p;
        } else if ((*p == L'z' || *p == L't') && IsIntegerConversion(p[1])) {
            isNative = true;
            ++p;
        } else if (*p == L'j') {
            is64Bit = true;
            ++p;
        } else if (*p == L'L' || *p == L'F' || *p == L'N') {
            ++p;
        } else {
            break;
        }
    }

    const uint64_t given = hasPrecision ? precision : 0;
    const uint64_t floatPrecision = hasPrecision ? precision : kDefaultFloatPrecision;
    const uint64_t extra = alternate ? kAlternateExtra : 0;
    const wchar_t conversion = *p;
    switch (conversion) {
    case L's':
    case L'S': {
        ++p;
        const void* text = va_arg(args, const void*);
        bool wideText = isWide || size == SizePrefix::Long || (size == SizePrefix::None && conversion == L's');
        uint64_t length = kNullStringLength;
        if (text) {
            // With a precision the formatter reads no further, nor may we.
            size_t most = hasPrecision ? static_cast<size_t>(precision) : SIZE_MAX;
            length = wideText ? wcsnlen(static_cast<const wchar_t*>(text), most)
                              : strnlen(static_cast<const char*>(text), most);
            length = Larger(length, 1);
        }
        if (hasPrecision && length > precision)
            length = precision;
        return Limit(Larger(length, width) + extra);
    }
    case L'c':
    case L'C':
        ++p;
        (void)va_arg(args, int);
        return Limit(Larger(kCharLength, width) + extra);
    case L'p':
        ++p;
        (void)va_arg(args, void*);
        return Limit(Larger(Larger(kIntegerMinimum, width + given), given + kIntegerExtra) + extra);
    case L'n':
        ++p;
        (void)va_arg(args, int*);
        return 0;
    case L'd':
    case L'i':
    case L'o':
    case L'u':
    case L'x':
    case L'X':
        ++p;
        if (is64Bit || (isNative && sizeof(void*) == 8))
            (void)va_arg(args, long long);
        else
            (void)va_arg(args, int);
        return Limit(Larger(Larger(kIntegerMinimum, width + given), given + kIntegerExtra) + extra);
    case L'e':
    case L'E':
    case L'g':
    case L'G':
    case L'a':
    case L'A':
        ++p;
        (void)va_arg(args, double);
        return Limit(Larger(Larger(kFloatMinimum, width + floatPrecision + kFloatWidthSpare),
                            floatPrecision + kFloatExtra) +
                     negativePrecision + extra);
    case L'f':
        ++p;
        (void)va_arg(args, double);
        return Limit(Larger(width, kFixedDigits + floatPrecision) + negativePrecision + extra);
    default:
        return 0;
    }
}

}  // namespace

size_t EstimateFormatLengthTaking(const wchar_t* format, va_list& args)
{
    if (!format)
        return 0;
    uint64_t total = 0;
    const wchar_t* p = format;
    while (*p) {
        if (*p != L'%') {
            ++p;
            total = Limit(total + 1);
            continue;
        }
        ++p;
        if (*p == L'%') {
            ++p;
            total = Limit(total + 1);
            continue;
        }
        total = Limit(total + EstimateConversion(p, args));
    }
    return static_cast<size_t>(total);
}

size_t EstimateFormatLength(const wchar_t* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    size_t length = EstimateFormatLengthTaking(format, copy);
    va_end(copy);
    return length;
}
