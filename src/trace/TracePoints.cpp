#include "TracePoints.h"

#include "TraceLog.h"
#include "framework/BoundedString.h"

#include <mmsystem.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

// VS_VERSIONINFO: three WORDs and the key "VS_VERSION_INFO" with its
// terminator, padded to 32 bits, then the fixed part.
const size_t kFixedFileInfoOffset = 40;
const DWORD kFixedFileInfoSignature = 0xFEEF04BD;

// The program's file version from its own version resource.
void ReadProgramVersion(wchar_t (&version)[32])
{
    CopyTruncated(version, kTraceUnknownVersion);
    HRSRC hResource = FindResourceW(nullptr, MAKEINTRESOURCEW(VS_VERSION_INFO), MAKEINTRESOURCEW(16));
    HGLOBAL hData = hResource ? LoadResource(nullptr, hResource) : nullptr;
    const BYTE* data = hData ? static_cast<const BYTE*>(LockResource(hData)) : nullptr;
    if (!data || SizeofResource(nullptr, hResource) < kFixedFileInfoOffset + sizeof(VS_FIXEDFILEINFO))
        return;
    VS_FIXEDFILEINFO info;
    memcpy(&info, data + kFixedFileInfoOffset, sizeof info);
    if (info.dwSignature != kFixedFileInfoSignature)
        return;
    _snwprintf(version, 31, L"%u.%u.%u.%u", HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS),
               HIWORD(info.dwFileVersionLS), LOWORD(info.dwFileVersionLS));
    version[31] = L'\0';
}

// A four-letter code as text; a byte that is no printable letter shows as '?'.
struct CodeText {
    explicit CodeText(uint32_t code)
    {
        for (int i = 0; i < 4; ++i) {
            wchar_t c = static_cast<wchar_t>((code >> (24 - 8 * i)) & 0xFF);
            text[i] = (c >= 0x20 && c < 0x7F) ? c : L'?';
        }
        text[4] = L'\0';
    }
    wchar_t text[5];
};

bool IsDigit(long value)
{
    return value >= L'0' && value <= L'9';
}

const wchar_t* LineTypeName(DWORD componentType)
{
    switch (componentType) {
    case MIXERLINE_COMPONENTTYPE_DST_SPEAKERS:
        return L"speaker";
    case MIXERLINE_COMPONENTTYPE_DST_WAVEIN:
        return L"recording";
    default:
        return L"other";
    }
}

const wchar_t* OnOff(bool value)
{
    return value ? L"on" : L"off";
}

}  // namespace

CTraceProgramLifetime::CTraceProgramLifetime()
{
    if (!g_traceLog.IsEnabled())
        return;
    wchar_t version[32];
    ReadProgramVersion(version);
    Trace(kTraceProgramStarted, version);
}

CTraceProgramLifetime::~CTraceProgramLifetime()
{
    if (!g_traceLog.IsEnabled())
        return;
    wchar_t version[32];
    ReadProgramVersion(version);
    Trace(kTraceProgramExits, version);
}

void TraceHandsetFound(uint32_t model, bool pstnAdaptor, bool adaptor, bool handsFree, bool speaker)
{
    Trace(kTraceHandsetFound, static_cast<unsigned long>(model), pstnAdaptor ? L", PSTN adaptor" : L"",
          adaptor && !pstnAdaptor ? L", adaptor" : L"", handsFree ? L", hands-free" : L"",
          speaker ? L", speaker" : L"");
}

void TraceHandsetLost(uint32_t model)
{
    Trace(kTraceHandsetLost, static_cast<unsigned long>(model));
}

void TraceHidHandset(const wchar_t* devicePath, bool found)
{
    Trace(found ? kTraceHidHandsetFound : kTraceHidHandsetRemoved, devicePath ? devicePath : L"");
}

void TraceHandsetKey(short key)
{
    if (IsDigit(key))
        Trace(kTraceHandsetDigitKey);
    else
        Trace(kTraceHandsetKey, static_cast<int>(key));
}

void TraceHandsetEvent(const wchar_t* name, bool value)
{
    Trace(kTraceHandsetEvent, name ? name : L"", OnOff(value));
}

void TraceDialledNumber(const wchar_t* number)
{
    if (!g_traceLog.IsEnabled())
        return;
    wchar_t masked[64];
    MaskNumber(number, masked);
    Trace(kTraceDialledNumber, masked);
}

int TraceCommand(uint32_t code, int32_t param, int result)
{
    if (!g_traceLog.IsEnabled())
        return result;
    CodeText text(code);
    if (IsDigit(param))
        Trace(kTraceDigitCommand, text.text, result);
    else
        Trace(kTraceCommand, text.text, static_cast<long>(param), result);
    return result;
}

int TraceStatus(uint32_t code, int result)
{
    static uint32_t s_lastCode = 0;
    static int s_lastResult = -1;
    if (!g_traceLog.IsEnabled() || (code == s_lastCode && result == s_lastResult))
        return result;
    s_lastCode = code;
    s_lastResult = result;
    Trace(kTraceStatus, CodeText(code).text, result);
    return result;
}

void TraceMessengerPresence(HWND hMain)
{
    static HWND s_hLastMain = nullptr;
    if (!g_traceLog.IsEnabled() || hMain == s_hLastMain)
        return;
    s_hLastMain = hMain;
    if (!hMain) {
        Trace(kTraceMessengerLost);
        return;
    }
    DWORD process = 0;
    GetWindowThreadProcessId(hMain, &process);
    Trace(kTraceMessengerFound, static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(hMain)),
          static_cast<unsigned long>(process));
}

void TraceCallWindow(HWND hCallWnd, bool fromContactList, bool appeared)
{
    if (!g_traceLog.IsEnabled())
        return;
    if (!hCallWnd) {
        Trace(kTraceNoCallWindow, fromContactList ? L"contact list" : L"number box");
        return;
    }
    wchar_t className[64] = {};
    GetClassNameW(hCallWnd, className, static_cast<int>(ARRAYSIZE(className)));
    Trace(fromContactList ? kTraceCallWindowFromList : kTraceCallWindowFromBox,
          static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(hCallWnd)), className,
          appeared ? L"new since" : L"open before and brought forward by");
}

void TraceMixerChosen(const wchar_t* name, DWORD componentType, int device)
{
    if (device < 0)
        Trace(kTraceNoMixer, name ? name : L"", LineTypeName(componentType));
    else
        Trace(kTraceMixerChosen, device, name ? name : L"", LineTypeName(componentType));
}

void TraceUnreadableFile(const wchar_t* path)
{
    // The files read on the GUI thread; each failing one traced once until
    // it can be read again, since some are read on every watch pass.
    if (!g_traceLog.IsEnabled() || !path || path[0] == L'\0')
        return;
    static std::vector<std::wstring> s_unreadable;
    CFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD error = file ? ERROR_SUCCESS : GetLastError();
    auto known = s_unreadable.begin();
    while (known != s_unreadable.end() && *known != path)
        ++known;
    if (error == ERROR_SUCCESS) {
        if (known != s_unreadable.end())
            s_unreadable.erase(known);
        return;
    }
    if (known != s_unreadable.end())
        return;
    s_unreadable.emplace_back(path);
    Trace(kTraceUnreadableFile, path, static_cast<unsigned long>(error));
}

void MaskNumber(const wchar_t* number, wchar_t* masked, size_t maskedChars)
{
    if (maskedChars == 0)
        return;
    masked[0] = L'\0';
    if (!number)
        return;
    size_t length = wcsnlen(number, maskedChars - 1);
    // A number cut to the buffer shows no digit: its last ones are not there.
    size_t shown = number[length] == L'\0' ? 0 : kTraceNumberShownDigits;
    for (size_t i = length; i-- > 0;) {
        wchar_t c = number[i];
        if (IsDigit(c) && ++shown > kTraceNumberShownDigits)
            c = kTraceMaskChar;
        masked[i] = c;
    }
    masked[length] = L'\0';
}
