#include "HidHandsetClient.h"

#include <setupapi.h>
#include <newdev.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "HidCapture.h"
#include "HidHandsetIoctl.h"

namespace hidhandset {

namespace {

const GUID kBusInterface = HIDHANDSET_BUS_GUID_INIT;
const wchar_t kBusHardwareId[] = L"root\\CallvaneHidBus";
const DWORD kBusWaitMs = 15000;

struct DevInfo {
    HDEVINFO h;
    explicit DevInfo(HDEVINFO value) : h(value) {}
    ~DevInfo() { if (h != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(h); }
    DevInfo(const DevInfo&) = delete;
    DevInfo& operator=(const DevInfo&) = delete;
};

// The device paths of the present interfaces of a class, in the order SetupAPI lists them.
}  // namespace

std::vector<std::wstring> InterfacePaths(const GUID& guid)
{
    std::vector<std::wstring> paths;
    DevInfo set(SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (set.h == INVALID_HANDLE_VALUE) return paths;
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof(data);
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set.h, nullptr, &guid, i, &data); ++i) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(set.h, &data, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
        std::vector<BYTE> buffer(size);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(*detail);
        if (SetupDiGetDeviceInterfaceDetailW(set.h, &data, detail, size, nullptr, nullptr)) paths.push_back(detail->DevicePath);
    }
    return paths;
}

namespace {

HANDLE OpenBus()
{
    std::vector<std::wstring> paths = InterfacePaths(kBusInterface);
    if (paths.empty()) {
        SetLastError(ERROR_DEV_NOT_EXIST);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(paths[0].c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

bool WriteText(const std::wstring& path, const char* text)
{
    Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file.ok()) return false;
    DWORD written = 0;
    DWORD length = static_cast<DWORD>(strlen(text));
    return WriteFile(file.h, text, length, &written, nullptr) && written == length;
}

const char kBusInf[] =
    "[Version]\r\nSignature=\"$Chicago$\"\r\nClass=System\r\nClassGuid={4d36e97d-e325-11ce-bfc1-08002be10318}\r\n"
    "Provider=%Maker%\r\nDriverVer=12/08/2026,1.0.0.0\r\n\r\n"
    "[Manufacturer]\r\n%Maker%=Models,NTx86,NTamd64\r\n\r\n"
    "[Models.NTx86]\r\n%BusName%=BusInstall,root\\CallvaneHidBus\r\n\r\n"
    "[Models.NTamd64]\r\n%BusName%=BusInstall,root\\CallvaneHidBus\r\n\r\n"
    "[BusInstall]\r\n\r\n"
    "[BusInstall.Services]\r\nAddService=CallvaneHidBus,0x2,BusService\r\n\r\n"
    "[BusService]\r\nServiceType=1\r\nStartType=3\r\nErrorControl=1\r\nServiceBinary=%12%\\CallvaneHidBus.sys\r\n\r\n"
    "[Strings]\r\nMaker=\"Callvane\"\r\nBusName=\"Callvane virtual HID handset bus\"\r\n";

const char kHidInf[] =
    "[Version]\r\nSignature=\"$Chicago$\"\r\nClass=HIDClass\r\nClassGuid={745a17a0-74d3-11d0-b6fe-00a0c90f57da}\r\n"
    "Provider=%Maker%\r\nDriverVer=12/08/2026,1.0.0.0\r\n\r\n"
    "[Manufacturer]\r\n%Maker%=Models,NTx86,NTamd64\r\n\r\n"
    "[Models.NTx86]\r\n%HidName%=HidInstall,CALLVANE\\HIDHANDSET\r\n\r\n"
    "[Models.NTamd64]\r\n%HidName%=HidInstall,CALLVANE\\HIDHANDSET\r\n\r\n"
    "[HidInstall]\r\n\r\n"
    "[HidInstall.Services]\r\nAddService=CallvaneHidHandset,0x2,HidService\r\n\r\n"
    "[HidService]\r\nServiceType=1\r\nStartType=3\r\nErrorControl=1\r\nServiceBinary=%12%\\CallvaneHidHandset.sys\r\n\r\n"
    "[Strings]\r\nMaker=\"Callvane\"\r\nHidName=\"Callvane virtual HID handset\"\r\n";

// Whether the bus answers: its interface stays listed after the device host
// that ran it has ended.
bool BusAnswers()
{
    Handle bus(OpenBus());
    return bus.ok();
}

bool WaitForBus()
{
    for (DWORD waited = 0; waited < kBusWaitMs; waited += 100) {
        if (BusAnswers()) return true;
        Sleep(100);
    }
    return false;
}

// Whether an earlier install created the root-enumerated bus. It comes up
// whenever the prefix's services start; creating another would give a
// second bus, and its driver, loaded meanwhile, cannot be copied over.
bool BusRegistered()
{
    DevInfo set(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (set.h == INVALID_HANDLE_VALUE) return false;
    const wchar_t prefix[] = L"ROOT\\CALLVANEHIDBUS\\";
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set.h, i, &device); ++i) {
        wchar_t id[200] = {};   // MAX_DEVICE_ID_LEN
        if (SetupDiGetDeviceInstanceIdW(set.h, &device, id, ARRAYSIZE(id), nullptr) &&
            !_wcsnicmp(id, prefix, wcslen(prefix)))
            return true;
    }
    return false;
}

}  // namespace

// Copies both drivers into the system's driver folder, hands both INFs to
// SetupAPI, creates the root-enumerated bus and installs its driver. The HID
// minidriver is installed by the PnP manager when the bus plugs a handset.
bool Install(const wchar_t* sourceFolder)
{
    // Installed and running: the loaded drivers cannot be replaced.
    if (BusAnswers()) return true;
    if (BusRegistered()) return WaitForBus();
    wchar_t system[MAX_PATH];
    if (!GetSystemDirectoryW(system, MAX_PATH)) return false;
    for (const wchar_t* name : {L"CallvaneHidBus.sys", L"CallvaneHidHandset.sys"}) {
        std::wstring from = std::wstring(sourceFolder) + L"\\" + name;
        std::wstring to = std::wstring(system) + L"\\drivers\\" + name;
        if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) return false;
    }
    wchar_t temp[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, temp)) return false;
    std::wstring busInf = std::wstring(temp) + L"CallvaneHidBus.inf";
    std::wstring hidInf = std::wstring(temp) + L"CallvaneHidHandset.inf";
    if (!WriteText(busInf, kBusInf) || !WriteText(hidInf, kHidInf)) return false;
    if (!SetupCopyOEMInfW(hidInf.c_str(), nullptr, SPOST_NONE, 0, nullptr, 0, nullptr, nullptr))
        return false;
    if (!SetupCopyOEMInfW(busInf.c_str(), nullptr, SPOST_NONE, 0, nullptr, 0, nullptr, nullptr))
        return false;

    DevInfo set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (set.h == INVALID_HANDLE_VALUE) return false;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    const GUID systemClass = {0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    if (!SetupDiCreateDeviceInfoW(set.h, L"CallvaneHidBus", &systemClass, nullptr, nullptr, DICD_GENERATE_ID,
                                  &device))
        return false;
    const wchar_t hardwareIds[] = L"root\\CallvaneHidBus\0";
    if (!SetupDiSetDeviceRegistryPropertyW(set.h, &device, SPDRP_HARDWAREID, reinterpret_cast<const BYTE*>(hardwareIds),
                                           sizeof(hardwareIds)))
        return false;
    if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set.h, &device)) return false;
    BOOL reboot = FALSE;
    if (!UpdateDriverForPlugAndPlayDevicesW(nullptr, kBusHardwareId, busInf.c_str(), INSTALLFLAG_FORCE, &reboot))
        return false;
    return WaitForBus();
}


const HidLayout* FindLayout(const wchar_t* name)
{
    for (const HidLayout& layout : kHidLayouts)
        if (!_wcsicmp(layout.name, name)) return &layout;
    // A captured device, read once and kept for the process's life.
    static std::vector<std::unique_ptr<HidCapture>> captures;
    for (const auto& capture : captures)
        if (!_wcsicmp(capture->name.c_str(), name)) return &capture->layout;
    const std::wstring given(name);
    const bool isPath = given.find_first_of(L"\\/") != std::wstring::npos;
    std::wstring error;
    auto capture = ReadCapture(isPath ? given : CaptureFolder() + L"\\" + given + L".hex", error);
    if (!capture) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    captures.push_back(std::move(capture));
    return &captures.back()->layout;
}

namespace {

bool BusRequest(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize)
{
    Handle bus(OpenBus());
    if (!bus.ok()) return false;
    DWORD returned = 0;
    return DeviceIoControl(bus.h, code, const_cast<void*>(in), inSize, out, outSize, &returned, nullptr) != FALSE;
}

}  // namespace

bool Plug(unsigned long slot, const HidLayout& layout)
{
    if (layout.descriptorLength > HIDHANDSET_MAX_DESCRIPTOR) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    auto request = std::make_unique<HIDHANDSET_PLUG_REQUEST>();
    *request = {};
    request->slot = slot;
    request->vendorId = layout.vendorId;
    request->productId = layout.productId;
    request->version = layout.version;
    request->descriptorLength = static_cast<unsigned short>(layout.descriptorLength);
    wcsncpy(request->product, layout.product, HIDHANDSET_MAX_PRODUCT - 1);
    memcpy(request->descriptor, layout.descriptor, layout.descriptorLength);
    return BusRequest(IOCTL_HIDHANDSET_PLUG, request.get(), sizeof(*request), nullptr, 0);
}

bool Unplug(unsigned long slot)
{
    return BusRequest(IOCTL_HIDHANDSET_UNPLUG, &slot, sizeof(slot), nullptr, 0);
}

bool SendInput(unsigned long slot, const unsigned char* bytes, size_t length)
{
    if (length > HIDHANDSET_MAX_REPORT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    HIDHANDSET_INPUT_REQUEST request = {};
    request.slot = slot;
    request.length = static_cast<unsigned long>(length);
    memcpy(request.bytes, bytes, length);
    return BusRequest(IOCTL_HIDHANDSET_INPUT, &request, sizeof(request), nullptr, 0);
}

bool HoldWrites(unsigned long slot, unsigned long milliseconds)
{
    const HIDHANDSET_HOLD_REQUEST request = {slot, milliseconds};
    return BusRequest(IOCTL_HIDHANDSET_HOLD_WRITES, &request, sizeof(request), nullptr, 0);
}

bool TakeOutputs(unsigned long slot, std::vector<std::vector<unsigned char>>& reports)
{
    auto outputs = std::make_unique<HIDHANDSET_OUTPUTS>();
    if (!BusRequest(IOCTL_HIDHANDSET_OUTPUTS, &slot, sizeof(slot), outputs.get(), sizeof(*outputs)))
        return false;
    reports.clear();
    for (unsigned long i = 0; i < outputs->count && i < HIDHANDSET_MAX_RECORDED; ++i) {
        const HIDHANDSET_RECORD& record = outputs->records[i];
        const unsigned length = std::min<unsigned>(record.length, HIDHANDSET_RECORD_BYTES);
        std::vector<unsigned char> report(length + 1);
        report[0] = record.reportId;
        memcpy(report.data() + 1, record.bytes, length);
        reports.push_back(report);
    }
    return true;
}

std::vector<unsigned char> InputReport(const HidLayout& layout, bool hookBit, int key)
{
    std::vector<unsigned char> report;
    if (layout.inputId) report.push_back(layout.inputId);
    report.push_back(hookBit ? 1 : 0);
    if (layout.keysAsButtons) {
        unsigned bits = key < 0 ? 0 : 1u << key;
        report.push_back(static_cast<unsigned char>(bits));
        report.push_back(static_cast<unsigned char>(bits >> 8));
    } else {
        report.push_back(static_cast<unsigned char>(key + 1));
    }
    return report;
}

bool Indicators(const HidLayout& layout, const std::vector<std::vector<unsigned char>>& reports, bool& ring,
                bool& offHook)
{
    // Recorded as the report id, then the buffer as sent: with ids, the id
    // again, then the data.
    const size_t at = layout.outputId ? 2 : 1;
    for (auto r = reports.rbegin(); r != reports.rend(); ++r) {
        if ((*r)[0] != layout.outputId || r->size() <= at) continue;
        ring = ((*r)[at] & layout.ringMask) == layout.ringMask;
        offHook = ((*r)[at] & layout.offHookMask) != 0;
        return true;
    }
    return false;
}

}  // namespace hidhandset
