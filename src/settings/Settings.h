// Named readers and writers of the settings file's keys. Every value is read
// from the file at the moment of use; nothing is cached.
#pragma once

#include <cstddef>

// Buffer size for names, relative paths and window texts: 31 characters
// and the terminator.
const size_t kNameChars = 32;

// [LanguageType] "0": the current messenger language, default "English".
void ReadCurrentLanguageName(wchar_t (&name)[kNameChars]);
// [LanguageFiles] <name>: the language file's path relative to the program
// directory, default "\Language\English.ini".
void ReadLanguageFile(const wchar_t* languageName, wchar_t (&relativePath)[kNameChars]);

// The messenger's window texts, from the language file's [WINDOW_TEXT].
enum class WindowText { CallIn, VoiceMessage, HangUpButton };
// Reads one window text (at most 31 characters) with its built-in default.
void ReadWindowText(WindowText key, wchar_t (&text)[kNameChars]);
