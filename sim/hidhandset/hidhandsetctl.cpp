// hidhandsetctl: installs the virtual HID handsets' drivers in the prefix and
// drives them: plug and unplug handsets of the known layouts or captured
// from real devices, send input reports, read back the output reports they
// received, list the HID devices the system shows. Exit code 0 on success;
// what went wrong on stderr.
//
//   hidhandsetctl install <folder with the .sys files>
//   hidhandsetctl plug <slot> <layout>      (deskphone, headset, composite, mediakeys,
//                                            a capture's name or a capture file)
//   hidhandsetctl map <layout>              (where its controls and outputs lie)
//   hidhandsetctl unplug <slot>
//   hidhandsetctl input <slot> <hex bytes>  (report id first when the layout has ids)
//   hidhandsetctl outputs <slot>            (one line per report: id: hex bytes)
//   hidhandsetctl hold <slot> <ms>          (each write completes ms late; 0 at once)
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

#include "HidCapture.h"
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

// A layout by name, or a capture file, with the reason when it is neither.
const HidLayout* Layout(const wchar_t* name)
{
    const HidLayout* layout = hidhandset::FindLayout(name);
    if (layout) return layout;
    std::wstring error;
    const std::wstring given(name);
    const std::wstring path = given.find_first_of(L"\\/") != std::wstring::npos
                                  ? given : hidhandset::CaptureFolder() + L"\\" + given + L".hex";
    if (!hidhandset::ReadCapture(path, error)) fwprintf(stderr, L"hidhandsetctl: %ls: %ls\n", path.c_str(), error.c_str());
    return nullptr;
}

void PrintField(const wchar_t* what, const hidhandset::HidField& f)
{
    if (!f.present()) return;
    wprintf(L"%ls: report %u bit %u size %u%ls%ls\n", what, f.reportId, f.bit, f.size, f.relative ? L" relative" : L"",
            f.array ? L" array" : L"");
}

// Where the descriptor puts what a hand and a program use.
int Map(const HidLayout& layout)
{
    hidhandset::HidControlMap map;
    if (!hidhandset::MapControls(layout.descriptor, layout.descriptorLength, map)) {
        fwprintf(stderr, L"hidhandsetctl: no telephony collection in %ls\n", layout.name);
        return 1;
    }
    wprintf(L"%ls \"%ls\" %04x:%04x, %u bytes\n", layout.name, layout.product, layout.vendorId, layout.productId,
            static_cast<unsigned>(layout.descriptorLength));
    PrintField(L"hook switch", map.hook);
    PrintField(L"phone mute", map.mute);
    PrintField(map.keys[0].array ? L"keys" : L"key 0", map.keys[0]);
    PrintField(L"ringer", map.ringer);
    PrintField(L"ring LED", map.ringLed);
    PrintField(L"off-hook LED", map.offHookLed);
    PrintField(L"mute LED", map.muteLed);
    return 0;
}

int Usage()
{
    fwprintf(stderr, L"usage: hidhandsetctl install <folder> | plug <slot> <layout> | unplug <slot> | "
                     L"input <slot> <hex bytes...> | outputs <slot> | hold <slot> <ms> | list | map <layout>\n");
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
    if (command == L"map" && argc == 3) {
        const HidLayout* layout = Layout(argv[2]);
        return layout ? Map(*layout) : 1;
    }
    ULONG slot = wcstoul(argv[2], nullptr, 10);
    if (slot >= HIDHANDSET_MAX_DEVICES) return Usage();
    if (command == L"plug" && argc == 4) {
        const HidLayout* layout = Layout(argv[3]);
        if (!layout) return 1;
        return Result(hidhandset::Plug(slot, *layout), L"plug");
    }
    if (command == L"unplug" && argc == 3) return Result(hidhandset::Unplug(slot), L"unplug");
    if (command == L"input") return Input(slot, argc - 3, argv + 3);
    if (command == L"outputs" && argc == 3) return Outputs(slot);
    if (command == L"hold" && argc == 4)
        return Result(hidhandset::HoldWrites(slot, wcstoul(argv[3], nullptr, 10)), L"hold");
    return Usage();
}
