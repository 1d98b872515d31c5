// The messenger's window texts in a language file: the section, each key and
// the text it reads as when missing (the messenger's Chinese edition), as the
// program reads them and the stand-in messenger shows them. The profile
// functions drop a default's trailing blanks: the call-in title in use is
// its three characters.
#pragma once

const wchar_t kWindowTextSection[] = L"WINDOW_TEXT";
const wchar_t kCallInTitleKey[] = L"WND_CALLIN";
const wchar_t kCallInTitleDefault[] = L"\u96C5\u864E\u901A  ";
const wchar_t kVoiceMessageKey[] = L"WND_VOICEMSG";
const wchar_t kVoiceMessageDefault[] = L"\u8BED\u97F3\u7559\u8A00";
const wchar_t kHangUpKey[] = L"BTN_HANGUP";
const wchar_t kHangUpDefault[] = L"\u7ED3\u675F\u901A\u8BDD";
