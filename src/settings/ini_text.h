// Changing one key in the text of an INI file, as the profile API would, so the file can be written
// whole into a temporary file and then replace the old one (a failed write never leaves half a file).
#pragma once

#include <string>

// The text with `key` of `section` set to `value` (names compared without regard to case and
// surrounding blanks). A missing key is added at the end of its section, a missing section at the end
// of the text. value null removes the key. Lines end in "\r\n" where the text adds them.
std::wstring SetIniValueInText(const std::wstring& text,
                               const wchar_t* section,
                               const wchar_t* key,
                               const wchar_t* value);
