// ASCII text (zoom percentages, tile names) as wide text for the Win32 calls.
#pragma once

#include <string>
#include <string_view>

inline std::wstring WidenAscii(std::string_view text) {
    return std::wstring(text.begin(), text.end());
}
