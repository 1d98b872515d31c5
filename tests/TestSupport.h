// Helpers for tests that drive real windows, processes, files and registry
// values under Wine. Every helper that creates something removes it again.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The class id under which the maker's control (and its stand-in) registers.
const wchar_t kMakersClsid[] = L"{797E1292-653D-43DD-AE7E-F6606A73C647}";

// Handles this thread's messages the way the application's loop does
// (dialog keyboard handling included), for up to maxMs.
void PumpMessages(DWORD maxMs = 0);
// Polls condition, pumping messages in between, until it holds or timeoutMs
// passes. Returns whether it held.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

// Directory of the test program: the build's bin folder, where Callvane.exe,
// its icons and its files lie as installed.
std::wstring TestBinDir();
std::wstring JoinPath(const std::wstring& directory, const std::wstring& name);
bool FileExists(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// The file's bytes from offset on; empty when it cannot be opened. Others may
// be writing it meanwhile (journals, /proc files).
std::string ReadFileBytes(const std::wstring& path, uint64_t offset = 0);

// A fresh directory under the temporary folder, deleted with its content.
class CTempDir {
public:
    explicit CTempDir(const std::wstring& hint = L"cv");
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::wstring& Path() const { return m_path; }
    // Creates nested folders below the directory until the full path has
    // exactly totalChars characters; returns that path.
    std::wstring MakeNestedDir(size_t totalChars) const;

private:
    std::wstring m_path;
};

// Callvane.exe and its icon files copied into a program directory of their own.
class CInstalledCopy {
public:
    // directoryChars: the length of the program directory's path (0: any).
    explicit CInstalledCopy(size_t directoryChars = 0);
    const std::wstring& Directory() const { return m_directory; }
    std::wstring ExePath() const { return JoinPath(m_directory, L"Callvane.exe"); }

private:
    CTempDir m_root;
    std::wstring m_directory;
};

// A started process, ended by its handle when the object goes if it still runs.
class CChildProcess {
public:
    CChildProcess(const std::wstring& exePath, const std::wstring& arguments);
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;
    bool Started() const { return m_info.hProcess != nullptr; }
    DWORD Id() const { return m_info.dwProcessId; }
    bool IsRunning() const;
    bool WaitForExit(DWORD timeoutMs);
    DWORD ExitCode() const;

private:
    PROCESS_INFORMATION m_info = {};
};

// Sets a registry value for the test's duration and puts back what was there.
class CRegistryValueOverride {
public:
    CRegistryValueOverride(HKEY hRoot, const std::wstring& subKey, const std::wstring& name);
    ~CRegistryValueOverride();
    CRegistryValueOverride(const CRegistryValueOverride&) = delete;
    CRegistryValueOverride& operator=(const CRegistryValueOverride&) = delete;
    void Set(DWORD type, const void* data, DWORD bytes);
    void SetString(const std::wstring& text);
    void Delete();

private:
    HKEY m_hKey = nullptr;
    std::wstring m_name;
    bool m_hadValue = false;
    DWORD m_type = 0;
    std::vector<BYTE> m_old;
};

// Points a predefined key (HKEY_CURRENT_USER) of this process at a fresh,
// empty key for the object's lifetime, so that every key below it is missing;
// the empty key is deleted afterwards.
class CRegistryRootOverride {
public:
    explicit CRegistryRootOverride(HKEY hRoot);
    ~CRegistryRootOverride();
    CRegistryRootOverride(const CRegistryRootOverride&) = delete;
    CRegistryRootOverride& operator=(const CRegistryRootOverride&) = delete;
    bool Active() const { return m_active; }

private:
    HKEY m_hRoot;
    HKEY m_hEmpty = nullptr;
    std::wstring m_emptyName;
    bool m_active = false;
};

// The user's local application data folder, as the shell names it to every
// program of the prefix, pointed at a fresh folder for the object's lifetime.
class CLocalAppDataOverride {
public:
    CLocalAppDataOverride();
    const std::wstring& Path() const { return m_folder.Path(); }
    std::wstring TraceFilePath() const { return Path() + L"\\Callvane\\Callvane.log"; }

private:
    CTempDir m_folder{L"cvlocal"};
    CRegistryValueOverride m_value;
};

// The top-level window of the given process with this class and title (null:
// any), or null.
HWND FindProcessWindow(DWORD processId, const wchar_t* className, const wchar_t* title);
// Runs action, which enters a modal loop (a menu, a modal dialog), and calls
// probe every 50 ms while it runs until probe returns true; probe is what
// ends the loop. Returns whether probe returned true.
bool WhileModal(const std::function<void()>& action, const std::function<bool()>& probe);
// A shown top-level window of the process with exactly this title, or null.
HWND VisibleProcessWindow(DWORD processId, const wchar_t* title);
// The value of key in a stand-in's "key=value key2=\"quoted\"" reply (quotes
// kept), or "<missing>".
std::wstring ReplyValue(const std::wstring& reply, const std::wstring& key);
// Whether the shell holds a notification icon for (hWnd, uID): a modify
// that changes nothing succeeds only for an icon that exists.
bool TrayIconExists(HWND hWnd, UINT uID);
bool MutexExists(const wchar_t* name);

// What is wrong with a window's layout, measured in this process (GDI objects
// are the process's own): a child outside the client area or on top of
// another (a group box frames others), a text that does not fit its control
// or has a smaller font than a dialog's.
std::vector<std::wstring> LayoutFaults(HWND hWnd);
// The DPI this process runs at; 0 if CALLVANE_DPI names another (a run per
// DPI names it, so that a prefix left at another scale cannot pass for it).
UINT ProcessDpi();
