// Copies and appends into fixed wide-character buffers, always stating the
// buffer's size and never writing past it.
#pragma once

#include <cstddef>
#include <cwchar>

// Copies as much of src as fits, always terminated. Returns false when cut.
inline bool CopyTruncated(wchar_t* dest, size_t cchDest, const wchar_t* src)
{
    if (cchDest == 0)
        return false;
    size_t i = 0;
    for (; i + 1 < cchDest && src[i] != L'\0'; ++i)
        dest[i] = src[i];
    dest[i] = L'\0';
    return src[i] == L'\0';
}

// Appends tail only when all of it fits; otherwise leaves dest unchanged.
inline bool AppendWhole(wchar_t* dest, size_t cchDest, const wchar_t* tail)
{
    size_t used = wcsnlen(dest, cchDest);
    if (used == cchDest)
        return false;   // dest is not even terminated within its size
    size_t tailLength = wcslen(tail);
    if (used + tailLength + 1 > cchDest)
        return false;
    wmemcpy(dest + used, tail, tailLength + 1);
    return true;
}

template <size_t N>
bool CopyTruncated(wchar_t (&dest)[N], const wchar_t* src) { return CopyTruncated(dest, N, src); }
template <size_t N>
bool AppendWhole(wchar_t (&dest)[N], const wchar_t* tail) { return AppendWhole(dest, N, tail); }
