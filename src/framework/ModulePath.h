// Paths of the running program's files.
#pragma once

#include <windows.h>

#include <string>

// Full path of the module (null: the executable), read with a limit of
// MAX_PATH characters. Empty when the path does not fit.
std::wstring GetModuleFilePath(HMODULE hModule);
// The module's path up to, not including, its last '\' or '/'; empty when
// the path holds no separator.
std::wstring GetModuleDirectory(HMODULE hModule);
// The executable's directory into a MAX_PATH buffer, without a trailing
// separator. False (and an empty buffer) when the path does not fit.
bool GetProgramDirectory(wchar_t (&directory)[MAX_PATH]);
