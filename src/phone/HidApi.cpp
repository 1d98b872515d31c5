#include "HidApi.h"

#include "framework/SystemDll.h"

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
               Bind(hid, "HidD_GetAttributes", api.GetAttributes) &&
               Bind(hid, "HidD_GetProductString", api.GetProductString) &&
               Bind(hid, "HidD_GetSerialNumberString", api.GetSerialNumberString) &&
               Bind(hid, "HidD_SetNumInputBuffers", api.SetNumInputBuffers) &&
               Bind(hid, "HidP_GetCaps", api.GetCaps) && Bind(hid, "HidP_GetLinkCollectionNodes", api.GetLinkNodes) &&
               Bind(hid, "HidP_GetButtonCaps", api.GetButtonCaps) && Bind(hid, "HidP_GetUsages", api.GetUsages) &&
               Bind(hid, "HidP_GetValueCaps", api.GetValueCaps) &&
               Bind(hid, "HidP_GetUsageValue", api.GetUsageValue) && Bind(hid, "HidP_SetUsages", api.SetUsages) &&
               Bind(hid, "HidP_UnsetUsages", api.UnsetUsages) &&
               Bind(hid, "HidP_InitializeReportForID", api.InitializeReport);
    }();
    return loaded ? &api : nullptr;
}

namespace {

void AddButtons(const HidApi& api, HIDP_REPORT_TYPE type, USHORT count, PHIDP_PREPARSED_DATA preparsed,
                std::vector<HidControl>& controls)
{
    std::vector<HIDP_BUTTON_CAPS> caps(count);
    if (!count || api.GetButtonCaps(type, caps.data(), &count, preparsed) != HIDP_STATUS_SUCCESS)
        return;
    for (USHORT i = 0; i < count && i < caps.size(); ++i) {
        const HIDP_BUTTON_CAPS& c = caps[i];
        controls.push_back({c.UsagePage, c.IsRange ? c.Range.UsageMin : c.NotRange.Usage,
                            c.IsRange ? c.Range.UsageMax : c.NotRange.Usage, c.LinkCollection, c.ReportID,
                            c.IsAbsolute != FALSE});
    }
}

void AddValues(const HidApi& api, USHORT count, PHIDP_PREPARSED_DATA preparsed, std::vector<HidControl>& controls)
{
    std::vector<HIDP_VALUE_CAPS> caps(count);
    if (!count || api.GetValueCaps(HidP_Input, caps.data(), &count, preparsed) != HIDP_STATUS_SUCCESS)
        return;
    for (USHORT i = 0; i < count && i < caps.size(); ++i) {
        const HIDP_VALUE_CAPS& c = caps[i];
        HidControl control = {c.UsagePage, c.IsRange ? c.Range.UsageMin : c.NotRange.Usage,
                              c.IsRange ? c.Range.UsageMax : c.NotRange.Usage, c.LinkCollection, c.ReportID,
                              c.IsAbsolute != FALSE};
        control.value = true;
        control.logicalMin = c.LogicalMin;
        control.bitSize = c.BitSize;
        controls.push_back(control);
    }
}

}  // namespace

bool ReadCapabilities(const HidApi& api, PHIDP_PREPARSED_DATA preparsed, const HIDP_CAPS& caps,
                      HidCapabilities& out)
{
    std::vector<HIDP_LINK_COLLECTION_NODE> nodes(caps.NumberLinkCollectionNodes);
    ULONG count = static_cast<ULONG>(nodes.size());
    if (!count || api.GetLinkNodes(nodes.data(), &count, preparsed) != HIDP_STATUS_SUCCESS)
        return false;
    for (ULONG i = 0; i < count && i < nodes.size(); ++i)
        out.nodes.push_back({nodes[i].LinkUsagePage, nodes[i].LinkUsage, nodes[i].Parent,
                             static_cast<uint8_t>(nodes[i].CollectionType)});
    AddButtons(api, HidP_Input, caps.NumberInputButtonCaps, preparsed, out.inputs);
    AddValues(api, caps.NumberInputValueCaps, preparsed, out.inputs);
    AddButtons(api, HidP_Output, caps.NumberOutputButtonCaps, preparsed, out.outputs);
    return true;
}
