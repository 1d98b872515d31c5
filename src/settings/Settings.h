// Named readers and writers of every key of the settings file and the
// language file. Every value is read from its file at the moment of use and
// every change is written at once; nothing is cached. The section and key
// names, defaults and limits live in Settings.cpp and nowhere else.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Buffer size for names, relative paths and window texts: 31 characters
// and the terminator.
const size_t kNameChars = 32;
// Buffer size for the language list's names: 255 characters and the terminator.
const size_t kLanguageListChars = 256;
// The list keys are "1" to "9999": at most four digits.
const int kMaxLanguageEntries = 9999;

// Indexes of the options dialog's lists, as stored in the settings file.
const int kRingTypeCount = 10;   // ring styles "0" to "9"
const int kChannelPstn = 0;
const int kChannelUsb = 1;

// [LanguageType] "0": the current messenger language, default "English",
// read with the limit of the buffer (31 at start-up and at the language
// dialog's OK, 255 when the dialog preselects its list).
void ReadCurrentLanguageName(wchar_t (&name)[kNameChars]);
void ReadCurrentLanguageName(wchar_t (&name)[kLanguageListChars]);
// Writes [LanguageType] "0": at most the first 31 characters of name, the
// most start-up reads back. A name holding a line break would add lines of
// its own to the file and is not written. False when nothing was written.
bool WriteCurrentLanguageName(const wchar_t* name);

// The languages the language dialog offers: [LanguageType] "1", "2", ... in
// order, each cut to 255 characters, up to the first key that is missing or
// empty (a missing number ends the list even if higher ones follow).
std::vector<std::wstring> ReadLanguageList();
// The name the language dialog's OK stores: [LanguageType] under the list
// index + 1 ("0", the current name, when nothing is selected), default
// "English", cut to 31 characters.
void ReadChosenLanguageName(int selectedIndex, wchar_t (&name)[kNameChars]);

// [LanguageFiles] <name>: the language file's path relative to the program
// directory, default "\Language\English.ini".
void ReadLanguageFile(const wchar_t* languageName, wchar_t (&relativePath)[kNameChars]);

// Every writer returns false, and leaves the file as it was, when there is no
// path yet, when the file is read-only or a folder, or when it holds NUL bytes
// without a UTF-16 byte-order mark (text the profile functions would misread
// and, rewriting it, destroy).

// [OPTION] RingType: index of the ring style, default 0. Written as one
// digit; an index outside 0 to 9 is not written (false).
int ReadRingType();
bool WriteRingType(int ringIndex);
// [OPTION] ChannelType: index of the adaptor's default channel, default 0.
// Written as "1" for the USB entry and "0" for every other index.
int ReadChannelType();
bool WriteChannelType(int channelIndex);

// [OPTION] Handset: the handset the user chose, by a stable id ("maker" for
// the maker's handset, "hid:VVVV:PPPP[:serial]" for a HID one), at most 63
// letters, digits and ":-_."; empty (the default, and for a value holding
// anything else) when nobody was chosen. Writing "" removes the key.
const size_t kHandsetIdChars = 64;
void ReadChosenHandset(wchar_t (&id)[kHandsetIdChars]);
bool WriteChosenHandset(const wchar_t* id);

// [OPTION] MissedCallNotice: whether a missed call shows a balloon and
// counts in the tray tip; on unless the value is 0. Not in the options
// dialog: set in the file.
bool ReadMissedCallNotice();
// [OPTION] LinkCallsAtOnce: whether a link's number is called as soon as it
// is typed into the messenger; off unless the value is non-zero (the user
// then places the call). Not in the options dialog: set in the file.
bool ReadLinkCallsAtOnce();

// The messenger's window texts, from the language file's [WINDOW_TEXT].
enum class WindowText { CallIn, VoiceMessage, HangUpButton };
// Reads one window text (at most 31 characters) with its built-in default.
void ReadWindowText(WindowText key, wchar_t (&text)[kNameChars]);
