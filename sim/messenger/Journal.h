// CJournal: the stand-in's record of what reached it, one UTF-8 line per
// event, appended to a file that readers may open at any time. Lines are
// written whole with one write each, so a reader never sees half a line
// followed by another line.
#pragma once

#include <windows.h>

#include <string>

class CJournal {
public:
    CJournal();
    ~CJournal();
    CJournal(const CJournal&) = delete;
    CJournal& operator=(const CJournal&) = delete;

    // Starts a new journal at path; without one, lines go nowhere.
    bool Open(const wchar_t* path);
    // Appends one line (a line break is added). Safe from any thread.
    void Line(const std::string& text);
    // Whether message lines carry the performance-counter time at which the
    // message left the queue (for latency measurements).
    void SetTimestamps(bool on) { m_bTimestamps = on; }
    bool Timestamps() const { return m_bTimestamps; }

    // A window handle as eight hex digits, as every line names windows.
    static std::string Handle(HWND hWnd);
    static std::string Hex(UINT_PTR value);
    // A text in double quotes, UTF-8, with quote, backslash and control
    // characters escaped.
    static std::string Quote(const std::wstring& text);

private:
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    CRITICAL_SECTION m_lock;
    bool m_bTimestamps = false;
};
