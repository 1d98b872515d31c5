// The HID and SetupAPI functions the HID handset and its detection share,
// and the reading of a device's collections and controls.
#pragma once

#include <windows.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include <vector>

#include "HidTelephony.h"

// The functions of hid.dll and setupapi.dll the HID handset and its
// detection use, loaded from the system folder on first use: neither is a
// KnownDLL, and the program imports only those at start.
struct HidApi {
    decltype(&SetupDiGetClassDevsW) GetClassDevs;
    decltype(&SetupDiEnumDeviceInterfaces) EnumInterfaces;
    decltype(&SetupDiGetDeviceInterfaceDetailW) GetInterfaceDetail;
    decltype(&SetupDiDestroyDeviceInfoList) DestroyList;
    decltype(&HidD_GetHidGuid) GetHidGuid;
    decltype(&HidD_GetPreparsedData) GetPreparsedData;
    decltype(&HidD_FreePreparsedData) FreePreparsedData;
    decltype(&HidD_GetAttributes) GetAttributes;
    decltype(&HidD_GetProductString) GetProductString;
    decltype(&HidD_GetSerialNumberString) GetSerialNumberString;
    decltype(&HidD_SetNumInputBuffers) SetNumInputBuffers;
    decltype(&HidP_GetCaps) GetCaps;
    decltype(&HidP_GetLinkCollectionNodes) GetLinkNodes;
    decltype(&HidP_GetButtonCaps) GetButtonCaps;
    decltype(&HidP_GetValueCaps) GetValueCaps;
    decltype(&HidP_GetUsages) GetUsages;
    decltype(&HidP_GetUsageValue) GetUsageValue;
    decltype(&HidP_SetUsages) SetUsages;
    decltype(&HidP_UnsetUsages) UnsetUsages;
    decltype(&HidP_InitializeReportForID) InitializeReport;
};

// A device's collections and controls, as many as its capabilities count.
struct HidCapabilities {
    std::vector<HidCollectionNode> nodes;
    std::vector<HidControl> inputs;
    std::vector<HidControl> outputs;
};

// Loaded once for the process's life; null when a function is missing.
const HidApi* LoadHidApi();
// Reads the collections and controls of a device's descriptor; false when it
// has no collections.
bool ReadCapabilities(const HidApi& api, PHIDP_PREPARSED_DATA preparsed, const HIDP_CAPS& caps, HidCapabilities& out);
