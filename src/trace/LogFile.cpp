#include "LogFile.h"

#include "framework/BoundedString.h"

#include <shlobj.h>

#include <vector>

namespace {

// Takes the lock for one scope.
class CExclusive {
public:
    explicit CExclusive(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~CExclusive() { ReleaseSRWLockExclusive(&m_lock); }
    CExclusive(const CExclusive&) = delete;
    CExclusive& operator=(const CExclusive&) = delete;

private:
    SRWLOCK& m_lock;
};

bool JoinName(wchar_t (&path)[MAX_PATH], const wchar_t* folder, const wchar_t* name)
{
    return CopyTruncated(path, folder) && AppendWhole(path, L"\\") && AppendWhole(path, name);
}

// The line as UTF-8 with CR LF in place of its closing line feed, cut to
// kLogFileLineChars characters.
std::vector<char> FileLine(const wchar_t* line)
{
    size_t length = wcsnlen(line, kLogFileLineChars);
    if (length > 0 && line[length - 1] == L'\n')
        --length;
    std::vector<char> bytes;
    int needed = WideCharToMultiByte(CP_UTF8, 0, line, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (needed < 0)
        return bytes;
    bytes.resize(static_cast<size_t>(needed) + 2);
    WideCharToMultiByte(CP_UTF8, 0, line, static_cast<int>(length), bytes.data(), needed, nullptr, nullptr);
    bytes[static_cast<size_t>(needed)] = '\r';
    bytes[static_cast<size_t>(needed) + 1] = '\n';
    return bytes;
}

}  // namespace

bool DefaultLogFolder(wchar_t (&folder)[MAX_PATH])
{
    // Not verified: the folder may not exist yet in a fresh profile.
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT,
                         folder) != S_OK)
        return false;
    return folder[0] != L'\0' && AppendWhole(folder, L"\\") && AppendWhole(folder, kLogFolderName);
}

CLogFile::CLogFile(const wchar_t* folder, unsigned long long capBytes, LogFileStart start)
    : m_capBytes(capBytes), m_bClaimed(start == LogFileStart::AtOnce)
{
    if (folder)
        CopyTruncated(m_folder, folder);
}

bool CLogFile::Append(const wchar_t* line)
{
    if (!line)
        return false;
    CExclusive hold(m_lock);
    if (!m_bClaimed) {
        if (m_held.size() >= kLogHeldLines)
            return false;
        m_held.emplace_back(line, wcsnlen(line, kLogFileLineChars));
        return true;
    }
    return Write(line);
}

void CLogFile::Claim()
{
    CExclusive hold(m_lock);
    if (m_bClaimed)
        return;
    m_bClaimed = true;
    for (const std::wstring& line : m_held)
        Write(line.c_str());
    m_held.clear();
    m_held.shrink_to_fit();
}

bool CLogFile::Write(const wchar_t* line)
{
    if (m_bFailed)
        return false;
    if (!m_file && !Open()) {
        m_bFailed = true;
        return false;
    }
    std::vector<char> bytes = FileLine(line);
    MakeRoomFor(static_cast<DWORD>(bytes.size()));
    DWORD written = 0;
    // Straight to the system, nothing held back: a crash after this call
    // loses nothing of the line.
    if (!m_file || !WriteFile(m_file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        m_file.Reset();
        m_bFailed = true;
        return false;
    }
    return true;
}

bool CLogFile::Open()
{
    if (m_folder[0] == L'\0' && !DefaultLogFolder(m_folder))
        return false;
    wchar_t path[MAX_PATH];
    if (!JoinName(path, m_folder, kLogFileName))
        return false;
    // Its parent is the user's own folder: only the last level is made.
    CreateDirectoryW(m_folder, nullptr);
    // Append-only, and shared, so that another writer of the folder adds its
    // lines in between rather than failing; renaming it stays possible while
    // others hold it.
    m_file.Reset(CreateFileW(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    return m_file.IsValid();
}

// At the cap the file becomes the older one and a new file starts; when it
// cannot be renamed, it starts again empty rather than grow without end.
// Another writer of the folder may have turned it already: then the file
// held is the older one, and the new file at the path is opened instead of
// being turned over the older one.
void CLogFile::MakeRoomFor(DWORD bytes)
{
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(m_file.Get(), &size) || size.QuadPart == 0 ||
        static_cast<unsigned long long>(size.QuadPart) + bytes <= m_capBytes)
        return;
    wchar_t path[MAX_PATH];
    wchar_t oldPath[MAX_PATH];
    if (!JoinName(path, m_folder, kLogFileName) || !JoinName(oldPath, m_folder, kOldLogFileName))
        return;
    CKernelHandle turn(CreateMutexW(nullptr, FALSE, kLogTurnMutexName));
    // Abandoned by a writer that died turning: the file is still whole. A
    // writer that holds it too long is not waited for.
    const DWORD waited = turn ? WaitForSingleObject(turn.Get(), kLogTurnWaitMs) : WAIT_FAILED;
    const bool turning = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    const bool turnedByAnother = !PathNamesOpenFile(path);
    m_file.Reset();
    if (!turnedByAnother && !MoveFileExW(path, oldPath, MOVEFILE_REPLACE_EXISTING))
        DeleteFileW(path);
    Open();
    if (turning)
        ReleaseMutex(turn.Get());
}

// Whether the path still names the file this object holds: false when it
// names another file or none; true when that cannot be told, so that the
// file is turned as it always was rather than grow.
bool CLogFile::PathNamesOpenFile(const wchar_t* path) const
{
    CFileHandle named(CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!named)
        return GetLastError() != ERROR_FILE_NOT_FOUND;
    BY_HANDLE_FILE_INFORMATION held = {}, atPath = {};
    if (!GetFileInformationByHandle(m_file.Get(), &held) || !GetFileInformationByHandle(named.Get(), &atPath))
        return true;
    return held.dwVolumeSerialNumber == atPath.dwVolumeSerialNumber && held.nFileIndexHigh == atPath.nFileIndexHigh &&
           held.nFileIndexLow == atPath.nFileIndexLow;
}
