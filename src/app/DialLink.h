// Phone numbers from links and command lines. A link comes from any web page
// or document: it is reduced to the characters a number may hold, or
// refused, and checked again wherever a number crosses a process boundary.
#pragma once

#include <cstddef>

// The longest number dialled: as many characters as a number box holds.
const size_t kMaxDialChars = 32;
const size_t kDialNumberChars = kMaxDialChars + 1;

// Why a link dials nothing; Dialable when it dials.
enum class DialVerdict { Dialable, NotALink, BadEscape, BadCharacter, ControlCharacter, MoreArguments, Empty,
                         TooLong };

// "tel:<number>" or "callto:<number>" (the scheme in any case, "callto://"
// too): percent-decodes (refusing a control character anywhere, NUL
// included), cuts at ';' or '?', drops the separators " -.()",
// keeps digits, '*', '#' and one leading '+'. number is empty unless the
// verdict is Dialable.
DialVerdict ParseDialLink(const wchar_t* link, wchar_t (&number)[kDialNumberChars]);
// The same for a bare number (after "/dial").
DialVerdict ParseDialNumber(const wchar_t* text, wchar_t (&number)[kDialNumberChars]);
// Whether a number is what the parser gives: an optional '+', then digits,
// '*' and '#', at least one digit, at most kMaxDialChars in all.
bool IsDialableNumber(const wchar_t* number, size_t maxChars = kDialNumberChars);
// The words of a verdict, for a trace line.
const wchar_t* DescribeVerdict(DialVerdict verdict);

// The number a command line asks to dial: "tel:..." or "callto:..." as an
// argument, or "/dial <number>", as the last argument (MoreArguments
// otherwise). Found: the verdict of its parse (number empty unless
// Dialable); no such argument: NotALink.
DialVerdict FindDialRequest(const wchar_t* commandLine, wchar_t (&number)[kDialNumberChars]);
// Whether the first argument is a link or "/dial": such a command line only
// ever asks to dial, whatever the link holds (a web page writes it).
bool IsDialCommandLine(const wchar_t* commandLine);
