// Reading another process's list view: its messages carry pointers, which
// must point into that process, so the item is built and read back there.
#pragma once

#include <windows.h>

#include <cstddef>

// The text of the list view's selected item (its first column), read within
// the bound of each sent message; false, with text empty, when nothing is
// selected, the process cannot be read, or the text does not fit.
bool ReadSelectedItemText(HWND hList, wchar_t* text, size_t textChars);
