#include "Journal.h"

#include <cstdio>

CJournal::CJournal()
{
    InitializeCriticalSection(&m_lock);
}

CJournal::~CJournal()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
    DeleteCriticalSection(&m_lock);
}

bool CJournal::Open(const wchar_t* path)
{
    HANDLE hFile = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    EnterCriticalSection(&m_lock);
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
    m_hFile = hFile;
    LeaveCriticalSection(&m_lock);
    return true;
}

void CJournal::Line(const std::string& text)
{
    std::string line = text + "\n";
    EnterCriticalSection(&m_lock);
    if (m_hFile != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(m_hFile, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    LeaveCriticalSection(&m_lock);
}

std::string CJournal::Handle(HWND hWnd)
{
    char text[16];
    snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(hWnd) & 0xFFFFFFFFu));
    return text;
}

std::string CJournal::Hex(UINT_PTR value)
{
    char text[24];
    snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value & 0xFFFFFFFFu));
    return text;
}

std::string CJournal::Quote(const std::wstring& text)
{
    std::string quoted = "\"";
    std::wstring run;   // converted together, so that surrogate pairs stay whole
    auto flush = [&] {
        if (run.empty())
            return;
        int bytes = WideCharToMultiByte(CP_UTF8, 0, run.data(), static_cast<int>(run.size()), nullptr, 0, nullptr,
                                        nullptr);
        if (bytes > 0) {
            std::string utf8(static_cast<size_t>(bytes), '\0');
            WideCharToMultiByte(CP_UTF8, 0, run.data(), static_cast<int>(run.size()), &utf8[0], bytes, nullptr,
                                nullptr);
            quoted += utf8;
        }
        run.clear();
    };
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            flush();
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            flush();
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
            quoted += escape;
        } else {
            run += c;
        }
    }
    flush();
    return quoted + "\"";
}
