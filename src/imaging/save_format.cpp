// Decisions of the save dialog that need no window.
#include "imaging/save_format.h"

#include <algorithm>

namespace {

constexpr SaveFormatRow kRows[kSaveFormatCount] = {
    {L"*.bmp", L".bmp", L"image/bmp"},  {L"*.tif", L".tif", L"image/tiff"}, {L"*.png", L".png", L"image/png"},
    {L"*.jpg", L".jpg", L"image/jpeg"}, {L"*.gif", L".gif", L"image/gif"},
};

wchar_t LowerAscii(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool EqualIgnoringAsciiCase(const std::wstring& a, const wchar_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return i == a.size() && !b[i];
}

}  // namespace

const SaveFormatRow* SaveFormatAt(int filterIndex) {
    return filterIndex >= 1 && filterIndex <= kSaveFormatCount ? &kRows[filterIndex - 1] : nullptr;
}

std::wstring SaveFilterList() {
    std::wstring list;
    for (const SaveFormatRow& row : kRows) {
        list += row.pattern;
        list += L'\0';
        list += row.pattern;
        list += L'\0';
    }
    list += L'\0';
    return list;
}

int FormatIndexOfExtension(const std::wstring& extension) {
    for (int i = 0; i < kSaveFormatCount; ++i) {
        if (EqualIgnoringAsciiCase(extension, kRows[i].extension))
            return i + 1;
    }
    return 0;
}

SuggestedSave SuggestSaveName(const std::wstring& sourcePath) {
    SuggestedSave out;
    size_t slash = sourcePath.rfind(L'\\');
    std::wstring name = slash == std::wstring::npos ? sourcePath : sourcePath.substr(slash + 1);
    size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos)
        return out;
    out.filterIndex = FormatIndexOfExtension(name.substr(dot));
    out.fileName = name.substr(0, dot) + L"-Solvane";
    return out;
}

ResolvedSave ResolveSaveName(const std::wstring& chosen, int filterIndex) {
    ResolvedSave out;
    if (chosen.empty())
        return out;
    if (chosen.size() >= 4) {
        int byName = FormatIndexOfExtension(chosen.substr(chosen.size() - 4));
        if (byName) {
            out.path = chosen;
            out.formatIndex = byName;
            return out;
        }
    }
    const SaveFormatRow* row = SaveFormatAt(filterIndex);
    if (!row)
        return out;
    out.path = chosen + row->extension;
    out.formatIndex = filterIndex;
    return out;
}

int32_t ClampJpegQuality(int32_t quality) {
    return std::clamp(quality, kMinJpegQuality, kMaxJpegQuality);
}

int32_t QualityAfterScroll(int code, int32_t current, int32_t thumb) {
    int64_t v = current;
    switch (code) {
        case kScrollLineUp:
        case kScrollPageUp:
            v = int64_t{current} - 1;
            break;
        case kScrollLineDown:
        case kScrollPageDown:
            v = int64_t{current} + 1;
            break;
        case kScrollThumbPosition:
        case kScrollThumbTrack:
            v = thumb;
            break;
        default:
            break;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(v, kMinJpegQuality, kMaxJpegQuality));
}

std::vector<std::wstring> ExiftoolArguments(const std::wstring& source, const std::wstring& target) {
    return {L"exiftool", L"-overwrite_original", L"-tagsfromfile", source, L"-all:all", L"-icc_profile", target};
}

namespace {

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

}  // namespace

std::vector<std::wstring> SplitSearchPath(const std::wstring& path) {
    std::vector<std::wstring> folders;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(L';', start);
        if (end == std::wstring::npos)
            end = path.size();
        std::wstring folder = path.substr(start, end - start);
        folder.erase(std::remove(folder.begin(), folder.end(), L'"'), folder.end());
        while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/'))
            folder.pop_back();
        if (!folder.empty())
            folders.push_back(folder);
        start = end + 1;
    }
    return folders;
}

std::vector<ToolCandidate> ExiftoolCandidates(const std::vector<std::wstring>& folders, const std::wstring& pathext) {
    std::vector<std::wstring> extensions;
    for (const std::wstring& e : SplitSearchPath(pathext.empty() ? L".COM;.EXE;.BAT;.CMD" : pathext)) {
        const std::wstring u = Upper(e);
        if (u == L".COM" || u == L".EXE" || u == L".BAT" || u == L".CMD")
            extensions.push_back(e);
    }
    std::vector<ToolCandidate> out;
    for (const std::wstring& folder : folders) {
        if (folder.empty())
            continue;
        for (const std::wstring& e : extensions) {
            const std::wstring u = Upper(e);
            out.push_back({folder + L"\\exiftool" + e, u == L".BAT" || u == L".CMD"});
        }
    }
    return out;
}

bool SafeForBatch(const std::wstring& text) {
    for (wchar_t c : text)
        if (c == L'%' || c == L'!' || c == L'"' || c < 32)
            return false;
    return true;
}
