// The stand-in messenger as a test sees it: a separate process started with a
// journal of the test's own, driven through its command channel, and read
// back through its journal.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"

// One journal line, split into words (quoted texts unquoted).
struct SimJournalEntry {
    std::string line;
    std::vector<std::string> words;
};

class CMessengerSimProcess {
public:
    // languagePath: the language file it takes its window texts from (empty:
    // the built-in ones). timestamps: its message lines carry qpc=<counter>.
    explicit CMessengerSimProcess(const std::wstring& languagePath = L"", bool hidden = false, bool timestamps = false);
    // Asks it to quit, and ends it if it does not.
    ~CMessengerSimProcess();
    CMessengerSimProcess(const CMessengerSimProcess&) = delete;
    CMessengerSimProcess& operator=(const CMessengerSimProcess&) = delete;

    bool Ready() const { return m_hControl != nullptr; }
    DWORD ProcessId() const { return m_process ? m_process->Id() : 0; }
    bool IsRunning() const { return m_process && m_process->IsRunning(); }
    bool WaitForExit(DWORD timeoutMs) { return m_process && m_process->WaitForExit(timeoutMs); }
    HWND ControlWindow() const { return m_hControl; }
    const std::wstring& JournalPath() const { return m_journalPath; }

    // Sends one command; kSimBadCommand when it was not understood, 0 when
    // nobody answered or there was nothing to do.
    LRESULT Command(const std::wstring& command);
    HWND CommandWindow(const std::wstring& command) { return reinterpret_cast<HWND>(Command(command)); }
    // Returns once every message posted to the stand-in before the call has
    // been handled.
    bool Sync();

    std::vector<SimJournalEntry> Journal() const;
    // The lines completed after byteOffset, which moves past them: for
    // readers that must not reread a long journal.
    std::vector<SimJournalEntry> JournalFrom(uint64_t& byteOffset) const;
    size_t Mark() const { return Journal().size(); }
    // The messages from outside since mark, as "<role> <message> <wParam> <lParam>".
    std::vector<std::string> Messages(size_t mark) const;
    // The state lines since mark, without their "state " prefix.
    std::vector<std::string> States(size_t mark) const;
    // Waits until a state line since mark equals text.
    bool WaitForState(size_t mark, const std::string& text, DWORD timeoutMs = 5000) const;
    // Waits until the messages since mark are at least count.
    bool WaitForMessages(size_t mark, size_t count, DWORD timeoutMs = 5000) const;
    // The window last journaled with this role, or null.
    HWND Window(const std::string& role) const;

    HWND Main() const { return Window("main"); }
    HWND NumberBox() const { return Window("number-box"); }
    HWND ContactList() const { return Window("contact-list"); }

    static std::string HandleText(HWND hWnd);

private:
    CTempDir m_dir{L"cvsim"};
    std::wstring m_journalPath;
    std::unique_ptr<CChildProcess> m_process;
    HWND m_hControl = nullptr;
};
