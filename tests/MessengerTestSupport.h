// Helpers for the messenger side's tests: a CYahooDialog whose owner records
// the statuses it reports to the handset side, a language file
// of the test's own, a second GUI thread that owns windows, and real windows
// of the messenger's classes built in the arrangements that matter.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "messenger/YahooDialog.h"

// The messenger dialog's owner: the statuses meant for the handset side are
// recorded, and a handset is present when the test says so.
class CRecordingDevice : public IMessengerOwner {
public:
    int ReportStatus(uint32_t nCode, int32_t nParam) override;
    BOOL IsDevicePresent() override { return m_bPresent; }
    void RefreshTrayStatus() override {}
    void RefreshTrayForMessengerSearch(BOOL /*bMessengerFound*/) override {}
    void OnMissedCall(const SYSTEMTIME& /*rang*/) override { ++m_nMissed; }
    // The statuses received since the last call, oldest first.
    std::vector<uint32_t> Take();

    std::vector<uint32_t> m_statuses;
    std::vector<int32_t> m_params;
    BOOL m_bPresent = FALSE;
    int m_nMissed = 0;
};

// CYahooDialog whose watch timer only runs when a test lets it; every tick
// that reaches it is timed.
class CTestYahooDialog : public CYahooDialog {
public:
    explicit CTestYahooDialog(IMessengerOwner* pOwner) : CYahooDialog(pOwner) {}
    void OnTimer(UINT_PTR nIDEvent) override;
    void OnCallWaitTry(int nTry) override
    {
        if (m_onCallTry)
            m_onCallTry(nTry);
    }

    std::function<void(int)> m_onCallTry;   // runs before each look of 'Call''s wait

    bool m_bLiveTimer = false;           // real timer ticks run the watch
    bool m_bManualTick = false;          // set while a test sends a tick
    std::vector<DWORD> m_tickTimes;      // GetTickCount of live ticks of timer 4097
    std::vector<UINT_PTR> m_timerIds;    // ids of the live ticks of every timer, in order
};

// A created, hidden CTestYahooDialog whose owner records its reports.
class CMessengerSide {
public:
    CMessengerSide();
    ~CMessengerSide();
    CMessengerSide(const CMessengerSide&) = delete;
    CMessengerSide& operator=(const CMessengerSide&) = delete;

    // One watch tick, through the dialog's own WM_TIMER handling.
    void Tick();
    void SetHandsetPresent(bool present) { m_device.m_bPresent = present; }

    CRecordingDevice m_device;
    CTestYahooDialog m_yahoo;
};

// g_szLanguagePath pointed at a UTF-16 language file of the test's own (or at
// a missing file, for the built-in texts) until the object goes.
class CLanguageFile {
public:
    // Each text is written quoted, so blanks survive; null leaves the key out.
    CLanguageFile(const wchar_t* callIn, const wchar_t* voiceMessage, const wchar_t* hangUp);
    // No file at all: every text is the built-in default.
    CLanguageFile();
    ~CLanguageFile();
    CLanguageFile(const CLanguageFile&) = delete;
    CLanguageFile& operator=(const CLanguageFile&) = delete;
    void Write(const wchar_t* callIn, const wchar_t* voiceMessage, const wchar_t* hangUp);
    const std::wstring& Path() const { return m_path; }

private:
    CTempDir m_dir{L"cvlang"};
    std::wstring m_path;
    wchar_t m_saved[MAX_PATH];
};

// Writes a UTF-16 INI file with [WINDOW_TEXT]; null texts are left out.
bool WriteLanguageFile(const std::wstring& path, const wchar_t* callIn, const wchar_t* voiceMessage,
                       const wchar_t* hangUp);

// A GUI thread with its own message loop: the windows it creates belong to
// another thread than the test's, as the messenger's do.
class CWindowThread {
public:
    CWindowThread();
    ~CWindowThread();   // ends the loop; the thread's windows go with it
    CWindowThread(const CWindowThread&) = delete;
    CWindowThread& operator=(const CWindowThread&) = delete;

    // Runs fn on the thread and returns when it is done, handling this
    // thread's messages meanwhile.
    void Run(const std::function<void()>& fn);
    DWORD Id() const { return m_id; }

private:
    static DWORD WINAPI ThreadMain(void* param);
    HANDLE m_hThread = nullptr;
    DWORD m_id = 0;
    HANDLE m_hReady = nullptr;
};

// Runs fn on a new thread, handling this thread's messages meanwhile. False
// when it has not finished within timeoutMs (the thread is then left behind).
// With stackHeadroom, fn gets only that many bytes of stack: the rest of the
// thread's stack is taken before it runs.
bool RunBounded(const std::function<void()>& fn, DWORD timeoutMs, SIZE_T stackHeadroom = 0);

// Registers the messenger's own window classes (and a plain one) in this
// process, with the default window procedure.
void RegisterMessengerClasses();
const wchar_t kPlainTestClass[] = L"CallvaneTestPlain";

// Creates a window on the calling thread. Top-level windows are placed at the
// top of the Z order without being activated.
HWND MakeWindow(const wchar_t* className, const wchar_t* title, HWND hParent, bool visible = true,
                DWORD extraStyle = 0);
// Places hWnd directly below hAfter (or at HWND_TOP / HWND_BOTTOM).
void PlaceBelow(HWND hWnd, HWND hAfter);
// Stacks the windows one right below the other, the first at the top, and
// waits until that order holds for a while: Wine's X11 driver restacks shown
// windows once the X events of their mapping come in. False when the order
// did not hold within timeoutMs.
bool ArrangeTopDown(const std::vector<HWND>& windows, DWORD timeoutMs = 6000);
// The same for one window at the bottom of the Z order.
bool ArrangeAtBottom(HWND hWnd, DWORD timeoutMs = 6000);
std::wstring WindowTitle(HWND hWnd);
std::string CodeText(uint32_t code);
std::string CodesText(const std::vector<uint32_t>& codes);

// Top-level or child windows of the calling thread, destroyed with the object.
class CLocalWindows {
public:
    CLocalWindows() = default;
    ~CLocalWindows();
    CLocalWindows(const CLocalWindows&) = delete;
    CLocalWindows& operator=(const CLocalWindows&) = delete;
    HWND Make(const wchar_t* className, const wchar_t* title, HWND hParent, bool visible = true, DWORD extraStyle = 0);
    // Takes over a top-level window made elsewhere on this thread.
    void Adopt(HWND hWnd) { m_windows.push_back(hWnd); }
    void DestroyAll();

private:
    std::vector<HWND> m_windows;
};

// Builds the messenger's window shapes on the calling thread.
// An incoming-call notification: its first child's first child's first child
// is the browser window (returned in *phBrowser).
HWND MakeNotification(const wchar_t* title, HWND* phBrowser, const wchar_t* innerClass = nullptr);
// A top-level call window of the class with a child "#32770" holding a
// "Button" with the given text (none when buttonText is null).
HWND MakeCallWindow(const wchar_t* className, const wchar_t* title, const wchar_t* buttonText, bool buttonVisible,
                    HWND* phButton = nullptr);

// Tests with the messenger's windows on a thread of their own, a language
// file with plain texts, and the messenger side wired to a recording device.
class CMessengerWindowsTest : public ::testing::Test {
protected:
    // Creates a window on the messenger's thread.
    HWND Messenger(const wchar_t* className, const wchar_t* title, HWND hParent, bool visible = true,
                   DWORD extraStyle = 0)
    {
        HWND hWnd = nullptr;
        m_messenger.Run([&] { hWnd = MakeWindow(className, title, hParent, visible, extraStyle); });
        return hWnd;
    }
    void OnMessengerThread(const std::function<void()>& fn) { m_messenger.Run(fn); }
    CYahooDialog& Yahoo() { return m_side.m_yahoo; }
    std::string Statuses() { return CodesText(m_side.m_device.Take()); }

    CLanguageFile m_language{L"Incoming call", L"Voice message", L"Hang up"};
    CWindowThread m_messenger;
    CMessengerSide m_side;
};
