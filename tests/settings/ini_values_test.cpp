// INI number parsing, formatting, paths and limits.
#include "settings/ini_values.h"

#include <gtest/gtest.h>

namespace {

TEST(IniValues, ParsesLikeTheProfileFiles) {
    EXPECT_EQ(ParseIniInt(L"85"), 85);
    EXPECT_EQ(ParseIniInt(L"  -12xyz"), -12);
    EXPECT_EQ(ParseIniInt(L"\t+7"), 7);
    EXPECT_EQ(ParseIniInt(L"many"), 0);
    EXPECT_EQ(ParseIniInt(L""), 0);
    EXPECT_EQ(ParseIniInt(nullptr), 0);
    EXPECT_EQ(ParseIniInt(L"--3"), 0);
    EXPECT_EQ(ParseIniInt(L"99999999999"), INT32_MAX);
    EXPECT_EQ(ParseIniInt(L"-99999999999"), INT32_MIN);
    EXPECT_EQ(FormatIniInt(-42), L"-42");
    EXPECT_EQ(FormatIniInt(INT32_MIN), L"-2147483648");
}

TEST(IniValues, LanguageCountAndPaths) {
    EXPECT_EQ(ClampLanguageCount(0), 0u);
    EXPECT_EQ(ClampLanguageCount(100), 100u);
    EXPECT_EQ(ClampLanguageCount(250), 100u);
    EXPECT_EQ(ClampLanguageCount(-1), 100u);
    EXPECT_EQ(ProgramDirectoryFromModulePath(L"C:\\Apps\\Pictova\\SolvanePictova.exe"), L"C:\\Apps\\Pictova");
    EXPECT_EQ(ProgramDirectoryFromModulePath(L"SolvanePictova.exe"), L"");
    EXPECT_EQ(SettingsPathIn(L"C:\\Apps"), L"C:\\Apps\\SolvanePictova.ini");
    EXPECT_EQ(LocalisationPathIn(L"C:\\Apps"), L"C:\\Apps/SolvanePictova_loc.ini");
    EXPECT_EQ(CutToIniValue(std::wstring(2000, L'x')).size(), 1023u);
    EXPECT_EQ(CutToIniValue(L"short"), L"short");
}

}  // namespace
