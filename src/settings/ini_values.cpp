// Portable rules of the two INI files.
#include "settings/ini_values.h"

#include <cstdio>

int32_t ParseIniInt(const wchar_t* text) {
    if (!text)
        return 0;
    const wchar_t* p = text;
    while (*p == L' ' || *p == L'\t' || *p == L'\n' || *p == L'\r' || *p == L'\v' || *p == L'\f')
        ++p;
    bool negative = false;
    if (*p == L'+' || *p == L'-')
        negative = *p++ == L'-';
    int64_t value = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        value = value * 10 + (*p - L'0');
        if (value > int64_t{INT32_MAX} + 1)
            value = int64_t{INT32_MAX} + 1;  // saturate, keep scanning
    }
    if (negative)
        return static_cast<int32_t>(-value);
    return value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}

std::wstring FormatIniInt(int32_t value) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%i", static_cast<int>(value));
    return text;
}

uint32_t ClampLanguageCount(int32_t parsed) {
    if (parsed < 0 || static_cast<uint32_t>(parsed) > kMaxLanguages)
        return kMaxLanguages;
    return static_cast<uint32_t>(parsed);
}

std::wstring ProgramDirectoryFromModulePath(const std::wstring& modulePath) {
    size_t slash = modulePath.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : modulePath.substr(0, slash);
}

std::wstring SettingsPathIn(const std::wstring& programDirectory) {
    return programDirectory + L"\\SolvanePictova.ini";
}

std::wstring LocalisationPathIn(const std::wstring& programDirectory) {
    return programDirectory + L"/SolvanePictova_loc.ini";
}

std::wstring CutToIniValue(const std::wstring& text) {
    return text.size() < kIniValueChars ? text : text.substr(0, kIniValueChars - 1);
}
