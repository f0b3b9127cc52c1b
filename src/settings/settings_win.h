// The settings file SolvanePictova.ini, the localisation file's section "General" and the crash flag.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/ini_values.h"

struct AppSettings {
    uint32_t languageCount = 0;           // "Languages No", at most 100
    int32_t currentLanguage = 0;          // "Language Current"
    uint8_t crashedLastTime = 0;          // low byte of "Crashed Last Time"
    std::vector<std::wstring> languages;  // languageCount display names
};

extern AppSettings gAppSettings;

// The executable's folder (no trailing backslash), or the test override.
std::wstring ProgramDirectory();
// The executable's own folder, whatever the override.
std::wstring ExecutableDirectory();
std::wstring SettingsFilePath();
std::wstring LocalisationFilePath();

// Tests point the program folder elsewhere; empty restores the executable's folder.
void SetProgramDirectoryOverride(const std::wstring& directory);

// Start-up (and Options) read of the localisation file's "General" section and the language
// list, in order: "Languages No", "Crashed Last Time" (then "1" written), "Language Current",
// the language names.
void LoadAppSettings();

// "Crashed Last Time" := "1" while running, "0" at a clean exit. False when the write failed.
[[nodiscard]] bool WriteCrashFlag(bool running);

// Section "General" of SolvanePictova.ini, read at the moment a value is needed.
int32_t ReadSettingsInt(const wchar_t* key, int32_t defaultValue);
std::wstring ReadSettingsText(const wchar_t* key, const wchar_t* defaultValue);
bool WriteSettingsInt(const wchar_t* key, int32_t value);  // "%i"; false when the write failed
[[nodiscard]] bool WriteSettingsText(const wchar_t* key, const wchar_t* value);
// Several keys in one rewrite of the file (a dialog's OK stores all its values at once).
struct IniEntry {
    const wchar_t* key;
    std::wstring value;
    bool remove = false;  // the key goes instead
};
[[nodiscard]] bool WriteSettingsTexts(const std::vector<IniEntry>& entries);

// Section "General" of SolvanePictova_loc.ini (e.g. "Language Current").
int32_t ReadLocalisationInt(const wchar_t* key, int32_t defaultValue);
[[nodiscard]] bool WriteLocalisationInt(const wchar_t* key, int32_t value);

// Any section and key of either file, value cut at 1023 characters.
std::wstring ReadIniText(const std::wstring& file,
                         const wchar_t* section,
                         const wchar_t* key,
                         const wchar_t* defaultValue);
[[nodiscard]] bool WriteIniText(const std::wstring& file,
                                const wchar_t* section,
                                const wchar_t* key,
                                const wchar_t* value);
[[nodiscard]] bool WriteIniTexts(const std::wstring& file,
                                 const wchar_t* section,
                                 const std::vector<IniEntry>& entries);
