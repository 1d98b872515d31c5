// CMessengerSim: a stand-in for the instant messenger, with the messenger's
// own window classes, texts and tree shapes, reacting as the messenger does
// to keys, clicks and closes. Every message it is sent or posted from outside
// and every change of its state goes to the journal. See README.md.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Journal.h"
#include "SimWindows.h"

class CMessengerSim {
public:
    // languagePath: the language file whose [WINDOW_TEXT] gives the window
    // texts, read at each use; empty: the texts of the Chinese edition.
    CMessengerSim(CJournal& journal, const std::wstring& languagePath);
    ~CMessengerSim();
    CMessengerSim(const CMessengerSim&) = delete;
    CMessengerSim& operator=(const CMessengerSim&) = delete;

    bool Create(bool startHidden);
    // The message loop; returns when the "quit" command has run.
    int Run();
    // Carries out one command line (see README.md).
    LRESULT Execute(const std::wstring& command);

private:
    enum class CallShape { Conversation, Search, Dialog };
    // How a new window comes up: shown and activated; on top without
    // activation (as a chat that pops up while one types elsewhere);
    // minimised; or hidden.
    enum class Arrival { Active, Quiet, Minimised, Hidden };
    struct Call {
        HWND hWnd = nullptr;      // the top-level window
        HWND hPanel = nullptr;    // where the hang-up button goes
        HWND hButton = nullptr;   // the hang-up button, while the call lasts
        std::wstring name;
        CallShape shape = CallShape::Conversation;
        bool active = false;
    };
    // "destroy-on": when the window of role gets message, the window of
    // target goes (once).
    struct DestroyTrigger {
        std::string role;
        UINT message = 0;
        std::string target;
    };
    struct Ringing {
        HWND hNotification = nullptr;
        HWND hBrowser = nullptr;
        std::wstring caller;
        bool inert = false;       // its page takes no clicks (still loading)
    };

    HWND Make(const wchar_t* className, const wchar_t* title, DWORD style, int x, int y, int width, int height,
              HWND hParent, const char* role, bool subclass = false);
    std::string RoleOf(HWND hWnd);
    std::string Named(HWND hWnd);   // "<role> <handle>"
    std::wstring Text(const wchar_t* key, const wchar_t* builtIn);

    void JournalQueued(const MSG& msg);
    bool PreTranslate(const MSG& msg);
    void CheckNumberBox();
    void OnNumberBoxReturn();
    void OnContactListReturn();
    // The chat with name comes up: a new one as arrival says, one open
    // already brought forward (restored and activated, or raised without
    // activation for Quiet). Journals "<event> <role> <handle> opened|raised".
    HWND BringChat(const std::wstring& name, CallShape shape, Arrival arrival, const char* event);
    // Runs action ms from now on a timer of the command window (at once for 0).
    void Later(DWORD ms, std::function<void()> action);
    void Forget(HWND hWnd);   // a window's bookkeeping, as it goes
    void SwitchTab();

    // active: with a running call.
    HWND OpenCall(CallShape shape, const std::wstring& name, bool active, Arrival arrival = Arrival::Active);
    void StartCall(Call& call);
    void EndCall(Call& call, const char* how);
    void CloseCall(HWND hWnd);
    Call* FindCall(HWND hWnd);
    Call* CurrentCall();

    HWND Ring(const std::wstring& title, const std::wstring& caller, bool inert);
    void OnBrowserClick(HWND hBrowser, POINT down, POINT up);
    void CloseRinging(size_t index, const char* how);

    static Arrival ArrivalOf(const std::vector<std::wstring>& words);
    LRESULT OpenExtra(const std::vector<std::wstring>& words);
    LRESULT AddDestroyTrigger(const std::vector<std::wstring>& words);
    // Fires a trigger set for this window and message; true when hWnd itself
    // went (its message must then not be handled any further).
    bool CheckDestroyTrigger(HWND hWnd, UINT msg);
    HWND WindowOfRole(const std::string& role);
    void DestroyRole(HWND hWnd);
    void Hang(DWORD ms);
    LRESULT OpenForeignDialog();
    static DWORD WINAPI ForeignDialogThread(void* param);

    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR data);
    LRESULT OnWindowMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnSubclassMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnCopyData(const COPYDATASTRUCT* pData);
    void Paint(HWND hWnd);

    CJournal& m_journal;
    std::wstring m_languagePath;
    CRITICAL_SECTION m_rolesLock;             // roles are named from the foreign thread too
    std::map<HWND, std::string> m_roles;

    HWND m_hControl = nullptr;
    HWND m_hMain = nullptr;
    HWND m_hCombo = nullptr;
    HWND m_hNumberBox = nullptr;
    HWND m_hTabs = nullptr;
    HWND m_hContacts = nullptr;
    std::wstring m_numberText;                // last journaled text of the number box
    std::vector<Call> m_calls;
    HWND m_hCurrentCall = nullptr;            // the call window whose call runs
    std::vector<Ringing> m_ringing;
    std::map<HWND, POINT> m_pressed;          // where the left button went down
    CallShape m_contactShape = CallShape::Conversation;   // what Return in the list opens
    // How Return in the contact list answers ("contact-return").
    struct ContactReturn {
        DWORD delayMs = 0;                    // how long after Return the chat comes
        Arrival arrival = Arrival::Active;
        DWORD hiddenMs = 0;                   // a chat made hidden is shown this much later
        std::wstring other;                   // another chat that comes up, if any ...
        DWORD otherAfterMs = 0;               // ... this long after Return
        bool held = false;                    // the chat comes at "release", not after a delay
    } m_contactReturn;
    std::vector<std::function<void()>> m_heldReturns;   // answers to Returns, held until "release"
    // "number-box": each key posted to the number box is handled this much
    // after it comes out of the queue, and this character is refused.
    DWORD m_boxKeyDelayMs = 0;
    wchar_t m_boxRefused = L'\0';
    std::map<UINT_PTR, std::function<void()>> m_later;   // timer id: what it runs
    UINT_PTR m_nNextLaterTimer = kFirstLaterTimer;
    unsigned long m_nSyncs = 0;
    std::vector<DestroyTrigger> m_destroyTriggers;
    std::vector<HANDLE> m_foreignThreads;
    std::vector<DWORD> m_foreignThreadIds;
};
