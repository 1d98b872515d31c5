// hidhandsetctl: installs the virtual HID handsets' drivers in the prefix and
// drives them: plug and unplug handsets of the known layouts, send input
// reports, read back the output reports they received, list the HID devices
// the system shows. Exit code 0 on success; what went wrong on stderr.
//
//   hidhandsetctl install <folder with the .sys files>
//   hidhandsetctl plug <slot> <layout>      (deskphone, headset, composite, mediakeys)
//   hidhandsetctl unplug <slot>
//   hidhandsetctl input <slot> <hex bytes>  (report id first when the layout has ids)
//   hidhandsetctl outputs <slot>            (one line per report: id: hex bytes)
//   hidhandsetctl list                      (HID interfaces: usage page, usage, ids, product)
#include <windows.h>
#include <setupapi.h>
#include <newdev.h>
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include <cstdio>
#include <cstring>
#include <memory>
#include <cwchar>
#include <string>
#include <vector>

#include "HidHandsetIoctl.h"
#include "HidLayouts.h"

namespace {

const GUID kBusInterface = HIDHANDSET_BUS_GUID_INIT;
const wchar_t kBusHardwareId[] = L"root\\CallvaneHidBus";
const DWORD kBusWaitMs = 15000;

struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    explicit Handle(HANDLE value) : h(value) {}
    ~Handle() { if (h != INVALID_HANDLE_VALUE) CloseHandle(h); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool ok() const { return h != INVALID_HANDLE_VALUE; }
};

struct DevInfo {
    HDEVINFO h;
    explicit DevInfo(HDEVINFO value) : h(value) {}
    ~DevInfo() { if (h != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(h); }
    DevInfo(const DevInfo&) = delete;
    DevInfo& operator=(const DevInfo&) = delete;
};

int Fail(const wchar_t* what)
{
    fwprintf(stderr, L"hidhandsetctl: %ls failed (error %lu)\n", what, GetLastError());
    return 1;
}

// The device paths of the present interfaces of a class, in the order SetupAPI lists them.
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

bool WaitForBus()
{
    for (DWORD waited = 0; waited < kBusWaitMs; waited += 100) {
        if (!InterfacePaths(kBusInterface).empty()) return true;
        Sleep(100);
    }
    return false;
}

// Copies both drivers into the system's driver folder, hands both INFs to
// SetupAPI, creates the root-enumerated bus and installs its driver. The HID
// minidriver is installed by the PnP manager when the bus plugs a handset.
int Install(const wchar_t* sourceFolder)
{
    if (!InterfacePaths(kBusInterface).empty()) return 0;
    wchar_t system[MAX_PATH];
    if (!GetSystemDirectoryW(system, MAX_PATH)) return Fail(L"GetSystemDirectory");
    for (const wchar_t* name : {L"CallvaneHidBus.sys", L"CallvaneHidHandset.sys"}) {
        std::wstring from = std::wstring(sourceFolder) + L"\\" + name;
        std::wstring to = std::wstring(system) + L"\\drivers\\" + name;
        if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) return Fail(L"copying a driver");
    }
    wchar_t temp[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, temp)) return Fail(L"GetTempPath");
    std::wstring busInf = std::wstring(temp) + L"CallvaneHidBus.inf";
    std::wstring hidInf = std::wstring(temp) + L"CallvaneHidHandset.inf";
    if (!WriteText(busInf, kBusInf) || !WriteText(hidInf, kHidInf)) return Fail(L"writing the INF files");
    if (!SetupCopyOEMInfW(hidInf.c_str(), nullptr, SPOST_NONE, 0, nullptr, 0, nullptr, nullptr))
        return Fail(L"SetupCopyOEMInf (handset)");
    if (!SetupCopyOEMInfW(busInf.c_str(), nullptr, SPOST_NONE, 0, nullptr, 0, nullptr, nullptr))
        return Fail(L"SetupCopyOEMInf (bus)");

    DevInfo set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (set.h == INVALID_HANDLE_VALUE) return Fail(L"SetupDiCreateDeviceInfoList");
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    const GUID systemClass = {0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    if (!SetupDiCreateDeviceInfoW(set.h, L"CallvaneHidBus", &systemClass, nullptr, nullptr, DICD_GENERATE_ID,
                                  &device))
        return Fail(L"SetupDiCreateDeviceInfo");
    const wchar_t hardwareIds[] = L"root\\CallvaneHidBus\0";
    if (!SetupDiSetDeviceRegistryPropertyW(set.h, &device, SPDRP_HARDWAREID, reinterpret_cast<const BYTE*>(hardwareIds),
                                           sizeof(hardwareIds)))
        return Fail(L"SetupDiSetDeviceRegistryProperty");
    if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set.h, &device)) return Fail(L"DIF_REGISTERDEVICE");
    BOOL reboot = FALSE;
    if (!UpdateDriverForPlugAndPlayDevicesW(nullptr, kBusHardwareId, busInf.c_str(), INSTALLFLAG_FORCE, &reboot))
        return Fail(L"UpdateDriverForPlugAndPlayDevices");
    if (!WaitForBus()) return Fail(L"waiting for the bus");
    return 0;
}

const HidLayout* FindLayout(const wchar_t* name)
{
    for (const HidLayout& layout : kHidLayouts)
        if (!_wcsicmp(layout.name, name)) return &layout;
    return nullptr;
}

bool BusRequest(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize)
{
    Handle bus(OpenBus());
    if (!bus.ok()) return false;
    DWORD returned = 0;
    return DeviceIoControl(bus.h, code, const_cast<void*>(in), inSize, out, outSize, &returned, nullptr) != FALSE;
}

int Plug(ULONG slot, const wchar_t* layoutName)
{
    const HidLayout* layout = FindLayout(layoutName);
    if (!layout) {
        fwprintf(stderr, L"hidhandsetctl: no layout named %ls\n", layoutName);
        return 2;
    }
    auto request = std::make_unique<HIDHANDSET_PLUG_REQUEST>();
    *request = {};
    request->slot = slot;
    request->vendorId = layout->vendorId;
    request->productId = layout->productId;
    request->version = layout->version;
    request->descriptorLength = static_cast<unsigned short>(layout->descriptorLength);
    wcsncpy(request->product, layout->product, HIDHANDSET_MAX_PRODUCT - 1);
    memcpy(request->descriptor, layout->descriptor, layout->descriptorLength);
    if (!BusRequest(IOCTL_HIDHANDSET_PLUG, request.get(), sizeof(*request), nullptr, 0)) return Fail(L"plug");
    return 0;
}

int Unplug(ULONG slot)
{
    if (!BusRequest(IOCTL_HIDHANDSET_UNPLUG, &slot, sizeof(slot), nullptr, 0)) return Fail(L"unplug");
    return 0;
}

int Input(ULONG slot, int count, wchar_t** hex)
{
    HIDHANDSET_INPUT_REQUEST request = {};
    request.slot = slot;
    for (int i = 0; i < count; ++i) {
        if (request.length == HIDHANDSET_MAX_REPORT) {
            fwprintf(stderr, L"hidhandsetctl: a report holds at most %d bytes\n", HIDHANDSET_MAX_REPORT);
            return 2;
        }
        wchar_t* end = nullptr;
        unsigned long value = wcstoul(hex[i], &end, 16);
        if (!*hex[i] || *end || value > 0xff) {
            fwprintf(stderr, L"hidhandsetctl: not a hex byte: %ls\n", hex[i]);
            return 2;
        }
        request.bytes[request.length++] = static_cast<unsigned char>(value);
    }
    if (!BusRequest(IOCTL_HIDHANDSET_INPUT, &request, sizeof(request), nullptr, 0)) return Fail(L"input");
    return 0;
}

int Outputs(ULONG slot)
{
    auto outputs = std::make_unique<HIDHANDSET_OUTPUTS>();
    if (!BusRequest(IOCTL_HIDHANDSET_OUTPUTS, &slot, sizeof(slot), outputs.get(), sizeof(*outputs)))
        return Fail(L"outputs");
    for (ULONG i = 0; i < outputs->count && i < HIDHANDSET_MAX_RECORDED; ++i) {
        const HIDHANDSET_RECORD& record = outputs->records[i];
        wprintf(L"%02x:", record.reportId);
        for (unsigned j = 0; j < record.length; ++j) wprintf(L" %02x", record.bytes[j]);
        wprintf(L"\n");
    }
    if (outputs->dropped) wprintf(L"dropped %lu\n", outputs->dropped);
    return 0;
}

// What a program sees through SetupAPI and hid.dll: one line per HID interface.
int List()
{
    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    for (const std::wstring& path : InterfacePaths(hidGuid)) {
        Handle device(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!device.ok()) {
            wprintf(L"%ls: cannot open (error %lu)\n", path.c_str(), GetLastError());
            continue;
        }
        HIDD_ATTRIBUTES attributes = {};
        attributes.Size = sizeof(attributes);
        HidD_GetAttributes(device.h, &attributes);
        wchar_t product[128] = L"";
        HidD_GetProductString(device.h, product, sizeof(product));
        PHIDP_PREPARSED_DATA preparsed = nullptr;
        HIDP_CAPS caps = {};
        if (HidD_GetPreparsedData(device.h, &preparsed)) {
            HidP_GetCaps(preparsed, &caps);
            HidD_FreePreparsedData(preparsed);
        }
        wprintf(L"%04x:%04x vid %04x pid %04x in %u out %u \"%ls\" %ls\n", caps.UsagePage, caps.Usage,
                attributes.VendorID, attributes.ProductID, caps.InputReportByteLength, caps.OutputReportByteLength,
                product, path.c_str());
    }
    return 0;
}

int Usage()
{
    fwprintf(stderr, L"usage: hidhandsetctl install <folder> | plug <slot> <layout> | unplug <slot> | "
                     L"input <slot> <hex bytes...> | outputs <slot> | list\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) return Usage();
    std::wstring command = argv[1];
    if (command == L"list") return List();
    if (command == L"install" && argc == 3) return Install(argv[2]);
    if (argc < 3) return Usage();
    ULONG slot = wcstoul(argv[2], nullptr, 10);
    if (slot >= HIDHANDSET_MAX_DEVICES) return Usage();
    if (command == L"plug" && argc == 4) return Plug(slot, argv[3]);
    if (command == L"unplug" && argc == 3) return Unplug(slot);
    if (command == L"input") return Input(slot, argc - 3, argv + 3);
    if (command == L"outputs" && argc == 3) return Outputs(slot);
    return Usage();
}
