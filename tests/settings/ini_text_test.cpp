// One key changed in the text of an INI file, the rest kept as it was.
#include <gtest/gtest.h>

#include "settings/ini_text.h"

namespace {

TEST(IniText, ReplacesAddsAndRemovesKeysKeepingEverythingElse) {
    const std::wstring text = L"; comment\r\n[General]\r\njpeg=85\r\nLOD_0 = 12\r\n\r\n[0]\r\nLanguage=English\r\n";
    EXPECT_EQ(SetIniValueInText(text, L"General", L"jpeg", L"70"),
              L"; comment\r\n[General]\r\njpeg=70\r\nLOD_0 = 12\r\n\r\n[0]\r\nLanguage=English\r\n");
    // Names without regard to case and blanks.
    EXPECT_EQ(SetIniValueInText(text, L"general", L"lod_0", L"3"),
              L"; comment\r\n[General]\r\njpeg=85\r\nlod_0=3\r\n\r\n[0]\r\nLanguage=English\r\n");
    // A new key goes after the last line of its section, before the blank line.
    EXPECT_EQ(SetIniValueInText(text, L"General", L"Power", L"17"),
              L"; comment\r\n[General]\r\njpeg=85\r\nLOD_0 = 12\r\nPower=17\r\n\r\n[0]\r\nLanguage=English\r\n");
    EXPECT_EQ(SetIniValueInText(text, L"0", L"string45", L"Gut"),
              L"; comment\r\n[General]\r\njpeg=85\r\nLOD_0 = 12\r\n\r\n[0]\r\nLanguage=English\r\nstring45=Gut\r\n");
    EXPECT_EQ(SetIniValueInText(text, L"General", L"jpeg", nullptr),
              L"; comment\r\n[General]\r\nLOD_0 = 12\r\n\r\n[0]\r\nLanguage=English\r\n");
    // The same key in another section is not touched.
    EXPECT_EQ(SetIniValueInText(text, L"0", L"jpeg", L"1"),
              L"; comment\r\n[General]\r\njpeg=85\r\nLOD_0 = 12\r\n\r\n[0]\r\nLanguage=English\r\njpeg=1\r\n");
}

TEST(IniText, NewFilesAndSectionsAndTextsWithoutAFinalNewline) {
    EXPECT_EQ(SetIniValueInText(L"", L"General", L"jpeg", L"85"), L"[General]\r\njpeg=85\r\n");
    EXPECT_EQ(SetIniValueInText(L"[A]\r\nx=1", L"B", L"y", L"2"), L"[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
    EXPECT_EQ(SetIniValueInText(L"[A]\r\nx=1", L"A", L"x", L"5"), L"[A]\r\nx=5");
    EXPECT_EQ(SetIniValueInText(L"[A]\nx=1\n", L"A", L"z", L"0"), L"[A]\nx=1\nz=0\r\n");
    // Removing a key that is not there changes nothing.
    EXPECT_EQ(SetIniValueInText(L"[A]\r\nx=1\r\n", L"A", L"q", nullptr), L"[A]\r\nx=1\r\n");
    // A value with '=' and blanks is kept as given.
    EXPECT_EQ(SetIniValueInText(L"", L"G", L"k", L"a = b "), L"[G]\r\nk=a = b \r\n");
}

}  // namespace
