#include "HidHandset.h"

#include <algorithm>
#include <cstring>

#include "HidApi.h"
#include "HidIds.h"
#include "PhoneIds.h"
#include "settings/MixerVolume.h"
#include "trace/TraceLog.h"

namespace {

// A report on its way from the reader to the window's thread.
struct PostedReport {
    DWORD length;
    BYTE bytes[1];
};

const DWORD kWriteWaitMs = 250;
// How long a write cancelled after kWriteWaitMs is waited for before it is
// called timed out (its memory still lives until it completes).
const DWORD kWriteCancelWaitMs = 250;

// A value of bits bits as the signed number it stands for.
int SignedValue(ULONG raw, uint16_t bits)
{
    if (bits == 0 || bits >= 32)
        return static_cast<int>(raw);
    raw &= (1UL << bits) - 1;
    return (raw & (1UL << (bits - 1))) ? static_cast<int>(raw) - (1 << bits) : static_cast<int>(raw);
}

}  // namespace

// The thread that writes a device's output reports, and what it shares with
// the handset. The handset posts the reports to write (the latest replace
// any still waiting) and lets go when the device closes; the thread lets go
// when it ends, which is only once its last write has completed: the system
// may write the OVERLAPPED (and read the bytes) until then. A device that
// never completes a write keeps its thread and these few bytes for good, and
// nothing else.
class CHidWriter {
public:
    // Writes to its own duplicate of device, closed by the last one to let go.
    static CHidWriter* Start(HANDLE device)
    {
        std::unique_ptr<CHidWriter> writer(new CHidWriter);
        if (!DuplicateHandle(GetCurrentProcess(), device, GetCurrentProcess(), &writer->m_device, 0, FALSE,
                             DUPLICATE_SAME_ACCESS))
            return nullptr;
        writer->m_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        writer->m_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!writer->m_wake || !writer->m_done)
            return nullptr;
        HANDLE thread = CreateThread(nullptr, 0, Run, writer.get(), 0, nullptr);
        if (!thread)
            return nullptr;
        CloseHandle(thread);
        return writer.release();
    }
    void Post(std::vector<std::vector<char>> reports)
    {
        EnterCriticalSection(&m_lock);
        m_waiting = std::move(reports);
        LeaveCriticalSection(&m_lock);
        SetEvent(m_wake);
    }
    // The handset lets go: the thread ends once its write is through.
    void Stop()
    {
        EnterCriticalSection(&m_lock);
        m_stop = true;
        m_waiting.clear();
        LeaveCriticalSection(&m_lock);
        SetEvent(m_wake);
        Release();
    }

private:
    friend struct std::default_delete<CHidWriter>;   // Start's, until the thread runs
    CHidWriter() { InitializeCriticalSection(&m_lock); }
    ~CHidWriter()
    {
        DeleteCriticalSection(&m_lock);
        for (HANDLE h : {m_device, m_wake, m_done}) {
            if (h && h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
        }
    }
    void Release()
    {
        if (InterlockedDecrement(&m_refs) == 0)
            delete this;
    }
    static DWORD WINAPI Run(void* self)
    {
        auto* writer = static_cast<CHidWriter*>(self);
        writer->Loop();
        writer->Release();
        return 0;
    }
    void Loop()
    {
        for (;;) {
            WaitForSingleObject(m_wake, INFINITE);
            EnterCriticalSection(&m_lock);
            std::vector<std::vector<char>> reports;
            reports.swap(m_waiting);
            const bool stop = m_stop;
            LeaveCriticalSection(&m_lock);
            if (stop)
                return;
            for (const std::vector<char>& report : reports)
                Write(report);
        }
    }
    // One report, returned from only once the system is done with it. A
    // device that does not take it in time is not waited for: the write is
    // cancelled, and said to have timed out.
    void Write(const std::vector<char>& report)
    {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = m_done;
        ResetEvent(m_done);
        DWORD written = 0;
        const DWORD began = GetTickCount();
        // Wine's HID class driver writes within the request, so there the
        // call itself returns only once the device has taken the report.
        const bool pending = !WriteFile(m_device, report.data(), static_cast<DWORD>(report.size()), &written,
                                        &overlapped) &&
                             GetLastError() == ERROR_IO_PENDING;
        if (pending && WaitForSingleObject(m_done, kWriteWaitMs) != WAIT_OBJECT_0) {
            CancelIoEx(m_device, &overlapped);
            WaitForSingleObject(m_done, kWriteCancelWaitMs);
        }
        if (GetTickCount() - began > kWriteWaitMs)
            Trace(kTraceHidWriteTimedOut, static_cast<unsigned>(static_cast<UCHAR>(report[0])),
                  static_cast<unsigned>(kWriteWaitMs));
        // Until it completes the OVERLAPPED on this stack may still be written.
        if (pending)
            WaitForSingleObject(m_done, INFINITE);
    }

    CRITICAL_SECTION m_lock;
    HANDLE m_device = nullptr;
    HANDLE m_wake = nullptr;
    HANDLE m_done = nullptr;
    std::vector<std::vector<char>> m_waiting;   // under m_lock
    bool m_stop = false;                        // under m_lock
    LONG m_refs = 2;                            // the handset's and the thread's
};

void CHidHandset::WriterRelease::operator()(CHidWriter* writer) const
{
    writer->Stop();
}

CHidHandset::CHidHandset() = default;

CHidHandset::~CHidHandset()
{
    CloseDevice();
}

void CHidHandset::SetNotifyWindow(HWND hwnd, UINT msgInput, UINT msgGone)
{
    m_hwnd = hwnd;
    m_msgInput = msgInput;
    m_msgGone = msgGone;
}

bool CHidHandset::Open(const HidDeviceInfo& info)
{
    if (m_hDevice != INVALID_HANDLE_VALUE)
        return info.path == m_path;
    if (!m_api && !(m_api = LoadHidApi()))
        return false;
    HANDLE device = CreateFileW(info.path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return false;
    // The system keeps a few reports for a reader that falls behind (32
    // under Wine) and drops the oldest: a burst of keys on a busy machine
    // lost some. A device that refuses keeps its own number.
    m_api->SetNumInputBuffers(device, kHidInputBuffers);
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    HIDP_CAPS caps = {};
    if (!m_api->GetPreparsedData(device, &preparsed)) {
        CloseHandle(device);
        return false;
    }
    // Judged a handset through another handle; its collections are read
    // again from this one.
    HidCapabilities found;
    int root = -1;
    if (m_api->GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS && caps.InputReportByteLength &&
        caps.InputReportByteLength <= kHidMaxReportBytes && caps.OutputReportByteLength <= kHidMaxReportBytes &&
        ReadCapabilities(*m_api, preparsed, caps, found))
        root = FindHandsetCollection(found.nodes, found.inputs);
    if (root < 0) {
        m_api->FreePreparsedData(preparsed);
        CloseHandle(device);
        return false;
    }
    m_hDevice = device;
    m_preparsed = preparsed;
    m_inputBytes = caps.InputReportByteLength;
    m_outputBytes = caps.OutputReportByteLength;
    m_path = info.path;
    m_id = info.StableId();
    Describe(found, root);
    ++m_generation;
    m_writer.reset(CHidWriter::Start(device));
    m_hStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_hThread = m_hStop ? CreateThread(nullptr, 0, ReaderThread, this, 0, nullptr) : nullptr;
    if (!m_hThread) {
        CloseDevice();
        return false;
    }
    return true;
}

// Which way the hook switch reports, which reports carry what, and which
// outputs the device has.
void CHidHandset::Describe(const HidCapabilities& found, int root)
{
    m_layout = DescribeHandset(found.nodes, root, found.inputs, found.outputs);
    m_declaredIds.clear();
    for (const HidControl& c : found.inputs) {
        if (std::find(m_declaredIds.begin(), m_declaredIds.end(), c.reportId) == m_declaredIds.end())
            m_declaredIds.push_back(c.reportId);
    }
    m_lastOutputs.clear();
    m_logic = std::make_unique<CHidTelephony>(m_layout.hookForm, m_layout.hookIds);
}

void CHidHandset::CloseDevice()
{
    // The microphone muted from the handset is not left muted for the
    // calls after it: the handset that could open it again is gone.
    if (m_logic && m_logic->IsMuted())
        MuteMicrophone(false);
    m_writer.reset();
    if (m_hThread) {
        SetEvent(m_hStop);
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    if (m_hStop) {
        CloseHandle(m_hStop);
        m_hStop = nullptr;
    }
    if (m_preparsed) {
        m_api->FreePreparsedData(static_cast<PHIDP_PREPARSED_DATA>(m_preparsed));
        m_preparsed = nullptr;
    }
    if (m_hDevice != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hDevice);
        m_hDevice = INVALID_HANDLE_VALUE;
    }
    m_path.clear();
    m_id.clear();
    m_logic.reset();
}

LONG CHidHandset::GetDeviceModel()
{
    return m_hDevice != INVALID_HANDLE_VALUE ? kHidHandsetModel : 0;
}

short CHidHandset::GetLineChannel()
{
    return static_cast<short>(kLineChannelUsb);
}

void CHidHandset::SetReady()
{
    ShowCall(HidCall::kReady);
}

void CHidHandset::ShowCallIn(const wchar_t*)
{
    ShowCall(HidCall::kRinging);
}

void CHidHandset::ShowInTalk(const wchar_t*)
{
    ShowCall(HidCall::kTalk);
}

void CHidHandset::ShowCall(HidCall call)
{
    if (!m_logic)
        return;
    const bool wasMuted = m_logic->IsMuted();
    HidOutputs outputs = m_logic->ShowCall(call);
    // The call that was muted is over: the microphone is open for the next.
    if (wasMuted && !m_logic->IsMuted())
        MuteMicrophone(false);
    SetOutputs(outputs);
}

void CHidHandset::MuteMicrophone(bool muted)
{
    CMixerVolume mixer = OpenMixerWithLine(kHandsetAudioDeviceName, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    if (!mixer.IsOpen() || !mixer.SetMute(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, muted))
        Trace(kTraceHidNoMicrophoneMute);
}

// One output report per report id that carries any of the outputs. Each is
// the last one written with the driven outputs changed, so that outputs
// Callvane does not drive (hold, message waiting, ...) keep their state.
void CHidHandset::SetOutputs(const HidOutputs& outputs)
{
    if (!m_writer || !m_outputBytes || m_layout.outputs.empty())
        return;
    auto* preparsed = static_cast<PHIDP_PREPARSED_DATA>(m_preparsed);
    std::vector<UCHAR> ids;
    for (const HidOutputControl& o : m_layout.outputs) {
        if (std::find(ids.begin(), ids.end(), o.reportId) == ids.end())
            ids.push_back(o.reportId);
    }
    bool wroteOffHook = false;
    std::vector<std::vector<char>> reports;
    for (UCHAR id : ids) {
        std::vector<char>& report = m_lastOutputs[id];
        if (report.size() != m_outputBytes) {
            report.assign(m_outputBytes, 0);
            if (m_api->InitializeReport(HidP_Output, id, preparsed, report.data(), m_outputBytes) !=
                HIDP_STATUS_SUCCESS) {
                report.clear();
                continue;
            }
        }
        for (const HidOutputControl& o : m_layout.outputs) {
            if (o.reportId != id)
                continue;
            bool on = o.usage == kHidUsageRinger ? outputs.ringer
                      : o.usage == kHidLedRing   ? outputs.ringLed
                      : o.usage == kHidLedMute   ? outputs.muteLed
                                                 : outputs.offHookLed;
            wroteOffHook |= o.page == kHidPageLeds && o.usage == kHidLedOffHook;
            USAGE usage = o.usage;
            ULONG one = 1;
            if (on)
                m_api->SetUsages(HidP_Output, o.page, o.link, &usage, &one, preparsed, report.data(), m_outputBytes);
            else
                m_api->UnsetUsages(HidP_Output, o.page, o.link, &usage, &one, preparsed, report.data(),
                                   m_outputBytes);
        }
        reports.push_back(report);
    }
    if (m_writer)
        m_writer->Post(std::move(reports));
    if (wroteOffHook)
        m_logic->OnOffHookLedWritten(outputs.offHookLed, GetTickCount());
}

DWORD WINAPI CHidHandset::ReaderThread(void* self)
{
    static_cast<CHidHandset*>(self)->ReadLoop();
    return 0;
}

void CHidHandset::ReadLoop()
{
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!done)
        return;
    const WPARAM generation = m_generation;
    std::vector<BYTE> buffer(m_inputBytes);
    for (;;) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = done;
        ResetEvent(done);
        DWORD got = 0;
        if (!ReadFile(m_hDevice, buffer.data(), m_inputBytes, &got, &overlapped) && GetLastError() != ERROR_IO_PENDING)
            break;
        HANDLE waits[] = {done, m_hStop};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
            CancelIo(m_hDevice);
            GetOverlappedResult(m_hDevice, &overlapped, &got, TRUE);
            CloseHandle(done);
            return;
        }
        if (!GetOverlappedResult(m_hDevice, &overlapped, &got, FALSE))
            break;
        if (!got || got > m_inputBytes)
            continue;
        auto* report = static_cast<PostedReport*>(malloc(sizeof(PostedReport) + got));
        if (!report)
            continue;
        report->length = got;
        memcpy(report->bytes, buffer.data(), got);
        if (!m_hwnd || !PostMessageW(m_hwnd, m_msgInput, generation, reinterpret_cast<LPARAM>(report)))
            free(report);
    }
    // The device went (or failed for good): the window's thread closes it.
    CloseHandle(done);
    if (m_hwnd)
        PostMessageW(m_hwnd, m_msgGone, generation, 0);
    WaitForSingleObject(m_hStop, INFINITE);
}

std::vector<HidEvent> CHidHandset::TakeReport(WPARAM generation, LPARAM posted)
{
    std::unique_ptr<PostedReport, decltype(&free)> report(reinterpret_cast<PostedReport*>(posted), &free);
    if (!report || !IsCurrent(generation))
        return {};
    return JudgeReport(report->bytes, report->length);
}

std::vector<HidEvent> CHidHandset::JudgeReport(const BYTE* bytes, size_t length)
{
    if (!m_logic || !bytes)
        return {};
    // The HID stack gives each report whole, its id first (0 without ids):
    // a report of another length did not come whole from the device.
    if (length != m_inputBytes) {
        Trace(kTraceHidReportRefused, L"length", static_cast<unsigned>(length));
        return {};
    }
    const uint8_t id = bytes[0];
    if (std::find(m_declaredIds.begin(), m_declaredIds.end(), id) == m_declaredIds.end()) {
        Trace(kTraceHidReportRefused, L"undeclared id", static_cast<unsigned>(length));
        return {};
    }
    // Another collection's report (a composite device's volume keys) says
    // nothing about the call.
    if (std::find(m_layout.inputIds.begin(), m_layout.inputIds.end(), id) == m_layout.inputIds.end())
        return {};
    auto* preparsed = static_cast<PHIDP_PREPARSED_DATA>(m_preparsed);
    std::vector<char> copy(bytes, bytes + length);
    std::vector<uint16_t> list;
    // The telephony collection and those nested in it (a key pad); link 0 is
    // the whole top-level collection.
    const bool whole = std::find(m_layout.links.begin(), m_layout.links.end(), 0) != m_layout.links.end();
    for (uint16_t link : m_layout.links) {
        if (whole && link)
            break;
        USAGE usages[kHidMaxUsages];
        ULONG count = kHidMaxUsages;
        NTSTATUS status = m_api->GetUsages(HidP_Input, kHidPageTelephony, link, usages, &count, preparsed, copy.data(),
                                           static_cast<ULONG>(length));
        if (status == HIDP_STATUS_BUFFER_TOO_SMALL) {
            Trace(kTraceHidReportRefused, L"too many usages", static_cast<unsigned>(length));
            return {};
        }
        if (status == HIDP_STATUS_SUCCESS)
            list.insert(list.end(), usages, usages + std::min<ULONG>(count, kHidMaxUsages));
    }
    int hookValue = 0;
    if (m_layout.hookIsValue &&
        std::find(m_layout.hookIds.begin(), m_layout.hookIds.end(), id) != m_layout.hookIds.end()) {
        ULONG raw = 0;
        if (m_api->GetUsageValue(HidP_Input, kHidPageTelephony, m_layout.hookLink, kHidUsageHookSwitch, &raw,
                                 preparsed, copy.data(), static_cast<ULONG>(length)) == HIDP_STATUS_SUCCESS)
            hookValue = SignedValue(raw, m_layout.hookBits);
    }
    std::vector<HidEvent> events = m_logic->OnReport(id, list.data(), list.size(), GetTickCount(), hookValue);
    // Mute is the handset's own business: the microphone and its LED.
    for (const HidEvent& e : events) {
        if (e.kind != HidEvent::kMute)
            continue;
        MuteMicrophone(e.value != FALSE);
        SetOutputs(m_logic->ShowCall(HidCall::kTalk));
    }
    events.erase(std::remove_if(events.begin(), events.end(), [](const HidEvent& e) { return e.kind == HidEvent::kMute; }),
                 events.end());
    return events;
}
