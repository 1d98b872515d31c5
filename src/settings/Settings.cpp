#include "Settings.h"

#include "SettingsPaths.h"
#include "WindowTexts.h"
#include "framework/BoundedString.h"
#include "framework/ScopedHandle.h"
#include "trace/TraceLog.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

namespace {

// One text key: where it is and what it reads as when missing.
struct TextKey {
    const wchar_t* section;
    const wchar_t* key;        // null for keys named at run time (list entries, languages)
    const wchar_t* fallback;
};

// One integer key.
struct NumberKey {
    const wchar_t* section;
    const wchar_t* key;
    int fallback;
};

const wchar_t kLanguageTypeSection[] = L"LanguageType";
const wchar_t kCurrentLanguageKey[] = L"0";
const wchar_t kDefaultLanguage[] = L"English";

// Settings file.
const TextKey kCurrentLanguage = {kLanguageTypeSection, kCurrentLanguageKey, kDefaultLanguage};
const TextKey kLanguageEntry = {kLanguageTypeSection, nullptr, L""};
const TextKey kChosenLanguage = {kLanguageTypeSection, nullptr, kDefaultLanguage};
const TextKey kLanguageFile = {L"LanguageFiles", nullptr, L"\\Language\\English.ini"};
const NumberKey kRingType = {L"OPTION", L"RingType", 0};
const NumberKey kChannelType = {L"OPTION", L"ChannelType", 0};
const NumberKey kMissedCallNotice = {L"OPTION", L"MissedCallNotice", 1};
const NumberKey kLinkCallsAtOnce = {L"OPTION", L"LinkCallsAtOnce", 0};
const TextKey kHandset = {L"OPTION", L"Handset", L""};

// Language file.
const TextKey kCallInTitle = {kWindowTextSection, kCallInTitleKey, kCallInTitleDefault};
const TextKey kVoiceMessageMark = {kWindowTextSection, kVoiceMessageKey, kVoiceMessageDefault};
const TextKey kHangUpCaption = {kWindowTextSection, kHangUpKey, kHangUpDefault};

const wchar_t kTraceUnreadableFile[] = L"cannot read %s: error %lu";

// A settings or language file about to be read that cannot be opened;
// traced once until it can be read again, since some are read on every
// watch pass.
void TraceUnreadableFile(const wchar_t* path)
{
    if (!g_traceLog.IsEnabled() || !path || path[0] == L'\0')
        return;
    static std::vector<std::wstring> s_unreadable;
    CFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD error = file ? ERROR_SUCCESS : GetLastError();
    auto known = std::find(s_unreadable.begin(), s_unreadable.end(), path);
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

// Until start-up has built a path it is empty, and an empty file name would
// send the profile functions to the Windows directory's WIN.INI.
bool HasPath(const wchar_t* file)
{
    return file && file[0] != L'\0';
}

// What the profile functions return for a missing key: the default without
// its trailing blanks, cut to the buffer.
void CopyFallback(const wchar_t* fallback, wchar_t* buffer, size_t chars)
{
    CopyTruncated(buffer, chars, fallback);
    size_t length = wcslen(buffer);
    while (length > 0 && buffer[length - 1] == L' ')
        buffer[--length] = L'\0';
}

void ReadText(const TextKey& key, const wchar_t* keyName, const wchar_t* file, wchar_t* buffer, size_t chars)
{
    // A null key name would make the profile functions list every key.
    if (!HasPath(file) || !keyName) {
        CopyFallback(key.fallback, buffer, chars);
        return;
    }
    TraceUnreadableFile(file);
    // One character more than the caller keeps: the profile functions drop
    // the closing quote of a quoted value as if it had been copied, so a value
    // that exactly fills the buffer would lose its last character.
    std::vector<wchar_t> read(chars + 1, L'\0');
    GetPrivateProfileStringW(key.section, keyName, key.fallback, read.data(), static_cast<DWORD>(read.size()), file);
    CopyTruncated(buffer, chars, read.data());
}

template <size_t N>
void ReadText(const TextKey& key, const wchar_t* keyName, const wchar_t* file, wchar_t (&buffer)[N])
{
    ReadText(key, keyName, file, buffer, N);
}

int ReadNumber(const NumberKey& key, const wchar_t* file)
{
    if (!HasPath(file))
        return key.fallback;
    TraceUnreadableFile(file);
    return static_cast<int>(GetPrivateProfileIntW(key.section, key.key, key.fallback, file));
}

// Whether a write may go to file. The profile functions rewrite the whole
// file from what they could parse, so a file they read as text in the wrong
// encoding (UTF-16 without its byte-order mark, binary data) would lose
// everything in it; and a file marked read-only is the user's to keep, even
// for an account (root under Wine) that the attribute does not stop.
bool MayRewrite(const wchar_t* file)
{
    DWORD attributes = GetFileAttributesW(file);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;   // missing: the write creates it
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))
        return false;
    CFileHandle handle(CreateFileW(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.IsValid())
        return false;
    unsigned char bytes[4096];
    DWORD got = 0;
    if (!ReadFile(handle.Get(), bytes, sizeof bytes, &got, nullptr))
        return false;
    bool utf16 = got >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF));
    if (utf16)
        return true;
    // Text in the code page or UTF-8 holds no NUL byte; look through all of it.
    do {
        if (memchr(bytes, 0, got))
            return false;
    } while (ReadFile(handle.Get(), bytes, sizeof bytes, &got, nullptr) && got > 0);
    return true;
}

bool WriteText(const wchar_t* section, const wchar_t* keyName, const wchar_t* value, const wchar_t* file)
{
    if (!HasPath(file) || !MayRewrite(file))
        return false;
    return WritePrivateProfileStringW(section, keyName, value, file) != FALSE;
}

// The key of a list position: its decimal number.
void FormatEntryKey(int position, wchar_t (&keyName)[8])
{
    _snwprintf(keyName, 7, L"%d", position);
    keyName[7] = L'\0';
}

// A section of at most this many characters is read in one piece.
const DWORD kMaxSectionChars = 4 * 1024 * 1024;

// Every key of section with its first value, read in one call, as the profile
// functions give it key by key: blanks around key and value already gone, a
// value in matching quotes without them. One call instead of one per key: the
// profile functions look each key up from the start of the file, and a list
// of thousands of entries took seconds. False when the section does not fit
// kMaxSectionChars (or there is no path): then read key by key.
bool ReadSectionEntries(const wchar_t* section, const wchar_t* file, std::map<std::wstring, std::wstring>& entries)
{
    if (!HasPath(file))
        return false;
    TraceUnreadableFile(file);
    std::vector<wchar_t> text;
    DWORD got = 0;
    for (DWORD size = 64 * 1024;; size *= 4) {
        if (size > kMaxSectionChars)
            return false;
        text.assign(size, L'\0');
        got = GetPrivateProfileSectionW(section, text.data(), size, file);
        if (got < size - 2)   // size - 2 means cut
            break;
    }
    for (const wchar_t* line = text.data(); line < text.data() + got && *line; line += wcslen(line) + 1) {
        const wchar_t* equals = wcschr(line, L'=');
        if (!equals)
            continue;
        std::wstring value(equals + 1);
        if (value.size() >= 2 && (value[0] == L'"' || value[0] == L'\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        entries.emplace(std::wstring(line, equals), value);   // the first of duplicates stays
    }
    return true;
}

}  // namespace

void ReadCurrentLanguageName(wchar_t (&name)[kNameChars])
{
    ReadText(kCurrentLanguage, kCurrentLanguage.key, g_szSettingsPath, name);
}

void ReadCurrentLanguageName(wchar_t (&name)[kLanguageListChars])
{
    ReadText(kCurrentLanguage, kCurrentLanguage.key, g_szSettingsPath, name);
}

bool WriteCurrentLanguageName(const wchar_t* name)
{
    if (!name || wcspbrk(name, L"\r\n"))
        return false;
    wchar_t value[kNameChars];
    CopyTruncated(value, name);
    return WriteText(kCurrentLanguage.section, kCurrentLanguage.key, value, g_szSettingsPath);
}

std::vector<std::wstring> ReadLanguageList()
{
    std::vector<std::wstring> names;
    std::map<std::wstring, std::wstring> entries;
    bool whole = ReadSectionEntries(kLanguageTypeSection, g_szSettingsPath, entries);
    for (int position = 1; position <= kMaxLanguageEntries; ++position) {
        wchar_t keyName[8];
        FormatEntryKey(position, keyName);
        wchar_t name[kLanguageListChars];
        if (whole) {
            auto entry = entries.find(keyName);
            CopyTruncated(name, entry == entries.end() ? L"" : entry->second.c_str());
        } else {
            ReadText(kLanguageEntry, keyName, g_szSettingsPath, name);
        }
        if (name[0] == L'\0')
            break;
        names.emplace_back(name);
    }
    return names;
}

void ReadChosenLanguageName(int selectedIndex, wchar_t (&name)[kNameChars])
{
    int position = selectedIndex < 0 || selectedIndex >= kMaxLanguageEntries ? 0 : selectedIndex + 1;
    wchar_t keyName[8];
    FormatEntryKey(position, keyName);
    ReadText(kChosenLanguage, keyName, g_szSettingsPath, name);
}

void ReadLanguageFile(const wchar_t* languageName, wchar_t (&relativePath)[kNameChars])
{
    ReadText(kLanguageFile, languageName, g_szSettingsPath, relativePath);
}

int ReadRingType()
{
    return ReadNumber(kRingType, g_szSettingsPath);
}

bool WriteRingType(int ringIndex)
{
    if (ringIndex < 0 || ringIndex >= kRingTypeCount)
        return false;
    const wchar_t value[2] = {static_cast<wchar_t>(L'0' + ringIndex), L'\0'};
    return WriteText(kRingType.section, kRingType.key, value, g_szSettingsPath);
}

int ReadChannelType()
{
    return ReadNumber(kChannelType, g_szSettingsPath);
}

bool WriteChannelType(int channelIndex)
{
    const wchar_t* value = channelIndex == kChannelUsb ? L"1" : L"0";
    return WriteText(kChannelType.section, kChannelType.key, value, g_szSettingsPath);
}

namespace {

// A handset id holds letters, digits and ":-_."; anything else, or one that
// does not fit, is no id.
bool IsHandsetId(const wchar_t* id)
{
    size_t length = 0;
    for (; id[length]; ++length) {
        wchar_t c = id[length];
        if (length + 1 >= kHandsetIdChars ||
            !((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L':' ||
              c == L'-' || c == L'_' || c == L'.'))
            return false;
    }
    return true;
}

}  // namespace

void ReadChosenHandset(wchar_t (&id)[kHandsetIdChars])
{
    // One character more than an id may hold, so that a longer value is
    // seen whole enough to be refused rather than cut.
    wchar_t read[kHandsetIdChars + 1];
    ReadText(kHandset, kHandset.key, g_szSettingsPath, read);
    if (!IsHandsetId(read))
        read[0] = L'\0';
    wcscpy_s(id, kHandsetIdChars, read);
}

bool WriteChosenHandset(const wchar_t* id)
{
    if (!IsHandsetId(id))
        return false;
    // Nobody chosen: no key at all, as before any choice.
    return WriteText(kHandset.section, kHandset.key, id[0] ? id : nullptr, g_szSettingsPath);
}

bool ReadMissedCallNotice()
{
    return ReadNumber(kMissedCallNotice, g_szSettingsPath) != 0;
}

bool ReadLinkCallsAtOnce()
{
    return ReadNumber(kLinkCallsAtOnce, g_szSettingsPath) != 0;
}

void ReadWindowText(WindowText key, wchar_t (&text)[kNameChars])
{
    const TextKey* entry = &kCallInTitle;
    switch (key) {
    case WindowText::CallIn:
        break;
    case WindowText::VoiceMessage:
        entry = &kVoiceMessageMark;
        break;
    case WindowText::HangUpButton:
        entry = &kHangUpCaption;
        break;
    }
    ReadText(*entry, entry->key, g_szLanguagePath, text);
}
