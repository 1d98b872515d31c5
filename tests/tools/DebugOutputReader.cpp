#include "DebugOutputReader.h"

#include <cstdio>
#include <cstring>

namespace {

const DWORD kBufferBytes = 4096;
const DWORD kPollMs = 50;

}  // namespace

CDebugOutputReader::CDebugOutputReader()
{
    m_hBuffer.Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferBytes, L"DBWIN_BUFFER"));
    bool alreadyThere = GetLastError() == ERROR_ALREADY_EXISTS;
    m_hBufferReady.Reset(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
    m_hDataReady.Reset(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
    if (m_hBuffer)
        m_view.Reset(MapViewOfFile(m_hBuffer.Get(), FILE_MAP_READ, 0, 0, kBufferBytes));
    m_bListening = !alreadyThere && m_hBufferReady && m_hDataReady && m_view;
    if (m_bListening)
        m_thread = std::thread([this] { Run(); });
}

CDebugOutputReader::~CDebugOutputReader()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void CDebugOutputReader::Run()
{
    const char* buffer = static_cast<const char*>(m_view.Get());
    while (!m_stop) {
        SetEvent(m_hBufferReady.Get());
        // Wait for a writer to fill the buffer, looking for the stop request
        // in between, before offering the buffer again.
        DWORD result;
        while ((result = WaitForSingleObject(m_hDataReady.Get(), kPollMs)) == WAIT_TIMEOUT && !m_stop) {
        }
        if (result != WAIT_OBJECT_0)
            break;
        DWORD processId = 0;
        memcpy(&processId, buffer, sizeof processId);
        const char* text = buffer + sizeof processId;
        std::string line(text, strnlen(text, kBufferBytes - sizeof processId));
        std::lock_guard<std::mutex> guard(m_lock);
        m_lines.emplace_back(processId, line);
    }
}

std::vector<std::string> CDebugOutputReader::LinesFrom(DWORD processId) const
{
    std::vector<std::string> lines;
    std::lock_guard<std::mutex> guard(m_lock);
    for (const auto& entry : m_lines)
        if (entry.first == processId)
            lines.push_back(entry.second);
    return lines;
}

bool CDebugOutputReader::Flush(DWORD timeoutMs)
{
    if (!m_bListening)
        return false;
    char marker[64];
    snprintf(marker, sizeof marker, "callvane-test-flush-%u", ++m_nFlushes);
    OutputDebugStringA(marker);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        for (const std::string& line : LinesFrom(GetCurrentProcessId()))
            if (line == marker)
                return true;
        Sleep(10);
    }
    return false;
}
