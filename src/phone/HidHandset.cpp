#include "HidHandset.h"

#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include <algorithm>
#include <cstring>

#include "HidIds.h"
#include "PhoneIds.h"
#include "framework/SystemDll.h"

// The functions of hid.dll and setupapi.dll this class uses, loaded from the
// system folder on first use: neither is a KnownDLL, and the program imports
// only those at start.
struct HidApi {
    decltype(&SetupDiGetClassDevsW) GetClassDevs;
    decltype(&SetupDiEnumDeviceInterfaces) EnumInterfaces;
    decltype(&SetupDiGetDeviceInterfaceDetailW) GetInterfaceDetail;
    decltype(&SetupDiDestroyDeviceInfoList) DestroyList;
    decltype(&HidD_GetHidGuid) GetHidGuid;
    decltype(&HidD_GetPreparsedData) GetPreparsedData;
    decltype(&HidD_FreePreparsedData) FreePreparsedData;
    decltype(&HidP_GetCaps) GetCaps;
    decltype(&HidP_GetLinkCollectionNodes) GetLinkNodes;
    decltype(&HidP_GetButtonCaps) GetButtonCaps;
    decltype(&HidP_GetUsages) GetUsages;
    decltype(&HidP_SetUsages) SetUsages;
    decltype(&HidP_InitializeReportForID) InitializeReport;
};

namespace {

// Loaded once for the process's life; null when a function is missing.
const HidApi* LoadHidApi()
{
    static HidApi api;
    static bool loaded = [] {
        HMODULE setup = LoadSystemDll(L"setupapi.dll");
        HMODULE hid = LoadSystemDll(L"hid.dll");
        if (!setup || !hid)
            return false;
        return Bind(setup, "SetupDiGetClassDevsW", api.GetClassDevs) &&
               Bind(setup, "SetupDiEnumDeviceInterfaces", api.EnumInterfaces) &&
               Bind(setup, "SetupDiGetDeviceInterfaceDetailW", api.GetInterfaceDetail) &&
               Bind(setup, "SetupDiDestroyDeviceInfoList", api.DestroyList) &&
               Bind(hid, "HidD_GetHidGuid", api.GetHidGuid) &&
               Bind(hid, "HidD_GetPreparsedData", api.GetPreparsedData) &&
               Bind(hid, "HidD_FreePreparsedData", api.FreePreparsedData) &&
               Bind(hid, "HidP_GetCaps", api.GetCaps) && Bind(hid, "HidP_GetLinkCollectionNodes", api.GetLinkNodes) &&
               Bind(hid, "HidP_GetButtonCaps", api.GetButtonCaps) && Bind(hid, "HidP_GetUsages", api.GetUsages) &&
               Bind(hid, "HidP_SetUsages", api.SetUsages) &&
               Bind(hid, "HidP_InitializeReportForID", api.InitializeReport);
    }();
    return loaded ? &api : nullptr;
}

bool IsTelephonyCollection(USAGE page, USAGE usage)
{
    return page == kHidPageTelephony && (usage == kHidUsagePhone || usage == kHidUsageAnsweringMachine ||
                                         usage == kHidUsageMessageControls || usage == kHidUsageHandset ||
                                         usage == kHidUsageHeadset);
}

std::vector<std::wstring> HidDevicePaths(const HidApi& api)
{
    std::vector<std::wstring> paths;
    GUID guid;
    api.GetHidGuid(&guid);
    HDEVINFO set = api.GetClassDevs(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return paths;
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof(data);
    for (DWORD i = 0; api.EnumInterfaces(set, nullptr, &guid, i, &data); ++i) {
        DWORD size = 0;
        api.GetInterfaceDetail(set, &data, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) || size > 64 * 1024)
            continue;
        std::vector<BYTE> buffer(size);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(*detail);
        if (api.GetInterfaceDetail(set, &data, detail, size, nullptr, nullptr))
            paths.emplace_back(detail->DevicePath);
    }
    api.DestroyList(set);
    return paths;
}

// A report on its way from the reader to the window's thread.
struct PostedReport {
    DWORD length;
    BYTE bytes[1];
};

const DWORD kWriteWaitMs = 250;

}  // namespace

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

BOOL CHidHandset::OpenDevice(LONG /*nIndex*/)
{
    if (m_hDevice != INVALID_HANDLE_VALUE)
        return TRUE;
    if (!m_api && !(m_api = LoadHidApi()))
        return FALSE;
    // The first telephony device found is used; any other is left alone.
    // Paths seen to be something else are not opened again on every try.
    for (const std::wstring& path : HidDevicePaths(*m_api)) {
        if (std::find(m_notHandsets.begin(), m_notHandsets.end(), path) != m_notHandsets.end())
            continue;
        if (TryOpen(path))
            return TRUE;
    }
    return FALSE;
}

bool CHidHandset::TryOpen(const std::wstring& path)
{
    HANDLE device = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return false;
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    HIDP_CAPS caps = {};
    if (!m_api->GetPreparsedData(device, &preparsed)) {
        CloseHandle(device);
        return false;
    }
    bool found = false;
    USHORT link = 0;
    if (m_api->GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS && caps.InputReportByteLength &&
        caps.InputReportByteLength <= kHidMaxReportBytes && caps.OutputReportByteLength <= kHidMaxReportBytes) {
        if (IsTelephonyCollection(caps.UsagePage, caps.Usage)) {
            found = true;
        } else {
            // A composite device seen whole: its telephony collection elsewhere.
            HIDP_LINK_COLLECTION_NODE nodes[kHidMaxLinkNodes];
            ULONG count = kHidMaxLinkNodes;
            if (m_api->GetLinkNodes(nodes, &count, preparsed) == HIDP_STATUS_SUCCESS) {
                for (ULONG i = 0; i < count && i < kHidMaxLinkNodes && !found; ++i) {
                    if (nodes[i].CollectionType == 1 && IsTelephonyCollection(nodes[i].LinkUsagePage, nodes[i].LinkUsage)) {
                        found = true;
                        link = static_cast<USHORT>(i);
                    }
                }
            }
        }
    }
    if (!found) {
        m_api->FreePreparsedData(preparsed);
        CloseHandle(device);
        if (m_notHandsets.size() < kHidMaxIgnoredPaths)
            m_notHandsets.push_back(path);
        return false;
    }
    m_hDevice = device;
    m_preparsed = preparsed;
    m_inputBytes = caps.InputReportByteLength;
    m_outputBytes = caps.OutputReportByteLength;
    m_linkCollection = link;
    m_path = path;
    Describe();
    ++m_generation;
    m_hStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_hThread = m_hStop ? CreateThread(nullptr, 0, ReaderThread, this, 0, nullptr) : nullptr;
    if (!m_hThread) {
        CloseDevice();
        return false;
    }
    return true;
}

// Which way the hook switch reports, and which outputs the device has.
void CHidHandset::Describe()
{
    auto* preparsed = static_cast<PHIDP_PREPARSED_DATA>(m_preparsed);
    bool toggle = false;
    m_outputs.clear();
    for (HIDP_REPORT_TYPE type : {HidP_Input, HidP_Output}) {
        HIDP_BUTTON_CAPS caps[kHidMaxUsages];
        USHORT count = kHidMaxUsages;
        if (m_api->GetButtonCaps(type, caps, &count, preparsed) != HIDP_STATUS_SUCCESS)
            continue;
        for (USHORT i = 0; i < count && i < kHidMaxUsages; ++i) {
            const HIDP_BUTTON_CAPS& c = caps[i];
            if (m_linkCollection && c.LinkCollection != m_linkCollection)
                continue;
            USAGE low = c.IsRange ? c.Range.UsageMin : c.NotRange.Usage;
            USAGE high = c.IsRange ? c.Range.UsageMax : c.NotRange.Usage;
            auto covers = [&](USAGE page, USAGE usage) { return c.UsagePage == page && low <= usage && usage <= high; };
            if (type == HidP_Input) {
                if (covers(kHidPageTelephony, kHidUsageHookSwitch))
                    toggle = !c.IsAbsolute;
                continue;
            }
            for (const Output& o : {Output{kHidPageTelephony, kHidUsageRinger, 0}, Output{kHidPageLeds, kHidLedRing, 0},
                                    Output{kHidPageLeds, kHidLedOffHook, 0}}) {
                if (covers(o.page, o.usage))
                    m_outputs.push_back({o.page, o.usage, c.ReportID});
            }
        }
    }
    m_logic = std::make_unique<CHidTelephony>(toggle);
}

void CHidHandset::CloseDevice()
{
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
    SetOutputs(CHidTelephony::OutputsForReady());
}

void CHidHandset::ShowCallIn(const wchar_t*)
{
    SetOutputs(CHidTelephony::OutputsForCallIn());
}

void CHidHandset::ShowInTalk(const wchar_t*)
{
    SetOutputs(CHidTelephony::OutputsForTalk());
}

// One output report per report id that carries any of the outputs, each
// written whole: the usages switched on set, all others cleared.
void CHidHandset::SetOutputs(const HidOutputs& outputs)
{
    if (m_hDevice == INVALID_HANDLE_VALUE || !m_outputBytes || m_outputs.empty())
        return;
    auto* preparsed = static_cast<PHIDP_PREPARSED_DATA>(m_preparsed);
    std::vector<UCHAR> ids;
    for (const Output& o : m_outputs) {
        if (std::find(ids.begin(), ids.end(), o.reportId) == ids.end())
            ids.push_back(o.reportId);
    }
    bool wroteOffHook = false;
    for (UCHAR id : ids) {
        std::vector<char> report(m_outputBytes);
        if (m_api->InitializeReport(HidP_Output, id, preparsed, report.data(), m_outputBytes) != HIDP_STATUS_SUCCESS)
            continue;
        for (const Output& o : m_outputs) {
            if (o.reportId != id)
                continue;
            bool on = o.usage == kHidUsageRinger ? outputs.ringer
                      : o.usage == kHidLedRing   ? outputs.ringLed
                                                 : outputs.offHookLed;
            wroteOffHook |= o.page == kHidPageLeds && o.usage == kHidLedOffHook;
            USAGE usage = o.usage;
            ULONG one = 1;
            if (on)
                m_api->SetUsages(HidP_Output, o.page, m_linkCollection, &usage, &one, preparsed, report.data(),
                                 m_outputBytes);
        }
        OVERLAPPED overlapped = {};
        overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!overlapped.hEvent)
            return;
        DWORD written = 0;
        if (!WriteFile(m_hDevice, report.data(), m_outputBytes, &written, &overlapped) &&
            GetLastError() == ERROR_IO_PENDING) {
            // A device that does not take its report in time is not waited for.
            if (WaitForSingleObject(overlapped.hEvent, kWriteWaitMs) != WAIT_OBJECT_0)
                CancelIo(m_hDevice);
            GetOverlappedResult(m_hDevice, &overlapped, &written, TRUE);
        }
        CloseHandle(overlapped.hEvent);
    }
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
    // A report of another collection, of an id the descriptor does not
    // declare, or too short for its id gives no usages and is dropped.
    std::vector<char> bytes(m_inputBytes, 0);
    memcpy(bytes.data(), report->bytes, std::min<DWORD>(report->length, m_inputBytes));
    USAGE usages[kHidMaxUsages];
    ULONG count = kHidMaxUsages;
    if (m_api->GetUsages(HidP_Input, kHidPageTelephony, m_linkCollection, usages, &count,
                         static_cast<PHIDP_PREPARSED_DATA>(m_preparsed), bytes.data(), m_inputBytes) != HIDP_STATUS_SUCCESS)
        return {};
    std::vector<uint16_t> list(usages, usages + std::min<ULONG>(count, kHidMaxUsages));
    return m_logic->OnReport(list.data(), list.size(), GetTickCount());
}
