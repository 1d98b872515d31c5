// Whole calls seen from outside: Callvane.exe as installed in a program
// directory of its own, the stand-in messenger as a separate process, and
// the virtual handset that lives in Callvane's process, reached through its
// command channel. Nothing here reaches into Callvane: every check is on the
// two journals, the handset's state and the notification-area icon.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "HandsetChannel.h"
#include "MessengerSimProcess.h"
#include "TestSupport.h"

// Texts as UTF-8, and Latin-1 texts (journal words) widened.
std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& text);

// Callvane.exe, Callvane.ini, the Language folder and the icons, copied side
// by side into a fresh program directory.
class CE2eInstall {
public:
    CE2eInstall();
    const std::wstring& Directory() const { return m_root.Path(); }
    std::wstring ExePath() const { return JoinPath(m_root.Path(), L"Callvane.exe"); }
    bool Complete() const;

private:
    CTempDir m_root{L"cve2e"};
};

// The tips (and balloon) of the icon that this window added to the
// notification area, read from the shell's tooltip windows (another
// process's memory, as any tool that reads a tooltip from outside does).
// Another program's icon, or one left by an earlier Callvane, is not read.
std::vector<std::wstring> ShellTrayTips(HWND owner);
// Waits until the icon this window added shows this tip.
bool WaitForTrayTip(HWND owner, const std::wstring& tip, DWORD timeoutMs = 6000);

// One running Callvane.exe with its virtual handset.
class CCallvaneProcess {
public:
    // handsetSetup: the virtual handset's start-up state (CALLVANE_HANDSET).
    CCallvaneProcess(const CE2eInstall& install, const std::wstring& handsetSetup);
    ~CCallvaneProcess();

    // Waits for the main window, the handset window and the handset opened;
    // without the maker's control, for the main window only.
    bool WaitStarted(bool makersControl = true);
    DWORD Id() const { return m_process->Id(); }
    CChildProcess& Process() { return *m_process; }
    HWND Main() const { return m_hMain; }

    // One command to the virtual handset; its reply ("ok ...", "error: ...").
    std::wstring Handset(const std::wstring& command);
    // The journal of method calls (lines after the "ok" line).
    std::vector<std::wstring> Journal();
    std::wstring OleLog();
    // One value of the handset's "state" reply.
    std::wstring State(const std::wstring& key);
    // Waits until the handset journal holds this line (at index >= from).
    bool WaitForJournal(const std::wstring& line, size_t from = 0, DWORD timeoutMs = 6000);
    bool WaitForState(const std::wstring& key, const std::wstring& value, DWORD timeoutMs = 6000);
    size_t Count(const std::wstring& line, size_t from = 0);

private:
    std::unique_ptr<CChildProcess> m_process;
    HWND m_hMain = nullptr;
    HWND m_hHandset = nullptr;
    std::unique_ptr<CHandsetChannel> m_channel;
};

// The scenario's frame: an installed copy, the stand-in messenger started
// first, then Callvane with a plugged-in handset of the given model. The
// journals are saved as artefacts when the scenario ends.
class E2eScenario : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The virtual handset's start-up state; a fixture of another handset
    // family overrides it.
    virtual std::wstring HandsetSetup() const { return L"plugged model=0x0100"; }
    // False: the maker's control is not registered while the scenario runs,
    // and PlugHandset plugs in whatever handset it has instead.
    virtual bool MakersControl() const { return true; }
    virtual void PlugHandset() {}
    // Changes to the installed files before anything starts, and the
    // language file the stand-in messenger takes its texts from (empty: its
    // built-in Chinese edition's texts).
    virtual void PrepareInstall(const CE2eInstall& /*install*/) {}
    virtual std::wstring MessengerLanguage() const { return std::wstring(); }
    void SaveArtefacts();
    // One file in the test's folder of artefacts (build/e2e-artefacts/<test>).
    bool SaveArtefact(const std::wstring& leaf, const std::string& text);
    // Rings in the stand-in and waits until the handset shows "CallIn".
    HWND RingAndWaitForCallIn(const std::wstring& caller);

    std::unique_ptr<CRegistryValueOverride> m_hiddenControl;
    std::unique_ptr<CE2eInstall> m_install;
    std::unique_ptr<CMessengerSimProcess> m_sim;
    std::unique_ptr<CCallvaneProcess> m_app;
    std::vector<std::string> m_extraArtefacts;   // journals of messengers that have quit
};

// The watch period of Callvane's messenger side, and a bound for "within one
// tick" that allows for the message round trips under Wine.
const DWORD kTickMs = 2000;
const DWORD kOneTickBoundMs = kTickMs + 1500;
// After answering, the watch waits 5 s before it looks for the call window
// again; until then a hang-up has no call window to close. Waiting this long
// lets the lengthened tick pass.
const DWORD kAnsweredWatchMs = 5000 + 1000;

const wchar_t kJShowCallIn[] = L"ShowCallIn(\"CallIn\")";
const wchar_t kJShowInTalk[] = L"ShowInTalk(\"InTalk\")";
const wchar_t kJSetReady[] = L"SetReady()";
