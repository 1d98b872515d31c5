// How long a wide printf-style format can get, worked out from the format and
// its arguments before anything is formatted.
#pragma once

#include <cstdarg>
#include <cstddef>

// The largest estimate: the formatter counts in an int and cannot write more.
const size_t kEstimateCeiling = 0x7FFFFFFF;

// A number of characters never smaller than what msvcrt's wide formatter
// (Microsoft semantics: %s wide, %S narrow, I64, ...) writes for format and
// args, terminator not counted. args is not moved.
size_t EstimateFormatLength(const wchar_t* format, va_list args);
// The same, moving args past every argument the format takes, exactly as
// the formatter steps through them.
size_t EstimateFormatLengthTaking(const wchar_t* format, va_list& args);
