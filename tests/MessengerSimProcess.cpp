#include "MessengerSimProcess.h"

#include "SimChannel.h"
#include "SimIds.h"

#include <cstdio>
#include <cstdlib>

namespace {

const DWORD kStartTimeoutMs = 15000;

std::vector<std::string> SplitJournalWords(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted && c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            continue;
        }
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
            continue;
        }
        if (!quoted && c == ' ') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        word += c;
        inWord = true;
    }
    if (inWord)
        words.push_back(word);
    return words;
}

}  // namespace

CMessengerSimProcess::CMessengerSimProcess(const std::wstring& languagePath, bool hidden, bool timestamps)
    : m_journalPath(JoinPath(m_dir.Path(), L"journal.txt"))
{
    std::wstring arguments = L"--journal \"" + m_journalPath + L"\"";
    if (!languagePath.empty())
        arguments += L" --language \"" + languagePath + L"\"";
    if (hidden)
        arguments += L" --hidden";
    if (timestamps)
        arguments += L" --timestamps";
    m_process = std::make_unique<CChildProcess>(JoinPath(TestBinDir(), L"MessengerSim.exe"), arguments);
    if (!m_process->Started())
        return;
    DWORD id = m_process->Id();
    WaitFor(
        [&] {
            std::vector<HWND> found = FindMessengerSims(id);
            m_hControl = found.empty() ? nullptr : found.front();
            return m_hControl != nullptr || !m_process->IsRunning();
        },
        kStartTimeoutMs);
    // Its windows are all there once it says so.
    if (m_hControl && !WaitForState(0, "ready " + std::to_string(id), kStartTimeoutMs))
        m_hControl = nullptr;
}

CMessengerSimProcess::~CMessengerSimProcess()
{
    if (m_hControl && m_process && m_process->IsRunning()) {
        LRESULT result = 0;
        SendSimCommand(m_hControl, L"quit", result, 5000);
        m_process->WaitForExit(5000);
    }
    m_process.reset();   // ends it if it still runs
}

LRESULT CMessengerSimProcess::Command(const std::wstring& command)
{
    LRESULT result = 0;
    if (!m_hControl || !SendSimCommand(m_hControl, command, result))
        return 0;
    return result;
}

bool CMessengerSimProcess::Sync()
{
    LRESULT id = Command(L"sync");
    if (id <= 0)
        return false;
    return WaitForState(0, "synced " + std::to_string(static_cast<long long>(id)));
}

std::vector<SimJournalEntry> CMessengerSimProcess::Journal() const
{
    uint64_t offset = 0;
    return JournalFrom(offset);
}

std::vector<SimJournalEntry> CMessengerSimProcess::JournalFrom(uint64_t& byteOffset) const
{
    std::string bytes = ReadFileBytes(m_journalPath, byteOffset);
    std::vector<SimJournalEntry> entries;
    size_t start = 0;
    for (;;) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            break;   // a line is complete only with its line break
        SimJournalEntry entry;
        entry.line = bytes.substr(start, end - start);
        entry.words = SplitJournalWords(entry.line);
        entries.push_back(entry);
        start = end + 1;
    }
    byteOffset += start;
    return entries;
}

std::vector<std::string> CMessengerSimProcess::Messages(size_t mark) const
{
    std::vector<SimJournalEntry> entries = Journal();
    std::vector<std::string> messages;
    for (size_t i = mark; i < entries.size(); ++i) {
        const std::vector<std::string>& w = entries[i].words;
        if (w.size() < 6 || w[0] != "msg")
            continue;
        messages.push_back(w[1] + " " + w[3] + " " + w[4] + " " + w[5]);
    }
    return messages;
}

std::vector<std::string> CMessengerSimProcess::States(size_t mark) const
{
    std::vector<SimJournalEntry> entries = Journal();
    std::vector<std::string> states;
    const std::string prefix = "state ";
    for (size_t i = mark; i < entries.size(); ++i) {
        if (entries[i].line.compare(0, prefix.size(), prefix) == 0)
            states.push_back(entries[i].line.substr(prefix.size()));
    }
    return states;
}

bool CMessengerSimProcess::WaitForState(size_t mark, const std::string& text, DWORD timeoutMs) const
{
    return WaitFor(
        [&] {
            for (const std::string& state : States(mark)) {
                if (state == text)
                    return true;
            }
            return false;
        },
        timeoutMs);
}

bool CMessengerSimProcess::WaitForMessages(size_t mark, size_t count, DWORD timeoutMs) const
{
    return WaitFor([&] { return Messages(mark).size() >= count; }, timeoutMs);
}

HWND CMessengerSimProcess::Window(const std::string& role) const
{
    HWND hWnd = nullptr;
    for (const SimJournalEntry& entry : Journal()) {
        const std::vector<std::string>& w = entry.words;
        if (w.size() == 4 && w[0] == "state" && w[1] == "window" && w[2] == role)
            hWnd = reinterpret_cast<HWND>(static_cast<UINT_PTR>(strtoul(w[3].c_str(), nullptr, 16)));
    }
    return hWnd;
}

std::string CMessengerSimProcess::HandleText(HWND hWnd)
{
    char text[16];
    snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(hWnd) & 0xFFFFFFFFu));
    return text;
}
