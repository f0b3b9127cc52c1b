// Portable rules of the two INI files: number parsing and formatting, paths, limits.
#pragma once

#include <cstdint>
#include <string>

// Values are read into buffers of this many characters (1023 and the terminator).
constexpr int kIniValueChars = 1024;
constexpr uint32_t kMaxLanguages = 100;

// Decimal integer as the INI files store it: leading blanks and one sign allowed, stops at
// the first non-digit, no digits gives 0. Values beyond 32 bits saturate.
int32_t ParseIniInt(const wchar_t* text);
// "%i".
std::wstring FormatIniInt(int32_t value);

// "Languages No" as kept in memory: above 100 or negative gives 100.
uint32_t ClampLanguageCount(int32_t parsed);

// The executable's path cut at its last backslash (the backslash removed); empty without one.
std::wstring ProgramDirectoryFromModulePath(const std::wstring& modulePath);
// "%s\SolvanePictova.ini" and "%s/SolvanePictova_loc.ini" in the given folder.
std::wstring SettingsPathIn(const std::wstring& programDirectory);
std::wstring LocalisationPathIn(const std::wstring& programDirectory);

// A text cut to what a 1024-character buffer holds.
std::wstring CutToIniValue(const std::wstring& text);
