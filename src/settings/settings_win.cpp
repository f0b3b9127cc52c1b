// The two INI files through the Win32 profile API.
#include "settings/settings_win.h"

#include <windows.h>

#include <cstdint>
#include <vector>

#include "base/checked_file_win.h"
#include "base/scoped_win.h"
#include "settings/ini_text.h"

AppSettings gAppSettings;

namespace {

constexpr wchar_t kGeneral[] = L"General";
std::wstring gDirectoryOverride;

// Every running instance holds a named marker for its program folder. A second instance started while
// the first runs finds the flag the first has set, which is no crash; only the last one to end writes "0".
ScopedHandle gInstanceMarker;

std::wstring InstanceMarkerName() {
    std::wstring file = LocalisationFilePath();
    CharLowerBuffW(file.data(), static_cast<DWORD>(file.size()));
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (wchar_t c : file)
        hash = (hash ^ static_cast<uint16_t>(c)) * 1099511628211ull;
    wchar_t name[64];
    wsprintfW(name, L"SolvanePictova-running-%08lx%08lx", static_cast<unsigned long>(hash >> 32),
              static_cast<unsigned long>(hash & 0xFFFFFFFFu));
    return name;
}

// Takes this instance's marker; true when another instance already holds one for the same folder.
bool TakeInstanceMarker() {
    gInstanceMarker.reset();  // this instance's old marker must not count as another's
    HANDLE marker = CreateMutexW(nullptr, FALSE, InstanceMarkerName().c_str());
    const bool existed = marker && GetLastError() == ERROR_ALREADY_EXISTS;
    gInstanceMarker.reset(marker);
    return existed;
}

// Drops this instance's marker; true when another instance still holds one.
bool DropInstanceMarker() {
    gInstanceMarker.reset();
    const ScopedHandle other(OpenMutexW(SYNCHRONIZE, FALSE, InstanceMarkerName().c_str()));
    return static_cast<bool>(other);
}

}  // namespace

std::wstring ProgramDirectory() {
    if (!gDirectoryOverride.empty())
        return gDirectoryOverride;
    return ExecutableDirectory();
}

std::wstring ExecutableDirectory() {
    // Grow the buffer rather than cut a long path into another folder's name.
    std::wstring path(512, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768)
            return std::wstring();
        path.resize(path.size() * 2);
    }
    return ProgramDirectoryFromModulePath(path);
}

std::wstring SettingsFilePath() {
    return SettingsPathIn(ProgramDirectory());
}

std::wstring LocalisationFilePath() {
    return LocalisationPathIn(ProgramDirectory());
}

void SetProgramDirectoryOverride(const std::wstring& directory) {
    gDirectoryOverride = directory;
}

std::wstring ReadIniText(const std::wstring& file,
                         const wchar_t* section,
                         const wchar_t* key,
                         const wchar_t* defaultValue) {
    wchar_t value[kIniValueChars];
    value[0] = L'\0';
    DWORD n =
        GetPrivateProfileStringW(section, key, defaultValue ? defaultValue : L"", value, kIniValueChars, file.c_str());
    return std::wstring(value, n < kIniValueChars ? n : kIniValueChars - 1);
}

// The profile API rewrites the file in place and reports success over a file cut short by a full disk;
// two programs writing at once can interleave. Instead the whole new text goes into a temporary file
// that replaces the old one only once it is complete, in the file's own encoding.
bool WriteIniText(const std::wstring& file, const wchar_t* section, const wchar_t* key, const wchar_t* value) {
    if (!section || !key)
        return WritePrivateProfileStringW(section, key, value, file.c_str()) != FALSE;
    return WriteIniTexts(file, section, {{key, value ? value : L"", value == nullptr}});
}

bool WriteIniTexts(const std::wstring& file, const wchar_t* section, const std::vector<IniEntry>& entries) {
    std::vector<uint8_t> bytes;
    ScopedFile in(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (in) {
        LARGE_INTEGER size{};
        bool ok = GetFileSizeEx(in.get(), &size) && size.QuadPart < (64 << 20);
        if (ok) {
            bytes.resize(static_cast<size_t>(size.QuadPart));
            DWORD got = 0;
            ok = bytes.empty() || (ReadFile(in.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
                                   got == bytes.size());
        }
        in.reset();
        if (!ok)
            return false;
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        return false;
    }

    enum class Encoding { Ansi, Utf8, Utf16 } encoding = Encoding::Ansi;
    size_t bom = 0;
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        encoding = Encoding::Utf16;
        bom = 2;
    } else if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        encoding = Encoding::Utf8;
        bom = 3;
    }
    std::wstring text;
    if (encoding == Encoding::Utf16) {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + bom), (bytes.size() - bom) / 2);
    } else if (bytes.size() > bom) {
        const UINT page = encoding == Encoding::Utf8 ? CP_UTF8 : CP_ACP;
        const char* from = reinterpret_cast<const char*>(bytes.data() + bom);
        const int n = static_cast<int>(bytes.size() - bom);
        text.resize(static_cast<size_t>(MultiByteToWideChar(page, 0, from, n, nullptr, 0)));
        MultiByteToWideChar(page, 0, from, n, text.data(), static_cast<int>(text.size()));
    }

    for (const IniEntry& e : entries)
        text = SetIniValueInText(text, section, e.key, e.remove ? nullptr : e.value.c_str());

    std::vector<uint8_t> out(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(bom));
    if (encoding == Encoding::Utf16) {
        const auto* p = reinterpret_cast<const uint8_t*>(text.data());
        out.insert(out.end(), p, p + text.size() * sizeof(wchar_t));
    } else if (!text.empty()) {
        const UINT page = encoding == Encoding::Utf8 ? CP_UTF8 : CP_ACP;
        const int n =
            WideCharToMultiByte(page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        const size_t at = out.size();
        out.resize(at + static_cast<size_t>(n));
        WideCharToMultiByte(page, 0, text.data(), static_cast<int>(text.size()), reinterpret_cast<char*>(&out[at]), n,
                            nullptr, nullptr);
    }
    return WriteBytesReplacing(file, out.data(), out.size());
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

bool WriteSettingsTexts(const std::vector<IniEntry>& entries) {
    return WriteIniTexts(SettingsFilePath(), kGeneral, entries);
}

int32_t ReadLocalisationInt(const wchar_t* key, int32_t defaultValue) {
    return ParseIniInt(ReadIniText(LocalisationFilePath(), kGeneral, key, FormatIniInt(defaultValue).c_str()).c_str());
}

bool WriteLocalisationInt(const wchar_t* key, int32_t value) {
    return WriteIniText(LocalisationFilePath(), kGeneral, key, FormatIniInt(value).c_str());
}

bool WriteCrashFlag(bool running) {
    // Another instance still running keeps the flag set for itself.
    if (!running && DropInstanceMarker())
        return true;
    return WriteLocalisationInt(L"Crashed Last Time", running ? 1 : 0);
}

void LoadAppSettings() {
    AppSettings& s = gAppSettings;
    s.languageCount = ClampLanguageCount(ReadLocalisationInt(L"Languages No", 0));
    s.crashedLastTime = static_cast<uint8_t>(ReadLocalisationInt(L"Crashed Last Time", 0) & 0xFF);
    if (TakeInstanceMarker())
        s.crashedLastTime = 0;
    // Without a writable file no crash can be told next time either; the program runs regardless.
    static_cast<void>(WriteCrashFlag(true));
    s.currentLanguage = ReadLocalisationInt(L"Language Current", 0);

    const std::wstring file = LocalisationFilePath();
    s.languages.assign(s.languageCount, std::wstring());
    for (uint32_t i = 0; i < s.languageCount; ++i) {
        s.languages[i] = ReadIniText(file, FormatIniInt(static_cast<int32_t>(i)).c_str(), L"Language", L"");
    }
}
