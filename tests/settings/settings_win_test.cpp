// The two INI files, the crash flag, the string table and the language list, against the profile API.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "settings/settings_win.h"
#include "settings/string_table_win.h"
#include "support/fake_prompter_win.h"

namespace {

// Each test gets its own program folder.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetProgramDirectoryOverride(folder.path());
        gAppSettings = AppSettings{};
    }
    void TearDown() override { SetProgramDirectoryOverride(L""); }

    // Writes the localisation file as UTF-16LE with a byte-order mark, as shipped.
    void WriteLocalisation(const std::wstring& text) {
        std::wstring withBom = L"\xFEFF" + text;
        ASSERT_TRUE(WriteWholeFile(LocalisationFilePath(), withBom.data(), withBom.size() * sizeof(wchar_t)));
    }
    std::wstring LocKey(const wchar_t* section, const wchar_t* key) {
        return ReadIniText(LocalisationFilePath(), section, key, L"<missing>");
    }

    TempFolder folder;
};

TEST_F(SettingsTest, PathsSitInTheProgramFolder) {
    EXPECT_EQ(SettingsFilePath(), folder.path() + L"\\SolvanePictova.ini");
    EXPECT_EQ(LocalisationFilePath(), folder.path() + L"/SolvanePictova_loc.ini");
    SetProgramDirectoryOverride(L"");
    wchar_t module[MAX_PATH];
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring expected(module);
    expected.resize(expected.rfind(L'\\'));
    EXPECT_EQ(ProgramDirectory(), expected);
}

TEST_F(SettingsTest, FirstStartWithoutFilesGivesDefaults) {
    LoadAppSettings();
    EXPECT_EQ(gAppSettings.crashedLastTime, 0);
    EXPECT_EQ(gAppSettings.currentLanguage, 0);
    EXPECT_EQ(gAppSettings.languageCount, 0u);
    EXPECT_TRUE(gAppSettings.languages.empty());
    for (int i = 0; i < 8; ++i) {
        std::wstring key = L"LOD_" + std::to_wstring(i);
        EXPECT_EQ(ReadSettingsInt(key.c_str(), 10), 10);
    }
    EXPECT_EQ(ReadSettingsInt(L"Exposure", 128), 128);
    EXPECT_EQ(ReadSettingsInt(L"Flatness", 3), 3);
    EXPECT_EQ(ReadSettingsInt(L"Power", 15), 15);
    EXPECT_EQ(ReadSettingsInt(L"jpeg", 85), 85);
    EXPECT_FALSE(FileExists(SettingsFilePath()));
}

TEST_F(SettingsTest, NumbersAreWrittenAsDecimalTextAndReadBack) {
    EXPECT_TRUE(WriteSettingsInt(L"Exposure", -42));
    EXPECT_EQ(ReadSettingsText(L"Exposure", L""), L"-42");
    EXPECT_EQ(ReadSettingsInt(L"Exposure", 128), -42);
    EXPECT_TRUE(WriteSettingsText(L"Power", L"  17abc"));
    EXPECT_EQ(ReadSettingsInt(L"Power", 15), 17);
    EXPECT_TRUE(WriteSettingsText(L"Flatness", L"many"));
    EXPECT_EQ(ReadSettingsInt(L"Flatness", 3), 0);
    // Other keys survive a write.
    EXPECT_TRUE(WriteSettingsInt(L"jpeg", 90));
    EXPECT_EQ(ReadSettingsInt(L"Exposure", 128), -42);
    EXPECT_TRUE(WriteLocalisationInt(L"Language Current", 2));
    EXPECT_EQ(ReadLocalisationInt(L"Language Current", 0), 2);
}

TEST_F(SettingsTest, CrashFlagOverANormalAndAnInterruptedRun) {
    // First run: no warning, the flag is up while running, down after a clean exit.
    LoadAppSettings();
    EXPECT_EQ(gAppSettings.crashedLastTime, 0);
    EXPECT_EQ(LocKey(L"General", L"Crashed Last Time"), L"1");
    EXPECT_TRUE(WriteCrashFlag(false));
    EXPECT_EQ(LocKey(L"General", L"Crashed Last Time"), L"0");

    // Second run ends without reaching shutdown.
    LoadAppSettings();
    EXPECT_EQ(gAppSettings.crashedLastTime, 0);
    // Reopening Options repeats the read and write; the key stays "1" while running.
    LoadAppSettings();
    EXPECT_EQ(gAppSettings.crashedLastTime, 1);  // the key holds "1" while running

    // Third run: the warning, once; its clean exit clears it.
    gAppSettings = AppSettings{};
    LoadAppSettings();
    EXPECT_EQ(gAppSettings.crashedLastTime, 1);
    EXPECT_EQ(LocKey(L"General", L"Crashed Last Time"), L"1");
    EXPECT_TRUE(WriteCrashFlag(false));
    LoadAppSettings();
    EXPECT_EQ(gAppSettings.crashedLastTime, 0);
}

TEST_F(SettingsTest, AFailedWriteIsReportedNotFatal) {
    // A program folder that does not exist cannot take the file.
    SetProgramDirectoryOverride(folder.File(L"missing\\deeper"));
    EXPECT_FALSE(WriteSettingsInt(L"jpeg", 50));
    EXPECT_FALSE(WriteCrashFlag(true));
    LoadAppSettings();  // reads defaults, the failed flag write is not fatal
    EXPECT_EQ(gAppSettings.languageCount, 0u);
    EXPECT_EQ(ReadSettingsInt(L"jpeg", 85), 85);
}

TEST_F(SettingsTest, LanguageCountIsLimitedTo100) {
    std::wstring text = L"[General]\r\nLanguages No=150\r\nLanguage Current=0\r\n";
    for (int i = 0; i < 150; ++i) {
        text += L"[" + std::to_wstring(i) + L"]\r\nLanguage=Lang" + std::to_wstring(i) + L"\r\n";
    }
    WriteLocalisation(text);
    LoadAppSettings();
    ASSERT_EQ(gAppSettings.languageCount, 100u);
    ASSERT_EQ(gAppSettings.languages.size(), 100u);
    EXPECT_EQ(gAppSettings.languages[0], L"Lang0");
    EXPECT_EQ(gAppSettings.languages[99], L"Lang99");

    WriteLocalisation(L"[General]\r\nLanguages No=-3\r\n");
    LoadAppSettings();
    EXPECT_EQ(gAppSettings.languageCount, 100u);
    EXPECT_EQ(gAppSettings.languages[5], L"");
    WriteLocalisation(L"[General]\r\nLanguages No=many\r\n");
    LoadAppSettings();
    EXPECT_EQ(gAppSettings.languageCount, 0u);
}

TEST_F(SettingsTest, MissingLocalisationFileGivesEnglish) {
    LoadAppSettings();
    LoadStringTable();
    EXPECT_STREQ(Str(kStrOk), L"OK");
    EXPECT_STREQ(Str(kStrFormatNotSupported), L"Image format not supported!");
    EXPECT_STREQ(Str(kStrCrashedLastTime), L"The application crashed last time. It's probably caused by low memory.");
    EXPECT_STREQ(Str(15), L"");
    EXPECT_STREQ(Str(kStrPictureTooLarge), EnglishString(kStrPictureTooLarge));
    EXPECT_STREQ(Str(0), L"");
    EXPECT_STREQ(Str(kStringSlots + 1), L"");
}

TEST_F(SettingsTest, ASectionTranslatingOneTextLeavesTheRestEnglish) {
    WriteLocalisation(
        L"[General]\r\nLanguages No=2\r\nLanguage Current=1\r\n"
        L"[0]\r\nLanguage=English\r\n"
        L"[1]\r\nLanguage=Deutsch\r\nstring45=Jawohl \u00e4\u00f6\u00fc\r\n");
    LoadAppSettings();
    LoadStringTable();
    EXPECT_STREQ(Str(kStrOk), L"Jawohl \u00e4\u00f6\u00fc");
    EXPECT_STREQ(Str(kStrCancel), L"Cancel");
    ASSERT_EQ(gAppSettings.languages.size(), 2u);
    EXPECT_EQ(gAppSettings.languages[1], L"Deutsch");

    // A current language without a section gives the all-English table.
    EXPECT_TRUE(WriteLocalisationInt(L"Language Current", -1));
    LoadAppSettings();
    LoadStringTable();
    EXPECT_STREQ(Str(kStrOk), L"OK");

    // The Options notice re-reads single texts from the newly chosen section.
    gAppSettings.currentLanguage = 1;
    ReloadString(45);
    EXPECT_STREQ(Str(kStrOk), L"Jawohl \u00e4\u00f6\u00fc");
}

TEST_F(SettingsTest, ALongTranslationIsCutAt1023) {
    std::wstring longText(2000, L'x');
    longText[1022] = L'y';
    WriteLocalisation(L"[General]\r\nLanguage Current=0\r\n[0]\r\nstring47=" + longText + L"\r\nLanguage=" + longText +
                      L"\r\n");
    EXPECT_TRUE(WriteLocalisationInt(L"Languages No", 1));
    LoadAppSettings();
    LoadStringTable();
    std::wstring got = Str(kStrRestartForLanguage);
    EXPECT_EQ(got.size(), 1023u);
    EXPECT_EQ(got.back(), L'y');
    EXPECT_EQ(gAppSettings.languages[0].size(), 1023u);
}

// The placeholders of a text in order: "%s", "%i", "%%" and the like, and "%" for a plain percent sign.
std::wstring Placeholders(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%')
            continue;
        const wchar_t next = i + 1 < text.size() ? text[i + 1] : L' ';
        const bool format = next == L'%' || (next >= L'a' && next <= L'z');
        out += format ? text.substr(i++, 2) : L"%";
    }
    return out;
}

TEST(ShippedLocalisation, TwelveCompleteLanguagesNamedInTheirOwnWithTheEnglishPlaceholders) {
    const char* source = std::getenv("SP_SOURCE_DIR");
    if (!source)
        GTEST_SKIP() << "SP_SOURCE_DIR is not set; run through ctest";
    // The file beside the test executable, copied there by the build.
    SetProgramDirectoryOverride(L"");
    std::wstring file = LocalisationFilePath();
    ASSERT_TRUE(FileExists(file)) << "SolvanePictova_loc.ini is not beside the test executable";
    const std::vector<std::wstring> names = {L"English",
                                             L"Deutsch",
                                             L"Fran\u00e7ais",
                                             L"Espa\u00f1ol",
                                             L"Italiano",
                                             L"Portugu\u00eas (Brasil)",
                                             L"Nederlands",
                                             L"Polski",
                                             L"\u0420\u0443\u0441\u0441\u043a\u0438\u0439",
                                             L"\u65e5\u672c\u8a9e",
                                             L"\u7b80\u4f53\u4e2d\u6587",
                                             L"\ud55c\uad6d\uc5b4"};
    const int32_t languages = ParseIniInt(ReadIniText(file, L"General", L"Languages No", L"0").c_str());
    ASSERT_EQ(languages, static_cast<int32_t>(names.size()));
    for (int32_t lang = 0; lang < languages; ++lang) {
        std::wstring section = std::to_wstring(lang);
        EXPECT_EQ(ReadIniText(file, section.c_str(), L"Language", L""), names[lang]) << "section " << lang;
        for (int n = 1; n <= kStringSlots; ++n) {
            if (!*EnglishString(n))
                continue;
            std::wstring key = L"string" + std::to_wstring(n);
            std::wstring text = ReadIniText(file, section.c_str(), key.c_str(), L"<missing>");
            EXPECT_NE(text, L"<missing>") << "section " << lang << " lacks string" << n;
            EXPECT_EQ(Placeholders(text), Placeholders(EnglishString(n))) << "section " << lang << " string" << n;
            if (lang == 0)
                EXPECT_EQ(text, EnglishString(n)) << "string" << n;
        }
        // The progress number follows this text directly.
        EXPECT_EQ(ReadIniText(file, section.c_str(), L"string14", L"").back(), L' ') << "section " << lang;
    }
}

}  // namespace
