// Generated wide printf formats with arguments laid out as a caller's
// variable arguments, for checking format-length estimates against the real
// formatter. Each case ends in "%c" of kEndMarker, a character no case uses
// otherwise: a formatter that took the arguments otherwise than the case
// intends does not end with it. (A %c costs the estimate one spare character.)
#pragma once

#include <cstdarg>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// The cases build a va_list by hand: MinGW's is a plain pointer into the
// argument area on both targets (Arguments() does not compile otherwise).
static_assert(sizeof(va_list) == sizeof(void*), "va_list must be a pointer into the argument area");

const wchar_t kEndMarker = L'\u2603';

struct FormatCase {
    std::wstring format;
    std::vector<unsigned char> arguments;   // as the caller would have pushed them
    size_t argumentBytes = 0;               // the part the format takes
    std::string description;                // the format in printable form

    va_list Arguments() { return reinterpret_cast<va_list>(arguments.data()); }
};

class CFormatCaseGenerator {
public:
    explicit CFormatCaseGenerator(uint32_t seed);
    void Next(FormatCase& c);

private:
    struct Builder;
    enum class IntegerKind { None, Narrow, Wide };
    void AddText(Builder& b);
    void AddConversion(Builder& b);
    void AddMalformed(Builder& b);
    void AddFlagsWidthPrecision(Builder& b, IntegerKind integer, wchar_t conversion, bool extremeValues);
    int RandomInt();
    double RandomDouble();
    int Pick(int n) { return static_cast<int>(m_random() % static_cast<uint32_t>(n)); }
    bool OneIn(int n) { return Pick(n) == 0; }

    std::mt19937 m_random;
    // Strings that read differently as wide and as narrow text, so that
    // taking one for the other changes the length.
    std::vector<std::vector<wchar_t>> m_strings;
    int m_nCount = 0;   // scratch for %n
};

// Printable form of a format for failure messages.
std::string Printable(const std::wstring& text);
