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
//   hidhandsetctl list                      (HID interfaces: usage page:usage, ids, product)
#include <windows.h>
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "HidHandsetClient.h"
#include "HidHandsetIoctl.h"

namespace {

int Result(bool ok, const wchar_t* what)
{
    if (ok) return 0;
    fwprintf(stderr, L"hidhandsetctl: %ls failed (error %lu)\n", what, GetLastError());
    return 1;
}

int Input(unsigned long slot, int count, wchar_t** hex)
{
    std::vector<unsigned char> bytes;
    for (int i = 0; i < count; ++i) {
        wchar_t* end = nullptr;
        unsigned long value = wcstoul(hex[i], &end, 16);
        if (!*hex[i] || *end || value > 0xff || bytes.size() == HIDHANDSET_MAX_REPORT) {
            fwprintf(stderr, L"hidhandsetctl: not a hex byte, or more than %d: %ls\n", HIDHANDSET_MAX_REPORT, hex[i]);
            return 2;
        }
        bytes.push_back(static_cast<unsigned char>(value));
    }
    return Result(hidhandset::SendInput(slot, bytes.data(), bytes.size()), L"input");
}

int Outputs(unsigned long slot)
{
    std::vector<std::vector<unsigned char>> reports;
    if (!hidhandset::TakeOutputs(slot, reports)) return Result(false, L"outputs");
    for (const std::vector<unsigned char>& report : reports) {
        wprintf(L"%02x:", report[0]);
        for (size_t j = 1; j < report.size(); ++j) wprintf(L" %02x", report[j]);
        wprintf(L"\n");
    }
    return 0;
}

// What a program sees through SetupAPI and hid.dll: one line per HID interface.
int List()
{
    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    for (const std::wstring& path : hidhandset::InterfacePaths(hidGuid)) {
        hidhandset::Handle device(
            CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
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
    if (command == L"install" && argc == 3) return Result(hidhandset::Install(argv[2]), L"install");
    if (argc < 3) return Usage();
    ULONG slot = wcstoul(argv[2], nullptr, 10);
    if (slot >= HIDHANDSET_MAX_DEVICES) return Usage();
    if (command == L"plug" && argc == 4) {
        const HidLayout* layout = hidhandset::FindLayout(argv[3]);
        if (!layout) return Usage();
        return Result(hidhandset::Plug(slot, *layout), L"plug");
    }
    if (command == L"unplug" && argc == 3) return Result(hidhandset::Unplug(slot), L"unplug");
    if (command == L"input") return Input(slot, argc - 3, argv + 3);
    if (command == L"outputs" && argc == 3) return Outputs(slot);
    return Usage();
}
