// The settings file and the language files under Wine's real profile
// functions: defaults, limits, the language list, the option keys as they
// are written, letter case, quotes and blanks, UTF-16 language files, the
// files shipped beside the program, and writes that fail.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "settings/Settings.h"
#include "settings/SettingsPaths.h"

#include <windows.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

namespace {

// The Chinese edition's window texts: the built-in defaults.
const std::wstring kCallIn = L"\u96C5\u864E\u901A";
const std::wstring kVoiceMessage = L"\u8BED\u97F3\u7559\u8A00";
const std::wstring kHangUp = L"\u7ED3\u675F\u901A\u8BDD";

// A language file as the build writes them: UTF-16 LE with a byte-order mark.
std::string Utf16File(const std::wstring& text)
{
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

std::wstring RawValue(const std::wstring& file, const wchar_t* section, const wchar_t* key)
{
    wchar_t value[64] = {};
    GetPrivateProfileStringW(section, key, L"<missing>", value, 64, file.c_str());
    return value;
}

template <size_t N>
std::wstring Text(const wchar_t (&buffer)[N])
{
    return std::wstring(buffer, wcsnlen(buffer, N));
}

std::wstring CurrentName31()
{
    wchar_t name[kNameChars];
    ReadCurrentLanguageName(name);
    return Text(name);
}

std::wstring CurrentName255()
{
    wchar_t name[kLanguageListChars];
    ReadCurrentLanguageName(name);
    return Text(name);
}

std::wstring ChosenName(int index)
{
    wchar_t name[kNameChars];
    ReadChosenLanguageName(index, name);
    return Text(name);
}

std::wstring LanguageFile(const wchar_t* languageName)
{
    wchar_t path[kNameChars];
    ReadLanguageFile(languageName, path);
    return Text(path);
}

std::wstring WindowTextOf(WindowText key)
{
    wchar_t text[kNameChars];
    ReadWindowText(key, text);
    return Text(text);
}

// Points both paths at files in a fresh directory, as start-up does for the
// program directory, and puts the process's paths back afterwards.
class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        wmemcpy(m_savedSettings, g_szSettingsPath, MAX_PATH);
        wmemcpy(m_savedLanguage, g_szLanguagePath, MAX_PATH);
        ASSERT_TRUE(BuildSettingsPaths(m_dir.Path().c_str()));
        m_settings = g_szSettingsPath;
        m_language = JoinPath(m_dir.Path(), L"Language.ini");
        wcscpy(g_szLanguagePath, m_language.c_str());
    }
    void TearDown() override
    {
        wmemcpy(g_szSettingsPath, m_savedSettings, MAX_PATH);
        wmemcpy(g_szLanguagePath, m_savedLanguage, MAX_PATH);
    }
    void WriteSettings(const std::string& ansiText) { ASSERT_TRUE(WriteFileBytes(m_settings, ansiText)); }
    void WriteLanguage(const std::wstring& text) { ASSERT_TRUE(WriteFileBytes(m_language, Utf16File(text))); }

    CTempDir m_dir;
    std::wstring m_settings;
    std::wstring m_language;

private:
    wchar_t m_savedSettings[MAX_PATH];
    wchar_t m_savedLanguage[MAX_PATH];
};

}  // namespace

TEST_F(SettingsFile, MissingFileGivesEveryDefault)
{
    ASSERT_FALSE(FileExists(m_settings));
    EXPECT_EQ(std::wstring(g_szLanguagePath), m_language);
    // Start-up's language path: the program directory + "\Language\English.ini".
    ASSERT_TRUE(BuildSettingsPaths(m_dir.Path().c_str()));
    EXPECT_EQ(std::wstring(g_szLanguagePath), m_dir.Path() + L"\\Language\\English.ini");

    EXPECT_EQ(ReadRingType(), 0);
    EXPECT_EQ(ReadChannelType(), 0);
    EXPECT_EQ(CurrentName31(), L"English");
    EXPECT_EQ(CurrentName255(), L"English");
    EXPECT_TRUE(ReadLanguageList().empty());
    EXPECT_EQ(ChosenName(-1), L"English");
    EXPECT_EQ(ChosenName(0), L"English");
    EXPECT_EQ(LanguageFile(L"English"), L"\\Language\\English.ini");
    EXPECT_EQ(LanguageFile(L"Deutsch"), L"\\Language\\English.ini");
    // No language file either: the built-in texts, the first without the
    // two blanks its default ends in.
    EXPECT_EQ(WindowTextOf(WindowText::CallIn), kCallIn);
    EXPECT_EQ(WindowTextOf(WindowText::VoiceMessage), kVoiceMessage);
    EXPECT_EQ(WindowTextOf(WindowText::HangUpButton), kHangUp);
    EXPECT_FALSE(FileExists(m_settings));   // reading creates nothing
}

TEST_F(SettingsFile, OptionsAreWrittenAsOneDigitAndReadAsIntegers)
{
    EXPECT_TRUE(WriteChannelType(kChannelPstn));
    EXPECT_EQ(RawValue(m_settings, L"OPTION", L"ChannelType"), L"0");
    EXPECT_TRUE(WriteChannelType(kChannelUsb));
    EXPECT_EQ(RawValue(m_settings, L"OPTION", L"ChannelType"), L"1");
    EXPECT_EQ(ReadChannelType(), 1);
    // Every index but USB's is written as PSTN's.
    for (int index : {5, -1, INT_MIN, INT_MAX}) {
        ASSERT_TRUE(WriteChannelType(kChannelUsb));
        EXPECT_TRUE(WriteChannelType(index));
        EXPECT_EQ(RawValue(m_settings, L"OPTION", L"ChannelType"), L"0") << index;
    }

    for (int ring = 0; ring < kRingTypeCount; ++ring) {
        EXPECT_TRUE(WriteRingType(ring));
        EXPECT_EQ(RawValue(m_settings, L"OPTION", L"RingType"), std::to_wstring(ring));
        EXPECT_EQ(ReadRingType(), ring);
    }
    EXPECT_TRUE(WriteRingType(7));
    EXPECT_EQ(RawValue(m_settings, L"OPTION", L"RingType"), L"7");
    // An index that is not a ring style is not written.
    for (int index : {10, 12, -1, INT_MIN, INT_MAX}) {
        EXPECT_FALSE(WriteRingType(index)) << index;
        EXPECT_EQ(RawValue(m_settings, L"OPTION", L"RingType"), L"7") << index;
    }

    // Values written by hand come back as the integers they hold; the
    // options dialog selects nothing for those outside its lists.
    WritePrivateProfileStringW(L"OPTION", L"RingType", L"12", m_settings.c_str());
    WritePrivateProfileStringW(L"OPTION", L"ChannelType", L"5", m_settings.c_str());
    EXPECT_EQ(ReadRingType(), 12);
    EXPECT_EQ(ReadChannelType(), 5);
    WritePrivateProfileStringW(L"OPTION", L"RingType", L"", m_settings.c_str());
    WritePrivateProfileStringW(L"OPTION", L"ChannelType", L"-3", m_settings.c_str());
    EXPECT_EQ(ReadRingType(), 0);   // empty: the default
    EXPECT_EQ(ReadChannelType(), -3);
}

TEST_F(SettingsFile, LanguageListEndsAtTheFirstMissingOrEmptyKey)
{
    WriteSettings("[LanguageType]\r\n1=English\r\n3=Deutsch\r\n");
    EXPECT_EQ(ReadLanguageList(), (std::vector<std::wstring>{L"English"}));

    WriteSettings("[LanguageType]\r\n1=English\r\n2=\r\n3=Deutsch\r\n");
    EXPECT_EQ(ReadLanguageList(), (std::vector<std::wstring>{L"English"}));

    WriteSettings("[LanguageType]\r\n2=English\r\n");
    EXPECT_TRUE(ReadLanguageList().empty());

    WriteSettings("[LanguageType]\r\n0=Francais\r\n1=English\r\n2=Deutsch\r\n4=Italiano\r\n");
    EXPECT_EQ(ReadLanguageList(), (std::vector<std::wstring>{L"English", L"Deutsch"}));
    // The list index names its key: index 1 is key "2"; no selection is "0".
    EXPECT_EQ(ChosenName(1), L"Deutsch");
    EXPECT_EQ(ChosenName(-1), L"Francais");
    EXPECT_EQ(ChosenName(INT_MIN), L"Francais");
    EXPECT_EQ(ChosenName(2), L"English");   // key "3" is missing: the default
    EXPECT_EQ(ChosenName(INT_MAX), L"Francais");

    // Entries up to 255 characters, each read whole.
    std::string longName(300, 'L');
    WriteSettings("[LanguageType]\r\n1=" + longName + "\r\n2=x\r\n");
    std::vector<std::wstring> list = ReadLanguageList();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], std::wstring(255, L'L'));
    EXPECT_EQ(list[1], L"x");
    EXPECT_EQ(CurrentName255(), L"English");
}

TEST_F(SettingsFile, NamesOf40CharactersAreCutTo31ForTheCurrentLanguageAndTheLookup)
{
    const std::string name40 = "Chinese (Simplified) of Mainland 1234";   // padded below to 40
    std::string full = (name40 + "XYZ").substr(0, 40);
    ASSERT_EQ(full.size(), 40u);
    std::wstring fullW(full.begin(), full.end());
    std::wstring cutW = fullW.substr(0, 31);
    WriteSettings("[LanguageType]\r\n0=English\r\n1=" + full +
                  "\r\n[LanguageFiles]\r\nEnglish=\\Language\\English.ini\r\n" + full + "=\\Language\\Chinese.ini\r\n");

    // The list shows the name whole...
    ASSERT_EQ(ReadLanguageList(), (std::vector<std::wstring>{fullW}));
    // ...the dialog's OK reads it cut, stores that and looks it up.
    std::wstring chosen = ChosenName(0);
    EXPECT_EQ(chosen, cutW);
    EXPECT_TRUE(WriteCurrentLanguageName(chosen.c_str()));
    EXPECT_EQ(RawValue(m_settings, L"LanguageType", L"0").size(), 31u);
    EXPECT_EQ(CurrentName31(), cutW);
    EXPECT_EQ(CurrentName255(), cutW);
    // The entry is keyed by the full name: not found under the cut one.
    EXPECT_EQ(LanguageFile(chosen.c_str()), L"\\Language\\English.ini");
    ASSERT_TRUE(ResolveLanguagePath(chosen.c_str()));
    std::wstring programDirectory = TestBinDir();
    EXPECT_EQ(std::wstring(g_szLanguagePath), programDirectory + L"\\Language\\English.ini");

    // Keyed by the cut name it is found, and start-up resolves the same.
    WritePrivateProfileStringW(L"LanguageFiles", cutW.c_str(), L"\\Language\\Chinese.ini", m_settings.c_str());
    ASSERT_TRUE(ResolveLanguagePath(chosen.c_str()));
    EXPECT_EQ(std::wstring(g_szLanguagePath), programDirectory + L"\\Language\\Chinese.ini");
    ASSERT_TRUE(BuildSettingsPaths(m_dir.Path().c_str()));
    EXPECT_EQ(std::wstring(g_szLanguagePath), m_dir.Path() + L"\\Language\\Chinese.ini");

    // The writer itself never stores more than start-up can read back.
    EXPECT_TRUE(WriteCurrentLanguageName(fullW.c_str()));
    EXPECT_EQ(RawValue(m_settings, L"LanguageType", L"0"), cutW);
}

TEST_F(SettingsFile, SectionsAndKeysAreFoundWhateverTheirLetterCase)
{
    WriteSettings("[option]\r\nringtype=3\r\nCHANNELTYPE=1\r\n[languagetype]\r\n0=Deutsch\r\n1=English\r\n"
                  "[LANGUAGEFILES]\r\ndeutsch=\\Language\\German.ini\r\n");
    EXPECT_EQ(ReadRingType(), 3);
    EXPECT_EQ(ReadChannelType(), 1);
    EXPECT_EQ(CurrentName31(), L"Deutsch");
    EXPECT_EQ(ReadLanguageList(), (std::vector<std::wstring>{L"English"}));
    EXPECT_EQ(LanguageFile(L"Deutsch"), L"\\Language\\German.ini");
    EXPECT_EQ(LanguageFile(L"DEUTSCH"), L"\\Language\\German.ini");
    // Writing into a section spelt otherwise changes that section's key.
    EXPECT_TRUE(WriteRingType(4));
    EXPECT_EQ(RawValue(m_settings, L"Option", L"RINGTYPE"), L"4");
    std::string bytes = ReadFileBytes(m_settings);
    EXPECT_EQ(bytes.find("[OPTION]"), std::string::npos) << bytes;

    WriteLanguage(L"[window_text]\r\nwnd_callin=Incoming\r\nWnd_VoiceMsg=Voice\r\nbtn_HANGUP=Hang up\r\n");
    EXPECT_EQ(WindowTextOf(WindowText::CallIn), L"Incoming");
    EXPECT_EQ(WindowTextOf(WindowText::VoiceMessage), L"Voice");
    EXPECT_EQ(WindowTextOf(WindowText::HangUpButton), L"Hang up");
}

TEST_F(SettingsFile, QuotesKeepBlanksThatUnquotedValuesLose)
{
    const std::wstring blanks = kCallIn + L"  ";
    WriteLanguage(L"[WINDOW_TEXT]\r\nWND_CALLIN=\"" + blanks + L"\"\r\nWND_VOICEMSG='" + kVoiceMessage +
                  L"'\r\nBTN_HANGUP=   " + kHangUp + L"   \r\n");
    EXPECT_EQ(WindowTextOf(WindowText::CallIn), blanks);
    EXPECT_EQ(WindowTextOf(WindowText::VoiceMessage), kVoiceMessage);
    EXPECT_EQ(WindowTextOf(WindowText::HangUpButton), kHangUp);

    // Unquoted trailing blanks are dropped; an empty value is empty, not the default.
    WriteLanguage(L"[WINDOW_TEXT]\r\nWND_CALLIN=" + blanks + L"\r\nWND_VOICEMSG=\r\n");
    EXPECT_EQ(WindowTextOf(WindowText::CallIn), kCallIn);
    EXPECT_EQ(WindowTextOf(WindowText::VoiceMessage), L"");
    EXPECT_EQ(WindowTextOf(WindowText::HangUpButton), kHangUp);

    // Window texts are cut to 31 characters.
    WriteLanguage(L"[WINDOW_TEXT]\r\nBTN_HANGUP=" + std::wstring(40, L'\u901A') + L"\r\n");
    EXPECT_EQ(WindowTextOf(WindowText::HangUpButton), std::wstring(31, L'\u901A'));
}

TEST_F(SettingsFile, ShippedFilesListEnglishAndStateTheBuiltInTextsExactly)
{
    const std::wstring bin = TestBinDir();
    const std::wstring english = bin + L"\\Language\\English.ini";
    std::string bytes = ReadFileBytes(english);
    ASSERT_GE(bytes.size(), 2u) << "missing " << std::string(english.begin(), english.end());
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");

    // The shipped settings file, read where the program reads it.
    ASSERT_TRUE(BuildSettingsPaths(bin.c_str()));
    EXPECT_EQ(std::wstring(g_szLanguagePath), english);
    EXPECT_EQ(CurrentName31(), L"English");
    EXPECT_EQ(ReadLanguageList(), (std::vector<std::wstring>{L"English"}));
    EXPECT_EQ(LanguageFile(L"English"), L"\\Language\\English.ini");
    EXPECT_EQ(ReadRingType(), 0);
    EXPECT_EQ(ReadChannelType(), 0);

    // The texts read back exactly, the two blanks of WND_CALLIN included.
    EXPECT_EQ(WindowTextOf(WindowText::CallIn), kCallIn + L"  ");
    EXPECT_EQ(WindowTextOf(WindowText::VoiceMessage), kVoiceMessage);
    EXPECT_EQ(WindowTextOf(WindowText::HangUpButton), kHangUp);

    // A copy the program writes into keeps its list and its languages.
    std::string shipped = ReadFileBytes(bin + L"\\Callvane.ini");
    ASSERT_FALSE(shipped.empty());
    ASSERT_TRUE(BuildSettingsPaths(m_dir.Path().c_str()));
    WriteSettings(shipped);
    EXPECT_TRUE(WriteRingType(3));
    EXPECT_TRUE(WriteChannelType(kChannelUsb));
    EXPECT_TRUE(WriteCurrentLanguageName(L"English"));
    EXPECT_EQ(ReadRingType(), 3);
    EXPECT_EQ(ReadChannelType(), 1);
    EXPECT_EQ(ReadLanguageList(), (std::vector<std::wstring>{L"English"}));
    EXPECT_EQ(LanguageFile(L"English"), L"\\Language\\English.ini");
}

TEST_F(SettingsFile, WritesThatFailChangeNothingAndCrashNothing)
{
    WriteSettings("[OPTION]\r\nRingType=3\r\nChannelType=1\r\n[LanguageType]\r\n0=Deutsch\r\n");
    const std::string before = ReadFileBytes(m_settings);

    // Read-only. The tests run as root, which Wine lets write a read-only
    // file: the attribute alone must keep the file as it is.
    ASSERT_TRUE(SetFileAttributesW(m_settings.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(WriteRingType(7));
    EXPECT_FALSE(WriteChannelType(kChannelPstn));
    EXPECT_FALSE(WriteCurrentLanguageName(L"English"));
    EXPECT_EQ(ReadFileBytes(m_settings), before);
    EXPECT_EQ(ReadRingType(), 3);
    // A handle that lets others read but not write, as the attribute does for
    // every other user.
    HANDLE readOnly = CreateFileW(m_settings.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(WriteRingType(7));
    EXPECT_FALSE(WriteChannelType(kChannelPstn));
    EXPECT_FALSE(WriteCurrentLanguageName(L"English"));
    EXPECT_EQ(ReadRingType(), 3);
    EXPECT_EQ(ReadChannelType(), 1);
    EXPECT_EQ(CurrentName31(), L"Deutsch");
    CloseHandle(readOnly);
    SetFileAttributesW(m_settings.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadFileBytes(m_settings), before);
    EXPECT_EQ(ReadRingType(), 3);

    // A folder where the file should be: nothing can be written or read.
    CTempDir other;
    ASSERT_TRUE(BuildSettingsPaths(other.Path().c_str()));
    ASSERT_TRUE(CreateDirectoryW(g_szSettingsPath, nullptr));
    EXPECT_FALSE(WriteRingType(5));
    EXPECT_EQ(ReadRingType(), 0);
    EXPECT_EQ(CurrentName31(), L"English");
    EXPECT_TRUE(ReadLanguageList().empty());
}

namespace {

std::string Utf16BigEndian(const std::wstring& text)
{
    std::string bytes = "\xFE\xFF";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c >> 8);
        bytes += static_cast<char>(c & 0xFF);
    }
    return bytes;
}

std::string Utf16NoMark(const std::wstring& text)
{
    return Utf16File(text).substr(2);
}

}  // namespace

TEST_F(SettingsFile, BadFilesReadAsTheyCanAndAreNeverDestroyedByAWrite)
{
    const std::wstring chinese = L"\u7B80\u4F53\u4E2D\u6587";
    const std::wstring unicodeText = L"[LanguageType]\r\n0=" + chinese + L"\r\n1=" + chinese + L"\r\n";
    const std::string big(1 << 20, 'a');
    const struct {
        const char* name;
        std::string bytes;
        int ring;                 // RingType read before the writes
        std::wstring language;    // LanguageType "0" read before the writes (31 characters)
        std::wstring listed;      // the first list entry, before and after the writes
        bool writable;            // false: every writer refuses and the bytes stay
        std::string kept;         // bytes the writes must leave in the file
    } cases[] = {
        {"empty", "", 0, L"English", L"", true, ""},
        {"no sections", "RingType=4\r\n0=Deutsch\r\n", 0, L"English", L"", true, "RingType=4\r\n0=Deutsch\r\n"},
        {"duplicate keys", "[OPTION]\r\nRingType=3\r\nRingType=5\r\n", 3, L"English", L"", true, "RingType=5\r\n"},
        // Only the first of two sections of one name is read.
        {"duplicate sections", "[OPTION]\r\nChannelType=1\r\n[OPTION]\r\nRingType=5\r\n", 0, L"English", L"", true,
         "RingType=5\r\n"},
        {"1 MB lines", "[OPTION]\r\nX=" + big + "\r\nRingType=8\r\n[LanguageType]\r\n0=" + big + "\r\n1=" + big + "\r\n", 8,
         std::wstring(31, L'a'), std::wstring(255, L'a'), true, "X=" + big + "\r\n"},
        {"code page", "[LanguageType]\r\n0=Fran\xE7" "ais\r\n1=Fran\xE7" "ais\r\n", 0, L"Fran\u00E7ais", L"Fran\u00E7ais", true,
         "1=Fran\xE7" "ais\r\n"},
        {"UTF-8 with mark", "\xEF\xBB\xBF[LanguageType]\r\n0=\xE7\xAE\x80\xE4\xBD\x93\r\n1=\xE7\xAE\x80\xE4\xBD\x93\r\n", 0,
         L"\u7B80\u4F53", L"\u7B80\u4F53", true, "1=\xE7\xAE\x80\xE4\xBD\x93\r\n"},
        // Read in the code page, but every byte written back as it was.
        {"UTF-8 without mark", "[LanguageType]\r\n0=\xE7\xAE\x80\r\n1=\xE7\xAE\x80\r\n", 0, L"\u00E7\u00AE\u20AC",
         L"\u00E7\u00AE\u20AC", true, "1=\xE7\xAE\x80\r\n"},
        {"UTF-16 with mark", Utf16File(unicodeText), 0, chinese, chinese, true, Utf16NoMark(L"1=" + chinese + L"\r\n")},
        {"UTF-16 big-endian", Utf16BigEndian(unicodeText), 0, chinese, chinese, true,
         Utf16BigEndian(L"1=" + chinese + L"\r\n").substr(2)},
        // Misread as the code page: a write would keep only what it parsed.
        {"UTF-16 without mark", Utf16NoMark(L"[OPTION]\r\nRingType=6\r\n" + unicodeText), 0, L"English", L"", false, ""},
        {"binary", std::string("\x00\x01\xFF\x80[OPTION]\x00\r\nRingType=6\r\n\x00\x00\xC3", 27), 0, L"English", L"", false,
         ""},
    };
    auto markLength = [](const std::string& bytes) -> size_t {
        if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
            return 3;
        return bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0 ? 2 : 0;
    };
    auto firstListed = [] {
        std::vector<std::wstring> list = ReadLanguageList();
        return list.empty() ? std::wstring() : list[0];
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A file of its own per case: no case sees what another left.
        CTempDir dir;
        ASSERT_TRUE(BuildSettingsPaths(dir.Path().c_str()));
        m_settings = g_szSettingsPath;
        WriteSettings(c.bytes);
        EXPECT_EQ(ReadRingType(), c.ring);
        EXPECT_EQ(CurrentName31(), c.language);
        EXPECT_EQ(firstListed(), c.listed);
        EXPECT_EQ(WriteRingType(7), c.writable);
        EXPECT_EQ(WriteChannelType(kChannelUsb), c.writable);
        EXPECT_EQ(WriteCurrentLanguageName(L"Deutsch"), c.writable);
        std::string after = ReadFileBytes(m_settings);
        if (!c.writable) {
            EXPECT_TRUE(after == c.bytes) << "the file was rewritten";
            EXPECT_EQ(ReadRingType(), c.ring);
            continue;
        }
        // Every written value reads back, what was there stays, and so does
        // the encoding.
        EXPECT_EQ(ReadRingType(), 7);
        EXPECT_EQ(ReadChannelType(), 1);
        EXPECT_EQ(CurrentName31(), L"Deutsch");
        EXPECT_EQ(firstListed(), c.listed);
        EXPECT_NE(after.find(c.kept), std::string::npos);
        size_t mark = markLength(c.bytes);
        EXPECT_EQ(after.compare(0, mark, c.bytes, 0, mark), 0) << "the byte-order mark changed";
    }
}

TEST_F(SettingsFile, BadLanguageFilesGiveWhatTheyHoldOrTheBuiltInTexts)
{
    const std::wstring texts = L"[WINDOW_TEXT]\r\nWND_CALLIN=" + kHangUp + L"\r\nWND_VOICEMSG=Voice\r\nBTN_HANGUP=Hang up\r\n";
    const std::string latin = "[WINDOW_TEXT]\r\nWND_CALLIN=Appel entrant\r\nBTN_HANGUP=Raccrocher\r\n";
    const struct {
        const char* name;
        std::string bytes;   // "<dir>": a folder of that name
        std::wstring callIn, voiceMessage, hangUp;
    } cases[] = {
        {"empty", "", kCallIn, kVoiceMessage, kHangUp},
        {"folder", "<dir>", kCallIn, kVoiceMessage, kHangUp},
        {"binary", std::string("\x00\xFF[WINDOW_TEXT]\x00\r\nBTN_HANGUP=x\r\n\x00", 32), kCallIn, kVoiceMessage, kHangUp},
        {"no sections", "WND_CALLIN=Call\r\nBTN_HANGUP=Hang up\r\n", kCallIn, kVoiceMessage, kHangUp},
        {"1 MB line first", std::string(1 << 20, 'j') + "\r\n" + latin, L"Appel entrant", kVoiceMessage, L"Raccrocher"},
        {"duplicate keys", "[WINDOW_TEXT]\r\nBTN_HANGUP=First\r\nBTN_HANGUP=Second\r\n", kCallIn, kVoiceMessage, L"First"},
        {"duplicate sections", "[WINDOW_TEXT]\r\nBTN_HANGUP=First\r\n[WINDOW_TEXT]\r\nWND_VOICEMSG=Second\r\n", kCallIn,
         kVoiceMessage, L"First"},
        {"code page", latin, L"Appel entrant", kVoiceMessage, L"Raccrocher"},
        {"UTF-8 with mark", "\xEF\xBB\xBF[WINDOW_TEXT]\r\nBTN_HANGUP=\xE7\xBB\x93\xE6\x9D\x9F\xE9\x80\x9A\xE8\xAF\x9D\r\n", kCallIn,
         kVoiceMessage, kHangUp},
        {"UTF-8 without mark", "[WINDOW_TEXT]\r\nWND_VOICEMSG=\xE7\xAE\x80\r\n", kCallIn, L"\u00E7\u00AE\u20AC", kHangUp},
        {"UTF-16 with mark", Utf16File(texts), kHangUp, L"Voice", L"Hang up"},
        {"UTF-16 big-endian", Utf16BigEndian(texts), kHangUp, L"Voice", L"Hang up"},
        {"UTF-16 without mark", Utf16NoMark(texts), kCallIn, kVoiceMessage, kHangUp},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CTempDir dir;   // a new file per case
        m_language = JoinPath(dir.Path(), L"Language.ini");
        wcscpy(g_szLanguagePath, m_language.c_str());
        if (c.bytes == "<dir>")
            ASSERT_TRUE(CreateDirectoryW(m_language.c_str(), nullptr));
        else
            ASSERT_TRUE(WriteFileBytes(m_language, c.bytes));
        EXPECT_EQ(WindowTextOf(WindowText::CallIn), c.callIn);
        EXPECT_EQ(WindowTextOf(WindowText::VoiceMessage), c.voiceMessage);
        EXPECT_EQ(WindowTextOf(WindowText::HangUpButton), c.hangUp);
    }
}

TEST_F(SettingsFile, LanguageListReadsAsKeyByKeyAndQuickly)
{
    // What the list is by its definition: key "1", "2", ... read one by one
    // (whole, then cut to 255) up to the first missing or empty one.
    auto keyByKey = [&] {
        std::vector<std::wstring> names;
        std::vector<wchar_t> value(3 << 20);
        for (int position = 1; position <= kMaxLanguageEntries; ++position) {
            GetPrivateProfileStringW(L"LanguageType", std::to_wstring(position).c_str(), L"", value.data(),
                                     static_cast<DWORD>(value.size()), m_settings.c_str());
            if (!value[0])
                break;
            names.emplace_back(std::wstring(value.data()).substr(0, 255));
        }
        return names;
    };
    const std::string big(1 << 20, 'b');
    std::string fiveBig = "[LanguageType]\r\n";   // more than is read in one piece
    for (int position = 1; position <= 5; ++position)
        fiveBig += std::to_string(position) + "=" + big + "\r\n";
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"blanks, quotes, comments, duplicates",
         "[LanguageType]\r\n; 1=comment\r\n  1  =  \"quoted  \"  \r\nnoequals\r\n2='x'\r\n2=dup\r\n 3 = 'a\" \r\n4=\"\r\n"
         "5=''\r\n6=after\r\n"},
        {"letter case, second section", "[languagetype]\r\n1=One\r\n2=Two\r\n[LanguageType]\r\n3=Three\r\n"},
        {"keys with zeros and signs", "[LanguageType]\r\n01=Zero\r\n+2=Plus\r\n1=One\r\n2=Two\r\n"},
        {"quoted past the limit", "[LanguageType]\r\n1=\"" + std::string(300, 'q') + "\"\r\n2='" + std::string(255, 'r') + "'\r\n"},
        {"two 1 MB entries", "[LanguageType]\r\n1=" + big + "\r\n2=\"" + big + "\"\r\n"},
        {"five 1 MB entries", fiveBig},
        {"UTF-16", Utf16File(L"[LanguageType]\r\n1=\u7B80\u4F53\u4E2D\u6587\r\n2=\"English\"\r\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CTempDir dir;
        ASSERT_TRUE(BuildSettingsPaths(dir.Path().c_str()));
        m_settings = g_szSettingsPath;
        WriteSettings(c.bytes);
        std::vector<std::wstring> expected = keyByKey();
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(ReadLanguageList(), expected);
    }

    // The longest list there can be, in one go.
    CTempDir dir;
    ASSERT_TRUE(BuildSettingsPaths(dir.Path().c_str()));
    m_settings = g_szSettingsPath;
    std::string file = "[LanguageType]\r\n";
    for (int position = 1; position <= kMaxLanguageEntries + 1; ++position)
        file += std::to_string(position) + "=Language number " + std::to_string(position) + "\r\n";
    WriteSettings(file);
    DWORD started = GetTickCount();
    std::vector<std::wstring> list = ReadLanguageList();
    DWORD elapsed = GetTickCount() - started;
    ASSERT_EQ(list.size(), static_cast<size_t>(kMaxLanguageEntries));
    EXPECT_EQ(list.back(), L"Language number 9999");
    EXPECT_LT(elapsed, 1000u) << "reading 9999 entries took " << elapsed << " ms";
    RecordProperty("list_9999_ms", static_cast<int>(elapsed));
}

TEST_F(SettingsFile, EveryReadStopsAtItsLimitAndStaysInItsBuffer)
{
    // Each reader's buffer with a guard behind it.
    struct Name31 {
        wchar_t text[kNameChars];
        wchar_t guard[8];
    };
    struct Name255 {
        wchar_t text[kLanguageListChars];
        wchar_t guard[8];
    };
    const std::wstring fill(8, L'#');
    auto guarded = [&](auto& buffer, const std::function<void()>& read) {
        wmemset(buffer.text, L'~', ARRAYSIZE(buffer.text));
        wmemcpy(buffer.guard, fill.data(), 8);
        read();
        EXPECT_EQ(std::wstring(buffer.guard, 8), fill) << "written past the buffer";
        size_t length = wcsnlen(buffer.text, ARRAYSIZE(buffer.text));
        EXPECT_LT(length, ARRAYSIZE(buffer.text)) << "not terminated";
        return std::wstring(buffer.text, length);
    };
    const struct {
        const char* name;
        size_t limit;
        std::function<std::wstring(const std::wstring&)> store;   // stores the value, reads it back
    } readers[] = {
        {"current name, 31", 31,
         [&](const std::wstring& v) {
             WritePrivateProfileStringW(L"LanguageType", L"0", v.c_str(), m_settings.c_str());
             Name31 b;
             return guarded(b, [&] { ReadCurrentLanguageName(b.text); });
         }},
        {"current name, 255", 255,
         [&](const std::wstring& v) {
             WritePrivateProfileStringW(L"LanguageType", L"0", v.c_str(), m_settings.c_str());
             Name255 b;
             return guarded(b, [&] { ReadCurrentLanguageName(b.text); });
         }},
        {"chosen name", 31,
         [&](const std::wstring& v) {
             WritePrivateProfileStringW(L"LanguageType", L"1", v.c_str(), m_settings.c_str());
             Name31 b;
             return guarded(b, [&] { ReadChosenLanguageName(0, b.text); });
         }},
        {"language list entry", 255,
         [&](const std::wstring& v) {
             WritePrivateProfileStringW(L"LanguageType", L"1", v.c_str(), m_settings.c_str());
             std::vector<std::wstring> list = ReadLanguageList();
             return list.empty() ? std::wstring(L"<none>") : list[0];
         }},
        {"language file", 31,
         [&](const std::wstring& v) {
             WritePrivateProfileStringW(L"LanguageFiles", L"Deutsch", v.c_str(), m_settings.c_str());
             Name31 b;
             return guarded(b, [&] { ReadLanguageFile(L"Deutsch", b.text); });
         }},
        {"window text", 31,
         [&](const std::wstring& v) {
             // A new file each time, so that no read sees an earlier one.
             static int files = 0;
             m_language = JoinPath(m_dir.Path(), L"Language" + std::to_wstring(++files) + L".ini");
             wcscpy(g_szLanguagePath, m_language.c_str());
             WriteLanguage(L"[WINDOW_TEXT]\r\nWND_CALLIN=" + v + L"\r\nWND_VOICEMSG=" + v + L"\r\nBTN_HANGUP=" + v + L"\r\n");
             Name31 b;
             std::wstring first = guarded(b, [&] { ReadWindowText(WindowText::CallIn, b.text); });
             EXPECT_EQ(guarded(b, [&] { ReadWindowText(WindowText::VoiceMessage, b.text); }), first);
             EXPECT_EQ(guarded(b, [&] { ReadWindowText(WindowText::HangUpButton, b.text); }), first);
             return first;
         }},
    };
    for (const auto& reader : readers) {
        for (size_t length : {reader.limit - 1, reader.limit, reader.limit + 1, size_t(1000), size_t(70000)}) {
            SCOPED_TRACE(std::string(reader.name) + ", " + std::to_string(length) + " characters");
            const std::wstring value(length, L'\u00E9');
            EXPECT_EQ(reader.store(value), value.substr(0, reader.limit));
            // Quoted: the quotes go and the text is cut as well.
            EXPECT_EQ(reader.store(L"\"" + value + L"\""), value.substr(0, reader.limit));
        }
    }
}

TEST_F(SettingsFile, BadNamesAndMissingPathsAreHandledSoundly)
{
    WriteSettings("[OPTION]\r\nRingType=3\r\n[LanguageType]\r\n0=Deutsch\r\n");
    const std::string before = ReadFileBytes(m_settings);
    // A name with a line break would write a key of its own into the file.
    EXPECT_FALSE(WriteCurrentLanguageName(L"x\r\n[OPTION]\r\nRingType=9"));
    EXPECT_FALSE(WriteCurrentLanguageName(L"x\nRingType=9"));
    EXPECT_FALSE(WriteCurrentLanguageName(nullptr));
    EXPECT_EQ(ReadFileBytes(m_settings), before);
    EXPECT_EQ(ReadRingType(), 3);
    EXPECT_EQ(CurrentName31(), L"Deutsch");
    // A null name reads the default instead of listing the section's keys.
    EXPECT_EQ(LanguageFile(nullptr), L"\\Language\\English.ini");
    EXPECT_EQ(LanguageFile(L""), L"\\Language\\English.ini");
    EXPECT_TRUE(WriteCurrentLanguageName(L""));
    EXPECT_EQ(CurrentName31(), L"");   // present but empty: not the default

    // Before start-up has built the paths: defaults, and no write anywhere
    // (an empty file name would mean WIN.INI).
    g_szSettingsPath[0] = L'\0';
    g_szLanguagePath[0] = L'\0';
    EXPECT_EQ(ReadRingType(), 0);
    EXPECT_EQ(CurrentName31(), L"English");
    EXPECT_TRUE(ReadLanguageList().empty());
    EXPECT_EQ(WindowTextOf(WindowText::CallIn), kCallIn);
    EXPECT_FALSE(WriteRingType(6));
    EXPECT_FALSE(WriteChannelType(kChannelUsb));
    EXPECT_FALSE(WriteCurrentLanguageName(L"English"));
    EXPECT_EQ(GetPrivateProfileIntW(L"OPTION", L"RingType", -1, L"win.ini"), static_cast<UINT>(-1));
}

TEST(LanguageFile, ReadsAnyUtf16TextBack)
{
    CTempDir dir;
    std::wstring path = JoinPath(dir.Path(), L"Other.ini");
    wchar_t saved[MAX_PATH];
    wmemcpy(saved, g_szLanguagePath, MAX_PATH);
    wcscpy(g_szLanguagePath, path.c_str());
    // Scripts no single code page holds, side by side.
    const std::wstring mixed = L"\u0417\u0432\u043E\u043D\u043E\u043A \u03BA\u03BB\u03AE\u03C3\u03B7 \u901A\u8A71 \u00E9";
    ASSERT_TRUE(WriteFileBytes(path, Utf16File(L"[WINDOW_TEXT]\r\nWND_CALLIN=\"" + mixed + L"\"\r\n")));
    wchar_t text[kNameChars];
    ReadWindowText(WindowText::CallIn, text);
    EXPECT_EQ(std::wstring(text), mixed);
    wmemcpy(g_szLanguagePath, saved, MAX_PATH);
}
