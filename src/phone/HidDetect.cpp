#include "HidDetect.h"

#include <cwchar>

#include "HidApi.h"
#include "HidIds.h"
#include "HidTelephony.h"
#include "framework/ScopedHandle.h"

namespace {

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

// A device's string, reduced to what it may hold: printable characters for
// a name, letters, digits and "-_." for a serial number (it becomes part of
// a settings value). Anything else ends the string.
std::wstring DeviceString(const wchar_t* text, size_t chars, bool serial)
{
    std::wstring out;
    for (size_t i = 0; i < chars && text[i] && out.size() < kHidMaxStringChars; ++i) {
        wchar_t c = text[i];
        bool ok = serial ? (iswalnum(c) && c < 0x80) || c == L'-' || c == L'_' || c == L'.' : c >= 0x20 && c != 0x7F;
        if (!ok)
            break;
        out += c;
    }
    return out;
}

void Hex4(std::wstring& out, USHORT value)
{
    wchar_t text[8];
    swprintf(text, sizeof text / sizeof text[0], L"%04X", value);
    out += text;
}

}  // namespace

std::wstring HidDeviceInfo::StableId() const
{
    std::wstring id = kHidStableIdPrefix;
    Hex4(id, vendor);
    id += L':';
    Hex4(id, product);
    if (!serial.empty())
        id += L':' + serial;
    return id;
}

std::wstring HidDeviceInfo::DisplayName() const
{
    if (!name.empty())
        return name;
    std::wstring text = L"USB handset ";
    Hex4(text, vendor);
    text += L':';
    Hex4(text, product);
    return text;
}

bool CHidDetector::Refresh()
{
    if (!m_api && !(m_api = LoadHidApi()))
        return false;
    if (m_notified && !m_stale)
        return true;
    m_stale = false;
    ++m_enumerations;
    std::vector<Verdict> known;
    m_handsets.clear();
    bool unasked = false;
    for (const std::wstring& path : HidDevicePaths(*m_api)) {
        Verdict verdict;
        bool judged = false;
        for (const Verdict& k : m_known) {
            if (k.path == path) {
                verdict = k;
                judged = true;
                break;
            }
        }
        // A device that cannot be asked yet (still starting when its arrival
        // is told) is asked again at the next few refreshes, not forgotten
        // until the next change; one that never answers costs no more.
        if (!judged && !Judge(path, verdict)) {
            unasked = true;
            continue;
        }
        if (verdict.handset)
            m_handsets.push_back(verdict.info);
        known.push_back(std::move(verdict));
    }
    m_known = std::move(known);
    if (unasked && m_retries) {
        --m_retries;
        m_stale = true;
    }
    return true;
}

const HidDeviceInfo* CHidDetector::Find(const std::wstring& stableId) const
{
    for (const HidDeviceInfo& info : m_handsets) {
        if (info.StableId() == stableId)
            return &info;
    }
    return nullptr;
}

// Opened for neither reading nor writing: enough for the descriptor and the
// strings, granted for keyboards and mice too, and it disturbs no reader.
bool CHidDetector::Judge(const std::wstring& path, Verdict& verdict)
{
    ++m_opens;
    CFileHandle device(
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!device.IsValid())
        return false;
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!m_api->GetPreparsedData(device.Get(), &preparsed))
        return false;
    verdict.path = path;
    verdict.handset = false;
    HidDeviceInfo& info = verdict.info;
    info.path = path;
    // A telephony collection with a hook switch, wherever it lies.
    HIDP_CAPS caps = {};
    HidCapabilities found;
    verdict.handset = m_api->GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS && caps.InputReportByteLength &&
                      caps.InputReportByteLength <= kHidMaxReportBytes &&
                      caps.OutputReportByteLength <= kHidMaxReportBytes &&
                      ReadCapabilities(*m_api, preparsed, caps, found) &&
                      FindHandsetCollection(found.nodes, found.inputs) >= 0;
    m_api->FreePreparsedData(preparsed);
    if (!verdict.handset)
        return true;
    HIDD_ATTRIBUTES attributes = {};
    attributes.Size = sizeof(attributes);
    if (m_api->GetAttributes(device.Get(), &attributes)) {
        info.vendor = attributes.VendorID;
        info.product = attributes.ProductID;
    }
    wchar_t text[kHidMaxStringChars + 1] = {};
    // The byte count leaves the last character for the terminator.
    const ULONG bytes = sizeof(text) - sizeof(text[0]);
    if (m_api->GetProductString(device.Get(), text, bytes))
        info.name = DeviceString(text, kHidMaxStringChars, false);
    text[0] = 0;
    if (m_api->GetSerialNumberString(device.Get(), text, bytes))
        info.serial = DeviceString(text, kHidMaxStringChars, true);
    return true;
}
