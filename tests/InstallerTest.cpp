// The per-user installer and the portable zip, run as a user would: a silent
// install into a folder of the test's own, the installed program started and
// driven, a silent uninstall, and the rule for keeping changed settings.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/AppIds.h"
#include "res/resource.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <map>
#include <set>
#include <string>

namespace {

const DWORD kSetupTimeoutMs = 120000;
const DWORD kStartTimeoutMs = 15000;
// Another test program may be running its own Callvane; there is one
// instance per session, so these tests wait for their turn.
const DWORD kOtherInstanceTimeoutMs = 90000;
const wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Callvane";

std::wstring FullPath(const std::wstring& path)
{
    wchar_t full[MAX_PATH * 2] = {};
    GetFullPathNameW(path.c_str(), ARRAYSIZE(full), full, nullptr);
    return full;
}

// The build folder, one above the bin folder the test program runs from.
std::wstring BuildDir() { return FullPath(JoinPath(TestBinDir(), L"..")); }

std::wstring StartMenuDir()
{
    wchar_t programs[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, programs)))
        return L"";
    return JoinPath(programs, L"Callvane");
}

bool DirectoryExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::set<std::wstring> ListDirectory(const std::wstring& path)
{
    std::set<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names.insert(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

std::wstring ReadRegistryString(HKEY root, const wchar_t* subKey, const wchar_t* name)
{
    wchar_t text[MAX_PATH * 2] = {};
    DWORD bytes = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(root, subKey, name, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS)
        return L"";
    return text;
}

bool UninstallKeyExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Where a shortcut file points, read through the shell.
std::wstring ShortcutTarget(const std::wstring& path)
{
    HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::wstring target;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            wchar_t buffer[MAX_PATH] = {};
            if (SUCCEEDED(file->Load(path.c_str(), STGM_READ)) &&
                SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, 0)))
                target = buffer;
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(init))
        CoUninitialize();
    return target;
}

bool NoInstanceRunning()
{
    return WaitFor([] { return !MutexExists(kInstanceName); }, kOtherInstanceTimeoutMs);
}

// An installation into a folder of the test's own. If the test stops half
// way, what the installer put outside that folder is removed here.
class Installation {
public:
    Installation() : m_directory(JoinPath(m_root.Path(), L"Callvane")) {}
    ~Installation()
    {
        if (ReadRegistryString(HKEY_CURRENT_USER, kUninstallKey, L"InstallLocation") == m_directory) {
            std::wstring menu = StartMenuDir();
            DeleteFileW(JoinPath(menu, L"Callvane.lnk").c_str());
            DeleteFileW(JoinPath(menu, L"Uninstall Callvane.lnk").c_str());
            RemoveDirectoryW(menu.c_str());
            RegDeleteKeyW(HKEY_CURRENT_USER, kUninstallKey);
        }
    }
    const std::wstring& Directory() const { return m_directory; }
    std::wstring File(const std::wstring& name) const { return JoinPath(m_directory, name); }

    // CallvaneSetup.exe /S [arguments] /D=<folder>; returns its exit code.
    DWORD Install(const std::wstring& arguments = L"")
    {
        CChildProcess setup(JoinPath(BuildDir(), L"CallvaneSetup.exe"), L"/S " + arguments + L" /D=" + m_directory);
        EXPECT_TRUE(setup.Started());
        EXPECT_TRUE(setup.WaitForExit(kSetupTimeoutMs));
        return setup.ExitCode();
    }

    // The uninstaller, copied out of the folder so that it can remove the
    // folder, run synchronously on it with _?=; returns its exit code.
    DWORD Uninstall(const std::wstring& arguments = L"")
    {
        std::wstring copy = JoinPath(m_root.Path(), L"uninstaller" + std::to_wstring(++m_runs) + L".exe");
        EXPECT_TRUE(CopyFileW(File(L"Uninstall.exe").c_str(), copy.c_str(), FALSE));
        DWORD code = 0xFFFFFFFF;
        {
            CChildProcess uninstaller(copy, L"/S " + arguments + L" _?=" + m_directory);
            EXPECT_TRUE(uninstaller.Started());
            EXPECT_TRUE(uninstaller.WaitForExit(kSetupTimeoutMs));
            code = uninstaller.ExitCode();
        }
        DeleteFileW(copy.c_str());
        return code;
    }

private:
    CTempDir m_root{L"cvsetup"};
    std::wstring m_directory;
    int m_runs = 0;
};

const wchar_t* const kShippedFiles[] = {L"Callvane.exe", L"ok.ico",       L"nophone.ico",
                                        L"nodevice.ico", L"Callvane.ini", L"Language\\English.ini"};

void ExpectShippedFilesInstalled(const Installation& installation)
{
    for (const wchar_t* name : kShippedFiles) {
        SCOPED_TRACE(std::string(name, name + wcslen(name)));
        ASSERT_TRUE(FileExists(installation.File(name)));
        EXPECT_EQ(ReadFileBytes(installation.File(name)), ReadFileBytes(JoinPath(TestBinDir(), name)));
    }
}

// A Start-up folder of the test's own, named by the shell-folders value.
class StartupFolder {
public:
    StartupFolder() : m_value(HKEY_CURRENT_USER, kShellFolders, L"StartUp") { m_value.SetString(m_dir.Path()); }
    std::wstring ShortcutPath() const { return JoinPath(m_dir.Path(), L"Callvane.lnk"); }
    const std::wstring& Directory() const { return m_dir.Path(); }

private:
    CTempDir m_dir{L"startup"};
    CRegistryValueOverride m_value;
};

// Phone links open the installed program: its class, listed for Default
// apps, and each scheme where the shell looks; all gone when uninstalled.
void ExpectLinksRegistered(const Installation& installation, bool registered, const std::wstring& otherTel = L"")
{
    const std::wstring command = L"\"" + installation.File(L"Callvane.exe") + L"\" \"%1\"";
    const std::wstring tel = otherTel.empty() && registered ? command : otherTel;
    const struct { HKEY root; const wchar_t *key, *name; std::wstring value; } values[] = {
        {HKEY_CURRENT_USER, L"Software\\Classes\\Callvane.PhoneLink\\shell\\open\\command", nullptr, command},
        {HKEY_CURRENT_USER, L"Software\\Callvane\\Capabilities\\URLAssociations", L"tel", L"Callvane.PhoneLink"},
        {HKEY_CURRENT_USER, L"Software\\Callvane\\Capabilities\\URLAssociations", L"callto", L"Callvane.PhoneLink"},
        {HKEY_CURRENT_USER, L"Software\\RegisteredApplications", L"Callvane", L"Software\\Callvane\\Capabilities"},
        {HKEY_CLASSES_ROOT, L"tel\\shell\\open\\command", nullptr, tel},
        {HKEY_CURRENT_USER, L"Software\\Classes\\tel\\shell\\open\\command", nullptr, otherTel.empty() ? tel : L""},
        {HKEY_CLASSES_ROOT, L"callto\\shell\\open\\command", nullptr, command},
    };
    for (const auto& v : values)
        EXPECT_EQ(ReadRegistryString(v.root, v.key, v.name), registered || v.value == otherTel ? v.value : L"")
            << testing::PrintToString(v.key);
}

}  // namespace

TEST(InstallerSilent, InstallRunAutoRunAndUninstallLeaveNothingBehind)
{
    Installation installation;
    ASSERT_EQ(installation.Install(), 0u);

    // The program's files, the shortcut AutoRun copies, the uninstaller; the
    // stand-in handset only when asked for.
    ExpectShippedFilesInstalled(installation);
    ASSERT_TRUE(FileExists(installation.File(L"Callvane.lnk")));
    EXPECT_EQ(_wcsicmp(ShortcutTarget(installation.File(L"Callvane.lnk")).c_str(),
                       installation.File(L"Callvane.exe").c_str()),
              0);
    EXPECT_TRUE(FileExists(installation.File(L"Uninstall.exe")));
    EXPECT_FALSE(FileExists(installation.File(L"UsbPhoneSim.dll")));
    EXPECT_EQ(ListDirectory(installation.Directory()),
              (std::set<std::wstring>{L"Callvane.exe", L"ok.ico", L"nophone.ico", L"nodevice.ico", L"Callvane.ini",
                                      L"Language", L"Callvane.lnk", L"Uninstall.exe"}));
    std::wstring menu = StartMenuDir();
    ASSERT_FALSE(menu.empty());
    ASSERT_TRUE(FileExists(JoinPath(menu, L"Callvane.lnk")));
    EXPECT_EQ(_wcsicmp(ShortcutTarget(JoinPath(menu, L"Callvane.lnk")).c_str(),
                       installation.File(L"Callvane.exe").c_str()),
              0);
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, kUninstallKey, L"InstallLocation"), installation.Directory());
    ExpectLinksRegistered(installation, true);

    // The shell-folders values were seen rewritten during an installation
    // (Wine's shell refreshes them when a program asks for a folder): the
    // test's Start-up folder is set after it, and checked before use.
    StartupFolder startup;
    ASSERT_EQ(ReadRegistryString(HKEY_CURRENT_USER, kShellFolders, L"StartUp"), startup.Directory());

    // The installed program runs and shows its window.
    ASSERT_TRUE(NoInstanceRunning());
    CChildProcess running(installation.File(L"Callvane.exe"), L"");
    ASSERT_TRUE(running.Started());
    HWND hMain = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (hMain = FindProcessWindow(running.Id(), nullptr, kInstanceName)) != nullptr; },
                        kStartTimeoutMs));

    // AutoRun on copies the installed shortcut into the Start-up folder,
    // off deletes it; on again, for the uninstaller to remove.
    SendMessageW(hMain, WM_COMMAND, ID_TRAY_AUTORUN, 0);
    ASSERT_TRUE(FileExists(startup.ShortcutPath()));
    EXPECT_EQ(ReadFileBytes(startup.ShortcutPath()), ReadFileBytes(installation.File(L"Callvane.lnk")));
    SendMessageW(hMain, WM_COMMAND, ID_TRAY_AUTORUN, 0);
    EXPECT_FALSE(FileExists(startup.ShortcutPath()));
    SendMessageW(hMain, WM_COMMAND, ID_TRAY_AUTORUN, 0);
    ASSERT_TRUE(FileExists(startup.ShortcutPath()));

    // The uninstaller ends the running instance first, then removes it all.
    ASSERT_EQ(ReadRegistryString(HKEY_CURRENT_USER, kShellFolders, L"StartUp"), startup.Directory());
    EXPECT_EQ(installation.Uninstall(), 0u);
    EXPECT_TRUE(running.WaitForExit(kStartTimeoutMs));
    EXPECT_EQ(running.ExitCode(), 0u);
    EXPECT_FALSE(DirectoryExists(installation.Directory()));
    EXPECT_FALSE(FileExists(startup.ShortcutPath()));
    EXPECT_FALSE(DirectoryExists(menu));
    EXPECT_FALSE(UninstallKeyExists());
    ExpectLinksRegistered(installation, false);
}

TEST(InstallerKeepSettings, ChangedSettingsAreKeptOnlyWhenAsked)
{
    Installation installation;
    const std::wstring settings = installation.File(L"Callvane.ini");
    const std::string changed = ReadFileBytes(JoinPath(TestBinDir(), L"Callvane.ini")) + "\r\n; changed by the user\r\n";

    // Unchanged settings go even when keeping is asked for.
    // Another program's machine-wide tel handler is left alone meanwhile.
    const std::wstring otherTel = L"\"C:\\Other\\dialer.exe\" \"%1\"";
    CRegistryValueOverride otherHandler(HKEY_LOCAL_MACHINE, L"Software\\Classes\\tel\\shell\\open\\command", L"");
    otherHandler.SetString(otherTel);
    ASSERT_EQ(installation.Install(), 0u);
    ExpectLinksRegistered(installation, true, otherTel);
    ASSERT_TRUE(NoInstanceRunning());
    EXPECT_EQ(installation.Uninstall(L"/KEEPSETTINGS"), 0u);
    ExpectLinksRegistered(installation, false, otherTel);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\tel");
    EXPECT_FALSE(DirectoryExists(installation.Directory()));

    // Changed settings and the switch: only Callvane.ini stays, as changed.
    ASSERT_EQ(installation.Install(), 0u);
    ASSERT_TRUE(WriteFileBytes(settings, changed));
    ASSERT_TRUE(NoInstanceRunning());
    EXPECT_EQ(installation.Uninstall(L"/KEEPSETTINGS"), 0u);
    EXPECT_EQ(ListDirectory(installation.Directory()), std::set<std::wstring>{L"Callvane.ini"});
    EXPECT_EQ(ReadFileBytes(settings), changed);
    EXPECT_FALSE(UninstallKeyExists());

    // Installing again keeps them; the rest comes back.
    ASSERT_EQ(installation.Install(), 0u);
    EXPECT_EQ(ReadFileBytes(settings), changed);
    EXPECT_TRUE(FileExists(installation.File(L"Callvane.exe")));
    EXPECT_TRUE(FileExists(installation.File(L"Language\\English.ini")));

    // Changed settings without the switch go.
    ASSERT_TRUE(NoInstanceRunning());
    EXPECT_EQ(installation.Uninstall(), 0u);
    EXPECT_FALSE(DirectoryExists(installation.Directory()));
}

namespace {

const wchar_t kSimServerKey[] = L"CLSID\\{797E1292-653D-43DD-AE7E-F6606A73C647}\\InprocServer32";

// Puts the build's stand-in handset back in the registry, where the other
// test programs expect it, however the test ends.
struct RestoreBuildHandset {
    ~RestoreBuildHandset()
    {
        HMODULE hSim = LoadLibraryW(JoinPath(TestBinDir(), L"UsbPhoneSim.dll").c_str());
        if (!hSim)
            return;
        using RegisterServer = HRESULT(WINAPI*)();
        if (auto registerServer = reinterpret_cast<RegisterServer>(GetProcAddress(hSim, "DllRegisterServer")))
            registerServer();
        FreeLibrary(hSim);
    }
};

}  // namespace

// /SIMHANDSET installs the stand-in handset beside the program and registers
// it; the installed program then finds its virtual handset. The uninstaller
// unregisters it and takes it away.
TEST(InstallerSimHandset, InstalledRegisteredUsedAndRemoved)
{
    RestoreBuildHandset restore;
    Installation installation;
    ASSERT_EQ(installation.Install(L"/SIMHANDSET"), 0u);
    ExpectShippedFilesInstalled(installation);
    const std::wstring dll = installation.File(L"UsbPhoneSim.dll");
    ASSERT_TRUE(FileExists(dll));
    EXPECT_EQ(ReadFileBytes(dll), ReadFileBytes(JoinPath(TestBinDir(), L"UsbPhoneSim.dll")));
    EXPECT_EQ(_wcsicmp(ReadRegistryString(HKEY_CLASSES_ROOT, kSimServerKey, nullptr).c_str(), dll.c_str()), 0);

    ASSERT_TRUE(NoInstanceRunning());
    SetEnvironmentVariableW(L"CALLVANE_HANDSET", L"plugged");
    CChildProcess running(installation.File(L"Callvane.exe"), L"");
    SetEnvironmentVariableW(L"CALLVANE_HANDSET", nullptr);
    ASSERT_TRUE(running.Started());
    EXPECT_TRUE(WaitFor([&] { return FindProcessWindow(running.Id(), L"CallvaneVirtualHandset", nullptr) != nullptr; },
                        kStartTimeoutMs));

    EXPECT_EQ(installation.Uninstall(), 0u);
    EXPECT_TRUE(running.WaitForExit(kStartTimeoutMs));
    EXPECT_FALSE(DirectoryExists(installation.Directory()));
    EXPECT_NE(_wcsicmp(ReadRegistryString(HKEY_CLASSES_ROOT, kSimServerKey, nullptr).c_str(), dll.c_str()), 0);
}

namespace {

unsigned long Crc32(const std::string& bytes)
{
    unsigned long crc = 0xFFFFFFFFul;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320ul & (0ul - (crc & 1)));
    }
    return crc ^ 0xFFFFFFFFul;
}

unsigned long Read16(const std::string& data, size_t at)
{
    return static_cast<unsigned char>(data[at]) | static_cast<unsigned char>(data[at + 1]) << 8;
}

unsigned long Read32(const std::string& data, size_t at) { return Read16(data, at) | Read16(data, at + 2) << 16; }

struct ZipEntry {
    unsigned long crc;
    unsigned long size;
};

// The files of a zip archive by name, from its central directory.
bool ReadZipDirectory(const std::string& zip, std::map<std::string, ZipEntry>* entries)
{
    if (zip.size() < 22)
        return false;
    size_t end = zip.size() - 22;
    while (end > 0 && Read32(zip, end) != 0x06054b50ul)
        --end;
    if (Read32(zip, end) != 0x06054b50ul)
        return false;
    unsigned long count = Read16(zip, end + 10);
    size_t at = Read32(zip, end + 16);
    for (unsigned long i = 0; i < count; ++i) {
        if (at + 46 > zip.size() || Read32(zip, at) != 0x02014b50ul)
            return false;
        size_t nameLength = Read16(zip, at + 28);
        std::string name = zip.substr(at + 46, nameLength);
        (*entries)[name] = ZipEntry{Read32(zip, at + 16), Read32(zip, at + 24)};
        at += 46 + nameLength + Read16(zip, at + 30) + Read16(zip, at + 32);
    }
    return true;
}

}  // namespace

TEST(InstallerPortableZip, HoldsTheProgramFilesInACallvaneFolder)
{
    std::string zip = ReadFileBytes(JoinPath(BuildDir(), L"Callvane-portable.zip"));
    ASSERT_FALSE(zip.empty());
    std::map<std::string, ZipEntry> entries;
    ASSERT_TRUE(ReadZipDirectory(zip, &entries));

    std::set<std::string> files;
    for (const auto& entry : entries)
        if (entry.first.back() != '/')
            files.insert(entry.first);
    EXPECT_EQ(files, (std::set<std::string>{"Callvane/Callvane.exe", "Callvane/ok.ico", "Callvane/nophone.ico",
                                            "Callvane/nodevice.ico", "Callvane/Callvane.ini",
                                            "Callvane/Language/English.ini"}));
    for (const wchar_t* name : kShippedFiles) {
        std::string zipName = "Callvane/" + std::string(name, name + wcslen(name));
        for (char& c : zipName)
            if (c == '\\')
                c = '/';
        SCOPED_TRACE(zipName);
        auto found = entries.find(zipName);
        ASSERT_NE(found, entries.end());
        std::string bytes = ReadFileBytes(JoinPath(TestBinDir(), name));
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(found->second.size, bytes.size());
        EXPECT_EQ(found->second.crc, Crc32(bytes));
    }
    // The program as installed and zipped is stripped: no symbols, and no
    // ".debug_*" section (whose names live among the symbols' strings).
    std::string exe = ReadFileBytes(JoinPath(TestBinDir(), L"Callvane.exe"));
    ASSERT_GT(exe.size(), 0x40u);
    EXPECT_EQ(Read32(exe, Read32(exe, 0x3C) + 16), 0ul);
    EXPECT_EQ(exe.find(".debug_"), std::string::npos);
}
