// A debugger-output reader of the DBWIN kind, in the test process: while it
// exists it receives every OutputDebugString line of every process in the
// Wine prefix (as ANSI text) with the writer's process id.
#pragma once

#include "framework/ScopedHandle.h"
#include "trace/TraceLog.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CDebugOutputReader {
public:
    CDebugOutputReader();
    ~CDebugOutputReader();
    CDebugOutputReader(const CDebugOutputReader&) = delete;
    CDebugOutputReader& operator=(const CDebugOutputReader&) = delete;

    // False when the reader's objects could not be made, or another reader
    // already holds them (two readers would steal each other's lines).
    bool IsListening() const { return m_bListening; }
    // Lines received so far from processId, in order.
    std::vector<std::string> LinesFrom(DWORD processId) const;
    // Writes a marker from this process and waits until it arrives. Writers
    // take turns through the one shared buffer, so every line written before
    // the marker has been received by then.
    bool Flush(DWORD timeoutMs = 15000);

private:
    void Run();

    CKernelHandle m_hBuffer;        // "DBWIN_BUFFER": writer's process id, then the text
    CKernelHandle m_hBufferReady;   // set by the reader: the buffer may be filled
    CKernelHandle m_hDataReady;     // set by a writer: the buffer holds a line
    CMappedView m_view;
    bool m_bListening = false;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_lock;
    std::vector<std::pair<DWORD, std::string>> m_lines;
    unsigned m_nFlushes = 0;
    std::thread m_thread;
};
