#include "WideStringBuffer.h"

#include "FormatLength.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

// msvcrt's own formatter, named with its leading underscore: MinGW routes the
// unprefixed wide printf family to its ISO implementation (where %s in a wide
// format is a narrow string) whenever __USE_MINGW_ANSI_STDIO is on, as it is
// in every C++11 translation unit. _vsnwprintf is always msvcrt's.
int FormatWithMsvcrt(wchar_t* buffer, size_t count, const wchar_t* format, va_list args)
{
    return _vsnwprintf(buffer, count, format, args);
}

}  // namespace

bool CWideStringBuffer::Resize(size_t n)
{
    if (n <= m_nSize) {
        if (m_pData)
            wmemset(m_pData + n, L'\0', m_nSize - n);
        m_nSize = n;
        m_nLength = kUnmeasured;
        return true;
    }
    if (n > m_nCapacity) {
        if (n > SIZE_MAX / sizeof(wchar_t) - kGrowthChars)
            return false;
        size_t capacity = (n + kGrowthChars - 1) / kGrowthChars * kGrowthChars;
        void* grown = realloc(m_pData, capacity * sizeof(wchar_t));
        if (!grown)
            return false;
        m_pData = static_cast<wchar_t*>(grown);
        m_nCapacity = capacity;
    }
    wmemset(m_pData + m_nSize, L'\0', n - m_nSize);
    m_nSize = n;
    m_nLength = kUnmeasured;
    return true;
}

bool CWideStringBuffer::Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    bool formatted = FormatV(format, args);
    va_end(args);
    return formatted;
}

bool CWideStringBuffer::FormatV(const wchar_t* format, va_list args, size_t maxChars)
{
    Resize(0);
    if (!format)
        return false;
    size_t estimate = EstimateFormatLength(format, args);
    if (estimate > maxChars || !Resize(estimate + 1))
        return false;
    m_pData[estimate] = L'\0';
    // Never more than the estimate, so even a wrong estimate cannot overrun.
    va_list copy;
    va_copy(copy, args);
    int written = FormatWithMsvcrt(m_pData, estimate, format, copy);
    va_end(copy);
    size_t length = written >= 0 ? static_cast<size_t>(written) : wcsnlen(m_pData, estimate);
    Resize(length + 1);
    m_pData[length] = L'\0';
    m_nLength = length;
    return true;
}

void CWideStringBuffer::Free()
{
    if (m_pData) {
        wmemset(m_pData, L'\0', m_nSize);
        free(m_pData);
    }
    m_pData = nullptr;
    m_nCapacity = 0;
    m_nSize = 0;
    m_nLength = kUnmeasured;
}

size_t CWideStringBuffer::Length()
{
    if (m_nLength == kUnmeasured)
        m_nLength = m_pData ? wcsnlen(m_pData, m_nSize) : 0;
    return m_nLength;
}
