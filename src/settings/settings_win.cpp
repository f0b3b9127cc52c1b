// The two INI files through the Win32 profile API.
#include "settings/settings_win.h"

#include <windows.h>

AppSettings gAppSettings;

namespace {

constexpr wchar_t kGeneral[] = L"General";
std::wstring gDirectoryOverride;

}  // namespace

std::wstring ProgramDirectory() {
    if (!gDirectoryOverride.empty()) return gDirectoryOverride;
    // Grow the buffer rather than cut a long path into another folder's name.
    std::wstring path(512, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return std::wstring();
        path.resize(path.size() * 2);
    }
    return ProgramDirectoryFromModulePath(path);
}

std::wstring SettingsFilePath() { return SettingsPathIn(ProgramDirectory()); }

std::wstring LocalisationFilePath() { return LocalisationPathIn(ProgramDirectory()); }

void SetProgramDirectoryOverride(const std::wstring& directory) { gDirectoryOverride = directory; }

std::wstring ReadIniText(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                         const wchar_t* defaultValue) {
    wchar_t value[kIniValueChars];
    value[0] = L'\0';
    DWORD n = GetPrivateProfileStringW(section, key, defaultValue ? defaultValue : L"", value, kIniValueChars,
                                       file.c_str());
    return std::wstring(value, n < kIniValueChars ? n : kIniValueChars - 1);
}

bool WriteIniText(const std::wstring& file, const wchar_t* section, const wchar_t* key, const wchar_t* value) {
    return WritePrivateProfileStringW(section, key, value, file.c_str()) != FALSE;
}

int32_t ReadSettingsInt(const wchar_t* key, int32_t defaultValue) {
    return ParseIniInt(ReadIniText(SettingsFilePath(), kGeneral, key, FormatIniInt(defaultValue).c_str()).c_str());
}

std::wstring ReadSettingsText(const wchar_t* key, const wchar_t* defaultValue) {
    return ReadIniText(SettingsFilePath(), kGeneral, key, defaultValue);
}

bool WriteSettingsInt(const wchar_t* key, int32_t value) {
    return WriteIniText(SettingsFilePath(), kGeneral, key, FormatIniInt(value).c_str());
}

bool WriteSettingsText(const wchar_t* key, const wchar_t* value) {
    return WriteIniText(SettingsFilePath(), kGeneral, key, value);
}

int32_t ReadLocalisationInt(const wchar_t* key, int32_t defaultValue) {
    return ParseIniInt(
        ReadIniText(LocalisationFilePath(), kGeneral, key, FormatIniInt(defaultValue).c_str()).c_str());
}

bool WriteLocalisationInt(const wchar_t* key, int32_t value) {
    return WriteIniText(LocalisationFilePath(), kGeneral, key, FormatIniInt(value).c_str());
}

bool WriteCrashFlag(bool running) { return WriteLocalisationInt(L"Crashed Last Time", running ? 1 : 0); }

void LoadAppSettings() {
    AppSettings& s = gAppSettings;
    s.languageCount = ClampLanguageCount(ReadLocalisationInt(L"Languages No", 0));
    s.crashedLastTime = static_cast<uint8_t>(ReadLocalisationInt(L"Crashed Last Time", 0) & 0xFF);
    WriteCrashFlag(true);
    s.currentLanguage = ReadLocalisationInt(L"Language Current", 0);

    const std::wstring file = LocalisationFilePath();
    s.languages.assign(s.languageCount, std::wstring());
    for (uint32_t i = 0; i < s.languageCount; ++i) {
        s.languages[i] = ReadIniText(file, FormatIniInt(static_cast<int32_t>(i)).c_str(), L"Language", L"");
    }
}
