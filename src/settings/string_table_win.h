// The localised string table, loaded once at start-up from the section of the current language.
#pragma once

#include "settings/string_table.h"

struct StringTable {
    wchar_t slots[kStringSlots + 1][kStringChars];  // slots[n] is "string<n>"; slot 0 unused
};

extern StringTable gStringTable;

// Fills every slot from the section of gAppSettings.currentLanguage, English where missing.
void LoadStringTable();
// Re-reads one slot from the section of the current language (the Options dialog's notice).
void ReloadString(int n);
// The text of "string<n>"; an empty text for numbers out of range. Before LoadStringTable
// the English defaults are served.
const wchar_t* Str(int n);
