#include "TestSupport.h"

#include "framework/WinApp.h"

#include <shellapi.h>

#include <cstdio>
#include <cwchar>

void PumpMessages(DWORD maxMs)
{
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!CWinApp::PreTranslateMessage(msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        if (maxMs == 0)
            break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - start < maxMs);
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        PumpMessages();
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

std::wstring TestBinDir()
{
    wchar_t path[MAX_PATH * 2] = {};
    GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
    std::wstring text(path);
    return text.substr(0, text.find_last_of(L"\\/"));
}

std::wstring JoinPath(const std::wstring& directory, const std::wstring& name)
{
    return directory + L"\\" + name;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

std::string ReadFileBytes(const std::wstring& path, uint64_t offset)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes;
    LARGE_INTEGER start = {};
    start.QuadPart = static_cast<LONGLONG>(offset);
    if (offset == 0 || SetFilePointerEx(h, start, nullptr, FILE_BEGIN)) {
        char buffer[8192];
        DWORD got = 0;
        while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
            bytes.append(buffer, got);
    }
    CloseHandle(h);
    return bytes;
}

namespace {

void DeleteTree(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = JoinPath(path, name);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

}  // namespace

CTempDir::CTempDir(const std::wstring& hint)
{
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        wchar_t name[64];
        swprintf(name, 64, L"%ls%lx_%u", hint.c_str(), GetCurrentProcessId(), ++counter);
        std::wstring candidate = std::wstring(base) + name;
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            m_path = candidate;
            break;
        }
    }
}

CTempDir::~CTempDir()
{
    DeleteTree(m_path);
}

std::wstring CTempDir::MakeNestedDir(size_t totalChars) const
{
    std::wstring path = m_path;
    while (path.size() < totalChars) {
        size_t remaining = totalChars - path.size() - 1;   // one for the separator
        size_t segment = remaining > 60 ? 60 : remaining;
        if (remaining - segment == 1)   // avoid a last segment of nothing
            segment -= 1;
        path += L"\\" + std::wstring(segment, L'd');
        CreateDirectoryW(path.c_str(), nullptr);
    }
    return path;
}

CInstalledCopy::CInstalledCopy(size_t directoryChars) : m_root(L"cvinst")
{
    m_directory = directoryChars ? m_root.MakeNestedDir(directoryChars) : m_root.Path();
    std::wstring bin = TestBinDir();
    for (const wchar_t* name : {L"Callvane.exe", L"ok.ico", L"nophone.ico", L"nodevice.ico"})
        CopyFileW(JoinPath(bin, name).c_str(), JoinPath(m_directory, name).c_str(), FALSE);
}

CChildProcess::CChildProcess(const std::wstring& exePath, const std::wstring& arguments)
{
    std::wstring commandLine = L"\"" + exePath + L"\" " + arguments;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring directory = exePath.substr(0, exePath.find_last_of(L'\\'));
    if (!CreateProcessW(exePath.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(),
                        &startup, &m_info))
        m_info = PROCESS_INFORMATION();
}

CChildProcess::~CChildProcess()
{
    if (!m_info.hProcess)
        return;
    if (IsRunning()) {
        TerminateProcess(m_info.hProcess, 1);
        WaitForSingleObject(m_info.hProcess, 5000);
    }
    CloseHandle(m_info.hThread);
    CloseHandle(m_info.hProcess);
}

bool CChildProcess::IsRunning() const
{
    return m_info.hProcess && WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT;
}

bool CChildProcess::WaitForExit(DWORD timeoutMs)
{
    return m_info.hProcess && WaitForSingleObject(m_info.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

DWORD CChildProcess::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (m_info.hProcess)
        GetExitCodeProcess(m_info.hProcess, &code);
    return code;
}

CRegistryValueOverride::CRegistryValueOverride(HKEY hRoot, const std::wstring& subKey, const std::wstring& name)
    : m_name(name)
{
    RegCreateKeyExW(hRoot, subKey.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &m_hKey, nullptr);
    DWORD bytes = 0;
    if (m_hKey && RegQueryValueExW(m_hKey, name.c_str(), nullptr, &m_type, nullptr, &bytes) == ERROR_SUCCESS) {
        m_old.resize(bytes);
        m_hadValue = RegQueryValueExW(m_hKey, name.c_str(), nullptr, &m_type, m_old.data(), &bytes) == ERROR_SUCCESS;
    }
}

CRegistryValueOverride::~CRegistryValueOverride()
{
    if (!m_hKey)
        return;
    if (m_hadValue)
        RegSetValueExW(m_hKey, m_name.c_str(), 0, m_type, m_old.data(), static_cast<DWORD>(m_old.size()));
    else
        RegDeleteValueW(m_hKey, m_name.c_str());
    RegCloseKey(m_hKey);
}

void CRegistryValueOverride::Set(DWORD type, const void* data, DWORD bytes)
{
    RegSetValueExW(m_hKey, m_name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes);
}

void CRegistryValueOverride::SetString(const std::wstring& text)
{
    Set(REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void CRegistryValueOverride::Delete()
{
    RegDeleteValueW(m_hKey, m_name.c_str());
}

CLocalAppDataOverride::CLocalAppDataOverride()
    : m_value(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
              L"Local AppData")
{
    m_value.SetString(m_folder.Path());
}

CRegistryRootOverride::CRegistryRootOverride(HKEY hRoot) : m_hRoot(hRoot)
{
    wchar_t name[64];
    swprintf(name, 64, L"Software\\CallvaneTestEmptyRoot%lx", GetCurrentProcessId());
    m_emptyName = name;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, name, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &m_hEmpty,
                        nullptr) != ERROR_SUCCESS)
        return;
    m_active = RegOverridePredefKey(hRoot, m_hEmpty) == ERROR_SUCCESS;
}

CRegistryRootOverride::~CRegistryRootOverride()
{
    if (m_active)
        RegOverridePredefKey(m_hRoot, nullptr);
    if (!m_hEmpty)
        return;
    RegCloseKey(m_hEmpty);
    RegDeleteKeyW(HKEY_CURRENT_USER, m_emptyName.c_str());
}

HWND FindProcessWindow(DWORD processId, const wchar_t* className, const wchar_t* title)
{
    HWND hWnd = nullptr;
    while ((hWnd = FindWindowExW(nullptr, hWnd, className, title)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(hWnd, &owner);
        if (owner == processId)
            return hWnd;
    }
    return nullptr;
}

bool TrayIconExists(HWND hWnd, UINT uID)
{
    NOTIFYICONDATAW data = {};
    data.cbSize = NOTIFYICONDATAW_V2_SIZE;
    data.hWnd = hWnd;
    data.uID = uID;
    data.uFlags = 0;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

bool MutexExists(const wchar_t* name)
{
    HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, name);
    if (!h)
        return false;
    CloseHandle(h);
    return true;
}

namespace {
const std::function<bool()>* g_pModalProbe = nullptr;
bool g_modalProbeDone = false;

void CALLBACK RunModalProbe(HWND, UINT, UINT_PTR timerId, DWORD)
{
    if (g_modalProbeDone || !g_pModalProbe)
        return;
    if ((*g_pModalProbe)()) {
        g_modalProbeDone = true;
        KillTimer(nullptr, timerId);
    }
}
}  // namespace

bool WhileModal(const std::function<void()>& action, const std::function<bool()>& probe)
{
    g_pModalProbe = &probe;
    g_modalProbeDone = false;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, RunModalProbe);
    action();
    KillTimer(nullptr, timer);
    g_pModalProbe = nullptr;
    return g_modalProbeDone;
}

namespace {
struct VisibleSearch {
    DWORD processId;
    const wchar_t* title;
    HWND hFound;
};

BOOL CALLBACK FindVisibleProc(HWND hWnd, LPARAM lParam)
{
    VisibleSearch* p = reinterpret_cast<VisibleSearch*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(hWnd, &owner);
    wchar_t text[64] = {};
    GetWindowTextW(hWnd, text, ARRAYSIZE(text));
    if (owner == p->processId && IsWindowVisible(hWnd) && wcscmp(text, p->title) == 0) {
        p->hFound = hWnd;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND VisibleProcessWindow(DWORD processId, const wchar_t* title)
{
    VisibleSearch search = {processId, title, nullptr};
    EnumWindows(FindVisibleProc, reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

std::wstring ReplyValue(const std::wstring& reply, const std::wstring& key)
{
    std::wstring marker = L" " + key + L"=";
    size_t at = reply.find(marker);
    if (at == std::wstring::npos)
        return L"<missing>";
    size_t begin = at + marker.size();
    if (reply[begin] == L'"')
        return reply.substr(begin, reply.find(L'"', begin + 1) - begin + 1);
    return reply.substr(begin, reply.find(L' ', begin) - begin);
}

std::vector<std::wstring> LayoutFaults(HWND hWnd)
{
    std::vector<std::wstring> faults;
    std::vector<RECT> placed;
    RECT area = {}, r = {}, both = {}, client = {};
    GetClientRect(hWnd, &area);
    for (HWND hCtl = GetWindow(hWnd, GW_CHILD); hCtl; hCtl = GetWindow(hCtl, GW_HWNDNEXT)) {
        wchar_t cls[32] = {}, text[128] = {};
        GetClassNameW(hCtl, cls, ARRAYSIZE(cls));
        GetWindowTextW(hCtl, text, ARRAYSIZE(text));
        const std::wstring name = std::wstring(cls) + L" \"" + text + L"\"";
        const LONG style = GetWindowLongW(hCtl, GWL_STYLE), kind = style & BS_TYPEMASK;
        const bool button = wcscmp(cls, L"Button") == 0, groupBox = button && kind == BS_GROUPBOX;
        GetWindowRect(hCtl, &r);
        MapWindowPoints(nullptr, hWnd, reinterpret_cast<POINT*>(&r), 2);
        if (!IntersectRect(&both, &r, &area) || !EqualRect(&both, &r))
            faults.push_back(name + L" leaves the client area");
        for (const RECT& other : placed) {
            if (!groupBox && IntersectRect(&both, &r, &other))
                faults.push_back(name + L" overlaps another control");
        }
        if (!groupBox)
            placed.push_back(r);
        if (!text[0] || groupBox || !(button || (wcscmp(cls, L"Static") == 0 && (style & SS_TYPEMASK) <= SS_RIGHT)))
            continue;
        // Drawn as the control draws it: statics wrap at words, buttons keep
        // room for their frame or check box.
        GetClientRect(hCtl, &client);
        const bool check = kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX;
        const int room = client.right - (!button ? 0 : check ? GetSystemMetrics(SM_CXMENUCHECK) + 2 : 8);
        HDC hdc = GetDC(hCtl);
        HGDIOBJ old = SelectObject(hdc, reinterpret_cast<HFONT>(SendMessageW(hCtl, WM_GETFONT, 0, 0)));
        RECT need = {0, 0, room, 0};
        DrawTextW(hdc, text, -1, &need, DT_CALCRECT | (button ? DT_SINGLELINE : DT_WORDBREAK));
        // Text that kept its pixel size at a larger scale is smaller than a
        // dialog's 8-point font (7.5 leaves room for whole pixels).
        TEXTMETRICW tm = {};
        GetTextMetricsW(hdc, &tm);
        if (MulDiv(tm.tmHeight - tm.tmInternalLeading, 720, GetDeviceCaps(hdc, LOGPIXELSY)) < 75)
            faults.push_back(name + L" has text under 8 points");
        SelectObject(hdc, old);
        ReleaseDC(hCtl, hdc);
        if (need.right > room || need.bottom > client.bottom)
            faults.push_back(name + L" needs " + std::to_wstring(need.right) + L"x" + std::to_wstring(need.bottom) +
                             L" in " + std::to_wstring(room) + L"x" + std::to_wstring(client.bottom));
    }
    return faults;
}

UINT ProcessDpi()
{
    HDC screen = GetDC(nullptr);
    UINT dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    wchar_t wanted[8] = {};
    if (GetEnvironmentVariableW(L"CALLVANE_DPI", wanted, ARRAYSIZE(wanted)) && wcstoul(wanted, nullptr, 10) != dpi)
        return 0;
    return dpi;
}
