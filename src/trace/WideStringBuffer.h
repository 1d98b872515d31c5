// CWideStringBuffer: a growable wide-character string that printf-style
// formatting writes into. Its allocation grows in steps of 64 characters
// and shrinks only when it is freed for good.
#pragma once

#include <cstdarg>
#include <cstddef>

class CWideStringBuffer {
public:
    static const size_t kGrowthChars = 64;

    CWideStringBuffer() = default;
    ~CWideStringBuffer() { Free(); }
    CWideStringBuffer(const CWideStringBuffer&) = delete;
    CWideStringBuffer& operator=(const CWideStringBuffer&) = delete;

    // Makes n characters the part in use. Shrinking zeroes the characters
    // given up and keeps the allocation; growing beyond the capacity
    // reallocates to the next multiple of 64; newly used characters are zero.
    // False, with nothing changed, when the memory cannot be had.
    bool Resize(size_t n);
    // Formats with msvcrt's wide formatter (Microsoft semantics) into a
    // buffer sized by EstimateFormatLength. False, with the buffer emptied,
    // when there is no format, no memory, or the estimate exceeds maxChars.
    bool Format(const wchar_t* format, ...);
    bool FormatV(const wchar_t* format, va_list args, size_t maxChars = static_cast<size_t>(-1));
    // Zeroes the part in use and frees the allocation.
    void Free();

    const wchar_t* Data() const { return m_pData; }
    wchar_t* Data() { return m_pData; }
    // The text, or "" while nothing is allocated.
    const wchar_t* c_str() const { return m_pData ? m_pData : L""; }
    size_t Capacity() const { return m_nCapacity; }
    size_t Size() const { return m_nSize; }
    // Characters before the first terminator within the size; measured once
    // and kept until the content changes.
    size_t Length();

private:
    static const size_t kUnmeasured = static_cast<size_t>(-1);

    wchar_t* m_pData = nullptr;
    size_t m_nCapacity = 0;          // characters allocated
    size_t m_nSize = 0;              // characters in use, the terminator's place included
    size_t m_nLength = kUnmeasured;  // cached Length()
};
