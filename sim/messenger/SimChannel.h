// Client side of the stand-in messenger's command channel, for the
// command-line tool and for tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Command windows of the stand-ins of one process (processId 0: of all).
std::vector<HWND> FindMessengerSims(DWORD processId);
// Sends one command line and waits for it to be carried out. False when no
// stand-in took it within timeoutMs; otherwise result holds its reply.
bool SendSimCommand(HWND hControl, const std::wstring& command, LRESULT& result, DWORD timeoutMs = 15000);
