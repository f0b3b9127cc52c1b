#include "settings/ini_text.h"

#include <cstddef>
#include <cwctype>
#include <vector>

namespace {

std::wstring Trim(const std::wstring& s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == L' ' || s[a] == L'\t'))
        ++a;
    while (b > a && (s[b - 1] == L' ' || s[b - 1] == L'\t' || s[b - 1] == L'\r'))
        --b;
    return s.substr(a, b - a);
}

bool SameName(const std::wstring& a, const wchar_t* b) {
    const std::wstring t = Trim(b);
    if (a.size() != t.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(t[i]))
            return false;
    return true;
}

// "[name]" gives name; anything else gives false.
bool SectionName(const std::wstring& line, std::wstring& name) {
    const std::wstring t = Trim(line);
    if (t.size() < 2 || t.front() != L'[')
        return false;
    const size_t close = t.find(L']');
    if (close == std::wstring::npos)
        return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

bool KeyName(const std::wstring& line, std::wstring& name) {
    const size_t eq = line.find(L'=');
    if (eq == std::wstring::npos)
        return false;
    name = Trim(line.substr(0, eq));
    return !name.empty() && name[0] != L';';
}

}  // namespace

std::wstring SetIniValueInText(const std::wstring& text,
                               const wchar_t* section,
                               const wchar_t* key,
                               const wchar_t* value) {
    // Lines without their "\n" (a "\r" stays with the line and is written back as it was).
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    const bool endsWithNewline = !text.empty() && text.back() == L'\n';
    const std::wstring entry = value ? Trim(key) + L"=" + value + L"\r" : std::wstring();

    size_t sectionLine = lines.size(), lastContent = lines.size();
    bool inSection = false, done = false;
    for (size_t i = 0; i < lines.size() && !done; ++i) {
        std::wstring name;
        if (SectionName(lines[i], name)) {
            if (inSection)
                break;  // the section ends here
            inSection = SameName(name, section);
            if (inSection)
                sectionLine = lastContent = i;
            continue;
        }
        if (!inSection)
            continue;
        if (!Trim(lines[i]).empty())
            lastContent = i;
        if (KeyName(lines[i], name) && SameName(name, key)) {
            if (value)
                lines[i] = lines[i].empty() || lines[i].back() != L'\r' ? entry.substr(0, entry.size() - 1) : entry;
            else
                lines.erase(lines.begin() + static_cast<ptrdiff_t>(i));
            done = true;
        }
    }
    if (!done && value) {
        if (sectionLine == lines.size()) {
            if (!lines.empty() && !Trim(lines.back()).empty() && !endsWithNewline)
                lines.back() += L"\r";
            lines.push_back(L"[" + Trim(section) + L"]\r");
            lines.push_back(entry);
        } else {
            lines.insert(lines.begin() + static_cast<ptrdiff_t>(lastContent) + 1, entry);
        }
    }

    std::wstring out;
    for (size_t i = 0; i < lines.size(); ++i) {
        out += lines[i];
        // Every line keeps its newline; the last one only if it had one or was added here.
        if (i + 1 < lines.size() || endsWithNewline || (!done && value && i + 1 == lines.size()))
            out += L'\n';
    }
    return out;
}
