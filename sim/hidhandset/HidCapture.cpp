#include "HidCapture.h"

#include <windows.h>

#include <cwchar>

#include "HidHandsetClient.h"
#include "HidHandsetIoctl.h"

namespace hidhandset {

namespace {

const uint16_t kPageLeds = 0x08, kPageTelephony = 0x0B;
const uint16_t kHookSwitch = 0x20, kPhoneMute = 0x2F, kRinger = 0x9E, kKey0 = 0xB0, kKeyPound = 0xBB;
const uint16_t kLedMute = 0x09, kLedOffHook = 0x17, kLedRing = 0x18;
const size_t kMaxCaptureFile = 64 * 1024;
const unsigned kMaxReportBits = 8 * 255;
const size_t kMaxUsages = 256;     // local usages before one main item
const size_t kMaxDepth = 16;       // collections and pushed global states

enum : uint8_t { kMain = 0, kGlobal = 1, kLocal = 2 };
enum : uint8_t { kInput = 8, kOutput = 9, kCollection = 10, kFeature = 11, kEndCollection = 12 };

struct Globals {
    uint16_t page = 0;
    int32_t logicalMin = 0, logicalMax = 0;
    uint32_t size = 0, count = 0;
    uint8_t reportId = 0;
};

// One pass over the items, keeping the state the HID item rules define.
class DescriptorMapper {
public:
    DescriptorMapper(HidControlMap& map) : m_map(map) {}

    bool Run(const uint8_t* d, size_t length)
    {
        size_t i = 0;
        while (i < length) {
            const uint8_t prefix = d[i];
            if (prefix == 0xFE) {   // a long item: skipped whole
                if (i + 2 >= length) return false;
                i += 3 + d[i + 1];
                continue;
            }
            const size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
            if (i + 1 + size > length) return false;
            uint32_t value = 0;
            for (size_t b = 0; b < size; ++b) value |= static_cast<uint32_t>(d[i + 1 + b]) << (8 * b);
            int32_t signedValue = static_cast<int32_t>(value);
            if (size && size < 4 && (value >> (8 * size - 1)) & 1) signedValue -= static_cast<int32_t>(1u << (8 * size));
            if (!Item((prefix >> 2) & 3, prefix >> 4, value, signedValue, size)) return false;
            i += 1 + size;
        }
        return m_telephonyDone || m_inTelephony;
    }

private:
    bool Item(uint8_t type, uint8_t tag, uint32_t value, int32_t signedValue, size_t size)
    {
        if (type == kGlobal) return Global(tag, value, signedValue, size);
        if (type == kLocal) {
            uint32_t usage = size == 4 ? value : (static_cast<uint32_t>(m_g.page) << 16) | value;
            if (tag == 0 && m_usages.size() < kMaxUsages) m_usages.push_back(usage);
            if (tag == 1) m_usageMin = usage;
            if (tag == 2) m_usageMax = usage, m_hasRange = true;
            return true;
        }
        if (type != kMain) return true;
        bool ok = true;
        if (tag == kCollection) ok = Open(value);
        else if (tag == kEndCollection) ok = Close();
        else if (tag == kInput || tag == kOutput || tag == kFeature) ok = Fields(tag, value);
        m_usages.clear();
        m_hasRange = false;
        return ok;
    }

    bool Global(uint8_t tag, uint32_t value, int32_t signedValue, size_t size)
    {
        switch (tag) {
        case 0: m_g.page = static_cast<uint16_t>(value); break;
        case 1: m_g.logicalMin = signedValue; break;
        // A maximum read as signed below the minimum was meant unsigned (0..255 written as 26 FF 00 is fine, 25 FF is not).
        case 2: m_g.logicalMax = signedValue < m_g.logicalMin && size < 4 ? static_cast<int32_t>(value) : signedValue; break;
        case 7: m_g.size = value; break;
        case 8:
            if (!value || value > 255) return false;
            m_g.reportId = static_cast<uint8_t>(value);
            break;
        case 9: m_g.count = value; break;
        case 10:
            if (m_stack.size() == kMaxDepth) return false;
            m_stack.push_back(m_g);
            break;
        case 11:
            if (m_stack.empty()) return false;
            m_g = m_stack.back();
            m_stack.pop_back();
            break;
        }
        return true;
    }

    bool Open(uint32_t type)
    {
        if (m_depth == kMaxDepth) return false;
        const uint32_t usage = m_usages.empty() ? 0 : m_usages.front();
        if (m_depth == 0 && type == 1 && !m_telephonyDone && (usage >> 16) == kPageTelephony &&
            (usage & 0xFFFF) >= 0x01 && (usage & 0xFFFF) <= 0x05)
            m_inTelephony = true;
        ++m_depth;
        return true;
    }

    bool Close()
    {
        if (!m_depth) return false;
        if (--m_depth == 0 && m_inTelephony) {
            m_inTelephony = false;
            m_telephonyDone = true;
        }
        return true;
    }

    uint32_t UsageAt(uint32_t i) const
    {
        if (m_hasRange) return m_usageMin + i <= m_usageMax ? m_usageMin + i : m_usageMax;
        if (m_usages.empty()) return 0;
        return i < m_usages.size() ? m_usages[i] : m_usages.back();
    }

    bool Fields(uint8_t tag, uint32_t flags)
    {
        uint16_t& offset = tag == kInput ? m_inputBits[m_g.reportId]
                           : tag == kOutput ? m_outputBits[m_g.reportId] : m_featureBits[m_g.reportId];
        const uint64_t bits = static_cast<uint64_t>(m_g.size) * m_g.count;
        if (offset + bits > kMaxReportBits || (m_g.size > 32 && m_g.count)) return false;
        const uint16_t start = offset;
        offset = static_cast<uint16_t>(offset + bits);
        if (tag == kInput) m_map.inputBytes[m_g.reportId] = static_cast<uint16_t>((offset + 7) / 8);
        if (!m_inTelephony || (flags & 1) || tag == kFeature || !m_g.count) return true;   // constant: padding
        const bool variable = flags & 2;
        HidField field;
        field.reportId = m_g.reportId;
        field.size = static_cast<uint8_t>(m_g.size);
        field.logicalMin = m_g.logicalMin;
        field.logicalMax = m_g.logicalMax;
        field.relative = flags & 4;
        if (!variable) {
            // An array: keys when its usages run over the phone keys.
            const uint32_t low = UsageAt(0);
            if (tag == kInput && (low >> 16) == kPageTelephony && (low & 0xFFFF) <= kKey0 &&
                (UsageAt(0xFFFF) & 0xFFFF) >= kKeyPound && !m_map.keys[0].present()) {
                field.bit = start;
                field.array = true;
                field.usageMin = static_cast<uint16_t>(low);
                m_map.keys[0] = field;
            }
            return true;
        }
        for (uint32_t i = 0; i < m_g.count; ++i) {
            field.bit = static_cast<uint16_t>(start + i * m_g.size);
            const uint32_t usage = UsageAt(i);
            const uint16_t page = static_cast<uint16_t>(usage >> 16), id = static_cast<uint16_t>(usage);
            HidField* slot = nullptr;
            if (tag == kInput && page == kPageTelephony) {
                if (id == kHookSwitch) slot = &m_map.hook;
                else if (id == kPhoneMute) slot = &m_map.mute;
                else if (id >= kKey0 && id <= kKeyPound) slot = &m_map.keys[id - kKey0];
            } else if (tag == kOutput) {
                if (page == kPageTelephony && id == kRinger) slot = &m_map.ringer;
                else if (page == kPageLeds && id == kLedRing) slot = &m_map.ringLed;
                else if (page == kPageLeds && id == kLedOffHook) slot = &m_map.offHookLed;
                else if (page == kPageLeds && id == kLedMute) slot = &m_map.muteLed;
            }
            if (slot && !slot->present()) *slot = field;
        }
        return true;
    }

    HidControlMap& m_map;
    Globals m_g;
    std::vector<Globals> m_stack;
    std::vector<uint32_t> m_usages;
    uint32_t m_usageMin = 0, m_usageMax = 0;
    bool m_hasRange = false;
    size_t m_depth = 0;
    bool m_inTelephony = false, m_telephonyDone = false;
    uint16_t m_inputBits[256] = {}, m_outputBits[256] = {}, m_featureBits[256] = {};
};

void PutBits(std::vector<unsigned char>& report, size_t first, unsigned bit, unsigned size, uint32_t value)
{
    for (unsigned i = 0; i < size; ++i) {
        const size_t at = first + (bit + i) / 8;
        if (at >= report.size()) return;
        if ((value >> i) & 1) report[at] |= static_cast<unsigned char>(1u << ((bit + i) % 8));
    }
}

bool GetBit(const std::vector<unsigned char>& report, size_t first, unsigned bit)
{
    const size_t at = first + bit / 8;
    return at < report.size() && (report[at] >> (bit % 8)) & 1;
}

// The last written state of one output, if a report of its id came.
bool LastOutput(const HidField& field, const std::vector<std::vector<unsigned char>>& reports, bool& on)
{
    if (!field.present()) return false;
    // Recorded as the report id, then the buffer as sent: with ids, the id again.
    const size_t first = field.reportId ? 2 : 1;
    for (auto r = reports.rbegin(); r != reports.rend(); ++r) {
        if (r->empty() || (*r)[0] != field.reportId) continue;
        on = GetBit(*r, first, field.bit);
        return true;
    }
    return false;
}

// A line's first field, hex pairs joined; false if it holds anything else.
bool HexLine(const std::string& line, std::vector<uint8_t>& bytes)
{
    int high = -1;
    for (char c : line.substr(0, line.find('#'))) {
        if (c == ' ' || c == '\t' || c == '\r') continue;
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) return false;
        if (high < 0) {
            high = digit;
            continue;
        }
        if (bytes.size() == HIDHANDSET_MAX_DESCRIPTOR) return false;
        bytes.push_back(static_cast<uint8_t>(high * 16 + digit));
        high = -1;
    }
    return high < 0;
}

}  // namespace

bool MapControls(const uint8_t* descriptor, size_t length, HidControlMap& map)
{
    map = HidControlMap();
    DescriptorMapper mapper(map);
    return descriptor && mapper.Run(descriptor, length);
}

std::vector<unsigned char> ControlReport(const HidControlMap& map, uint8_t id, bool hook, bool mute, int key)
{
    std::vector<unsigned char> report;
    if (id) report.push_back(id);
    const size_t first = report.size();
    report.resize(first + map.inputBytes[id], 0);
    auto put = [&](const HidField& f, uint32_t value) {
        if (f.present() && f.reportId == id) PutBits(report, first, f.bit, f.size, value);
    };
    put(map.hook, hook);
    put(map.mute, mute);
    const HidField& keys = map.keys[0];
    if (keys.array) {
        // No key: a value outside the logical range (the null state).
        const int32_t none = keys.logicalMin > 0 ? 0 : keys.logicalMax + 1;
        put(keys, static_cast<uint32_t>(key < 0 ? none : keys.logicalMin + (kKey0 + key - keys.usageMin)));
    } else if (key >= 0 && key < 12) {
        put(map.keys[key], 1);
    }
    return report;
}

bool ControlIndicators(const HidControlMap& map, const std::vector<std::vector<unsigned char>>& reports, bool& ring,
                       bool& offHook, bool& muteLed)
{
    bool any = false, on = false, ringing = true, ringSeen = false;
    for (const HidField* f : {&map.ringer, &map.ringLed}) {
        if (LastOutput(*f, reports, on)) ringSeen = true, ringing = ringing && on;
    }
    if (ringSeen) ring = ringing, any = true;
    if (LastOutput(map.offHookLed, reports, on)) offHook = on, any = true;
    if (LastOutput(map.muteLed, reports, on)) muteLed = on, any = true;
    return any;
}

std::unique_ptr<HidCapture> ReadCapture(const std::wstring& path, std::wstring& error)
{
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file.ok() || !GetFileSizeEx(file.h, &size) || size.QuadPart > static_cast<LONGLONG>(kMaxCaptureFile)) {
        error = L"cannot read, or larger than 64 KiB";
        return nullptr;
    }
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!ReadFile(file.h, &text[0], static_cast<DWORD>(text.size()), &got, nullptr) || got != text.size()) {
        error = L"cannot read";
        return nullptr;
    }
    auto capture = std::make_unique<HidCapture>();
    size_t line = 0, at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string content = text.substr(at, end - at);
        ++line;
        if (!HexLine(content, capture->descriptor)) {
            error = L"line " + std::to_wstring(line) + L" is not hex pairs and a comment, or past 1024 bytes";
            return nullptr;
        }
        // The device's name: the first line's comment up to its USB ids, printable ASCII only.
        if (line == 1 && content.rfind("# ", 0) == 0) {
            for (char c : content.substr(2, content.find(" (USB") - 2))
                if (c >= 0x20 && c < 0x7F && capture->product.size() < HIDHANDSET_MAX_PRODUCT - 1)
                    capture->product += static_cast<wchar_t>(c);
        }
        at = end + 1;
    }
    // name-vvvv-pppp.hex
    const size_t slash = path.find_last_of(L"\\/");
    capture->name = path.substr(slash == std::wstring::npos ? 0 : slash + 1);
    unsigned vendor = 0, product = 0;
    const size_t dot = capture->name.size() >= 4 ? capture->name.size() - 4 : 0;
    if (capture->name.compare(dot, 4, L".hex") || dot < 10 ||
        swscanf(capture->name.c_str() + dot - 10, L"-%4x-%4x", &vendor, &product) != 2) {
        error = L"the name does not end in -vvvv-pppp.hex";
        return nullptr;
    }
    capture->name.resize(dot);
    if (capture->product.empty()) capture->product = capture->name;
    if (!MapControls(capture->descriptor.data(), capture->descriptor.size(), capture->map) ||
        !capture->map.hook.present()) {
        error = L"no telephony collection with a hook switch in the descriptor";
        return nullptr;
    }
    HidLayout& l = capture->layout;
    l.name = capture->name.c_str();
    l.product = capture->product.c_str();
    l.vendorId = static_cast<uint16_t>(vendor);
    l.productId = static_cast<uint16_t>(product);
    l.version = 0x0100;
    l.descriptor = capture->descriptor.data();
    l.descriptorLength = capture->descriptor.size();
    l.inputId = capture->map.hook.reportId;
    l.toggleHook = capture->map.hook.relative;
    return capture;
}

std::wstring CaptureFolder()
{
    wchar_t module[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (!length || length == MAX_PATH) return std::wstring();
    std::wstring folder(module, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + L"captures";
}

}  // namespace hidhandset
