// The localised string table.
#include "settings/string_table_win.h"

#include <atomic>
#include <cwchar>
#include <string>

#include "settings/settings_win.h"

StringTable gStringTable;

namespace {

std::atomic<bool> gLoaded{false};

void ReadSlot(const std::wstring& file, const std::wstring& section, int n) {
    std::wstring key = L"string" + std::to_wstring(n);
    // The profile reader strips trailing blanks from a default ("Progress: "), so a missing key is
    // told apart with a sentinel and gets the English text as it is.
    std::wstring text = ReadIniText(file, section.c_str(), key.c_str(), L"\x01");
    if (text == L"\x01")
        text = EnglishString(n);
    text = CutToIniValue(text);
    std::wmemcpy(gStringTable.slots[n], text.c_str(), text.size() + 1);
}

}  // namespace

void LoadStringTable() {
    const std::wstring file = LocalisationFilePath();
    const std::wstring section = FormatIniInt(gAppSettings.currentLanguage);
    for (int n = 1; n <= kStringSlots; ++n)
        ReadSlot(file, section, n);
    gLoaded = true;
}

void ReloadString(int n) {
    if (n < 1 || n > kStringSlots)
        return;
    if (!gLoaded)
        LoadStringTable();
    ReadSlot(LocalisationFilePath(), FormatIniInt(gAppSettings.currentLanguage), n);
}

const wchar_t* Str(int n) {
    if (n < 1 || n > kStringSlots)
        return L"";
    return gLoaded ? gStringTable.slots[n] : EnglishString(n);
}
